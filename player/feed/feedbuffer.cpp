#include "feed/feedbuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace lyrevane {

namespace {

// Memory is held in blocks of this size (the last one filling up), so that an hour of a stream
// is a few hundred allocations rather than one per network read.
constexpr qsizetype kBlockSize = 64 * 1024;

}  // namespace

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

void FeedBuffer::setLiveMargin(std::size_t bytes) {
    const std::lock_guard lock(mutex_);
    liveMargin_ = bytes;
}

void FeedBuffer::keep(const QString& folder, std::uint64_t maxBytes, std::size_t memoryLimit,
                      std::uint64_t keepFree) {
    const std::lock_guard lock(mutex_);
    if (keeping_ || aborted_ || finished_) {
        return;
    }
    keeping_ = true;
    keepFolder_ = folder;
    keepLimit_ = maxBytes;
    memoryLimit_ = memoryLimit;
    keepFree_ = keepFree;
}

void FeedBuffer::setKeepLimit(std::uint64_t maxBytes) {
    const std::lock_guard lock(mutex_);
    keepLimit_ = maxBytes;
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

void FeedBuffer::setHeld(bool held) {
    std::function<void()> wake;
    {
        const std::lock_guard lock(mutex_);
        held_ = held;
        if (held && keeping_ && std::exchange(writerWaiting_, false)) {
            wake = onRoom_;
        }
    }
    if (wake) {
        wake();
    }
}

std::uint64_t FeedBuffer::behind() const {
    const std::lock_guard lock(mutex_);
    return behind_;
}

bool FeedBuffer::behindLive() const {
    const std::lock_guard lock(mutex_);
    return keeping_ && behindLocked();
}

std::uint64_t FeedBuffer::liveLocked() const {
    return written_ - std::min<std::uint64_t>(liveMargin_, written_);
}

std::int64_t FeedBuffer::reachLocked(std::int64_t bytes) const {
    const auto from = static_cast<std::int64_t>(position_);
    const auto first = static_cast<std::int64_t>(oldest_);
    const auto last = static_cast<std::int64_t>(std::min(position_ + behind_, liveLocked()));
    return std::clamp(from + bytes, std::min(first, from), std::max(from, last)) - from;
}

std::int64_t FeedBuffer::reach(std::int64_t bytes) const {
    const std::lock_guard lock(mutex_);
    return reachLocked(bytes);
}

std::int64_t FeedBuffer::move(std::int64_t bytes) {
    std::function<void()> wake;
    std::int64_t moved = 0;
    {
        const std::lock_guard lock(mutex_);
        moved = reachLocked(bytes);
        const std::int64_t to = static_cast<std::int64_t>(position_) + moved;
        behind_ = static_cast<std::uint64_t>(
            std::max<std::int64_t>(static_cast<std::int64_t>(behind_) - moved, 0));
        position_ = static_cast<std::uint64_t>(to);
        if (bytes > 0 && position_ >= liveLocked()) {
            behind_ = 0;  // live, with the margin a stream starts with
        }
        if (keeping_ && behindLocked() && std::exchange(writerWaiting_, false)) {
            wake = onRoom_;
        }
    }
    readable_.notify_all();
    if (wake) {
        wake();
    }
    return moved;
}

void FeedBuffer::gain(std::uint64_t bytes) {
    const std::lock_guard lock(mutex_);
    behind_ -= std::min(behind_, bytes);
}

void FeedBuffer::interruptReads(bool interrupted) {
    {
        const std::lock_guard lock(mutex_);
        interrupted_ = interrupted;
    }
    readable_.notify_all();
}

std::uint64_t FeedBuffer::memoryStartLocked() const {
    return blocks_.empty() ? written_ : blocks_.front().at;
}

std::size_t FeedBuffer::room() {
    const std::lock_guard lock(mutex_);
    if (keeping_ && behindLocked()) {
        return capacity_;
    }
    const std::uint64_t unread = written_ - position_;
    const std::size_t free = unread < capacity_ ? capacity_ - unread : 0;
    if (free == 0) {
        writerWaiting_ = true;
    }
    return free;
}

void FeedBuffer::appendLocked(QByteArrayView bytes) {
    while (!bytes.isEmpty()) {
        if (blocks_.empty() || blocks_.back().bytes.size() >= kBlockSize) {
            Block block;
            block.at = written_;
            block.bytes.reserve(kBlockSize);
            blocks_.push_back(std::move(block));
        }
        QByteArray& last = blocks_.back().bytes;
        const qsizetype n = std::min(bytes.size(), kBlockSize - last.size());
        last.append(bytes.first(n));
        written_ += static_cast<std::uint64_t>(n);
        bytes = bytes.sliced(n);
    }
}

void FeedBuffer::trimLocked() {
    const auto endOf = [](const Block& block) {
        return block.at + static_cast<std::uint64_t>(block.bytes.size());
    };
    if (!keeping_) {
        while (!blocks_.empty() && endOf(blocks_.front()) <= position_) {
            blocks_.pop_front();
        }
        oldest_ = position_;
        return;
    }
    if (written_ - oldest_ > keepLimit_) {
        oldest_ = written_ - keepLimit_;
    }
    while (!blocks_.empty() && endOf(blocks_.front()) <= oldest_) {
        blocks_.pop_front();
    }
    // Memory past its share goes to the file, the oldest first; a file that cannot take it
    // leaves memory alone keeping.
    while (blocks_.size() > 1 && written_ - memoryStartLocked() > memoryLimit_) {
        const Block& front = blocks_.front();
        if (!keptAll_) {
            if (!spill_) {
                spill_ = std::make_unique<SpillFile>(keepFolder_, keepFree_, keepLimit_);
            }
            if (!spill_->write(front.at, front.bytes.constData(),
                               static_cast<std::size_t>(front.bytes.size()))) {
                keptAll_ = true;
                spill_.reset();
            }
        }
        blocks_.pop_front();
    }
    const std::uint64_t memoryStart = memoryStartLocked();
    const std::uint64_t inFile = spill_ ? std::min(spill_->capacity(), memoryStart) : 0;
    oldest_ = std::max(oldest_, memoryStart - inFile);
    if (position_ < oldest_) {
        behind_ -= std::min(behind_, oldest_ - position_);
        position_ = oldest_;
    }
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
        if (keeping_ && behindLocked()) {
            taken = static_cast<std::size_t>(bytes.size());
        } else {
            const std::uint64_t unread = written_ - position_;
            const std::size_t free = unread < capacity_ ? capacity_ - unread : 0;
            taken = std::min(free, static_cast<std::size_t>(bytes.size()));
        }
        if (taken == 0) {
            writerWaiting_ = true;
            return 0;
        }
        appendLocked(bytes.first(static_cast<qsizetype>(taken)));
        if (held_) {
            behind_ += taken;
        }
        trimLocked();
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
    if (aborted_ || (finished_ && written_ == position_)) {
        return false;
    }
    finished_ = false;
    return true;
}

bool FeedBuffer::goOn() {
    const std::lock_guard lock(mutex_);
    if (aborted_) {
        return false;
    }
    finished_ = false;
    interrupted_ = false;
    return true;
}

void FeedBuffer::abort() {
    {
        const std::lock_guard lock(mutex_);
        aborted_ = true;
        blocks_.clear();
        spill_.reset();
        oldest_ = position_ = written_;
        behind_ = 0;
    }
    readable_.notify_all();
}

std::size_t FeedBuffer::copyLocked(std::uint64_t at, char* out, std::size_t max) {
    const std::uint64_t memoryStart = memoryStartLocked();
    if (at < memoryStart) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(memoryStart - at, max));
        return spill_ ? spill_->read(at, out, wanted) : 0;
    }
    std::size_t copied = 0;
    auto block = std::upper_bound(blocks_.begin(), blocks_.end(), at,
                                  [](std::uint64_t from, const Block& b) { return from < b.at; });
    if (block != blocks_.begin()) {
        --block;
    }
    for (; copied < max && block != blocks_.end(); ++block) {
        const std::uint64_t end = block->at + static_cast<std::uint64_t>(block->bytes.size());
        if (at >= end) {
            continue;
        }
        const auto offset = static_cast<std::size_t>(at - block->at);
        const std::size_t n = std::min(static_cast<std::size_t>(end - at), max - copied);
        std::memcpy(out + copied, block->bytes.constData() + offset, n);
        copied += n;
        at += n;
    }
    return copied;
}

