// The resolver against local servers: redirects and playlists to sources the rules refuse,
// nested playlists, loops, streams, caps and deadlines.
#include "net/sourceresolver.h"
#include "../support/scriptedserver.h"
#include "../support/waituntil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace lyrevane::testing {
namespace {

using Kind = SourceResolution::Kind;

QByteArray m3u(const QStringList& entries) {
    QByteArray body = "#EXTM3U\n";
    for (const QString& entry : entries) {
        body += "#EXTINF:-1,Entry\n" + entry.toUtf8() + "\n";
    }
    return body;
}

QByteArray pls(const QStringList& entries) {
    QByteArray body = "[playlist]\nNumberOfEntries=" + QByteArray::number(entries.size()) + "\n";
    for (qsizetype i = 0; i < entries.size(); ++i) {
        body += "File" + QByteArray::number(i + 1) + "=" + entries[i].toUtf8() + "\n";
    }
    return body + "Version=2\n";
}

QByteArray asx(const QStringList& entries) {
    QByteArray body = "<asx version=\"3.0\">\n";
    for (const QString& entry : entries) {
        body += "<entry><ref href=\"" + entry.toHtmlEscaped().toUtf8() + "\"/></entry>\n";
    }
    return body + "</asx>\n";
}

class SourceResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.isListening());
        ASSERT_TRUE(refusedHost_.isListening()) << "127.0.0.2 is not available";
        ASSERT_TRUE(sftpHost_.isListening());
        ASSERT_TRUE(files_.isValid());
        secret_ = files_.filePath(u"secret.mp3"_s);
        QFile file(secret_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("ID3 secret");
        refusedHost_.stream(u"/live"_s, "audio/mpeg", QByteArray(4096, 'x'));
        server_.stream(u"/live.mp3"_s, "audio/mpeg", QByteArray(4096, 'x'));
    }

    SourceResolution run(SourceResolver& resolver, const QString& url) {
        std::optional<SourceResolution> result;
        auto connection = QObject::connect(&resolver, &SourceResolver::finished,
                                           [&](const SourceResolution& r) { result = r; });
        resolver.resolve(url);
        EXPECT_FALSE(result.has_value()) << "finished from inside resolve()";
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 20s));
        QObject::disconnect(connection);
        return result.value_or(SourceResolution{});
    }
    SourceResolution run(const QString& url) {
        SourceResolver resolver(options());
        return run(resolver, url);
    }
    SourceResolverOptions options() const {
        SourceResolverOptions options;
        options.rules = SourceRules({u"127.0.0.2"_s});
        return options;
    }

    // The sources the rules refuse, each on a server that records connections.
    QStringList badTargets() const {
        return {QUrl::fromLocalFile(secret_).toString(),
                u"sftp://"_s + sftpHost_.authority() + u"/secret.mp3"_s,
                refusedHost_.url(u"/live"_s)};
    }
    void expectNothingReached() {
        QCoreApplication::processEvents();
        EXPECT_EQ(refusedHost_.connections(), 0) << "a refused host was contacted";
        EXPECT_EQ(sftpHost_.connections(), 0) << "an sftp target was contacted";
    }

    ScriptedServer server_;
    ScriptedServer refusedHost_{QHostAddress(u"127.0.0.2"_s)};
    ScriptedServer sftpHost_;
    QTemporaryDir files_;
    QString secret_;
};

// Every kind of indirect source that leads to a refused target ends without touching it,
// with one message that names the source the user asked for.
TEST_F(SourceResolverTest, IndirectSourcesNeverReachARefusedTarget) {
    struct Case {
        QString path;
        QByteArray contentType;
        QByteArray (*body)(const QStringList&);
    };
    const std::vector<Case> kinds{
        {u"/list.m3u"_s, "audio/x-mpegurl", m3u},
        {u"/list.pls"_s, "audio/x-scpls", pls},
        // Many servers label ASX as ASF: recognised by its first bytes.
        {u"/list.asx"_s, "video/x-ms-asf", asx},
        // No helpful label or extension at all.
        {u"/list"_s, "text/plain", m3u},
    };
    int index = 0;
    for (const QString& target : badTargets()) {
        for (const Case& kind : kinds) {
            const QString path = kind.path + u"?case="_s + QString::number(++index);
            server_.page(path, kind.contentType, kind.body({target}));
            const SourceResolution result = run(server_.url(path));
            SCOPED_TRACE(path.toStdString() + " -> " + target.toStdString());
            EXPECT_EQ(result.kind, Kind::Failed);
            EXPECT_EQ(result.message, u"The playlist "_s + server_.url(path) +
                                          u" lists no source this player may open."_s);
            EXPECT_EQ(result.refused, QStringList{target});
        }
        for (const int status : {301, 302, 303, 307, 308}) {
            const QString path = u"/moved"_s + QString::number(++index);
            server_.redirect(path, target, status);
            const SourceResolution result = run(server_.url(path));
            SCOPED_TRACE(path.toStdString() + " -> " + target.toStdString());
            EXPECT_EQ(result.kind, Kind::Failed);
            EXPECT_EQ(result.message, u"Cannot open "_s + server_.url(path) +
                                          u": it redirects to "_s + target +
                                          u", which this player does not open."_s);
        }
    }
    expectNothingReached();
}

