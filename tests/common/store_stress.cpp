// Drives the settings store from a separate process for the concurrency and crash tests.
//   store_stress write <count>    rewrites the schedule <count> times, generation 1..count
//   store_stress write-forever    rewrites the schedule until killed
//   store_stress read <stopfile>  reads the schedule until <stopfile> exists, checking each read
// The store is the default one ($XDG_CONFIG_HOME). Exit status 0 means every operation worked.
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

#include "schedule_generation.h"
#include "settingsstore.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    lyrevane::SqliteSettingsStore store;
    const QDateTime now(QDate(2026, 12, 7), QTime(0, 0, 1));

    if (args.size() == 3 && args[1] == u"write") {
        const int count = args[2].toInt();
        for (int g = 1; g <= count; ++g) {
            if (!lyrevane::WriteSchedule(store, lyrevane::testing::generation(g), now)) {
                std::fprintf(stderr, "write %d failed: %s\n", g, qPrintable(store.problem()));
                return 1;
            }
        }
        return 0;
    }
    if (args.size() == 2 && args[1] == u"write-forever") {
        for (int g = 1;; ++g) {
            if (!lyrevane::WriteSchedule(store, lyrevane::testing::generation(g), now)) {
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
        while (!QFileInfo::exists(args[2])) {
            const lyrevane::Schedule s = lyrevane::ReadSchedule(store);
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
    std::fprintf(stderr, "usage: store_stress write N | write-forever | read STOPFILE\n");
    return 2;
}
