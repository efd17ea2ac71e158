#include "platform/smbstore_linux.h"

#include "platform/keyring_linux.h"
#include "platform/signin.h"
#include "platform/smbpool_linux.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <libsmbclient.h>

namespace platform::smbstore {

namespace {

constexpr std::uint32_t Changeable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
constexpr std::uint32_t Normal = 0x80;        // FILE_ATTRIBUTE_NORMAL
constexpr std::uint32_t ReparsePoint = 0x400; // links and junctions: never entered
// How long a call may wait for a server that has gone away.
constexpr int TimeoutMilliseconds = 5000;
// How many worker processes list side by side: more only wait for the CPU of a small machine.
constexpr std::size_t ListingWorkers = 16;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// "server/share", the unit a sign-in holds for.
std::string shareKey(const std::string& server, const std::string& share) {
    return server + "/" + share;
}

// The sign-ins answered so far, by shareKey(); a share without one goes as a guest, or as the
// user its address names (Kerberos first where the user has a ticket).
std::map<std::string, signin::Answer>& signIns() {
    static std::map<std::string, signin::Answer> known;
    return known;
}
unsigned signInsChanged = 0;

void setSignIn(const std::string& key, const signin::Answer& answer) {
    signIns()[key] = answer;
    ++signInsChanged;
}

void copyInto(char* to, int room, const std::string& text) {
    if (room <= 0)
        return;
    const std::size_t n = std::min(text.size(), std::size_t(room - 1));
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

void credentials(SMBCCTX*, const char* server, const char* share, char* workgroup, int wgRoom,
                 char* user, int userRoom, char* password, int pwRoom) {
    const auto& known = signIns();
    auto it = known.find(shareKey(server, share));
    if (it == known.end())
        it = known.find(shareKey(server, "")); // the server's own pipe, when listing
    if (it == known.end()) {
        copyInto(password, pwRoom, "");
        return;
    }
    copyInto(user, userRoom, it->second.user);
    if (!it->second.domain.empty())
        copyInto(workgroup, wgRoom, it->second.domain);
    copyInto(password, pwRoom, it->second.password);
}

// The process's one client context, made at its first use.
class Session {
public:
    static Session& get() {
        static Session session;
        return session;
    }
    SMBCCTX* context() const { return ctx_; }
    // Connections made with other credentials are dropped, so that the next call signs in anew.
    void forgetConnections() {
        std::lock_guard lock(mutex);
        if (ctx_)
            smbc_getFunctionPurgeCachedServers(ctx_)(ctx_);
    }
    // In a child forked to work beside this process: a connection of its own. The parent's
    // context is left as it is (its connections are the parent's).
    void becomeChild() {
        ctx_ = makeContext();
        child = true;
    }
    bool child = false;
    std::mutex mutex;
    // Shares reached at least once: a refusal there is the entry's, not the sign-in's.
    std::set<std::string> reached;
    std::set<std::string> keyringTried;

private:
    Session() : ctx_(makeContext()) {}
    static SMBCCTX* makeContext() {
        SMBCCTX* ctx = smbc_new_context();
        if (!ctx)
            return nullptr;
        smbc_setFunctionAuthDataWithContext(ctx, credentials);
        smbc_setTimeout(ctx, TimeoutMilliseconds);
        smbc_setOptionUseKerberos(ctx, 1);
        smbc_setOptionFallbackAfterKerberos(ctx, 1);
        smbc_setOptionFullTimeNames(ctx, 1);
        if (!smbc_init_context(ctx)) {
            smbc_free_context(ctx, 1);
            return nullptr;
        }
        return ctx;
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

std::error_code getAllOnce(const std::string& url, EntryState& out) {
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

std::error_code setOnce(const std::string& url, const char* name, const std::string& value) {
    Session& s = Session::get();
    std::lock_guard lock(s.mutex);
    if (!s.context())
        return {ENOSYS, std::generic_category()};
    if (smbc_getFunctionSetxattr(s.context())(s.context(), url.c_str(), name, value.data(),
                                              value.size(), 0) < 0)
        return lastError();
    return {};
}

bool refusedSignIn(const std::error_code& ec) {
    return ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted;
}

// Runs \p op on \p url, signing in first where the share refuses us: with the password saved in
// the keyring for the server, else with the window's question, asked again after a wrong
// answer. A cancelled question skips every later call on that share.
template <class Op> std::error_code signedIn(const std::string& url, Op op) {
    const auto address = share::fromUri(url);
    if (!address)
        return op();
    const std::string key = shareKey(address->server, address->share);
    if (signin::wasCancelled(key))
        return make_error_code(Refusal::SignInCancelled);
    Session& s = Session::get();
    bool remember = false, reconnected = false;
    for (;;) {
        const std::error_code ec = op();
        // A connection the server dropped (it was restarted, or idle too long): once anew.
        if (!reconnected &&
            (ec == std::errc::connection_aborted || ec == std::errc::connection_reset ||
             ec == std::errc::broken_pipe || ec == std::errc::not_connected)) {
            reconnected = true;
            s.forgetConnections();
            continue;
        }
        if (!ec) {
            if (s.reached.insert(key).second && remember)
                keyring::save(address->server, address->share, address->port, signIns()[key]);
            return ec;
        }
        if (!refusedSignIn(ec) || s.reached.contains(key))
            return ec;
        const auto known = signIns().find(key);
        if (!s.child && s.keyringTried.insert(key).second) {
            if (auto saved =
                    keyring::find(address->server, address->user, address->domain, address->port)) {
                setSignIn(key, *saved);
                s.forgetConnections();
                continue;
            }
        }
        const signin::Asker& ask = signin::asker();
        if (!ask)
            return ec;
        signin::Question question{address->server, address->share,  address->port,
                                  address->user,   address->domain, known != signIns().end()};
        if (question.again) {
            question.user = known->second.user;
            question.domain = known->second.domain;
        }
        const auto answer = ask(question);
        if (!answer) {
            signin::markCancelled(key);
            return make_error_code(Refusal::SignInCancelled);
        }
        setSignIn(key, *answer);
        remember = answer->remember;
        s.forgetConnections();
    }
}

// The words this process wrote last, by URL: a row's second write needs no second listing.
struct Sent {
    std::uint32_t word;
    std::chrono::steady_clock::time_point when;
};
std::map<std::string, Sent>& sentWords() {
    static std::map<std::string, Sent> sent;
    return sent;
}

// The whole word of \p url as its folder's listing gives it (a stat gives only R, H, S, A and
// Directory), or as this process wrote it a moment ago; \p fallback where the listing does not
// name it.
std::uint32_t listedWord(const std::string& url, std::uint32_t fallback) {
    auto& sent = sentWords();
    if (const auto it = sent.find(url);
        it != sent.end() &&
        std::chrono::steady_clock::now() - it->second.when < std::chrono::seconds(10))
        return it->second.word;
    if (url.rfind('/') < 6) // "smb://" and no path
        return fallback;
    const auto [folder, name] = splitUrl(url);
    Listing listing(folder);
    FolderEntry entry;
    std::uint32_t word = fallback;
    while (listing.lastAttributes(entry, word)) {
        if (escapedName(entry.name) == name)
            return word;
    }
    return fallback;
}

void noteSent(const std::string& url, std::uint32_t word) {
    auto& sent = sentWords();
    if (sent.size() > 4096)
        sent.clear();
    sent[url] = {word, std::chrono::steady_clock::now()};
}

std::error_code getAll(const std::string& url, EntryState& out) {
    if (auto ec = signedIn(url, [&] { return getAllOnce(url, out); }))
        return ec;
    // A folder's made-up mode has every execute bit: its word comes from its parent's listing.
    if (out.attributes & attr::Directory)
        out.attributes = listedWord(url, attr::Directory) | attr::Directory;
    return {};
}

std::error_code set(const std::string& url, const char* name, const std::string& value) {
    return signedIn(url, [&] { return setOnce(url, name, value); });
}

// The library takes a word of FILE_ATTRIBUTE_NORMAL as "no change"; its chmod of a mode without
// execute bits and with the owner's write bit sends it.
std::error_code chmodNormal(const std::string& url) {
    return signedIn(url, [&]() -> std::error_code {
        Session& s = Session::get();
        std::lock_guard lock(s.mutex);
        if (smbc_getFunctionChmod(s.context())(s.context(), url.c_str(), 0644) < 0)
            return lastError();
        return {};
    });
}

// A word as a request carries it: without the folder bit, and FILE_ATTRIBUTE_NORMAL for none.
std::uint32_t onTheWire(std::uint32_t word) {
    word &= ~std::uint32_t(attr::Directory);
    return word ? word : Normal;
}

// The word and the last-write time in one request (a NORMAL word changes nothing there).
std::error_code sendWordAndTime(const std::string& url, std::uint32_t word, std::int64_t when) {
    char text[64];
    std::snprintf(text, sizeof text, "MODE:0x%x,WRITE_TIME:%lld", onTheWire(word),
                  static_cast<long long>(when));
    return set(url, "system.dos_attr.*", text);
}

EntryKind kindOf(std::uint32_t word) {
    return word & ReparsePoint      ? EntryKind::Link
           : word & attr::Directory ? EntryKind::Directory
                                    : EntryKind::File;
}

} // namespace

void ownConnection() {
    // Nobody can be asked from here: the window and the keyring's bus are the parent's. So a
    // share the parent stood cancelled at the fork says nothing here: its sign-ins come later.
    signin::setAsker(nullptr);
    signin::forgetCancelled();
    Session::get().becomeChild();
}

std::string escapedName(const std::string& name) {
    return share::encodeEscapes(name);
}

std::string urlOf(const share::Address& a) {
    std::string url = "smb://";
    if (!a.domain.empty())
        url += share::encodeEscapes(a.domain) + ";";
    if (!a.user.empty())
        url += share::encodeEscapes(a.user) + "@";
    url += a.server;
    if (a.port)
        url += ":" + std::to_string(a.port);
    return url + "/" + share::encodeEscapes(a.share, "$") + share::encodeEscapes(a.path, "/");
}

std::error_code query(const std::string& url, EntryState& out) {
    return getAll(url, out);
}

std::uint32_t wordToSend(std::uint32_t before, std::uint32_t wanted) {
    return (before & ~(Changeable | Normal | attr::Directory)) | (wanted & Changeable);
}

std::pair<std::string, std::string> splitUrl(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    return {url.substr(0, slash), url.substr(slash + 1)};
}

std::error_code writeState(const std::string& url, std::uint32_t word,
                           std::optional<std::int64_t> when) {
    word = onTheWire(word);
    if (when) {
        if (auto ec = sendWordAndTime(url, word, *when); ec || word != Normal)
            return ec;
    } else if (word != Normal) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", word);
        return set(url, "system.dos_attr.mode", text);
    }
    return chmodNormal(url);
}

std::string signInsText() {
    std::string text;
    for (const auto& [key, a] : signIns())
        for (const std::string* field : {&key, &a.user, &a.domain, &a.password})
            text += "=" + share::encodeEscapes(*field) + (field == &a.password ? "\n" : " ");
    return text;
}

unsigned signInsGeneration() {
    return signInsChanged;
}

void adoptSignIns(const std::string& text) {
    std::istringstream lines(text);
    bool changed = false;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string f[4];
        for (std::string& one : f) {
            fields >> one;
            one = share::decodeEscapes(one.empty() ? one : one.substr(1));
        }
        signin::Answer& known = signIns()[f[0]];
        if (known.user == f[1] && known.domain == f[2] && known.password == f[3])
            continue;
        known.user = f[1];
        known.domain = f[2];
        known.password = f[3];
        changed = true;
    }
    if (changed)
        Session::get().forgetConnections();
}

bool reachedHere(const std::string& url) {
    const auto address = share::fromUri(url);
    return address && Session::get().reached.contains(shareKey(address->server, address->share));
}

std::error_code writeWord(const std::string& url, std::uint32_t word, std::uint32_t before,
                          EntryState* readBack) {
    const std::uint32_t next = wordToSend(listedWord(url, before), word);
    if (auto ec = writeState(url, next, std::nullopt))
        return ec;
    noteSent(url, next);
    EntryState now;
    if (auto ec = getAll(url, now))
        return ec;
    if (readBack)
        *readBack = now;
    if ((now.attributes & Changeable) != (next & Changeable))
        return make_error_code(Refusal::NotKept);
    return {};
}

std::error_code setWriteTime(const std::string& url, std::int64_t when, const EntryState& known,
                             EntryState& readBack) {
    // The time goes with the entry's whole word: the library's request for the time alone sends
    // a word made up from its stat mode, which drops bits the server keeps (offline, 0x1000).
    const std::uint32_t word = listedWord(url, known.attributes);
    if (auto ec = sendWordAndTime(url, word, when))
        return ec;
    noteSent(url, word);
    return getAll(url, readBack);
}

std::error_code listStates(const std::string& folderUrl, std::map<std::string, EntryState>& out) {
    Listing listing(folderUrl);
    FolderEntry entry;
    std::uint32_t word = 0;
    while (listing.lastAttributes(entry, word))
        out[escapedName(entry.name)] = {word & ~Normal, listing.lastWrite()};
    return listing.error();
}

void listStatesMany(const std::vector<std::string>& folders, std::vector<Listed>& out) {
    out.assign(folders.size(), {});
    // The first folder of each share not reached yet is listed here: it signs in where the share
    // wants it (a worker cannot ask), and the workers are told.
    std::map<std::string, std::error_code> shares; // what the first folder of each gave here
    std::vector<std::pair<std::size_t, Pool::Ticket>> asked;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const auto address = share::fromUri(folders[i]);
        const std::string key = address ? shareKey(address->server, address->share) : folders[i];
        if (reachedHere(folders[i])) {
            asked.emplace_back(i, 0);
        } else if (const auto first = shares.find(key); first == shares.end()) {
            shares[key] = out[i].error = listStates(folders[i], out[i].entries);
        } else if (first->second == Refusal::SignInCancelled) {
            out[i].error = first->second;
        } else {
            asked.emplace_back(i, 0);
        }
    }
    Pool& pool = Pool::get();
    pool.reserve(std::min(ListingWorkers, asked.size()));
    for (auto& [i, ticket] : asked)
        ticket = pool.list(folders[i]);
    for (const auto& [i, ticket] : asked) {
        while (!pool.finished(ticket))
            pool.pump(-1);
        out[i] = std::move(*pool.take(ticket));
    }
    pool.takeFresh(); // all of them taken
}

namespace {

// Listings made ahead, side by side, for the folders an expansion will enter next; each is
// taken once.
std::map<std::string, Listed>& prefetched() {
    static std::map<std::string, Listed> listed;
    return listed;
}

} // namespace

void prefetch(const std::vector<std::string>& folderUrls) {
    std::vector<std::string> wanted;
    for (const std::string& url : folderUrls)
        if (!prefetched().contains(url))
            wanted.push_back(url);
    if (wanted.size() < 2) // one folder is listed as fast when it is entered
        return;
    std::vector<Listed> lists;
    listStatesMany(wanted, lists);
    for (std::size_t i = 0; i < wanted.size(); ++i)
        prefetched()[wanted[i]] = std::move(lists[i]);
}

void forgetPrefetched() {
    prefetched().clear();
}

struct Listing::Impl {
    SMBCFILE* dir = nullptr;
    std::optional<Listed> ahead; // made by prefetch()
    std::map<std::string, EntryState>::const_iterator at;
};

Listing::Listing(const std::string& url) : impl_(std::make_unique<Impl>()) {
    if (const auto it = prefetched().find(url); it != prefetched().end()) {
        impl_->ahead = std::move(it->second);
        prefetched().erase(it);
        impl_->at = impl_->ahead->entries.begin();
        error_ = impl_->ahead->error;
        return;
    }
    error_ = signedIn(url, [&]() -> std::error_code {
        Session& s = Session::get();
        std::lock_guard lock(s.mutex);
        if (!s.context())
            return {ENOSYS, std::generic_category()};
        impl_->dir = smbc_getFunctionOpendir(s.context())(s.context(), url.c_str());
        return impl_->dir ? std::error_code() : lastError();
    });
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
    if (impl_->ahead) {
        if (impl_->at == impl_->ahead->entries.end())
            return false;
        entry.name = share::decodeEscapes(impl_->at->first);
        entry.id = {};
        word = impl_->at->second.attributes;
        lastWrite_ = impl_->at->second.lastWrite;
        entry.kind = kindOf(word);
        ++impl_->at;
        return true;
    }
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
    lastWrite_ = info->mtime_ts.tv_sec;
    entry.kind = kindOf(word);
    return true;
}

} // namespace platform::smbstore
