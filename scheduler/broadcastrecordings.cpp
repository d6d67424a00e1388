#include "scheduler/broadcastrecordings.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

BroadcastRecordings::BroadcastRecordings(const Clock& clock, Recorder recorder,
                                         std::chrono::milliseconds limit)
    : clock_(clock), recorder_(std::move(recorder)), limit_(limit) {}

void BroadcastRecordings::confirmed(const PendingLaunch& launch, const PlayerReport& player) {
    if (!launch.record || player.recording) {
        return;
    }
    for (const Recording& recording : recordings_) {
        if (recording.player == player.id && sameStream(player.url, recording.mediaUrl)) {
            return;  // the same stream in the same player: one recording, one limit
        }
    }
    recordings_.append({launch.name, launch.time, launch.mediaUrl, player.id,
                        clock_.now().addMSecs(limit_.count())});
    recorder_(player.id, true);
}

std::optional<BroadcastRecordings::Recording> BroadcastRecordings::refused(const QString& player) {
    for (qsizetype i = recordings_.size() - 1; i >= 0; --i) {
        if (recordings_[i].player == player) {
            return recordings_.takeAt(i);
        }
    }
    return std::nullopt;
}

void BroadcastRecordings::observe(const QList<PlayerReport>& players) {
    for (qsizetype i = 0; i < recordings_.size();) {
        Recording& recording = recordings_[i];
        const PlayerReport* player = nullptr;
        for (const PlayerReport& candidate : players) {
            if (candidate.id == recording.player) {
                player = &candidate;
            }
        }
        // A player reconnecting a dropped stream still records: its Recording says so.
        const bool ended = player == nullptr || !sameStream(player->url, recording.mediaUrl) ||
                           (!player->recording &&
                            (recording.seenRecording || player->playbackStatus == u"Stopped"));
        if (ended) {
            recordings_.removeAt(i);
            continue;
        }
        recording.seenRecording = recording.seenRecording || player->recording;
        ++i;
    }
}

void BroadcastRecordings::tick() {
    const QDateTime now = clock_.now();
    for (qsizetype i = 0; i < recordings_.size();) {
        if (now >= recordings_[i].until) {
            const QString player = recordings_.takeAt(i).player;
            recorder_(player, false);
        } else {
            ++i;
        }
    }
}

std::optional<QDateTime> BroadcastRecordings::nextStop() const {
    std::optional<QDateTime> next;
    for (const Recording& recording : recordings_) {
        if (!next || recording.until < *next) {
            next = recording.until;
        }
    }
    return next;
}

}  // namespace lyrevane
