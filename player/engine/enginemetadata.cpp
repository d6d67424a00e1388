#include "engine/enginemetadata.h"

#include "engine/vlcmessages.h"

namespace lyrevane {

void EngineMetadata::set(const QString& station, const QString& title) {
    if (station == station_ && title == title_) {
        return;
    }
    station_ = station;
    title_ = title;
    changed_();
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
