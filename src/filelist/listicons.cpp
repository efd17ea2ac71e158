// Placeholder drawings; the artwork replaces them.
#include "filelist/listicons.h"

namespace ListIcons {

QIcon windowIcon() { return QIcon(folderImage()); }

QPixmap folderImage() {
    QPixmap p(16, 16);
    p.fill(Qt::yellow);
    return p;
}

QPixmap sheetImage() {
    QPixmap p(16, 16);
    p.fill(Qt::white);
    return p;
}

} // namespace ListIcons
