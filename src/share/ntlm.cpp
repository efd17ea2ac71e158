// NTLMv2 and SPNEGO as SMB2's SESSION_SETUP carries them. Whatever a server sends is read through
// bounds-checked views: an offset or length that leaves the bytes at hand makes the whole message
// malformed, never a read past its end.
#include "share/ntlm.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>

namespace share::ntlm {

namespace {

using Span = std::span<const std::uint8_t>;

constexpr std::uint32_t NegotiateUnicode = 0x00000001;
constexpr std::uint32_t RequestTarget = 0x00000004;
constexpr std::uint32_t NegotiateSign = 0x00000010;
constexpr std::uint32_t NegotiateNtlm = 0x00000200;
constexpr std::uint32_t NegotiateAnonymous = 0x00000800;
constexpr std::uint32_t NegotiateAlwaysSign = 0x00008000;
constexpr std::uint32_t ExtendedSessionSecurity = 0x00080000;
constexpr std::uint32_t NegotiateTargetInfo = 0x00800000;
constexpr std::uint32_t NegotiateVersion = 0x02000000;
constexpr std::uint32_t Negotiate128 = 0x20000000;
constexpr std::uint32_t Negotiate56 = 0x80000000;

// No KEY_EXCH: the session key is then the session base key itself and no RC4 is needed. No
// SEAL: SMB3 encrypts with keys of its own.
constexpr std::uint32_t OurFlags =
    NegotiateUnicode | RequestTarget | NegotiateSign | NegotiateNtlm | NegotiateAlwaysSign |
    ExtendedSessionSecurity | NegotiateTargetInfo | NegotiateVersion | Negotiate128 | Negotiate56;

constexpr std::uint8_t Signature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
// 10.0, build 0, NTLM revision 15. Servers only log it; we claim no Windows build.
constexpr std::uint8_t OurVersion[8] = {10, 0, 0, 0, 0, 0, 0, 15};

constexpr std::uint16_t AvEol = 0;
constexpr std::uint16_t AvNbDomainName = 2;
constexpr std::uint16_t AvTimestamp = 7;

// The NTLMv2 response adds 48 bytes to the target info it echoes; both go in 16-bit fields.
constexpr std::size_t MaxTargetInfo = 0xffff - 48;

std::uint16_t get16(Span b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t get32(Span b, std::size_t at) {
    return get16(b, at) | std::uint32_t{get16(b, at + 2)} << 16;
}

std::uint64_t get64(Span b, std::size_t at) {
    return get32(b, at) | std::uint64_t{get32(b, at + 4)} << 32;
}

void put(Bytes& b, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<std::uint8_t>(value >> 8 * i));
}

void set(Bytes& b, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

void append(Bytes& b, Span data) {
    b.insert(b.end(), data.begin(), data.end());
}

// UTF-8 to UTF-16LE. A byte that starts no valid sequence (overlong forms and encoded surrogates
// included) becomes U+FFFD, so a broken password still hashes to something definite.
Bytes utf16le(std::string_view text) {
    Bytes out;
    auto unit = [&](std::uint32_t u) { put(out, u, 2); };
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t c = s[i];
        std::size_t more = 0;
        std::uint32_t cp = c, least = 0;
        if (c >= 0xc2 && c <= 0xdf) {
            more = 1, cp = c & 0x1f, least = 0x80;
        } else if ((c & 0xf0) == 0xe0) {
            more = 2, cp = c & 0x0f, least = 0x800;
        } else if (c >= 0xf0 && c <= 0xf4) {
            more = 3, cp = c & 0x07, least = 0x10000;
        } else if (c >= 0x80) {
            cp = 0xfffd;
        }
        bool ok = i + more < n || more == 0;
        for (std::size_t k = 1; ok && k <= more; ++k) {
            ok = (s[i + k] & 0xc0) == 0x80;
            cp = cp << 6 | (s[i + k] & 0x3f);
        }
        if (!ok || cp < least || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
            unit(0xfffd);
            ++i;
            continue;
        }
        i += more + 1;
        if (cp >= 0x10000) {
            unit(0xd800 + ((cp - 0x10000) >> 10));
            unit(0xdc00 + (cp & 0x3ff));
        } else {
            unit(cp);
        }
    }
    return out;
}

// UTF-16LE (even length) to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8(Span units) {
    std::string out;
    auto add = [&](std::uint32_t cp) {
        auto byte = [&](std::uint32_t v) { out.push_back(static_cast<char>(v)); };
        const int more = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        constexpr std::uint32_t Lead[] = {0x00, 0xc0, 0xe0, 0xf0};
        byte(Lead[more] | cp >> 6 * more);
        for (int k = more - 1; k >= 0; --k)
            byte(0x80 | (cp >> 6 * k & 0x3f));
    };
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        const std::uint32_t u = get16(units, i);
        if (u >= 0xd800 && u <= 0xdbff && i + 3 < units.size()) {
            const std::uint32_t low = get16(units, i + 2);
            if (low >= 0xdc00 && low <= 0xdfff) {
                add(0x10000 + ((u - 0xd800) << 10) + (low - 0xdc00));
                i += 2;
                continue;
            }
        }
        add(u >= 0xd800 && u <= 0xdfff ? 0xfffd : u);
    }
    return out;
}

