#include "apply/datefields.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace datefields {

int DaysInMonth(int month, int year) {
    switch (month) {
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 2: {
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        return leap ? 29 : 28;
    }
    default:
        return 31;
    }
}

namespace {

// The classic reader ignores these three wherever they stand, even between digits ("1 2" is 12).
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Walks the text with the blanks taken out. peek() gives NUL at the end, so the end of the text
// and a NUL byte inside it both simply stop the reading.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) { skipBlanks(); }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    void next() {
        ++pos_;
        skipBlanks();
    }

private:
    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int digitValue(char c) {
    if (isDigit(c))
        return c - '0';
    const char u = upper(c);
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return 99;
}

// "&H"/"&O" digits read as an unsigned magnitude: &HFFFF is 65535, not the -1 of a 16-bit
// reinterpretation. A field takes a count, not a bit pattern, and the wrap would send a large
// entry to the opposite bound. Past about 256 hex digits the sum becomes infinite, which the
// field check clamps like any other overflow.
double readRadix(Cursor& cur, int radix) {
    double value = 0.0;
    for (int d = digitValue(cur.peek()); d < radix; d = digitValue(cur.peek())) {
        value = value * radix + d;
        cur.next();
    }
    return value;
}

// Far beyond any exponent that matters, and beyond the length of any text, so that adding the
// count of integer digits can neither change the outcome nor overflow.
constexpr long long exponentCap = 1'000'000'000'000'000;

double readDecimal(Cursor& cur) {
    // Gathered into plain "digits.digitsEexp" form and converted with from_chars, which rounds
    // correctly and, unlike strtod, does not take the decimal comma of a German locale.
    std::string number;
    bool negative = false;
    if (cur.peek() == '+' || cur.peek() == '-') {
        negative = cur.peek() == '-';
        cur.next();
    }
    bool anyDigit = false;
    bool nonZero = false;
    long long integerDigits = 0; // significant digits before the point, for overflow direction
    long long leadingFractionZeros = 0;
    while (isDigit(cur.peek())) {
        anyDigit = true;
        if (cur.peek() != '0' || nonZero) {
            nonZero = true;
            number += cur.peek();
            ++integerDigits;
        }
        cur.next();
    }
    if (cur.peek() == '.') {
        cur.next();
        if (number.empty())
            number += '0';
        number += '.';
        while (isDigit(cur.peek())) {
            anyDigit = true;
            if (cur.peek() != '0')
                nonZero = true;
            else if (!nonZero)
                ++leadingFractionZeros;
            number += cur.peek();
            cur.next();
        }
    }
    if (!anyDigit || !nonZero)
        return 0.0;

    long long exponent = 0;
    const char e = upper(cur.peek());
    if (e == 'E' || e == 'D') {
        cur.next();
        bool negativeExponent = false;
        if (cur.peek() == '+' || cur.peek() == '-') {
            negativeExponent = cur.peek() == '-';
            cur.next();
        }
        while (isDigit(cur.peek())) {
            if (exponent < exponentCap)
                exponent = exponent * 10 + (cur.peek() - '0');
            cur.next();
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    number += 'e';
    number += std::to_string(exponent);

    double value = 0.0;
    const std::errc ec = std::from_chars(number.data(), number.data() + number.size(), value).ec;
    if (ec == std::errc::result_out_of_range) {
        // The position of the first significant digit tells overflow from underflow.
        const long long magnitude =
            exponent + (integerDigits > 0 ? integerDigits : -leadingFractionZeros);
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

} // namespace

double ReadNumber(std::string_view text) {
    Cursor cur(text);
    if (cur.peek() == '&') {
        cur.next();
        const char kind = upper(cur.peek());
        if (kind == 'H' || kind == 'O') {
            cur.next();
            return readRadix(cur, kind == 'H' ? 16 : 8);
        }
        return 0.0;
    }
    return readDecimal(cur);
}

double RoundHalfEven(double value) {
    // Done by hand rather than with nearbyint, which follows whatever rounding mode is set.
    if (!std::isfinite(value))
        return value;
    const double below = std::floor(value);
    const double fraction = value - below; // exact for every double
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

int FieldMinimum(int field) {
    switch (field) {
    case Day:
    case Month:
        return 1;
    case Year:
        return 1984;
    default:
        return 0;
    }
}

int FieldMaximum(int field, const TouchTimeRecord& touchTime) {
    switch (field) {
    case Hour:
        return 23;
    case Minute:
    case Second:
        return 59;
    case Day:
        return DaysInMonth(touchTime[Month], touchTime[Year]);
    case Month:
        return 12;
    case Year:
        return 2100;
    default:
        return 0;
    }
}

FieldCheck CheckField(int field, std::string_view text, const TouchTimeRecord& touchTime) {
    // Compared as doubles, before any narrowing, so that 9e9 or an infinity lands on the upper
    // bound instead of wrapping around the 16-bit range.
    const double number = RoundHalfEven(ReadNumber(text));
    const int lowest = FieldMinimum(field);
    const int highest = FieldMaximum(field, touchTime);
    FieldCheck check;
    if (std::isnan(number) || number < lowest) {
        check.value = static_cast<std::int16_t>(lowest);
        check.valid = false;
    } else if (number > highest) {
        check.value = static_cast<std::int16_t>(highest);
        check.valid = false;
    } else {
        check.value = static_cast<std::int16_t>(number);
    }
    return check;
}

platform::LocalTime Moment(const TouchTimeRecord& t) {
    return {t[Hour], t[Minute], t[Second], t[Day], t[Month], t[Year]};
}

} // namespace datefields
