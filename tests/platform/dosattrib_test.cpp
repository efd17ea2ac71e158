#include "platform/dosattrib.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

using namespace platform::dosattrib;
using namespace std::string_literals;

constexpr std::uint64_t CreateTime = 0x01dd85c29890e603;
const std::string CreateTimeBytes = "\3\xe6\x90\x98\xc2\x85\xdd\1"s;

std::string zeros(std::size_t n) {
    return std::string(n, '\0');
}
std::string le32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
// A structured value after an empty text: NUL, pad, version, level, pad, then the body.
std::string structured(char version, const std::string& body) {
    return std::string{0, 0, version, 0, version, 0, 0, 0} + body;
}
std::optional<Info> decoded(const std::string& value) {
    return decode(value.data(), value.size());
}

// As Samba's own encoder writes word 0x22 with that create time: text, version and level 3
// (or 5), valid flags, word, and in version 3 ea_size, size, alloc_size before the time.
const std::string SambaV3 =
    "0x22\0\0\3\0\3\0\0\0\x11\0\0\0\x22\0\0\0"s + zeros(20) + CreateTimeBytes + zeros(8);
const std::string SambaV5 = "\0\0\5\0\5\0\0\0\x11\0\0\0\x22\0\0\0"s + CreateTimeBytes;

TEST(DosAttrib, DecodesEveryFormSambaAndWineWrite) {
    const std::tuple<const char*, std::string, std::uint32_t, bool> cases[] = {
        {"Wine's text", "0x22", 0x22, false},
        {"old Samba's text with NUL", "0x22\0"s, 0x22, false},
        {"text without 0x", " 22", 0x22, false},
        {"text, 32 bits", "0XFFFFFFFF", 0xffffffff, false},
        {"v1", structured(1, le32(0x21) + zeros(20) + CreateTimeBytes + zeros(8)), 0x21, true},
        {"v2", structured(2, zeros(4) + le32(0x06) + zeros(45)), 0x06, false},
        {"v3", SambaV3, 0x22, true},
        {"v4, create time not valid", structured(4, le32(1) + le32(4) + zeros(8) + CreateTimeBytes),
         0x04, false},
        {"v5", SambaV5, 0x22, true},
        // Samba takes the word whatever the flags say, and a creation time of 0 as none.
        {"v5, word not flagged", "\0\0\5\0\5\0\0\0\x10\0\0\0\x22\0\0\0"s + CreateTimeBytes, 0x22,
         true},
        {"v5, creation time 0", "\0\0\5\0\5\0\0\0\x11\0\0\0\x22\0\0\0"s + zeros(8), 0x22, false},
    };
    for (const auto& [form, value, word, hasCreateTime] : cases) {
        const auto info = decoded(value);
        ASSERT_TRUE(info) << form;
        EXPECT_EQ(info->attributes, word) << form;
        EXPECT_EQ(std::pair(info->hasCreateTime, info->hasCreateTime ? info->createTime : 0),
                  std::pair(hasCreateTime, hasCreateTime ? CreateTime : 0))
            << form;
    }
}

TEST(DosAttrib, AValueThatDoesNotParseIsNoValue) {
    std::string wrongLevel = SambaV5, unknownVersion = SambaV5;
    wrongLevel[4] = 4;
    unknownVersion[2] = unknownVersion[4] = 6;
    const std::string v2NameWithoutNul = structured(2, zeros(4) + le32(2) + std::string(45, 'A'));
    const std::string longerThanSambaReads = SambaV5 + zeros(MaxValueSize + 1 - SambaV5.size());
    for (const std::string& v : {""s, "zz"s, "0x100000000"s, wrongLevel, unknownVersion,
                                 v2NameWithoutNul, longerThanSambaReads})
        EXPECT_FALSE(decoded(v)) << testing::PrintToString(v);
    EXPECT_TRUE(decoded(longerThanSambaReads.substr(0, MaxValueSize)));
    // Past the text and its NUL, every cut leaves a structure without its body.
    for (std::size_t size = 6; size < SambaV3.size(); ++size)
        EXPECT_FALSE(decode(SambaV3.data(), size)) << "cut to " << size << " bytes";
}

TEST(DosAttrib, EncodesVersion3ByteForByteAsSambaWithTimesFrom1601) {
    EXPECT_EQ(encode({0x22, true, CreateTime}), SambaV3);
    // The text's length moves the structure: Samba's sizes for the shortest and longest text.
    EXPECT_EQ(encode({0, false, 0}).size(), 52u);
    EXPECT_EQ(encode({0xffffffff, false, 0}).size(), 60u);
    const std::string value = encode({0x12345678, false, 0});
    EXPECT_TRUE(decoded(value)->attributes == 0x12345678u && !decoded(value)->hasCreateTime);
    // Wine reads only the text before the NUL, so it must carry the same word.
    EXPECT_EQ(decode(value.data(), std::strlen(value.c_str()))->attributes, 0x12345678u);
    EXPECT_EQ(ntTimeFromUnix(0, 0), 116444736000000000u);
    EXPECT_EQ(ntTimeFromUnix(1, 999), 116444736010000009u);
    EXPECT_EQ(ntTimeFromUnix(-11644473601, 0), 0u);
}

} // namespace
