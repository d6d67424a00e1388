#include "core/usagetracking.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <ctime>

#include "../support/countinghttp.h"
#include "../support/timezone.h"
#include "../support/waituntil.h"
#include "ui/qthttpclient.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;
using namespace std::chrono_literals;

namespace {

using lyrevane::testing::NextSessionId;

// Records requests; the test answers them when it wants.
class FakeHttp final : public HttpClient {
public:
    void get(const QUrl& url, std::chrono::milliseconds deadline, qint64 maxBodyBytes,
             Done done) override {
        urls.append(url);
        timeouts.append(deadline);
        caps.append(maxBodyBytes);
        pending.append(std::move(done));
    }
    void answer(std::optional<QByteArray> body) {
        ASSERT_FALSE(pending.isEmpty());
        Done done = pending.takeFirst();
        done(std::move(body));
    }
    QList<QUrl> urls;
    QList<std::chrono::milliseconds> timeouts;
    QList<qint64> caps;
    QList<Done> pending;
};

QByteArray target(const QUrl& url) {
    return url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

// A tracker of the portal at 127.0.0.1:8080 whose requests the test answers.
class UsageTrackerTest : public ::testing::Test {
protected:
    FakeHttp http;
    PortalUsageTracker tracker{http, u"http://127.0.0.1:8080"_s};
};

TEST(UsageTracker, SessionIdRoundTripExactlyAsAnswered) {
    FakeHttp http;
    PortalUsageTracker tracker(http, u"http://127.0.0.1:8080/"_s);
    tracker.trackUsage();
    ASSERT_EQ(http.urls.size(), 1);
    EXPECT_EQ(http.urls[0].toEncoded(),
              "http://127.0.0.1:8080/cgi-bin/lyrevane/tracker.cgi?_cmd=track");
    EXPECT_EQ(http.timeouts[0], std::chrono::milliseconds(60000));
    EXPECT_EQ(http.caps[0], 4096);
    http.answer(QByteArray("a1B2-c3_d4.e5~f6"));
    EXPECT_EQ(NextSessionId(tracker), "a1B2-c3_d4.e5~f6");

    tracker.trackUsage();
    EXPECT_EQ(target(http.urls[1]),
              "/cgi-bin/lyrevane/tracker.cgi?_cmd=track&sid=a1B2-c3_d4.e5~f6");
    // The trailing line break stays in the id and travels percent-encoded.
    http.answer(QByteArray("XYZ\r\n"));
    EXPECT_EQ(NextSessionId(tracker), "XYZ\r\n");
    tracker.trackUsage();
    EXPECT_EQ(target(http.urls[2]), "/cgi-bin/lyrevane/tracker.cgi?_cmd=track&sid=XYZ%0D%0A");

    // An empty answer makes the next request go out without a session id.
    http.answer(QByteArray());
    tracker.trackUsage();
    EXPECT_EQ(target(http.urls[3]), "/cgi-bin/lyrevane/tracker.cgi?_cmd=track");
}

TEST_F(UsageTrackerTest, FailuresKeepTheSessionIdAndRequestsNeverOverlap) {
    tracker.trackUsage();
    tracker.trackUsage();  // still in flight: skipped
    EXPECT_EQ(http.urls.size(), 1);
    http.answer(QByteArray("id1"));
    tracker.trackUsage();  // answered: this one goes out
    EXPECT_EQ(http.urls.size(), 2);
    http.answer(std::nullopt);  // down or timed out
    EXPECT_EQ(NextSessionId(tracker), "id1");
    tracker.trackUsage();
    EXPECT_EQ(target(http.urls[2]), "/cgi-bin/lyrevane/tracker.cgi?_cmd=track&sid=id1");
}

TEST(UsageTracker, AnswerArrivingAfterTheTrackerIsGoneIsIgnored) {
    FakeHttp http;
    {
        PortalUsageTracker tracker(http, u"http://127.0.0.1:8080"_s);
        tracker.trackUsage();
    }
    http.answer(QByteArray("late"));  // must not touch freed memory
    SUCCEED();
}

TEST_F(UsageTrackerTest, SessionIdCannotInjectIntoTheRequest) {
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("abc"), "abc");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("a b\tc\r\nHost: x"), "a%20b%09c%0D%0AHost:%20x");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId(QByteArray("a\0b", 3)), "a%00b");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("caf\xc3\xa9\x7f"), "caf%C3%A9%7F");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("x#frag"), "x%23frag");
    // Valid escapes and other printable characters go back unchanged; characters that
    // would end the value, start another parameter or read as a space do not.
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("a%41;d/e?f:@!$'()*,"), "a%41;d/e?f:@!$'()*,");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("abc&_cmd=delete"), "abc%26_cmd%3Ddelete");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("a+b"), "a%2Bb");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("100%"), "100%25");
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("%zz%4"), "%25zz%254");
    // Characters a query cannot hold as they are, as in an error page.
    EXPECT_EQ(PortalUsageTracker::encodeSessionId("<p class=\"x\">{a|b}\\^`</p>"),
              "%3Cp%20class%3D%22x%22%3E%7Ba%7Cb%7D%5C%5E%60%3C/p%3E");

    tracker.trackUsage();
    http.answer(QByteArray("evil\r\nX-Injected: 1\r\n\r\nGET / HTTP/1.1"));
    const QUrl url = tracker.requestUrl();
    ASSERT_TRUE(url.isValid());
    EXPECT_TRUE(url.toEncoded().contains("&sid=evil%0D%0AX-Injected"));
    const QByteArray wire = url.toEncoded();
    EXPECT_FALSE(wire.contains('\r'));
    EXPECT_FALSE(wire.contains('\n'));
    EXPECT_FALSE(wire.contains(' '));
}

