// Folder trees of the size users drop on the list, made on disk for the benchmarks. Qt-free.
#pragma once

#include <cstddef>
#include <filesystem>
#include <system_error>

namespace bench {

/// Makes \p folders folders and \p files empty files below \p root, which is created when
/// missing. The folders form a balanced tree at most \p depth levels deep (all on the first
/// level for a depth of 1; none for a depth below 1, which puts every file into \p root). The
/// levels fill from the top, so only a tree with enough folders reaches the full depth (5,000
/// folders at depth 4 do). The files are spread evenly over the folders. Names depend only on
/// the numbers given, so the same call makes the same tree, and running it again over an
/// existing tree leaves it as it is. About one folder in 200 and one file in 1000 has a name
/// that begins with a dot, like the hidden entries of real trees.
/// @returns the error of the first file or folder that could not be made.
/// @note Uses POSIX calls; the benchmarks are built for Linux only.
[[nodiscard]] std::error_code makeTree(const std::filesystem::path& root, std::size_t files,
                                       std::size_t folders, int depth);

/// Removes \p root and everything below it; a missing \p root is no error.
std::error_code removeTree(const std::filesystem::path& root);

} // namespace bench
