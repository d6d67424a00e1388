// The stream feed and the media gateway against servers that answer oddly or with ill intent:
// old radio heads, heads that never end, redirects and names that lead to refused addresses, a
// proxy, indexes that list refused places, a server that answers its second client otherwise.
#include "../support/hostiledata.h"
#include "../support/ports.h"
#include "../support/scriptedserver.h"
#include "../support/waituntil.h"
#include "early/proxyenvironment.h"
#include "net/hostpinning.h"
#include "net/mediagateway.h"
#include "net/movedproxy.h"
#include "net/streamfeed.h"

#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <tuple>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane::testing {
namespace {

enum class Outcome { Plays, ByUrl, Fails, Refused };

struct Case {
    const char* name;
    QByteArray head;  // sent as it is, then `chunk` until the client leaves
    QByteArray chunk;
    Outcome outcome;
    QString said;  // the station when it plays, the line when it fails
    QString host = u"127.0.0.1"_s;
    QStringList refused = {witnessAddress()};
    bool viaProxy = false;
};

TEST(HostileServerTest, EveryAnswerEndsAsAPlayerWould) {
    ScriptedServer server;
    ScriptedServer refusedHost{QHostAddress(witnessAddress())};
    ScriptedServer proxy{QHostAddress(u"127.0.0.3"_s)};
    ASSERT_TRUE(server.isListening() && refusedHost.isListening() && proxy.isListening());
    refusedHost.stream(u"/live"_s, "audio/aacp", QByteArray(512, 'x'));
    const QByteArray audio(512, 'a');
    const QString tooLarge = u"connection failed: the server's answer is too large"_s;
    const QString compressed = u"the server sends compressed data that is not audio"_s;
    const QByteArray listing = indexOn(refusedHost.authority());
    const QByteArray audioHead = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n";
    const std::vector<Case> cases{
        {"shoutcast v1", "ICY 200 OK\r\nicy-name: Old Timer\r\nContent-Type: audio/aacp\r\n\r\n",
         audio, Outcome::Plays, u"Old Timer"_s},
        {"bare line feeds", "HTTP/1.0 200 OK\nContent-Type: audio/aacp\nicy-name: Bare\n\n", audio,
         Outcome::Plays, u"Bare"_s},
        // No code in the status line: nothing reads it now, and the listener is told why.
        {"no status code", "HTTP/1.0 OK\r\nContent-Type: audio/aacp\r\n\r\n", audio, Outcome::Fails,
         u"connection failed: the server's answer is not HTTP"_s},
        {"random bytes", QByteArray(64, '\x9c') + "\r\n\r\n", audio, Outcome::Fails,
         u"connection failed: the server's answer is not HTTP"_s},
        {"chunk of a huge size",
         "HTTP/1.1 200 OK\r\nContent-Type: audio/aacp\r\nTransfer-Encoding: chunked\r\n\r\n"
         "FFFFFFFFFFFFFFFFFFFF\r\n",
         audio, Outcome::Fails, u"connection failed: "_s},
        {"endless header line", "HTTP/1.0 200 OK\r\nX-Filler: ", QByteArray(4096, 'h'),
         Outcome::Fails, tooLarge},
        {"endless head", "HTTP/1.0 200 OK\r\n", "X-Filler: " + QByteArray(500, 'h') + "\r\n",
         Outcome::Fails, tooLarge},
        {"redirect to a refused host",
         "HTTP/1.0 302 Found\r\nLocation: " + refusedHost.url(u"/live"_s).toUtf8() + "\r\n\r\n",
         {},
         Outcome::Refused,
         {}},
        // The name is allowed; the address it stands for is not, and is never connected to.
        {"name of a refused address",
         "HTTP/1.0 200 OK\r\nContent-Type: audio/aacp\r\n\r\n",
         audio,
         Outcome::Refused,
         {},
         u"localhost"_s,
         {u"127.0.0.1"_s}},
        // What libVLC would take for an index or unpack is never fed to it, whatever its type.
        {"index that calls itself audio", audioHead + "\r\n", listing, Outcome::ByUrl, {}},
        {"index behind a tag",
         audioHead + "\r\n",
         QByteArray("ID3\x04\0\0\0\0\0\x02xx", 12) + listing,
         Outcome::ByUrl,
         {}},
        {"gzip bomb", audioHead + "Content-Encoding: gzip\r\n\r\n",
         gzipped(QByteArray(1 << 20, '\0')), Outcome::Fails, compressed},
        {"compressed index, no length",
         "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n", zlibbed(listing),
         Outcome::Fails, compressed},
        {"dash manifest that calls itself audio",
         audioHead + "\r\n",
         "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\">",
         Outcome::Refused,
         {}},
        {"through a proxy",
         "HTTP/1.0 200 OK\r\nContent-Type: audio/aacp\r\nicy-name: Proxied\r\n\r\n",
         audio,
         Outcome::Plays,
         u"Proxied"_s,
         u"127.0.0.1"_s,
         {witnessAddress()},
         true},
        // The proxy would look the name up: it is looked up here first, and refused.
        {"name of a refused address, through a proxy",
         "HTTP/1.0 200 OK\r\nContent-Type: audio/aacp\r\n\r\n",
         audio,
         Outcome::Refused,
         {},
         u"localhost"_s,
         {u"127.0.0.1"_s},
         true},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = u"/case"_s + QString::number(++index);
        const QString url =
            u"http://"_s + c.host + u':' + server.authority().section(u':', -1) + path;
        ScriptedServer& answering = c.viaProxy ? proxy : server;
        answering.raw(c.viaProxy ? url : path, c.head, c.chunk);
        if (c.viaProxy) {
            qputenv("http_proxy", proxy.url({}).toUtf8());
        }
        SourceResolverOptions options;
        options.rules = SourceRules(c.refused);
        if (c.outcome == Outcome::Plays) {
            options.deadline = 300ms;  // for the head only: the stream outlives it
        }
        StreamFeed feed(options);
        QString station;
        QString failure;
        std::optional<SourceResolution> resolution;
        QObject::connect(&feed, &StreamFeed::started,
                         [&](quint64, const QString& name) { station = name; });
        QObject::connect(&feed, &StreamFeed::failed,
                         [&](quint64, const QString& line) { failure = line; });
        // A stream whose head was fine may fail in its body: it ends with the reason.
        QObject::connect(&feed, &StreamFeed::ended,
                         [&](quint64, const QString& line) { failure = line; });
        QObject::connect(&feed, &StreamFeed::resolved,
                         [&](quint64, const SourceResolution& r) { resolution = r; });
        const int before = server.connections();
        proxy.requests.clear();
        if (c.viaProxy || c.host != u"127.0.0.1"_s) {
            // Nor does the connection made before the player's window reach the server.
            feed.setEarlyConnection(std::make_shared<EarlyConnection>(url, 10s, options.rules));
        }
        auto buffer = std::make_shared<FeedBuffer>();
        feed.open(1, url, buffer);
        switch (c.outcome) {
            case Outcome::Plays:
                EXPECT_TRUE(waitUntil([&] { return buffer->buffered() >= 16 * 1024; }, 10s));
                EXPECT_EQ(station, c.said);
                break;
            case Outcome::ByUrl:
                EXPECT_TRUE(waitUntil([&] { return resolution.has_value(); }, 10s));
                EXPECT_EQ(resolution.value_or(SourceResolution{}).kind,
                          SourceResolution::Kind::Media);
                EXPECT_EQ(resolution.value_or(SourceResolution{}).stream, nullptr);
                break;
            case Outcome::Fails:
                EXPECT_TRUE(waitUntil([&] { return !failure.isEmpty(); }, 10s));
                EXPECT_TRUE(failure.startsWith(c.said)) << failure.toStdString();
                break;
            case Outcome::Refused:
                EXPECT_TRUE(waitUntil([&] { return resolution.has_value(); }, 10s));
                EXPECT_EQ(resolution.value_or(SourceResolution{}).kind,
                          SourceResolution::Kind::Failed);
                EXPECT_FALSE(resolution.value_or(SourceResolution{}).refused.isEmpty());
                break;
        }
        qunsetenv("http_proxy");
        EXPECT_EQ(buffer->buffered() > 0, c.outcome == Outcome::Plays);
        EXPECT_EQ(refusedHost.connections(), 0);
        if (c.host != u"127.0.0.1"_s) {
            EXPECT_EQ(server.connections(), before) << "a refused address was connected to";
        }
        if (c.viaProxy) {
            EXPECT_EQ(proxy.requests,
                      c.outcome == Outcome::Plays ? QStringList{url} : QStringList());
            EXPECT_EQ(server.connections(), before);
        }
        // Whatever happened, the connection ends with the feed: the server sees it close.
        feed.close();
        EXPECT_TRUE(waitUntil([&] { return answering.streaming() == 0; }, 5s));
    }
}

// Qt's own HTTP keeps the proxy moved out of libVLC's sight, and what no_proxy says.
TEST(HostileServerTest, QtKeepsTheMovedProxyAndItsExceptions) {
    qputenv(proxyenvironment::kMovedHttpProxy, "http://proxy.test:3128");
    qputenv("no_proxy", "localhost,.lan");
    MovedProxyFactory factory;
    const auto proxyFor = [&](const char* url) {
        return factory.queryProxy(QNetworkProxyQuery(QUrl(QString::fromLatin1(url)))).value(0);
    };
    EXPECT_EQ(proxyFor("http://radio.test/live").hostName(), u"proxy.test"_s);
    EXPECT_EQ(proxyFor("http://radio.test/live").port(), 3128);
    EXPECT_EQ(proxyFor("http://box.lan/live").type(), QNetworkProxy::NoProxy);
    EXPECT_EQ(proxyFor("http://localhost/live").type(), QNetworkProxy::NoProxy);
    qunsetenv(proxyenvironment::kMovedHttpProxy);
    qunsetenv("no_proxy");
}

struct Answer {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// One request on a connection of its own, read until the server closes it.
Answer fetch(const QString& url, const QByteArray& method = "GET", const QByteArray& headers = {}) {
    const QUrl address(url);
    QTcpSocket socket;
    socket.connectToHost(address.host(), static_cast<quint16>(address.port()));
    socket.write(method + ' ' + address.path(QUrl::FullyEncoded).toUtf8() +
                 " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
    QByteArray all;
    waitUntil(
        [&] {
            all += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        10s);
    all += socket.readAll();
    const qsizetype end = all.indexOf("\r\n\r\n");
    return {all.split(' ').value(1).toInt(), all.left(end),
            end < 0 ? QByteArray() : all.mid(end + 4)};
}

struct GatewayCase {
    const char* name;
    QString path;  // published; a made-up token when empty
    QByteArray method = "GET";
    QByteArray headers = QByteArray();
    int status = 200;
    QByteArray body = QByteArray();       // of the first answer, when not an index
    QStringList refused = QStringList();  // paths on the refused host or URLs, over the walk
    int media = 0;                        // answers reached that are no index
    QByteArray refresh = QByteArray();    // the index as it is on its second request
    bool looked = false;  // the player looks first: a server may answer libVLC otherwise
};

// Each case is walked as the media library would: every address in an index is asked for, and
// a refreshed index is asked again. The refused host is never contacted, whatever the index
// or the redirect says, and the gateway writes no header of upstream's but its own few.
TEST(HostileServerTest, TheGatewayServesOnlyWhatTheRulesAllow) {
    ScriptedServer server;
    ScriptedServer refusedHost{QHostAddress(witnessAddress())};
    ASSERT_TRUE(server.isListening() && refusedHost.isListening());
    const QByteArray far = refusedHost.url({}).toUtf8();
    MediaGatewayOptions options;
    options.rules = SourceRules({witnessAddress()});
    options.requestDeadline = 1s;
    auto* gateway = new MediaGateway(options);
    ASSERT_TRUE(gateway->isListening());
    QThread thread;
    gateway->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, gateway, &QObject::deleteLater);
    thread.start();
    QStringList refused;
    QObject receiver;
    QObject::connect(gateway, &MediaGateway::refused, &receiver,
                     [&](quint64, const QString& target) { refused.append(target); });
    QStringList failed;
    QObject::connect(gateway, &MediaGateway::failed, &receiver,
                     [&](quint64, const QString& line) { failed.append(line); });

    QByteArray live = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n";
    for (int i = 1; i <= 100; ++i) {
        server.page(u"/s%1.ts"_s.arg(i), "video/mp2t", "segment " + QByteArray::number(i));
        live += "#EXTINF:1,\ns" + QByteArray::number(i) + ".ts\n";
    }
    const QByteArray mpegurl = "application/vnd.apple.mpegurl";
    server.page(u"/master.m3u8"_s, "application/x-mpegURL",
                "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"b\",URI=\"" + far +
                    "/alt.m3u8\"\n#EXT-X-STREAM-INF:BANDWIDTH=1\nvariant.m3u8\n");
    server.page(u"/variant.m3u8"_s, mpegurl,
                "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"file:///etc/passwd\"\n"
                "#EXT-X-MAP:URI=\"s1.ts\"\n#EXTINF:1,\ns2.ts\n#EXTINF:1,\n" +
                    far + "/s.ts\n");
    server.page(u"/live.m3u8"_s, mpegurl, live);
    server.page(u"/disguised.mp3"_s, "audio/mpeg",
                "\xEF\xBB\xBF \r\n#EXTM3U\r\n#EXTINF:1,\r\n" + far + "/d.ts\r\ns3.ts\r\n");
    server.page(u"/file.mp3"_s, "audio/mpeg", "0123456789");
    server.redirectLater(u"/file.mp3"_s, refusedHost.url(u"/live"_s));
    server.page(u"/file2.mp3"_s, "audio/mpeg", "0123456789");
    server.redirectLater(u"/file2.mp3"_s, u"file:///etc/passwd"_s);
    server.respond(u"/part.mp3"_s, "206 Partial Content",
                   "Content-Range: bytes 2-5/10\r\nContent-Length: 4\r\nAccept-Ranges: bytes\r\n"
                   "Set-Cookie: a=b\r\nLocation: file:///etc/passwd\r\n",
                   "2345");
    server.redirect(u"/moved.mp3"_s, u"/part.mp3"_s);
    server.redirect(u"/loop.mp3"_s, u"/loop.mp3"_s);
    server.raw(u"/endless"_s, "HTTP/1.0 200 OK\r\n", "X-Filler: " + QByteArray(500, 'h') + "\r\n");
    server.page(u"/huge.m3u8"_s, mpegurl, "#EXTM3U\n" + QByteArray(1024 * 1024, '#'));
    server.page(u"/packed.bin"_s, "application/octet-stream",
                zlibbed(indexOn(refusedHost.authority())));
    server.respond(u"/gzip.mp3"_s, "200 OK",
                   "Content-Type: audio/mpeg\r\nContent-Encoding: gzip\r\n",
                   gzipped(indexOn(refusedHost.authority())));
    server.page(u"/dash.mp3"_s, "audio/mpeg", "<MPD><BaseURL>" + far + "/</BaseURL></MPD>");
    server.page(u"/gone.m3u8"_s, mpegurl,
                "#EXTM3U\nhttp://127.0.0.1:" + QByteArray::number(closedPort()) + "/gone.ts\n");

    const std::vector<GatewayCase> cases{
        {.name = "master, variant and renditions",
         .path = u"/master.m3u8"_s,
         .refused = {u"/alt.m3u8"_s, u"file:///etc/passwd"_s, u"/s.ts"_s},
         .media = 2},
        {.name = "live index refreshed",
         .path = u"/live.m3u8"_s,
         .refused = {u"/s101.ts"_s},
         .media = 100,
         .refresh = live.replace("#EXTINF:1,\ns1.ts\n", "") + "#EXTINF:1,\n" + far + "/s101.ts\n"},
        {.name = "index that calls itself audio",
         .path = u"/disguised.mp3"_s,
         .refused = {u"/d.ts"_s},
         .media = 1},
        // libVLC would unpack these and fetch what they list: they are not passed on.
        {.name = "compressed index", .path = u"/packed.bin"_s, .status = 502},
        {.name = "compressed by its encoding", .path = u"/gzip.mp3"_s, .status = 502},
        {.name = "manifest libVLC fetches from itself",
         .path = u"/dash.mp3"_s,
         .status = 403,
         .refused = {server.url(u"/dash.mp3"_s)}},
        {.name = "second answer to a refused host",
         .path = u"/file.mp3"_s,
         .status = 403,
         .refused = {u"/live"_s},
         .looked = true},
        {.name = "second answer to a file",
         .path = u"/file2.mp3"_s,
         .status = 403,
         .refused = {u"file:///etc/passwd"_s},
         .looked = true},
        {.name = "range, after a redirect",
         .path = u"/moved.mp3"_s,
         .headers = "Range: bytes=2-5\r\n",
         .status = 206,
         .body = "2345",
         .media = 1},
        {.name = "head only", .path = u"/part.mp3"_s, .method = "HEAD", .status = 206, .media = 1},
        {.name = "unknown token", .path = {}, .status = 404},
        {.name = "not a GET", .path = u"/part.mp3"_s, .method = "POST", .status = 405},
        {.name = "request head too large",
         .path = u"/part.mp3"_s,
         .headers = "X-Filler: " + QByteArray(17 * 1024, 'f') + "\r\n",
         .status = 431},
        {.name = "request head that never ends",
         .path = u"/part.mp3"_s,
         .headers = "X-Slow: 1",
         .status = 408},
        {.name = "upstream head that never ends", .path = u"/endless"_s, .status = 502},
        {.name = "index over its cap", .path = u"/huge.m3u8"_s, .status = 502},
        {.name = "redirects without end", .path = u"/loop.mp3"_s, .status = 502},
        // Left to libVLC, which may skip it: no failure of the entry.
        {.name = "segment that cannot be had", .path = u"/gone.m3u8"_s},
    };
    static const QRegularExpression address(gateway->origin() + u"/[0-9a-f]{32}/\\S*"_s);
    static const QRegularExpression allowedHeader(
        u"^(HTTP/1.1 |Content-(Type|Length|Range): |Accept-Ranges: bytes|Connection: close)"_s);
    for (const GatewayCase& c : cases) {
        SCOPED_TRACE(c.name);
        refused.clear();
        failed.clear();
        if (c.looked) {
            fetch(server.url(c.path));
        }
        const QString published = c.path.isEmpty()
                                      ? gateway->origin() + u'/' + QString(32, u'a') + u"/x.mp3"_s
                                      : gateway->publish(server.url(c.path));
        QStringList queue{published};
        QSet<QString> seen;
        int media = 0;
        for (int round = 0; round < (c.refresh.isEmpty() ? 1 : 2); ++round) {
            if (round == 1) {
                server.page(c.path, "application/vnd.apple.mpegurl", c.refresh);
                queue = {published};
            }
            while (!queue.isEmpty()) {
                const QString url = queue.takeFirst();
                const Answer answer = fetch(url, c.method, c.headers);
                for (const QByteArray& line : answer.head.split('\n')) {
                    EXPECT_TRUE(allowedHeader.match(QString::fromLatin1(line)).hasMatch())
                        << line.toStdString();
                }
                if (url == published) {
                    EXPECT_EQ(answer.status, c.status);
                }
                if (!answer.head.contains("mpegurl\r\n")) {
                    media += answer.status / 100 == 2 ? 1 : 0;
                    EXPECT_TRUE(url != published || c.body.isEmpty() || answer.body == c.body);
                    continue;
                }
                for (const QRegularExpressionMatch& m :
                     address.globalMatch(QString::fromUtf8(answer.body))) {
                    if (!seen.contains(m.captured())) {
                        seen.insert(m.captured());
                        queue.append(m.captured());
                    }
                }
                const QByteArray stripped = QString::fromUtf8(answer.body).remove(address).toUtf8();
                EXPECT_FALSE(stripped.contains("://")) << "an address not of the gateway";
            }
        }
        EXPECT_EQ(media, c.media);
        EXPECT_TRUE(waitUntil([&] { return refused.size() >= c.refused.size(); }, 5s));
        QStringList expected;
        for (const QString& target : c.refused) {
            expected.append(target.startsWith(u'/') ? refusedHost.url(target) : target);
        }
        std::sort(refused.begin(), refused.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(refused, expected);
        EXPECT_EQ(refusedHost.connections(), 0);
        EXPECT_TRUE(waitUntil([&] { return failed.isEmpty() != (c.status == 502); }, 5s));
    }
    EXPECT_TRUE(std::any_of(server.heads.cbegin(), server.heads.cend(), [](const QByteArray& head) {
        return head.contains("\r\nRange: bytes=2-5");
    })) << "the range was not passed on";
    // Connections of another local program that ask for nothing hold no slot: the oldest make
    // room for newer ones and all are closed within a moment, while the player is served.
    const auto connectAll = [&](std::size_t count, const QByteArray& request) {
        std::vector<std::unique_ptr<QTcpSocket>> sockets(count);
        for (auto& socket : sockets) {
            socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost,
                                  static_cast<quint16>(QUrl(gateway->origin()).port()));
            socket->write(request);
        }
        return sockets;
    };
    const auto idle = connectAll(24, {});
    EXPECT_EQ(fetch(gateway->publish(server.url(u"/part.mp3"_s))).status, 206);
    EXPECT_TRUE(waitUntil(
        [&] {
            return std::all_of(idle.cbegin(), idle.cend(), [](const auto& socket) {
                return socket->state() == QAbstractSocket::UnconnectedState;
            });
        },
        5s));
    // More requests at once than libVLC ever makes are turned away, and said to be the
    // player's own limit, not the station's fault.
    failed.clear();
    const QByteArray endless = "GET " +
                               QUrl(gateway->publish(server.url(u"/endless"_s))).path().toUtf8() +
                               " HTTP/1.1\r\n\r\n";
    const auto busy = connectAll(8, endless);
    EXPECT_TRUE(waitUntil([&] { return server.requests.count(u"/endless"_s) >= 9; }, 5s));
    EXPECT_EQ(fetch(gateway->publish(server.url(u"/part.mp3"_s))).status, 503);
    EXPECT_TRUE(waitUntil([&] { return !failed.isEmpty(); }, 5s));
    EXPECT_EQ(failed.value(0), u"the player's media gateway is busy"_s);
    thread.quit();
    thread.wait();
}

// Sources libVLC opens itself are handed to it at an address the rules allow, in place of the
// name; a name that stands for a refused address is refused, whatever else it stands for.
TEST(HostileServerTest, StreamSchemesLibVlcOpensGetACheckedAddress) {
    // The URL, the refused address, and the URLs it may be handed over as (none: refused).
    const std::vector<std::tuple<QString, QString, QStringList>> cases{
        {u"rtsp://localhost:8554/a?b=c"_s,
         u"127.0.0.2"_s,
         {u"rtsp://127.0.0.1:8554/a?b=c"_s, u"rtsp://[::1]:8554/a?b=c"_s}},
        {u"mmsh://localhost/a"_s, u"127.0.0.1"_s, {}},
        {u"mms://[::1]/a"_s, u"127.0.0.2"_s, {u"mms://[::1]/a"_s}},
        {u"rtsp://127.0.0.2/a"_s, u"127.0.0.2"_s, {}},
    };
    for (const auto& [url, refusedAddress, pinned] : cases) {
        SCOPED_TRACE(url.toStdString());
        HostPinning pinning(SourceRules({refusedAddress}));
        std::optional<std::pair<QString, bool>> result;
        QObject::connect(&pinning, &HostPinning::done,
                         [&](quint64, const QString& handed, bool refused, const QString&) {
                             result = {handed, refused};
                         });
        pinning.pin(1, url, 5s);
        ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10s));
        EXPECT_EQ(result->second, pinned.isEmpty());
        EXPECT_TRUE(pinned.isEmpty() ? result->first.isEmpty() : pinned.contains(result->first))
            << result->first.toStdString();
    }
}

}  // namespace
}  // namespace lyrevane::testing
