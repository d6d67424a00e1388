#include "net/mpegaudio.h"

#include <array>
#include <optional>

namespace lyrevane::mpegaudio {

namespace {

// kbit/s by [MPEG 1?][layer I, II, III][index 1..14].
constexpr std::array<std::array<std::array<int, 15>, 3>, 2> kBitRates{{
    {{
        // MPEG 2 and 2.5
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    }},
    {{
        // MPEG 1
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    }},
}};

// Hz by [version bits][index]; version 1 is reserved.
constexpr std::array<std::array<int, 3>, 4> kSampleRates{{
    {11025, 12000, 8000},
    {0, 0, 0},
    {22050, 24000, 16000},
    {44100, 48000, 32000},
}};

}  // namespace

namespace {

struct Header {
    int layer = 0;
    bool mpeg1 = false;
    int bitRate = 0;  // bit/s
    int sampleRate = 0;
    int padding = 0;
};

std::optional<Header> parse(QByteArrayView data) {
    if (data.size() < 4) {
        return std::nullopt;
    }
    const auto b1 = static_cast<unsigned char>(data[1]);
    const auto b2 = static_cast<unsigned char>(data[2]);
    if (static_cast<unsigned char>(data[0]) != 0xFF || (b1 & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int version = (b1 >> 3) & 3;
    const int layerBits = (b1 >> 1) & 3;
    const int bitRateIndex = b2 >> 4;
    const int sampleRateIndex = (b2 >> 2) & 3;
    if (version == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 ||
        sampleRateIndex == 3) {
        return std::nullopt;
    }
    Header header;
    header.layer = 4 - layerBits;  // 1, 2 or 3
    header.mpeg1 = version == 3;
    header.bitRate = kBitRates[header.mpeg1 ? 1 : 0][header.layer - 1][bitRateIndex] * 1000;
    header.sampleRate = kSampleRates[version][sampleRateIndex];
    header.padding = (b2 >> 1) & 1;
    return header;
}

}  // namespace

int bitRate(QByteArrayView data) {
    const std::optional<Header> header = parse(data);
    return header ? header->bitRate / 1000 : 0;
}

int frameLength(QByteArrayView data) {
    const std::optional<Header> header = parse(data);
    if (!header) {
        return 0;
    }
    if (header->layer == 1) {
        return (12 * header->bitRate / header->sampleRate + header->padding) * 4;
    }
    const int perFrame = header->layer == 3 && !header->mpeg1 ? 72 : 144;
    return perFrame * header->bitRate / header->sampleRate + header->padding;
}

qsizetype firstFrame(QByteArrayView data) {
    for (qsizetype i = 0; i + 4 <= data.size(); ++i) {
        const int length = frameLength(data.sliced(i));
        if (length == 0) {
            continue;
        }
        if (i + length + 4 > data.size()) {
            return -1;  // the next header has not arrived yet
        }
        if (frameLength(data.sliced(i + length)) != 0) {
            return i;
        }
    }
    return -1;
}

}  // namespace lyrevane::mpegaudio
