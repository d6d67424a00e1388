#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

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

// The timers a PlayStateMachine asks for.
enum class PlayTimer { Connect, Stall, Backoff };
inline constexpr int kPlayTimerCount = 3;

// What happened, as a PlayStateMachine takes it: from the user, the media library and the
// timers.
struct PlayEvent {
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
    PlayTimer timer = PlayTimer::Connect;
};

// What to do, as a PlayStateMachine asks for it.
struct PlayCommand {
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
    PlayTimer timer = PlayTimer::Connect;
    std::chrono::milliseconds duration{0};

    bool operator==(const PlayCommand&) const = default;
};

// The events, made for a PlayStateMachine's callers.
struct PlayEvents {
    static PlayEvent userSetUrl(const QString& url);
    static PlayEvent user(PlayEvent::Kind kind, bool flag = false);
    static PlayEvent timerFired(PlayTimer timer);
    static PlayEvent timeAdvanced(qint64 ms, bool lengthKnown);
    static PlayEvent endReached(const QStringList& subItems = {});
    static PlayEvent logError(const QString& line);
    static PlayEvent openFailed(const QString& why = {});
    static PlayEvent refused(const QString& why);
};

}  // namespace lyrevane
