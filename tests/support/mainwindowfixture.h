#pragma once

// The fixture of the tests that drive the real main window: a settings store in a
// temporary folder, fakes for every platform service, the window made on the shared
// browser profile and closed after each test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <chrono>
#include <functional>
#include <memory>

#include "../support/fakes.h"
#include "../support/named.h"
#include "../support/waituntil.h"
#include "../support/windowtests.h"
#include "common/settingsstore.h"
#include "ui/frmmain.h"

namespace lyrevane::testing {

using namespace std::chrono_literals;

// Records what would go to the user's default applications.
class RecordingOpener final : public UrlOpener {
public:
    void openExternally(const QString& url) override { urls.append(url); }
    QStringList urls;
};

// What `script` gives in the page that `view` shows now.
inline QVariant PaneScript(QWebEngineView* view, const QString& script) {
    QVariant result;
    bool answered = false;
    view->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        answered = true;
    });
    EXPECT_TRUE(waitUntil([&] { return answered; }, 10s));
    return result;
}

// The text `view` shows now.
inline QString PaneText(QWebEngineView* view) {
    return PaneScript(view, QStringLiteral("document.body ? document.body.innerText : ''"))
        .toString();
}

// Clicks the element `id` of the page in `view`.
inline void ClickInPane(QWebEngineView* view, const QString& id) {
    view->page()->runJavaScript(QStringLiteral("document.getElementById('%1').click()").arg(id));
}

// Triggers `action` and, once the modal `Dialog` it opens shows, runs `body` with it;
// returns when the action has returned (the dialog closed), telling whether `body` ran.
template <typename Dialog>
bool WhileModal(QAction* action, const std::function<void(Dialog&)>& body) {
    bool ran = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible() && !ran) {
            ran = true;
            poll.stop();
            body(*dialog);
        }
    });
    poll.start();
    action->trigger();
    return ran;
}

class MainWindowTest : public ::testing::Test {
protected:
    static constexpr auto kLoadTimeout = 30s;

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        store = std::make_unique<SqliteSettingsStore>(
            folder.filePath(QStringLiteral("settings.sqlite3")));
    }

    void TearDown() override {
        if (window) {
            window->close();
            window.reset();
        }
    }

    // The services the window is made with; a fixture may replace the engine or tracker.
    virtual MediaEngine& mediaEngine() { return engine; }
    virtual UsageTracker& usageTracker() { return tracker; }

    void setPortal(const QString& base) {
        store->writeSetting(kAppName, kPortalSection, u"BaseURL", base);
    }

    // Makes the window; without a profile it starts without its browser panes.
    frmMain& makeWindow(QWebEngineProfile* profile = sharedProfile()) {
        window = std::make_unique<frmMain>(
            frmMain::Services{{*store, prompts, usageTracker(), mediaEngine()}, opener, profile});
        return *window;
    }

    // Starts the window (made now unless it was) with `commandLine`, shows it and waits
    // until both panes have loaded; false when start-up ended the program.
    bool start(const QString& commandLine = {}) {
        if (!window) {
            makeWindow();
        }
        QSignalSpy mainLoaded(testing::named<QWebEngineView>(*window, u"webBrowser"_s),
                              &QWebEngineView::loadFinished);
        QSignalSpy adLoaded(testing::named<QWebEngineView>(*window, u"webAd"_s),
                            &QWebEngineView::loadFinished);
        if (!window->startUp(commandLine)) {
            return false;
        }
        window->show();
        if (!waitUntil([&] { return !mainLoaded.isEmpty() && !adLoaded.isEmpty(); },
                       kLoadTimeout)) {
            ADD_FAILURE() << "the panes did not load";
            return true;
        }
        panesLoadedOk = mainLoaded.first().first().toBool() && adLoaded.first().first().toBool();
        return true;
    }

    QTemporaryDir folder;
    std::unique_ptr<SqliteSettingsStore> store;
    FakeMediaEngine engine;
    FakePrompts prompts;
    NullTracker tracker;
    RecordingOpener opener;
    std::unique_ptr<frmMain> window;
    // Both panes' first loads succeeded.
    bool panesLoadedOk = false;
};

}  // namespace lyrevane::testing
