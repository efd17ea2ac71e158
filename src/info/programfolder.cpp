#include "info/programfolder.h"

#include "platform/fileservices.h"

namespace info {

std::string WithTrailingBackslash(const std::string& path) {
    const std::string separator = platform::separator();
    if (path.ends_with(separator))
        return path;
    return path + separator;
}

std::string ProgramFolder() {
    return WithTrailingBackslash(platform::displayText(platform::executableFolder()));
}

} // namespace info
