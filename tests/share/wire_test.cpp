// SMB2 messages as bytes: what we send has the layout servers check, and what we read never
// reaches past what was sent.
#include "share/client.h"
#include "share/wire.h"

#include <gtest/gtest.h>

namespace {

using namespace share::wire;

std::uint32_t at32(const Bytes& b, std::size_t k) {
    return b[k] | (b[k + 1] << 8) | (b[k + 2] << 16) | (std::uint32_t(b[k + 3]) << 24);
}

// An answer as a server frames it: a header, then the body.
Bytes answer(Command c, const Bytes& body, std::uint32_t status = status::Success) {
    Header h;
    h.command = c;
    h.status = status;
    h.flags = flags::Response;
    Bytes m;
    putHeader(m, h);
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

TEST(ShareWire, TheWordAndOnlyTheTimesAskedForGoOutAsTheServerReadsThem) {
    // A word with bits above 0xFFFF (pinned, recall on data access) goes out whole.
    const BasicInfo set{0, 0, 0x01d2'0000'1234'5678, 0, 0x0040'0022};
    const Bytes b = setBasicInfo({1, 2}, set);
    ASSERT_EQ(b.size(), 32u + 40u);
    EXPECT_EQ(b[2], 1); // file information
    EXPECT_EQ(b[3], 4); // FileBasicInformation
    EXPECT_EQ(at32(b, 4), 40u);
    for (std::size_t k : {32u, 40u, 56u}) // creation, access, change: 0 leaves them
        EXPECT_EQ(at32(b, k) | at32(b, k + 4), 0u) << k;
    EXPECT_EQ(at32(b, 48), 0x1234'5678u);
    EXPECT_EQ(at32(b, 64), 0x0040'0022u);
    EXPECT_EQ(share::wordToSend(0x0040'1027, 0x2), 0x0040'1002u) << "only R, H, S, A change";
    EXPECT_EQ(share::wordToSend(0x10, 0), 0x80u) << "no bit left: normal, never 0";
}

TEST(ShareWire, NamesKeepTheirBytesAndNeverCrossASeparator) {
    const struct {
        const char* path;
        std::errc refused;
    } cases[] = {
        {"/d/x\\..\\..\\y", std::errc::invalid_argument},
        {"/d/a\nb", std::errc::invalid_argument},
        {"/d/\xff", std::errc::illegal_byte_sequence},
        {"/d/\xc0\xaf", std::errc::illegal_byte_sequence}, // an overlong "/"
    };
    Bytes name;
    for (const auto& c : cases)
        EXPECT_EQ(share::nameOf(c.path, name), c.refused) << c.path;
    ASSERT_FALSE(share::nameOf("/Ordner/Grüße 😀.txt", name));
    EXPECT_EQ(utf8(name), "Ordner\\Grüße 😀.txt");
    const Bytes lone{0x00, 0xd8, 'a', 0}; // an unpaired surrogate a server may send
    EXPECT_EQ(utf16(utf8(lone)), lone);
}

TEST(ShareWire, AListingIsReadEntryByEntryWithinItsBuffer) {
    const auto entry = [](const std::string& name, std::uint32_t next, std::uint64_t id) {
        Bytes e;
        put32(e, next);
        put32(e, 0);
        for (int t = 0; t < 4; ++t)
            put64(e, 0x01d0'0000'0000'0000ULL + t);
        put64(e, 0);
        put64(e, 0);
        put32(e, 0x10);
        const Bytes n = *utf16(name);
        put32(e, std::uint32_t(n.size()));
        put32(e, 0);
        e.resize(e.size() + 28, 0);
        put64(e, id);
        e.insert(e.end(), n.begin(), n.end());
        return e;
    };
    Bytes two = entry("a", 112, 7);
    two.resize(112, 0);
    const Bytes b = entry("bb", 0, 9);
    two.insert(two.end(), b.begin(), b.end());
    const auto listed = parseDirectory(two);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 2u);
    EXPECT_EQ((*listed)[1].name, "bb");
    EXPECT_EQ((*listed)[1].fileId, 9u);
    EXPECT_EQ((*listed)[0].info.write, 0x01d0'0000'0000'0002ULL);

    const struct {
        const char* what;
        std::size_t cut;
        std::uint32_t next;
    } broken[] = {
        {"a name past the end", two.size() - 1, 0},
        {"an offset pointing back", two.size(), 8},
        {"an offset past the end", two.size(), 4096},
    };
    for (const auto& c : broken) {
        Bytes bad(two.begin(), two.begin() + std::ptrdiff_t(c.cut));
        if (c.next)
            bad[112] = std::uint8_t(c.next), bad[113] = std::uint8_t(c.next >> 8);
        EXPECT_FALSE(parseDirectory(bad)) << c.what;
    }
}

TEST(ShareWire, AnswersWhoseBuffersLieOutsideTheMessageAreRefused) {
    Bytes body;
    put16(body, 9);
    put16(body, HeaderSize + 8);
    put32(body, 40);
    body.resize(body.size() + 40, 0);
    ASSERT_TRUE(parseOutputBuffer(answer(Command::QueryInfo, body)));
    for (const std::uint32_t length : {41u, 0xffff'ffffu}) {
        Bytes bad = body;
        bad[4] = std::uint8_t(length), bad[5] = std::uint8_t(length >> 8);
        bad[6] = std::uint8_t(length >> 16), bad[7] = std::uint8_t(length >> 24);
        EXPECT_FALSE(parseOutputBuffer(answer(Command::QueryInfo, bad))) << length;
    }
    Bytes header = answer(Command::Create, {});
    for (std::size_t cut : {0u, 4u, 63u})
        EXPECT_FALSE(parseHeader(Span(header).first(cut))) << cut;
    EXPECT_FALSE(parseCreate(answer(Command::Create, Bytes(40, 0)))) << "too short";
    EXPECT_FALSE(parseNegotiate(header));
}

} // namespace
