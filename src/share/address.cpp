#include "share/address.h"

#include "platform/hexdigit.h"

#include <charconv>
#include <cstdlib>

namespace share {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (c != prefix[i])
            return false;
    }
    return true;
}

// "/dir/name" from the rest of a URI or path, each name checked; nullopt for a name no file
// can have.
std::optional<std::string> namesOf(std::string_view rest, bool escaped) {
    std::string path;
    std::size_t start = 0;
    while (start < rest.size()) {
        std::size_t end = rest.find('/', start);
        if (end == std::string_view::npos)
            end = rest.size();
        const std::string_view part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        const std::string name = escaped ? decodeEscapes(part) : std::string(part);
        if (name == "." || name == ".." || name.find('\0') != std::string::npos ||
            name.find('/') != std::string::npos)
            return std::nullopt;
        path += "/" + name;
    }
    return path;
}

bool validPort(std::string_view text, int& port) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return ec == std::errc() && end == text.data() + text.size() && port > 0 && port < 65536;
}

// "[domain;][user[:password]@]server[:port]" and "/share/path" after the scheme.
std::optional<Address> parse(std::string_view rest, bool escaped) {
    Address a;
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    const std::string_view tail =
        slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        std::string_view who = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        who = who.substr(0, who.find(':'));
        if (const std::size_t semi = who.find(';'); semi != std::string_view::npos) {
            a.domain = decodeEscapes(who.substr(0, semi));
            who.remove_prefix(semi + 1);
        }
        a.user = decodeEscapes(who);
    }
    // An IPv6 literal keeps its colons inside brackets.
    const std::size_t close = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
        if (!validPort(authority.substr(colon + 1), a.port))
            return std::nullopt;
        authority = authority.substr(0, colon);
    }
    a.server = decodeEscapes(authority);
    const std::size_t shareEnd = std::min(tail.find('/'), tail.size());
    a.share =
        escaped ? decodeEscapes(tail.substr(0, shareEnd)) : std::string(tail.substr(0, shareEnd));
    const auto path = namesOf(tail.substr(shareEnd), escaped);
    if (a.server.empty() || a.share.empty() || !path || a.share.find('\0') != std::string::npos)
        return std::nullopt;
    a.path = *path;
    return a;
}

} // namespace

std::string decodeEscapes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = platform::hexDigit(text[i + 1]);
            const int lo = platform::hexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                bytes.push_back(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        bytes.push_back(text[i]);
    }
    return bytes;
}

std::string encodeEscapes(std::string_view bytes, std::string_view keep) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // ASCII only: a locale's letters beyond it are bytes like any other here.
        const bool alnum = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= 'A' && byte <= 'Z');
        if (alnum || std::string_view("-._~").find(c) != std::string_view::npos ||
            keep.find(c) != std::string_view::npos)
            out += c;
        else
            out += {'%', Hex[byte >> 4], Hex[byte & 15]};
    }
    return out;
}

std::optional<Address> fromUri(std::string_view uri) {
    if (!startsWithNoCase(uri, "smb://"))
        return std::nullopt;
    uri.remove_prefix(6);
    // A query or fragment is no part of a file name; "#" and "?" in names come escaped.
    return parse(uri.substr(0, uri.find_first_of("?#")), true);
}

std::optional<Address> fromGvfsPath(std::string_view path) {
    constexpr std::string_view Mount = "/gvfs/smb-share:";
    const std::size_t at = path.find(Mount);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (at == std::string_view::npos ||
        !(path.starts_with("/run/user/") ||
          (runtime && *runtime == '/' && path.substr(0, at) == runtime)))
        return std::nullopt;
    std::string_view rest = path.substr(at + Mount.size());
    const std::size_t slash = rest.find('/');
    std::string_view parts = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    Address a;
    while (!parts.empty()) {
        const std::size_t comma = parts.find(',');
        const std::string_view part = parts.substr(0, comma);
        parts = comma == std::string_view::npos ? std::string_view() : parts.substr(comma + 1);
        const std::size_t eq = part.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = part.substr(0, eq);
        const std::string value = decodeEscapes(part.substr(eq + 1));
        if (key == "server")
            a.server = value;
        else if (key == "share")
            a.share = value;
        else if (key == "user")
            a.user = value;
        else if (key == "domain")
            a.domain = value;
        else if (key == "port" && !validPort(value, a.port))
            return std::nullopt;
    }
    const auto names = namesOf(rest, false);
    if (a.server.empty() || a.share.empty() || !names)
        return std::nullopt;
    a.path = *names;
    return a;
}

std::string rowText(const Address& a) {
    std::string text = "smb://";
    if (!a.domain.empty())
        text += a.domain + ";";
    if (!a.user.empty())
        text += a.user + "@";
    text += a.server;
    if (a.port != 0)
        text += ":" + std::to_string(a.port);
    return text + "/" + a.share + a.path;
}

bool isShare(std::string_view rowPath) {
    return rowPath.starts_with("smb://");
}

std::optional<Address> fromRow(std::string_view rowPath) {
    if (!isShare(rowPath))
        return std::nullopt;
    return parse(rowPath.substr(6), false);
}

} // namespace share
