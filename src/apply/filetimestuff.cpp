#include "apply/filetimestuff.h"

#include "apply/module1.h"
#include "platform/fileservices.h"

namespace FileTimeStuff {

platform::LocalTime TouchMoment() {
    using namespace Module1;
    return {TouchTime[Hour], TouchTime[Minute], TouchTime[Second],
            TouchTime[Day],  TouchTime[Month],  TouchTime[Year]};
}

std::error_code SetLastWriteTime(const std::filesystem::path& path) {
    return platform::setLastWriteTime(path, TouchMoment());
}

} // namespace FileTimeStuff
