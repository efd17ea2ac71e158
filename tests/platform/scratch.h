// What the file-service tests share: a fresh folder per test, and the few facts the tests read
// straight from the system to check the layer against it. The only place in the tests that
// asks which system it runs on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace scratch {

namespace fs = std::filesystem;

#ifdef _WIN32
inline constexpr bool OnWindows = true;
#else
inline constexpr bool OnWindows = false;
#endif

/// A folder of its own under the temporary folder, removed with everything in it.
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

/// A file's times as the system stores them, in its own units (ns on Linux, 100 ns on Windows).
struct RawTimes {
    std::int64_t write = 0;
    std::int64_t access = 0;
    std::int64_t creation = 0; ///< Windows only
    std::int64_t unitsPerSecond = 1;
};
RawTimes rawTimes(const fs::path& p);
/// Gives the file access (and on Windows creation) times with a sub-second part.
void setOtherTimes(const fs::path& p);

/// A symbolic link to \p target; false where the system will not make one for us.
bool makeLink(const fs::path& link, const fs::path& target);

/// Whether the Windows build runs under Wine (which reports A for every file).
bool underWine();

/// Pins the local time zone to Europe/Berlin for the test, or says why it cannot.
class BerlinTime {
public:
    BerlinTime();
    ~BerlinTime();
    BerlinTime(const BerlinTime&) = delete;
    BerlinTime& operator=(const BerlinTime&) = delete;
    /// Empty when pinned; otherwise the reason to skip.
    const std::string& missing() const { return missing_; }

private:
    std::string missing_;
    std::string saved_;
    bool hadSaved_ = false;
};

/// Pins German date formats, or says why it cannot.
class GermanDates {
public:
    GermanDates();
    ~GermanDates();
    GermanDates(const GermanDates&) = delete;
    GermanDates& operator=(const GermanDates&) = delete;
    const std::string& missing() const { return missing_; }
    /// A "dd.mm.yyyy" date as the system's short German form writes it (Wine's drops the
    /// leading zeros).
    std::string shortDate(const std::string& ddmmyyyy) const;

private:
    std::string missing_;
    std::string saved_;
};

} // namespace scratch

#define SKIP_UNLESS_PINNED(pin)                                                                    \
    do {                                                                                           \
        if (!(pin).missing().empty()) {                                                            \
            GTEST_SKIP() << (pin).missing();                                                       \
        }                                                                                          \
    } while (0)
