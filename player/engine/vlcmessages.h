#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <chrono>

namespace lyrevane::vlcmessages {

// Whether a URL names a playlist file by its extension (.pls, .m3u, .asx, ...), so that
// its fetch can be reported as a playlist before libVLC has looked at it.
bool looksLikePlaylist(const QString& url);

// A readable description of why `name` could not be opened, made from the error lines
// logged while opening it (oldest first): the media input's and the media library's.
QString openFailure(const QStringList& vlcErrors, const QString& name);
// A stream that failed after its audio had started; `fallbackReason` stands in when the
// log names no reason.
QString connectionLost(const QStringList& vlcErrors, const QString& name,
                       const QString& fallbackReason = {});
// Why a stream failed, in plain words ("HTTP 404 Not Found", "Connection refused"), from
// the error lines logged; `fallbackReason` when they name none.
QString reason(const QStringList& vlcErrors, const QString& fallbackReason = {});
// What the listener is told while a dropped stream is reconnected:
// "Reconnecting since 15:07: Connection refused" (`since` is local time).
QString reconnectingSince(QTime since, const QString& reason);
// The reason given for a stream that stopped sending.
QString noDataFor(std::chrono::milliseconds duration);
QString unsupportedFormat(const QString& name);
// A playlist whose entries lead back to itself.
QString playlistLoops(const QString& name);
// `count` entries of what `name` leads to were tried without any playing.
QString tooManyEntries(const QString& name, int count);
QString engineUnavailable();
// Whether an error line names a reason in the forms reason() reads: an HTTP status line
// ("HTTP/1.1 404 Not Found"), a socket error ("connection failed: Connection refused"), a failed
// name look-up ("cannot resolve radio.invalid port 80").
bool namesReason(const QString& line);
// The reason given for an error line that names none the listener could read.
QString unreadableStream();

}  // namespace lyrevane::vlcmessages
