// The real main window's menus, brokers popup and usage reports, against the demo portal
// (demo/portal.py) on 127.0.0.1 and a fake media engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>

#include "../support/countinghttp.h"
#include "../support/mainwindowfixture.h"
#include "core/brokerlist.h"
#include "dialogs/dialogs.h"
#include "dialogs/frmrundown.h"
#include "ui/qthttpclient.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::named;

constexpr int kLoadTimeoutMs = 20000;

// One demo portal for the whole suite.
class Portal {
public:
    Portal() {
        log_ = dir_.filePath(u"tracker.jsonl"_s);
        process_.setProgram(u"python3"_s);
        process_.setArguments({QStringLiteral(LYREVANE_SOURCE_DIR) + u"/demo/portal.py"_s,
                               u"--port"_s, u"0"_s, u"--tracker-log"_s, log_});
        process_.start();
        if (process_.waitForReadyRead(10000)) {
            const QByteArray line = process_.readLine().trimmed();
            if (line.startsWith("READY ")) {
                base_ = QString::fromLatin1(line.mid(6));
            }
        }
    }
    ~Portal() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    QString base() const { return base_; }
    // The tracker requests so far, oldest first.
    QList<QJsonObject> trackerRequests() const {
        QList<QJsonObject> entries;
        QFile file(log_);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.trimmed().isEmpty()) {
                    entries.append(QJsonDocument::fromJson(line).object());
                }
            }
        }
        return entries;
    }

private:
    QTemporaryDir dir_;
    QString log_;
    QString base_;
    QProcess process_;
};

Portal* portal = nullptr;

class MenusWindowTest : public testing::MainWindowTest {
protected:
    static void SetUpTestSuite() { portal = new Portal; }
    static void TearDownTestSuite() {
        delete portal;
        portal = nullptr;
    }

    void SetUp() override {
        ASSERT_FALSE(portal->base().isEmpty()) << "the demo portal did not start";
        MainWindowTest::SetUp();
        setPortal(portal->base());
        reports = std::make_unique<PortalUsageTracker>(http, portal->base());
    }
    UsageTracker& usageTracker() override { return *reports; }

    void putBrokers(const QString& list, const QList<QPair<QString, QString>>& urls) {
        KeyValueList values{{u"BrokerList"_s, list}};
        for (const auto& [name, url] : urls) {
            values.append({u"BROKER_"_s + name + u"_URL"_s, url});
        }
        ASSERT_TRUE(store->rewriteSection(kAppName, kBrokersSection, values));
    }
    // Captions of the brokers popup, top to bottom; "-" for the separator.
    QStringList popupCaptions() const {
        QStringList captions;
        for (const QAction* action : named<QMenu>(*window, "mnuOnlineBrokers")->actions()) {
            if (action->isVisible()) {
                captions.append(action->isSeparator() ? u"-"_s : action->text());
            }
        }
        return captions;
    }

    QtHttpClient wire;
    testing::CountingHttp http{wire};
    std::unique_ptr<PortalUsageTracker> reports;
};

