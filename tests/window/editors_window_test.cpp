// The Broadcast Scheduler, Online Brokers and About dialogs as the main window opens
// them from its menus, driven by keyboard and mouse, with a temporary store and fake
// prompts. Nothing leaves the machine: the portal address points at a closed local port.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <functional>
#include <memory>

#include "../support/accessibility.h"
#include "../support/mainwindowfixture.h"
#include "common/schedule.h"
#include "common/translation.h"
#include "core/brokerlist.h"
#include "core/systeminfo.h"
#include "dialogs/dialogs.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmbroadcastscheduler.h"
#include "dialogs/frmonlinebrokers.h"
#include "ui/desktopservices.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::named;

constexpr QStringView kPortal = u"http://127.0.0.1:9";

// Every control has a name for screen readers that holds its visible label and is reached
// by Tab, access keys do not clash; the brokers dialog's picture button only shows the
// lightning bolt and does nothing.
void expectAccessibleNames(QWidget* dialog) {
    EXPECT_EQ(testing::NamelessControls(dialog), QStringList());
    EXPECT_EQ(testing::LabelProblems(dialog).join(u'\n').toStdString(), "");
    QStringList unreachable = testing::ControlsOutOfTabReach(dialog);
    unreachable.removeAll(u"cmdInfo"_s);
    EXPECT_EQ(unreachable, QStringList());
}

