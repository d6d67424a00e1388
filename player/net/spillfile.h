#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace lyrevane {

// A first-in, first-out store of bytes on disk, for what a paused live stream keeps beyond what
// memory should hold. The file has no name from the moment it is made (it is unlinked at once),
// so it goes away with its owner, even after a crash. Appends stop short of the free space the
// rest of the system needs. Not thread-safe: its owner locks.
class SpillFile {
public:
    // Made in `folder` (created when missing); `isOpen()` says whether that worked.
    SpillFile(const QString& folder, std::uint64_t keepFree);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // Appends all of `size` bytes, or nothing when the file cannot take them (the disk is full,
    // or less than `keepFree` would remain free).
    bool append(const char* data, std::size_t size);
    // Reads up to `max` of the oldest bytes; returns the count (0 when empty or on failure).
    std::size_t read(char* out, std::size_t max);
    std::uint64_t size() const { return writeAt_ - readAt_; }

private:
    int fd_ = -1;
    std::uint64_t keepFree_;
    std::uint64_t readAt_ = 0;
    std::uint64_t writeAt_ = 0;
};

}  // namespace lyrevane
