#include "common/schedule.h"

#include <gtest/gtest.h>

#include "../support/tempenv.h"
#include "common/settingsstore.h"
#include "common/typedvalues.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;
namespace dv = lyrevane::datevalue;

namespace {

class ScheduleTest : public ::testing::Test {
protected:
    QString raw(QStringView key) {
        return store.readSetting(kAppName, kSchedulerSection, key, u"<absent>"_s);
    }
    void put(QStringView key, const QString& value) {
        store.writeSetting(kAppName, kSchedulerSection, key, value);
    }

    lyrevane::testing::TempXdg xdg;
    SqliteSettingsStore store;
    const QDateTime at1600{QDate(2026, 12, 7), QTime(16, 0)};
    const QDateTime at1400{QDate(2026, 12, 7), QTime(14, 0)};
};

TEST_F(ScheduleTest, EmptyStoreReadsAsDefaults) {
    const Schedule s = readSchedule(store);
    EXPECT_TRUE(s.AutoLaunchEnabled);
    EXPECT_EQ(s.StartEarlierOffset, 5);
    EXPECT_TRUE(s.Broadcasts.isEmpty());
    EXPECT_FALSE(readReloadFlag(store));
}

TEST_F(ScheduleTest, ListedBroadcastWithoutKeysLoadsWithDefaults) {
    put(schedulekeys::BroadcastList, u"$!"_s);
    const Schedule s = readSchedule(store);
    ASSERT_EQ(s.Broadcasts.size(), 2);
    for (const Broadcast& b : s.Broadcasts) {
        EXPECT_EQ(b.Name, QString());
        EXPECT_EQ(b.Time, 0.0);
        EXPECT_EQ(b.MediaURL, u"http://"_s);
        EXPECT_EQ(b.Days, 127);
        EXPECT_EQ(b.LastActive, dv::kNever);
        EXPECT_FALSE(b.Record) << "a store from before recording records nothing";
    }
    // Empty names use keys with nothing between the prefix and the suffix.
    put(u"BROADCAST__MEDIAURL", u"http://empty.example/"_s);
    EXPECT_EQ(readSchedule(store).Broadcasts[1].MediaURL, u"http://empty.example/"_s);
}

TEST_F(ScheduleTest, ValuesThatDoNotConvertUseTheDefaults) {
    put(schedulekeys::AutoLaunchEnabled, u"maybe"_s);
    put(schedulekeys::StartEarlierOffset, u"99999"_s);
    put(schedulekeys::BroadcastList, u"Show"_s);
    put(schedulekeys::time(u"Show"_s), u"quarter past three"_s);
    put(schedulekeys::days(u"Show"_s), u"all"_s);
    put(schedulekeys::lastActive(u"Show"_s), u"32/13/2026"_s);
    put(schedulekeys::record(u"Show"_s), u"yes"_s);
    const Schedule s = readSchedule(store);
    EXPECT_TRUE(s.AutoLaunchEnabled);
    EXPECT_EQ(s.StartEarlierOffset, 5);
    ASSERT_EQ(s.Broadcasts.size(), 1);
    EXPECT_EQ(s.Broadcasts[0].Time, 0.0);
    EXPECT_EQ(s.Broadcasts[0].Days, 127);
    EXPECT_EQ(s.Broadcasts[0].LastActive, dv::kNever);
    EXPECT_FALSE(s.Broadcasts[0].Record);
    // Readable odd forms are taken.
    put(schedulekeys::AutoLaunchEnabled, u"0"_s);
    put(schedulekeys::StartEarlierOffset, u"-7,5"_s);
    put(schedulekeys::time(u"Show"_s), u"15:00"_s);
    put(schedulekeys::days(u"Show"_s), u"62.4"_s);
    const Schedule t = readSchedule(store);
    EXPECT_FALSE(t.AutoLaunchEnabled);
    EXPECT_EQ(t.StartEarlierOffset, -8);
    EXPECT_EQ(t.Broadcasts[0].Time, 0.625);
    EXPECT_EQ(t.Broadcasts[0].Days, 62);
}

TEST_F(ScheduleTest, WriteRewritesTheSectionWithTheFlagLast) {
    put(schedulekeys::time(u"Removed"_s), u"1:00:00 AM"_s);
    Schedule s;
    s.AutoLaunchEnabled = false;
    s.StartEarlierOffset = 10;
    s.Broadcasts = {{u"Morning"_s, 0.375, u"http://a.example/x.asx"_s, 62, dv::kNever},
                    {u"Late"_s, dv::fromParts(QDate(1899, 12, 31), QTime(1, 0)), u"mms://b"_s, 124,
                     dv::fromDate(QDate(2026, 12, 1)), true}};
    ASSERT_TRUE(writeSchedule(store, s, at1400));

    EXPECT_EQ(raw(schedulekeys::time(u"Removed"_s)), u"<absent>"_s);
    EXPECT_EQ(raw(schedulekeys::AutoLaunchEnabled), u"False"_s);
    EXPECT_EQ(raw(schedulekeys::StartEarlierOffset), u"10"_s);
    EXPECT_EQ(raw(schedulekeys::BroadcastList), u"Morning$!Late"_s);
    EXPECT_EQ(raw(schedulekeys::time(u"Morning"_s)), u"9:00:00 AM"_s);
    EXPECT_EQ(raw(schedulekeys::days(u"Morning"_s)), u"62"_s);
    EXPECT_EQ(raw(schedulekeys::time(u"Late"_s)), u"12/31/1899 1:00:00 AM"_s);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Late"_s)), u"12/1/2026"_s);
    EXPECT_EQ(raw(schedulekeys::record(u"Morning"_s)), u"False"_s);
    EXPECT_EQ(raw(schedulekeys::record(u"Late"_s)), u"True"_s);
    EXPECT_EQ(raw(schedulekeys::DoUpdate), u"True"_s);
    EXPECT_TRUE(readReloadFlag(store));

    // Morning (09:00) had passed at 14:00 and had never run: done for today.
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Morning"_s)), u"12/7/2026"_s);
    Schedule back = readSchedule(store);
    s.Broadcasts[0].LastActive = dv::fromDate(at1400.date());
    EXPECT_EQ(back, s);
}

TEST_F(ScheduleTest, NeverRunBroadcastCountsAsDoneOnlyWhenItsTimeHasPassed) {
    Schedule s;
    s.Broadcasts = {{u"Show"_s, 0.625, u"http://x"_s, 127, dv::kNever}};
    writeSchedule(store, s, at1600);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Show"_s)), u"12/7/2026"_s);
    writeSchedule(store, s, at1400);
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Show"_s)), u"1/1/1900"_s);
    writeSchedule(store, s, QDateTime(QDate(2026, 12, 7), QTime(15, 0)));  // not greater
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Show"_s)), u"1/1/1900"_s);
}

TEST_F(ScheduleTest, NamesDifferingOnlyInCaseShareTheirKeys) {
    Schedule s;
    s.Broadcasts = {{u"Show"_s, 0.25, u"http://first"_s, 127, dv::kNever},
                    {u"SHOW"_s, 0.5, u"http://second"_s, 1, dv::kNever}};
    writeSchedule(store, s, at1400);
    const Schedule back = readSchedule(store);
    ASSERT_EQ(back.Broadcasts.size(), 2);
    EXPECT_EQ(back.Broadcasts[0].MediaURL, u"http://second"_s);
    EXPECT_EQ(back.Broadcasts[1].MediaURL, u"http://second"_s);
}

TEST_F(ScheduleTest, NameWithTheSeparatorComesBackAsTwoDefaultBroadcasts) {
    Schedule s;
    s.Broadcasts = {{u"a$!b"_s, 0.25, u"http://x"_s, 2, dv::kNever}};
    writeSchedule(store, s, at1400);
    const Schedule back = readSchedule(store);
    ASSERT_EQ(back.Broadcasts.size(), 2);
    EXPECT_EQ(back.Broadcasts[0].Name, u"a"_s);
    EXPECT_EQ(back.Broadcasts[1].Name, u"b"_s);
    EXPECT_EQ(back.Broadcasts[0].MediaURL, u"http://"_s);
}

TEST_F(ScheduleTest, HandshakeFunctions) {
    EXPECT_FALSE(readReloadFlag(store));
    ASSERT_TRUE(recordLastActive(store, u"Show"_s, QDate(2026, 12, 7)));
    EXPECT_EQ(raw(schedulekeys::lastActive(u"Show"_s)), u"12/7/2026"_s);
    EXPECT_TRUE(readReloadFlag(store));
    // Taking the reloaded schedule lowers the flag.
    ASSERT_TRUE(takeReloadedSchedule(store).has_value());
    EXPECT_EQ(raw(schedulekeys::DoUpdate), u"False"_s);
    EXPECT_FALSE(readReloadFlag(store));
    put(schedulekeys::DoUpdate, u"tRuE"_s);
    EXPECT_TRUE(readReloadFlag(store));
    put(schedulekeys::DoUpdate, u"garbage"_s);
    EXPECT_FALSE(readReloadFlag(store));
}

}  // namespace
