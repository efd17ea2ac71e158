#include "share/wire.h"

#include <algorithm>

namespace share::wire {

namespace {

constexpr std::uint8_t ProtocolId[4] = {0xfe, 'S', 'M', 'B'};

void putBytes(Bytes& out, Span b) {
    out.insert(out.end(), b.begin(), b.end());
}

void putFileId(Bytes& out, const FileId& id) {
    put64(out, id.persistent);
    put64(out, id.volatileId);
}

void padTo8(Bytes& out, std::size_t base = 0) {
    while ((out.size() + base) % 8)
        out.push_back(0);
}

// The fixed part of an answer's body: its StructureSize must be what the command answers with.
bool structure(Reader& r, std::uint16_t size) {
    r.seek(HeaderSize);
    return r.u16() == size && !r.failed();
}

BasicInfo readTimes(Reader& r) {
    BasicInfo info;
    info.creation = r.u64();
    info.access = r.u64();
    info.write = r.u64();
    info.change = r.u64();
    return info;
}

} // namespace

void put16(Bytes& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, std::uint16_t(v));
    put16(out, std::uint16_t(v >> 16));
}

void put64(Bytes& out, std::uint64_t v) {
    put32(out, std::uint32_t(v));
    put32(out, std::uint32_t(v >> 32));
}

std::uint8_t Reader::u8() {
    if (failed_ || at_ + 1 > data_.size()) {
        failed_ = true;
        return 0;
    }
    return data_[at_++];
}

std::uint16_t Reader::u16() {
    const std::uint16_t lo = u8();
    return std::uint16_t(lo | (u8() << 8));
}

std::uint32_t Reader::u32() {
    const std::uint32_t lo = u16();
    return lo | (std::uint32_t(u16()) << 16);
}

std::uint64_t Reader::u64() {
    const std::uint64_t lo = u32();
    return lo | (std::uint64_t(u32()) << 32);
}

Span Reader::bytes(std::size_t n) {
    if (failed_ || n > data_.size() - std::min(at_, data_.size())) {
        failed_ = true;
        return {};
    }
    const Span s = data_.subspan(at_, n);
    at_ += n;
    return s;
}

void Reader::skip(std::size_t n) {
    bytes(n);
}

void Reader::seek(std::size_t at) {
    if (at > data_.size())
        failed_ = true;
    else
        at_ = at;
}

std::optional<Span> Reader::slice(std::size_t offset, std::size_t n) {
    if (offset > data_.size() || n > data_.size() - offset) {
        failed_ = true;
        return std::nullopt;
    }
    return data_.subspan(offset, n);
}

void putHeader(Bytes& out, const Header& h) {
    putBytes(out, ProtocolId);
    put16(out, 64);
    put16(out, h.creditCharge);
    put32(out, h.status);
    put16(out, std::uint16_t(h.command));
    put16(out, h.credits);
    put32(out, h.flags);
    put32(out, h.nextCommand);
    put64(out, h.messageId);
    if (h.flags & flags::Async) {
        put64(out, h.asyncId);
    } else {
        put32(out, 0xfeff); // the process id field, as Windows fills it
        put32(out, h.treeId);
    }
    put64(out, h.sessionId);
    putBytes(out, h.signature);
}

std::optional<Header> parseHeader(Span message) {
    Reader r(message);
    const Span id = r.bytes(4);
    if (r.failed() || !std::equal(id.begin(), id.end(), ProtocolId) || r.u16() != 64)
        return std::nullopt;
    Header h;
    h.creditCharge = r.u16();
    h.status = r.u32();
    h.command = Command(r.u16());
    h.credits = r.u16();
    h.flags = r.u32();
    h.nextCommand = r.u32();
    h.messageId = r.u64();
    if (h.flags & flags::Async) {
        h.asyncId = r.u64();
    } else {
        r.u32();
        h.treeId = r.u32();
    }
    h.sessionId = r.u64();
    const Span sig = r.bytes(16);
    if (r.failed())
        return std::nullopt;
    std::copy(sig.begin(), sig.end(), h.signature.begin());
    return h;
}

std::optional<std::vector<std::pair<Header, Span>>> splitFrame(Span frame) {
    std::vector<std::pair<Header, Span>> messages;
    std::size_t at = 0;
    while (at < frame.size()) {
        const Span rest = frame.subspan(at);
        const auto h = parseHeader(rest);
        if (!h)
            return std::nullopt;
        std::size_t size = rest.size();
        if (h->nextCommand) {
            // Each message holds at least its header; an offset back or beyond would loop.
            if (h->nextCommand < HeaderSize || h->nextCommand > rest.size())
                return std::nullopt;
            size = h->nextCommand;
        }
        messages.emplace_back(*h, rest.first(size));
        at += size;
    }
    return messages;
}

