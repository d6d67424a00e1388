// The launch watcher on a private session bus (run under dbus-run-session): fake Lyrevane
// players that play or fail, and a fake notification service that records what it is
// told and can press "Try again"; then the real scheduler with real players.
#include "scheduler/launchwatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTcpServer>

#include <memory>

#include "../support/busservice.h"
#include "../support/ports.h"
#include "../support/waituntil.h"
#include "scheduler/schedulerservice.h"
#include "schedulerbinary.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::waitUntil;

const QString kStream = u"http://127.0.0.1:8000/quillmoor.mp3"_s;

class PlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus MEMBER status)
    Q_PROPERTY(QVariantMap Metadata MEMBER metadata)
public:
    explicit PlayerAdaptor(QObject* owner) : QDBusAbstractAdaptor(owner) {}
    QString status;
    QVariantMap metadata;
};

class LyrevaneAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.quillmoor.Lyrevane")
    Q_PROPERTY(QString LastError MEMBER lastError)
    Q_PROPERTY(bool Recording MEMBER recording)
public:
    LyrevaneAdaptor(QObject* owner, const QString& bus) : QDBusAbstractAdaptor(owner), bus(bus) {}
    QString bus, lastError, refusal;  // refusal: the error answer to Record(true) when set
    bool recording = false;
    QList<bool> asked;
public Q_SLOTS:
    void Record(bool on, const QDBusMessage& call) {
        asked.append(on);
        recording = on && refusal.isEmpty();
        if (on && !recording) {
            call.setDelayedReply(true);
            QDBusConnection(bus).send(call.createErrorReply(QDBusError::NotSupported, refusal));
        }
    }
};

// A player process as the bus shows it, on its own connection.
class FakePlayer {
public:
    FakePlayer(int number, const QString& status, const QString& error) {
        connection_ = u"player"_s + QString::number(number);
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection_);
        auto* player = new PlayerAdaptor(&object_);
        player->status = status;
        player->metadata = {{u"xesam:url"_s, kStream}};
        (own = new LyrevaneAdaptor(&object_, connection_))->lastError = error;
        bus.registerObject(u"/org/mpris/MediaPlayer2"_s, &object_, QDBusConnection::ExportAdaptors);
        bus.registerService(number == 1 ? u"org.mpris.MediaPlayer2.lyrevane"_s
                                        : u"org.mpris.MediaPlayer2.lyrevane.instance"_s +
                                              QString::number(number));
    }
    ~FakePlayer() { QDBusConnection::disconnectFromBus(connection_); }
    LyrevaneAdaptor* own = nullptr;

private:
    QObject object_;
    QString connection_;
};

class FakeNotifications final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotifications(QObject* owner) : QDBusAbstractAdaptor(owner) {}
    QStringList bodies;
    QList<QStringList> actions;

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actionList, const QVariantMap&, int) {
        bodies.append(summary + u" | "_s + body);
        actions.append(actionList);
        return uint(bodies.size());
    }
};

// The stand-in notification service on its own connection ("notifications"), owned by `owner`.
FakeNotifications* ServeNotifications(std::unique_ptr<QObject>& owner) {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"notifications"_s);
    return testing::serveOnBus<FakeNotifications>(bus, owner, u"/org/freedesktop/Notifications"_s,
                                                  u"org.freedesktop.Notifications"_s);
}

// Opens "players" the way the test says: one that plays, one that fails, or none.
class ScriptedLauncher final : public UrlLauncher {
public:
    enum Outcome { Nothing, Plays, Fails };
    bool open(const QString& url, QString*) override {
        opened.append(url);
        const Outcome outcome = script.isEmpty() ? Nothing : script.takeFirst();
        if (outcome != Nothing) {
            players.push_back(std::make_unique<FakePlayer>(
                int(players.size()) + 1, outcome == Plays ? u"Playing"_s : u"Stopped"_s,
                outcome == Fails ? u"Cannot open the stream: connection refused."_s : QString()));
        }
        return true;
    }
    QList<Outcome> script;
    QStringList opened;
    std::vector<std::unique_ptr<FakePlayer>> players;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class LaunchWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
        watcher = std::make_unique<LaunchWatcher>(
            launcher, clock, LaunchWatcher::Options{1500ms, 100ms, 1s},
            [this](const QString& line) { logged.append(line); });
    }
    void TearDown() override {
        watcher.reset();
        launcher.players.clear();
        if (notifications != nullptr) {
            QDBusConnection::disconnectFromBus(u"notifications"_s);
        }
    }

    FakeNotifications* StartNotifications() {
        return notifications = ServeNotifications(notificationsObject);
    }

    void Emit(const QString& signal, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createSignal(
            u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s, signal);
        message.setArguments(arguments);
        QDBusConnection(u"notifications"_s).send(message);
    }

    void Launch(bool record = false) {
        const QString command = u"lyrev:play?"_s + kStream;
        QString error;
        launcher.open(command, &error);
        watcher->launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {}, record);
    }

    bool Settled() { return !watcher->confirmation().isWaiting() && !watcher->isConnected(); }

    SystemClock clock;
    ScriptedLauncher launcher;
    QStringList logged;
    std::unique_ptr<LaunchWatcher> watcher;
    std::unique_ptr<QObject> notificationsObject;
    FakeNotifications* notifications = nullptr;
};