// Windows upper-cases the user name by its own table before hashing. Ours covers the letters a
// user name is likely to hold: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic, by their
// simple one-to-one mappings. Anything else (ß, ligatures) stays as it is, as it does there.
std::uint16_t upper(std::uint16_t c) {
    auto pairs = [c](std::uint16_t first, std::uint16_t last, bool upperIsEven) {
        return c >= first && c <= last && (c % 2 == 0) != upperIsEven;
    };
    if ((c >= 'a' && c <= 'z') || (c >= 0xe0 && c <= 0xfe && c != 0xf7))
        return c - 0x20;
    if (c == 0xff)
        return 0x178;
    if (pairs(0x100, 0x12f, true) || pairs(0x132, 0x137, true) || pairs(0x139, 0x148, false) ||
        pairs(0x14a, 0x177, true) || pairs(0x179, 0x17e, false))
        return c - 1;
    if (c == 0x3c2) // final sigma
        return 0x3a3;
    if ((c >= 0x3b1 && c <= 0x3cb) || (c >= 0x430 && c <= 0x44f))
        return c - 0x20;
    if (c == 0x3ac)
        return 0x386;
    if ((c >= 0x3ad && c <= 0x3af))
        return c - 0x25;
    if (c == 0x3cc)
        return 0x38c;
    if (c == 0x3cd || c == 0x3ce)
        return c - 0x3f;
    if (c >= 0x450 && c <= 0x45f)
        return c - 0x50;
    return c;
}

Bytes upperUtf16le(const std::string& text) {
    Bytes b = utf16le(text);
    for (std::size_t i = 0; i < b.size(); i += 2)
        set(b, i, upper(get16(b, i)), 2);
    return b;
}

// HMAC-MD5 of \p a || \p b; false where OpenSSL offers no MD5 (a FIPS-only configuration).
bool hmacMd5(Span key, Span a, Span b, Key& out) {
    Bytes data(a.begin(), a.end());
    append(data, b);
    unsigned int size = 0;
    return HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), data.data(), data.size(),
                out.data(), &size) != nullptr &&
           size == out.size();
}

// Security buffer fields (length, maximum length, offset) in order, each pointing at its bytes in
// the payload behind a fixed header.
struct Writer {
    Bytes b;
    std::size_t next; // the next field's place in the header

    Writer(std::uint32_t type, std::size_t header) : b(header), next(12) {
        std::copy(std::begin(Signature), std::end(Signature), b.begin());
        set(b, 8, type, 4);
    }

    bool field(Span data) {
        if (data.size() > 0xffff)
            return false;
        set(b, next, static_cast<std::uint32_t>(data.size()), 2);
        set(b, next + 2, static_cast<std::uint32_t>(data.size()), 2);
        set(b, next + 4, static_cast<std::uint32_t>(b.size()), 4);
        next += 8;
        append(b, data);
        return true;
    }
};

Authenticated authenticateWith(std::uint32_t flags, Span lm, Span nt, Span domain, Span user,
                               const Key& sessionKey) {
    flags |= NegotiateUnicode;
    const bool version = flags & NegotiateVersion;
    Writer w(3, version ? 72 : 64);
    set(w.b, 60, flags, 4);
    if (version)
        std::copy(std::begin(OurVersion), std::end(OurVersion), w.b.begin() + 64);
    // Fields in header order: LM, NT, domain, user, workstation (none), encrypted session key
    // (none without KEY_EXCH).
    if (!w.field(lm) || !w.field(nt) || !w.field(domain) || !w.field(user) || !w.field({}) ||
        !w.field({}))
        return {};
    return {std::move(w.b), sessionKey};
}

} // namespace