// ---- text

std::optional<Bytes> utf16(std::string_view text) {
    Bytes out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0;
        std::size_t n = 0;
        if (b < 0x80) {
            cp = b;
            n = 1;
        } else if ((b & 0xe0) == 0xc0) {
            cp = b & 0x1f;
            n = 2;
        } else if ((b & 0xf0) == 0xe0) {
            cp = b & 0x0f;
            n = 3;
        } else if ((b & 0xf8) == 0xf0) {
            cp = b & 0x07;
            n = 4;
        } else {
            return std::nullopt;
        }
        if (i + n > text.size())
            return std::nullopt;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xc0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3f);
        }
        // Overlong forms and values beyond Unicode name no character. Three-byte surrogates
        // are taken: they are how utf8() keeps a server's unpaired ones.
        constexpr std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < Least[n] || cp > 0x10ffff)
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put16(out, std::uint16_t(0xd800 | (cp >> 10)));
            put16(out, std::uint16_t(0xdc00 | (cp & 0x3ff)));
        } else {
            put16(out, std::uint16_t(cp));
        }
        i += n;
    }
    return out;
}

std::string utf8(Span in) {
    std::string out;
    out.reserve(in.size());
    const std::size_t units = in.size() / 2;
    const auto unit = [&](std::size_t k) {
        return std::uint32_t(in[2 * k] | (in[2 * k + 1] << 8));
    };
    for (std::size_t k = 0; k < units; ++k) {
        std::uint32_t cp = unit(k);
        if (cp >= 0xd800 && cp < 0xdc00 && k + 1 < units && unit(k + 1) >= 0xdc00 &&
            unit(k + 1) < 0xe000) {
            cp = 0x10000 + ((cp - 0xd800) << 10) + (unit(k + 1) - 0xdc00);
            ++k;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xc0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += char(0xe0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3f));
            out += char(0x80 | (cp & 0x3f));
        } else {
            out += char(0xf0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3f));
            out += char(0x80 | ((cp >> 6) & 0x3f));
            out += char(0x80 | (cp & 0x3f));
        }
    }
    return out;
}

// ---- requests

Bytes negotiate(const NegotiateRequest& r) {
    const bool contexts =
        std::find(r.dialects.begin(), r.dialects.end(), dialect::Smb311) != r.dialects.end();
    Bytes b;
    put16(b, 36);
    put16(b, std::uint16_t(r.dialects.size()));
    put16(b, r.securityMode);
    put16(b, 0);
    put32(b, r.capabilities);
    putBytes(b, r.clientGuid);
    const std::size_t contextOffsetAt = b.size();
    put64(b, 0); // the contexts' offset and count, filled below
    for (const std::uint16_t d : r.dialects)
        put16(b, d);
    if (!contexts)
        return b;
    padTo8(b, HeaderSize);
    const std::uint32_t offset = std::uint32_t(HeaderSize + b.size());
    std::uint16_t count = 0;
    const auto context = [&](std::uint16_t type, const Bytes& data) {
        padTo8(b, HeaderSize);
        put16(b, type);
        put16(b, std::uint16_t(data.size()));
        put32(b, 0);
        putBytes(b, data);
        ++count;
    };
    Bytes preauth;
    put16(preauth, 1);  // one hash algorithm,
    put16(preauth, 32); // a salt of 32 bytes,
    put16(preauth, 1);  // SHA-512
    putBytes(preauth, r.salt);
    context(1, preauth);
    if (!r.ciphers.empty()) {
        Bytes ciphers;
        put16(ciphers, std::uint16_t(r.ciphers.size()));
        for (const std::uint16_t c : r.ciphers)
            put16(ciphers, c);
        context(2, ciphers);
    }
    if (!r.signingAlgorithms.empty()) {
        Bytes signing;
        put16(signing, std::uint16_t(r.signingAlgorithms.size()));
        for (const std::uint16_t a : r.signingAlgorithms)
            put16(signing, a);
        context(8, signing);
    }
    for (int k = 0; k < 4; ++k)
        b[contextOffsetAt + k] = std::uint8_t(offset >> (8 * k));
    b[contextOffsetAt + 4] = std::uint8_t(count);
    b[contextOffsetAt + 5] = std::uint8_t(count >> 8);
    return b;
}

