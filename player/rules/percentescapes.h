#pragma once

#include <QString>

namespace lyrevane {

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1.
int hexDigitValue(char16_t c);

// What becomes of decoded bytes that are no well-formed UTF-8.
enum class MalformedEscapes {
    KeepAsWritten,  // the escape text stays, so the text still names the same bytes
    Replace,        // U+FFFD, as a network stack reading the bytes would see them
};

// Replaces every "%" followed by two hex digits by that byte; runs of decoded bytes that
// form UTF-8 become those characters. "+" stays "+"; a "%" without two hex digits stays as it
// is. One pass: "%2541" becomes "%41".
QString decodePercentEscapes(const QString& text, MalformedEscapes malformed);

}  // namespace lyrevane
