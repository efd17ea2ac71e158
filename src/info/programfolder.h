// The program's folder, for files that live beside the executable. Qt-free.
#pragma once

#include <string>

namespace info {

/// \p path with the platform's separator ("/" on Linux, "\" on Windows) appended when it does
/// not already end in one; an empty path gives the separator alone.
std::string WithTrailingBackslash(const std::string& path);

/// The folder of the running executable (links resolved), ending in a separator. UTF-8.
std::string ProgramFolder();

} // namespace info
