#include "qthttpclient.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace lyrevane {

QtHttpClient::QtHttpClient() {
    // Tracking must not be answered from a cache or follow a server elsewhere.
    manager_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void QtHttpClient::Get(const QUrl& url, std::chrono::milliseconds timeout, Done done) {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply* reply = manager_.get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
        reply->deleteLater();
        // Only a successful answer counts: an error page or a redirection is no session
        // id, and neither is a request that got no answer at all.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool succeeded =
            reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
        done(succeeded ? std::optional<QByteArray>(reply->readAll()) : std::nullopt);
    });
}

}  // namespace lyrevane
