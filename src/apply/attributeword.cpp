#include "apply/attributeword.h"

#include "platform/fileservices.h"

namespace apply {

namespace {

constexpr std::array<std::uint32_t, 4> BoxBits{platform::attr::ReadOnly, platform::attr::Archive,
                                               platform::attr::System, platform::attr::Hidden};

constexpr std::uint32_t NotWritten = platform::attr::Directory | platform::attr::Compressed;
using platform::attr::Classic;

// The letters of the classic bits of \p word, as the list shows them.
std::string letters(std::uint32_t word) {
    std::string text;
    const char* const names[] = {"R", "A", "S", "H"};
    for (std::size_t k = 0; k < BoxBits.size(); ++k)
        if (word & BoxBits[k])
            text += (text.empty() ? "" : ", ") + std::string(names[k]);
    return text.empty() ? "keines" : text;
}

} // namespace

std::uint32_t NewAttributeWord(std::uint32_t old, const BoxValues& boxes) {
    std::uint32_t word = old;
    for (std::size_t k = 0; k < BoxBits.size(); ++k) {
        if (boxes[k] != Tri::Grayed) {
            word &= ~BoxBits[k];
            if (boxes[k] == Tri::Checked)
                word |= BoxBits[k];
        }
    }
    return word & ~NotWritten;
}

bool ApplyRow(const std::filesystem::path& path, const BoxValues& boxes,
              const platform::LocalTime* moment, const std::function<void()>& announce,
              RowFailure& failure, platform::EntryState* was,
              std::optional<platform::EntryState>* after) {
    failure = {};
    platform::PinnedEntry entry(path);
    platform::EntryState before;
    if ((failure.ec = entry.query(before)))
        return false;
    if (was)
        *was = before;
    announce();
    const bool touch = moment && !(before.attributes & platform::attr::Directory);
    std::error_code timeError;
    if (touch)
        timeError = entry.setLastWriteTime(*moment, &failure.keptTime);
    const std::uint32_t word = NewAttributeWord(before.attributes, boxes);
    if (auto ec = entry.writeAttributes(word)) {
        failure.ec = ec;
        failure.changing = (word ^ before.attributes) & Classic;
        failure.step = Step::Attributes;
        failure.timeSet = touch && !timeError;
        platform::EntryState now;
        if (entry.query(now))
            failure.attributesNow.emplace(); // cannot be read
        else if ((now.attributes & Classic) != (before.attributes & Classic))
            failure.attributesNow.emplace(now.attributes);
        return false;
    }
    if (timeError) {
        failure.ec = timeError;
        failure.step = Step::Time;
        return false;
    }
    if (platform::EntryState now; after && entry.lastKnown(now))
        *after = now;
    return true;
}

std::string ReasonLine(const RowFailure& failure) {
    std::string line;
    if (failure.step == Step::Time)
        line = "Datum und Zeit nicht gesetzt: ";
    else if (failure.timeSet) // the user may not expect a changed file
        line = "Datum und Zeit wurden gesetzt, die Attribute nicht: ";
    line += platform::reasonText(failure.ec);
    // The write was put back: the letters it was to change are the ones at stake.
    if (failure.ec == platform::Refusal::NotKept && failure.changing)
        line += (failure.changing & (failure.changing - 1) ? ": eines oder mehrere von " : ": ") +
                letters(failure.changing);
    if (failure.ec == platform::Refusal::TimeNotKept)
        line += " (es hätte " + platform::formatLastWrite(failure.keptTime) +
                " daraus gemacht; die Datei behält ihre Zeit)";
    if (failure.attributesNow) {
        line += *failure.attributesNow
                    ? "; die Attribute sind nicht mehr wie vorher, gesetzt sind jetzt: " +
                          letters(**failure.attributesNow)
                    : "; ob die Attribute noch wie vorher sind, lässt sich nicht lesen";
    }
    return line + " (Code " + std::to_string(platform::reasonCode(failure.ec)) + ")";
}

} // namespace apply
