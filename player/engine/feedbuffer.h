#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace lyrevane {

// The bytes of one stream on their way from the network thread to the media library's
// input thread. Bounded: the writer asks for room and stops reading the network when there
// is none; `onRoom` tells it, from the reader's thread, when room came back. Reads block
// until data arrives, the writer finishes (the rest is read first) or the buffer is aborted
// (reads end at once): a reader is never left waiting by a stream that went away.
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

    // After the start (the cushion and three times as much again), a reader that finds the buffer
    // empty is not woken for every write: it takes what came in once `interval` has passed since it
    // asked (sooner when the buffer is half full or the stream ends). Bytes from the network arrive
    // in small packets; handing them on in one piece spares the media library's threads a wake-up
    // for each. Zero hands every write on at once.
    void setHandOverInterval(std::chrono::milliseconds interval);

    // Room for the writer now. Zero marks the writer as waiting for `onRoom`.
    std::size_t room();
    // Appends up to the room there is; returns how much was taken.
    std::size_t write(QByteArrayView bytes);
    // No more data will come: reads drain what is left, then end.
    void finish();
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
    std::size_t buffered() const;

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable readable_;
    std::deque<QByteArray> chunks_;
    std::size_t offset_ = 0;  // already read from chunks_.front()
    std::size_t size_ = 0;
    std::uint64_t position_ = 0;
    bool finished_ = false;
    bool aborted_ = false;
    bool writerWaiting_ = false;
    std::size_t prefill_ = 0;
    std::chrono::milliseconds interval_{0};
    std::uint64_t handOverFrom_ = 0;  // the hand-over interval applies from this position
    bool readerWaiting_ = false;      // a reader waits without a deadline: every write wakes it
    std::function<void()> onRoom_;
};

}  // namespace lyrevane
