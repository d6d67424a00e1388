#pragma once

#include "engine/mediaengine.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>

namespace lyrevane {

// One line of the programme's rundown: a title with the clock time it began and how long ago
// ("15:32  Opening bell  12 min ago"), or a lost connection ("connection lost 15:07–15:08");
// `at` is where it begins in the kept programme, `playing` marks the one that plays.
struct RundownRow {
    QString text;
    std::chrono::milliseconds at{0};
    bool playing = false;
    bool gap = false;
};

// The rundown of `items` (oldest first) for a listener at `position`, at the time `now`.
QList<RundownRow> rundownRows(const QList<MediaEngine::ProgrammeItem>& items,
                              std::chrono::milliseconds position, const QDateTime& now);

// Where the listener is, as the timeline says it: "12:30 behind live", or "Live".
QString timelineText(std::chrono::milliseconds behind);

}  // namespace lyrevane
