#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace lyrevane::hls {

// Whether a Content-Type (parameters aside) names an HLS index or an M3U list.
bool isIndexType(const QByteArray& contentType);

enum class Sniff { Index, NotIndex, NeedMore };
// Whether a body begins like an M3U index ("#EXTM3U" after an optional UTF-8 byte order mark
// and white space), from its first bytes. `complete`: nothing more will come. Never needs
// more than kSniffLimit bytes to decide.
Sniff sniff(QByteArrayView head, bool complete);
constexpr qsizetype kSniffLimit = 1024;

// Replaces every URI of an index (each line that is not blank and not a tag, and each
// URI="..." attribute of a tag) with what `replace` makes of it, given the URI resolved
// against `base` (or as written, when it is no URL). Returns nothing when the index holds
// more than `maxUris` URIs.
std::optional<QByteArray> rewrite(QByteArrayView index, const QUrl& base,
                                  const std::function<QString(const QString& target)>& replace,
                                  int maxUris);

}  // namespace lyrevane::hls
