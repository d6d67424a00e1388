// Failures: HTTP errors, refused and silent servers, non-audio bodies, the error queue.
#include "enginefixture.h"

#include <QElapsedTimer>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

// Waits for the engine to give up on its media, then a little longer so that a second,
// unwanted error would show.
void waitForFailure(VlcMediaEngine& engine, std::chrono::milliseconds timeout = 10s) {
    ASSERT_TRUE(reaches(engine, MediaEngine::Ready, timeout));
    settle(400ms);
}

// Plays `source` until the engine gives up on it, expecting one error that names `reason`
// and the address `named` (`source` itself unless given).
void expectOneFailure(VlcMediaEngine& engine, const QString& source, const QString& reason,
                      const QString& named = {}) {
    engine.setUrl(source);
    waitForFailure(engine);
    ASSERT_EQ(engine.errorCount(), 1);
    const QString description = engine.errorDescription(0);
    EXPECT_TRUE(description.contains(reason)) << description.toStdString();
    EXPECT_TRUE(description.contains(named.isEmpty() ? source : named))
        << description.toStdString();
}

TEST_F(EngineTest, MissingStreamReportsHttpStatusAndUrl) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    expectOneFailure(*engine, url(u"/missing.mp3"_s), u"HTTP 404 Not Found"_s);
    EXPECT_EQ(log.count("error"), 1);
    // The failure leaves the media ready to retry.
    EXPECT_EQ(log.count("play:3"), 0);
    EXPECT_EQ(log.count("play:6"), 0);
    EXPECT_EQ(availableControls(*engine), "play");
}

TEST_F(EngineTest, RefusedConnectionIsReported) {
    auto engine = makeEngine();
    const QString refused = u"http://127.0.0.1:"_s + QString::number(refusedPort_) + u"/live"_s;
    expectOneFailure(*engine, refused, u"Connection refused"_s);
}

TEST_F(EngineTest, SilentServerTimesOut) {
    auto engine = makeEngine(1500ms);
    SignalLog log(*engine);
    const QString silent = url(u"/silent/stream.mp3"_s);
    QElapsedTimer timer;
    timer.start();
    engine->setUrl(silent);
    ASSERT_TRUE(waitUntil([&] { return engine->errorCount() > 0; }, 8s));
    EXPECT_GE(timer.elapsed(), 1400);
    EXPECT_EQ(engine->errorDescription(0), u"Timed out connecting to "_s + silent + u"."_s);
    EXPECT_EQ(engine->playState(), MediaEngine::Ready);
    EXPECT_EQ(log.events.front(), "open:10");
    settle(2s);
    EXPECT_EQ(engine->errorCount(), 1) << "one timeout, one error";
}

TEST_F(EngineTest, ServerThatAnswersButSendsNoAudioTimesOut) {
    auto engine = makeEngine(1500ms);
    const QString stalled = url(u"/stall/stream.mp3"_s);
    engine->setUrl(stalled);
    ASSERT_TRUE(waitUntil([&] { return engine->errorCount() > 0; }, 8s));
    EXPECT_EQ(engine->errorDescription(0), u"Timed out connecting to "_s + stalled + u"."_s);
    EXPECT_EQ(engine->playState(), MediaEngine::Ready);
}

TEST_F(EngineTest, SilentPlaylistTimesOutToo) {
    auto engine = makeEngine(1s);
    engine->setUrl(url(u"/silent/radio.pls"_s));
    EXPECT_EQ(engine->openState(), MediaEngine::PlaylistConnecting);
    ASSERT_TRUE(waitUntil([&] { return engine->errorCount() > 0; }, 6s));
    EXPECT_TRUE(engine->errorDescription(0).startsWith(u"Timed out connecting to "_s));
}

TEST_F(EngineTest, NonAudioBodyIsUnsupportedFormat) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    expectOneFailure(*engine, url(u"/page.html"_s), u"unsupported format"_s);
    EXPECT_EQ(log.count("play:3"), 0);
}

TEST_F(EngineTest, PlaylistWhoseEntriesAllFailReportsTheFirstFailureOnce) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    expectOneFailure(*engine, url(u"/broken.pls"_s), u"HTTP 404 Not Found"_s,
                     url(u"/missing.mp3"_s));
    EXPECT_EQ(log.count("error"), 1);
    EXPECT_EQ(log.count("play:3"), 0);
}

TEST_F(EngineTest, EmptyPlaylistIsAnError) {
    auto engine = makeEngine();
    engine->setUrl(url(u"/empty.pls"_s));
    waitForFailure(*engine);
    ASSERT_EQ(engine->errorCount(), 1);
    EXPECT_TRUE(engine->errorDescription(0).contains(url(u"/empty.pls"_s)));
}

TEST_F(EngineTest, ErrorsQueueUpNewestLast) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    engine->setUrl(url(u"/missing.mp3"_s));
    waitForFailure(*engine);
    engine->setUrl(u"http://127.0.0.1:"_s + QString::number(refusedPort_) + u"/"_s);
    ASSERT_TRUE(waitUntil([&] { return engine->errorCount() == 2; }, 10s));
    EXPECT_TRUE(engine->errorDescription(0).contains(u"404"_s));
    EXPECT_TRUE(engine->errorDescription(1).contains(u"Connection refused"_s));
    EXPECT_EQ(engine->errorDescription(2), QString());
    EXPECT_EQ(engine->errorDescription(-1), QString());
    EXPECT_EQ(log.count("error"), 2);
    // Reading does not clear the queue, and a retry of a failing URL adds to it.
    engine->play();
    ASSERT_TRUE(waitUntil([&] { return engine->errorCount() == 3; }, 10s));
    EXPECT_EQ(engine->errorCount(), 3);
}

TEST_F(EngineTest, StreamAfterAFailureStartsClean) {
    auto engine = makeEngine();
    engine->setUrl(url(u"/missing.mp3"_s));
    waitForFailure(*engine);
    ASSERT_TRUE(startPlaying(*engine, u"/tone.mp3"_s));
    settle(300ms);
    EXPECT_EQ(engine->errorCount(), 1);
}

}  // namespace
}  // namespace lyrevane::testing
