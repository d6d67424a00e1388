// The broadcast scheduler's entries under the shared list-editing model.
#include "core/broadcastentries.h"

#include <gtest/gtest.h>

#include "../support/listeditorfixture.h"
#include "../support/scopedtz.h"
#include "core/usagetracking.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::ListEditorFixture;
using testing::ScopedTz;

constexpr QStringView kPresetUrl = u"http://portal.example/ASX/quillmoor.asx";

class BroadcastEditorTest : public ListEditorFixture {
protected:
    void put(const QList<Broadcast>& broadcasts) {
        Schedule s;
        s.Broadcasts = broadcasts;
        writeSchedule(store, s, QDateTime(QDate(2026, 12, 7), QTime(0, 0)));
    }
    void open() {
        entries.load();
        entries.currentOptions = [this] { return options; };
        options = entries.loadedOptions();
        openModel(model);
    }
    void type(const QString& name, const QString& time, const QString& media) {
        view.typed.texts = {name, time, media};
    }
    void typeTime(const QString& time) { view.typed.texts[BroadcastEntries::TimeField] = time; }
    QString stored(const QString& key) const {
        return store.get(kSchedulerSection, key).value_or(u"<absent>"_s);
    }

    QList<QPair<QString, bool>> checked;  // media checks: URL and quiet
    QStringList refused{u"refused.example"_s};
    qint32 gmtOffset = 0;
    QDateTime now{QDate(2026, 12, 7), QTime(12, 0)};
    BroadcastEntries entries{{store, prompts,
                              [this](const QString& url, bool quiet) {
                                  checked.append({url, quiet});
                                  const bool ok = !url.contains(refused.first());
                                  if (!ok && !quiet) {
                                      prompts.showMessage(u"refused"_s, MessageIcon::Exclamation);
                                  }
                                  return ok;
                              },
                              [this] { return gmtOffset; }, [this] { return now; },
                              kPresetUrl.toString()}};
    BroadcastEntries::Options options;
    ListEditorModel model{entries, view, prompts};
};

const Broadcast kMorning{u"Morning"_s, 0.375, u"http://radio.example/am"_s, 62, datevalue::kNever};
const Broadcast kEvening{u"Evening"_s,      0.75, u"http://radio.example/pm"_s, 65,
                         datevalue::kNever, true};

TEST_F(BroadcastEditorTest, TimeFieldTakesWhatPeopleTypeAndShowsTheStoredForm) {
    put({kMorning});
    open();
    EXPECT_EQ(view.typed.texts, (QStringList{u"Morning"_s, u"9:00:00 AM"_s, kMorning.MediaURL}));
    EXPECT_EQ(view.typed.checks, 62u);
    for (const QString& typed :
         {u"15:00"_s, u"3:00 PM"_s, u"3:00:00 pm"_s, u"15:00:00"_s, u" 3:00:00 PM "_s}) {
        typeTime(typed);
        model.apply();
        EXPECT_EQ(entries.table().at(0).Time, 0.625) << typed.toStdString();
        EXPECT_EQ(view.typed.texts[BroadcastEntries::TimeField], u"3:00:00 PM"_s);
    }
    // A date typed with the time stays in the value.
    typeTime(u"12/6/2026 3:00 PM"_s);
    model.apply();
    EXPECT_EQ(entries.table().at(0).Time, datevalue::fromParts(QDate(2026, 12, 6), QTime(15, 0)));
    EXPECT_EQ(view.typed.texts[BroadcastEntries::TimeField], u"12/6/2026 3:00:00 PM"_s);
    EXPECT_TRUE(prompts.messages.isEmpty());

    for (const QString& typed : {u"25:00"_s, u"3 PM"_s, u"noon"_s, QString(), u"13:00 PM"_s,
                                 u"2/30/2026"_s, u"15:00 tomorrow"_s}) {
        prompts.messages.clear();
        view.focus.clear();
        typeTime(typed);
        model.apply();
        EXPECT_EQ(prompts.messages, QStringList{u"Error: Invalid time!"_s}) << typed.toStdString();
        EXPECT_EQ(view.focus, QList<int>{BroadcastEntries::TimeField});
        EXPECT_EQ(view.typed.texts[BroadcastEntries::TimeField], typed);  // kept
    }
}

TEST_F(BroadcastEditorTest, InvalidTimeRevertsTheSelectionAndOkSavesTheLastCommitted) {
    put({kMorning, kEvening});
    open();
    view.typed.checks = 1;  // Sunday only, never committed
    typeTime(u"half past nine"_s);
    model.select(1);
    EXPECT_EQ(prompts.messages, QStringList{u"Error: Invalid time!"_s});
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(model.currentIndex(), 0);
    EXPECT_EQ(view.typed.texts[BroadcastEntries::TimeField], u"half past nine"_s);

    model.ok();
    EXPECT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(view.closed && view.closedSaved);
    EXPECT_EQ(stored(u"BROADCAST_Morning_TIME"_s), u"9:00:00 AM"_s);
    EXPECT_EQ(stored(u"BROADCAST_Morning_DAYS"_s), u"62"_s);
    EXPECT_EQ(stored(u"BROADCAST_Morning_RECORD"_s), u"False"_s);
    EXPECT_EQ(stored(u"BroadcastList"_s), u"Morning$!Evening"_s);
    EXPECT_EQ(store.writes.last(), u"DoUpdate"_s);
    EXPECT_EQ(stored(u"DoUpdate"_s), u"True"_s);
}

