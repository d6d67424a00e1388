#include "engine/vlcmessages.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>

#include <array>

#include "common/httpreasons.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::vlcmessages {

namespace {

QString httpStatus(int status, const QString& serverPhrase) {
    QString phrase = QString::fromLatin1(httpreasons::phrase(status));
    if (phrase.isEmpty()) {
        phrase = serverPhrase.trimmed();
    }
    QString text = u"HTTP "_s + QString::number(status);
    if (!phrase.isEmpty()) {
        text += u' ' + phrase;
    }
    return text;
}

QString capitalised(QString text) {
    text = text.trimmed();
    while (text.endsWith(u'.')) {
        text.chop(1);
    }
    if (!text.isEmpty()) {
        text[0] = text.at(0).toUpper();
    }
    return text;
}

// The forms of the error lines that name a reason: the media input writes them, and the media
// library's own lines are put in these words (vlcquirks::errorLine).
const QRegularExpression httpStatusLine(u"HTTP/\\d(?:\\.\\d)? (\\d{3})(?: (.*))?$"_s);
const QRegularExpression socketError(u"connection failed: (.+)$"_s);
const QRegularExpression lookupError(u"cannot resolve (\\S+) port"_s);

// The reason in the error lines' words, most specific first: an HTTP status, a socket error,
// a name lookup failure, then whatever else was logged.
QString reasonFrom(const QStringList& lines) {
    for (const QString& line : lines) {
        if (const auto match = httpStatusLine.match(line); match.hasMatch()) {
            return httpStatus(match.captured(1).toInt(), match.captured(2));
        }
    }
    for (const QString& line : lines) {
        if (const auto match = socketError.match(line); match.hasMatch()) {
            return capitalised(match.captured(1));
        }
    }
    for (const QString& line : lines) {
        if (const auto match = lookupError.match(line); match.hasMatch()) {
            return u"Host "_s + match.captured(1) + u" not found"_s;
        }
    }
    for (const QString& line : lines) {
        if (!line.trimmed().isEmpty()) {
            return capitalised(line);
        }
    }
    return {};
}

}  // namespace

bool looksLikePlaylist(const QString& url) {
    static const std::array<QString, 7> extensions{u".pls"_s, u".m3u"_s,  u".asx"_s, u".wax"_s,
                                                   u".wvx"_s, u".xspf"_s, u".ram"_s};
    const QString path = QUrl(url).path().toLower();
    for (const QString& extension : extensions) {
        if (path.endsWith(extension)) {
            return true;
        }
    }
    return false;
}

QString openFailure(const QStringList& vlcErrors, const QString& name) {
    const QString reason = reasonFrom(vlcErrors);
    if (reason.isEmpty()) {
        return QCoreApplication::translate("VlcMessages", "Cannot open %1.").arg(name);
    }
    return QCoreApplication::translate("VlcMessages", "Cannot open %1: %2.").arg(name, reason);
}

QString reason(const QStringList& vlcErrors, const QString& fallbackReason) {
    const QString found = reasonFrom(vlcErrors);
    return found.isEmpty() ? capitalised(fallbackReason) : found;
}

QString reconnectingSince(QTime since, const QString& reason) {
    // A fixed 24-hour form: the same digits in every locale.
    const QString text = QCoreApplication::translate("VlcMessages", "Reconnecting since %1")
                             .arg(since.toString(u"HH:mm"_s));
    return reason.isEmpty() ? text : text + u": "_s + reason;
}

QString connectionLost(const QStringList& vlcErrors, const QString& name,
                       const QString& fallbackReason) {
    const QString reason = vlcmessages::reason(vlcErrors, fallbackReason);
    if (reason.isEmpty()) {
        return QCoreApplication::translate("VlcMessages", "Lost the connection to %1.").arg(name);
    }
    return QCoreApplication::translate("VlcMessages", "Lost the connection to %1: %2.")
        .arg(name, reason);
}

QString noDataFor(std::chrono::milliseconds duration) {
    const qint64 seconds = (duration.count() + 500) / 1000;
    if (seconds < 1) {
        return QCoreApplication::translate("VlcMessages", "no data received for %1 ms")
            .arg(duration.count());
    }
    return seconds == 1
               ? QCoreApplication::translate("VlcMessages", "no data received for 1 second")
               : QCoreApplication::translate("VlcMessages", "no data received for %1 seconds")
                     .arg(seconds);
}

QString unsupportedFormat(const QString& name) {
    return QCoreApplication::translate("VlcMessages",
                                       "Cannot play %1: unsupported format (no audio found).")
        .arg(name);
}

QString playlistLoops(const QString& name) {
    return QCoreApplication::translate("VlcMessages",
                                       "The playlist %1 loops: its entries lead back to itself.")
        .arg(name);
}

QString tooManyEntries(const QString& name, int count) {
    return QCoreApplication::translate(
               "VlcMessages", "Gave up on %1: %2 of its entries were tried and none played.")
        .arg(name, QString::number(count));
}

bool namesReason(const QString& line) {
    return httpStatusLine.match(line).hasMatch() || socketError.match(line).hasMatch() ||
           lookupError.match(line).hasMatch();
}

QString unreadableStream() {
    return QCoreApplication::translate("VlcMessages", "the stream could not be read");
}

QString engineUnavailable() {
    return QCoreApplication::translate(
        "VlcMessages", "The media engine could not be started (libVLC failed to initialise).");
}

}  // namespace lyrevane::vlcmessages
