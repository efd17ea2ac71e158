#include "app/commandline.h"

#include <filesystem>

namespace app {

namespace {

using filelist::PathString;

std::string utf8(const PathString& s) {
#ifdef _WIN32
    const auto u = std::filesystem::path(s).u8string();
    return std::string(u.begin(), u.end());
#else
    return s;
#endif
}

bool startsWith(const PathString& s, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i)
        if (i >= s.size() || s[i] != PathString::value_type(prefix[i]))
            return false;
    return true;
}

// A local name as a file:// URI, every byte but the unreserved ones escaped, so that it is read
// exactly as the file manager's drop of it would be.
std::string fileUri(const std::filesystem::path& absolute) {
    const auto generic = absolute.generic_u8string();
    std::string path(generic.begin(), generic.end());
#ifdef _WIN32
    if (path.rfind("//", 0) == 0) // \\server\share: the host of the URI
        path = path.substr(1);
    else
        path = "/" + path;
#endif
    static const char Hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '.' || c == '_' ||
                           c == '~';
        if (plain) {
            uri += char(c);
        } else {
            uri += '%';
            uri += Hex[c >> 4];
            uri += Hex[c & 15];
        }
    }
    return uri;
}

} // namespace

CommandLine ReadCommandLine(const std::vector<PathString>& args) {
    CommandLine line;
    bool options = true;
    for (const PathString& arg : args) {
        if (options && arg.size() > 1 && arg[0] == PathString::value_type('-')) {
            if (startsWith(arg, "--") && arg.size() == 2) {
                options = false;
                continue;
            }
            const std::string text = utf8(arg);
            if (text == "--help" || text == "-h")
                line.action = CommandLine::Action::Help;
            else if (text == "--version")
                line.action = CommandLine::Action::Version;
            else {
                line.action = CommandLine::Action::Refuse;
                line.refusedOption = text;
                return line;
            }
            continue;
        }
        if (arg.empty())
            continue;
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(arg), ec);
        if (ec)
            absolute = std::filesystem::path(arg);
        absolute = absolute.lexically_normal();
        const bool uri = startsWith(arg, "file:") || startsWith(arg, "smb:") ||
                         startsWith(arg, "FILE:") || startsWith(arg, "SMB:");
        const std::size_t refusedBefore = line.refusedShares.size();
        auto names =
            filelist::parseUriList(uri ? utf8(arg) : fileUri(absolute), &line.refusedShares);
        // Not there, not reachable, or an address that names no file here (file:///tmp on
        // Windows, another host's file://): kept under a name that is not there, so that the
        // drop counts it as skipped.
        if (names.empty() && line.refusedShares.size() == refusedBefore) {
            PathString kept = absolute.native();
            while (kept.size() > 1 && (kept.back() == PathString::value_type('/') ||
                                       kept.back() == PathString::value_type('\\')))
                kept.pop_back();
            line.names.push_back(std::move(kept));
        }
        for (PathString& name : names)
            line.names.push_back(std::move(name));
    }
    return line;
}

std::string UsageText() {
    return "Aufruf: dateimark [NAME …]\n"
           "\n"
           "Trägt die genannten Dateien und Ordner in die Liste ein, als wären sie hineingezogen\n"
           "worden: Pfade, file://- und smb://-Adressen. Läuft Dateimark schon, übernimmt sein\n"
           "Fenster die Namen. Attribute werden erst mit „Start“ gesetzt.\n"
           "\n"
           "  --help     zeigt diesen Text\n"
           "  --version  zeigt die Version\n"
           "  --         was folgt, sind Namen, auch wenn sie mit „-“ beginnen\n";
}

} // namespace app
