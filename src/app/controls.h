// The window's controls as data: every control's name, index, kind, container, caption,
// geometry in twips, tab position and design properties, and the list's columns. Every toolkit
// that builds the window reads this table; so do the tests.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace app {

enum class Kind {
    Frame,   ///< a group box with a caption
    Divider, ///< a caption-less frame drawn as a vertical line
    List,    ///< the report-view list `Liste`
    Button,
    CheckBox,    ///< two states
    TriStateBox, ///< checked, unchecked or grayed
    TextBox,     ///< one line, centred
    Label,       ///< right-aligned text
    ProgressBar,
    Picture,   ///< the logo, with its own mouse cursor
    StatusBar, ///< two text panels
};

struct ControlSpec {
    std::string_view name;
    int index; ///< member of a control array, or -1
    Kind kind;
    std::string_view container; ///< a frame's name, or empty for the window
    std::string_view caption;   ///< "&" marks the access key
    int left, top, width, height;
    int tab = -1; ///< position in the keyboard tab order; -1 takes no focus
    bool bold = false;
    int maxLength = 0; ///< text boxes; 0: no limit
    /// A caption wider than the control in the toolkit's font may grow up to this edge (twips,
    /// in the container) rather than be cut off; 0: the control keeps its width.
    int roomTo = 0;
    std::string_view accessibleName = {}; ///< where the caption does not say it
};

/// The client area of the window, in twips.
inline constexpr int WindowWidth = 9375;
inline constexpr int WindowHeight = 6105;

/// Every control, containers before what they contain, in the order of the window's design.
std::span<const ControlSpec> Controls();

/// The control \p name (with \p index for a member of a control array). Must exist.
const ControlSpec& Control(std::string_view name, int index = -1);

struct ColumnSpec {
    std::string_view header;
    int width; ///< twips
    bool centred;
};

/// The list's columns, left to right.
std::span<const ColumnSpec> Columns();

/// The width of status panel 1 (twips): the statistics line of a million rows fits.
inline constexpr int StatisticsPanelWidth = 3900;

/// A caption without its access-key marks, as a screen reader says it.
std::string PlainCaption(std::string_view caption);

} // namespace app
