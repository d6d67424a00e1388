// The stream feed against local servers: what a listener's player reads from live streams,
// files, errors and slow readers.
#include "net/streamfeed.h"
#include "../support/scriptedserver.h"
#include "../support/waituntil.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane::testing {
namespace {

constexpr int kMetaint = 64;

// One metaint's worth of audio and a metadata slot, repeated by the server.
QByteArray icyChunk(char fill, const QByteArray& title) {
    QByteArray chunk(kMetaint, fill);
    if (title.isEmpty()) {
        return chunk + '\0';
    }
    QByteArray text = "StreamTitle='" + title + "';StreamUrl='';";
    text.resize(((text.size() + 15) / 16) * 16, '\0');
    return chunk + char(text.size() / 16) + text;
}

// Records what a feed reports, and reads its buffer without blocking.
class FeedProbe {
public:
    explicit FeedProbe(StreamFeed& feed) {
        QObject::connect(&feed, &StreamFeed::started, [this](quint64 ticket, const QString& s) {
            tickets.append(ticket);
            station = s;
            ++starts;
        });
        QObject::connect(&feed, &StreamFeed::titleChanged,
                         [this](quint64, const QString& title) { titles.append(title); });
        QObject::connect(&feed, &StreamFeed::failed,
                         [this](quint64, const QString& line) { failure = line; });
        QObject::connect(&feed, &StreamFeed::resolved,
                         [this](quint64, const SourceResolution& result) { resolution = result; });
        QObject::connect(&feed, &StreamFeed::ended, [this](quint64, const QString& line) {
            ended = true;
            endLine = line;
        });
    }
    // What can be read now without waiting.
    QByteArray drain(FeedBuffer& buffer) {
        QByteArray out;
        while (buffer.buffered() > 0 && buffer.readable()) {
            char chunk[4096];
            out.append(chunk, static_cast<qsizetype>(buffer.read(chunk, sizeof chunk)));
        }
        return out;
    }

    QList<quint64> tickets;
    QString station;
    int starts = 0;
    QStringList titles;
    QString failure;
    std::optional<SourceResolution> resolution;
    bool ended = false;
    QString endLine;
};

class StreamFeedTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.isListening()); }

    std::shared_ptr<FeedBuffer> open(const QString& path, std::size_t capacity = 1024 * 1024) {
        auto buffer = std::make_shared<FeedBuffer>(capacity);
        buffer->setOnRoom(
            [this] { QMetaObject::invokeMethod(&feed_, &StreamFeed::pump, Qt::QueuedConnection); });
        feed_.open(++ticket_, server_.url(path), buffer);
        return buffer;
    }

    ScriptedServer server_;
    StreamFeed feed_{SourceResolverOptions{}};
    FeedProbe probe_{feed_};
    quint64 ticket_ = 0;
};

// Titles in Latin-1 and in UTF-8 both show; a repeated title is reported once; the audio
// reaches the buffer without the metadata.
TEST_F(StreamFeedTest, TitlesInEitherEncodingAndAudioWithoutMetadata) {
    server_.stream(u"/latin1"_s, "application/octet-stream",
                   icyChunk('a', "Caf\xe9 Soci\xe9t\xe9").repeated(200),
                   "icy-name: Quillmoor M\xe4rkte\r\nicy-metaint: 64\r\n");
    auto buffer = open(u"/latin1"_s);
    ASSERT_TRUE(waitUntil([&] { return !probe_.titles.isEmpty(); }, 10s));
    EXPECT_EQ(probe_.station, u"Quillmoor Märkte"_s);
    EXPECT_EQ(probe_.titles.front(), u"Café Société"_s);
    ASSERT_TRUE(waitUntil([&] { return buffer->readable(); }, 10s));
    EXPECT_EQ(probe_.titles.size(), 1) << "the same title again is no change";
    const QByteArray audio = probe_.drain(*buffer);
    EXPECT_EQ(audio.count('a'), audio.size()) << "only audio bytes reach libVLC";
    EXPECT_EQ(audio.size() % kMetaint, 0);

    server_.stream(u"/utf8"_s, "audio/ogg",
                   icyChunk('b', "Z\xc3\xbcrich \xe2\x80\x93 Open").repeated(200),
                   "icy-metaint: 64\r\n");
    open(u"/utf8"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.titles.size() == 2; }, 10s));
    EXPECT_EQ(probe_.titles.back(), u"Zürich – Open"_s);
    EXPECT_EQ(probe_.station, QString()) << "no icy-name, no station";
    EXPECT_EQ(probe_.tickets, (QList<quint64>{1, 2}));
}

