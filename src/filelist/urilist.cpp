#include "filelist/urilist.h"

#include "share/address.h"

#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace filelist {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

// Whether a URI's host names this machine.
bool isThisMachine(const std::string& host) {
    std::string lower;
    for (const char c : host)
        lower += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    if (lower.empty() || lower == "localhost")
        return true;
#ifdef _WIN32
    wchar_t name[256];
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return false;
    std::string own;
    for (DWORD i = 0; i < size; ++i)
        own += char(name[i] < 0x80 ? name[i] : '?');
#else
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return false;
    const std::string own = name;
#endif
    return sameNoCase(host, own);
}

#ifdef _WIN32
PathString toNative(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    PathString wide(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    for (auto& c : wide)
        if (c == L'/')
            c = L'\\';
    // One separator at the end only at a drive root.
    while (wide.size() > 3 && wide.back() == L'\\')
        wide.pop_back();
    return wide;
}
#else
// The listed form of a local path: links resolved, no "." or "..", no "/" at the end, so that no
// component of a row's path is a link when it is listed. A path that cannot be resolved now is
// only tidied; the drop reports it.
PathString canonicalPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    if (!ec)
        return real.native();
    PathString tidy = std::filesystem::path(path).lexically_normal().native();
    while (tidy.size() > 1 && tidy.back() == '/')
        tidy.pop_back();
    return tidy;
}
#endif

#ifdef _WIN32
// The host of a UNC path: Windows takes an IPv6 literal only in its ipv6-literal.net form,
// "fe80--1seth0.ipv6-literal.net" for [fe80::1%eth0].
std::string uncHost(const std::string& server) {
    if (!server.starts_with('['))
        return server;
    std::string host = server.substr(1, server.size() - 2);
    for (char& c : host)
        c = c == ':' ? '-' : c == '%' ? 's' : c;
    return host + ".ipv6-literal.net";
}
#endif

// The row of an "smb:" URI: on Linux its address as the file managers show it, on Windows the
// share's UNC path, which the system reaches itself. Empty for a URI that names no file on a
// share.
PathString sharePath(std::string_view uri) {
    const auto share = share::fromUri(uri);
    if (!share)
        return {};
#ifdef _WIN32
    return toNative("//" + uncHost(share->server) + "/" + share->share + share->path);
#else
    return share::rowText(*share);
#endif
}

// The path of one "file:" URI (or the row of a share), or an empty string: only a plain
// absolute path. \p meantShare tells whether the URI meant a file on a share, so that one that
// names none can be reported rather than dropped unseen.
PathString localPath(std::string_view uri, bool& meantShare) {
    meantShare = startsWithNoCase(uri, "smb:");
    if (meantShare)
        return sharePath(uri);
    if (!startsWithNoCase(uri, "file:"))
        return {};
    std::string_view rest = uri.substr(5);
    std::string host;
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        host = std::string(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    }
    // A query or fragment is no part of a file name; "#" and "?" in names come escaped.
    rest = rest.substr(0, rest.find_first_of("?#"));
    const std::string path = share::decodeEscapes(rest);
    const bool local = isThisMachine(host);
#ifndef _WIN32
    // A share the file manager reached through GVFS: the row names the share itself, where its
    // attributes live (the GVFS folder keeps none).
    if (local && share::inGvfsShare(path)) {
        meantShare = true;
        const auto share = share::fromGvfsPath(path);
        return share ? share::rowText(*share) : PathString{};
    }
#endif
    // A NUL would end the name the system calls see before the one the row shows.
    if (!path.starts_with('/') || path.find('\0') != std::string::npos)
        return {};
#ifdef _WIN32
    // "file://./X" and "file://?/X" would name \\.\X and \\?\X: devices, not shares.
    if (host == "." || host == "?")
        return {};
    if (!local)
        return toNative("//" + host + path);
    // "/C:/dir" names C:\dir; a path without a drive is no full path.
    if (path.size() >= 4 && path[2] == ':' && path[3] == '/')
        return toNative(path.substr(1));
    return {};
#else
    return local ? canonicalPath(path) : PathString{};
#endif
}

} // namespace

std::vector<PathString> parseUriList(std::string_view uriList,
                                     std::vector<std::string>* refusedShares) {
    std::vector<PathString> paths;
    std::size_t start = 0;
    while (start <= uriList.size()) {
        std::size_t end = uriList.find('\n', start);
        if (end == std::string_view::npos)
            end = uriList.size();
        const std::string_view line = trimmed(uriList.substr(start, end - start));
        if (!line.empty() && line.front() != '#') {
            bool meantShare = false;
            PathString path = localPath(line, meantShare);
            if (!path.empty())
                paths.push_back(std::move(path));
            else if (meantShare && refusedShares)
                refusedShares->emplace_back(line);
        }
        start = end + 1;
    }
    return paths;
}

} // namespace filelist
