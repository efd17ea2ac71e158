// Signing in with a password or as a guest: NTLMv2 (MS-NLMP) inside SPNEGO (RFC 4178), as SMB2's
// SESSION_SETUP carries it. Pure byte work, no I/O: the client sends what these make and hands
// back what the server answered. Every answer is parsed with bounds checks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace share::ntlm {

using Bytes = std::vector<std::uint8_t>;
using Key = std::array<std::uint8_t, 16>;

/// NEGOTIATE_MESSAGE: Unicode, NTLMv2 with extended session security, signing, 128-bit, no key
/// exchange (RC4 is not needed then).
Bytes negotiateMessage();

/// What a CHALLENGE_MESSAGE says.
struct Challenge {
    std::uint32_t flags = 0;
    std::array<std::uint8_t, 8> serverChallenge{};
    Bytes targetInfo;                       ///< the AV pairs as sent
    std::optional<std::uint64_t> timestamp; ///< MsvAvTimestamp, where the server sent one
    std::string netbiosDomain;              ///< MsvAvNbDomainName, UTF-8
};

/// nullopt where \p message is no well-formed CHALLENGE_MESSAGE (any field out of bounds).
std::optional<Challenge> parseChallenge(std::span<const std::uint8_t> message);

/// MD4 (RFC 1320), for ntHash and its tests.
Key md4(std::span<const std::uint8_t> data);

/// The NT hash of a password: MD4 of its UTF-16LE form (our own MD4: OpenSSL 3 keeps it in the
/// legacy provider).
Key ntHash(std::string_view password);

struct Authenticated {
    Bytes message;  ///< AUTHENTICATE_MESSAGE; empty where it cannot be made (a name
                    ///< too long for its field, no MD5 in OpenSSL)
    Key sessionKey; ///< the session base key, SMB2's session key; zero for a guest
};

/// AUTHENTICATE_MESSAGE with an NTLMv2 response for \p user in \p domain (UTF-8; the domain
/// the server named where \p domain is empty). \p clientChallenge is 8 random bytes; \p now the
/// client's time in FILETIME units, used where the server sent no timestamp.
Authenticated authenticate(const Challenge& challenge, const std::string& user,
                           const std::string& domain, std::string_view password,
                           std::span<const std::uint8_t, 8> clientChallenge, std::uint64_t now);

/// The anonymous AUTHENTICATE_MESSAGE (a guest: no user, no password, no session key).
Authenticated anonymous(const Challenge& challenge);

} // namespace share::ntlm

namespace share::spnego {

using Bytes = std::vector<std::uint8_t>;

/// The mechanisms by their DER-encoded object identifiers (the OID's content bytes only).
inline const Bytes NtlmOid{0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x02, 0x0a};
inline const Bytes KerberosOid{0x2a, 0x86, 0x48, 0x86, 0xf7, 0x12, 0x01, 0x02, 0x02};
inline const Bytes MsKerberosOid{0x2a, 0x86, 0x48, 0x82, 0xf7, 0x12, 0x01, 0x02, 0x02};

/// The GSS-API initial token: [APPLICATION 0] { SPNEGO OID, NegTokenInit { mechTypes, mechToken }
/// }.
Bytes initToken(const std::vector<Bytes>& mechs, const Bytes& mechToken);

/// NegTokenResp { responseToken } as the client's later legs send it.
Bytes responseToken(const Bytes& mechToken);

/// What a server's token says: a NegTokenInit (the hints in NEGOTIATE's security buffer) or a
/// NegTokenResp.
struct Answer {
    int negState = -1;        ///< 0 accept-completed, 1 accept-incomplete, 2 reject; -1 absent
    Bytes supportedMech;      ///< OID content bytes, where named
    Bytes responseToken;      ///< the mechanism's token, where present
    std::vector<Bytes> mechs; ///< a NegTokenInit's mechTypes
};

/// nullopt where \p token is not well-formed DER of either form.
std::optional<Answer> parse(std::span<const std::uint8_t> token);

} // namespace share::spnego
