#include "early/earlyconnection.h"

#include "early/curlrequest.h"
#include "early/proxyenvironment.h"

#include <QUrl>

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>
#include <utility>

#include "common/version.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// The most of an answer's head that is read.
constexpr qint64 kMaxHead = 16 * 1024;
// Body bytes kept for the reader; beyond them the network is held back.
constexpr qsizetype kMaxBody = 256 * 1024;
// The transfer's thread is woken when it is abandoned or given room; this is a backstop, and
// how long a batching socket may stay silent before it wakes the thread for every byte again.
constexpr int kPollMs = 1000;
// A live stream comes in packets of about a tenth of a second: its socket wakes the thread
// only once this much of the stream gathered (the cushion is many times longer), at most
// kMaxBatch bytes.
constexpr qint64 kBatchMs = 250;
constexpr int kMaxBatch = 8 * 1024;

// Assumed when the server does not say.
constexpr qint64 kDefaultBitRate = 128;

// Bytes of a batch for a stream at the rate it says ("icy-br: 128", or "128,128").
int batchFor(const QByteArray& bitRate) {
    bool ok = false;
    qint64 kbit = bitRate.split(',').front().trimmed().toLongLong(&ok);
    if (!ok || kbit <= 0) {
        kbit = kDefaultBitRate;
    }
    return static_cast<int>(std::min<qint64>(kMaxBatch, kbit * kBatchMs / 8));
}

}  // namespace

// The transfer, on its own thread: the libcurl handles live and die there.
class EarlyTransferRun {
public:
    EarlyTransferRun(std::shared_ptr<EarlyAnswer> answer, SourceRules rules)
        : answer_(std::move(answer)), rules_(std::move(rules)) {}

    void run(const QByteArray& url, std::chrono::milliseconds connectTimeout) {
        CURL* easy = curl_easy_init();
        CURLM* multi = curl_multi_init();
        curl_slist* headers = curl_slist_append(nullptr, "Icy-MetaData: 1");
        curl_slist* aliases = curl_slist_append(nullptr, "ICY 200 OK");
        // Behind a proxy a name is not asked for early: the proxy would look it up past the
        // address check, which the stream feed's own request makes first.
        const bool byName = proxyenvironment::proxiedByName(QUrl(QString::fromUtf8(url)));
        if (easy != nullptr && multi != nullptr && !byName) {
            curlrequest::prepare(easy, url, version::kUserAgent, headers, aliases,
                                 {&EarlyTransferRun::onHeader, &EarlyTransferRun::onBody,
                                  &EarlyTransferRun::onOpenSocket, this});
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                             static_cast<long>(connectTimeout.count()));
            easy_ = easy;
            curl_multi_add_handle(multi, easy);
            {
                const std::lock_guard lock(answer_->mutex_);
                answer_->multi_ = multi;
            }
            loop(multi, easy);
            {
                const std::lock_guard lock(answer_->mutex_);
                answer_->multi_ = nullptr;
            }
            curl_multi_remove_handle(multi, easy);
        }
        markAsked();  // or never will be
        curl_multi_cleanup(multi);
        curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
        curl_slist_free_all(aliases);
        const std::lock_guard lock(answer_->mutex_);
        answer_->ended_ = true;
        tell();
    }

