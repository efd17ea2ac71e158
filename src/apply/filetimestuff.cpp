#include "apply/filetimestuff.h"

#include "apply/module1.h"
#include "platform/fileservices.h"

namespace FileTimeStuff {

std::error_code SetLastWriteTime(const std::filesystem::path& path) {
    using namespace Module1;
    const platform::LocalTime moment{TouchTime[Hour], TouchTime[Minute], TouchTime[Second],
                                     TouchTime[Day],  TouchTime[Month],  TouchTime[Year]};
    return platform::setLastWriteTime(path, moment);
}

} // namespace FileTimeStuff
