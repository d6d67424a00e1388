// The pieces a fed stream goes through: the bounded buffer between the network and libVLC,
// the ICY metadata splitter and the MPEG audio frame finder.
#include "feedbuffer.h"
#include "icyreader.h"
#include "mpegaudio.h"

#include <QList>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace lyrevane::testing {
namespace {

// --- FeedBuffer ---------------------------------------------------------------------------

TEST(FeedBufferTest, FinishDrainsWhatIsLeftThenEnds) {
    FeedBuffer buffer(16);
    EXPECT_EQ(buffer.write("abcdef"), 6u);
    buffer.finish();
    EXPECT_EQ(buffer.write("more"), 0u) << "nothing is taken after the end";
    char out[4];
    EXPECT_EQ(buffer.read(out, 4), 4u);
    EXPECT_EQ(QByteArray(out, 4), "abcd");
    EXPECT_EQ(buffer.read(out, 4), 2u);
    EXPECT_EQ(buffer.read(out, 4), 0u);
    EXPECT_EQ(buffer.read(out, 4), 0u) << "the end stays the end";
}

TEST(FeedBufferTest, TakesOnlyWhatFitsAndAnnouncesRoomOnceHalfEmpty) {
    FeedBuffer buffer(10);
    int announced = 0;
    buffer.setOnRoom([&] { ++announced; });
    EXPECT_EQ(buffer.write("0123456789ABC"), 10u);
    EXPECT_EQ(buffer.room(), 0u);
    char out[10];
    EXPECT_EQ(buffer.read(out, 3), 3u);
    EXPECT_EQ(announced, 0) << "still more than half full";
    EXPECT_EQ(buffer.read(out, 2), 2u);
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(buffer.read(out, 1), 1u);
    EXPECT_EQ(announced, 1) << "announced once per time the writer found it full";
    EXPECT_EQ(buffer.room(), 6u);
}

TEST(FeedBufferTest, AbortWakesABlockedReaderAndDropsTheRest) {
    FeedBuffer buffer;
    std::atomic<int> result{-1};
    std::thread reader([&] {
        char out[8];
        result = static_cast<int>(buffer.read(out, sizeof out));
    });
    // The reader is blocked: nothing was written.
    buffer.abort();
    reader.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(buffer.write("late"), 0u);
    EXPECT_TRUE(buffer.aborted());
    EXPECT_EQ(buffer.buffered(), 0u);
}

// The first read waits for the cushion; a stream that ends short of it still plays.
TEST(FeedBufferTest, FirstReadWaitsForTheCushionOnly) {
    FeedBuffer buffer(1000);
    buffer.setPrefill(300);
    std::atomic<std::size_t> first{0};
    std::atomic<std::size_t> seenWhenRead{0};
    std::thread reader([&] {
        char out[1000];
        first = buffer.read(out, sizeof out);
        seenWhenRead = first.load();
    });
    for (int i = 0; i < 6; ++i) {
        buffer.write(QByteArray(60, 'x'));
        std::this_thread::yield();
    }
    reader.join();
    EXPECT_GE(first.load(), 300u) << "not before the cushion was there";
    // Later reads take what there is.
    buffer.write("y");
    char out[10];
    EXPECT_GE(buffer.read(out, sizeof out), 1u);

    FeedBuffer shortStream(1000);
    shortStream.setPrefill(400);
    shortStream.write(QByteArray(50, 'z'));
    shortStream.finish();
    EXPECT_EQ(shortStream.read(out, sizeof out), 10u);
    // A cushion larger than half the buffer is cut down, or the writer could never fill it.
    FeedBuffer small(100);
    small.setPrefill(1000);
    EXPECT_EQ(small.write(QByteArray(50, 's')), 50u);
    EXPECT_EQ(small.read(out, sizeof out), 10u);
}

// A writer and a reader on two threads move a long stream through a small buffer in
// random slices; the reader gets every byte, in order, and the writer waits for room only
// when told. With a hand-over interval too, where small writes gather before the reader
// takes them.
void moveStreamBetweenThreads(std::chrono::milliseconds interval) {
    constexpr std::size_t kTotal = 4 * 1024 * 1024;
    QByteArray source(static_cast<qsizetype>(kTotal), Qt::Uninitialized);
    std::mt19937 random(7);
    for (char& c : source) {
        c = static_cast<char>(random());
    }
    FeedBuffer buffer(4096);
    buffer.setHandOverInterval(interval);
    std::atomic<bool> room{true};
    buffer.setOnRoom([&] { room = true; });
    std::thread writer([&] {
        std::mt19937 sizes(11);
        std::size_t sent = 0;
        while (sent < kTotal) {
            if (buffer.room() == 0) {
                room = false;
                while (!room && buffer.room() == 0) {
                    std::this_thread::yield();
                }
                continue;
            }
            const std::size_t slice = std::min<std::size_t>(1 + sizes() % 3000, kTotal - sent);
            sent += buffer.write(QByteArrayView(source).sliced(static_cast<qsizetype>(sent),
                                                               static_cast<qsizetype>(slice)));
        }
        buffer.finish();
    });
    QByteArray received;
    std::mt19937 sizes(13);
    std::vector<char> out(5000);
    while (true) {
        const std::size_t n = buffer.read(out.data(), 1 + sizes() % out.size());
        if (n == 0) {
            break;
        }
        received.append(out.data(), static_cast<qsizetype>(n));
    }
    writer.join();
    EXPECT_EQ(received.size(), source.size());
    EXPECT_TRUE(received == source);
}

TEST(FeedBufferTest, MovesAStreamBetweenThreadsIntact) {
    moveStreamBetweenThreads(std::chrono::milliseconds{0});
    moveStreamBetweenThreads(std::chrono::milliseconds{1});
}

// With a hand-over interval far longer than any test, a waiting reader is still woken at
// once by a buffer that became half full, by the end of the stream and by an abort; and
// bytes that were waiting before it asked go at once.
TEST(FeedBufferTest, HandOverWaitsNeverPastHalfFullTheEndOrAnAbort) {
    constexpr auto kHour = std::chrono::milliseconds{3600 * 1000};
    FeedBuffer halfFull(100);
    halfFull.setHandOverInterval(kHour);
    QByteArray got;
    std::thread reader([&] {
        char out[100];
        while (got.size() < 50) {
            got.append(out, static_cast<qsizetype>(halfFull.read(out, sizeof out)));
        }
    });
    halfFull.write(QByteArray(20, 'a'));
    halfFull.write(QByteArray(30, 'b'));
    reader.join();
    EXPECT_EQ(got, QByteArray(20, 'a') + QByteArray(30, 'b'));

    FeedBuffer ending(100);
    ending.setHandOverInterval(kHour);
    std::atomic<std::size_t> first{99};
    std::atomic<std::size_t> second{99};
    reader = std::thread([&] {
        char out[100];
        first = ending.read(out, sizeof out);
        second = ending.read(out, sizeof out);
    });
    ending.write("abc");
    ending.finish();
    reader.join();
    EXPECT_EQ(first.load() + second.load(), 3u) << "what came before the end is read";

    FeedBuffer aborted(100);
    aborted.setHandOverInterval(kHour);
    reader = std::thread([&] {
        char out[100];
        first = aborted.read(out, sizeof out);
    });
    aborted.abort();
    reader.join();
    EXPECT_EQ(first.load(), 0u);

    FeedBuffer waiting(100);
    waiting.setHandOverInterval(kHour);
    waiting.write("xyz");
    char out[10];
    EXPECT_EQ(waiting.read(out, sizeof out), 3u);

    // The start of a stream (the cushion and three times as much) goes as it comes: the
    // media library is waiting for it to begin playing.
    FeedBuffer starting(1000);
    starting.setPrefill(10);
    starting.setHandOverInterval(kHour);
    starting.write(QByteArray(10, 'p'));
    EXPECT_EQ(starting.read(out, sizeof out), 10u);
    reader = std::thread([&] {
        char more[10];
        first = starting.read(more, sizeof more);
    });
    starting.write("q");
    reader.join();
    EXPECT_EQ(first.load(), 1u);
}

// A lone small write, with nothing after it for a while, still reaches the reader: it waits
// the interval, not for more bytes.
TEST(FeedBufferTest, HandOverDeliversALoneWrite) {
    FeedBuffer buffer(1000);
    buffer.setHandOverInterval(std::chrono::milliseconds{5});
    std::atomic<std::size_t> got{0};
    std::thread reader([&] {
        char out[100];
        got = buffer.read(out, sizeof out);
    });
    // The reader's deadlines pass with nothing to take before the byte comes.
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    buffer.write("x");
    reader.join();
    EXPECT_EQ(got.load(), 1u);
    EXPECT_EQ(buffer.position(), 1u);
}

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
    EXPECT_EQ(mpegaudio::FrameLength(header(false)), 417);
    EXPECT_EQ(mpegaudio::FrameLength(header(true)), 418);
    // MPEG 2 layer III, 64 kbit/s, 22.05 kHz: 72 * 64000 / 22050.
    EXPECT_EQ(mpegaudio::FrameLength(QByteArray("\xFF\xF3\x80\x00", 4)), 208);
    // Layer I, MPEG 1, 384 kbit/s, 48 kHz: (12 * 384000 / 48000) * 4.
    EXPECT_EQ(mpegaudio::FrameLength(QByteArray("\xFF\xFF\xC4\x00", 4)), 384);
    // Reserved version, reserved layer, free and bad bit rates, reserved rate, no sync.
    for (const char* bad : {"\xFF\xEB\x90\x00", "\xFF\xF9\x90\x00", "\xFF\xFB\x00\x00",
                            "\xFF\xFB\xF0\x00", "\xFF\xFB\x9C\x00", "\xFE\xFB\x90\x00"}) {
        EXPECT_EQ(mpegaudio::FrameLength(QByteArrayView(bad, 4)), 0)
            << QByteArray(bad, 4).toHex().constData();
    }
    EXPECT_EQ(mpegaudio::FrameLength(QByteArray("\xFF\xFB", 2)), 0);
}

