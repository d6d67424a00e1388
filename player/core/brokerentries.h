#pragma once

#include <QList>

#include <functional>

#include "core/brokerlist.h"
#include "core/listeditor.h"

namespace lyrevane {

class PromptService;
class SettingsProvider;

// The online brokers editor's entries: name and URL, any text accepted; OK rewrites the
// section and has the main window rebuild its brokers menu.
class BrokerEntries final : public ListEntries {
public:
    enum Field { NameField = 0, UrlField = 1 };
    static constexpr QStringView kNewName = u"New Online Broker";

    struct Services {
        SettingsProvider& store;
        PromptService& prompts;
        std::function<void()> reloadOnlineBrokers;
    };

    explicit BrokerEntries(Services services);
    void load();
    const QList<BrokerEntry>& table() const { return table_; }

    // ListEntries
    int count() const override { return int(table_.size()); }
    QString nameAt(int index) const override { return table_.at(index).name; }
    EntryFields fieldsAt(int index) const override;
    void store(int index, const EntryFields& fields) override;
    void remove(int index) override { table_.removeAt(index); }
    // Uniqueness is the only rule: empty names and any URL text pass.
    std::optional<int> checkFields(const EntryFields&, bool) override { return std::nullopt; }
    QString newEntryName() const override { return kNewName.toString(); }
    void appendNewEntry() override;
    QString duplicateNameMessage() const override;
    QString nameTakenMessage(const QString& name) const override;
    QString noEntriesQuestion() const override;
    bool save() override;

private:
    Services services_;
    QList<BrokerEntry> table_;
};

}  // namespace lyrevane
