// Windows keeps the attribute word itself; this file only adds the \\?\ prefix, refuses
// links on writes, reads rows on network drives many at once, and converts local times with the
// rules of the date they name.
#include "platform/fileservices.h"
#include "platform/folderreads_win.h"
#include "platform/rowpool.h"

#include <cwchar>
#include <cwctype>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <windows.h>
#include <winternl.h>

namespace platform {

namespace {

std::error_code errorOf(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}
std::error_code lastError() {
    return errorOf(GetLastError());
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONGLONG FileTimeOf1970 = 116444736000000000ULL;
constexpr std::int64_t TicksPerSecond = 10'000'000;

// The bits the apply run owns; every other bit (pinned, unpinned, offline …) stays as it is.
constexpr DWORD OwnBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_ARCHIVE;
// Kept by the file system itself; FileBasicInfo refuses or ignores them.
constexpr DWORD FileSystemBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED |
                                 FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_SPARSE_FILE |
                                 FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_DEVICE;

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid())
            CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A name in the device namespace (\\.\PhysicalDrive0, \\?\GLOBALROOT\Device\…) reaches a
// device, not a file or folder; only \\?\X:\… and \\?\UNC\… are paths of the file system.
bool isDevicePath(const std::wstring& s) {
    const auto starts = [&](const wchar_t* prefix) {
        const std::size_t n = std::wcslen(prefix);
        return s.size() >= n && CompareStringOrdinal(s.data(), static_cast<int>(n), prefix,
                                                     static_cast<int>(n), TRUE) == CSTR_EQUAL;
    };
    std::wstring slashes = s.substr(0, 4);
    for (wchar_t& c : slashes)
        if (c == L'/')
            c = L'\\';
    if (slashes == LR"(\\.\)" || slashes == LR"(\??\)")
        return true;
    if (slashes != LR"(\\?\)")
        return false;
    const bool drive = s.size() >= 7 && s[5] == L':' && (s[6] == L'\\' || s[6] == L'/');
    return !drive && !starts(LR"(\\?\UNC\)") && !starts(LR"(\\?\Volume{)");
}

// The one place that gives paths the \\?\ prefix, always: so names ending in "." or " " and
// device names like NUL are reached as they are. The prefix also switches off the
// normalisation of "/", "." and "..", so that is done first.
std::wstring widePath(const fs::path& p) {
    std::wstring s = p.native();
    if (s.rfind(LR"(\\?\)", 0) == 0 || s.rfind(LR"(\\.\)", 0) == 0)
        return s;
    for (wchar_t& c : s)
        if (c == L'/')
            c = L'\\';
    if (s.rfind(LR"(\\)", 0) == 0) {
        // libstdc++ takes no \\server for a root and would make one "\" of the two.
        s = LR"(\\)" + fs::path(s.substr(2)).lexically_normal().native();
    } else if (s.size() >= 3 && s[1] == L':' && s[2] == L'\\') {
        s = fs::path(s).lexically_normal().native();
    } else {
        // Relative: only here may GetFullPathNameW drop trailing dots and blanks.
        const DWORD n = GetFullPathNameW(s.c_str(), 0, nullptr, nullptr);
        if (n == 0)
            return s;
        std::wstring full(n, L'\0');
        full.resize(GetFullPathNameW(s.c_str(), n, full.data(), nullptr));
        s = full;
    }
    if (s.rfind(LR"(\\)", 0) == 0)
        return LR"(\\?\UNC\)" + s.substr(2);
    return LR"(\\?\)" + s;
}

std::string toUtf8(const wchar_t* text, int length) {
    if (length == 0)
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

bool isLinkTag(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool endsWithNoCase(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           CompareStringOrdinal(text.data() + text.size() - tail.size(),
                                static_cast<int>(tail.size()), tail.data(),
                                static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

// Where the root of a \\?\ path ends: at the "\" after \\?\X: or after \\?\UNC\server\share;
// npos for other roots (volume names).
std::size_t rootEnd(const std::wstring& wide) {
    if (wide.size() >= 6 && wide[5] == L':')
        return 6;
    if (wide.rfind(LR"(\\?\UNC\)", 0) != 0)
        return std::wstring::npos;
    const std::size_t server = wide.find(L'\\', 8);
    return server == std::wstring::npos ? server : wide.find(L'\\', server + 1);
}

// Whether the path of \p h is still \p wide: a junction or link swapped in for a parent folder
// leads elsewhere. Compared without the volume, which a mapped drive names differently.
bool reachedAsNamed(HANDLE h, const std::wstring& wide) {
    std::wstring final(wide.size() + MAX_PATH, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_NONE);
    if (n == 0 || n >= final.size())
        return true; // no answer: the entry itself was still opened without following it
    final.resize(n);
    const std::size_t root = wide.rfind(LR"(\\?\UNC\)", 0) == 0 ? rootEnd(wide) : 6; // \\?\C:
    if (root == std::wstring::npos)
        return true;
    // Wine reports a name without its trailing dots and blanks; a swap changes more than those.
    std::wstring tail = wide.substr(root);
    for (std::wstring* s : {&tail, &final})
        while (s->size() > 1 && (s->back() == L'\\' || s->back() == L'.' || s->back() == L' '))
            s->pop_back();
    return endsWithNoCase(final, tail) || endsWithNoCase(tail, final);
}

// A link in the entry's own place, or a device behind its name, is no entry to change.
std::error_code refusalOf(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) {
        if (isLinkTag(tag.FileAttributes, tag.ReparseTag))
            return make_error_code(Refusal::LinkInPath);
        if (tag.FileAttributes & FILE_ATTRIBUTE_DEVICE)
            return make_error_code(Refusal::NotFileOrFolder);
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return lastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return make_error_code(Refusal::LinkInPath);
    return {};
}

// Opens \p wide itself, never the target of a link in its place or in the place of a parent
// folder. Other reparse points (cloud placeholders, deduplicated files) are ordinary files to
// the user and stay writable.
std::error_code openChecked(const std::wstring& wide, HANDLE& out, DWORD access) {
    out = CreateFileW(wide.c_str(), access, ShareAll, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return lastError();
    if (auto ec = refusalOf(out))
        return ec;
    if (!reachedAsNamed(out, wide))
        return make_error_code(Refusal::LinkInPath);
    return {};
}

std::error_code openForChange(const fs::path& p, HANDLE& out,
                              DWORD access = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES) {
    if (isDevicePath(p.native()))
        return make_error_code(Refusal::DevicePath);
    return openChecked(widePath(p), out, access);
}

// A folder opened and checked once for the rows in it. Its entries are opened relative to this
// handle, so a link swapped in above the folder later changes nothing: the handle stays the
// folder that was checked.
struct CheckedFolder {
    std::once_flag once;
    HANDLE h = INVALID_HANDLE_VALUE;
    std::error_code error;
    ~CheckedFolder() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

struct CheckedFolders {
    std::mutex mutex;
    int scopes = 0; // FolderChecks alive; the folders are closed with the last
    // By the exact name: in a case-sensitive folder "A" and "a" are two folders.
    std::unordered_map<std::wstring, std::shared_ptr<CheckedFolder>> byPath;
};

CheckedFolders& checkedFolders() {
    static CheckedFolders folders;
    return folders;
}

// The checked folder \p folder, opened by the first row that asks; nullptr outside a batch.
std::shared_ptr<CheckedFolder> checkedFolder(const std::wstring& folder) {
    CheckedFolders& all = checkedFolders();
    std::shared_ptr<CheckedFolder> f;
    {
        std::lock_guard lock(all.mutex);
        if (all.scopes == 0)
            return nullptr;
        auto& slot = all.byPath[folder];
        if (!slot)
            slot = std::make_shared<CheckedFolder>();
        f = slot;
    }
    std::call_once(f->once, [&] { f->error = openChecked(folder, f->h, FILE_READ_ATTRIBUTES); });
    return f;
}

// Opens \p name in the checked folder \p folder as CreateFileW opens the whole path: the entry
// itself, not a link's target.
std::error_code openIn(HANDLE folder, const std::wstring& name, HANDLE& out) {
    UNICODE_STRING text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        const_cast<wchar_t*>(name.data())};
    OBJECT_ATTRIBUTES where{};
    InitializeObjectAttributes(&where, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtCreateFile(
        &out, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, &where, &io, nullptr, 0,
        ShareAll, FILE_OPEN,
        FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT,
        nullptr, 0);
    if (!NT_SUCCESS(status)) {
        out = INVALID_HANDLE_VALUE;
        return errorOf(RtlNtStatusToDosError(status));
    }
    return refusalOf(out);
}

// A row's entry for changing: inside a batch relative to its checked folder, else checked alone.
std::error_code openEntry(const std::wstring& wide, HANDLE& out) {
    const std::size_t cut = wide.rfind(L'\\');
    const std::size_t root = rootEnd(wide);
    if (root != std::wstring::npos && cut > root && cut + 1 < wide.size()) {
        if (const auto folder = checkedFolder(wide.substr(0, cut))) {
            if (folder->error == Refusal::LinkInPath)
                return folder->error;
            // A folder that could not be opened (no right to read its attributes …): the entry
            // is checked alone, as outside a batch.
            if (!folder->error)
                return openIn(folder->h, wide.substr(cut + 1), out);
        }
    }
    return openChecked(wide, out, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
}

// Whether calls on \p wide wait for a network: a share's path, or one on a drive of type
// DRIVE_REMOTE (a mapped share, a network file system). \p types keeps each drive's type while a
// check lasts; a letter may be mapped anew between checks.
bool onNetwork(const std::wstring& wide, std::map<wchar_t, bool>& types) {
    if (wide.rfind(LR"(\\?\UNC\)", 0) == 0)
        return true;
    if (rootEnd(wide) != 6)
        return false;
    const auto [known, first] = types.try_emplace(static_cast<wchar_t>(std::towupper(wide[4])));
    if (first)
        known->second = GetDriveTypeW(wide.substr(4, 3).c_str()) == DRIVE_REMOTE;
    return known->second;
}

std::int64_t secondsOf(const FILETIME& ft) {
    const auto ticks = static_cast<std::int64_t>(
        ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - FileTimeOf1970);
    // Whole seconds, rounded towards the past also before 1970.
    return ticks >= 0 ? ticks / TicksPerSecond : -((-ticks + TicksPerSecond - 1) / TicksPerSecond);
}

int daysInMonth(int month, int year) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : Days[month - 1];
}

// The uppercase of each UTF-16 unit as the invariant locale has it, the mapping
// CompareStringOrdinal ignores case with; made once, at the first hash.
const std::vector<wchar_t>& upperCase() {
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> t(0x10000);
        for (std::size_t c = 0; c < t.size(); ++c) {
            const wchar_t in = static_cast<wchar_t>(c);
            wchar_t out = in;
            if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1, nullptr,
                              nullptr, 0) != 1)
                out = in;
            t[c] = out;
        }
        return t;
    }();
    return table;
}

bool sameWallClock(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// The zone with its rules for every year, not only this year's.
const DYNAMIC_TIME_ZONE_INFORMATION& localZone() {
    static const DYNAMIC_TIME_ZONE_INFORMATION zone = [] {
        DYNAMIC_TIME_ZONE_INFORMATION z{};
        GetDynamicTimeZoneInformation(&z);
        return z;
    }();
    return zone;
}

// The …Ex conversions take the rules of the date's own year; Wine 8 lacks them, and there the
// zone's present rules must do.
template <typename Ex> Ex exConversion(const char* name) {
    return reinterpret_cast<Ex>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

bool localToSystem(const SYSTEMTIME& local, SYSTEMTIME& utc) {
    using Ex = BOOL(WINAPI*)(const DYNAMIC_TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);
    static const Ex ex = exConversion<Ex>("TzSpecificLocalTimeToSystemTimeEx");
    return ex ? ex(&localZone(), &local, &utc)
              : TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
}

bool systemToLocal(const SYSTEMTIME& utc, SYSTEMTIME& local) {
    using Ex = BOOL(WINAPI*)(const DYNAMIC_TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);
    static const Ex ex = exConversion<Ex>("SystemTimeToTzSpecificLocalTimeEx");
    return ex ? ex(&localZone(), &utc, &local)
              : SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
}

// A local moment to UTC with the daylight-saving rule of its own year and date, not today's
// offset. A moment in the spring-forward gap does not exist; it is read with the offset before
// the change, so it moves forward by the gap.
bool localToUtc(const SYSTEMTIME& local, FILETIME& out) {
    SYSTEMTIME utc, back;
    if (!localToSystem(local, utc) || !systemToLocal(utc, back))
        return false;
    if (sameWallClock(local, back))
        return SystemTimeToFileTime(&utc, &out) != 0;
    TIME_ZONE_INFORMATION zone;
    if (!GetTimeZoneInformationForYear(
            local.wYear, const_cast<DYNAMIC_TIME_ZONE_INFORMATION*>(&localZone()), &zone) ||
        !SystemTimeToFileTime(&local, &out))
        return false;
    const LONGLONG minutes = zone.Bias + zone.StandardBias;
    const ULONGLONG ticks =
        ((static_cast<ULONGLONG>(out.dwHighDateTime) << 32) | out.dwLowDateTime) +
        static_cast<ULONGLONG>(minutes * 60 * TicksPerSecond);
    out = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return true;
}

// The system's conversions move a day that is not in the calendar (29.2.2100) to another.
bool onCalendar(const LocalTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= daysInMonth(t.month, t.year) &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59 && t.year >= 1601 && t.year <= 30827;
}

SYSTEMTIME systemTimeOf(const LocalTime& t) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(t.year);
    local.wMonth = static_cast<WORD>(t.month);
    local.wDay = static_cast<WORD>(t.day);
    local.wHour = static_cast<WORD>(t.hour);
    local.wMinute = static_cast<WORD>(t.minute);
    local.wSecond = static_cast<WORD>(t.second);
    return local;
}

} // namespace

bool onLocalClock(const LocalTime& t, std::int64_t& written) {
    if (!onCalendar(t))
        return true;
    const SYSTEMTIME local = systemTimeOf(t);
    SYSTEMTIME utc, back;
    FILETIME when;
    if (!localToUtc(local, when))
        return true;
    written = secondsOf(when);
    return !localToSystem(local, utc) || !systemToLocal(utc, back) || sameWallClock(local, back);
}

struct PinnedEntry::Impl {
    HANDLE h = INVALID_HANDLE_VALUE;
    std::wstring wide;
    ~Impl() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

PinnedEntry::PinnedEntry(const fs::path& p) : impl_(std::make_unique<Impl>()) {
    if (isDevicePath(p.native())) {
        error_ = make_error_code(Refusal::DevicePath);
        return;
    }
    impl_->wide = widePath(p);
    error_ = openEntry(impl_->wide, impl_->h);
}

PinnedEntry::PinnedEntry(const PinnedEntry&, const fs::path::string_type& p)
    : PinnedEntry(fs::path(p)) {}

PinnedEntry::~PinnedEntry() = default;

bool PinnedEntry::remote() const {
    std::map<wchar_t, bool> types;
    return !impl_->wide.empty() && onNetwork(impl_->wide, types);
}

FolderChecks::FolderChecks() {
    CheckedFolders& all = checkedFolders();
    std::lock_guard lock(all.mutex);
    ++all.scopes;
}

FolderChecks::~FolderChecks() {
    CheckedFolders& all = checkedFolders();
    std::lock_guard lock(all.mutex);
    if (--all.scopes == 0)
        all.byPath.clear();
}

std::error_code PinnedEntry::query(EntryState& out) const {
    if (error_)
        return error_;
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(impl_->h, FileBasicInfo, &info, sizeof info))
        return lastError();
    out.attributes = info.FileAttributes;
    const FILETIME written{static_cast<DWORD>(info.LastWriteTime.QuadPart),
                           static_cast<DWORD>(info.LastWriteTime.QuadPart >> 32)};
    out.lastWrite = secondsOf(written);
    out.lastWriteNanos = static_cast<std::int32_t>(
        (static_cast<ULONGLONG>(info.LastWriteTime.QuadPart) % 10'000'000ULL) * 100);
    return {};
}

bool PinnedEntry::lastKnown(EntryState&) const {
    return false;
}

std::error_code PinnedEntry::writeAttributes(std::uint32_t word) {
    if (error_)
        return error_;
    FILE_BASIC_INFO info{}; // times 0: left as they are
    if (!GetFileInformationByHandleEx(impl_->h, FileBasicInfo, &info, sizeof info))
        return lastError();
    const DWORD old = info.FileAttributes;
    const DWORD kept =
        (old & ~(OwnBits | FileSystemBits | FILE_ATTRIBUTE_NORMAL)) | (word & OwnBits);
    const auto set = [&](DWORD attributes) {
        FILE_BASIC_INFO next{};
        next.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
        return SetFileInformationByHandle(impl_->h, FileBasicInfo, &next, sizeof next) != 0;
    };
    if (!set(kept))
        return lastError();
    // A network server may answer success and keep less. A that stays after it was cleared
    // is no loss, and Wine shows it on every file whatever is stored.
    if (!GetFileInformationByHandleEx(impl_->h, FileBasicInfo, &info, sizeof info))
        return lastError();
    const DWORD checked = OwnBits & ~(kept & FILE_ATTRIBUTE_ARCHIVE ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    if ((info.FileAttributes & checked) != (kept & checked)) {
        set(old & ~(FileSystemBits | FILE_ATTRIBUTE_NORMAL));
        return make_error_code(Refusal::NotKept);
    }
    return {};
}

namespace {

ULONGLONG ticksOf(const FILETIME& ft) {
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// FAT keeps even seconds only, exFAT hundredths; NTFS and the rest 100 ns.
ULONGLONG timeStepOf(HANDLE h) {
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, nullptr, name,
                                       MAX_PATH + 1))
        return 1;
    if (CompareStringOrdinal(name, 3, L"FAT", 3, TRUE) == CSTR_EQUAL)
        return 2 * TicksPerSecond;
    if (CompareStringOrdinal(name, -1, L"exFAT", -1, TRUE) == CSTR_EQUAL)
        return TicksPerSecond / 100;
    return 1;
}

} // namespace

std::error_code PinnedEntry::setLastWriteTime(const LocalTime& t, std::int64_t* kept) {
    if (error_)
        return error_;
    if (!onCalendar(t))
        return errorOf(ERROR_INVALID_PARAMETER);
    const SYSTEMTIME local = systemTimeOf(t);
    FILETIME when;
    if (!localToUtc(local, when))
        return lastError();

    const HANDLE h = impl_->h;
    FILETIME before{}, held{};
    if (!GetFileTime(h, nullptr, nullptr, &before) || !SetFileTime(h, nullptr, nullptr, &when) ||
        !GetFileTime(h, nullptr, nullptr, &held))
        return lastError();
    if (ticksOf(held) != ticksOf(when) && ticksOf(when) - ticksOf(held) >= timeStepOf(h)) {
        if (kept)
            *kept = secondsOf(held);
        SetFileTime(h, nullptr, nullptr, &before);
        return make_error_code(Refusal::TimeNotKept);
    }
    return {};
}

std::error_code PinnedEntry::restoreLastWrite(const EntryState& old) {
    if (error_)
        return error_;
    const ULONGLONG ticks = static_cast<ULONGLONG>(old.lastWrite + 11644473600LL) * 10'000'000ULL +
                            static_cast<ULONGLONG>(old.lastWriteNanos / 100);
    const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return SetFileTime(impl_->h, nullptr, nullptr, &when) ? std::error_code() : lastError();
}

std::error_code queryEntry(const fs::path& p, EntryState& out) {
    if (isDevicePath(p.native()))
        return make_error_code(Refusal::DevicePath);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widePath(p).c_str(), GetFileExInfoStandard, &data))
        return lastError();
    out.attributes = data.dwFileAttributes;
    out.lastWrite = secondsOf(data.ftLastWriteTime);
    return {};
}

namespace {

// Reads in flight together on a network drive, as on Linux's network mounts.
constexpr std::size_t PoolThreads = 64;
// A folder on a network drive with this many rows of the list is listed once instead of read row
// by row: the redirector gets every entry's attributes and times with the listing.
constexpr std::size_t ListedFrom = 8;

struct NoCaseHash {
    std::size_t operator()(const std::wstring& s) const { return pathHash(s); }
};
struct NoCaseEqual {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return samePath(a, b); }
};

// What a folder's listing says of its entries, by name as Windows compares names. Names that
// differ only in case (a case-sensitive folder) and reparse points are left out: those rows are
// read alone, as their own state may differ from the listing's.
struct Listing {
    std::error_code error;
    std::unordered_map<std::wstring, std::pair<DWORD, FILETIME>, NoCaseHash, NoCaseEqual> entries;
};

Listing listFolder(const std::wstring& folder) {
    Listing out;
    WIN32_FIND_DATAW d;
    const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &d,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        out.error = lastError();
        return out;
    }
    std::vector<std::wstring> readAlone;
    do {
        if (!out.entries.try_emplace(d.cFileName, d.dwFileAttributes, d.ftLastWriteTime).second ||
            (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            readAlone.emplace_back(d.cFileName);
    } while (FindNextFileW(find, &d));
    FindClose(find);
    for (const std::wstring& name : readAlone)
        out.entries.erase(name);
    return out;
}

using Choice = std::function<FolderRead(const fs::path& first, std::size_t rows)>;

void readByFolder(
    const Choice& choose, std::size_t count,
    const std::function<fs::path::string_type(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result) {
    std::vector<fs::path> paths;
    std::unordered_map<std::wstring, std::vector<std::size_t>> byFolder;
    std::vector<const std::vector<std::size_t>*> folders;
    for (std::size_t i = 0; i < count; ++i) {
        paths.emplace_back(pathOf(i));
        auto [folder, first] = byFolder.try_emplace(paths.back().parent_path().native());
        if (first)
            folders.push_back(&folder->second);
        folder->second.push_back(i);
    }
    RowPool alone, pooled;
    std::vector<const std::vector<std::size_t>*> listed;
    for (const std::vector<std::size_t>* rows : folders) {
        const FolderRead how = choose(paths[rows->front()], rows->size());
        if (how == FolderRead::Listed)
            listed.push_back(rows);
        else
            for (const std::size_t i : *rows)
                (how == FolderRead::Pooled ? pooled : alone).add(i, paths[i]);
    }
    std::vector<Listing> listings(listed.size());
    inParallel(listed.size(), PoolThreads, [&](std::size_t k) {
        listings[k] = listFolder(widePath(paths[listed[k]->front()].parent_path()));
    });
    for (std::size_t k = 0; k < listed.size(); ++k)
        for (const std::size_t i : *listed[k]) {
            const auto found = listings[k].entries.find(paths[i].filename().native());
            if (listings[k].error || found == listings[k].entries.end()) {
                pooled.add(i, paths[i]); // read alone: its own answer, or its own error
                continue;
            }
            EntryState state;
            state.attributes = found->second.first;
            state.lastWrite = secondsOf(found->second.second);
            result(i, {}, state);
        }
    pooled.read(PoolThreads, result);
    alone.read(1, result);
}

// Wine lists a folder one entry after another under a lock of its own, each entry's attributes
// with calls of their own: on a mount at 10 ms a call 20 entries took 1 s, 20 reads side by side
// 0.1 s. There the rows are read pooled.
bool listingPays() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return !wine;
}

} // namespace

void queryEntriesAs(
    FolderRead how, std::size_t count,
    const std::function<fs::path::string_type(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result) {
    readByFolder([how](const fs::path&, std::size_t) { return how; }, count, pathOf, result);
}

void queryEntries(
    std::size_t count, const std::function<fs::path::string_type(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result) {
    std::map<wchar_t, bool> types;
    const auto choose = [&types](const fs::path& first, std::size_t rows) {
        if (isDevicePath(first.native()) || !onNetwork(widePath(first), types))
            return FolderRead::Alone;
        return rows >= ListedFrom && listingPays() ? FolderRead::Listed : FolderRead::Pooled;
    };
    readByFolder(choose, count, pathOf, result);
}

std::vector<bool> onNetworkMounts(const std::vector<fs::path>& folders) {
    std::map<wchar_t, bool> types;
    std::vector<bool> remote;
    for (const fs::path& f : folders)
        remote.push_back(!isDevicePath(f.native()) && onNetwork(widePath(f), types));
    return remote;
}

void prefetchFolders(const std::vector<fs::path>&, bool) {
    // The redirector lists a share's folders itself.
}

std::string formatLastWrite(std::int64_t secondsSinceEpoch) {
    const ULONGLONG ticks =
        static_cast<ULONGLONG>(secondsSinceEpoch * TicksPerSecond) + FileTimeOf1970;
    const FILETIME utcTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc, local;
    // The offset of that date, not today's (FileTimeToLocalFileTime would take today's).
    if (!FileTimeToSystemTime(&utcTime, &utc) || !systemToLocal(utc, local))
        return {};
    wchar_t date[80] = {}, time[80] = {};
    const int dateLength = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local,
                                           nullptr, date, 80, nullptr);
    std::string text = toUtf8(date, dateLength > 0 ? dateLength - 1 : 0);
    if (local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0)
        return text;
    const int timeLength = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 80);
    return text + " " + toUtf8(time, timeLength > 0 ? timeLength - 1 : 0);
}

LocalTime presentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wDay, now.wMonth, now.wYear};
}

struct FolderEnumerator::Impl {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data{};
    bool pending = false;
};

// Windows folders are not identified (EntryId stays empty); a folder whose path now leads
// through a junction or link is not listed, as writes are not made through one.
FolderEnumerator::FolderEnumerator(const fs::path& folder, const EntryId&)
    : impl_(std::make_unique<Impl>()) {
    HANDLE raw = INVALID_HANDLE_VALUE;
    error_ = openForChange(folder, raw, FILE_READ_ATTRIBUTES);
    Handle checked(raw);
    if (error_)
        return;
    const std::wstring pattern = widePath(folder / L"*");
    impl_->find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &impl_->data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (impl_->find != INVALID_HANDLE_VALUE)
        impl_->pending = true;
    else if (GetLastError() != ERROR_FILE_NOT_FOUND) // an empty drive root has no entries
        error_ = lastError();
}

FolderEnumerator::~FolderEnumerator() {
    if (impl_->find != INVALID_HANDLE_VALUE)
        FindClose(impl_->find);
}

bool FolderEnumerator::next(FolderEntry& entry) {
    if (impl_->find == INVALID_HANDLE_VALUE)
        return false;
    if (!impl_->pending && !FindNextFileW(impl_->find, &impl_->data)) {
        if (GetLastError() != ERROR_NO_MORE_FILES)
            error_ = lastError();
        return false;
    }
    impl_->pending = false;
    const WIN32_FIND_DATAW& d = impl_->data;
    entry.name = d.cFileName;
    if (isLinkTag(d.dwFileAttributes, d.dwReserved0))
        entry.kind = EntryKind::Link;
    else if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        entry.kind = EntryKind::Directory;
    else
        entry.kind = EntryKind::File;
    return true;
}

bool isLink(const fs::path& p) {
    const DWORD a = GetFileAttributesW(widePath(p).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string reasonText(const std::error_code& ec) {
    if (ec.category() != std::system_category())
        return ec.message();
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(ec.value()), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || !text)
        return ec.message();
    std::wstring message(text, n);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return toUtf8(message.data(), static_cast<int>(message.size()));
}

// mingw-w64's headers lack it; winerror.h of the Windows SDK has 681.
#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif

int reasonCode(const std::error_code& ec) {
    if (ec.category() != make_error_code(Refusal::LinkInPath).category())
        return ec.value();
    // Our own refusals show the Windows error number nearest in meaning, as the system's do.
    switch (static_cast<Refusal>(ec.value())) {
    case Refusal::LinkInPath:
        return ERROR_STOPPED_ON_SYMLINK;
    case Refusal::NotFileOrFolder:
        return ERROR_INVALID_FUNCTION;
    case Refusal::DevicePath:
        return ERROR_INVALID_NAME;
    case Refusal::BadStoredValue:
        return ERROR_INVALID_DATA;
    case Refusal::KernelView:
        return ERROR_ACCESS_DENIED;
    case Refusal::SignInCancelled:
        return ERROR_CANCELLED;
    case Refusal::TimeNotKept:
        return ERROR_INVALID_TIME;
    case Refusal::OldExfatDriver:
    case Refusal::NotKept:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_PATH_NOT_FOUND;
    }
}

bool samePath(const fs::path::string_type& a, const fs::path::string_type& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::size_t pathHash(const fs::path::string_type& p) {
    const std::vector<wchar_t>& upper = upperCase();
    std::size_t h = 14695981039346656037ULL; // FNV-1a
    for (const wchar_t c : p) {
        h ^= static_cast<std::size_t>(upper[static_cast<std::size_t>(c)]);
        h *= 1099511628211ULL;
    }
    return h;
}

fs::path executableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return fs::path(std::wstring(buffer.data(), n)).parent_path();
        buffer.resize(buffer.size() * 2);
    }
}

std::string separator() {
    return "\\";
}

std::string displayText(const fs::path& p) {
    const std::wstring& s = p.native();
    return toUtf8(s.data(), static_cast<int>(s.size()));
}

} // namespace platform
