// Signing in with the user's Kerberos ticket (MIT Kerberos through GSSAPI): the token for the
// server's cifs service, the server's answer that proves it knew the key, and the session key.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace share::kerberos {

/// Whether the user holds a ticket a sign-in could use (the default credential cache).
bool haveTicket();

/// One sign-in to one server.
class Initiator {
public:
    /// For the service "cifs" on \p host (a name, or an address where the realm knows it so).
    explicit Initiator(const std::string& host);
    ~Initiator();
    Initiator(const Initiator&) = delete;
    Initiator& operator=(const Initiator&) = delete;

    /// The next token, made from the server's \p answer (empty for the first); false where
    /// Kerberos cannot go on (no ticket for the server, a refused or forged answer).
    bool step(std::span<const std::uint8_t> answer, std::vector<std::uint8_t>& token);
    /// Whether the server's answer has proved it knew the session key.
    bool complete() const { return complete_; }
    /// The session key, once complete.
    std::vector<std::uint8_t> sessionKey() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool complete_ = false;
};

} // namespace share::kerberos
