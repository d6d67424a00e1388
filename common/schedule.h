#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include "common/datevalue.h"
#include "common/settingsprovider.h"

// The broadcast schedule as both programs keep it in section "v1_0\Scheduler".
namespace lyrevane {

inline constexpr QStringView kSchedulerSection = u"v1_0\\Scheduler";

namespace schedulekeys {
inline constexpr QStringView AutoLaunchEnabled = u"AutoLaunchEnabled";
inline constexpr QStringView StartEarlierOffset = u"StartEarlierOffset";
inline constexpr QStringView BroadcastList = u"BroadcastList";
inline constexpr QStringView DoUpdate = u"DoUpdate";
QString time(const QString& name);        // "BROADCAST_" + name + "_TIME"
QString mediaUrl(const QString& name);    // ... "_MEDIAURL"
QString days(const QString& name);        // ... "_DAYS"
QString lastActive(const QString& name);  // ... "_LASTACTIVE"
QString record(const QString& name);      // ... "_RECORD"
}  // namespace schedulekeys

struct Broadcast {
    QString Name;
    double Time = 0.0;  // time of day; may carry a day part
    QString MediaURL = QStringLiteral("http://");
    qint16 Days = 127;  // bit 0 Sunday .. bit 6 Saturday
    double LastActive = datevalue::kNever;
    bool Record = false;  // the scheduler asks the player that plays it to record it

    bool operator==(const Broadcast&) const = default;
};

struct Schedule {
    bool AutoLaunchEnabled = true;
    qint16 StartEarlierOffset = 5;
    QList<Broadcast> Broadcasts;

    bool operator==(const Schedule&) const = default;
};

// Reads the whole section as one snapshot. Missing keys and values that do not
// convert take the defaults.
Schedule readSchedule(SettingsProvider& store);
// The schedule held in one snapshot of the section.
Schedule scheduleFromSection(const SectionSnapshot& section);
// Reads the schedule and lowers the reload flag in one transaction, so that a rewrite
// by another program lands either before the read or after it with the flag raised
// again; never in between. nullopt when the store could not do it.
std::optional<Schedule> takeReloadedSchedule(SettingsProvider& store);

// Rewrites the whole section in one transaction: options, each broadcast's keys in
// list order, the name list, and "DoUpdate" = "True" last. A never-run broadcast whose
// time of day has already passed at `now` is stored as done today.
bool writeSchedule(SettingsProvider& store, const Schedule& schedule, const QDateTime& now);

// The "_LASTACTIVE" value that writeSchedule stores for `broadcast` at `now`.
double lastActiveToStore(const Broadcast& broadcast, const QDateTime& now);

// Reload handshake.
bool readReloadFlag(SettingsProvider& store);
// Records `day` as the broadcast's last-active day, then raises the reload flag.
bool recordLastActive(SettingsProvider& store, const QString& name, QDate day);

}  // namespace lyrevane
