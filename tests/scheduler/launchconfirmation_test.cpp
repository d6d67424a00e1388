// Confirming scheduled starts: the four outcomes and the user's "Try again", with fake
// players, a fake opener and a fake clock.
#include "scheduler/launchconfirmation.h"

#include <gtest/gtest.h>

#include "scheduler/broadcastrecordings.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

class FakeClock final : public Clock {
public:
    QDateTime now() const override { return now_; }
    void advance(int seconds) { now_ = now_.addSecs(seconds); }

private:
    QDateTime now_{QDate(2026, 12, 7), QTime(14, 55)};
};

class FakeLauncher final : public UrlLauncher {
public:
    bool open(const QString& url, QString* error) override {
        opened.append(url);
        if (fail && error != nullptr) {
            *error = u"no handler for lyrev:"_s;
        }
        return !fail;
    }
    QStringList opened;
    bool fail = false;
};

class FakeReporter final : public LaunchReporter {
public:
    void reportFailure(const PendingLaunch& launch, const QString& problem) override {
        reports.append(launch.name + u": "_s + problem);
        launches.append(launch);
    }
    void cannotConfirm(const PendingLaunch& launch, const QString& why) override {
        unconfirmed.append(launch.name + u": "_s + why);
    }
    QStringList reports;
    QStringList unconfirmed;
    QList<PendingLaunch> launches;
};

const QString kStream = u"http://127.0.0.1:8000/quillmoor.mp3"_s;
const QString kCommand = u"lyrev:play?http%3A%2F%2F127.0.0.1%3A8000%2Fquillmoor.mp3"_s;

class LaunchConfirmationTest : public ::testing::Test {
protected:
    PlayerReport player(const QString& status, const QString& url = kStream,
                        const QString& error = {}, const QString& id = u"p1"_s) {
        return {id, url, status, error};
    }
    void SetUp() override {
        confirmation.setPlayerOpener([this](const QString& id, const QString& url) {
            inPlayers.append(id + u" <- "_s + url);
        });
    }
    FakeClock clock;
    FakeLauncher launcher;
    FakeReporter reporter;
    LaunchConfirmation confirmation{launcher, clock, reporter, 60s};
    QStringList inPlayers;  // OpenUri calls
};

TEST_F(LaunchConfirmationTest, APlayerPlayingTheStreamConfirmsAtOnce) {
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});
    EXPECT_TRUE(confirmation.isWaiting());
    // Another station, or the right one still connecting, does not count.
    confirmation.observe(
        {player(u"Playing"_s, u"http://127.0.0.1:8000/other.mp3"_s), player(u"Stopped"_s)});
    EXPECT_TRUE(confirmation.isWaiting());
    confirmation.observe({player(u"Playing"_s)});
    EXPECT_FALSE(confirmation.isWaiting());
    clock.advance(600);
    confirmation.tick();
    EXPECT_TRUE(launcher.opened.isEmpty());
    EXPECT_TRUE(reporter.reports.isEmpty());
}

// Without a look at the players the broadcast is launched once and let go: a second launch
// could start a second player beside one that plays it unseen.
TEST_F(LaunchConfirmationTest, NoPlayerWithinTheTimeIsRetriedOnlyWhereThePlayersCanBeSeen) {
    confirmation.due(u"Live"_s, u"3:00:00 PM"_s, kStream);
    confirmation.unseen(u"no session bus"_s);
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});  // and the bus goes
    confirmation.unseen(u"no session bus"_s);
    clock.advance(600);
    confirmation.tick();
    EXPECT_EQ(launcher.opened, QStringList{kCommand});
    EXPECT_EQ(reporter.unconfirmed, QStringList(2, u"Live: no session bus"_s));
    EXPECT_TRUE(reporter.reports.isEmpty());
    EXPECT_FALSE(confirmation.isWaiting());
    // The players seen, none with the broadcast: once more in a new player, then one report.
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});
    for (int i = 0; i < 2; ++i) {
        clock.advance(60);
        confirmation.tick();
        confirmation.observe({});
    }
    EXPECT_EQ(launcher.opened.size(), 2);
    EXPECT_EQ(reporter.reports, QStringList{u"Live: no player started"_s});
    EXPECT_FALSE(confirmation.isWaiting());
}

