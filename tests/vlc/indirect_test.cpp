// Playlists and redirects that lead to sources the rules refuse: libVLC never opens the
// file and never connects to the host, and the user gets one message.
#include "../support/hostiledata.h"
#include "../support/scriptedserver.h"
#include "early/proxyenvironment.h"
#include "enginefixture.h"

#include <QDir>
#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <tuple>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

// Counts the times a file is opened, by anyone.
class OpenWatch {
public:
    explicit OpenWatch(const QString& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) {
            watch_ = inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_OPEN);
        }
    }
    ~OpenWatch() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool isValid() const { return fd_ >= 0 && watch_ >= 0; }
    int opens() {
        std::array<char, 4096> buffer{};
        ssize_t length = 0;
        while ((length = ::read(fd_, buffer.data(), buffer.size())) > 0) {
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                if ((event->mask & IN_OPEN) != 0) {
                    ++opens_;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

private:
    int fd_ = -1;
    int watch_ = -1;
    int opens_ = 0;
};

QByteArray playlistBody(const QString& kind, const QString& target) {
    if (kind == u"pls"_s) {
        return "[playlist]\nNumberOfEntries=1\nFile1=" + target.toUtf8() + "\nVersion=2\n";
    }
    if (kind == u"asx"_s) {
        return "<asx version=\"3.0\"><entry><ref href=\"" + target.toHtmlEscaped().toUtf8() +
               "\"/></entry></asx>\n";
    }
    return "#EXTM3U\n#EXTINF:-1,Secret\n" + target.toUtf8() + "\n";
}

class IndirectSourceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // The refused host is one of the rules' own: the witness has its address under
        // lyrevane_hostile_strace, in a network namespace whose loopback carries it.
        if (SourceRules().allows(u"http://"_s + witnessAddress() + u"/"_s)) {
            GTEST_SKIP() << witnessAddress().toStdString() << " is not refused: this suite runs "
                         << "under lyrevane_hostile_strace";
        }
        ASSERT_TRUE(server.isListening());
        ASSERT_TRUE(refusedHost.isListening())
            << witnessAddress().toStdString() << " is not available";
        ASSERT_TRUE(sftpHost.isListening());
        ASSERT_TRUE(secretDir.isValid());
        QFile tone(QDir(media_->path()).filePath(u"tone.mp3"_s));
        ASSERT_TRUE(tone.open(QIODevice::ReadOnly));
        audio = tone.readAll();
        // A real recording: if libVLC ever opened it, it would play.
        secret = secretDir.filePath(u"secret.mp3"_s);
        ASSERT_TRUE(QFile::copy(tone.fileName(), secret));
        watch = std::make_unique<OpenWatch>(secret);
        ASSERT_TRUE(watch->isValid());
        {
            QFile probe(secret);
            ASSERT_TRUE(probe.open(QIODevice::ReadOnly));
        }
        ASSERT_EQ(watch->opens(), 1) << "the open watch does not see opens";
        baseline = 1;
        refusedHost.stream(u"/live"_s, "audio/mpeg", audio.left(16000));
        server.page(u"/tone.mp3"_s, "audio/mpeg", audio);
    }

    std::unique_ptr<VlcMediaEngine> engine() { return makeEngine(); }

    QStringList badTargets() const {
        return {QUrl::fromLocalFile(secret).toString(),
                u"sftp://"_s + sftpHost.authority() + u"/secret.mp3"_s,
                refusedHost.url(u"/live"_s)};
    }

    // Neither the file nor a refused host was touched, by the player or by libVLC.
    void expectUntouched() {
        QCoreApplication::processEvents();
        EXPECT_EQ(watch->opens(), baseline) << "the file was opened";
        EXPECT_EQ(refusedHost.connections(), 0) << "the refused host was contacted";
        EXPECT_EQ(sftpHost.connections(), 0) << "the sftp host was contacted";
    }

    ScriptedServer server;
    ScriptedServer refusedHost{QHostAddress(witnessAddress())};
    ScriptedServer sftpHost;
    QTemporaryDir secretDir;
    QString secret;
    QByteArray audio;
    std::unique_ptr<OpenWatch> watch;
    int baseline = 0;
};

