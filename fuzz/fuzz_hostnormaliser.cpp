// Reading hosts out of any text never fails, and a normalised host reads as itself.
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "rules/hostnormaliser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString host = lyrevane::NormaliseHost(text);
    if (lyrevane::NormaliseHost(host) != host) {
        std::abort();
    }
    for (const QString& found : lyrevane::HostsOf(text)) {
        if (found.isEmpty() || lyrevane::NormaliseHost(found) != found) {
            std::abort();
        }
        if (!lyrevane::HostIsWithin(found, found)) {
            std::abort();
        }
    }
    return 0;
}
