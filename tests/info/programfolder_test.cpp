// The program folder and the separator rule the help command builds its path with.
#include "info/programfolder.h"

#include "platform/scratch.h"

namespace {

using scratch::OnWindows;

TEST(ProgramFolder, HoldsThisProgramAndEndsInThePlatformsSeparatorOnce) {
    const std::string sep = OnWindows ? "\\" : "/", folder = OnWindows ? "C:\\Tools" : "/opt/tools";
    const std::pair<std::string, std::string> cases[] = {
        {folder, folder + sep},
        {folder + sep, folder + sep},
        {"", sep},
        // Only the platform's own separator counts: on Linux a backslash is part of a name.
        {OnWindows ? "C:/Tools/" : "/tmp/a\\", OnWindows ? "C:/Tools/\\" : "/tmp/a\\/"}};
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(info::WithTrailingBackslash(path), expected) << path;

    const std::string program = info::ProgramFolder();
    EXPECT_FALSE(program.ends_with(sep + sep)) << program;
    const std::string exe = program + (OnWindows ? "core_tests.exe" : "core_tests");
    EXPECT_TRUE(std::filesystem::exists(std::u8string(exe.begin(), exe.end()))) << program;
}

} // namespace
