// The pictures of the main window's logo and of the info dialog, drawn in code.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace Artwork {

/// A portrait 660 x 856 picture of the magazine logo "Quarn".
QPixmap logoPicture();
/// The 32 x 32 two-colour pointer over the logo: a computer mouse.
QCursor logoCursor();
/// The tall 157 x 552 circuit-board picture of the info dialog, in orange tones.
QPixmap circuitPicture();
/// The info dialog's icon.
QIcon infoDialogIcon();

} // namespace Artwork
