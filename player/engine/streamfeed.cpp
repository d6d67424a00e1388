#include "streamfeed.h"

#include "mpegaudio.h"
#include "netlog.h"
#include "nowplaying.h"
#include "playlistformat.h"

#include <QHash>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <sys/socket.h>

#include <algorithm>
#include <optional>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// What the transfer keeps unread before it stops reading: the network waits while the media
// library has all it can hold.
constexpr qint64 kReplyBuffer = 64 * 1024;
// The largest metadata interval taken as such; anything larger is not a real stream's.
constexpr qint64 kMaxMetaint = 1024 * 1024;

// Enough of a stream to find its first frame in; past it the bytes go on as they are.
constexpr qsizetype kMaxUnaligned = 64 * 1024;

// The most of an answer's head the early connection reads.
constexpr qsizetype kMaxAnswerHead = 16 * 1024;
// How long the feed waits for an early connection still being made.
constexpr std::chrono::milliseconds kEarlyWait{2000};

// The least cushion against the network's jitter: this long of audio is buffered before libVLC
// starts. A server that sends a burst on connecting (Icecast does, several seconds) fills it at
// once and gives more; playing a little slow grows it further (CushionGovernor).
constexpr int kCushionMs = 1000;
// Assumed when neither the server nor the stream says.
constexpr int kDefaultBitRate = 128;
// The highest declared rate taken as such, in kbit/s.
constexpr int kMaxBitRate = 2000;

// How long bytes from the network may gather in the socket before they wake this thread: a
// live stream comes in packets of about a tenth of a second. The cushion is many times longer.
constexpr std::chrono::milliseconds kHandOver{250};
// The most a socket gathers before it wakes this thread.
constexpr int kMaxBatch = 8 * 1024;
// A socket that has not woken this thread for this long wakes it for every byte again: the
// stream is slower than it declared.
constexpr std::chrono::milliseconds kBatchWatch{1000};

std::size_t cushionBytes(int kbitPerSecond) {
    const int rate =
        kbitPerSecond > 0 && kbitPerSecond <= kMaxBitRate ? kbitPerSecond : kDefaultBitRate;
    return static_cast<std::size_t>(rate) * 1000 / 8 * kCushionMs / 1000;
}

// "icy-br: 128", or "128,128" from some servers.
int bitRateOf(const QByteArray& value) {
    bool ok = false;
    const int rate = value.split(',').front().trimmed().toInt(&ok);
    return ok ? rate : 0;
}

bool isMpegAudio(const QByteArray& contentType) {
    const QByteArray type = contentType.split(';').front().trimmed().toLower();
    return type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpeg3" ||
           type == "audio/x-mpeg" || type == "audio/x-mp3" || type == "audio/mpg";
}

qint64 metaintOf(const QByteArray& value) {
    bool ok = false;
    const qint64 number = value.trimmed().toLongLong(&ok);
    return ok && number > 0 && number <= kMaxMetaint ? number : 0;
}

// An answer's status line and headers, names in lower case.
struct AnswerHead {
    int status = 0;
    QHash<QByteArray, QByteArray> headers;
};

std::optional<AnswerHead> parseAnswerHead(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    // "HTTP/1.x 200 OK", or the older radio servers' "ICY 200 OK".
    const QList<QByteArray> status = lines.front().trimmed().split(' ');
    if (status.size() < 2 || !(status[0].startsWith("HTTP/1.") || status[0] == "ICY")) {
        return std::nullopt;
    }
    AnswerHead answer;
    bool ok = false;
    answer.status = status[1].toInt(&ok);
    if (!ok) {
        return std::nullopt;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            answer.headers.insert(line.left(colon).trimmed().toLower(),
                                  line.mid(colon + 1).trimmed());
        }
    }
    return answer;
}

}  // namespace

StreamFeed::StreamFeed(SourceResolverOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    options_.keepStream = true;
}

StreamFeed::~StreamFeed() {
    close();
}

void StreamFeed::setEarlyConnection(std::shared_ptr<EarlyConnection> early) {
    early_ = std::move(early);
}

void StreamFeed::setDeadline(std::chrono::milliseconds deadline) {
    options_.deadline = deadline;
    if (resolver_) {
        resolver_->setDeadline(deadline);
    }
}

