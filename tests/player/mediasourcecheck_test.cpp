#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "../support/fakes.h"
#include "rules/hostnormaliser.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::FakePrompts;

TEST(RefusedSources, KeepsTheFixedLayout) {
    const QStringList& list = refusedSources();
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
    EXPECT_TRUE(checkMediaURL(QString(), prompts));
    EXPECT_TRUE(checkMediaURL(u"http://www.quillmoor.example/ASX/quillmoor.asx"_s, prompts));
    EXPECT_TRUE(checkMediaURL(u"http://127.0.0.1:8000/live.mp3"_s, prompts));
    // Near misses: another address in the same range, a different domain.
    EXPECT_TRUE(checkMediaURL(u"http://192.0.2.18/x"_s, prompts));
    EXPECT_TRUE(checkMediaURL(u"http://radiodial.org/x"_s, prompts));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST(CheckMediaURL, RefusesEveryEntryWithTheMessage) {
    for (const QString& entry : refusedSources()) {
        FakePrompts prompts;
        EXPECT_FALSE(checkMediaURL(entry, prompts)) << entry.toStdString();
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_EQ(prompts.messages.front(),
                  u"This player only recognizes legitimate audio programming--please try "
                  u"another URL."_s);
        EXPECT_EQ(prompts.icons.front(), MessageIcon::Exclamation);
    }
}

TEST(CheckMediaURL, MatchesAnywhereWithoutRegardToCase) {
    FakePrompts prompts;
    EXPECT_FALSE(checkMediaURL(u"HTTP://STREAM.BULLHORNFM.EXAMPLE/LIVE"_s, prompts));
    EXPECT_FALSE(checkMediaURL(u"http://ok.example/live?ref=openbell.example"_s, prompts));
    EXPECT_FALSE(checkMediaURL(u"http://ok.example/live#198.51.100.42"_s, prompts));
    EXPECT_FALSE(checkMediaURL(u"http://notmarketmic.example/x"_s, prompts));
    EXPECT_FALSE(checkMediaURL(u"http://marketmic.example.net/x"_s, prompts));
    // A longer URL holding a refused stream URL.
    EXPECT_FALSE(checkMediaURL(u"http://203.0.113.9:9000/listen.pls?sid=1"_s, prompts));
    EXPECT_EQ(prompts.messages.size(), 6);
}

TEST(CheckMediaURL, QuietModeRefusesWithoutAMessage) {
    FakePrompts prompts;
    EXPECT_FALSE(checkMediaURL(u"http://closingbell.example/"_s, prompts, true));
    EXPECT_TRUE(checkMediaURL(u"http://fine.example/"_s, prompts, true));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST(NormaliseHost, ReadsHostsAsTheNetworkStackDoes) {
    const std::pair<QString, QString> cases[] = {
        {u"3221226001"_s, u"192.0.2.17"_s},
        {u"0xC0000211"_s, u"192.0.2.17"_s},
        {u"0xc0.0.2.17"_s, u"192.0.2.17"_s},
        {u"0300.0.2.17"_s, u"192.0.2.17"_s},
        {u"0300.0.02.021"_s, u"192.0.2.17"_s},
        {u"192.0.529"_s, u"192.0.2.17"_s},
        {u"192.529"_s, u"192.0.2.17"_s},
        {u"192.0.2.17."_s, u"192.0.2.17"_s},
        {u"0x.0.0.0"_s, u"0.0.0.0"_s},
        {u"[::ffff:c000:211]"_s, u"192.0.2.17"_s},
        {u"[::FFFF:192.0.2.17]"_s, u"192.0.2.17"_s},
        {u"[64:ff9b::c000:211]"_s, u"192.0.2.17"_s},
        {u"[::192.0.2.17]"_s, u"192.0.2.17"_s},
        {u"[2001:DB8:0::1]"_s, u"[2001:db8::1]"_s},
        {u"[::1]"_s, u"[::1]"_s},
        {u"[fe80::1%25eth0]"_s, u"[fe80::1]"_s},
        {u"Radio%64ial%2Eexample"_s, u"radiodial.example"_s},
        {u"radiodial%252Eexample"_s, u"radiodial.example"_s},
        {u"ｒａｄｉｏｄｉａｌ．ｅｘａｍｐｌｅ"_s, u"radiodial.example"_s},
        {u"radiodial\u3002example"_s, u"radiodial.example"_s},
        {u"radiodial\uFF61example"_s, u"radiodial.example"_s},
        {u"radio\u00ADdial.example.."_s, u"radiodial.example"_s},
        {u"ＲＡＤＩＯＤＩＡＬ.EXAMPLE"_s, u"radiodial.example"_s},
        {u"１９２．０．２．１７"_s, u"192.0.2.17"_s},
        {u"b\u00FCcher.example"_s, u"xn--bcher-kva.example"_s},
        // Not addresses: too many parts, a digit out of range, a part too large.
        {u"1.2.3.4.5"_s, u"1.2.3.4.5"_s},
        {u"08.0.0.1"_s, u"08.0.0.1"_s},
        {u"256.0.0.1"_s, u"256.0.0.1"_s},
        {u"1.2.3.256"_s, u"1.2.3.256"_s},
        {u"4294967296"_s, u"4294967296"_s},
        {u"[not-an-address]"_s, QString()},
        {QString(), QString()},
    };
    for (const auto& [host, expected] : cases) {
        const QString normalised = normaliseHost(host);
        EXPECT_EQ(normalised, expected) << host.toStdString();
        EXPECT_EQ(normaliseHost(normalised), normalised) << "again: " << host.toStdString();
    }
}

TEST(HostsOf, FindsTheHostHoweverTheAuthorityIsWritten) {
    const std::pair<QString, QString> cases[] = {
        {u"http://user:pw@Host.Example:8000/x?y#z"_s, u"host.example"_s},
        {u"http:host.example/x"_s, u"host.example"_s},
        {u"http:\\\\host.example\\x"_s, u"host.example"_s},
        {u"  http://ho\tst.example/ "_s, u"host.example"_s},
        {u"mmsh://[::ffff:c000:211]:80/x"_s, u"192.0.2.17"_s},
        {u"host.example:8000/listen.pls"_s, u"host.example"_s},
        {u"http://a.example\\@b.example/"_s, u"a.example"_s},
        {u"http://a.example\\@b.example/"_s, u"b.example"_s},
    };
    for (const auto& [url, host] : cases) {
        EXPECT_TRUE(hostsOf(url).contains(host))
            << url.toStdString() << " -> " << hostsOf(url).join(u' ').toStdString();
    }
    EXPECT_TRUE(hostsOf(QString()).isEmpty());
}

TEST(HostIsWithin, NamesAndTheirSubdomainsButNotLookAlikes) {
    EXPECT_TRUE(hostIsWithin(u"radiodial.example"_s, u"radiodial.example"_s));
    EXPECT_TRUE(hostIsWithin(u"www.radiodial.example"_s, u"radiodial.example"_s));
    EXPECT_FALSE(hostIsWithin(u"notradiodial.example"_s, u"radiodial.example"_s));
    EXPECT_FALSE(hostIsWithin(u"radiodial.example.org"_s, u"radiodial.example"_s));
    EXPECT_TRUE(hostIsWithin(u"192.0.2.17"_s, u"192.0.2.17"_s));
    EXPECT_FALSE(hostIsWithin(u"1.192.0.2.17"_s, u"192.0.2.17"_s));
    EXPECT_FALSE(hostIsWithin(u"x"_s, QString()));
}

// Spellings of one refused host that a browser or media library reads as that host.
// `tail` follows the host: a path, or a port and path.
QStringList spellingsOf(const QString& host, const QString& tail) {
    QStringList urls;
    const auto add = [&](const QString& authority) {
        urls.append(u"http://"_s + authority + tail);
    };
    const QStringList parts = host.split(u'.');
    const bool address = host.front().isDigit();
    if (address) {
        quint32 value = 0;
        for (const QString& part : parts) {
            value = value << 8 | part.toUInt();
        }
        const auto hex = [](quint32 v) { return u"0x"_s + QString::number(v, 16); };
        const auto oct = [](quint32 v) { return u"0"_s + QString::number(v, 8); };
        add(QString::number(value));
        add(hex(value).toUpper().replace(u"0X"_s, u"0x"_s));
        add(hex(value >> 24) + u"."_s + parts[1] + u"."_s + parts[2] + u"."_s + parts[3]);
        add(oct(value >> 24) + u"."_s + oct((value >> 16) & 0xFF) + u"."_s + parts[2] + u"."_s +
            oct(value & 0xFF));
        add(parts[0] + u"."_s + parts[1] + u"."_s + QString::number(value & 0xFFFF));
        add(parts[0] + u"."_s + QString::number(value & 0xFFFFFF));
        add(u"[::ffff:%1:%2]"_s.arg(value >> 16, 0, 16).arg(value & 0xFFFF, 0, 16));
        add(u"[::FFFF:"_s + host + u"]"_s);
        add(u"[64:ff9b::%1:%2]"_s.arg(value >> 16, 0, 16).arg(value & 0xFFFF, 0, 16));
        add(QString(host).replace(u'.', u"%2E"_s));
        add(QString(host).replace(u'.', u'\uFF0E'));
        add(host + u"."_s);
        add(u"u:p@"_s + QString::number(value));
        urls.append(u"http:"_s + QString::number(value) + tail);
    } else {
        add(u"www."_s + parts[0] + u"%2E"_s + parts.mid(1).join(u'.'));
        add(QString(host).replace(u'.', u'\u3002'));
        add(QString(host).replace(u'.', u'\uFF0E'));
        add(QString(host).replace(u'.', u'\uFF61'));
        add(host + u"."_s);
        add(host.left(2) + u"%"_s + QString::number(host[2].unicode(), 16) + host.mid(3));
        add(host.left(3) + u"\u00AD"_s + host.mid(3));
        add(host.left(1).toUpper() + u"\t"_s + host.mid(1));
        QString wide;
        for (const QChar c : host) {
            wide += c == u'.' ? QChar(0xFF0E) : QChar(c.unicode() + 0xFEE0);
        }
        add(wide);
        urls.append(u"http:\\\\"_s + QString(host).replace(u'.', u"%252e"_s) +
                    QString(tail).replace(u'/', u'\\'));
    }
    return urls;
}

TEST(CheckMediaURL, RefusesEquivalentSpellingsOfEveryRefusedEntry) {
    int spellings = 0;
    for (const QString& entry : refusedSources()) {
        // A stream URL is spelled with its own port and path, a bare host with a path.
        const QUrl stream(entry);
        const bool isStream = entry.contains(u"://"_s);
        const QString host = isStream ? stream.host() : entry;
        const QString tail =
            isStream ? (stream.port() > 0 ? u":%1"_s.arg(stream.port()) : QString()) + stream.path()
                     : u"/live"_s;
        for (const QString& url : spellingsOf(host, tail)) {
            FakePrompts prompts;
            EXPECT_FALSE(checkMediaURL(url, prompts))
                << entry.toStdString() << ": " << url.toStdString();
            EXPECT_EQ(prompts.messages.size(), 1);
            ++spellings;
        }
    }
    std::printf("%d spellings of the 23 refused entries\n", spellings);
}

TEST(CheckMediaURL, EveryRefusedStreamLiesOnARefusedHost) {
    for (const QString& entry : refusedSources()) {
        if (!entry.contains(u"://"_s)) {
            continue;
        }
        const QStringList hosts = hostsOf(entry);
        const bool covered = std::any_of(hosts.cbegin(), hosts.cend(), [](const QString& h) {
            return std::any_of(refusedHosts().cbegin(), refusedHosts().cend(),
                               [&](const QString& r) { return hostIsWithin(h, r); });
        });
        EXPECT_TRUE(covered) << entry.toStdString();
    }
    EXPECT_EQ(refusedHosts().size(), 14);
}

TEST(CheckMediaURL, NearMissesOfTheHostRuleAreAccepted) {
    FakePrompts prompts;
    for (const QString& url : {u"http://3221226002/live"_s, u"http://0xc0.0.2.18/live"_s,
                               u"http://[::ffff:c000:212]/live"_s, u"http://radiodia1.example/"_s,
                               u"http://radiodial.exampl%65.org/live"_s,
                               u"http://radiodial\uFF0Eexample\uFF0Eorg/live"_s,
                               u"http://[2001:db8::c000:211]/live"_s}) {
        EXPECT_TRUE(checkMediaURL(url, prompts)) << url.toStdString();
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
}

}  // namespace
}  // namespace lyrevane
