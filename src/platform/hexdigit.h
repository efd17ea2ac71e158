// Hexadecimal digits as URIs and Samba's stored values write them.
#pragma once

namespace platform {

/// The value of hexadecimal digit \p c, either case; -1 for any other character.
constexpr int hexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

} // namespace platform