TEST_F(SourceResolverTest, PlaylistKeepsOnlyTheAllowedEntriesInOrder) {
    const QString good1 = server_.url(u"/live.mp3"_s);
    const QString good2 = u"mms://stream.example/live"_s;
    QStringList listed = badTargets();
    listed.insert(1, good1);
    listed.append(good2);
    server_.page(u"/mixed.pls"_s, "audio/x-scpls", pls(listed));
    const SourceResolution result = run(server_.url(u"/mixed.pls"_s));
    EXPECT_EQ(result.kind, Kind::Playlist);
    EXPECT_EQ(result.entries, QStringList({good1, good2}));
    EXPECT_EQ(result.refused, badTargets());
    expectNothingReached();
}

TEST_F(SourceResolverTest, RelativeEntriesAndRedirectsResolveAgainstWhereTheyCameFrom) {
    server_.redirect(u"/old/radio.m3u"_s, u"/new/radio.m3u"_s);
    server_.page(u"/new/radio.m3u"_s, "audio/x-mpegurl",
                 "stream.mp3\n../live.mp3\n//127.0.0.2/x\nC:\\music\\a.mp3\n");
    const SourceResolution result = run(server_.url(u"/old/radio.m3u"_s));
    EXPECT_EQ(result.kind, Kind::Playlist);
    EXPECT_EQ(result.url, server_.url(u"/new/radio.m3u"_s));
    EXPECT_EQ(result.entries,
              QStringList({server_.url(u"/new/stream.mp3"_s), server_.url(u"/live.mp3"_s)}));
    EXPECT_EQ(result.refused.size(), 2);
}

// Each level of nesting is one resolution; an inner playlist is checked like the outer.
TEST_F(SourceResolverTest, NestedPlaylistsAreCheckedAtEveryLevel) {
    const QString inner = server_.url(u"/inner.asx"_s);
    server_.page(u"/outer.m3u"_s, "audio/x-mpegurl", m3u({inner}));
    server_.redirect(u"/inner.asx"_s, u"/real/inner.asx"_s);
    server_.page(u"/real/inner.asx"_s, "video/x-ms-asx", asx(badTargets()));

    SourceResolver resolver(options());
    const SourceResolution outer = run(resolver, server_.url(u"/outer.m3u"_s));
    ASSERT_EQ(outer.kind, Kind::Playlist);
    ASSERT_EQ(outer.entries, QStringList{inner});
    const SourceResolution second = run(resolver, outer.entries.front());
    EXPECT_EQ(second.kind, Kind::Failed);
    EXPECT_EQ(second.refused, badTargets());
    expectNothingReached();
}

TEST_F(SourceResolverTest, RedirectLoopsAndLongChainsEnd) {
    server_.redirect(u"/a"_s, u"/b"_s);
    server_.redirect(u"/b"_s, server_.url(u"/a"_s));
    server_.redirect(u"/self"_s, u"/self"_s);
    for (int i = 0; i < 8; ++i) {
        server_.redirect(u"/hop"_s + QString::number(i), u"/hop"_s + QString::number(i + 1));
    }
    server_.redirect(u"/hop8"_s, u"/live.mp3"_s);

    EXPECT_EQ(run(server_.url(u"/a"_s)).message,
              u"Cannot open "_s + server_.url(u"/a"_s) + u": it redirects in a loop."_s);
    EXPECT_EQ(run(server_.url(u"/self"_s)).kind, Kind::Failed);
    const SourceResolution chain = run(server_.url(u"/hop0"_s));
    EXPECT_EQ(chain.kind, Kind::Failed);
    EXPECT_EQ(chain.message,
              u"Cannot open "_s + server_.url(u"/hop0"_s) + u": too many redirects."_s);
    EXPECT_FALSE(server_.requests.contains(u"/live.mp3"_s));
    // Five hops are allowed, as many as the engine itself would follow.
    const SourceResolution shorter = run(server_.url(u"/hop4"_s));
    EXPECT_EQ(shorter.kind, Kind::Media);
    EXPECT_EQ(shorter.url, server_.url(u"/live.mp3"_s));
}