TEST_F(UsageTrackerTest, AnIdCannotAddParameters) {
    tracker.trackUsage();
    http.answer(QByteArray("abc&_cmd=delete&sid=x+y"));
    const QUrlQuery query(tracker.requestUrl());
    EXPECT_EQ(query.allQueryItemValues(u"_cmd"_s), QStringList{u"track"_s});
    EXPECT_EQ(query.allQueryItemValues(u"sid"_s, QUrl::FullyDecoded),
              QStringList{u"abc&_cmd=delete&sid=x+y"_s});
}

TEST_F(UsageTrackerTest, AnAnswerOverFourKibibytesIsAFailedReport) {
    tracker.trackUsage();
    http.answer(QByteArray(4096, 'a'));  // at the cap: taken
    EXPECT_EQ(NextSessionId(tracker), QByteArray(4096, 'a'));
    tracker.trackUsage();
    http.answer(QByteArray("id2"));
    tracker.trackUsage();
    http.answer(QByteArray(4097, 'b'));  // one byte over: the id stays
    EXPECT_EQ(NextSessionId(tracker), "id2");
    tracker.trackUsage();  // the failed report is over
    EXPECT_EQ(http.urls.size(), 4);
}

TEST_F(UsageTrackerTest, AnyAnswerKeepsTheReportsGoing) {
    tracker.trackUsage();
    http.answer(QByteArray("<html><body>It works!</body></html>\n\x01\xff"));
    tracker.trackUsage();
    ASSERT_EQ(http.urls.size(), 2);
    EXPECT_TRUE(http.urls[1].isValid());
    EXPECT_EQ(http.urls[1].query(QUrl::FullyDecoded).toUtf8().left(13), "_cmd=track&si");
}

TEST(EggTimer, RequestsEveryTwoMinutesAndRefreshesEveryFive) {
    QStringList log;
    EggTimerCounters timer([&] { log.append(u"refresh"_s); }, [&] { log.append(u"track"_s); });
    QStringList expected;
    for (int minute = 1; minute <= 20; ++minute) {
        timer.tick();
        if (minute % 5 == 0) {
            expected.append(u"refresh"_s);  // first, at 10 and 20 too
        }
        if (minute % 2 == 0) {
            expected.append(u"track"_s);
        }
        EXPECT_EQ(log, expected) << "minute " << minute;
    }
    EXPECT_EQ(timer.refreshTickCount(), 0);
    EXPECT_EQ(timer.trackTickCount(), 0);
}

using ScopedTz = lyrevane::testing::ScopedTimeZone;

