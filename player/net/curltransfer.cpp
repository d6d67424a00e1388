#include "net/curltransfer.h"

#include "early/curlrequest.h"
#include "early/proxyenvironment.h"
#include "net/hostpinning.h"

#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QUrl>

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/version.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// The most of an answer's head taken; a longer head ends the transfer. libcurl itself gives
// up on a single line longer than 100 KiB, so memory stays bounded while a line is unfinished.
constexpr qint64 kMaxHead = 16 * 1024;

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isTlsFailure(CURLcode code) {
    switch (code) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_CRL_BADFILE:
            return true;
        default:
            return false;
    }
}

}  // namespace

CurlTransfer::CurlTransfer(QObject* parent) : QIODevice(parent) {
    initialiseCurl();
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlTransfer::onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlTransfer::onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    curlTimer_.setSingleShot(true);
    connect(&curlTimer_, &QTimer::timeout, this, [this] { drive(CURL_SOCKET_TIMEOUT, 0); });
    headTimer_.setSingleShot(true);
    connect(&headTimer_, &QTimer::timeout, this, [this] {
        fail(Error::TimedOut, u"Connection timed out"_s);
        announce();
    });
    // "ICY 200 OK" from SHOUTcast servers is an HTTP/1.0 200 with another name. (libcurl
    // reads every line that begins "HTTP/" strictly: "HTTP/1.0 OK" stays unread.)
    aliases_ = curl_slist_append(nullptr, "ICY 200 OK");
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

CurlTransfer::~CurlTransfer() {
    stop();
    curl_easy_cleanup(easy_);
    curl_multi_cleanup(multi_);
    curl_slist_free_all(requestHeaders_);
    curl_slist_free_all(aliases_);
}

void CurlTransfer::get(const QString& url, const Options& options) {
    cancel();
    options_ = options;
    url_ = url;
    curl_slist_free_all(std::exchange(requestHeaders_, nullptr));
    if (options_.icyMetadata) {
        requestHeaders_ = curl_slist_append(requestHeaders_, "Icy-MetaData: 1");
    }
    if (!options_.range.isEmpty()) {
        requestHeaders_ =
            curl_slist_append(requestHeaders_, QByteArray("Range: " + options_.range).constData());
    }
    CURL* easy = easy_;
    curl_easy_reset(easy);
    const QByteArray address = url.toUtf8();
    const QByteArray agent =
        options_.userAgent.isEmpty() ? version::kUserAgent : options_.userAgent;
    curlrequest::prepare(
        easy, address, agent.constData(), requestHeaders_, aliases_,
        {&CurlTransfer::onHeader, &CurlTransfer::onBody, &CurlTransfer::onOpenSocket, this});
    // Bodies come as the server sent them, never unpacked here: the reader looks at them.
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, curlError_);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curlError_[0] = '\0';
    headTimer_.start(options_.headDeadline);
    const quint64 round = round_;
    if (const QUrl parsed(url); proxyenvironment::proxiedByName(parsed)) {
        // The proxy would look the name up, past the check of every address connected to: it
        // is looked up here first, and refused when it stands for a refused address.
        lookup_ = QHostInfo::lookupHost(parsed.host(), this, [this, round](const QHostInfo& info) {
            lookup_ = -1;
            if (round != round_) {
                return;
            }
            if (!info.addresses().isEmpty() && !allAllowed(options_.rules, info.addresses())) {
                refusedAddress_ = true;
                fail(Error::RefusedAddress, u"the address is refused"_s);
                announce();
                return;
            }
            start();
        });
    } else {
        start();
    }
    // Reported from the event loop, never from inside this call.
    QMetaObject::invokeMethod(
        this,
        [this, round] {
            if (round == round_) {
                announce();
            }
        },
        Qt::QueuedConnection);
}

void CurlTransfer::start() {
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        fail(Error::ConnectionFailed, u"cannot start the transfer"_s);
        announce();
    } else {
        attached_ = true;
    }
}

