// The engine's commands and queries; the libVLC side lives in vlcmediaengine.cpp.
#include "vlc/vlcmediaengine.h"

#include <QStandardPaths>

#include <vlc/vlc.h>

#include <algorithm>
#include <utility>

namespace lyrevane {

namespace {

// The most of a paused live stream that is kept: an hour and a half, the programme and more.
constexpr std::chrono::seconds kMostKept{90 * 60};

}  // namespace

void VlcMediaEngine::prestart(const QString& url, std::shared_ptr<EarlyConnection> early) {
    dropPrestart();
    if (early) {
        QMetaObject::invokeMethod(
            feed_, [feed = feed_, early] { feed->setEarlyConnection(early); },
            Qt::QueuedConnection);
    }
    prestarting_ = true;
    prestartUrl_ = url;
    warmStreamPlugins();
    dispatch(PlayStateMachine::userSetUrl(url));
    if (!machine_.hasMedia()) {
        dropPrestart();
    }
}

void VlcMediaEngine::endPrestart() {
    if (!prestarting_) {
        return;
    }
    // Still held while closing, so that nobody hears of an opening nobody asked for.
    dispatch(PlayStateMachine::userSetUrl({}));
    dropPrestart();
}

bool VlcMediaEngine::dropPrestart() {
    const bool was = prestarting_;
    prestarting_ = false;
    prestartUrl_.clear();
    held_.clear();
    return was;
}

void VlcMediaEngine::setUrl(const QString& url) {
    if (prestarting_ && url == prestartUrl_) {
        // Adopted: report what happened so far, as it happened.
        prestarting_ = false;
        prestartUrl_.clear();
        const std::vector<std::function<void()>> held = std::exchange(held_, {});
        for (const auto& signal : held) {
            signal();
        }
        return;
    }
    dropPrestart();
    stopRecording();
    dispatch(PlayStateMachine::userSetUrl(url));
}

QString VlcMediaEngine::url() const {
    return machine_.url();
}

void VlcMediaEngine::play() {
    dropPrestart();
    if (machine_.phase() == PlayStateMachine::Phase::Paused) {
        shift_.resumed();
    }
    dispatch(PlayStateMachine::user(Event::Kind::Play));
}

void VlcMediaEngine::pause() {
    // A live stream the player reads itself pauses in place while what arrives is kept (up to
    // an hour and a half), so that play goes on where it was; so does a medium that libVLC can
    // pause and that has a known length. Any other live stream is closed and opened again on
    // play.
    bool inPlace = false;
    if (player_ != nullptr && machine_.canPause()) {
        if (fed_ && feedBuffer_) {
            const auto bytesPerSecond = static_cast<std::uint64_t>(cushion_.bytesPerSecond());
            feedBuffer_->keep(timeShiftFolder(), bytesPerSecond * kMostKept.count());
            shift_.paused();
            inPlace = true;
        } else {
            const bool live = libvlc_media_player_is_seekable(player_) == 0 &&
                              libvlc_media_player_get_length(player_) <= 0;
            inPlace = libvlc_media_player_can_pause(player_) != 0 && !live;
        }
    }
    dropPrestart();
    dispatch(PlayStateMachine::user(Event::Kind::Pause, inPlace));
}

void VlcMediaEngine::stop() {
    dropPrestart();
    stopRecording();
    dispatch(PlayStateMachine::user(Event::Kind::Stop));
}

bool VlcMediaEngine::keepingStopped() const {
    return fed_ && feedBuffer_ && feedBuffer_->keptAll();
}

void VlcMediaEngine::catchUpToLive() {
    if (fed_ && (shift_.isPaused() || shift_.behind().count() > 0)) {
        dispatch(PlayStateMachine::user(Event::Kind::CatchUp));
    }
}

QString VlcMediaEngine::timeShiftFolder() const {
    if (!options_.timeShiftFolder.isEmpty()) {
        return options_.timeShiftFolder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Lyrevane");
}

bool VlcMediaEngine::isAvailable(Control control) const {
    switch (control) {
        case Control::Play:
            return machine_.canPlay();
        case Control::Pause:
            return machine_.canPause();
        case Control::Stop:
            return machine_.canStop();
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
    return machine_.openState();
}

int VlcMediaEngine::playState() const {
    return machine_.playState();
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
    options_.timings.connectTimeout = timeout;
    machine_.setConnectTimeout(timeout);
    const auto deadline = timeout + std::chrono::seconds(1);
    QMetaObject::invokeMethod(
        feed_, [feed = feed_, deadline] { feed->setDeadline(deadline); }, Qt::QueuedConnection);
}

std::chrono::milliseconds VlcMediaEngine::connectTimeout() const {
    return machine_.timings().connectTimeout;
}

}  // namespace lyrevane
