// SMB2 and SMB3 messages as bytes: the requests we send and the answers we read. Pure byte work,
// no I/O. Every answer is read through a bounds-checked reader, so that a server (or whoever
// sits between) cannot make us read past what it sent.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace share::wire {

using Bytes = std::vector<std::uint8_t>;
using Span = std::span<const std::uint8_t>;

enum class Command : std::uint16_t {
    Negotiate = 0,
    SessionSetup = 1,
    Logoff = 2,
    TreeConnect = 3,
    TreeDisconnect = 4,
    Create = 5,
    Close = 6,
    Echo = 0x0d,
    QueryDirectory = 0x0e,
    QueryInfo = 0x10,
    SetInfo = 0x11,
    OplockBreak = 0x12,
};

/// NTSTATUS values we act on.
namespace status {
inline constexpr std::uint32_t Success = 0;
inline constexpr std::uint32_t Pending = 0x00000103;
inline constexpr std::uint32_t NoMoreFiles = 0x80000006;
inline constexpr std::uint32_t BufferOverflow = 0x80000005;
inline constexpr std::uint32_t MoreProcessingRequired = 0xC0000016;
inline constexpr std::uint32_t InvalidParameter = 0xC000000D;
inline constexpr std::uint32_t NoSuchFile = 0xC000000F;
inline constexpr std::uint32_t AccessDenied = 0xC0000022;
inline constexpr std::uint32_t ObjectNameInvalid = 0xC0000033;
inline constexpr std::uint32_t ObjectNameNotFound = 0xC0000034;
inline constexpr std::uint32_t ObjectNameCollision = 0xC0000035;
inline constexpr std::uint32_t ObjectPathNotFound = 0xC000003A;
inline constexpr std::uint32_t SharingViolation = 0xC0000043;
inline constexpr std::uint32_t DeletePending = 0xC0000056;
inline constexpr std::uint32_t PrivilegeNotHeld = 0xC0000061;
inline constexpr std::uint32_t WrongPassword = 0xC000006A;
inline constexpr std::uint32_t LogonFailure = 0xC000006D;
inline constexpr std::uint32_t AccountRestriction = 0xC000006E;
inline constexpr std::uint32_t PasswordExpired = 0xC0000071;
inline constexpr std::uint32_t AccountDisabled = 0xC0000072;
inline constexpr std::uint32_t MediaWriteProtected = 0xC00000A2;
inline constexpr std::uint32_t NotSupported = 0xC00000BB;
inline constexpr std::uint32_t BadNetworkName = 0xC00000CC;
inline constexpr std::uint32_t RequestNotAccepted = 0xC00000D0;
inline constexpr std::uint32_t NotADirectory = 0xC0000103;
inline constexpr std::uint32_t FileIsADirectory = 0xC00000BA;
inline constexpr std::uint32_t Cancelled = 0xC0000120;
inline constexpr std::uint32_t FileClosed = 0xC0000128;
inline constexpr std::uint32_t NetworkSessionExpired = 0xC000035C;
inline constexpr std::uint32_t UserSessionDeleted = 0xC0000203;
inline constexpr std::uint32_t PathNotCovered = 0xC0000257;
inline constexpr std::uint32_t AccountLockedOut = 0xC0000234;
inline constexpr std::uint32_t StoppedOnSymlink = 0x8000002D;
inline constexpr std::uint32_t InsufficientResources = 0xC000009A;
} // namespace status

/// Dialects, as NEGOTIATE numbers them.
namespace dialect {
inline constexpr std::uint16_t Smb202 = 0x0202, Smb210 = 0x0210, Smb300 = 0x0300, Smb302 = 0x0302,
                               Smb311 = 0x0311;
}

namespace flags {
inline constexpr std::uint32_t Response = 0x1, Async = 0x2, Related = 0x4, Signed = 0x8;
}

/// The 64-byte header every message starts with.
struct Header {
    std::uint16_t creditCharge = 0;
    std::uint32_t status = 0; ///< in a request: the channel sequence, 0
    Command command = Command::Negotiate;
    std::uint16_t credits = 0; ///< requested, or granted in an answer
    std::uint32_t flags = 0;
    std::uint32_t nextCommand = 0;
    std::uint64_t messageId = 0;
    std::uint64_t asyncId = 0; ///< with flags::Async
    std::uint32_t treeId = 0;
    std::uint64_t sessionId = 0;
    std::array<std::uint8_t, 16> signature{};
};
inline constexpr std::size_t HeaderSize = 64;

void putHeader(Bytes& out, const Header& h);
std::optional<Header> parseHeader(Span message);

/// The messages of one frame (a compound holds several, each starting at the one before's
/// NextCommand); nullopt where a header or an offset does not fit.
std::optional<std::vector<std::pair<Header, Span>>> splitFrame(Span frame);

/// A file handle.
struct FileId {
    std::uint64_t persistent = 0, volatileId = 0;
    bool operator==(const FileId&) const = default;
};
/// The handle that stands for "the one the previous request of the compound opened".
inline constexpr FileId RelatedFileId{~0ULL, ~0ULL};

// ---- text

/// UTF-16LE of UTF-8 text; nullopt where \p text is not valid UTF-8.
std::optional<Bytes> utf16(std::string_view text);
/// UTF-8 of UTF-16LE; an unpaired surrogate becomes its own three bytes, so names round-trip.
std::string utf8(Span utf16le);

// ---- requests: the body after the header

