// The images of the file list and the window icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ListIcons {

/// An open yellow folder with a sheet of paper in front, at 32x32 and 16x16.
QIcon windowIcon();
/// The list's image 1: a yellow folder, 16x16, transparent around it.
QPixmap folderImage();
/// The list's image 2: a sheet of text, 16x16, transparent around it.
QPixmap sheetImage();

/// The window icon's drawing at \p size x \p size pixels, for the desktop's icon theme.
QImage windowIconImage(int size);

} // namespace ListIcons
