// Splitting any text and joining the pieces gives the text back.
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "common/typedvalues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList names = lyrevane::splitNames(text);
    if (lyrevane::joinNames(names) != text) {
        std::abort();
    }
    if (text.isEmpty() != names.isEmpty()) {
        std::abort();
    }
    return 0;
}
