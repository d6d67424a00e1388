#include "common/typedvalues.h"

#include <gtest/gtest.h>

#include <limits>

#include "../support/commalocale.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;

namespace {

TEST(Booleans, WrittenAsTrueFalseAndReadInAnyCaseOrAsNumbers) {
    EXPECT_EQ(formatBool(true), u"True"_s);
    EXPECT_EQ(formatBool(false), u"False"_s);
    EXPECT_EQ(parseBool(u"True"), true);
    EXPECT_EQ(parseBool(u"tRUE"), true);
    EXPECT_EQ(parseBool(u"FALSE"), false);
    EXPECT_EQ(parseBool(u" false "), false);
    EXPECT_EQ(parseBool(u"0"), false);
    EXPECT_EQ(parseBool(u"-1"), true);
    EXPECT_EQ(parseBool(u"0.0"), false);
    EXPECT_EQ(parseBool(u"0,5"), true);
    EXPECT_EQ(parseBool(u"2"), true);
}

TEST(Booleans, GarbageIsRefused) {
    for (const auto& text : {u""_s, u"yes"_s, u"Truee"_s, u"T"_s, u"1x"_s, u"--1"_s, u"."_s}) {
        EXPECT_EQ(parseBool(text), std::nullopt) << text.toStdString();
    }
}

TEST(Integers, RoundHalfToEvenAndAcceptEitherSeparator) {
    EXPECT_EQ(parseInt16(u"5"), qint16(5));
    EXPECT_EQ(parseInt16(u"-5"), qint16(-5));
    EXPECT_EQ(parseInt16(u"+7"), qint16(7));
    EXPECT_EQ(parseInt16(u"2.5"), qint16(2));
    EXPECT_EQ(parseInt16(u"3.5"), qint16(4));
    EXPECT_EQ(parseInt16(u"-2.5"), qint16(-2));
    EXPECT_EQ(parseInt16(u"-3,5"), qint16(-4));
    EXPECT_EQ(parseInt16(u"2.51"), qint16(3));
    EXPECT_EQ(parseInt16(u".5"), qint16(0));
    EXPECT_EQ(parseInt16(u"1e2"), qint16(100));
    EXPECT_EQ(parseInt16(u" 42 "), qint16(42));
    EXPECT_EQ(parseInt32(u"1.5"), 2);
}

TEST(Integers, RangeIsCheckedForTheTargetWidth) {
    EXPECT_EQ(parseInt16(u"32767"), qint16(32767));
    EXPECT_EQ(parseInt16(u"-32768"), qint16(-32768));
    EXPECT_EQ(parseInt16(u"32767.4"), qint16(32767));
    EXPECT_EQ(parseInt16(u"32767.5"), std::nullopt);  // rounds to 32768
    EXPECT_EQ(parseInt16(u"32768"), std::nullopt);
    EXPECT_EQ(parseInt16(u"-32769"), std::nullopt);
    EXPECT_EQ(parseInt32(u"2147483647"), std::numeric_limits<qint32>::max());
    EXPECT_EQ(parseInt32(u"-2147483648"), std::numeric_limits<qint32>::min());
    EXPECT_EQ(parseInt32(u"2147483648"), std::nullopt);
    EXPECT_EQ(parseInt32(u"1e300"), std::nullopt);
    EXPECT_EQ(parseInt32(u"1e999999"), std::nullopt);
}

TEST(Integers, GarbageIsRefused) {
    for (const auto& text : {u""_s, u" "_s, u"abc"_s, u"5 minutes"_s, u"1,000.5"_s, u"0x10"_s,
                             u"inf"_s, u"nan"_s, u"1e"_s, u"--5"_s, u"5-"_s, u"\u0665"_s}) {
        EXPECT_EQ(parseInt16(text), std::nullopt) << text.toStdString();
        EXPECT_EQ(parseInt32(text), std::nullopt) << text.toStdString();
    }
}

TEST(Singles, ShortestTextThatReadsBack) {
    EXPECT_EQ(formatSingle(1.47f), u"1.47"_s);
    EXPECT_EQ(formatSingle(-0.13f), u"-0.13"_s);
    EXPECT_EQ(formatSingle(0.0f), u"0"_s);
    EXPECT_EQ(formatSingle(119.0f), u"119"_s);
    EXPECT_EQ(formatSingle(100.5f), u"100.5"_s);
    // Decimal text, never an exponent.
    EXPECT_EQ(formatSingle(200.0f), u"200"_s);
    EXPECT_EQ(formatSingle(1e6f), u"1000000"_s);
    EXPECT_EQ(formatSingle(1e-7f), u"0.0000001"_s);
    for (const float v : {0.1f, 1.0f / 3.0f, 123456.789f, -1e-7f, 3.4e38f, 1.17549435e-38f}) {
        EXPECT_EQ(parseSingle(formatSingle(v)), v) << formatSingle(v).toStdString();
    }
}

TEST(Singles, ReadWithEitherSeparatorAndRefuseWhatDoesNotFit) {
    EXPECT_EQ(parseSingle(u"1.47"), 1.47f);
    EXPECT_EQ(parseSingle(u"1,47"), 1.47f);
    EXPECT_EQ(parseSingle(u"-0,13"), -0.13f);
    EXPECT_EQ(parseSingle(u"1e39"), std::nullopt);
    EXPECT_EQ(parseSingle(u"1.2.3"), std::nullopt);
    EXPECT_EQ(parseSingle(u"1,2,3"), std::nullopt);
    EXPECT_EQ(parseSingle(u"abc"), std::nullopt);
}

// Qt programs adopt the user's locale (LC_ALL=de_DE.UTF-8 and the like): stored numbers
// must read and write exactly as under the "C" locale.
TEST(Numbers, CommaDecimalLocaleChangesNothingReadOrWritten) {
    lyrevane::testing::ScopedCommaLocale locale;
    if (!locale.active()) {
        GTEST_SKIP() << "the locale " << locale.kName << " is not installed on this machine "
                     << "(scripts/install-deps generates it)";
    }
    ASSERT_TRUE(locale.commaIsDecimal());
    EXPECT_EQ(parseInt32(u"700.6"), 701);
    EXPECT_EQ(parseInt32(u"700,6"), 701);
    EXPECT_EQ(parseInt16(u"2.5"), qint16(2));
    EXPECT_EQ(parseInt16(u"-3.5"), qint16(-4));
    EXPECT_EQ(parseInt16(u"1.5e1"), qint16(15));
    EXPECT_EQ(parseNumber(u"0.25"), 0.25);
    EXPECT_EQ(parseNumber(u"+5."), 5.0);
    EXPECT_EQ(parseNumber(u"-.5e+1"), -5.0);
    EXPECT_EQ(parseBool(u"0.5"), true);
    EXPECT_EQ(parseSingle(u"1.47"), 1.47f);
    EXPECT_EQ(formatSingle(1.47f), u"1.47"_s);
    EXPECT_EQ(formatSingle(100.5f), u"100.5"_s);
    EXPECT_EQ(formatSingle(-0.13f), u"-0.13"_s);
    EXPECT_EQ(parseInt32(u"1.000"), 1);  // never a thousands separator
    EXPECT_EQ(parseInt32(u"1.000,5"), std::nullopt);
}

TEST(NameList, JoinAndSplit) {
    EXPECT_EQ(joinNames({}), QString());
    EXPECT_EQ(joinNames({u"one"_s}), u"one"_s);
    EXPECT_EQ(joinNames({u"a"_s, u"b"_s}), u"a$!b"_s);
    EXPECT_EQ(splitNames(QString()), QStringList());
    EXPECT_EQ(splitNames(u"a$!b"_s), (QStringList{u"a"_s, u"b"_s}));
    EXPECT_EQ(splitNames(u"solo"_s), QStringList{u"solo"_s});
}

TEST(NameList, EverySeparatorCountsAndEmptyNamesAreKept) {
    EXPECT_EQ(splitNames(u"$!"_s), (QStringList{QString(), QString()}));
    EXPECT_EQ(splitNames(u"a$!"_s), (QStringList{u"a"_s, QString()}));
    EXPECT_EQ(splitNames(u"$!$!a"_s), (QStringList{QString(), QString(), u"a"_s}));
    EXPECT_EQ(splitNames(u"a$!$!b"_s), (QStringList{u"a"_s, QString(), u"b"_s}));
    // "$!$" splits once, left to right.
    EXPECT_EQ(splitNames(u"a$!$b"_s), (QStringList{u"a"_s, u"$b"_s}));
    // A name holding the separator comes back as two names.
    EXPECT_EQ(splitNames(joinNames({u"x$!y"_s})), (QStringList{u"x"_s, u"y"_s}));
    // Round trip of names without the separator, empty ones included.
    const QStringList names{QString(), u"a"_s, QString(), u"$"_s, u"!"_s};
    EXPECT_EQ(splitNames(joinNames(names)), names);
}

}  // namespace
