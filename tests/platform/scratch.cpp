#include "platform/scratch.h"
#include "platform/fileservices.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace scratch {

Folder::Folder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    do
        path_ = fs::temp_directory_path() / ("dm-test-" + stamp + "-" + std::to_string(counter++));
    while (!fs::create_directory(path_));
}

Folder::~Folder() {
    // Removal needs write bits (Linux) and no R attribute (Windows).
    const auto makeRemovable = [](const fs::path& p) {
        std::error_code ec;
        fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
#ifdef _WIN32
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    };
    std::error_code ec;
    makeRemovable(path_);
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_symlink())
            makeRemovable(it->path());
    fs::remove_all(path_, ec);
}

fs::path Folder::file(const fs::path& name, const std::string& contents) const {
    const fs::path p = (path_ / name).make_preferred();
    std::ofstream(p, std::ios::binary) << contents;
    return p;
}

fs::path Folder::folder(const fs::path& name) const {
    const fs::path p = (path_ / name).make_preferred();
    fs::create_directories(p);
    return p;
}

std::uint32_t wordOf(const fs::path& p) {
    std::uint32_t word = 0xdeadbeef;
    platform::EntryState state;
    EXPECT_FALSE(platform::readAttributes(p, word)) << p;
    EXPECT_FALSE(platform::queryEntry(p, state)) << p;
    EXPECT_EQ(state.attributes, word) << p;
    return word;
}

std::int64_t lastWriteOf(const fs::path& p) {
    platform::EntryState state;
    EXPECT_FALSE(platform::queryEntry(p, state)) << p;
    return state.lastWrite;
}

std::string pinBerlin() {
    return pinZone("Europe/Berlin");
}

#ifdef _WIN32

RawTimes rawTimes(const fs::path& p) {
    const HANDLE h =
        CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    FILETIME t[3] = {};
    if (h != INVALID_HANDLE_VALUE) {
        GetFileTime(h, &t[0], &t[1], &t[2]);
        CloseHandle(h);
    }
    const auto raw = [](const FILETIME& f) {
        return static_cast<std::int64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
    };
    return {raw(t[2]), raw(t[1]), raw(t[0]), 10'000'000};
}

bool makeLink(const fs::path& link, const fs::path& target) {
    // Wine says yes and makes nothing; only a reparse point in the place counts.
    CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD a = GetFileAttributesW(link.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine takes its zone and locale from TZ and LC_ALL when it starts (tests/run-wine.sh sets
// them), Windows from the machine: both can only be checked.
std::string pinZone(const std::string& zone) {
    TIME_ZONE_INFORMATION tz;
    if (zone != "Europe/Berlin")
        return "a Windows process keeps the system's zone";
    return GetTimeZoneInformation(&tz) != TIME_ZONE_ID_INVALID && tz.Bias == -60 &&
                   tz.DaylightBias == -60
               ? ""
               : "the time zone is not Central European; run with TZ=Europe/Berlin";
}

std::string pinGermanDates() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    return std::wstring(name) == L"de-DE"
               ? ""
               : "the user locale is not de-DE; run with LC_ALL=de_DE.UTF-8";
}

#else

RawTimes rawTimes(const fs::path& p) {
    constexpr std::int64_t Ns = 1'000'000'000;
    struct stat st {};
    ::stat(p.c_str(), &st);
    return {st.st_mtim.tv_sec * Ns + st.st_mtim.tv_nsec,
            st.st_atim.tv_sec * Ns + st.st_atim.tv_nsec, 0, Ns};
}

bool makeLink(const fs::path& link, const fs::path& target) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
}

bool underWine() {
    return false;
}

std::string pinZone(const std::string& zone) {
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
    return fs::exists("/usr/share/zoneinfo/" + zone) ? "" : "no zone data (package tzdata)";
}

std::string pinGermanDates() {
    return std::setlocale(LC_TIME, "de_DE.UTF-8")
               ? ""
               : "locale de_DE.UTF-8 missing (scripts/setup.sh test makes it)";
}

int inChild(unsigned user, const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (user != ::geteuid() && (::setresgid(user, user, user) || ::setresuid(user, user, user)))
            ::_exit(99);
        const int status = body();
        std::fflush(nullptr);
        ::_exit(testing::Test::HasFailure() ? 1 : status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int withMount(const fs::path& mnt, const char* type, const std::function<int()>& body) {
    return inChild(::geteuid(), [&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(type, mnt.c_str(), type, 0, nullptr) != 0)
            return 77;
        return body();
    });
}

#endif

} // namespace scratch
