// The cryptography of SMB2 and SMB3 (MS-SMB2 3.1.4), over OpenSSL 3: signing, key derivation,
// the 3.1.1 pre-authentication hash, and encryption of whole messages. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace share::crypto {

using Bytes = std::vector<std::uint8_t>;
using Span = std::span<const std::uint8_t>;
using Mac = std::array<std::uint8_t, 16>;
using Hash512 = std::array<std::uint8_t, 64>;

/// SHA-512(\p hash || \p message) into \p hash: the 3.1.1 pre-authentication integrity value.
void preauthUpdate(Hash512& hash, Span message);

/// SP 800-108 in counter mode with HMAC-SHA256 (i = 1 as 32 bits, label, 0x00, context,
/// L = \p bits as 32 bits, all big-endian), its first \p bits / 8 bytes. \p label is given with
/// its own terminating NUL, as MS-SMB2 writes it ("SMB2AESCMAC\0"). Empty unless \p bits is a
/// multiple of 8 up to 256.
Bytes kdf(Span key, Span label, Span context, unsigned bits = 128);

/// The first 16 bytes of HMAC-SHA256(\p key, \p message): SMB 2.0.2 and 2.1 signing.
Mac hmacSha256(Span key, Span message);

/// AES-CMAC with a 128-bit key (RFC 4493): SMB 3.0 and 3.0.2 signing, 3.1.1 by default. All
/// zero where the key is not 16 bytes.
Mac aesCmac(Span key, Span message);

/// AES-128-GMAC (GCM with no plaintext, \p message as additional data): 3.1.1 signing where
/// negotiated. \p nonce is 12 bytes. All zero where the key is not 16 bytes.
Mac aesGmac(Span key, std::span<const std::uint8_t, 12> nonce, Span message);

/// The ciphers of SMB 3.x encryption, by their MS-SMB2 numbers.
enum class Cipher : std::uint16_t { Aes128Ccm = 1, Aes128Gcm = 2, Aes256Ccm = 3, Aes256Gcm = 4 };

/// The nonce length a cipher takes: 11 for CCM, 12 for GCM; 0 for a number that is no cipher.
std::size_t nonceSize(Cipher cipher);
/// The key length: 16 or 32.
std::size_t keySize(Cipher cipher);

/// Encrypts \p plain with \p key (keySize bytes), \p nonce (nonceSize bytes), authenticating
/// \p aad too; returns the cipher text (as long as \p plain) and the 16-byte tag in \p tag.
/// Empty, with a zero \p tag, where the cipher, key or nonce does not fit.
Bytes encrypt(Cipher cipher, Span key, Span nonce, Span aad, Span plain, Mac& tag);

/// The plain text, or nullopt where the tag does not match (the message was changed) or the
/// cipher, key or nonce does not fit.
std::optional<Bytes> decrypt(Cipher cipher, Span key, Span nonce, Span aad, Span cipherText,
                             const Mac& tag);

/// \p n random bytes from OpenSSL's generator; empty should it fail.
Bytes random(std::size_t n);

} // namespace share::crypto
