#include "scheduler/schedulerservice.h"

#include "scheduler/schedulerlog.h"

#include <QUrl>

#include <algorithm>

#include "common/datevalue.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

Occurrence occurrenceOn(const Broadcast& broadcast, QDate day, qint16 startEarlierOffset) {
    // The time of day of `Time`; a day part it may carry is dropped because the day
    // mask already names local days.
    const QTime time = datevalue::timePart(broadcast.Time);
    QDateTime moment(day, time);
    if (!moment.isValid()) {
        // The time falls in the hour skipped when clocks go forward: an hour before it,
        // plus an hour of real time, is the moment the clock shows it would have been.
        moment = QDateTime(day, time.addSecs(-3600)).addSecs(3600);
    }
    return {day, moment.addSecs(-qint64(startEarlierOffset) * 60),
            moment.addSecs(qint64(SchedulerService::kWindowAfterMinutes) * 60)};
}

QString playCommandUrl(const QString& mediaUrl) {
    return u"lyrev:play?"_s + QString::fromLatin1(QUrl::toPercentEncoding(mediaUrl));
}

SchedulerService::SchedulerService(SettingsProvider& store, const Clock& clock,
                                   LaunchHandler launch)
    : store_(store), clock_(clock), launch_(std::move(launch)) {}

bool SchedulerService::loadSchedule(bool force) {
    const bool flagged = readReloadFlag(store_);
    if (!force && !flagged) {
        return false;
    }
    if (flagged) {
        // The read and the lowering of the flag are one transaction: a schedule saved
        // meanwhile is either read now or raises the flag again for the next tick.
        if (std::optional<Schedule> taken = takeReloadedSchedule(store_)) {
            schedule_ = std::move(*taken);
            logSchedule();
            return true;
        }
        // The flag could not be lowered (the store is not writable): read anyway, and
        // read again while the flag stays up.
        qCDebug(lcScheduler) << "the reload flag could not be lowered: read again next tick";
    }
    schedule_ = readSchedule(store_);
    logSchedule();
    return true;
}

void SchedulerService::logSchedule() const {
    qCDebug(lcScheduler).noquote().nospace()
        << "schedule read: " << schedule_.Broadcasts.size() << " broadcast(s), automatic launch "
        << (schedule_.AutoLaunchEnabled ? "on" : "off - nothing is launched") << ", windows open "
        << schedule_.StartEarlierOffset << " min early";
}

void SchedulerService::tick() {
    loadSchedule(false);
    if (!schedule_.AutoLaunchEnabled) {
        return;
    }
    const QDateTime now = clock_.now();
    for (const Broadcast& broadcast : schedule_.Broadcasts) {
        checkBroadcast(broadcast, now);
    }
}

namespace {

constexpr qint64 kSecsPerDay = 86400;
// Clock changes move local time by at most a few hours; outside this margin plain
// wall-clock arithmetic decides, and the exact local-time check is skipped.
constexpr qint64 kClockChangeMargin = 3 * 3600;

qint64 wallSeconds(QDate day, QTime time) {
    return day.toJulianDay() * kSecsPerDay + time.msecsSinceStartOfDay() / 1000;
}

}  // namespace

void SchedulerService::checkBroadcast(const Broadcast& broadcast, const QDateTime& now) {
    const QDate today = now.date();
    const qint64 nowWall = wallSeconds(today, now.time());
    const qint64 todayStart = wallSeconds(today, QTime(0, 0));
    // A day the store refused to record counts as recorded.
    const QDate handledThrough = std::max(datevalue::datePart(broadcast.LastActive),
                                          unrecorded_.value(foldKey(broadcast.Name)));
    const qint64 timeOfDay = datevalue::timePart(broadcast.Time).msecsSinceStartOfDay() / 1000;
    const qint64 offset = qint64(schedule_.StartEarlierOffset) * 60;
    // A window may open days before its day (a large offset) or close on the day after,
    // so every day whose window can reach today is considered, in date order.
    const int lastShift = 1 + qMax(0, int(schedule_.StartEarlierOffset)) / (24 * 60);
    QDate openDay;
    QDate missedDay;
    for (int shift = -1; shift <= lastShift; ++shift) {
        const QDate day = today.addDays(shift);
        const int bit = day.dayOfWeek() % 7;  // Sunday = bit 0
        if ((broadcast.Days & (1 << bit)) == 0 || day <= handledThrough) {
            continue;
        }
        const qint64 moment = day.toJulianDay() * kSecsPerDay + timeOfDay;
        const qint64 start = moment - offset;
        const qint64 end = moment + kWindowAfterMinutes * 60;
        if (nowWall + kClockChangeMargin < start || end + kClockChangeMargin < todayStart) {
            continue;  // certainly not open yet, or certainly closed before today
        }
        if (end - kClockChangeMargin >= todayStart && end + kClockChangeMargin < nowWall) {
            missedDay = day;  // certainly closed earlier today
            continue;
        }
        const Occurrence occurrence = occurrenceOn(broadcast, day, schedule_.StartEarlierOffset);
        if (occurrence.end.date() < today) {
            continue;  // closed before today began: not today's business
        }
        if (occurrence.start <= now && now <= occurrence.end) {
            openDay = day;  // overlapping windows launch once, for the latest day
        } else if (now > occurrence.end) {
            missedDay = day;
        }
    }
    if (openDay.isValid()) {
        qCDebug(lcScheduler).noquote()
            << "launch window open for" << broadcast.Name << "on" << openDay.toString(Qt::ISODate);
    } else if (missedDay.isValid()) {
        qCDebug(lcScheduler).noquote()
            << "window missed for" << broadcast.Name << "on" << missedDay.toString(Qt::ISODate)
            << "(closed before a tick saw it open): not launched";
    }
    if (openDay.isValid()) {
        launch_(broadcast);
        // Recorded whatever becomes of the launch: it is not handed on again for that day.
        record(broadcast, openDay);
    } else if (missedDay.isValid()) {
        record(broadcast, missedDay);
    }
}

void SchedulerService::record(const Broadcast& broadcast, QDate day) {
    const QString key = foldKey(broadcast.Name);
    if (recordLastActive(store_, broadcast.Name, day)) {
        unrecorded_.remove(key);  // the store holds it; the flagged reload reads it back
        return;
    }
    // The store refused the write (a full disk, a read-only file): remember the day
    // here, so that the broadcast does not launch again at every tick.
    qCDebug(lcScheduler).noquote() << "the store did not record" << day.toString(Qt::ISODate)
                                   << "for" << broadcast.Name << "- kept in memory";
    QDate& remembered = unrecorded_[key];
    remembered = std::max(remembered, day);
}

}  // namespace lyrevane