std::uint64_t FeedBuffer::setTapFrom(std::uint64_t from,
                                     const std::function<void(std::uint64_t, QByteArrayView)>& past,
                                     std::function<void(QByteArrayView)> tap) {
    const std::lock_guard lock(mutex_);
    const std::uint64_t start = std::clamp(from, oldest_, written_);
    QByteArray piece(kBlockSize, Qt::Uninitialized);
    for (std::uint64_t at = start; at < written_;) {
        const std::size_t n = copyLocked(at, piece.data(), static_cast<std::size_t>(kBlockSize));
        if (n == 0) {
            break;  // what the file cannot give back is left out
        }
        past(at, QByteArrayView(piece).first(static_cast<qsizetype>(n)));
        at += n;
    }
    tap_ = std::move(tap);
    return start;
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
            const std::uint64_t unread = written_ - position_;
            return aborted_ || interrupted_ || finished_ || (unread > 0 && unread >= prefill_);
        };
        readerWaiting_ = true;
        readable_.wait(lock, ready);
        readerWaiting_ = false;
        if (aborted_ || interrupted_) {
            return 0;
        }
        prefill_ = 0;
        copied = copyLocked(position_, out, max);
        if (copied == 0 && position_ < memoryStartLocked()) {
            // What the file cannot give back is stepped over.
            position_ = memoryStartLocked();
            copied = copyLocked(position_, out, max);
        }
        position_ += copied;
        // Live is never beyond what was written.
        behind_ = std::min(behind_, written_ - position_);
        if (!keeping_) {
            trimLocked();
        }
        // Room is announced once the buffer is at most half full, so that a writer is not
        // woken for every small read.
        if (writerWaiting_ && written_ - position_ <= capacity_ / 2) {
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
    const std::uint64_t unread = written_ - position_;
    return aborted_ || interrupted_ || finished_ || (unread > 0 && unread >= prefill_);
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
    return written_;
}

std::uint64_t FeedBuffer::oldest() const {
    const std::lock_guard lock(mutex_);
    return oldest_;
}

std::size_t FeedBuffer::buffered() const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(written_ - position_);
}

}  // namespace lyrevane
