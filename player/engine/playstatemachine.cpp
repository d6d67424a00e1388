#include "engine/playstatemachine.h"

#include "engine/mediaengine.h"
#include "engine/vlcmessages.h"

#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

using std::chrono::milliseconds;
using Kind = PlayStateMachine::Event::Kind;

}  // namespace

PlayStateMachine::PlayStateMachine(PlayTimings timings, Clock now)
    : timings_(timings), now_(std::move(now)), reconnect_(timings) {
    if (!now_) {
        now_ = [] {
            return std::chrono::duration_cast<milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    }
}

std::vector<PlayStateMachine::Command> PlayStateMachine::handle(const Event& event) {
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
            if (event.number != lastTime_) {
                lastTime_ = event.number;
                timeAdvanced(event.flag);
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
    return out_.take();
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
    libraryPlaying_ = true;
    if (phase_ == Phase::Paused) {
        phase_ = Phase::Playing;
        out_.setPlayState(MediaEngine::Playing);
        out_.startTimer(Timer::Stall, timings_.stallTimeout);
    } else if (opening() && sawAudio_) {
        markOpened();
    }
}

// A playlist's own item never buffers; only a real stream gets here.
void PlayStateMachine::buffering(qint64 percent) {
    if (opening() && libraryPlaying_) {
        markOpened();
        if (percent >= 100 && sawAudio_) {
            markPlaying();
        }
    }
}

void PlayStateMachine::audioTrack() {
    sawAudio_ = true;
    if (opening() && libraryPlaying_) {
        markOpened();
    }
}

void PlayStateMachine::timeAdvanced(bool lengthKnown) {
    lengthKnown_ = lengthKnown_ || lengthKnown;
    if (opening() && libraryPlaying_ && sawAudio_) {
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
    failEntry(vlcmessages::looksLikePlaylist(current_) ? vlcmessages::emptyPlaylist(current_)
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
                failEntry(vlcmessages::connectTimeout(current_));
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

// --- Entries ---

void PlayStateMachine::startFromTop() {
    halt();
    entries_.restart(url_);
    openNext();
}

void PlayStateMachine::openNext() {
    if (entries_.empty()) {
        halt();
        phase_ = Phase::Ended;
        out_.setPlayState(MediaEngine::MediaEnded);
        return;
    }
    const bool withinBudget = entries_.takeNext(current_);
    log_.clear();
    endOutage();
    if (!withinBudget) {
        entries_.clear();
        skipEntry(vlcmessages::tooManyEntries(url_, PlayEntries::kMaxOpensWithoutAudio));
        return;
    }
    openCurrent(false);
}

// Opens the current entry, as a new entry or as an attempt to reconnect a dropped one.
void PlayStateMachine::openCurrent(bool reconnecting) {
    out_.stopAllTimers();
    phase_ = reconnecting ? Phase::Reconnecting : Phase::Connecting;
    libraryPlaying_ = false;
    sawAudio_ = false;
    opened_ = false;
    audioStarted_ = false;
    lengthKnown_ = false;
    lastTime_ = -1;
    log_.clearAttempt();
    const bool playlist = !reconnecting && vlcmessages::looksLikePlaylist(current_);
    out_.setOpenState(playlist ? MediaEngine::PlaylistConnecting : MediaEngine::MediaConnecting);
    out_.setPlayState(MediaEngine::Transitioning);
    out_.openEntry(current_);
    milliseconds timeout = timings_.connectTimeout;
    if (reconnecting) {
        timeout =
            std::min(timeout, std::max(reconnect_.remaining(now_()), timings_.minAttemptTimeout));
    }
    out_.startTimer(Timer::Connect, timeout);
}

// The current entry failed: try the next one, or report the first failure when none is
// left. Entries that fail before another one plays are not reported one by one.
void PlayStateMachine::failEntry(const QString& description) {
    halt();
    endOutage();
    skipEntry(description);
}

// The entry is given up (the player already stopped): the next one, or the report.
void PlayStateMachine::skipEntry(const QString& description) {
    entries_.noteFailure(description);
    if (!entries_.empty()) {
        openNext();
        return;
    }
    phase_ = Phase::Failed;
    out_.setPlayState(MediaEngine::Ready);
    out_.reportError(entries_.takeFirstFailure());
}

void PlayStateMachine::markOpened() {
    if (opened_) {
        return;
    }
    opened_ = true;
    out_.setOpenState(MediaEngine::MediaOpen);
    out_.setPlayState(MediaEngine::Buffering);
}

// Connected only once audio flows: a server that answers and then sends nothing times out
// as well.
void PlayStateMachine::markPlaying() {
    markOpened();
    out_.stopTimer(Timer::Connect);
    phase_ = Phase::Playing;
    audioStarted_ = true;
    entries_.audioPlayed();
    // From here on the log explains a drop, not the opening.
    log_.clear();
    reconnect_.playing(now_());
    out_.setPlayState(MediaEngine::Playing);
    out_.startTimer(Timer::Stall, timings_.stallTimeout);
}

// --- Reconnecting a live stream ---

bool PlayStateMachine::reconnectable() const {
    return audioStarted_ && !lengthKnown_ && timings_.reconnectWindow.count() > 0;
}

void PlayStateMachine::dropped(DropCause cause) {
    QString fallback = u"the stream failed"_s;
    if (cause == DropCause::Ended) {
        fallback = u"the server closed the stream"_s;
    } else if (cause == DropCause::Stalled) {
        fallback = vlcmessages::noDataFor(timings_.stallTimeout);
    }
    if (reconnect_.drop(now_(), log_.reason(fallback))) {
        openCurrent(true);
    } else {
        retryLater();
    }
}

void PlayStateMachine::attemptFailed() {
    reconnect_.attemptFailed(log_.attemptReason());
    retryLater();
}

void PlayStateMachine::retryLater() {
    const std::optional<milliseconds> wait = reconnect_.nextWait(now_());
    if (!wait) {
        failEntry(vlcmessages::connectionLost({}, current_, reconnect_.reason()));
        return;
    }
    halt();
    phase_ = Phase::RetryWait;
    // A stream that dropped soon after it came back shows as connecting again at once.
    out_.setOpenState(MediaEngine::MediaConnecting);
    out_.setPlayState(MediaEngine::Waiting);
    out_.startTimer(Timer::Backoff, *wait);
}

std::optional<PlayStateMachine::Outage> PlayStateMachine::reconnecting() const {
    if (phase_ != Phase::RetryWait && phase_ != Phase::Reconnecting) {
        return std::nullopt;
    }
    return Outage{reconnect_.since(), reconnect_.reason()};
}

}  // namespace lyrevane
