// Drives the settings store from a separate process for the concurrency and crash tests.
//   store_stress write <count>    rewrites the schedule <count> times, generation 1..count
//   store_stress write-forever    rewrites the schedule until killed
//   store_stress read <stopfile>  reads the schedule until <stopfile> exists, checking each read
//   store_stress lock [ms]        holds the store locked against every other connection,
//                                 prints "locked", and lets go when its input ends (or
//                                 after <ms> milliseconds)
// The store is the default one ($XDG_CONFIG_HOME). Exit status 0 means every operation worked.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>

#include "common/settingsstore.h"
#include "schedule_generation.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    lyrevane::SqliteSettingsStore store;
    const QDateTime now(QDate(2026, 12, 7), QTime(0, 0, 1));

    if (args.size() == 3 && args[1] == u"write") {
        const int count = args[2].toInt();
        for (int g = 1; g <= count; ++g) {
            if (!lyrevane::writeSchedule(store, lyrevane::testing::generation(g), now)) {
                std::fprintf(stderr, "write %d failed: %s\n", g, qPrintable(store.problem()));
                return 1;
            }
        }
        return 0;
    }
    if (args.size() == 2 && args[1] == u"write-forever") {
        for (int g = 1;; ++g) {
            if (!lyrevane::writeSchedule(store, lyrevane::testing::generation(g), now)) {
                return 1;
            }
            if (g == 1) {
                std::printf("started\n");
                std::fflush(stdout);
            }
        }
    }
    if (args.size() == 3 && args[1] == u"read") {
        int reads = 0;
        int last = 0;
        // One read more once the stop file is seen: a read begun before the writer's last
        // commit may still return the one before.
        for (bool stopping = false; !stopping;) {
            stopping = QFileInfo::exists(args[2]);
            const lyrevane::Schedule s = lyrevane::readSchedule(store);
            ++reads;
            const int g = lyrevane::testing::checkGeneration(s);
            if (g < 0 || g < last || !store.problem().isEmpty()) {
                std::fprintf(stderr,
                             "torn or failed read after %d reads (generation %d, last %d) %s\n",
                             reads, g, last, qPrintable(store.problem()));
                return 1;
            }
            last = g;
        }
        std::printf("%d reads, last generation %d\n", reads, last);
        return 0;
    }
    if ((args.size() == 2 || args.size() == 3) && args[1] == u"lock") {
        // Exclusive locking mode keeps the file locked against readers too, whatever its
        // journal mode, for as long as the write transaction is open.
        sqlite3* db = nullptr;
        const QByteArray path = QFile::encodeName(lyrevane::SqliteSettingsStore::defaultPath());
        if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db,
                         "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                         "CREATE TABLE IF NOT EXISTS lock_holder (x);"
                         "INSERT INTO lock_holder VALUES (1);",
                         nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "cannot lock %s: %s\n", path.constData(), sqlite3_errmsg(db));
            return 1;
        }
        std::printf("locked\n");
        std::fflush(stdout);
        if (args.size() == 3) {
            QThread::msleep(args[2].toULong());
        } else {
            while (std::getchar() != EOF) {
            }
        }
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return 0;
    }
    std::fprintf(stderr, "usage: store_stress write N | write-forever | read STOPFILE | lock\n");
    return 2;
}
