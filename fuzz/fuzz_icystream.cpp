// A stream from a radio server, read as the player reads it: the metadata comes out the same
// however the bytes are sliced, titles decode from any bytes, and a frame found in the audio
// is a frame.
#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

#include "engine/nowplaying.h"
#include "net/icyreader.h"
#include "net/mpegaudio.h"

namespace {

struct Read {
    QByteArray audio;
    QList<QByteArray> blocks;
};

Read readAll(qint64 metaint, QByteArrayView stream, qsizetype cut) {
    lyrevane::IcyReader reader(metaint);
    Read read;
    const auto onBlock = [&read](QByteArrayView block) {
        read.blocks.append(block.toByteArray());
        (void)lyrevane::streamTitleFromIcyBlock(block);
        (void)lyrevane::decodeIcyText(block);
    };
    reader.feed(stream.first(cut), read.audio, onBlock);
    reader.feed(stream.sliced(cut), read.audio, onBlock);
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const qint64 metaint = (qint64(data[0]) << 8 | data[1]) % 300;
    const QByteArrayView stream(reinterpret_cast<const char*>(data) + 3, qsizetype(size - 3));
    const qsizetype cut = stream.isEmpty() ? 0 : qsizetype(data[2]) % (stream.size() + 1);
    const Read whole = readAll(metaint, stream, 0);
    const Read sliced = readAll(metaint, stream, cut);
    if (whole.audio != sliced.audio || whole.blocks != sliced.blocks) {
        std::abort();
    }
    if (whole.audio.size() > stream.size()) {
        std::abort();
    }
    const qsizetype first = lyrevane::mpegaudio::firstFrame(whole.audio);
    if (first >= 0) {
        const int length = lyrevane::mpegaudio::frameLength(whole.audio.sliced(first));
        if (length <= 0 ||
            lyrevane::mpegaudio::frameLength(whole.audio.sliced(first + length)) <= 0) {
            std::abort();
        }
    }
    return 0;
}