TEST_F(IndirectSourceTest, EveryPlaylistKindAndRedirectToARefusedTargetEndsInOneMessage) {
    int index = 0;
    for (const QString& target : badTargets()) {
        struct Case {
            QString url;
            QString message;
        };
        std::vector<Case> cases;
        for (const QString& kind : {u"m3u"_s, u"pls"_s, u"asx"_s}) {
            const QString path = u"/list"_s + QString::number(++index) + u'.' + kind;
            server.page(path,
                        kind == u"pls"_s   ? "audio/x-scpls"
                        : kind == u"asx"_s ? "video/x-ms-asf"
                                           : "audio/x-mpegurl",
                        playlistBody(kind, target));
            cases.push_back({server.url(path), u"The playlist "_s + server.url(path) +
                                                   u" lists no source this player may open."_s});
        }
        // A playlist that says it is audio: libVLC reads it, and its entries are checked.
        const QString disguised = u"/disguised"_s + QString::number(++index) + u".m3u"_s;
        server.page(disguised, "audio/mpeg", playlistBody(u"m3u"_s, target));
        cases.push_back({server.url(disguised), u"The playlist "_s + server.url(disguised) +
                                                    u" lists no source this player may open."_s});
        const QString moved = u"/moved"_s + QString::number(++index);
        server.redirect(moved, target);
        cases.push_back({server.url(moved), u"Cannot open "_s + server.url(moved) +
                                                u": it redirects to "_s + target +
                                                u", which this player does not open."_s});

        for (const Case& source : cases) {
            SCOPED_TRACE(source.url.toStdString() + " -> " + target.toStdString());
            auto player = engine();
            SignalLog log(*player);
            player->setUrl(source.url);
            ASSERT_TRUE(waitUntil([&] { return player->errorCount() > 0; }, 15s));
            settle(200ms);
            EXPECT_EQ(player->errorCount(), 1);
            EXPECT_EQ(player->errorDescription(0), source.message);
            EXPECT_EQ(player->playState(), MediaEngine::Ready);
            EXPECT_EQ(log.count("play:3"), 0);
        }
    }
    expectUntouched();
}

TEST_F(IndirectSourceTest, RefusedEntriesAreSkippedAndTheRestPlays) {
    QStringList entries = badTargets();
    entries.append(server.url(u"/tone.mp3"_s));
    QByteArray body = "#EXTM3U\n";
    for (const QString& entry : entries) {
        body += entry.toUtf8() + "\n";
    }
    server.page(u"/mixed.m3u"_s, "audio/x-mpegurl", body);
    server.page(u"/disguised.m3u"_s, "audio/mpeg", body);
    for (const QString& path : {u"/mixed.m3u"_s, u"/disguised.m3u"_s}) {
        auto player = engine();
        player->setUrl(server.url(path));
        ASSERT_TRUE(waitUntil([&] { return player->playState() == MediaEngine::Playing; }, 10s))
            << path.toStdString();
        EXPECT_EQ(player->errorCount(), 0);
        player->stop();
    }
    expectUntouched();
}

