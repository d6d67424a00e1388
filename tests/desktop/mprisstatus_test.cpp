// The MPRIS properties as values, and the now-playing text from stream metadata.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "desktop/mprisstatus.h"
#include "engine/mediaengine.h"
#include "engine/nowplaying.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

TEST(MprisStatusTest, LiveStreamThatConnectsOrBuffersCountsAsPlaying) {
    EXPECT_EQ(playbackStatusFor(MediaEngine::Playing), u"Playing"_s);
    EXPECT_EQ(playbackStatusFor(MediaEngine::Buffering), u"Playing"_s);
    EXPECT_EQ(playbackStatusFor(MediaEngine::Waiting), u"Playing"_s);
    EXPECT_EQ(playbackStatusFor(MediaEngine::Transitioning), u"Playing"_s);
    EXPECT_EQ(playbackStatusFor(MediaEngine::Paused), u"Paused"_s);
    for (int state : {int(MediaEngine::PlayUndefined), int(MediaEngine::Stopped),
                      int(MediaEngine::MediaEnded), int(MediaEngine::Ready), 99, -1}) {
        EXPECT_EQ(playbackStatusFor(state), u"Stopped"_s) << state;
    }
}

TEST(MprisStatusTest, ChangedPropertiesAreNamedOnceInInterfaceOrder) {
    MprisStatus before;
    MprisStatus after = before;
    EXPECT_TRUE(changedPlayerProperties(before, after).isEmpty());

    after.playbackStatus = u"Playing"_s;
    after.canPause = true;
    after.volume = 0.75;
    after.title = u"News"_s;
    after.station = u"Quillmoor"_s;
    EXPECT_EQ(changedPlayerProperties(before, after),
              (QStringList{u"PlaybackStatus"_s, u"CanPause"_s, u"Volume"_s, u"Metadata"_s}));

    // A new stream at the same address is a new track all the same.
    MprisStatus next = after;
    ++next.track;
    EXPECT_EQ(changedPlayerProperties(after, next), QStringList{u"Metadata"_s});
}

