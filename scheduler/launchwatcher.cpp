#include "scheduler/launchwatcher.h"

#include "common/busnames.h"
#include "scheduler/schedulerlog.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

const QString kConnectionName = u"lyrevane-scheduler-launches"_s;
const QString kPlayerPrefix = busnames::kPlayerName.toString();
const QString kNotifications = u"org.freedesktop.Notifications"_s;
const QString kNotificationsPath = u"/org/freedesktop/Notifications"_s;
const QString kRetryAction = u"retry"_s;
const QString kPlayerPath = busnames::kObjectPath.toString();
const QString kLyrevaneInterface = busnames::kStatusInterface.toString();

QDBusMessage busCall(const QString& method) {
    return QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                          u"org.freedesktop.DBus"_s, method);
}

QDBusMessage propertiesCall(const QString& service, const QString& method,
                            const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, kPlayerPath, u"org.freedesktop.DBus.Properties"_s, method);
    call.setArguments(arguments);
    return call;
}

// One poll: the answers for every player, collected until the last one is in.
struct PollRound {
    QList<PlayerReport> players;
    int outstanding = 0;
    std::function<void(const QList<PlayerReport>&)> done;
    void finish() {
        if (--outstanding == 0) {
            done(players);
        }
    }
};

}  // namespace

LaunchWatcher::LaunchWatcher(UrlLauncher& launcher, const Clock& clock, Options options,
                             std::function<void(const QString&)> logLine, QObject* parent)
    : QObject(parent),
      clock_(clock),
      confirmation_(launcher, clock, *this, options.confirmTimeout),
      recordings_(
          clock, [this](const QString& player, bool on) { record(player, on); },
          options.recordLimit),
      options_(options),
      logLine_(std::move(logLine)),
      bus_(kConnectionName) {
    poll_.setInterval(options_.pollInterval);
    connect(&poll_, &QTimer::timeout, this, &LaunchWatcher::poll);
    confirmation_.setPlayerOpener(
        [this](const QString& player, const QString& mediaUrl) { openInPlayer(player, mediaUrl); });
    confirmation_.setConfirmedHandler(
        [this](const PendingLaunch& launch, const PlayerReport& player) {
            recordings_.confirmed(launch, player);
        });
}

LaunchWatcher::~LaunchWatcher() {
    if (connected_) {
        QDBusConnection::disconnectFromBus(kConnectionName);
    }
}

void LaunchWatcher::launched(const QString& name, const QString& time, const QString& mediaUrl,
                             bool started, const QString& error, bool record) {
    confirmation_.launched(name, time, mediaUrl, started, error, record);
    follow();
}

void LaunchWatcher::due(const QString& name, const QString& time, const QString& mediaUrl,
                        bool record) {
    confirmation_.due(name, time, mediaUrl, record);
    follow();
}

void LaunchWatcher::follow() {
    if (following()) {
        connectBus();
        poll();
    }
}

void LaunchWatcher::schedulePoll() {
    std::chrono::milliseconds interval = options_.pollInterval;
    if (!confirmation_.isWaiting()) {
        interval = options_.recordPollInterval;
        if (const std::optional<QDateTime> stop = recordings_.nextStop()) {
            interval = std::clamp(std::chrono::milliseconds(clock_.now().msecsTo(*stop)),
                                  std::chrono::milliseconds(0), interval);
        }
    }
    poll_.start(interval);
}

// Fire and forget: the player's state on the bus tells what became of it.
void LaunchWatcher::openInPlayer(const QString& player, const QString& mediaUrl) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        player, kPlayerPath, busnames::kPlayerInterface.toString(), u"OpenUri"_s);
    call << mediaUrl;
    bus_.call(call, QDBus::NoBlock);
}

// The player's answer comes later; a refusal to start is notified in the player's words.
void LaunchWatcher::record(const QString& player, bool on) {
    QDBusMessage call = QDBusMessage::createMethodCall(player, kPlayerPath, kLyrevaneInterface,
                                                       busnames::kRecordMethod.toString());
    call << on;
    ++callsInFlight_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, player, on](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                --callsInFlight_;
                const QDBusPendingReply<> reply = *finished;
                if (on && reply.isError()) {
                    if (const auto recording = recordings_.refused(player)) {
                        const QString said = recording->name + u" ("_s + recording->time + u")"_s;
                        const QString reason = reply.error().message().isEmpty()
                                                   ? reply.error().name()
                                                   : reply.error().message();
                        notify(tr("Scheduled broadcast is not recorded"), said + u": "_s + reason,
                               tr("%1 is not recorded: %2").arg(said, reason), std::nullopt);
                    }
                }
                disconnectWhenIdle();
            });
}

void LaunchWatcher::connectBus() {
    if (connected_) {
        return;
    }
    bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName);
    connected_ = bus_.isConnected();
    if (connected_) {
        bus_.connect(kNotifications, kNotificationsPath, kNotifications, u"ActionInvoked"_s, this,
                     SLOT(onActionInvoked(uint, QString)));
        bus_.connect(kNotifications, kNotificationsPath, kNotifications, u"NotificationClosed"_s,
                     this, SLOT(onNotificationClosed(uint, uint)));
    }
}

// Nothing awaited any more: no launch to confirm, no notification whose action may come.
void LaunchWatcher::disconnectWhenIdle() {
    if (following()) {
        return;
    }
    poll_.stop();
    if (connected_ && notifications_.isEmpty() && callsInFlight_ == 0 && !polling_) {
        QDBusConnection::disconnectFromBus(kConnectionName);
        bus_ = QDBusConnection(kConnectionName);
        connected_ = false;
    }
}

