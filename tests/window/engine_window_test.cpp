// The real main window with the real libVLC engine, against the demo Icecast server and
// local pages, playlists and failing servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineView>

#include <memory>

#include "../support/mainwindowfixture.h"
#include "../support/servers.h"
#include "core/playersettings.h"
#include "dialogs/frmrundown.h"
#include "vlc/vlcmediaengine.h"

using namespace Qt::Literals::StringLiterals;

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace lyrevane::testing {
namespace {

constexpr auto kPlayTimeout = 15s;
constexpr auto kErrorTimeout = 15s;
// How long a link that must do nothing is given to do something.
constexpr auto kQuietPeriod = 2s;

const QString kErrorPrefix = u"A Windows Media Player error has occured.\r\nDesription: "_s;

QString commandLink(const QString& id, const QString& stream) {
    return u"<a id='%1' href='lyrev:play?%2'>%1</a><br>"_s.arg(
        id, QString::fromLatin1(QUrl::toPercentEncoding(stream)));
}

class LiveWindowTest : public MainWindowTest {
protected:
    static void SetUpTestSuite() {
        streams_ = std::make_unique<DemoStreams>();
        startProblem_ = streams_->start();
    }
    static void TearDownTestSuite() { streams_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(startProblem_.isEmpty()) << startProblem_.toStdString();
        MainWindowTest::SetUp();
        ASSERT_TRUE(pages.isListening());
        refused = u"http://127.0.0.1:"_s + QString::number(closedPort()) + u"/live.mp3"_s;
        const QString mp3 = streams_->mp3();
        pages.add(u"/radio.asx"_s,
                  u"<asx version=\"3.0\"><title>Live</title><entry><ref href=\""_s + mp3 +
                      u"\"/></entry></asx>\n"_s,
                  "video/x-ms-asf");
        pages.add(
            u"/radio.pls"_s,
            u"[playlist]\nNumberOfEntries=1\nFile1="_s + mp3 + u"\nTitle1=Live\nVersion=2\n"_s,
            "audio/x-scpls");
        const QString page =
            u"<html><body><p>Live programme</p>"_s + commandLink(u"play-live"_s, mp3) +
            commandLink(u"play-asx"_s, pages.base() + u"/radio.asx"_s) +
            commandLink(u"play-pls"_s, pages.base() + u"/radio.pls"_s) +
            commandLink(u"play-missing"_s, pages.base() + u"/missing.mp3"_s) +
            commandLink(u"play-refused"_s, refused) +
            commandLink(u"play-silent"_s, silent.url(u"/live.mp3"_s)) + u"</body></html>"_s;
        pages.add(u"/player_interviews.shtml"_s, page, "text/html; charset=utf-8");
        pages.add(u"/player_creative.shtml"_s, page, "text/html; charset=utf-8");

        setPortal(pages.base());
        engineOptions.vlcArguments = {u"--aout=dummy"_s};
        vlc = std::make_unique<VlcMediaEngine>(engineOptions);
        // Nobody is left listening from an earlier test.
        ASSERT_TRUE(waitUntil([] { return streams_->listeners(kMount) == 0; }, 10s));
    }

    void TearDown() override {
        MainWindowTest::TearDown();
        vlc.reset();
    }
    MediaEngine& mediaEngine() override { return *vlc; }

    // Starts the window, noting every status it shows, and waits until both panes have
    // loaded their pages.
    void start() {
        makeWindow();
        QObject::connect(named<QStatusBar>(*window, "sbStatusBar"), &QStatusBar::messageChanged,
                         window.get(), [this](const QString& text) {
                             if (!text.isEmpty()) {
                                 statuses.append(text);
                             }
                         });
        ASSERT_TRUE(MainWindowTest::start());
        ASSERT_TRUE(panesLoadedOk);
    }

    void click(QWebEngineView* view, const QString& id) { ClickInPane(view, id); }

    QString status() const { return named<QStatusBar>(*window, "sbStatusBar")->currentMessage(); }

    bool waitForStatus(const QString& text, std::chrono::milliseconds timeout = kPlayTimeout) {
        return waitUntil([&] { return status() == text; }, timeout);
    }

    // The error message box as the player shows it for the engine's newest error.
    QString expectedErrorMessage() const {
        return kErrorPrefix + vlc->errorDescription(vlc->errorCount() - 1);
    }

    // Waits for the first message box, then a moment more so that a second one would show.
    void waitForOneMessage() {
        ASSERT_TRUE(waitUntil([&] { return !prompts.messages.isEmpty(); }, kErrorTimeout))
            << "status " << status().toStdString();
        waitUntil([] { return false; }, 700ms);
        ASSERT_EQ(prompts.messages.size(), 1) << prompts.messages.join(u" | "_s).toStdString();
        EXPECT_EQ(prompts.icons.front(), MessageIcon::Exclamation);
    }

    void expectIdleButtons() {
        EXPECT_TRUE(named<QToolButton>(*window, "cmdPlay")->isEnabled());
        EXPECT_FALSE(named<QToolButton>(*window, "cmdPause")->isVisible());
        EXPECT_FALSE(named<QToolButton>(*window, "cmdStop")->isEnabled());
    }

    void expectPlayingButtons() {
        EXPECT_FALSE(named<QToolButton>(*window, "cmdPlay")->isEnabled());
        EXPECT_TRUE(named<QToolButton>(*window, "cmdPause")->isVisible());
        EXPECT_TRUE(named<QToolButton>(*window, "cmdStop")->isEnabled());
        EXPECT_EQ(named<QToolButton>(*window, "cmdPause")->geometry(),
                  named<QToolButton>(*window, "cmdPlay")->geometry());
    }

    void playsPlaylist(const QString& id, const QString& path) {
        start();
        click(named<QWebEngineView>(*window, "webBrowser"), id);
        ASSERT_TRUE(waitForStatus(u"Playing."_s)) << statuses.join(u", "_s).toStdString();
        EXPECT_EQ(vlc->url(), pages.base() + path);
        EXPECT_TRUE(pages.requests.contains(path));
        ASSERT_FALSE(statuses.isEmpty());
        EXPECT_EQ(statuses.front(), u"Retrieving playlist..."_s);
        EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(u" | "_s).toStdString();
        EXPECT_TRUE(waitUntil([] { return streams_->listeners(kMount) == 1; }, 5s));
        expectPlayingButtons();
    }

    static inline const QString kMount = u"/quillmoor.mp3"_s;
    static inline std::unique_ptr<DemoStreams> streams_;
    static inline QString startProblem_;

    PageServer pages;
    SilentServer silent;
    QString refused;
    VlcEngineOptions engineOptions;
    std::unique_ptr<VlcMediaEngine> vlc;
    QStringList statuses;
};

TEST_F(LiveWindowTest, MainPaneLinkPlaysTheLiveStream) {
    start();
    const QUrl page = named<QWebEngineView>(*window, "webBrowser")->url();
    // Nothing to play before a link is clicked.
    EXPECT_FALSE(named<QToolButton>(*window, "cmdPlay")->isEnabled());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdPause")->isVisible());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdStop")->isEnabled());
    click(named<QWebEngineView>(*window, "webBrowser"), u"play-live"_s);
    ASSERT_TRUE(waitForStatus(u"Playing."_s)) << statuses.join(u", "_s).toStdString();
    EXPECT_EQ(vlc->url(), streams_->mp3());
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_EQ(statuses.front(), u"Connecting to media..."_s);
    EXPECT_FALSE(statuses.contains(u"Retrieving playlist..."_s));
    EXPECT_TRUE(waitUntil([] { return streams_->listeners(kMount) == 1; }, 5s));
    expectPlayingButtons();
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->url(), page)
        << "the command link is not followed";
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(u" | "_s).toStdString();
    // A live stream keeps playing.
    waitUntil([] { return false; }, 1500ms);
    EXPECT_EQ(status(), u"Playing."_s);
    EXPECT_EQ(vlc->errorCount(), 0);
}

