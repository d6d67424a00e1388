#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace lyrevane {

// Where a live stream's kept audio goes beyond what memory should hold: a ring of `capacity`
// bytes on disk, byte `at` of the stream stored at `at % capacity`, so that the newest bytes
// take the place of the oldest and the file never grows past the ring. The file has no name
// from the moment it is made (it is unlinked at once, and readable by its owner only), so it
// goes away with its owner, even after a crash. Writes that would grow the file stop short of
// the free space the rest of the system needs. Not thread-safe: its owner locks.
class SpillFile {
public:
    // Made in `folder` (created when missing); `isOpen()` says whether that worked.
    SpillFile(const QString& folder, std::uint64_t keepFree, std::uint64_t capacity);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t capacity() const { return capacity_; }
    // Stores all of `size` bytes as stream bytes from `at` on, or reports that it could not
    // (the disk is full, or less than `keepFree` would remain free).
    bool write(std::uint64_t at, const char* data, std::size_t size);
    // Reads up to `max` stream bytes from `at` on, as last written there; returns the count.
    std::size_t read(std::uint64_t at, char* out, std::size_t max);

private:
    int fd_ = -1;
    std::uint64_t keepFree_;
    std::uint64_t capacity_;
    std::uint64_t fileSize_ = 0;
};

}  // namespace lyrevane
