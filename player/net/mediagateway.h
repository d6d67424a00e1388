#pragma once

#include "rules/sourcerules.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

#include <chrono>
#include <deque>

namespace lyrevane {

class GatewayExchange;

struct MediaGatewayOptions {
    SourceRules rules;
    // Connections served at once: each asked for a live address.
    int maxConnections = 8;
    // Connections that have not yet asked for one: a few wait, for a short time, the oldest
    // making room for the newest, so that no other local program holds the door shut.
    int maxWaiting = 16;
    std::chrono::milliseconds tokenDeadline{1000};
    qsizetype maxTokens = 4096;
    qsizetype maxRequestHead = 16 * 1024;
    std::chrono::milliseconds requestDeadline{5000};
    // For each answer's head, and for the whole of an index.
    std::chrono::milliseconds upstreamDeadline{20000};
    int maxRedirects = 10;
    qsizetype maxIndexBytes = 1024 * 1024;
    int maxIndexUris = 2000;
    // While the media library leaves this much unread, the network is held back.
    qint64 maxUnwritten = 256 * 1024;
};

// The only place the media library reads HTTP(S) from: an HTTP server on 127.0.0.1 that
// answers for sources the player checked. Each source is published under an address of its
// own (a random token, unguessable by other local programs); a request for it is asked
// upstream with libcurl, every redirect target checked against the rules and every address
// connected to as well, and answered with a head the gateway writes itself. HLS indexes are
// rewritten so that each segment, key, variant and refresh comes back through the gateway and
// is checked like the first request; what the rules refuse is answered 403 and reported.
//
// Lives on a thread of its own (the engine's network thread); publish, revokeAll and the
// mapping back to real addresses may be called from any thread.
class MediaGateway final : public QObject {
    Q_OBJECT

public:
    // Listens at once, on a port of the system's choosing.
    explicit MediaGateway(MediaGatewayOptions options = {}, QObject* parent = nullptr);
    ~MediaGateway() override;
    MediaGateway(const MediaGateway&) = delete;
    MediaGateway& operator=(const MediaGateway&) = delete;

    bool isListening() const { return !origin_.isEmpty(); }
    // "http://127.0.0.1:<port>": every address the gateway hands out begins with it.
    QString origin() const { return origin_; }
    const MediaGatewayOptions& options() const { return options_; }
    // URLs longer than this are not published: refused.
    static constexpr qsizetype kMaxUrl = 4096;

    // The gateway's address for `url`, which the caller checked: the same token each time
    // for the same URL while it is remembered. The last segment of the URL's path follows
    // the token, for the media library's format guesses.
    QString publish(const QString& url);
    // The same for a URL an index lists: its failures are left to the media library, which
    // may skip a segment or try again, and are not reported.
    QString publishListed(const QString& url);
    // An address that answers 403 and reports `target` as refused, once.
    QString publishRefused(const QString& target);
    // Forgets every address handed out and ends the requests in progress; returns the new
    // session, which the reports of later requests carry.
    quint64 revokeAll();
    // The real URL a gateway address stands for (a refused one gives its refused target):
    // relative paths below a token are resolved against the token's URL. Empty for an address
    // of the gateway that is not (or no longer) known; `url` itself when not the gateway's.
    QString upstreamOf(const QString& url) const;
    // `text` with every gateway address in it replaced by the real URL.
    QString unmasked(const QString& text) const;

    struct Lookup {
        bool found = false;
        bool refused = false;
        bool firstRequest = false;  // of a refused address: report it
        bool listed = false;        // published for an index: failures not reported
        QString url;
        quint64 session = 0;
    };
    Lookup lookup(const QByteArray& token);
    // A token whose requests led somewhere refused: later requests for it are refused at once,
    // without asking upstream again.
    void markRefused(const QByteArray& token);
    // Whether a connection that asked for a live address may be served now.
    bool admit() const;
    void reportRefused(quint64 session, const QString& target);
    void reportFailed(quint64 session, const QString& line);

Q_SIGNALS:
    // A request led to `target`, which the rules refuse; it was answered 403.
    void refused(quint64 session, const QString& target);
    // A request could not be answered from upstream (no HTTP answer, an index too large);
    // `line` says why, in the media library's words. It was answered 502.
    void failed(quint64 session, const QString& line);

private:
    struct Entry {
        QString url;
        QString key;  // in byUrl_
        bool refused = false;
        bool listed = false;
        bool told = false;
    };

    QString publishEntry(const QString& url, bool refused, bool listed);
    void accept();
    void endStale();

    const MediaGatewayOptions options_;
    QTcpServer server_;
    QString origin_;
    QList<QPointer<GatewayExchange>> exchanges_;

    mutable QMutex mutex_;
    QHash<QByteArray, Entry> tokens_;
    QHash<QString, QByteArray> byUrl_;  // "!" before the URL for refused ones
    std::deque<QByteArray> order_;      // oldest first
    quint64 session_ = 1;
};

}  // namespace lyrevane
