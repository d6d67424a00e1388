#include "vlc/enginemetadata.h"

#include "engine/nowplaying.h"
#include "engine/vlcmessages.h"
#include "net/mediagateway.h"

#include <QUrl>

namespace lyrevane {

void EngineMetadata::set(const QString& station, const QString& title) {
    if (station == station_ && title == title_) {
        return;
    }
    station_ = station;
    title_ = title;
    changed_();
}

void EngineMetadata::read(const VlcPlayer::Metadata& meta, const MediaGateway& gateway) {
    // Without a station name libVLC names the media after its address or its file (the
    // gateway's or the real one, percent-decoded or not); that is no station.
    QString station = DecodeIcyText(meta.title);
    const QUrl handed(meta.mrl);
    const QUrl address(gateway.upstreamOf(handed.toString()));
    const QString named = gateway.upstreamOf(station);
    if (station == address.fileName() || station == address.fileName(QUrl::FullyDecoded) ||
        station == handed.fileName() || station == handed.fileName(QUrl::FullyDecoded) ||
        named == address.toString() || named == address.toString(QUrl::FullyDecoded) ||
        (gateway.isListening() && station.contains(gateway.origin()))) {
        station.clear();
    }
    QString title = DecodeIcyText(meta.nowPlaying);
    if (!IsMeaningfulTitle(title)) {
        title.clear();
    }
    set(station, title);
}

void EngineMetadata::followOutage(const std::optional<PlayStateMachine::Outage>& outage,
                                  std::chrono::milliseconds now) {
    QString text;
    if (outage) {
        // The local time is taken once per outage, so that it stays as first shown.
        if (outage->since != outageSince_) {
            outageSince_ = outage->since;
            outageClock_ =
                QTime::currentTime().addMSecs(-static_cast<int>((now - outage->since).count()));
        }
        text = vlcmessages::reconnectingSince(outageClock_, outage->reason);
    }
    if (text != reconnecting_) {
        reconnecting_ = text;
        changed_();
    }
}

void EngineMetadata::showSeconds(qint64 behind, qint64 recorded) {
    if (behind != shownBehind_ || recorded != shownRecorded_) {
        shownBehind_ = behind;
        shownRecorded_ = recorded;
        changed_();
    }
}

}  // namespace lyrevane
