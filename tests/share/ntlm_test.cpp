// NTLMv2 sign-in bytes against the published MS-NLMP example and RFC 1320, and what a hostile or
// broken server may send: nothing outside the bytes given is ever read.
#include "share/ntlm.h"

#include <gtest/gtest.h>

namespace {

namespace ntlm = share::ntlm;
namespace spnego = share::spnego;
using ntlm::Bytes;

Bytes hex(std::string_view text) {
    Bytes b;
    for (std::size_t i = 0; i < text.size(); i += text[i] == ' ' ? 1 : 2)
        if (text[i] != ' ')
            b.push_back(
                static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), 0, 16)));
    return b;
}

Bytes bytes(std::span<const std::uint8_t> s) {
    return {s.begin(), s.end()};
}

void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> 8 * i);
}

// A security buffer's bytes: length at \p at, offset four bytes on.
Bytes field(const Bytes& m, std::size_t at) {
    const std::size_t offset = m[at + 4] | m[at + 5] << 8 | m[at + 6] << 16;
    return Bytes(m.begin() + offset, m.begin() + offset + (m[at] | m[at + 1] << 8));
}

// The example's CHALLENGE_MESSAGE up to its target info, which goes behind it.
const Bytes ExampleHead = hex("4e544c4d53535000 02000000 0c000c00 38000000 33828ae2"
                              "0123456789abcdef 0000000000000000 24002400 44000000"
                              "060070170000000f 530065007200760065007200");
const Bytes ExampleTargetInfo =
    hex("02000c00 44006f006d00610069006e00 01000c00 530065007200760065007200 00000000");
const std::array<std::uint8_t, 8> ClientChallenge{0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa};

Bytes challengeMessage(const Bytes& targetInfo = ExampleTargetInfo) {
    Bytes m = ExampleHead;
    set32(m, 40, static_cast<std::uint32_t>(targetInfo.size() * 0x10001));
    set32(m, 44, static_cast<std::uint32_t>(m.size()));
    m.insert(m.end(), targetInfo.begin(), targetInfo.end());
    return m;
}

