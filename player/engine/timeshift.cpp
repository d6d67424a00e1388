#include "engine/timeshift.h"

namespace lyrevane {

namespace {

// Titles a server sends faster than anyone could hear them are not all kept.
constexpr std::size_t kMaxWaitingTitles = 256;

}  // namespace

TimeShift::TimeShift(Clock now) : now_(std::move(now)) {
    if (!now_) {
        now_ = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    }
}

void TimeShift::reset() {
    behind_ = {};
    pausedAt_.reset();
    titles_.clear();
}

void TimeShift::paused() {
    if (!pausedAt_) {
        pausedAt_ = now_();
    }
}

void TimeShift::resumed() {
    if (pausedAt_) {
        behind_ += now_() - *pausedAt_;
        pausedAt_.reset();
    }
}

std::chrono::milliseconds TimeShift::behind() const {
    return behind_ + (pausedAt_ ? now_() - *pausedAt_ : std::chrono::milliseconds{0});
}

void TimeShift::noteTitle(std::uint64_t position, const QString& title) {
    if (titles_.size() >= kMaxWaitingTitles) {
        titles_.pop_front();
    }
    titles_.emplace_back(position, title);
}

std::optional<QString> TimeShift::titleAt(std::uint64_t position) {
    std::optional<QString> heard;
    while (!titles_.empty() && titles_.front().first <= position) {
        heard = std::move(titles_.front().second);
        titles_.pop_front();
    }
    return heard;
}

}  // namespace lyrevane
