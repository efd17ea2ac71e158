// Where the info dialog's parts sit, in twips (1/1440 inch), without a toolkit: both window
// kits lay the dialog out from this one table and scale it to their screen.
#pragma once

#include <array>

namespace InfoLayout {

struct Box {
    int left, top, width, height;
};

struct ButtonDesign {
    Box box;
    const char* caption; ///< UTF-8; "&" marks the access key
};

/// The client area.
inline constexpr int Width = 9390;
inline constexpr int Height = 6405;

/// The picture down the left side, framed.
Box Picture();
/// The info text to its right.
Box Text();
/// The line between the text and the buttons.
Box Line();
/// Btn 0 to 3, left to right along the bottom edge: three links and the close button. The tab
/// order follows the index; the link captions wrap onto up to three lines.
const std::array<ButtonDesign, 4>& Buttons();

} // namespace InfoLayout
