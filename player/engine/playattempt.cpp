#include "engine/playattempt.h"

#include <utility>

namespace lyrevane {

PlayAttempt::Reached PlayAttempt::opened() {
    libraryPlaying_ = true;
    return sawAudio_ ? Reached::Open : Reached::Nothing;
}

// A playlist's own item never buffers; only a real stream gets here.
PlayAttempt::Reached PlayAttempt::buffering(qint64 percent) {
    if (!libraryPlaying_) {
        return Reached::Nothing;
    }
    return percent >= 100 && sawAudio_ ? Reached::Playing : Reached::Open;
}

PlayAttempt::Reached PlayAttempt::audioTrack() {
    sawAudio_ = true;
    return libraryPlaying_ ? Reached::Open : Reached::Nothing;
}

std::optional<PlayAttempt::Reached> PlayAttempt::timeAdvanced(qint64 ms, bool lengthKnown) {
    if (ms == lastTime_) {
        return std::nullopt;
    }
    lastTime_ = ms;
    lengthKnown_ = lengthKnown_ || lengthKnown;
    return libraryPlaying_ && sawAudio_ ? Reached::Playing : Reached::Nothing;
}

bool PlayAttempt::markOpened() {
    return !std::exchange(opened_, true);
}

}  // namespace lyrevane
