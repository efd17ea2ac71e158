// The work of the apply run on one entry, without Qt: the new attribute word from the four
// three-state boxes, and the writes for one marked row.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

#include "platform/fileservices.h"

namespace apply {

/// The value of a check box; Grayed ("leave as each entry has it") for the attribute boxes only.
enum class Tri : std::uint8_t { Unchecked = 0, Checked = 1, Grayed = 2 };

/// The values of the boxes R, A, S, H (AttribChk 1 to 4), in this order.
using BoxValues = std::array<Tri, 4>;

/// The word the boxes make of \p old: each box not grayed clears its bit, a checked one sets it
/// again; a grayed box leaves the bit as the entry has it. Directory and compressed bits are
/// removed, every other bit is carried through.
std::uint32_t NewAttributeWord(std::uint32_t old, const BoxValues& boxes);

/// The step of a row that failed.
enum class Step { Read, Time, Attributes };

/// What went wrong with a row, for the question box.
struct RowFailure {
    std::error_code ec;
    Step step = Step::Read;
    bool timeSet = false;       ///< the new time stands although the attributes failed
    std::int64_t keptTime = 0;  ///< TimeNotKept: the moment the file system would have made
    std::uint32_t changing = 0; ///< Step::Attributes: the classic bits the write was to change
    /// Where the attributes could not be put back as they were: what the entry has now (none
    /// when it could not be read).
    std::optional<std::optional<std::uint32_t>> attributesNow;
};

/// Applies the boxes to one entry and, with a \p moment, gives a file that last-write time
/// (folders keep their time). Every step goes to the one entry opened at the start, whatever
/// happens to its name meanwhile: the word is read, \p announce runs, the time is set, the word
/// is written once. So an interruption at any moment leaves the entry's attributes as they were
/// or as they were meant to be. A time that cannot be set is reported after the attributes were
/// written; where the attributes cannot be written, the reason says whether the time was set
/// and, when the entry could not be put back as it was, which attributes it has now.
/// \p before, where given, gets the word and time the entry had; \p after, where given and
/// known without asking again, what the writes read back.
/// @return true when everything was done; otherwise \p failure says why.
bool ApplyRow(const std::filesystem::path& path, const BoxValues& boxes,
              const platform::LocalTime* moment, const std::function<void()>& announce,
              RowFailure& failure, platform::EntryState* before = nullptr,
              std::optional<platform::EntryState>* after = nullptr);

/// The reason line of the question box, the one place where a row's failure is put into words:
/// the step where that helps, the reason text, " (Code ", the number, ")", and what the entry
/// holds now where that is not what it held.
std::string ReasonLine(const RowFailure& failure);

} // namespace apply
