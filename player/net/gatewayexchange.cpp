#include "net/gatewayexchange.h"

#include "net/hlsrewrite.h"
#include "net/mediagateway.h"
#include "net/mediasniff.h"
#include "net/streamfeed.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <array>
#include <utility>

#include "common/httpreasons.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr qint64 kChunk = 64 * 1024;
constexpr qsizetype kMaxHeaderValue = 256;

// A header value passed on only when it is one short line of printable text.
QByteArray printable(const QByteArray& value) {
    const bool clean =
        value.size() <= kMaxHeaderValue &&
        std::all_of(value.cbegin(), value.cend(), [](char c) { return c >= 0x20 && c <= 0x7e; });
    return clean ? value.trimmed() : QByteArray();
}

bool matches(const QByteArray& value, const QRegularExpression& pattern) {
    return pattern.match(QString::fromLatin1(value)).hasMatch();
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

GatewayExchange::GatewayExchange(MediaGateway& gateway, QTcpSocket* socket)
    : QObject(&gateway), gateway_(gateway), socket_(socket), transfer_(this) {
    socket->setParent(this);
    socket->setReadBufferSize(gateway_.options().maxRequestHead);
    connect(socket, &QTcpSocket::readyRead, this, &GatewayExchange::readRequest);
    connect(socket, &QTcpSocket::bytesWritten, this, &GatewayExchange::pump);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        stage_ = Stage::Closing;
        transfer_.cancel();
        deleteLater();
    });
    connect(&transfer_, &CurlTransfer::headReceived, this, &GatewayExchange::onHead);
    connect(&transfer_, &CurlTransfer::readyRead, this, &GatewayExchange::onUpstream);
    connect(&transfer_, &CurlTransfer::finished, this, &GatewayExchange::onUpstream);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (stage_ == Stage::Request) {
            answer(408);
        } else if (stage_ == Stage::Closing) {
            end();  // a client that does not take the answer
        } else if (stage_ != Stage::Piping && stage_ != Stage::Closing) {
            transfer_.cancel();
            fail(u"connection failed: Connection timed out"_s);
        }
    });
    deadline_.start(gateway_.options().tokenDeadline);
    readRequest();
}

GatewayExchange::~GatewayExchange() = default;

void GatewayExchange::end() {
    stage_ = Stage::Closing;
    transfer_.cancel();
    deadline_.stop();
    if (socket_ != nullptr) {
        socket_->abort();
    }
    deleteLater();
}

void GatewayExchange::readRequest() {
    if (socket_ == nullptr) {
        return;
    }
    const qsizetype cap = gateway_.options().maxRequestHead;
    if (stage_ != Stage::Request) {
        socket_->readAll();  // one request per connection: the rest is dropped
        return;
    }
    request_ += socket_->read(cap + 1 - request_.size());
    qsizetype end = request_.indexOf("\r\n\r\n");
    if (end < 0) {
        end = request_.indexOf("\n\n");
    }
    if (end < 0 || end > cap) {
        if (request_.size() > cap) {
            answer(431);
        }
        return;
    }
    const QList<QByteArray> lines = request_.left(end).split('\n');
    const QList<QByteArray> words = lines.constFirst().trimmed().split(' ');
    const QByteArray method = words.value(0);
    const QByteArray target = words.value(1);
    if (method != "GET" && method != "HEAD") {
        answer(405);
        return;
    }
    headOnly_ = method == "HEAD";
    static const QRegularExpression rangePattern(u"^bytes=[0-9]*-[0-9]*$"_s);
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = printable(line.mid(colon + 1).trimmed());
        if (colon > 0 && name == "range" && matches(value, rangePattern)) {
            range_ = value;
        } else if (colon > 0 && name == "user-agent") {
            userAgent_ = value;
        }
    }
    const QByteArray path = target.startsWith('/') ? target.mid(1) : QByteArray();
    const qsizetype slash = path.indexOf('/');
    token_ = slash < 0 ? path : path.left(slash);
    const MediaGateway::Lookup found = gateway_.lookup(token_);
    if (!found.found) {
        answer(404);
        return;
    }
    session_ = found.session;
    listed_ = found.listed;
    if (!gateway_.admit()) {
        // The player's own door is full, which is no fault of the station's: said as such.
        if (!listed_) {
            gateway_.reportFailed(session_, u"the player's media gateway is busy"_s);
        }
        answer(503);
        return;
    }
    admitted_ = true;
    if (found.refused) {
        if (found.firstRequest) {
            gateway_.reportRefused(session_, found.url);
        }
        answer(403);
        return;
    }
    ask(found.url);
}

