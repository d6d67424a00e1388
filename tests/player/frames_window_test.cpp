// Who may run commands and open windows from the window's two browser panes: frames of
// other sites, sandboxed frames and advertisement scripts, against pages on 127.0.0.x.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <memory>

#include "../support/pageserver.h"
#include "../support/waituntil.h"
#include "../support/windowtests.h"
#include "common/settingsstore.h"
#include "fakes.h"
#include "ui/frmmain.h"
#include "ui/webpanes.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::FakeMediaEngine;
using testing::FakePrompts;
using testing::PageServer;
using testing::sharedProfile;
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

class RecordingOpener final : public UrlOpener {
public:
    void OpenExternally(const QString& url) override { urls.append(url); }
    QStringList urls;
};

QString command(const QString& stream) {
    return u"lyrev:play?"_s + QString::fromLatin1(QUrl::toPercentEncoding(stream));
}

QString page(const QString& body) {
    return u"<html><body style='margin:0'>"_s + body + u"</body></html>"_s;
}

class FramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(otherSite.isListening()) << "127.0.0.2 is not available";
        store = std::make_unique<SqliteSettingsStore>(folder.filePath(u"settings.sqlite3"_s));
        store->WriteSetting(kAppName, kPortalSection, u"BaseURL", portal.base());
        handler = CommandSchemeHandler::Of(sharedProfile());
        ASSERT_NE(handler, nullptr);
        droppedBefore = handler->DroppedCount();
        gIgnoredLog.clear();
    }

    void TearDown() override {
        if (window) {
            window->close();
            window.reset();
        }
    }

    void start() {
        window = std::make_unique<frmMain>(
            frmMain::Services{*store, prompts, tracker, engine, opener, sharedProfile()});
        QSignalSpy mainLoaded(window->webBrowser, &QWebEngineView::loadFinished);
        QSignalSpy adLoaded(window->webAd, &QWebEngineView::loadFinished);
        ASSERT_TRUE(window->StartUp(QString()));
        window->show();
        ASSERT_TRUE(waitUntil([&] { return !mainLoaded.isEmpty() && !adLoaded.isEmpty(); }, 30s));
    }

    int dropped() const { return handler->DroppedCount() - droppedBefore; }
    PlayerWebPage* adPage() const { return static_cast<PlayerWebPage*>(window->webAd->page()); }

    QTemporaryDir folder;
    PageServer portal;                                   // the top pages' site
    PageServer samePortSite;                             // the same site on another port
    PageServer otherSite{QHostAddress(u"127.0.0.2"_s)};  // another site
    std::unique_ptr<SqliteSettingsStore> store;
    FakeMediaEngine engine;
    FakePrompts prompts;
    testing::NullTracker tracker;
    RecordingOpener opener;
    std::unique_ptr<frmMain> window;
    CommandSchemeHandler* handler = nullptr;
    int droppedBefore = 0;
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
    const QUrl top = window->webBrowser->url();

    ASSERT_TRUE(waitUntil([&] { return dropped() == 6 && !engine.urls.isEmpty(); }, 30s))
        << "dropped " << dropped() << ", ran " << engine.urls.join(u' ').toStdString();
    EXPECT_EQ(engine.urls, QStringList{stream("same-site")});
    EXPECT_TRUE(opener.urls.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(window->webBrowser->url(), top);
    // One line per kind: the second window of the other site is not logged again.
    EXPECT_EQ(gIgnoredLog.size(), 5) << gIgnoredLog.join(u'\n').toStdString();
    EXPECT_EQ(gIgnoredLog.filter(u"another site"_s).size(), 2);
    EXPECT_EQ(gIgnoredLog.filter(u"sandboxed"_s).size(), 3);

    // The top page itself still runs commands.
    window->webBrowser->page()->runJavaScript(
        u"location.href = '%1'"_s.arg(command(stream("top"))));
    ASSERT_TRUE(waitUntil([&] { return engine.urls.size() == 2; }, 30s));
    EXPECT_EQ(engine.urls.back(), stream("top"));
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
    ASSERT_TRUE(waitUntil([&] { return window->webAd->title() == u"load1"_s; }, 30s));
    EXPECT_EQ(adPage()->WindowsOpened(), 0);

    QWidget* surface = window->webAd->focusProxy();
    ASSERT_NE(surface, nullptr);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(waitUntil([&] { return window->webAd->title() == u"click2"_s; }, 30s));
    EXPECT_EQ(adPage()->WindowsOpened(), 1);
    ASSERT_TRUE(waitUntil([&] { return !opener.urls.isEmpty(); }, 30s));
    EXPECT_EQ(opener.urls.join(u' ').toStdString(),
              (portal.base() + u"/click0.html"_s).toStdString());

    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(waitUntil([&] { return window->webAd->title() == u"click3"_s; }, 30s));
    EXPECT_EQ(adPage()->WindowsOpened(), 2);
    ASSERT_TRUE(waitUntil([&] { return opener.urls.size() == 2; }, 30s));
    EXPECT_TRUE(engine.urls.isEmpty());
}

}  // namespace
}  // namespace lyrevane

int main(int argc, char** argv) {
    lyrevane::gPreviousHandler = qInstallMessageHandler(lyrevane::collectIgnored);
    return lyrevane::testing::RunWindowTests(argc, argv);
}
