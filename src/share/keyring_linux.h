// SMB passwords in the desktop's keyring (the Secret Service), stored under the attributes GVFS
// uses, so that a password saved in the file manager is found here and one saved here there.
#pragma once

#include "share/signin.h"

#include <optional>
#include <string>

namespace share::keyring {

/// The saved sign-in for \p server (and \p user, \p domain and \p port where given); nullopt
/// when there is none or no keyring answers.
std::optional<signin::Answer> find(const std::string& server, const std::string& user,
                                   const std::string& domain, int port);

/// Saves \p answer for \p server and \p share; false where no keyring takes it.
bool save(const std::string& server, const std::string& share, int port,
          const signin::Answer& answer);

} // namespace share::keyring
