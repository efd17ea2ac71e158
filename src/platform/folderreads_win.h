// How queryEntries reads the rows of one folder on Windows. Internal to src/platform and its
// tests, which read the same rows every way and compare.
#pragma once

#include "platform/fileservices.h"

namespace platform {

enum class FolderRead {
    Alone,  ///< one row after the other
    Pooled, ///< many rows in flight at once
    Listed, ///< from one listing of the folder; the rows it does not answer are read pooled
};

/// queryEntries with the rows of every folder read as \p how says.
void queryEntriesAs(
    FolderRead how, std::size_t count,
    const std::function<fs::path::string_type(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result);

} // namespace platform
