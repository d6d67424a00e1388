#pragma once

#include "engine/playattempt.h"
#include "engine/playentries.h"
#include "engine/playevents.h"
#include "engine/playlog.h"
#include "engine/playoutput.h"
#include "engine/reconnectpolicy.h"

#include <QString>

#include <chrono>
#include <functional>

namespace lyrevane {

// Where a PlayStateMachine stands.
enum class PlayPhase {
    Idle,           // nothing set, or stopped
    Connecting,     // an entry is opening, no audio yet
    Playing,        // audio flows
    Paused,         // paused in place by the media library
    PausedDropped,  // paused by closing the stream (live or not pausable)
    RetryWait,      // a live stream dropped; waiting before the next attempt
    Reconnecting,   // a live stream dropped; an attempt is opening
    Ended,          // the last entry played to its end
    Failed,         // every entry failed; the error was reported
};

// The state a PlayStateMachine keeps, and the steps its transitions are made of: opening the
// entries a URL leads to in turn, giving an entry up for the next one, marking an attempt
// open and then playing, and reconnecting a dropped live stream. The machine decides which
// steps each event takes in each phase; the steps give out their commands through `out_`.
class PlaySteps {
public:
    using Clock = std::function<std::chrono::milliseconds()>;

protected:
    // Why a live stream was dropped, when libVLC's log says nothing.
    enum class DropCause { Ended, Failed, Stalled };

    PlaySteps(PlayTimings timings, Clock now);

    void startFromTop();
    void openNext();
    void openCurrent(bool reconnecting);
    void failEntry(const QString& description);
    void skipEntry(const QString& description);
    void reach(PlayAttempt::Reached reached);
    void markOpened();
    void markPlaying();
    void dropped(DropCause cause);
    void attemptFailed();
    void retryLater();
    void endOutage() { reconnect_.end(); }
    void halt() { out_.haltPlayer(); }
    bool opening() const {
        return phase_ == PlayPhase::Connecting || phase_ == PlayPhase::Reconnecting;
    }
    bool reconnectable() const;

    PlayTimings timings_;
    Clock now_;
    PlayOutput out_;

    PlayPhase phase_ = PlayPhase::Idle;
    bool hasMedia_ = false;
    QString url_;

    // The entry opened last and the entries still to try.
    QString current_;
    PlayEntries entries_;

    // The current attempt at the current entry, and the error lines logged about them.
    PlayAttempt attempt_;
    PlayLog log_;

    // Reconnecting a dropped live stream.
    ReconnectPolicy reconnect_;
};

}  // namespace lyrevane
