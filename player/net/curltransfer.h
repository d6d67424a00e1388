#pragma once

#include "rules/sourcerules.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QString>
#include <QTimer>

#include <curl/curl.h>

#include <chrono>

class QSocketNotifier;

namespace lyrevane {

// One HTTP(S) GET through libcurl, driven by the event loop of the thread it lives on (its
// sockets watched by socket notifiers, libcurl's timeouts by a timer): it never blocks that
// thread. It reads the answer's head as it comes (capped in size and time), then offers the
// body as a sequential device; while the reader leaves `maxBuffered` bytes unread the network
// is paused. Redirects are not followed: the caller checks each target and asks again.
// Proxies come from the environment as libcurl reads them (http_proxy, https_proxy, all_proxy,
// no_proxy); old radio servers' "ICY 200 OK" and bare-LF heads are read like any other.
// Connections to an address the rules refuse are never made; behind a proxy, a name that
// stands for one here is refused before the proxy is asked.
//
// Signals are never emitted from inside libcurl, so that a receiver may start, cancel or
// delete the transfer.
class CurlTransfer final : public QIODevice {
    Q_OBJECT

public:
    enum class Error {
        None,
        ConnectionFailed,  // refused, reset, closed early, unreachable
        HostNotFound,
        TimedOut,  // no whole head within the deadline
        Tls,
        HeadTooLarge,
        RefusedAddress,  // the host resolved to an address the rules refuse
        Unreadable,      // an answer that is no HTTP libcurl reads
    };

    struct Options {
        SourceRules rules;
        bool icyMetadata = false;
        // Sent as they are when not empty: a "Range" value ("bytes=0-99") and the client's
        // name. The caller keeps them to one line of printable text.
        QByteArray range;
        QByteArray userAgent;
        std::chrono::milliseconds headDeadline{20000};
        qint64 maxBuffered = 64 * 1024;
    };

    explicit CurlTransfer(QObject* parent = nullptr);
    ~CurlTransfer() override;

    // Starts asking for `url`, ending any transfer in progress. Reports come later, never
    // from inside this call.
    void get(const QString& url, const Options& options);
    // Ends the transfer and its connection now; nothing more is reported.
    void cancel();
    // Reading less than this holds the network back.
    void setMaxBuffered(qint64 bytes);

    QString url() const { return url_; }
    bool hasHead() const { return headDone_; }
    int status() const { return status_; }
    QString reason() const { return reason_; }
    // The last value of a header of the final answer; `name` in lower case.
    QByteArray header(const QByteArray& name) const { return headers_.value(name); }
    bool isFinished() const { return finished_; }
    Error error() const { return error_; }
    // What went wrong, in the words the media library uses ("Connection refused").
    QString errorText() const { return errorText_; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

Q_SIGNALS:
    void headReceived();
    void finished();

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    static int onSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);

    void start();
    void watch(int fd, int what);
    void unwatch(int fd);
    void drive(int fd, int events);
    void collect();
    void announce();
    void resume();
    void fail(Error error, const QString& text);
    void stop();

    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* requestHeaders_ = nullptr;
    curl_slist* aliases_ = nullptr;
    bool attached_ = false;
    QHash<int, Watch> watches_;
    QTimer curlTimer_;
    QTimer headTimer_;
    Options options_;
    QString url_;
    quint64 round_ = 0;
    int lookup_ = -1;  // the local look-up of a name a proxy would look up

    qint64 headBytes_ = 0;
    bool atStatusLine_ = true;
    bool headDone_ = false;
    int status_ = 0;
    QString reason_;
    QHash<QByteArray, QByteArray> headers_;
    QByteArray body_;
    qint64 bodyOffset_ = 0;
    bool paused_ = false;
    bool resumeQueued_ = false;
    bool refusedAddress_ = false;
    bool finished_ = false;
    Error error_ = Error::None;
    QString errorText_;
    char curlError_[CURL_ERROR_SIZE] = {};

    bool headAnnounced_ = false;
    bool dataAnnounced_ = true;
    bool finishAnnounced_ = false;
};

}  // namespace lyrevane
