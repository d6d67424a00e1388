// The real main window with a fake media engine and pages served on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>
#include <QWidget>

#include "../support/mainwindowfixture.h"
#include "../support/pageserver.h"
#include "../support/ports.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::named;

using testing::PageServer;

constexpr int kLoadTimeoutMs = 20000;
constexpr int kCommandTimeoutMs = 10000;
// How long a link that must do nothing is given to do something.
constexpr int kQuietPeriodMs = 1500;

QString linkPage(const QString& streamUrl, const QString& base) {
    const QString escaped = QString::fromLatin1(QUrl::toPercentEncoding(streamUrl));
    return u"<html><body><p>Portal</p>"
           u"<a id='play' href='lyrev:play?%1'>play</a> "
           u"<a id='blank' target='_blank' href='lyrev:play?%1'>play in a new window</a> "
           u"<a id='web' target='_blank' href='%2/elsewhere.html'>elsewhere</a> "
           u"<a id='bare' href='lyrev:play'>no question mark</a>"
           u"</body></html>"_s.arg(escaped, base);
}

class WindowTest : public testing::MainWindowTest {
protected:
    static constexpr const char16_t* kStream = u"http://127.0.0.1:9/live.mp3?a=1&b=2";

    void SetUp() override {
        MainWindowTest::SetUp();
        setPortal(server.base());
        server.add(u"/player_interviews.shtml"_s,
                   linkPage(QString::fromUtf16(kStream), server.base()));
        server.add(u"/player_creative.shtml"_s,
                   linkPage(QString::fromUtf16(kStream), server.base()));
        server.add(u"/elsewhere.html"_s, u"<html><body>elsewhere</body></html>"_s);
    }

    // Waits until the window has `size` and its panes are laid out for it.
    void waitForLayout(QSize size) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return window->size() == size &&
                       named<QStatusBar>(*window, "sbStatusBar")->geometry().bottom() + 1 ==
                           window->centralWidget()->height();
            },
            kCommandTimeoutMs));
    }

    static QString text(QWebEngineView* view) { return testing::PaneText(view); }
    static void click(QWebEngineView* view, const QString& id) { testing::ClickInPane(view, id); }

    PageServer server;
};

TEST_F(WindowTest, FirstRunLaysThePanesOut) {
    start();
    EXPECT_EQ(window->windowTitle(), u"Quillmoor(tm) Vendrasel"_s);
    EXPECT_EQ(window->size(), QSize(640, 480));
    EXPECT_EQ(named<QSlider>(*window, "sldVolume")->value(), 75);
    EXPECT_EQ(engine.volume(), 75);
    // The play bar's bottom edge sits 94 pixels above the status bar.
    const QRect bar = named<QWidget>(*window, "picPlayBar")->geometry();
    EXPECT_EQ(
        named<QStatusBar>(*window, "sbStatusBar")->geometry().top() - (bar.top() + bar.height()),
        94);
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->height(), 94);
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->geometry().bottom() + 1, bar.top());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdPlay")->isEnabled());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdPause")->isVisible());
    EXPECT_FALSE(named<QToolButton>(*window, "cmdStop")->isEnabled());
    EXPECT_TRUE(server.requests.contains(u"/player_interviews.shtml"_s));
    EXPECT_TRUE(server.requests.contains(u"/player_creative.shtml"_s));
}

