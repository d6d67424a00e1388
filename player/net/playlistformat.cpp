#include "net/playlistformat.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::playlistformat {

namespace {

// Text of the body without a byte-order mark: UTF-16 when the mark says so (some Windows
// tools write playlists that way), otherwise UTF-8 (playlists in Latin-1 keep their ASCII URLs
// intact either way).
QString bodyText(const QByteArray& body) {
    if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF")) {
        // A cut in the middle of a character (a head, a capped body) only loses that one.
        const QByteArrayView whole(body.constData(), body.size() - body.size() % 2);
        QStringDecoder utf16(QStringDecoder::Utf16);  // follows the mark, which it drops
        return utf16(whole);
    }
    QByteArray bytes = body;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    return QString::fromUtf8(bytes);
}

QString decodeEntities(QString text) {
    static const QRegularExpression numeric(u"&#(x[0-9a-fA-F]{1,6}|[0-9]{1,7});"_s);
    QString out;
    qsizetype last = 0;
    auto it = numeric.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(text).mid(last, match.capturedStart(0) - last);
        const QString digits = match.captured(1);
        bool ok = false;
        const uint code =
            digits.startsWith(u'x') ? digits.mid(1).toUInt(&ok, 16) : digits.toUInt(&ok, 10);
        if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
            const char32_t c = code;
            out += QString::fromUcs4(&c, 1);
        }
        last = match.capturedEnd(0);
    }
    out += QStringView(text).mid(last);
    out.replace(u"&lt;"_s, u"<"_s);
    out.replace(u"&gt;"_s, u">"_s);
    out.replace(u"&quot;"_s, u"\""_s);
    out.replace(u"&apos;"_s, u"'"_s);
    out.replace(u"&amp;"_s, u"&"_s);
    return out;
}

void append(Parsed& parsed, const QString& entry, qsizetype maxEntries) {
    const QString trimmed = entry.trimmed();
    if (!trimmed.isEmpty() && parsed.entries.size() < maxEntries) {
        parsed.entries.append(trimmed);
    }
}

// "[playlist]" with FileN= lines, or an ASF reference file with RefN= lines, by number.
Parsed parseNumbered(const QString& text, qsizetype maxEntries) {
    static const QRegularExpression line(
        u"^\\s*(?:file|ref)(\\d{1,9})\\s*=(.*)$"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    std::multimap<qulonglong, QString> numbered;
    auto it = line.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        numbered.emplace(match.captured(1).toULongLong(), match.captured(2));
    }
    Parsed parsed;
    for (const auto& [number, entry] : numbered) {
        append(parsed, entry, maxEntries);
    }
    return parsed;
}

// ASX and XSPF: the hrefs of <ref> and <entryref>, and the text of <location>, in order.
Parsed parseMarkup(const QString& text, qsizetype maxEntries) {
    static const QRegularExpression reference(
        u"<\\s*(?:ref|entryref)\\b[^>]*?\\bhref\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))|"
        "<\\s*location\\s*>([^<]*)<\\s*/\\s*location\\s*>"_s,
        QRegularExpression::CaseInsensitiveOption);
    Parsed parsed;
    auto it = reference.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        for (int group = 1; group <= 4; ++group) {
            if (match.capturedStart(group) >= 0) {
                append(parsed, decodeEntities(match.captured(group)), maxEntries);
                break;
            }
        }
    }
    return parsed;
}

// M3U, M3U8 and RAM: every line that is not a comment. An HLS index also names URIs in
// tag attributes (keys, alternative renditions); they are collected for checking.
Parsed parseLines(const QString& text, qsizetype maxEntries) {
    static const QRegularExpression uriAttribute(u"URI\\s*=\\s*\"([^\"]*)\""_s,
                                                 QRegularExpression::CaseInsensitiveOption);
    Parsed parsed;
    const QStringList lines = text.split(QRegularExpression(u"[\r\n]"_s), Qt::SkipEmptyParts);
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(u"#EXT-X-"_s, Qt::CaseInsensitive)) {
            parsed.segmented = true;
            auto it = uriAttribute.globalMatch(line);
            while (it.hasNext()) {
                append(parsed, it.next().captured(1), maxEntries);
            }
        } else if (!line.startsWith(u'#')) {
            append(parsed, line, maxEntries);
        }
    }
    return parsed;
}

QString leading(const QByteArray& head, qsizetype length) {
    return bodyText(head.left(length)).trimmed().toLower();
}

}  // namespace

Declared classifyContentType(const QByteArray& contentType) {
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    static const std::array<QByteArrayView, 18> kPlaylistTypes{"audio/x-mpegurl",
                                                               "audio/mpegurl",
                                                               "application/x-mpegurl",
                                                               "application/mpegurl",
                                                               "application/vnd.apple.mpegurl",
                                                               "audio/x-scpls",
                                                               "audio/scpls",
                                                               "application/pls+xml",
                                                               "application/pls",
                                                               "video/x-ms-asx",
                                                               "audio/x-ms-asx",
                                                               "audio/x-ms-wax",
                                                               "video/x-ms-wvx",
                                                               "application/xspf+xml",
                                                               "audio/x-pn-realaudio",
                                                               "audio/vnd.rn-realaudio",
                                                               "application/x-ms-asx",
                                                               "video/x-ms-wmx"};
    for (const QByteArrayView playlist : kPlaylistTypes) {
        if (type == playlist) {
            return Declared::Playlist;
        }
    }
    // ASF is both a stream format and the type many servers give ASX files.
    if (type == "video/x-ms-asf" || type == "application/vnd.ms-asf") {
        return Declared::Unsure;
    }
    if (type.startsWith("audio/") || type.startsWith("video/") || type == "application/ogg") {
        return Declared::Media;
    }
    return Declared::Unsure;
}

bool hasPlaylistExtension(const QUrl& url) {
    static const std::array<QStringView, 9> kExtensions{
        u".m3u", u".m3u8", u".pls", u".asx", u".wax", u".wvx", u".xspf", u".ram", u".wmx"};
    const QString path = url.path().toLower();
    return std::any_of(kExtensions.begin(), kExtensions.end(),
                       [&](QStringView extension) { return path.endsWith(extension); });
}

bool looksLikePlaylist(const QByteArray& head) {
    const QString start = leading(head, 1024);
    static const std::array<QStringView, 6> kOpenings{u"#extm3u",     u"#extinf", u"[playlist]",
                                                      u"[reference]", u"<asx",    u"<playlist"};
    for (const QStringView opening : kOpenings) {
        if (start.startsWith(opening)) {
            return true;
        }
    }
    if (start.startsWith(u"<?xml"_s)) {
        return start.contains(u"<asx"_s) || start.contains(u"<playlist"_s);
    }
    return false;
}

Parsed parse(const QByteArray& body, qsizetype maxEntries) {
    const QString text = bodyText(body);
    const QString start = text.left(1024).trimmed().toLower();
    if (start.startsWith(u"[playlist]"_s) || start.startsWith(u"[reference]"_s)) {
        return parseNumbered(text, maxEntries);
    }
    if (start.startsWith(u'<')) {
        return parseMarkup(text, maxEntries);
    }
    return parseLines(text, maxEntries);
}

}  // namespace lyrevane::playlistformat
