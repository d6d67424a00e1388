// The MPRIS service on a private session bus (run under dbus-run-session), driven by a
// second bus connection as a desktop panel would.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

#include "../support/waituntil.h"
#include "desktop/mprisservice.h"
#include "engine/silentmediaengine.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::waitUntil;

const QString kPath = u"/org/mpris/MediaPlayer2"_s;
const QString kRoot = u"org.mpris.MediaPlayer2"_s;
const QString kPlayer = u"org.mpris.MediaPlayer2.Player"_s;

// An engine whose state the test sets.
class ScriptedEngine final : public SilentMediaEngine {
public:
    bool isAvailable(Control control) const override {
        return control == Control::Play ? canPlay : control == Control::Pause ? canPause : true;
    }
    int playState() const override { return playState_; }
    int errorCount() const override { return int(errors.size()); }
    QString errorDescription(int index) const override { return errors.value(index); }
    QString stationName() const override { return station; }
    QString nowPlaying() const override { return title; }
    std::chrono::milliseconds behindLive() const override { return behind; }
    void catchUpToLive() override { behind = {}; }
    std::chrono::milliseconds keptBeforePosition() const override { return keptBefore; }
    // As the kept programme does: within what is kept, never past live.
    std::chrono::milliseconds moveInProgramme(std::chrono::milliseconds by) override {
        const std::chrono::milliseconds moved = std::clamp(by, -keptBefore, behind);
        keptBefore += moved;
        behind -= moved;
        if (moved.count() != 0) {
            Q_EMIT positionJumped();
        }
        return moved;
    }
    QString recordRefusal() const override { return refusal; }
    void setRecording(bool on) override { recorded = on ? 0 : -1; }
    qint64 recordingSeconds() const override { return recorded; }

    void SetPlayState(int state) {
        playState_ = state;
        Q_EMIT playStateChanged(state);
    }
    bool canPlay = false;
    bool canPause = false;
    QStringList errors;
    QString station;
    QString title;
    std::chrono::milliseconds behind{0};
    std::chrono::milliseconds keptBefore{0};
    QString refusal;
    qint64 recorded = -1;

private:
    int playState_ = 0;
};

class MprisBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
        actions.play = [this] { calls.append(u"play"_s); };
        actions.pause = [this] { calls.append(u"pause"_s); };
        actions.stop = [this] { calls.append(u"stop"_s); };
        actions.setVolume = [this](int volume) {
            calls.append(u"volume "_s + QString::number(volume));
            engine.setVolume(volume);
        };
        actions.raise = [this] { calls.append(u"raise"_s); };
        actions.quit = [this] { calls.append(u"quit"_s); };
        actions.openUri = [this](const QString& url) { calls.append(u"open "_s + url); };
        service = std::make_unique<MprisService>(engine, actions);
        ASSERT_TRUE(service->start(QDBusConnection::sessionBus()));
        ASSERT_TRUE(waitUntil([&] { return !service->busName().isEmpty(); }, 10s));
        client = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, u"panel-"_s + QString::number(++clients)));
        ASSERT_TRUE(client->isConnected());
    }

    void TearDown() override {
        service.reset();
        // The name is released without waiting; wait here so the next test can own it.
        waitUntil([] { return !Owned(u"org.mpris.MediaPlayer2.lyrevane"_s); }, 10s);
        QDBusConnection::disconnectFromBus(client->name());
    }

    static bool Owned(const QString& name) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                           u"org.freedesktop.DBus"_s, u"NameHasOwner"_s);
        call << name;
        QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
        waitUntil([&] { return pending.isFinished(); }, 10s);
        return QDBusPendingReply<bool>(pending).value();
    }

    // A call from the panel's connection, answered while this thread keeps serving.
    QDBusMessage Call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service->busName(), kPath, interface, method);
        call.setArguments(arguments);
        QDBusPendingCall pending = client->asyncCall(call);
        EXPECT_TRUE(waitUntil([&] { return pending.isFinished(); }, 10s));
        return pending.reply();
    }

    QVariant get(const QString& interface, const QString& property) {
        const QDBusMessage reply =
            Call(u"org.freedesktop.DBus.Properties"_s, u"Get"_s, {interface, property});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QVariantMap Metadata() {
        const QVariant value = get(kPlayer, u"Metadata"_s);
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }

    ScriptedEngine engine;
    MprisActions actions;
    QStringList calls;
    std::unique_ptr<MprisService> service;
    std::unique_ptr<QDBusConnection> client;
    static inline int clients = 0;
};

