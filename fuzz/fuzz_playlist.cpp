// Whatever a server sends as a playlist is read without fault, within the entry cap, and the
// sniffers that decide what an answer is never fail on it either.
#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

#include "net/playlistformat.h"

using namespace lyrevane::playlistformat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    constexpr qsizetype kCap = 16;
    const Parsed parsed = parse(body, kCap);
    if (parsed.entries.size() > kCap) {
        std::abort();
    }
    for (const QString& entry : parsed.entries) {
        if (entry.isEmpty() || entry != entry.trimmed()) {
            std::abort();
        }
    }
    // The first line as a content type, the body as a head and its first line as a URL.
    const QByteArray firstLine = body.left(body.indexOf('\n'));
    (void)classifyContentType(firstLine);
    (void)looksLikePlaylist(body);
    (void)hasPlaylistExtension(QUrl(QString::fromUtf8(firstLine)));
    return 0;
}