void CurlTransfer::cancel() {
    ++round_;
    if (lookup_ >= 0) {
        QHostInfo::abortHostLookup(std::exchange(lookup_, -1));
    }
    stop();
    headBytes_ = 0;
    atStatusLine_ = true;
    headDone_ = false;
    status_ = 0;
    reason_.clear();
    headers_.clear();
    body_.clear();
    bodyOffset_ = 0;
    paused_ = false;
    refusedAddress_ = false;
    finished_ = false;
    error_ = Error::None;
    errorText_.clear();
    headAnnounced_ = false;
    dataAnnounced_ = true;
    finishAnnounced_ = false;
}

// Removing an unfinished transfer makes libcurl close its connection.
void CurlTransfer::stop() {
    headTimer_.stop();
    if (attached_) {
        attached_ = false;
        curl_multi_remove_handle(multi_, easy_);
    }
    curlTimer_.stop();
    for (auto it = watches_.begin(); it != watches_.end(); ++it) {
        for (QSocketNotifier* notifier : {it->read, it->write}) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    watches_.clear();
}

void CurlTransfer::setMaxBuffered(qint64 bytes) {
    options_.maxBuffered = bytes;
}

qint64 CurlTransfer::bytesAvailable() const {
    return body_.size() - bodyOffset_ + QIODevice::bytesAvailable();
}

qint64 CurlTransfer::readData(char* data, qint64 maxSize) {
    const qint64 count = std::min(maxSize, body_.size() - bodyOffset_);
    if (count > 0) {
        std::memcpy(data, body_.constData() + bodyOffset_, static_cast<std::size_t>(count));
        bodyOffset_ += count;
        if (bodyOffset_ == body_.size()) {
            body_.clear();
            bodyOffset_ = 0;
        }
    }
    if (paused_ && !resumeQueued_ && body_.size() - bodyOffset_ < options_.maxBuffered) {
        resumeQueued_ = true;
        QMetaObject::invokeMethod(this, &CurlTransfer::resume, Qt::QueuedConnection);
    }
    if (count == 0 && finished_) {
        return -1;
    }
    return count;
}

qint64 CurlTransfer::writeData(const char*, qint64) {
    return -1;
}

void CurlTransfer::resume() {
    resumeQueued_ = false;
    if (!paused_ || !attached_) {
        return;
    }
    paused_ = false;
    // May hand over what libcurl held back, through onBody, before it returns.
    curl_easy_pause(easy_, CURLPAUSE_CONT);
    collect();
    announce();
}

int CurlTransfer::onSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (what == CURL_POLL_REMOVE) {
        transfer->unwatch(fd);
    } else {
        transfer->watch(fd, what);
    }
    return 0;
}

void CurlTransfer::watch(int fd, int what) {
    Watch& watch = watches_[fd];
    if (watch.read == nullptr) {
        watch.read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        watch.write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        connect(watch.read, &QSocketNotifier::activated, this,
                [this, fd] { drive(fd, CURL_CSELECT_IN); });
        connect(watch.write, &QSocketNotifier::activated, this,
                [this, fd] { drive(fd, CURL_CSELECT_OUT); });
    }
    watch.read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch.write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

void CurlTransfer::unwatch(int fd) {
    const Watch watch = watches_.take(fd);
    for (QSocketNotifier* notifier : {watch.read, watch.write}) {
        if (notifier != nullptr) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
}

int CurlTransfer::onTimer(CURLM*, long timeoutMs, void* self) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (timeoutMs < 0) {
        transfer->curlTimer_.stop();
    } else {
        transfer->curlTimer_.start(static_cast<int>(timeoutMs));
    }
    return 0;
}

void CurlTransfer::drive(int fd, int events) {
    int running = 0;
    curl_multi_socket_action(multi_, fd, events, &running);
    collect();
    announce();
}

std::size_t CurlTransfer::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    const std::size_t length = size * count;
    transfer->headBytes_ += static_cast<qint64>(length);
    if (transfer->headBytes_ > kMaxHead) {
        transfer->fail(Error::HeadTooLarge, u"the server's answer is too large"_s);
        return 0;  // libcurl ends the transfer
    }
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(length)).trimmed();
    if (line.isEmpty()) {
        long code = 0;
        curl_easy_getinfo(transfer->easy_, CURLINFO_RESPONSE_CODE, &code);
        transfer->status_ = static_cast<int>(code);
        // A head after "100 Continue" and the like is the final one.
        transfer->headDone_ = code >= 200 || code == 0;
        transfer->atStatusLine_ = true;
        if (transfer->headDone_) {
            transfer->headTimer_.stop();  // the deadline is the head's, not the stream's
        }
        return length;
    }
    if (std::exchange(transfer->atStatusLine_, false)) {
        // "HTTP/1.1 404 Not Found", "ICY 200 OK": the reason is what follows the code.
        transfer->headers_.clear();
        transfer->reason_ = QString::fromLatin1(line.split(' ').mid(2).join(' '));
        return length;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        transfer->headers_.insert(line.left(colon).trimmed().toLower(),
                                  line.mid(colon + 1).trimmed());
    }
    return length;
}

