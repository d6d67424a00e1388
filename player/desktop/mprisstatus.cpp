#include "desktop/mprisstatus.h"

#include <algorithm>
#include <cmath>

#include "engine/mediaengine.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QString playbackStatusFor(int playState) {
    switch (playState) {
        case MediaEngine::Playing:
        case MediaEngine::Buffering:
        case MediaEngine::Waiting:
        case MediaEngine::Transitioning:
            return u"Playing"_s;
        case MediaEngine::Paused:
            return u"Paused"_s;
        default:
            return u"Stopped"_s;
    }
}

MprisStatus readMprisStatus(const MediaEngine& engine, int track) {
    MprisStatus status;
    status.playbackStatus = playbackStatusFor(engine.playState());
    // MPRIS asks whether Play and Pause can be used at all, not whether the play bar shows
    // them now: both can whenever a stream is loaded (playing, paused, connecting, stopped).
    status.canPlay = !engine.url().isEmpty();
    status.canPause = status.canPlay;
    status.canSeek = engine.keptBeforePosition().count() > 0 || engine.behindLive().count() > 0;
    status.volume = std::clamp(engine.volume(), 0, 100) / 100.0;
    status.url = engine.url();
    status.station = engine.stationName();
    status.title = engine.nowPlaying();
    status.track = track;
    return status;
}

QStringList changedPlayerProperties(const MprisStatus& before, const MprisStatus& after) {
    QStringList changed;
    if (before.playbackStatus != after.playbackStatus) {
        changed.append(u"PlaybackStatus"_s);
    }
    if (before.canPlay != after.canPlay) {
        changed.append(u"CanPlay"_s);
    }
    if (before.canPause != after.canPause) {
        changed.append(u"CanPause"_s);
    }
    if (before.canSeek != after.canSeek) {
        changed.append(u"CanSeek"_s);
    }
    if (before.volume != after.volume) {
        changed.append(u"Volume"_s);
    }
    if (before.url != after.url || before.station != after.station || before.title != after.title ||
        before.track != after.track) {
        changed.append(u"Metadata"_s);
    }
    return changed;
}

int volumeFromMpris(double volume) {
    if (std::isnan(volume) || volume <= 0.0) {
        return 0;
    }
    if (volume >= 1.0) {
        return 100;
    }
    return static_cast<int>(std::lround(volume * 100.0));
}

TitleParts splitStreamTitle(const QString& streamTitle) {
    const QString text = streamTitle.trimmed();
    const qsizetype separator = text.indexOf(u" - "_s);
    if (separator <= 0) {
        return {QString(), text};
    }
    return {text.left(separator).trimmed(), text.mid(separator + 3).trimmed()};
}

}  // namespace lyrevane
