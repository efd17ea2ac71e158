// Signing in to a share: what the user is asked and answers, and who asks. The file layer asks
// through one function the window sets, so the question is owned by the window and shown on its
// thread; a share whose question was cancelled is not asked again until the next drop or
// "&Start".
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace share::signin {

struct Question {
    std::string server, share; ///< what the box names: "smb://server[:port]/share"
    int port = 0;
    std::string user, domain; ///< proposed: from the address or the last answer
    bool again = false;       ///< the last answer was refused by the server
};

struct Answer {
    std::string user, domain, password;
    bool remember = false; ///< "Kennwort merken": into the desktop's keyring
};

/// nullopt: "Abbrechen".
using Asker = std::function<std::optional<Answer>(const Question&)>;

/// The window's question; without one, shares that need a password are skipped.
void setAsker(Asker asker);
const Asker& asker();

/// Forgets which shares' questions were cancelled, so that the next drop or run asks again.
void forgetCancelled();

/// The file layer's record of cancelled questions, by "server/share".
bool wasCancelled(const std::string& share);
void markCancelled(const std::string& share);

} // namespace share::signin
