#pragma once

#include <QNetworkAccessManager>

#include "core/usagetracking.h"

namespace lyrevane {

// HTTP GETs on Qt's network access manager, asynchronous on the caller's thread.
class QtHttpClient final : public HttpClient {
public:
    QtHttpClient();
    void get(const QUrl& url, std::chrono::milliseconds deadline, qint64 maxBodyBytes,
             Done done) override;

private:
    QNetworkAccessManager manager_;
};

}  // namespace lyrevane
