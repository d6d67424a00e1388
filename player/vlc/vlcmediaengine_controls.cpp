// The engine's commands and queries; the libVLC side lives in vlcmediaengine.cpp.
#include "vlc/vlcmediaengine.h"

#include "vlc/pluginwarmup.h"

#include <algorithm>
#include <utility>

namespace lyrevane {

void VlcMediaEngine::prestart(const QString& url, std::shared_ptr<EarlyConnection> early) {
    held_.drop();
    if (early) {
        network_->setEarlyConnection(early);
    }
    held_.start(url);
    if (player_->isValid()) {
        // The plugins a stream's first bytes need load while the connection is being made.
        warmStreamPlugins();
    }
    dispatch(PlayStateMachine::userSetUrl(url));
    if (!machine_.hasMedia()) {
        held_.drop();
    }
}

void VlcMediaEngine::endPrestart() {
    if (!held_.holding()) {
        return;
    }
    // Still held while closing, so that nobody hears of an opening nobody asked for.
    dispatch(PlayStateMachine::userSetUrl({}));
    held_.drop();
}

void VlcMediaEngine::setUrl(const QString& url) {
    if (held_.adopt(url)) {
        return;  // what happened so far was reported, as it happened
    }
    held_.drop();
    fed_->stopRecording();
    opener_->endProgramme();
    dispatch(PlayStateMachine::userSetUrl(url));
}

QString VlcMediaEngine::url() const {
    return machine_.url();
}

void VlcMediaEngine::play() {
    held_.drop();
    if (machine_.phase() == PlayStateMachine::Phase::Paused) {
        fed_->resumed();
    }
    dispatch(PlayStateMachine::user(Event::Kind::Play));
}

void VlcMediaEngine::pause() {
    // A live stream the player reads itself pauses in place while what arrives is kept (up to
    // an hour and a half), so that play goes on where it was; so does a medium that libVLC can
    // pause and that has a known length. Any other live stream is closed and opened again on
    // play.
    bool inPlace = false;
    if (player_->isValid() && machine_.canPause()) {
        inPlace = fed_->pauseInPlace() || player_->pausesInPlace();
    }
    held_.drop();
    dispatch(PlayStateMachine::user(Event::Kind::Pause, inPlace));
}

void VlcMediaEngine::stop() {
    held_.drop();
    fed_->stopRecording();
    opener_->endProgramme();
    dispatch(PlayStateMachine::user(Event::Kind::Stop));
}

bool VlcMediaEngine::keepingStopped() const {
    return fed_->keepingStopped();
}

void VlcMediaEngine::catchUpToLive() {
    if (!player_->isFed() || !fed_->isBehind()) {
        return;
    }
    // Live is within what is kept: what plays jumps there. Should it not be (nothing could be
    // kept), the stream is opened again.
    if (fed_->behind().count() > 0) {
        moveInProgramme(std::chrono::hours(24));
        if (fed_->behind().count() > 0) {
            dispatch(PlayStateMachine::user(Event::Kind::CatchUp));
            return;
        }
    }
    if (machine_.phase() == PlayStateMachine::Phase::Paused) {
        play();
    }
}

std::chrono::milliseconds VlcMediaEngine::moveInProgramme(std::chrono::milliseconds by) {
    const bool paused = machine_.phase() == PlayStateMachine::Phase::Paused;
    if (!paused && machine_.phase() != PlayStateMachine::Phase::Playing) {
        return {};
    }
    // A paused stream stays paused at its new place, as a seek from the desktop expects.
    const std::chrono::milliseconds moved = fed_->move(by, paused);
    if (moved.count() != 0) {
        Q_EMIT positionJumped();
        Q_EMIT metadataChanged();
    }
    return moved;
}

void VlcMediaEngine::catchUpFaster() {
    if (!player_->isFed() || !fed_->isBehind()) {
        return;
    }
    if (machine_.phase() == PlayStateMachine::Phase::Paused) {
        play();
    }
    fed_->catchUpFaster();
}

QString VlcMediaEngine::recordRefusal() const {
    return fed_->recordRefusal();
}

void VlcMediaEngine::setRecording(bool on) {
    fed_->setRecording(on);
}

void VlcMediaEngine::recordFrom(std::chrono::milliseconds at) {
    fed_->stopRecording();
    fed_->setRecording(true, at);
}

qint64 VlcMediaEngine::recordingSeconds() const {
    return fed_->recordingSeconds();
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
    return player_->isValid();
}

}  // namespace lyrevane
