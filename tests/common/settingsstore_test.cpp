#include "common/settingsstore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>

#include "../support/tempenv.h"

using namespace Qt::Literals::StringLiterals;
using lyrevane::kAppName;
using lyrevane::SqliteSettingsStore;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    lyrevane::testing::TempXdg xdg;
    SqliteSettingsStore store;  // default location, under the temporary XDG folder
};

TEST_F(SettingsStoreTest, DefaultPathFollowsXdgConfigHome) {
    EXPECT_EQ(store.path(), xdg.storePath());
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(SqliteSettingsStore::defaultPath(),
              QDir::homePath() + u"/.config/Lyrevane/settings.sqlite3"_s);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SqliteSettingsStore::defaultPath(),
              QDir::homePath() + u"/.config/Lyrevane/settings.sqlite3"_s);
}

TEST_F(SettingsStoreTest, ReadsOfAnEmptyStoreGiveTheDefaultAndCreateNothing) {
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"StartEarlierOffset", u"5"_s),
              u"5"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"AutoLaunchEnabled", u"True"_s),
              u"True"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"Missing"), QString());
    EXPECT_TRUE(store.readSection(kAppName, u"v1_0\\Scheduler").isEmpty());
    EXPECT_FALSE(store.deleteSection(kAppName, u"v1_0\\Scheduler"));
    EXPECT_FALSE(QFileInfo::exists(xdg.storePath()));
    EXPECT_TRUE(store.problem().isEmpty());
}

TEST_F(SettingsStoreTest, FirstWriteCreatesFolderAndFileWithTheDocumentedTable) {
    ASSERT_TRUE(store.writeSetting(kAppName, u"v1_0\\WindowSettings", u"Width", u"800"_s));
    ASSERT_TRUE(QFileInfo::exists(xdg.storePath()));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(xdg.storePath()).constData(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name='settings'", -1, &stmt,
                       nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const QString sql =
        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    EXPECT_EQ(sql,
              u"CREATE TABLE settings (app TEXT NOT NULL COLLATE NOCASE, section TEXT NOT NULL "
              "COLLATE NOCASE, key TEXT NOT NULL COLLATE NOCASE, value TEXT NOT NULL, PRIMARY "
              "KEY (app, section, key))"_s);
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
    sqlite3_finalize(stmt);
    // The section is stored exactly as written, backslash included.
    sqlite3_prepare_v2(db, "SELECT app, section, key, value FROM settings", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)),
                 "v1_0\\WindowSettings");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)), "800");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(SettingsStoreTest, ValuesRoundTripIncludingEmptyTextAndOddCharacters) {
    const QString odd = u"a'b\"c; DROP TABLE settings;--\\ \u00e9\u4e2d\U0001F600 $! \n\t"_s;
    ASSERT_TRUE(store.writeSetting(kAppName, u"v1_0\\Scheduler", u"Empty", QString()));
    ASSERT_TRUE(store.writeSetting(kAppName, u"v1_0\\Scheduler", odd, odd));
    ASSERT_TRUE(store.writeSetting(kAppName, u"v1_0\\Scheduler", u"BROADCAST_a$!b_TIME", u"x"_s));
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"Empty", u"default"_s), QString());
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", odd), odd);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"BROADCAST_a$!b_TIME"), u"x"_s);
    const QString big(100000, u'z');
    ASSERT_TRUE(store.writeSetting(kAppName, u"v1_0\\Scheduler", u"Big", big));
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"Big"), big);
}

TEST_F(SettingsStoreTest, AddressingIgnoresLetterCaseAndReplacesValues) {
    ASSERT_TRUE(store.writeSetting(kAppName, u"v1_0\\Scheduler", u"DoUpdate", u"True"_s));
    EXPECT_EQ(store.readSetting(u"LYREVANE", u"V1_0\\SCHEDULER", u"doupdate"), u"True"_s);
    ASSERT_TRUE(store.writeSetting(u"lyrevane", u"v1_0\\scheduler", u"DOUPDATE", u"False"_s));
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"DoUpdate"), u"False"_s);
    EXPECT_EQ(store.readSection(kAppName, u"v1_0\\Scheduler").size(), 1);
    EXPECT_EQ(store.readSection(kAppName, u"V1_0\\scheduler").value(u"doUPDATE"), u"False"_s);
}

