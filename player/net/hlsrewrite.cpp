#include "net/hlsrewrite.h"

#include <QList>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::hls {

namespace {

constexpr QByteArrayView kMagic = "#EXTM3U";
constexpr QByteArrayView kBom = "\xEF\xBB\xBF";
constexpr QByteArrayView kUriAttribute = "URI=\"";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QString resolvedTarget(QByteArrayView written, const QUrl& base) {
    const QString text = QString::fromUtf8(written).trimmed();
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || text.isEmpty()) {
        return text;
    }
    return base.resolved(url).toString(QUrl::FullyEncoded);
}

}  // namespace

bool isIndexType(const QByteArray& contentType) {
    const QByteArray type = contentType.split(';').constFirst().trimmed().toLower();
    return type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl" ||
           type == "audio/mpegurl" || type == "audio/x-mpegurl";
}

Sniff sniff(QByteArrayView head, bool complete) {
    const QByteArrayView start = head.first(std::min(head.size(), kSniffLimit));
    qsizetype at = start.startsWith(kBom) ? kBom.size() : 0;
    if (at == 0 && kBom.startsWith(start) && !start.isEmpty() && !complete) {
        return Sniff::NeedMore;  // a byte order mark cut short
    }
    while (at < start.size() && isSpace(start.at(at))) {
        ++at;
    }
    const QByteArrayView rest = start.sliced(at);
    if (rest.size() >= kMagic.size()) {
        return rest.startsWith(kMagic) ? Sniff::Index : Sniff::NotIndex;
    }
    if (!kMagic.startsWith(rest)) {
        return Sniff::NotIndex;
    }
    return complete || head.size() >= kSniffLimit ? Sniff::NotIndex : Sniff::NeedMore;
}

std::optional<QByteArray> rewrite(QByteArrayView index, const QUrl& base,
                                  const std::function<QString(const QString& target)>& replace,
                                  int maxUris) {
    int uris = 0;
    QByteArray out;
    out.reserve(index.size() + 1024);
    qsizetype lineStart = index.startsWith(kBom) ? kBom.size() : 0;
    while (lineStart < index.size()) {
        qsizetype lineEnd = index.indexOf('\n', lineStart);
        if (lineEnd < 0) {
            lineEnd = index.size();
        }
        QByteArrayView line = index.sliced(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const QByteArrayView trimmed = line.trimmed();
        if (trimmed.isEmpty() || (trimmed.startsWith('#') && !trimmed.startsWith("#EXT"))) {
            out += line;
        } else if (!trimmed.startsWith('#')) {
            if (++uris > maxUris) {
                return std::nullopt;
            }
            out += replace(resolvedTarget(trimmed, base)).toUtf8();
        } else {
            // A tag: each URI="..." attribute, wherever it stands in the list.
            qsizetype at = 0;
            while (true) {
                const qsizetype found = line.indexOf(kUriAttribute, at);
                const bool named =
                    found > 0 && (line.at(found - 1) == ':' || line.at(found - 1) == ',');
                const qsizetype valueStart = found + kUriAttribute.size();
                const qsizetype valueEnd = found < 0 ? -1 : line.indexOf('"', valueStart);
                if (found < 0 || valueEnd < 0) {
                    out += line.sliced(at);
                    break;
                }
                out += line.sliced(at, valueStart - at);
                if (named) {
                    if (++uris > maxUris) {
                        return std::nullopt;
                    }
                    const QByteArrayView value = line.sliced(valueStart, valueEnd - valueStart);
                    out += replace(resolvedTarget(value, base)).toUtf8();
                } else {
                    out += line.sliced(valueStart, valueEnd - valueStart);
                }
                out += '"';
                at = valueEnd + 1;
            }
        }
        out += '\n';
    }
    return out;
}

}  // namespace lyrevane::hls
