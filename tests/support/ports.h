#pragma once

// Ports on 127.0.0.1 for tests, free of races with other tests running at the same time.
#include <QFile>
#include <QtGlobal>

#include <random>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lyrevane::testing {

namespace detail {

// A TCP socket bound to 127.0.0.1:port (0: any port), not listening; -1 when it fails.
inline int boundSocket(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int portOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

}  // namespace detail

// A port on 127.0.0.1 on which nothing listens, for the rest of the test program: the
// port stays bound to a socket that never listens, so connections to it are refused and
// no other program can take it meanwhile.
inline int closedPort() {
    const int fd = detail::boundSocket(0);
    return fd < 0 ? 0 : detail::portOf(fd);  // the socket is kept open on purpose
}

// A port for a server that the test starts next (Icecast, a script), free now. It lies
// below the kernel's range for outgoing connections, so no connection takes it meanwhile;
// tests of this machine choose such ports one at a time (a lock file) and at random.
inline int freePort() {
    const int lock = ::open("/tmp/lyrevane-test-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock >= 0) {
        ::flock(lock, LOCK_EX);
    }
    std::random_device entropy;
    std::mt19937 random(entropy());
    std::uniform_int_distribution<int> range(20000, 32000);
    int port = 0;
    for (int attempt = 0; attempt < 100 && port == 0; ++attempt) {
        const int candidate = range(random);
        const int fd = detail::boundSocket(quint16(candidate));
        if (fd >= 0) {
            ::close(fd);
            port = candidate;
        }
    }
    if (lock >= 0) {
        ::close(lock);  // releases the lock
    }
    return port;
}

}  // namespace lyrevane::testing
