// Arbitrary bytes for the number reader and every field: a crash or broken property ends it.
#include "apply/datefields.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void require(bool property) {
    if (!property)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace datefields;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const double number = ReadNumber(text);
    const double again = ReadNumber(text);
    require(std::memcmp(&number, &again, sizeof number) == 0);
    require(!std::isnan(number));

    const double rounded = RoundHalfEven(number);
    require(std::isinf(rounded) || rounded == std::trunc(rounded));
    require(std::isinf(number) || std::fabs(rounded - number) <= 0.5);

    // The record comes from the input too, so the day meets every month, including the months
    // 0 and 13 of a record that was never set, and years on both sides of the field's range.
    TouchTimeRecord record{};
    if (size > 0) {
        record[Month] = static_cast<std::int16_t>(data[0] % 14);
        record[Year] = static_cast<std::int16_t>(1980 + data[size - 1] % 130);
    }
    for (int field = Hour; field <= Year; ++field) {
        const int lowest = FieldMinimum(field);
        const int highest = FieldMaximum(field, record);
        require(lowest <= highest);
        const FieldCheck check = CheckField(field, text, record);
        require(check.value >= lowest && check.value <= highest);
        if (check.valid)
            require(check.value == rounded);
        else
            require(check.value == lowest || check.value == highest);
    }
    return 0;
}