// Access keys need the dialog to be the active window.
void activate(QWidget& dialog) {
    dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

void screenshot(QWidget* dialog, const QString& file) {
    const QString shots = qEnvironmentVariable("LYREVANE_SCREENSHOT_DIR");
    if (shots.isEmpty()) {
        return;
    }
    QDir().mkpath(shots);
    QTest::qWait(300);
    dialog->grab().save(shots + u'/' + file);
}

class EditorsWindowTest : public testing::MainWindowTest {
protected:
    void SetUp() override {
        QApplication::setWindowIcon(
            QIcon(QStringLiteral(LYREVANE_SOURCE_DIR "/packaging/icons/lyrevane-256.png")));
        MainWindowTest::SetUp();
        setPortal(kPortal.toString());
        store->writeSetting(kAppName, kPortalSection, u"ContactEmail",
                            u"listeners@quillmoor.example"_s);
    }
    // The main window as start-up leaves it, without loading any pages.
    void start() {
        makeWindow();
        window->reloadOnlineBrokers();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Triggers `action` and runs `body` with the dialog it opens, once the dialog is
    // shown; returns when the dialog has closed.
    template <typename Dialog>
    void whileOpen(QAction* action, const std::function<void(Dialog&)>& body) {
        EXPECT_TRUE(testing::WhileModal(action, body));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }

    QString stored(QStringView section, const QString& key) {
        return store->readSetting(kAppName, section, key, u"<absent>"_s);
    }
};

TEST_F(EditorsWindowTest, BroadcastSchedulerByKeyboard) {
    Schedule schedule;
    schedule.AutoLaunchEnabled = false;
    schedule.StartEarlierOffset = 10;
    schedule.Broadcasts = {
        {u"Opening Bell"_s, 0.5625, u"http://127.0.0.1:9/bell.mp3"_s, 62, datevalue::kNever},
        {u"Closing Recap"_s, 0.875, u"http://127.0.0.1:9/recap.mp3"_s, 31, datevalue::kNever,
         true}};
    ASSERT_TRUE(writeSchedule(*store, schedule, QDateTime(QDate(2026, 12, 7), QTime(0, 0))));
    start();

    whileOpen<frmBroadcastScheduler>(
        named<QAction>(*window, "mnuFileBroadcastScheduler"), [&](frmBroadcastScheduler& d) {
            activate(d);
            EXPECT_EQ(d.windowTitle(), u"Broadcast Scheduler"_s);
            EXPECT_EQ(named<QComboBox>(d, "cboBroadcastSelect")->count(), 2);
            EXPECT_EQ(named<QLineEdit>(d, "txtName")->text(), u"Opening Bell"_s);
            EXPECT_EQ(named<QLineEdit>(d, "txtTime")->text(), u"1:30:00 PM"_s);
            QStringList days;
            QString ticked;
            for (int i = 0; i < 7; ++i) {
                const QCheckBox* box = named<QCheckBox>(d, u"chkDays%1"_s.arg(i));
                days.append(box->text());
                ticked += box->isChecked() ? u'1' : u'0';
            }
            EXPECT_EQ(days, (QStringList{u"Sun"_s, u"Mon"_s, u"Tue"_s, u"Wed"_s, u"Thurs"_s,
                                         u"Fri"_s, u"Sat"_s}));
            EXPECT_EQ(ticked, u"0111110"_s);
            EXPECT_TRUE(named<QRadioButton>(d, "optAutoLaunch1")->isChecked());
            EXPECT_EQ(named<QRadioButton>(d, "optAutoLaunch0")->text(), u"On"_s);
            EXPECT_EQ(named<QLineEdit>(d, "txtStartEarlierOffset")->text(), u"10"_s);
            EXPECT_EQ(named<QGroupBox>(d, "fraOptions")->title(), u"Options"_s);
            EXPECT_EQ(named<QPushButton>(d, "cmdPreset")->text(), u"Add QLV Preset"_s);
            EXPECT_EQ((QStringList{named<QPushButton>(d, "cmdNew")->text(),
                                   named<QPushButton>(d, "cmdDelete")->text(),
                                   named<QPushButton>(d, "cmdApply")->text(),
                                   named<QPushButton>(d, "cmdOK")->text(),
                                   named<QPushButton>(d, "cmdCancel")->text()}),
                      (QStringList{u"&New"_s, u"&Delete"_s, u"&Apply"_s, u"&OK"_s, u"&Cancel"_s}));
            EXPECT_TRUE(named<QPushButton>(d, "cmdOK")->isDefault());
            expectAccessibleNames(&d);

            // A duplicate name, then the next entry by keyboard: the message, the list back.
            QTest::keyClick(&d, Qt::Key_M, Qt::AltModifier);  // Na&me:
            EXPECT_EQ(d.focusWidget(), named<QLineEdit>(d, "txtName"));
            named<QLineEdit>(d, "txtName")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtName"), u"Closing Recap"_s);
            named<QComboBox>(d, "cboBroadcastSelect")->setFocus();
            QTest::keyClick(named<QComboBox>(d, "cboBroadcastSelect"), Qt::Key_Down);
            EXPECT_EQ(prompts.messages, QStringList{u"Error: Duplicate broadcast name!"_s});
            EXPECT_EQ(named<QComboBox>(d, "cboBroadcastSelect")->currentIndex(), 0);
            EXPECT_EQ(named<QLineEdit>(d, "txtName")->text(), u"Closing Recap"_s);
            EXPECT_EQ(d.focusWidget(), named<QLineEdit>(d, "txtName"));

            // Renamed, typed the way people write times, the preset added, Enter saves.
            named<QLineEdit>(d, "txtName")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtName"), u"Opening Bell Live"_s);
            named<QLineEdit>(d, "txtTime")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtTime"), u"9:30 am"_s);
            EXPECT_FALSE(named<QCheckBox>(d, "chkRecord")->isChecked());
            QTest::keyClick(&d, Qt::Key_R, Qt::AltModifier);  // &Record
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return named<QCheckBox>(d, "chkRecord")->isChecked(); }));
            // An access key clicks its button after a short flash.
            QTest::keyClick(&d, Qt::Key_A, Qt::AltModifier);  // &Apply
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return named<QLineEdit>(d, "txtTime")->text() == u"9:30:00 AM"_s; }));
            EXPECT_EQ(named<QComboBox>(d, "cboBroadcastSelect")->itemText(0),
                      u"Opening Bell Live"_s);
            named<QPushButton>(d, "cmdPreset")->click();
            EXPECT_EQ(named<QComboBox>(d, "cboBroadcastSelect")->count(), 3);
            EXPECT_EQ(named<QLineEdit>(d, "txtName")->text(), u"Quillmoor(tm) Live"_s);
            EXPECT_EQ(named<QLineEdit>(d, "txtMedia")->text(),
                      u"http://127.0.0.1:9/ASX/quillmoor.asx"_s);
            named<QRadioButton>(d, "optAutoLaunch0")->click();
            screenshot(&d, u"broadcast-scheduler.png"_s);
            QTest::keyClick(named<QLineEdit>(d, "txtName"), Qt::Key_Return);
        });
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(stored(kSchedulerSection, u"BroadcastList"_s),
              u"Opening Bell Live$!Closing Recap$!Quillmoor(tm) Live"_s);
    EXPECT_EQ(stored(kSchedulerSection, u"BROADCAST_Opening Bell Live_TIME"_s), u"9:30:00 AM"_s);
    EXPECT_EQ(stored(kSchedulerSection, u"BROADCAST_Opening Bell Live_RECORD"_s), u"True"_s);
    EXPECT_EQ(stored(kSchedulerSection, u"BROADCAST_Closing Recap_RECORD"_s), u"True"_s);
    EXPECT_EQ(stored(kSchedulerSection, u"BROADCAST_Quillmoor(tm) Live_RECORD"_s), u"False"_s);
    EXPECT_EQ(stored(kSchedulerSection, u"AutoLaunchEnabled"_s), u"True"_s);
    EXPECT_EQ(stored(kSchedulerSection, u"DoUpdate"_s), u"True"_s);
}

