#pragma once

#include <QNetworkProxyFactory>

namespace lyrevane {

// Qt's own HTTP reads `http_proxy` itself. Once the program moved that setting out of libVLC's
// sight (proxyenvironment), this gives Qt the moved proxy for http URLs, honouring `no_proxy`,
// and the system's choice for everything else.
class MovedProxyFactory final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override;
};

}  // namespace lyrevane
