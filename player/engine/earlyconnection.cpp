#include "earlyconnection.h"

#include <QUrl>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <thread>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Connects within `timeout`; -1 on failure.
int connectTo(const addrinfo& address, std::chrono::milliseconds timeout) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            address.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            ::close(fd);
            return -1;
        }
        pollfd waiting{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1 ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

bool sendAll(int fd, const QByteArray& data, std::chrono::milliseconds timeout) {
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + sent,
                                 static_cast<size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waiting{fd, POLLOUT, 0};
            if (::poll(&waiting, 1, static_cast<int>(timeout.count())) == 1) {
                continue;
            }
        }
        return false;
    }
    return true;
}

// Whether libcurl would take a proxy from the environment for a plain http URL. Which hosts
// `no_proxy` exempts is left to libcurl: with any proxy named, the feed connects.
bool proxyNamed() {
    for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

QByteArray EarlyConnection::requestFor(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != u"http"_s || parsed.host().isEmpty() ||
        !parsed.userInfo().isEmpty()) {
        return {};
    }
    QByteArray target =
        parsed.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty()) {
        target = "/";
    }
    QByteArray host = parsed.toEncoded(QUrl::RemoveScheme | QUrl::RemovePath | QUrl::RemoveQuery |
                                       QUrl::RemoveFragment);
    while (host.startsWith('/')) {
        host.remove(0, 1);
    }
    if (target.contains('\r') || target.contains('\n') || host.contains('\r') ||
        host.contains('\n')) {
        return {};
    }
    return "GET " + target + " HTTP/1.0\r\nHost: " + host +
           "\r\nUser-Agent: Lyrevane/1.0\r\nAccept: */*\r\nIcy-MetaData: 1\r\n"
           "Connection: close\r\n\r\n";
}

EarlyConnection::EarlyConnection(const QString& url, std::chrono::milliseconds connectTimeout,
                                 SourceRules rules)
    : url_(url), state_(std::make_shared<State>()) {
    QByteArray request = requestFor(url);
    if (request.isEmpty() || proxyNamed()) {
        state_->finished = true;
        return;
    }
    const QUrl parsed(url);
    QByteArray host = parsed.host(QUrl::FullyEncoded).toUtf8();
    if (host.startsWith('[') && host.endsWith(']')) {
        host = host.mid(1, host.size() - 2);
    }
    const QByteArray port = QByteArray::number(parsed.port(80));
    std::thread([state = state_, host, port, request, connectTimeout, rules = std::move(rules)] {
        int fd = -1;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.constData(), port.constData(), &hints, &found) == 0) {
            for (addrinfo* address = found; address != nullptr && fd < 0;
                 address = address->ai_next) {
                if (rules.allowsAddress(address->ai_addr)) {
                    fd = connectTo(*address, connectTimeout);
                }
            }
            ::freeaddrinfo(found);
        }
        if (fd >= 0 && !sendAll(fd, request, connectTimeout)) {
            ::close(fd);
            fd = -1;
        }
        const std::lock_guard lock(state->mutex);
        state->finished = true;
        if (state->abandoned && fd >= 0) {
            ::close(fd);
            fd = -1;
        }
        state->socket = fd;
        state->done.notify_all();
    }).detach();
}

EarlyConnection::~EarlyConnection() {
    const std::lock_guard lock(state_->mutex);
    state_->abandoned = true;
    if (state_->finished && !state_->taken && state_->socket >= 0) {
        ::close(state_->socket);
        state_->socket = -1;
    }
}

int EarlyConnection::take(const QString& url, std::chrono::milliseconds wait) {
    std::unique_lock lock(state_->mutex);
    if (state_->taken || url != url_) {
        return -1;
    }
    if (!state_->done.wait_for(lock, wait, [this] { return state_->finished; })) {
        return -1;  // still connecting: the caller goes its own way
    }
    state_->taken = true;
    return state_->socket;
}

}  // namespace lyrevane
