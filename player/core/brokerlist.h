#pragma once

#include <QList>
#include <QString>

namespace lyrevane {

class SettingsProvider;

inline constexpr QStringView kBrokersSection = u"v1_0\\OnlineBrokers";

// One entry of the brokers menu: the name as listed and the URL as read when the menu
// was built.
struct BrokerEntry {
    QString name;
    QString url;
    bool operator==(const BrokerEntry&) const = default;
};

// The stored brokers in list order; a listed name without a URL key gets "http://".
// The menu holds at most this many entries; further names are left out.
inline constexpr int kMaxBrokerEntries = 32767;

// At most `limit` of them (the menu's size); the editor reads them all, so that saving
// never drops names.
QList<BrokerEntry> loadBrokerEntries(SettingsProvider& settings,
                                     qsizetype limit = kMaxBrokerEntries);

// Replaces the section in one transaction: each broker's URL key in list order, then
// "BrokerList" (written even when empty). False when the store could not do it.
bool saveBrokerEntries(SettingsProvider& settings, const QList<BrokerEntry>& brokers);

}  // namespace lyrevane
