// A file our Linux layer marks hidden and system is hidden and system for Windows programs
// under Wine: the Windows test WineView.* looks at it through GetFileAttributesW.
#include "platform/fileservices.h"

#include "interop/interop.h"

#include <algorithm>

namespace {

namespace fs = std::filesystem;

TEST(Wine, AFileMarkedHereIsHiddenAndSystemForWindows) {
    if (!fs::exists(DATEIMARK_WINDOWS_TESTS))
        GTEST_SKIP() << DATEIMARK_WINDOWS_TESTS << " is not built (target windows_core)";
    if (!interop::have("wine") && !interop::have("wine64"))
        GTEST_SKIP() << "Wine missing";
    scratch::Folder dir;
    const fs::path f = dir.file("markiert.txt");
    ASSERT_FALSE(platform::writeAttributes(f, platform::attr::Hidden | platform::attr::System));

    std::string windowsPath = "Z:" + f.native(); // Wine's drive Z: is the Linux root
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    const auto out =
        interop::run("WINEPREFIX=" + interop::quoted(DATEIMARK_WINEPREFIX) +
                     " DATEIMARK_WINE_VIEW_FILE=" + interop::quoted(windowsPath) + " " +
                     interop::quoted(DATEIMARK_RUN_WINE) + " " +
                     interop::quoted(DATEIMARK_WINDOWS_TESTS) + " --gtest_filter=WineView.*");
    if (out.exitCode == 77)
        GTEST_SKIP() << out.output;
    EXPECT_EQ(out.exitCode, 0) << out.output;
    EXPECT_NE(out.output.find("[  PASSED  ] 1 test"), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find("SKIPPED"), std::string::npos) << out.output;
}

} // namespace
