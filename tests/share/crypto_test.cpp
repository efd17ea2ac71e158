// The crypto against published answers (the SMB 3.0 and 3.1.1 keys and messages Microsoft gave
// out, the GCM test cases), then what a changed message does. The MACs and the pre-authentication
// hash are proved against Samba itself: it refuses every request they sign wrongly.
#include "share/crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

using namespace share::crypto;
using namespace std::literals;

namespace {

Bytes hex(std::string_view s) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        out.push_back(std::uint8_t(std::stoul(std::string(s.substr(i, 2)), nullptr, 16)));
    return out;
}

std::string hexOf(Span bytes) {
    std::string s;
    for (std::uint8_t b : bytes)
        s += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    return s;
}

Span text(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

} // namespace

TEST(Crypto, KdfGivesThePublishedSmbKeys) {
    // Labels carry their own NUL and the KDF adds its 0x00 after it: losing either changes every
    // key. The 256-bit row has no published value; it was worked out with Python's hmac.
    const Bytes key30 = hex("7CD451825D0450D235424E44BA6E78CC");
    const Bytes key311 = hex("419FDDF34C1E001909D362AE7FB6AF79");
    const Bytes preauth = hex("B23F3CBFD69487D9832B79B1594A367CDD950909B774C3A4C412B4FCEA9EDDDB"
                              "A7DB256BA2EA30E977F11F9B113247578E0E915C6D2A513B8F2FCA5707DC8770");
    const struct {
        const Bytes& key;
        std::string_view label;
        Span context;
        unsigned bits;
        const char* expected;
    } cases[] = {
        {key30, "SMB2AESCMAC\0"sv, text("SmbSign\0"sv), 128, "0B7E9C5CAC36C0F6EA9AB275298CEDCE"},
        {key30, "SMB2AESCCM\0"sv, text("ServerIn \0"sv), 128, "FAD27796665B313EBB578F388632B4F7"},
        {key311, "SMBSigningKey\0"sv, preauth, 128, "8765949DFEAEE105CE9118B45BE988F0"},
        {key311, "SMBS2CCipherKey\0"sv, preauth, 128, "748C50868C90F302962A5C35F5F9A8BF"},
        {key311, "SMBC2SCipherKey\0"sv, preauth, 256,
         "CB61EB110446FBCAEB6A83BEEDB92779130B833A706E5B3495879D52195B90ED"}};
    for (const auto& c : cases)
        EXPECT_EQ(hexOf(kdf(c.key, text(c.label), c.context, c.bits)), c.expected) << c.label;
}

TEST(Crypto, CiphersGiveKnownAnswers) {
    // Two SMB2 WRITE responses as Windows encrypted them (the additional data is the transform
    // header from its nonce on), NIST GCM test case 14, and AES-256-CCM as RFC 3610 builds it
    // from AES blocks, worked out apart from OpenSSL.
    const struct {
        Cipher cipher;
        const char *key, *nonce, *aad, *plain, *sealed; // sealed: cipher text, then tag
    } cases[] = {
        {Cipher::Aes128Gcm, "748C50868C90F302962A5C35F5F9A8BF", "E06831DD2E8EB7B400000000",
         "E06831DD2E8EB7B4000000000000000050000000000001002500000000100000",
         "FE534D4240000100000000000900010001000000000000000500000000000000FFFE00000100000025000000"
         "001000000000000000000000000000000000000011000000170000000000000000000000",
         "26BBBF949983A6C1C796559D0F2C510CB651D1F7B6AC8DED32A2A0B8F2D793A815C6F6B848D69767A215841A"
         "42D400AE6DDB5F0B44173A014973321FDD7950DA6179159B82E03C9E18A050FF0EA1C967ACBE1CB7ED343ADF"
         "1725EF144D90D4B0"},
        {Cipher::Aes128Ccm, "95C544AEF6072680DA1CE49A68A97FA6", "D96831DD2E8EB7B4000000",
         "D96831DD2E8EB7B4000000000000000050000000000001002100000000100000",
         "FE534D4240000100000000000900010001000000000000000500000000000000FFFE00000100000021000000"
         "001000000000000000000000000000000000000011000000170000000000000000000000",
         "F783157E0F6F1C055D746753CA16D20C21088E2A67564E056C2F68A7F14F226C3BD809B7A2D52E5FE4ECF498"
         "21BC6001733430CF174E2764B3CCB213AAD8BB9FBAF6C15E13D9120965390E004A96A3F7DD33EC41A927DD51"
         "476FE887C2D3C136"},
        {Cipher::Aes256Gcm, "0000000000000000000000000000000000000000000000000000000000000000",
         "000000000000000000000000", "", "00000000000000000000000000000000",
         "CEA7403D4D606B6E074EC5D3BAF39D18D0D1C8A799996BF0265B98B5D48AB919"},
        {Cipher::Aes256Ccm, "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F",
         "404142434445464748494A", "202122232425262728292A2B2C2D2E2F",
         "505152535455565758595A5B5C5D5E5F",
         "255C21F95FBFD463328192D0DDF9146F64E47762995F579C22B174A31325882E"}};
    for (const auto& c : cases) {
        const Bytes key = hex(c.key), nonce = hex(c.nonce), aad = hex(c.aad), plain = hex(c.plain);
        const Bytes sealed = hex(c.sealed);
        Mac tag;
        const Bytes cipherText = encrypt(c.cipher, key, nonce, aad, plain, tag);
        EXPECT_EQ(hexOf(cipherText) + hexOf(tag), c.sealed) << int(c.cipher);
        std::copy(sealed.end() - 16, sealed.end(), tag.begin());
        EXPECT_EQ(decrypt(c.cipher, key, nonce, aad, Span(sealed).first(plain.size()), tag), plain);
    }
}

TEST(Crypto, EveryCipherRefusesAChangedMessage) {
    for (Cipher cipher :
         {Cipher::Aes128Ccm, Cipher::Aes128Gcm, Cipher::Aes256Ccm, Cipher::Aes256Gcm}) {
        const Bytes key(keySize(cipher), 0x42), nonce(nonceSize(cipher), 7), aad(32, 9);
        for (std::size_t size : {0, 1000}) {
            SCOPED_TRACE(testing::Message() << int(cipher) << " " << size);
            Mac tag;
            Bytes sealed = encrypt(cipher, key, nonce, aad, Bytes(size, 0x5A), tag);
            ASSERT_EQ(decrypt(cipher, key, nonce, aad, sealed, tag), Bytes(size, 0x5A));
            Mac badTag = tag;
            badTag[15] ^= 1;
            Bytes badAad = aad;
            badAad[31] ^= 1;
            EXPECT_FALSE(decrypt(cipher, key, nonce, aad, sealed, badTag));
            EXPECT_FALSE(decrypt(cipher, key, nonce, badAad, sealed, tag));
            if (size > 0) {
                sealed[size / 2] ^= 0x80;
                EXPECT_FALSE(decrypt(cipher, key, nonce, aad, sealed, tag));
            }
        }
    }
}
