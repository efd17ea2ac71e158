// The six date and time fields: the days of a month, the reading of a field's number and its
// correction into the field's range, and the moment they make. Qt-free.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/fileservices.h"

namespace datefields {

/// Indexes of the date and time fields and of a TouchTimeRecord.
enum Field : int { Hour = 0, Minute = 1, Second = 2, Day = 3, Month = 4, Year = 5 };

/// The entered local moment: hour, minute, second, day, month, year.
using TouchTimeRecord = std::array<std::int16_t, 6>;


/// Days of \p month (1..12) in \p year, Gregorian: 2100 is no leap year. A month outside 1..12
/// (a record never set) gives 31, so that the day field always keeps a range.
int DaysInMonth(int month, int year);

/// Reads a field text as a number: blanks, tabs and line feeds skipped wherever they stand, an
/// optional sign, digits, a decimal point with digits, an exponent with E or D; "&H" and "&O"
/// prefixes for hexadecimal and octal; reading stops at the first other character; a text
/// without a number gives 0.
/// @note Hexadecimal and octal digits read as an unsigned magnitude of any length (&HFFFF is
/// 65535, not -1). The decimal point is always '.', whatever the locale. Never NaN; a value too
/// large for a double gives +-infinity.
double ReadNumber(std::string_view text);

/// Rounds to the nearest whole number, a half to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

/// The outcome of leaving a field.
struct FieldCheck {
    std::int16_t value = 0; ///< the corrected value, always inside the field's range
    bool valid = true;      ///< false when the entry had to be corrected
};

/// The lowest and highest value of a field; the day's highest comes from month and year in
/// \p touchTime.
int FieldMinimum(int field);
int FieldMaximum(int field, const TouchTimeRecord& touchTime);

/// Reads \p text as the entry of \p field and corrects it into the field's range (values beyond
/// the 16-bit range are corrected to the nearest bound like any other).
FieldCheck CheckField(int field, std::string_view text, const TouchTimeRecord& touchTime);

/// The moment the fields make.
platform::LocalTime Moment(const TouchTimeRecord& touchTime);

} // namespace datefields
