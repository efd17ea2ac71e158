// AAI: expands a dropped folder into every file and subfolder below it. Qt-free.
#pragma once

#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

namespace AAI {

using PathString = std::filesystem::path::string_type;

/// What the last expansion found. Element 0 is an empty placeholder; entries start at 1.
extern std::vector<PathString> FoundFiles;
extern std::vector<PathString> FoundFolders;

struct CollectHooks {
    /// Called once after each folder has been listed, so that the window stays responsive.
    std::function<void()> yield;
    /// Called for a folder that cannot be listed (or not to its end), an entry whose kind
    /// cannot be read and an entry that is neither file nor folder; the expansion goes on
    /// without it.
    std::function<void(const PathString& path, std::error_code ec)> skipped;
    /// Asked before each folder is listed; true ends the expansion where it is.
    std::function<bool()> stop;
};

/// Lists \p folder completely, then its subfolders depth-first, the last found first, each
/// completely before the next; appends files to FoundFiles and subfolders to FoundFolders.
/// Entries whose names begin with "." are left out; symbolic links, and folders where one of
/// the kernel's virtual file systems is mounted, are neither entered nor listed; device nodes,
/// FIFOs and sockets are skipped. A subfolder is entered only if it is still the folder listed
/// and no part of its path has become a link. With \p reset both lists start again from their
/// placeholder.
void CollectFolder(const PathString& folder, bool reset, const CollectHooks& hooks = {});

/// Whether a dropped name can be processed. On Windows a "?" stands where the shell could not
/// give a character of the name, and such a name cannot be opened; on Linux "?" is an
/// ordinary character.
bool NameIsUsable(const PathString& name);

/// Whether a dropped folder gets a row of its own beside its contents. On Windows a folder
/// given by drive letter ("C:\\…", a drive root included) does not; a network path does. Linux
/// paths have no drive letter: every folder does except the root "/".
bool DroppedFolderGetsOwnRow(const PathString& folder);

/// The folder path as the listing's base: with one separator at its end.
PathString WithSeparator(const PathString& folder);

} // namespace AAI
