#pragma once

#include "sourcerules.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace lyrevane {

// The connection to a stream named on the command line, opened before the toolkit and the
// window start (they take a few hundred milliseconds; a radio server takes as long to send
// its first bytes). Plain HTTP only: the host is looked up and connected on a thread of its
// own, and the request for the stream is sent; the stream feed takes the socket over later
// and reads the answer itself. Needs no application object.
class EarlyConnection {
public:
    // Starts connecting to `url`, which the caller has checked against `rules`; an address
    // the rules refuse is not connected to. Does nothing for URLs it does not handle (not
    // http://, with user information) or when the environment names a proxy for them: the
    // stream feed then goes through the proxy as libcurl reads the environment.
    explicit EarlyConnection(const QString& url,
                             std::chrono::milliseconds connectTimeout = std::chrono::seconds(10),
                             SourceRules rules = {});
    ~EarlyConnection();
    EarlyConnection(const EarlyConnection&) = delete;
    EarlyConnection& operator=(const EarlyConnection&) = delete;

    // The connected socket for `url` with its request sent, or -1 (another URL, not handled,
    // failed, or not connected within `wait`). The caller owns the socket; a second call
    // returns -1.
    int take(const QString& url, std::chrono::milliseconds wait);

    // The request sent for `url`, or empty when it is not handled.
    static QByteArray requestFor(const QString& url);

private:
    // Shared with the connecting thread, which may outlive this object: a connection that
    // is never taken is closed by whichever of the two comes last.
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool taken = false;
        bool abandoned = false;
        int socket = -1;
    };

    QString url_;
    std::shared_ptr<State> state_;
};

}  // namespace lyrevane
