// The file services on Linux: the pinned entry a row works through, the situation check's reads
// (folders on shares by their listings, rows on network mounts by many threads), folder listings
// and the small services. Linux has no attribute word of its own: the word stores
// (wordstores_linux), the mounts they are chosen by (mounts_linux) and opening without links
// (linkfree_linux) have files of their own.
#include "platform/fileservices.h"

#include "platform/dosattrib.h"
#include "platform/fsstores_linux.h"
#include "platform/linkfree_linux.h"
#include "platform/mounts_linux.h"
#include "platform/pinnedentry_linux.h"
#include "platform/rowpool.h"
#include "platform/wordstores_linux.h"
#include "share/address.h"
#include "share/client.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

using namespace unixfs;

namespace {

namespace wire = share::wire;
// Reads in flight together on a network mount: against a mount with a 10 ms round trip, a click
// on 2,000 rows took 1.85 s with 32 and 1.20 s with 64.
constexpr std::size_t PoolThreads = 64;
constexpr std::uint32_t ReparsePoint = 0x400; // links and junctions on a share: never entered

// What the list shows of an entry on a share.
EntryState stateOf(const wire::BasicInfo& info) {
    return {info.attributes & ~attr::Normal, share::unixSecondsOf(info.write),
            std::int32_t(info.write % 10'000'000 * 100)};
}

int daysInMonth(int month, int year) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : Days[month - 1];
}

} // namespace

// The UTC moment of a local wall-clock time, with the offset in force at that date.
std::error_code utcOf(const LocalTime& t, std::time_t& when) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.month, t.year) ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return errorOf(EINVAL);
    struct tm local {};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1; // the offset in force at that date, not today's
    struct tm asked = local;
    errno = 0;
    when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1) && errno != 0)
        return lastError();
    if (local.tm_hour != t.hour || local.tm_min != t.minute || local.tm_mday != t.day) {
        // In the hour skipped when clocks go forward: read with the offset before the change,
        // so the moment moves forward by the gap. glibc moves it backward where summer time is
        // the standard time (Europe/Dublin).
        const std::time_t wall = ::timegm(&asked);
        const std::time_t dayBefore = wall - 86400;
        struct tm before {};
        if (!::localtime_r(&dayBefore, &before))
            return errorOf(EINVAL);
        when = wall - before.tm_gmtoff;
    }
    return {};
}

bool onLocalClock(const LocalTime& t, std::int64_t& written) {
    std::time_t when = 0;
    struct tm back {};
    if (utcOf(t, when) || !::localtime_r(&when, &back))
        return true;
    written = when;
    return back.tm_hour == t.hour && back.tm_min == t.minute && back.tm_mday == t.day;
}

PinnedEntry::PinnedEntry(const fs::path& p) : impl_(std::make_unique<Impl>()) {
    error_ = impl_->open(p);
}

PinnedEntry::PinnedEntry(const PinnedEntry& folder, const fs::path::string_type& p)
    : impl_(std::make_unique<Impl>()) {
    const Impl& f = *folder.impl_;
    const std::size_t slash = p.rfind('/');
    if (folder.error_ || f.onShare || !S_ISDIR(f.st.st_mode) || slash == std::string::npos ||
        slash + 1 == p.size() || share::isShare(p)) {
        error_ = impl_->open(p);
        return;
    }
    impl_->fd.reset(openBelow(f.fd.get(), p.c_str() + slash + 1, O_PATH));
    error_ = impl_->pin();
}

std::error_code PinnedEntry::Impl::open(const fs::path& p) {
    if (share::isShare(p.native())) {
        const auto address = share::fromRow(p.native());
        if (!address)
            return errorOf(EINVAL);
        onShare = address;
        return share::stat(*address, shareEntry);
    }
    fd.reset(openWithoutLinks(p.c_str(), O_PATH));
    return pin();
}