private:
    void loop(CURLM* multi, CURL* easy) {
        int running = 1;
        while (running > 0) {
            bool resume = false;
            {
                const std::lock_guard lock(answer_->mutex_);
                if (answer_->abandoned_) {
                    return;
                }
                resume = answer_->paused_ && answer_->body_.size() < kMaxBody / 2;
                answer_->paused_ = answer_->paused_ && !resume;
            }
            if (resume) {
                // Outside the lock: libcurl hands over the held bytes from inside this call.
                curl_easy_pause(easy, CURLPAUSE_CONT);
            }
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                return;
            }
            if (!asked_) {
                long sent = 0;
                curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &sent);
                if (sent > 0) {
                    asked_ = true;
                    markAsked();
                }
            }
            if (running > 0) {
                curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
                batch();
            }
        }
    }

    // Once a live stream's head came, its socket gathers a batch before it wakes this thread;
    // a stream slower than it said wakes it for every byte again.
    void batch() {
        int wanted = 0;
        {
            const std::lock_guard lock(answer_->mutex_);
            const std::optional<EarlyAnswer::Head>& head = answer_->head_;
            wanted = head && head->status == 200 && !head->headers.contains("content-length")
                         ? batchFor(head->headers.value("icy-br"))
                         : 0;
        }
        const auto now = std::chrono::steady_clock::now();
        if (batching_ == 0 && wanted > 1 && socket_ != CURL_SOCKET_BAD && !batchGivenUp_ &&
            ::setsockopt(socket_, SOL_SOCKET, SO_RCVLOWAT, &wanted, sizeof wanted) == 0) {
            batching_ = wanted;
            lastLook_ = now;
            gotData_ = false;
        } else if (batching_ > 0 && now - lastLook_ >= std::chrono::milliseconds(kPollMs)) {
            if (!std::exchange(gotData_, false)) {
                const int single = 1;
                ::setsockopt(socket_, SOL_SOCKET, SO_RCVLOWAT, &single, sizeof single);
                batching_ = 0;
                batchGivenUp_ = true;
            }
            lastLook_ = now;
        }
    }

    void markAsked() {
        const std::lock_guard lock(answer_->mutex_);
        answer_->asked_ = true;
        answer_->askedChanged_.notify_all();
    }

    // With the answer's mutex held.
    void tell() {
        if (answer_->notify_) {
            answer_->notify_();
        }
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* run = static_cast<EarlyTransferRun*>(self);
        EarlyAnswer& answer = *run->answer_;
        const std::size_t length = size * count;
        const std::lock_guard lock(answer.mutex_);
        answer.headBytes_ += static_cast<qint64>(length);
        if (answer.headBytes_ > kMaxHead || answer.abandoned_) {
            return 0;  // libcurl ends the transfer
        }
        const QByteArray line = QByteArray(data, static_cast<qsizetype>(length)).trimmed();
        if (line.isEmpty()) {
            long code = 0;
            curl_easy_getinfo(run->easy_, CURLINFO_RESPONSE_CODE, &code);
            if (code >= 200 || code == 0) {  // a head after "100 Continue" is the final one
                answer.partial_.status = static_cast<int>(code);
                answer.head_ = std::exchange(answer.partial_, {});
                run->tell();
            } else {
                answer.partial_ = {};
            }
            return length;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            answer.partial_.headers.insert(line.left(colon).trimmed().toLower(),
                                           line.mid(colon + 1).trimmed());
        }
        return length;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* run = static_cast<EarlyTransferRun*>(self);
        EarlyAnswer& answer = *run->answer_;
        const std::lock_guard lock(answer.mutex_);
        if (answer.abandoned_) {
            return 0;
        }
        if (answer.body_.size() >= kMaxBody) {
            answer.paused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        answer.body_.append(data, static_cast<qsizetype>(size * count));
        run->gotData_ = true;
        if (std::exchange(answer.readerWaiting_, false)) {
            run->tell();
        }
        return size * count;
    }

    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
        auto* run = static_cast<EarlyTransferRun*>(self);
        if (purpose == CURLSOCKTYPE_IPCXN && !run->rules_.allowsAddress(&address->addr)) {
            return CURL_SOCKET_BAD;
        }
        run->socket_ =
            ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        return run->socket_;
    }

    std::shared_ptr<EarlyAnswer> answer_;
    SourceRules rules_;
    CURL* easy_ = nullptr;
    bool asked_ = false;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    int batching_ = 0;  // the batch the socket gathers, 0 while it does not
    bool batchGivenUp_ = false;
    bool gotData_ = false;
    std::chrono::steady_clock::time_point lastLook_;
};

void EarlyAnswer::wake() {
    if (multi_ != nullptr) {
        curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
}

void EarlyAnswer::setNotify(std::function<void()> notify) {
    const std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

std::optional<EarlyAnswer::Head> EarlyAnswer::head() const {
    const std::lock_guard lock(mutex_);
    return head_;
}

bool EarlyAnswer::ended() const {
    const std::lock_guard lock(mutex_);
    return ended_;
}

qint64 EarlyAnswer::available() const {
    const std::lock_guard lock(mutex_);
    return body_.size();
}

qint64 EarlyAnswer::read(char* data, qint64 maxSize) {
    const std::lock_guard lock(mutex_);
    const qsizetype n = std::min<qsizetype>(body_.size(), maxSize);
    std::copy_n(body_.constData(), n, data);
    body_.remove(0, n);
    if (body_.isEmpty()) {
        readerWaiting_ = true;
    }
    if (paused_ && body_.size() < kMaxBody / 2) {
        wake();
    }
    return n;
}

void EarlyAnswer::abandon() {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    notify_ = nullptr;
    body_.clear();
    wake();
}

bool EarlyConnection::handles(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && (parsed.scheme() == u"http"_s || parsed.scheme() == u"https"_s) &&
           !parsed.host().isEmpty() && parsed.userInfo().isEmpty();
}

EarlyConnection::EarlyConnection(const QString& url, std::chrono::milliseconds connectTimeout,
                                 SourceRules rules)
    : url_(url) {
    if (!handles(url)) {
        return;
    }
    // Once, before any other thread could: the module's transfers use the same libcurl.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    answer_ = std::make_shared<EarlyAnswer>();
    auto run = std::make_shared<EarlyTransferRun>(answer_, std::move(rules));
    std::thread([run, address = QUrl(url).toEncoded(), connectTimeout] {
        run->run(address, connectTimeout);
    }).detach();
}

EarlyConnection::~EarlyConnection() {
    if (answer_ && !taken_) {
        answer_->abandon();
    }
}

void EarlyConnection::waitUntilAsked(std::chrono::milliseconds most) {
    if (!answer_) {
        return;
    }
    std::unique_lock lock(answer_->mutex_);
    answer_->askedChanged_.wait_for(lock, most, [this] { return answer_->asked_; });
}

std::shared_ptr<EarlyAnswer> EarlyConnection::take(const QString& url) {
    if (taken_ || url != url_ || !answer_) {
        return nullptr;
    }
    taken_ = true;
    return answer_;
}

}  // namespace lyrevane
