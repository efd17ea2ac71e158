// Build tool: writes the window icon at the sizes the desktop's icon theme asks for, as
// <folder>/<size>x<size>/apps/dateimark.png.
#include "app/qt/listicons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <size>...\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (size <= 0 || !QDir().mkpath(folder) ||
            !ListIcons::windowIconImage(size).save(folder + QStringLiteral("/dateimark.png"))) {
            std::fprintf(stderr, "%s: cannot write the %s pixel icon\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
