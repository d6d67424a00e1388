// Whatever a server sends as an HLS index is rewritten without fault: every URI in the result
// is one the gateway made, within the URI cap, and the sniffers decide on any first bytes.
#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "net/hlsrewrite.h"
#include "net/mediasniff.h"

using namespace lyrevane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)hls::sniff(body, true);
    (void)hls::sniff(body, false);
    (void)hls::isIndexType(body.left(body.indexOf('\n')));
    // Once all is there, the kind is known.
    if (mediasniff::sniff(body, true) == mediasniff::Kind::NeedMore) {
        std::abort();
    }
    (void)mediasniff::sniff(body, false);
    constexpr int kCap = 8;
    int made = 0;
    const auto replace = [&made](const QString&) {
        ++made;
        return QStringLiteral("http://127.0.0.1:1/t/x");
    };
    const std::optional<QByteArray> index =
        hls::rewrite(body, QUrl(QStringLiteral("http://a.example/i/index.m3u8")), replace, kCap);
    if (!index) {
        if (made != kCap) {
            std::abort();  // given up only on the URI past the cap
        }
        return 0;
    }
    // Outside tags, every line is blank, a comment, or the gateway's address.
    for (const QByteArray& line : index->split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith('#') && trimmed != "http://127.0.0.1:1/t/x") {
            std::abort();
        }
    }
    return 0;
}