TEST_F(LaunchWatcherTest, ConfirmedAtOnceNeedsNoRetryAndLeavesTheBus) {
    StartNotifications();
    launcher.script = {ScriptedLauncher::Plays};
    Launch();
    EXPECT_TRUE(watcher->isConnected());
    ASSERT_TRUE(waitUntil([&] { return Settled(); }, 20s));
    EXPECT_EQ(launcher.opened.size(), 1);
    EXPECT_TRUE(notifications->bodies.isEmpty());
}

TEST_F(LaunchWatcherTest, ConfirmedOnTheRetry) {
    StartNotifications();
    launcher.script = {ScriptedLauncher::Nothing, ScriptedLauncher::Plays};
    Launch();
    ASSERT_TRUE(waitUntil([&] { return launcher.opened.size() == 2; }, 20s));
    ASSERT_TRUE(waitUntil([&] { return Settled(); }, 20s));
    EXPECT_TRUE(notifications->bodies.isEmpty());
}

TEST_F(LaunchWatcherTest, NoPlayerAtAllIsNotifiedOnceAndTryAgainLaunchesAgain) {
    StartNotifications();
    Launch();
    ASSERT_TRUE(waitUntil([&] { return !notifications->bodies.isEmpty(); }, 20s));
    EXPECT_EQ(launcher.opened.size(), 2);
    EXPECT_EQ(notifications->bodies,
              QStringList{u"Scheduled broadcast did not start | Live (3:00:00 PM): "
                          u"no player started"_s});
    EXPECT_EQ(notifications->actions.first(), (QStringList{u"retry"_s, u"Try again"_s}));
    EXPECT_TRUE(watcher->isConnected()) << "the notification's action may still come";

    launcher.script = {ScriptedLauncher::Plays};
    Emit(u"ActionInvoked"_s, {uint(1), u"retry"_s});
    ASSERT_TRUE(waitUntil([&] { return launcher.opened.size() == 3; }, 20s));
    Emit(u"NotificationClosed"_s, {uint(1), uint(2)});
    ASSERT_TRUE(waitUntil([&] { return Settled(); }, 20s));
    EXPECT_EQ(notifications->bodies.size(), 1);
    EXPECT_TRUE(logged.isEmpty());
}

TEST_F(LaunchWatcherTest, APlayersErrorIsRetriedThenNotifiedWithItsText) {
    StartNotifications();
    launcher.script = {ScriptedLauncher::Fails, ScriptedLauncher::Fails};
    Launch();
    ASSERT_TRUE(waitUntil([&] { return !notifications->bodies.isEmpty(); }, 20s));
    EXPECT_EQ(launcher.opened.size(), 1) << "the retry goes to the player already there";
    EXPECT_EQ(notifications->bodies.first(),
              u"Scheduled broadcast did not start | Live (3:00:00 PM): "
              u"Cannot open the stream: connection refused."_s);
}

TEST_F(LaunchWatcherTest, WithoutANotificationServiceOneLineSaysIt) {
    Launch();
    ASSERT_TRUE(waitUntil([&] { return !logged.isEmpty(); }, 20s));
    ASSERT_TRUE(waitUntil([&] { return Settled(); }, 20s));
    EXPECT_EQ(logged, QStringList{u"Live (3:00:00 PM) did not start: no player started"_s});
    EXPECT_EQ(launcher.opened.size(), 2);
}

