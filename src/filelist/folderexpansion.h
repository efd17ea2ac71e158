// Expands a dropped folder into every file and subfolder below it. Qt-free.
#pragma once

#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

namespace expansion {

using PathString = std::filesystem::path::string_type;

/// What an expansion found, each list in the order found.
struct Found {
    std::vector<PathString> files;
    std::vector<PathString> folders;
};

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
/// completely before the next; gives the files and the subfolders found.
/// Entries whose names begin with "." are left out; symbolic links, and folders where one of
/// the kernel's virtual file systems is mounted, are neither entered nor listed; device nodes,
/// FIFOs and sockets are skipped. A subfolder is entered only if it is still the folder listed
/// and no part of its path has become a link.
Found CollectFolder(const PathString& folder, const CollectHooks& hooks = {});

/// Whether a dropped name can be processed. On Windows a "?" stands where the shell could not
/// give a character of the name, and such a name cannot be opened; on Linux "?" is an
/// ordinary character.
bool NameIsUsable(const PathString& name);

/// Whether a dropped folder gets a row of its own beside its contents: every folder does but a
/// root, a drive's ("C:\\") on Windows and "/" on Linux, whose attributes are no user's to set.
bool DroppedFolderGetsOwnRow(const PathString& folder);

/// The folder path as the listing's base: with one separator at its end.
PathString WithSeparator(const PathString& folder);

} // namespace expansion
