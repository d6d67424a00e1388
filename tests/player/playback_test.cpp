#include <gtest/gtest.h>

#include <QCoreApplication>

#include "../support/fakes.h"
#include "core/playbackcontroller.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::FakeMediaEngine;
using testing::FakePlayBar;
using testing::FakePrompts;

// Error messages are posted: they need an event loop to arrive.
class PlaybackTest : public ::testing::Test {
protected:
    int argc = 1;
    char name[8] = "player";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    testing::EventLog log;
    FakeMediaEngine engine{&log};
    FakePlayBar playBar;
    FakePrompts prompts;
    PlaybackController playback{engine, playBar, prompts};
};

TEST_F(PlaybackTest, ButtonsFollowTheEngineOnEveryStateEvent) {
    engine.setAvailable(false, true, true);  // playing
    Q_EMIT engine.playStateChanged(MediaEngine::Playing);
    EXPECT_FALSE(playBar.playEnabled);
    EXPECT_TRUE(playBar.pauseVisible);
    EXPECT_TRUE(playBar.stopEnabled);
    EXPECT_EQ(playBar.status, u"Playing."_s);

    engine.setAvailable(true, false, true);  // paused: the status text stays
    Q_EMIT engine.playStateChanged(MediaEngine::Paused);
    EXPECT_TRUE(playBar.playEnabled);
    EXPECT_FALSE(playBar.pauseVisible);
    EXPECT_EQ(playBar.status, u"Playing."_s);

    engine.setAvailable(true, false, false);  // an open-state event refreshes them too
    Q_EMIT engine.openStateChanged(MediaEngine::MediaOpen);
    EXPECT_FALSE(playBar.stopEnabled);
    EXPECT_EQ(playBar.status, u"Playing."_s);
}

TEST_F(PlaybackTest, OpenStatesMapToTheirTexts) {
    const std::pair<int, const char16_t*> mapped[] = {{0, u"Undefined state (1)"},
                                                      {3, u"Retrieving playlist..."},
                                                      {10, u"Connecting to media..."}};
    for (const auto& [state, text] : mapped) {
        playBar.status = u"before"_s;
        Q_EMIT engine.openStateChanged(state);
        EXPECT_EQ(playBar.status, QString::fromUtf16(text)) << state;
    }
    for (int state : {-1, 1, 2, 4, 6, 8, 9, 11, 12, 13, 19, 1000}) {
        playBar.status = u"before"_s;
        Q_EMIT engine.openStateChanged(state);
        EXPECT_EQ(playBar.status, u"before"_s) << state;
    }
}

TEST_F(PlaybackTest, PlayStatesMapToTheirTexts) {
    const std::pair<int, const char16_t*> mapped[] = {
        {0, u"Undefined state (2)"}, {1, u"Stopped."}, {3, u"Playing."},
        {6, u"Buffering..."},        {8, u"Done."},    {10, u"Ready to play."}};
    for (const auto& [state, text] : mapped) {
        playBar.status = u"before"_s;
        Q_EMIT engine.playStateChanged(state);
        EXPECT_EQ(playBar.status, QString::fromUtf16(text)) << state;
    }
    for (int state : {-1, 2, 4, 5, 7, 9, 11, 32767}) {
        playBar.status = u"before"_s;
        Q_EMIT engine.playStateChanged(state);
        EXPECT_EQ(playBar.status, u"before"_s) << state;
    }
}

TEST_F(PlaybackTest, ErrorRefreshesButtonsThenShowsTheNewestDescriptionOnceTheEngineReturned) {
    engine.errors = {u"first failure"_s, u"Cannot connect to 127.0.0.1:9"_s};
    engine.setAvailable(true, false, false);
    Q_EMIT engine.errorOccurred();
    // Not inside the engine's call: the modal box would run its event loop there.
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(playBar.playEnabled);
    engine.errors.append(u"a later error"_s);  // the text is the one of the report
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages.front(),
              u"A Windows Media Player error has occured.\r\nDesription: "
              u"Cannot connect to 127.0.0.1:9"_s);
    EXPECT_EQ(prompts.icons.front(), MessageIcon::Exclamation);
    EXPECT_TRUE(playBar.playEnabled);
    // The queue is read, not cleared.
    EXPECT_EQ(engine.errorCount(), 3);
}

TEST_F(PlaybackTest, ErrorWithAnEmptyQueueStillReports) {
    Q_EMIT engine.errorOccurred();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(prompts.messages,
              QStringList{u"A Windows Media Player error has occured.\r\nDesription: "_s});
}

TEST_F(PlaybackTest, ButtonsAndSliderCommandTheEngineOnly) {
    playback.playClicked();
    playback.pauseClicked();
    playback.stopClicked();
    playback.volumeChanged(0);
    EXPECT_EQ(log, (QStringList{u"engine.play"_s, u"engine.pause"_s, u"engine.stop"_s,
                                u"engine.setVolume 0"_s}));
    EXPECT_EQ(engine.volume(), 0);
    EXPECT_TRUE(playBar.status.isEmpty());
}

TEST_F(PlaybackTest, PlayMenuUsesTheTypedTextUndecoded) {
    prompts.answers.push_back(u"http://127.0.0.1:8000/a%20b.mp3"_s);
    engine.setAvailable(false, true, true);
    playback.playFromInputBox();
    EXPECT_EQ(prompts.prompts,
              QStringList{u"Type in the URL of the audio stream you would like to play."_s});
    EXPECT_EQ(prompts.defaults, QStringList{QString()});
    EXPECT_EQ(engine.urls, QStringList{u"http://127.0.0.1:8000/a%20b.mp3"_s});
    EXPECT_TRUE(playBar.pauseVisible);
}

TEST_F(PlaybackTest, PlayMenuCancelledEmptyOrRefusedPlaysNothing) {
    prompts.answers = {std::nullopt, QString(), u"http://streamharbor.example/x"_s};
    playback.playFromInputBox();
    playback.playFromInputBox();
    playback.playFromInputBox();
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_EQ(prompts.messages, QStringList{kRefusedSourceMessage.toString()});
}

TEST(PlaybackLifetime, ControllerStopsListeningWhenDestroyed) {
    int argc = 1;
    char name[] = "player";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    FakeMediaEngine engine;
    FakePlayBar playBar;
    FakePrompts prompts;
    {
        PlaybackController playback(engine, playBar, prompts);
        Q_EMIT engine.errorOccurred();  // posted, then the controller goes
    }
    Q_EMIT engine.playStateChanged(MediaEngine::Playing);
    Q_EMIT engine.errorOccurred();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(playBar.status.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

}  // namespace
}  // namespace lyrevane
