#include "feed/spillfile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lyrevane {

SpillFile::SpillFile(const QString& folder, std::uint64_t keepFree, std::uint64_t capacity)
    : keepFree_(keepFree), capacity_(std::max<std::uint64_t>(capacity, 1)) {
    if (!QDir().mkpath(folder)) {
        return;
    }
    QByteArray path = QFile::encodeName(folder + QStringLiteral("/timeshift-XXXXXX"));
    fd_ = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd_ >= 0) {
        ::unlink(path.constData());
        ::fchmod(fd_, S_IRUSR | S_IWUSR);
    }
}

SpillFile::~SpillFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool SpillFile::write(std::uint64_t at, const char* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    const std::uint64_t grows = std::min(capacity_, at % capacity_ + size) > fileSize_
                                    ? std::min(capacity_, at % capacity_ + size) - fileSize_
                                    : 0;
    struct statvfs disk {};
    if (grows > 0 &&
        (::fstatvfs(fd_, &disk) != 0 ||
         static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < keepFree_ + grows)) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t offset = (at + done) % capacity_;
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - done, capacity_ - offset));
        const ssize_t n = ::pwrite(fd_, data + done, piece, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
        fileSize_ = std::max(fileSize_, offset + static_cast<std::uint64_t>(n));
    }
    return true;
}

std::size_t SpillFile::read(std::uint64_t at, char* out, std::size_t max) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < max) {
        const std::uint64_t offset = (at + done) % capacity_;
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(max - done, capacity_ - offset));
        const ssize_t n = ::pread(fd_, out + done, piece, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace lyrevane
