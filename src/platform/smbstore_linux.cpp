#include "platform/smbstore_linux.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <sys/stat.h>

#include <libsmbclient.h>

namespace platform::smbstore {

namespace {

constexpr std::uint32_t Changeable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
constexpr std::uint32_t Normal = 0x80;        // FILE_ATTRIBUTE_NORMAL
constexpr std::uint32_t ReparsePoint = 0x400; // links and junctions: never entered
// How long a call may wait for a server that has gone away.
constexpr int TimeoutMilliseconds = 5000;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Guests and those who gave a user in the address; the keyring and the sign-in box come later.
void noCredentials(SMBCCTX*, const char*, const char*, char*, int, char*, int, char* pw,
                   int pwlen) {
    if (pwlen > 0)
        pw[0] = '\0';
}

// The process's one client context, made at its first use.
class Session {
public:
    static Session& get() {
        static Session session;
        return session;
    }
    SMBCCTX* context() const { return ctx_; }
    std::mutex mutex;

private:
    Session() {
        ctx_ = smbc_new_context();
        if (!ctx_)
            return;
        smbc_setFunctionAuthDataWithContext(ctx_, noCredentials);
        smbc_setTimeout(ctx_, TimeoutMilliseconds);
        smbc_setOptionUseKerberos(ctx_, 1);
        smbc_setOptionFallbackAfterKerberos(ctx_, 1);
        smbc_setOptionFullTimeNames(ctx_, 1);
        if (!smbc_init_context(ctx_)) {
            smbc_free_context(ctx_, 1);
            ctx_ = nullptr;
        }
    }
    ~Session() {
        if (ctx_)
            smbc_free_context(ctx_, 1);
    }
    SMBCCTX* ctx_ = nullptr;
};

// The value of one "NAME:value" field of a "system.dos_attr.*" answer.
bool field(const char* text, const char* name, unsigned long long& value) {
    const std::size_t n = std::strlen(name);
    for (const char* p = text; p && *p;
         p = std::strchr(p, ',') ? std::strchr(p, ',') + 1 : nullptr) {
        if (std::strncmp(p, name, n) == 0 && p[n] == ':') {
            value = std::strtoull(p + n + 1, nullptr, 0);
            return true;
        }
    }
    return false;
}

// Samba's client library (4.17) answers "MODE" with the mode it makes up for a stat: R is the
// missing owner's write bit, A, S and H the execute bits of owner, group and others.
std::uint32_t wordOfMode(unsigned long long mode) {
    std::uint32_t word = S_ISDIR(mode) ? attr::Directory : 0;
    word |= (mode & S_IWUSR) ? 0 : attr::ReadOnly;
    word |= (mode & S_IXUSR) ? attr::Archive : 0;
    word |= (mode & S_IXGRP) ? attr::System : 0;
    word |= (mode & S_IXOTH) ? attr::Hidden : 0;
    return word;
}

std::error_code getAll(const std::string& url, EntryState& out) {
    Session& s = Session::get();
    std::lock_guard lock(s.mutex);
    if (!s.context())
        return {ENOSYS, std::generic_category()};
    char value[1024] = {};
    if (smbc_getFunctionGetxattr(s.context())(s.context(), url.c_str(), "system.dos_attr.*", value,
                                              sizeof value - 1) < 0)
        return lastError();
    unsigned long long mode = 0, written = 0;
    if (!field(value, "MODE", mode) ||
        !(field(value, "WRITE_TIME", written) || field(value, "M_TIME", written)))
        return {EIO, std::generic_category()};
    out.attributes = wordOfMode(mode);
    out.lastWrite = static_cast<std::int64_t>(written);
    return {};
}

std::error_code set(const std::string& url, const char* name, const std::string& value) {
    Session& s = Session::get();
    std::lock_guard lock(s.mutex);
    if (!s.context())
        return {ENOSYS, std::generic_category()};
    if (smbc_getFunctionSetxattr(s.context())(s.context(), url.c_str(), name, value.data(),
                                              value.size(), 0) < 0)
        return lastError();
    return {};
}

// Names in the library's URL are escaped as in any URI.
std::string escaped(const std::string& text, const char* keep) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || std::strchr(keep, c))
            out += char(c);
        else
            out += {'%', Hex[c >> 4], Hex[c & 15]};
    }
    return out;
}

} // namespace

