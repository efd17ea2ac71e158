#include "app/shellopen.h"

#include "app/form1.h"
#include "app/toolkit.h"
#include "platform/fileservices.h"
#include "share/address.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace shell {

namespace {

namespace fs = std::filesystem;

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAsciiAlnum(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c);
}

bool isAllDigits(std::string_view text) {
    for (const char c : text) {
        if (!isAsciiDigit(c))
            return false;
    }
    return !text.empty();
}

// A scheme is a letter followed by letters, digits, "+", "-" or "." up to a colon. One letter
// before the colon is a drive ("C:\…"); a dotted name followed by digits is a host with a port.
bool hasScheme(std::string_view target) {
    const auto colon = target.find(':');
    if (colon == std::string_view::npos || colon < 2 || !isAsciiLetter(target[0]))
        return false;
    const std::string_view scheme = target.substr(0, colon);
    for (const char c : scheme) {
        if (!isAsciiAlnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    const bool portFollows = colon + 1 < target.size() && isAsciiDigit(target[colon + 1]);
    return !(portFollows && scheme.find('.') != std::string_view::npos);
}

// "www.example.org/…": the part before the first "/" is a host name with at least one dot,
// optionally with a port.
bool startsWithHost(std::string_view target) {
    std::string_view host = target.substr(0, target.find('/'));
    if (const auto colon = host.find(':'); colon != std::string_view::npos) {
        if (!isAllDigits(host.substr(colon + 1)))
            return false;
        host = host.substr(0, colon);
    }
    if (host.empty() || host.front() == '.' || host.back() == '.' ||
        host.find('.') == std::string_view::npos || host.find("..") != std::string_view::npos)
        return false;
    for (const char c : host) {
        if (!isAsciiAlnum(c) && c != '-' && c != '.')
            return false;
    }
    return true;
}

// The path with "/" between its parts, made absolute against the current folder.
std::string absoluteGenericPath(const std::string& target) {
    const bool windows = platform::separator() == "\\";
    std::string path = target;
    if (windows)
        std::replace(path.begin(), path.end(), '\\', '/');
    const bool absolute =
        windows ? path.starts_with("//") || (path.size() >= 3 && isAsciiLetter(path[0]) &&
                                             path[1] == ':' && path[2] == '/')
                : path.starts_with('/');
    if (absolute)
        return path;
    std::error_code ec;
    const std::u8string current = fs::current_path(ec).generic_u8string();
    if (ec)
        return path;
    std::string folder(current.begin(), current.end());
    if (!folder.ends_with('/'))
        folder += '/';
    return folder + path;
}

std::string fileUrl(const std::string& target) {
    const std::string path = absoluteGenericPath(target);
    // A network path "//server/share/…" names the URL's host; "/…" and "C:/…" have none.
    if (path.starts_with("//"))
        return "file:" + share::encodeEscapes(path, "/:");
    return (path.starts_with('/') ? "file://" : "file:///") + share::encodeEscapes(path, "/:");
}

} // namespace

std::string TargetUrl(const std::string& target) {
    if (hasScheme(target))
        return target;
    if (startsWithHost(target))
        return "https://" + target;
    return fileUrl(target);
}

void ShellOpen(app::Toolkit& shell, const std::string& target, std::int16_t showCommand) {
    const app::OpenResult result = shell.shellOpen(TargetUrl(target), showCommand);
    if (result == app::OpenResult::Opened)
        return;
    // Help that silently does nothing leaves the user guessing.
    std::string text = target + "\rließ sich nicht öffnen.";
    if (result == app::OpenResult::NotFound)
        text += " Die Datei gibt es nicht.";
    else if (result == app::OpenResult::NoProgram)
        text += " Kein Programm ist eingerichtet, das diese Art Datei öffnet.";
    shell.messageBox(text, app::MessageStyle::OkInformation, app::ProgramTitle);
}

void ShellOpenDefault(app::Toolkit& shell, const std::string& target) {
    ShellOpen(shell, target, app::ShowDefault);
}

} // namespace shell