// The portal down (or no network): the pane says so with the player's own page, whose
// "Try again" loads the portal once it is back; a page the portal sends with an HTTP
// error stays the portal's.
TEST_F(WindowTest, AnUnreachablePortalIsSaidInThePaneAndTryAgainLoadsIt) {
    const quint16 port = quint16(testing::freePort());
    const QString base = u"http://127.0.0.1:%1"_s.arg(port);
    setPortal(base);
    start();
    const auto shows = [&](const QString& what) {
        return QTest::qWaitFor(
            [&] { return text(named<QWebEngineView>(*window, "webBrowser")).contains(what); },
            kLoadTimeoutMs);
    };
    ASSERT_TRUE(shows(u"The Quillmoor portal at "_s + base + u" cannot be reached"_s));
    EXPECT_TRUE(named<QSlider>(*window, "sldVolume")->isEnabled());
    // In the default window "Try again" shows whole, and has the keyboard focus.
    EXPECT_EQ(testing::PaneScript(named<QWebEngineView>(*window, "webBrowser"),
                                  u"const r = document.getElementById('retry')"
                                  u".getBoundingClientRect(); [r.top >= 0, r.bottom <= "
                                  u"innerHeight, document.activeElement.innerText].join()"_s),
              u"true,true,Try again"_s);
    EXPECT_TRUE(named<QWebEngineView>(*window, "webBrowser")->isAncestorOf(window->focusWidget()));
    // The ad pane stands quiet in the skin's face colour, without the engine's error page.
    const QColor face = window->centralWidget()->palette().color(QPalette::Window);
    const QString quietFace =
        u"rgb(%1, %2, %3)"_s.arg(face.red()).arg(face.green()).arg(face.blue());
    const auto adShows = [&](const QString& script, const QString& what) {
        return QTest::qWaitFor(
            [&] {
                return testing::PaneScript(named<QWebEngineView>(*window, "webAd"), script)
                           .toString() == what;
            },
            kLoadTimeoutMs);
    };
    EXPECT_TRUE(adShows(u"getComputedStyle(document.body).backgroundColor"_s, quietFace));
    EXPECT_EQ(text(named<QWebEngineView>(*window, "webAd")), QString());

    // "Try again" loads both panes once the portal is back.
    PageServer portal(QHostAddress(QHostAddress::LocalHost), port);
    ASSERT_TRUE(portal.isListening());
    portal.add(u"/player_interviews.shtml"_s, u"<html><body>Welcome back</body></html>"_s);
    portal.add(u"/player_creative.shtml"_s, u"<html><body>Ads back</body></html>"_s);
    click(named<QWebEngineView>(*window, "webBrowser"), u"retry"_s);
    ASSERT_TRUE(shows(u"Welcome back"_s));
    EXPECT_TRUE(adShows(u"document.body.innerText"_s, u"Ads back"_s));

    named<QWebEngineView>(*window, "webBrowser")->setUrl(QUrl(base + u"/missing.html"_s));
    ASSERT_TRUE(shows(u"Not found"_s));
    EXPECT_FALSE(
        text(named<QWebEngineView>(*window, "webBrowser")).contains(u"cannot be reached"_s));
}

// A store problem (a busy or damaged settings file) is said once, over the shown window:
// start-up does not wait for the user.
TEST_F(WindowTest, StoreProblemIsSaidOnceTheWindowIsUp) {
    makeWindow();
    const QString problem = u"The settings file is busy."_s;
    bool shownFirst = false;
    prompts.whileShown = [&] { shownFirst = window->isVisible(); };
    ASSERT_TRUE(window->startUp(QString(), problem));
    EXPECT_TRUE(prompts.messages.isEmpty());
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.messages.isEmpty(); }, kCommandTimeoutMs));
    EXPECT_EQ(prompts.messages, QStringList{problem});
    EXPECT_TRUE(shownFirst);
}

TEST_F(WindowTest, CommandLinkInTheMainPanePlaysAndStaysOnThePage) {
    start();
    const QUrl page = named<QWebEngineView>(*window, "webBrowser")->url();
    click(named<QWebEngineView>(*window, "webBrowser"), u"play"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.urls.isEmpty(); }, kCommandTimeoutMs));
    EXPECT_EQ(engine.urls, QStringList{QString::fromUtf16(kStream)});
    QTest::qWait(300);
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->url(), page);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(WindowTest, CommandLinkInANewWindowRuns) {
    start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"blank"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.urls.isEmpty(); }, kCommandTimeoutMs));
    EXPECT_EQ(engine.urls, QStringList{QString::fromUtf16(kStream)});
    EXPECT_TRUE(opener.urls.isEmpty());
}

TEST_F(WindowTest, WebLinkInANewWindowOpensInTheDesktopBrowser) {
    start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"web"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opener.urls.isEmpty(); }, kCommandTimeoutMs));
    EXPECT_EQ(opener.urls, QStringList{server.base() + u"/elsewhere.html"_s});
    EXPECT_TRUE(engine.urls.isEmpty());
}