// libVLC takes bytes for what they are: an index or compressed data that calls itself audio or
// anything, with a length or live, opened directly or from a one-entry playlist, never has
// libVLC fetch by itself. The host the index names hears nothing; the listener is told why.
TEST_F(IndirectSourceTest, IndexesAndCompressedDataNeverHaveLibVlcFetchByItself) {
    const QByteArray index = indexOn(refusedHost.authority());
    const QString refusal = u"this player"_s;
    const QString compressed = u"compressed data that is not audio"_s;
    const QByteArray octets = "Content-Type: application/octet-stream\r\n";
    const auto length = [](const QByteArray& body) {
        return "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    };
    const QByteArray bomb = gzipped(QByteArray(16 << 20, '\0'));  // inflates 1000 times
    const std::vector<std::tuple<QString, QByteArray, QByteArray, QString>> cases{
        {u"/hls_as_audio"_s, "Content-Type: audio/mpeg\r\n", index, refusal},
        {u"/hls_as_audio_file"_s, "Content-Type: audio/mpeg\r\n" + length(index), index, refusal},
        {u"/packed"_s, octets, zlibbed(index), compressed},
        {u"/packed_file"_s, octets + length(gzipped(index)), gzipped(index), compressed},
        {u"/gzip_bomb"_s, "Content-Type: audio/mpeg\r\nContent-Encoding: gzip\r\n", bomb,
         compressed},
    };
    for (const auto& [path, headers, body, said] : cases) {
        server.respond(path, "200 OK", headers, body);
        server.page(path + u".m3u"_s, "audio/x-mpegurl", server.url(path).toUtf8() + '\n');
        for (const QString& url : {server.url(path), server.url(path + u".m3u"_s)}) {
            SCOPED_TRACE(url.toStdString());
            auto player = engine();
            player->setUrl(url);
            ASSERT_TRUE(waitUntil([&] { return player->errorCount() > 0; }, 15s));
            settle(300ms);
            EXPECT_TRUE(player->errorDescription(0).contains(said))
                << player->errorDescription(0).toStdString();
            EXPECT_NE(player->playState(), MediaEngine::Playing);
            EXPECT_EQ(refusedHost.connections(), 0) << "the host the index names was contacted";
        }
    }
}

TEST_F(IndirectSourceTest, PlaylistThatListsItselfEndsInOneMessage) {
    server.page(u"/again.m3u"_s, "audio/x-mpegurl", "again.m3u\n");
    auto player = engine();
    player->setUrl(server.url(u"/again.m3u"_s));
    ASSERT_TRUE(waitUntil([&] { return player->errorCount() > 0; }, 15s));
    settle(300ms);
    EXPECT_EQ(player->errorCount(), 1);
    EXPECT_EQ(player->playState(), MediaEngine::Ready);
    EXPECT_LE(server.requests.size(), 20) << "a bounded number of looks";
}

// A server can answer the player's look differently from libVLC's connection. The
// redirect then shows only inside libVLC, which is watched too: the entry ends with the
// same message instead of playing what it was sent to.
TEST_F(IndirectSourceTest, RedirectShownOnlyToLibVlcStillEndsTheEntry) {
    server.page(u"/twofaced.mp3"_s, "audio/mpeg", audio);
    server.redirectLater(u"/twofaced.mp3"_s, refusedHost.url(u"/live"_s));
    auto player = engine();
    player->setUrl(server.url(u"/twofaced.mp3"_s));
    ASSERT_TRUE(waitUntil([&] { return player->errorCount() > 0; }, 15s));
    settle(300ms);
    EXPECT_EQ(player->errorCount(), 1);
    EXPECT_EQ(player->errorDescription(0),
              u"Cannot open "_s + server.url(u"/twofaced.mp3"_s) + u": it redirects to "_s +
                  refusedHost.url(u"/live"_s) + u", which this player does not open."_s);
    EXPECT_NE(player->playState(), MediaEngine::Playing);
    EXPECT_EQ(server.requests.count(u"/twofaced.mp3"_s), 2);
}

// A file of a known length is read by libVLC through the gateway: every request the server
// hears is one the player wrote (libVLC's carry its name, passed on, and nothing else of
// libVLC's), and the listener sees the real address, however the path ends.
TEST_F(IndirectSourceTest, FileOfAKnownLengthPlaysThroughTheGatewayUnderItsRealAddress) {
    for (const QString& path : {u"/tone.mp3"_s, u"/stream/?id=7"_s}) {
        SCOPED_TRACE(path.toStdString());
        server.page(path, "audio/mpeg", audio);
        const qsizetype before = server.heads.size();
        auto player = engine();
        player->setUrl(server.url(path));
        ASSERT_TRUE(waitUntil([&] { return player->playState() == MediaEngine::Playing; }, 10s));
        settle(300ms);
        EXPECT_EQ(player->url(), server.url(path));
        EXPECT_EQ(player->stationName(), QString());
        EXPECT_EQ(player->errorCount(), 0);
        int libVlcRequests = 0;
        for (const QByteArray& head : server.heads.mid(before)) {
            if (!head.contains("LibVLC")) {
                continue;  // the player's look
            }
            ++libVlcRequests;
            for (const QByteArray& line : head.split('\n').mid(1)) {
                const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
                EXPECT_TRUE(name == "host" || name == "user-agent" || name == "accept" ||
                            name == "range")
                    << head.toStdString();
            }
        }
        EXPECT_GE(libVlcRequests, 1);
        player->stop();
    }
    expectUntouched();
}

// Behind a proxy the player's own requests go through it; libVLC's, to the gateway on loopback,
// never do (libVLC reads http_proxy itself, and no no_proxy).
TEST_F(IndirectSourceTest, LibVlcNeverSendsItsRequestsForTheGatewayToAProxy) {
    ScriptedServer proxy;
    const QString url = server.url(u"/tone.mp3"_s);
    proxy.page(url, "audio/mpeg", audio);
    qputenv("http_proxy", proxy.url({}).toUtf8());
    proxyenvironment::moveFromMediaLibrary();
    auto player = engine();
    player->setUrl(url);
    const bool played = waitUntil([&] { return player->playState() == MediaEngine::Playing; }, 10s);
    player->stop();
    for (const char* name : {"http_proxy", "HTTP_PROXY", proxyenvironment::kMovedHttpProxy}) {
        qunsetenv(name);
    }
    EXPECT_TRUE(played);
    EXPECT_FALSE(proxy.requests.isEmpty()) << "the player's own requests went around the proxy";
    EXPECT_EQ(proxy.requests.size(), proxy.requests.count(url)) << "libVLC asked the proxy";
}

// An HLS stream plays through the gateway, segment by segment. A server that shows libVLC
// another index than the player's look, one with a segment on a refused host, ends the entry
// with the refusal when libVLC comes to that segment; the host hears nothing.
TEST_F(IndirectSourceTest, HlsStreamPlaysThroughTheGatewayUntilASegmentIsRefused) {
    QTemporaryDir hls;
    ASSERT_TRUE(
        runProgram(u"ffmpeg"_s, {u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s,
                                 u"-i"_s, u"sine=duration=4"_s, u"-f"_s, u"hls"_s, u"-hls_time"_s,
                                 u"1"_s, hls.filePath(u"index.m3u8"_s)}));
    QFile file(hls.filePath(u"index.m3u8"_s));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray index = file.readAll();
    for (const QString& name : QDir(hls.path()).entryList({u"*.ts"_s})) {
        QFile segment(hls.filePath(name));
        ASSERT_TRUE(segment.open(QIODevice::ReadOnly));
        server.page(u'/' + name, "video/mp2t", segment.readAll());
    }
    const QByteArray mpegurl = "application/vnd.apple.mpegurl";
    server.page(u"/plain.m3u8"_s, mpegurl, index);
    server.page(u"/twofaced.m3u8"_s, mpegurl, index);
    server.redirectLater(u"/twofaced.m3u8"_s, server.url(u"/refusing.m3u8"_s));
    server.page(u"/refusing.m3u8"_s, mpegurl,
                QByteArray(index).replace(
                    "#EXT-X-ENDLIST",
                    "#EXTINF:1,\n" + refusedHost.url(u"/live"_s).toUtf8() + "\n#EXT-X-ENDLIST"));
    for (const QString& path : {u"/plain.m3u8"_s, u"/twofaced.m3u8"_s}) {
        SCOPED_TRACE(path.toStdString());
        auto player = engine();
        player->setUrl(server.url(path));
        if (path == u"/plain.m3u8"_s) {
            ASSERT_TRUE(
                waitUntil([&] { return player->playState() == MediaEngine::Playing; }, 10s));
            EXPECT_EQ(player->errorCount(), 0);
        } else {
            ASSERT_TRUE(waitUntil([&] { return player->errorCount() > 0; }, 15s));
            EXPECT_EQ(player->errorDescription(0),
                      u"Cannot open "_s + server.url(path) + u": it redirects to "_s +
                          refusedHost.url(u"/live"_s) + u", which this player does not open."_s);
        }
        EXPECT_TRUE(server.requests.contains(u"/index1.ts"_s));
        player->stop();
    }
    expectUntouched();
}

}  // namespace
}  // namespace lyrevane::testing
