#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// Date values: a count of days from 1899-12-30 00:00 whose fraction is the time of day.
// For a point d whole days before the reference day at time of day t the value is
// -(d + t), so the fraction always counts forward from midnight (1899-12-29 06:00 is -1.25).
namespace lyrevane::datevalue {

inline constexpr double kNever = 2.0;  // 1900-01-01, "never active"

QDate referenceDay();

// Encodes a calendar day and time of day (whole milliseconds).
double fromParts(QDate day, QTime time);
double fromDate(QDate day);
// The time of day of `moment` as a value on the reference day, in [0, 1).
double timeOfDay(const QDateTime& moment);

QDate datePart(double value);
QTime timePart(double value);
// Adds (or with a negative count subtracts) minutes to the point in time.
double addMinutes(double value, double minutes);
// The whole part, truncated towards zero (-1.9979 gives -1).
double truncated(double value);
// 1 for Sunday up to 7 for Saturday.
int weekday(double value);

// Fixed US-English general-date text, independent of the user's locale:
// "3:00:00 PM" (reference day), "12/6/2026" (midnight), "12/31/1899 1:00:00 AM".
QString format(double value);
// Accepts format()'s output, "00:00:00", "1/1/1900", 24-hour times ("15:00", "15:00:00"),
// "3:00 PM", ISO dates and ISO date-times; refuses everything else.
std::optional<double> parse(QStringView text);

}  // namespace lyrevane::datevalue
