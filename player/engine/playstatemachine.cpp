#include "engine/playstatemachine.h"

#include "engine/enginelog.h"
#include "engine/mediaengine.h"
#include "engine/vlcmessages.h"
#include "rules/sourcerules.h"

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

using Kind = PlayStateMachine::Event::Kind;
using CommandKind = PlayStateMachine::Command::Kind;

const char* eventName(Kind kind) {
    switch (kind) {
        case Kind::SetUrl:
            return "a new URL";
        case Kind::Play:
            return "play";
        case Kind::Pause:
            return "pause";
        case Kind::Stop:
            return "stop";
        case Kind::CatchUp:
            return "catch up";
        case Kind::Opened:
            return "opened";
        case Kind::PausedInPlace:
            return "paused in place";
        case Kind::Buffering:
            return "buffering";
        case Kind::AudioTrack:
            return "audio track";
        case Kind::TimeAdvanced:
            return "time advanced";
        case Kind::EndReached:
            return "end reached";
        case Kind::Error:
            return "error";
        case Kind::OpenFailed:
            return "open failed";
        case Kind::Refused:
            return "refused";
        case Kind::LogError:
            return "logged error";
        case Kind::TimerFired:
            return "timer";
    }
    return "?";
}

const char* phaseName(PlayPhase phase) {
    switch (phase) {
        case PlayPhase::Idle:
            return "idle";
        case PlayPhase::Connecting:
            return "connecting";
        case PlayPhase::Playing:
            return "playing";
        case PlayPhase::Paused:
            return "paused";
        case PlayPhase::PausedDropped:
            return "paused (stream closed)";
        case PlayPhase::RetryWait:
            return "waiting to reconnect";
        case PlayPhase::Reconnecting:
            return "reconnecting";
        case PlayPhase::Ended:
            return "ended";
        case PlayPhase::Failed:
            return "failed";
    }
    return "?";
}

const char* playStateName(int state) {
    switch (state) {
        case MediaEngine::Stopped:
            return "stopped";
        case MediaEngine::Paused:
            return "paused";
        case MediaEngine::Playing:
            return "playing";
        case MediaEngine::Buffering:
            return "buffering";
        case MediaEngine::MediaEnded:
            return "media ended";
        case MediaEngine::Transitioning:
            return "transitioning";
        default:
            return "undefined";
    }
}

}  // namespace

PlayStateMachine::PlayStateMachine(PlayTimings timings, Clock now)
    : PlaySteps(timings, std::move(now)) {}

std::vector<PlayStateMachine::Command> PlayStateMachine::handle(const Event& event) {
    const Phase before = phase_;
    const int playStateBefore = out_.playState();
    switch (event.kind) {
        case Kind::SetUrl:
            setUrl(event.text);
            break;
        case Kind::Play:
            play();
            break;
        case Kind::Pause:
            pause(event.flag);
            break;
        case Kind::Stop:
            stop();
            break;
        case Kind::CatchUp:
            // The entry opened again, keeping the rest of the playlist.
            if (phase_ == Phase::Playing || phase_ == Phase::Paused) {
                halt();
                entries_.again(current_);
                openNext();
            }
            break;
        case Kind::Opened:
            opened();
            break;
        case Kind::PausedInPlace:
            if (phase_ == Phase::Playing) {
                out_.stopTimer(Timer::Stall);
                phase_ = Phase::Paused;
                out_.setPlayState(MediaEngine::Paused);
            }
            break;
        case Kind::Buffering:
            buffering(event.number);
            break;
        case Kind::AudioTrack:
            audioTrack();
            break;
        case Kind::TimeAdvanced:
            if (const auto reached = attempt_.timeAdvanced(event.number, event.flag)) {
                onTimeAdvanced(*reached);
            }
            break;
        case Kind::EndReached:
            onEndReached(event.list);
            break;
        case Kind::Error:
            error();
            break;
        case Kind::OpenFailed:
            if (phase_ == Phase::Reconnecting) {
                attemptFailed();
            } else if (phase_ == Phase::Connecting) {
                failEntry(event.text.isEmpty() ? log_.openFailure(current_) : event.text);
            }
            break;
        case Kind::Refused:
            // Never retried: the entry is skipped, whatever it was doing.
            if (opening() || phase_ == Phase::Playing || phase_ == Phase::RetryWait) {
                failEntry(event.text);
            }
            break;
        case Kind::LogError:
            log_.note(event.text,
                      opening() || phase_ == Phase::Playing || phase_ == Phase::RetryWait,
                      phase_ == Phase::Reconnecting);
            break;
        case Kind::TimerFired:
            if (out_.takeFired(event.timer)) {
                onTimerFired(event.timer);
            }
            break;
    }
    std::vector<Command> commands = out_.take();
    if (lcEngine().isDebugEnabled() && (phase_ != before || out_.playState() != playStateBefore)) {
        logChange(event.kind, before, commands);
    }
    return commands;
}

