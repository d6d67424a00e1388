// The date parser never crashes, and whatever it accepts formats to a text that it
// accepts again with the same value (to the second).
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "common/datevalue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace dv = lyrevane::datevalue;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto value = dv::parse(text);
    if (!value) {
        return 0;
    }
    const QString formatted = dv::format(*value);
    const auto again = dv::parse(formatted);
    if (!again || dv::format(*again) != formatted || std::fabs(*again - *value) > 1.0 / 86400.0) {
        std::abort();
    }
    (void)dv::addMinutes(*value, -32768);
    (void)dv::weekday(*value);
    return 0;
}