TEST_F(SettingsStoreTest, DeleteSectionRemovesExactlyThatSection) {
    store.writeSetting(kAppName, u"v1_0\\Scheduler", u"A", u"1"_s);
    store.writeSetting(kAppName, u"v1_0\\Scheduler", u"B", u"2"_s);
    store.writeSetting(kAppName, u"v1_0\\SchedulerExtra", u"A", u"3"_s);
    store.writeSetting(kAppName, u"v1_0\\Scheduler\\Child", u"A", u"4"_s);
    store.writeSetting(u"Other", u"v1_0\\Scheduler", u"A", u"5"_s);

    EXPECT_TRUE(store.deleteSection(kAppName, u"V1_0\\scheduler"));
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"A", u"gone"_s), u"gone"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler", u"B", u"gone"_s), u"gone"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\SchedulerExtra", u"A"), u"3"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Scheduler\\Child", u"A"), u"4"_s);
    EXPECT_EQ(store.readSetting(u"Other", u"v1_0\\Scheduler", u"A"), u"5"_s);
    EXPECT_FALSE(store.deleteSection(kAppName, u"v1_0\\Scheduler"));
    EXPECT_FALSE(store.deleteSection(kAppName, u"v1_0\\Never"));
}

TEST_F(SettingsStoreTest, RewriteSectionReplacesTheWholeSection) {
    store.writeSetting(kAppName, u"v1_0\\OnlineBrokers", u"BROKER_old_URL", u"http://old"_s);
    store.writeSetting(kAppName, u"v1_0\\Keep", u"K", u"v"_s);
    ASSERT_TRUE(store.rewriteSection(
        kAppName, u"v1_0\\OnlineBrokers",
        {{u"BROKER_new_URL"_s, u"http://new"_s}, {u"BrokerList"_s, u"new"_s}}));
    const auto section = store.readSection(kAppName, u"v1_0\\OnlineBrokers");
    EXPECT_EQ(section.size(), 2);
    EXPECT_FALSE(section.contains(u"BROKER_old_URL"));
    EXPECT_EQ(section.value(u"brokerlist"), u"new"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Keep", u"K"), u"v"_s);
    // Later values of the same key win, as separate writes would.
    ASSERT_TRUE(store.rewriteSection(kAppName, u"v1_0\\OnlineBrokers",
                                     {{u"K"_s, u"1"_s}, {u"k"_s, u"2"_s}}));
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\OnlineBrokers", u"K"), u"2"_s);
}

TEST_F(SettingsStoreTest, EveryReadSeesWritesOfAnotherConnectionAtOnce) {
    SqliteSettingsStore other(xdg.storePath());
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"d"_s);  // before the file exists
    other.writeSetting(kAppName, u"s", u"k", u"1"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"1"_s);
    other.writeSetting(kAppName, u"s", u"k", u"2"_s);
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"2"_s);
    other.deleteSection(kAppName, u"s");
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"d"_s);
}

// A file that is not a settings database is reported once and never touched.
TEST(SettingsStoreDamage, ForeignFileIsLeftUntouchedAndDefaultsAreUsed) {
    lyrevane::testing::TempXdg xdg;
    QDir().mkpath(QFileInfo(xdg.storePath()).absolutePath());
    const QByteArray garbage = QByteArray("this is not a database\n").repeated(500);
    {
        QFile f(xdg.storePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }
    SqliteSettingsStore store;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\WindowSettings", u"Width", u"640"_s), u"640"_s);
    EXPECT_FALSE(store.writeSetting(kAppName, u"v1_0\\WindowSettings", u"Width", u"800"_s));
    EXPECT_FALSE(store.rewriteSection(kAppName, u"v1_0\\Scheduler", {{u"A"_s, u"1"_s}}));
    EXPECT_FALSE(store.deleteSection(kAppName, u"v1_0\\Scheduler"));
    EXPECT_TRUE(store.readSection(kAppName, u"v1_0\\Scheduler").isEmpty());
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(store.problem().isEmpty());
    EXPECT_TRUE(store.problem().contains(xdg.storePath()));
    EXPECT_NE(err.find(xdg.storePath().toStdString()), std::string::npos);
    // Said once, on one line.
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

    QFile f(xdg.storePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), garbage);
    EXPECT_FALSE(QFileInfo::exists(xdg.storePath() + u"-wal"_s));
}

