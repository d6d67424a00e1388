// Live streams that drop: a server that cuts the connection, one that goes silent with
// the connection open, and one that does not come back.
#include "enginefixture.h"

#include <QElapsedTimer>

#include <iostream>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

using Control = MediaEngine::Control;

// Short waits where the point is not the real timing.
PlayTimings quickTimings() {
    PlayTimings timings;
    timings.stallTimeout = 2s;
    timings.reconnectWindow = 4s;
    timings.firstBackoff = 200ms;
    timings.maxBackoff = 800ms;
    timings.minAttemptTimeout = 1s;
    return timings;
}

class ReconnectTest : public EngineTest {
protected:
    // A path of the test server whose first request drops in the way `first` says, and
    // whose later requests are served as `then`.
    QString dropping(const char* first, const char* then) {
        static int key = 0;
        return u"/drop/"_s + QString::fromLatin1(first) + u'/' + QString::fromLatin1(then) +
               u"/k"_s + QString::number(++key) + u"/tone.mp3"_s;
    }
    // Plays `path` until the engine gives up on it, within `timeout` of playing, and
    // expects the one error saying that the connection was lost, and why.
    void expectConnectionLost(VlcMediaEngine& engine, const QString& path, const QString& reason,
                              std::chrono::milliseconds timeout) {
        ASSERT_TRUE(startPlaying(engine, path));
        ASSERT_TRUE(waitUntil([&] { return engine.errorCount() > 0; }, timeout));
        EXPECT_EQ(engine.errorDescription(0),
                  u"Lost the connection to "_s + url(path) + u": "_s + reason);
        EXPECT_EQ(engine.playState(), MediaEngine::Ready);
    }
};

TEST_F(ReconnectTest, CutConnectionReconnectsAtOnceAndResumes) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    const QString path = dropping("cut", "live");
    ASSERT_TRUE(startPlaying(*engine, path));
    const std::size_t firstPlaying = log.events.size();

    ASSERT_TRUE(waitUntil([&] { return requests().count(path) == 2; }, 20s));
    ASSERT_TRUE(waitUntil(
        [&] {
            return engine->playState() == MediaEngine::Playing && log.events.size() > firstPlaying;
        },
        10s));
    // The listener sees the reconnection as connecting, buffering, playing.
    const std::vector<std::string> reconnecting(log.events.begin() + firstPlaying,
                                                log.events.end());
    const std::vector<std::string> expected{"open:10", "play:9", "open:13", "play:6", "play:3"};
    EXPECT_EQ(reconnecting, expected);
    EXPECT_EQ(engine->errorCount(), 0);
    EXPECT_TRUE(engine->isAvailable(Control::Pause));
    // What played before the cut is still kept, the gap marked once audio came again.
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto items = engine->programme();
            return !items.isEmpty() && items.back().gap;
        },
        10s));
    EXPECT_GT(engine->programme().back().at, 0ms);
    EXPECT_GE(engine->keptBeforePosition(), engine->programme().back().at);
}

TEST_F(ReconnectTest, CutConnectionThatDoesNotComeBackIsReportedOnceWithItsReason) {
    auto engine = makeEngine(quickTimings());
    SignalLog log(*engine);
    const QString path = dropping("cut", "missing");
    expectConnectionLost(*engine, path, u"HTTP 404 Not Found."_s, 30s);
    // Backoff: several attempts within the window, not a tight loop.
    const qsizetype attempts = requests().count(path) - 1;
    EXPECT_GE(attempts, 3);
    EXPECT_LE(attempts, 10);
    EXPECT_TRUE(engine->isAvailable(Control::Play));
    EXPECT_FALSE(engine->isAvailable(Control::Stop));
    // Nothing more happens after the report.
    const qsizetype served = requests().size();
    settle(1500ms);
    EXPECT_EQ(requests().size(), served);
    EXPECT_EQ(log.count("error"), 1);
}

TEST_F(ReconnectTest, ServerSilentWithConnectionOpenCountsAsDroppedAfterTenSeconds) {
    auto engine = makeEngine();
    const QString path = dropping("hang", "live");
    ASSERT_TRUE(startPlaying(*engine, path));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(waitUntil([&] { return requests().count(path) == 2; }, 40s));
    std::cout << "[ INFO     ] reconnected " << timer.elapsed()
              << " ms after playing started (audio buffered for about 6 s)\n";
    EXPECT_GE(timer.elapsed(), 10000) << "the watchdog waits for the time to stop advancing";
    ASSERT_TRUE(reaches(*engine, MediaEngine::Playing));
    EXPECT_EQ(engine->errorCount(), 0);
}

TEST_F(ReconnectTest, ServerSilentForGoodReportsTheSilence) {
    auto engine = makeEngine(quickTimings());
    expectConnectionLost(*engine, dropping("hang", "silent"), u"No data received for 2 seconds."_s,
                         40s);
}

TEST_F(ReconnectTest, StopCancelsReconnecting) {
    PlayTimings timings = quickTimings();
    timings.reconnectWindow = 60s;
    auto engine = makeEngine(timings);
    SignalLog log(*engine);
    const QString path = dropping("cut", "missing");
    ASSERT_TRUE(startPlaying(*engine, path));
    ASSERT_TRUE(waitUntil([&] { return requests().count(path) >= 3; }, 20s));
    engine->stop();
    EXPECT_EQ(engine->playState(), MediaEngine::Stopped);
    EXPECT_FALSE(engine->isAvailable(Control::Stop));
    const qsizetype attempts = requests().count(path);
    settle(2s);  // longer than the longest wait between attempts
    EXPECT_EQ(requests().count(path), attempts);
    EXPECT_EQ(engine->playState(), MediaEngine::Stopped);
    EXPECT_EQ(log.count("error"), 0);
}

TEST_F(ReconnectTest, StreamWithAKnownLengthEndsWithoutReconnecting) {
    auto engine = makeEngine(quickTimings());
    engine->setUrl(url(u"/short.mp3"_s));
    ASSERT_TRUE(reaches(*engine, MediaEngine::MediaEnded));
    settle(1s);
    EXPECT_EQ(engine->playState(), MediaEngine::MediaEnded);
    EXPECT_EQ(requests(), QStringList{u"/short.mp3"_s});
    EXPECT_EQ(engine->errorCount(), 0);
}

}  // namespace
}  // namespace lyrevane::testing