TEST_F(BroadcastEditorTest, MediaPlaceholderPassesRealAddressesAreChecked) {
    put({kMorning, kEvening});
    open();
    for (const QString& media : {u"http://"_s, QString(), u"  HTTP://  "_s}) {
        type(u"Morning"_s, u"9:00 AM"_s, media);
        model.apply();
        EXPECT_TRUE(prompts.messages.isEmpty());
    }
    EXPECT_TRUE(checked.isEmpty());

    // A refused source: its message once, the focus on Media; the re-entry checks quietly.
    type(u"Morning"_s, u"9:00 AM"_s, u"http://refused.example/live"_s);
    model.select(1);
    EXPECT_EQ(prompts.messages, QStringList{u"refused"_s});
    EXPECT_EQ(view.focus, QList<int>{BroadcastEntries::MediaField});
    EXPECT_EQ(checked, (QList<QPair<QString, bool>>{{u"http://refused.example/live"_s, false},
                                                    {u"http://refused.example/live"_s, true}}));
    EXPECT_EQ(view.selected, 0);

    // The duplicate name is checked before the time and the media.
    prompts.messages.clear();
    type(u"Evening"_s, u"bad"_s, u"http://refused.example/live"_s);
    model.apply();
    EXPECT_EQ(prompts.messages, QStringList{u"Error: Duplicate broadcast name!"_s});
}

TEST_F(BroadcastEditorTest, FreshEntriesCommitAndNewTwiceIsRefused) {
    prompts.yesNo = {true};
    open();
    EXPECT_EQ(prompts.questions,
              QStringList{u"There are no scheduled broadcasts. Would you like to create a new "
                          u"one? Pressing No will close the Broadcast Scheduler."_s});
    ASSERT_EQ(entries.count(), 1);
    const Broadcast fresh = entries.table().at(0);
    EXPECT_EQ(fresh.Name, u"New Scheduled Broadcast"_s);
    EXPECT_EQ(fresh.Time, 0.0);
    EXPECT_EQ(fresh.MediaURL, u"http://"_s);
    EXPECT_EQ(fresh.Days, 127);
    EXPECT_EQ(fresh.LastActive, datevalue::kNever);
    EXPECT_EQ(view.typed.texts,
              (QStringList{u"New Scheduled Broadcast"_s, u"12:00:00 AM"_s, u"http://"_s}));

    model.newEntry();
    EXPECT_EQ(prompts.messages,
              QStringList{u"Error: You already have a broadcast named 'New Scheduled "
                          u"Broadcast'! Rename that one first."_s});
    EXPECT_EQ(entries.count(), 1);

    type(u"Renamed"_s, u"00:00:00"_s, u"http://"_s);
    model.newEntry();
    EXPECT_EQ(view.items, (QStringList{u"Renamed"_s, u"New Scheduled Broadcast"_s}));
    EXPECT_EQ(prompts.messages.size(), 1);
}

TEST_F(BroadcastEditorTest, NoBroadcastsAndNoClosesWithoutWriting) {
    open();
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(view.closedSaved);
    EXPECT_TRUE(store.values.isEmpty());
}

TEST_F(BroadcastEditorTest, OffsetMustBeWholeMinutesWithinADay) {
    put({kMorning});
    open();
    EXPECT_EQ(options.startEarlierOffset, u"5"_s);
    const auto before = store.values;
    for (const QString& text :
         {u"abc"_s, QString(), u"1441"_s, u"-1441"_s, u"2.5"_s, u"5 min"_s, u"99999"_s}) {
        prompts.messages.clear();
        view.focus.clear();
        options.startEarlierOffset = text;
        model.ok();
        EXPECT_EQ(prompts.messages.size(), 1) << text.toStdString();
        EXPECT_TRUE(prompts.messages.first().startsWith(u"Error: "_s));
        EXPECT_EQ(view.focus, QList<int>{BroadcastEntries::OffsetField});
        EXPECT_FALSE(view.closed);
        EXPECT_EQ(store.values, before);
    }
    options = {false, u" -1440 "_s};
    model.ok();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(stored(u"StartEarlierOffset"_s), u"-1440"_s);
    EXPECT_EQ(stored(u"AutoLaunchEnabled"_s), u"False"_s);
}

