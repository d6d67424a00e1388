// The pieces a fed stream goes through: the bounded buffer between the network and libVLC,
// the kept programme, the recording and the cushion's playback rate.
#include "feed/cushiongovernor.h"
#include "feed/feedbuffer.h"
#include "feed/streamrecorder.h"
#include "feed/timeshift.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

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
// when told.
TEST(FeedBufferTest, MovesAStreamBetweenThreadsIntact) {
    constexpr std::size_t kTotal = 4 * 1024 * 1024;
    QByteArray source(static_cast<qsizetype>(kTotal), Qt::Uninitialized);
    std::mt19937 random(7);
    for (char& c : source) {
        c = static_cast<char>(random());
    }
    FeedBuffer buffer(4096);
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

// Once keeping, the last stretch of the stream stays, first in memory, then in a ring file that
// has no name on disk; the oldest goes first, or, when the disk would keep too little free,
// whatever memory does not hold. The reader moves within it, never past live: it is held
// (paused) while 1 MiB arrives, reads 64 KiB, goes back, reads, and jumps to live.
TEST(FeedBufferTest, KeepsTheLastStretchAndMovesWithinIt) {
    QTemporaryDir folder;
    constexpr std::uint64_t kSent = 1 << 20;
    constexpr std::size_t kMemory = 200 * 1024;
    struct Case {
        const char* name;
        std::uint64_t limit;
        std::uint64_t keepFree;
        std::int64_t back;
        std::uint64_t oldest;  // 0 for "what memory holds"
        std::int64_t moved;
        bool keptAll;
    };
    const Case cases[] = {
        {"all of it, most on disk", 10 << 20, 0, -50000, 0, -50000, false},
        {"the last 700 KiB", 700 << 10, 0, -(1 << 20), kSent - (700 << 10), -(64 << 10), false},
        {"no disk that large", 10 << 20, std::uint64_t{1} << 62, -(1 << 20), 0, -(64 << 10), true},
    };
    QByteArray sent(static_cast<qsizetype>(kSent), Qt::Uninitialized);
    std::mt19937 random(5);
    for (char& c : sent) {
        c = static_cast<char>(random());
    }
    const auto readAt = [&](FeedBuffer& buffer, qsizetype n) {
        const std::uint64_t at = buffer.position();
        QByteArray got(n, Qt::Uninitialized);
        qsizetype done = 0;
        while (done < n) {
            done += static_cast<qsizetype>(buffer.read(got.data() + done, n - done));
        }
        return got == QByteArrayView(sent).sliced(static_cast<qsizetype>(at), n);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FeedBuffer buffer(1000);
        buffer.keep(folder.filePath(u"cache"_s), c.limit, kMemory, c.keepFree);
        EXPECT_EQ(buffer.write(QByteArrayView(sent).first(4000)), 1000u) << "live: bounded";
        buffer.setHeld(true);
        for (qsizetype at = 1000; at < sent.size(); at += 4096) {
            ASSERT_GT(buffer.write(QByteArrayView(sent).sliced(at).first(
                          std::min<qsizetype>(4096, sent.size() - at))),
                      0u);
        }
        buffer.setHeld(false);
        EXPECT_EQ(buffer.written(), kSent);
        EXPECT_EQ(buffer.keptAll(), c.keptAll);
        EXPECT_TRUE(QDir(folder.filePath(u"cache"_s)).isEmpty()) << "the file has no name";
        if (c.oldest > 0 || !c.keptAll) {
            EXPECT_EQ(buffer.oldest(), c.oldest);
        } else {
            EXPECT_LE(kSent - buffer.oldest(), kMemory + (64 << 10));
        }
        EXPECT_EQ(buffer.position(), buffer.oldest()) << "the reader stays within";
        EXPECT_EQ(buffer.behind(), kSent - 1000 - buffer.oldest()) << "held: behind by what came";
        EXPECT_TRUE(readAt(buffer, 64 << 10));
        EXPECT_EQ(buffer.move(c.back), c.moved);
        EXPECT_TRUE(readAt(buffer, 1000));
        EXPECT_EQ(buffer.behind(), kSent - buffer.position());
        // Live, and never past it.
        EXPECT_EQ(buffer.move(std::int64_t{1} << 40),
                  static_cast<std::int64_t>(kSent - buffer.position()));
        EXPECT_EQ(buffer.behind(), 0u);
        EXPECT_EQ(buffer.reach(1), 0);
        EXPECT_FALSE(buffer.behindLive());
        // A media being replaced reads nothing, at once; then on from where it is.
        buffer.write("live");
        buffer.interruptReads(true);
        char out[8];
        EXPECT_EQ(buffer.read(out, sizeof out), 0u);
        buffer.interruptReads(false);
        EXPECT_EQ(buffer.read(out, sizeof out), 4u);
        // A recording from a kept position: what is kept from there, then what comes.
        QByteArray recorded;
        std::uint64_t next = buffer.oldest() + 10;
        const std::uint64_t from = buffer.setTapFrom(
            next,
            [&](std::uint64_t at, QByteArrayView bytes) {
                EXPECT_EQ(at, next);
                next = at + static_cast<std::uint64_t>(bytes.size());
                recorded += bytes;
            },
            [&](QByteArrayView bytes) { recorded += bytes; });
        buffer.write("more");
        EXPECT_EQ(recorded, sent.mid(static_cast<qsizetype>(from)) + "livemore");
    }
    // With a cushion, live lands the cushion short of what was written: the media library that
    // had read the rest starts again from there without waiting for the network.
    FeedBuffer cushioned(1000);
    cushioned.setLiveMargin(300);
    cushioned.keep(folder.filePath(u"cache"_s), 1 << 20, kMemory, 0);
    cushioned.setHeld(true);
    for (int i = 0; i < 8; ++i) {
        cushioned.write(QByteArrayView(sent).sliced(i * 500, 500));
    }
    cushioned.setHeld(false);
    EXPECT_EQ(cushioned.move(1 << 20), 4000 - 300);
    EXPECT_EQ(cushioned.behind(), 0u);
    EXPECT_FALSE(cushioned.behindLive());
    EXPECT_EQ(cushioned.move(-100), -100);
    EXPECT_EQ(cushioned.move(1000), 100) << "forward stops at live";
    char drained[300];
    EXPECT_EQ(cushioned.read(drained, sizeof drained), 300u);
    EXPECT_EQ(cushioned.move(-200), -200);
    EXPECT_EQ(cushioned.move(1), 0);
    EXPECT_EQ(cushioned.behind(), 0u) << "forward within the margin: live where it is";
    EXPECT_FALSE(cushioned.behindLive());
}

// The programme's titles and lost connections by position: what plays at a position, where
// its title began (over a gap), and what goes with the audio; a flood of titles stays bounded.
TEST(TimeShiftTest, TitlesAndGapsByPosition) {
    const QDateTime at(QDate(2026, 12, 8), QTime(15, 7));
    TimeShift shift;
    shift.noteTitle(0, u"Opening bell"_s, at);
    shift.noteTitle(1000, u"Small caps"_s, at.addSecs(60));
    shift.noteGap(1500, at.addSecs(120), at.addSecs(180));
    shift.noteTitle(2000, u"Close"_s, at.addSecs(240));
    struct Case {
        std::uint64_t position;
        std::optional<QString> heard;  // when it changed
        std::optional<std::uint64_t> start;
    };
    const Case cases[] = {
        {10, u"Opening bell"_s, 0}, {999, std::nullopt, 0},   {1000, u"Small caps"_s, 1000},
        {1700, std::nullopt, 1000}, {2500, u"Close"_s, 2000}, {20, u"Opening bell"_s, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shift.titleAt(c.position), c.heard) << c.position;
        EXPECT_EQ(shift.titleStart(c.position), c.start) << c.position;
    }
    ASSERT_EQ(shift.entries().size(), 4u);
    EXPECT_TRUE(shift.entries()[2].gap);
    EXPECT_EQ(shift.entries()[2].title, u"Small caps"_s) << "the title goes on after a gap";
    EXPECT_EQ(shift.entries()[2].back, at.addSecs(180));
    shift.forget(1200);
    EXPECT_EQ(shift.entries().front().position, 1000u) << "what covers the oldest audio stays";
    for (std::uint64_t i = 0; i < 3 * TimeShift::kMaxEntries; ++i) {
        shift.noteTitle(3000 + i, QString::number(i), at);
    }
    EXPECT_EQ(shift.entries().size(), TimeShift::kMaxEntries);
    EXPECT_EQ(shift.titleStart(3000 + 3 * TimeShift::kMaxEntries),
              2999 + 3 * TimeShift::kMaxEntries);
    // The oldest merged: all the audio kept still has a title, the oldest row counts the rest.
    EXPECT_EQ(shift.entries().front().position, 1000u);
    EXPECT_EQ(shift.entries().front().merged, int(2 * TimeShift::kMaxEntries + 3));
    EXPECT_EQ(shift.titleStart(2500), 1000u);
    EXPECT_EQ(shift.titleAt(4000), u"Small caps"_s);
}

// The cue sheet lists each title at its offset (the first from the start) and the gaps where
// the connection was made again; a disk that would keep too little free stops the recording
// and says so, and what was written keeps its final name.
TEST(StreamRecorderTest, CueSheetFollowsTitlesAndGapsAndTheDiskStopsIt) {
    QTemporaryDir music;
    const QDateTime at(QDate(2026, 12, 8), QTime(15, 0));
    StreamRecorder recorder(0);
    ASSERT_EQ(recorder.start(music.path(), u"Quill/moor"_s, u"mp3"_s, at, 1000), QString());
    recorder.write("0123456789");
    recorder.noteTitle(u"Opening \"bell\""_s);
    recorder.write(QByteArray(1500, 'x'));
    recorder.noteGap();
    recorder.noteTitle(u"Kestrel"_s);
    recorder.write("z");
    EXPECT_EQ(recorder.seconds(), 1);
    EXPECT_EQ(recorder.finish(), QString());
    QFile cue(music.filePath(u"Quill-moor 2026-12-08 15-00.cue"_s));
    ASSERT_TRUE(cue.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(cue.readAll());
    EXPECT_TRUE(sheet.contains(u"FILE \"Quill-moor 2026-12-08 15-00.mp3\" MP3"_s))
        << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(u"TITLE \"Opening 'bell'\"\n    INDEX 01 00:00:00"_s));
    EXPECT_TRUE(sheet.contains(u"REM GAP 00:01:38"_s));
    EXPECT_TRUE(sheet.contains(u"TRACK 02 AUDIO\n    TITLE \"Kestrel\"\n    INDEX 01 00:01:38"_s));
    EXPECT_EQ(QFileInfo(music.filePath(u"Quill-moor 2026-12-08 15-00.mp3"_s)).size(), 1511);

    StreamRecorder full(std::uint64_t{1} << 62);
    ASSERT_EQ(full.start(music.path(), u"Full"_s, u"ogg"_s, at, 0), QString());
    full.write("abc");
    EXPECT_EQ(full.error(), u"Recording stopped: the disk is nearly full."_s);
    EXPECT_FALSE(full.isRecording());
    EXPECT_EQ(full.finish(), u"Recording stopped: the disk is nearly full."_s);
    EXPECT_TRUE(QFileInfo::exists(music.filePath(u"Full 2026-12-08 15-00.ogg"_s)));
    // Long names in any script fit a file name's 255 bytes, cut between characters; the cue
    // sheet names its file exactly, a quote in the station's name and all.
    QTemporaryDir names;
    const char32_t face = 0x1F600;
    for (const QString& name : {QString(100, QChar(0x20AC)), QString(100, QChar(0x65E5)),
                                QString::fromUcs4(&face, 1).repeated(70), u"Say \"hi\""_s}) {
        StreamRecorder named(0);
        ASSERT_EQ(named.start(names.path(), name, u"mp3"_s, at, 0), QString());
        named.write("x");
        EXPECT_EQ(named.finish(), QString());
    }
    const QDir folder(names.path());
    for (const QString& file : folder.entryList(QDir::Files)) {
        EXPECT_LE(QFile::encodeName(file).size(), 255);
        EXPECT_FALSE(file.contains(QChar::ReplacementCharacter));
        if (file.endsWith(u".cue"_s)) {
            QFile cueFile(folder.filePath(file));
            ASSERT_TRUE(cueFile.open(QIODevice::ReadOnly));
            const QString named =
                QString::fromUtf8(cueFile.readAll()).section(u"FILE \""_s, 1).section(u'"', 0, 0);
            EXPECT_TRUE(folder.exists(named)) << named.toStdString();
        }
    }
    EXPECT_EQ(folder.entryList(QDir::Files).size(), 8);
    EXPECT_EQ(StreamRecorder::extensionFor("audio/aacp; charset=x"), u"aac"_s);
}

// What a player that ended while recording left behind gets its final name, beside any file of
// that name, and its cue sheet names it; what a running recorder writes is left alone.
TEST(StreamRecorderTest, RecordingLeftBehindIsFinishedUnlessARecorderWritesIt) {
    QTemporaryDir music;
    const QDir folder(music.path());
    const auto put = [&](const QString& name, const QByteArray& content) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    ASSERT_TRUE(put(u"Kestrel 2026-12-08 15-00 (recording).mp3"_s, "audio"));
    ASSERT_TRUE(put(u"Kestrel 2026-12-08 15-00.mp3"_s, "older"));
    ASSERT_TRUE(
        put(u"Kestrel 2026-12-08 15-00.cue"_s,
            "PERFORMER \"Kestrel\"\nFILE \"Kestrel 2026-12-08 15-00 (recording).mp3\" MP3\n"));
    StreamRecorder running(0);
    ASSERT_EQ(running.start(music.path(), u"Live"_s, u"mp3"_s, QDateTime::currentDateTime(), 0),
              QString());
    const QString left = u"Kestrel 2026-12-08 15-00 (2).mp3"_s;
    EXPECT_EQ(StreamRecorder::finishLeftBehind(music.path()), QStringList{folder.filePath(left)});
    QFile cue(folder.filePath(u"Kestrel 2026-12-08 15-00 (2).cue"_s));
    ASSERT_TRUE(cue.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cue.readAll().contains("FILE \"" + left.toUtf8() + "\" MP3"));
    EXPECT_FALSE(folder.exists(u"Kestrel 2026-12-08 15-00.cue"_s));
    EXPECT_TRUE(running.isRecording());
    EXPECT_EQ(running.finish(), QString());
    EXPECT_EQ(folder.entryList({u"*(recording)*"_s}), QStringList());
    EXPECT_EQ(StreamRecorder::extensionFor("video/mp4"), QString());
}

// --- CushionGovernor ------------------------------------------------------------------------

// The rate is slow until the cushion reaches its target, then the stream's own for as long
// as the connection lasts (slowing down again while playing would cost a moment of silence);
// the target shrinks to what the buffer can hold.
TEST(CushionGovernorTest, GrowsToTheTargetThenPlaysAtTheStreamsPace) {
    constexpr int kRate = 16000;  // bytes a second, as declared
    constexpr std::size_t kBuffer = 1024 * 1024;
    struct Step {
        int cushionMs;
        std::size_t capacity;
        double rate;
    };
    const Step steps[] = {
        {0, kBuffer, 0.95},      // the start: growing
        {19900, kBuffer, 0.95},  // short of 20 s
        {20000, kBuffer, 1.0},   // there
        {2000, kBuffer, 1.0},    // a stall took most of it: the held bytes will come
    };
    CushionGovernor governor;
    for (const Step& step : steps) {
        CushionGovernor::Look look;
        look.bufferedBytes = static_cast<std::size_t>(step.cushionMs) * kRate / 1000;
        look.capacityBytes = step.capacity;
        look.declaredBytesPerSecond = kRate;
        EXPECT_EQ(governor.update(look), step.rate) << step.cushionMs << " ms";
        EXPECT_EQ(governor.cushion().count(), step.cushionMs);
    }
    governor.reset();
    CushionGovernor::Look small;
    small.capacityBytes = 160000;  // 10 s: its 80 % is the target
    small.declaredBytesPerSecond = kRate;
    small.bufferedBytes = 7900 * kRate / 1000;
    EXPECT_EQ(governor.update(small), 0.95);
    small.bufferedBytes = 8000 * kRate / 1000;
    EXPECT_EQ(governor.update(small), 1.0);
    governor.reset();
    CushionGovernor::Look full;
    full.bufferedBytes = kBuffer;
    full.capacityBytes = kBuffer;
    EXPECT_EQ(governor.update(full), 1.0) << "a full buffer holds, whatever the rate";
}

// Without a declared rate, the rate is learnt from what plays, leaving out the start, when the
// media library reads ahead.
TEST(CushionGovernorTest, LearnsTheByteRateFromWhatPlays) {
    CushionGovernor governor;
    const auto look = [&](std::int64_t ms, std::uint64_t bytes) {
        CushionGovernor::Look at;
        at.playedMs = ms;
        at.readBytes = bytes;
        at.bufferedBytes = 48000;
        at.capacityBytes = 1024 * 1024;
        governor.update(at);
        return governor.bytesPerSecond();
    };
    EXPECT_EQ(look(1000, 90000), 16000) << "assumed at first";
    EXPECT_EQ(look(3000, 100000), 16000);
    EXPECT_EQ(look(6000, 172000), 16000) << "not yet measured over long enough";
    EXPECT_EQ(look(8000, 220000), 24000);
    EXPECT_EQ(governor.cushion().count(), 2000);
    EXPECT_EQ(look(500, 1000), 24000) << "time that goes back is a new start, not a rate";
}

}  // namespace
}  // namespace lyrevane::testing
