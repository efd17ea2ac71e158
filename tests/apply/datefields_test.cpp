// The rules of the number reader and the fields; the fuzzer covers arbitrary bytes.
#include "apply/datefields.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

using namespace datefields;
using namespace std::string_literals;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Under a German locale too: a reader built on the C library would take its comma.
TEST(ReadNumber, BlanksAnywhereExponentsPrefixesAndAlwaysThePoint) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"})
        if (std::setlocale(LC_NUMERIC, name))
            break;
    const std::string zeros(400, '0');
    // clang-format off
    const std::pair<std::string, double> cases[] = {
        {"\t1\n2 ", 12},   {"1e - 1", 0.1},  {"\r12", 0},       {"\xc2\xa0" "5"s, 0},
        {"-.25", -0.25},    {"1.2.3", 1.2},   {"--5", 0},         {"5-", 5},
        {"2D3", 2000},      {"-.5d+2", -50},  {"1e+", 1},         {".e5", 0},
        {"9e9999", inf},    {"1e-9999", 0},   {"1" + zeros, inf}, {"1" + zeros + "e-400", 1},
        {"&h1f", 31},       {"&o3720", 2000}, {"&HFFFF", 65535},  {"&H1E3", 0x1E3},
        {"&HG", 0},         {"-&H10", 0},     {"12:30", 12},      {"1\0" "2"s, 1},
        {"1,5", 1},         {"1.5", 1.5},     {"2.5e1", 25},
        {"\xef\xbc\x95", 0}, // a full-width five is no digit
    };
    // clang-format on
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ReadNumber(text), value) << '"' << text << '"';
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
    const int year2023[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(DaysInMonth(month, 2023), year2023[month - 1]) << month;
    for (const auto& [year, days] : {std::pair{2024, 29}, {2000, 29}, {2100, 28}, {1900, 28}})
        EXPECT_EQ(DaysInMonth(2, year), days) << year;
    // A record that was never set still gives the day field a usable range.
    EXPECT_EQ(DaysInMonth(0, 0), 31);
}

TEST(CheckField, CorrectsToTheNearestBoundAfterRounding) {
    const struct {
        int field;
        std::string text;
        int value;
        bool valid;
        TouchTimeRecord at = {12, 0, 0, 1, 1, 2000};
    } cases[] = {
        // clang-format off
        {Hour, "23", 23, true}, {Hour, "24", 23, false}, {Minute, "60", 59, false},
        {Second, "-1", 0, false}, {Minute, "07", 7, true}, {Month, "13", 12, false},
        {Month, "0", 1, false}, {Year, "99", 1984, false}, {Year, "2101", 2100, false},
        {Year, "2e3", 2000, true}, {Year, "&H7D0", 2000, true},
        // Text without a number is 0: valid where 0 is allowed, else the lowest value.
        {Hour, "ab", 0, true}, {Second, "", 0, true}, {Day, "", 1, false},
        {Month, "x", 1, false}, {Year, "", 1984, false},
        // Rounded before the comparison.
        {Hour, "22.5", 22, true}, {Hour, "23.5", 23, false}, {Minute, "-0.4", 0, true},
        {Day, "0.5", 1, false}, {Day, "1.5", 2, true},
        // Narrowing before the comparison would wrap these around into the range.
        {Year, "9e9", 2100, false}, {Year, "-9e9", 1984, false}, {Year, "67636", 2100, false},
        {Year, "&HFFFF", 2100, false}, {Hour, "9e9999", 23, false},
        {Day, "4294967297", 31, false},
        // The day ends with the month and year of the record handed in.
        {Day, "31", 30, false, {12, 0, 0, 31, 4, 2024}}, {Day, "30", 30, true, {12, 0, 0, 31, 4, 2024}},
        {Day, "29", 29, true, {12, 0, 0, 29, 2, 2024}}, {Day, "29", 28, false, {12, 0, 0, 29, 2, 2023}},
        {Day, "29", 28, false, {12, 0, 0, 1, 2, 2100}}, {Day, "28", 28, true, {12, 0, 0, 1, 2, 2100}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const FieldCheck check = CheckField(c.field, c.text, c.at);
        EXPECT_EQ(check.value, c.value) << "field " << c.field << ", \"" << c.text << '"';
        EXPECT_EQ(check.valid, c.valid) << "field " << c.field << ", \"" << c.text << '"';
    }
    EXPECT_TRUE(CheckField(Day, "31", {12, 0, 0, 1, 1, 2000}).valid);
}

} // namespace
