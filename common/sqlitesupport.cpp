#include "common/sqlitesupport.h"

#include <QFile>
#include <QThread>

#include <array>

#include <sys/stat.h>

namespace lyrevane {

FileIdentity FileIdentity::of(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    return {true, info.st_dev, info.st_ino};
}

void BusyWait::install(sqlite3* db) {
    sqlite3_busy_handler(db, &BusyWait::onBusy, this);
}

int BusyWait::onBusy(void* self, int attempt) {
    auto* wait = static_cast<BusyWait*>(self);
    const qint64 left = wait->deadline_.remainingTime();
    if (left <= 0) {
        return 0;  // give up: the statement returns SQLITE_BUSY
    }
    // Short sleeps first: most locks are held for a single small transaction.
    static constexpr std::array<qint64, 8> kSleepsMs = {1, 2, 5, 10, 20, 25, 50, 100};
    const qint64 sleep =
        kSleepsMs[std::min<std::size_t>(std::size_t(attempt), kSleepsMs.size() - 1)];
    QThread::msleep(ulong(std::min(sleep, left)));
    return 1;
}

}  // namespace lyrevane
