// The calls slowfs held since MOUNTPOINT/.calls was last opened, by kind ("most": the most held
// at once): read by the Linux tests and benchmarks, and under Wine through the mount's drive.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace scratch {

inline std::map<std::string, long> slowfsCalls(const std::filesystem::path& mountpoint) {
    std::ifstream in(mountpoint / ".calls");
    std::map<std::string, long> counts;
    std::string name;
    long n = 0;
    while (in >> name >> n)
        counts[name] = n;
    return counts;
}

} // namespace scratch
