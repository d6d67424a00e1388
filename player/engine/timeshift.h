#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

namespace lyrevane {

// A live stream that was paused plays on from where it was, later than live: how far behind live
// the listener is, and which of the titles the network sent goes with the audio heard (a title
// arrives with the bytes that follow it, which play only once the bytes before them have).
class TimeShift {
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    // `now` is a monotonic clock; the steady clock when empty.
    explicit TimeShift(Clock now = {});

    // A new connection: live again, no titles waiting.
    void reset();
    void paused();
    void resumed();
    bool isPaused() const { return pausedAt_.has_value(); }
    std::chrono::milliseconds behind() const;

    // The network sent `title` before byte `position` of the stream.
    void noteTitle(std::uint64_t position, const QString& title);
    // The title of what plays once `position` bytes of the stream were read, when it changed
    // since last asked.
    std::optional<QString> titleAt(std::uint64_t position);

private:
    Clock now_;
    std::chrono::milliseconds behind_{0};
    std::optional<std::chrono::milliseconds> pausedAt_;
    std::deque<std::pair<std::uint64_t, QString>> titles_;
};

}  // namespace lyrevane
