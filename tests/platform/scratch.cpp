#include "platform/scratch.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace scratch {

namespace {

std::string uniqueName() {
    static std::atomic<int> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    return "dm-test-" + std::to_string(pid) + "-" + std::to_string(now) + "-" +
           std::to_string(counter++);
}

// Removal needs write bits (Linux) and no R attribute (Windows) everywhere below.
void makeRemovable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
#ifdef _WIN32
    SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink())
            continue;
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
#ifdef _WIN32
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
        ec.clear();
    }
}

#ifdef _WIN32
std::int64_t raw(const FILETIME& ft) {
    return (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
#endif

} // namespace

Folder::Folder() {
    path_ = fs::temp_directory_path() / uniqueName();
    fs::create_directories(path_);
}

Folder::~Folder() {
    makeRemovable(path_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

// Names may be given with "/"; the result is in the system's own form, as a listing gives it.
fs::path Folder::file(const fs::path& name, const std::string& contents) const {
    fs::path p = path_ / name;
    p.make_preferred();
    std::ofstream(p, std::ios::binary) << contents;
    return p;
}

fs::path Folder::folder(const fs::path& name) const {
    fs::path p = path_ / name;
    p.make_preferred();
    fs::create_directories(p);
    return p;
}

#ifdef _WIN32

RawTimes rawTimes(const fs::path& p) {
    RawTimes t;
    t.unitsPerSecond = 10'000'000;
    HANDLE h = CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return t;
    FILETIME c, a, w;
    if (GetFileTime(h, &c, &a, &w)) {
        t.creation = raw(c);
        t.access = raw(a);
        t.write = raw(w);
    }
    CloseHandle(h);
    return t;
}

void setOtherTimes(const fs::path& p) {
    HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // 2001-02-03 and 2002-03-04, each with a sub-second part.
    const std::int64_t creation = 126'276'336'001'234'567, access = 126'594'144'002'345'678;
    FILETIME c{static_cast<DWORD>(creation), static_cast<DWORD>(creation >> 32)};
    FILETIME a{static_cast<DWORD>(access), static_cast<DWORD>(access >> 32)};
    EXPECT_TRUE(SetFileTime(h, &c, &a, nullptr));
    CloseHandle(h);
}

bool makeLink(const fs::path& link, const fs::path& target) {
    // Wine says yes and makes nothing; only a reparse point in the place counts.
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        return false;
    const DWORD a = GetFileAttributesW(link.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine takes its zone from TZ when it starts (tests/run-wine.sh sets it); Windows from the
// machine. Either way the test can only check that it is Berlin's.
BerlinTime::BerlinTime() {
    TIME_ZONE_INFORMATION tz;
    const DWORD r = GetTimeZoneInformation(&tz);
    if (r == TIME_ZONE_ID_INVALID || tz.Bias != -60 || tz.DaylightBias != -60)
        missing_ = "the time zone is not Central European; run with TZ=Europe/Berlin";
}
BerlinTime::~BerlinTime() = default;

GermanDates::GermanDates() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    if (std::wstring(name) != L"de-DE")
        missing_ = "the user locale is not de-DE; run with LC_ALL=de_DE.UTF-8";
}
GermanDates::~GermanDates() = default;

std::string GermanDates::shortDate(const std::string& ddmmyyyy) const {
    wchar_t pattern[80] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, pattern, 80);
    const std::wstring p = pattern;
    std::string day = ddmmyyyy.substr(0, 2), month = ddmmyyyy.substr(3, 2);
    if (p.find(L"dd") == std::wstring::npos && day[0] == '0')
        day.erase(0, 1);
    if (p.find(L"MM") == std::wstring::npos && month[0] == '0')
        month.erase(0, 1);
    return day + "." + month + "." + ddmmyyyy.substr(6);
}

#else

RawTimes rawTimes(const fs::path& p) {
    RawTimes t;
    t.unitsPerSecond = 1'000'000'000;
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) {
        t.write = st.st_mtim.tv_sec * t.unitsPerSecond + st.st_mtim.tv_nsec;
        t.access = st.st_atim.tv_sec * t.unitsPerSecond + st.st_atim.tv_nsec;
    }
    return t;
}

void setOtherTimes(const fs::path& p) {
    const struct timespec times[2] = {{1015200000, 123456789}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

bool makeLink(const fs::path& link, const fs::path& target) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
}

bool underWine() {
    return false;
}

BerlinTime::BerlinTime() {
    if (const char* tz = std::getenv("TZ")) {
        saved_ = tz;
        hadSaved_ = true;
    }
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    if (!fs::exists("/usr/share/zoneinfo/Europe/Berlin"))
        missing_ = "no zone data for Europe/Berlin (package tzdata)";
}

BerlinTime::~BerlinTime() {
    if (hadSaved_)
        ::setenv("TZ", saved_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

GermanDates::GermanDates() {
    saved_ = std::setlocale(LC_TIME, nullptr);
    if (!std::setlocale(LC_TIME, "de_DE.UTF-8"))
        missing_ = "locale de_DE.UTF-8 missing (scripts/setup.sh test generates it)";
}

GermanDates::~GermanDates() {
    std::setlocale(LC_TIME, saved_.c_str());
}

std::string GermanDates::shortDate(const std::string& ddmmyyyy) const {
    return ddmmyyyy;
}

#endif

} // namespace scratch