TEST_F(WindowTest, ScriptAndFrameNavigationsAreIntercepted) {
    start();
    named<QWebEngineView>(*window, "webBrowser")
        ->page()
        ->runJavaScript(
            u"window.location.href = 'lyrev:play?http%3A%2F%2F127.0.0.1%3A9%2Fscript'"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.urls.size() == 1; }, kCommandTimeoutMs));
    named<QWebEngineView>(*window, "webBrowser")
        ->page()
        ->runJavaScript(
            u"var f = document.createElement('iframe');"
            u"f.src = 'lyrev:play?http%3A%2F%2F127.0.0.1%3A9%2Fframe';"
            u"document.body.appendChild(f);"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.urls.size() == 2; }, kCommandTimeoutMs));
    EXPECT_EQ(engine.urls,
              (QStringList{u"http://127.0.0.1:9/script"_s, u"http://127.0.0.1:9/frame"_s}));
}

TEST_F(WindowTest, CommandLinksInTheAdPaneDoNothing) {
    start();
    const QUrl page = named<QWebEngineView>(*window, "webAd")->url();
    click(named<QWebEngineView>(*window, "webAd"), u"play"_s);
    click(named<QWebEngineView>(*window, "webAd"), u"blank"_s);
    QTest::qWait(kQuietPeriodMs);
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_TRUE(opener.urls.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->url(), page);
}

TEST_F(WindowTest, LinkWithoutQuestionMarkIsNoCommand) {
    start();
    click(named<QWebEngineView>(*window, "webBrowser"), u"bare"_s);
    QTest::qWait(kQuietPeriodMs);
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(opener.urls.isEmpty());
}

TEST_F(WindowTest, ClosingSavesTheWindowSettings) {
    start();
    window->resize(700, 520);
    waitForLayout(QSize(700, 520));
    named<QSlider>(*window, "sldVolume")->setValue(0);
    EXPECT_EQ(engine.volume(), 0);
    const float playBarBottom = window->playBarBottom();
    window->close();
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Width"), u"700"_s);
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Height"), u"520"_s);
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"PlayBarBottom").toFloat(),
              playBarBottom);
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Volume"), u"0"_s);
}

TEST_F(WindowTest, StoredSettingsAreRestored) {
    store->writeSetting(kAppName, kWindowSection, u"Width", u"800"_s);
    store->writeSetting(kAppName, kWindowSection, u"Height", u"600"_s);
    store->writeSetting(kAppName, kWindowSection, u"PlayBarBottom", u"200"_s);
    store->writeSetting(kAppName, kWindowSection, u"Volume", u"30"_s);
    start();
    EXPECT_EQ(window->size(), QSize(800, 600));
    EXPECT_EQ(window->playBarBottom(), 200.0F);
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->height(),
              200 - named<QStatusBar>(*window, "sbStatusBar")->height());
    EXPECT_EQ(engine.volume(), 30);
    window->close();
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Width"), u"800"_s);
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"PlayBarBottom"), u"200"_s);
}

TEST_F(WindowTest, ScheduleOnTheCommandLineEndsWithoutShowing) {
    EXPECT_FALSE(start(u"lyrev:schedule?x"_s));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(prompts.messages, QStringList{u"Feature disabled."_s});
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Width"), u"640"_s);
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Volume"), u"75"_s);
}

TEST_F(WindowTest, EngineStateDrivesTheButtonsAndStatus) {
    start();
    engine.setAvailable(false, true, true);
    Q_EMIT engine.playStateChanged(MediaEngine::Playing);
    EXPECT_TRUE(named<QToolButton>(*window, "cmdPause")->isVisible());
    EXPECT_TRUE(named<QToolButton>(*window, "cmdStop")->isEnabled());
    EXPECT_EQ(named<QStatusBar>(*window, "sbStatusBar")->currentMessage(), u"Playing."_s);
    EXPECT_EQ(named<QToolButton>(*window, "cmdPause")->geometry(),
              named<QToolButton>(*window, "cmdPlay")->geometry());
}

TEST_F(WindowTest, SplitterDragKeepsItsLimits) {
    start();
    window->resize(640, 700);
    waitForLayout(QSize(640, 700));
    QWidget* bar = named<QWidget>(*window, "picPlayBar");
    const QPoint grab(PlayerLayout::kGrabStripLeft + 5, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, grab);
    QMouseEvent far(QEvent::MouseMove, QPointF(grab.x(), -2000),
                    bar->mapToGlobal(QPointF(grab.x(), -2000)), Qt::NoButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(bar, &far);
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->height(), 125);
    QMouseEvent below(QEvent::MouseMove, QPointF(grab.x(), 3000),
                      bar->mapToGlobal(QPointF(grab.x(), 3000)), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(bar, &below);
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->height(), 94);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, grab);
}

}  // namespace
}  // namespace lyrevane