void StreamFeed::open(quint64 ticket, const QString& url, std::shared_ptr<FeedBuffer> buffer) {
    close();
    ticket_ = ticket;
    buffer_ = std::move(buffer);
    if (const std::shared_ptr<EarlyConnection> early = std::exchange(early_, nullptr)) {
        const int socket = early->take(url, kEarlyWait);
        if (socket >= 0) {
            startEarly(socket, url);
            return;
        }
    }
    resolve(url);
}

void StreamFeed::resolve(const QString& url) {
    if (!resolver_) {
        resolver_ = std::make_unique<SourceResolver>(options_);
        connect(resolver_.get(), &SourceResolver::finished, this, &StreamFeed::onResolved);
    }
    resolver_->resolve(url);
}

void StreamFeed::close() {
    ticket_ = 0;
    if (resolver_) {
        resolver_->cancel();
    }
    dropEarly();
    dropSource();
    buffer_.reset();
    title_.clear();
    aligning_ = false;
    unaligned_.clear();
}

QString StreamFeed::failureLine(const SourceResolution& result) {
    if (result.httpStatus != 0) {
        if (result.httpStatus >= 200 && result.httpStatus <= 299) {
            return {};
        }
        QString line = u"HTTP/1.1 "_s + QString::number(result.httpStatus);
        if (!result.httpReason.isEmpty()) {
            line += u' ' + result.httpReason;
        }
        return line;
    }
    switch (result.networkError) {
        case CurlTransfer::Error::None:
        case CurlTransfer::Error::RefusedAddress:
            return {};
        case CurlTransfer::Error::Unreadable:
            // Nothing else reads it either: the media library only ever reads through the
            // player's own input.
            return u"connection failed: "_s + result.networkErrorText;
        case CurlTransfer::Error::HostNotFound: {
            const QUrl url(result.url);
            return u"cannot resolve "_s + url.host() + u" port "_s +
                   QString::number(url.port(url.scheme() == u"https"_s ? 443 : 80));
        }
        case CurlTransfer::Error::Tls:
            return u"TLS handshake failed: "_s + result.networkErrorText;
        case CurlTransfer::Error::ConnectionFailed:
        case CurlTransfer::Error::TimedOut:
        case CurlTransfer::Error::HeadTooLarge:
            return u"connection failed: "_s + result.networkErrorText;
    }
    return {};
}

void StreamFeed::onResolved(const SourceResolution& result) {
    const quint64 ticket = ticket_;
    if (result.kind == SourceResolution::Kind::Media && result.stream != nullptr) {
        // A file of known length is not a live stream: libVLC opens it by its URL, so that
        // it knows the length, can pause and seek.
        if (result.stream->header("content-length").isEmpty()) {
            adoptTransfer(result.stream, result.head);
            return;
        }
        result.stream->cancel();
        result.stream->deleteLater();
        SourceResolution byUrl = result;
        byUrl.stream = nullptr;
        byUrl.head.clear();
        Q_EMIT resolved(ticket, byUrl);
        return;
    }
    if (result.kind == SourceResolution::Kind::Media &&
        (result.httpStatus != 0 || result.networkError != CurlTransfer::Error::None)) {
        const QString line = failureLine(result);
        if (!line.isEmpty()) {
            qCDebug(lcNet).noquote() << "feed failed:" << line;
            Q_EMIT failed(ticket, line);
            return;
        }
    }
    Q_EMIT resolved(ticket, result);
}

void StreamFeed::adoptTransfer(CurlTransfer* transfer, const QByteArray& head) {
    transfer->setMaxBuffered(kReplyBuffer);
    StreamHead stream;
    stream.metaint = metaintOf(transfer->header("icy-metaint"));
    stream.station = DecodeIcyText(transfer->header("icy-name"));
    stream.mpegAudio = isMpegAudio(transfer->header("content-type"));
    stream.contentType = transfer->header("content-type");
    stream.bitRate = bitRateOf(transfer->header("icy-br"));
    connect(transfer, &CurlTransfer::finished, this, &StreamFeed::pump);
    adopt(transfer, head, stream);
}

void StreamFeed::adopt(QIODevice* source, const QByteArray& head, const StreamHead& stream) {
    source->setParent(this);
    source_ = source;
    icy_ = IcyReader(stream.metaint);
    title_.clear();
    aligning_ = stream.mpegAudio;
    unaligned_.clear();
    if (buffer_) {
        buffer_->setContentType(stream.contentType);
        if (stream.bitRate > 0 && stream.bitRate <= kMaxBitRate) {
            buffer_->setByteRate(stream.bitRate * 1000 / 8);
        }
        buffer_->setPrefill(cushionBytes(stream.bitRate));
    }
    qCDebug(lcNet).noquote() << "feeding" << stream.contentType << "metaint" << stream.metaint
                             << "station" << stream.station;
    Q_EMIT started(ticket_, stream.station);
    connect(source, &QIODevice::readyRead, this, &StreamFeed::pump);
    take(head);
    pump();
}

