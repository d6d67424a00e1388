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
        // Any answer from the server counts, whatever its status; only a request that
        // got no answer at all (refused, reset, timed out) fails.
        const bool answered =
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
            reply->error() != QNetworkReply::OperationCanceledError &&
            reply->error() != QNetworkReply::TimeoutError;
        done(answered ? std::optional<QByteArray>(reply->readAll()) : std::nullopt);
    });
}

}  // namespace lyrevane
