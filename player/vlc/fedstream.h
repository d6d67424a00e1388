#pragma once

#include "engine/timeshift.h"
#include "vlc/feedpacing.h"
#include "vlc/feedrecording.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace lyrevane {

class EngineMetadata;
class EntryOpener;
class FeedBuffer;
class PlayStateMachine;
class StreamFeed;
class VlcPlayer;

// A fed live stream beyond what libVLC does with it: its pace, set by its cushion; what arrives
// while it is paused, kept so that play goes on where it was; its recording; and what is heard
// of it (the title, how far behind live, how long recorded), shown through the metadata.
class FedStream final : public QObject {
    Q_OBJECT

public:
    // Where a paused stream keeps what arrives beyond memory, and where recordings go; empty
    // for the defaults. `message` tells the listener what went wrong.
    FedStream(VlcPlayer& player, const EntryOpener& opener, const PlayStateMachine& machine,
              EngineMetadata& metadata, StreamFeed& feed, QString timeShiftFolder,
              QString recordingFolder, std::function<void(const QString&)> message,
              QObject* parent = nullptr);

    // A new connection, read into `buffer`: a recording goes on across connections, the gap
    // noted.
    void connecting(FeedBuffer& buffer);
    void rejoining() { recording_.noteGap(); }
    // A new stream is set and about to play: it starts at live.
    void starting();

    // Keeps what arrives from here on (up to an hour and a half); false when not fed.
    bool pauseInPlace();
    void resumed() { shift_.resumed(); }
    std::chrono::milliseconds behind() const { return shift_.behind(); }
    bool isBehind() const { return shift_.isPaused() || shift_.behind().count() > 0; }
    // Paused for so long that no more could be kept.
    bool keepingStopped() const;

    QString recordRefusal() const;
    void setRecording(bool on);
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

    VlcPlayer& player_;
    const EntryOpener& opener_;
    const PlayStateMachine& machine_;
    EngineMetadata& metadata_;
    const QString timeShiftFolder_;
    const QString recordingFolder_;
    const std::function<void(const QString&)> message_;
    FeedPacing pacing_;
    QTimer cushionTimer_;
    TimeShift shift_;
    bool keptAllTold_ = false;
    FeedRecording recording_;
};

}  // namespace lyrevane
