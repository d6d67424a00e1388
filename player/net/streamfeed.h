#pragma once

#include "early/earlyconnection.h"
#include "feed/feedbuffer.h"
#include "net/icyreader.h"
#include "net/mediasniff.h"
#include "net/sourceresolver.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>

class QIODevice;
class QTimer;

namespace lyrevane {

// Reads one HTTP(S) stream for the media library, on the thread it lives on. The source is
// resolved first (redirects checked against the rules, playlists read); when it turns out
// to be a stream, the same connection goes on: its ICY metadata is taken out (the station's
// name from the headers, each title as it changes, UTF-8 or Latin-1) and the audio goes into
// a FeedBuffer that the media library reads. Sources that are not a live stream (files of a
// known length, playlists, segmented streams, other schemes, failures) are reported for the
// engine to handle.
//
// Every report carries the ticket of the `open` it belongs to; after `close` or another
// `open`, nothing more comes for the old ticket except what was already queued.
class StreamFeed final : public QObject {
    Q_OBJECT

public:
    explicit StreamFeed(SourceResolverOptions options, QObject* parent = nullptr);
    ~StreamFeed() override;
    StreamFeed(const StreamFeed&) = delete;
    StreamFeed& operator=(const StreamFeed&) = delete;

    // A connection opened before the feed existed, for the first `open` of its URL.
    void setEarlyConnection(std::shared_ptr<EarlyConnection> early);
    void open(quint64 ticket, const QString& url, std::shared_ptr<FeedBuffer> buffer);
    void close();
    // Moves bytes from the network into the buffer while it has room.
    void pump();

    // The error line for a source that answered with `result` and cannot be played; empty
    // when the media library should try the source itself. In the media library's own
    // wording, so that messages read alike whoever met the error.
    static QString failureLine(const SourceResolution& result);

Q_SIGNALS:
    // Not a stream this feed reads: open by URL (Media), expand (Playlist) or fail.
    void resolved(quint64 ticket, const lyrevane::SourceResolution& result);
    // The source cannot be played; `line` says why.
    void failed(quint64 ticket, const QString& line);
    // Audio flows into the buffer.
    void started(quint64 ticket, const QString& station);
    // `position`: where in the stream's audio the title begins.
    void titleChanged(quint64 ticket, const QString& title, quint64 position);
    // The stream ended; the buffer drains what it holds. `line` says why, when known.
    void ended(quint64 ticket, const QString& line);

private:
    // What a stream's answer says about it.
    struct StreamHead {
        qint64 metaint = 0;
        QString station;
        bool mpegAudio = false;
        QByteArray contentType;
        int bitRate = 0;  // kbit/s, when the server says
    };

    void resolve(const QString& url);
    void onResolved(const SourceResolution& result);
    void adoptTransfer(CurlTransfer* transfer, const QByteArray& head);
    void adopt(QIODevice* source, const QByteArray& head, const StreamHead& stream);
    bool sourceFinished() const;
    void take(QByteArrayView raw);
    bool look(QByteArray& audio, bool complete);
    void turnAway(mediasniff::Kind kind);
    void endStream();
    void dropSource();
    // The early connection's answer, read here: a live stream is fed at once; anything
    // else is asked again through the resolver, which knows every other case.
    void startEarly(std::shared_ptr<EarlyAnswer> answer, const QString& url);
    void onEarlyData();
    void dropEarly();

    SourceResolverOptions options_;
    std::unique_ptr<SourceResolver> resolver_;  // made on first use, on the feed's thread
    QPointer<QIODevice> source_;                // a CurlTransfer, or the early answer
    std::shared_ptr<EarlyConnection> early_;
    std::shared_ptr<EarlyAnswer> earlyAnswer_;
    QTimer* earlyDeadline_ = nullptr;
    QString earlyUrl_;
    std::shared_ptr<FeedBuffer> buffer_;
    IcyReader icy_;
    QString title_;
    quint64 ticket_ = 0;
    // MPEG audio is handed on from its first whole frame; what comes before is held here.
    bool aligning_ = false;
    QByteArray unaligned_;
    // What libVLC would be given is looked at first: held here until it is known.
    bool sniffing_ = true;
    QByteArray unsniffed_;
    QString url_;  // of the stream being fed, after its redirects
};

}  // namespace lyrevane
