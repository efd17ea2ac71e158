#include "apply/attributeword.h"

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

// The letters of the classic bits of \p word, as the list shows them.
std::string letters(std::uint32_t word) {
    std::string text;
    for (const auto& [bit, letter] : {std::pair{platform::attr::ReadOnly, "R"},
                                      {platform::attr::Archive, "A"},
                                      {platform::attr::System, "S"},
                                      {platform::attr::Hidden, "H"}})
        if (word & bit)
            text += text.empty() ? letter : std::string(", ") + letter;
    return text.empty() ? "keines" : text;
}

bool ApplyRow(const std::filesystem::path& path, const BoxValues& boxes,
              const platform::LocalTime* moment, const std::function<void()>& announce,
              RowFailure& failure) {
    platform::PinnedEntry entry(path);
    platform::EntryState before;
    if (auto ec = entry.query(before)) {
        fail(failure, ec);
        return false;
    }
    announce();
    const bool touch = moment && !(before.attributes & platform::attr::Directory);
    std::error_code timeError;
    std::int64_t kept = 0;
    if (touch)
        timeError = entry.setLastWriteTime(*moment, &kept);
    if (auto ec = entry.writeAttributes(NewAttributeWord(before.attributes, boxes))) {
        // The time stays set: say so, the user may not expect a changed file.
        fail(failure, ec,
             touch && !timeError ? "Datum und Zeit wurden gesetzt, die Attribute nicht: "
                                 : nullptr);
        constexpr std::uint32_t Classic = platform::attr::ReadOnly | platform::attr::Archive |
                                          platform::attr::System | platform::attr::Hidden;
        platform::EntryState now;
        if (entry.query(now))
            failure.reason += "; ob die Attribute noch wie vorher sind, lässt sich nicht lesen";
        else if ((now.attributes & Classic) != (before.attributes & Classic))
            failure.reason += "; die Attribute sind nicht mehr wie vorher, gesetzt sind jetzt: " +
                              letters(now.attributes);
        return false;
    }
    if (timeError) {
        fail(failure, timeError, "Datum und Zeit nicht gesetzt: ");
        if (timeError == platform::refusal(platform::Refusal::TimeNotKept))
            failure.reason += " (es hätte " + platform::formatLastWrite(kept) +
                              " daraus gemacht; die Datei behält ihre Zeit)";
        return false;
    }
    return true;
}

std::string ReasonLine(const RowFailure& failure) {
    return failure.reason + " (Code " + std::to_string(platform::reasonCode(failure.ec)) + ")";
}

} // namespace apply
