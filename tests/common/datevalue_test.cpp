#include "common/datevalue.h"

#include <gtest/gtest.h>

#include <QLocale>

using namespace Qt::Literals::StringLiterals;
namespace dv = lyrevane::datevalue;

namespace {

constexpr double kEps = 1e-9;

TEST(DateValueEncoding, ReferenceDayAndTimesOfDay) {
    EXPECT_DOUBLE_EQ(dv::fromParts(QDate(1899, 12, 30), QTime(0, 0)), 0.0);
    EXPECT_DOUBLE_EQ(dv::fromParts(QDate(1899, 12, 30), QTime(15, 0)), 0.625);
    EXPECT_DOUBLE_EQ(dv::fromDate(QDate(1900, 1, 1)), dv::kNever);
    EXPECT_DOUBLE_EQ(dv::fromDate(QDate(1900, 1, 1)), 2.0);
    EXPECT_DOUBLE_EQ(dv::fromParts(QDate(1899, 12, 31), QTime(1, 0)), 1.0 + 1.0 / 24.0);
}

TEST(DateValueEncoding, PointsBeforeTheReferenceDayCountTheFractionForward) {
    EXPECT_DOUBLE_EQ(dv::fromParts(QDate(1899, 12, 29), QTime(6, 0)), -1.25);
    EXPECT_EQ(dv::datePart(-1.25), QDate(1899, 12, 29));
    EXPECT_EQ(dv::timePart(-1.25), QTime(6, 0));
    EXPECT_EQ(dv::datePart(-2.0), QDate(1899, 12, 28));
    EXPECT_EQ(dv::timePart(-2.0), QTime(0, 0));
    // Round trip over a range of days on both sides of the reference day.
    for (int day = -800; day <= 800; day += 7) {
        for (const QTime t : {QTime(0, 0), QTime(0, 0, 1), QTime(12, 0), QTime(23, 59, 59)}) {
            const QDate d = dv::referenceDay().addDays(day);
            const double v = dv::fromParts(d, t);
            EXPECT_EQ(dv::datePart(v), d) << day;
            EXPECT_EQ(dv::timePart(v), t) << day;
        }
    }
}

TEST(DateValueArithmetic, AddingMinutesAcrossTheReferenceDay) {
    const double t0002 = dv::fromParts(dv::referenceDay(), QTime(0, 2));
    const double before = dv::addMinutes(t0002, -5);
    EXPECT_NEAR(before, -1.9979166666, 1e-9);
    EXPECT_EQ(dv::datePart(before), QDate(1899, 12, 29));
    EXPECT_EQ(dv::timePart(before), QTime(23, 57));

    const double t2330 = dv::fromParts(dv::referenceDay(), QTime(23, 30));
    const double after = dv::addMinutes(t2330, 45);
    EXPECT_NEAR(after, 1.0104166666, 1e-9);
    EXPECT_EQ(dv::datePart(after), QDate(1899, 12, 31));
    EXPECT_EQ(dv::timePart(after), QTime(0, 15));

    // Going back and forth across the reference day is lossless.
    EXPECT_NEAR(dv::addMinutes(before, 5), t0002, kEps);
    EXPECT_NEAR(dv::addMinutes(-1.25, 36 * 60), 0.75, kEps);  // 1899-12-29 06:00 + 36 h
    EXPECT_NEAR(dv::addMinutes(0.75, -36 * 60), -1.25, kEps);
    EXPECT_NEAR(dv::addMinutes(-0.5, 0), 0.5, kEps);  // -0.5 names 1899-12-30 12:00 too
}

TEST(DateValueArithmetic, TruncationAndWeekday) {
    EXPECT_EQ(dv::truncated(-1.9979), -1.0);
    EXPECT_EQ(dv::truncated(1.99), 1.0);
    EXPECT_EQ(dv::truncated(-0.2), 0.0);
    EXPECT_EQ(dv::weekday(0.0), 7);                               // 1899-12-30 was a Saturday
    EXPECT_EQ(dv::weekday(1.5), 1);                               // Sunday
    EXPECT_EQ(dv::weekday(-1.25), 6);                             // Friday 1899-12-29
    EXPECT_EQ(dv::weekday(dv::fromDate(QDate(2026, 12, 7))), 2);  // a Monday
}

TEST(DateValueText, GeneralDateForms) {
    EXPECT_EQ(dv::format(0.625), u"3:00:00 PM"_s);
    EXPECT_EQ(dv::format(0.0), u"12:00:00 AM"_s);
    EXPECT_EQ(dv::format(dv::fromDate(QDate(2026, 12, 6))), u"12/6/2026"_s);
    EXPECT_EQ(dv::format(dv::fromParts(QDate(1899, 12, 31), QTime(1, 0))),
              u"12/31/1899 1:00:00 AM"_s);
    EXPECT_EQ(dv::format(dv::fromParts(QDate(1899, 12, 29), QTime(23, 57))),
              u"12/29/1899 11:57:00 PM"_s);
    EXPECT_EQ(dv::format(dv::fromParts(dv::referenceDay(), QTime(12, 0, 5))), u"12:00:05 PM"_s);
    EXPECT_EQ(dv::format(dv::kNever), u"1/1/1900"_s);
    // The earliest years a value can name read back too.
    EXPECT_EQ(dv::format(dv::fromParts(QDate(899, 12, 31), QTime(1, 0))),
              u"12/31/899 1:00:00 AM"_s);
    EXPECT_EQ(dv::parse(u"12/31/899 1:00:00 AM"), dv::fromParts(QDate(899, 12, 31), QTime(1, 0)));
    EXPECT_EQ(dv::parse(u"12/31/0899"), dv::fromDate(QDate(899, 12, 31)));
    for (const QDateTime& edge : {QDateTime(QDate(100, 1, 1), QTime(1, 0)),
                                  QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59))}) {
        const double v = dv::fromParts(edge.date(), edge.time());
        EXPECT_EQ(dv::datePart(v), edge.date());
        EXPECT_EQ(dv::timePart(v), edge.time());
        EXPECT_EQ(dv::parse(dv::format(v)), v);
    }
}

