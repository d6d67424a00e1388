#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Fixed text forms of typed settings values, and the name-list encoding.
// Readers return nullopt for text that does not convert or does not fit; callers
// then use their default, so a bad stored value never replaces the user's data.
namespace lyrevane {

QString formatBool(bool value);
// "True"/"False" in any letter case, or a number (zero is false, anything else true).
std::optional<bool> parseBool(QStringView text);

// A decimal number with "." or "," as separator and an optional exponent.
std::optional<double> parseNumber(QStringView text);

// Numbers rounded to the nearest whole number (a half goes to the even neighbour),
// refused when the result does not fit.
std::optional<qint16> parseInt16(QStringView text);
std::optional<qint32> parseInt32(QStringView text);

// The shortest text that reads back to the same single-precision value ("1.47").
QString formatSingle(float value);
std::optional<float> parseSingle(QStringView text);

// Ordered names in one value, joined by "$!" without escaping.
inline constexpr QStringView kNameSeparator = u"$!";
QString joinNames(const QStringList& names);
// Splits at every separator; the empty text gives no names, empty pieces are kept.
QStringList splitNames(const QString& text);

}  // namespace lyrevane
