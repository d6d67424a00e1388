// Two processes on one store: a writer rewriting the schedule and a reader that must
// never see a torn schedule; and a writer killed in the middle of rewrites.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>

#include "../support/tempenv.h"
#include "common/settingsstore.h"
#include "schedule_generation.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString stressBinary() {
    return QStringLiteral(STORE_STRESS_BINARY);
}

TEST(StoreConcurrency, ReaderNeverSeesATornScheduleWhileAnotherProcessRewritesIt) {
    lyrevane::testing::TempXdg xdg;
    const QString stopFile = xdg.root() + u"/stop"_s;

    QProcess reader;
    reader.start(stressBinary(), {u"read"_s, stopFile});
    ASSERT_TRUE(reader.waitForStarted());
    QProcess writer;
    writer.start(stressBinary(), {u"write"_s, u"2000"_s});
    ASSERT_TRUE(writer.waitForStarted());
    ASSERT_TRUE(writer.waitForFinished(120000));
    EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();

    QFile(stopFile).open(QIODevice::WriteOnly);
    ASSERT_TRUE(reader.waitForFinished(30000));
    const QByteArray report = reader.readAllStandardOutput() + reader.readAllStandardError();
    EXPECT_EQ(reader.exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.contains("last generation 2000")) << report.toStdString();

    lyrevane::SqliteSettingsStore store;
    EXPECT_EQ(lyrevane::testing::checkGeneration(lyrevane::readSchedule(store)), 2000);
}

TEST(StoreConcurrency, WriterKilledMidRewriteLeavesAWholeSchedule) {
    lyrevane::testing::TempXdg xdg;
    {
        lyrevane::SqliteSettingsStore store;
        ASSERT_TRUE(lyrevane::writeSchedule(store, lyrevane::testing::generation(1),
                                            QDateTime::currentDateTime()));
    }
    int lastSeen = 1;
    for (int round = 0; round < 50; ++round) {
        QProcess writer;
        writer.start(stressBinary(), {u"write-forever"_s});
        ASSERT_TRUE(writer.waitForStarted());
        ASSERT_TRUE(writer.waitForReadyRead(10000));  // first rewrite done
        QThread::msleep(QRandomGenerator::global()->bounded(1, 40));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(10000));

        lyrevane::SqliteSettingsStore store;
        const int g = lyrevane::testing::checkGeneration(lyrevane::readSchedule(store));
        ASSERT_GT(g, 0) << "round " << round;
        EXPECT_TRUE(store.problem().isEmpty()) << store.problem().toStdString();
        lastSeen = g;
    }
    // The store is still writable afterwards.
    lyrevane::SqliteSettingsStore store;
    EXPECT_TRUE(lyrevane::writeSchedule(store, lyrevane::testing::generation(lastSeen + 1),
                                        QDateTime::currentDateTime()));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