TEST(DateValueText, FormIsTheSameWhateverTheLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(dv::format(0.625), u"3:00:00 PM"_s);
    EXPECT_EQ(dv::parse(u"12/6/2026"), dv::fromDate(QDate(2026, 12, 6)));
    QLocale::setDefault(saved);
}

TEST(DateValueText, ParserAcceptsItsOwnOutputAndTheDocumentedForms) {
    EXPECT_EQ(dv::parse(u"00:00:00"), 0.0);
    EXPECT_EQ(dv::parse(u"1/1/1900"), 2.0);
    EXPECT_EQ(dv::parse(u"3:00:00 PM"), 0.625);
    EXPECT_EQ(dv::parse(u"3:00 PM"), 0.625);
    EXPECT_EQ(dv::parse(u"3:00 pm"), 0.625);
    EXPECT_EQ(dv::parse(u"15:00"), 0.625);
    EXPECT_EQ(dv::parse(u"15:00:00"), 0.625);
    EXPECT_EQ(dv::parse(u"12:00:00 AM"), 0.0);
    EXPECT_EQ(dv::parse(u"12:30:00 PM"), dv::fromParts(dv::referenceDay(), QTime(12, 30)));
    EXPECT_EQ(dv::parse(u"12/31/1899 1:00:00 AM"), dv::fromParts(QDate(1899, 12, 31), QTime(1, 0)));
    EXPECT_EQ(dv::parse(u"2026-12-06"), dv::fromDate(QDate(2026, 12, 6)));
    EXPECT_EQ(dv::parse(u"2026-12-06T15:00:00"), dv::fromParts(QDate(2026, 12, 6), QTime(15, 0)));
    EXPECT_EQ(dv::parse(u"2026-12-06 15:00"), dv::fromParts(QDate(2026, 12, 6), QTime(15, 0)));
    EXPECT_EQ(dv::parse(u"  3:00:00 PM "), 0.625);

    // Every value the writer can produce reads back to the same second.
    for (double v = -1000.0; v < 50000.0; v += 123.456789) {
        const QString text = dv::format(v);
        const auto back = dv::parse(text);
        ASSERT_TRUE(back.has_value()) << text.toStdString();
        EXPECT_EQ(dv::format(*back), text);
        EXPECT_NEAR(*back, v, 1.0 / 86400.0 + kEps);
    }
}

TEST(DateValueText, ParserRefusesEverythingElse) {
    for (const auto& text : {u""_s,
                             u"   "_s,
                             u"noon"_s,
                             u"25:00"_s,
                             u"24:00:00"_s,
                             u"13:00 PM"_s,
                             u"0:30 AM"_s,
                             u"15:60"_s,
                             u"15:00:60"_s,
                             u"3PM"_s,
                             u"15"_s,
                             u"15:0"_s,
                             u"2/30/2026"_s,
                             u"13/1/2026"_s,
                             u"1/1/26"_s,
                             u"1/1/99999"_s,
                             u"1/1/0050"_s,
                             u"2026-13-01"_s,
                             u"2026-12-06T25:00"_s,
                             u"2026-12-06T3:00 PM"_s,
                             u"2026-12-06X"_s,
                             u"12/6/2026 "_s + u"x"_s,
                             u"3:00:00 PM extra"_s,
                             u"1/1/1900 1/1/1900"_s,
                             u"\u0663:00"_s,
                             u"-1:00"_s}) {
        EXPECT_EQ(dv::parse(text), std::nullopt) << text.toStdString();
    }
}

}  // namespace
