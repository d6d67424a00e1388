#pragma once

#include "rules/sourcerules.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace lyrevane {

// The answer to the early request, shared by the transfer's own thread and the stream feed
// that takes it over. Safe to use from any thread.
class EarlyAnswer {
public:
    struct Head {
        int status = 0;
        QHash<QByteArray, QByteArray> headers;  // names in lower case, the last value kept
    };

    // Called on the transfer's thread once the head is whole, when body bytes come to a
    // reader that had read everything, and at the end; never after setNotify returned with
    // another function.
    void setNotify(std::function<void()> notify);
    // The head, once the whole of it came.
    std::optional<Head> head() const;
    // The transfer ended: the whole answer came, or it failed.
    bool ended() const;
    qint64 available() const;
    // Body bytes; 0 when none is there yet.
    qint64 read(char* data, qint64 maxSize);
    // Nothing more is wanted: the transfer ends as soon as its thread sees it.
    void abandon();

private:
    friend class EarlyTransferRun;
    friend class EarlyConnection;

    // Wakes the transfer's thread; with the mutex held.
    void wake();

    mutable std::mutex mutex_;
    std::condition_variable askedChanged_;
    void* multi_ = nullptr;  // the transfer's libcurl multi handle while it runs
    bool asked_ = false;     // the request went out (or never will)
    bool paused_ = false;    // the transfer waits for the reader to make room
    std::function<void()> notify_;
    std::optional<Head> head_;
    Head partial_;
    qint64 headBytes_ = 0;
    QByteArray body_;
    bool ended_ = false;
    bool abandoned_ = false;
    bool readerWaiting_ = true;  // the reader took everything: the next bytes are told
};

// The request for a stream named on the command line, made before the toolkit and the window
// start (they take a few hundred milliseconds; a radio server takes as long to send its first
// bytes). The request is made through libcurl on a thread of its own, with the proxies the
// environment names and every address checked against the media rules; the stream feed takes
// the answer over later. Needs no application object.
class EarlyConnection {
public:
    // Starts asking for `url`, which the caller has checked against `rules`; an address the
    // rules refuse is not connected to. Does nothing for URLs it does not handle.
    explicit EarlyConnection(const QString& url,
                             std::chrono::milliseconds connectTimeout = std::chrono::seconds(10),
                             SourceRules rules = {});
    ~EarlyConnection();
    EarlyConnection(const EarlyConnection&) = delete;
    EarlyConnection& operator=(const EarlyConnection&) = delete;

    // http and https URLs with a host and without user information.
    static bool handles(const QString& url);

    // The answer for `url`, once; null for another URL or one not handled.
    std::shared_ptr<EarlyAnswer> take(const QString& url);
    // Waits until the request went out, it failed, or `most` passed. Loading the player's
    // libraries holds the dynamic loader's lock, which the transfer's thread may need on its
    // way to the first request.
    void waitUntilAsked(std::chrono::milliseconds most);

private:
    QString url_;
    std::shared_ptr<EarlyAnswer> answer_;
    bool taken_ = false;
};

}  // namespace lyrevane