TEST_F(MenusWindowTest, MenuTreeCaptionsShortcutsAndOrder) {
    start();
    const QList<QAction*> top = window->menuBar()->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[0]->text(), u"&File"_s);
    EXPECT_EQ(top[1]->text(), u"&Live"_s);
    EXPECT_EQ(top[2]->text(), u"&Help"_s);
    const struct {
        QAction* item;
        QString caption;
        QKeySequence shortcut;
    } live[] = {
        {named<QAction>(*window, "mnuLiveBack"), u"&Back 15 Seconds"_s,
         QKeySequence(u"Ctrl+Shift+B"_s)},
        {named<QAction>(*window, "mnuLiveForward"), u"&Forward 15 Seconds"_s,
         QKeySequence(u"Ctrl+Shift+F"_s)},
        {named<QAction>(*window, "mnuLiveCatchUp"), u"&Catch Up to Live"_s,
         QKeySequence(u"Ctrl+L"_s)},
        {named<QAction>(*window, "mnuLiveCatchUpFaster"), u"Catch Up &Faster"_s,
         QKeySequence(u"Ctrl+Shift+L"_s)},
    };
    for (const auto& item : live) {
        EXPECT_EQ(item.item->text(), item.caption);
        EXPECT_EQ(item.item->shortcut(), item.shortcut) << item.caption.toStdString();
        EXPECT_FALSE(item.item->isEnabled()) << "nothing kept: " << item.caption.toStdString();
    }
    // The rundown opens beside the window, not over it, once however often it is asked for.
    EXPECT_EQ(named<QAction>(*window, "mnuLiveRundown")->text(), u"Rund&own..."_s);
    EXPECT_EQ(named<QAction>(*window, "mnuLiveRundown")->shortcut(),
              QKeySequence(u"Ctrl+Shift+O"_s));
    named<QAction>(*window, "mnuLiveRundown")->trigger();
    QDialog* rundown = window->rundown();
    ASSERT_NE(rundown, nullptr);
    named<QAction>(*window, "mnuLiveRundown")->trigger();
    EXPECT_EQ(window->rundown(), rundown);
    EXPECT_TRUE(rundown->isVisible());
    EXPECT_FALSE(rundown->isModal());
    EXPECT_EQ(rundown->windowTitle(), u"Programme Rundown"_s);
    rundown->close();
    EXPECT_EQ(named<QAction>(*window, "mnuLiveRecord")->text(), u"&Record"_s);
    EXPECT_EQ(named<QAction>(*window, "mnuLiveRecord")->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_TRUE(named<QAction>(*window, "mnuLiveRecord")->isCheckable());
    EXPECT_FALSE(named<QAction>(*window, "mnuLiveRecord")->isEnabled()) << "nothing plays";
    EXPECT_FALSE(named<QAction>(*window, "mnuLiveRecord")->toolTip().isEmpty())
        << "and it says why";

    QStringList file;
    for (const QAction* a : named<QMenu>(*window, "mnuFile")->actions()) {
        file.append(a->isSeparator() ? u"-"_s
                                     : a->text() + u"|"_s + a->shortcut().toString() +
                                           (a->isEnabled() ? u""_s : u"|disabled"_s));
    }
    EXPECT_EQ(file, (QStringList{u"&Browse To...|F2"_s, u"&Play...|F3"_s, u"-"_s,
                                 u"Configure &Online Brokers|F4"_s, u"Broadcast &Scheduler|F5"_s,
                                 u"&Customize Skin|"_s, u"-"_s, u"E&xit|"_s}));
    EXPECT_EQ(named<QAction>(*window, "mnuHelpAbout")->text(), u"&About..."_s);
    EXPECT_EQ(named<QAction>(*window, "mnuHelpAbout")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(named<QAction>(*window, "mnuHelpAbout")->isEnabled());
    EXPECT_EQ(named<QMenu>(*window, "mnuOnlineBrokers")->title(), u"Online Brokers"_s);
    EXPECT_EQ(named<QToolButton>(*window, "cmdHome")->toolTip(), u"Go to 127.0.0.1"_s);
    EXPECT_EQ(named<QToolButton>(*window, "cmdMail")->toolTip(), u"E-mail Quillmoor"_s);
    EXPECT_EQ(named<QToolButton>(*window, "cmdBrokers")->toolTip(), u"Online Brokers"_s);

    // Home and Mail go to the user's default applications.
    named<QToolButton>(*window, "cmdHome")->click();
    named<QToolButton>(*window, "cmdMail")->click();
    EXPECT_EQ(opener.urls,
              (QStringList{portal->base() + u"/"_s, u"mailto:info@quillmoor.example"_s}));

    // With a screenshot folder given, the open File menu is saved for the record.
    const QString shots = qEnvironmentVariable("LYREVANE_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        window->menuBar()->setActiveAction(top[0]);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return named<QMenu>(*window, "mnuFile")->isVisible(); }, 5000));
        QTest::qWait(500);
        QDir().mkpath(shots);
        const QRect area =
            window->frameGeometry().united(named<QMenu>(*window, "mnuFile")->geometry());
        window->screen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .save(shots + u"/player-file-menu.png"_s);
        named<QMenu>(*window, "mnuFile")->close();
    }
}

TEST_F(MenusWindowTest, BrokersPopupFollowsTheStoreAndOpensInTheAdPane) {
    start();
    EXPECT_EQ(popupCaptions(), (QStringList{u"-"_s, u"Configure"_s, u"Cancel"_s}));

    putBrokers(u"Alpha Trade$!Beta & Co"_s,
               {{u"Alpha Trade"_s, portal->base() + u"/markets.html"_s},
                {u"Beta & Co"_s, portal->base() + u"/brokers.html"_s}});
    window->reloadOnlineBrokers();
    EXPECT_EQ(popupCaptions(), (QStringList{u"Alpha Trade"_s, u"Beta && Co"_s, u"-"_s,
                                            u"Configure"_s, u"Cancel"_s}));

    // Clicked, the button pops the menu up at the pointer; from the keyboard, under itself
    // wherever the pointer is. The second entry opens its site in the ad pane only.
    QToolButton* button = named<QToolButton>(*window, "cmdBrokers");
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(9, 7));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return named<QMenu>(*window, "mnuOnlineBrokers")->isVisible(); }, 5000));
    EXPECT_EQ(named<QMenu>(*window, "mnuOnlineBrokers")->pos(), button->mapToGlobal(QPoint(9, 7)));
    named<QMenu>(*window, "mnuOnlineBrokers")->close();
    QCursor::setPos(window->mapToGlobal(QPoint(5, 5)));
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return named<QMenu>(*window, "mnuOnlineBrokers")->isVisible(); }, 5000));
    EXPECT_EQ(named<QMenu>(*window, "mnuOnlineBrokers")->pos(),
              button->mapToGlobal(QPoint(0, button->height())));
    const QUrl mainBefore = named<QWebEngineView>(*window, "webBrowser")->url();
    QSignalSpy adLoaded(named<QWebEngineView>(*window, "webAd"), &QWebEngineView::loadFinished);
    testing::brokerEntries(*window)[1]->trigger();
    named<QMenu>(*window, "mnuOnlineBrokers")->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !adLoaded.isEmpty(); }, kLoadTimeoutMs));
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->url(),
              QUrl(portal->base() + u"/brokers.html"_s));
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->url(), mainBefore);

    // An empty name between two separators, a missing URL key; then the list shrinks.
    putBrokers(u"A$!$!B"_s, {{QString(), u"http://127.0.0.1:9/empty"_s}});
    window->reloadOnlineBrokers();
    EXPECT_EQ(popupCaptions(),
              (QStringList{u"A"_s, QString(), u"B"_s, u"-"_s, u"Configure"_s, u"Cancel"_s}));
    EXPECT_EQ(testing::brokerEntries(*window)[0]->data().toString(), u"http://"_s);
    EXPECT_EQ(testing::brokerEntries(*window)[1]->data().toString(), u"http://127.0.0.1:9/empty"_s);
    putBrokers(u"Only"_s, {{u"Only"_s, u"http://127.0.0.1:9/only"_s}});
    window->reloadOnlineBrokers();
    window->reloadOnlineBrokers();
    EXPECT_EQ(popupCaptions(), (QStringList{u"Only"_s, u"-"_s, u"Configure"_s, u"Cancel"_s}));
}

