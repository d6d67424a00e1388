#pragma once

#include "engine/mediaengine.h"
#include "feed/feedpacing.h"
#include "feed/feedrecording.h"
#include "feed/timeshift.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace lyrevane {

class EngineMetadata;
class FeedBuffer;
class FeedPlayer;
class FeedSource;
class PlayStateMachine;

// A fed live stream beyond what the media library does with it: its pace, set by its cushion; the
// last hour of it, kept from the moment it plays, within which what plays can move (back, forward,
// faster, live again); its recording; and what is heard of it (the title, how far behind live,
// how long recorded), shown through the metadata.
class FedStream final : public QObject {
    Q_OBJECT

public:
    // Where the kept programme goes beyond memory, and where recordings go; empty for the
    // defaults. `message` tells the listener what went wrong.
    FedStream(FeedPlayer& player, const FeedSource& source, const PlayStateMachine& machine,
              EngineMetadata& metadata, QString timeShiftFolder, QString recordingFolder,
              std::function<void(const QString&)> message, QObject* parent = nullptr);

    // The stream's title changed at byte `position` of what arrived.
    void titleArrived(const QString& title, quint64 position);
    // The connection to the stream ended (where and when, for the gap marked once audio comes
    // again).
    void connectionEnded();

    // A new connection, read into `buffer`: a recording goes on across connections, the gap
    // noted.
    void connecting(FeedBuffer& buffer);
    // The connection was lost while behind live; the gap is marked once audio comes again.
    void rejoining();
    // A new stream is set and about to play: it starts at live, and is kept from here on.
    void starting();

    // What arrives from here on puts the listener further behind live; false when not fed.
    bool pauseInPlace();
    void resumed();
    std::chrono::milliseconds behind() const;
    bool isBehind() const;
    // How much of the programme is kept before what plays.
    std::chrono::milliseconds keptBefore() const;
    // Older audio could no longer be kept (the disk is full).
    bool keepingStopped() const;
    // Moves what plays by `by` within what is kept, never past live; returns how far it moved.
    // Paused, it stays paused there and plays from there once resumed.
    std::chrono::milliseconds move(std::chrono::milliseconds by, bool paused = false);
    // Plays faster, the pitch kept, until live is reached.
    void catchUpFaster();
    bool catchingUp() const { return catchingUp_; }
    QList<MediaEngine::ProgrammeItem> programme() const;

    QString recordRefusal() const;
    // Records from here on, or from `from` in the kept programme when given; a title that
    // plays and is still kept is recorded from its start.
    void setRecording(bool on, std::optional<std::chrono::milliseconds> from = std::nullopt);
    qint64 recordingSeconds() const { return recording_.seconds(); }
    // Ends a recording, telling the listener when that went wrong.
    void stopRecording();
    // Ends a recording silently (the engine is going).
    void abandonRecording() { recording_.stop(nullptr); }

private:
    // Plays the stream a little slower while its cushion is short, and follows what is heard.
    void governCushion();
    void followAudioHeard();
    QString timeShiftFolder() const;
    // The rate of the audio: as measured from what plays, else as declared (bounded).
    int audioRate() const;
    std::uint64_t keepLimit() const;
    void stopCatchingUp();
    // Where the audio heard is: the reader runs ahead of it by what libVLC has read and not yet
    // played (its own cache), reckoned from where it began reading and how long it has played.
    std::uint64_t heardPosition(const FeedBuffer& buffer) const;
    std::uint64_t unheard(const FeedBuffer& buffer) const;

    FeedPlayer& player_;
    const FeedSource& source_;
    const PlayStateMachine& machine_;
    EngineMetadata& metadata_;
    const QString timeShiftFolder_;
    const QString recordingFolder_;
    const std::function<void(const QString&)> message_;
    FeedPacing pacing_;
    QTimer cushionTimer_;
    TimeShift shift_;
    bool keptAllTold_ = false;
    bool catchingUp_ = false;
    bool couldGoBack_ = false;
    bool startOnResume_ = false;  // moved while paused: libVLC starts again on resume
    std::uint64_t readFrom_ = 0;  // where libVLC began reading the buffer, its time 0
    QElapsedTimer catchUpClock_;
    // A connection lost while behind live: where and when, until audio comes again.
    std::optional<std::pair<std::uint64_t, QDateTime>> lost_;
    std::optional<std::pair<std::uint64_t, QDateTime>> ended_;  // the last stream's end
    FeedRecording recording_;
};

}  // namespace lyrevane