TEST_F(EditorsWindowTest, BroadcastSchedulerWithNothingScheduledAndNoLeavesTheStore) {
    start();
    // Asked before the dialog shows: "No" shows no empty dialog at all.
    prompts.whileAsked = [&] {
        EXPECT_FALSE(window->findChild<frmBroadcastScheduler*>()->isVisible());
    };
    const auto dialog = openOwnedDialog<frmBroadcastScheduler>(window->dialogs());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(prompts.questions[0].startsWith(u"There are no scheduled broadcasts."_s));
    EXPECT_EQ(stored(kSchedulerSection, u"DoUpdate"_s), u"<absent>"_s);
}

TEST_F(EditorsWindowTest, OnlineBrokersFromTheEmptyListToTheMenu) {
    start();
    prompts.yesNo = {true};
    // The question comes before the dialog shows; "Yes" shows it with a first entry.
    prompts.whileAsked = [&] { EXPECT_FALSE(window->findChild<frmOnlineBrokers*>()->isVisible()); };
    whileOpen<frmOnlineBrokers>(
        named<QAction>(*window, "mnuFileConfigureOnlineBrokers"), [&](frmOnlineBrokers& d) {
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return named<QComboBox>(d, "cboBrokerSelect")->count() == 1; }));
            activate(d);
            EXPECT_EQ(d.windowTitle(), u"Online Brokers"_s);
            EXPECT_EQ(named<QGroupBox>(d, "fraOnlineBrokers")->title(), u"Frame1"_s);
            EXPECT_TRUE(
                named<QLabel>(d, "lblInfo2")->text().startsWith(u"You can now plug directly"_s));
            EXPECT_EQ(named<QToolButton>(d, "cmdInfo")->toolTip(), u"127.0.0.1"_s);
            // The lightning bolt of the brokers button: a zigzag from the top right to a point at
            // the bottom left, the other corners left empty.
            const QImage bolt = named<QToolButton>(d, "cmdInfo")->icon().pixmap(32).toImage();
            for (const auto& [x, y, inked] : {std::tuple{19, 3, true},
                                              {15, 15, true},
                                              {13, 26, true},
                                              {24, 13, true},
                                              {3, 3, false},
                                              {28, 28, false},
                                              {4, 28, false},
                                              {28, 4, false}}) {
                EXPECT_EQ(qAlpha(bolt.pixel(x, y)) > 128, inked) << x << "," << y;
            }
            EXPECT_EQ(named<QLineEdit>(d, "txtName")->text(), u"New Online Broker"_s);
            EXPECT_EQ(named<QLineEdit>(d, "txtURL")->text(), u"http://"_s);
            expectAccessibleNames(&d);

            named<QLineEdit>(d, "txtName")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtName"), u"Alpha Trade"_s);
            named<QLineEdit>(d, "txtURL")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtURL"), u"http://127.0.0.1:9/alpha"_s);
            QTest::keyClick(&d, Qt::Key_N, Qt::AltModifier);  // &New
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return named<QComboBox>(d, "cboBrokerSelect")->count() == 2; }));
            named<QLineEdit>(d, "txtName")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtName"), u"Beta & Co"_s);
            named<QLineEdit>(d, "txtURL")->selectAll();
            QTest::keyClicks(named<QLineEdit>(d, "txtURL"), u"http://127.0.0.1:9/beta"_s);
            screenshot(&d, u"online-brokers.png"_s);
            named<QPushButton>(d, "cmdOK")->click();
        });
    EXPECT_EQ(loadBrokerEntries(*store),
              (QList<BrokerEntry>{{u"Alpha Trade"_s, u"http://127.0.0.1:9/alpha"_s},
                                  {u"Beta & Co"_s, u"http://127.0.0.1:9/beta"_s}}));
    ASSERT_EQ(testing::brokerEntries(*window).size(), 2);
    EXPECT_EQ(testing::brokerEntries(*window)[1]->data().toString(), u"http://127.0.0.1:9/beta"_s);

    // From the popup's Configure: edits then Esc change neither the store nor the menu.
    const QString before = stored(kBrokersSection, u"BrokerList"_s);
    whileOpen<frmOnlineBrokers>(
        named<QAction>(*window, "mnuOnlineBrokersConfigure"), [&](frmOnlineBrokers& d) {
            EXPECT_EQ(named<QLineEdit>(d, "txtName")->text(), u"Alpha Trade"_s);
            QTest::keyClicks(named<QLineEdit>(d, "txtName"), u" edited"_s);
            named<QPushButton>(d, "cmdApply")->click();
            QTest::keyClick(&d, Qt::Key_Escape);
        });
    EXPECT_EQ(stored(kBrokersSection, u"BrokerList"_s), before);
    EXPECT_EQ(testing::brokerEntries(*window)[0]->text(), u"Alpha Trade"_s);
}

