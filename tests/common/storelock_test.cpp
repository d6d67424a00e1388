// The store while another process holds the file locked.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>

#include "../support/tempenv.h"
#include "common/settingsstore.h"

using namespace Qt::Literals::StringLiterals;
using lyrevane::kAppName;
using lyrevane::SqliteSettingsStore;

namespace {

constexpr QStringView kWindow = u"v1_0\\WindowSettings";
constexpr QStringView kScheduler = u"v1_0\\Scheduler";

class LockedStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        SqliteSettingsStore store;
        ASSERT_TRUE(store.writeSettings(kAppName, kWindow,
                                        {{u"Width"_s, u"800"_s}, {u"Volume"_s, u"33"_s}}));
        ASSERT_TRUE(store.writeSetting(kAppName, kScheduler, u"DoUpdate"_s, u"False"_s));
    }
    void TearDown() override { unlock(); }

    // Another process takes the file and holds it until `unlock`.
    void lock(const QStringList& extra = {}) {
        locker.start(QStringLiteral(STORE_STRESS_BINARY), QStringList{u"lock"_s} + extra);
        ASSERT_TRUE(locker.waitForStarted());
        ASSERT_TRUE(locker.waitForReadyRead(30000)) << locker.readAllStandardError().toStdString();
        ASSERT_EQ(locker.readAllStandardOutput(), QByteArray("locked\n"));
    }
    void unlock() {
        if (locker.state() != QProcess::NotRunning) {
            locker.closeWriteChannel();
            ASSERT_TRUE(locker.waitForFinished(30000));
        }
    }
    static QString stored(QStringView section, QStringView key) {
        SqliteSettingsStore reader;
        return reader.readSetting(kAppName, section, key, u"(absent)"_s);
    }

    lyrevane::testing::TempXdg xdg;
    QProcess locker;
};

// The player's start-up reads a dozen values: with the file locked, one short wait in
// all, then every read gives its default at once, and the problem is said once.
TEST_F(LockedStoreTest, ReadsGiveTheirDefaultsAfterOneShortWaitAndSayItOnce) {
    lock();
    SqliteSettingsStore store;
    store.setBusyTimeouts(SqliteSettingsStore::kInteractiveTimeouts);
    // A statement that waits takes the whole short timeout.
    constexpr qint64 kWaitMs = SqliteSettingsStore::kInteractiveTimeouts.readMs;
    ::testing::internal::CaptureStderr();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(store.readSetting(kAppName, kWindow, u"Width", u"640"_s), u"640"_s);
    EXPECT_GE(clock.elapsed(), kWaitMs / 2) << "the first read waits";
    // Waiting again would take a timeout for each of the 25 statements below: far more than
    // the loosest bound a loaded machine needs to run them without waiting.
    clock.restart();
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(store.readSetting(kAppName, kWindow, u"Width", u"640"_s), u"640"_s);
        EXPECT_TRUE(store.readSection(kAppName, kScheduler).isEmpty());
    }
    EXPECT_FALSE(store.writeSetting(kAppName, u"v1_0\\Other", u"Key", u"1"_s));
    EXPECT_LT(clock.elapsed(), 10 * kWaitMs) << "nothing after it waits again";
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(store.problem().contains(u"busy"_s)) << store.problem().toStdString();
    EXPECT_TRUE(store.problem().contains(xdg.storePath()));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // Free again: the next read waits for nothing and finds the stored values.
    unlock();
    EXPECT_EQ(store.readSetting(kAppName, kWindow, u"Width", u"640"_s), u"800"_s);
}

// Settings shown from defaults because the file was busy are not saved over the stored
// ones when the file is free again; sections the file does not hold are written.
TEST_F(LockedStoreTest, WhatCouldNotBeReadIsNotSavedOverTheStoredValues) {
    lock();
    SqliteSettingsStore store;
    store.setBusyTimeouts({0, 0});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store.readSetting(kAppName, kWindow, u"Width", u"640"_s), u"640"_s);
    EXPECT_TRUE(store.readSection(kAppName, u"v1_0\\SkinSettings").isEmpty());
    EXPECT_FALSE(store.writeSettings(kAppName, kWindow, {{u"Width"_s, u"640"_s}}));
    unlock();

    EXPECT_FALSE(store.writeSettings(kAppName, kWindow, {{u"Width"_s, u"640"_s}}));
    EXPECT_FALSE(store.rewriteSection(kAppName, kWindow, {{u"Width"_s, u"640"_s}}));
    EXPECT_FALSE(store.deleteSection(kAppName, kWindow));
    EXPECT_TRUE(store.writeSetting(kAppName, u"v1_0\\SkinSettings", u"Hue", u"10"_s));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WindowSettings"), std::string::npos) << err;
    EXPECT_EQ(stored(kWindow, u"Width"), u"800"_s);
    EXPECT_EQ(stored(kWindow, u"Volume"), u"33"_s);
    EXPECT_EQ(stored(u"v1_0\\SkinSettings", u"Hue"), u"10"_s);

    // Read once more, the section may be written again.
    EXPECT_EQ(store.readSetting(kAppName, kWindow, u"Width", u"640"_s), u"800"_s);
    EXPECT_TRUE(store.writeSettings(kAppName, kWindow, {{u"Width"_s, u"900"_s}}));
    EXPECT_EQ(stored(kWindow, u"Width"), u"900"_s);
}

// A program without a window (the scheduler) keeps the long wait: a lock let go within
// it costs nothing but the wait.
TEST_F(LockedStoreTest, ALongWaitOutlastsAShortLock) {
    lock({u"500"_s});  // lets go by itself after 500 ms
    SqliteSettingsStore store;
    EXPECT_EQ(store.readSetting(kAppName, kWindow, u"Width", u"640"_s), u"800"_s);
    EXPECT_TRUE(store.writeSetting(kAppName, kScheduler, u"DoUpdate", u"True"_s));
    EXPECT_TRUE(store.problem().isEmpty()) << store.problem().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
