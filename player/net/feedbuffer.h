#pragma once

#include "net/spillfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace lyrevane {

// The bytes of one stream on their way from the network thread to the media library's
// input thread. Bounded: the writer asks for room and stops reading the network when there
// is none; `onRoom` tells it, from the reader's thread, when room came back. Reads block
// until data arrives, the writer finishes (the rest is read first) or the buffer is aborted
// (reads end at once): a reader is never left waiting by a stream that went away.
//
// While the listener is behind live (a paused live stream, then played late), what arrives is
// kept instead of holding the network back: in memory up to a small share, then in a file.
class FeedBuffer {
public:
    explicit FeedBuffer(std::size_t capacity = 1024 * 1024);
    FeedBuffer(const FeedBuffer&) = delete;
    FeedBuffer& operator=(const FeedBuffer&) = delete;

    // Called on the reader's thread, without the lock held, when a writer that found the
    // buffer full may write again. Set before the reader starts.
    void setOnRoom(std::function<void()> onRoom);

    // The first read waits until `bytes` are buffered (or the stream ended): a cushion
    // against the network's jitter that the media library's own short cache lacks.
    void setPrefill(std::size_t bytes);

    // From now on what arrives is kept: in memory up to `memoryLimit`, then in a file in
    // `folder`, up to `maxBytes` in all and as long as `keepFree` bytes remain free on its disk.
    // When it can keep no more it stops keeping (`keptAll` says so), and the writer waits for
    // room as usual.
    void keep(const QString& folder, std::uint64_t maxBytes, std::size_t memoryLimit = 2 << 20,
              std::uint64_t keepFree = std::uint64_t{1} << 30);
    bool keeping() const;
    // Keeping stopped short: the limit was reached, or the disk could take no more.
    bool keptAll() const;

    // Room for the writer now. Zero marks the writer as waiting for `onRoom`.
    std::size_t room();
    // Appends up to the room there is; returns how much was taken.
    std::size_t write(QByteArrayView bytes);
    // No more data will come: reads drain what is left, then end.
    void finish();
    // More comes after all (a connection made again while behind live): false when the reader
    // already reached the end, or the buffer was aborted.
    bool reopen();
    // Reads end now, and what is buffered is dropped. Wakes a blocked reader.
    void abort();

    // Blocks until at least one byte can be read or the stream ended; returns the count
    // read, 0 at the end.
    std::size_t read(char* out, std::size_t max);

    // Whether a read would return at once.
    bool readable() const;
    bool aborted() const;
    // How many bytes were read so far.
    std::uint64_t position() const;
    // How many bytes were written so far: the position the next write will have.
    std::uint64_t written() const;
    std::size_t buffered() const;
    std::size_t capacity() const { return capacity_; }

    // Called on the writer's thread with every byte taken, in order (a recording).
    void setTap(std::function<void(QByteArrayView)> tap);
    // The stream's content type, as its server declares it.
    void setContentType(const QByteArray& type);
    QByteArray contentType() const;

    // The stream's bytes per second, as its server or its frames declare it; 0 when unknown.
    void setByteRate(int bytesPerSecond) { byteRate_.store(bytesPerSecond); }
    int byteRate() const { return byteRate_.load(); }

private:
    void stopKeepingLocked();

    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable readable_;
    std::deque<QByteArray> chunks_;
    std::size_t offset_ = 0;  // already read from chunks_.front()
    std::size_t size_ = 0;    // unread, in memory and in the file
    std::size_t memory_ = 0;  // unread, in memory
    std::uint64_t position_ = 0;
    bool finished_ = false;
    bool aborted_ = false;
    bool writerWaiting_ = false;
    std::size_t prefill_ = 0;
    bool readerWaiting_ = false;  // a reader is blocked: every write wakes it
    std::function<void()> onRoom_;
    std::function<void(QByteArrayView)> tap_;
    QByteArray contentType_;
    std::atomic<int> byteRate_{0};
    // Keeping.
    bool keeping_ = false;
    bool keptAll_ = false;
    QString keepFolder_;
    std::uint64_t keepLimit_ = 0;
    std::size_t memoryLimit_ = 0;
    std::uint64_t keepFree_ = 0;
    std::unique_ptr<SpillFile> spill_;  // holds what came after the bytes in memory
};

}  // namespace lyrevane
