#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

namespace lyrevane {

// The media engine as the player drives it: a URL, transport commands, availability
// queries, a 0-100 volume, open-state and play-state numbers, and an error queue.
// Implementations emit their signals on the GUI thread only.
class MediaEngine : public QObject {
    Q_OBJECT

public:
    // Open states (the numbers the player's status texts are keyed on).
    enum OpenState {
        OpenUndefined = 0,
        PlaylistOpenNoMedia = 1,
        PlaylistChanged = 2,
        PlaylistConnecting = 3,  // "Retrieving playlist..."
        PlaylistOpening = 6,
        PlaylistOpened = 8,
        MediaConnecting = 10,  // "Connecting to media..."
        MediaOpening = 12,
        MediaOpen = 13,
        Closed = 19,
    };
    // Play states.
    enum PlayState {
        PlayUndefined = 0,
        Stopped = 1,
        Paused = 2,
        Playing = 3,
        Buffering = 6,
        Waiting = 7,
        MediaEnded = 8,
        Transitioning = 9,
        Ready = 10,
    };
    enum class Control { Play, Pause, Stop };

    using QObject::QObject;
    ~MediaEngine() override = default;

    // Replaces the current media and starts it (auto start).
    virtual void setUrl(const QString& url) = 0;
    virtual QString url() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual bool isAvailable(Control control) const = 0;
    // 0..100, kept by the engine across media changes.
    virtual void setVolume(int volume) = 0;
    virtual int volume() const = 0;
    virtual int openState() const = 0;
    virtual int playState() const = 0;
    // The error queue; it is never cleared by reading.
    virtual int errorCount() const = 0;
    virtual QString errorDescription(int index) const = 0;
    // What the stream says it plays: the station's name and the current title; empty
    // when unknown. Both are cleared when a new connection starts.
    virtual QString stationName() const { return {}; }
    virtual QString nowPlaying() const { return {}; }
    // While a dropped stream is being reconnected, since when and why, in the words the
    // listener sees ("Reconnecting since 15:07: Connection refused"); empty otherwise.
    virtual QString reconnecting() const { return {}; }
    // How far behind live the listener is: a live stream that was paused plays on from where
    // it was, while what arrives meanwhile is kept. Zero when live.
    virtual std::chrono::milliseconds behindLive() const { return {}; }
    // Whether keeping what arrives had to stop (its limit, or a disk with too little room).
    virtual bool keepingStopped() const { return false; }
    // Plays the stream live again.
    virtual void catchUpToLive() {}
    // A live stream's last hour is kept while it plays: how much of it lies before what plays.
    virtual std::chrono::milliseconds keptBeforePosition() const { return {}; }
    // Moves what plays by `by` (back when negative) within what is kept, never past live;
    // returns how far it moved (announced through positionJumped).
    virtual std::chrono::milliseconds moveInProgramme(std::chrono::milliseconds) { return {}; }
    // Plays faster, the pitch kept, until live is reached; catchingUp() says while it does.
    virtual void catchUpFaster() {}
    virtual bool catchingUp() const { return false; }
    // What is known of the kept programme, oldest first: each title, and each lost connection,
    // with where it begins (from the oldest audio kept, as keptBeforePosition counts) and when
    // it arrived. Live lies at keptBeforePosition() + behindLive().
    struct ProgrammeItem {
        std::chrono::milliseconds at{0};
        QDateTime arrived;
        QString title;
        bool gap = false;
        QDateTime back;  // a gap's end
        int merged = 0;  // later items merged into it (under a flood of titles)
    };
    virtual QList<ProgrammeItem> programme() const { return {}; }
    // Records from `at` in the kept programme (the start of an item) on.
    virtual void recordFrom(std::chrono::milliseconds) {}
    // Recording the stream as it arrives: why it cannot be recorded now (empty when it can),
    // starting and stopping, and how long the recording is (-1 when there is none).
    virtual QString recordRefusal() const { return QStringLiteral("Nothing is playing."); }
    virtual void setRecording(bool) {}
    virtual qint64 recordingSeconds() const { return -1; }

Q_SIGNALS:
    void openStateChanged(int state);
    void playStateChanged(int state);
    void errorOccurred();
    // stationName(), nowPlaying(), reconnecting(), behindLive() or the recording changed.
    void metadataChanged();
    // What plays jumped within the kept programme (moved, or caught up to live).
    void positionJumped();
    // Something the listener should read about the recording (it could not start, the disk
    // filled, where it was saved when that failed) or about what a paused stream keeps.
    void recordingMessage(const QString& text);
};

}  // namespace lyrevane
