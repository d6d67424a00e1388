// Reading playlists as servers really send them, and telling playlists from streams.
#include "net/playlistformat.h"
#include "rules/sourcerules.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::playlistformat {
namespace {

QStringList entriesOf(const char* body, qsizetype maxEntries = 100) {
    return parse(QByteArray(body), maxEntries).entries;
}

TEST(PlaylistFormat, ReadsEachKindInPlayingOrder) {
    // M3U with comments, blank lines, CRLF and a byte-order mark.
    EXPECT_EQ(
        entriesOf("\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:-1,One\r\nhttp://a/1\r\n\r\n  http://a/2  \r\n"),
        QStringList({u"http://a/1"_s, u"http://a/2"_s}));
    // PLS: entries by number, not by line order; other keys ignored; keys in any case.
    EXPECT_EQ(entriesOf("[playlist]\nNumberOfEntries=3\nfile2=http://a/2\nTitle1=x\n"
                        "File10=http://a/10\nFILE1 = http://a/1\nVersion=2\n"),
              QStringList({u"http://a/1"_s, u"http://a/2"_s, u"http://a/10"_s}));
    // ASF reference file.
    EXPECT_EQ(entriesOf("[Reference]\r\nRef1=http://a/1?MSWMExt=.asf\r\nRef2=mms://a/2\r\n"),
              QStringList({u"http://a/1?MSWMExt=.asf"_s, u"mms://a/2"_s}));
    // ASX: tags and attributes in any case, any quotes, entity references, entryref.
    EXPECT_EQ(entriesOf("<ASX version=\"3.0\"><Entry><Ref HREF = 'http://a/1?x=1&amp;y=2' />"
                        "</Entry><entry><ref href=http://a/2></entry>"
                        "<ENTRYREF href=\"http://a/more.asx\"/><moreinfo href=\"http://no\"/>"
                        "<entry><ref href=\"&#102;ile:///etc/passwd\"/></entry></ASX>"),
              QStringList({u"http://a/1?x=1&y=2"_s, u"http://a/2"_s, u"http://a/more.asx"_s,
                           u"file:///etc/passwd"_s}));
    // UTF-16 in either byte order, with its mark, as the first bytes and as a whole.
    const QString pls = u"[playlist]\r\nFile1=http://a/1\r\n"_s;
    QByteArray little("\xFF\xFE");
    QByteArray big("\xFE\xFF");
    for (const QChar c : pls) {
        little += static_cast<char>(c.unicode() & 0xFF);
        little += static_cast<char>(c.unicode() >> 8);
        big += static_cast<char>(c.unicode() >> 8);
        big += static_cast<char>(c.unicode() & 0xFF);
    }
    for (const QByteArray& body : {little, big}) {
        EXPECT_TRUE(playlistformat::looksLikePlaylist(body.left(25)));
        EXPECT_EQ(parse(body, 100).entries, QStringList{u"http://a/1"_s});
    }
    // XSPF.
    EXPECT_EQ(entriesOf("<?xml version=\"1.0\"?><playlist><trackList><track>"
                        "<location>http://a/1</location></track><track><location> "
                        "sftp://b/2 </location></track></trackList></playlist>"),
              QStringList({u"http://a/1"_s, u"sftp://b/2"_s}));
}

TEST(PlaylistFormat, SegmentedStreamsNameEveryUri) {
    const Parsed hls = parse(
        "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-KEY:METHOD=AES-128,URI=\"file:///k\"\n"
        "#EXTINF:10,\nseg1.aac\n#EXT-X-MEDIA:TYPE=AUDIO,URI=\"alt.m3u8\"\n",
        100);
    EXPECT_TRUE(hls.segmented);
    EXPECT_EQ(hls.entries, QStringList({u"file:///k"_s, u"seg1.aac"_s, u"alt.m3u8"_s}));
    EXPECT_FALSE(parse("#EXTM3U\nhttp://a/1\n", 100).segmented);
}

TEST(PlaylistFormat, KeepsAtMostTheCap) {
    QByteArray body;
    for (int i = 0; i < 500; ++i) {
        body += "http://a/" + QByteArray::number(i) + "\n";
    }
    const QStringList entries = parse(body, 100).entries;
    ASSERT_EQ(entries.size(), 100);
    EXPECT_EQ(entries.back(), u"http://a/99"_s);
}

TEST(PlaylistFormat, TellsPlaylistsFromStreamsByHeadersAndFirstBytes) {
    EXPECT_EQ(classifyContentType("audio/x-mpegurl"), Declared::Playlist);
    EXPECT_EQ(classifyContentType("Audio/X-SCPLS; charset=utf-8"), Declared::Playlist);
    EXPECT_EQ(classifyContentType("video/x-ms-asx"), Declared::Playlist);
    EXPECT_EQ(classifyContentType("application/vnd.apple.mpegurl"), Declared::Playlist);
    EXPECT_EQ(classifyContentType("audio/mpeg"), Declared::Media);
    EXPECT_EQ(classifyContentType("audio/aacp"), Declared::Media);
    EXPECT_EQ(classifyContentType("application/ogg"), Declared::Media);
    EXPECT_EQ(classifyContentType("video/x-ms-asf"), Declared::Unsure);
    EXPECT_EQ(classifyContentType("text/plain"), Declared::Unsure);
    EXPECT_EQ(classifyContentType("application/octet-stream"), Declared::Unsure);
    EXPECT_EQ(classifyContentType(""), Declared::Unsure);

    EXPECT_TRUE(looksLikePlaylist("\n  #EXTM3U\nhttp://a/1"));
    EXPECT_TRUE(looksLikePlaylist("[PlayList]\nFile1=x"));
    EXPECT_TRUE(looksLikePlaylist("[Reference]\r\nRef1=x"));
    EXPECT_TRUE(looksLikePlaylist("<Asx version=3>"));
    EXPECT_TRUE(looksLikePlaylist("<?xml version=\"1.0\"?>\n<playlist version=\"1\">"));
    EXPECT_FALSE(looksLikePlaylist("<?xml version=\"1.0\"?><html>"));
    EXPECT_FALSE(looksLikePlaylist("ID3\x03\x00 binary"));
    EXPECT_FALSE(looksLikePlaylist(QByteArray("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8)));

    EXPECT_TRUE(hasPlaylistExtension(QUrl(u"http://a/list.PLS?x=1"_s)));
    EXPECT_TRUE(hasPlaylistExtension(QUrl(u"http://a/live.m3u8"_s)));
    EXPECT_FALSE(hasPlaylistExtension(QUrl(u"http://a/live.mp3?f=.pls"_s)));
}

}  // namespace
}  // namespace lyrevane::playlistformat

namespace lyrevane {
namespace {

TEST(SourceRules, AllowsOnlyNetworkStreamsOutsideTheRefusedSources) {
    const SourceRules rules({u"127.0.0.2"_s});
    for (const QString& url :
         {u"http://127.0.0.1:8000/live"_s, u"HTTPS://a.example/x.mp3"_s, u"mms://a.example/x"_s,
          u"mmsh://a.example/x"_s, u"rtsp://a.example:554/x"_s}) {
        EXPECT_TRUE(rules.allows(url)) << url.toStdString();
    }
    for (const QString& url :
         {QString(), u"file:///tmp/x.mp3"_s, u"/tmp/x.mp3"_s, u"sftp://a.example/x"_s,
          u"smb://a.example/x"_s, u"ftp://a.example/x"_s, u"icyx://a.example/x"_s, u"http:///x"_s,
          u"http://127.0.0.2:8000/x"_s, u"http://a.example/?via=127.0.0.2"_s,
          u"http://wavecastle.example/live"_s, u"http://a.example/?r=TICKERTALK.example"_s}) {
        EXPECT_FALSE(rules.allows(url)) << url.toStdString();
    }
    // A message names a hostile target on one line, without markup, and not at length.
    const QString message = sourcemessages::refusedRedirect(
        u"http://a.example/x"_s, u"file:///<b>big</b>\n"_s + QString(5000, u'a'));
    EXPECT_FALSE(message.contains(u'<'));
    EXPECT_FALSE(message.contains(u'\n'));
    EXPECT_LT(message.size(), 400);
    EXPECT_TRUE(
        message.startsWith(u"Cannot open http://a.example/x: it redirects to file:///%3Cb%3E"_s));
    // Extra entries are matched like the built-in ones, however the host is spelled.
    EXPECT_FALSE(rules.allows(u"http://2130706434:8000/x"_s));
    EXPECT_FALSE(rules.allows(u"http://0x7f.0.0.2/x"_s));
    EXPECT_FALSE(rules.allows(u"http://[::ffff:7f00:2]/x"_s));
    EXPECT_FALSE(rules.allows(u"http://0300.0.2.17/x"_s));  // a built-in address
    // Without extra entries only the built-in list refuses.
    EXPECT_TRUE(SourceRules().allows(u"http://127.0.0.2:8000/x"_s));
}

// The addresses a name resolves to are checked like hosts, IPv4 inside IPv6 included.
TEST(SourceRules, RefusesAddressesAsItRefusesHosts) {
    const auto allows = [](const SourceRules& rules, int family, const char* text) {
        sockaddr_in6 address{};
        address.sin6_family = static_cast<sa_family_t>(family);
        void* bytes = family == AF_INET
                          ? static_cast<void*>(&reinterpret_cast<sockaddr_in*>(&address)->sin_addr)
                          : static_cast<void*>(&address.sin6_addr);
        EXPECT_EQ(::inet_pton(family, text, bytes), 1) << text;
        return rules.allowsAddress(reinterpret_cast<const sockaddr*>(&address));
    };
    const SourceRules rules({u"127.0.0.2"_s});
    EXPECT_FALSE(allows(rules, AF_INET, "127.0.0.2"));
    EXPECT_FALSE(allows(rules, AF_INET6, "::ffff:127.0.0.2"));
    EXPECT_FALSE(allows(rules, AF_INET, "192.0.2.17"));  // built in
    EXPECT_FALSE(allows(rules, AF_INET6, "64:ff9b::c000:211"));
    EXPECT_TRUE(allows(rules, AF_INET, "127.0.0.1"));
    EXPECT_TRUE(allows(rules, AF_INET6, "::1"));
    EXPECT_TRUE(allows(SourceRules(), AF_INET, "127.0.0.2"));
}

}  // namespace
}  // namespace lyrevane
