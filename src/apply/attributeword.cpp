#include "apply/attributeword.h"

#include "apply/filetimestuff.h"
#include "platform/fileservices.h"

namespace apply {

namespace {

constexpr std::array<std::uint32_t, 4> BoxBits{platform::attr::ReadOnly, platform::attr::Archive,
                                               platform::attr::System, platform::attr::Hidden};

constexpr std::uint32_t NotWritten = platform::attr::Directory | platform::attr::Compressed;

void fail(RowFailure& failure, std::error_code ec, const char* step = nullptr) {
    failure.ec = ec;
    failure.reason = platform::reasonText(ec);
    if (step)
        failure.reason = std::string(step) + failure.reason;
}

} // namespace

std::uint32_t NewAttributeWord(std::uint32_t old, const BoxValues& boxes) {
    std::uint32_t word = old;
    for (std::size_t k = 0; k < BoxBits.size(); ++k) {
        if (boxes[k] != Grayed) {
            word &= ~BoxBits[k];
            if (boxes[k] == Checked)
                word |= BoxBits[k];
        }
    }
    return word & ~NotWritten;
}

bool ApplyRow(const std::filesystem::path& path, const BoxValues& boxes, bool touching,
              const std::function<void()>& announce, RowFailure& failure) {
    std::uint32_t word = 0;
    if (auto ec = platform::readAttributes(path, word)) {
        fail(failure, ec);
        return false;
    }
    announce();
    const bool touch = touching && !(word & platform::attr::Directory);
    std::error_code timeError;
    if (touch) {
        if (auto ec = platform::writeAttributes(path, 0)) {
            fail(failure, ec);
            return false;
        }
        timeError = FileTimeStuff::SetLastWriteTime(path);
    }
    if (auto ec = platform::writeAttributes(path, NewAttributeWord(word, boxes))) {
        // Never leave a file stripped of its attributes by the clearing for the time stamp.
        if (touch)
            platform::writeAttributes(path, word & ~NotWritten);
        // The time stays set: say so, the user may not expect a changed file.
        fail(failure, ec,
             touch && !timeError ? "Datum und Zeit wurden gesetzt, die Attribute nicht: "
                                 : nullptr);
        return false;
    }
    if (timeError) {
        fail(failure, timeError, "Datum und Zeit nicht gesetzt: ");
        return false;
    }
    return true;
}

std::string ReasonLine(const RowFailure& failure) {
    return failure.reason + " (Code " + std::to_string(platform::reasonCode(failure.ec)) + ")";
}

} // namespace apply
