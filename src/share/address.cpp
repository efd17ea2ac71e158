#include "share/address.h"

#include "platform/hexdigit.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <vector>

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

bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether \p text holds no control character and none of \p forbidden.
bool clean(std::string_view text, std::string_view forbidden) {
    return std::none_of(text.begin(), text.end(), [&](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f || forbidden.find(c) != std::string_view::npos;
    });
}

// A host name (an IDN name as its UTF-8 bytes), an IPv4 address, or an IPv6 literal in brackets
// with an optional zone: nothing the client could take for a separator, a port or an escape.
bool validServer(std::string_view s) {
    if (s.size() > 2 && s.front() == '[' && s.back() == ']') {
        s = s.substr(1, s.size() - 2);
        const std::size_t percent = s.find('%');
        const std::string_view literal = s.substr(0, percent);
        if (std::count(literal.begin(), literal.end(), ':') < 2 ||
            !std::all_of(literal.begin(), literal.end(),
                         [](char c) { return platform::hexDigit(c) >= 0 || c == ':' || c == '.'; }))
            return false;
        if (percent == std::string_view::npos)
            return true;
        const std::string_view zone = s.substr(percent + 1);
        return !zone.empty() && std::all_of(zone.begin(), zone.end(), [](char c) {
            return isAsciiAlnum(c) || std::string_view("-._~").find(c) != std::string_view::npos;
        });
    }
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 || isAsciiAlnum(c) ||
               std::string_view("-._").find(c) != std::string_view::npos;
    });
}

// The authority's and the share's names: a row writes them unescaped, so none may hold what
// would end it early or move a part of it into another; a share also not what Windows forbids.
bool validNames(const Address& a) {
    return validServer(a.server) && !a.share.empty() && clean(a.share, "/\\\"[]:|<>+=;,*?") &&
           clean(a.user, "/\\@;:") && clean(a.domain, "/\\@;:");
}

// "/dir/name" from the rest of a URI or path, each name checked; nullopt for a name no file
// can have. The server takes "\" for a separator as "/".
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
        if (name == "." || name == ".." || !clean(name, "/\\"))
            return std::nullopt;
        path += "/" + name;
    }
    return path;
}

bool validPort(std::string_view text, int& port) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return ec == std::errc() && end == text.data() + text.size() && port > 0 && port < 65536;
}

// "[domain;][user[:password]@]server[:port]" and "/share/path" after the scheme; a row's names
// are not escaped.
std::optional<Address> parse(std::string_view rest, bool escaped) {
    const auto name = [escaped](std::string_view text) {
        return escaped ? decodeEscapes(text) : std::string(text);
    };
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
            a.domain = name(who.substr(0, semi));
            who.remove_prefix(semi + 1);
        }
        a.user = name(who);
    }
    // An IPv6 literal keeps its colons inside brackets.
    const std::size_t close = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
        if (!validPort(authority.substr(colon + 1), a.port))
            return std::nullopt;
        authority = authority.substr(0, colon);
    }
    a.server = name(authority);
    const std::size_t shareEnd = std::min(tail.find('/'), tail.size());
    a.share = name(tail.substr(0, shareEnd));
    const auto path = namesOf(tail.substr(shareEnd), escaped);
    if (!path || !validNames(a))
        return std::nullopt;
    a.path = *path;
    return a;
}

// \p text decoded, or nullopt if a "%" does not start an escape: GVFS escapes every "%".
std::optional<std::string> decodeStrictly(std::string_view text) {
    for (std::size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 1))
        if (i + 2 >= text.size() || platform::hexDigit(text[i + 1]) < 0 ||
            platform::hexDigit(text[i + 2]) < 0)
            return std::nullopt;
    return decodeEscapes(text);
}

// An absolute path with "." and ".." resolved and doubled "/" collapsed, by its text alone: the
// GVFS folder is not asked, and "/run/user/0/../../../tmp" lies in /tmp.
std::string normalised(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        start = end + 1;
        if (part == ".." && !names.empty())
            names.pop_back();
        else if (!part.empty() && part != "." && part != "..")
            names.push_back(part);
    }
    std::string out;
    for (const std::string_view part : names)
        (out += '/') += part;
    return out.empty() ? "/" : out;
}

// Where the text after "smb-share:" starts in a normalised path, or npos when the path does not
// lie in a GVFS mount of a share: "/run/user/<uid>/gvfs/smb-share:…" or
// "$XDG_RUNTIME_DIR/gvfs/smb-share:…".
std::size_t gvfsShareParts(std::string_view path) {
    constexpr std::string_view Mount = "/gvfs/smb-share:";
    constexpr std::string_view RunUser = "/run/user/";
    const std::size_t at = path.find(Mount);
    if (at == std::string_view::npos)
        return at;
    const std::string_view base = path.substr(0, at);
    const bool runUser = base.starts_with(RunUser) && base.size() > RunUser.size() &&
                         base.find_first_not_of("0123456789", RunUser.size()) == base.npos;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runUser || (runtime && *runtime == '/' && base == normalised(runtime)))
        return at + Mount.size();
    return std::string_view::npos;
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
        if (isAsciiAlnum(c) || std::string_view("-._~").find(c) != std::string_view::npos ||
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

bool inGvfsShare(std::string_view path) {
    return path.starts_with('/') && gvfsShareParts(normalised(path)) != std::string_view::npos;
}

std::optional<Address> fromGvfsPath(std::string_view given) {
    if (!given.starts_with('/'))
        return std::nullopt;
    const std::string path = normalised(given);
    const std::size_t at = gvfsShareParts(path);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = std::string_view(path).substr(at);
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
        const auto value = decodeStrictly(part.substr(eq + 1));
        if (!value)
            return std::nullopt;
        const std::string_view key = part.substr(0, eq);
        if (key == "server")
            a.server = *value;
        else if (key == "share")
            a.share = *value;
        else if (key == "user")
            a.user = *value;
        else if (key == "domain")
            a.domain = *value;
        else if (key == "port" && !validPort(*value, a.port))
            return std::nullopt;
    }
    // GVFS names an IPv6 server without the brackets a row needs around it.
    if (a.server.find(':') != std::string::npos && !a.server.starts_with('['))
        a.server = "[" + a.server + "]";
    const auto names = namesOf(rest, false);
    if (!names || !validNames(a))
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
