// The info dialog's and the main window's pictures, drawn in code.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace Artwork {

/// The magazine's logo for the main window: "Quarn" on a portrait picture, 660 x 856 pixels.
QPixmap logoPicture();

/// The pointer over the logo: a computer mouse in black and white, 32 x 32, its hot spot at
/// the end of the cable (top left).
QCursor logoCursor();

/// The info dialog's tall decorative picture: a circuit board in orange tones, 157 x 552.
QPixmap circuitPicture();

/// The info dialog's window icon: a round blue badge with an "i", at 16, 32 and 48 pixels.
QIcon infoDialogIcon();

} // namespace Artwork
