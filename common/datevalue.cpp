#include "common/datevalue.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::datevalue {

namespace {

constexpr qint64 kMsPerDay = 86'400'000;
// Points that a date value can name: 100-01-01 00:00 to 9999-12-31 23:59:59.
constexpr double kLastSecond = 86399.0 / 86400.0;
constexpr double kMinValue = -657434.0 - kLastSecond;
constexpr double kMaxValue = 2958465.0 + kLastSecond;

// A point in time as milliseconds from the reference midnight: linear, so that
// minutes can be added across the reference day.
qint64 toLinear(double value) {
    // Out-of-range values (never produced by parse()) are clamped, never overflowed.
    if (!(value >= kMinValue)) {
        value = kMinValue;
    } else if (value > kMaxValue) {
        value = kMaxValue;
    }
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    return qint64(whole) * kMsPerDay + qint64(std::llround(fraction * double(kMsPerDay)));
}

double fromLinear(qint64 ms) {
    qint64 days = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    const double fraction = double(rest) / double(kMsPerDay);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

}  // namespace

QDate referenceDay() {
    return QDate(1899, 12, 30);
}

double fromParts(QDate day, QTime time) {
    const qint64 days = referenceDay().daysTo(day);
    const qint64 ms = time.isValid() ? time.msecsSinceStartOfDay() : 0;
    return fromLinear(days * kMsPerDay + ms);
}

double fromDate(QDate day) {
    return fromParts(day, QTime(0, 0));
}

double timeOfDay(const QDateTime& moment) {
    return fromParts(referenceDay(), moment.time());
}

QDate datePart(double value) {
    const qint64 ms = toLinear(value);
    qint64 days = ms / kMsPerDay;
    if (ms % kMsPerDay < 0) {
        --days;
    }
    return referenceDay().addDays(days);
}

QTime timePart(double value) {
    qint64 rest = toLinear(value) % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
    }
    return QTime::fromMSecsSinceStartOfDay(int(rest));
}

