#include "core/brokerlist.h"

#include <gtest/gtest.h>

#include "../support/fakes.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::MemorySettings;

TEST(BrokerList, EntriesFollowTheStoredListExactly) {
    MemorySettings settings;
    EXPECT_TRUE(loadBrokerEntries(settings).isEmpty());
    settings.Set(kBrokersSection, u"BrokerList", QString());
    EXPECT_TRUE(loadBrokerEntries(settings).isEmpty());

    settings.Set(kBrokersSection, u"BrokerList", u"Alpha Trade$!Beta & Co"_s);
    settings.Set(kBrokersSection, u"BROKER_Alpha Trade_URL", u"https://alpha.example/"_s);
    settings.Set(kBrokersSection, u"BROKER_Beta & Co_URL", u"lyrev:play?x"_s);
    EXPECT_EQ(loadBrokerEntries(settings),
              (QList<BrokerEntry>{{u"Alpha Trade"_s, u"https://alpha.example/"_s},
                                  {u"Beta & Co"_s, u"lyrev:play?x"_s}}));
}

TEST(BrokerList, EmptyNamesMissingUrlsAndSharedKeys) {
    MemorySettings settings;
    settings.Set(kBrokersSection, u"BrokerList", u"A$!$!B$!a"_s);
    settings.Set(kBrokersSection, u"BROKER_A_URL", u"http://a.example/"_s);
    settings.Set(kBrokersSection, u"BROKER__URL", u"http://empty.example/"_s);
    const QList<BrokerEntry> entries = loadBrokerEntries(settings);
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[1], (BrokerEntry{QString(), u"http://empty.example/"_s}));
    EXPECT_EQ(entries[2], (BrokerEntry{u"B"_s, u"http://"_s}));  // no URL key
    // Names differing only in case share one key.
    EXPECT_EQ(entries[3].url, u"http://a.example/"_s);
}

TEST(BrokerList, AtMostTheLargestMenuIsBuilt) {
    MemorySettings settings;
    QStringList names;
    for (int i = 0; i < kMaxBrokerEntries + 3; ++i) {
        names.append(QString::number(i));
    }
    settings.Set(kBrokersSection, u"BrokerList", names.join(u"$!"_s));
    EXPECT_EQ(loadBrokerEntries(settings).size(), kMaxBrokerEntries);
}

}  // namespace
}  // namespace lyrevane
