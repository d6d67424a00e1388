// The real LyrevaneScheduler binary against a temporary store, with a fake URL opener.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include "../support/tempenv.h"
#include "schedule.h"
#include "settingsstore.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;

namespace {

class SchedulerBinaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(xdg.runtime());
        const QString bin = xdg.root() + u"/bin"_s;
        QDir().mkpath(bin);
        opened = xdg.root() + u"/opened.txt"_s;
        // The fake opener records each argument list on one line.
        QFile script(bin + u"/xdg-open"_s);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(opened) + "'\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PATH"_s, bin + u':' + env.value(u"PATH"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, xdg.config());
        env.insert(u"XDG_RUNTIME_DIR"_s, xdg.runtime());
    }
    void TearDown() override {
        for (QProcess* p : {&first, &second}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        }
    }
    QStringList openedLines() const {
        QFile f(opened);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    void start(QProcess& p) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SCHEDULER_BINARY), {});
        ASSERT_TRUE(p.waitForStarted());
    }

    lyrevane::testing::TempXdg xdg;
    QString opened;
    QProcessEnvironment env;
    QProcess first;
    QProcess second;
};

TEST_F(SchedulerBinaryTest, LaunchesAnOpenWindowOnceAndASecondCopyLeavesAtOnce) {
    const QDateTime due = QDateTime::currentDateTime().addSecs(120);
    const QString url = u"http://127.0.0.1:9/live stream.mp3?x=%20"_s;
    {
        SqliteSettingsStore store(xdg.storePath());
        Schedule s;
        s.Broadcasts = {{u"Live"_s, datevalue::timeOfDay(due), url, 127, datevalue::kNever}};
        ASSERT_TRUE(WriteSchedule(store, s, QDateTime::currentDateTime()));
    }
    start(first);

    SqliteSettingsStore store(xdg.storePath());
    const auto lastActive = [&] {
        return store.ReadSetting(kAppName, kSchedulerSection, schedulekeys::lastActive(u"Live"_s));
    };
    const QString expectedDay = datevalue::format(datevalue::fromDate(due.date()));

    // The first tick, 5 s after start, launches and records the day at once; the opener
    // (a shell script here) may take a moment longer to write down what it was given.
    QElapsedTimer timer;
    timer.start();
    while (lastActive() != expectedDay && timer.elapsed() < 6000) {
        QThread::msleep(50);
    }
    EXPECT_EQ(lastActive(), expectedDay) << "after " << timer.elapsed() << " ms";
    while (openedLines().isEmpty() && timer.elapsed() < 11000) {
        QThread::msleep(50);
    }
    ASSERT_EQ(openedLines(), QStringList{u"lyrev:play?"_s + url});

    // A second copy exits at once, with status 0, without touching the store.
    const QByteArray before =
        store.ReadSection(kAppName, kSchedulerSection).value(u"DoUpdate").toUtf8();
    const auto walSize = QFileInfo(xdg.storePath() + u"-wal"_s).size();
    start(second);
    ASSERT_TRUE(second.waitForFinished(2000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(QFileInfo(xdg.storePath() + u"-wal"_s).size(), walSize);
    EXPECT_EQ(store.ReadSection(kAppName, kSchedulerSection).value(u"DoUpdate").toUtf8(), before);

    // The handshake: the next tick reloads and lowers the flag; no second launch.
    timer.restart();
    while (store.ReadSetting(kAppName, kSchedulerSection, u"DoUpdate") != u"False"_s &&
           timer.elapsed() < 7000) {
        QThread::msleep(100);
    }
    EXPECT_EQ(store.ReadSetting(kAppName, kSchedulerSection, u"DoUpdate"), u"False"_s);
    QThread::msleep(5500);
    EXPECT_EQ(openedLines().size(), 1);
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(SchedulerBinaryTest, RunsOnWithADamagedStore) {
    QDir().mkpath(QFileInfo(xdg.storePath()).absolutePath());
    QFile f(xdg.storePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, 'x'));
    f.close();
    start(first);
    EXPECT_FALSE(first.waitForFinished(6000));  // still running after a tick
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(first.readAllStandardError().contains("settings.sqlite3"));
    QFile again(xdg.storePath());
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray(8192, 'x'));
}

TEST_F(SchedulerBinaryTest, StaleLockOfACrashedCopyDoesNotBlock) {
    start(first);
    QThread::msleep(300);
    first.kill();  // SIGKILL leaves the lock file behind
    first.waitForFinished();
    start(second);
    EXPECT_FALSE(second.waitForFinished(1500));
    EXPECT_EQ(second.state(), QProcess::Running);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
