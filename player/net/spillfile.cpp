#include "net/spillfile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

namespace lyrevane {

SpillFile::SpillFile(const QString& folder, std::uint64_t keepFree) : keepFree_(keepFree) {
    if (!QDir().mkpath(folder)) {
        return;
    }
    QByteArray path = QFile::encodeName(folder + QStringLiteral("/timeshift-XXXXXX"));
    fd_ = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd_ >= 0) {
        ::unlink(path.constData());
    }
}

SpillFile::~SpillFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool SpillFile::append(const char* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    struct statvfs disk {};
    if (::fstatvfs(fd_, &disk) != 0 ||
        static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < keepFree_ + size) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pwrite(fd_, data + done, size - done, static_cast<off_t>(writeAt_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // What was written of it is left beyond the end and written over next time.
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    writeAt_ += size;
    return true;
}

std::size_t SpillFile::read(char* out, std::size_t max) {
    const std::uint64_t available = size();
    if (fd_ < 0 || available == 0 || max == 0) {
        return 0;
    }
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(available, max));
    ssize_t n = 0;
    do {
        n = ::pread(fd_, out, wanted, static_cast<off_t>(readAt_));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        return 0;
    }
    readAt_ += static_cast<std::uint64_t>(n);
    if (readAt_ == writeAt_) {
        // All read: the file starts over, and gives its space back.
        readAt_ = writeAt_ = 0;
        (void)::ftruncate(fd_, 0);
    }
    return static_cast<std::size_t>(n);
}

}  // namespace lyrevane