TEST_F(LiveWindowTest, AdPaneLinkDoesNothing) {
    start();
    const QUrl page = named<QWebEngineView>(*window, "webAd")->url();
    const QStringList before = statuses;
    click(named<QWebEngineView>(*window, "webAd"), u"play-live"_s);
    waitUntil([] { return false; }, kQuietPeriod);
    EXPECT_TRUE(vlc->url().isEmpty());
    EXPECT_EQ(vlc->playState(), MediaEngine::PlayUndefined);
    EXPECT_EQ(streams_->listeners(kMount), 0);
    EXPECT_EQ(statuses, before);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(opener.urls.isEmpty());
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->url(), page);
    EXPECT_FALSE(named<QToolButton>(*window, "cmdPlay")->isEnabled());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdStop")->isEnabled());
}

TEST_F(LiveWindowTest, AsxPlaylistPlays) {
    playsPlaylist(u"play-asx"_s, u"/radio.asx"_s);
}

TEST_F(LiveWindowTest, PlsPlaylistPlays) {
    playsPlaylist(u"play-pls"_s, u"/radio.pls"_s);
}

TEST_F(LiveWindowTest, MissingStreamShowsTheErrorMessage) {
    start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"play-missing"_s);
    waitForOneMessage();
    const QString description = vlc->errorDescription(vlc->errorCount() - 1);
    EXPECT_TRUE(description.contains(u"404"_s)) << description.toStdString();
    EXPECT_TRUE(description.contains(pages.base() + u"/missing.mp3"_s))
        << description.toStdString();
    EXPECT_EQ(prompts.messages.front(), expectedErrorMessage());
    EXPECT_TRUE(pages.requests.contains(u"/missing.mp3"_s));
    EXPECT_NE(status(), u"Playing."_s);
    expectIdleButtons();
}

