#include "common/typedvalues.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace lyrevane {

QString formatBool(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> parseBool(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (trimmed.compare(u"true", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (trimmed.compare(u"false", Qt::CaseInsensitive) == 0) {
        return false;
    }
    if (const auto number = parseNumber(trimmed)) {
        return *number != 0.0;
    }
    return std::nullopt;
}

std::optional<double> parseNumber(QStringView text) {
    const QStringView t = text.trimmed();
    // Hand-checked grammar: [sign] digits [sep digits] | [sign] sep digits, then [e[sign]digits].
    std::string ascii;
    ascii.reserve(std::size_t(t.size()));
    qsizetype i = 0;
    auto peek = [&]() -> char16_t { return i < t.size() ? t[i].unicode() : u'\0'; };
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    if (peek() == u'+' || peek() == u'-') {
        if (peek() == u'-') {
            ascii.push_back('-');  // from_chars takes no plus sign
        }
        ++i;
    }
    int digits = 0;
    while (isDigit(peek())) {
        ascii.push_back(char(peek()));
        ++i;
        ++digits;
    }
    if (peek() == u'.' || peek() == u',') {
        ascii.push_back('.');
        ++i;
        while (isDigit(peek())) {
            ascii.push_back(char(peek()));
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (peek() == u'e' || peek() == u'E') {
        ascii.push_back('e');
        ++i;
        if (peek() == u'+' || peek() == u'-') {
            ascii.push_back(char(peek()));
            ++i;
        }
        int expDigits = 0;
        while (isDigit(peek()) && expDigits < 6) {
            ascii.push_back(char(peek()));
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != t.size()) {
        return std::nullopt;
    }
    // from_chars ignores the C library's numeric locale (strtod would stop at "." under a
    // comma-decimal locale); the grammar above fixes "." as the separator.
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

namespace {

// The single-precision value of plain decimal text, whatever the C numeric locale.
std::optional<float> readsBackAs(const QString& text) {
    const QByteArray ascii = text.toLatin1();
    float value = 0.0F;
    const auto [end, error] =
        std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (error != std::errc() || end != ascii.constData() + ascii.size()) {
        return std::nullopt;
    }
    return value;
}

template <typename Int>
std::optional<Int> parseWhole(QStringView text) {
    const auto number = parseNumber(text);
    if (!number) {
        return std::nullopt;
    }
    // nearbyint rounds half to even in the default rounding mode.
    const double rounded = std::nearbyint(*number);
    if (rounded < double(std::numeric_limits<Int>::min()) ||
        rounded > double(std::numeric_limits<Int>::max())) {
        return std::nullopt;
    }
    return Int(rounded);
}

}  // namespace

std::optional<qint16> parseInt16(QStringView text) {
    return parseWhole<qint16>(text);
}
std::optional<qint32> parseInt32(QStringView text) {
    return parseWhole<qint32>(text);
}

QString formatSingle(float value) {
    if (!std::isfinite(value)) {
        return QStringLiteral("0");
    }
    // Plain decimal text (never an exponent) with the fewest decimals that read back.
    for (int decimals = 0; decimals <= 60; ++decimals) {
        const QString text = QString::number(double(value), 'f', decimals);
        if (readsBackAs(text) == value) {
            return text;
        }
    }
    return QString::number(double(value), 'f', 60);
}

std::optional<float> parseSingle(QStringView text) {
    const auto number = parseNumber(text);
    if (!number || std::fabs(*number) > double(std::numeric_limits<float>::max())) {
        return std::nullopt;
    }
    return float(*number);
}

QString joinNames(const QStringList& names) {
    return names.join(kNameSeparator.toString());
}

QStringList splitNames(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    return text.split(kNameSeparator.toString(), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

}  // namespace lyrevane
