// FileTimeStuff: the writer of a file's last-write time, for the apply run.
#pragma once

#include "platform/fileservices.h"

#include <filesystem>
#include <system_error>

namespace FileTimeStuff {

/// The moment in Module1::TouchTime.
platform::LocalTime TouchMoment();

/// Gives the file \p path the local moment in Module1::TouchTime as its last-write time,
/// converted with the time-zone offset in force at that date; its other times stay. Returns the
/// failure (a file that cannot be opened, a date that does not exist) instead of hiding it.
std::error_code SetLastWriteTime(const std::filesystem::path& path);

} // namespace FileTimeStuff
