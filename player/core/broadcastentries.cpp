#include "core/broadcastentries.h"

#include <QCoreApplication>
#include <QUrl>

#include "common/settingsprovider.h"
#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// New's default media text: a scheme with no address yet, as empty as an empty field.
bool isPlaceholderMedia(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() || trimmed.compare(u"http://"_s, Qt::CaseInsensitive) == 0;
}

}  // namespace

BroadcastEntries::BroadcastEntries(Services services) : services_(std::move(services)) {}

void BroadcastEntries::load() {
    // One snapshot, so that a save by another program is seen whole or not at all.
    const SectionSnapshot section = services_.store.readSection(kAppName, kSchedulerSection);
    const Schedule schedule = scheduleFromSection(section);
    table_ = schedule.Broadcasts;
    loaded_.autoLaunch = schedule.AutoLaunchEnabled;
    // Shown as stored, unconverted.
    loaded_.startEarlierOffset = section.value(schedulekeys::StartEarlierOffset, u"5"_s);
}

EntryFields BroadcastEntries::fieldsAt(int index) const {
    const Broadcast& b = table_.at(index);
    return {{b.Name, datevalue::format(b.Time), b.MediaURL},
            (quint32(quint16(b.Days)) & kDayChecks) | (b.Record ? kRecordCheck : 0u)};
}

void BroadcastEntries::store(int index, const EntryFields& fields) {
    Broadcast& b = table_[index];
    b.Name = fields.texts.value(NameField);
    // Validation has accepted the text; a date typed with the time stays in the value.
    b.Time = datevalue::parse(fields.texts.value(TimeField)).value_or(b.Time);
    b.MediaURL = fields.texts.value(MediaField);
    b.Days = qint16(fields.checks & kDayChecks);
    b.Record = (fields.checks & kRecordCheck) != 0;
}

std::optional<int> BroadcastEntries::checkFields(const EntryFields& fields, bool quiet) {
    if (!datevalue::parse(fields.texts.value(TimeField))) {
        if (!quiet) {
            services_.prompts.showMessage(
                QCoreApplication::translate("BroadcastEntries", "Error: Invalid time!"),
                MessageIcon::Exclamation);
        }
        return TimeField;
    }
    const QString media = fields.texts.value(MediaField);
    if (!isPlaceholderMedia(media) && !services_.checkMediaUrl(media, quiet)) {
        return MediaField;
    }
    return std::nullopt;
}

void BroadcastEntries::appendNewEntry() {
    Broadcast b;
    b.Name = kNewName.toString();
    b.Time = datevalue::parse(u"00:00:00").value_or(0.0);
    b.MediaURL = u"http://"_s;
    b.Days = 127;
    b.LastActive = datevalue::parse(u"1/1/1900").value_or(datevalue::kNever);
    table_.append(b);
}

Broadcast BroadcastEntries::presetBroadcast(qint32 gmtOffsetMinutes, const QString& mediaUrl) {
    Broadcast b;
    b.Name = kPresetName.toString();
    // 15:00 GMT as local time; past local midnight the value carries a day part.
    b.Time = datevalue::addMinutes(datevalue::parse(u"15:00:00").value_or(0.625),
                                   double(gmtOffsetMinutes));
    if (b.Time >= 1.0) {
        b.Days = 124;  // Tuesday to Saturday: the programme's weekdays, a day later here
    } else if (b.Time >= 0.0) {
        b.Days = 62;  // Monday to Friday
    } else {
        b.Days = 31;  // Sunday to Thursday
    }
    b.MediaURL = mediaUrl;
    b.LastActive = datevalue::kNever;
    return b;
}

QString BroadcastEntries::presetMediaUrl(const QString& portalBaseUrl) {
    QUrl url(portalBaseUrl.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        // Not an address with a host: the path goes after the text as it stands.
        QString base = portalBaseUrl;
        while (base.endsWith(u'/')) {
            base.chop(1);
        }
        return base + kPresetPath.toString();
    }
    // The web host only: any path, query or fragment of the portal address is replaced.
    url.setPath(kPresetPath.toString());
    url.setQuery(QString());
    url.setFragment(QString());
    return url.toString();
}

void BroadcastEntries::appendPreset() {
    table_.append(presetBroadcast(services_.gmtOffset(), services_.presetMediaUrl));
}

std::optional<qint16> BroadcastEntries::parseOffset(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const int minutes = trimmed.toInt(&ok);  // C locale: digits with an optional sign
    if (!ok || minutes < -kMaxOffsetMinutes || minutes > kMaxOffsetMinutes) {
        return std::nullopt;
    }
    return qint16(minutes);
}

QString BroadcastEntries::duplicateNameMessage() const {
    return QCoreApplication::translate("BroadcastEntries", "Error: Duplicate broadcast name!");
}

QString BroadcastEntries::nameTakenMessage(const QString& name) const {
    return QCoreApplication::translate(
               "BroadcastEntries",
               "Error: You already have a broadcast named '%1'! Rename that one first.")
        .arg(name);
}

QString BroadcastEntries::noEntriesQuestion() const {
    return QCoreApplication::translate(
        "BroadcastEntries",
        "There are no scheduled broadcasts. Would you like to create a new one? Pressing No "
        "will close the Broadcast Scheduler.");
}

std::optional<int> BroadcastEntries::fieldBlockingSave() {
    const Options options = currentOptions ? currentOptions() : loaded_;
    if (!parseOffset(options.startEarlierOffset)) {
        services_.prompts.showMessage(
            QCoreApplication::translate(
                "BroadcastEntries",
                "Error: Invalid start offset! Type a whole number of minutes from -1440 to 1440."),
            MessageIcon::Exclamation);
        return OffsetField;
    }
    return std::nullopt;
}

bool BroadcastEntries::save() {
    const Options options = currentOptions ? currentOptions() : loaded_;
    Schedule schedule;
    schedule.AutoLaunchEnabled = options.autoLaunch;
    schedule.StartEarlierOffset = parseOffset(options.startEarlierOffset).value_or(qint16(5));
    schedule.Broadcasts = table_;
    // One transaction: the section is replaced whole, "DoUpdate" = "True" last.
    if (!writeSchedule(services_.store, schedule, services_.now())) {
        services_.prompts.showMessage(
            QCoreApplication::translate(
                "BroadcastEntries",
                "Error: The broadcast schedule could not be saved! Nothing was changed."),
            MessageIcon::Exclamation);
        return false;
    }
    return true;
}

}  // namespace lyrevane