// A retry goes to a player that tries the broadcast's stream, else to an idle one, else to
// a new player: never to one that has another stream, playing, paused, stopped or recording.
TEST_F(LaunchConfirmationTest, ARetryGoesToAPlayerOnTheStreamOrIdleElseToANewOne) {
    const QString other = u"http://h/other.mp3"_s;
    PlayerReport recording = player(u"Stopped"_s, {}, {}, u"rec"_s);
    recording.recording = true;
    const PlayerReport idle = player(u"Stopped"_s, {}, {}, u"idle"_s);
    const std::pair<QList<PlayerReport>, QString> rows[] = {
        {{}, u"new"_s},
        {{player(u"Playing"_s, other), player(u"Paused"_s, other), player(u"Stopped"_s, other),
          recording},
         u"new"_s},
        {{player(u"Playing"_s, other), idle}, u"idle"_s},
        {{idle, player(u"Paused"_s, kStream, {}, u"ours"_s)}, u"ours"_s},
    };
    for (const auto& [players, into] : rows) {
        const qsizetype opened = launcher.opened.size();
        inPlayers.clear();
        confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});
        clock.advance(60);
        confirmation.tick();
        confirmation.observe(players);
        EXPECT_EQ(
            launcher.opened.size() > opened ? u"new"_s : inPlayers.value(0).section(u' ', 0, 0),
            into);
        clock.advance(60);
        confirmation.tick();
    }
}

TEST_F(LaunchConfirmationTest, ThePlayersOwnErrorIsRetriedInAPlayerAlreadyThereThenReported) {
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});
    const PlayerReport refused = player(u"Stopped"_s, kStream, u"connection refused"_s, u"p1"_s);
    const PlayerReport other = player(u"Playing"_s, u"http://h/other.mp3"_s, {}, u"p0"_s);
    confirmation.observe({other, refused});
    EXPECT_TRUE(inPlayers.isEmpty());
    // The retry goes to the player that tried the stream, not to a new one.
    confirmation.observe({other, refused});
    EXPECT_EQ(inPlayers, QStringList{u"p1 <- "_s + kStream});
    EXPECT_TRUE(launcher.opened.isEmpty());
    EXPECT_TRUE(reporter.reports.isEmpty());
    // Its error after the retry counts again (it cleared the first as it opened the stream).
    confirmation.observe({other, refused});
    EXPECT_EQ(reporter.reports, QStringList{u"Live: connection refused"_s});
    EXPECT_TRUE(launcher.opened.isEmpty());
}

TEST_F(LaunchConfirmationTest, ADueBroadcastThatAPlayerPlaysIsNotLaunchedAgain) {
    confirmation.due(u"Live"_s, u"3:00:00 PM"_s, kStream);
    EXPECT_TRUE(launcher.opened.isEmpty()) << "nothing before a look at the bus";
    confirmation.observe({player(u"Playing"_s, u"http://127.0.0.1:8000/quillmoor%2Emp3"_s)});
    EXPECT_FALSE(confirmation.isWaiting());
    EXPECT_TRUE(launcher.opened.isEmpty());
    // Players on other streams: a new player is launched (only a retry reuses one).
    confirmation.due(u"Live"_s, u"3:00:00 PM"_s, kStream);
    confirmation.observe({player(u"Paused"_s), player(u"Playing"_s, u"http://h/x"_s)});
    EXPECT_EQ(launcher.opened, QStringList{kCommand});
    EXPECT_TRUE(inPlayers.isEmpty());
    // A retry of a stream that players cannot open by the bus (mms:) goes to the opener.
    confirmation.launched(u"Mms"_s, u"3:00:00 PM"_s, u"mms://h/live"_s, false, {});
    confirmation.observe({player(u"Stopped"_s, u"http://h/x"_s)});
    EXPECT_EQ(launcher.opened.size(), 2);
    EXPECT_TRUE(inPlayers.isEmpty());
}

TEST_F(LaunchConfirmationTest, AnOpenerThatCannotStartIsRetriedAtOnce) {
    launcher.fail = true;
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, false, u"no handler for lyrev:"_s);
    confirmation.observe({});
    EXPECT_EQ(launcher.opened, QStringList{kCommand});
    EXPECT_EQ(reporter.reports, QStringList{u"Live: no player started: no handler for lyrev:"_s});
    EXPECT_FALSE(confirmation.isWaiting());
}