TEST(Md4, Rfc1320VectorsAndTheNtHash) {
    const char* cases[][2] = {
        // clang-format off
        {"", "31d6cfe0d16ae931b73c59d7e0c089c0"}, {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {"message digest", "d9130a8164549fe818874806e1c7014b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "043f8582f241db351ce627e153e7f0e4"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "e33b4ddc9c38f2199c3e7b164fcc0536"}}; // clang-format on
    for (const auto& c : cases) {
        const std::string_view text = c[0];
        const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
        EXPECT_EQ(bytes(ntlm::md4({data, text.size()})), hex(c[1])) << text;
    }
    EXPECT_EQ(bytes(ntlm::ntHash("Password")), hex("a4f49c406510bdcab6824ee7c30fd852"));
    // UTF-16 of the password, surrogates for what lies beyond; broken UTF-8 as U+FFFD.
    EXPECT_EQ(ntlm::ntHash("Grü😀"), ntlm::md4(hex("4700 7200 fc00 3dd8 00de")));
    EXPECT_EQ(ntlm::ntHash("\xc0\xaf"), ntlm::md4(hex("fdff fdff")));
}

TEST(Ntlmv2, MatchesTheMsNlmpExample) {
    // Challenge, target info and flags as read feed the response and its header.
    const auto c = *ntlm::parseChallenge(challengeMessage());
    const auto a = ntlm::authenticate(c, "User", "Domain", "Password", ClientChallenge, 0);
    EXPECT_EQ(bytes(a.sessionKey), hex("8de40ccadbc14a82f15cb0ad0de95ca3"));
    const Bytes& m = a.message;
    ASSERT_GE(m.size(), 72u);
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 12), hex("4e544c4d53535000 03000000"));
    EXPECT_EQ(field(m, 12), hex("86c35097ac9cec102554764a57cccc19 aaaaaaaaaaaaaaaa"));
    Bytes nt = hex("68cd0ab851e51c96aabc927bebef6a1c 0101000000000000 0000000000000000"
                   "aaaaaaaaaaaaaaaa 00000000");
    nt.insert(nt.end(), ExampleTargetInfo.begin(), ExampleTargetInfo.end());
    nt.insert(nt.end(), 4, 0);
    EXPECT_EQ(field(m, 20), nt);
    EXPECT_EQ(field(m, 28), hex("44006f006d00610069006e00"));
    EXPECT_EQ(field(m, 36), hex("5500730065007200"));
    EXPECT_TRUE(field(m, 44).empty() && field(m, 52).empty());
    // What both sides offer: the server's KEY_EXCH, SEAL and OEM are not taken up.
    EXPECT_EQ(Bytes(m.begin() + 60, m.begin() + 64), hex("118288a2"));
}

TEST(Ntlmv2, UserIsUpperCasedDomainIsNot) {
    const auto c = *ntlm::parseChallenge(challengeMessage());
    const auto key = [&](const char* user, const char* domain) {
        return ntlm::authenticate(c, user, domain, "pw", ClientChallenge, 0).sessionKey;
    };
    EXPECT_EQ(key("jürgen", "Domain"), key("JÜRGEN", "Domain"));
    EXPECT_NE(key("User", "Domain"), key("User", "DOMAIN"));
}

TEST(Ntlmv2, TheServersTimeWinsAndSilencesLm) {
    for (const bool serverTime : {true, false}) {
        Bytes info = serverTime ? hex("07000800 8897a6b5c4d3d201") : Bytes{}; // MsvAvTimestamp
        info.insert(info.end(), ExampleTargetInfo.begin(), ExampleTargetInfo.end());
        const auto c = ntlm::parseChallenge(challengeMessage(info));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->netbiosDomain, "Domain");
        const Bytes m = ntlm::authenticate(*c, "User", "", "Password", ClientChallenge, 42).message;
        const Bytes nt = field(m, 20);
        EXPECT_EQ(Bytes(nt.begin() + 24, nt.begin() + 32),
                  hex(serverTime ? "8897a6b5c4d3d201" : "2a00000000000000"));
        EXPECT_EQ(field(m, 12) == Bytes(24, 0), serverTime);
    }
}

TEST(Ntlm, AnonymousCarriesNoNamesAndNoKey) {
    auto c = *ntlm::parseChallenge(challengeMessage());
    c.flags = 0x00088200; // an old server without Unicode: we still send it
    const auto a = ntlm::anonymous(c);
    EXPECT_EQ(a.sessionKey, ntlm::Key{});
    const Bytes& m = a.message;
    ASSERT_GE(m.size(), 64u);
    EXPECT_EQ(field(m, 12), Bytes{0});
    for (std::size_t at : {20, 28, 36, 44, 52})
        EXPECT_TRUE(field(m, at).empty()) << at;
    EXPECT_EQ(Bytes(m.begin() + 60, m.begin() + 64), hex("018a0800"));
}

TEST(Ntlm, MalformedChallengesAreRefused) {
    // Other target info, or a value put at an offset.
    // clang-format off
    const struct { const char *what, *info; std::size_t at; std::uint32_t value; } cases[] = {
        {"signature", nullptr, 4, 0}, {"message type", nullptr, 8, 3},
        {"target name past the end", nullptr, 16, 104 - 11},
        {"target info offset wraps", nullptr, 44, 0xffffffff},
        {"target info past the end", nullptr, 40, 0x250025},
        {"no end of list", nullptr, 40, 0x200020},
        {"pair past its field", "02002400 4400 00000000", 0, 0},
        {"short timestamp", "07000400 00000000 00000000", 0, 0},
        {"odd domain name", "02000300 410042 00000000", 0, 0}, {"half a pair", "0200", 0, 0}};
    // clang-format on
    for (const auto& c : cases) {
        Bytes m = c.info ? challengeMessage(hex(c.info)) : challengeMessage();
        if (c.at)
            set32(m, c.at, c.value);
        EXPECT_FALSE(ntlm::parseChallenge(m)) << c.what;
    }
    // Every cut is refused, and no byte changed makes it read out of bounds (under ASan: each
    // cut is a buffer of its own).
    const Bytes good = challengeMessage();
    for (std::size_t i = 0; i < good.size(); ++i) {
        EXPECT_FALSE(ntlm::parseChallenge(Bytes(good.begin(), good.begin() + i))) << i;
        Bytes m = good;
        m[i] = 0xff;
        (void)ntlm::parseChallenge(m);
    }
}