TEST_F(LaunchWatcherTest, TheConfirmingPlayerRecordsUntilTheLimitOrSaysWhyNot) {
    StartNotifications();
    launcher.script = {ScriptedLauncher::Plays};
    Launch(true);
    ASSERT_TRUE(waitUntil([&] { return launcher.players[0]->own->recording; }, 20s));
    ASSERT_TRUE(waitUntil([&] { return Settled(); }, 20s));  // the limit is 1 s here
    EXPECT_EQ(launcher.players[0]->own->asked, (QList<bool>{true, false}));

    // Already played, due again: this time the player cannot record, and says why.
    launcher.players[0]->own->refusal = u"This stream cannot be recorded."_s;
    watcher->due(u"Live"_s, u"3:00:00 PM"_s, kStream, true);
    ASSERT_TRUE(waitUntil([&] { return !notifications->bodies.isEmpty(); }, 20s));
    EXPECT_EQ(notifications->bodies.first(),
              u"Scheduled broadcast is not recorded | Live "
              u"(3:00:00 PM): This stream cannot be recorded."_s);
    EXPECT_EQ(notifications->actions.first(), QStringList());
}

#ifdef PLAYER_BINARY
// The real LyrevaneScheduler, whose opener starts the real player, on the private bus.
class RealPlayersTest : public testing::SchedulerBinaryTest {
protected:
    void SetUp() override {
        SchedulerBinaryTest::SetUp();
        usePlayer(QStringLiteral(PLAYER_BINARY));
        notifications = ServeNotifications(owner);
    }
    void TearDown() override {
        second.terminate();  // a player closes as it would at logout
        second.waitForFinished(20000);
        QDBusConnection::disconnectFromBus(u"notifications"_s);
        SchedulerBinaryTest::TearDown();
    }
    void ScheduleNow(const QString& url) {
        const double due = datevalue::timeOfDay(QDateTime::currentDateTime().addSecs(120));
        Schedule schedule;
        schedule.Broadcasts = {{u"Live"_s, due, url, 127, datevalue::kNever}};
        ASSERT_TRUE(writeSchedule(store, schedule, QDateTime::currentDateTime()));
    }
    std::unique_ptr<QObject> owner;
    FakeNotifications* notifications = nullptr;
};

// The player is on the bus before its command line's stream fails, and the retry goes to it.
TEST_F(RealPlayersTest, ARefusedStreamIsRetriedInThePlayerThenNotifiedWithItsOwnError) {
    ScheduleNow(u"http://127.0.0.1:%1/live.mp3"_s.arg(testing::closedPort()));
    start(first);
    // Both errors are read from the bus: well before a silent player's 60 s would run out.
    ASSERT_TRUE(waitUntil([&] { return !notifications->bodies.isEmpty(); }, 50s));
    EXPECT_TRUE(notifications->bodies.first().contains(u"Connection refused"_s))
        << notifications->bodies.first().toStdString();
    EXPECT_EQ(openedLines().size(), 1) << "no second player for the retry";
}

TEST_F(RealPlayersTest, APlayerConnectingToTheStreamAlreadyConfirmsTheBroadcast) {
    QTcpServer silent;  // takes the connection and never answers: the player keeps connecting
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString url = u"http://127.0.0.1:%1/live.mp3"_s.arg(silent.serverPort());
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(PLAYER_BINARY), {playCommandUrl(url)});
    const auto playingOnBus = [] {
        QDBusMessage get = QDBusMessage::createMethodCall(
            u"org.mpris.MediaPlayer2.lyrevane"_s, u"/org/mpris/MediaPlayer2"_s,
            u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get << u"org.mpris.MediaPlayer2.Player"_s << u"PlaybackStatus"_s;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
        return reply.arguments().value(0).value<QDBusVariant>().variant() == u"Playing"_s;
    };
    ASSERT_TRUE(waitUntil(playingOnBus, 60s));

    ScheduleNow(url);
    start(first);
    EXPECT_TRUE(waitUntil([&] { return setting(schedulekeys::lastActive(u"Live"_s)) == today(); },
                          kTickWait));
    EXPECT_FALSE(waitUntil([&] { return !openedLines().isEmpty(); }, 10s));
    EXPECT_TRUE(notifications->bodies.isEmpty());
}
#endif

}  // namespace
}  // namespace lyrevane

#include "launchwatcher_test.moc"
