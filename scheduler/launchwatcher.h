#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

#include "scheduler/broadcastrecordings.h"
#include "scheduler/launchconfirmation.h"

namespace lyrevane {

// Follows launched broadcasts on the session bus: every second it reads the Lyrevane
// players' MPRIS state and last error, and hands them to a LaunchConfirmation. A
// broadcast that does not start is reported with a desktop notification offering
// "Try again" (or on stderr without a notification service). A broadcast to be recorded is
// recorded by the player that plays it (the player's own Record), stopped after the limit;
// a refusal is notified in the player's words. The bus is connected only while something
// is awaited or recorded, so that the idle scheduler stays small.
class LaunchWatcher final : public QObject, private LaunchReporter {
    Q_OBJECT

public:
    struct Options {
        std::chrono::milliseconds confirmTimeout = LaunchConfirmation::kConfirmTimeout;
        std::chrono::milliseconds pollInterval{1000};
        std::chrono::milliseconds recordLimit = BroadcastRecordings::kLimit;
        // While only recordings are followed: a slower look at their players.
        std::chrono::milliseconds recordPollInterval{15000};
    };
    // `logLine` receives what is said without a notification service.
    LaunchWatcher(UrlLauncher& launcher, const Clock& clock, Options options,
                  std::function<void(const QString&)> logLine, QObject* parent = nullptr);
    ~LaunchWatcher() override;

    void launched(const QString& name, const QString& time, const QString& mediaUrl, bool started,
                  const QString& error, bool record = false);
    // A broadcast is due: confirmed by a player that already plays it, or else launched.
    void due(const QString& name, const QString& time, const QString& mediaUrl,
             bool record = false);
    bool isConnected() const { return connected_; }
    const LaunchConfirmation& confirmation() const { return confirmation_; }
    const BroadcastRecordings& recordings() const { return recordings_; }

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void reportFailure(const PendingLaunch& launch, const QString& problem) override;
    void cannotConfirm(const PendingLaunch& launch, const QString& why) override;
    void connectBus();
    void disconnectWhenIdle();
    void poll();
    void observed(const QList<PlayerReport>& players);
    // The bus cannot be looked at: launches go out unconfirmed.
    void unseen(const QString& why);
    void follow();
    void openInPlayer(const QString& player, const QString& mediaUrl);
    void record(const QString& player, bool on);
    bool following() const { return confirmation_.isWaiting() || recordings_.isActive(); }
    // The next look at the bus: soon while a launch is awaited, else by the next stop.
    void schedulePoll();
    // A desktop notification (a line through logLine without one); `retry` offers "Try again".
    void notify(const QString& summary, const QString& body, const QString& line,
                const std::optional<PendingLaunch>& retry);

    const Clock& clock_;
    LaunchConfirmation confirmation_;
    BroadcastRecordings recordings_;
    Options options_;
    std::function<void(const QString&)> logLine_;
    QDBusConnection bus_;
    bool connected_ = false;
    bool polling_ = false;
    int callsInFlight_ = 0;  // notifications and recording requests awaiting their answer
    QTimer poll_;
    // Notifications shown and not yet closed, with the broadcast each offers to retry.
    QHash<uint, PendingLaunch> notifications_;
};

}  // namespace lyrevane
