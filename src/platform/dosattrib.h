// The user.DOSATTRIB extended attribute, in which Samba and Wine keep the attribute word of a
// file on Linux file systems. Pure byte work, no system calls, so that it builds and is tested on
// every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform::dosattrib {

/// valid_flags of the structured forms.
inline constexpr std::uint32_t AttribValid = 0x01;
inline constexpr std::uint32_t CreateTimeValid = 0x10;

/// Samba reads at most this many bytes; a longer value counts as no value.
inline constexpr std::size_t MaxValueSize = 256;

/// What a value says.
struct Info {
    std::uint32_t attributes = 0;
    bool hasCreateTime = false;
    std::uint64_t createTime = 0; ///< NT time: 100 ns units since 1601-01-01 UTC
};

/// Reads a value in any form Samba or Wine writes: text only (with or without its NUL) and the
/// structured versions 1 to 5. nullopt when the value does not parse or is longer than
/// MaxValueSize.
std::optional<Info> decode(const void* data, std::size_t size);

/// The version 3 form with the "0x%x" text of the word: the one both Samba and Wine read.
std::string encode(const Info& info);

/// Converts seconds and nanoseconds since 1970-01-01 UTC to NT time (0 before 1601).
std::uint64_t ntTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);

} // namespace platform::dosattrib