double addMinutes(double value, double minutes) {
    return fromLinear(toLinear(value) + qint64(std::llround(minutes * 60'000.0)));
}

double truncated(double value) {
    return std::trunc(value);
}

int weekday(double value) {
    return datePart(value).dayOfWeek() % 7 + 1;  // Qt: Monday 1 .. Sunday 7
}

QString format(double value) {
    // Shown to the second, rounded as the general-date form does.
    qint64 ms = toLinear(value) + 500;
    qint64 seconds = ms / 1000;
    if (ms % 1000 < 0) {
        --seconds;  // floor division
    }
    const double rounded = fromLinear(seconds * 1000);
    const QDate day = datePart(rounded);
    const QTime time = timePart(rounded);
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    const QString timeText = QStringLiteral("%1:%2:%3 %4")
                                 .arg(hour12)
                                 .arg(time.minute(), 2, 10, QLatin1Char('0'))
                                 .arg(time.second(), 2, 10, QLatin1Char('0'))
                                 .arg(time.hour() < 12 ? u"AM" : u"PM");
    const QString dateText =
        QStringLiteral("%1/%2/%3").arg(day.month()).arg(day.day()).arg(day.year());
    if (day == referenceDay()) {
        return timeText;
    }
    if (time == QTime(0, 0)) {
        return dateText;
    }
    return dateText + QChar(u' ') + timeText;
}

namespace {

// A tiny cursor over the text; every accepted form is checked field by field.
struct Cursor {
    QStringView text;
    qsizetype pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    bool take(char16_t c) {
        if (!atEnd() && text[pos].unicode() == c) {
            ++pos;
            return true;
        }
        return false;
    }
    // Reads minDigits..maxDigits ASCII digits.
    std::optional<int> number(int minDigits, int maxDigits) {
        int value = 0;
        int count = 0;
        while (!atEnd() && count < maxDigits) {
            const char16_t c = text[pos].unicode();
            if (c < u'0' || c > u'9') {
                break;
            }
            value = value * 10 + (c - u'0');
            ++pos;
            ++count;
        }
        if (count < minDigits) {
            return std::nullopt;
        }
        return value;
    }
    void skipSpaces() {
        while (!atEnd() && text[pos].unicode() == u' ') {
            ++pos;
        }
    }
};

// "h:mm[:ss][.fff]" followed by an optional AM/PM marker.
std::optional<QTime> parseTime(Cursor& c) {
    const auto hour = c.number(1, 2);
    if (!hour || !c.take(u':')) {
        return std::nullopt;
    }
    const auto minute = c.number(2, 2);
    if (!minute) {
        return std::nullopt;
    }
    int second = 0;
    int ms = 0;
    if (c.take(u':')) {
        const auto s = c.number(2, 2);
        if (!s) {
            return std::nullopt;
        }
        second = *s;
        if (c.take(u'.')) {
            const qsizetype start = c.pos;
            const auto fraction = c.number(1, 3);
            if (!fraction) {
                return std::nullopt;
            }
            const qsizetype digits = c.pos - start;
            ms = *fraction * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
        }
    }
    int h = *hour;
    const qsizetype beforeMarker = c.pos;
    c.skipSpaces();
    const QStringView rest = c.text.mid(c.pos, 2);
    if (rest.compare(u"AM", Qt::CaseInsensitive) == 0 ||
        rest.compare(u"PM", Qt::CaseInsensitive) == 0) {
        if (h < 1 || h > 12) {
            return std::nullopt;
        }
        const bool pm = rest.compare(u"PM", Qt::CaseInsensitive) == 0;
        h = h % 12 + (pm ? 12 : 0);
        c.pos += 2;
    } else {
        c.pos = beforeMarker;
    }
    const QTime time(h, *minute, second, ms);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return time;
}

bool validYear(int year) {
    return year >= 100 && year <= 9999;
}

// The day "yyyy-mm-dd" (iso) or "M/d/yyyy" names at the cursor, when it is a real one.
std::optional<QDate> parseDay(Cursor& c, bool iso) {
    const char16_t separator = iso ? u'-' : u'/';
    std::optional<int> y;
    std::optional<int> m;
    std::optional<int> d;
    if (iso) {
        y = c.number(4, 4);
        m = c.take(separator) ? c.number(2, 2) : std::nullopt;
        d = c.take(separator) ? c.number(2, 2) : std::nullopt;
    } else {
        m = c.number(1, 2);
        d = c.take(separator) ? c.number(1, 2) : std::nullopt;
        // Years before 1000 are written with three digits.
        y = c.take(separator) ? c.number(3, 4) : std::nullopt;
    }
    if (!y || !m || !d || !validYear(*y)) {
        return std::nullopt;
    }
    const QDate day(*y, *m, *d);
    if (!day.isValid()) {
        return std::nullopt;
    }
    return day;
}

}  // namespace

std::optional<double> parse(QStringView text) {
    Cursor c{text.trimmed()};
    if (c.text.isEmpty()) {
        return std::nullopt;
    }
    // ISO: yyyy-mm-dd, optionally followed by 'T' or ' ' and a 24-hour time.
    // US: M/d/yyyy, optionally followed by a space and a time.
    const bool iso = c.text.size() >= 10 && c.text[4].unicode() == u'-';
    if (iso || c.text.indexOf(u'/') >= 0) {
        const auto day = parseDay(c, iso);
        if (!day) {
            return std::nullopt;
        }
        if (c.atEnd()) {
            return fromDate(*day);
        }
        std::optional<QTime> time;
        if (iso) {
            if (!c.take(u'T') && !c.take(u' ')) {
                return std::nullopt;
            }
            const qsizetype timeStart = c.pos;
            time = parseTime(c);
            if (c.text.mid(timeStart).contains(u'M', Qt::CaseInsensitive)) {
                return std::nullopt;
            }
        } else {
            if (!c.take(u' ')) {
                return std::nullopt;
            }
            c.skipSpaces();
            time = parseTime(c);
        }
        if (!time || !c.atEnd()) {
            return std::nullopt;
        }
        return fromParts(*day, *time);
    }
    // A time alone lies on the reference day.
    const auto time = parseTime(c);
    if (!time || !c.atEnd()) {
        return std::nullopt;
    }
    return fromParts(referenceDay(), *time);
}

}  // namespace lyrevane::datevalue
