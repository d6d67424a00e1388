#include "core/brokerentries.h"

#include <limits>

#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

BrokerEntries::BrokerEntries(Services services) : services_(std::move(services)) {}

void BrokerEntries::Load() {
    table_ = LoadBrokerEntries(services_.store, std::numeric_limits<qsizetype>::max());
}

EntryFields BrokerEntries::FieldsAt(int index) const {
    const BrokerEntry& b = table_.at(index);
    return {{b.name, b.url}, 0};
}

void BrokerEntries::Store(int index, const EntryFields& fields) {
    table_[index] = {fields.texts.value(NameField), fields.texts.value(UrlField)};
}

void BrokerEntries::AppendNewEntry() {
    table_.append({kNewName.toString(), u"http://"_s});
}

QString BrokerEntries::DuplicateNameMessage() const {
    return u"Error: Duplicate online broker name!"_s;
}

QString BrokerEntries::NameTakenMessage(const QString& name) const {
    return u"Error: You already have an online broker named '"_s + name +
           u"'! Rename that one first."_s;
}

QString BrokerEntries::NoEntriesQuestion() const {
    return u"There are no configured online brokers. Would you like to create a new one? "
           u"Pressing No will close the Online Brokers."_s;
}

bool BrokerEntries::Save() {
    if (!SaveBrokerEntries(services_.store, table_)) {
        services_.prompts.ShowMessage(
            u"Error: The online brokers could not be saved! Nothing was changed."_s,
            MessageIcon::Exclamation);
        return false;
    }
    if (services_.reloadOnlineBrokers) {
        services_.reloadOnlineBrokers();
    }
    return true;
}

}  // namespace lyrevane
