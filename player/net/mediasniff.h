#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace lyrevane::mediasniff {

// What the first bytes of an answer are, as libVLC would take them: libVLC looks at bytes,
// not at the declared type, and some of what it recognises it fetches from by itself.
enum class Kind {
    NeedMore,    // too few bytes yet to tell
    Media,       // none of the below: libVLC may read it as it is
    Index,       // an M3U index ("#EXTM3U"): read and rewritten by the gateway, never passed on
    Compressed,  // gzip, zlib, bzip2 or xz: libVLC would unpack it itself and look again
    // A DASH, Smooth Streaming or HDS manifest or a session description: libVLC would fetch
    // what it names itself; or leading tags longer than the bytes looked at.
    Unsafe,
};

// Looks past leading ID3v2 and APE tags, as libVLC does, at what follows them.
// `complete`: nothing more will come. Never needs more than kLimit bytes to decide.
Kind sniff(QByteArrayView head, bool complete);
constexpr qsizetype kLimit = 1024 * 1024;

// Whether a Content-Encoding says the body is compressed ("identity" and none say not).
bool isEncoded(const QByteArray& contentEncoding);
// Why compressed data is not played, as a failure line of the media input.
QString compressedLine();

}  // namespace lyrevane::mediasniff
