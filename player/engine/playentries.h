#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>

namespace lyrevane {

// The entries a URL leads to, in the order they are tried: the URL, then the entries of each
// playlist read on the way. Bounded against playlists that lead back to themselves and
// against lists of entries of which none plays.
class PlayEntries {
public:
    // Starts again from `url` alone.
    void restart(const QString& url);
    void clear() { pending_.clear(); }
    bool empty() const { return pending_.empty(); }
    // Takes the next entry; false when it would be one entry too many without audio.
    bool takeNext(QString& entry);
    // Puts `entry` first again (to open it once more, keeping the rest).
    void again(const QString& entry) { pending_.push_front(entry); }
    // Puts the entries of `playlist` first, leaving out those that lead back to a playlist
    // already read; false when none is left or too many playlists were read.
    bool expand(const QString& playlist, const QStringList& entries);
    // Audio played: the budget of entries without audio and the failures start again.
    void audioPlayed();
    // Keeps the first failure since audio last played; the one to report.
    void noteFailure(const QString& description);
    QString takeFirstFailure();

    static constexpr int kMaxOpensWithoutAudio = 20;

private:
    std::deque<QString> pending_;
    int expansions_ = 0;         // playlists opened since the URL was set, against loops
    QSet<QString> expanded_;     // those playlists
    int opensWithoutAudio_ = 0;  // entries opened since the URL was set or audio last played
    QString firstFailure_;       // first entry failure since audio last played
};

}  // namespace lyrevane