bool StreamFeed::sourceFinished() const {
    if (const auto* transfer = qobject_cast<const CurlTransfer*>(source_.data())) {
        return transfer->isFinished();
    }
    if (const auto* socket = qobject_cast<const QTcpSocket*>(source_.data())) {
        return socket->state() == QAbstractSocket::UnconnectedState;
    }
    return true;
}

void StreamFeed::pump() {
    if (source_ == nullptr || !buffer_) {
        return;
    }
    while (true) {
        const std::size_t room = buffer_->room();
        if (room == 0) {
            return;  // the buffer calls back when the media library has read
        }
        const QByteArray raw =
            source_->read(static_cast<qint64>(std::min<std::size_t>(room, kReplyBuffer)));
        if (raw.isEmpty()) {
            break;
        }
        take(raw);
        if (source_ == nullptr) {
            return;
        }
    }
    if (sourceFinished() && source_->bytesAvailable() == 0) {
        endStream();
    }
}

// Audio never outgrows the raw bytes it came in, and those were read within the room.
void StreamFeed::take(QByteArrayView raw) {
    QByteArray audio;
    icy_.feed(raw, audio, [this, &audio](QByteArrayView block) {
        const std::optional<QString> title = StreamTitleFromIcyBlock(block);
        if (!title) {
            return;
        }
        const QString shown = IsMeaningfulTitle(*title) ? *title : QString();
        if (shown != title_) {
            title_ = shown;
            const quint64 written = buffer_ ? buffer_->written() : 0;
            Q_EMIT titleChanged(ticket_, shown, written + static_cast<quint64>(audio.size()));
        }
    });
    if (aligning_) {
        unaligned_ += audio;
        const qsizetype first = mpegaudio::FirstFrame(unaligned_);
        if (first < 0 && unaligned_.size() <= kMaxUnaligned) {
            return;
        }
        aligning_ = false;
        audio = std::exchange(unaligned_, {});
        if (first > 0) {
            audio.remove(0, first);
        }
        // A server that does not say its rate still writes it in every frame's header.
        if (first >= 0 && buffer_ && buffer_->byteRate() == 0) {
            buffer_->setByteRate(mpegaudio::BitRate(audio) * 1000 / 8);
        }
    }
    if (buffer_) {
        buffer_->write(audio);
    }
}

void StreamFeed::endStream() {
    QString line;
    if (const auto* transfer = qobject_cast<const CurlTransfer*>(source_.data())) {
        if (transfer->error() != CurlTransfer::Error::None) {
            line = u"connection failed: "_s + transfer->errorText();
        }
    } else if (const auto* socket = qobject_cast<const QTcpSocket*>(source_.data())) {
        // A server ends an HTTP/1.0 stream by closing: that is no error.
        if (socket->error() != QAbstractSocket::RemoteHostClosedError &&
            socket->error() != QAbstractSocket::UnknownSocketError) {
            line = u"connection failed: "_s + socket->errorString();
        }
    }
    dropSource();
    if (buffer_) {
        if (!unaligned_.isEmpty()) {
            buffer_->write(std::exchange(unaligned_, {}));
        }
        buffer_->finish();
    }
    qCDebug(lcNet).noquote() << "stream ended:" << (line.isEmpty() ? u"by the server"_s : line);
    Q_EMIT ended(ticket_, line);
}

void StreamFeed::dropSource() {
    if (source_ == nullptr) {
        return;
    }
    QIODevice* source = source_;
    source_ = nullptr;
    source->disconnect(this);
    if (auto* transfer = qobject_cast<CurlTransfer*>(source)) {
        transfer->cancel();
    } else if (auto* socket = qobject_cast<QTcpSocket*>(source)) {
        socket->abort();
    }
    source->deleteLater();
}

