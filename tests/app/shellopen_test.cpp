// What the desktop's opener is handed for each kind of target.
#include "app/shellopen.h"

#include "platform/scratch.h"

namespace {

using shell::TargetUrl;
using Cases = std::initializer_list<std::pair<std::string, std::string>>;

TEST(TargetUrl, HostsGetHttpsSchemesStayAndFilePathsKeepEveryByte) {
    const Cases common = {
        {"mailto:a@example.org?subject=Dateimark%202.5",
         "mailto:a@example.org?subject=Dateimark%202.5"},
        {"http://quarn.example.net/", "http://quarn.example.net/"},
        {"file:///tmp/a%20b.htm", "file:///tmp/a%20b.htm"},
        {"www.quarn.example.net/quarn/", "https://www.quarn.example.net/quarn/"},
        {"brenner.example.org", "https://brenner.example.org"},
        {"brenner.example.org:8080/new.htm", "https://brenner.example.org:8080/new.htm"}};
    const Cases windows = {
        {"C:\\Tools\\dateimark.htm", "file:///C:/Tools/dateimark.htm"},
        {"C:\\Pro gramme\\Größe #1%.htm", "file:///C:/Pro%20gramme/Gr%C3%B6%C3%9Fe%20%231%25.htm"},
        {"\\\\server\\freigabe\\hilfe.htm", "file://server/freigabe/hilfe.htm"}};
    const Cases posix = {
        {"/dateimark.htm", "file:///dateimark.htm"},
        {"/tmp/Größe #1?%\\x.htm", "file:///tmp/Gr%C3%B6%C3%9Fe%20%231%3F%25%5Cx.htm"},
        {"/tmp/caf\xe9.htm", "file:///tmp/caf%E9.htm"}}; // \xe9 is not UTF-8
    for (const Cases& cases : {common, scratch::OnWindows ? windows : posix})
        for (const auto& [target, expected] : cases)
            EXPECT_EQ(TargetUrl(target), expected) << target;
    // Relative paths are taken from the current folder: "hilfe" has no dot, so is no host.
    const std::u8string current = std::filesystem::current_path().generic_u8string();
    EXPECT_EQ(TargetUrl("hilfe/seite.htm"),
              TargetUrl(std::string(current.begin(), current.end()) + "/hilfe/seite.htm"));
}

} // namespace
