#include "feed/cushiongovernor.h"

#include <algorithm>

namespace lyrevane {

namespace {

// Until a rate is known: the usual radio stream, 128 kbit/s.
constexpr int kAssumedBytesPerSecond = 16000;
// The first seconds are left out of the measurement: the media library reads ahead then.
constexpr std::int64_t kAnchorAfterMs = 2000;
// Measured over at least this much media time.
constexpr std::int64_t kMeasureOverMs = 5000;

}  // namespace

CushionGovernor::CushionGovernor() : CushionGovernor(Settings{}) {}

CushionGovernor::CushionGovernor(Settings settings) : settings_(settings) {}

void CushionGovernor::reset() {
    declared_ = 0;
    anchorMs_ = -1;
    anchorBytes_ = 0;
    measured_ = 0;
    growing_ = true;
    cushion_ = std::chrono::milliseconds{0};
}

int CushionGovernor::bytesPerSecond() const {
    if (declared_ > 0) {
        return declared_;
    }
    return measured_ > 0 ? measured_ : kAssumedBytesPerSecond;
}

double CushionGovernor::update(const Look& look) {
    declared_ = std::max(look.declaredBytesPerSecond, 0);
    const std::int64_t playedMs = look.playedMs;
    const std::uint64_t readBytes = look.readBytes;
    // Measured even when declared: a server's claim does not bound what is kept.
    if (playedMs >= kAnchorAfterMs) {
        if (anchorMs_ < 0 || playedMs < anchorMs_ || readBytes < anchorBytes_) {
            anchorMs_ = playedMs;
            anchorBytes_ = readBytes;
        } else if (playedMs - anchorMs_ >= kMeasureOverMs) {
            measured_ = static_cast<int>((readBytes - anchorBytes_) * 1000 /
                                         static_cast<std::uint64_t>(playedMs - anchorMs_));
        }
    }
    const auto rate = static_cast<std::uint64_t>(std::max(bytesPerSecond(), 1));
    cushion_ =
        std::chrono::milliseconds(static_cast<std::int64_t>(look.bufferedBytes * 1000 / rate));
    const auto room = std::chrono::milliseconds(
        static_cast<std::int64_t>(static_cast<double>(look.capacityBytes) * 1000 *
                                  settings_.capacityShare / static_cast<double>(rate)));
    const auto target = std::min(settings_.target, room);
    if (cushion_ >= target) {
        growing_ = false;
    }
    return growing_ ? settings_.growingRate : 1.0;
}

}  // namespace lyrevane