TEST(MpegAudioTest, BitRateFollowsTheHeader) {
    EXPECT_EQ(mpegaudio::BitRate(header(false)), 128);
    EXPECT_EQ(mpegaudio::BitRate(QByteArray("\xFF\xF3\x80\x00", 4)), 64);
    EXPECT_EQ(mpegaudio::BitRate(QByteArray("\xFF\xFB\xF0\x00", 4)), 0);
}

TEST(MpegAudioTest, FirstFrameSkipsTheTailOfAFrameAndFalseSyncs) {
    const QByteArray frames = frame(false) + frame(true) + frame(false);
    EXPECT_EQ(mpegaudio::FirstFrame(frames), 0);
    // Joined mid-frame, with a stray sync word in the tail that no frame follows.
    const QByteArray tail = QByteArray(30, '\xAA') + header(false) + QByteArray(20, '\xAA');
    EXPECT_EQ(mpegaudio::FirstFrame(tail + frames), tail.size());
    // Not enough to see the second header yet.
    EXPECT_EQ(mpegaudio::FirstFrame(QByteArray(10, '\xAA') + frame(false)), -1);
    EXPECT_EQ(mpegaudio::FirstFrame(QByteArray()), -1);
    EXPECT_EQ(mpegaudio::FirstFrame(QByteArray(5000, '\x00')), -1);
}

}  // namespace
}  // namespace lyrevane::testing
