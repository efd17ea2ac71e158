// What the interoperability tests share: running other programs, and a private Samba server.
#pragma once

#include "platform/scratch.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

/// An smbd of its own on 127.0.0.1, its state in \p dir; \p text is added to the global
/// section and must name the shares. It leads a process group of its own, with its helpers.
class Smbd {
public:
    Smbd(const scratch::Folder& dir, const std::string& text) : conf(dir.path() / "smb.conf") {
        std::ofstream out(conf);
        out << "[global]\ninterfaces = 127.0.0.1 ::1\nbind interfaces only = yes\n"
            << "disable netbios = yes\nload printers = no\ndisable spoolss = yes\n";
        for (const std::string option : {"lock directory", "state directory", "cache directory",
                                         "private dir", "pid directory", "ncalrpc dir"})
            out << option << " = " << dir.folder(option.substr(0, option.find(' '))).native()
                << "\n";
        out << text;
    }
    /// Ends them all, and waits so that none still holds the folders.
    ~Smbd() {
        if (pid_ <= 0)
            return;
        ::kill(-pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        for (int i = 0; i < 100 && ::kill(-pid_, 0) == 0; ++i)
            ::usleep(100'000);
        // The RPC helpers it started for pipes live in a session of their own.
        std::system(("pkill -f '[-]-configfile=" + conf.native() + "'").c_str());
    }
    void start() {
        const std::string confArg = "--configfile=" + conf.native();
        if ((pid_ = ::fork()) == 0) {
            ::execlp("smbd", "smbd", "--foreground", "--debug-stdout", "-d", "0", confArg.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }

    const std::filesystem::path conf;

private:
    pid_t pid_ = -1;
};

/// Whether a server listens on 127.0.0.1 at \p port.
inline bool listening(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(std::uint16_t(port));
    const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return up;
}

/// The word in brackets on the attributes line of smbclient's allinfo, "HA (22)"; -1 if none.
inline int allinfoWord(const std::string& line) {
    const auto open = line.find('(');
    return open == std::string::npos ? -1 : std::stoi(line.substr(open + 1), nullptr, 16);
}

} // namespace interop
