#include "rules/hostnormaliser.h"

#include "rules/percentescapes.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include <arpa/inet.h>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Enough for any host a network stack would accept; only contrived texts need more.
constexpr int kMaxMappingRounds = 16;

// Decodes "%XX" escapes as UTF-8 bytes until none is left; bytes that form no UTF-8
// become U+FFFD. Each round that changes anything shortens the text, so this ends.
QString percentDecoded(QString text) {
    while (text.contains(u'%')) {
        QString next = decodePercentEscapes(text, MalformedEscapes::Replace);
        if (next == text) {
            break;
        }
        text = std::move(next);
    }
    return text;
}

// Characters that IDNA mapping deletes (soft hyphen, joiners, variation selectors...).
bool isIgnoredInNames(char32_t c) {
    return c == 0x00AD || c == 0x034F || (c >= 0x180B && c <= 0x180F) ||
           (c >= 0x200B && c <= 0x200D) || c == 0x2060 || c == 0x2064 ||
           (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
           (c >= 0xE0100 && c <= 0xE01EF);
}

// A name as IDNA maps it: compatibility forms (full-width letters and dots) to plain ones,
// the ideographic full stops to ".", ignored characters removed, case folded, and any
// label that is still not ASCII in its "xn--" form.
QString mappedName(const QString& host) {
    QString name = host.normalized(QString::NormalizationForm_KC);
    QString kept;
    kept.reserve(name.size());
    for (const char32_t c : name.toUcs4()) {
        if (isIgnoredInNames(c)) {
            continue;
        }
        if (c == 0x3002 || c == 0xFF0E || c == 0xFF61) {
            kept += u'.';
        } else {
            kept += QString::fromUcs4(&c, 1);
        }
    }
    name = kept.toCaseFolded().normalized(QString::NormalizationForm_KC);
    const bool ascii =
        std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii) {
        const QByteArray ace = QUrl::toAce(name);
        if (!ace.isEmpty()) {
            name = QString::fromLatin1(ace).toLower();
        }
    }
    while (name.endsWith(u'.')) {
        name.chop(1);
    }
    return name;
}

// One part of a numeric IPv4 host: "0x" hex, leading-zero octal or decimal.
std::optional<std::uint64_t> ipv4Part(QStringView part) {
    int base = 10;
    if (part.size() >= 2 && part[0] == u'0' && (part[1] == u'x' || part[1] == u'X')) {
        base = 16;
        part = part.mid(2);
    } else if (part.size() >= 2 && part[0] == u'0') {
        base = 8;
        part = part.mid(1);
    } else if (part.isEmpty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const QChar c : part) {
        const int digit = hexDigitValue(c.unicode());
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * std::uint64_t(base) + std::uint64_t(digit);
        if (value > 0xFFFFFFFFULL) {
            return std::nullopt;
        }
    }
    return value;
}

// The address a host of one to four numeric parts names, as resolvers read it: every part
// but the last is one byte, the last fills the remaining bytes.
std::optional<std::uint32_t> numericIpv4(const QString& host) {
    const QStringList parts = host.split(u'.');
    if (parts.isEmpty() || parts.size() > 4) {
        return std::nullopt;
    }
    std::uint64_t address = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const std::optional<std::uint64_t> value = ipv4Part(parts[i]);
        if (!value) {
            return std::nullopt;
        }
        const bool last = i == parts.size() - 1;
        if (!last) {
            if (*value > 255) {
                return std::nullopt;
            }
            address |= *value << (8 * (3 - i));
        } else {
            const int bytesLeft = 4 - int(i);
            if (bytesLeft < 4 && *value >= (std::uint64_t(1) << (8 * bytesLeft))) {
                return std::nullopt;
            }
            address |= *value;
        }
    }
    return std::uint32_t(address);
}

