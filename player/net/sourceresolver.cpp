#include "net/sourceresolver.h"

#include "net/netlog.h"

#include "net/playlistformat.h"

#include <QScopeGuard>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Enough of an unlabelled body to recognise a playlist by its first bytes.
constexpr qsizetype kSniffBytes = 512;

bool isHttp(const QString& url) {
    return url.startsWith(u"http://"_s, Qt::CaseInsensitive) ||
           url.startsWith(u"https://"_s, Qt::CaseInsensitive);
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

SourceResolver::SourceResolver(SourceResolverOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this,
            [this] { finishFailed(sourcemessages::timedOut(name_)); });
}

SourceResolver::~SourceResolver() {
    dropTransfer();
}

void SourceResolver::resolve(const QString& url) {
    cancel();
    busy_ = true;
    inResolve_ = true;
    const auto leaving = qScopeGuard([this] { inResolve_ = false; });
    name_ = url;
    current_ = url;
    visited_ = {url};
    refused_.clear();
    redirects_ = 0;
    if (!options_.rules.allows(url)) {
        finishFailed(sourcemessages::refusedSource(url));
        return;
    }
    if (!isHttp(url)) {
        finishMedia();
        return;
    }
    deadline_.start(options_.deadline);
    request(url);
}

void SourceResolver::cancel() {
    ++round_;
    busy_ = false;
    deadline_.stop();
    dropTransfer();
}

bool SourceResolver::isBusy() const {
    return busy_;
}

void SourceResolver::request(const QString& url) {
    reading_ = Reading::Headers;
    body_.clear();
    if (transfer_ == nullptr) {
        // Kept from one redirect to the next: its connections and name lookups are reused.
        transfer_ = new CurlTransfer(this);
        connect(transfer_, &CurlTransfer::headReceived, this, &SourceResolver::onHeaders);
        connect(transfer_, &CurlTransfer::readyRead, this, &SourceResolver::onData);
        connect(transfer_, &CurlTransfer::finished, this, &SourceResolver::onFinished);
    }
    qCDebug(lcNet).noquote() << "request" << url;
    CurlTransfer::Options transfer;
    transfer.rules = options_.rules;
    transfer.icyMetadata = options_.keepStream;
    transfer.headDeadline = options_.deadline;
    // Bounds what is buffered for a stream that is not read: one playlist and a bit.
    transfer.maxBuffered = options_.maxPlaylistBytes + 1;
    transfer_->get(url, transfer);
}

void SourceResolver::onHeaders() {
    if (transfer_ == nullptr || reading_ != Reading::Headers || !transfer_->hasHead() ||
        transfer_->status() == 0) {
        return;
    }
    const int code = transfer_->status();
    qCDebug(lcNet).noquote() << "answer" << code << transfer_->reason() << "type"
                             << transfer_->header("content-type") << "from" << current_;
    if (isRedirect(code)) {
        follow(QString::fromLatin1(transfer_->header("location")));
        return;
    }
    if (code < 200 || code > 299) {
        // The engine meets the same answer and reports it in its own words.
        finishMedia();
        return;
    }
    switch (playlistformat::classifyContentType(transfer_->header("content-type"))) {
        case playlistformat::Declared::Playlist:
            reading_ = Reading::Playlist;
            break;
        case playlistformat::Declared::Media:
            finishMedia();
            return;
        case playlistformat::Declared::Unsure:
            reading_ = Reading::Unsure;
            break;
    }
    onData();
}

void SourceResolver::onData() {
    if (transfer_ == nullptr) {
        return;
    }
    if (reading_ == Reading::Headers) {
        onHeaders();
        return;
    }
    const qint64 room = options_.maxPlaylistBytes + 1 - body_.size();
    if (room > 0) {
        body_ += transfer_->read(room);
    }
    if (reading_ == Reading::Unsure) {
        decideUnsure(false);
    } else {
        readPlaylist(false);
    }
}

void SourceResolver::onFinished() {
    if (transfer_ == nullptr) {
        return;
    }
    switch (transfer_->error()) {
        case CurlTransfer::Error::RefusedAddress:
            // The host's name was allowed, the address it stands for is not.
            refused_.append(current_);
            finishFailed(current_ == name_ ? sourcemessages::refusedSource(name_)
                                           : sourcemessages::refusedRedirect(name_, current_));
            return;
        case CurlTransfer::Error::TimedOut:
            finishFailed(sourcemessages::timedOut(name_));
            return;
        default:
            break;
    }
    if (reading_ == Reading::Headers) {
        if (transfer_->hasHead() && transfer_->status() != 0) {
            onHeaders();
            if (transfer_ == nullptr || reading_ == Reading::Headers) {
                return;
            }
        } else {
            // No HTTP answer at all (refused, unreachable, a status line libcurl does not
            // read): the engine tries for itself and reports what it finds.
            finishMedia();
            return;
        }
    }
    if (transfer_ == nullptr) {
        return;
    }
    body_ += transfer_->read(options_.maxPlaylistBytes + 1 - body_.size());
    if (reading_ == Reading::Unsure) {
        decideUnsure(true);
    } else {
        readPlaylist(true);
    }
}