// One line per change: the phases, the event, the entry, and what the change gives out
// (an entry opened, the play state published, the wait before a reconnect, an error).
void PlayStateMachine::logChange(Event::Kind kind, Phase before,
                                 const std::vector<Command>& commands) const {
    QString line = u"play %1 -> %2 on %3 [%4]"_s.arg(QLatin1StringView(phaseName(before)),
                                                     QLatin1StringView(phaseName(phase_)),
                                                     QLatin1StringView(eventName(kind)), current_);
    for (const Command& command : commands) {
        if (command.kind == CommandKind::OpenEntry) {
            line += u"; opens "_s + command.text;
        } else if (command.kind == CommandKind::SetPlayState) {
            line += u"; play state %1 (%2)"_s.arg(QLatin1StringView(playStateName(command.state)))
                        .arg(command.state);
        } else if (command.kind == CommandKind::StartTimer && command.timer == Timer::Backoff) {
            line += u"; next attempt in %1 ms"_s.arg(command.duration.count());
        } else if (command.kind == CommandKind::ReportError) {
            line += u"; reports: "_s + command.text;
        }
    }
    if (const std::optional<Outage> outage = reconnecting()) {
        line +=
            u"; dropped %1 ms ago: %2"_s.arg((now() - outage->since).count()).arg(outage->reason);
    }
    qCDebug(lcEngine).noquote() << line;
}

bool PlayStateMachine::canPlay() const {
    return hasMedia_ && out_.playState() != MediaEngine::Playing;
}

bool PlayStateMachine::canPause() const {
    return phase_ == Phase::Playing;
}

bool PlayStateMachine::canStop() const {
    switch (phase_) {
        case Phase::Connecting:
        case Phase::Playing:
        case Phase::Paused:
        case Phase::PausedDropped:
        case Phase::RetryWait:
        case Phase::Reconnecting:
            return hasMedia_;
        case Phase::Idle:
        case Phase::Ended:
        case Phase::Failed:
            return false;
    }
    return false;
}

// --- The user's events ---

void PlayStateMachine::setUrl(const QString& url) {
    url_ = url;
    if (url.trimmed().isEmpty()) {
        halt();
        endOutage();
        entries_.clear();
        current_.clear();
        hasMedia_ = false;
        phase_ = Phase::Idle;
        out_.setOpenState(MediaEngine::Closed);
        out_.setPlayState(MediaEngine::Stopped);
        return;
    }
    hasMedia_ = true;
    startFromTop();
}

void PlayStateMachine::play() {
    if (!hasMedia_) {
        return;
    }
    switch (phase_) {
        case Phase::Connecting:
        case Phase::Reconnecting:
        case Phase::Playing:
            return;
        case Phase::Paused:
            out_.resumeInPlace();
            return;
        case Phase::PausedDropped:
            // Open the entry again, keeping the rest of the playlist.
            entries_.again(current_);
            openNext();
            return;
        case Phase::RetryWait:
            // Play while waiting to reconnect: try now.
            out_.stopTimer(Timer::Backoff);
            openCurrent(true);
            return;
        case Phase::Idle:
        case Phase::Ended:
        case Phase::Failed:
            startFromTop();
            return;
    }
}