TEST_F(MprisBusTest, TheApplicationIsNamedAndOffersRaiseAndQuit) {
    EXPECT_EQ(service->busName(), u"org.mpris.MediaPlayer2.lyrevane"_s);
    EXPECT_EQ(get(kRoot, u"Identity"_s).toString(), u"Quillmoor(tm) Vendrasel"_s);
    EXPECT_EQ(get(kRoot, u"DesktopEntry"_s).toString(), u"lyrevane"_s);
    EXPECT_TRUE(get(kRoot, u"CanQuit"_s).toBool());
    EXPECT_TRUE(get(kRoot, u"CanRaise"_s).toBool());

    Call(kRoot, u"Raise"_s);
    Call(kRoot, u"Quit"_s);
    EXPECT_TRUE(waitUntil([&] { return calls.size() == 2; }, 10s));
    EXPECT_EQ(calls, (QStringList{u"raise"_s, u"quit"_s}));
}

TEST_F(MprisBusTest, ASecondPlayerTakesAnInstanceName) {
    ScriptedEngine otherEngine;
    const QDBusConnection second =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"second-player"_s);
    {
        MprisService other(otherEngine, actions);
        ASSERT_TRUE(other.start(second));
        ASSERT_TRUE(waitUntil([&] { return !other.busName().isEmpty(); }, 10s));
        EXPECT_EQ(other.busName(), u"org.mpris.MediaPlayer2.lyrevane.instance"_s +
                                       QString::number(QCoreApplication::applicationPid()));
        EXPECT_EQ(service->busName(), u"org.mpris.MediaPlayer2.lyrevane"_s);
    }
    QDBusConnection::disconnectFromBus(u"second-player"_s);
}

// MPRIS's own rules, not the play bar's: with a stream loaded Play and Pause always act.
TEST_F(MprisBusTest, ControlsActWheneverAStreamIsLoaded) {
    // Nothing loaded: Play and Pause do nothing, Stop always reaches the player.
    EXPECT_FALSE(get(kPlayer, u"CanPlay"_s).toBool());
    EXPECT_FALSE(get(kPlayer, u"CanPause"_s).toBool());
    EXPECT_TRUE(get(kPlayer, u"CanControl"_s).toBool());
    EXPECT_FALSE(get(kPlayer, u"CanSeek"_s).toBool());
    engine.canPlay = true;  // what the engine says does not count without a stream
    Call(kPlayer, u"Play"_s);
    Call(kPlayer, u"Pause"_s);
    Call(kPlayer, u"PlayPause"_s);
    Call(kPlayer, u"Stop"_s);
    ASSERT_TRUE(waitUntil([&] { return !calls.isEmpty(); }, 10s));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, QStringList{u"stop"_s});

    // state, whether the engine can pause, method -> what the player is asked to do
    struct Case {
        int state;
        bool engineCanPause;
        QString method;
        QString action;  // empty: nothing
    };
    const QList<Case> cases = {
        {MediaEngine::Transitioning, false, u"PlayPause"_s, u"stop"_s},  // connecting live
        {MediaEngine::Buffering, false, u"Pause"_s, u"stop"_s},
        {MediaEngine::Buffering, false, u"Play"_s, {}},  // already playing
        {MediaEngine::Playing, true, u"PlayPause"_s, u"pause"_s},
        {MediaEngine::Paused, false, u"PlayPause"_s, u"play"_s},
        {MediaEngine::Paused, false, u"Pause"_s, {}},
        {MediaEngine::Stopped, false, u"Play"_s, u"play"_s},
        {MediaEngine::Stopped, false, u"PlayPause"_s, u"play"_s},
    };
    engine.setUrl(u"http://127.0.0.1:9/live.mp3"_s);
    engine.canPlay = false;  // the play bar's Play is disabled while a stream plays
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method.toStdString() + " in state " + std::to_string(c.state));
        calls.clear();
        engine.canPause = c.engineCanPause;
        engine.SetPlayState(c.state);
        EXPECT_TRUE(get(kPlayer, u"CanPlay"_s).toBool());
        EXPECT_TRUE(get(kPlayer, u"CanPause"_s).toBool());
        Call(kPlayer, c.method);
        Call(kPlayer, u"Stop"_s);  // a marker: its action comes after the method's
        ASSERT_TRUE(waitUntil([&] { return calls.contains(u"stop"_s); }, 10s));
        QCoreApplication::processEvents();
        EXPECT_EQ(calls.join(u','), c.action.isEmpty() ? u"stop"_s : c.action + u",stop"_s);
    }
}

