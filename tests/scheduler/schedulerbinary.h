#pragma once

// The real LyrevaneScheduler binary against a temporary store, with a fake URL opener
// that records each URL it is given on one line and, after usePlayer(), starts the real
// player on it as the desktop would.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <chrono>

#include "../support/tempenv.h"
#include "../support/waituntil.h"
#include "common/datevalue.h"
#include "common/schedule.h"
#include "common/settingsstore.h"

namespace lyrevane::testing {

class SchedulerBinaryTest : public ::testing::Test {
protected:
    // Long enough for a tick (every 5 s) on a busy machine.
    static constexpr std::chrono::milliseconds kTickWait{30000};

    void SetUp() override {
        QDir().mkpath(xdg.runtime());
        const QString bin = xdg.root() + QStringLiteral("/bin");
        QDir().mkpath(bin);
        opened = xdg.root() + QStringLiteral("/opened.txt");
        QFile script(bin + QStringLiteral("/xdg-open"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        const QByteArray pids = QFile::encodeName(xdg.root() + QStringLiteral("/players.txt"));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(opened) + "'\n" +
                     "[ -z \"$LYREVANE_TEST_PLAYER\" ] && exit 0\n" +
                     "\"$LYREVANE_TEST_PLAYER\" \"$@\" >/dev/null 2>&1 &\necho $! >> '" + pids +
                     "'\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), bin + u':' + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), xdg.config());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), xdg.runtime());
    }
    void TearDown() override {
        QFile pids(xdg.root() + QStringLiteral("/players.txt"));
        if (pids.open(QIODevice::ReadOnly)) {
            for (const QByteArray& pid : pids.readAll().split('\n')) {
                QProcess::execute(QStringLiteral("kill"), {QString::fromLatin1(pid.trimmed())});
            }
        }
        for (QProcess* p : {&first, &second}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        }
    }
    // Opened URLs start `player` on a private portal address, on the test's display and
    // session bus; TearDown ends them.
    void usePlayer(const QString& player) {
        env.insert(QStringLiteral("LYREVANE_TEST_PLAYER"), player);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QStringLiteral("--disable-gpu --no-sandbox"));
        store.writeSetting(kAppName, u"v1_0\\Portal", u"BaseURL",
                           QStringLiteral("http://127.0.0.1:9"));
    }
    QStringList openedLines() const {
        QFile f(opened);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    bool waitForLines(qsizetype count) {
        return waitUntil([&] { return openedLines().size() >= count; }, kTickWait);
    }
    void start(QProcess& p) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SCHEDULER_BINARY), {});
        ASSERT_TRUE(p.waitForStarted());
    }
    QString setting(QStringView key) {
        return store.readSetting(kAppName, kSchedulerSection, key, QStringLiteral("<absent>"));
    }
    // The scheduler has read the schedule at start-up: it lowers the flag that
    // writeSchedule raised.
    bool waitForStartUpLoad() {
        return waitUntil([&] { return setting(schedulekeys::DoUpdate) == u"False"; }, kTickWait);
    }
    static QString today() { return datevalue::format(datevalue::fromDate(QDate::currentDate())); }

    TempXdg xdg;
    QString opened;
    QProcessEnvironment env;
    QProcess first;
    QProcess second;
    SqliteSettingsStore store{xdg.storePath()};
};

}  // namespace lyrevane::testing