TEST(GmtOffset, ZonesWestAndEastWithAndWithoutDaylightSaving) {
    const QDateTime winter(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);
    const QDateTime summer(QDate(2026, 7, 15), QTime(12, 0), Qt::UTC);
    {
        ScopedTz tz("EST5EDT,M3.2.0,M11.1.0");
        EXPECT_EQ(getGMTOffset(winter), -300);
        EXPECT_EQ(getGMTOffset(summer), -240);
    }
    {
        ScopedTz tz("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(getGMTOffset(winter), 60);
        EXPECT_EQ(getGMTOffset(summer), 120);
    }
    {
        ScopedTz tz("AEST-10AEDT,M10.1.0,M4.1.0/3");  // southern summer in January
        EXPECT_EQ(getGMTOffset(winter), 660);
        EXPECT_EQ(getGMTOffset(summer), 600);
    }
    {
        ScopedTz tz("<+0530>-5:30");
        EXPECT_EQ(getGMTOffset(winter), 330);
    }
    {
        ScopedTz tz("<-0930>9:30");
        EXPECT_EQ(getGMTOffset(summer), -570);
    }
    {
        ScopedTz tz("UTC0");
        EXPECT_EQ(getGMTOffset(summer), 0);
    }
}

// The real HTTP client against local servers that are down or never answer.
class TrackerNetworkTest : public ::testing::Test {
protected:
    // Runs the event loop for `ms`, returning the longest gap between 5 ms timer ticks.
    static qint64 longestStall(int ms) {
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 worst = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            worst = qMax(worst, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ticker.start(5);
        while (clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        return qMax(worst, clock.elapsed() - last);
    }
    QtHttpClient wire;
    lyrevane::testing::CountingHttp http{wire};
};

TEST_F(TrackerNetworkTest, TrackerThatIsDownKeepsTheIdAndTheWindowResponsive) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();  // nothing listens there now
    PortalUsageTracker tracker(http, u"http://127.0.0.1:%1"_s.arg(port));
    tracker.trackUsage();
    EXPECT_LT(longestStall(500), 100);
    EXPECT_TRUE(http.idle());
    EXPECT_TRUE(NextSessionId(tracker).isEmpty());
}

TEST_F(TrackerNetworkTest, HangingTrackerNeverFreezesTheEventLoop) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    QList<QTcpSocket*> held;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++connections;
            held.append(s);  // accepted, never answered
        }
    });
    PortalUsageTracker tracker(http, u"http://127.0.0.1:%1"_s.arg(server.serverPort()));
    tracker.trackUsage();
    const qint64 stall = longestStall(1500);
    std::printf("longest event-loop stall during a hanging tracker request: %lld ms\n",
                static_cast<long long>(stall));
    EXPECT_LT(stall, 100);
    EXPECT_FALSE(http.idle());
    tracker.trackUsage();  // skipped: the first is still waiting
    longestStall(200);
    EXPECT_EQ(http.started(), 1);
    EXPECT_EQ(connections, 1);
}

TEST_F(TrackerNetworkTest, OnlyASuccessfulAnswerIsTakenAndTimeoutIsReported) {
    // "/ok" answers 200 with an id, "/moved" a redirection, anything else an error page.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
            const QByteArray request = s->readAll();
            if (request.startsWith("GET /ok ")) {
                s->write(
                    "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\nid-42\r\n");
            } else if (request.startsWith("GET /moved ")) {
                s->write(
                    "HTTP/1.1 301 Moved\r\nLocation: /ok\r\nContent-Length: 5\r\n"
                    "Connection: close\r\n\r\nmoved");
            } else {
                s->write("HTTP/1.1 500 Oops\r\nContent-Length: 4\r\nConnection: close\r\n\r\noops");
            }
            s->disconnectFromHost();
        });
    });
    const auto get = [&](const QString& path, std::chrono::milliseconds limit) {
        std::optional<QByteArray> body;
        bool done = false;
        http.get(QUrl(u"http://127.0.0.1:%1%2"_s.arg(server.serverPort()).arg(path)), limit, 4096,
                 [&](std::optional<QByteArray> b) {
                     body = std::move(b);
                     done = true;
                 });
        QElapsedTimer t;
        t.start();
        while (!done && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        EXPECT_TRUE(done) << path.toStdString();
        return body;
    };
    EXPECT_EQ(get(u"/ok"_s, std::chrono::seconds(5)), QByteArray("id-42\r\n"));
    EXPECT_EQ(get(u"/error"_s, std::chrono::seconds(5)), std::nullopt);
    EXPECT_EQ(get(u"/moved"_s, std::chrono::seconds(5)), std::nullopt);

    std::optional<QByteArray> body;
    bool done = false;
    QElapsedTimer t;
    // A short limit against a silent server: no answer.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    http.get(QUrl(u"http://127.0.0.1:%1/x"_s.arg(silent.serverPort())),
             std::chrono::milliseconds(300), 4096, [&](std::optional<QByteArray> b) {
                 body = std::move(b);
                 done = true;
             });
    t.restart();
    while (!done && t.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_TRUE(done);
    EXPECT_FALSE(body.has_value());
}

// A tracker on 127.0.0.1 that answers each request with the next scripted reply; the
// replies write to the socket themselves, so they can stream or trickle.
class ScriptedTracker final : public QObject {
public:
    using Reply = std::function<void(QTcpSocket*)>;
    explicit ScriptedTracker(QList<Reply> replies) : replies_(std::move(replies)) {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
        server_.listen(QHostAddress::LocalHost);
    }
    QString base() const { return u"http://127.0.0.1:%1"_s.arg(server_.serverPort()); }
    QList<QByteArray> targets;  // request targets in arrival order

