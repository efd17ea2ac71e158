// The algorithms are fetched from OpenSSL's default provider once and kept for the process:
// fetched EVP objects are safe to share between threads, and fetching for every message would cost
// more than signing a small one. Only the contexts are per call.
#include "share/crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <memory>

namespace share::crypto {

namespace {

struct Free {
    void operator()(EVP_MAC_CTX* p) const { EVP_MAC_CTX_free(p); }
    void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
template <class T> using Owned = std::unique_ptr<T, Free>;

// OpenSSL reads a null pointer as "no input" or even "finish", not as zero bytes, so an empty
// span must still point somewhere.
const std::uint8_t* in(Span s) {
    static const std::uint8_t none = 0;
    return s.empty() ? &none : s.data();
}

std::array<std::uint8_t, 4> be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

enum MacKind { Hmac, Cmac, Gmac };

EVP_MAC* macAlg(MacKind kind) {
    static EVP_MAC* const algs[] = {EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr),
                                    EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_CMAC, nullptr),
                                    EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_GMAC, nullptr)};
    return algs[kind];
}

const OSSL_PARAM* withSha256() {
    static const OSSL_PARAM params[] = {
        OSSL_PARAM_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>("SHA256"), 0),
        OSSL_PARAM_END};
    return params;
}

// One MAC over the concatenation of \p parts; \p out must hold the whole MAC (32 bytes suffice
// for every one used here). False where OpenSSL fails.
bool mac(EVP_MAC* alg, const OSSL_PARAM* params, Span key, std::initializer_list<Span> parts,
         std::span<std::uint8_t, 32> out) {
    if (!alg)
        return false;
    Owned<EVP_MAC_CTX> ctx(EVP_MAC_CTX_new(alg));
    if (!ctx || !EVP_MAC_init(ctx.get(), in(key), key.size(), params))
        return false;
    for (Span part : parts)
        if (!EVP_MAC_update(ctx.get(), in(part), part.size()))
            return false;
    std::size_t written = 0;
    return EVP_MAC_final(ctx.get(), out.data(), &written, out.size()) == 1 && written >= 16;
}

// A MAC cut to 16 bytes; all zero where it could not be made.
Mac mac16(EVP_MAC* alg, const OSSL_PARAM* params, Span key, Span message) {
    std::array<std::uint8_t, 32> full{};
    Mac result{};
    if (mac(alg, params, key, {message}, full))
        std::copy_n(full.begin(), result.size(), result.begin());
    OPENSSL_cleanse(full.data(), full.size());
    return result;
}

bool isCcm(Cipher cipher) {
    return cipher == Cipher::Aes128Ccm || cipher == Cipher::Aes256Ccm;
}

const EVP_CIPHER* cipherAlg(Cipher cipher) {
    static EVP_CIPHER* const algs[] = {EVP_CIPHER_fetch(nullptr, "AES-128-CCM", nullptr),
                                       EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr),
                                       EVP_CIPHER_fetch(nullptr, "AES-256-CCM", nullptr),
                                       EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr)};
    const auto n = static_cast<std::size_t>(cipher);
    return n >= 1 && n <= 4 ? algs[n - 1] : nullptr;
}

constexpr int TagSize = 16;

// OpenSSL's cipher calls answer 1 for success but 0 or -1 for failure.
bool ok(int result) {
    return result > 0;
}

// Sets \p ctx up for one message up to and including the additional data. CCM must know the
// nonce and tag lengths before the key (and on decryption the tag itself), and the length of
// the text before the additional data; GCM takes its tag only at the end.
bool begin(EVP_CIPHER_CTX* ctx, Cipher cipher, Span key, Span nonce, Span aad, std::size_t textSize,
           bool encrypting, const Mac* tag) {
    const EVP_CIPHER* alg = cipherAlg(cipher);
    if (!alg || key.size() != keySize(cipher) || nonce.size() != nonceSize(cipher) ||
        aad.size() > INT_MAX || textSize > INT_MAX)
        return false;
    const int enc = encrypting ? 1 : 0;
    const bool ccm = isCcm(cipher);
    auto* expected = tag ? const_cast<std::uint8_t*>(tag->data()) : nullptr;
    int written = 0;
    return ok(EVP_CipherInit_ex(ctx, alg, nullptr, nullptr, nullptr, enc)) &&
           ok(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, int(nonce.size()), nullptr)) &&
           (!ccm || ok(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, TagSize, expected))) &&
           ok(EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), nonce.data(), enc)) &&
           (!ccm || ok(EVP_CipherUpdate(ctx, nullptr, &written, nullptr, int(textSize)))) &&
           (aad.empty() ||
            ok(EVP_CipherUpdate(ctx, nullptr, &written, aad.data(), int(aad.size()))));
}

} // namespace

