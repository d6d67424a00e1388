#include "net/feedbuffer.h"

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

void FeedBuffer::keep(const QString& folder, std::uint64_t maxBytes, std::size_t memoryLimit,
                      std::uint64_t keepFree) {
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (keeping_ || keptAll_ || aborted_ || finished_) {
            return;
        }
        keeping_ = true;
        keepFolder_ = folder;
        keepLimit_ = maxBytes;
        memoryLimit_ = memoryLimit;
        keepFree_ = keepFree;
        wake = writerWaiting_;
        writerWaiting_ = false;
    }
    if (wake && onRoom_) {
        onRoom_();
    }
}

void FeedBuffer::setTap(std::function<void(QByteArrayView)> tap) {
    const std::lock_guard lock(mutex_);
    tap_ = std::move(tap);
}

void FeedBuffer::setContentType(const QByteArray& type) {
    const std::lock_guard lock(mutex_);
    contentType_ = type;
}

QByteArray FeedBuffer::contentType() const {
    const std::lock_guard lock(mutex_);
    return contentType_;
}

bool FeedBuffer::keeping() const {
    const std::lock_guard lock(mutex_);
    return keeping_;
}

bool FeedBuffer::keptAll() const {
    const std::lock_guard lock(mutex_);
    return keptAll_;
}

void FeedBuffer::stopKeepingLocked() {
    keeping_ = false;
    keptAll_ = true;
    writerWaiting_ = true;
}

std::size_t FeedBuffer::room() {
    const std::lock_guard lock(mutex_);
    if (keeping_) {
        if (size_ < keepLimit_) {
            return static_cast<std::size_t>(std::min<std::uint64_t>(keepLimit_ - size_, capacity_));
        }
        stopKeepingLocked();
        return 0;
    }
    const std::size_t free = size_ < capacity_ ? capacity_ - size_ : 0;
    if (free == 0) {
        writerWaiting_ = true;
    }
    return free;
}

std::size_t FeedBuffer::write(QByteArrayView bytes) {
    std::size_t taken = 0;
    bool wake = false;
    std::function<void(QByteArrayView)> tap;
    {
        const std::lock_guard lock(mutex_);
        if (finished_ || aborted_ || bytes.isEmpty()) {
            return 0;
        }
        tap = tap_;
        const std::size_t limit =
            keeping_ ? static_cast<std::size_t>(std::min<std::uint64_t>(keepLimit_, SIZE_MAX))
                     : capacity_;
        const std::size_t free = size_ < limit ? limit - size_ : 0;
        taken = std::min(free, static_cast<std::size_t>(bytes.size()));
        if (taken == 0) {
            if (keeping_) {
                stopKeepingLocked();
            }
            writerWaiting_ = true;
            return 0;
        }
        const bool spilling = spill_ && spill_->size() > 0;
        if (keeping_ && (spilling || memory_ + taken > memoryLimit_)) {
            if (!spill_) {
                spill_ = std::make_unique<SpillFile>(keepFolder_, keepFree_);
            }
            if (!spill_->append(bytes.constData(), taken)) {
                stopKeepingLocked();
                return 0;
            }
        } else {
            chunks_.emplace_back(bytes.first(static_cast<qsizetype>(taken)).toByteArray());
            memory_ += taken;
        }
        size_ += taken;
        // A reader that found the buffer empty takes the bytes as they come: the media
        // library reads a live stream at the pace it plays it, so one waits only when the
        // cushion ran out, and then every moment counts.
        wake = readerWaiting_;
    }
    if (wake) {
        readable_.notify_one();
    }
    if (tap) {
        tap(bytes.first(static_cast<qsizetype>(taken)));
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

bool FeedBuffer::reopen() {
    const std::lock_guard lock(mutex_);
    if (aborted_ || (finished_ && size_ == 0)) {
        return false;
    }
    finished_ = false;
    return true;
}

void FeedBuffer::abort() {
    {
        const std::lock_guard lock(mutex_);
        aborted_ = true;
        chunks_.clear();
        offset_ = 0;
        size_ = 0;
        memory_ = 0;
        spill_.reset();
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
        memory_ -= copied;
        // What memory held is older than what went to the file.
        if (copied < max && spill_) {
            copied += spill_->read(out + copied, max - copied);
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

std::uint64_t FeedBuffer::written() const {
    const std::lock_guard lock(mutex_);
    return position_ + size_;
}

std::size_t FeedBuffer::buffered() const {
    const std::lock_guard lock(mutex_);
    return size_;
}

}  // namespace lyrevane
