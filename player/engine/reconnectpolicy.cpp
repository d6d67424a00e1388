#include "engine/reconnectpolicy.h"

#include <algorithm>

namespace lyrevane {

// A new outage tries again at once; a drop soon after the stream came back continues the
// outage it came back from, with its next wait.
bool ReconnectPolicy::drop(Duration now, const QString& reason) {
    reason_ = reason;
    if (outage_ && now - playingSince_ < timings_.steadyAfter) {
        return false;
    }
    outage_ = true;
    start_ = now;
    nextBackoff_ = timings_.firstBackoff;
    return true;
}

// An attempt that failed with a reason gives the newest reason; one that says nothing (timed
// out, closed at once) leaves the last one.
void ReconnectPolicy::attemptFailed(const QString& reason) {
    if (!reason.isEmpty()) {
        reason_ = reason;
    }
}

std::optional<ReconnectPolicy::Duration> ReconnectPolicy::nextWait(Duration now) {
    const Duration left = remaining(now);
    if (left.count() <= 0) {
        return std::nullopt;
    }
    const Duration wait = std::min(nextBackoff_, left);
    nextBackoff_ = std::min(nextBackoff_ * 2, timings_.maxBackoff);
    return wait;
}

ReconnectPolicy::Duration ReconnectPolicy::remaining(Duration now) const {
    return timings_.reconnectWindow - (now - start_);
}

void ReconnectPolicy::end() {
    outage_ = false;
    reason_.clear();
}

}  // namespace lyrevane