TEST(SettingsStoreDamage, RepairedOrRemovedFileIsUsedAgain) {
    lyrevane::testing::TempXdg xdg;
    QDir().mkpath(QFileInfo(xdg.storePath()).absolutePath());
    {
        QFile f(xdg.storePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    SqliteSettingsStore store;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(store.writeSetting(kAppName, u"s", u"k", u"1"_s));
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"d"_s);
    ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(store.problem().isEmpty());

    // The user moves the damaged file aside: the next write starts a fresh store.
    ASSERT_TRUE(QFile::rename(xdg.storePath(), xdg.storePath() + u".damaged"_s));
    EXPECT_TRUE(store.writeSetting(kAppName, u"s", u"k", u"2"_s));
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"2"_s);
    EXPECT_TRUE(store.problem().isEmpty());
}

TEST(SettingsStoreDamage, CorruptPagesAreReportedAndTheFileKept) {
    lyrevane::testing::TempXdg xdg;
    {
        SqliteSettingsStore writer;
        lyrevane::KeyValueList many;
        for (int i = 0; i < 2000; ++i) {
            many.append({u"Key%1"_s.arg(i), QString(40, u'v')});
        }
        ASSERT_TRUE(writer.rewriteSection(kAppName, u"v1_0\\Big", many));
    }
    // Checkpoint the log into the main file, then scribble over the table's pages.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(xdg.storePath()).constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    QByteArray damaged;
    {
        QFile f(xdg.storePath());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        ASSERT_GT(bytes.size(), 3 * 4096);
        for (qsizetype i = 4096; i < bytes.size(); i += 7) {
            bytes[i] = char(0xA5);
        }
        f.seek(0);
        f.write(bytes);
        damaged = bytes;
    }
    SqliteSettingsStore store;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store.readSetting(kAppName, u"v1_0\\Big", u"Key5", u"d"_s), u"d"_s);
    EXPECT_FALSE(store.writeSetting(kAppName, u"v1_0\\Big", u"Key5", u"new"_s));
    // Writes that meet the damage inside their transaction fail cleanly too.
    SqliteSettingsStore writer;
    EXPECT_FALSE(writer.writeSetting(kAppName, u"v1_0\\Big", u"Key5", u"new"_s));
    SqliteSettingsStore rewriter;
    EXPECT_FALSE(rewriter.rewriteSection(kAppName, u"v1_0\\Big", {{u"Key5"_s, u"new"_s}}));
    EXPECT_FALSE(rewriter.writeSetting(kAppName, u"v1_0\\Big", u"Key6", u"new"_s));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.problem().isEmpty());
    EXPECT_FALSE(writer.problem().isEmpty());
    EXPECT_FALSE(rewriter.problem().isEmpty());
    EXPECT_FALSE(err.empty());
    QFile f(xdg.storePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), damaged);
}

TEST(SettingsStoreDamage, UncreatableFolderIsReportedNotFatal) {
    lyrevane::testing::TempXdg xdg;
    // A plain file where the settings folder should be: nothing can be created there.
    QDir().mkpath(xdg.config());
    QFile blocker(xdg.config() + u"/Lyrevane"_s);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();
    SqliteSettingsStore store;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(store.writeSetting(kAppName, u"s", u"k", u"v"_s));
    EXPECT_FALSE(store.writeSetting(kAppName, u"s", u"k", u"v"_s));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.problem().isEmpty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(store.readSetting(kAppName, u"s", u"k", u"d"_s), u"d"_s);
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), QByteArray("not a folder"));
}

