#include "scheduler/schedulerservice.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <QTimeZone>
#include <functional>
#include <utility>

#include <ctime>

#include "../support/tempenv.h"
#include "../support/timezone.h"
#include "common/settingsstore.h"
#include "common/typedvalues.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;
namespace dv = lyrevane::datevalue;

namespace {

class FakeClock final : public Clock {
public:
    QDateTime now() const override { return now_; }
    void set(QDate day, QTime time) { now_ = QDateTime(day, time); }
    void set(const QDateTime& moment) { now_ = moment; }

private:
    QDateTime now_;
};

using lyrevane::testing::ScopedTimeZone;

// Monday 2026-12-07.
const QDate kMonday(2026, 12, 7);

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override { tz_ = std::make_unique<ScopedTimeZone>("UTC0"); }

    void save(const Schedule& s) {
        ASSERT_TRUE(store.rewriteSection(kAppName, kSchedulerSection, {}));  // start clean
        // Written as the dialog does, but without its last-active rule.
        KeyValueList values{{u"AutoLaunchEnabled"_s, formatBool(s.AutoLaunchEnabled)},
                            {u"StartEarlierOffset"_s, QString::number(s.StartEarlierOffset)}};
        QStringList names;
        for (const Broadcast& b : s.Broadcasts) {
            values.append({schedulekeys::time(b.Name), dv::format(b.Time)});
            values.append({schedulekeys::mediaUrl(b.Name), b.MediaURL});
            values.append({schedulekeys::days(b.Name), QString::number(b.Days)});
            values.append({schedulekeys::lastActive(b.Name), dv::format(b.LastActive)});
            names.append(b.Name);
        }
        values.append({u"BroadcastList"_s, names.join(u"$!"_s)});
        values.append({u"DoUpdate"_s, u"True"_s});
        ASSERT_TRUE(store.rewriteSection(kAppName, kSchedulerSection, values));
    }
    static Broadcast show(const QString& name, QTime time, qint16 days = 127,
                          double lastActive = dv::kNever) {
        return {name, dv::fromParts(dv::referenceDay(), time), u"http://radio.example/"_s + name,
                days, lastActive};
    }
    static Schedule one(const Broadcast& b, qint16 offset = 5) {
        Schedule s;
        s.StartEarlierOffset = offset;
        s.Broadcasts = {b};
        return s;
    }
    QString raw(QStringView key) {
        return store.readSetting(kAppName, kSchedulerSection, key, u"<absent>"_s);
    }
    // Ticks at `moment` and returns how many broadcasts it handed on to launch.
    qsizetype tickAt(const QDateTime& moment) {
        clock.set(moment);
        const qsizetype before = launched.size();
        service.tick();
        return launched.size() - before;
    }
    qsizetype tickAt(QDate day, QTime time) { return tickAt(QDateTime(day, time)); }

    std::unique_ptr<ScopedTimeZone> tz_;
    lyrevane::testing::TempXdg xdg;
    SqliteSettingsStore store;
    FakeClock clock;
    QList<Broadcast> launched;  // what the service handed on to launch, in order
    SchedulerService::LaunchHandler launch = [this](const Broadcast& b) { launched.append(b); };
    SchedulerService service{store, clock, launch};
};

TEST_F(SchedulerTest, WindowBoundsOfAFifteenHundredBroadcast) {
    save(one(show(u"Live"_s, QTime(15, 0))));
    service.loadSchedule(true);
    EXPECT_EQ(tickAt(kMonday, QTime(14, 54, 59)), 0);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Live"_s)), u"1/1/1900"_s);
    EXPECT_EQ(tickAt(kMonday, QTime(14, 55, 1)), 1);
    EXPECT_EQ(launched.back().MediaURL, u"http://radio.example/Live"_s);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Live"_s)), u"12/7/2026"_s);

    // Bounds are inclusive.
    save(one(show(u"Live"_s, QTime(15, 0))));
    EXPECT_EQ(tickAt(kMonday, QTime(14, 55, 0)), 1);
    save(one(show(u"Live"_s, QTime(15, 0))));
    EXPECT_EQ(tickAt(kMonday, QTime(15, 45, 0)), 1);
    save(one(show(u"Live"_s, QTime(15, 0))));
    EXPECT_EQ(tickAt(kMonday, QTime(15, 44, 59)), 1);

    // First tick of the day after the window: only marked as done.
    save(one(show(u"Live"_s, QTime(15, 0))));
    EXPECT_EQ(tickAt(kMonday, QTime(15, 45, 1)), 0);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Live"_s)), u"12/7/2026"_s);
    EXPECT_EQ(raw(u"DoUpdate"), u"True"_s);
}