void GatewayExchange::ask(const QString& url) {
    stage_ = Stage::Asking;
    current_ = url;
    deadline_.start(gateway_.options().upstreamDeadline);
    CurlTransfer::Options options;
    options.rules = gateway_.options().rules;
    options.headDeadline = gateway_.options().upstreamDeadline;
    options.maxBuffered = gateway_.options().maxUnwritten;
    options.range = range_;
    options.userAgent = userAgent_;
    transfer_.get(url, options);
}

void GatewayExchange::onHead() {
    if (stage_ != Stage::Asking) {
        return;
    }
    const int status = transfer_.status();
    const QByteArray location = transfer_.header("location");
    if (isRedirect(status) && !location.isEmpty()) {
        const QString target = QUrl(current_)
                                   .resolved(QUrl(QString::fromUtf8(location.left(4096))))
                                   .toString(QUrl::FullyEncoded);
        if (!gateway_.options().rules.allows(target)) {
            refuse(target);
        } else if (++redirects_ > gateway_.options().maxRedirects) {
            fail(u"too many redirects"_s);
        } else {
            ask(target);
        }
        return;
    }
    if (status < 200 || status > 299) {
        // The media library reports the server's answer in its own words.
        transfer_.cancel();
        answer(status >= 300 && status <= 599 ? status : 502);
        return;
    }
    if (mediasniff::isEncoded(transfer_.header("content-encoding"))) {
        // libVLC would unpack it and look again; no radio server compresses its audio.
        fail(mediasniff::compressedLine());
        return;
    }
    typedIndex_ = hls::isIndexType(transfer_.header("content-type"));
    stage_ = typedIndex_ ? Stage::Index : Stage::Sniffing;
    onUpstream();
}

void GatewayExchange::onUpstream() {
    switch (stage_) {
        case Stage::Asking:
            if (transfer_.isFinished() && !transfer_.hasHead()) {
                if (transfer_.error() == CurlTransfer::Error::RefusedAddress) {
                    refuse(current_);
                    return;
                }
                SourceResolution said;
                said.url = current_;
                said.networkError = transfer_.error();
                said.networkErrorText = transfer_.errorText();
                const QString line = StreamFeed::failureLine(said);
                fail(line.isEmpty() ? u"connection failed: "_s + transfer_.errorText() : line);
            }
            return;
        case Stage::Sniffing:
            sniff();
            return;
        case Stage::Index:
            readIndex();
            return;
        case Stage::Piping:
            pump();
            return;
        case Stage::Request:
        case Stage::Closing:
            return;
    }
}

// Looks at the first bytes only, so that audio is not held back: an index that calls itself
// audio is still read as one, and what libVLC would fetch from or unpack by itself is refused.
void GatewayExchange::sniff() {
    pending_ += transfer_.read(mediasniff::kLimit - pending_.size());
    const bool complete = transfer_.isFinished() && transfer_.bytesAvailable() == 0;
    mediasniff::Kind kind = mediasniff::sniff(pending_, complete);
    // libVLC looks for compressed data and manifests only where a source begins.
    const bool fromStart = range_.isEmpty() || range_.startsWith("bytes=0-");
    if (!fromStart && kind != mediasniff::Kind::Index && kind != mediasniff::Kind::NeedMore) {
        kind = mediasniff::Kind::Media;
    }
    switch (kind) {
        case mediasniff::Kind::NeedMore:
            return;
        case mediasniff::Kind::Index:
            stage_ = Stage::Index;
            readIndex();
            return;
        case mediasniff::Kind::Compressed:
            pending_.clear();
            fail(mediasniff::compressedLine());
            return;
        case mediasniff::Kind::Unsafe:
            pending_.clear();
            refuse(current_);
            return;
        case mediasniff::Kind::Media:
            break;
    }
    static const QRegularExpression digits(u"^[0-9]{1,18}$"_s);
    static const QRegularExpression contentRange(
        u"^bytes [0-9]{1,18}-[0-9]{1,18}/([0-9]{1,18}|\\*)$"_s);
    QByteArray headers;
    if (const QByteArray type = printable(transfer_.header("content-type")); !type.isEmpty()) {
        headers += "Content-Type: " + type + "\r\n";
    }
    if (const QByteArray length = transfer_.header("content-length"); matches(length, digits)) {
        headers += "Content-Length: " + length + "\r\n";
    }
    const QByteArray range = transfer_.header("content-range");
    if (transfer_.status() == 206 && matches(range, contentRange)) {
        headers += "Content-Range: " + range + "\r\n";
    }
    if (transfer_.header("accept-ranges").trimmed().toLower() == "bytes") {
        headers += "Accept-Ranges: bytes\r\n";
    }
    deadline_.stop();
    writeHead(transfer_.status(), headers);
    if (headOnly_) {
        close();
        return;
    }
    stage_ = Stage::Piping;
    socket_->write(std::exchange(pending_, {}));
    pump();
}