QString dottedIpv4(std::uint32_t address) {
    return u"%1.%2.%3.%4"_s.arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

// "[...]": the IPv4 address an IPv6 literal carries, or its canonical text in brackets.
QString normalisedIpv6(QStringView bracketed) {
    QString inner = bracketed.mid(1, bracketed.size() - 2).toString();
    if (const qsizetype zone = inner.indexOf(u'%'); zone >= 0) {
        inner.truncate(zone);
    }
    std::array<unsigned char, 16> bytes{};
    if (inner.isEmpty() || inet_pton(AF_INET6, inner.toLatin1().constData(), bytes.data()) != 1) {
        return {};
    }
    const auto zeros = [&](int from, int to) {
        return std::all_of(bytes.begin() + from, bytes.begin() + to,
                           [](unsigned char b) { return b == 0; });
    };
    const std::uint32_t low = std::uint32_t(bytes[12]) << 24 | std::uint32_t(bytes[13]) << 16 |
                              std::uint32_t(bytes[14]) << 8 | bytes[15];
    const bool mapped = zeros(0, 10) && bytes[10] == 0xFF && bytes[11] == 0xFF;
    const bool compatible = zeros(0, 12) && low > 1;
    const bool nat64 = bytes[0] == 0x00 && bytes[1] == 0x64 && bytes[2] == 0xFF &&
                       bytes[3] == 0x9B && zeros(4, 12);
    if (mapped || compatible || nat64) {
        return dottedIpv4(low);
    }
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, bytes.data(), text, sizeof text);
    return u'[' + QString::fromLatin1(text) + u']';
}

bool isDottedIpv4(const QString& host) {
    static const QRegularExpression dotted(u"^\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"_s);
    return dotted.match(host).hasMatch();
}

}  // namespace

QString normaliseHost(QStringView host) {
    if (host.startsWith(u'[') && host.endsWith(u']') && host.size() >= 2) {
        return normalisedIpv6(host);
    }
    // Decoding can make characters that mapping removes or changes, and mapping can join
    // a "%" to hex digits: repeat both until the name stays as it is.
    QString name = host.toString();
    for (int round = 0; round < kMaxMappingRounds; ++round) {
        const QString next = mappedName(percentDecoded(name));
        if (next == name) {
            break;
        }
        name = next;
    }
    if (name.startsWith(u'[') && name.endsWith(u']')) {
        return normalisedIpv6(name);
    }
    if (const std::optional<std::uint32_t> address = numericIpv4(name)) {
        return dottedIpv4(*address);
    }
    return name;
}

QStringList hostsOf(const QString& url) {
    QString text;
    text.reserve(url.size());
    for (const QChar c : url) {
        if (c != u'\t' && c != u'\n' && c != u'\r') {
            text += c;
        }
    }
    const auto isC0OrSpace = [](QChar c) { return c.unicode() <= 0x20; };
    while (!text.isEmpty() && isC0OrSpace(text.front())) {
        text.remove(0, 1);
    }
    while (!text.isEmpty() && isC0OrSpace(text.back())) {
        text.chop(1);
    }

    // After the scheme, and the whole text as if it had none ("host:port/path").
    QStringList starts{text};
    static const QRegularExpression scheme(u"^[A-Za-z][A-Za-z0-9+.-]*:"_s);
    if (const QRegularExpressionMatch match = scheme.match(text); match.hasMatch()) {
        starts.prepend(text.mid(match.capturedEnd()));
    }

    QStringList hosts;
    for (const QString& start : starts) {
        qsizetype from = 0;
        while (from < start.size() && (start[from] == u'/' || start[from] == u'\\')) {
            ++from;
        }
        for (const QStringView stops : {u"/?#\\", u"/?#"}) {
            qsizetype end = from;
            while (end < start.size() && !stops.contains(start[end])) {
                ++end;
            }
            QStringView authority = QStringView(start).mid(from, end - from);
            if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
                authority = authority.mid(at + 1);
            }
            QStringView host = authority;
            if (authority.startsWith(u'[')) {
                const qsizetype close = authority.indexOf(u']');
                host = close >= 0 ? authority.left(close + 1) : authority;
            } else if (const qsizetype colon = authority.indexOf(u':'); colon >= 0) {
                host = authority.left(colon);
            }
            const QString normalised = normaliseHost(host);
            if (!normalised.isEmpty() && !hosts.contains(normalised)) {
                hosts.append(normalised);
            }
        }
    }
    return hosts;
}

bool hostIsWithin(const QString& host, const QString& refused) {
    if (refused.isEmpty()) {
        return false;
    }
    if (host == refused) {
        return true;
    }
    // Addresses have no subdomains.
    if (isDottedIpv4(refused) || refused.startsWith(u'[')) {
        return false;
    }
    return host.size() > refused.size() && host.endsWith(refused) &&
           host[host.size() - refused.size() - 1] == u'.';
}

}  // namespace lyrevane