Key md4(std::span<const std::uint8_t> data) {
    std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    auto rotl = [](std::uint32_t v, int s) { return v << s | v >> (32 - s); };
    auto block = [&](const std::uint8_t* p) {
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i)
            x[i] = get32(Span(p, 64), 4 * i);
        static constexpr int S[3][4] = {{3, 7, 11, 19}, {3, 5, 9, 13}, {3, 9, 11, 15}};
        static constexpr int Order3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 48; ++i) {
            const int round = i / 16, j = i % 16;
            std::uint32_t f = 0;
            int k = j;
            if (round == 0) {
                f = (b & c) | (~b & d);
            } else if (round == 1) {
                f = ((b & c) | (b & d) | (c & d)) + 0x5a827999;
                k = j % 4 * 4 + j / 4;
            } else {
                f = (b ^ c ^ d) + 0x6ed9eba1;
                k = Order3[j];
            }
            const std::uint32_t t = rotl(a + f + x[k], S[round][j % 4]);
            a = d, d = c, c = b, b = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d;
    };
    std::size_t whole = data.size() / 64 * 64;
    for (std::size_t i = 0; i < whole; i += 64)
        block(data.data() + i);
    Bytes tail(data.begin() + static_cast<std::ptrdiff_t>(whole), data.end());
    tail.push_back(0x80);
    while (tail.size() % 64 != 56)
        tail.push_back(0);
    put(tail, std::uint64_t{data.size()} * 8, 8);
    for (std::size_t i = 0; i < tail.size(); i += 64)
        block(tail.data() + i);
    Key out;
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<std::uint8_t>(h[i / 4] >> 8 * (i % 4));
    return out;
}

Bytes negotiateMessage() {
    // Domain and workstation stay empty: we are no domain member.
    Writer w(1, 40);
    set(w.b, 12, OurFlags, 4);
    w.next = 16;
    w.field({});
    w.field({});
    std::copy(std::begin(OurVersion), std::end(OurVersion), w.b.begin() + 32);
    return w.b;
}

std::optional<Challenge> parseChallenge(std::span<const std::uint8_t> message) {
    // Through TargetInfoFields; the version after it is optional and unused.
    if (message.size() < 48 ||
        !std::equal(std::begin(Signature), std::end(Signature), message.begin()) ||
        get32(message, 8) != 2)
        return std::nullopt;
    auto field = [&](std::size_t at) -> std::optional<Span> {
        const std::uint64_t length = get16(message, at), offset = get32(message, at + 4);
        if (offset + length > message.size())
            return std::nullopt;
        return message.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    };
    const auto targetName = field(12);
    const auto targetInfo = field(40);
    if (!targetName || !targetInfo || targetInfo->size() > MaxTargetInfo)
        return std::nullopt;

    Challenge c;
    c.flags = get32(message, 20);
    std::copy_n(message.begin() + 24, 8, c.serverChallenge.begin());
    c.targetInfo.assign(targetInfo->begin(), targetInfo->end());

    // The AV pairs must end in MsvAvEOL inside the field; an empty field has none at all.
    const Span av = *targetInfo;
    for (std::size_t at = 0; !av.empty();) {
        if (av.size() - at < 4)
            return std::nullopt;
        const std::uint16_t id = get16(av, at), length = get16(av, at + 2);
        at += 4;
        if (av.size() - at < length)
            return std::nullopt;
        const Span value = av.subspan(at, length);
        at += length;
        if (id == AvEol)
            break;
        if (id == AvTimestamp) {
            if (length != 8)
                return std::nullopt;
            c.timestamp = get64(value, 0);
        } else if (id == AvNbDomainName) {
            if (length % 2)
                return std::nullopt;
            c.netbiosDomain = utf8(value);
        }
    }
    return c;
}

Key ntHash(std::string_view password) {
    Bytes text = utf16le(password);
    const Key hash = md4(text);
    // The password's other form is wiped too: it must not outlive the sign-in in memory.
    OPENSSL_cleanse(text.data(), text.size());
    return hash;
}

