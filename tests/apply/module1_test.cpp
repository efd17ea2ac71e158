#include "apply/module1.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

using namespace Module1;
using namespace std::string_literals;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

struct Reading {
    std::string text;
    double value;
};

void expectReadings(std::initializer_list<Reading> readings) {
    for (const auto& r : readings)
        EXPECT_EQ(ReadNumber(r.text), r.value) << "text: \"" << r.text << '"';
}

TEST(ReadNumber, ReadsLikeTheFieldsOriginalReader) {
    // The fuzzer covers arbitrary bytes (no crash, no NaN, fields in range); these pin the rules.
    const std::string zeros(400, '0');
    // clang-format off
    expectReadings({
        {"\t1\n2 ", 12},   {"1e - 1", 0.1},  {"\r12", 0},       {"\xc2\xa0" "5"s, 0},
        {"-.25", -0.25},    {"1.2.3", 1.2},   {"--5", 0},         {"5-", 5},
        {"2D3", 2000},      {"-.5d+2", -50},  {"1e+", 1},         {".e5", 0},
        {"9e9999", inf},    {"1e-9999", 0},   {"1" + zeros, inf}, {"1" + zeros + "e-400", 1},
        {"&h1f", 31},       {"&o3720", 2000}, {"&HFFFF", 65535},  {"&H1E3", 0x1E3},
        {"&HG", 0},         {"-&H10", 0},     {"12:30", 12},      {"1\0" "2"s, 1},
        {"\xef\xbc\x95", 0}, // a full-width five is no digit
    });
    // clang-format on
}

TEST(ReadNumber, TheDecimalSeparatorIsAlwaysThePoint) {
    // A reader built on the C library would take the German comma once a program sets the locale.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    bool german = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"})
        german = german || std::setlocale(LC_NUMERIC, name) != nullptr;
    if (!german)
        GTEST_SKIP() << "no German locale on this machine";
    expectReadings({{"1.5", 1.5}, {"1,5", 1}, {"2.5e1", 25}});
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    const double cases[][2] = {
        {2.5, 2},   {3.5, 4},    {0.5, 0},    {-2.5, -2}, {-3.5, -4},
        {-0.5, 0},  {2.4999, 2}, {2.5001, 3}, {-2.6, -3}, {4503599627370497.0, 4503599627370497.0},
        {inf, inf}, {-inf, -inf}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c[0]), c[1]) << c[0];
}

TEST(DaysInMonth, FollowsTheGregorianCalendar) {
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(DaysInMonth(month, 2023), lengths[month - 1]) << "month " << month;
    EXPECT_EQ(DaysInMonth(2, 2024), 29);
    EXPECT_EQ(DaysInMonth(2, 2000), 29);
    EXPECT_EQ(DaysInMonth(2, 2100), 28);
    EXPECT_EQ(DaysInMonth(2, 1900), 28);
    // A record that was never set still gives the day field a usable range.
    EXPECT_EQ(DaysInMonth(0, 0), 31);
}

TouchTimeRecord moment(int day, int month, int year) {
    return {12,
            0,
            0,
            static_cast<std::int16_t>(day),
            static_cast<std::int16_t>(month),
            static_cast<std::int16_t>(year)};
}

struct Entry {
    int field;
    std::string text;
    int value;
    bool valid;
};

void expectChecks(const TouchTimeRecord& touchTime, std::initializer_list<Entry> entries) {
    for (const auto& e : entries) {
        const FieldCheck check = CheckField(e.field, e.text, touchTime);
        EXPECT_EQ(check.value, e.value) << "field " << e.field << ", text \"" << e.text << '"';
        EXPECT_EQ(check.valid, e.valid) << "field " << e.field << ", text \"" << e.text << '"';
    }
}

TEST(CheckField, EntriesOutsideTheRangeGoToTheNearestBound) {
    const TouchTimeRecord at = moment(1, 1, 2000);
    expectChecks(at, {{Hour, "23", 23, true}, {Hour, "24", 23, false}, {Minute, "60", 59, false}});
    expectChecks(at, {{Second, "-1", 0, false}, {Minute, "07", 7, true}});
    expectChecks(at, {{Month, "13", 12, false}, {Month, "0", 1, false}});
    expectChecks(at, {{Year, "99", 1984, false}, {Year, "2101", 2100, false}});
    expectChecks(at, {{Year, "2e3", 2000, true}, {Year, "&H7D0", 2000, true}});
}

TEST(CheckField, TextWithoutANumberIsZero) {
    // A valid 0 where 0 is allowed; otherwise corrected to the lowest value.
    const TouchTimeRecord at = moment(1, 1, 2000);
    expectChecks(at, {{Hour, "ab", 0, true}, {Second, "", 0, true}, {Day, "", 1, false}});
    expectChecks(at, {{Month, "x", 1, false}, {Year, "", 1984, false}});
}

TEST(CheckField, RoundsBeforeItCompares) {
    const TouchTimeRecord at = moment(1, 1, 2000);
    expectChecks(at, {{Hour, "22.5", 22, true}, {Hour, "23.5", 23, false}});
    expectChecks(at, {{Minute, "-0.4", 0, true}, {Day, "0.5", 1, false}, {Day, "1.5", 2, true}});
}

TEST(CheckField, ValuesBeyondSixteenBitsGoToTheNearestBound) {
    // Narrowing before the comparison would wrap these around to some value inside the range.
    const TouchTimeRecord at = moment(1, 1, 2000);
    expectChecks(at, {{Year, "9e9", 2100, false}, {Year, "-9e9", 1984, false}});
    expectChecks(at, {{Year, "67636", 2100, false}, {Year, "&HFFFF", 2100, false}});
    expectChecks(at, {{Hour, "9e9999", 23, false}, {Day, "4294967297", 31, false}});
}

TEST(CheckField, TheDayEndsWithTheMonthOfTheRecord) {
    // Day 31 checked again after month 4 was accepted.
    expectChecks(moment(31, 4, 2024), {{Day, "31", 30, false}, {Day, "30", 30, true}});
    // Day 29 of February checked again after the year went from 2024 to 2023.
    expectChecks(moment(29, 2, 2024), {{Day, "29", 29, true}});
    expectChecks(moment(29, 2, 2023), {{Day, "29", 28, false}});
    expectChecks(moment(1, 2, 2100), {{Day, "29", 28, false}, {Day, "28", 28, true}});
    // The record handed in counts, not the program-wide one.
    TouchTime = moment(1, 2, 2023);
    expectChecks(moment(1, 1, 2023), {{Day, "31", 31, true}});
    TouchTime = {};
}

} // namespace
