// A password in memory: wiped where it came from, and on pages a core dump leaves out.
#include "share/secret.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace {

// The VmFlags of the mapping that holds \p p, from the kernel's own account of this process.
std::string flagsOf(const void* p) {
    std::ifstream maps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    bool inside = false;
    for (std::string line; std::getline(maps, line);) {
        std::uintptr_t from = 0, to = 0;
        char dash = 0;
        if (std::istringstream(line) >> std::hex >> from >> dash >> to && dash == '-')
            inside = from <= at && at < to;
        else if (inside && line.starts_with("VmFlags:"))
            return line;
    }
    return {};
}

TEST(ShareSecret, APasswordIsWipedWhereItCameFromAndKeptOutOfCoreDumps) {
    std::string typed = "Geheimnis-123";
    share::Secret secret(std::move(typed));
    EXPECT_TRUE(typed.empty());
    EXPECT_EQ(secret.view(), "Geheimnis-123");
    EXPECT_NE(flagsOf(secret.view().data()).find(" dd"), std::string::npos)
        << flagsOf(secret.view().data());
    share::Secret moved = std::move(secret);
    EXPECT_TRUE(secret.empty());
    moved.clear();
    EXPECT_TRUE(moved.empty());
}

} // namespace
