#include "commandurl.h"

#include <QRegularExpression>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// ECMAScript semantics for "$": the match must end at the very end of the text
// (PCRE would also accept a position before a final line break).
std::optional<QRegularExpressionMatch> matchWhole(const QRegularExpression& pattern,
                                                  const QString& text) {
    QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || match.capturedEnd(0) != text.size()) {
        return std::nullopt;
    }
    return match;
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

// Length of the well-formed UTF-8 sequence starting at bytes[i], or 0 when there is none
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
qsizetype utf8SequenceLength(const QByteArray& bytes, qsizetype i) {
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    if (at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (qsizetype k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Appends a run of decoded bytes: valid UTF-8 as characters, anything else as the
// escape text it came from.
void flushBytes(QString& out, QByteArray& bytes, QStringList& escapes) {
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = utf8SequenceLength(bytes, i);
        if (length == 0) {
            out += escapes[i];
            ++i;
        } else {
            out += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    bytes.clear();
    escapes.clear();
}

QString schemeOf(const QString& url) {
    static const QRegularExpression scheme(u"^([A-Za-z][A-Za-z0-9+.-]*):"_s);
    const QRegularExpressionMatch match = scheme.match(url);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

bool hasHost(const QString& url) {
    const QUrl parsed(url, QUrl::TolerantMode);
    return parsed.isValid() && !parsed.host().isEmpty();
}

}  // namespace

std::optional<CommandUrl> MatchCommandUrl(const QString& text) {
    static const QRegularExpression pattern(kCommandPattern.toString(),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = matchWhole(pattern, text);
    if (!match) {
        return std::nullopt;
    }
    return CommandUrl{match->captured(1), match->captured(2)};
}

std::optional<CommandUrl> MatchCommandUrl(const QUrl& url) {
    if (url.scheme() != kCommandScheme) {
        return std::nullopt;
    }
    return MatchCommandUrl(CommandTextOf(url));
}

QString CommandTextOf(const QUrl& url) {
    QString text = url.scheme() + u':' + url.path(QUrl::FullyEncoded);
    if (url.hasQuery()) {
        text += u'?' + url.query(QUrl::FullyEncoded);
    }
    if (url.hasFragment()) {
        text += u'#' + url.fragment(QUrl::FullyEncoded);
    }
    return text;
}

std::optional<BrowseAndPlayParts> MatchBrowseAndPlay(const QString& parameters) {
    static const QRegularExpression pattern(u"^infopage=(.+?)&media=(.+?)$"_s,
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = matchWhole(pattern, parameters);
    if (!match) {
        return std::nullopt;
    }
    return BrowseAndPlayParts{match->captured(1), match->captured(2)};
}

QString UnescapeURL(const QString& text) {
    QString out;
    out.reserve(text.size());
    QByteArray bytes;
    QStringList escapes;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            bytes.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            escapes.append(text.mid(i, 3));
            i += 3;
            continue;
        }
        flushBytes(out, bytes, escapes);
        out += text[i];
        ++i;
    }
    flushBytes(out, bytes, escapes);
    return out;
}

bool IsCommandPageUrl(const QString& url) {
    if (url.compare(u"about:blank"_s, Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QString scheme = schemeOf(url);
    return (scheme == u"http"_s || scheme == u"https"_s) && hasHost(url);
}

bool IsCommandMediaUrl(const QString& url) {
    if (url.isEmpty()) {
        return true;
    }
    static const std::array<QStringView, 5> kSchemes = {u"http", u"https", u"mms", u"mmsh",
                                                        u"rtsp"};
    const QString scheme = schemeOf(url);
    for (QStringView allowed : kSchemes) {
        if (scheme == allowed) {
            return hasHost(url);
        }
    }
    return false;
}

}  // namespace lyrevane
