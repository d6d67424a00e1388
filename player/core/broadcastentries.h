#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

#include "common/schedule.h"
#include "core/listeditor.h"

namespace lyrevane {

class PromptService;
class SettingsProvider;

// The broadcast scheduler's entries: the schedule's broadcasts with the fields Name,
// Time and Media, one check box per weekday (bit i, Sunday = 0) and Record (bit 7), plus
// the two options that OK saves with them.
class BroadcastEntries final : public ListEntries {
public:
    enum Field { NameField = 0, TimeField = 1, MediaField = 2, OffsetField = 3 };
    static constexpr quint32 kDayChecks = 0x7f;
    static constexpr quint32 kRecordCheck = 1u << 7;

    static constexpr QStringView kNewName = u"New Scheduled Broadcast";
    static constexpr QStringView kPresetName = u"Quillmoor(tm) Live";
    static constexpr QStringView kPresetPath = u"/ASX/quillmoor.asx";
    // Whole minutes the scheduler may start a player early (or, negative, late).
    static constexpr int kMaxOffsetMinutes = 1440;

    // The options as the dialog shows them.
    struct Options {
        bool autoLaunch = true;
        QString startEarlierOffset;
    };

    struct Services {
        SettingsProvider& store;
        PromptService& prompts;
        // The media source check; a refusal is shown unless quiet.
        std::function<bool(const QString& url, bool quiet)> checkMediaUrl;
        // Local time minus GMT, in minutes, now.
        std::function<qint32()> gmtOffset;
        std::function<QDateTime()> now;
        // The portal's live-broadcast playlist.
        QString presetMediaUrl;
    };

    explicit BroadcastEntries(Services services);

    // Reads the whole section: the broadcasts and the options (the offset as stored).
    void load();
    const Options& loadedOptions() const { return loaded_; }
    // Read by OK: the options as the dialog shows them at that moment.
    std::function<Options()> currentOptions;

    // Appends the "Quillmoor(tm) Live" broadcast: 15:00 GMT in local time now, with the
    // days on which that local time falls on a weekday of the GMT programme.
    void appendPreset();
    static Broadcast presetBroadcast(qint32 gmtOffsetMinutes, const QString& mediaUrl);
    // The live-broadcast playlist on the web host of the portal at `portalBaseUrl`.
    static QString presetMediaUrl(const QString& portalBaseUrl);
    // A whole number of minutes from -1440 to 1440, or nullopt.
    static std::optional<qint16> parseOffset(const QString& text);

    const QList<Broadcast>& table() const { return table_; }

    // ListEntries
    int count() const override { return int(table_.size()); }
    QString nameAt(int index) const override { return table_.at(index).Name; }
    EntryFields fieldsAt(int index) const override;
    void store(int index, const EntryFields& fields) override;
    void remove(int index) override { table_.removeAt(index); }
    std::optional<int> checkFields(const EntryFields& fields, bool quiet) override;
    QString newEntryName() const override { return kNewName.toString(); }
    void appendNewEntry() override;
    QString duplicateNameMessage() const override;
    QString nameTakenMessage(const QString& name) const override;
    QString noEntriesQuestion() const override;
    std::optional<int> fieldBlockingSave() override;
    bool save() override;

private:
    Services services_;
    QList<Broadcast> table_;
    Options loaded_;
};

}  // namespace lyrevane
