#include "common/schedule.h"

#include "common/typedvalues.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace schedulekeys {
QString time(const QString& name) {
    return u"BROADCAST_"_s + name + u"_TIME"_s;
}
QString mediaUrl(const QString& name) {
    return u"BROADCAST_"_s + name + u"_MEDIAURL"_s;
}
QString days(const QString& name) {
    return u"BROADCAST_"_s + name + u"_DAYS"_s;
}
QString lastActive(const QString& name) {
    return u"BROADCAST_"_s + name + u"_LASTACTIVE"_s;
}
QString record(const QString& name) {
    return u"BROADCAST_"_s + name + u"_RECORD"_s;
}
}  // namespace schedulekeys

Schedule readSchedule(SettingsProvider& store) {
    return scheduleFromSection(store.readSection(kAppName, kSchedulerSection));
}

std::optional<Schedule> takeReloadedSchedule(SettingsProvider& store) {
    const std::optional<SectionSnapshot> section = store.readSectionThenWrite(
        kAppName, kSchedulerSection, schedulekeys::DoUpdate, formatBool(false));
    if (!section) {
        return std::nullopt;
    }
    return scheduleFromSection(*section);
}

Schedule scheduleFromSection(const SectionSnapshot& section) {
    Schedule schedule;
    schedule.AutoLaunchEnabled =
        parseBool(section.value(schedulekeys::AutoLaunchEnabled, QStringLiteral("True")))
            .value_or(true);
    schedule.StartEarlierOffset =
        parseInt16(section.value(schedulekeys::StartEarlierOffset, QStringLiteral("5")))
            .value_or(qint16(5));
    const QStringList names = splitNames(section.value(schedulekeys::BroadcastList));
    schedule.Broadcasts.reserve(names.size());
    for (const QString& name : names) {
        Broadcast b;
        b.Name = name;
        b.Time =
            datevalue::parse(section.value(schedulekeys::time(name), QStringLiteral("00:00:00")))
                .value_or(0.0);
        b.MediaURL = section.value(schedulekeys::mediaUrl(name), QStringLiteral("http://"));
        b.Days = parseInt16(section.value(schedulekeys::days(name), QStringLiteral("127")))
                     .value_or(qint16(127));
        b.LastActive = datevalue::parse(section.value(schedulekeys::lastActive(name),
                                                      QStringLiteral("1/1/1900")))
                           .value_or(datevalue::kNever);
        // Stores from before recording have no key: not recorded.
        b.Record = parseBool(section.value(schedulekeys::record(name), QStringLiteral("False")))
                       .value_or(false);
        schedule.Broadcasts.append(std::move(b));
    }
    return schedule;
}

double lastActiveToStore(const Broadcast& broadcast, const QDateTime& now) {
    if (broadcast.LastActive == datevalue::kNever && datevalue::timeOfDay(now) > broadcast.Time) {
        return datevalue::fromDate(now.date());
    }
    return broadcast.LastActive;
}

bool writeSchedule(SettingsProvider& store, const Schedule& schedule, const QDateTime& now) {
    KeyValueList values;
    values.reserve(3 + 5 * schedule.Broadcasts.size() + 1);
    values.append(
        {schedulekeys::AutoLaunchEnabled.toString(), formatBool(schedule.AutoLaunchEnabled)});
    values.append({schedulekeys::StartEarlierOffset.toString(),
                   QString::number(schedule.StartEarlierOffset)});
    QStringList names;
    names.reserve(schedule.Broadcasts.size());
    for (const Broadcast& b : schedule.Broadcasts) {
        values.append({schedulekeys::time(b.Name), datevalue::format(b.Time)});
        values.append({schedulekeys::mediaUrl(b.Name), b.MediaURL});
        values.append({schedulekeys::days(b.Name), QString::number(b.Days)});
        values.append(
            {schedulekeys::lastActive(b.Name), datevalue::format(lastActiveToStore(b, now))});
        values.append({schedulekeys::record(b.Name), formatBool(b.Record)});
        names.append(b.Name);
    }
    values.append({schedulekeys::BroadcastList.toString(), joinNames(names)});
    values.append({schedulekeys::DoUpdate.toString(), formatBool(true)});
    return store.rewriteSection(kAppName, kSchedulerSection, values);
}

bool readReloadFlag(SettingsProvider& store) {
    return parseBool(store.readSetting(kAppName, kSchedulerSection, schedulekeys::DoUpdate,
                                       QStringLiteral("False")))
        .value_or(false);
}

bool recordLastActive(SettingsProvider& store, const QString& name, QDate day) {
    // One transaction: the date and the flag that makes readers reload it.
    return store.writeSettings(
        kAppName, kSchedulerSection,
        {{schedulekeys::lastActive(name), datevalue::format(datevalue::fromDate(day))},
         {schedulekeys::DoUpdate.toString(), formatBool(true)}});
}

}  // namespace lyrevane
