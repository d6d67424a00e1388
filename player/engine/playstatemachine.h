#pragma once

#include "engine/playevents.h"
#include "engine/playsteps.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <vector>

namespace lyrevane {

// The play state of the media engine, free of any media library: what happened goes in
// as events (from the media library, the user and the timers), and what to do comes out
// as commands (open an entry, stop the player, start or stop a timer, publish an open or
// play state, report an error). Every transition is decided in `handle()`: which of the
// PlaySteps each event takes in the phase it finds.
//
// Entries are URLs: the URL that was set, then the entries of each playlist it leads to,
// played in order; an entry that fails is skipped for the next one. A live entry (no known
// length) that ends, fails or stalls after its audio started is reconnected with backoff
// for `reconnectWindow` before the loss is reported. A stream that comes back and drops
// again before `steadyAfter` continues the same outage, so that a server that sends a
// moment of audio and closes is not hammered.
class PlayStateMachine : public PlayEvents, private PlaySteps {
public:
    using Timer = PlayTimer;
    static constexpr int kTimerCount = kPlayTimerCount;
    using Event = PlayEvent;
    using Command = PlayCommand;

    using Phase = PlayPhase;
    using Clock = PlaySteps::Clock;

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

private:
    void setUrl(const QString& url);
    void play();
    void pause(bool canPauseInPlace);
    void stop();
    void opened();
    void buffering(qint64 percent);
    void audioTrack();
    void onTimeAdvanced(PlayAttempt::Reached reached);
    void onEndReached(const QStringList& subItems);
    void error();
    void onTimerFired(Timer timer);
    void logChange(Event::Kind kind, Phase before, const std::vector<Command>& commands) const;
};

}  // namespace lyrevane