Authenticated authenticate(const Challenge& challenge, const std::string& user,
                           const std::string& domain, std::string_view password,
                           std::span<const std::uint8_t, 8> clientChallenge, std::uint64_t now) {
    const Key hash = ntHash(password);
    const Bytes userName = utf16le(user);
    const Bytes domainName = utf16le(domain.empty() ? challenge.netbiosDomain : domain);
    Bytes identity = upperUtf16le(user);
    append(identity, domainName);
    Key ntowf, proof, sessionKey, lmProof;
    if (!hmacMd5(hash, identity, {}, ntowf))
        return {};

    // The client's part of the NTLMv2 response ("temp"): its layout is fixed by the protocol.
    const bool serverTime = challenge.timestamp.has_value();
    Bytes temp{0x01, 0x01, 0, 0, 0, 0, 0, 0};
    put(temp, serverTime ? *challenge.timestamp : now, 8);
    append(temp, clientChallenge);
    put(temp, 0, 4);
    append(temp, challenge.targetInfo);
    put(temp, 0, 4);
    if (!hmacMd5(ntowf, challenge.serverChallenge, temp, proof) ||
        !hmacMd5(ntowf, proof, {}, sessionKey) ||
        !hmacMd5(ntowf, challenge.serverChallenge, clientChallenge, lmProof))
        return {};
    Bytes nt(proof.begin(), proof.end());
    append(nt, temp);

    // With the server's time in the target info, the LMv2 response is left zero: the server
    // checks the NT response's time then, and a second response would only be a second target.
    Bytes lm(24, 0);
    if (!serverTime) {
        std::copy(lmProof.begin(), lmProof.end(), lm.begin());
        std::copy(clientChallenge.begin(), clientChallenge.end(), lm.begin() + 16);
    }
    return authenticateWith(OurFlags & challenge.flags, lm, nt, domainName, userName, sessionKey);
}

Authenticated anonymous(const Challenge& challenge) {
    const std::uint8_t zero[1] = {0};
    return authenticateWith((OurFlags & challenge.flags) | NegotiateAnonymous, zero, {}, {}, {},
                            Key{});
}

} // namespace share::ntlm

namespace share::spnego {

namespace {

using Span = std::span<const std::uint8_t>;

constexpr std::uint8_t SpnegoOid[] = {0x2b, 0x06, 0x01, 0x05, 0x05, 0x02};

constexpr std::uint8_t Application0 = 0x60, Sequence = 0x30, Oid = 0x06, OctetString = 0x04,
                       Enumerated = 0x0a;
constexpr std::uint8_t context(int n) {
    return static_cast<std::uint8_t>(0xa0 + n);
}

Bytes tlv(std::uint8_t tag, Span content) {
    Bytes b{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        b.push_back(static_cast<std::uint8_t>(n));
    } else {
        int bytes = 1;
        while (bytes < 4 && n >> 8 * bytes)
            ++bytes;
        b.push_back(static_cast<std::uint8_t>(0x80 | bytes));
        for (int i = bytes - 1; i >= 0; --i)
            b.push_back(static_cast<std::uint8_t>(n >> 8 * i));
    }
    b.insert(b.end(), content.begin(), content.end());
    return b;
}

// Reads one element after another from a span. Lengths come in the short form or the long form
// with up to four bytes; a long form that could have been short is accepted (some servers write
// them), an indefinite length is not DER and is refused, as are high tag numbers.
struct Reader {
    Span rest;

    bool done() const { return rest.empty(); }

    // The content of the next element where its tag is \p tag.
    std::optional<Span> next(std::uint8_t tag) {
        if (rest.size() < 2 || rest[0] != tag || (tag & 0x1f) == 0x1f)
            return std::nullopt;
        std::size_t at = 2;
        std::uint64_t length = rest[1];
        if (length & 0x80) {
            const std::size_t bytes = length & 0x7f;
            if (bytes == 0 || bytes > 4 || rest.size() < 2 + bytes)
                return std::nullopt;
            length = 0;
            for (std::size_t i = 0; i < bytes; ++i)
                length = length << 8 | rest[at++];
        }
        if (length > rest.size() - at)
            return std::nullopt;
        const Span content = rest.subspan(at, static_cast<std::size_t>(length));
        rest = rest.subspan(at + static_cast<std::size_t>(length));
        return content;
    }

