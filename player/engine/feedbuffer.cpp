#include "feedbuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace lyrevane {

FeedBuffer::FeedBuffer(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void FeedBuffer::setOnRoom(std::function<void()> onRoom) {
    const std::lock_guard lock(mutex_);
    onRoom_ = std::move(onRoom);
}

void FeedBuffer::setPrefill(std::size_t bytes) {
    {
        const std::lock_guard lock(mutex_);
        prefill_ = std::min(bytes, capacity_ / 2);
    }
    readable_.notify_all();
}

std::size_t FeedBuffer::room() {
    const std::lock_guard lock(mutex_);
    const std::size_t free = size_ < capacity_ ? capacity_ - size_ : 0;
    if (free == 0) {
        writerWaiting_ = true;
    }
    return free;
}

std::size_t FeedBuffer::write(QByteArrayView bytes) {
    std::size_t taken = 0;
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (finished_ || aborted_ || bytes.isEmpty()) {
            return 0;
        }
        const std::size_t free = size_ < capacity_ ? capacity_ - size_ : 0;
        taken = std::min(free, static_cast<std::size_t>(bytes.size()));
        if (taken == 0) {
            writerWaiting_ = true;
            return 0;
        }
        chunks_.emplace_back(bytes.first(static_cast<qsizetype>(taken)).toByteArray());
        size_ += taken;
        // A reader that found the buffer empty takes the bytes as they come: the media
        // library reads a live stream at the pace it plays it, so one waits only when the
        // cushion ran out, and then every moment counts.
        wake = readerWaiting_;
    }
    if (wake) {
        readable_.notify_one();
    }
    return taken;
}

void FeedBuffer::finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    readable_.notify_all();
}

void FeedBuffer::abort() {
    {
        const std::lock_guard lock(mutex_);
        aborted_ = true;
        chunks_.clear();
        offset_ = 0;
        size_ = 0;
    }
    readable_.notify_all();
}

std::size_t FeedBuffer::read(char* out, std::size_t max) {
    if (max == 0) {
        return 0;
    }
    std::function<void()> notify;
    std::size_t copied = 0;
    {
        std::unique_lock lock(mutex_);
        const auto ready = [this] {
            return aborted_ || finished_ || (size_ > 0 && size_ >= prefill_);
        };
        readerWaiting_ = true;
        readable_.wait(lock, ready);
        readerWaiting_ = false;
        if (aborted_) {
            return 0;
        }
        prefill_ = 0;
        while (copied < max && !chunks_.empty()) {
            const QByteArray& front = chunks_.front();
            const std::size_t available = static_cast<std::size_t>(front.size()) - offset_;
            const std::size_t n = std::min(available, max - copied);
            std::memcpy(out + copied, front.constData() + offset_, n);
            copied += n;
            offset_ += n;
            if (offset_ == static_cast<std::size_t>(front.size())) {
                chunks_.pop_front();
                offset_ = 0;
            }
        }
        size_ -= copied;
        position_ += copied;
        // Room is announced once the buffer is at most half full, so that a writer is not
        // woken for every small read.
        if (writerWaiting_ && size_ <= capacity_ / 2) {
            writerWaiting_ = false;
            notify = onRoom_;
        }
    }
    if (notify) {
        notify();
    }
    return copied;
}

bool FeedBuffer::readable() const {
    const std::lock_guard lock(mutex_);
    return aborted_ || finished_ || (size_ > 0 && size_ >= prefill_);
}

bool FeedBuffer::aborted() const {
    const std::lock_guard lock(mutex_);
    return aborted_;
}

std::uint64_t FeedBuffer::position() const {
    const std::lock_guard lock(mutex_);
    return position_;
}

std::size_t FeedBuffer::buffered() const {
    const std::lock_guard lock(mutex_);
    return size_;
}

}  // namespace lyrevane