// Requests that come while the player starts up are carried out after it, in order; a Pause
// pauses the stream that plays by then, and a second one leaves it paused.
TEST_F(MprisBusTest, RequestsDuringStartUpAreCarriedOutAfterIt) {
    actions.pause = [this] {
        calls.append(u"pause"_s);
        engine.SetPlayState(MediaEngine::Paused);
    };
    service = std::make_unique<MprisService>(engine, actions);  // called directly, off the bus
    service->holdRequests();
    engine.setUrl(u"http://127.0.0.1:9/live.mp3"_s);
    engine.SetPlayState(MediaEngine::Transitioning);  // the command line's stream opens
    service->refresh();
    service->playPause();
    service->playPause();
    service->carry(actions.raise);
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.isEmpty());

    engine.canPause = true;
    engine.SetPlayState(MediaEngine::Playing);
    service->releaseRequests();
    ASSERT_TRUE(waitUntil([&] { return calls.size() >= 2; }, 10s));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.join(u','), u"pause,raise"_s);
    calls.clear();
    service->carry(actions.stop);
    ASSERT_TRUE(waitUntil([&] { return !calls.isEmpty(); }, 10s));
    EXPECT_EQ(calls, QStringList{u"stop"_s});
}

TEST_F(MprisBusTest, OpenUriPlaysAllowedStreamsAndRefusesOthersWithAnError) {
    EXPECT_EQ(get(kRoot, u"SupportedUriSchemes"_s).toStringList(),
              (QStringList{u"http"_s, u"https"_s}));
    for (const QString& refused :
         {u"file:///etc/passwd"_s, u"lyrev:play?http://127.0.0.1/a.mp3"_s, u"http:///a.mp3"_s,
          u"mms://127.0.0.1/a"_s, u"not a url"_s, refusedSources().first()}) {
        const QDBusMessage reply = Call(kPlayer, u"OpenUri"_s, {refused});
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << refused.toStdString();
    }
    const QDBusMessage reply = Call(kPlayer, u"OpenUri"_s, {u"HTTPS://127.0.0.1:9/a b.mp3"_s});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !calls.isEmpty(); }, 10s));
    EXPECT_EQ(calls, QStringList{u"open HTTPS://127.0.0.1:9/a b.mp3"_s});
}

TEST_F(MprisBusTest, VolumeIsReadAndSetAsAFraction) {
    EXPECT_DOUBLE_EQ(get(kPlayer, u"Volume"_s).toDouble(), 0.5);
    const auto set = [&](double volume) {
        return Call(u"org.freedesktop.DBus.Properties"_s, u"Set"_s,
                    {kPlayer, u"Volume"_s, QVariant::fromValue(QDBusVariant(volume))});
    };
    set(0.3);
    ASSERT_TRUE(waitUntil([&] { return calls.size() == 1; }, 10s));
    EXPECT_EQ(calls.last(), u"volume 30"_s);
    EXPECT_DOUBLE_EQ(get(kPlayer, u"Volume"_s).toDouble(), 0.3);
    set(7.0);
    set(-1.0);
    ASSERT_TRUE(waitUntil([&] { return calls.size() == 3; }, 10s));
    EXPECT_EQ(calls.mid(1), (QStringList{u"volume 100"_s, u"volume 0"_s}));
}

TEST_F(MprisBusTest, MetadataCarriesTheStreamStationAndTitle) {
    EXPECT_EQ(Metadata().value(u"mpris:trackid"_s).value<QDBusObjectPath>().path(),
              u"/org/mpris/MediaPlayer2/TrackList/NoTrack"_s);

    engine.setUrl(u"http://127.0.0.1:8000/quillmoor.mp3"_s);
    engine.station = u"Quillmoor Live"_s;
    engine.title = u"Kestrel Lithium - CEO interview"_s;
    Q_EMIT engine.metadataChanged();
    QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value(u"xesam:url"_s).toString(), u"http://127.0.0.1:8000/quillmoor.mp3"_s);
    EXPECT_EQ(metadata.value(u"xesam:title"_s).toString(), u"CEO interview"_s);
    EXPECT_EQ(metadata.value(u"xesam:artist"_s).toStringList(), QStringList{u"Kestrel Lithium"_s});
    EXPECT_EQ(metadata.value(u"xesam:album"_s).toString(), u"Quillmoor Live"_s);
    const QString firstTrack = metadata.value(u"mpris:trackid"_s).value<QDBusObjectPath>().path();

    // Without a title the station is what plays; a new stream is a new track.
    engine.setUrl(u"http://127.0.0.1:8000/quillmoor.ogg"_s);
    engine.title.clear();
    Q_EMIT engine.metadataChanged();
    metadata = Metadata();
    EXPECT_EQ(metadata.value(u"xesam:title"_s).toString(), u"Quillmoor Live"_s);
    EXPECT_FALSE(metadata.contains(u"xesam:artist"_s));
    EXPECT_NE(metadata.value(u"mpris:trackid"_s).value<QDBusObjectPath>().path(), firstTrack);
}

