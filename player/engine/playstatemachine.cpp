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
using CommandKind = PlayStateMachine::Command::Kind;

constexpr int kMaxPlaylistExpansions = 16;
constexpr int kMaxOpensWithoutAudio = 20;
constexpr qsizetype kMaxLoggedErrors = 32;

PlayStateMachine::Command command(CommandKind kind) {
    PlayStateMachine::Command result;
    result.kind = kind;
    return result;
}

std::size_t timerIndex(PlayStateMachine::Timer timer) {
    return static_cast<std::size_t>(timer);
}

}  // namespace

std::vector<PlayStateMachine::Command> PlayStateMachine::handle(const Event& event) {
    out_.clear();
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
                pending_.push_front(current_);
                openNext();
            }
            break;
        case Kind::Opened:
            opened();
            break;
        case Kind::PausedInPlace:
            if (phase_ == Phase::Playing) {
                stopTimer(Timer::Stall);
                phase_ = Phase::Paused;
                setPlayState(MediaEngine::Paused);
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
                failEntry(event.text.isEmpty() ? vlcmessages::openFailure(log_, current_)
                                               : event.text);
            }
            break;
        case Kind::Refused:
            // Never retried: the entry is skipped, whatever it was doing.
            if (opening() || phase_ == Phase::Playing || phase_ == Phase::RetryWait) {
                failEntry(event.text);
            }
            break;
        case Kind::LogError:
            if ((opening() || phase_ == Phase::Playing || phase_ == Phase::RetryWait) &&
                log_.size() < kMaxLoggedErrors) {
                log_.append(event.text);
            }
            if (phase_ == Phase::Reconnecting && attemptLog_.size() < kMaxLoggedErrors) {
                attemptLog_.append(event.text);
            }
            break;
        case Kind::TimerFired:
            if (timerRunning_[timerIndex(event.timer)]) {
                timerRunning_[timerIndex(event.timer)] = false;
                onTimerFired(event.timer);
            }
            break;
    }
    return std::exchange(out_, {});
}

bool PlayStateMachine::canPlay() const {
    return hasMedia_ && playState_ != MediaEngine::Playing;
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
        pending_.clear();
        current_.clear();
        hasMedia_ = false;
        phase_ = Phase::Idle;
        setOpenState(MediaEngine::Closed);
        setPlayState(MediaEngine::Stopped);
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
            emitCommand(command(CommandKind::ResumeInPlace));
            return;
        case Phase::PausedDropped:
            // Open the entry again, keeping the rest of the playlist.
            pending_.push_front(current_);
            openNext();
            return;
        case Phase::RetryWait:
            // Play while waiting to reconnect: try now.
            stopTimer(Timer::Backoff);
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
        emitCommand(command(CommandKind::PauseInPlace));
        return;
    }
    halt();
    endOutage();
    phase_ = Phase::PausedDropped;
    setPlayState(MediaEngine::Paused);
}

void PlayStateMachine::stop() {
    if (!hasMedia_) {
        return;
    }
    halt();
    endOutage();
    pending_.clear();
    phase_ = Phase::Idle;
    setPlayState(MediaEngine::Stopped);
}

// --- The media library's events ---

void PlayStateMachine::opened() {
    libraryPlaying_ = true;
    if (phase_ == Phase::Paused) {
        phase_ = Phase::Playing;
        setPlayState(MediaEngine::Playing);
        startTimer(Timer::Stall, timings_.stallTimeout);
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
        startTimer(Timer::Stall, timings_.stallTimeout);
    }
}