// A language added as a file only (tests/window/lyrevane_eo.ts, compiled beside this program
// as the package installs it) is loaded for its locale, with the contexts the texts run in.
TEST_F(EditorsWindowTest, TheTranslationForTheLocaleIsLoadedFromTheTranslationsFolder) {
#ifndef LYREVANE_TEST_TRANSLATION
    GTEST_SKIP() << "built without Qt's Linguist tools";
#endif
    const QLocale before;
    QLocale::setDefault(QLocale(u"eo"_s));
    QTranslator translator;
    const bool installed = installTranslation(translator);
    QLocale::setDefault(before);
    ASSERT_TRUE(installed);
    start();
    EXPECT_EQ(named<QLabel>(*window, "imgLogo")->accessibleName(), u"Emblemo de Quillmoor"_s);
    whileOpen<frmAbout>(named<QAction>(*window, "mnuHelpAbout"), [&](frmAbout& d) {
        EXPECT_EQ(d.windowTitle(), u"Pri Quillmoor(tm) Vendrasel"_s);
        EXPECT_EQ(named<QLabel>(d, "lblInfo1")->text(), u"Versio 1.0.0"_s);
        EXPECT_EQ(named<QLabel>(d, "lblInfo6")->text(), u"Quillmoor:"_s)
            << "untranslated texts stay";
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    QCoreApplication::removeTranslator(&translator);
}

TEST_F(EditorsWindowTest, AboutShowsTheProductMailsThePortalAndReportsNoSystemInfo) {
    QTemporaryDir emptyPath;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(emptyPath.path()));
    start();
    whileOpen<frmAbout>(named<QAction>(*window, "mnuHelpAbout"), [&](frmAbout& d) {
        activate(d);
        EXPECT_EQ(d.windowTitle(), u"About Quillmoor(tm) Vendrasel"_s);
        EXPECT_EQ(named<QLabel>(d, "lblInfo0")->text(), u"Quillmoor(tm) Vendrasel"_s);
        EXPECT_EQ(named<QLabel>(d, "lblInfo1")->text(), u"Version 1.0.0"_s);
        EXPECT_EQ(named<QLabel>(d, "lblInfo6")->text(), u"Quillmoor:"_s);
        EXPECT_TRUE(
            named<QLabel>(d, "lblInfo3")->text().contains(u"listeners@quillmoor.example"_s));
        EXPECT_EQ(named<QPushButton>(d, "cmdOK")->text(), u"OK"_s);
        EXPECT_EQ(named<QPushButton>(d, "cmdSysInfo")->text(), u"&System Info..."_s);
        EXPECT_TRUE(named<QPushButton>(d, "cmdOK")->isDefault());
        expectAccessibleNames(&d);
        screenshot(&d, u"about.png"_s);

        // Other labels do nothing; the address starts an e-mail.
        QTest::mouseClick(named<QLabel>(d, "lblInfo0"), Qt::LeftButton);
        EXPECT_TRUE(opener.urls.isEmpty());
        Q_EMIT named<QLabel>(d, "lblInfo3")->linkActivated(u"mailto"_s);
        EXPECT_EQ(opener.urls, QStringList{u"mailto:listeners@quillmoor.example"_s});

        QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);  // &System Info...
        ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.messages.isEmpty(); }));
        EXPECT_EQ(prompts.messages, QStringList{kSystemInfoUnavailable.toString()});
        EXPECT_EQ(prompts.icons.back(), MessageIcon::None);
        EXPECT_TRUE(d.isVisible());
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    qputenv("PATH", oldPath);
}

// The desktop's Yes/No question: the application's title, Yes and No, the icon asked
// for; Esc answers No.
TEST(DesktopQuestions, YesNoAndEscape) {
    DialogPromptService prompts;
    const auto answerWith = [&](const std::function<void(QMessageBox&)>& answer) {
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(QTest::qWaitFor([] {
                return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
            }));
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            EXPECT_EQ(box->windowTitle(), kAppTitle.toString());
            EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            answer(*box);
        });
    };
    answerWith([](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        EXPECT_EQ(box.text(), u"Create one?"_s);
        box.button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(prompts.askYesNo(u"Create one?"_s, MessageIcon::Exclamation));
    answerWith([](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        box.button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(prompts.askYesNo(u"Save?"_s, MessageIcon::Question));
    answerWith([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_FALSE(prompts.askYesNo(u"Save?"_s, MessageIcon::Question));
}

}  // namespace
}  // namespace lyrevane