TEST(MprisStatusTest, VolumeFromTheBusIsClampedAndRounded) {
    EXPECT_EQ(volumeFromMpris(0.0), 0);
    EXPECT_EQ(volumeFromMpris(-0.5), 0);
    EXPECT_EQ(volumeFromMpris(1.0), 100);
    EXPECT_EQ(volumeFromMpris(7.0), 100);
    EXPECT_EQ(volumeFromMpris(0.004), 0);
    EXPECT_EQ(volumeFromMpris(0.005), 1);
    EXPECT_EQ(volumeFromMpris(0.333), 33);
    EXPECT_EQ(volumeFromMpris(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(volumeFromMpris(std::numeric_limits<double>::infinity()), 100);
    EXPECT_EQ(volumeFromMpris(-std::numeric_limits<double>::infinity()), 0);
}

TEST(MprisStatusTest, StreamTitleSplitsAtTheFirstSeparatorOnly) {
    EXPECT_EQ(splitStreamTitle(u"Kestrel Lithium - CEO interview - part 2"_s).artist,
              u"Kestrel Lithium"_s);
    EXPECT_EQ(splitStreamTitle(u"Kestrel Lithium - CEO interview - part 2"_s).title,
              u"CEO interview - part 2"_s);
    EXPECT_EQ(splitStreamTitle(u"Market open"_s).artist, QString());
    EXPECT_EQ(splitStreamTitle(u"Market open"_s).title, u"Market open"_s);
    // A leading separator has no artist before it.
    EXPECT_EQ(splitStreamTitle(u" - Market open"_s).title, u"- Market open"_s);
    EXPECT_EQ(splitStreamTitle(u"Hyphen-ated-name"_s).artist, QString());
}

TEST(NowPlayingTest, TextShowsWhatIsKnown) {
    EXPECT_EQ(nowPlayingText({}, {}), QString());
    EXPECT_EQ(nowPlayingText(u"Quillmoor Live"_s, {}), u"Quillmoor Live"_s);
    EXPECT_EQ(nowPlayingText({}, u"Opening bell"_s), u"Opening bell"_s);
    EXPECT_EQ(nowPlayingText(u"Quillmoor Live"_s, u"Opening bell"_s),
              u"Quillmoor Live - Opening bell"_s);
    // A server's right-to-left override, or right-to-left text, turns only its own part.
    EXPECT_EQ(nowPlayingText(u"\u202EQuillmoor"_s, u"Opening bell"_s),
              u"\u2068\u202EQuillmoor\u2069 - Opening bell"_s);
    EXPECT_EQ(nowPlayingText({}, u"\u05E9\u05D5\u05E7"_s), u"\u2068\u05E9\u05D5\u05E7\u2069"_s);
    // The text's own isolates cannot close the one around it, nor leave one open.
    EXPECT_EQ(nowPlayingText(u"A\u2069\u202Eevil"_s, u"\u2067bell"_s),
              u"\u2068A\u202Eevil\u2069 - bell"_s);
}

TEST(NowPlayingTest, BehindLiveInMinutesThenHours) {
    using std::chrono::milliseconds;
    EXPECT_EQ(behindLiveText(milliseconds{999}, false), QString());
    EXPECT_EQ(behindLiveText(milliseconds{155'400}, false), u"2:35 behind live"_s);
    EXPECT_EQ(behindLiveText(milliseconds{5'400'000}, true),
              u"1:30:00 behind live (no room to keep more)"_s);
}

TEST(NowPlayingTest, MetadataTextIsUtf8FirstThenLatin1) {
    EXPECT_EQ(decodeIcyText("Caf\xc3\xa9 Bourse"), u"Caf\u00e9 Bourse"_s);
    EXPECT_EQ(decodeIcyText("Caf\xe9 Bourse"), u"Caf\u00e9 Bourse"_s);
    // One invalid sequence makes the whole text Latin-1, never half-decoded.
    EXPECT_EQ(decodeIcyText("\xc3\xa9t\xe9"), u"\u00c3\u00a9t\u00e9"_s);
    EXPECT_EQ(decodeIcyText("  line\r\nbreak\t "), u"line  break"_s);
    EXPECT_EQ(decodeIcyText(""), QString());
}

TEST(NowPlayingTest, StreamTitleIsReadFromAMetadataBlock) {
    const QByteArray padded =
        QByteArray("StreamTitle='Opening bell';StreamUrl='';") + QByteArray(8, '\0');
    EXPECT_EQ(streamTitleFromIcyBlock(padded), u"Opening bell"_s);
    EXPECT_EQ(streamTitleFromIcyBlock("StreamTitle='Traders' corner';"), u"Traders' corner"_s);
    EXPECT_EQ(streamTitleFromIcyBlock("StreamTitle='It's a ';' day';StreamUrl='x';"),
              u"It's a ';' day"_s);
    EXPECT_EQ(streamTitleFromIcyBlock("StreamTitle='No terminator"), u"No terminator"_s);
    EXPECT_EQ(streamTitleFromIcyBlock("StreamTitle='';"), QString());
    EXPECT_EQ(streamTitleFromIcyBlock("StreamTitle='Caf\xe9';"), u"Caf\u00e9"_s);
    EXPECT_EQ(streamTitleFromIcyBlock("StreamUrl='http://x';"), std::nullopt);
    EXPECT_EQ(streamTitleFromIcyBlock(QByteArray(16, '\0')), std::nullopt);
}

TEST(NowPlayingTest, PlaceholderTitlesAreNotShown) {
    EXPECT_FALSE(isMeaningfulTitle(QString()));
    EXPECT_FALSE(isMeaningfulTitle(u" - "_s));
    EXPECT_FALSE(isMeaningfulTitle(u"<?xml version='1.0'?><track/>"_s));
    EXPECT_TRUE(isMeaningfulTitle(u"Opening bell"_s));
    EXPECT_TRUE(isMeaningfulTitle(u"<3 markets"_s));
}

}  // namespace
}  // namespace lyrevane