void LaunchWatcher::poll() {
    confirmation_.tick();
    recordings_.tick();
    if (!following()) {
        disconnectWhenIdle();
        return;
    }
    schedulePoll();
    if (!connected_) {
        const QString error = bus_.lastError().message();
        unseen(error.isEmpty() ? u"no session bus"_s : u"no session bus: "_s + error);
        return;
    }
    if (polling_) {
        return;
    }
    polling_ = true;
    auto* names = new QDBusPendingCallWatcher(bus_.asyncCall(busCall(u"ListNames"_s)), this);
    connect(
        names, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<QStringList> reply = *finished;
            if (!reply.isValid()) {
                unseen(u"the session bus does not list its names: "_s + reply.error().message());
                return;
            }
            auto round = std::make_shared<PollRound>();
            round->done = [this](const QList<PlayerReport>& players) { observed(players); };
            round->outstanding = 1;  // held until every request has been sent
            for (const QString& name : reply.value()) {
                if (name != kPlayerPrefix && !name.startsWith(kPlayerPrefix + u'.')) {
                    continue;
                }
                const qsizetype index = round->players.size();
                round->players.append(PlayerReport{name, {}, {}, {}});
                round->outstanding += 2;
                auto* all = new QDBusPendingCallWatcher(
                    bus_.asyncCall(
                        propertiesCall(name, u"GetAll"_s, {busnames::kPlayerInterface.toString()})),
                    this);
                connect(all, &QDBusPendingCallWatcher::finished, this,
                        [round, index](QDBusPendingCallWatcher* w) {
                            w->deleteLater();
                            const QDBusPendingReply<QVariantMap> props = *w;
                            if (props.isValid()) {
                                PlayerReport& player = round->players[index];
                                player.playbackStatus =
                                    props.value().value(u"PlaybackStatus"_s).toString();
                                const QVariantMap metadata = qdbus_cast<QVariantMap>(
                                    props.value().value(u"Metadata"_s).value<QDBusArgument>());
                                player.url = metadata.value(u"xesam:url"_s).toString();
                            }
                            round->finish();
                        });
                auto* own = new QDBusPendingCallWatcher(
                    bus_.asyncCall(propertiesCall(name, u"GetAll"_s, {kLyrevaneInterface})), this);
                connect(own, &QDBusPendingCallWatcher::finished, this,
                        [round, index](QDBusPendingCallWatcher* w) {
                            w->deleteLater();
                            const QDBusPendingReply<QVariantMap> props = *w;
                            if (props.isValid()) {
                                PlayerReport& player = round->players[index];
                                player.lastError =
                                    props.value().value(busnames::kLastError.toString()).toString();
                                player.recording =
                                    props.value().value(busnames::kRecording.toString()).toBool();
                            }
                            round->finish();
                        });
            }
            round->finish();
        });
}

void LaunchWatcher::observed(const QList<PlayerReport>& players) {
    polling_ = false;
    confirmation_.observe(players);
    recordings_.observe(players);
    if (following()) {
        schedulePoll();
    }
    disconnectWhenIdle();
}

void LaunchWatcher::unseen(const QString& why) {
    polling_ = false;
    confirmation_.unseen(why);
    recordings_.observe({});
    if (following()) {
        schedulePoll();
    }
    disconnectWhenIdle();
}

void LaunchWatcher::cannotConfirm(const PendingLaunch& launch, const QString& why) {
    qCInfo(lcScheduler).noquote() << u"%1 (%2) was launched once; whether a player plays it "
                                     u"cannot be confirmed without a look at the players (%3)"_s
                                         .arg(launch.name, launch.time, why);
}

void LaunchWatcher::reportFailure(const PendingLaunch& launch, const QString& problem) {
    const QString said = launch.name + u" ("_s + launch.time + u")"_s;
    notify(tr("Scheduled broadcast did not start"), said + u": "_s + problem,
           tr("%1 did not start: %2").arg(said, problem), launch);
}

void LaunchWatcher::notify(const QString& summary, const QString& body, const QString& line,
                           const std::optional<PendingLaunch>& retry) {
    connectBus();
    if (!connected_) {
        logLine_(line);
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                         kNotifications, u"Notify"_s);
    const QVariantMap hints{{u"desktop-entry"_s, u"lyrevane"_s},
                            {u"urgency"_s, QVariant::fromValue(uchar(2))}};
    notify << u"Lyrevane Scheduler"_s << uint(0) << u"lyrevane"_s << summary << body
           << (retry ? QStringList{kRetryAction, tr("Try again")} : QStringList()) << hints
           << int(0);
    ++callsInFlight_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, retry, line](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                --callsInFlight_;
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isValid()) {
                    if (retry) {
                        notifications_.insert(reply.value(), *retry);
                    }
                } else {
                    logLine_(line);  // no notification service
                }
                disconnectWhenIdle();
            });
}

void LaunchWatcher::onActionInvoked(uint id, const QString& action) {
    if (action != kRetryAction || !notifications_.contains(id)) {
        return;
    }
    const PendingLaunch launch = notifications_.take(id);
    confirmation_.tryAgain(launch);
    follow();
    disconnectWhenIdle();
}

void LaunchWatcher::onNotificationClosed(uint id, uint) {
    notifications_.remove(id);
    disconnectWhenIdle();
}

}  // namespace lyrevane