TEST_F(SchedulerTest, LaunchesOnceAndTheHandshakeRuns) {
    save(one(show(u"Live"_s, QTime(15, 0))));
    service.loadSchedule(true);
    EXPECT_EQ(raw(u"DoUpdate"), u"False"_s);  // a flagged load lowers the flag
    EXPECT_EQ(tickAt(kMonday, QTime(15, 0)), 1);
    EXPECT_EQ(raw(u"DoUpdate"), u"True"_s);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 0, 5)), 0);
    EXPECT_EQ(raw(u"DoUpdate"), u"False"_s);
    EXPECT_EQ(service.schedule().Broadcasts[0].LastActive, dv::fromDate(kMonday));
    for (int i = 2; i < 40; ++i) {
        EXPECT_EQ(tickAt(kMonday, QTime(15, 0, 0).addSecs(5 * i)), 0);
    }
    // The next day it runs again.
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(15, 1)), 1);
}

TEST_F(SchedulerTest, UnflaggedLoadKeepsTheInMemoryCopy) {
    save(one(show(u"Live"_s, QTime(15, 0))));
    EXPECT_TRUE(service.loadSchedule(false));
    store.writeSetting(kAppName, kSchedulerSection, schedulekeys::mediaUrl(u"Live"_s),
                       u"http://changed"_s);
    EXPECT_FALSE(service.loadSchedule(false));
    EXPECT_EQ(service.schedule().Broadcasts[0].MediaURL, u"http://radio.example/Live"_s);
    // A forced load with the flag down reads but writes nothing.
    EXPECT_TRUE(service.loadSchedule(true));
    EXPECT_EQ(service.schedule().Broadcasts[0].MediaURL, u"http://changed"_s);
    EXPECT_EQ(raw(u"DoUpdate"), u"False"_s);
    store.deleteSection(kAppName, kSchedulerSection);
    EXPECT_TRUE(service.loadSchedule(true));
    EXPECT_EQ(raw(u"DoUpdate"), u"<absent>"_s);
}

TEST_F(SchedulerTest, AutoLaunchOffLaunchesNothingButHonoursTheFlag) {
    Schedule s = one(show(u"Live"_s, QTime(15, 0)));
    s.AutoLaunchEnabled = false;
    save(s);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 0)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(16, 0)), 0);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Live"_s)), u"1/1/1900"_s);
    EXPECT_EQ(raw(u"DoUpdate"), u"False"_s);
    // Turned back on: picked up at the next tick.
    store.writeSetting(kAppName, kSchedulerSection, u"AutoLaunchEnabled", u"True"_s);
    store.writeSetting(kAppName, kSchedulerSection, u"DoUpdate", u"True"_s);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 10)), 1);
}

TEST_F(SchedulerTest, SeveralDueBroadcastsLaunchInListOrder) {
    Schedule s;
    s.Broadcasts = {show(u"C"_s, QTime(15, 2)), show(u"Later"_s, QTime(18, 0)),
                    show(u"A"_s, QTime(15, 0)), show(u"B"_s, QTime(14, 30))};
    save(s);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 1)), 3);
    QStringList names;
    for (const Broadcast& b : launched) {
        names.append(b.Name);
    }
    EXPECT_EQ(names, (QStringList{u"C"_s, u"A"_s, u"B"_s}));
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Later"_s)), u"1/1/1900"_s);
}

TEST_F(SchedulerTest, DayMaskAndMediaUrlExactlyAsStored) {
    Broadcast b = show(u"Weekdays"_s, QTime(9, 0), 62);
    b.MediaURL = u"http://x.example/a b?c=%20&d=\u00e9"_s;
    save(one(b));
    const QDate sunday = kMonday.addDays(-1);
    EXPECT_EQ(tickAt(sunday, QTime(9, 0)), 0);
    EXPECT_EQ(tickAt(sunday, QTime(10, 0)), 0);  // not a day of the broadcast: not marked
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Weekdays"_s)), u"1/1/1900"_s);
    EXPECT_EQ(tickAt(kMonday, QTime(9, 0)), 1);
    EXPECT_EQ(launched.back().MediaURL, b.MediaURL);
    EXPECT_EQ(playCommandUrl(launched.back().MediaURL),
              u"lyrev:play?http%3A%2F%2Fx.example%2Fa%20b%3Fc%3D%2520%26d%3D%C3%A9"_s);
}

