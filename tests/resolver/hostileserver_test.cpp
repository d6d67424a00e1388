// The stream feed against servers that answer oddly or with ill intent: old radio heads,
// heads that never end, redirects and names that lead to refused addresses, a proxy.
#include "scriptedserver.h"
#include "streamfeed.h"
#include "waituntil.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

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
    QStringList refused = {u"127.0.0.2"_s};
    bool viaProxy = false;
};

TEST(HostileServerTest, EveryAnswerEndsAsAPlayerWould) {
    ScriptedServer server;
    ScriptedServer refusedHost{QHostAddress(u"127.0.0.2"_s)};
    ScriptedServer proxy;
    ASSERT_TRUE(server.isListening() && refusedHost.isListening() && proxy.isListening());
    refusedHost.stream(u"/live"_s, "audio/aacp", QByteArray(512, 'x'));
    const QByteArray audio(512, 'a');
    const QString tooLarge = u"connection failed: the server's answer is too large"_s;
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
        {"through a proxy",
         "HTTP/1.0 200 OK\r\nContent-Type: audio/aacp\r\nicy-name: Proxied\r\n\r\n",
         audio,
         Outcome::Plays,
         u"Proxied"_s,
         u"127.0.0.1"_s,
         {u"127.0.0.2"_s},
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
        QObject::connect(&feed, &StreamFeed::resolved,
                         [&](quint64, const SourceResolution& r) { resolution = r; });
        const int before = server.connections();
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
            EXPECT_EQ(proxy.requests, QStringList{url});
            EXPECT_EQ(server.connections(), before);
        }
        // Whatever happened, the connection ends with the feed: the server sees it close.
        feed.close();
        EXPECT_TRUE(waitUntil([&] { return answering.streaming() == 0; }, 5s));
    }
}

}  // namespace
}  // namespace lyrevane::testing