TEST_F(MprisBusTest, ThePlayersLastErrorIsReadableUntilANewStreamStarts) {
    const QString lyrevane = u"example.quillmoor.Lyrevane"_s;
    engine.setUrl(u"http://127.0.0.1:9/live.mp3"_s);
    service->refresh();
    EXPECT_EQ(get(lyrevane, u"LastError"_s).toString(), QString());
    engine.errors.append(u"Cannot open http://127.0.0.1:9/live.mp3: connection refused."_s);
    Q_EMIT engine.errorOccurred();
    EXPECT_EQ(get(lyrevane, u"LastError"_s).toString(),
              u"Cannot open http://127.0.0.1:9/live.mp3: connection refused."_s);
    // Opened again through MPRIS (a scheduler's retry): a fresh try, no error yet.
    Call(kPlayer, u"OpenUri"_s, {engine.url()});
    EXPECT_EQ(get(lyrevane, u"LastError"_s).toString(), QString());
    Q_EMIT engine.errorOccurred();
    engine.setUrl(u"http://127.0.0.1:9/other.mp3"_s);
    service->refresh();
    EXPECT_EQ(get(lyrevane, u"LastError"_s).toString(), QString());
}

// The listener's own controls of a live stream: back to live, and a recording that starts
// only where the stream can be recorded.
TEST_F(MprisBusTest, CatchingUpAndRecordingThroughThePlayersOwnInterface) {
    const QString lyrevane = u"example.quillmoor.Lyrevane"_s;
    engine.behind = std::chrono::seconds(155);
    Q_EMIT engine.metadataChanged();  // as the engine announces it
    EXPECT_EQ(get(lyrevane, u"BehindLive"_s).toLongLong(), 155);
    Call(lyrevane, u"CatchUpToLive"_s);
    EXPECT_EQ(get(lyrevane, u"BehindLive"_s).toLongLong(), 0);
    engine.refusal = u"This stream's format cannot be recorded."_s;
    const QDBusMessage refused = Call(lyrevane, u"Record"_s, {true});
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(refused.errorMessage(), engine.refusal);
    EXPECT_FALSE(get(lyrevane, u"Recording"_s).toBool());
    engine.refusal.clear();
    EXPECT_EQ(Call(lyrevane, u"Record"_s, {true}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(get(lyrevane, u"Recording"_s).toBool());
    Call(lyrevane, u"Record"_s, {false});
    EXPECT_FALSE(get(lyrevane, u"Recording"_s).toBool());
}

// A panel's reads are answered while the window's thread is busy (as when the browser engine
// starts): this thread waits for the answer without serving anything.
TEST_F(MprisBusTest, ReadsAreAnsweredWhileTheWindowsThreadIsBusy) {
    std::promise<QDBusMessage> answer;
    std::thread panel([&] {
        {
            const QDBusConnection own =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"busy-panel"_s);
            QDBusMessage call = QDBusMessage::createMethodCall(
                service->busName(), kPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
            call << kPlayer << u"PlaybackStatus"_s;
            answer.set_value(own.call(call, QDBus::Block, 20000));
        }
        QDBusConnection::disconnectFromBus(u"busy-panel"_s);
    });
    std::future<QDBusMessage> answered = answer.get_future();
    const bool whileBusy = answered.wait_for(15s) == std::future_status::ready;
    panel.join();
    EXPECT_TRUE(whileBusy) << "the read waited for this thread";
    EXPECT_EQ(answered.get().arguments().value(0).value<QDBusVariant>().variant().toString(),
              u"Stopped"_s);
}

// Receives PropertiesChanged as a panel does.
class PropertiesSpy : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeked;
public Q_SLOTS:
    void onSeeked(qlonglong position) { seeked.append(position); }
    void onChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == u"org.mpris.MediaPlayer2.Player") {
            changes.append(changed);
        }
    }
};

