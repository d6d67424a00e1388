#include "engine/playentries.h"

#include <utility>

namespace lyrevane {

namespace {

constexpr int kMaxPlaylistExpansions = 16;

}  // namespace

void PlayEntries::restart(const QString& url) {
    pending_.clear();
    firstFailure_.clear();
    expansions_ = 0;
    expanded_.clear();
    opensWithoutAudio_ = 0;
    pending_.push_back(url);
}

// One budget of requests for entries that bring no audio: playlists and failures.
bool PlayEntries::takeNext(QString& entry) {
    entry = pending_.front();
    pending_.pop_front();
    return ++opensWithoutAudio_ <= kMaxOpensWithoutAudio;
}

// A playlist that lists itself, or two that list each other, would otherwise be read again
// and again.
bool PlayEntries::expand(const QString& playlist, const QStringList& entries) {
    expanded_.insert(playlist);
    QStringList fresh;
    for (const QString& item : entries) {
        if (!expanded_.contains(item)) {
            fresh.append(item);
        }
    }
    if (fresh.isEmpty() || ++expansions_ > kMaxPlaylistExpansions) {
        return false;
    }
    for (auto it = fresh.crbegin(); it != fresh.crend(); ++it) {
        pending_.push_front(*it);
    }
    return true;
}

void PlayEntries::audioPlayed() {
    firstFailure_.clear();
    opensWithoutAudio_ = 0;
}

void PlayEntries::noteFailure(const QString& description) {
    if (firstFailure_.isEmpty()) {
        firstFailure_ = description;
    }
}

QString PlayEntries::takeFirstFailure() {
    return std::exchange(firstFailure_, QString());
}

}  // namespace lyrevane
