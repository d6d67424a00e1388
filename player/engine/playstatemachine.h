#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace lyrevane {

// Timing of opening, watching and reconnecting a stream.
struct PlayTimings {
    // How long an entry may take from opening to its first audio.
    std::chrono::milliseconds connectTimeout{20000};
    // Playing without the time advancing this long counts as a dropped connection.
    std::chrono::milliseconds stallTimeout{10000};
    // A dropped live stream is reconnected for this long (the programme's length) before
    // the loss is reported: a Wi-Fi or ISP outage of some minutes does not end it.
    std::chrono::milliseconds reconnectWindow{std::chrono::minutes(60)};
    // Waits between reconnection attempts: the first attempt is immediate, then the
    // wait starts at `firstBackoff` and doubles up to `maxBackoff` (1, 2, 4, 8, 15, 15 s).
    std::chrono::milliseconds firstBackoff{1000};
    std::chrono::milliseconds maxBackoff{15000};
    // Only a stream that has played this long since it came back ends its outage: one
    // that drops sooner goes on with the same outage, its backoff and its window.
    std::chrono::milliseconds steadyAfter{30000};
    // Shortest time given to a reconnection attempt near the end of the window.
    std::chrono::milliseconds minAttemptTimeout{3000};
};

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
    enum class Timer { Connect, Stall, Backoff };
    static constexpr int kTimerCount = 3;

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

    struct Event {
        enum class Kind {
            // The user's.
            SetUrl,  // text: the URL, empty to clear
            Play,
            Pause,  // flag: the media can pause in place (seekable with a known length)
            Stop,
            CatchUp,  // drop what a live stream kept while behind, and play it live
            // The media library's, about the entry last opened.
            Opened,  // its demuxer runs ("playing" in libVLC's words)
            PausedInPlace,
            Buffering,     // number: cache fill in percent
            AudioTrack,    // an audio track appeared
            TimeAdvanced,  // number: position in ms; flag: the length is known
            EndReached,    // list: the entry's sub-items (a playlist's entries), if any
            Error,
            OpenFailed,  // the entry could not be handed to the player; text: why, or empty
            Refused,     // the entry leads to a source the media rules refuse; text: why
            LogError,    // text: an error line the media library logged
            // Timers started by a StartTimer command.
            TimerFired,  // timer
        };
        Kind kind = Kind::Play;
        QString text;
        QStringList list;
        qint64 number = 0;
        bool flag = false;
        Timer timer = Timer::Connect;
    };

    struct Command {
        enum class Kind {
            OpenEntry,  // text: URL; stops what plays, then opens and plays it
            HaltPlayer,
            PauseInPlace,
            ResumeInPlace,
            StartTimer,  // timer, duration
            StopTimer,   // timer
            SetOpenState,
            SetPlayState,
            ReportError,  // text
        };
        Kind kind = Kind::HaltPlayer;
        QString text;
        int state = 0;
        Timer timer = Timer::Connect;
        std::chrono::milliseconds duration{0};

        // A short readable form, for logs and tests.
        QString toString() const;
        bool operator==(const Command&) const = default;
    };

    using Clock = std::function<std::chrono::milliseconds()>;

    // `now` is a monotonic clock; the steady clock when empty.
    explicit PlayStateMachine(PlayTimings timings = {}, Clock now = {});

    // Runs one event and returns the commands, in the order they are to be carried out.
    std::vector<Command> handle(const Event& event);

    Phase phase() const { return phase_; }
    bool hasMedia() const { return hasMedia_; }
    QString url() const { return url_; }
    int openState() const { return openState_; }
    int playState() const { return playState_; }
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
    void endOutage();
    void halt();
    bool opening() const { return phase_ == Phase::Connecting || phase_ == Phase::Reconnecting; }
    bool reconnectable() const;
    std::chrono::milliseconds remainingWindow() const;

    void emitCommand(Command next);
    void startTimer(Timer timer, std::chrono::milliseconds duration);
    void stopTimer(Timer timer);
    void stopAllTimers();
    void setOpenState(int state);
    void setPlayState(int state);
    void reportError(const QString& description);

    PlayTimings timings_;
    Clock now_;
    std::vector<Command> out_;
    std::array<bool, kTimerCount> timerRunning_{};

    Phase phase_ = Phase::Idle;
    bool hasMedia_ = false;
    QString url_;
    int openState_ = 0;
    int playState_ = 0;

    // The entry opened last and the entries still to try.
    QString current_;
    std::deque<QString> pending_;
    int expansions_ = 0;         // playlists opened since the URL was set, against loops
    QSet<QString> expanded_;     // those playlists
    int opensWithoutAudio_ = 0;  // entries opened since the URL was set or audio last played
    QString firstFailure_;       // first entry failure since audio last played

    // The current attempt at the current entry.
    bool libraryPlaying_ = false;  // the media library opened it (its demuxer runs)
    bool sawAudio_ = false;
    bool opened_ = false;  // reported as open and buffering
    bool audioStarted_ = false;
    bool lengthKnown_ = false;
    qint64 lastTime_ = -1;
    QStringList log_;         // error lines since the entry was opened, across reconnections
    QStringList attemptLog_;  // error lines since the current reconnection attempt opened

    // Reconnecting a dropped live stream: an outage lasts from the drop until the stream
    // has played for `steadyAfter`, or the listener stops it or plays something else.
    bool outage_ = false;
    std::chrono::milliseconds outageStart_{0};
    std::chrono::milliseconds playingSince_{0};
    std::chrono::milliseconds nextBackoff_{0};
    QString reason_;  // why, in plain words: the newest error line, or the drop
};

}  // namespace lyrevane