std::string escapedName(const std::string& name) {
    return escaped(name, "-._~");
}

std::string urlOf(const share::Address& a) {
    std::string url = "smb://";
    if (!a.domain.empty())
        url += escaped(a.domain, "-._~") + ";";
    if (!a.user.empty())
        url += escaped(a.user, "-._~") + "@";
    url += a.server;
    if (a.port)
        url += ":" + std::to_string(a.port);
    return url + "/" + escaped(a.share, "-._~$") + escaped(a.path, "-._~/");
}

std::error_code query(const std::string& url, EntryState& out) {
    return getAll(url, out);
}

// The whole word of \p url as its folder's listing gives it (a stat gives only R, H, S, A and
// Directory); \p fallback where the listing does not name it.
std::uint32_t listedWord(const std::string& url, std::uint32_t fallback) {
    const std::size_t slash = url.rfind('/');
    if (slash == std::string::npos || slash < 6)
        return fallback;
    const std::string folder = url.substr(0, slash), name = url.substr(slash + 1);
    Listing listing(folder);
    FolderEntry entry;
    std::uint32_t word = fallback;
    while (listing.lastAttributes(entry, word)) {
        if (escapedName(entry.name) == name)
            return word;
    }
    return fallback;
}

std::error_code writeWord(const std::string& url, std::uint32_t word, std::uint32_t before) {
    before = listedWord(url, before);
    std::uint32_t next = (before & ~(Changeable | Normal)) | (word & Changeable);
    if (next == 0)
        next = Normal;
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", next);
    if (auto ec = set(url, "system.dos_attr.mode", text))
        return ec;
    EntryState now;
    if (auto ec = getAll(url, now))
        return ec;
    if ((now.attributes & Changeable) != (next & Changeable))
        return make_error_code(Refusal::NotKept);
    return {};
}

std::error_code setWriteTime(const std::string& url, std::int64_t when, std::int64_t& held) {
    if (auto ec = set(url, "system.dos_attr.write_time", std::to_string(when)))
        return ec;
    EntryState now;
    if (auto ec = getAll(url, now))
        return ec;
    held = now.lastWrite;
    return {};
}

struct Listing::Impl {
    SMBCFILE* dir = nullptr;
};

Listing::Listing(const std::string& url) : impl_(std::make_unique<Impl>()) {
    Session& s = Session::get();
    std::lock_guard lock(s.mutex);
    if (!s.context()) {
        error_ = {ENOSYS, std::generic_category()};
        return;
    }
    impl_->dir = smbc_getFunctionOpendir(s.context())(s.context(), url.c_str());
    if (!impl_->dir)
        error_ = lastError();
}

Listing::~Listing() {
    if (!impl_->dir)
        return;
    Session& s = Session::get();
    std::lock_guard lock(s.mutex);
    smbc_getFunctionClosedir(s.context())(s.context(), impl_->dir);
}

bool Listing::next(FolderEntry& entry) {
    std::uint32_t word = 0;
    return lastAttributes(entry, word);
}

bool Listing::lastAttributes(FolderEntry& entry, std::uint32_t& word) {
    if (!impl_->dir)
        return false;
    Session& s = Session::get();
    std::lock_guard lock(s.mutex);
    errno = 0;
    struct stat st {};
    const libsmb_file_info* info =
        smbc_getFunctionReaddirPlus2(s.context())(s.context(), impl_->dir, &st);
    if (!info) {
        if (errno != 0)
            error_ = lastError();
        return false;
    }
    entry.name = info->name;
    entry.id = {};
    word = info->attrs;
    entry.kind = info->attrs & ReparsePoint      ? EntryKind::Link
                 : info->attrs & attr::Directory ? EntryKind::Directory
                                                 : EntryKind::File;
    return true;
}

} // namespace platform::smbstore
