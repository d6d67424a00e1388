#include "net/mediasniff.h"

#include "net/hlsrewrite.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>

namespace lyrevane::mediasniff {

namespace {

// How much of a text is searched for the names of manifests.
constexpr qsizetype kTextWindow = 1024;

// The length of the ID3v2 or APE tag `data` begins with, 0 when it begins with none, -1 when
// too few bytes are there to tell.
qsizetype tagLength(QByteArrayView data) {
    if (data.startsWith("ID3")) {
        if (data.size() < 10) {
            return -1;
        }
        qsizetype size = 0;
        for (int i = 6; i < 10; ++i) {
            size = (size << 7) | (static_cast<unsigned char>(data.at(i)) & 0x7f);
        }
        const bool footer = (static_cast<unsigned char>(data.at(5)) & 0x10) != 0;
        return 10 + size + (footer ? 10 : 0);
    }
    if (data.startsWith("APETAGEX")) {
        if (data.size() < 32) {
            return -1;
        }
        quint32 size = 0;
        for (int i = 15; i >= 12; --i) {
            size = (size << 8) | static_cast<unsigned char>(data.at(i));
        }
        return 32 + static_cast<qsizetype>(size);
    }
    const bool partial = (!data.isEmpty() && QByteArrayView("ID3").startsWith(data)) ||
                         (!data.isEmpty() && QByteArrayView("APETAGEX").startsWith(data));
    return partial ? -1 : 0;
}

bool isCompressed(QByteArrayView data) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(data.at(i)); };
    if (data.size() < 2) {
        return false;
    }
    const bool zlib =
        (byte(0) & 0x0f) == 8 && (byte(0) >> 4) <= 7 && ((byte(0) << 8) | byte(1)) % 31 == 0;
    return zlib || data.startsWith("\x1f\x8b") || data.startsWith("BZh") ||
           data.startsWith(
               "\xfd"
               "7zXZ");
}

// A manifest libVLC reads with its own fetching: DASH, Smooth Streaming, HDS, SDP.
bool isManifest(QByteArrayView data) {
    QByteArray lower = data.first(std::min(data.size(), kTextWindow)).toByteArray().toLower();
    if (lower.startsWith("\xff\xfe") || lower.startsWith("\xfe\xff")) {
        lower.remove(0, 2);  // UTF-16: the names are ASCII
        lower.removeIf([](char c) { return c == '\0'; });
    } else if (lower.startsWith("\xef\xbb\xbf")) {
        lower.remove(0, 3);
    }
    const QByteArray start = lower.trimmed();
    if (start.startsWith("v=0")) {
        return true;
    }
    if (!start.startsWith('<')) {
        return false;
    }
    static constexpr std::array<const char*, 3> kRoots{"<mpd", "<smoothstreamingmedia",
                                                       "<manifest"};
    return std::any_of(kRoots.cbegin(), kRoots.cend(),
                       [&](const char* root) { return lower.contains(root); });
}

}  // namespace

Kind sniff(QByteArrayView head, bool complete) {
    qsizetype at = 0;
    while (true) {
        const qsizetype length = tagLength(head.sliced(at));
        if (length < 0) {
            return complete ? Kind::Media : Kind::NeedMore;
        }
        if (length == 0) {
            break;
        }
        at += length;
        if (at >= kLimit) {
            return Kind::Unsafe;
        }
        if (at >= head.size()) {
            return complete ? Kind::Media : Kind::NeedMore;
        }
    }
    const QByteArrayView rest = head.sliced(at);
    const bool more = !complete && head.size() < kLimit;
    if (more && rest.size() < 8) {
        return Kind::NeedMore;
    }
    if (isCompressed(rest)) {
        return Kind::Compressed;
    }
    switch (hls::sniff(rest, !more)) {
        case hls::Sniff::Index:
            return Kind::Index;
        case hls::Sniff::NeedMore:
            return Kind::NeedMore;
        case hls::Sniff::NotIndex:
            break;
    }
    if (more && rest.size() < kTextWindow &&
        (rest.trimmed().startsWith('<') || rest.startsWith("\xff\xfe") ||
         rest.startsWith("\xfe\xff"))) {
        return Kind::NeedMore;
    }
    return isManifest(rest) ? Kind::Unsafe : Kind::Media;
}

bool isEncoded(const QByteArray& contentEncoding) {
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    return !encoding.isEmpty() && encoding != "identity";
}

QString compressedLine() {
    return QStringLiteral("the server sends compressed data that is not audio");
}

}  // namespace lyrevane::mediasniff
