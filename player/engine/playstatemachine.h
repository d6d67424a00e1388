#pragma once

#include "engine/playentries.h"
#include "engine/playevents.h"
#include "engine/playlog.h"
#include "engine/playoutput.h"
#include "engine/reconnectpolicy.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace lyrevane {

// The play state of the media engine, free of any media library: what happened goes in
// as events (from the media library, the user and the timers), and what to do comes out
// as commands (open an entry, stop the player, start or stop a timer, publish an open or
// play state, report an error). Every transition is made in `handle()`.
//
// Entries are URLs: the URL that was set, then the entries of each playlist it leads to,
// played in order; an entry that fails is skipped for the next one. A live entry (no known
// length) that ends, fails or stalls after its audio started is reconnected with backoff
// for `reconnectWindow` before the loss is reported. A stream that comes back and drops
// again before `steadyAfter` continues the same outage, so that a server that sends a
// moment of audio and closes is not hammered.
class PlayStateMachine {
public:
    using Timer = PlayTimer;
    static constexpr int kTimerCount = kPlayTimerCount;
    using Event = PlayEvent;
    using Command = PlayCommand;

    enum class Phase {
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

    using Clock = std::function<std::chrono::milliseconds()>;

    // `now` is a monotonic clock; the steady clock when empty.
    explicit PlayStateMachine(PlayTimings timings = {}, Clock now = {});

    // Runs one event and returns the commands, in the order they are to be carried out.
    std::vector<Command> handle(const Event& event);

    Phase phase() const { return phase_; }
    bool hasMedia() const { return hasMedia_; }
    QString url() const { return url_; }
    int openState() const { return out_.openState(); }
    int playState() const { return out_.playState(); }
    bool canPlay() const;
    bool canPause() const;
    bool canStop() const;
    const PlayTimings& timings() const { return timings_; }
    // The machine's clock.
    std::chrono::milliseconds now() const { return now_(); }

    // While a dropped live stream is being reconnected (waiting or opening an attempt):
    // since when, on the machine's clock, and why, in plain words (the newest reason).
    struct Outage {
        std::chrono::milliseconds since{0};
        QString reason;
    };
    std::optional<Outage> reconnecting() const;
    void setConnectTimeout(std::chrono::milliseconds timeout) { timings_.connectTimeout = timeout; }

    // Convenience constructors for events.
    static Event userSetUrl(const QString& url);
    static Event user(Event::Kind kind, bool flag = false);
    static Event timerFired(Timer timer);
    static Event timeAdvanced(qint64 ms, bool lengthKnown);
    static Event endReached(const QStringList& subItems = {});
    static Event logError(const QString& line);
    static Event openFailed(const QString& why = {});
    static Event refused(const QString& why);

private:
    // Why a live stream was dropped, when libVLC's log says nothing.
    enum class DropCause { Ended, Failed, Stalled };

    void setUrl(const QString& url);
    void play();
    void pause(bool canPauseInPlace);
    void stop();
    void opened();
    void buffering(qint64 percent);
    void audioTrack();
    void timeAdvanced(bool lengthKnown);
    void onEndReached(const QStringList& subItems);
    void error();
    void onTimerFired(Timer timer);

    void startFromTop();
    void openNext();
    void openCurrent(bool reconnecting);
    void failEntry(const QString& description);
    void skipEntry(const QString& description);
    void markOpened();
    void markPlaying();
    void dropped(DropCause cause);
    void attemptFailed();
    void retryLater();
    void endOutage() { reconnect_.end(); }
    void halt() { out_.haltPlayer(); }
    bool opening() const { return phase_ == Phase::Connecting || phase_ == Phase::Reconnecting; }
    bool reconnectable() const;

    PlayTimings timings_;
    Clock now_;
    PlayOutput out_;

    Phase phase_ = Phase::Idle;
    bool hasMedia_ = false;
    QString url_;

    // The entry opened last and the entries still to try.
    QString current_;
    PlayEntries entries_;

    // The current attempt at the current entry.
    bool libraryPlaying_ = false;  // the media library opened it (its demuxer runs)
    bool sawAudio_ = false;
    bool opened_ = false;  // reported as open and buffering
    bool audioStarted_ = false;
    bool lengthKnown_ = false;
    qint64 lastTime_ = -1;
    PlayLog log_;

    // Reconnecting a dropped live stream.
    ReconnectPolicy reconnect_;
};

}  // namespace lyrevane