void GatewayExchange::readIndex() {
    const qsizetype cap = gateway_.options().maxIndexBytes;
    pending_ += transfer_.read(cap + 1 - pending_.size());
    if (pending_.size() > cap) {
        fail(u"the HLS index is larger than "_s + QString::number(cap / 1024) + u" KiB"_s);
        return;
    }
    if (!transfer_.isFinished() || transfer_.bytesAvailable() > 0) {
        return;
    }
    if (transfer_.error() != CurlTransfer::Error::None) {
        fail(u"connection failed: "_s + transfer_.errorText());
        return;
    }
    serveIndex();
}

// Every URI of the index comes back through the gateway: those the rules allow to be asked
// for, the others to be refused.
void GatewayExchange::serveIndex() {
    const SourceRules& rules = gateway_.options().rules;
    const auto replace = [this, &rules](const QString& target) {
        const QString scheme = QUrl(target).scheme().toLower();
        const bool allowed = (scheme == u"http"_s || scheme == u"https"_s) && rules.allows(target);
        return allowed ? gateway_.publishListed(target) : gateway_.publishRefused(target);
    };
    const int maxUris = gateway_.options().maxIndexUris;
    const std::optional<QByteArray> index =
        hls::rewrite(pending_, QUrl(current_), replace, maxUris);
    pending_.clear();
    if (!index) {
        fail(u"the HLS index lists more than "_s + QString::number(maxUris) + u" entries"_s);
        return;
    }
    // An index keeps its kind: libVLC tells HLS from a plain M3U list by what it holds, but
    // reads a plain list only under an M3U type other than HLS's own.
    answer(200,
           typedIndex_ ? "Content-Type: application/vnd.apple.mpegurl\r\n"
                       : "Content-Type: audio/x-mpegurl\r\n",
           *index);
}

void GatewayExchange::pump() {
    if (stage_ != Stage::Piping || socket_ == nullptr) {
        return;
    }
    while (socket_->bytesToWrite() < gateway_.options().maxUnwritten) {
        const QByteArray chunk = transfer_.read(kChunk);
        if (chunk.isEmpty()) {
            break;
        }
        socket_->write(chunk);
    }
    if (transfer_.isFinished() && transfer_.bytesAvailable() == 0) {
        // A body cut short upstream ends short here too: the media library sees it against
        // the length it was told. A listener may pause before the end: no deadline to take it.
        close();
        deadline_.stop();
    }
}

void GatewayExchange::refuse(const QString& target) {
    transfer_.cancel();
    gateway_.markRefused(token_);
    gateway_.reportRefused(session_, target);
    answer(403);
}

void GatewayExchange::fail(const QString& line) {
    transfer_.cancel();
    if (!listed_) {
        gateway_.reportFailed(session_, line);
    }
    answer(502);
}

void GatewayExchange::answer(int status, const QByteArray& headers, const QByteArray& body) {
    writeHead(status, headers + "Content-Length: " + QByteArray::number(body.size()) + "\r\n");
    if (!headOnly_ && socket_ != nullptr) {
        socket_->write(body);
    }
    close();
}

void GatewayExchange::writeHead(int status, const QByteArray& headers) {
    if (socket_ != nullptr) {
        QByteArray reason = httpreasons::phrase(status);
        if (reason.isEmpty()) {
            reason = "Status";
        }
        socket_->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n" + headers +
                       "Connection: close\r\n\r\n");
    }
}

// Closes once what was written has gone out.
void GatewayExchange::close() {
    stage_ = Stage::Closing;
    transfer_.cancel();
    deadline_.start(gateway_.options().requestDeadline);
    if (socket_ != nullptr && socket_->state() == QAbstractSocket::ConnectedState) {
        socket_->disconnectFromHost();
    } else {
        deleteLater();
    }
}

}  // namespace lyrevane
