#include "rules/commandurl.h"

#include "rules/percentescapes.h"

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

std::optional<CommandUrl> matchCommandUrl(const QString& text) {
    static const QRegularExpression pattern(kCommandPattern.toString(),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = matchWhole(pattern, text);
    if (!match) {
        return std::nullopt;
    }
    return CommandUrl{match->captured(1), match->captured(2)};
}

std::optional<CommandUrl> matchCommandUrl(const QUrl& url) {
    if (url.scheme() != kCommandScheme) {
        return std::nullopt;
    }
    return matchCommandUrl(commandTextOf(url));
}

QString commandTextOf(const QUrl& url) {
    QString text = url.scheme() + u':' + url.path(QUrl::FullyEncoded);
    if (url.hasQuery()) {
        text += u'?' + url.query(QUrl::FullyEncoded);
    }
    if (url.hasFragment()) {
        text += u'#' + url.fragment(QUrl::FullyEncoded);
    }
    return text;
}

std::optional<BrowseAndPlayParts> matchBrowseAndPlay(const QString& parameters) {
    static const QRegularExpression pattern(u"^infopage=(.+?)&media=(.+?)$"_s,
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = matchWhole(pattern, parameters);
    if (!match) {
        return std::nullopt;
    }
    return BrowseAndPlayParts{match->captured(1), match->captured(2)};
}

QString unescapeURL(const QString& text) {
    return decodePercentEscapes(text, MalformedEscapes::KeepAsWritten);
}

bool isCommandPageUrl(const QString& url) {
    if (url.compare(u"about:blank"_s, Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QString scheme = schemeOf(url);
    return (scheme == u"http"_s || scheme == u"https"_s) && hasHost(url);
}

bool isCommandMediaUrl(const QString& url) {
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
