// LyrevaneScheduler: a windowless program that launches scheduled broadcasts.
#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

#include "common/datevalue.h"
#include "common/settingsstore.h"
#include "common/translation.h"
#include "scheduler/launchwatcher.h"
#include "scheduler/schedulerservice.h"
#include "scheduler/urllauncher.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// One copy per user: the lock lives in the runtime folder (the settings folder when
// there is none). QLockFile detects a lock left behind by a crashed copy.
QString lockPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || QDir::isRelativePath(folder)) {
        folder = QFileInfo(lyrevane::SqliteSettingsStore::defaultPath()).absolutePath();
    }
    QDir().mkpath(folder);
    return folder + u"/LyrevaneScheduler.lock"_s;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("LyrevaneScheduler"));
    QTranslator translator;
    lyrevane::installTranslation(translator);

    QLockFile lock(lockPath());
    lock.setStaleLockTime(0);  // only a dead owner makes the lock stale
    if (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError) {
            std::fprintf(stderr, "LyrevaneScheduler: cannot create the lock file %s\n",
                         QFile::encodeName(lockPath()).constData());
            return 1;
        }
        return 0;  // another copy is running
    }

    lyrevane::SqliteSettingsStore store;
    lyrevane::SystemClock clock;
    lyrevane::XdgOpenLauncher launcher;
    // A broadcast that a player already plays is not launched again; a launch counts once a
    // player plays it; otherwise it is retried (in a player that tries its stream or plays
    // nothing, else a new one), then reported. Without a session bus it is launched once.
    // A broadcast to be recorded is recorded by the player that plays it, for up to 2 hours.
    lyrevane::LaunchWatcher launches(launcher, clock, {}, [](const QString& line) {
        std::fprintf(stderr, "LyrevaneScheduler: %s\n", line.toLocal8Bit().constData());
    });
    lyrevane::SchedulerService service(
        store, clock, [&launches](const lyrevane::Broadcast& broadcast) {
            launches.due(broadcast.Name, lyrevane::datevalue::format(broadcast.Time),
                         broadcast.MediaURL, broadcast.Record);
        });
    service.loadSchedule(true);

    QTimer timer;
    timer.setInterval(lyrevane::SchedulerService::kTickIntervalMs);
    timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer, &QTimer::timeout, &app, [&service] { service.tick(); });
    timer.start();
    return QCoreApplication::exec();
}
