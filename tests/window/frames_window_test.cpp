// Who may run commands and open windows from the window's two browser panes: frames of
// other sites, sandboxed frames and advertisement scripts, against pages on 127.0.0.x.
#include <gtest/gtest.h>

#include <QTest>
#include <QWebEngineView>

#include "../support/mainwindowfixture.h"
#include "../support/pageserver.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::named;

using testing::PageServer;
using testing::waitUntil;

// The stderr lines about ignored commands and windows, collected.
QStringList gIgnoredLog;
QtMessageHandler gPreviousHandler = nullptr;
void collectIgnored(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(u"Lyrevane: ignored"_s)) {
        gIgnoredLog.append(text);
    }
    if (gPreviousHandler) {
        gPreviousHandler(type, context, text);
    }
}

QString command(const QString& stream) {
    return u"lyrev:play?"_s + QString::fromLatin1(QUrl::toPercentEncoding(stream));
}

QString page(const QString& body) {
    return u"<html><body style='margin:0'>"_s + body + u"</body></html>"_s;
}

class FramesTest : public testing::MainWindowTest {
protected:
    // Each kind of ignored command is logged once per program: the handler goes in for
    // the whole suite, so the suite's first test sees every kind.
    static void SetUpTestSuite() { gPreviousHandler = qInstallMessageHandler(collectIgnored); }
    static void TearDownTestSuite() { qInstallMessageHandler(gPreviousHandler); }

    void SetUp() override {
        ASSERT_TRUE(otherSite.isListening()) << "127.0.0.2 is not available";
        MainWindowTest::SetUp();
        setPortal(portal.base());
        gIgnoredLog.clear();
    }

    PageServer portal;                                   // the top pages' site
    PageServer samePortSite;                             // the same site on another port
    PageServer otherSite{QHostAddress(u"127.0.0.2"_s)};  // another site
};

TEST_F(FramesTest, OnlyFramesOfTheTopPagesSiteRunCommands) {
    const auto stream = [](const char* name) {
        return u"http://127.0.0.1:9/"_s + QLatin1String(name);
    };
    // A frame of another site asks in its own frame and, twice, in new windows.
    otherSite.add(u"/cross.html"_s,
                  page(u"<script>location.href = '%1';"
                       u"window.open('%2'); window.open('%2');</script>"_s.arg(
                           command(stream("cross-frame")), command(stream("cross-window")))));
    // A sandboxed frame of the portal itself has no origin: it asks in its frame, in a
    // new window and in the top frame.
    portal.add(u"/sandboxed.html"_s,
               page(u"<script>location.href = '%1'; window.open('%2');"
                    u"top.location.href = '%3';</script>"_s.arg(command(stream("sandbox-frame")),
                                                                command(stream("sandbox-window")),
                                                                command(stream("sandbox-top")))));
    samePortSite.add(
        u"/same.html"_s,
        page(u"<script>location.href = '%1';</script>"_s.arg(command(stream("same-site")))));
    portal.add(
        u"/player_interviews.shtml"_s,
        page(u"<p>Portal</p><iframe src='%1/cross.html'></iframe>"
             u"<iframe sandbox='allow-scripts allow-popups allow-top-navigation' "
             u"src='/sandboxed.html'></iframe>"
             u"<iframe src='%2/same.html'></iframe>"_s.arg(otherSite.base(), samePortSite.base())));
    portal.add(u"/player_creative.shtml"_s, page(u"ad"_s));
    start();
    const QUrl top = named<QWebEngineView>(*window, "webBrowser")->url();

    // Five kinds of refusal are logged (the other site's second window is one kind again).
    ASSERT_TRUE(waitUntil([&] { return gIgnoredLog.size() == 5 && !engine.urls.isEmpty(); }, 30s))
        << gIgnoredLog.join(u'\n').toStdString() << "\nran "
        << engine.urls.join(u' ').toStdString();
    EXPECT_EQ(engine.urls, QStringList{stream("same-site")});
    EXPECT_TRUE(opener.urls.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->url(), top);
    // One line per kind: the second window of the other site is not logged again.
    EXPECT_EQ(gIgnoredLog.size(), 5) << gIgnoredLog.join(u'\n').toStdString();
    EXPECT_EQ(gIgnoredLog.filter(u"another site"_s).size(), 2);
    EXPECT_EQ(gIgnoredLog.filter(u"sandboxed"_s).size(), 3);

    // The top page itself still runs commands.
    named<QWebEngineView>(*window, "webBrowser")
        ->page()
        ->runJavaScript(u"location.href = '%1'"_s.arg(command(stream("top"))));
    ASSERT_TRUE(waitUntil([&] { return engine.urls.size() >= 2; }, 30s));
    // None of the frames' six commands and windows ran, the second window included.
    EXPECT_EQ(engine.urls, (QStringList{stream("same-site"), stream("top")}));
    EXPECT_TRUE(opener.urls.isEmpty());
    EXPECT_EQ(gIgnoredLog.size(), 5);
}

TEST_F(FramesTest, AdvertisementWindowsNeedAClickAndOneClickOpensOne) {
    // The whole advertisement is a link to a new window; on load and on every click it
    // also asks for 100 windows and clicks another such link, then counts in its title
    // once the click's own new window has been asked for.
    portal.add(u"/player_creative.shtml"_s,
               page(u"<a id='other' target='_blank' href='%1/other.html'>x</a>"
                    u"<a target='_blank' href='%1/link.html' onclick='flood(\"click\")' "
                    u"style='position:fixed;left:0;top:0;width:100%;height:100%'>ad</a>"
                    u"<script>var n = 0;"
                    u"function flood(tag) {"
                    u"  for (var i = 0; i < 100; i++) window.open('%1/' + tag + i + '.html');"
                    u"  document.getElementById('other').click();"
                    u"  setTimeout(function() { document.title = tag + (++n); }, 0);"
                    u"}"
                    u"flood('load');</script>"_s.arg(portal.base())));
    portal.add(u"/player_interviews.shtml"_s, page(u"portal"_s));
    start();
    // Window requests are answered before the script goes on, so before the title.
    ASSERT_TRUE(waitUntil(
        [&] { return named<QWebEngineView>(*window, "webAd")->title() == u"load1"_s; }, 30s));

    QWidget* surface = named<QWebEngineView>(*window, "webAd")->focusProxy();
    ASSERT_NE(surface, nullptr);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(waitUntil(
        [&] { return named<QWebEngineView>(*window, "webAd")->title() == u"click2"_s; }, 30s));
    // The one window the click allowed is the first it asked for; none opened on load.
    ASSERT_TRUE(waitUntil([&] { return !opener.urls.isEmpty(); }, 30s));
    EXPECT_EQ(opener.urls.join(u' ').toStdString(),
              (portal.base() + u"/click0.html"_s).toStdString());

    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(waitUntil(
        [&] { return named<QWebEngineView>(*window, "webAd")->title() == u"click3"_s; }, 30s));
    ASSERT_TRUE(waitUntil([&] { return opener.urls.size() >= 2; }, 30s));
    // Exactly one more: the first of the second click's flood.
    EXPECT_EQ(opener.urls,
              (QStringList{portal.base() + u"/click0.html"_s, portal.base() + u"/click0.html"_s}));
    EXPECT_TRUE(engine.urls.isEmpty());
}

}  // namespace
}  // namespace lyrevane