std::error_code PinnedEntry::Impl::pin() {
    Impl& e = *this;
    struct statx sx {};
    if (e.fd.get() < 0 || ::statx(e.fd.get(), "", AT_EMPTY_PATH, StatxWanted, &sx) != 0)
        return openFailure();
    toStat(sx, e.st);
    e.shownCreateTime = unixfs::shownCreateTime(e.st);
    if (S_ISLNK(e.st.st_mode)) // swapped for a link after it was listed
        return make_error_code(Refusal::LinkInPath);
    if (!S_ISREG(e.st.st_mode) && !S_ISDIR(e.st.st_mode))
        return make_error_code(Refusal::NotFileOrFolder);
    std::snprintf(e.procName.data(), e.procName.size(), "/proc/self/fd/%d", e.fd.get());
    unsigned long type = 0;
    if (!Mounts::keyOf(e.fd.get(), sx, e.mount, type))
        return lastError();
    e.facts = mounts().factsOf(e.fd.get(), e.procName.data(), e.mount, type);
    if (e.facts.kernelView)
        return make_error_code(Refusal::KernelView);
    return {};
}

PinnedEntry::~PinnedEntry() = default;

std::error_code PinnedEntry::query(EntryState& out) const {
    if (error_)
        return error_;
    Impl& e = *impl_;
    if (e.onShare) { // a round trip saved: what the last request read back
        if (e.shareStale) {
            if (auto ec = share::stat(*e.onShare, e.shareEntry))
                return ec;
            e.shareStale = false;
        }
        out = stateOf(e.shareEntry.info);
        return {};
    }
    if (auto ec = e.fresh())
        return ec;
    out.lastWrite = e.st.st_mtim.tv_sec;
    out.lastWriteNanos = static_cast<std::int32_t>(e.st.st_mtim.tv_nsec);
    if (e.facts.store == Store::Fat || e.facts.store == Store::Cifs)
        return fsstores::readWord(nativeOf(e.facts.store), e.fd.get(), e.st, out.attributes);
    std::uint32_t stored = 0;
    if (auto ec = readStoredWord(e, stored))
        return ec;
    out.attributes = composeWord(stored, e.st);
    return {};
}

bool PinnedEntry::lastKnown(EntryState& out) const {
    const Impl& e = *impl_;
    if (error_)
        return false;
    if (e.onShare) {
        out = stateOf(e.shareEntry.info);
        return !e.shareStale;
    }
    if (e.stale || e.facts.store != Store::Dos || !e.dosValue)
        return false;
    const auto& value = *e.dosValue;
    const auto info = value ? dosattrib::decode(value->data(), value->size()) : std::nullopt;
    out.attributes = composeWord(info ? info->attributes : 0, e.st);
    out.lastWrite = e.st.st_mtim.tv_sec;
    out.lastWriteNanos = static_cast<std::int32_t>(e.st.st_mtim.tv_nsec);
    return true;
}

std::error_code PinnedEntry::writeAttributes(std::uint32_t word) {
    if (error_)
        return error_;
    Impl& e = *impl_;
    if (e.onShare) {
        wire::BasicInfo set;
        set.attributes = share::wordToSend(e.shareEntry.info.attributes, word);
        if (auto ec = e.writeShare(set))
            return ec;
        return (e.shareEntry.info.attributes & attr::Classic) == (set.attributes & attr::Classic)
                   ? std::error_code()
                   : make_error_code(Refusal::NotKept);
    }
    if (auto ec = e.fresh())
        return ec;
    switch (e.facts.store) {
    case Store::Ntfs:
        return writeNtfsWord(e, word);
    case Store::Fat:
    case Store::Cifs:
        e.stale = true; // the drivers keep R of a file in its write bits too
        return fsstores::writeWord(nativeOf(e.facts.store), e.fd.get(), e.st, word);
    default:
        return writeDosWord(e, word);
    }
}

