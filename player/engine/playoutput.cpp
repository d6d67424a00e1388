#include "engine/playoutput.h"

#include <utility>

namespace lyrevane {

namespace {

using CommandKind = PlayCommand::Kind;

}  // namespace

std::vector<PlayCommand> PlayOutput::take() {
    return std::exchange(out_, {});
}

void PlayOutput::add(PlayCommand::Kind kind, const QString& text, PlayTimer timer) {
    PlayCommand command;
    command.kind = kind;
    command.text = text;
    command.timer = timer;
    out_.push_back(std::move(command));
}

bool& PlayOutput::running(PlayTimer timer) {
    return timerRunning_.at(static_cast<std::size_t>(timer));
}

void PlayOutput::openEntry(const QString& url) {
    add(CommandKind::OpenEntry, url);
}

void PlayOutput::pauseInPlace() {
    add(CommandKind::PauseInPlace);
}

void PlayOutput::resumeInPlace() {
    add(CommandKind::ResumeInPlace);
}

void PlayOutput::haltPlayer() {
    stopAllTimers();
    add(CommandKind::HaltPlayer);
}

void PlayOutput::startTimer(PlayTimer timer, std::chrono::milliseconds duration) {
    running(timer) = true;
    add(CommandKind::StartTimer, {}, timer);
    out_.back().duration = duration;
}

void PlayOutput::stopTimer(PlayTimer timer) {
    if (std::exchange(running(timer), false)) {
        add(CommandKind::StopTimer, {}, timer);
    }
}

void PlayOutput::stopAllTimers() {
    for (const PlayTimer timer : {PlayTimer::Connect, PlayTimer::Stall, PlayTimer::Backoff}) {
        stopTimer(timer);
    }
}

bool PlayOutput::takeFired(PlayTimer timer) {
    return std::exchange(running(timer), false);
}

void PlayOutput::setOpenState(int state) {
    if (state != openState_) {
        openState_ = state;
        add(CommandKind::SetOpenState);
        out_.back().state = state;
    }
}

void PlayOutput::setPlayState(int state) {
    if (state != playState_) {
        playState_ = state;
        add(CommandKind::SetPlayState);
        out_.back().state = state;
    }
}

void PlayOutput::reportError(const QString& description) {
    add(CommandKind::ReportError, description);
}

}  // namespace lyrevane
