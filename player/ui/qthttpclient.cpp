#include "ui/qthttpclient.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace lyrevane {

QtHttpClient::QtHttpClient() {
    // Tracking must not be answered from a cache or follow a server elsewhere.
    manager_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void QtHttpClient::get(const QUrl& url, std::chrono::milliseconds deadline, qint64 maxBodyBytes,
                       Done done) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // The body is taken as sent: nothing is inflated beyond what the cap can see.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply* reply = manager_.get(request);
    // At most one byte past the cap is held: an endless answer cannot grow the memory.
    reply->setReadBufferSize(maxBodyBytes + 1);
    auto tooLong = std::make_shared<bool>(false);
    const auto refuseIfTooLong = [reply, maxBodyBytes, tooLong](qint64 size) {
        if (size > maxBodyBytes && !*tooLong) {
            *tooLong = true;
            reply->abort();
        }
    };

    // One deadline for the whole request: unlike a transfer timeout, bytes that trickle in
    // do not restart it.
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply, &QNetworkReply::abort);
    timer->start(deadline);

    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, refuseIfTooLong] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) {
            refuseIfTooLong(length.toLongLong());
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [reply, refuseIfTooLong] { refuseIfTooLong(reply->bytesAvailable()); });
    QObject::connect(
        reply, &QNetworkReply::finished, reply,
        [reply, tooLong, maxBodyBytes, done = std::move(done)] {
            reply->deleteLater();
            // Only a successful answer counts: an error page or a redirection
            // is no session id, and neither is a request that got no answer,
            // ran past its deadline or sent more than the cap.
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const bool succeeded = reply->error() == QNetworkReply::NoError && status >= 200 &&
                                   status < 300 && !*tooLong;
            if (!succeeded) {
                done(std::nullopt);
                return;
            }
            QByteArray body = reply->readAll();
            done(body.size() <= maxBodyBytes ? std::optional<QByteArray>(body) : std::nullopt);
        });
}

}  // namespace lyrevane
