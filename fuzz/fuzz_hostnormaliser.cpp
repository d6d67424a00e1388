// Reading hosts out of any text never fails, and a normalised host reads as itself.
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "rules/hostnormaliser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString host = lyrevane::normaliseHost(text);
    if (lyrevane::normaliseHost(host) != host) {
        std::abort();
    }
    for (const QString& found : lyrevane::hostsOf(text)) {
        if (found.isEmpty() || lyrevane::normaliseHost(found) != found) {
            std::abort();
        }
        if (!lyrevane::hostIsWithin(found, found)) {
            std::abort();
        }
    }
    return 0;
}
