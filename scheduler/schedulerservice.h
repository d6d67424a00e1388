#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>

#include <functional>

#include "common/clock.h"
#include "common/schedule.h"
#include "common/settingsprovider.h"

namespace lyrevane {

// One occurrence of a broadcast: the local day it belongs to and its launch window.
struct Occurrence {
    QDate day;
    QDateTime start;  // Time on `day` minus the offset
    QDateTime end;    // Time on `day` plus 45 minutes
};

// The occurrence of `broadcast` on `day` with the given offset, in real local time.
Occurrence occurrenceOn(const Broadcast& broadcast, QDate day, qint16 startEarlierOffset);

// "lyrev:play?" and the media URL percent-encoded (UTF-8, all but unreserved
// characters), so that the player's decoding gives back exactly the stored URL,
// escapes such as "%20" or "%2B" in it included.
QString playCommandUrl(const QString& mediaUrl);

// Polls the schedule and hands due broadcasts to whoever launches them.
class SchedulerService {
public:
    static constexpr int kTickIntervalMs = 5000;
    static constexpr int kWindowAfterMinutes = 45;

    // Receives each due broadcast once per day; it decides whether and how to launch it. The
    // day is recorded when the broadcast is handed on, whatever becomes of the launch.
    using LaunchHandler = std::function<void(const Broadcast& broadcast)>;

    SchedulerService(SettingsProvider& store, const Clock& clock, LaunchHandler launch);

    // Reloads the in-memory schedule when forced or when the reload flag is raised,
    // and lowers the flag after a flagged reload. Returns true when it reloaded.
    bool loadSchedule(bool force);
    // One timer tick: reload if flagged, then launch or mark missed what is due.
    void tick();

    const Schedule& schedule() const { return schedule_; }

private:
    // Launches or marks missed the occurrences of one broadcast around `now`.
    void checkBroadcast(const Broadcast& broadcast, const QDateTime& now);
    void logSchedule() const;
    // Records `day` as the broadcast's last-active day, in the store and in memory.
    void record(const Broadcast& broadcast, QDate day);

    SettingsProvider& store_;
    const Clock& clock_;
    LaunchHandler launch_;
    Schedule schedule_;
    // Days the store refused to record, by folded broadcast name.
    QHash<QString, QDate> unrecorded_;
};

}  // namespace lyrevane