Bytes sessionSetup(std::uint8_t securityMode, Span securityBuffer, std::uint64_t previous) {
    Bytes b;
    put16(b, 25);
    b.push_back(0);
    b.push_back(securityMode);
    put32(b, 1); // capabilities: DFS
    put32(b, 0);
    put16(b, std::uint16_t(HeaderSize + 24));
    put16(b, std::uint16_t(securityBuffer.size()));
    put64(b, previous);
    putBytes(b, securityBuffer);
    if (securityBuffer.empty())
        b.push_back(0);
    return b;
}

Bytes treeConnect(std::string_view path) {
    Bytes b;
    put16(b, 9);
    put16(b, 0);
    put16(b, std::uint16_t(HeaderSize + 8));
    put16(b, std::uint16_t(path.size()));
    b.insert(b.end(), path.begin(), path.end());
    return b;
}

Bytes logoff() {
    Bytes b;
    put16(b, 4);
    put16(b, 0);
    return b;
}

Bytes echo() {
    return logoff();
}

Bytes create(Span name, std::uint32_t desiredAccess, std::uint32_t createOptions) {
    Bytes b;
    put16(b, 57);
    b.push_back(0); // security flags
    b.push_back(0); // no oplock: nothing is read or written through the handle
    put32(b, 2);    // impersonation
    put64(b, 0);
    put64(b, 0);
    put32(b, desiredAccess);
    put32(b, 0);
    put32(b, 7); // share read, write and delete: others' handles stay usable
    put32(b, 1); // FILE_OPEN: never makes an entry
    put32(b, createOptions);
    put16(b, std::uint16_t(HeaderSize + 56));
    put16(b, std::uint16_t(name.size()));
    put32(b, 0);
    put32(b, 0);
    putBytes(b, name);
    if (name.empty())
        b.push_back(0);
    return b;
}

Bytes close(const FileId& id, bool postQuery) {
    Bytes b;
    put16(b, 24);
    put16(b, postQuery ? 1 : 0);
    put32(b, 0);
    putFileId(b, id);
    return b;
}

Bytes queryDirectory(const FileId& id, bool restart, std::uint32_t outputLength) {
    Bytes b;
    put16(b, 33);
    b.push_back(0x25); // FileIdBothDirectoryInformation
    b.push_back(restart ? 1 : 0);
    put32(b, 0);
    putFileId(b, id);
    put16(b, std::uint16_t(HeaderSize + 32));
    put16(b, 2);
    put32(b, outputLength);
    put16(b, '*');
    return b;
}