void PlayStateMachine::onEndReached(const QStringList& subItems) {
    if (!opening() && phase_ != Phase::Playing) {
        return;
    }
    // A playlist ends as soon as it is read; its entries are its sub-items.
    // Entries that lead back to a playlist already read are left out: a playlist that lists
    // itself, or two that list each other, would otherwise be read again and again.
    if (!subItems.isEmpty()) {
        expanded_.insert(current_);
        QStringList fresh;
        for (const QString& item : subItems) {
            if (!expanded_.contains(item)) {
                fresh.append(item);
            }
        }
        if (fresh.isEmpty() || ++expansions_ > kMaxPlaylistExpansions) {
            failEntry(vlcmessages::playlistLoops(current_));
            return;
        }
        for (auto it = fresh.crbegin(); it != fresh.crend(); ++it) {
            pending_.push_front(*it);
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
        if (!pending_.empty()) {
            openNext();
            return;
        }
        phase_ = Phase::Ended;
        setPlayState(MediaEngine::MediaEnded);
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
            failEntry(vlcmessages::openFailure(log_, current_));
            return;
        case Phase::Reconnecting:
            attemptFailed();
            return;
        case Phase::Playing:
            if (reconnectable()) {
                dropped(DropCause::Failed);
            } else {
                failEntry(vlcmessages::connectionLost(log_, current_));
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
                    failEntry(vlcmessages::connectionLost(
                        log_, current_, vlcmessages::noDataFor(timings_.stallTimeout)));
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
    pending_.clear();
    firstFailure_.clear();
    expansions_ = 0;
    expanded_.clear();
    opensWithoutAudio_ = 0;
    pending_.push_back(url_);
    openNext();
}

void PlayStateMachine::openNext() {
    if (pending_.empty()) {
        halt();
        phase_ = Phase::Ended;
        setPlayState(MediaEngine::MediaEnded);
        return;
    }
    current_ = pending_.front();
    pending_.pop_front();
    log_.clear();
    endOutage();
    // One budget of requests for entries that bring no audio: playlists and failures.
    if (++opensWithoutAudio_ > kMaxOpensWithoutAudio) {
        pending_.clear();
        skipEntry(vlcmessages::tooManyEntries(url_, kMaxOpensWithoutAudio));
        return;
    }
    openCurrent(false);
}

// Opens the current entry, as a new entry or as an attempt to reconnect a dropped one.
void PlayStateMachine::openCurrent(bool reconnecting) {
    stopAllTimers();
    phase_ = reconnecting ? Phase::Reconnecting : Phase::Connecting;
    libraryPlaying_ = false;
    sawAudio_ = false;
    opened_ = false;
    audioStarted_ = false;
    lengthKnown_ = false;
    lastTime_ = -1;
    attemptLog_.clear();
    const bool playlist = !reconnecting && vlcmessages::looksLikePlaylist(current_);
    setOpenState(playlist ? MediaEngine::PlaylistConnecting : MediaEngine::MediaConnecting);
    setPlayState(MediaEngine::Transitioning);
    Command open = command(CommandKind::OpenEntry);
    open.text = current_;
    emitCommand(open);
    milliseconds timeout = timings_.connectTimeout;
    if (reconnecting) {
        timeout = std::min(timeout, std::max(remainingWindow(), timings_.minAttemptTimeout));
    }
    startTimer(Timer::Connect, timeout);
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
    if (firstFailure_.isEmpty()) {
        firstFailure_ = description;
    }
    if (!pending_.empty()) {
        openNext();
        return;
    }
    phase_ = Phase::Failed;
    setPlayState(MediaEngine::Ready);
    reportError(std::exchange(firstFailure_, QString()));
}

void PlayStateMachine::markOpened() {
    if (opened_) {
        return;
    }
    opened_ = true;
    setOpenState(MediaEngine::MediaOpen);
    setPlayState(MediaEngine::Buffering);
}

// Connected only once audio flows: a server that answers and then sends nothing times out
// as well.
void PlayStateMachine::markPlaying() {
    markOpened();
    stopTimer(Timer::Connect);
    phase_ = Phase::Playing;
    audioStarted_ = true;
    firstFailure_.clear();
    // From here on the log explains a drop, not the opening.
    log_.clear();
    playingSince_ = now_();
    opensWithoutAudio_ = 0;
    setPlayState(MediaEngine::Playing);
    startTimer(Timer::Stall, timings_.stallTimeout);
}

// --- Reconnecting a live stream ---

bool PlayStateMachine::reconnectable() const {
    return audioStarted_ && !lengthKnown_ && timings_.reconnectWindow.count() > 0;
}

// A new outage tries again at once; a drop soon after the stream came back continues the
// outage it came back from, with its next wait.
void PlayStateMachine::dropped(DropCause cause) {
    QString fallback = u"the stream failed"_s;
    if (cause == DropCause::Ended) {
        fallback = u"the server closed the stream"_s;
    } else if (cause == DropCause::Stalled) {
        fallback = vlcmessages::noDataFor(timings_.stallTimeout);
    }
    reason_ = vlcmessages::reason(log_, fallback);
    if (outage_ && now_() - playingSince_ < timings_.steadyAfter) {
        retryLater();
        return;
    }
    outage_ = true;
    outageStart_ = now_();
    nextBackoff_ = timings_.firstBackoff;
    openCurrent(true);
}

// An attempt that failed with a reason in the log gives the newest reason; one that says
// nothing (timed out, closed at once) leaves the last one.
void PlayStateMachine::attemptFailed() {
    if (const QString reason = vlcmessages::reason(attemptLog_); !reason.isEmpty()) {
        reason_ = reason;
    }
    retryLater();
}

void PlayStateMachine::retryLater() {
    const milliseconds remaining = remainingWindow();
    if (remaining.count() <= 0) {
        failEntry(vlcmessages::connectionLost({}, current_, reason_));
        return;
    }
    halt();
    const milliseconds wait = std::min(nextBackoff_, remaining);
    nextBackoff_ = std::min(nextBackoff_ * 2, timings_.maxBackoff);
    phase_ = Phase::RetryWait;
    // A stream that dropped soon after it came back shows as connecting again at once.
    setOpenState(MediaEngine::MediaConnecting);
    setPlayState(MediaEngine::Waiting);
    startTimer(Timer::Backoff, wait);
}

void PlayStateMachine::endOutage() {
    outage_ = false;
    reason_.clear();
}

milliseconds PlayStateMachine::remainingWindow() const {
    return timings_.reconnectWindow - (now_() - outageStart_);
}

std::optional<PlayStateMachine::Outage> PlayStateMachine::reconnecting() const {
    if (phase_ != Phase::RetryWait && phase_ != Phase::Reconnecting) {
        return std::nullopt;
    }
    return Outage{outageStart_, reason_};
}

void PlayStateMachine::halt() {
    stopAllTimers();
    emitCommand(command(CommandKind::HaltPlayer));
}

}  // namespace lyrevane