TEST_F(MprisBusTest, ChangesAreSignalledOnceWithTheirNewValues) {
    PropertiesSpy spy;
    ASSERT_TRUE(client->connect(service->busName(), kPath, u"org.freedesktop.DBus.Properties"_s,
                                u"PropertiesChanged"_s, &spy,
                                SLOT(onChanged(QString, QVariantMap, QStringList))));
    // Let the match rule reach the bus before the change.
    get(kRoot, u"Identity"_s);

    engine.setUrl(u"http://127.0.0.1:9/live.mp3"_s);
    engine.SetPlayState(MediaEngine::Buffering);
    ASSERT_TRUE(waitUntil([&] { return !spy.changes.isEmpty(); }, 10s));
    EXPECT_TRUE(spy.changes.first().value(u"CanPlay"_s).toBool());
    EXPECT_EQ(spy.changes.first().value(u"PlaybackStatus"_s).toString(), u"Playing"_s);
    EXPECT_TRUE(spy.changes.first().value(u"CanPause"_s).toBool());

    // The same state again says nothing.
    engine.SetPlayState(MediaEngine::Playing);
    engine.title = u"Closing bell"_s;
    Q_EMIT engine.metadataChanged();
    ASSERT_TRUE(waitUntil([&] { return spy.changes.size() >= 2; }, 10s));
    EXPECT_EQ(spy.changes.size(), 2);
    EXPECT_EQ(spy.changes.last().keys(), QStringList{u"Metadata"_s});
}

// A live stream's kept hour: seekable while audio is kept around what plays; Seek and
// SetPosition (of the current track only) move within it, never past live, each jump
// signalled; the desktop's own tool goes back 30 s with "position 30-".
TEST_F(MprisBusTest, SeekingMovesWithinTheKeptProgrammeNeverPastLive) {
    PropertiesSpy spy;
    ASSERT_TRUE(client->connect(service->busName(), kPath, kPlayer, u"Seeked"_s, &spy,
                                SLOT(onSeeked(qlonglong))));
    engine.setUrl(u"http://127.0.0.1:9/live.mp3"_s);
    Q_EMIT engine.metadataChanged();
    EXPECT_FALSE(get(kPlayer, u"CanSeek"_s).toBool()) << "nothing kept yet";
    engine.keptBefore = 600s;
    Q_EMIT engine.metadataChanged();
    EXPECT_TRUE(get(kPlayer, u"CanSeek"_s).toBool());
    const auto position = [&] { return get(kPlayer, u"Position"_s).toLongLong(); };
    EXPECT_EQ(position(), 600'000'000);

    Call(kPlayer, u"Seek"_s, {qlonglong{60'000'000}});
    if (QStandardPaths::findExecutable(u"playerctl"_s).isEmpty()) {
        Call(kPlayer, u"Seek"_s, {qlonglong{-30'000'000}});  // what it sends
    } else {
        QProcess playerctl;
        playerctl.start(u"playerctl"_s, {u"--player=lyrevane"_s, u"position"_s, u"30-"_s});
        ASSERT_TRUE(waitUntil([&] { return playerctl.state() == QProcess::NotRunning; }, 10s));
        EXPECT_EQ(playerctl.exitCode(), 0) << playerctl.readAllStandardError().toStdString();
    }
    ASSERT_TRUE(waitUntil([&] { return spy.seeked.size() == 1; }, 10s));
    EXPECT_EQ(spy.seeked.first(), 570'000'000) << "not past live, then back 30 s";
    EXPECT_EQ(engine.behind, 30s);

    const QDBusObjectPath track = Metadata().value(u"mpris:trackid"_s).value<QDBusObjectPath>();
    Call(kPlayer, u"SetPosition"_s,
         {QVariant::fromValue(QDBusObjectPath(u"/org/lyrevane/Track/0"_s)), qlonglong{5}});
    Call(kPlayer, u"SetPosition"_s, {QVariant::fromValue(track), qlonglong{0}});
    ASSERT_TRUE(waitUntil([&] { return spy.seeked.size() == 2; }, 10s));
    EXPECT_EQ(position(), 0) << "the oldest audio kept";
    Call(kPlayer, u"Seek"_s, {qlonglong{-5'000'000}});
    Call(kPlayer, u"Seek"_s, {qlonglong{3600'000'000}});
    ASSERT_TRUE(waitUntil([&] { return spy.seeked.size() == 3; }, 10s));
    EXPECT_EQ(position(), 600'000'000);
    EXPECT_EQ(engine.behind, 0s);
}

}  // namespace
}  // namespace lyrevane

#include "mpris_bus_test.moc"
