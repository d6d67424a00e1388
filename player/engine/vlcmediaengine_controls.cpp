// The engine's commands and queries; the libVLC side lives in vlcmediaengine.cpp.
#include "vlcmediaengine.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <utility>

namespace lyrevane {

void VlcMediaEngine::setUrl(const QString& url) {
    url_ = url;
    if (url.trimmed().isEmpty()) {
        haltPlayer();
        clearPending();
        if (current_.media != nullptr) {
            libvlc_media_release(current_.media);
        }
        current_ = {};
        hasMedia_ = false;
        phase_ = Phase::Idle;
        setOpenState(Closed);
        setPlayState(Stopped);
        return;
    }
    hasMedia_ = true;
    startFromTop();
}

QString VlcMediaEngine::url() const {
    return url_;
}

void VlcMediaEngine::play() {
    if (!hasMedia_) {
        return;
    }
    switch (phase_) {
        case Phase::Opening:
        case Phase::Playing:
            return;
        case Phase::Paused:
            if (pausedByStop_) {
                // The entry could not pause: open it again, keeping the rest of the playlist.
                pending_.push_front(std::exchange(current_, Entry{}));
                startNext();
            } else {
                libvlc_media_player_set_pause(player_, 0);
            }
            return;
        case Phase::Idle:
        case Phase::Finished:
            startFromTop();
            return;
    }
}

void VlcMediaEngine::pause() {
    if (phase_ != Phase::Playing) {
        return;
    }
    // A file pauses in place. A live stream is dropped instead and reconnected on play:
    // the server would not hold it for long, and the listener wants the live audio.
    const bool live = libvlc_media_player_is_seekable(player_) == 0 &&
                      libvlc_media_player_get_length(player_) <= 0;
    if (libvlc_media_player_can_pause(player_) != 0 && !live) {
        libvlc_media_player_set_pause(player_, 1);
        return;
    }
    haltPlayer();
    pausedByStop_ = true;
    phase_ = Phase::Paused;
    setPlayState(Paused);
}

void VlcMediaEngine::stop() {
    if (!hasMedia_) {
        return;
    }
    haltPlayer();
    clearPending();
    phase_ = Phase::Idle;
    setPlayState(Stopped);
}

bool VlcMediaEngine::isAvailable(Control control) const {
    switch (control) {
        case Control::Play:
            return hasMedia_ && playState_ != Playing;
        case Control::Pause:
            return phase_ == Phase::Playing;
        case Control::Stop:
            return hasMedia_ && (phase_ == Phase::Opening || phase_ == Phase::Playing ||
                                 phase_ == Phase::Paused);
    }
    return false;
}

void VlcMediaEngine::setVolume(int volume) {
    volume_ = std::clamp(volume, 0, 100);
    applyVolume();
}

int VlcMediaEngine::volume() const {
    return volume_;
}

int VlcMediaEngine::openState() const {
    return openState_;
}

int VlcMediaEngine::playState() const {
    return playState_;
}

int VlcMediaEngine::errorCount() const {
    return static_cast<int>(errors_.size());
}

QString VlcMediaEngine::errorDescription(int index) const {
    return errors_.value(index);
}

bool VlcMediaEngine::isValid() const {
    return player_ != nullptr;
}

void VlcMediaEngine::setConnectTimeout(std::chrono::milliseconds timeout) {
    options_.connectTimeout = timeout;
}

std::chrono::milliseconds VlcMediaEngine::connectTimeout() const {
    return options_.connectTimeout;
}

int VlcMediaEngine::outputVolume() const {
    return player_ != nullptr ? libvlc_audio_get_volume(player_) : -1;
}

}  // namespace lyrevane
