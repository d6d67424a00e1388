#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace lyrevane::testing {

// The refused address the hostile tests' witness listens on: 127.0.0.2, or the address in
// LYREVANE_TEST_WITNESS (the strace check runs them with 192.0.2.17 on a private loopback).
inline QString witnessAddress() {
    const QString set = qEnvironmentVariable("LYREVANE_TEST_WITNESS");
    return set.isEmpty() ? QStringLiteral("127.0.0.2") : set;
}

// `data` as zlib data (RFC 1950) and as gzip data (RFC 1952).
inline QByteArray zlibbed(const QByteArray& data) {
    return qCompress(data, 9).mid(4);
}
inline QByteArray gzipped(const QByteArray& data) {
    std::uint32_t crc = 0xffffffffU;
    for (const char byte : data) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320U & (0U - (crc & 1U)));
        }
    }
    crc ^= 0xffffffffU;
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    out += zlibbed(data).mid(2).chopped(4);
    for (const std::uint32_t word : {crc, static_cast<std::uint32_t>(data.size())}) {
        for (int shift = 0; shift < 32; shift += 8) {
            out += static_cast<char>((word >> shift) & 0xffU);
        }
    }
    return out;
}

// An HLS index whose segments are at `authority` ("host:port").
inline QByteArray indexOn(const QString& authority) {
    const QByteArray at = "#EXTINF:1,\nhttp://" + authority.toUtf8();
    return "#EXTM3U\n#EXT-X-TARGETDURATION:1\n" + at + "/seg0.ts\n" + at + "/seg1.ts\n";
}

}  // namespace lyrevane::testing
