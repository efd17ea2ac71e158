#include "platform/dosattrib.h"

#include "platform/hexdigit.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace platform::dosattrib {

namespace {

// Every number in the value is little-endian, whatever the machine.
std::uint64_t readLE(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void appendLE(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::size_t alignUp(std::size_t offset, std::size_t to) {
    return (offset + to - 1) / to * to;
}

// Reads the text the way Samba's sscanf("%x") does: leading blanks, an optional 0x, then hex
// digits up to the first other character. A word that does not fit 32 bits is no word.
std::optional<std::uint32_t> parseHexText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (text.size() - i >= 3 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigit(text[i + 2]) >= 0)
        i += 2;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && hexDigit(text[i]) >= 0; ++i, ++digits) {
        value = value * 16 + static_cast<std::uint64_t>(hexDigit(text[i]));
        if (value > 0xffffffffu)
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Where the fields sit in the body of each structured version.
struct BodyLayout {
    std::size_t minSize;
    bool hasValidFlags;
    std::size_t attribOffset;
    std::size_t createTimeOffset; ///< 0: the version keeps no create time we use
};

std::optional<BodyLayout> layoutOf(unsigned version) {
    switch (version) {
    case 1:
        return BodyLayout{40, false, 0, 24};
    case 2:
        // flags, attrib, ea_size, size, alloc_size, three times, then a NUL-terminated name.
        return BodyLayout{53, false, 4, 0};
    case 3:
        return BodyLayout{44, true, 4, 28};
    case 4:
        return BodyLayout{24, true, 4, 16};
    case 5:
        return BodyLayout{16, true, 4, 8};
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<Info> decode(const void* data, std::size_t size) {
    if (size == 0 || size > MaxValueSize)
        return std::nullopt;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto* nul = static_cast<const unsigned char*>(std::memchr(bytes, 0, size));
    const std::size_t textSize = nul ? static_cast<std::size_t>(nul - bytes) : size;

    // Wine writes the text alone without its NUL; old Samba wrote it with the NUL.
    if (!nul || textSize + 1 == size) {
        auto word = parseHexText({reinterpret_cast<const char*>(bytes), textSize});
        if (!word)
            return std::nullopt;
        return Info{*word, false, 0};
    }

    std::size_t offset = alignUp(textSize + 1, 2);
    if (offset + 4 > size)
        return std::nullopt;
    const auto version = static_cast<unsigned>(readLE(bytes + offset, 2));
    const auto level = static_cast<unsigned>(readLE(bytes + offset + 2, 2));
    const auto layout = layoutOf(version);
    if (!layout || level != version)
        return std::nullopt;
    offset = alignUp(offset + 4, 4);
    if (offset > size || size - offset < layout->minSize)
        return std::nullopt;
    const unsigned char* body = bytes + offset;
    if (version == 2 && !std::memchr(body + 52, 0, size - offset - 52))
        return std::nullopt;

    Info info;
    info.attributes = static_cast<std::uint32_t>(readLE(body + layout->attribOffset, 4));
    // Samba takes the word whatever the valid flags say, and a creation time of 0 as none.
    if (layout->createTimeOffset != 0) {
        info.createTime = readLE(body + layout->createTimeOffset, 8);
        info.hasCreateTime = info.createTime != 0 &&
                             (!layout->hasValidFlags || (readLE(body, 4) & CreateTimeValid) != 0);
    }
    return info;
}

std::string encode(const Info& info) {
    char text[16];
    const std::size_t textSize =
        static_cast<std::size_t>(std::snprintf(text, sizeof text, "0x%x", info.attributes));
    std::string out(text, textSize);
    out.push_back('\0');
    out.resize(alignUp(out.size(), 2), '\0');
    appendLE(out, 3, 2); // version
    appendLE(out, 3, 2); // level
    out.resize(alignUp(out.size(), 4), '\0');
    appendLE(out, AttribValid | (info.hasCreateTime ? CreateTimeValid : 0), 4);
    appendLE(out, info.attributes, 4);
    appendLE(out, 0, 4); // ea_size
    appendLE(out, 0, 8); // size
    appendLE(out, 0, 8); // alloc_size
    appendLE(out, info.hasCreateTime ? info.createTime : 0, 8);
    appendLE(out, 0, 8); // change_time
    return out;
}

std::uint64_t ntTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
    constexpr std::int64_t SecondsFrom1601To1970 = 11644473600;
    const std::int64_t s = seconds + SecondsFrom1601To1970;
    if (s < 0)
        return 0;
    return static_cast<std::uint64_t>(s) * 10'000'000u +
           static_cast<std::uint64_t>(nanoseconds / 100);
}

} // namespace platform::dosattrib
