#include "share/client.h"

#include "platform/fileservices.h"
#include "share/connection.h"
#include "share/crypto.h"
#include "share/kerberos_linux.h"
#include "share/keyring_linux.h"
#include "share/ntlm.h"
#include "share/secret.h"
#include "share/signin.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include <openssl/crypto.h>

namespace share {

namespace {

using wire::Command;
namespace st = wire::status;

using platform::attr::Classic, platform::attr::Normal;
constexpr std::uint64_t EpochDifference = 11644473600ULL; // 1601 to 1970, in seconds
constexpr std::uint32_t ListingBuffer = 1 << 20;

std::error_code errorOf(int code) {
    return {code, std::generic_category()};
}

// What the user is told of a server's refusal: the nearest system reason.
std::error_code errorOfStatus(std::uint32_t status) {
    switch (status) {
    case st::NoSuchFile:
    case st::ObjectNameNotFound:
    case st::ObjectPathNotFound:
    case st::DeletePending:
        return errorOf(ENOENT);
    case st::AccessDenied:
    case st::PrivilegeNotHeld:
    case st::LogonFailure:
    case st::WrongPassword:
    case st::AccountRestriction:
    case st::PasswordExpired:
    case st::AccountDisabled:
    case st::AccountLockedOut:
        return errorOf(EACCES);
    case st::SharingViolation:
        return errorOf(EBUSY);
    case st::NotADirectory:
        return errorOf(ENOTDIR);
    case st::FileIsADirectory:
        return errorOf(EISDIR);
    case st::MediaWriteProtected:
        return errorOf(EROFS);
    case st::NotSupported:
        return errorOf(ENOTSUP);
    case st::InvalidParameter:
    case st::ObjectNameInvalid:
        return errorOf(EINVAL);
    case st::BadNetworkName:
        return errorOf(ENXIO);
    case st::InsufficientResources:
    case st::RequestNotAccepted:
        return errorOf(EAGAIN);
    case st::NetworkSessionExpired:
    case st::UserSessionDeleted:
        return errorOf(ECONNRESET);
    case st::PathNotCovered:
        return make_error_code(platform::Refusal::DfsLink);
    default:
        return errorOf(EIO);
    }
}

bool signInRefused(std::uint32_t status) {
    switch (status) {
    case st::AccessDenied:
    case st::LogonFailure:
    case st::WrongPassword:
    case st::AccountRestriction:
        return true;
    default:
        return false;
    }
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

wire::Bytes bytesOf(const char* text, std::size_t n) {
    return wire::Bytes(text, text + n);
}

// ---- sessions

std::chrono::milliseconds& timeout() {
    static std::chrono::milliseconds t{5000};
    return t;
}

// Who signs in. The password is held only until its session is set up.
struct Credential {
    std::string user, domain;
    Secret password;
    bool anonymous = true;
    bool remember = false;
    bool kerberos = false; ///< with the user's ticket: no password
};

struct Session {
    std::unique_ptr<Connection> connection;
    std::string host;
    int port = 445;
    std::string user, domain; // who signed in; empty for a guest
    std::uint16_t dialect = 0;
    std::uint32_t maxTransact = 65536;
    Protection protection; // as set up: a share that wants encryption turns it on
    std::map<std::string, std::uint32_t> trees; // by share, lower case
};

struct Target {
    std::shared_ptr<Session> session;
    std::uint32_t tree = 0;
};

// The server and port as a connection names them: an IPv6 literal without its brackets.
std::string hostOf(const Address& a) {
    if (a.server.size() > 2 && a.server.front() == '[' && a.server.back() == ']')
        return a.server.substr(1, a.server.size() - 2);
    return a.server;
}

std::string serverKey(const Address& a) {
    return lower(a.server) + ":" + std::to_string(a.port ? a.port : 445);
}

std::string sessionKey(const Address& a, const Credential& c) {
    return serverKey(a) + "|" + (c.anonymous ? "" : lower(c.domain) + "\\" + lower(c.user));
}

bool sameName(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

// Everything this process holds of its servers. Used from the window's thread; the
// connections' own threads never reach it.
struct Registry {
    std::map<std::string, std::shared_ptr<Session>> sessions; // by sessionKey()
    std::map<std::string, std::string> shareSessions;         // a share's session, by shareKey
    std::set<std::string> keyringRefused; // servers whose saved password was refused: not again
};

Registry& registry() {
    static Registry r;
    return r;
}

std::string shareKey(const Address& a) {
    return serverKey(a) + "/" + lower(a.share) + "|" + lower(a.domain) + "\\" + lower(a.user);
}

crypto::Bytes label(const char* text) {
    return bytesOf(text, std::char_traits<char>::length(text) + 1);
}

// Negotiates, signs in with \p c, and sets up signing and encryption as the server allows.
std::error_code setUp(const Address& a, const Credential& c, std::shared_ptr<Session>& out,
                      std::uint32_t& refused, std::uint64_t previous = 0) {
    auto s = std::make_shared<Session>();
    s->host = hostOf(a);
    s->port = a.port ? a.port : 445;
    s->user = c.user;
    s->domain = c.domain;
    std::error_code ec;
    s->connection = Connection::open(s->host, s->port, requestTimeout(), ec);
    if (!s->connection)
        return ec;
    Connection& conn = *s->connection;

    wire::NegotiateRequest n;
    n.dialects = {wire::dialect::Smb202, wire::dialect::Smb210, wire::dialect::Smb300,
                  wire::dialect::Smb302, wire::dialect::Smb311};
    n.capabilities = 0x1 | 0x4 | 0x40; // DFS, large MTU, encryption
    const auto guid = crypto::random(16), salt = crypto::random(32);
    std::copy(guid.begin(), guid.end(), n.clientGuid.begin());
    std::copy(salt.begin(), salt.end(), n.salt.begin());
    n.ciphers = {std::uint16_t(crypto::Cipher::Aes128Gcm), std::uint16_t(crypto::Cipher::Aes128Ccm),
                 std::uint16_t(crypto::Cipher::Aes256Gcm),
                 std::uint16_t(crypto::Cipher::Aes256Ccm)};
    n.signingAlgorithms = {2, 1, 0};
    std::vector<Reply> r;
    wire::Bytes sent;
    if ((ec = conn.call({{Command::Negotiate, wire::negotiate(n)}}, false, r, requestTimeout(),
                        &sent)))
        return ec;
    const auto negotiated = wire::parseNegotiate(r[0].span());
    if (r[0].header.status != st::Success || !negotiated)
        return errorOf(EPROTO);
    s->dialect = negotiated->dialect;
    s->maxTransact = negotiated->maxTransact;
    conn.setDialect(s->dialect);
    const bool v311 = s->dialect == wire::dialect::Smb311;
    crypto::Hash512 preauth{};
    if (v311) {
        crypto::preauthUpdate(preauth, sent);
        crypto::preauthUpdate(preauth, r[0].span());
    }

    // NTLM in SPNEGO: NEGOTIATE, CHALLENGE, AUTHENTICATE.
    Protection p;
    const auto leg = [&](const wire::Bytes& token) -> std::error_code {
        if (auto e = conn.call({{Command::SessionSetup, wire::sessionSetup(1, token, previous)}},
                               false, r, requestTimeout(), &sent))
            return e;
        if (v311)
            crypto::preauthUpdate(preauth, sent);
        return {};
    };
    crypto::Bytes fullKey;
    if (c.kerberos) {
        // Kerberos in SPNEGO: the ticket's token, then the server's proof in its answer.
        kerberos::Initiator krb(s->host);
        wire::Bytes token;
        if (!krb.step({}, token))
            return errorOf(EACCES);
        if ((ec = leg(spnego::initToken({spnego::MsKerberosOid, spnego::KerberosOid}, token))))
            return ec;
        refused = r[0].header.status;
        if (refused != st::Success)
            return errorOfStatus(refused);
        const auto setup = wire::parseSessionSetup(r[0].span());
        const auto answer = setup ? spnego::parse(setup->securityBuffer) : std::nullopt;
        if (!answer || !krb.step(answer->responseToken, token) || !krb.complete())
            return errorOf(EBADMSG);
        fullKey = krb.sessionKey();
        p.sessionId = r[0].header.sessionId;
    } else {
        if ((ec = leg(spnego::initToken({spnego::NtlmOid}, ntlm::negotiateMessage()))))
            return ec;
        if (r[0].header.status != st::MoreProcessingRequired) {
            refused = r[0].header.status;
            return errorOfStatus(refused);
        }
        if (v311)
            crypto::preauthUpdate(preauth, r[0].span());
        p.sessionId = r[0].header.sessionId;
        conn.protect(p);
        const auto setup = wire::parseSessionSetup(r[0].span());
        const auto answer = setup ? spnego::parse(setup->securityBuffer) : std::nullopt;
        const auto challenge = answer ? ntlm::parseChallenge(answer->responseToken) : std::nullopt;
        if (!challenge)
            return errorOf(EPROTO);
        const auto clientChallenge = crypto::random(8);
        const std::uint64_t now =
            (std::uint64_t(std::time(nullptr)) + EpochDifference) * 10'000'000;
        const ntlm::Authenticated auth =
            c.anonymous
                ? ntlm::anonymous(*challenge)
                : ntlm::authenticate(*challenge, c.user, c.domain, c.password.view(),
                                     std::span<const std::uint8_t, 8>(clientChallenge.data(), 8),
                                     now);
        if (auth.message.empty())
            return errorOf(EINVAL);
        if ((ec = leg(spnego::responseToken(auth.message))))
            return ec;
        if (r[0].header.status != st::Success) {
            refused = r[0].header.status;
            return errorOfStatus(refused);
        }
        fullKey.assign(auth.sessionKey.begin(), auth.sessionKey.end());
    }
    const auto done = wire::parseSessionSetup(r[0].span());
    if (!done)
        return errorOf(EPROTO);
    const bool keyless = c.anonymous || (done->sessionFlags & 0x3);
    if (keyless && (done->sessionFlags & 0x4))
        return make_error_code(platform::Refusal::NeedsEncryption);
    if (!keyless) {
        // The first 16 bytes sign; the ciphers of 256 bits take all of a longer Kerberos key.
        crypto::Bytes key = fullKey;
        key.resize(16, 0);
        if (s->dialect < wire::dialect::Smb300) {
            p.signing = Protection::Signing::HmacSha256;
            p.signingKey = key;
        } else if (!v311) {
            p.signing = Protection::Signing::AesCmac;
            p.signingKey = crypto::kdf(key, label("SMB2AESCMAC"), label("SmbSign"));
            p.encryptionKey = crypto::kdf(key, label("SMB2AESCCM"), label("ServerIn "));
            p.decryptionKey = crypto::kdf(key, label("SMB2AESCCM"), label("ServerOut"));
        } else {
            p.signing = negotiated->signingAlgorithm == 2   ? Protection::Signing::AesGmac
                        : negotiated->signingAlgorithm == 0 ? Protection::Signing::HmacSha256
                                                            : Protection::Signing::AesCmac;
            p.signingKey = crypto::kdf(key, label("SMBSigningKey"), preauth);
            if (negotiated->cipher) {
                p.cipher = crypto::Cipher(negotiated->cipher);
                const unsigned bits = unsigned(crypto::keySize(p.cipher) * 8);
                const crypto::Bytes& cipherKey = bits > 128 ? fullKey : key;
                p.encryptionKey = crypto::kdf(cipherKey, label("SMBC2SCipherKey"), preauth, bits);
                p.decryptionKey = crypto::kdf(cipherKey, label("SMBS2CCipherKey"), preauth, bits);
            }
        }
        p.sign = true;
        // The server signs its last answer with the new key: proof that it knew the password
        // too, and that nobody between changed the dialect it chose.
        // From 3.0 on it must.
        const auto mac = signatureOf(p, r[0].span(), true);
        const bool isSigned = r[0].header.flags & wire::flags::Signed;
        if ((isSigned &&
             CRYPTO_memcmp(mac.data(), r[0].header.signature.data(), mac.size()) != 0) ||
            (!isSigned && s->dialect >= wire::dialect::Smb300))
            return errorOf(EBADMSG);
        if (done->sessionFlags & 0x4)
            p.encrypt = !p.encryptionKey.empty();
        conn.protect(p);
    }
    s->protection = p;
    out = std::move(s);
    return {};
}

std::error_code connectTree(Session& s, const Address& a, std::uint32_t& tree,
                            std::uint32_t& refused) {
    const auto key = lower(a.share);
    if (const auto it = s.trees.find(key); it != s.trees.end()) {
        tree = it->second;
        return {};
    }
    const auto path = wire::utf16("\\\\" + a.server + "\\" + a.share);
    if (!path)
        return errorOf(EILSEQ);
    std::vector<Reply> r;
    if (auto ec =
            s.connection->call({{Command::TreeConnect,
                                 wire::treeConnect(std::string_view(
                                     reinterpret_cast<const char*>(path->data()), path->size()))}},
                               false, r, requestTimeout()))
        return ec;
    if (r[0].header.status != st::Success) {
        refused = r[0].header.status;
        return errorOfStatus(refused);
    }
    const auto t = wire::parseTreeConnect(r[0].span());
    if (!t)
        return errorOf(EPROTO);
    // A share that wants its traffic encrypted: everything of the session is, from here on.
    if ((t->shareFlags & 0x8000) && !s.protection.encrypt) {
        if (s.protection.encryptionKey.empty())
            return make_error_code(platform::Refusal::NeedsEncryption);
        s.protection.encrypt = true;
        s.connection->protect(s.protection);
    }
    tree = r[0].header.treeId;
    s.trees[key] = tree;
    return {};
}

// The session and tree that serve \p a, signing in where the share wants it: on a session this
// server already gave us (of the address's user, where it names one), as a guest where the
// address names no user, with the keyring's password, and with the window's question, asked
// again after a wrong answer. A password goes to the server and port it was given for only,
// and is never sent twice on its own: a refused one is asked for. A cancelled question skips
// every later call on that share until the next drop or run.
std::error_code resolve(const Address& a, Target& t) {
    Registry& reg = registry();
    const std::string shareId = shareKey(a);
    if (signin::wasCancelled(shareId))
        return make_error_code(platform::Refusal::SignInCancelled);
    std::uint32_t refused = 0;
    if (const auto known = reg.shareSessions.find(shareId); known != reg.shareSessions.end()) {
        const auto s = reg.sessions.find(known->second);
        if (s != reg.sessions.end() && s->second->connection->alive()) {
            t.session = s->second;
            return connectTree(*t.session, a, t.tree, refused);
        }
    }
    const std::string server = serverKey(a);
    for (const auto& [key, s] : reg.sessions) {
        if (!key.starts_with(server + "|") || !s->connection->alive() ||
            (!a.user.empty() &&
             (!sameName(s->user, a.user) || (!a.domain.empty() && !sameName(s->domain, a.domain)))))
            continue;
        if (!connectTree(*s, a, t.tree, refused)) {
            t.session = s;
            reg.shareSessions[shareId] = key;
            return {};
        }
    }
    bool guestTried = !a.user.empty(), kerberosTried = false, keyringTried = false, again = false;
    std::string lastUser = a.user, lastDomain = a.domain;
    for (;;) {
        Credential c;
        bool fromKeyring = false;
        if (!guestTried) {
            guestTried = true;
        } else if (!kerberosTried) {
            kerberosTried = true;
            if (!kerberos::haveTicket())
                continue;
            c.anonymous = false;
            c.kerberos = true;
        } else if (!keyringTried && !reg.keyringRefused.contains(server)) {
            keyringTried = true;
            auto saved = keyring::find(a.server, a.user, a.domain, a.port);
            if (!saved)
                continue;
            c = {saved->user, saved->domain, Secret(std::move(saved->password)), false, false};
            fromKeyring = true;
        } else {
            const signin::Asker& ask = signin::asker();
            if (!ask)
                return errorOf(EACCES);
            auto answer = ask({a.server, a.share, a.port, lastUser, lastDomain, again});
            if (!answer) {
                signin::markCancelled(shareId);
                return make_error_code(platform::Refusal::SignInCancelled);
            }
            c = {answer->user, answer->domain, Secret(std::move(answer->password)), false,
                 answer->remember};
        }
        std::shared_ptr<Session> s;
        // The same sign-in on a connection that broke: its old session goes first.
        const auto old = reg.sessions.find(sessionKey(a, c));
        const std::uint64_t previous =
            old != reg.sessions.end() && !old->second->connection->alive()
                ? old->second->protection.sessionId
                : 0;
        std::error_code ec = setUp(a, c, s, refused, previous);
        std::uint32_t tree = 0;
        if (!ec)
            ec = connectTree(*s, a, tree, refused);
        if (!ec) {
            if (c.remember)
                keyring::save(a.server, a.share, a.port,
                              {c.user, c.domain, std::string(c.password.view()), true});
            const std::string key = sessionKey(a, c);
            reg.sessions[key] = s;
            reg.shareSessions[shareId] = key;
            t.session = s;
            t.tree = tree;
            return {};
        }
        // No ticket for this server, or guests not let in (an AD DC refuses them outright): a
        // password may do.
        if (c.kerberos || (c.anonymous && refused))
            continue;
        if (!signInRefused(refused))
            return ec;
        if (fromKeyring)
            reg.keyringRefused.insert(server);
        again = !c.anonymous;
        if (again) {
            lastUser = c.user;
            lastDomain = c.domain;
        }
    }
}

Request createRequest(const wire::Bytes& name, std::uint32_t access, std::uint32_t options,
                      std::uint32_t tree) {
    return {Command::Create, wire::create(name, access, options), tree};
}

Request related(Command command, wire::Bytes body, std::uint32_t tree, std::uint16_t charge = 1) {
    return {command, std::move(body), tree, charge};
}

// The first refusal in a compound's answers.
std::error_code firstFailure(const std::vector<Reply>& r, std::size_t upTo) {
    for (std::size_t k = 0; k < std::min(upTo, r.size()); ++k)
        if (r[k].header.status != st::Success)
            return errorOfStatus(r[k].header.status);
    return {};
}

std::vector<Request> writeChain(const wire::Bytes& name, const wire::BasicInfo& set,
                                std::uint32_t tree) {
    using wire::RelatedFileId;
    return {createRequest(name, wire::access::ReadAttributes | wire::access::WriteAttributes,
                          wire::options::OpenReparsePoint, tree),
            related(Command::SetInfo, wire::setBasicInfo(RelatedFileId, set), tree),
            related(Command::QueryInfo, wire::queryBasicInfo(RelatedFileId), tree),
            related(Command::Close, wire::close(RelatedFileId), tree)};
}

std::error_code readWritten(std::error_code ec, const std::vector<Reply>& r, Entry& out) {
    if (ec)
        return ec;
    if (r.size() != 4)
        return errorOf(EPROTO);
    if (auto refused = firstFailure(r, 2))
        return refused;
    const auto buffer = wire::parseOutputBuffer(r[2].span());
    const auto info = buffer ? wire::parseBasicInfo(*buffer) : std::nullopt;
    if (r[2].header.status != st::Success || !info)
        return errorOf(EIO);
    out.info = *info;
    return {};
}

bool lostAnswer(std::error_code ec) {
    return ec == std::errc::timed_out || ec == std::errc::connection_reset;
}

// Whether the entry has what \p set sent: the word's four bits and each time sent.
bool has(const wire::BasicInfo& now, const wire::BasicInfo& set) {
    return (!set.attributes || (now.attributes & Classic) == (set.attributes & Classic)) &&
           (!set.write || now.write == set.write) &&
           (!set.creation || now.creation == set.creation);
}

std::uint32_t listingLength(const Session& s) {
    return s.dialect < wire::dialect::Smb210
               ? 65536
               : std::min<std::uint32_t>(s.maxTransact, ListingBuffer);
}

std::vector<Request> listChain(const Session& s, const wire::Bytes& name, std::uint32_t tree,
                               bool closeAfterTwo) {
    using wire::RelatedFileId;
    const std::uint32_t length = listingLength(s);
    const auto charge = std::uint16_t((length + 65535) / 65536);
    std::vector<Request> chain{
        createRequest(name,
                      wire::access::ListDirectory | wire::access::ReadAttributes |
                          wire::access::Synchronize,
                      wire::options::Directory, tree),
        related(Command::QueryDirectory, wire::queryDirectory(RelatedFileId, true, length), tree,
                charge)};
    if (closeAfterTwo) {
        chain.push_back(related(Command::QueryDirectory,
                                wire::queryDirectory(RelatedFileId, false, length), tree, charge));
        chain.push_back(related(Command::Close, wire::close(RelatedFileId), tree));
    }
    return chain;
}

// Takes a QUERY_DIRECTORY answer's entries; false where it said there are no more.
bool takeEntries(const Reply& r, Listed& out) {
    if (r.header.status == st::NoMoreFiles)
        return false;
    if (r.header.status != st::Success) {
        out.error = errorOfStatus(r.header.status);
        return false;
    }
    const auto buffer = wire::parseOutputBuffer(r.span());
    auto entries = buffer ? wire::parseDirectory(*buffer) : std::nullopt;
    if (!entries) {
        out.error = errorOf(EPROTO);
        return false;
    }
    for (auto& e : *entries) {
        if (e.name == ".")
            out.folderId = e.fileId;
        else if (e.name != "..")
            out.entries.push_back(std::move(e));
    }
    return true;
}

// A folder too large for two answers: listed again from its start, answer after answer.
void listLong(const Target& t, const wire::Bytes& name, Listed& out) {
    out = {};
    Connection& conn = *t.session->connection;
    std::vector<Reply> r;
    if ((out.error =
             conn.call(listChain(*t.session, name, t.tree, false), true, r, requestTimeout())))
        return;
    if ((out.error = firstFailure(r, 1)))
        return;
    const auto created = wire::parseCreate(r[0].span());
    if (!created) {
        out.error = errorOf(EPROTO);
        return;
    }
    const std::uint32_t length = listingLength(*t.session);
    for (bool more = takeEntries(r[1], out); more && !out.error;) {
        if ((out.error = conn.call(
                 {related(Command::QueryDirectory, wire::queryDirectory(created->id, false, length),
                          t.tree, std::uint16_t((length + 65535) / 65536))},
                 false, r, requestTimeout())))
            break;
        more = takeEntries(r[0], out);
    }
    std::vector<Reply> closed;
    conn.call({related(Command::Close, wire::close(created->id), t.tree)}, false, closed,
              requestTimeout());
}

// Reads a listing compound's answers; true where the folder needs listing at length.
bool readListing(std::error_code ec, const std::vector<Reply>& r, Listed& out) {
    if ((out.error = ec))
        return false;
    if (r.size() != 4) {
        out.error = errorOf(EPROTO);
        return false;
    }
    if ((out.error = firstFailure(r, 1)))
        return false;
    if (!takeEntries(r[1], out))
        return false;
    return takeEntries(r[2], out) && !out.error;
}

} // namespace

std::chrono::milliseconds requestTimeout() {
    return timeout();
}

void setRequestTimeout(std::chrono::milliseconds t) {
    timeout() = t;
}

std::uint64_t fileTimeOf(std::int64_t unixSeconds) {
    return std::uint64_t(unixSeconds + std::int64_t(EpochDifference)) * 10'000'000ULL;
}

std::int64_t unixSecondsOf(std::uint64_t fileTime) {
    return std::int64_t(fileTime / 10'000'000ULL) - std::int64_t(EpochDifference);
}

std::uint32_t wordToSend(std::uint32_t before, std::uint32_t wanted) {
    const std::uint32_t word =
        (before & ~(Classic | Normal | platform::attr::Directory)) | (wanted & Classic);
    return word ? word : Normal;
}

std::uint64_t creationToKeep(const wire::BasicInfo& before, const wire::BasicInfo& set) {
    return set.attributes ? 0 : before.creation;
}

std::error_code nameOf(const std::string& path, wire::Bytes& name) {
    std::string server;
    for (const char c : path) {
        if (c == '\\' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7f)
            return errorOf(EINVAL);
        server += c == '/' ? '\\' : c;
    }
    if (!server.empty() && server.front() == '\\')
        server.erase(0, 1);
    const auto utf = wire::utf16(server);
    if (!utf)
        return errorOf(EILSEQ);
    name = *utf;
    return {};
}

std::error_code stat(const Address& a, Entry& out) {
    wire::Bytes name;
    if (auto ec = nameOf(a.path, name))
        return ec;
    for (int attempt = 0;; ++attempt) {
        Target t;
        if (auto ec = resolve(a, t))
            return ec;
        std::vector<Reply> r;
        auto ec = t.session->connection->call(
            {createRequest(name, wire::access::ReadAttributes, wire::options::OpenReparsePoint,
                           t.tree),
             related(Command::Close, wire::close(wire::RelatedFileId), t.tree)},
            true, r, requestTimeout());
        if (ec == std::errc::connection_reset && attempt == 0)
            continue; // the server restarted, or dropped an idle connection: once anew
        if (ec)
            return ec;
        if (auto refused = firstFailure(r, 1))
            return refused;
        const auto created = wire::parseCreate(r[0].span());
        if (!created)
            return errorOf(EPROTO);
        out.info = created->info;
        return {};
    }
}

std::error_code write(const Address& a, const wire::BasicInfo& set, Entry& readBack) {
    std::error_code result;
    std::mutex m;
    std::condition_variable cv;
    bool finished = false;
    writeAsync(a, set, [&](std::error_code ec, const Entry& e) {
        std::lock_guard lock(m);
        result = ec;
        readBack = e;
        finished = true;
        cv.notify_one();
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return finished; });
    }
    if (!lostAnswer(result))
        return result;
    // Whether it was done: the entry says, read afresh.
    Entry now;
    if (auto ec = settle(a, result, now))
        return result;
    readBack = now;
    return has(now.info, set) ? std::error_code() : result;
}

void writeAsync(const Address& a, const wire::BasicInfo& set, WriteDone done) {
    wire::Bytes name;
    Target t;
    std::error_code ec = nameOf(a.path, name);
    if (!ec)
        ec = resolve(a, t);
    if (ec) {
        done(ec, {});
        return;
    }
    t.session->connection->submit(
        writeChain(name, set, t.tree), true,
        [done = std::move(done)](std::error_code ec, std::vector<Reply>& r) {
            Entry e;
            ec = readWritten(ec, r, e);
            done(ec, e);
        },
        requestTimeout());
}

std::error_code settle(const Address& a, std::error_code lost, Entry& now) {
    if (lost == std::errc::timed_out) {
        const Registry& reg = registry();
        if (const auto known = reg.shareSessions.find(shareKey(a));
            known != reg.shareSessions.end())
            if (const auto s = reg.sessions.find(known->second); s != reg.sessions.end())
                s->second->connection->drop();
    }
    return stat(a, now);
}

std::error_code list(const Address& a, Listed& out) {
    std::vector<Listed> all;
    listMany({a}, all);
    out = std::move(all.front());
    return out.error;
}

void listMany(const std::vector<Address>& folders, std::vector<Listed>& out) {
    out.assign(folders.size(), {});
    struct Sent {
        std::size_t index;
        Target target;
        wire::Bytes name;
    };
    std::vector<Sent> sent;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        Sent s{i, {}, {}};
        if ((out[i].error = nameOf(folders[i].path, s.name)))
            continue;
        if ((out[i].error = resolve(folders[i], s.target)))
            continue;
        sent.push_back(std::move(s));
    }
    std::mutex m;
    std::condition_variable cv;
    std::size_t left = sent.size();
    std::vector<bool> longer(folders.size(), false);
    for (const Sent& s : sent) {
        s.target.session->connection->submit(
            listChain(*s.target.session, s.name, s.target.tree, true), true,
            [&, i = s.index](std::error_code ec, std::vector<Reply>& r) {
                Listed listed;
                const bool more = readListing(ec, r, listed);
                std::lock_guard lock(m);
                out[i] = std::move(listed);
                longer[i] = more;
                if (--left == 0)
                    cv.notify_one();
            },
            requestTimeout());
    }
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return left == 0; });
    }
    for (const Sent& s : sent)
        if (longer[s.index])
            listLong(s.target, s.name, out[s.index]);
}

void reset() {
    registry() = {};
}

} // namespace share
