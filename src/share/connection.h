// One TCP connection to an SMB server, with a thread of its own that sends and receives: many
// requests are in flight at once, as many as the server grants credits for, and their answers are
// matched back to them by message id. Compounds go out in one frame; interim (pending) answers
// are waited through; every request has a deadline. Signing and encryption are applied here, once
// the session has keys.
#pragma once

#include "share/crypto.h"
#include "share/wire.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace share {

struct Request {
    wire::Command command;
    wire::Bytes body;
    std::uint32_t treeId = 0;
    std::uint16_t creditCharge = 1; ///< for answers larger than 64 KiB
};

struct Reply {
    wire::Header header;
    wire::Bytes message; ///< the whole message, header included, as received (decrypted)
    wire::Span span() const { return message; }
};

/// How the session's messages are protected, once it is set up.
struct Protection {
    std::uint64_t sessionId = 0;
    enum class Signing { None, HmacSha256, AesCmac, AesGmac } signing = Signing::None;
    crypto::Bytes signingKey;
    bool sign = false; ///< requests are signed, and answers must be
    crypto::Cipher cipher = crypto::Cipher::Aes128Ccm;
    crypto::Bytes encryptionKey, decryptionKey; ///< client to server, server to client
    bool encrypt = false;                       ///< every request is encrypted
};

class Connection {
public:
    /// Answers of a chain, in its order; on failure (\p ec) those that came.
    using Done = std::function<void(std::error_code ec, std::vector<Reply>& replies)>;

    /// Connects to \p host (a name or an address; IPv6 without brackets) at \p port, waiting
    /// at most \p timeout.
    static std::unique_ptr<Connection> open(const std::string& host, int port,
                                            std::chrono::milliseconds timeout, std::error_code& ec);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Sends \p chain as one compound, each request after the first related to the one before
    /// (it works on the handle that one opened) where \p related; \p done is called once, on the
    /// connection's thread, when every answer has come, the deadline \p timeout has passed
    /// (ETIMEDOUT) or the connection broke (ECONNRESET). Keep \p done short.
    void submit(std::vector<Request> chain, bool related, Done done,
                std::chrono::milliseconds timeout);

    /// submit() and wait. \p sent gets the bytes of the first request as sent, where given.
    std::error_code call(std::vector<Request> chain, bool related, std::vector<Reply>& replies,
                         std::chrono::milliseconds timeout, wire::Bytes* sent = nullptr);

    /// From now on the session's messages are signed or encrypted as \p p says.
    void protect(const Protection& p);

    /// The dialect negotiated (0 before), which decides how credits are charged.
    void setDialect(std::uint16_t dialect);
    std::uint16_t dialect() const;

    /// False once the server closed it or it broke: every request then fails at once.
    bool alive() const;

    /// Gives it up: what is in flight fails with ECONNRESET, and it is alive() no more.
    void drop();

    /// How many connections were made by this process: the bench counts them.
    static int opened();

private:
    struct Impl;
    explicit Connection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

/// The signature of \p message (one element of a frame) under \p p's signing.
crypto::Mac signatureOf(const Protection& p, wire::Span message, bool fromServer);

} // namespace share
