// What the desktop's opener is handed for each kind of target.
#include "info/aap.h"

#include "info/maker.h"
#include "platform/scratch.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using AAP::TargetUrl;
using scratch::OnWindows;

TEST(TargetUrl, AddressesWithoutASchemeBecomeHttps) {
    EXPECT_EQ(TargetUrl("www.quarn.example.net/quarn/"), "https://www.quarn.example.net/quarn/");
    EXPECT_EQ(TargetUrl("quarn.example.net/quarn/"), "https://quarn.example.net/quarn/");
    EXPECT_EQ(TargetUrl("brenner.example.org"), "https://brenner.example.org");
    EXPECT_EQ(TargetUrl("brenner.example.org:8080/new.htm"),
              "https://brenner.example.org:8080/new.htm");
    EXPECT_EQ(TargetUrl(std::string(maker::MagazineTarget)),
              "https://" + std::string(maker::MagazineTarget));
}

TEST(TargetUrl, TargetsWithASchemeStayAsTheyAre) {
    for (const std::string target :
         {"mailto:tilman@brenner.example.org", "https://brenner.example.org/register",
          "http://www.quarn.example.net/quarn/", "file:///tmp/a%20b.htm",
          "mailto:a@example.org?subject=Dateimark%202.5"}) {
        EXPECT_EQ(TargetUrl(target), target);
    }
}

TEST(TargetUrl, AbsolutePathsBecomeFileUrlsWithTheirBytesEncoded) {
    if (OnWindows) {
        EXPECT_EQ(TargetUrl("C:\\Tools\\dateimark.htm"), "file:///C:/Tools/dateimark.htm");
        EXPECT_EQ(TargetUrl("C:\\dateimark.htm"), "file:///C:/dateimark.htm");
        EXPECT_EQ(TargetUrl("C:\\Pro gramme\\Größe #1%.htm"),
                  "file:///C:/Pro%20gramme/Gr%C3%B6%C3%9Fe%20%231%25.htm");
        EXPECT_EQ(TargetUrl("\\\\server\\freigabe\\hilfe.htm"), "file://server/freigabe/hilfe.htm");
    } else {
        EXPECT_EQ(TargetUrl("/opt/dateimark/dateimark.htm"), "file:///opt/dateimark/dateimark.htm");
        EXPECT_EQ(TargetUrl("/dateimark.htm"), "file:///dateimark.htm");
        // Reserved characters, UTF-8 and a byte that is not UTF-8 at all: every byte arrives.
        EXPECT_EQ(TargetUrl("/tmp/Größe #1?%\\x.htm"),
                  "file:///tmp/Gr%C3%B6%C3%9Fe%20%231%3F%25%5Cx.htm");
        EXPECT_EQ(TargetUrl("/tmp/caf\xe9.htm"), "file:///tmp/caf%E9.htm");
    }
}

TEST(TargetUrl, RelativePathsAreTakenFromTheCurrentFolder) {
    // A first segment without a dot is not a host name.
    const std::u8string current = fs::current_path().generic_u8string();
    const std::string absolute = std::string(current.begin(), current.end()) + "/hilfe/seite.htm";
    EXPECT_EQ(TargetUrl("hilfe/seite.htm"), TargetUrl(absolute));
    EXPECT_TRUE(TargetUrl("hilfe/seite.htm").starts_with("file:///"));
}

} // namespace