void SourceResolver::follow(const QString& location) {
    const QUrl base(current_);
    const QString target =
        location.isEmpty() ? QString()
                           : base.resolved(QUrl(location.trimmed())).toString(QUrl::FullyEncoded);
    if (target.isEmpty()) {
        finishMedia();  // a redirect without a target: the engine reports the status
        return;
    }
    if (!options_.rules.allows(target)) {
        qCDebug(lcNet).noquote() << "refused redirect to" << target;
        refused_.append(target);
        finishFailed(sourcemessages::refusedRedirect(name_, target));
        return;
    }
    if (visited_.contains(target)) {
        finishFailed(sourcemessages::redirectLoop(name_));
        return;
    }
    if (++redirects_ > options_.maxRedirects) {
        finishFailed(sourcemessages::tooManyRedirects(name_));
        return;
    }
    visited_.insert(target);
    current_ = target;
    if (!isHttp(target)) {
        finishMedia();
        return;
    }
    request(target);
}

void SourceResolver::decideUnsure(bool complete) {
    if (!complete && body_.size() < kSniffBytes) {
        return;
    }
    if (playlistformat::looksLikePlaylist(body_) ||
        playlistformat::hasPlaylistExtension(QUrl(current_))) {
        reading_ = Reading::Playlist;
        readPlaylist(complete);
        return;
    }
    finishMedia();
}

void SourceResolver::readPlaylist(bool complete) {
    if (body_.size() > options_.maxPlaylistBytes) {
        finishFailed(sourcemessages::playlistTooLarge(name_));
        return;
    }
    if (complete) {
        finishPlaylist();
    }
}

void SourceResolver::finishPlaylist() {
    const playlistformat::Parsed parsed = playlistformat::parse(body_, options_.maxEntries);
    const QUrl base(current_);
    QStringList allowed;
    for (const QString& entry : parsed.entries) {
        const QString absolute = base.resolved(QUrl(entry)).toString(QUrl::FullyEncoded);
        if (options_.rules.allows(absolute)) {
            allowed.append(absolute);
        } else {
            refused_.append(entry);
        }
    }
    if (parsed.segmented) {
        // A segmented stream plays as one source, and only when all it names is allowed.
        if (refused_.isEmpty()) {
            finishMedia();
        } else {
            finishFailed(sourcemessages::refusedPlaylist(name_));
        }
        return;
    }
    if (allowed.isEmpty()) {
        finishFailed(refused_.isEmpty() ? sourcemessages::emptyPlaylist(name_)
                                        : sourcemessages::refusedPlaylist(name_));
        return;
    }
    SourceResolution result;
    result.kind = SourceResolution::Kind::Playlist;
    result.url = current_;
    result.entries = allowed;
    finish(std::move(result));
}

void SourceResolver::finishMedia() {
    SourceResolution result;
    result.kind = SourceResolution::Kind::Media;
    result.url = current_;
    if (transfer_ != nullptr) {
        if (transfer_->hasHead() && transfer_->status() != 0) {
            result.httpStatus = transfer_->status();
            result.httpReason = transfer_->reason();
        } else if (transfer_->error() != CurlTransfer::Error::None) {
            result.networkError = transfer_->error();
            result.networkErrorText = transfer_->errorText();
        }
        if (options_.keepStream && result.httpStatus >= 200 && result.httpStatus <= 299) {
            CurlTransfer* stream = transfer_;
            transfer_ = nullptr;
            stream->disconnect(this);
            stream->setParent(nullptr);
            result.stream = stream;
            result.head = std::exchange(body_, {});
        }
    }
    finish(std::move(result));
}

void SourceResolver::finishFailed(const QString& message) {
    SourceResolution result;
    result.kind = SourceResolution::Kind::Failed;
    result.url = current_;
    result.message = message;
    finish(std::move(result));
}

// Reports at once from network callbacks (the receiver may start the next resolution), and
// on the next turn of the event loop from inside resolve(), so that no caller sees
// `finished` from inside its own call; a cancel in between still wins.
void SourceResolver::finish(SourceResolution result) {
    static constexpr const char* kKinds[] = {"media", "playlist", "failed"};
    qCDebug(lcNet).noquote() << "resolved" << name_ << "as" << kKinds[static_cast<int>(result.kind)]
                             << result.url << result.message;
    deadline_.stop();
    dropTransfer();
    result.refused = refused_;
    if (!inResolve_) {
        busy_ = false;
        Q_EMIT finished(result);
        return;
    }
    const quint64 round = round_;
    QMetaObject::invokeMethod(
        this,
        [this, round, result = std::move(result)] {
            if (round == round_ && busy_) {
                busy_ = false;
                Q_EMIT finished(result);
            }
        },
        Qt::QueuedConnection);
}

// Ends the transfer in progress; the object is kept for the next request.
void SourceResolver::dropTransfer() {
    if (transfer_ != nullptr) {
        transfer_->cancel();
    }
}

}  // namespace lyrevane
