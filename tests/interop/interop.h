// What the interoperability tests share: running the other programs and finding them.
#pragma once

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace interop {

struct Outcome {
    int exitCode = -1;
    std::string output; ///< standard output and standard error together
};

/// Runs \p command through the shell and collects what it prints.
inline Outcome run(const std::string& command) {
    Outcome outcome;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return outcome;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        outcome.output.append(buffer, n);
    const int status = ::pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

/// Whether \p program is found on PATH or in /usr/sbin, /sbin.
inline bool have(const std::string& program) {
    return run("PATH=$PATH:/usr/sbin:/sbin command -v " + program).exitCode == 0;
}

/// The shell's quoting of \p text.
inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace interop
