// What the interoperability tests share: running the other programs and finding them.
#pragma once

#include <string>

namespace interop {

struct Outcome {
    int exitCode = -1;
    std::string output; ///< standard output and standard error together
};

/// Runs \p command through the shell and collects what it prints.
Outcome run(const std::string& command);

/// Whether \p program is found on PATH or in /usr/sbin, /sbin.
bool have(const std::string& program);

/// A TCP port on 127.0.0.1 that nobody listens on right now.
int freePort();

/// Waits up to \p seconds until something accepts connections on 127.0.0.1:\p port.
bool waitForPort(int port, int seconds);

/// The shell's quoting of \p text.
std::string quoted(const std::string& text);

bool asRoot();

} // namespace interop