void StreamFeed::startEarly(int socket, const QString& url) {
    auto* connection = new QTcpSocket(this);
    if (!connection->setSocketDescriptor(socket)) {
        delete connection;
        resolve(url);
        return;
    }
    earlySocket_ = connection;
    earlyUrl_ = url;
    earlyAnswer_.clear();
    connect(connection, &QTcpSocket::readyRead, this, &StreamFeed::onEarlyData);
    connect(connection, &QTcpSocket::disconnected, this, &StreamFeed::onEarlyData);
    // A server that never answers is asked again the usual way, which has its deadline.
    auto* deadline = new QTimer(connection);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this] {
        const QString url = earlyUrl_;
        dropEarly();
        resolve(url);
    });
    deadline->start(options_.deadline);
    onEarlyData();
}

void StreamFeed::onEarlyData() {
    QTcpSocket* connection = earlySocket_;
    if (connection == nullptr) {
        return;
    }
    earlyAnswer_ += connection->read(kMaxAnswerHead + 1 - earlyAnswer_.size());
    const qsizetype end = earlyAnswer_.indexOf("\r\n\r\n");
    if (end < 0) {
        if (earlyAnswer_.size() > kMaxAnswerHead ||
            connection->state() == QAbstractSocket::UnconnectedState) {
            const QString url = earlyUrl_;
            dropEarly();
            resolve(url);
        }
        return;
    }
    const std::optional<AnswerHead> answer = parseAnswerHead(earlyAnswer_.left(end));
    // Only a plain live stream is taken as it stands; redirects, errors, files, playlists
    // and unusual encodings go through the resolver.
    const bool live = answer && answer->status == 200 &&
                      !answer->headers.contains("content-length") &&
                      !answer->headers.contains("transfer-encoding") &&
                      playlistformat::classifyContentType(answer->headers.value("content-type")) ==
                          playlistformat::Declared::Media;
    if (!live) {
        const QString url = earlyUrl_;
        dropEarly();
        resolve(url);
        return;
    }
    StreamHead stream;
    stream.metaint = metaintOf(answer->headers.value("icy-metaint"));
    stream.station = DecodeIcyText(answer->headers.value("icy-name"));
    stream.mpegAudio = isMpegAudio(answer->headers.value("content-type"));
    stream.contentType = answer->headers.value("content-type");
    stream.bitRate = bitRateOf(answer->headers.value("icy-br"));
    const QByteArray rest = earlyAnswer_.mid(end + 4);
    earlyAnswer_.clear();
    earlySocket_ = nullptr;
    connection->disconnect(this);
    qDeleteAll(connection->findChildren<QTimer*>());
    connection->setReadBufferSize(kReplyBuffer);
    waitForBatches(connection, stream.bitRate);
    connect(connection, &QTcpSocket::disconnected, this, &StreamFeed::pump);
    adopt(connection, rest, stream);
}

// The socket wakes this thread only once a hand-over's worth of the stream has come (or the
// stream ended). A stream slower than it declared, or than assumed, is read as its bytes
// come once a while passed without a batch.
void StreamFeed::waitForBatches(QTcpSocket* connection, int kbitPerSecond) {
    const int rate =
        kbitPerSecond > 0 && kbitPerSecond <= kMaxBitRate ? kbitPerSecond : kDefaultBitRate;
    const int batch = std::min<int>(kMaxBatch, static_cast<int>(static_cast<qint64>(rate) * 1000 /
                                                                8 * kHandOver.count() / 1000));
    const int descriptor = static_cast<int>(connection->socketDescriptor());
    if (batch <= 1 ||
        ::setsockopt(descriptor, SOL_SOCKET, SO_RCVLOWAT, &batch, sizeof batch) != 0) {
        return;
    }
    auto* watch = new QTimer(connection);
    auto read = std::make_shared<bool>(true);
    connect(connection, &QIODevice::readyRead, watch, [read] { *read = true; });
    connect(watch, &QTimer::timeout, watch, [watch, read, descriptor] {
        if (!std::exchange(*read, false)) {
            const int single = 1;
            ::setsockopt(descriptor, SOL_SOCKET, SO_RCVLOWAT, &single, sizeof single);
            watch->deleteLater();
        }
    });
    watch->start(kBatchWatch);
}

void StreamFeed::dropEarly() {
    if (earlySocket_ != nullptr) {
        QTcpSocket* connection = earlySocket_;
        earlySocket_ = nullptr;
        connection->disconnect(this);
        connection->abort();
        connection->deleteLater();
    }
    earlyAnswer_.clear();
    earlyUrl_.clear();
}

}  // namespace lyrevane
