#pragma once

#include "engine/playstatemachine.h"

#include <QString>
#include <QTime>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace lyrevane {

// What the engine tells of what is heard beside the play state: the station's name and the
// title, the reconnecting text during an outage, how far behind live and how long recorded
// (whole seconds, as last shown). Each change is announced once, through `changed`.
class EngineMetadata {
public:
    explicit EngineMetadata(std::function<void()> changed) : changed_(std::move(changed)) {}

    const QString& station() const { return station_; }
    const QString& title() const { return title_; }
    const QString& reconnecting() const { return reconnecting_; }

    void set(const QString& station, const QString& title);
    // Follows the machine's outage into reconnecting(); `now` is on the machine's clock.
    void followOutage(const std::optional<PlayStateMachine::Outage>& outage,
                      std::chrono::milliseconds now);
    // Shows how far behind live and how long recorded (-1: not recording).
    void showSeconds(qint64 behind, qint64 recorded);
    // A new stream starts at live.
    void atLive() { shownBehind_ = 0; }
    void recordingStopped() { shownRecorded_ = -1; }
    void announce() { changed_(); }

private:
    std::function<void()> changed_;
    QString station_;
    QString title_;
    QString reconnecting_;
    qint64 shownBehind_ = 0;
    qint64 shownRecorded_ = -1;
    std::optional<std::chrono::milliseconds> outageSince_;  // on the machine's clock
    QTime outageClock_;                                     // the same, in local time
};

}  // namespace lyrevane