std::error_code PinnedEntry::setLastWriteTime(const LocalTime& t, std::int64_t* kept) {
    if (error_)
        return error_;
    std::time_t when = 0;
    if (auto ec = utcOf(t, when))
        return ec;
    Impl& e = *impl_;
    if (e.onShare) {
        wire::BasicInfo set;
        set.write = share::fileTimeOf(when);
        set.creation = share::creationToKeep(e.shareEntry.info, set);
        if (auto ec = e.writeShare(set))
            return ec;
        if (e.shareEntry.info.write == set.write)
            return {};
        if (kept)
            *kept = share::unixSecondsOf(e.shareEntry.info.write);
        return make_error_code(Refusal::TimeNotKept);
    }
    const struct timespec before = e.st.st_mtim;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    if (::utimensat(AT_FDCWD, e.procName.data(), times, 0) != 0)
        return e.failure();
    if (auto ec = e.restat())
        return ec;
    // FAT keeps even seconds only; every other store keeps the second as given.
    const std::int64_t step = e.facts.store == Store::Fat ? 2 : 1;
    const std::int64_t held = e.st.st_mtim.tv_sec;
    if (held <= when - step || held > when) {
        if (kept)
            *kept = held;
        const struct timespec back[2] = {{0, UTIME_OMIT}, before};
        ::utimensat(AT_FDCWD, e.procName.data(), back, 0);
        e.stale = true;
        return make_error_code(Refusal::TimeNotKept);
    }
    return {};
}

std::error_code PinnedEntry::restoreLastWrite(const EntryState& old) {
    if (error_)
        return error_;
    Impl& e = *impl_;
    if (e.onShare) {
        wire::BasicInfo set;
        set.write = share::fileTimeOf(old.lastWrite) + std::uint64_t(old.lastWriteNanos / 100);
        return e.writeShare(set);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {old.lastWrite, old.lastWriteNanos}};
    e.stale = true;
    return ::utimensat(AT_FDCWD, e.procName.data(), times, 0) == 0 ? std::error_code()
                                                                   : e.failure();
}

namespace {

// The folder of a share entry, and the entry's name in it.
std::pair<share::Address, std::string> folderAndName(share::Address a) {
    const std::size_t slash = a.path.rfind('/');
    std::string name = a.path.substr(slash + 1);
    a.path.erase(slash);
    return {std::move(a), std::move(name)};
}

// Listings made ahead, side by side, for the folders an expansion will enter next; each is
// taken once.
std::map<std::string, share::Listed>& prefetched() {
    static std::map<std::string, share::Listed> listed;
    return listed;
}

} // namespace

std::error_code queryEntry(const fs::path& p, EntryState& out) {
    return PinnedEntry(p).query(out);
}

namespace {

// A network file system's client keeps what a listing told it of each entry (FUSE with
// READDIRPLUS, CIFS, NFS): one listing of a folder answers the lookups and attribute reads of
// its rows, which then cost no round trip each. A large folder with few rows in the list is
// not listed whole: a few entries a row at most.
void listAhead(const fs::path& folder, std::size_t rows) {
    const Descriptor fd(openWithoutLinks(folder.c_str(), O_RDONLY | O_DIRECTORY));
    alignas(8) char buffer[32768];
    std::size_t seen = 0;
    for (long n; fd.get() >= 0 && seen < rows * 4 &&
                 (n = ::syscall(SYS_getdents64, fd.get(), buffer, sizeof buffer)) > 0;) {
        for (long at = 0; at < n; ++seen)
            at += reinterpret_cast<const struct dirent64*>(buffer + at)->d_reclen;
    }
}

// Rows read in runs of one folder, at most \p run long: the folder is pinned once and each
// row's name looked up in it, so a row costs one lookup, not one a component of its path. Runs
// go to \p threads threads; results are handed on from the calling thread.
void readByFolder(RowPool& pool, std::size_t threads, std::size_t run,
                  const RowPool::Result& result) {
    const auto folderOf = [&](std::size_t k) {
        const std::string& p = pool.paths[k];
        return std::string_view(p).substr(0, p.rfind('/'));
    };
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t k = 0, n = pool.rows.size(); k < n;) {
        std::size_t end = k + 1;
        while (end < n && end - k < run && folderOf(end) == folderOf(k))
            ++end;
        runs.emplace_back(k, end);
        k = end;
    }
    std::vector<std::pair<std::error_code, EntryState>> states(pool.rows.size());
    inParallel(runs.size(), threads, [&](std::size_t r) {
        const auto [begin, end] = runs[r];
        if (end - begin == 1) {
            states[begin].first = queryEntry(fs::path(pool.paths[begin]), states[begin].second);
            return;
        }
        const std::string_view folderName = folderOf(begin);
        const PinnedEntry folder(fs::path(folderName.empty() ? "/" : folderName));
        for (std::size_t k = begin; k < end; ++k)
            states[k].first = PinnedEntry(folder, pool.paths[k]).query(states[k].second);
    });
    for (std::size_t k = 0; k < pool.rows.size(); ++k)
        result(pool.rows[k], states[k].first, states[k].second);
}