TEST_F(MenusWindowTest, CommandUrlOfABrokerIsNeverRunAsACommand) {
    start();
    putBrokers(u"Sly"_s, {{u"Sly"_s, u"lyrev:play?http%3A%2F%2F127.0.0.1%3A9%2Fx.mp3"_s}});
    window->reloadOnlineBrokers();
    ASSERT_EQ(testing::brokerEntries(*window).size(), 1);
    EXPECT_EQ(testing::brokerEntries(*window)[0]->data().toString(),
              u"lyrev:play?http%3A%2F%2F127.0.0.1%3A9%2Fx.mp3"_s);
    const QUrl adBefore = named<QWebEngineView>(*window, "webAd")->url();
    testing::brokerEntries(*window)[0]->trigger();
    QTest::qWait(1500);
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_TRUE(opener.urls.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(named<QWebEngineView>(*window, "webAd")->url(), adBefore);
}

// A dialog as the main window opens them; it closes itself once shown.
class ProbeDialog final : public QDialog {
public:
    explicit ProbeDialog(QWidget* parent) : QDialog(parent) {
        ++instances;
        QTimer::singleShot(50, this, [this] {
            shownModal = isModal() && isVisible();
            reject();
        });
    }
    void setOwner(const DialogContext& owner) { owner_ = &owner.window; }
    QWidget* Owner() const { return owner_; }
    bool shownModal = false;
    static inline int instances = 0;

private:
    QWidget* owner_ = nullptr;
};

TEST_F(MenusWindowTest, DialogsOpenFreshOwnedAndModal) {
    start();
    ProbeDialog::instances = 0;
    const auto first = openOwnedDialog<ProbeDialog>(window->dialogs());
    const auto second = openOwnedDialog<ProbeDialog>(window->dialogs());
    EXPECT_EQ(ProbeDialog::instances, 2);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->Owner(), window.get());
    EXPECT_EQ(first->parentWidget(), window.get());
    EXPECT_TRUE(first->shownModal);
    EXPECT_EQ(first->result(), QDialog::Rejected);
}

