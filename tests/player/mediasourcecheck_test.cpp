#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "fakes.h"
#include "mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::FakePrompts;

TEST(RefusedSources, KeepsTheFixedLayout) {
    const QStringList& list = RefusedSources();
    ASSERT_EQ(list.size(), 23);
    EXPECT_TRUE(list[0].endsWith(u".ram"_s));
    EXPECT_TRUE(list[1].endsWith(u".ram"_s));
    const QRegularExpression numericPls(u"^http://\\d+\\.\\d+\\.\\d+\\.\\d+:\\d+/listen\\.pls$"_s);
    for (int i = 2; i <= 4; ++i) {
        EXPECT_TRUE(numericPls.match(list[i]).hasMatch()) << list[i].toStdString();
    }
    EXPECT_TRUE(list[5].endsWith(u".wma"_s));

    const QRegularExpression address(u"^\\d+\\.\\d+\\.\\d+\\.\\d+$"_s);
    QStringList domains;
    QStringList addresses;
    for (int i = 6; i < 23; ++i) {
        (address.match(list[i]).hasMatch() ? addresses : domains).append(list[i]);
    }
    EXPECT_EQ(domains.size(), 13);
    EXPECT_EQ(QSet<QString>(domains.cbegin(), domains.cend()).size(), 11);
    EXPECT_EQ(addresses.size(), 4);
    EXPECT_EQ(QSet<QString>(addresses.cbegin(), addresses.cend()).size(), 3);
    // Invented names only: documentation domains and address ranges.
    for (const QString& entry : list) {
        const bool documentation = entry.contains(u".example"_s) || entry.contains(u"192.0.2."_s) ||
                                   entry.contains(u"198.51.100."_s) ||
                                   entry.contains(u"203.0.113."_s);
        EXPECT_TRUE(documentation) << entry.toStdString();
    }
}

TEST(CheckMediaURL, AcceptsOtherSourcesSilently) {
    FakePrompts prompts;
    EXPECT_TRUE(CheckMediaURL(QString(), prompts));
    EXPECT_TRUE(CheckMediaURL(u"http://www.quillmoor.example/ASX/quillmoor.asx"_s, prompts));
    EXPECT_TRUE(CheckMediaURL(u"http://127.0.0.1:8000/live.mp3"_s, prompts));
    // Near misses: another address in the same range, a different domain.
    EXPECT_TRUE(CheckMediaURL(u"http://192.0.2.18/x"_s, prompts));
    EXPECT_TRUE(CheckMediaURL(u"http://radiodial.org/x"_s, prompts));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST(CheckMediaURL, RefusesEveryEntryWithTheMessage) {
    for (const QString& entry : RefusedSources()) {
        FakePrompts prompts;
        EXPECT_FALSE(CheckMediaURL(entry, prompts)) << entry.toStdString();
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_EQ(prompts.messages.front(),
                  u"This player only recognizes legitimate audio programming--please try "
                  u"another URL."_s);
        EXPECT_EQ(prompts.icons.front(), MessageIcon::Exclamation);
    }
}

TEST(CheckMediaURL, MatchesAnywhereWithoutRegardToCase) {
    FakePrompts prompts;
    EXPECT_FALSE(CheckMediaURL(u"HTTP://STREAM.BULLHORNFM.EXAMPLE/LIVE"_s, prompts));
    EXPECT_FALSE(CheckMediaURL(u"http://ok.example/live?ref=openbell.example"_s, prompts));
    EXPECT_FALSE(CheckMediaURL(u"http://ok.example/live#198.51.100.42"_s, prompts));
    EXPECT_FALSE(CheckMediaURL(u"http://notmarketmic.example/x"_s, prompts));
    EXPECT_FALSE(CheckMediaURL(u"http://marketmic.example.net/x"_s, prompts));
    // A longer URL holding a refused stream URL.
    EXPECT_FALSE(CheckMediaURL(u"http://203.0.113.9:9000/listen.pls?sid=1"_s, prompts));
    EXPECT_EQ(prompts.messages.size(), 6);
}

TEST(CheckMediaURL, QuietModeRefusesWithoutAMessage) {
    FakePrompts prompts;
    EXPECT_FALSE(CheckMediaURL(u"http://closingbell.example/"_s, prompts, true));
    EXPECT_TRUE(CheckMediaURL(u"http://fine.example/"_s, prompts, true));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

}  // namespace
}  // namespace lyrevane
