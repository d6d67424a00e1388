// What the stream feed reads a stream with: the ICY metadata splitter and the MPEG audio
// frame finder.
#include "net/icyreader.h"
#include "net/mpegaudio.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace lyrevane::testing {
namespace {

// --- IcyReader ----------------------------------------------------------------------------

QByteArray block(const QByteArray& text) {
    QByteArray padded = text;
    padded.resize(((text.size() + 15) / 16) * 16, '\0');
    return char(padded.size() / 16) + padded;
}

// A stream of `metaint`-byte audio runs, each followed by a metadata slot.
struct IcyStream {
    QByteArray wire;
    QByteArray audio;
    QList<QByteArray> blocks;
};

IcyStream makeStream(int metaint, int runs, std::mt19937& random) {
    IcyStream stream;
    for (int run = 0; run < runs; ++run) {
        QByteArray audio(metaint, Qt::Uninitialized);
        for (char& c : audio) {
            c = static_cast<char>(random());
        }
        stream.audio += audio;
        stream.wire += audio;
        if (run % 3 == 1) {
            const QByteArray text = "StreamTitle='Run " + QByteArray::number(run) + "';";
            stream.wire += block(text);
            stream.blocks.append(block(text).mid(1));
        } else {
            stream.wire += '\0';  // no metadata this time
        }
    }
    return stream;
}

TEST(IcyReaderTest, SplitsAudioAndBlocksHoweverTheStreamIsSliced) {
    std::mt19937 random(3);
    for (const int metaint : {1, 7, 16, 8192}) {
        const IcyStream stream = makeStream(metaint, 20, random);
        for (int attempt = 0; attempt < 20; ++attempt) {
            IcyReader reader(metaint);
            QByteArray audio;
            QList<QByteArray> blocks;
            qsizetype at = 0;
            while (at < stream.wire.size()) {
                const qsizetype slice =
                    std::min<qsizetype>(1 + random() % 600, stream.wire.size() - at);
                reader.feed(QByteArrayView(stream.wire).sliced(at, slice), audio,
                            [&](QByteArrayView b) { blocks.append(b.toByteArray()); });
                at += slice;
            }
            ASSERT_TRUE(audio == stream.audio) << "metaint " << metaint;
            ASSERT_EQ(blocks, stream.blocks) << "metaint " << metaint;
        }
    }
}

TEST(IcyReaderTest, WithoutAnIntervalEverythingIsAudio) {
    for (const qint64 metaint : {0, -5}) {
        IcyReader reader(metaint);
        QByteArray audio;
        bool called = false;
        reader.feed("\x01StreamTitle='x';", audio, [&](QByteArrayView) { called = true; });
        EXPECT_EQ(audio, QByteArray("\x01StreamTitle='x';"));
        EXPECT_FALSE(called);
    }
}

TEST(IcyReaderTest, LargestBlockIsReadWhole) {
    IcyReader reader(4);
    const QByteArray text(255 * 16, 'm');
    QByteArray audio;
    QByteArray seen;
    reader.feed("abcd" + QByteArray(1, char(255)) + text + "efgh", audio,
                [&](QByteArrayView b) { seen = b.toByteArray(); });
    EXPECT_EQ(audio, QByteArray("abcdefgh"));
    EXPECT_EQ(seen, text);
}

// --- MPEG audio frames --------------------------------------------------------------------

// An MPEG 1 layer III frame header: 128 kbit/s, 44.1 kHz, with or without padding.
QByteArray header(bool padding) {
    return QByteArray("\xFF\xFB", 2) + char(0x90 | (padding ? 0x02 : 0)) + char(0x64);
}

QByteArray frame(bool padding) {
    QByteArray f = header(padding);
    f.resize(padding ? 418 : 417, '\x55');
    return f;
}

TEST(MpegAudioTest, FrameLengthsFollowTheHeader) {
    EXPECT_EQ(mpegaudio::frameLength(header(false)), 417);
    EXPECT_EQ(mpegaudio::frameLength(header(true)), 418);
    // MPEG 2 layer III, 64 kbit/s, 22.05 kHz: 72 * 64000 / 22050.
    EXPECT_EQ(mpegaudio::frameLength(QByteArray("\xFF\xF3\x80\x00", 4)), 208);
    // Layer I, MPEG 1, 384 kbit/s, 48 kHz: (12 * 384000 / 48000) * 4.
    EXPECT_EQ(mpegaudio::frameLength(QByteArray("\xFF\xFF\xC4\x00", 4)), 384);
    // Reserved version, reserved layer, free and bad bit rates, reserved rate, no sync.
    for (const char* bad : {"\xFF\xEB\x90\x00", "\xFF\xF9\x90\x00", "\xFF\xFB\x00\x00",
                            "\xFF\xFB\xF0\x00", "\xFF\xFB\x9C\x00", "\xFE\xFB\x90\x00"}) {
        EXPECT_EQ(mpegaudio::frameLength(QByteArrayView(bad, 4)), 0)
            << QByteArray(bad, 4).toHex().constData();
    }
    EXPECT_EQ(mpegaudio::frameLength(QByteArray("\xFF\xFB", 2)), 0);
}

TEST(MpegAudioTest, BitRateFollowsTheHeader) {
    EXPECT_EQ(mpegaudio::bitRate(header(false)), 128);
    EXPECT_EQ(mpegaudio::bitRate(QByteArray("\xFF\xF3\x80\x00", 4)), 64);
    EXPECT_EQ(mpegaudio::bitRate(QByteArray("\xFF\xFB\xF0\x00", 4)), 0);
}

TEST(MpegAudioTest, FirstFrameSkipsTheTailOfAFrameAndFalseSyncs) {
    const QByteArray frames = frame(false) + frame(true) + frame(false);
    EXPECT_EQ(mpegaudio::firstFrame(frames), 0);
    // Joined mid-frame, with a stray sync word in the tail that no frame follows.
    const QByteArray tail = QByteArray(30, '\xAA') + header(false) + QByteArray(20, '\xAA');
    EXPECT_EQ(mpegaudio::firstFrame(tail + frames), tail.size());
    // Not enough to see the second header yet.
    EXPECT_EQ(mpegaudio::firstFrame(QByteArray(10, '\xAA') + frame(false)), -1);
    EXPECT_EQ(mpegaudio::firstFrame(QByteArray()), -1);
    EXPECT_EQ(mpegaudio::firstFrame(QByteArray(5000, '\x00')), -1);
}

}  // namespace
}  // namespace lyrevane::testing
