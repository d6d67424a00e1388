#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

#include "common/clock.h"
#include "scheduler/launchconfirmation.h"

namespace lyrevane {

// Broadcasts the listener wants recorded: once a player plays one that the scheduler
// started, that player is asked to record it, and asked to stop after `limit` unless the
// stream ended first (the player stopped, went away, plays another stream or ended the
// recording itself: then nothing is left to do). Driven from outside like
// LaunchConfirmation: Confirmed when a player plays a broadcast, Observe with what the bus
// shows, Tick with the time.
class BroadcastRecordings {
public:
    static constexpr std::chrono::hours kLimit{2};

    struct Recording {
        QString name;
        QString time;
        QString mediaUrl;
        QString player;  // the bus name of the player asked to record
        QDateTime until;
        bool seenRecording = false;  // the player has said it records
    };

    // Asks the player with that bus name to start (true) or stop recording.
    using Recorder = std::function<void(const QString& player, bool on)>;

    BroadcastRecordings(const Clock& clock, Recorder recorder,
                        std::chrono::milliseconds limit = kLimit);

    // A player plays a launched or due broadcast: recorded when the broadcast asks for it,
    // unless that player records already (the listener's own recording is not ours to end).
    void confirmed(const PendingLaunch& launch, const PlayerReport& player);
    // The player refused to record: the recording it was asked for, to be reported.
    std::optional<Recording> refused(const QString& player);
    // The players the bus shows now: recordings whose stream ended are forgotten.
    void observe(const QList<PlayerReport>& players);
    // Stops the recordings whose time is up.
    void tick();

    bool isActive() const { return !recordings_.isEmpty(); }
    // When the next recording is to stop; nullopt when none runs.
    std::optional<QDateTime> nextStop() const;
    const QList<Recording>& active() const { return recordings_; }

private:
    const Clock& clock_;
    Recorder recorder_;
    std::chrono::milliseconds limit_;
    QList<Recording> recordings_;
};

}  // namespace lyrevane
