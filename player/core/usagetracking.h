#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/platform.h"

namespace lyrevane {

// A plain HTTP GET whose answer body is taken as it comes, within limits.
class HttpClient {
public:
    // The body of a successful (2xx) answer, or nullopt when none came (refused, reset,
    // past its deadline, longer than allowed, or the server answered with an error or a
    // redirection).
    using Done = std::function<void(std::optional<QByteArray> body)>;
    virtual ~HttpClient() = default;
    // Starts the request and returns at once; `done` runs later on the caller's thread.
    // `deadline` bounds the whole request from its start, however the bytes trickle in;
    // a body of more than `maxBodyBytes` fails the request as soon as the cap is passed.
    virtual void get(const QUrl& url, std::chrono::milliseconds deadline, qint64 maxBodyBytes,
                     Done done) = 0;
};

// Reports to the portal's tracker, carrying the session id that the tracker hands out.
// Requests are asynchronous and never overlap: a request goes out only after the
// previous answer (or its failure) has been handled.
class PortalUsageTracker final : public UsageTracker {
public:
    // Every report is over at the latest this long after it was sent.
    static constexpr std::chrono::milliseconds kDeadline{60000};
    // A longer answer is no session id: the report counts as failed.
    static constexpr qint64 kMaxAnswerBytes = 4096;
    static constexpr QStringView kTrackerPath = u"/cgi-bin/lyrevane/tracker.cgi?_cmd=track";

    PortalUsageTracker(HttpClient& http, QString baseUrl,
                       std::chrono::milliseconds deadline = kDeadline);
    ~PortalUsageTracker() override;

    // Sends one report unless one is still in flight (then the call is skipped).
    void trackUsage() override;

    // The URL the next report goes to.
    QUrl requestUrl() const;

    // The session id as the value of one query parameter: bytes that cannot stand there
    // (control characters, space, '#', '<', '"', non-ASCII, '&', '=', '+', a '%' that
    // starts no escape...) are percent-encoded, everything else goes back unchanged.
    static QByteArray encodeSessionId(const QByteArray& id);

private:
    HttpClient& http_;
    QString baseUrl_;
    std::chrono::milliseconds deadline_;
    // The body of the tracker's last answer, unchanged.
    QByteArray sessionId_;
    // Shared with pending callbacks so that an answer after destruction is ignored.
    std::shared_ptr<bool> inFlight_ = std::make_shared<bool>(false);
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The 60-second egg timer's two counters: the main pane is refreshed every 5 ticks and
// a report sent every 2; on a tick that does both, the refresh comes first.
class EggTimerCounters {
public:
    EggTimerCounters(std::function<void()> refresh, std::function<void()> track)
        : refresh_(std::move(refresh)), track_(std::move(track)) {}
    void tick();
    qint16 refreshTickCount() const { return refreshTickCount_; }
    qint16 trackTickCount() const { return trackTickCount_; }

private:
    std::function<void()> refresh_;
    std::function<void()> track_;
    qint16 refreshTickCount_ = 0;
    qint16 trackTickCount_ = 0;
};

// Local time minus GMT in minutes at `when`, daylight saving included.
qint32 getGMTOffset(const QDateTime& when = QDateTime::currentDateTime());

}  // namespace lyrevane