// Rows on network mounts: their folders listed first where they hold enough of the rows, then
// the rows, in parts small enough that what the listings told is still fresh (a second, as
// CIFS and FUSE keep it) when their rows are read.
void readAcrossNetwork(RowPool& pool, const RowPool::Result& result) {
    constexpr std::size_t Part = 2048, RowsWorthListing = 8;
    for (std::size_t at = 0; at < pool.rows.size(); at += Part) {
        RowPool part;
        std::map<std::string, std::size_t> rowsIn;
        for (std::size_t k = at; k < std::min(at + Part, pool.rows.size()); ++k) {
            const std::string& p = pool.paths[k];
            ++rowsIn[p.substr(0, p.rfind('/'))];
            part.add(pool.rows[k], std::move(pool.paths[k]));
        }
        std::vector<std::pair<std::string, std::size_t>> listed;
        for (auto& [folder, rows] : rowsIn)
            if (rows >= RowsWorthListing)
                listed.emplace_back(folder, rows);
        inParallel(listed.size(), PoolThreads,
                   [&](std::size_t k) { listAhead(listed[k].first, listed[k].second); });
        // Short runs: each folder's rows still go out many at a time.
        readByFolder(part, PoolThreads, 8, result);
    }
}

} // namespace

std::vector<bool> onNetworkMounts(const std::vector<fs::path>& folders) {
    std::vector<std::string> paths;
    for (const fs::path& f : folders)
        paths.push_back(f.native());
    return remoteByTable(paths);
}

bool PinnedEntry::remote() const {
    return impl_->onShare || impl_->facts.remote;
}

FolderChecks::FolderChecks() = default;
FolderChecks::~FolderChecks() = default;

void queryEntries(
    std::size_t count, const std::function<fs::path::string_type(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result) {
    // Share entries by folder: one listing answers them all, and the folders' listings are in
    // flight together.
    std::map<std::string, std::vector<std::pair<std::size_t, std::string>>> byFolder;
    std::vector<share::Address> folders;
    RowPool others;
    for (std::size_t i = 0; i < count; ++i) {
        std::string p = pathOf(i);
        const auto address = share::isShare(p) ? share::fromRow(p) : std::nullopt;
        if (address && !address->path.empty()) {
            auto [folder, name] = folderAndName(*address);
            auto& rows = byFolder[share::rowText(folder)];
            if (rows.empty())
                folders.push_back(std::move(folder));
            rows.emplace_back(i, std::move(name));
            continue;
        }
        others.add(i, std::move(p));
    }
    // The rows on network and FUSE mounts many at a time, the others one a core; each folder
    // is asked once.
    std::unordered_map<std::string_view, std::size_t> folderIndex;
    std::vector<fs::path> parents;
    std::vector<std::size_t> folderOfRow;
    for (const std::string& p : others.paths) {
        const std::string_view folder = std::string_view(p).substr(0, p.rfind('/'));
        const auto [known, first] = folderIndex.try_emplace(folder, parents.size());
        if (first)
            parents.emplace_back(folder);
        folderOfRow.push_back(known->second);
    }
    const std::vector<bool> remoteFolder = onNetworkMounts(parents);
    RowPool remote, local;
    for (std::size_t k = 0; k < others.rows.size(); ++k)
        (remoteFolder[folderOfRow[k]] ? remote : local)
            .add(others.rows[k], std::move(others.paths[k]));
    readAcrossNetwork(remote, result);
    readByFolder(local, std::max(1u, std::thread::hardware_concurrency()), 256, result);
    std::vector<share::Listed> lists;
    share::listMany(folders, lists);
    for (std::size_t k = 0; k < folders.size(); ++k) {
        std::map<std::string_view, const wire::DirectoryEntry*> named;
        for (const auto& e : lists[k].entries)
            named.emplace(e.name, &e);
        const std::error_code ec = lists[k].error;
        for (const auto& [index, name] : byFolder[share::rowText(folders[k])]) {
            const auto it = named.find(name);
            if (ec || it == named.end())
                result(index, ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory),
                       {});
            else
                result(index, {}, stateOf(it->second->info));
        }
    }
}

