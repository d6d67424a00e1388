#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

namespace lyrevane::vlcmessages {

// Whether a URL names a playlist file by its extension (.pls, .m3u, .asx, ...), so that
// its fetch can be reported as a playlist before libVLC has looked at it.
bool looksLikePlaylist(const QString& url);

// A readable description of why `name` could not be opened, made from the error lines
// that libVLC logged while opening it (oldest first).
QString openFailure(const QStringList& vlcErrors, const QString& name);
// A stream that failed after its audio had started; `fallbackReason` stands in when the
// log names no reason.
QString connectionLost(const QStringList& vlcErrors, const QString& name,
                       const QString& fallbackReason = {});
// The reason given for a stream that stopped sending.
QString noDataFor(std::chrono::milliseconds duration);
QString connectTimeout(const QString& name);
QString unsupportedFormat(const QString& name);
QString emptyPlaylist(const QString& name);
QString engineUnavailable();

}  // namespace lyrevane::vlcmessages