    // The next element, whatever its tag, as its tag's context number.
    std::optional<std::pair<int, Span>> nextContext() {
        if (rest.empty() || (rest[0] & 0xe0) != 0xa0)
            return std::nullopt;
        const int number = rest[0] & 0x1f;
        const auto content = next(rest[0]);
        if (!content)
            return std::nullopt;
        return std::pair{number, *content};
    }
};

// The single element of \p outer's content, tagged \p tag, which must fill it.
std::optional<Span> only(Span outer, std::uint8_t tag) {
    Reader r{outer};
    const auto inner = r.next(tag);
    return inner && r.done() ? inner : std::nullopt;
}

// NegTokenInit and NegTokenInit2: [0] mechTypes, [1] reqFlags, [2] mechToken, [3] negHints or
// mechListMIC, [4] mechListMIC. Only mechTypes and mechToken matter to us.
bool readInit(Span body, Answer& a) {
    Reader r{body};
    for (int last = -1; !r.done();) {
        const auto element = r.nextContext();
        if (!element || element->first <= last || element->first > 4)
            return false;
        last = element->first;
        if (last == 0) {
            const auto list = only(element->second, Sequence);
            if (!list)
                return false;
            for (Reader mechs{*list}; !mechs.done();) {
                const auto oid = mechs.next(Oid);
                if (!oid || oid->empty())
                    return false;
                a.mechs.emplace_back(oid->begin(), oid->end());
            }
        } else if (last == 2) {
            const auto token = only(element->second, OctetString);
            if (!token)
                return false;
            a.responseToken.assign(token->begin(), token->end());
        }
    }
    return true;
}

// NegTokenResp: [0] negState, [1] supportedMech, [2] responseToken, [3] mechListMIC.
bool readResp(Span body, Answer& a) {
    Reader r{body};
    for (int last = -1; !r.done();) {
        const auto element = r.nextContext();
        if (!element || element->first <= last || element->first > 3)
            return false;
        last = element->first;
        const Span value = element->second;
        if (last == 0) {
            // accept-completed, accept-incomplete, reject, request-mic
            const auto state = only(value, Enumerated);
            if (!state || state->size() != 1 || (*state)[0] > 3)
                return false;
            a.negState = (*state)[0];
        } else if (last == 1) {
            const auto oid = only(value, Oid);
            if (!oid || oid->empty())
                return false;
            a.supportedMech.assign(oid->begin(), oid->end());
        } else {
            const auto octets = only(value, OctetString);
            if (!octets)
                return false;
            if (last == 2)
                a.responseToken.assign(octets->begin(), octets->end());
        }
    }
    return true;
}

} // namespace

Bytes initToken(const std::vector<Bytes>& mechs, const Bytes& mechToken) {
    Bytes oids;
    for (const Bytes& mech : mechs) {
        const Bytes oid = tlv(Oid, mech);
        oids.insert(oids.end(), oid.begin(), oid.end());
    }
    Bytes init = tlv(context(0), tlv(Sequence, oids));
    const Bytes token = tlv(context(2), tlv(OctetString, mechToken));
    init.insert(init.end(), token.begin(), token.end());
    Bytes body = tlv(Oid, SpnegoOid);
    const Bytes inner = tlv(context(0), tlv(Sequence, init));
    body.insert(body.end(), inner.begin(), inner.end());
    return tlv(Application0, body);
}

Bytes responseToken(const Bytes& mechToken) {
    return tlv(context(1), tlv(Sequence, tlv(context(2), tlv(OctetString, mechToken))));
}

std::optional<Answer> parse(std::span<const std::uint8_t> token) {
    Answer a;
    if (!token.empty() && token[0] == Application0) {
        const auto gss = only(token, Application0);
        if (!gss)
            return std::nullopt;
        Reader inner{*gss};
        const auto oid = inner.next(Oid);
        if (!oid || !std::ranges::equal(*oid, SpnegoOid))
            return std::nullopt;
        const auto init = inner.next(context(0));
        if (!init || !inner.done())
            return std::nullopt;
        const auto body = only(*init, Sequence);
        if (!body || !readInit(*body, a))
            return std::nullopt;
        return a;
    }
    const auto resp = only(token, context(1));
    const auto body = resp ? only(*resp, Sequence) : std::nullopt;
    if (!body || !readResp(*body, a))
        return std::nullopt;
    return a;
}

} // namespace share::spnego