struct NegotiateRequest {
    std::vector<std::uint16_t> dialects;
    std::uint16_t securityMode = 1; ///< signing enabled; 2 adds "required"
    std::uint32_t capabilities = 0;
    std::array<std::uint8_t, 16> clientGuid{};
    std::array<std::uint8_t, 32> salt{};          ///< 3.1.1: the pre-authentication salt
    std::vector<std::uint16_t> ciphers;           ///< 3.1.1: offered ciphers, preferred first
    std::vector<std::uint16_t> signingAlgorithms; ///< 3.1.1: 0 HMAC-SHA256, 1 AES-CMAC, 2 AES-GMAC
};
Bytes negotiate(const NegotiateRequest& r);
/// SESSION_SETUP; \p previous names the session of a connection that broke, which the server
/// then ends before it answers (a request of it still in the server's hands is done or dropped
/// by then, never later).
Bytes sessionSetup(std::uint8_t securityMode, Span securityBuffer, std::uint64_t previous = 0);
Bytes treeConnect(std::string_view uncPathUtf16le);
Bytes logoff();
Bytes echo();

namespace access {
inline constexpr std::uint32_t ListDirectory = 0x1, ReadAttributes = 0x80, WriteAttributes = 0x100,
                               Synchronize = 0x100000;
}
namespace options {
inline constexpr std::uint32_t Directory = 0x1, NonDirectory = 0x40, OpenReparsePoint = 0x200000;
}

/// CREATE of an existing entry (FILE_OPEN) by its name below the share (UTF-16LE, "\" between
/// names; empty for the share's root), every kind of sharing allowed.
Bytes create(Span nameUtf16le, std::uint32_t desiredAccess, std::uint32_t createOptions);
Bytes close(const FileId& id, bool postQuery = false);
/// QUERY_DIRECTORY for FileIdBothDirectoryInformation, pattern "*".
Bytes queryDirectory(const FileId& id, bool restart, std::uint32_t outputLength);
/// QUERY_INFO of FileBasicInformation.
Bytes queryBasicInfo(const FileId& id);

/// FileBasicInformation: times as FILETIME, 0 leaves a time (and the word) as it is.
struct BasicInfo {
    std::uint64_t creation = 0, access = 0, write = 0, change = 0;
    std::uint32_t attributes = 0;
};
Bytes setBasicInfo(const FileId& id, const BasicInfo& info);

// ---- answers: the whole message, header included (their offsets count from its start)

struct NegotiateResponse {
    std::uint16_t securityMode = 0;
    std::uint16_t dialect = 0;
    std::array<std::uint8_t, 16> serverGuid{};
    std::uint32_t capabilities = 0;
    std::uint32_t maxTransact = 0, maxRead = 0, maxWrite = 0;
    Bytes securityBuffer;
    std::uint16_t hashAlgorithm = 0;    ///< 3.1.1: 1 SHA-512
    std::uint16_t cipher = 0;           ///< 3.1.1: what the server chose, 0 none
    std::uint16_t signingAlgorithm = 1; ///< 3.1.1: what the server chose (AES-CMAC by default)
};
std::optional<NegotiateResponse> parseNegotiate(Span message);

struct SessionSetupResponse {
    std::uint16_t sessionFlags = 0; ///< 1 guest, 2 anonymous, 4 encrypt data
    Bytes securityBuffer;
};
std::optional<SessionSetupResponse> parseSessionSetup(Span message);

struct TreeConnectResponse {
    std::uint8_t shareType = 0;
    std::uint32_t shareFlags = 0; ///< 0x8000 encrypt data; 0x1, 0x2 DFS
    std::uint32_t capabilities = 0;
    std::uint32_t maximalAccess = 0;
};
std::optional<TreeConnectResponse> parseTreeConnect(Span message);

struct CreateResponse {
    FileId id;
    BasicInfo info;
    std::uint64_t endOfFile = 0;
};
std::optional<CreateResponse> parseCreate(Span message);

std::optional<BasicInfo> parseCloseInfo(Span message);

/// The output buffer of a QUERY_INFO or QUERY_DIRECTORY answer.
std::optional<Span> parseOutputBuffer(Span message);

std::optional<BasicInfo> parseBasicInfo(Span buffer);

/// One entry of a FileIdBothDirectoryInformation listing.
struct DirectoryEntry {
    std::string name; ///< UTF-8
    BasicInfo info;
    std::uint32_t reparseTag = 0; ///< with the reparse bit: the EaSize field holds the tag
    std::uint64_t fileId = 0;
};
/// The entries of one answer's buffer; nullopt where an entry lies outside it.
std::optional<std::vector<DirectoryEntry>> parseDirectory(Span buffer);

// ---- little-endian helpers for the modules beside this one

void put16(Bytes& out, std::uint16_t v);
void put32(Bytes& out, std::uint32_t v);
void put64(Bytes& out, std::uint64_t v);

/// Reads little-endian numbers and byte runs; any read past the end sets failed() and gives 0.
class Reader {
public:
    explicit Reader(Span data) : data_(data) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    Span bytes(std::size_t n);
    void skip(std::size_t n);
    void seek(std::size_t at);
    std::size_t at() const { return at_; }
    bool failed() const { return failed_; }
    /// \p n bytes at \p offset of the whole, or nullopt (and failed()) where they lie outside.
    std::optional<Span> slice(std::size_t offset, std::size_t n);

private:
    Span data_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

} // namespace share::wire