void prefetchFolders(const std::vector<fs::path>& folders, bool forget) {
    if (forget) {
        prefetched().clear();
        return;
    }
    std::vector<share::Address> wanted;
    for (const fs::path& folder : folders)
        if (share::isShare(folder.native()))
            if (const auto address = share::fromRow(folder.native()))
                if (!prefetched().contains(share::rowText(*address)))
                    wanted.push_back(*address);
    if (wanted.size() < 2) // one folder is listed as fast when it is entered
        return;
    std::vector<share::Listed> lists;
    share::listMany(wanted, lists);
    for (std::size_t k = 0; k < wanted.size(); ++k)
        prefetched()[share::rowText(wanted[k])] = std::move(lists[k]);
}

std::string formatLastWrite(std::int64_t secondsSinceEpoch) {
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    struct tm local {};
    if (!::localtime_r(&t, &local))
        return {};
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &local);
    return std::string(text, n);
}

LocalTime presentLocalTime() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min,     local.tm_sec,
            local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

namespace {

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    return S_ISLNK(mode) ? EntryKind::Link : EntryKind::Other;
}

} // namespace

struct FolderEnumerator::Impl {
    DIR* dir = nullptr;
    std::uint64_t mountId = 0;
    std::optional<share::Listed> share; // a folder on an SMB share: the server's listing
    std::size_t shareAt = 0;
};

FolderEnumerator::FolderEnumerator(const fs::path& folder, const EntryId& expected)
    : impl_(std::make_unique<Impl>()) {
    if (share::isShare(folder.native())) {
        const auto address = share::fromRow(folder.native());
        if (!address) {
            error_ = errorOf(EINVAL);
            return;
        }
        const std::string key = share::rowText(*address);
        if (const auto it = prefetched().find(key); it != prefetched().end()) {
            impl_->share = std::move(it->second);
            prefetched().erase(it);
        } else {
            impl_->share.emplace();
            share::list(*address, *impl_->share);
        }
        error_ = impl_->share->error;
        // A folder that is not the one listed under that name before is not entered.
        if (!error_ && expected.inode != 0 && impl_->share->folderId != expected.inode)
            error_ = make_error_code(Refusal::ChangedFolder);
        return;
    }
    const int fd = openWithoutLinks(folder.c_str(), O_RDONLY | O_DIRECTORY);
    struct statx sx {};
    Mounts::Key key;
    unsigned long type = 0;
    if (fd < 0 || ::statx(fd, "", AT_EMPTY_PATH, StatxWanted, &sx) != 0) {
        error_ = openFailure();
    } else if (expected.inode != 0 &&
               (makedev(sx.stx_dev_major, sx.stx_dev_minor) != expected.device ||
                sx.stx_ino != expected.inode)) {
        error_ = make_error_code(Refusal::ChangedFolder);
    } else if (!Mounts::keyOf(fd, sx, key, type)) {
        error_ = lastError();
    } else if (const std::string proc = "/proc/self/fd/" + std::to_string(fd);
               mounts().factsOf(fd, proc.c_str(), key, type).kernelView) {
        // Dropped directly or met in the walk: the kernel's views are never listed.
        error_ = make_error_code(Refusal::KernelView);
    } else if (!(impl_->dir = ::fdopendir(fd))) {
        error_ = lastError();
    }
    if (!impl_->dir && fd >= 0)
        ::close(fd);
    impl_->mountId = sx.stx_mnt_id;
}

