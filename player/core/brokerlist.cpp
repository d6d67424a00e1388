#include "core/brokerlist.h"

#include "common/settingsprovider.h"
#include "common/typedvalues.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QList<BrokerEntry> loadBrokerEntries(SettingsProvider& settings, qsizetype limit) {
    // One snapshot: a save in progress is seen whole or not at all.
    const SectionSnapshot section = settings.readSection(kAppName, kBrokersSection);
    QList<BrokerEntry> entries;
    const QStringList names = splitNames(section.value(u"BrokerList"));
    for (const QString& name : names.first(qMin(names.size(), qMax(limit, qsizetype(0))))) {
        entries.append({name, section.value(u"BROKER_"_s + name + u"_URL"_s, u"http://"_s)});
    }
    return entries;
}

bool saveBrokerEntries(SettingsProvider& settings, const QList<BrokerEntry>& brokers) {
    KeyValueList values;
    QStringList names;
    for (const BrokerEntry& broker : brokers) {
        values.append({u"BROKER_"_s + broker.name + u"_URL"_s, broker.url});
        names.append(broker.name);
    }
    values.append({u"BrokerList"_s, joinNames(names)});
    return settings.rewriteSection(kAppName, kBrokersSection, values);
}

}  // namespace lyrevane
