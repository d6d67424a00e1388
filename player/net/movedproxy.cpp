#include "net/movedproxy.h"

#include "early/proxyenvironment.h"

#include <QUrl>

namespace lyrevane {

namespace {

// Whether `host` is one `no_proxy` lists: "*", the name itself, or a domain it is under.
bool bypassed(const QString& host) {
    const QString list = qEnvironmentVariable("no_proxy", qEnvironmentVariable("NO_PROXY"));
    for (QString entry : list.split(u',', Qt::SkipEmptyParts)) {
        entry = entry.trimmed().toLower();
        while (entry.startsWith(u'.')) {
            entry.remove(0, 1);
        }
        if (entry == u"*" || host == entry || host.endsWith(u'.' + entry)) {
            return true;
        }
    }
    return false;
}

}  // namespace

QList<QNetworkProxy> MovedProxyFactory::queryProxy(const QNetworkProxyQuery& query) {
    const char* moved = proxyenvironment::httpProxy();
    if (moved == nullptr || query.protocolTag().compare(u"http", Qt::CaseInsensitive) != 0) {
        return systemProxyForQuery(query);
    }
    if (bypassed(query.peerHostName().toLower())) {
        return {QNetworkProxy::NoProxy};
    }
    const QUrl proxy = QUrl::fromUserInput(QString::fromLocal8Bit(moved));
    return {QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host(),
                          static_cast<quint16>(proxy.port(8080)), proxy.userName(),
                          proxy.password())};
}

}  // namespace lyrevane