TEST_F(BroadcastEditorTest, DaysAndTheLastActiveRuleOnSave) {
    put({kMorning, kEvening});
    open();
    view.typed.checks = 0x7f | BroadcastEntries::kRecordCheck | 0x100;  // days and Record
    model.select(1);
    EXPECT_EQ(view.typed.checks, 65u | BroadcastEntries::kRecordCheck);
    view.typed.checks = 65u;  // Record cleared
    now = QDateTime(QDate(2026, 12, 7), QTime(16, 0));
    model.ok();
    EXPECT_EQ(stored(u"BROADCAST_Morning_DAYS"_s), u"127"_s);
    EXPECT_EQ(stored(u"BROADCAST_Morning_RECORD"_s), u"True"_s);
    EXPECT_EQ(stored(u"BROADCAST_Evening_RECORD"_s), u"False"_s);
    // Evening (18:00) has not passed at 16:00; Morning (9:00) counts as done today.
    EXPECT_EQ(stored(u"BROADCAST_Morning_LASTACTIVE"_s), u"12/7/2026"_s);
    EXPECT_EQ(stored(u"BROADCAST_Evening_LASTACTIVE"_s), u"1/1/1900"_s);
}

TEST_F(BroadcastEditorTest, DeletingTheLastBroadcastAndSavingWritesAnEmptySchedule) {
    put({kMorning});
    open();
    prompts.yesNo = {false, true};
    model.deleteEntry();
    EXPECT_TRUE(view.closed && view.closedSaved);
    EXPECT_EQ(stored(u"BroadcastList"_s), QString());
    EXPECT_EQ(stored(u"BROADCAST_Morning_TIME"_s), u"<absent>"_s);
    EXPECT_EQ(stored(u"DoUpdate"_s), u"True"_s);
}

TEST_F(BroadcastEditorTest, PresetOnceWithThePortalPlaylist) {
    put({kMorning});
    open();
    gmtOffset = -300;
    const auto preset = [this] {
        model.addEntry(BroadcastEntries::kPresetName.toString(),
                       [this] { entries.appendPreset(); });
    };
    preset();
    ASSERT_EQ(entries.count(), 2);
    EXPECT_EQ(view.typed.texts,
              (QStringList{u"Quillmoor(tm) Live"_s, u"10:00:00 AM"_s, kPresetUrl.toString()}));
    EXPECT_EQ(view.typed.checks, 62u);
    preset();
    EXPECT_EQ(prompts.messages,
              QStringList{u"Error: You already have a broadcast named 'Quillmoor(tm) Live'! "
                          u"Rename that one first."_s});
    EXPECT_EQ(entries.count(), 2);
}

TEST(BroadcastPreset, PlaylistOnThePortalsWebHost) {
    EXPECT_EQ(BroadcastEntries::presetMediaUrl(u"http://www.quillmoor.example"_s),
              u"http://www.quillmoor.example/ASX/quillmoor.asx"_s);
    EXPECT_EQ(BroadcastEntries::presetMediaUrl(u"http://127.0.0.1:9/"_s),
              u"http://127.0.0.1:9/ASX/quillmoor.asx"_s);
    EXPECT_EQ(BroadcastEntries::presetMediaUrl(u"https://quillmoor.example/portal/?s=1#top"_s),
              u"https://quillmoor.example/ASX/quillmoor.asx"_s);
}

TEST(BroadcastPreset, FifteenHundredGmtInZonesEitherSide) {
    const QDateTime winter(QDate(2026, 1, 15), QTime(12, 0));
    struct Case {
        const char* tz;
        double time;
        qint16 days;
    };
    const Case cases[] = {
        {"EST5", 10.0 / 24, 62},                    // GMT-5: 10:00 the same day
        {"<-12>12", 3.0 / 24, 62},                  // the farthest west
        {"GMT0", 15.0 / 24, 62},                    //
        {"<+0530>-5:30", 0.85416666666666663, 62},  // 20:30
        {"<+09>-9", 1.0, 124},                      // exactly local midnight: the next day
        {"<+10>-10", 1.0 + 1.0 / 24, 124},          // 1899-12-31 01:00
        {"<+14>-14", 1.0 + 5.0 / 24, 124},
    };
    for (const Case& c : cases) {
        ScopedTz tz(c.tz);
        const Broadcast b =
            BroadcastEntries::presetBroadcast(getGMTOffset(winter), kPresetUrl.toString());
        EXPECT_NEAR(b.Time, c.time, 1e-9) << c.tz;
        EXPECT_EQ(b.Days, c.days) << c.tz;
        EXPECT_EQ(b.MediaURL, kPresetUrl.toString());
        EXPECT_EQ(b.LastActive, datevalue::kNever);
    }
    // A zone in daylight saving counts its summer offset.
    ScopedTz tz("AEST-10AEDT,M10.1.0,M4.1.0/3");
    EXPECT_NEAR(BroadcastEntries::presetBroadcast(getGMTOffset(winter), {}).Time, 1.0 + 2.0 / 24,
                1e-9);
    // Far enough west the time would fall before midnight of the day before.
    EXPECT_EQ(BroadcastEntries::presetBroadcast(-16 * 60, {}).Days, 31);
}

}  // namespace
}  // namespace lyrevane
