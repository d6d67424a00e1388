#include "core/usagetracking.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

PortalUsageTracker::PortalUsageTracker(HttpClient& http, QString baseUrl,
                                       std::chrono::milliseconds deadline)
    : http_(http), baseUrl_(std::move(baseUrl)), deadline_(deadline) {
    while (baseUrl_.endsWith(u'/')) {
        baseUrl_.chop(1);
    }
}

PortalUsageTracker::~PortalUsageTracker() {
    *alive_ = false;
}

QByteArray PortalUsageTracker::encodeSessionId(const QByteArray& id) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    // Characters that may stand in a query parameter's value as they are; "%" only where
    // it starts an escape. "&", "=" and "+" would start another parameter or read as a
    // space: they are percent-encoded like everything else.
    static constexpr QByteArrayView kAllowed =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$'()*,;:@/?";
    const auto isHex = [](char c) { return QByteArrayView("0123456789abcdefABCDEF").contains(c); };
    QByteArray out;
    out.reserve(id.size());
    for (qsizetype i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool escape = c == '%' && i + 2 < id.size() && isHex(id[i + 1]) && isHex(id[i + 2]);
        if (escape || kAllowed.contains(c)) {
            out.append(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            out.append('%');
            out.append(kHex[b >> 4]);
            out.append(kHex[b & 0x0F]);
        }
    }
    return out;
}

QUrl PortalUsageTracker::requestUrl() const {
    const QByteArray base = baseUrl_.toUtf8() + kTrackerPath.toUtf8();
    if (!sessionId_.isEmpty()) {
        const QUrl withId =
            QUrl::fromEncoded(base + "&sid=" + encodeSessionId(sessionId_), QUrl::StrictMode);
        if (withId.isValid()) {
            return withId;
        }
    }
    return QUrl::fromEncoded(base, QUrl::StrictMode);
}

void PortalUsageTracker::trackUsage() {
    if (*inFlight_) {
        return;  // the previous report has not been answered yet
    }
    const QUrl url = requestUrl();
    if (!url.isValid() || url.host().isEmpty()) {
        return;  // a portal address that cannot be requested: nothing to report to
    }
    *inFlight_ = true;
    http_.get(url, deadline_, kMaxAnswerBytes,
              [this, alive = alive_, inFlight = inFlight_](std::optional<QByteArray> body) {
                  *inFlight = false;
                  if (!*alive) {
                      return;
                  }
                  // A failed, late or oversized report keeps the session id.
                  if (body && body->size() <= kMaxAnswerBytes) {
                      sessionId_ = *body;
                  }
              });
}

void EggTimerCounters::tick() {
    if (++refreshTickCount_ >= 5) {
        refreshTickCount_ = 0;
        refresh_();
    }
    if (++trackTickCount_ >= 2) {
        trackTickCount_ = 0;
        track_();
    }
}

qint32 getGMTOffset(const QDateTime& when) {
    return when.toLocalTime().offsetFromUtc() / 60;
}

}  // namespace lyrevane
