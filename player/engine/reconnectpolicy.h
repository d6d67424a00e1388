#pragma once

#include "engine/playevents.h"

#include <QString>

#include <chrono>
#include <optional>

namespace lyrevane {

// When a dropped live stream is tried again, and for how long. An outage lasts from the drop
// until the stream has played for `steadyAfter`, or the listener stops it or plays something
// else; within it the waits between attempts double from `firstBackoff` up to `maxBackoff`,
// until `reconnectWindow` is over. Times are on the play-state machine's clock.
class ReconnectPolicy {
public:
    using Duration = std::chrono::milliseconds;

    explicit ReconnectPolicy(const PlayTimings& timings) : timings_(timings) {}

    // A stream dropped at `now` for `reason`: true when that starts a new outage, to be tried
    // again at once; false when it continues the one it came back from too soon, to be tried
    // after the next wait.
    bool drop(Duration now, const QString& reason);
    // An attempt failed; a reason, when it gave one, replaces the last.
    void attemptFailed(const QString& reason);
    // The wait before the next attempt (the next one after it doubles), or nothing when the
    // window is over.
    std::optional<Duration> nextWait(Duration now);
    // What time is left of the outage's window.
    Duration remaining(Duration now) const;
    // The stream plays again from `now`.
    void playing(Duration now) { playingSince_ = now; }
    void end();

    Duration since() const { return start_; }
    // Why, in plain words: the newest error line, or the drop.
    const QString& reason() const { return reason_; }

private:
    PlayTimings timings_;
    bool outage_ = false;
    Duration start_{0};
    Duration playingSince_{0};
    Duration nextBackoff_{0};
    QString reason_;
};

}  // namespace lyrevane