FolderEnumerator::~FolderEnumerator() {
    if (impl_->dir)
        ::closedir(impl_->dir);
}

bool FolderEnumerator::next(FolderEntry& entry) {
    if (impl_->share) {
        if (error_ || impl_->shareAt > impl_->share->entries.size())
            return false;
        if (impl_->shareAt++ == 0) { // who the folder is
            entry.name = ".";
            entry.kind = EntryKind::Directory;
            entry.id = {0, impl_->share->folderId};
            return true;
        }
        const wire::DirectoryEntry& e = impl_->share->entries[impl_->shareAt - 2];
        entry.name = e.name;
        entry.kind = e.info.attributes & ReparsePoint      ? EntryKind::Link
                     : e.info.attributes & attr::Directory ? EntryKind::Directory
                                                           : EntryKind::File;
        entry.id = {0, e.fileId};
        return true;
    }
    if (!impl_->dir || error_)
        return false;
    errno = 0;
    const struct dirent* d = ::readdir(impl_->dir);
    if (!d) {
        if (errno != 0)
            error_ = lastError();
        return false;
    }
    entry.name = d->d_name;
    entry.id = {};
    switch (d->d_type) {
    case DT_REG:
        entry.kind = EntryKind::File;
        return true;
    case DT_LNK:
        entry.kind = EntryKind::Link;
        return true;
    case DT_DIR:
    case DT_UNKNOWN:
        break; // some file systems (older XFS, some FUSE ones) do not say; ask the inode
    default:
        entry.kind = EntryKind::Other;
        return true;
    }
    // A folder is opened later by its path: remember who it is now.
    const int dir = ::dirfd(impl_->dir);
    struct statx sx {};
    if (::statx(dir, d->d_name, AT_SYMLINK_NOFOLLOW, StatxWanted, &sx) != 0) {
        entry.kind = EntryKind::Unknown;
        return true;
    }
    entry.kind = kindOf(sx.stx_mode);
    entry.id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
    if (entry.kind == EntryKind::Directory && sx.stx_mnt_id != impl_->mountId) {
        // Another mount begins here: list it only if it is no kernel view.
        const Descriptor fd(::openat(dir, d->d_name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        Mounts::Key key;
        unsigned long type = 0;
        const std::string proc = "/proc/self/fd/" + std::to_string(fd.get());
        if (fd.get() < 0 || !Mounts::keyOf(fd.get(), sx, key, type))
            entry.kind = EntryKind::Unknown;
        else if (mounts().factsOf(fd.get(), proc.c_str(), key, type).kernelView)
            entry.kind = EntryKind::KernelView;
    }
    return true;
}

bool isLink(const fs::path& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string reasonText(const std::error_code& ec) {
    if (ec.category() != std::generic_category() && ec.category() != std::system_category())
        return ec.message();
    char buffer[256];
    // The GNU strerror_r: it may return a static text instead of filling the buffer.
    return ::strerror_r(ec.value(), buffer, sizeof buffer);
}

int reasonCode(const std::error_code& ec) {
    return ec.default_error_condition().value();
}

bool samePath(const fs::path::string_type& a, const fs::path::string_type& b) {
    return a == b;
}

std::size_t pathHash(const fs::path::string_type& p) {
    return std::hash<std::string>{}(p);
}

fs::path executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

std::string separator() {
    return "/";
}

std::string displayText(const fs::path& p) {
    return p.native();
}

} // namespace platform