TEST_F(LiveWindowTest, RefusedConnectionShowsTheErrorMessage) {
    start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"play-refused"_s);
    waitForOneMessage();
    const QString description = vlc->errorDescription(vlc->errorCount() - 1);
    EXPECT_TRUE(description.contains(u"Connection refused"_s)) << description.toStdString();
    EXPECT_TRUE(description.contains(refused)) << description.toStdString();
    EXPECT_EQ(prompts.messages.front(), expectedErrorMessage());
    expectIdleButtons();
}

TEST_F(LiveWindowTest, ServerThatNeverAnswersFailsWithinTheTimeout) {
    engineOptions.timings.connectTimeout = 1500ms;
    vlc = std::make_unique<VlcMediaEngine>(engineOptions);
    start();
    QElapsedTimer timer;
    timer.start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"play-silent"_s);
    ASSERT_TRUE(waitForStatus(u"Connecting to media..."_s, 5s));
    waitForOneMessage();
    const qint64 elapsed = timer.elapsed() - 700;  // less the wait for a second message
    EXPECT_GE(elapsed, 1400);
    EXPECT_GE(silent.connections(), 1) << "the engine reached the server";
    EXPECT_EQ(prompts.messages.front(),
              kErrorPrefix + u"Timed out connecting to "_s + silent.url(u"/live.mp3"_s) + u"."_s);
    EXPECT_NE(status(), u"Playing."_s);
    expectIdleButtons();
}

TEST_F(LiveWindowTest, PlayPauseAndStopFollowTheEngine) {
    start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"play-live"_s);
    ASSERT_TRUE(waitForStatus(u"Playing."_s)) << statuses.join(u", "_s).toStdString();
    expectPlayingButtons();

    // Paused, live radio stays connected and keeps what comes; the status keeps "Playing.".
    named<QToolButton>(*window, "cmdPause")->click();
    ASSERT_TRUE(waitUntil([&] { return vlc->playState() == MediaEngine::Paused; }, 5s));
    EXPECT_TRUE(named<QToolButton>(*window, "cmdPlay")->isEnabled());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdPause")->isVisible());
    EXPECT_TRUE(named<QToolButton>(*window, "cmdStop")->isEnabled());
    EXPECT_EQ(status(), u"Playing."_s);
    EXPECT_EQ(streams_->listeners(kMount), 1);

    named<QToolButton>(*window, "cmdPlay")->click();
    ASSERT_TRUE(waitUntil([&] { return vlc->playState() == MediaEngine::Playing; }, kPlayTimeout));
    EXPECT_EQ(status(), u"Playing."_s);
    expectPlayingButtons();
    EXPECT_TRUE(waitUntil([] { return streams_->listeners(kMount) == 1; }, 5s));

    // The Live menu moves within what was kept, and the now-playing field says where.
    ASSERT_TRUE(waitUntil(
        [&] {
            window->updateLiveMenu();
            return named<QAction>(*window, "mnuLiveBack")->isEnabled();
        },
        10s));
    named<QAction>(*window, "mnuLiveBack")->trigger();
    EXPECT_TRUE(waitUntil(
        [&] { return named<QLabel>(*window, "lblNowPlaying")->text().contains(u" behind live"_s); },
        5s))
        << named<QLabel>(*window, "lblNowPlaying")->text().toStdString();
    EXPECT_TRUE(named<QAction>(*window, "mnuLiveForward")->isEnabled());
    EXPECT_TRUE(named<QAction>(*window, "mnuLiveCatchUpFaster")->isEnabled());
    named<QAction>(*window, "mnuLiveRundown")->trigger();
    ASSERT_NE(window->rundown(), nullptr);
    EXPECT_GT(named<QSlider>(*window->rundown(), "sldTimeline")->maximum(), 0);
    window->rundown()->close();
    named<QAction>(*window, "mnuLiveCatchUp")->trigger();
    EXPECT_EQ(vlc->behindLive(), 0ms);
    EXPECT_FALSE(named<QAction>(*window, "mnuLiveForward")->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return vlc->playState() == MediaEngine::Playing; }, 5s));
    EXPECT_EQ(streams_->listeners(kMount), 1) << "all on the one connection";

    named<QToolButton>(*window, "cmdStop")->click();
    ASSERT_TRUE(waitForStatus(u"Stopped."_s, 5s)) << statuses.join(u", "_s).toStdString();
    expectIdleButtons();
    EXPECT_TRUE(waitUntil([] { return streams_->listeners(kMount) == 0; }, 5s));

    // Play starts the same stream again.
    named<QToolButton>(*window, "cmdPlay")->click();
    ASSERT_TRUE(waitForStatus(u"Playing."_s)) << statuses.join(u", "_s).toStdString();
    expectPlayingButtons();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(u" | "_s).toStdString();
}

}  // namespace
}  // namespace lyrevane::testing