TEST_F(SchedulerTest, NegativeAndLargeOffsets) {
    save(one(show(u"Late"_s, QTime(15, 0)), -10));
    EXPECT_EQ(tickAt(kMonday, QTime(15, 9, 59)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 10)), 1);

    // Below -45 the window is empty: only ever marked as missed.
    save(one(show(u"Never"_s, QTime(15, 0)), -46));
    EXPECT_EQ(tickAt(kMonday, QTime(15, 45, 30)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 46)), 0);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Never"_s)), u"12/7/2026"_s);

    save(one(show(u"Early"_s, QTime(15, 0)), 600));
    EXPECT_EQ(tickAt(kMonday, QTime(4, 59)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(5, 0)), 1);

    // Windows longer than a day overlap: one launch, recorded for the latest day.
    save(one(show(u"Huge"_s, QTime(15, 0)), 2000));
    EXPECT_EQ(tickAt(kMonday, QTime(16, 0)), 1);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Huge"_s)), u"12/8/2026"_s);
    EXPECT_EQ(tickAt(kMonday, QTime(16, 0, 5)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(16, 0, 10)), 0);
}

TEST_F(SchedulerTest, WindowThatOpensBeforeMidnight) {
    // 00:02 with offset 5 opens at 23:57 the day before, launching for its own day.
    save(one(show(u"Owl"_s, QTime(0, 2), 1 << 1)));  // Mondays only
    const QDate sunday = kMonday.addDays(-1);
    EXPECT_EQ(tickAt(sunday, QTime(23, 56, 59)), 0);
    EXPECT_EQ(tickAt(sunday, QTime(23, 57)), 1);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Owl"_s)), u"12/7/2026"_s);
    EXPECT_EQ(tickAt(sunday, QTime(23, 59, 59)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(0, 1)), 0);
    EXPECT_EQ(tickAt(kMonday, QTime(0, 40)), 0);
    // Not on Monday night: Tuesday is not in the mask.
    EXPECT_EQ(tickAt(kMonday, QTime(23, 58)), 0);
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 2)), 0);
}

TEST_F(SchedulerTest, WindowThatClosesAfterMidnight) {
    save(one(show(u"Night"_s, QTime(23, 30))));
    EXPECT_EQ(tickAt(kMonday, QTime(23, 59, 55)), 1);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Night"_s)), u"12/7/2026"_s);
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 0, 0)), 0);
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 10)), 0);

    // Not yet launched at midnight (the computer was off): launched at 00:10 for
    // yesterday's occurrence, and only once.
    save(one(show(u"Night"_s, QTime(23, 30))));
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 10)), 1);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Night"_s)), u"12/7/2026"_s);
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 10, 5)), 0);
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 16)), 0);
    // After the window closed: marked for that day, and today's runs in the evening.
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(23, 25)), 1);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Night"_s)), u"12/8/2026"_s);

    save(one(show(u"Night"_s, QTime(23, 30))));
    EXPECT_EQ(tickAt(kMonday.addDays(1), QTime(0, 16)), 0);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Night"_s)), u"12/7/2026"_s);
}

TEST_F(SchedulerTest, PresetForZonesTenHoursAheadRunsOnTheLocalDaysOfItsMask) {
    // 1899-12-31 01:00 with Tuesday to Saturday: one o'clock in the morning of those days.
    Broadcast preset{u"Live"_s, dv::fromParts(QDate(1899, 12, 31), QTime(1, 0)),
                     u"http://portal.example/ASX/quillmoor.asx"_s, 124, dv::kNever};
    for (int d = 0; d < 7; ++d) {
        const QDate day = kMonday.addDays(d);  // Monday .. Sunday
        save(one(preset));
        launched.clear();
        // The window 00:55 .. 01:45 of `day`, seen from the evening before and during it.
        tickAt(day.addDays(-1), QTime(23, 0));
        const qsizetype before = tickAt(day, QTime(0, 54, 59));
        const qsizetype during = tickAt(day, QTime(0, 56));
        const bool scheduled = day.dayOfWeek() >= 2 && day.dayOfWeek() <= 6;
        EXPECT_EQ(before, 0) << day.toString().toStdString();
        EXPECT_EQ(during, scheduled ? 1 : 0) << day.toString().toStdString();
        if (scheduled) {
            EXPECT_EQ(raw(schedulekeys::lastActive(u"Live"_s)), dv::format(dv::fromDate(day)));
        }
    }
}

