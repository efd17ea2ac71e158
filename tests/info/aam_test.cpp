// The program folder and the separator rule the help command builds its path with.
#include "info/aam.h"

#include "platform/scratch.h"

#include <filesystem>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

using scratch::OnWindows;

const std::string Sep = OnWindows ? "\\" : "/";

TEST(WithTrailingBackslash, AppendsThePlatformsSeparatorOnlyWhenMissing) {
    const std::string folder = OnWindows ? "C:\\Tools" : "/opt/tools";
    const std::pair<std::string, std::string> cases[] = {
        {folder, folder + Sep},
        {folder + Sep, folder + Sep},
        {"", Sep},
        // Only the platform's own separator counts: on Linux a backslash is part of a name.
        {OnWindows ? "C:/Tools/" : "/tmp/a\\", OnWindows ? "C:/Tools/\\" : "/tmp/a\\/"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(AAM::WithTrailingBackslash(path), expected) << path;
}

TEST(ProgramFolder, HoldsThisProgramAndEndsInOneSeparator) {
    const std::string folder = AAM::ProgramFolder();
    EXPECT_FALSE(folder.ends_with(Sep + Sep)) << folder;
    const std::string exe = folder + (OnWindows ? "core_tests.exe" : "core_tests");
    EXPECT_TRUE(std::filesystem::exists(std::u8string(exe.begin(), exe.end()))) << folder;
}

} // namespace
