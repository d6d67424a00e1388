// An opening started before anyone listens (the player's start with a stream on its command
// line): adopted without a second connection, its reports replayed in order; or closed
// without a word when nobody adopts it.
#include "enginefixture.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

// Opens `source` on `engine` before anyone listens, as the player's start does, and waits
// for it to come to `state`.
bool prestartUntil(VlcMediaEngine& engine, const QString& source, MediaEngine::PlayState state) {
    engine.prestart(source);
    return reaches(engine, state);
}

TEST_F(EngineTest, AdoptedPrestartReportsWhatHappenedInOrderOnOneConnection) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    const QString live = url(u"/live/tone.mp3"_s);
    ASSERT_TRUE(prestartUntil(*engine, live, MediaEngine::Playing));
    EXPECT_TRUE(log.events.empty()) << "held until adopted";

    engine->setUrl(live);
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ(log.events.front(), "open:10");
    EXPECT_EQ(log.events.back(), "play:3");
    EXPECT_EQ(log.count("play:3"), 1);
    EXPECT_EQ(requests().count(u"/live/tone.mp3"_s), 1) << "no second connection";
    EXPECT_EQ(engine->playState(), MediaEngine::Playing);
    EXPECT_EQ(engine->url(), live);
}

TEST_F(EngineTest, PrestartThatFailedReportsItsErrorOnceAdopted) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    const QString missing = url(u"/live/missing.mp3"_s);
    ASSERT_TRUE(prestartUntil(*engine, missing, MediaEngine::Ready));
    EXPECT_EQ(engine->errorCount(), 0) << "not yet told";
    engine->setUrl(missing);
    EXPECT_EQ(log.count("error"), 1);
    ASSERT_EQ(engine->errorCount(), 1);
    EXPECT_EQ(engine->errorDescription(0),
              u"Cannot open "_s + missing + u": HTTP 404 Not Found."_s);
}

TEST_F(EngineTest, PrestartNobodyAdoptsClosesSilently) {
    auto engine = makeEngine();
    SignalLog log(*engine);
    ASSERT_TRUE(prestartUntil(*engine, url(u"/live/tone.mp3"_s), MediaEngine::Playing));
    engine->endPrestart();
    EXPECT_EQ(engine->playState(), MediaEngine::Stopped);
    EXPECT_EQ(engine->url(), QString());
    settle(300ms);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(engine->errorCount(), 0);
}

TEST_F(EngineTest, AnotherUrlReplacesAPrestart) {
    auto engine = makeEngine();
    engine->prestart(url(u"/live/tone.mp3"_s));
    SignalLog log(*engine);
    ASSERT_TRUE(startPlaying(*engine, u"/tone.mp3"_s));
    EXPECT_EQ(engine->url(), url(u"/tone.mp3"_s));
    EXPECT_EQ(log.count("play:3"), 1);
    engine->endPrestart();  // nothing left to end
    EXPECT_EQ(engine->playState(), MediaEngine::Playing);
}

}  // namespace
}  // namespace lyrevane::testing
