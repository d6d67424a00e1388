#include "streamfeed.h"

#include "mpegaudio.h"
#include "nowplaying.h"

#include <QNetworkReply>
#include <QUrl>

#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// What Qt keeps unread from the socket before it stops reading: the network waits while the
// media library has all it can hold.
constexpr qint64 kReplyBuffer = 64 * 1024;
// The largest metadata interval taken as such; anything larger is not a real stream's.
constexpr qint64 kMaxMetaint = 1024 * 1024;

// Enough of a stream to find its first frame in; past it the bytes go on as they are.
constexpr qsizetype kMaxUnaligned = 64 * 1024;

bool isMpegAudio(const QNetworkReply& reply) {
    const QByteArray type = reply.rawHeader("Content-Type").split(';').front().trimmed().toLower();
    return type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpeg3" ||
           type == "audio/x-mpeg" || type == "audio/x-mp3" || type == "audio/mpg";
}

qint64 metaintOf(const QNetworkReply& reply) {
    bool ok = false;
    const qint64 value = reply.rawHeader("icy-metaint").trimmed().toLongLong(&ok);
    return ok && value > 0 && value <= kMaxMetaint ? value : 0;
}

}  // namespace

StreamFeed::StreamFeed(SourceResolverOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    options_.keepStream = true;
}

StreamFeed::~StreamFeed() {
    close();
}

void StreamFeed::setDeadline(std::chrono::milliseconds deadline) {
    options_.deadline = deadline;
    if (resolver_) {
        resolver_->setDeadline(deadline);
    }
}

void StreamFeed::open(quint64 ticket, const QString& url, std::shared_ptr<FeedBuffer> buffer) {
    close();
    if (!resolver_) {
        resolver_ = std::make_unique<SourceResolver>(options_);
        connect(resolver_.get(), &SourceResolver::finished, this, &StreamFeed::onResolved);
    }
    ticket_ = ticket;
    buffer_ = std::move(buffer);
    resolver_->resolve(url);
}

void StreamFeed::close() {
    ticket_ = 0;
    if (resolver_) {
        resolver_->cancel();
    }
    dropReply();
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
        case QNetworkReply::ConnectionRefusedError:
        case QNetworkReply::RemoteHostClosedError:
        case QNetworkReply::TimeoutError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyConnectionClosedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
            return u"connection failed: "_s + result.networkErrorText;
        case QNetworkReply::HostNotFoundError: {
            const QUrl url(result.url);
            return u"cannot resolve "_s + url.host() + u" port "_s +
                   QString::number(url.port(url.scheme() == u"https"_s ? 443 : 80));
        }
        case QNetworkReply::SslHandshakeFailedError:
            return u"TLS handshake failed: "_s + result.networkErrorText;
        default:
            // No HTTP answer Qt understands (an "ICY 200 OK" status line, for one): the
            // media library's own access may still read it.
            return {};
    }
}

void StreamFeed::onResolved(const SourceResolution& result) {
    const quint64 ticket = ticket_;
    if (result.kind == SourceResolution::Kind::Media && result.stream != nullptr) {
        // A file of known length is not a live stream: libVLC opens it by its URL, so that
        // it knows the length, can pause and seek.
        if (!result.stream->header(QNetworkRequest::ContentLengthHeader).isValid()) {
            adopt(result.stream, result.head);
            return;
        }
        result.stream->abort();
        result.stream->deleteLater();
        SourceResolution byUrl = result;
        byUrl.stream = nullptr;
        byUrl.head.clear();
        Q_EMIT resolved(ticket, byUrl);
        return;
    }
    if (result.kind == SourceResolution::Kind::Media &&
        (result.httpStatus != 0 || result.networkError != QNetworkReply::NoError)) {
        const QString line = failureLine(result);
        if (!line.isEmpty()) {
            Q_EMIT failed(ticket, line);
            return;
        }
    }
    Q_EMIT resolved(ticket, result);
}

void StreamFeed::adopt(QNetworkReply* reply, const QByteArray& head) {
    reply->setParent(this);
    reply_ = reply;
    reply->setReadBufferSize(kReplyBuffer);
    icy_ = IcyReader(metaintOf(*reply));
    title_.clear();
    aligning_ = isMpegAudio(*reply);
    unaligned_.clear();
    Q_EMIT started(ticket_, DecodeIcyText(reply->rawHeader("icy-name")));
    connect(reply, &QNetworkReply::readyRead, this, &StreamFeed::pump);
    connect(reply, &QNetworkReply::finished, this, &StreamFeed::pump);
    take(head);
    pump();
}

void StreamFeed::pump() {
    if (reply_ == nullptr || !buffer_) {
        return;
    }
    while (true) {
        const std::size_t room = buffer_->room();
        if (room == 0) {
            return;  // the buffer calls back when the media library has read
        }
        const QByteArray raw =
            reply_->read(static_cast<qint64>(std::min<std::size_t>(room, kReplyBuffer)));
        if (raw.isEmpty()) {
            break;
        }
        take(raw);
        if (reply_ == nullptr) {
            return;
        }
    }
    if (reply_->isFinished() && reply_->bytesAvailable() == 0) {
        endStream();
    }
}

// Audio never outgrows the raw bytes it came in, and those were read within the room.
void StreamFeed::take(QByteArrayView raw) {
    QByteArray audio;
    icy_.feed(raw, audio, [this](QByteArrayView block) {
        const std::optional<QString> title = StreamTitleFromIcyBlock(block);
        if (!title) {
            return;
        }
        const QString shown = IsMeaningfulTitle(*title) ? *title : QString();
        if (shown != title_) {
            title_ = shown;
            Q_EMIT titleChanged(ticket_, shown);
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
    }
    if (buffer_) {
        buffer_->write(audio);
    }
}

void StreamFeed::endStream() {
    QString line;
    if (reply_ != nullptr && reply_->error() != QNetworkReply::NoError &&
        reply_->error() != QNetworkReply::OperationCanceledError) {
        line = u"connection failed: "_s + reply_->errorString();
    }
    dropReply();
    if (buffer_) {
        if (!unaligned_.isEmpty()) {
            buffer_->write(std::exchange(unaligned_, {}));
        }
        buffer_->finish();
    }
    Q_EMIT ended(ticket_, line);
}

void StreamFeed::dropReply() {
    if (reply_ != nullptr) {
        QNetworkReply* reply = reply_;
        reply_ = nullptr;
        reply->disconnect(this);
        if (!reply->isFinished()) {
            reply->abort();
        }
        reply->deleteLater();
    }
}

}  // namespace lyrevane
