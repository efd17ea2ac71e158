#include "platform/dosattrib.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using platform::dosattrib::decode;
using platform::dosattrib::encode;
using platform::dosattrib::Info;
using Bytes = std::vector<unsigned char>;

constexpr std::uint64_t SambaCreateTime = 0x01dd85c29890e603;

// As Samba's own encoder writes word 0x22 with that create time.
const Bytes SambaV3 = {0x30, 0x78, 0x32, 0x32, 0x00, 0x00, 0x03, 0x00, 0x03, 0x00, 0x00, 0x00,
                       0x11, 0x00, 0x00, 0x00, 0x22, 0x00, 0x00, 0x00, 0,    0,    0,    0,
                       0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                       0,    0,    0,    0,    0x03, 0xe6, 0x90, 0x98, 0xc2, 0x85, 0xdd, 0x01,
                       0,    0,    0,    0,    0,    0,    0,    0};
const Bytes SambaV5 = {0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,
                       0x22, 0x00, 0x00, 0x00, 0x03, 0xe6, 0x90, 0x98, 0xc2, 0x85, 0xdd, 0x01};

std::optional<Info> decodeBytes(const Bytes& b) {
    return decode(b.data(), b.size());
}
std::optional<Info> decodeText(const std::string& s) {
    return decode(s.data(), s.size());
}

// A structured value of any version: empty text, version and level, then the body.
Bytes structured(unsigned version, unsigned level, const Bytes& body) {
    Bytes b(8 + body.size(), 0);
    b[2] = static_cast<unsigned char>(version);
    b[4] = static_cast<unsigned char>(level);
    std::copy(body.begin(), body.end(), b.begin() + 8);
    return b;
}

void put(Bytes& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

TEST(DosAttrib, ReadsSambasByteExactForms) {
    for (const Bytes* value : {&SambaV3, &SambaV5}) {
        const auto info = decodeBytes(*value);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->attributes, 0x22u);
        EXPECT_TRUE(info->hasCreateTime);
        EXPECT_EQ(info->createTime, SambaCreateTime);
    }
}

TEST(DosAttrib, ReadsOlderVersions) {
    Bytes v1body(40, 0);
    put(v1body, 0, 0x21, 4);
    put(v1body, 24, SambaCreateTime, 8);
    auto info = decodeBytes(structured(1, 1, v1body));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->attributes, 0x21u);
    EXPECT_TRUE(info->hasCreateTime);
    EXPECT_EQ(info->createTime, SambaCreateTime);

    Bytes v2body(53, 0);
    put(v2body, 4, 0x06, 4);
    info = decodeBytes(structured(2, 2, v2body));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->attributes, 0x06u);
    EXPECT_FALSE(info->hasCreateTime);

    Bytes v4body(24, 0);
    put(v4body, 0, 0x01, 4); // word valid, create time not
    put(v4body, 4, 0x04, 4);
    put(v4body, 16, SambaCreateTime, 8);
    info = decodeBytes(structured(4, 4, v4body));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->attributes, 0x04u);
    EXPECT_FALSE(info->hasCreateTime);
}

TEST(DosAttrib, ReadsTheTextForms) {
    // Wine writes the text without its NUL; old Samba with it; the 0x is optional.
    for (const std::string& text :
         {std::string("0x22"), std::string("0x22\0", 5), std::string("22"), std::string(" 0X22")}) {
        const auto info = decodeText(text);
        ASSERT_TRUE(info) << text;
        EXPECT_EQ(info->attributes, 0x22u) << text;
        EXPECT_FALSE(info->hasCreateTime);
    }
    EXPECT_EQ(decodeText("0xffffffff")->attributes, 0xffffffffu);
}

TEST(DosAttrib, ValuesThatDoNotParseAreNoValue) {
    EXPECT_FALSE(decode("", 0));
    EXPECT_FALSE(decodeText("zz"));
    EXPECT_FALSE(decodeText("0x100000000")) << "wider than 32 bits";

    Bytes wrongLevel = SambaV5;
    wrongLevel[4] = 4;
    EXPECT_FALSE(decodeBytes(wrongLevel));

    Bytes unknownVersion = SambaV5;
    unknownVersion[2] = unknownVersion[4] = 6;
    EXPECT_FALSE(decodeBytes(unknownVersion));

    Bytes wordNotValid = SambaV5;
    wordNotValid[8] = 0x10;
    EXPECT_FALSE(decodeBytes(wordNotValid));

    // Past the text and its NUL, every cut leaves a structure without its body.
    for (std::size_t size = 6; size < SambaV3.size(); ++size)
        EXPECT_FALSE(decode(SambaV3.data(), size)) << "cut to " << size << " bytes";

    Bytes v2NoName(53, 0x41);
    put(v2NoName, 4, 2, 4);
    EXPECT_FALSE(decodeBytes(structured(2, 2, v2NoName)));

    Bytes overlong = SambaV5;
    overlong.resize(257, 0);
    EXPECT_FALSE(decodeBytes(overlong)) << "Samba reads at most 256 bytes";
    overlong.resize(256);
    EXPECT_TRUE(decodeBytes(overlong));
}

TEST(DosAttrib, WritesVersion3AsSambaDoes) {
    const std::string v3 = encode({0x22, true, SambaCreateTime});
    EXPECT_EQ(Bytes(v3.begin(), v3.end()), SambaV3);

    // The text's length moves the structure; Samba's sizes for the shortest and longest text.
    EXPECT_EQ(encode({0, false, 0}).size(), 52u);
    EXPECT_EQ(encode({0xffffffff, false, 0}).size(), 60u);

    for (const Info& in : {Info{0, false, 0}, Info{0x12345678, true, 1}, Info{0x31, true, 7}}) {
        const std::string value = encode(in);
        const auto out = decode(value.data(), value.size());
        ASSERT_TRUE(out);
        EXPECT_EQ(out->attributes, in.attributes);
        EXPECT_EQ(out->hasCreateTime, in.hasCreateTime);
        EXPECT_EQ(out->createTime, in.hasCreateTime ? in.createTime : 0);
        // Wine reads only the text up to the NUL, so it must carry the same word.
        EXPECT_EQ(decodeText(value.c_str())->attributes, in.attributes);
    }
}

TEST(DosAttrib, NtTimeCountsFrom1601) {
    using platform::dosattrib::ntTimeFromUnix;
    EXPECT_EQ(ntTimeFromUnix(0, 0), 116444736000000000u);
    EXPECT_EQ(ntTimeFromUnix(1, 999), 116444736010000009u);
    EXPECT_EQ(ntTimeFromUnix(-11644473601, 0), 0u);
}

} // namespace
