#pragma once

#include "net/curltransfer.h"
#include "rules/sourcerules.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace lyrevane {

// What one source turned out to be.
struct SourceResolution {
    enum class Kind {
        Media,     // `url` may be opened as it is: every redirect to it was checked
        Playlist,  // `entries` are the playlist's entries that pass the rules, to resolve next
        Failed,    // nothing to open; `message` says why
    };
    Kind kind = Kind::Failed;
    QString url;
    QStringList entries;
    // Playlist entries and redirect targets that the rules refused.
    QStringList refused;
    QString message;
    // For media over HTTP(S): the last answer's status and reason phrase (0 when no HTTP
    // answer came), or the network error that stood in for an answer.
    int httpStatus = 0;
    QString httpReason;
    CurlTransfer::Error networkError = CurlTransfer::Error::None;
    QString networkErrorText;
    // With `keepStream`: the open transfer of a stream (status 2xx), handed over with the
    // bytes read from it so far. The receiver owns it.
    CurlTransfer* stream = nullptr;
    QByteArray head;
};

struct SourceResolverOptions {
    SourceRules rules;
    int maxRedirects = 5;
    qint64 maxPlaylistBytes = 512 * 1024;
    qsizetype maxEntries = 100;
    // For the whole resolution of one source, redirects included.
    std::chrono::milliseconds deadline{20000};
    // Asks for ICY metadata and hands a stream's answer over instead of closing it, so that
    // the stream is read on the connection that was checked.
    bool keepStream = false;
};

// Looks at a source before the media engine opens it, so that only checked URLs reach
// the engine. Over HTTP(S) (libcurl: proxies from the environment, old radio servers' heads)
// it follows redirects itself, checking every target and every address it connects to against
// the rules, and reads playlists (headers first: a stream is left after its headers,
// a playlist is read up to a size cap). Other stream schemes are only checked. Every
// answer that is neither a redirect nor a playlist (an audio stream, an HTTP error, a
// server that is down) leaves the source to the engine, which reports what it meets.
// One resolution at a time, asynchronous; never blocks the thread it runs on.
class SourceResolver final : public QObject {
    Q_OBJECT

public:
    explicit SourceResolver(SourceResolverOptions options = {}, QObject* parent = nullptr);
    ~SourceResolver() override;
    SourceResolver(const SourceResolver&) = delete;
    SourceResolver& operator=(const SourceResolver&) = delete;

    // Starts resolving `url`, abandoning any resolution in progress. `finished` follows
    // exactly once, never from inside this call.
    void resolve(const QString& url);
    // Abandons the resolution in progress; its `finished` never comes.
    void cancel();
    bool isBusy() const;

    const SourceRules& rules() const { return options_.rules; }

Q_SIGNALS:
    void finished(const lyrevane::SourceResolution& result);

private:
    void request(const QString& url);
    void onHeaders();
    void onData();
    void onFinished();
    void follow(const QString& location);
    void decideUnsure(bool complete);
    void readPlaylist(bool complete);
    void finishPlaylist();
    void finishMedia();
    void finishFailed(const QString& message);
    void finish(SourceResolution result);
    void dropTransfer();

    SourceResolverOptions options_;
    QPointer<CurlTransfer> transfer_;
    QTimer deadline_;

    enum class Reading { Headers, Unsure, Playlist };
    Reading reading_ = Reading::Headers;
    QString name_;     // the URL as given, for messages
    QString current_;  // the URL being asked, as it will be handed on
    QSet<QString> visited_;
    QStringList refused_;
    int redirects_ = 0;
    QByteArray body_;
    bool busy_ = false;
    bool inResolve_ = false;
    quint64 round_ = 0;  // tells a queued finish of an abandoned resolution apart
};

}  // namespace lyrevane
