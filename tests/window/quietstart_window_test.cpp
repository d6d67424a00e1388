// A start that can show no message box: the window is on screen before the browser
// engine starts, and the panes, the command and the first report follow in their order.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>

#include <memory>

#include "../support/accessibility.h"
#include "../support/mainwindowfixture.h"
#include "../support/pageserver.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::named;

using testing::PageServer;
using testing::sharedProfile;

constexpr int kLoadTimeoutMs = 20000;

// Calls `onReport` for every usage report.
class WatchedTracker final : public UsageTracker {
public:
    void trackUsage() override {
        ++calls;
        if (onReport) {
            onReport();
        }
    }
    int calls = 0;
    std::function<void()> onReport;
};

// What the window looked like when the browser profile was asked for.
struct AtProfile {
    bool asked = false;
    bool visible = false;
    bool exposed = false;
    bool panesAbsent = false;
    int requests = -1;
    int engineUrls = -1;
    int reports = -1;
    QSize size;
    WId winId = 0;
    QColor pagePlace;  // in the middle of where the main pane goes
};

// Named widgets in the order Tab visits them.
QStringList tabChain(QWidget* window) {
    QStringList names;
    QWidget* widget = window;
    do {
        widget = widget->nextInFocusChain();
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_"_s)) {
            names.append(widget->objectName());
        }
    } while (widget != window);
    return names;
}

class QuietStartTest : public testing::MainWindowTest {
protected:
    static constexpr const char16_t* kStream = u"http://127.0.0.1:9/live.mp3?a=1&b=2";

    void SetUp() override {
        MainWindowTest::SetUp();
        setPortal(server.base());
        server.add(u"/player_interviews.shtml"_s, u"<html><body>interviews</body></html>"_s);
        server.add(u"/player_creative.shtml"_s, u"<html><body>creative</body></html>"_s);
        server.add(u"/news.html"_s, u"<html><body>news</body></html>"_s);
    }

    UsageTracker& usageTracker() override { return reports; }

    // Starts a window made without a profile and notes how it stood when the profile was
    // asked for.
    bool startQuietly(const QString& commandLine) {
        makeWindow(nullptr);
        return window->startUpShownFirst(commandLine, [this] {
            atProfile.asked = true;
            atProfile.visible = window->isVisible();
            atProfile.exposed = window->windowHandle() && window->windowHandle()->isExposed();
            atProfile.panesAbsent =
                window->findChild<QWebEngineView*>(u"webBrowser"_s) == nullptr &&
                window->findChild<QWebEngineView*>(u"webAd"_s) == nullptr;
            atProfile.requests = int(server.requests.size());
            atProfile.engineUrls = int(engine.urls.size());
            atProfile.reports = reports.calls;
            atProfile.size = window->size();
            atProfile.winId = window->winId();
            atProfile.pagePlace = window->centralWidget()->grab().toImage().pixelColor(
                window->playerLayout().content().center());
            return sharedProfile();
        });
    }

    void waitForPanes() {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return server.requests.contains(u"/player_creative.shtml"_s) &&
                       !named<QWebEngineView>(*window, "webBrowser")->page()->isLoading() &&
                       !named<QWebEngineView>(*window, "webAd")->page()->isLoading();
            },
            kLoadTimeoutMs));
    }

    PageServer server;
    WatchedTracker reports;
    AtProfile atProfile;
};

