#pragma once

// An HTTP client that hands every request to another one and counts the requests it
// started and the answers (or failures) it handed back, once the caller has had them.
#include <memory>

#include "core/usagetracking.h"

namespace lyrevane::testing {

class CountingHttp final : public HttpClient {
public:
    explicit CountingHttp(HttpClient& inner) : inner_(inner) {}
    void get(const QUrl& url, std::chrono::milliseconds deadline, qint64 maxBodyBytes,
             Done done) override {
        ++counts_->started;
        // The count outlives this object: the inner client may answer after it is gone.
        inner_.get(url, deadline, maxBodyBytes,
                   [counts = counts_, done = std::move(done)](std::optional<QByteArray> body) {
                       done(std::move(body));
                       ++counts->finished;
                   });
    }
    int started() const { return counts_->started; }
    int finished() const { return counts_->finished; }
    // No request is waiting for its answer.
    bool idle() const { return counts_->finished == counts_->started; }

private:
    struct Counts {
        int started = 0;
        int finished = 0;
    };
    HttpClient& inner_;
    std::shared_ptr<Counts> counts_ = std::make_shared<Counts>();
};

// The session id the tracker's next report carries, decoded: empty when it carries none.
inline QByteArray NextSessionId(const PortalUsageTracker& tracker) {
    const QByteArray url = tracker.requestUrl().toEncoded();
    const qsizetype at = url.indexOf("&sid=");
    return at < 0 ? QByteArray() : QByteArray::fromPercentEncoding(url.mid(at + 5));
}

}  // namespace lyrevane::testing