// A file pauses in place. A live stream is closed instead and opened again on play: the
// server would not hold it for long, and the listener wants the live audio.
void PlayStateMachine::pause(bool canPauseInPlace) {
    if (phase_ != Phase::Playing) {
        return;
    }
    if (canPauseInPlace) {
        out_.pauseInPlace();
        return;
    }
    halt();
    endOutage();
    phase_ = Phase::PausedDropped;
    out_.setPlayState(MediaEngine::Paused);
}

void PlayStateMachine::stop() {
    if (!hasMedia_) {
        return;
    }
    halt();
    endOutage();
    entries_.clear();
    phase_ = Phase::Idle;
    out_.setPlayState(MediaEngine::Stopped);
}

// --- The media library's events ---

void PlayStateMachine::opened() {
    const PlayAttempt::Reached reached = attempt_.opened();
    if (phase_ == Phase::Paused) {
        phase_ = Phase::Playing;
        out_.setPlayState(MediaEngine::Playing);
        out_.startTimer(Timer::Stall, timings_.stallTimeout);
    } else if (opening()) {
        reach(reached);
    }
}

void PlayStateMachine::buffering(qint64 percent) {
    if (opening()) {
        reach(attempt_.buffering(percent));
    }
}

void PlayStateMachine::audioTrack() {
    const PlayAttempt::Reached reached = attempt_.audioTrack();
    if (opening()) {
        reach(reached);
    }
}

void PlayStateMachine::onTimeAdvanced(PlayAttempt::Reached reached) {
    if (opening() && reached == PlayAttempt::Reached::Playing) {
        markPlaying();
    } else if (phase_ == Phase::Playing) {
        out_.startTimer(Timer::Stall, timings_.stallTimeout);
    }
}

void PlayStateMachine::onEndReached(const QStringList& subItems) {
    if (!opening() && phase_ != Phase::Playing) {
        return;
    }
    // A playlist ends as soon as it is read; its entries are its sub-items.
    // Entries that lead back to a playlist already read are left out.
    if (!subItems.isEmpty()) {
        if (!entries_.expand(current_, subItems)) {
            failEntry(vlcmessages::playlistLoops(current_));
            return;
        }
        halt();
        openNext();
        return;
    }
    if (phase_ == Phase::Playing) {
        if (reconnectable()) {
            dropped(DropCause::Ended);
            return;
        }
        halt();
        if (!entries_.empty()) {
            openNext();
            return;
        }
        phase_ = Phase::Ended;
        out_.setPlayState(MediaEngine::MediaEnded);
        return;
    }
    if (phase_ == Phase::Reconnecting) {
        attemptFailed();
        return;
    }
    failEntry(vlcmessages::looksLikePlaylist(current_) ? sourcemessages::emptyPlaylist(current_)
                                                       : vlcmessages::unsupportedFormat(current_));
}

void PlayStateMachine::error() {
    switch (phase_) {
        case Phase::Connecting:
            failEntry(log_.openFailure(current_));
            return;
        case Phase::Reconnecting:
            attemptFailed();
            return;
        case Phase::Playing:
            if (reconnectable()) {
                dropped(DropCause::Failed);
            } else {
                failEntry(log_.connectionLost(current_));
            }
            return;
        default:
            return;
    }
}

void PlayStateMachine::onTimerFired(Timer timer) {
    switch (timer) {
        case Timer::Connect:
            if (phase_ == Phase::Connecting) {
                failEntry(sourcemessages::timedOut(current_));
            } else if (phase_ == Phase::Reconnecting) {
                attemptFailed();
            }
            return;
        case Timer::Stall:
            // The media library may report nothing when the data stops: no progress for
            // this long is a dropped connection.
            if (phase_ == Phase::Playing) {
                if (reconnectable()) {
                    dropped(DropCause::Stalled);
                } else {
                    failEntry(log_.connectionLost(current_,
                                                  vlcmessages::noDataFor(timings_.stallTimeout)));
                }
            }
            return;
        case Timer::Backoff:
            if (phase_ == Phase::RetryWait) {
                openCurrent(true);
            }
            return;
    }
}

std::optional<PlayStateMachine::Outage> PlayStateMachine::reconnecting() const {
    if (phase_ != Phase::RetryWait && phase_ != Phase::Reconnecting) {
        return std::nullopt;
    }
    return Outage{reconnect_.since(), reconnect_.reason()};
}

}  // namespace lyrevane