TEST_F(LaunchConfirmationTest, TryAgainIsAFreshLaunchWithItsOwnRetry) {
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});
    clock.advance(60);
    confirmation.tick();
    confirmation.observe({});
    clock.advance(60);
    confirmation.tick();
    ASSERT_EQ(reporter.launches.size(), 1);

    ASSERT_EQ(launcher.opened.size(), 1);  // the first launch was the scheduler's own
    confirmation.tryAgain(reporter.launches.first());
    confirmation.observe({});
    EXPECT_EQ(launcher.opened.size(), 2);
    clock.advance(60);
    confirmation.tick();
    confirmation.observe({player(u"Stopped"_s, {})});  // its retry reuses an idle player
    EXPECT_EQ(launcher.opened.size(), 2);
    EXPECT_EQ(inPlayers, QStringList{u"p1 <- "_s + kStream});
    confirmation.observe({player(u"Playing"_s)});
    EXPECT_EQ(reporter.reports.size(), 1);
    EXPECT_FALSE(confirmation.isWaiting());
}

TEST_F(LaunchConfirmationTest, TwoBroadcastsAreFollowedApart) {
    const QString other = u"http://127.0.0.1:8000/quillmoor.ogg"_s;
    confirmation.launched(u"Live"_s, u"3:00:00 PM"_s, kStream, true, {});
    confirmation.launched(u"Ogg"_s, u"3:00:00 PM"_s, other, true, {});
    confirmation.observe({player(u"Playing"_s, other)});
    ASSERT_EQ(confirmation.pending().size(), 1);
    EXPECT_EQ(confirmation.pending().first().name, u"Live"_s);
}

// Marked broadcasts are recorded by their player until the limit or their stream's end.
TEST_F(LaunchConfirmationTest, TheConfirmingPlayerRecordsMarkedBroadcastsUntilTheLimit) {
    QStringList asked;
    BroadcastRecordings recordings(
        clock, [&](const QString& id, bool on) { asked.append(id + (on ? u" on"_s : u" off"_s)); });
    confirmation.setConfirmedHandler([&](const PendingLaunch& launch, const PlayerReport& p) {
        recordings.confirmed(launch, p);
    });
    const QString ogg = u"http://127.0.0.1:8000/quillmoor.ogg"_s;
    const PlayerReport live = player(u"Playing"_s), stopped = player(u"Stopped"_s);
    PlayerReport seen = live, stillRecording = stopped, other = player(u"Playing"_s, ogg);
    seen.recording = stillRecording.recording = true;  // stopped: reconnecting, still recording
    confirmation.due(u"Live"_s, u"3:00:00 PM"_s, kStream, true);
    confirmation.launched(u"Ogg"_s, u"3:00:00 PM"_s, ogg, true, {}, false);
    confirmation.observe({live, player(u"Playing"_s, ogg, {}, u"p2"_s)});
    EXPECT_EQ(asked, QStringList{u"p1 on"_s});
    recordings.observe({stillRecording});
    clock.advance(2 * 3600 - 1);
    recordings.tick();
    EXPECT_EQ(asked.size(), 1);
    clock.advance(1);
    recordings.tick();
    EXPECT_EQ(asked, (QStringList{u"p1 on"_s, u"p1 off"_s}));
    PendingLaunch marked{u"Live"_s, {}, kStream, 1, {}, {}, {}, true, false, true};
    for (const auto& bus :
         {QList<QList<PlayerReport>>{{}}, {{stopped}}, {{other}}, {{seen}, {live}}}) {
        recordings.confirmed(marked, live);
        for (const QList<PlayerReport>& players : bus) {
            recordings.observe(players);
        }
        EXPECT_FALSE(recordings.isActive());
    }
    recordings.confirmed(marked, seen);  // the listener's own recording
    EXPECT_FALSE(recordings.isActive());
    recordings.confirmed(marked, live);
    EXPECT_EQ(recordings.refused(u"p1"_s).value().name, u"Live"_s);  // to be reported
    EXPECT_EQ(asked.count(u"p1 off"_s), 1) << "nothing to stop";
}

TEST(SameStreamTest, PercentEncodingDoesNotMakeADifferentStream) {
    EXPECT_TRUE(sameStream(u"http://h/a b"_s, u"http://h/a%20b"_s));
    EXPECT_TRUE(sameStream(u"http://h/x"_s, u"http://h/x"_s));
    EXPECT_FALSE(sameStream(u"http://h/x"_s, u"http://h/y"_s));
    EXPECT_FALSE(sameStream({}, u"http://h/x"_s));
}

}  // namespace
}  // namespace lyrevane