std::size_t CurlTransfer::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (transfer->body_.size() - transfer->bodyOffset_ >= transfer->options_.maxBuffered) {
        transfer->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (!std::exchange(transfer->headDone_, true)) {
        transfer->headTimer_.stop();
    }
    transfer->body_.append(data, static_cast<qsizetype>(size * count));
    transfer->dataAnnounced_ = false;
    return size * count;
}

curl_socket_t CurlTransfer::onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (purpose == CURLSOCKTYPE_IPCXN && !transfer->options_.rules.allowsAddress(&address->addr)) {
        transfer->refusedAddress_ = true;
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

void CurlTransfer::collect() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != easy_) {
            continue;
        }
        const CURLcode code = message->data.result;
        headTimer_.stop();
        attached_ = false;
        curl_multi_remove_handle(multi_, easy_);
        if (finished_) {
            continue;  // already failed on our side
        }
        finished_ = true;
        if (code == CURLE_OK) {
            headDone_ = true;
            continue;
        }
        long osError = 0;
        curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osError);
        const QString said =
            QString::fromUtf8(curlError_[0] != '\0' ? curlError_ : curl_easy_strerror(code));
        if (refusedAddress_) {
            fail(Error::RefusedAddress, u"the address is refused"_s);
        } else if (code == CURLE_COULDNT_RESOLVE_HOST) {
            fail(Error::HostNotFound, said);
        } else if (isTlsFailure(code)) {
            fail(Error::Tls, said);
        } else if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_WEIRD_SERVER_REPLY) {
            fail(Error::Unreadable, u"the server's answer is not HTTP ("_s + said + u')');
        } else if (code == CURLE_OUT_OF_MEMORY && !headDone_) {
            fail(Error::HeadTooLarge, u"the server's answer is too large"_s);
        } else if (code == CURLE_OPERATION_TIMEDOUT) {
            fail(Error::TimedOut, u"Connection timed out"_s);
        } else if (osError != 0) {
            fail(Error::ConnectionFailed, QString::fromLocal8Bit(std::strerror(osError)));
        } else if (code == CURLE_GOT_NOTHING) {
            fail(Error::ConnectionFailed, u"Connection closed"_s);
        } else {
            fail(Error::ConnectionFailed, said);
        }
    }
}

void CurlTransfer::fail(Error error, const QString& text) {
    if (error_ == Error::None) {
        error_ = error;
        errorText_ = text;
    }
    finished_ = true;
    headTimer_.stop();
    // Outside libcurl's callbacks the connection is closed now; inside, libcurl ends the
    // transfer itself when the callback returns.
    if (error == Error::TimedOut && attached_) {
        attached_ = false;
        curl_multi_remove_handle(multi_, easy_);
    }
}

// Reports what changed, in order; stops as soon as a receiver started, cancelled or
// deleted the transfer.
void CurlTransfer::announce() {
    const quint64 round = round_;
    QPointer<CurlTransfer> self(this);
    const auto current = [&] { return self != nullptr && round == round_; };
    if (headDone_ && !headAnnounced_) {
        headAnnounced_ = true;
        Q_EMIT headReceived();
        if (!current()) {
            return;
        }
    }
    if (!dataAnnounced_ && bytesAvailable() > 0) {
        dataAnnounced_ = true;
        Q_EMIT readyRead();
        if (!current()) {
            return;
        }
    }
    if (finished_ && !finishAnnounced_) {
        finishAnnounced_ = true;
        Q_EMIT finished();
    }
}

}  // namespace lyrevane
