#pragma once

#include <QString>
#include <QStringList>

namespace lyrevane {

class MediaEngine;

// What the desktop's media controls see of the player: the MPRIS player interface's
// properties, taken from the media engine. Plain values, so that changes can be found by
// comparing two of them.
struct MprisStatus {
    QString playbackStatus = QStringLiteral("Stopped");  // "Playing", "Paused" or "Stopped"
    bool canPlay = false;   // a stream is loaded: Play and PlayPause act
    bool canPause = false;  // the same: Pause acts (on a live stream it stops)
    double volume = 0.5;    // 0.0 to 1.0
    // A live stream has audio kept before or after what plays: Seek and SetPosition move in it.
    bool canSeek = false;
    QString url;
    QString station;
    QString title;
    // Changes with every new stream, so that clients see a new track.
    int track = 0;

    bool operator==(const MprisStatus&) const = default;
};

// The MPRIS playback status for the engine's play state. A live stream that is
// connecting or buffering counts as playing, as the play bar shows it.
QString playbackStatusFor(int playState);

MprisStatus readMprisStatus(const MediaEngine& engine, int track);

// Names of the player interface's properties that differ between two statuses, in the
// interface's order ("PlaybackStatus", "CanPlay", "CanPause", "CanSeek", "Volume", "Metadata").
QStringList changedPlayerProperties(const MprisStatus& before, const MprisStatus& after);

// An MPRIS volume (any double, NaN included) as the play bar's 0-100 value.
int volumeFromMpris(double volume);

// "Artist - Title", as many stations send it, split at its first " - "; the artist is
// empty when there is no such separator.
struct TitleParts {
    QString artist;
    QString title;
};
TitleParts splitStreamTitle(const QString& streamTitle);

}  // namespace lyrevane
