// The program's arguments: the names a file manager hands over ("Öffnen mit", a context menu,
// "Senden an") become the names of a drop; --help and --version say what they say.
#pragma once

#include "filelist/urilist.h"

#include <string>
#include <vector>

namespace app {

struct CommandLine {
    enum class Action { Open, Help, Version, Refuse };
    Action action = Action::Open;
    /// As a drop of the same names carries them: local paths made absolute, file:// URIs and
    /// GVFS folder paths of SMB shares read as a drop reads them. A name that does not exist
    /// stays, so that the drop counts it as skipped.
    std::vector<filelist::PathString> names;
    std::vector<std::string> refusedShares; ///< addresses of a share that name no file
    std::string refusedOption;              ///< Refuse: the argument
};

/// Reads the arguments after the program's name. "--" ends the options: later arguments are
/// names even where they begin with "-".
CommandLine ReadCommandLine(const std::vector<filelist::PathString>& args);

/// The German usage text of --help (and of a refused option), lines ending in "\n".
std::string UsageText();

/// What a second start says when the running window took none of its names ("&Start" runs);
/// lines end in "\n".
inline constexpr const char* HandOverRefusedText =
    "Die Namen wurden nicht übernommen: Dateimark setzt gerade Attribute.\n\n"
    "Übergeben Sie sie noch einmal, wenn die Bearbeitung beendet ist.";

} // namespace app
