// The typed-value readers never crash, accepted integers are in range, and a written
// single reads back to the same value.
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "common/typedvalues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)lyrevane::parseBool(text);
    (void)lyrevane::parseInt16(text);
    (void)lyrevane::parseInt32(text);
    const auto number = lyrevane::parseNumber(text);
    if (number && !std::isfinite(*number)) {
        std::abort();
    }
    if (const auto single = lyrevane::parseSingle(text)) {
        if (lyrevane::parseSingle(lyrevane::formatSingle(*single)) != *single) {
            std::abort();
        }
    }
    return 0;
}