TEST_F(StreamFeedTest, HttpAndConnectionFailuresAreReportedInTheEnginesWords) {
    server_.respond(u"/gone"_s, "410 Gone", "Content-Length: 0\r\n", {});
    open(u"/gone"_s);
    ASSERT_TRUE(waitUntil([&] { return !probe_.failure.isEmpty(); }, 10s));
    EXPECT_EQ(probe_.failure, u"HTTP/1.1 410 Gone"_s);

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    probe_.failure.clear();
    auto buffer = std::make_shared<FeedBuffer>();
    feed_.open(++ticket_, u"http://127.0.0.1:"_s + QString::number(port) + u"/live"_s, buffer);
    ASSERT_TRUE(waitUntil([&] { return !probe_.failure.isEmpty(); }, 10s));
    EXPECT_EQ(probe_.failure, u"connection failed: Connection refused"_s);
    EXPECT_EQ(probe_.starts, 0);
}

// A file of known length is handed back, to be opened by URL; so is a playlist's verdict.
TEST_F(StreamFeedTest, FilesAndPlaylistsAreNotFed) {
    server_.page(u"/short.mp3"_s, "audio/mpeg", QByteArray(2000, 'x'));
    open(u"/short.mp3"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.resolution.has_value(); }, 10s));
    EXPECT_EQ(probe_.resolution->kind, SourceResolution::Kind::Media);
    EXPECT_EQ(probe_.resolution->url, server_.url(u"/short.mp3"_s));
    EXPECT_EQ(probe_.resolution->stream, nullptr);
    EXPECT_EQ(probe_.starts, 0);

    probe_.resolution.reset();
    server_.page(u"/list.m3u"_s, "audio/x-mpegurl", "#EXTM3U\nhttp://127.0.0.1:1/a.mp3\n");
    open(u"/list.m3u"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.resolution.has_value(); }, 10s));
    EXPECT_EQ(probe_.resolution->kind, SourceResolution::Kind::Playlist);
}

// A stream the server ends: the buffer keeps what came, then ends; MPEG audio starts at its
// first whole frame.
TEST_F(StreamFeedTest, EndedStreamDrainsFromItsFirstFrame) {
    QByteArray frame("\xFF\xFB\x90\x64", 4);
    frame.resize(417, '\x11');
    const QByteArray body = QByteArray(100, '\xAA') + frame + frame + frame;
    server_.respond(u"/ending"_s, "200 OK", "Content-Type: audio/mpeg\r\n", body);
    auto buffer = open(u"/ending"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.ended; }, 10s));
    EXPECT_EQ(probe_.endLine, QString());
    EXPECT_EQ(probe_.drain(*buffer), frame + frame + frame);
    char out[8];
    EXPECT_EQ(buffer->read(out, sizeof out), 0u);
}

// A reader that stops reading holds the network back: the buffer never overflows, and the
// stream goes on once it reads again.
TEST_F(StreamFeedTest, SlowReaderHoldsTheNetworkBack) {
    server_.stream(u"/fast"_s, "application/octet-stream", QByteArray(32 * 1024, 'f'));
    auto buffer = open(u"/fast"_s, 8 * 1024);
    ASSERT_TRUE(waitUntil([&] { return buffer->room() == 0; }, 10s));
    QCoreApplication::processEvents();
    EXPECT_LE(buffer->buffered(), 8u * 1024);
    qsizetype total = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            total += probe_.drain(*buffer).size();
            return total > 512 * 1024;
        },
        20s));
    EXPECT_FALSE(probe_.ended);
}

TEST_F(StreamFeedTest, CloseAbandonsTheStream) {
    server_.stream(u"/live"_s, "audio/aac", QByteArray(1024, 'l'), "icy-metaint: 512\r\n");
    auto buffer = open(u"/live"_s);
    ASSERT_TRUE(waitUntil([&] { return buffer->buffered() > 0; }, 10s));
    feed_.close();
    const std::size_t held = buffer->buffered();
    EXPECT_TRUE(waitUntil([&] { return server_.connections() == 1; }, 1s));
    QCoreApplication::processEvents();
    EXPECT_EQ(buffer->buffered(), held) << "nothing more arrives after close";
    EXPECT_FALSE(probe_.ended);
}

// --- The connection opened before the toolkit ---------------------------------------------

TEST(EarlyConnectionTest, AsksEarlyForHttpAndHttpsOnly) {
    EXPECT_TRUE(EarlyConnection::handles(u"http://radio.example:8000/live.mp3?s=1"_s));
    EXPECT_TRUE(EarlyConnection::handles(u"https://radio.example/live"_s));
    EXPECT_FALSE(EarlyConnection::handles(u"http://user:pw@radio.example/live"_s));
    EXPECT_FALSE(EarlyConnection::handles(u"mms://radio.example/live"_s));
    EXPECT_FALSE(EarlyConnection::handles(u"not a url"_s));
    EXPECT_FALSE(EarlyConnection::handles(u"http://radio.example/a\r\nX-Evil: 1"_s));
}

class EarlyFeedTest : public StreamFeedTest {
protected:
    std::shared_ptr<FeedBuffer> openEarly(const QString& path) {
        feed_.setEarlyConnection(std::make_shared<EarlyConnection>(server_.url(path)));
        return open(path);
    }
};