// A store kept open by a long-running program, while the user deletes, replaces or
// restores the file: the next operation uses the file the path names now.
TEST(SettingsStoreFile, ReplacedOrDeletedFileIsOpenedAfresh) {
    lyrevane::testing::TempXdg xdg;
    SqliteSettingsStore running;
    ASSERT_TRUE(running.writeSetting(kAppName, u"s", u"k", u"old"_s));
    ASSERT_EQ(running.readSetting(kAppName, u"s", u"k"), u"old"_s);

    const QString backup = xdg.root() + u"/backup.sqlite3"_s;
    {
        SqliteSettingsStore other(backup);
        ASSERT_TRUE(other.writeSetting(kAppName, u"s", u"k", u"restored"_s));
    }
    // Restored by a rename over the old file; the old file's log stays behind.
    ASSERT_EQ(::rename(QFile::encodeName(backup).constData(),
                       QFile::encodeName(xdg.storePath()).constData()),
              0);
    EXPECT_EQ(running.readSetting(kAppName, u"s", u"k"), u"restored"_s);
    ASSERT_TRUE(running.writeSetting(kAppName, u"s", u"k2", u"new"_s));
    {
        SqliteSettingsStore fresh;
        EXPECT_EQ(fresh.readSetting(kAppName, u"s", u"k"), u"restored"_s);
        EXPECT_EQ(fresh.readSetting(kAppName, u"s", u"k2"), u"new"_s);
        EXPECT_TRUE(fresh.problem().isEmpty()) << fresh.problem().toStdString();
    }

    // Deleted: defaults, and the next write starts a new file.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile::remove(xdg.storePath() + QString::fromLatin1(suffix));
    }
    EXPECT_EQ(running.readSetting(kAppName, u"s", u"k", u"d"_s), u"d"_s);
    ASSERT_TRUE(running.writeSetting(kAppName, u"s", u"k", u"again"_s));
    SqliteSettingsStore fresh;
    EXPECT_EQ(fresh.readSetting(kAppName, u"s", u"k"), u"again"_s);
    EXPECT_TRUE(running.problem().isEmpty()) << running.problem().toStdString();
}

// The old connection lets go of the replaced file without touching the log that
// another program already keeps for the new file under the same name.
TEST(SettingsStoreFile, LettingGoOfAReplacedFileLeavesTheNewFilesLogAlone) {
    lyrevane::testing::TempXdg xdg;
    SqliteSettingsStore stale;
    ASSERT_TRUE(stale.writeSetting(kAppName, u"s", u"k", u"old"_s));

    const QString replacement = xdg.root() + u"/new.sqlite3"_s;
    {
        SqliteSettingsStore maker(replacement);
        ASSERT_TRUE(maker.writeSetting(kAppName, u"s", u"k", u"first"_s));
    }
    // A careful replacement removes the old log files with the old file.
    for (const char* suffix : {"-wal", "-shm"}) {
        QFile::remove(xdg.storePath() + QString::fromLatin1(suffix));
    }
    ASSERT_EQ(::rename(QFile::encodeName(replacement).constData(),
                       QFile::encodeName(xdg.storePath()).constData()),
              0);
    // Another program opens the new file and commits into its log.
    SqliteSettingsStore other;
    ASSERT_TRUE(other.writeSetting(kAppName, u"s", u"k", u"second"_s));
    ASSERT_TRUE(QFileInfo::exists(xdg.storePath() + u"-wal"_s));

    EXPECT_EQ(stale.readSetting(kAppName, u"s", u"k"), u"second"_s);
    SqliteSettingsStore third;
    EXPECT_EQ(third.readSetting(kAppName, u"s", u"k"), u"second"_s);
    EXPECT_TRUE(third.problem().isEmpty()) << third.problem().toStdString();
}

}  // namespace