TEST(Spnego, OwnTokensReadBack) {
    const std::vector<Bytes> mechs{spnego::MsKerberosOid, spnego::KerberosOid, spnego::NtlmOid};
    for (const std::size_t size : {0, 100, 300, 70000}) { // each length form
        Bytes token(size);
        for (std::size_t i = 0; i < token.size(); ++i)
            token[i] = static_cast<std::uint8_t>(i * 7);
        const auto init = spnego::parse(spnego::initToken(mechs, token));
        const auto resp = spnego::parse(spnego::responseToken(token));
        ASSERT_TRUE(init && resp) << size;
        EXPECT_EQ(init->mechs, mechs);
        EXPECT_EQ(init->responseToken, token);
        EXPECT_EQ(resp->responseToken, token);
        EXPECT_EQ(resp->negState, -1);
    }
}

// Tokens as servers send them: NEGOTIATE's hints (NegTokenInit2), then NegTokenResps.
// clang-format off
const struct { const char *what, *token; int negState; const char *mech, *mechToken; }
ServerTokens[] = {
    {"hints", "6048 0606 2b0601050502 a03e 303c a00e 300c 060a 2b06010401823702020a"
              "a32a 3028 a026 1b24 6e6f745f646566696e65645f696e5f52464334313738"
              "40706c656173655f69676e6f7265", -1, "", ""},
    {"challenge", "a11d 301b a003 0a0101 a10c 060a 2b06010401823702020a a206 0404 4e544c4d", 1,
     "2b06010401823702020a", "4e544c4d"},
    {"accept-completed, MIC", "a11b 3019 a003 0a0100 a312 0410 0102030405060708090a0b0c0d0e0f10",
     0, "", ""},
    {"reject, long form", "a18107 3005 a003 0a0102", 2, "", ""}};
// clang-format on

TEST(Spnego, ReadsServerTokens) {
    for (const auto& t : ServerTokens) {
        const auto a = spnego::parse(hex(t.token));
        ASSERT_TRUE(a) << t.what;
        EXPECT_EQ(a->negState, t.negState) << t.what;
        EXPECT_EQ(a->supportedMech, hex(t.mech)) << t.what;
        EXPECT_EQ(a->responseToken, hex(t.mechToken)) << t.what;
        EXPECT_EQ(a->mechs,
                  t.negState < 0 ? std::vector<Bytes>{spnego::NtlmOid} : std::vector<Bytes>{});
    }
}

TEST(Spnego, MalformedTokensAreRefused) {
    const char* cases[] = {
        "",
        "a10b 3009 a003 0a0100 a302 0480",       // indefinite length
        "a184 ffffffff 3005 a003 0a0100",        // longer than the token
        "a107 3006 a003 0a0100",                 // longer than its parent
        "a107 3005 a003 0a0104",                 // no such negState
        "a10c 300a a203 040100 a003 0a0100",     // out of order
        "600e 0606 2b0601050503 a004 3002 a000", // not SPNEGO
    };
    for (const char* c : cases)
        EXPECT_FALSE(spnego::parse(hex(c))) << c;
    for (const auto& t : ServerTokens) {
        const Bytes token = hex(t.token);
        for (std::size_t n = 0; n < token.size(); ++n)
            EXPECT_FALSE(spnego::parse(Bytes(token.begin(), token.begin() + n))) << t.what << n;
    }
}

} // namespace