TEST_F(MenusWindowTest, BrowseToRunsACommandAnswerThroughTheMainPane) {
    start();
    prompts.answers.push_back(u"lyrev:play?http%3A%2F%2F127.0.0.1%3A9%2Ftyped.mp3"_s);
    named<QAction>(*window, "mnuFileBrowseTo")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.urls.isEmpty(); }, 10000));
    EXPECT_EQ(engine.urls, QStringList{u"http://127.0.0.1:9/typed.mp3"_s});
    EXPECT_EQ(prompts.defaults.last(), portal->base() + u"/"_s);

    // An address typed without its scheme is a web page, as in any browser.
    QSignalSpy loaded(named<QWebEngineView>(*window, "webBrowser"), &QWebEngineView::loadFinished);
    QString typed = portal->base() + u"/markets.html"_s;
    typed.remove(u"http://"_s);
    prompts.answers.push_back(typed);
    named<QAction>(*window, "mnuFileBrowseTo")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !loaded.isEmpty(); }, kLoadTimeoutMs));
    EXPECT_EQ(named<QWebEngineView>(*window, "webBrowser")->url(),
              QUrl(portal->base() + u"/markets.html"_s));
}

TEST_F(MenusWindowTest, ReportsCarryTheSessionIdTheTrackerAnswered) {
    const qsizetype before = portal->trackerRequests().size();
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->trackerRequests().size() > before; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return http.idle(); }, 10000));
    const QJsonObject first = portal->trackerRequests().at(before);
    EXPECT_EQ(first.value(u"target"_s).toString(), u"/cgi-bin/lyrevane/tracker.cgi?_cmd=track"_s);
    const QString answered = first.value(u"answer"_s).toString();
    ASSERT_TRUE(answered.endsWith(u"\r\n"_s));

    // Two egg-timer minutes later: the next report carries exactly that id.
    window->session().eggTimerTick();
    window->session().eggTimerTick();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return portal->trackerRequests().size() > before + 1; }, 10000));
    const QJsonObject second = portal->trackerRequests().at(before + 1);
    EXPECT_EQ(second.value(u"sid"_s).toString(), answered);
    EXPECT_EQ(
        second.value(u"target"_s).toString(),
        u"/cgi-bin/lyrevane/tracker.cgi?_cmd=track&sid="_s + answered.chopped(2) + u"%0D%0A"_s);
}

}  // namespace
}  // namespace lyrevane
