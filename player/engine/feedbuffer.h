#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
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
    std::size_t capacity() const { return capacity_; }

    // The stream's bytes per second, as its server or its frames declare it; 0 when unknown.
    void setByteRate(int bytesPerSecond) { byteRate_.store(bytesPerSecond); }
    int byteRate() const { return byteRate_.load(); }

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
    bool readerWaiting_ = false;  // a reader is blocked: every write wakes it
    std::function<void()> onRoom_;
    std::atomic<int> byteRate_{0};
};

}  // namespace lyrevane