TEST_F(SchedulerTest, WindowsFollowRealTimeOnDaylightSavingChangeDays) {
    tz_.reset();
    tz_ = std::make_unique<ScopedTimeZone>("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2026-03-29: clocks go from 02:00 to 03:00. A 03:10 broadcast with a 90-minute
    // offset opens 90 real minutes earlier, at 00:40 local time.
    const QDate spring(2026, 3, 29);
    save(one(show(u"Spring"_s, QTime(3, 10)), 90));
    EXPECT_EQ(tickAt(spring, QTime(0, 39)), 0);
    EXPECT_EQ(tickAt(spring, QTime(0, 41)), 1);

    // A time inside the skipped hour still launches once that day.
    save(one(show(u"Gap"_s, QTime(2, 30))));
    EXPECT_EQ(tickAt(spring, QTime(1, 0)), 0);
    qsizetype launches = 0;
    for (QDateTime t(spring, QTime(1, 30)); t < QDateTime(spring, QTime(5, 0));
         t = t.addSecs(300)) {
        launches += tickAt(t);
    }
    EXPECT_EQ(launches, 1);

    // 2026-10-25: 02:00-03:00 happens twice. A 02:30 broadcast launches once.
    const QDate autumn(2026, 10, 25);
    save(one(show(u"Autumn"_s, QTime(2, 30))));
    launches = 0;
    const QDateTime from(autumn, QTime(1, 0));
    for (QDateTime t = from; t < from.addSecs(5 * 3600); t = t.addSecs(300)) {
        launches += tickAt(t);
    }
    EXPECT_EQ(launches, 1);
}

// Passes everything to a real store; can refuse writes, and can run a hook right after
// the schedule section has been read (as another program saving at that moment would).
class HookedStore final : public SettingsProvider {
public:
    explicit HookedStore(SettingsProvider& inner) : inner_(inner) {}
    QString readSetting(QStringView app, QStringView section, QStringView key,
                        const QString& fallback) override {
        return inner_.readSetting(app, section, key, fallback);
    }
    bool writeSetting(QStringView app, QStringView section, QStringView key,
                      const QString& value) override {
        return !failWrites && inner_.writeSetting(app, section, key, value);
    }
    bool deleteSection(QStringView app, QStringView section) override {
        return !failWrites && inner_.deleteSection(app, section);
    }
    bool writeSettings(QStringView app, QStringView section, const KeyValueList& values) override {
        return !failWrites && inner_.writeSettings(app, section, values);
    }
    bool rewriteSection(QStringView app, QStringView section, const KeyValueList& values) override {
        return !failWrites && inner_.rewriteSection(app, section, values);
    }
    SectionSnapshot readSection(QStringView app, QStringView section) override {
        SectionSnapshot snapshot = inner_.readSection(app, section);
        runHook();
        return snapshot;
    }
    std::optional<SectionSnapshot> readSectionThenWrite(QStringView app, QStringView section,
                                                        QStringView key,
                                                        const QString& value) override {
        if (failWrites) {
            return std::nullopt;
        }
        auto snapshot = inner_.readSectionThenWrite(app, section, key, value);
        runHook();
        return snapshot;
    }

    bool failWrites = false;
    std::function<void()> afterSectionRead;

private:
    void runHook() {
        if (afterSectionRead) {
            auto hook = std::exchange(afterSectionRead, nullptr);
            hook();
        }
    }
    SettingsProvider& inner_;
};

TEST_F(SchedulerTest, StoreThatRefusesWritesStillLaunchesOncePerDay) {
    save(one(show(u"Live"_s, QTime(15, 0))));
    HookedStore readOnly(store);
    readOnly.failWrites = true;
    SchedulerService stuck(readOnly, clock, launch);
    stuck.loadSchedule(true);
    for (int i = 0; i < 120; ++i) {  // ten minutes inside the window
        clock.set(kMonday, QTime(15, 0).addSecs(5 * i));
        stuck.tick();
    }
    EXPECT_EQ(launched.size(), 1);
    clock.set(kMonday.addDays(1), QTime(15, 0));
    stuck.tick();
    EXPECT_EQ(launched.size(), 2);
}

TEST_F(SchedulerTest, ScheduleSavedDuringAReloadIsNeverLost) {
    save(one(show(u"Old"_s, QTime(15, 0))));
    HookedStore racing(store);
    SchedulerService service(racing, clock, launch);
    // Another program saves a new schedule just after the scheduler has read the section.
    racing.afterSectionRead = [this] { save(one(show(u"New"_s, QTime(16, 0)))); };
    service.loadSchedule(false);
    // Either the new schedule was read, or the flag is up again so the next tick reads it.
    const bool readNew = service.schedule().Broadcasts.value(0).Name == u"New"_s;
    EXPECT_TRUE(readNew || readReloadFlag(store));
    service.loadSchedule(false);
    ASSERT_EQ(service.schedule().Broadcasts.size(), 1);
    EXPECT_EQ(service.schedule().Broadcasts[0].Name, u"New"_s);
}

// The tick takes a wall-clock shortcut far from window edges; around clock changes
// and midnight its decisions must equal the plain local-time rule.
TEST_F(SchedulerTest, ShortcutAgreesWithThePlainRuleAroundClockChanges) {
    tz_.reset();
    tz_ = std::make_unique<ScopedTimeZone>("CET-1CEST,M3.5.0,M10.5.0/3");
    QRandomGenerator random(20261207);
    const QDate days[] = {QDate(2026, 3, 28),  QDate(2026, 3, 29),  QDate(2026, 3, 30),
                          QDate(2026, 10, 24), QDate(2026, 10, 25), QDate(2026, 10, 26)};
    for (int round = 0; round < 400; ++round) {
        const QTime time = QTime(0, 0).addSecs(random.bounded(86400 / 60) * 60);
        const qint16 offset = qint16(random.bounded(-60, 400));
        const qint16 mask = qint16(random.bounded(1, 128));
        const QDate nowDay = days[random.bounded(6)];
        const QDateTime now(nowDay, QTime(0, 0).addSecs(random.bounded(86400)));
        if (!now.isValid()) {
            continue;
        }
        const double lastActive =
            random.bounded(2) == 0 ? dv::kNever : dv::fromDate(nowDay.addDays(-2));

        // The plain rule: every occurrence from yesterday to the last day the offset reaches.
        QDate expectOpen;
        QDate expectMissed;
        for (int shift = -1; shift <= 1 + qMax(0, int(offset)) / 1440; ++shift) {
            const QDate day = nowDay.addDays(shift);
            if ((mask & (1 << (day.dayOfWeek() % 7))) == 0 || day <= dv::datePart(lastActive)) {
                continue;
            }
            const Occurrence o = occurrenceOn(show(u"x"_s, time), day, offset);
            if (o.end.date() < nowDay) {
                continue;
            }
            if (o.start <= now && now <= o.end) {
                expectOpen = day;
            } else if (now > o.end) {
                expectMissed = day;
            }
        }
        save(one(show(u"R"_s, time, mask, lastActive), offset));
        const qsizetype launched = tickAt(now);
        const QDate recorded = expectOpen.isValid() ? expectOpen : expectMissed;
        const QString context = u"%1 offset %2 mask %3 at %4"_s.arg(time.toString())
                                    .arg(offset)
                                    .arg(mask)
                                    .arg(now.toString(Qt::ISODate));
        EXPECT_EQ(launched, expectOpen.isValid() ? 1 : 0) << context.toStdString();
        EXPECT_EQ(raw(schedulekeys::lastActive(u"R"_s)),
                  recorded.isValid() ? dv::format(dv::fromDate(recorded)) : dv::format(lastActive))
            << context.toStdString();
    }
}

}  // namespace

// A machine asleep through the start of a broadcast wakes inside its window: the first tick
// after the clock jumped hands it on, once.
TEST_F(SchedulerTest, WakingInsideTheWindowLaunchesAtTheFirstTick) {
    save(one(show(u"Live"_s, QTime(15, 0))));
    service.loadSchedule(true);
    EXPECT_EQ(tickAt(kMonday, QTime(11, 30)), 0);     // the last tick before the suspend
    EXPECT_EQ(tickAt(kMonday, QTime(15, 20, 3)), 1);  // the first after the resume
    EXPECT_EQ(launched.back().Name, u"Live"_s);
    service.loadSchedule(false);
    EXPECT_EQ(tickAt(kMonday, QTime(15, 20, 8)), 0);

    // Waking after the window has closed only marks the day done.
    save(one(show(u"Late"_s, QTime(9, 0))));
    service.loadSchedule(true);
    EXPECT_EQ(tickAt(kMonday, QTime(12, 0)), 0);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Late"_s)), u"12/7/2026"_s);
}
