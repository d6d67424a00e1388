// Turning the error lines logged about a stream into readable error descriptions.
#include "engine/vlcmessages.h"
#include "rules/sourcerules.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::vlcmessages {
namespace {

const QString kUrl = u"http://127.0.0.1:8000/live.mp3"_s;

TEST(VlcMessages, HttpStatusBecomesStatusAndReasonPhrase) {
    // The first status is used, with its standard reason phrase.
    const QStringList lines{u"unknown protocol"_s, u"HTTP/1.1 404"_s,
                            u"error: HTTP/1.0 410 File not found"_s};
    EXPECT_EQ(openFailure(lines, kUrl), u"Cannot open "_s + kUrl + u": HTTP 404 Not Found."_s);
    EXPECT_EQ(openFailure({u"HTTP/1.1 503"_s}, kUrl),
              u"Cannot open "_s + kUrl + u": HTTP 503 Service Unavailable."_s);
    // An unusual status keeps the server's own words, or just the number.
    EXPECT_EQ(openFailure({u"error: HTTP/1.1 599 Stream Offline"_s}, kUrl),
              u"Cannot open "_s + kUrl + u": HTTP 599 Stream Offline."_s);
    EXPECT_EQ(openFailure({u"HTTP/1.1 599"_s}, kUrl), u"Cannot open "_s + kUrl + u": HTTP 599."_s);
}

TEST(VlcMessages, FailureAfterTheAudioStartedSaysTheConnectionWasLost) {
    EXPECT_EQ(connectionLost({u"connection failed: Connection reset by peer"_s}, kUrl),
              u"Lost the connection to "_s + kUrl + u": Connection reset by peer."_s);
    EXPECT_EQ(connectionLost({}, kUrl), u"Lost the connection to "_s + kUrl + u"."_s);
    // The log's reason wins over the fallback, which stands in when the log has none.
    EXPECT_EQ(connectionLost({u"HTTP/1.1 404"_s}, kUrl, u"the server closed the stream"_s),
              u"Lost the connection to "_s + kUrl + u": HTTP 404 Not Found."_s);
    EXPECT_EQ(connectionLost({}, kUrl, noDataFor(std::chrono::seconds(10))),
              u"Lost the connection to "_s + kUrl + u": No data received for 10 seconds."_s);
    EXPECT_EQ(noDataFor(std::chrono::milliseconds(1200)), u"no data received for 1 second"_s);
    EXPECT_EQ(noDataFor(std::chrono::milliseconds(300)), u"no data received for 300 ms"_s);
}

TEST(VlcMessages, SocketErrorIsPreferredToGenericLines) {
    const QStringList lines{u"HTTP connection failure"_s,
                            u"connection failed: Connection refused"_s,
                            u"cannot connect to 127.0.0.1:8000"_s};
    EXPECT_EQ(openFailure(lines, kUrl), u"Cannot open "_s + kUrl + u": Connection refused."_s);
}

TEST(VlcMessages, NameLookupFailureNamesTheHost) {
    const QStringList lines{u"cannot resolve radio.invalid port 80 : Name or service not known"_s};
    EXPECT_EQ(openFailure(lines, kUrl),
              u"Cannot open "_s + kUrl + u": Host radio.invalid not found."_s);
}

TEST(VlcMessages, OtherwiseTheFirstSpecificLineOrNothing) {
    EXPECT_EQ(openFailure({u" "_s, u"unknown protocol."_s}, kUrl),
              u"Cannot open "_s + kUrl + u": Unknown protocol."_s);
    EXPECT_EQ(openFailure({u" "_s, QString()}, kUrl), u"Cannot open "_s + kUrl + u"."_s);
    EXPECT_EQ(openFailure({}, kUrl), u"Cannot open "_s + kUrl + u"."_s);
}

TEST(VlcMessages, FixedDescriptionsNameTheUrl) {
    EXPECT_EQ(sourcemessages::timedOut(kUrl), u"Timed out connecting to "_s + kUrl + u"."_s);
    EXPECT_TRUE(unsupportedFormat(kUrl).contains(u"unsupported format"_s));
    EXPECT_TRUE(unsupportedFormat(kUrl).contains(kUrl));
    EXPECT_TRUE(sourcemessages::emptyPlaylist(kUrl).contains(kUrl));
    EXPECT_EQ(reconnectingSince(QTime(9, 5), u"Connection refused"_s),
              u"Reconnecting since 09:05: Connection refused"_s);
}

TEST(VlcMessages, PlaylistsAreRecognisedByExtension) {
    EXPECT_TRUE(looksLikePlaylist(u"http://host/ASX/quillmoor.asx"_s));
    EXPECT_TRUE(looksLikePlaylist(u"http://host/listen.PLS"_s));
    EXPECT_TRUE(looksLikePlaylist(u"http://host/a/b.m3u?session=1#top"_s));
    EXPECT_TRUE(looksLikePlaylist(u"/home/user/radio.xspf"_s));
    EXPECT_FALSE(looksLikePlaylist(u"http://host/live.mp3"_s));
    EXPECT_FALSE(looksLikePlaylist(u"http://host/hls/index.m3u8"_s));
    EXPECT_FALSE(looksLikePlaylist(u"http://host/stream?format=.pls"_s));
    EXPECT_FALSE(looksLikePlaylist(u"http://host/pls"_s));
    EXPECT_FALSE(looksLikePlaylist(QString()));
}

}  // namespace
}  // namespace lyrevane::vlcmessages
