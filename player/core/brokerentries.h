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
    void Load();
    const QList<BrokerEntry>& Table() const { return table_; }

    // ListEntries
    int Count() const override { return int(table_.size()); }
    QString NameAt(int index) const override { return table_.at(index).name; }
    EntryFields FieldsAt(int index) const override;
    void Store(int index, const EntryFields& fields) override;
    void Remove(int index) override { table_.removeAt(index); }
    // Uniqueness is the only rule: empty names and any URL text pass.
    std::optional<int> CheckFields(const EntryFields&, bool) override { return std::nullopt; }
    QString NewEntryName() const override { return kNewName.toString(); }
    void AppendNewEntry() override;
    QString DuplicateNameMessage() const override;
    QString NameTakenMessage(const QString& name) const override;
    QString NoEntriesQuestion() const override;
    bool Save() override;

private:
    Services services_;
    QList<BrokerEntry> table_;
};

}  // namespace lyrevane
