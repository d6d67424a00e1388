#include "engine/playsteps.h"

#include "engine/mediaengine.h"
#include "engine/vlcmessages.h"

#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

using std::chrono::milliseconds;

PlaySteps::PlaySteps(PlayTimings timings, Clock now)
    : timings_(timings), now_(std::move(now)), reconnect_(timings) {
    if (!now_) {
        now_ = [] {
            return std::chrono::duration_cast<milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    }
}

// --- Entries ---

void PlaySteps::startFromTop() {
    halt();
    entries_.restart(url_);
    openNext();
}

void PlaySteps::openNext() {
    if (entries_.empty()) {
        halt();
        phase_ = PlayPhase::Ended;
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
void PlaySteps::openCurrent(bool reconnecting) {
    out_.stopAllTimers();
    phase_ = reconnecting ? PlayPhase::Reconnecting : PlayPhase::Connecting;
    attempt_.restart();
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
    out_.startTimer(PlayTimer::Connect, timeout);
}

// The current entry failed: try the next one, or report the first failure when none is
// left. Entries that fail before another one plays are not reported one by one.
void PlaySteps::failEntry(const QString& description) {
    halt();
    endOutage();
    skipEntry(description);
}

// The entry is given up (the player already stopped): the next one, or the report.
void PlaySteps::skipEntry(const QString& description) {
    entries_.noteFailure(description);
    if (!entries_.empty()) {
        openNext();
        return;
    }
    phase_ = PlayPhase::Failed;
    out_.setPlayState(MediaEngine::Ready);
    out_.reportError(entries_.takeFirstFailure());
}

// Takes an attempt that is opening as far as the media library's reports got it.
void PlaySteps::reach(PlayAttempt::Reached reached) {
    if (reached == PlayAttempt::Reached::Playing) {
        markPlaying();
    } else if (reached == PlayAttempt::Reached::Open) {
        markOpened();
    }
}

void PlaySteps::markOpened() {
    if (!attempt_.markOpened()) {
        return;
    }
    out_.setOpenState(MediaEngine::MediaOpen);
    out_.setPlayState(MediaEngine::Buffering);
}

void PlaySteps::markPlaying() {
    markOpened();
    out_.stopTimer(PlayTimer::Connect);
    phase_ = PlayPhase::Playing;
    attempt_.markPlaying();
    entries_.audioPlayed();
    // From here on the log explains a drop, not the opening.
    log_.clear();
    reconnect_.playing(now_());
    out_.setPlayState(MediaEngine::Playing);
    out_.startTimer(PlayTimer::Stall, timings_.stallTimeout);
}

// --- Reconnecting a live stream ---

bool PlaySteps::reconnectable() const {
    return attempt_.liveAudio() && timings_.reconnectWindow.count() > 0;
}

void PlaySteps::dropped(DropCause cause) {
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

void PlaySteps::attemptFailed() {
    reconnect_.attemptFailed(log_.attemptReason());
    retryLater();
}

void PlaySteps::retryLater() {
    const std::optional<milliseconds> wait = reconnect_.nextWait(now_());
    if (!wait) {
        failEntry(vlcmessages::connectionLost({}, current_, reconnect_.reason()));
        return;
    }
    halt();
    phase_ = PlayPhase::RetryWait;
    // A stream that dropped soon after it came back shows as connecting again at once.
    out_.setOpenState(MediaEngine::MediaConnecting);
    out_.setPlayState(MediaEngine::Waiting);
    out_.startTimer(PlayTimer::Backoff, *wait);
}

}  // namespace lyrevane