void preauthUpdate(Hash512& hash, Span message) {
    Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    Hash512 next;
    unsigned int written = 0;
    if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) &&
        EVP_DigestUpdate(ctx.get(), hash.data(), hash.size()) &&
        EVP_DigestUpdate(ctx.get(), in(message), message.size()) &&
        EVP_DigestFinal_ex(ctx.get(), next.data(), &written) && written == next.size())
        hash = next;
}

Bytes kdf(Span key, Span label, Span context, unsigned bits) {
    // One round of the PRF gives 256 bits, all that SMB ever asks for.
    if (bits == 0 || bits % 8 != 0 || bits > 256)
        return {};
    const auto counter = be32(1);
    const auto length = be32(bits);
    const std::uint8_t separator = 0;
    std::array<std::uint8_t, 32> full{};
    Bytes result;
    if (mac(macAlg(Hmac), withSha256(), key, {counter, label, Span(&separator, 1), context, length},
            full))
        result.assign(full.begin(), full.begin() + bits / 8);
    OPENSSL_cleanse(full.data(), full.size());
    return result;
}

Mac hmacSha256(Span key, Span message) {
    return mac16(macAlg(Hmac), withSha256(), key, message);
}

Mac aesCmac(Span key, Span message) {
    if (key.size() != 16)
        return {};
    static const OSSL_PARAM params[] = {
        OSSL_PARAM_utf8_string(OSSL_MAC_PARAM_CIPHER, const_cast<char*>("AES-128-CBC"), 0),
        OSSL_PARAM_END};
    return mac16(macAlg(Cmac), params, key, message);
}

Mac aesGmac(Span key, std::span<const std::uint8_t, 12> nonce, Span message) {
    if (key.size() != 16)
        return {};
    const OSSL_PARAM params[] = {
        OSSL_PARAM_utf8_string(OSSL_MAC_PARAM_CIPHER, const_cast<char*>("AES-128-GCM"), 0),
        OSSL_PARAM_octet_string(OSSL_MAC_PARAM_IV, const_cast<std::uint8_t*>(nonce.data()),
                                nonce.size()),
        OSSL_PARAM_END};
    return mac16(macAlg(Gmac), params, key, message);
}

std::size_t nonceSize(Cipher cipher) {
    if (keySize(cipher) == 0)
        return 0;
    return isCcm(cipher) ? 11 : 12;
}

std::size_t keySize(Cipher cipher) {
    switch (cipher) {
    case Cipher::Aes128Ccm:
    case Cipher::Aes128Gcm:
        return 16;
    case Cipher::Aes256Ccm:
    case Cipher::Aes256Gcm:
        return 32;
    }
    return 0;
}

Bytes encrypt(Cipher cipher, Span key, Span nonce, Span aad, Span plain, Mac& tag) {
    tag = {};
    Owned<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || !begin(ctx.get(), cipher, key, nonce, aad, plain.size(), true, nullptr))
        return {};
    Bytes out(plain.size());
    std::uint8_t none = 0;
    std::uint8_t* to = out.empty() ? &none : out.data();
    int written = 0;
    int last = 0;
    // CCM makes its tag in the update, so it needs that call even for an empty text.
    if (!ok(EVP_CipherUpdate(ctx.get(), to, &written, in(plain), int(plain.size()))) ||
        !ok(EVP_CipherFinal_ex(ctx.get(), to + written, &last)) ||
        !ok(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, TagSize, tag.data()))) {
        tag = {};
        return {};
    }
    return out;
}

std::optional<Bytes> decrypt(Cipher cipher, Span key, Span nonce, Span aad, Span cipherText,
                             const Mac& tag) {
    Owned<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || !begin(ctx.get(), cipher, key, nonce, aad, cipherText.size(), false, &tag))
        return std::nullopt;
    Bytes out(cipherText.size());
    std::uint8_t none = 0;
    std::uint8_t* to = out.empty() ? &none : out.data();
    int written = 0;
    int last = 0;
    // CCM checks the tag in the update and has nothing to finish; GCM checks it in the final.
    const bool authentic =
        ok(EVP_CipherUpdate(ctx.get(), to, &written, in(cipherText), int(cipherText.size()))) &&
        (isCcm(cipher) || (ok(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, TagSize,
                                                  const_cast<std::uint8_t*>(tag.data()))) &&
                           ok(EVP_CipherFinal_ex(ctx.get(), to + written, &last))));
    if (!authentic) {
        // Text that failed its check is not to be seen, not even in freed memory.
        OPENSSL_cleanse(out.data(), out.size());
        return std::nullopt;
    }
    return out;
}

Bytes random(std::size_t n) {
    Bytes out(n);
    for (std::size_t done = 0; done < n;) {
        const int chunk = int(std::min<std::size_t>(n - done, INT_MAX));
        if (RAND_bytes(out.data() + done, chunk) != 1)
            return {};
        done += std::size_t(chunk);
    }
    return out;
}

} // namespace share::crypto
