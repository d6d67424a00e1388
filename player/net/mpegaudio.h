#pragma once

#include <QByteArrayView>

namespace lyrevane::mpegaudio {

// The length in bytes of the MPEG audio frame whose header starts `data`, or 0 when `data`
// does not start with a valid header (MPEG 1, 2 or 2.5, layers I to III; free bit rate is
// not taken).
int frameLength(QByteArrayView data);

// The bit rate in kbit/s of the frame whose header starts `data`, or 0.
int bitRate(QByteArrayView data);

// Where the first frame starts that is followed by a second valid frame: a live stream
// joined in the middle begins with the rest of a frame, which readers that look for a frame
// at the very start refuse. -1 when `data` is too short to tell yet.
qsizetype firstFrame(QByteArrayView data);

}  // namespace lyrevane::mpegaudio
