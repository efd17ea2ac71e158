// What the file-service tests share: fresh folders, the system's own facts, which system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace scratch {

namespace fs = std::filesystem;

#ifdef _WIN32
inline constexpr bool OnWindows = true;
#else
inline constexpr bool OnWindows = false;
#endif

/// A fresh temporary folder, removed with all in it; paths come back in the system's own form.
class Folder {
public:
    Folder();
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path file(const fs::path& name, const std::string& contents = "Inhalt") const;
    fs::path folder(const fs::path& name) const;

private:
    fs::path path_;
};

/// A file's times in the system's own units; creation on Windows only.
struct RawTimes {
    std::int64_t write = 0, access = 0, creation = 0, unitsPerSecond = 1;
};
RawTimes rawTimes(const fs::path& p);
/// A symbolic link to \p target; false where the system will not make one for us.
bool makeLink(const fs::path& link, const fs::path& target);
/// Whether the Windows build runs under Wine (which reports A for every file).
bool underWine();
/// The attribute word as readAttributes() gives it, checked against queryEntry().
std::uint32_t wordOf(const fs::path& p);
/// The last-write time as queryEntry() gives it.
std::int64_t lastWriteOf(const fs::path& p);

/// Pin zone or German dates for the process as ctest does (Windows only checks); empty, or why not.
std::string pinZone(const std::string& zone);
std::string pinBerlin();
std::string pinGermanDates();

#ifndef _WIN32
/// Runs \p body in a forked child as \p user, and gives what it returns; 1 if a check failed
/// there (the child prints the failure), 128 + the signal that ended it.
int inChild(unsigned user, const std::function<int()>& body);
/// \p body in a child with a mount namespace of its own and \p type mounted on \p mnt, so that
/// nothing outlives the test; 77 where that cannot be done here.
int withMount(const fs::path& mnt, const char* type, const std::function<int()>& body);
#endif

} // namespace scratch

#define SKIP_UNLESS_PINNED(pin)                                                                    \
    do {                                                                                           \
        if (const std::string why = (pin); !why.empty())                                           \
            GTEST_SKIP() << why;                                                                   \
    } while (0)
