#include "brokerlist.h"

#include "settingsprovider.h"
#include "typedvalues.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QList<BrokerEntry> LoadBrokerEntries(SettingsProvider& settings) {
    // One snapshot: a save in progress is seen whole or not at all.
    const SectionSnapshot section = settings.ReadSection(kAppName, kBrokersSection);
    QList<BrokerEntry> entries;
    const QStringList names = splitNames(section.value(u"BrokerList"));
    for (const QString& name : names.first(qMin(names.size(), qsizetype(kMaxBrokerEntries)))) {
        entries.append({name, section.value(u"BROKER_"_s + name + u"_URL"_s, u"http://"_s)});
    }
    return entries;
}

}  // namespace lyrevane
