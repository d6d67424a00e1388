#include "rules/percentescapes.h"

#include <QByteArray>
#include <QStringList>

namespace lyrevane {

namespace {

// Length of the well-formed UTF-8 sequence starting at bytes[i], or 0 when there is none
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
qsizetype utf8SequenceLength(const QByteArray& bytes, qsizetype i) {
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    if (at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (qsizetype k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Appends a run of decoded bytes: valid UTF-8 as characters, anything else as `malformed`
// says.
void flushBytes(QString& out, QByteArray& bytes, QStringList& escapes, MalformedEscapes malformed) {
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = utf8SequenceLength(bytes, i);
        if (length == 0) {
            out += malformed == MalformedEscapes::KeepAsWritten
                       ? escapes[i]
                       : QString(QChar::ReplacementCharacter);
            ++i;
        } else {
            out += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    bytes.clear();
    escapes.clear();
}

}  // namespace

int hexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

QString decodePercentEscapes(const QString& text, MalformedEscapes malformed) {
    QString out;
    out.reserve(text.size());
    QByteArray bytes;
    QStringList escapes;
    qsizetype i = 0;
    while (i < text.size()) {
        const int high = i + 2 < text.size() ? hexDigitValue(text[i + 1].unicode()) : -1;
        const int low = high >= 0 ? hexDigitValue(text[i + 2].unicode()) : -1;
        if (text[i] == u'%' && low >= 0) {
            bytes.append(char(high * 16 + low));
            escapes.append(text.mid(i, 3));
            i += 3;
            continue;
        }
        flushBytes(out, bytes, escapes, malformed);
        out += text[i];
        ++i;
    }
    flushBytes(out, bytes, escapes, malformed);
    return out;
}

}  // namespace lyrevane