TEST_F(SourceResolverTest, StreamsAreLeftAfterTheirHeaders) {
    server_.redirect(u"/tune-in"_s, u"/live.mp3"_s);
    const SourceResolution result = run(server_.url(u"/tune-in"_s));
    EXPECT_EQ(result.kind, Kind::Media);
    EXPECT_EQ(result.url, server_.url(u"/live.mp3"_s));
    EXPECT_TRUE(result.refused.isEmpty());

    // An unlabelled body that is no playlist is a stream too.
    server_.stream(u"/raw"_s, "application/octet-stream",
                   QByteArray("\xFF\xFB\x90\x00", 4).repeated(300));
    EXPECT_EQ(run(server_.url(u"/raw"_s)).kind, Kind::Media);
}

// Answers that are neither redirects nor playlists are the engine's to open and report.
TEST_F(SourceResolverTest, ErrorsAndOtherSchemesPassToTheEngine) {
    EXPECT_EQ(run(server_.url(u"/missing.mp3"_s)).kind, Kind::Media);
    QString closed;
    {
        QTcpServer gone;
        ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
        closed = u"http://127.0.0.1:"_s + QString::number(gone.serverPort()) + u"/x.mp3"_s;
    }
    const SourceResolution refused = run(closed);
    EXPECT_EQ(refused.kind, Kind::Media);
    EXPECT_EQ(refused.url, closed);
    EXPECT_EQ(run(u"rtsp://stream.example/live"_s).kind, Kind::Media);

    const SourceResolution file = run(QUrl::fromLocalFile(secret_).toString());
    EXPECT_EQ(file.kind, Kind::Failed);
    EXPECT_TRUE(file.message.endsWith(u": this player does not open such sources."_s));
}

TEST_F(SourceResolverTest, PlaylistsAreCappedInSizeAndTime) {
    // A playlist that never ends.
    server_.stream(u"/endless.m3u"_s, "audio/x-mpegurl",
                   QByteArray("http://127.0.0.1/x.mp3\n").repeated(2000));
    const SourceResolution endless = run(server_.url(u"/endless.m3u"_s));
    EXPECT_EQ(endless.kind, Kind::Failed);
    EXPECT_EQ(endless.message,
              u"The playlist "_s + server_.url(u"/endless.m3u"_s) + u" is too large."_s);

    // A server that accepts and never answers.
    QTcpServer mute;
    ASSERT_TRUE(mute.listen(QHostAddress::LocalHost, 0));
    const QString url =
        u"http://127.0.0.1:"_s + QString::number(mute.serverPort()) + u"/radio.pls"_s;
    SourceResolverOptions shortDeadline = options();
    shortDeadline.deadline = 500ms;
    SourceResolver resolver(shortDeadline);
    const SourceResolution result = run(resolver, url);
    EXPECT_EQ(result.kind, Kind::Failed);
    EXPECT_EQ(result.message, u"Timed out connecting to "_s + url + u"."_s);
}

TEST_F(SourceResolverTest, SegmentedStreamsPlayOnlyWhenEverySegmentIsAllowed) {
    server_.page(
        u"/good.m3u8"_s, "application/vnd.apple.mpegurl",
        "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nseg1.aac\n#EXTINF:10,\nseg2.aac\n");
    const SourceResolution good = run(server_.url(u"/good.m3u8"_s));
    EXPECT_EQ(good.kind, Kind::Media);
    EXPECT_EQ(good.url, server_.url(u"/good.m3u8"_s));

    server_.page(u"/bad.m3u8"_s, "application/vnd.apple.mpegurl",
                 "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nseg1.aac\n#EXTINF:10,\n" +
                     QUrl::fromLocalFile(secret_).toString().toUtf8() + "\n");
    EXPECT_EQ(run(server_.url(u"/bad.m3u8"_s)).kind, Kind::Failed);
}

TEST_F(SourceResolverTest, EmptyPlaylistSaysSo) {
    server_.page(u"/empty.pls"_s, "audio/x-scpls", "[playlist]\nNumberOfEntries=0\n");
    EXPECT_EQ(run(server_.url(u"/empty.pls"_s)).message,
              u"The playlist "_s + server_.url(u"/empty.pls"_s) + u" has no entries."_s);
}

TEST_F(SourceResolverTest, CancelledOrReplacedResolutionsNeverReport) {
    SourceResolver resolver(options());
    int reports = 0;
    SourceResolution last;
    QObject::connect(&resolver, &SourceResolver::finished, [&](const SourceResolution& r) {
        ++reports;
        last = r;
    });
    resolver.resolve(QUrl::fromLocalFile(secret_).toString());  // fails at once, reported later
    resolver.cancel();
    EXPECT_FALSE(resolver.isBusy());
    resolver.resolve(server_.url(u"/missing.mp3"_s));
    resolver.resolve(server_.url(u"/live.mp3"_s));
    ASSERT_TRUE(waitUntil([&] { return reports > 0; }, 20s));
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(last.url, server_.url(u"/live.mp3"_s));
    EXPECT_FALSE(resolver.isBusy());
}

}  // namespace
}  // namespace lyrevane::testing