    static Reply answer(const QByteArray& body) {
        return [body](QTcpSocket* s) {
            s->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                     "\r\nConnection: close\r\n\r\n" + body);
            s->disconnectFromHost();
        };
    }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                QByteArray& request = buffers_[socket];
                request += socket->readAll();
                if (!request.contains("\r\n\r\n") || handled_.contains(socket)) {
                    return;
                }
                handled_.insert(socket);
                targets.append(request.split(' ').value(1));
                const qsizetype index = targets.size() - 1;
                if (index < replies_.size()) {
                    replies_[index](socket);
                }
            });
        }
    }
    QTcpServer server_;
    QList<Reply> replies_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QSet<QTcpSocket*> handled_;
};

// Streams filler bytes as fast as the client takes them, up to `limit` bytes, and counts
// what it managed to send.
ScriptedTracker::Reply endlessAnswer(const QByteArray& headers, qint64 limit, qint64* sent) {
    return [headers, limit, sent](QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\n" + headers + "Connection: close\r\n\r\n");
        const QByteArray chunk(64 * 1024, 'x');
        const auto more = [s, chunk, limit, sent] {
            while (s->state() == QAbstractSocket::ConnectedState && s->bytesToWrite() < 1 << 20 &&
                   *sent < limit) {
                *sent += s->write(chunk);
            }
            if (*sent >= limit) {
                s->disconnectFromHost();
            }
        };
        QObject::connect(s, &QTcpSocket::bytesWritten, s, more);
        more();
    };
}

TEST_F(TrackerNetworkTest, HugeAnswersAreCutShortAndKeepTheId) {
    struct Case {
        const char* name;
        QByteArray headers;
    };
    const Case cases[] = {
        {"announced 100 MB", "Content-Length: 104857600\r\n"},
        {"no length, endless", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qint64 sent = 0;
        constexpr qint64 kLimit = 256LL << 20;
        ScriptedTracker server(
            {ScriptedTracker::answer("id1"), endlessAnswer(c.headers, kLimit, &sent)});
        PortalUsageTracker tracker(http, server.base());
        tracker.trackUsage();
        ASSERT_TRUE(lyrevane::testing::waitUntil([&] { return http.idle(); }, 20s));
        ASSERT_EQ(NextSessionId(tracker), "id1");
        tracker.trackUsage();
        ASSERT_TRUE(lyrevane::testing::waitUntil([&] { return http.idle(); }, 120s));
        EXPECT_EQ(NextSessionId(tracker), "id1");
        // The player stopped reading long before the server ran out of filler.
        EXPECT_LT(sent, kLimit);
        std::printf("%s: the server got %lld bytes out before the player stopped\n", c.name,
                    static_cast<long long>(sent));
    }
}

TEST_F(TrackerNetworkTest, TricklingAnswerEndsAtTheDeadline) {
    // One byte every 50 ms of an announced 1 MB body: each byte would restart a transfer
    // timeout, but the deadline counts from the request.
    ScriptedTracker server({ScriptedTracker::answer("id1"), [](QTcpSocket* s) {
                                s->write(
                                    "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n"
                                    "Connection: close\r\n\r\n");
                                auto* drip = new QTimer(s);
                                QObject::connect(drip, &QTimer::timeout, s, [s] { s->write("x"); });
                                drip->start(50);
                            }});
    PortalUsageTracker tracker(http, server.base(), 1s);
    tracker.trackUsage();
    ASSERT_TRUE(lyrevane::testing::waitUntil([&] { return http.idle(); }, 20s));
    tracker.trackUsage();
    EXPECT_TRUE(lyrevane::testing::waitUntil([&] { return http.idle(); }, 30s));
    EXPECT_EQ(NextSessionId(tracker), "id1");
}

TEST_F(TrackerNetworkTest, AnIdCannotAddParametersOnTheWire) {
    ScriptedTracker server(
        {ScriptedTracker::answer("abc&_cmd=delete"), ScriptedTracker::answer("ok")});
    PortalUsageTracker tracker(http, server.base());
    tracker.trackUsage();
    ASSERT_TRUE(lyrevane::testing::waitUntil([&] { return http.idle(); }, 20s));
    tracker.trackUsage();
    ASSERT_TRUE(lyrevane::testing::waitUntil([&] { return server.targets.size() == 2; }, 20s));
    const QUrlQuery query(QUrl::fromEncoded("http://x" + server.targets[1]));
    EXPECT_EQ(query.allQueryItemValues(u"_cmd"_s), QStringList{u"track"_s});
    EXPECT_EQ(query.allQueryItemValues(u"sid"_s, QUrl::FullyDecoded),
              QStringList{u"abc&_cmd=delete"_s});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
