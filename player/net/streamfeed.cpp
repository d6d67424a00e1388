#include "net/streamfeed.h"

#include "engine/nowplaying.h"
#include "net/mpegaudio.h"
#include "net/netlog.h"
#include "net/playlistformat.h"

#include <QHash>
#include <QTimer>
#include <QUrl>

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

// The least cushion against the network's jitter: this long of audio is buffered before libVLC
// starts. A server that sends a burst on connecting (Icecast does, several seconds) fills it at
// once and gives more; playing a little slow grows it further (CushionGovernor).
constexpr int kCushionMs = 1000;
// Assumed when neither the server nor the stream says.
constexpr int kDefaultBitRate = 128;
// The highest declared rate taken as such, in kbit/s.
constexpr int kMaxBitRate = 2000;

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

// The early request's answer read as a device: the feed takes it as it takes a transfer.
class EarlyStream final : public QIODevice {
public:
    EarlyStream(std::shared_ptr<EarlyAnswer> answer, QObject* parent)
        : QIODevice(parent), answer_(std::move(answer)) {
        QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    ~EarlyStream() override { answer_->abandon(); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return answer_->available() + QIODevice::bytesAvailable();
    }
    bool ended() const { return answer_->ended() && answer_->available() == 0; }
    void abandon() { answer_->abandon(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override { return answer_->read(data, maxSize); }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<EarlyAnswer> answer_;
};

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

void StreamFeed::open(quint64 ticket, const QString& url, std::shared_ptr<FeedBuffer> buffer) {
    close();
    ticket_ = ticket;
    buffer_ = std::move(buffer);
    if (const std::shared_ptr<EarlyConnection> early = std::exchange(early_, nullptr)) {
        if (std::shared_ptr<EarlyAnswer> answer = early->take(url)) {
            startEarly(std::move(answer), url);
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
    sniffing_ = true;
    unsniffed_.clear();
    url_.clear();
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
            url_ = result.url;
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
    if (mediasniff::isEncoded(transfer->header("content-encoding"))) {
        // No radio server compresses its audio; libVLC would unpack anything at all.
        transfer->cancel();
        transfer->deleteLater();
        Q_EMIT failed(ticket_, mediasniff::compressedLine());
        return;
    }
    transfer->setMaxBuffered(kReplyBuffer);
    StreamHead stream;
    stream.metaint = metaintOf(transfer->header("icy-metaint"));
    stream.station = decodeIcyText(transfer->header("icy-name"));
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
    sniffing_ = true;
    unsniffed_.clear();
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
    if (const auto* early = dynamic_cast<const EarlyStream*>(source_.data())) {
        return early->ended();
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
        const std::optional<QString> title = streamTitleFromIcyBlock(block);
        if (!title) {
            return;
        }
        const QString shown = isMeaningfulTitle(*title) ? *title : QString();
        if (shown != title_) {
            title_ = shown;
            const quint64 written = buffer_ ? buffer_->written() : 0;
            Q_EMIT titleChanged(ticket_, shown, written + static_cast<quint64>(audio.size()));
        }
    });
    if (!look(audio, false)) {
        return;
    }
    if (aligning_) {
        unaligned_ += audio;
        const qsizetype first = mpegaudio::firstFrame(unaligned_);
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
            buffer_->setByteRate(mpegaudio::bitRate(audio) * 1000 / 8);
        }
    }
    if (buffer_) {
        buffer_->write(audio);
    }
}

// libVLC takes bytes for what they are, whatever the server called them: an index it would
// fetch segments from itself, compressed data it would unpack. Only what was looked at goes
// on (frame alignment then only drops bytes before a frame). False while the first bytes are
// held, and when the stream was turned away.
bool StreamFeed::look(QByteArray& audio, bool complete) {
    if (!sniffing_) {
        return true;
    }
    unsniffed_ += std::exchange(audio, {});
    const mediasniff::Kind kind = mediasniff::sniff(unsniffed_, complete);
    if (kind == mediasniff::Kind::NeedMore) {
        return false;
    }
    sniffing_ = false;
    audio = std::exchange(unsniffed_, {});
    if (kind == mediasniff::Kind::Media) {
        return true;
    }
    turnAway(kind);
    return false;
}

// An index is read by way of the gateway, which rewrites it; the rest is refused.
void StreamFeed::turnAway(mediasniff::Kind kind) {
    const quint64 ticket = ticket_;
    const QString url = url_;
    qCDebug(lcNet).noquote() << "not fed to the media library:" << url << static_cast<int>(kind);
    dropSource();
    unaligned_.clear();
    if (kind == mediasniff::Kind::Compressed) {
        Q_EMIT failed(ticket, mediasniff::compressedLine());
        return;
    }
    SourceResolution result;
    result.url = url;
    if (kind == mediasniff::Kind::Index) {
        result.kind = SourceResolution::Kind::Media;
    } else {
        result.refused = {url};
        result.message = sourcemessages::refusedSource(url);
    }
    Q_EMIT resolved(ticket, result);
}

void StreamFeed::endStream() {
    QString line;
    if (const auto* transfer = qobject_cast<const CurlTransfer*>(source_.data())) {
        if (transfer->error() != CurlTransfer::Error::None) {
            line = u"connection failed: "_s + transfer->errorText();
        }
    }
    dropSource();
    QByteArray rest = std::exchange(unaligned_, {});
    if (!look(rest, true)) {
        return;  // turned away: nothing more is held when the stream is complete
    }
    if (buffer_) {
        if (!rest.isEmpty()) {
            buffer_->write(rest);
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
    } else if (auto* early = dynamic_cast<EarlyStream*>(source)) {
        early->abandon();  // its thread stops telling this feed anything
    }
    source->deleteLater();
}

void StreamFeed::startEarly(std::shared_ptr<EarlyAnswer> answer, const QString& url) {
    earlyAnswer_ = std::move(answer);
    earlyUrl_ = url;
    earlyAnswer_->setNotify([this] {
        QMetaObject::invokeMethod(this, &StreamFeed::onEarlyData, Qt::QueuedConnection);
    });
    // A server that never answers is asked again the usual way, which has its deadline.
    earlyDeadline_ = new QTimer(this);
    earlyDeadline_->setSingleShot(true);
    connect(earlyDeadline_, &QTimer::timeout, this, [this] {
        const QString url = earlyUrl_;
        dropEarly();
        resolve(url);
    });
    earlyDeadline_->start(options_.deadline);
    onEarlyData();
}

void StreamFeed::onEarlyData() {
    if (!earlyAnswer_) {
        return;
    }
    const std::optional<EarlyAnswer::Head> answer = earlyAnswer_->head();
    if (!answer) {
        if (earlyAnswer_->ended()) {  // failed before a whole head came
            const QString url = earlyUrl_;
            dropEarly();
            resolve(url);
        }
        return;
    }
    // Only a plain live stream is taken as it stands; redirects, errors, files, playlists
    // and unusual encodings go through the resolver.
    const bool live = answer->status == 200 && !answer->headers.contains("content-length") &&
                      !answer->headers.contains("content-encoding") &&
                      playlistformat::classifyContentType(answer->headers.value("content-type")) ==
                          playlistformat::Declared::Media;
    const QString url = earlyUrl_;
    url_ = url;
    if (!live) {
        dropEarly();
        resolve(url);
        return;
    }
    StreamHead stream;
    stream.metaint = metaintOf(answer->headers.value("icy-metaint"));
    stream.station = decodeIcyText(answer->headers.value("icy-name"));
    stream.mpegAudio = isMpegAudio(answer->headers.value("content-type"));
    stream.contentType = answer->headers.value("content-type");
    stream.bitRate = bitRateOf(answer->headers.value("icy-br"));
    std::shared_ptr<EarlyAnswer> taken = std::exchange(earlyAnswer_, nullptr);
    delete std::exchange(earlyDeadline_, nullptr);
    earlyUrl_.clear();
    taken->setNotify(
        [this] { QMetaObject::invokeMethod(this, &StreamFeed::pump, Qt::QueuedConnection); });
    qCDebug(lcNet).noquote() << "early answer taken for" << url;
    adopt(new EarlyStream(std::move(taken), this), {}, stream);
}

void StreamFeed::dropEarly() {
    if (earlyAnswer_) {
        std::exchange(earlyAnswer_, nullptr)->abandon();
    }
    delete std::exchange(earlyDeadline_, nullptr);
    earlyUrl_.clear();
}

}  // namespace lyrevane
