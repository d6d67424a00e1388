// The play state machine's events and commands: construction, text forms, and the
// emission of commands. The transitions are in playstatemachine.cpp.
#include "engine/playstatemachine.h"

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

using std::chrono::milliseconds;
using Kind = PlayStateMachine::Event::Kind;
using CommandKind = PlayStateMachine::Command::Kind;

QString timerName(PlayStateMachine::Timer timer) {
    switch (timer) {
        case PlayStateMachine::Timer::Connect:
            return u"connect"_s;
        case PlayStateMachine::Timer::Stall:
            return u"stall"_s;
        case PlayStateMachine::Timer::Backoff:
            return u"backoff"_s;
    }
    return {};
}

PlayStateMachine::Command command(CommandKind kind) {
    PlayStateMachine::Command result;
    result.kind = kind;
    return result;
}

std::size_t timerIndex(PlayStateMachine::Timer timer) {
    return static_cast<std::size_t>(timer);
}

}  // namespace

QString PlayStateMachine::Command::toString() const {
    switch (kind) {
        case CommandKind::OpenEntry:
            return u"open "_s + text;
        case CommandKind::HaltPlayer:
            return u"halt"_s;
        case CommandKind::PauseInPlace:
            return u"pause"_s;
        case CommandKind::ResumeInPlace:
            return u"resume"_s;
        case CommandKind::StartTimer:
            return u"start "_s + timerName(timer) + u' ' + QString::number(duration.count());
        case CommandKind::StopTimer:
            return u"stop "_s + timerName(timer);
        case CommandKind::SetOpenState:
            return u"open-state "_s + QString::number(state);
        case CommandKind::SetPlayState:
            return u"play-state "_s + QString::number(state);
        case CommandKind::ReportError:
            return u"error "_s + text;
    }
    return {};
}

PlayStateMachine::PlayStateMachine(PlayTimings timings, Clock now)
    : timings_(timings), now_(std::move(now)) {
    if (!now_) {
        now_ = [] {
            return std::chrono::duration_cast<milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    }
}

PlayStateMachine::Event PlayStateMachine::userSetUrl(const QString& url) {
    Event event;
    event.kind = Kind::SetUrl;
    event.text = url;
    return event;
}

PlayStateMachine::Event PlayStateMachine::user(Event::Kind kind, bool flag) {
    Event event;
    event.kind = kind;
    event.flag = flag;
    return event;
}

PlayStateMachine::Event PlayStateMachine::timerFired(Timer timer) {
    Event event;
    event.kind = Kind::TimerFired;
    event.timer = timer;
    return event;
}

PlayStateMachine::Event PlayStateMachine::timeAdvanced(qint64 ms, bool lengthKnown) {
    Event event;
    event.kind = Kind::TimeAdvanced;
    event.number = ms;
    event.flag = lengthKnown;
    return event;
}

PlayStateMachine::Event PlayStateMachine::endReached(const QStringList& subItems) {
    Event event;
    event.kind = Kind::EndReached;
    event.list = subItems;
    return event;
}

PlayStateMachine::Event PlayStateMachine::logError(const QString& line) {
    Event event;
    event.kind = Kind::LogError;
    event.text = line;
    return event;
}

PlayStateMachine::Event PlayStateMachine::openFailed(const QString& why) {
    Event event;
    event.kind = Kind::OpenFailed;
    event.text = why;
    return event;
}

PlayStateMachine::Event PlayStateMachine::refused(const QString& why) {
    Event event;
    event.kind = Kind::Refused;
    event.text = why;
    return event;
}

void PlayStateMachine::emitCommand(Command next) {
    out_.push_back(std::move(next));
}

void PlayStateMachine::startTimer(Timer timer, milliseconds duration) {
    timerRunning_[timerIndex(timer)] = true;
    Command start = command(CommandKind::StartTimer);
    start.timer = timer;
    start.duration = duration;
    emitCommand(start);
}

void PlayStateMachine::stopTimer(Timer timer) {
    if (timerRunning_[timerIndex(timer)]) {
        timerRunning_[timerIndex(timer)] = false;
        Command stop = command(CommandKind::StopTimer);
        stop.timer = timer;
        emitCommand(stop);
    }
}

void PlayStateMachine::stopAllTimers() {
    for (const Timer timer : {Timer::Connect, Timer::Stall, Timer::Backoff}) {
        stopTimer(timer);
    }
}

void PlayStateMachine::setOpenState(int state) {
    if (state != openState_) {
        openState_ = state;
        Command set = command(CommandKind::SetOpenState);
        set.state = state;
        emitCommand(set);
    }
}

void PlayStateMachine::setPlayState(int state) {
    if (state != playState_) {
        playState_ = state;
        Command set = command(CommandKind::SetPlayState);
        set.state = state;
        emitCommand(set);
    }
}

void PlayStateMachine::reportError(const QString& description) {
    Command report = command(CommandKind::ReportError);
    report.text = description;
    emitCommand(report);
}

}  // namespace lyrevane