TEST_F(QuietStartTest, TheWindowIsOnScreenBeforeTheBrowserStarts) {
    const QString stream = QString::fromUtf16(kStream);
    QUrl mainAtCommand;
    QUrl adAtCommand;
    engine.whileSettingUrl = [&](const QString&) {
        mainAtCommand = named<QWebEngineView>(*window, "webBrowser")->url();
        adAtCommand = named<QWebEngineView>(*window, "webAd")->url();
    };
    int engineUrlsAtReport = -1;
    reports.onReport = [&] { engineUrlsAtReport = int(engine.urls.size()); };

    ASSERT_TRUE(
        startQuietly(u"lyrev:play?"_s + QString::fromLatin1(QUrl::toPercentEncoding(stream))));
    ASSERT_TRUE(atProfile.asked);
    // Restored, mapped and exposed, with nothing of the browser yet and nothing asked of
    // the portal or the engine.
    EXPECT_TRUE(atProfile.visible);
    EXPECT_TRUE(atProfile.exposed);
    EXPECT_TRUE(atProfile.panesAbsent);
    EXPECT_EQ(atProfile.size, QSize(640, 480));
    // The panes' places show as empty pages, not in the skin's face colour.
    EXPECT_EQ(atProfile.pagePlace, QApplication::palette(window.get()).color(QPalette::Base));
    EXPECT_EQ(atProfile.requests, 0);
    EXPECT_EQ(atProfile.engineUrls, 0);
    EXPECT_EQ(atProfile.reports, 0);

    // Both panes were on their start pages when the command ran; the report came after.
    EXPECT_EQ(mainAtCommand, QUrl(server.base() + u"/player_interviews.shtml"_s));
    EXPECT_EQ(adAtCommand, QUrl(server.base() + u"/player_creative.shtml"_s));
    EXPECT_EQ(engine.urls, QStringList{stream});
    EXPECT_EQ(reports.calls, 1);
    EXPECT_EQ(engineUrlsAtReport, 1);
    EXPECT_TRUE(prompts.messages.isEmpty());

    EXPECT_EQ(window->winId(), atProfile.winId);
    waitForPanes();
    EXPECT_EQ(window->winId(), atProfile.winId);
    EXPECT_TRUE(server.requests.contains(u"/player_interviews.shtml"_s));
    EXPECT_TRUE(named<QWebEngineView>(*window, "webBrowser")->isVisible());
    EXPECT_TRUE(named<QWebEngineView>(*window, "webAd")->isVisible());
}

TEST_F(QuietStartTest, ABrowseCommandStillSupersedesTheStartPage) {
    ASSERT_TRUE(startQuietly(u"lyrev:browse?"_s + QString::fromLatin1(QUrl::toPercentEncoding(
                                                      server.base() + u"/news.html"_s))));
    EXPECT_TRUE(atProfile.panesAbsent);
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->url(),
              QUrl(server.base() + u"/news.html"_s));
    EXPECT_EQ(reports.calls, 1);
    waitForPanes();
    EXPECT_TRUE(server.requests.contains(u"/news.html"_s));
}

// The panes built late stand where, and in the tab order where, a window built whole has
// them, with the same colours and names.
TEST_F(QuietStartTest, LookAndTabOrderMatchAWindowBuiltWhole) {
    store->writeSetting(kAppName, kWindowSection, u"Width", u"800"_s);
    store->writeSetting(kAppName, kWindowSection, u"Height", u"600"_s);
    store->writeSetting(kAppName, kWindowSection, u"PlayBarBottom", u"180"_s);

    makeWindow();
    ASSERT_TRUE(window->startUp(QString()));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QStringList wholeChain = tabChain(window.get());
    const QRect wholeMain = named<QWebEngineView>(*window, "webBrowser")->geometry();
    const QRect wholeAd = named<QWebEngineView>(*window, "webAd")->geometry();
    const QColor wholeColour =
        named<QWebEngineView>(*window, "webAd")->palette().color(QPalette::Window);
    window->close();
    window.reset();

    ASSERT_TRUE(startQuietly(QString()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(tabChain(window.get()), wholeChain);
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->geometry(), wholeMain);
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->geometry(), wholeAd);
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->palette().color(QPalette::Window),
              wholeColour);
    EXPECT_EQ(testing::NamelessControls(window.get()), QStringList());
    EXPECT_EQ(testing::ControlsOutOfTabReach(window.get()), QStringList());
    // The panes lie below the play bar.
    const QWidgetList order =
        window->centralWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    EXPECT_LT(order.indexOf(named<QWebEngineView>(*window, "webAd")),
              order.indexOf(named<QWidget>(*window, "picPlayBar")));
}

TEST_F(QuietStartTest, AWindowClosedWhileShowingStartsNothingMore) {
    makeWindow(nullptr);
    QTimer::singleShot(0, window.get(), [this] { window->close(); });
    bool asked = false;
    EXPECT_FALSE(window->startUpShownFirst(QString(), [&asked] {
        asked = true;
        return sharedProfile();
    }));
    EXPECT_FALSE(asked);
    EXPECT_EQ(window->findChild<QWebEngineView*>(u"webBrowser"_s), nullptr);
    EXPECT_EQ(reports.calls, 0);
    // Closing saved the restored settings.
    EXPECT_EQ(store->readSetting(kAppName, kWindowSection, u"Width"), u"640"_s);
}

}  // namespace
}  // namespace lyrevane