Bytes queryBasicInfo(const FileId& id) {
    Bytes b;
    put16(b, 41);
    b.push_back(1); // file information
    b.push_back(4); // FileBasicInformation
    put32(b, 40);
    put16(b, 0);
    put16(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    putFileId(b, id);
    b.push_back(0);
    return b;
}

Bytes setBasicInfo(const FileId& id, const BasicInfo& info) {
    Bytes b;
    put16(b, 33);
    b.push_back(1);
    b.push_back(4);
    put32(b, 40);
    put16(b, std::uint16_t(HeaderSize + 32));
    put16(b, 0);
    put32(b, 0);
    putFileId(b, id);
    put64(b, info.creation);
    put64(b, info.access);
    put64(b, info.write);
    put64(b, info.change);
    put32(b, info.attributes);
    put32(b, 0);
    return b;
}

// ---- answers

std::optional<NegotiateResponse> parseNegotiate(Span message) {
    Reader r(message);
    if (!structure(r, 65))
        return std::nullopt;
    NegotiateResponse n;
    n.securityMode = r.u16();
    n.dialect = r.u16();
    const std::uint16_t contextCount = r.u16();
    const Span guid = r.bytes(16);
    if (r.failed())
        return std::nullopt;
    std::copy(guid.begin(), guid.end(), n.serverGuid.begin());
    n.capabilities = r.u32();
    n.maxTransact = r.u32();
    n.maxRead = r.u32();
    n.maxWrite = r.u32();
    r.skip(16); // system time, server start time
    const std::uint16_t bufferOffset = r.u16();
    const std::uint16_t bufferLength = r.u16();
    const std::uint32_t contextOffset = r.u32();
    if (r.failed())
        return std::nullopt;
    if (bufferLength) {
        const auto buffer = r.slice(bufferOffset, bufferLength);
        if (!buffer)
            return std::nullopt;
        n.securityBuffer.assign(buffer->begin(), buffer->end());
    }
    if (n.dialect != dialect::Smb311)
        return n;
    std::size_t at = contextOffset;
    for (std::uint16_t k = 0; k < contextCount; ++k) {
        at = (at + 7) & ~std::size_t(7);
        r.seek(at);
        const std::uint16_t type = r.u16();
        const std::uint16_t length = r.u16();
        r.skip(4);
        const auto data = r.slice(r.at(), length);
        if (r.failed() || !data)
            return std::nullopt;
        Reader d(*data);
        if (type == 1) { // pre-authentication integrity
            if (d.u16() < 1)
                return std::nullopt;
            d.skip(2);
            n.hashAlgorithm = d.u16();
        } else if (type == 2) { // encryption
            if (d.u16() != 1)
                return std::nullopt;
            n.cipher = d.u16();
        } else if (type == 8) { // signing
            if (d.u16() != 1)
                return std::nullopt;
            n.signingAlgorithm = d.u16();
        }
        if (d.failed())
            return std::nullopt;
        at = r.at() + length;
    }
    return n;
}

std::optional<SessionSetupResponse> parseSessionSetup(Span message) {
    Reader r(message);
    if (!structure(r, 9))
        return std::nullopt;
    SessionSetupResponse s;
    s.sessionFlags = r.u16();
    const std::uint16_t offset = r.u16();
    const std::uint16_t length = r.u16();
    if (r.failed())
        return std::nullopt;
    if (length) {
        const auto buffer = r.slice(offset, length);
        if (!buffer)
            return std::nullopt;
        s.securityBuffer.assign(buffer->begin(), buffer->end());
    }
    return s;
}

std::optional<TreeConnectResponse> parseTreeConnect(Span message) {
    Reader r(message);
    if (!structure(r, 16))
        return std::nullopt;
    TreeConnectResponse t;
    t.shareType = r.u8();
    r.u8();
    t.shareFlags = r.u32();
    t.capabilities = r.u32();
    t.maximalAccess = r.u32();
    if (r.failed())
        return std::nullopt;
    return t;
}

std::optional<CreateResponse> parseCreate(Span message) {
    Reader r(message);
    if (!structure(r, 89))
        return std::nullopt;
    CreateResponse c;
    r.skip(6); // oplock, flags, create action
    c.info = readTimes(r);
    r.u64(); // allocation size
    c.endOfFile = r.u64();
    c.info.attributes = r.u32();
    r.u32();
    c.id.persistent = r.u64();
    c.id.volatileId = r.u64();
    if (r.failed())
        return std::nullopt;
    return c;
}

std::optional<BasicInfo> parseCloseInfo(Span message) {
    Reader r(message);
    if (!structure(r, 60))
        return std::nullopt;
    r.skip(6);
    BasicInfo info = readTimes(r);
    r.skip(16);
    info.attributes = r.u32();
    if (r.failed())
        return std::nullopt;
    return info;
}

std::optional<Span> parseOutputBuffer(Span message) {
    Reader r(message);
    if (!structure(r, 9))
        return std::nullopt;
    const std::uint16_t offset = r.u16();
    const std::uint32_t length = r.u32();
    if (r.failed())
        return std::nullopt;
    if (length == 0)
        return Span();
    return r.slice(offset, length);
}

std::optional<BasicInfo> parseBasicInfo(Span buffer) {
    Reader r(buffer);
    BasicInfo info = readTimes(r);
    info.attributes = r.u32();
    if (r.failed())
        return std::nullopt;
    return info;
}

std::optional<std::vector<DirectoryEntry>> parseDirectory(Span buffer) {
    std::vector<DirectoryEntry> entries;
    Reader r(buffer);
    std::size_t at = 0;
    for (;;) {
        r.seek(at);
        const std::uint32_t next = r.u32();
        r.u32(); // file index
        DirectoryEntry e;
        e.info = readTimes(r);
        r.skip(16); // end of file, allocation size
        e.info.attributes = r.u32();
        const std::uint32_t nameLength = r.u32();
        e.reparseTag = r.u32();
        r.skip(1 + 1 + 24 + 2); // the short name
        e.fileId = r.u64();
        const Span name = r.bytes(nameLength);
        if (r.failed() || nameLength % 2)
            return std::nullopt;
        e.name = utf8(name);
        entries.push_back(std::move(e));
        if (next == 0)
            return entries;
        // Entries follow each other: an offset that goes back or nowhere would loop.
        if (next < 104 || next > buffer.size() - at)
            return std::nullopt;
        at += next;
    }
}

} // namespace share::wire
