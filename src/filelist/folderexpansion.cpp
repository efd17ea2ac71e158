#include "filelist/folderexpansion.h"

#include "platform/fileservices.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>

namespace expansion {

namespace {

using Char = PathString::value_type;

bool isSeparator(Char c) {
#ifdef _WIN32
    return c == Char('\\') || c == Char('/');
#else
    return c == Char('/');
#endif
}

struct Pending {
    PathString path;
    platform::EntryId id; // who it was when listed: a folder swapped in later is not entered
};

void skip(const CollectHooks& hooks, const PathString& path, std::error_code ec) {
    if (hooks.skipped)
        hooks.skipped(path, ec);
}

bool sameId(const platform::EntryId& a, const platform::EntryId& b) {
    return a.inode != 0 && a.device == b.device && a.inode == b.inode;
}

// Lists one folder into the found lists; returns its subfolders, still to be visited. \p way
// holds who each folder above is; the folder's own "." entry is added to it. A subfolder that
// is one of them (a server may show a link to a folder above as a folder, as Samba does) is
// neither listed nor entered.
std::vector<Pending> listFolder(const PathString& folder, const platform::EntryId& id,
                                const CollectHooks& hooks, Found& found,
                                std::vector<platform::EntryId>& way) {
    std::vector<Pending> pending;
    const PathString base = WithSeparator(folder);
    platform::FolderEnumerator listing{std::filesystem::path(base), id};
    platform::FolderEntry entry;
    way.push_back(id);
    while (listing.next(entry)) {
        if (entry.name.size() == 1 && entry.name.front() == Char('.'))
            way.back() = entry.id;
        if (entry.name.empty() || entry.name.front() == Char('.'))
            continue;
        // Exactly as long as it is: a million rows keep their paths.
        PathString full;
        full.reserve(base.size() + entry.name.size());
        full.append(base).append(entry.name);
        platform::EntryKind kind = entry.kind;
        if (kind == platform::EntryKind::Unknown) {
            const std::filesystem::path p(full);
            std::uint32_t word = 0;
            if (platform::isLink(p)) {
                kind = platform::EntryKind::Link;
            } else if (auto ec = platform::readAttributes(p, word)) {
                skip(hooks, full, ec);
                continue;
            } else {
                kind = (word & platform::attr::Directory) ? platform::EntryKind::Directory
                                                          : platform::EntryKind::File;
            }
        }
        switch (kind) {
        case platform::EntryKind::Link:
        case platform::EntryKind::KernelView:
            break;
        case platform::EntryKind::Directory:
            pending.push_back({std::move(full), entry.id});
            break;
        case platform::EntryKind::File:
            found.files.push_back(std::move(full));
            break;
        default:
            skip(hooks, full, platform::make_error_code(platform::Refusal::NotFileOrFolder));
            break;
        }
    }
    std::erase_if(pending, [&](const Pending& p) {
        const bool above = std::any_of(
            way.begin(), way.end(), [&](const platform::EntryId& up) { return sameId(up, p.id); });
        if (above)
            skip(hooks, p.path, platform::make_error_code(platform::Refusal::FolderLoop));
        else
            found.folders.push_back(p.path);
        return above;
    });
    // Unlistable, or the listing broke off: the folder is not complete.
    if (listing.error())
        skip(hooks, folder, listing.error());
    if (hooks.yield)
        hooks.yield();
    return pending;
}

} // namespace

PathString WithSeparator(const PathString& folder) {
    if (!folder.empty() && isSeparator(folder.back()))
        return folder;
    PathString base = folder;
#ifdef _WIN32
    base += L'\\';
#else
    base += '/';
#endif
    return base;
}

bool DroppedFolderGetsOwnRow(const PathString& folder) {
#ifdef _WIN32
    const bool driveRoot =
        (folder.size() == 2 || (folder.size() == 3 && isSeparator(folder[2]))) && folder[1] == L':';
    return !driveRoot;
#else
    return folder.find_first_not_of('/') != PathString::npos;
#endif
}

bool NameIsUsable(const PathString& name) {
#ifdef _WIN32
    return name.find(L'?') == PathString::npos;
#else
    (void)name;
    return true;
#endif
}

namespace {

// The subfolders just found will be listed next: the file layer may list them now, side by side.
void ahead(const std::vector<Pending>& pending) {
    std::vector<std::filesystem::path> folders;
    for (const Pending& p : pending)
        folders.emplace_back(p.path);
    platform::prefetchFolders(folders);
}

} // namespace

Found CollectFolder(const PathString& folder, const CollectHooks& hooks) {
    Found found;
    // What was listed ahead and not entered (the expansion stopped) is not kept.
    const std::shared_ptr<void> forget(nullptr, [](void*) { platform::prefetchFolders({}, true); });
    // One pending stack per folder being visited, as a recursion would hold them, but on the
    // heap: a deep tree cannot exhaust the call stack.
    // Beside them, who each folder on the way down is.
    std::vector<std::vector<Pending>> stacks;
    std::vector<platform::EntryId> way;
    stacks.push_back(listFolder(folder, {}, hooks, found, way));
    ahead(stacks.back());
    while (!stacks.empty()) {
        if (hooks.stop && hooks.stop())
            return found;
        auto& top = stacks.back();
        if (top.empty()) {
            stacks.pop_back();
            way.pop_back();
            continue;
        }
        const Pending next = std::move(top.back());
        top.pop_back();
        stacks.push_back(listFolder(next.path, next.id, hooks, found, way));
        ahead(stacks.back());
    }
    return found;
}

} // namespace expansion
