// Build tool: writes the pictures of the Windows program from the same drawing code as the Qt
// window, for its resources: the window icon, the list's two images and the info dialog's icon
// (.ico), the logo and the circuit board (.bmp), the logo's mouse cursor (.cur).
#include "app/qt/listicons.h"
#include "app/qt/artwork.h"

#include <QBitmap>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void put16(QByteArray& out, std::uint16_t v) {
    out.append(char(v & 0xff)).append(char(v >> 8));
}
void put32(QByteArray& out, std::uint32_t v) {
    put16(out, std::uint16_t(v & 0xffff));
    put16(out, std::uint16_t(v >> 16));
}

// The header of an icon's or cursor's image: a bitmap of double height (the picture, then the
// AND mask) with \p bits per pixel.
void putImageHeader(QByteArray& out, int w, int h, std::uint16_t bits) {
    put32(out, 40);
    put32(out, std::uint32_t(w));
    put32(out, std::uint32_t(2 * h));
    put16(out, 1);
    put16(out, bits);
    for (int i = 0; i < 6; ++i)
        put32(out, 0);
}

// One image of an icon in the classic form every Windows reads: a 32-bit bottom-up bitmap of
// double height, then the 1-bit AND mask.
QByteArray iconBitmap(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    QByteArray out;
    putImageHeader(out, w, h, 32);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x)
            put32(out, image.pixel(x, y));
    const int maskStride = ((w + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

QByteArray icoFile(const std::vector<QImage>& images) {
    QByteArray out;
    put16(out, 0);
    put16(out, 1);
    put16(out, std::uint16_t(images.size()));
    std::vector<QByteArray> data;
    for (const QImage& image : images)
        data.push_back(iconBitmap(image));
    std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.append(char(images[i].width() >= 256 ? 0 : images[i].width()));
        out.append(char(images[i].height() >= 256 ? 0 : images[i].height()));
        out.append('\0').append('\0');
        put16(out, 1);
        put16(out, 32);
        put32(out, std::uint32_t(data[i].size()));
        put32(out, offset);
        offset += std::uint32_t(data[i].size());
    }
    for (const QByteArray& d : data)
        out += d;
    return out;
}

// A monochrome cursor: Windows draws black where AND and XOR are 0, white where XOR is 1, and
// leaves the screen where AND is 1.
QByteArray curFile(const QCursor& cursor) {
    const QImage shape = cursor.bitmap().toImage().convertToFormat(QImage::Format_Mono);
    const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_Mono);
    const int w = shape.width(), h = shape.height(), stride = ((w + 31) / 32) * 4;
    QByteArray bits;
    putImageHeader(bits, w, h, 1);
    put32(bits, 0x000000);
    put32(bits, 0xffffff);
    auto on = [](const QImage& image, int x, int y) { return image.pixelIndex(x, y) == 1; };
    for (bool andMask : {false, true})
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(stride, '\0');
            for (int x = 0; x < w; ++x) {
                const bool opaque = on(mask, x, y), black = on(shape, x, y);
                if (andMask ? !opaque : opaque && !black)
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
            bits += row;
        }
    QByteArray out;
    put16(out, 0);
    put16(out, 2);
    put16(out, 1);
    out.append(char(w)).append(char(h)).append('\0').append('\0');
    put16(out, std::uint16_t(cursor.hotSpot().x()));
    put16(out, std::uint16_t(cursor.hotSpot().y()));
    put32(out, std::uint32_t(bits.size()));
    put32(out, 22);
    return out + bits;
}

bool write(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    std::vector<QImage> window;
    for (int size : {16, 32, 48, 256})
        window.push_back(ListIcons::windowIconImage(size));
    std::vector<QImage> info;
    for (int size : {16, 32, 48})
        info.push_back(Artwork::infoDialogIcon().pixmap(size).toImage());
    const bool ok = write(dir + "/dateimark.ico", icoFile(window)) &&
                    write(dir + "/folder.ico", icoFile({ListIcons::folderImage().toImage()})) &&
                    write(dir + "/sheet.ico", icoFile({ListIcons::sheetImage().toImage()})) &&
                    write(dir + "/info.ico", icoFile(info)) &&
                    Artwork::logoPicture()
                        .toImage()
                        .convertToFormat(QImage::Format_RGB888)
                        .save(dir + "/logo.bmp") &&
                    Artwork::circuitPicture()
                        .toImage()
                        .convertToFormat(QImage::Format_RGB888)
                        .save(dir + "/circuit.bmp") &&
                    write(dir + "/logo.cur", curFile(Artwork::logoCursor()));
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write the pictures into %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
