#include "net/hostpinning.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

bool allAllowed(const SourceRules& rules, const QList<QHostAddress>& addresses) {
    for (const QHostAddress& address : addresses) {
        sockaddr_storage storage{};
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            auto* ipv4 = reinterpret_cast<sockaddr_in*>(&storage);
            ipv4->sin_family = AF_INET;
            ipv4->sin_addr.s_addr = htonl(address.toIPv4Address());
        } else {
            auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&storage);
            ipv6->sin6_family = AF_INET6;
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&ipv6->sin6_addr, bytes.c, sizeof bytes.c);
        }
        if (!rules.allowsAddress(reinterpret_cast<const sockaddr*>(&storage))) {
            return false;
        }
    }
    return !addresses.isEmpty();
}

HostPinning::HostPinning(SourceRules rules, QObject* parent)
    : QObject(parent), rules_(std::move(rules)) {}

void HostPinning::pin(quint64 ticket, const QString& url, std::chrono::milliseconds deadline) {
    QUrl address(url);
    // Reported once, whichever comes first: the answer or the deadline.
    auto reported = std::make_shared<bool>(false);
    const auto report = [this, ticket, reported](const QString& pinned, bool refused,
                                                 const QString& line) {
        if (!std::exchange(*reported, true)) {
            Q_EMIT done(ticket, pinned, refused, line);
        }
    };
    const QString host = address.host();
    const int port = address.port(address.scheme() == u"rtsp"_s ? 554 : 1755);
    const QString notFound = u"cannot resolve "_s + host + u" port "_s + QString::number(port);
    QTimer::singleShot(deadline, this, [report, notFound] { report({}, false, notFound); });
    QHostInfo::lookupHost(host, this, [this, address, report, notFound](const QHostInfo& info) {
        const QList<QHostAddress> found = info.addresses();
        if (info.error() != QHostInfo::NoError || found.isEmpty()) {
            report({}, false, notFound);
            return;
        }
        if (!allAllowed(rules_, found)) {
            report({}, true, {});
            return;
        }
        QUrl pinned = address;
        // QUrl writes an IPv6 address in brackets.
        pinned.setHost(found.constFirst().toString());
        report(pinned.toString(QUrl::FullyEncoded), false, {});
    });
}

}  // namespace lyrevane
