#include "core/brokerentries.h"

#include <QCoreApplication>

#include <limits>

#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

BrokerEntries::BrokerEntries(Services services) : services_(std::move(services)) {}

void BrokerEntries::load() {
    table_ = loadBrokerEntries(services_.store, std::numeric_limits<qsizetype>::max());
}

EntryFields BrokerEntries::fieldsAt(int index) const {
    const BrokerEntry& b = table_.at(index);
    return {{b.name, b.url}, 0};
}

void BrokerEntries::store(int index, const EntryFields& fields) {
    table_[index] = {fields.texts.value(NameField), fields.texts.value(UrlField)};
}

void BrokerEntries::appendNewEntry() {
    table_.append({kNewName.toString(), u"http://"_s});
}

QString BrokerEntries::duplicateNameMessage() const {
    return QCoreApplication::translate("BrokerEntries", "Error: Duplicate online broker name!");
}

QString BrokerEntries::nameTakenMessage(const QString& name) const {
    return QCoreApplication::translate(
               "BrokerEntries",
               "Error: You already have an online broker named '%1'! Rename that one first.")
        .arg(name);
}

QString BrokerEntries::noEntriesQuestion() const {
    return QCoreApplication::translate(
        "BrokerEntries",
        "There are no configured online brokers. Would you like to create a new one? "
        "Pressing No will close the Online Brokers.");
}

bool BrokerEntries::save() {
    if (!saveBrokerEntries(services_.store, table_)) {
        services_.prompts.showMessage(
            QCoreApplication::translate(
                "BrokerEntries",
                "Error: The online brokers could not be saved! Nothing was changed."),
            MessageIcon::Exclamation);
        return false;
    }
    if (services_.reloadOnlineBrokers) {
        services_.reloadOnlineBrokers();
    }
    return true;
}

}  // namespace lyrevane
