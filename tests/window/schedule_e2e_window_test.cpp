// End to end in a temporary profile: the Broadcast Scheduler dialog creates a broadcast
// due in a minute and saves it; the real LyrevaneScheduler, already running, reloads the
// schedule and launches the broadcast once through a fake xdg-open on its PATH.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>

#include "../support/mainwindowfixture.h"
#include "common/schedule.h"
#include "dialogs/dialogs.h"
#include "dialogs/frmbroadcastscheduler.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::named;

using testing::FakeMediaEngine;
using testing::FakePrompts;
using testing::sharedProfile;
using testing::waitUntil;

// Generous: the scheduler ticks every 5 seconds on a busy machine.
constexpr auto kPatience = 120s;

TEST(ScheduleEndToEnd, DialogOkIsReloadedAndLaunchedOnce) {
    const QDateTime due = QDateTime::currentDateTime().addSecs(60);
    if (due.date() != QDate::currentDate()) {
        GTEST_SKIP() << "a broadcast due after midnight belongs to tomorrow";
    }

    // The fake opener records each argument list on one line.
    QTemporaryDir bin;
    const QString opened = bin.filePath(u"opened.txt"_s);
    QFile script(bin.filePath(u"xdg-open"_s));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(opened) + "'\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const auto openedLines = [&] {
        QFile f(opened);
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    };

    // The window tests' private XDG folders are this profile, for both programs.
    SqliteSettingsStore store(SqliteSettingsStore::defaultPath());
    store.writeSetting(kAppName, kPortalSection, u"BaseURL", u"http://127.0.0.1:9"_s);
    QProcess scheduler;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PATH"_s, bin.path() + u':' + env.value(u"PATH"_s));
    scheduler.setProcessEnvironment(env);
    scheduler.start(QStringLiteral(SCHEDULER_BINARY), {});
    ASSERT_TRUE(scheduler.waitForStarted());

    FakeMediaEngine engine;
    FakePrompts prompts;
    testing::NullTracker tracker;
    testing::RecordingOpener opener;
    frmMain window(frmMain::Services{{store, prompts, tracker, engine}, opener, sharedProfile()});
    window.show();

    // Nothing is scheduled: Yes to the question gives a new entry to fill in.
    prompts.yesNo = {true};
    const QString media = u"http://127.0.0.1:9/live stream.mp3"_s;
    bool filled = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        auto* d = dynamic_cast<frmBroadcastScheduler*>(QApplication::activeModalWidget());
        if (d == nullptr ||
            named<QLineEdit>(*d, "txtName")->text() != u"New Scheduled Broadcast"_s || filled) {
            return;
        }
        filled = true;
        named<QLineEdit>(*d, "txtName")->setText(u"Market Open"_s);
        named<QLineEdit>(*d, "txtTime")->setText(due.time().toString(u"HH:mm:ss"_s));
        named<QLineEdit>(*d, "txtMedia")->setText(media);
        named<QPushButton>(*d, "cmdOK")->click();
    });
    poll.start();
    named<QAction>(window, "mnuFileBroadcastScheduler")->trigger();
    poll.stop();
    ASSERT_TRUE(filled);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(u'|').toStdString();

    const auto read = [&](const QString& key) {
        return store.readSetting(kAppName, kSchedulerSection, key, u"<absent>"_s);
    };
    EXPECT_EQ(read(u"BroadcastList"_s), u"Market Open"_s);
    EXPECT_EQ(read(u"BROADCAST_Market Open_LASTACTIVE"_s), u"1/1/1900"_s);

    // Reloaded ("DoUpdate" lowered), launched, the day recorded, and reloaded again.
    const QString today = datevalue::format(datevalue::fromDate(due.date()));
    ASSERT_TRUE(
        waitUntil([&] { return read(u"BROADCAST_Market Open_LASTACTIVE"_s) == today; }, kPatience));
    ASSERT_TRUE(waitUntil([&] { return !openedLines().isEmpty(); }, kPatience));
    ASSERT_TRUE(waitUntil([&] { return read(u"DoUpdate"_s) == u"False"_s; }, kPatience));
    EXPECT_EQ(openedLines(),
              QStringList{u"lyrev:play?http%3A%2F%2F127.0.0.1%3A9%2Flive%20stream.mp3"_s});
    EXPECT_EQ(scheduler.state(), QProcess::Running);

    scheduler.terminate();
    if (!scheduler.waitForFinished(5000)) {
        scheduler.kill();
        scheduler.waitForFinished();
    }
    window.close();
}

}  // namespace
}  // namespace lyrevane
