#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace lyrevane {

// Whether the machine must stay awake for the engine's play state: while a stream plays,
// connects or buffers (a live programme that reconnects keeps it), not while it is
// paused, stopped or ended.
bool keepsMachineAwake(int playState);

// Keeps the machine from going to sleep while the programme plays, through the desktop
// portal's Inhibit (suspend only: the screen may still lock when idle), or, where there is
// no portal, logind's "sleep" inhibitor lock. Every bus call is asynchronous: the
// window never waits for it. Released when no longer wanted and when destroyed.
class SleepInhibitor final : public QObject {
    Q_OBJECT

public:
    SleepInhibitor(QDBusConnection sessionBus, QDBusConnection systemBus, QString reason,
                   QObject* parent = nullptr);
    ~SleepInhibitor() override;

    void setWanted(bool wanted);
    bool isWanted() const { return wanted_; }
    // True while an inhibitor is held (after the bus answered).
    bool isHeld() const { return !portalHandle_.isEmpty() || lock_.isValid(); }

Q_SIGNALS:
    void heldChanged(bool held);

private:
    void acquire();
    void acquireFromLogind();
    void release();
    void settle();

    QDBusConnection sessionBus_;
    QDBusConnection systemBus_;
    QString reason_;
    bool wanted_ = false;
    bool requesting_ = false;
    QString portalHandle_;
    QDBusUnixFileDescriptor lock_;
};

}  // namespace lyrevane
