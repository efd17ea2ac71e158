// The program folder and the separator rule that the help command builds its path with.
#include "info/aam.h"

#include "platform/scratch.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace {

using AAM::WithTrailingBackslash;
using scratch::OnWindows;

const std::string Sep = OnWindows ? "\\" : "/";

TEST(WithTrailingBackslash, AppendsThePlatformsSeparatorOnlyWhenMissing) {
    const std::string folder = OnWindows ? "C:\\Tools" : "/opt/tools";
    EXPECT_EQ(WithTrailingBackslash(folder), folder + Sep);
    EXPECT_EQ(WithTrailingBackslash(folder + Sep), folder + Sep);
    // A root already ends in its separator and keeps a single one.
    EXPECT_EQ(WithTrailingBackslash(OnWindows ? "C:\\" : "/") + "dateimark.htm",
              OnWindows ? "C:\\dateimark.htm" : "/dateimark.htm");
    EXPECT_EQ(WithTrailingBackslash(""), Sep);
    // Only the platform's own separator counts: on Linux a backslash is part of a name.
    EXPECT_EQ(WithTrailingBackslash(OnWindows ? "C:/Tools/" : "/tmp/a\\"),
              OnWindows ? "C:/Tools/\\" : "/tmp/a\\/");
}

TEST(ProgramFolder, IsTheFolderOfThisTestProgramWithOneSeparator) {
    const std::string folder = AAM::ProgramFolder();
    ASSERT_TRUE(folder.ends_with(Sep)) << folder;
    EXPECT_FALSE(folder.ends_with(Sep + Sep)) << folder;
    const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
    EXPECT_TRUE(path.is_absolute()) << folder;
    EXPECT_TRUE(std::filesystem::exists(path / (OnWindows ? "core_tests.exe" : "core_tests")))
        << folder;
}

} // namespace