// The stream is read on the connection opened early: one connection, titles and all.
TEST_F(EarlyFeedTest, LiveStreamIsReadOnTheEarlyConnection) {
    server_.stream(u"/early"_s, "audio/aacp", icyChunk('e', "Opening bell").repeated(200),
                   "icy-name: Quillmoor\r\nicy-metaint: 64\r\n");
    auto buffer = openEarly(u"/early"_s);
    ASSERT_TRUE(waitUntil([&] { return !probe_.titles.isEmpty(); }, 10s));
    EXPECT_EQ(probe_.station, u"Quillmoor"_s);
    EXPECT_EQ(probe_.titles.front(), u"Opening bell"_s);
    ASSERT_TRUE(waitUntil([&] { return buffer->readable(); }, 10s));
    const QByteArray audio = probe_.drain(*buffer);
    EXPECT_EQ(audio.count('e'), audio.size());
    EXPECT_EQ(server_.connections(), 1);
}

// Anything but a live stream is asked again the usual way, which knows what to do with it.
TEST_F(EarlyFeedTest, OtherAnswersGoThroughTheResolver) {
    server_.page(u"/file.mp3"_s, "audio/mpeg", QByteArray(1000, 'f'));
    openEarly(u"/file.mp3"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.resolution.has_value(); }, 10s));
    EXPECT_EQ(probe_.resolution->kind, SourceResolution::Kind::Media);
    EXPECT_EQ(server_.requests, QStringList({u"/file.mp3"_s, u"/file.mp3"_s}));

    openEarly(u"/missing"_s);
    ASSERT_TRUE(waitUntil([&] { return !probe_.failure.isEmpty(); }, 10s));
    EXPECT_EQ(probe_.failure, u"HTTP/1.1 404 Not Found"_s);

    server_.redirect(u"/moved"_s, server_.url(u"/list.pls"_s));
    server_.page(u"/list.pls"_s, "audio/x-scpls", "[playlist]\nFile1=http://127.0.0.1:1/a\n");
    probe_.resolution.reset();
    openEarly(u"/moved"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.resolution.has_value(); }, 10s));
    EXPECT_EQ(probe_.resolution->kind, SourceResolution::Kind::Playlist);
    EXPECT_EQ(probe_.starts, 0);
}

// A stream that ends at once, or that is slower than it declared, still arrives whole.
TEST_F(EarlyFeedTest, EarlyAnswerLosesNothingOfAShortOrSlowStream) {
    server_.respond(u"/short"_s, "200 OK", "Content-Type: audio/aacp\r\nicy-br: 128\r\n",
                    QByteArray(100, 's'));
    auto buffer = openEarly(u"/short"_s);
    ASSERT_TRUE(waitUntil([&] { return probe_.ended; }, 10s));
    EXPECT_EQ(probe_.drain(*buffer), QByteArray(100, 's'));
    EXPECT_EQ(server_.connections(), 1);

    // Ten bytes every 50 ms from a stream that claims 2000 kbit/s.
    server_.stream(u"/slow"_s, "audio/aacp", QByteArray(10, 'w'), "icy-br: 2000\r\n");
    buffer = openEarly(u"/slow"_s);
    // Far short of its cushion, so nothing is read: what arrived is what is buffered.
    EXPECT_TRUE(waitUntil([&] { return buffer->buffered() >= 200; }, 20s));
}

TEST_F(EarlyFeedTest, EarlyConnectionServesOnlyItsOwnUrlAndOnlyOnce) {
    server_.stream(u"/a"_s, "audio/ogg", QByteArray(32 * 1024, 'a'));
    server_.stream(u"/b"_s, "audio/ogg", QByteArray(32 * 1024, 'b'));
    feed_.setEarlyConnection(std::make_shared<EarlyConnection>(server_.url(u"/a"_s)));
    ASSERT_TRUE(waitUntil([&] { return server_.requests.contains(u"/a"_s); }, 5s));
    auto buffer = open(u"/b"_s);
    ASSERT_TRUE(waitUntil([&] { return buffer->readable(); }, 10s));
    const QByteArray got = probe_.drain(*buffer);
    EXPECT_EQ(got.count('b'), got.size());
    EXPECT_TRUE(waitUntil([&] { return server_.requests.contains(u"/b"_s); }, 5s));
    // Given up once the feed opened something else: a later open of /a connects anew.
    buffer = open(u"/a"_s);
    ASSERT_TRUE(waitUntil([&] { return buffer->buffered() > 0; }, 10s));
    EXPECT_EQ(server_.requests.count(u"/a"_s), 2);
}

TEST_F(EarlyFeedTest, RefusedEarlyConnectionFallsBackAndReportsWhy) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString url = u"http://127.0.0.1:"_s + QString::number(closed.serverPort()) + u"/x"_s;
    closed.close();
    feed_.setEarlyConnection(std::make_shared<EarlyConnection>(url));
    feed_.open(++ticket_, url, std::make_shared<FeedBuffer>());
    ASSERT_TRUE(waitUntil([&] { return !probe_.failure.isEmpty(); }, 10s));
    EXPECT_EQ(probe_.failure, u"connection failed: Connection refused"_s);
}

}  // namespace
}  // namespace lyrevane::testing
