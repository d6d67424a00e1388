#pragma once

#include "feed/spillfile.h"

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
// Once keeping, what was read stays too, as the last stretch of the programme (in memory up
// to a share, then in a ring file; the oldest goes first), and the reader can be moved within
// it, never past live. Positions are byte offsets in the stream's audio since it started.
// While the listener is behind live (held, or moved back), what arrives is taken whatever the
// reader does, so that the network is never held back for someone listening to the past.
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
    // A reader moved to live lands `bytes` short of what was written: the media library, started
    // again there, plays at once and keeps a cushion, as it did when the stream began.
    void setLiveMargin(std::size_t bytes);

    // From now on what is read stays: in memory up to `memoryLimit`, then in a file in
    // `folder` while `keepFree` bytes remain free on its disk, up to `maxBytes` in all; the
    // oldest goes first. When the file cannot take more, only memory keeps (`keptAll` says so).
    // A minute of a 128 kbit/s stream stays in memory, as much as the buffer holds when nothing
    // is kept: the jumps a listener makes most (15 s, 30 s) read from memory, and keeping the
    // hour does not make a long evening grow; the rest reads back from the file (the system's
    // page cache, mostly).
    void keep(const QString& folder, std::uint64_t maxBytes, std::size_t memoryLimit = 1 << 20,
              std::uint64_t keepFree = std::uint64_t{1} << 30);
    // The most kept from now on (the rate of the audio became known); the file, once made,
    // keeps the size it was made for.
    void setKeepLimit(std::uint64_t maxBytes);
    bool keeping() const;
    // Keeping older audio stopped short: the disk could take no more.
    bool keptAll() const;

    // While held (the listener paused), what arrives puts the reader further behind live.
    void setHeld(bool held);
    // How far the reader is behind live, in bytes, and whether it is at all.
    std::uint64_t behind() const;
    bool behindLive() const;
    // Moves the reader by `bytes` (back when negative), within what is kept and never past
    // live (the live margin short of what was written); returns how far it moved. Forward
    // from within the margin, the reader is live without moving.
    std::int64_t move(std::int64_t bytes);
    // How far move(bytes) would move the reader now.
    std::int64_t reach(std::int64_t bytes) const;
    // Brings the reader `bytes` closer to live without moving it (it reads faster than the
    // stream comes).
    void gain(std::uint64_t bytes);
    // While interrupted, reads return 0 at once (the media that reads is being replaced).
    void interruptReads(bool interrupted);

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
    // A kept stream goes on after it ended or its reads were interrupted (a new connection, a
    // new reader): false when it was aborted.
    bool goOn();

    // Blocks until at least one byte can be read or the stream ended; returns the count
    // read, 0 at the end.
    std::size_t read(char* out, std::size_t max);

    // Whether a read would return at once.
    bool readable() const;
    bool aborted() const;
    // Where the next read starts.
    std::uint64_t position() const;
    // How many bytes were written so far: the position the next write will have.
    std::uint64_t written() const;
    // The oldest position still held.
    std::uint64_t oldest() const;
    // What waits ahead of the reader.
    std::size_t buffered() const;
    std::size_t capacity() const { return capacity_; }

    // Called on the writer's thread with every byte taken, in order (a recording).
    void setTap(std::function<void(QByteArrayView)> tap);
    // The same, after `past` was given what is kept from `from` on (with the position of each
    // piece), here and now: together they are the stream from there, nothing left out or
    // doubled. Returns where that began (the oldest held, when `from` is older).
    std::uint64_t setTapFrom(std::uint64_t from,
                             const std::function<void(std::uint64_t, QByteArrayView)>& past,
                             std::function<void(QByteArrayView)> tap);
    // The stream's content type, as its server declares it.
    void setContentType(const QByteArray& type);
    QByteArray contentType() const;

    // The stream's bytes per second, as its server or its frames declare it; 0 when unknown.
    void setByteRate(int bytesPerSecond) { byteRate_.store(bytesPerSecond); }
    int byteRate() const { return byteRate_.load(); }

private:
    struct Block {
        std::uint64_t at = 0;  // the stream position of its first byte
        QByteArray bytes;
    };

    std::uint64_t memoryStartLocked() const;
    std::int64_t reachLocked(std::int64_t bytes) const;
    // Where a reader moved to live lands.
    std::uint64_t liveLocked() const;
    bool behindLocked() const { return held_ || behind_ > 0; }
    void appendLocked(QByteArrayView bytes);
    // Drops what is no longer kept: beyond the limit, beyond memory when the file cannot take
    // it, or (when not keeping) what was read.
    void trimLocked();
    // Copies what is held from `at` on, up to `max`; returns how much.
    std::size_t copyLocked(std::uint64_t at, char* out, std::size_t max);

    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable readable_;
    std::deque<Block> blocks_;  // the newest bytes, up to written
    std::uint64_t oldest_ = 0;  // the oldest byte held, in memory or in the file
    std::uint64_t position_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t behind_ = 0;
    bool held_ = false;
    bool interrupted_ = false;
    bool finished_ = false;
    bool aborted_ = false;
    bool writerWaiting_ = false;
    std::size_t prefill_ = 0;
    std::size_t liveMargin_ = 0;
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
    std::unique_ptr<SpillFile> spill_;  // holds what memory no longer does
};

}  // namespace lyrevane
