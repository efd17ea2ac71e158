#include "app/qt/listicons.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>

namespace ListIcons {

namespace {

// Drawn on a grid of 16 units; outlines run along half units so that they fall on whole
// pixels at 16 and 32 pixels and stay smooth when drawn larger.
constexpr qreal Grid = 16.0;

const QColor outlineBrown(0x7a, 0x58, 0x00);
const QColor folderBack(0xe0, 0xa8, 0x10);
const QColor folderFrontLight(0xff, 0xe6, 0x80);
const QColor folderFrontDark(0xf2, 0xbe, 0x24);
const QColor paperOutline(0x55, 0x5f, 0x6e);
const QColor paperFold(0xd4, 0xdb, 0xe4);
const QColor textLine(0x6a, 0x7c, 0x96);

QImage canvas(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Returns the width of an outline in grid units: one pixel at 16, two at 32, and thinner in
// proportion on the large theme icons, where a full unit would look heavy.
qreal beginGrid(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing, size != 16 && size != 32);
    painter.scale(size / Grid, size / Grid);
    return size <= 32 ? 1.0 : std::max(2.0, size / 32.0) * Grid / size;
}

QPen outline(const QColor& colour, qreal width) {
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// A sheet with a folded top-right corner and lines of text, within the given edges.
void paintSheet(QPainter& painter, qreal line, qreal left, qreal top, qreal right, qreal bottom) {
    const qreal fold = 3.0;
    painter.setPen(outline(paperOutline, line));
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF{
        {left, top}, {right - fold, top}, {right, top + fold}, {right, bottom}, {left, bottom}});
    painter.setBrush(paperFold);
    painter.drawPolygon(
        QPolygonF{{right - fold, top}, {right - fold, top + fold}, {right, top + fold}});

    // Lines of unequal length read as text rather than as a grid.
    painter.setPen(outline(textLine, line));
    const qreal lengths[] = {0.55, 1.0, 0.8, 1.0, 0.65, 0.9};
    int row = 0;
    for (qreal y = top + fold + 1.5; y < bottom - 1.0; y += 2.0, ++row) {
        const qreal width = (right - left - 3.0) * lengths[row % 6];
        painter.drawLine(QPointF(left + 1.5, y), QPointF(left + 1.5 + width, y));
    }
}

// The back of a folder with its tab, for the closed and the open folder.
void paintFolderBack(QPainter& painter, qreal line, qreal right, qreal bottom) {
    painter.setPen(outline(outlineBrown, line));
    painter.setBrush(folderBack);
    painter.drawPolygon(QPolygonF{
        {0.5, 2.5}, {5.5, 2.5}, {6.5, 3.5}, {right, 3.5}, {right, bottom}, {0.5, bottom}});
}

QBrush frontBrush(qreal top, qreal bottom) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, folderFrontLight);
    gradient.setColorAt(1, folderFrontDark);
    return gradient;
}

QImage drawFolder() {
    QImage image = canvas(16);
    QPainter painter(&image);
    const qreal line = beginGrid(painter, 16);
    paintFolderBack(painter, line, 14.5, 13.5);
    painter.setBrush(frontBrush(5.5, 13.5));
    painter.drawRect(QRectF(QPointF(0.5, 5.5), QPointF(14.5, 13.5)));
    painter.setPen(outline(folderFrontLight.lighter(110), line));
    painter.drawLine(QPointF(1.5, 6.5), QPointF(13.5, 6.5));
    return image;
}

QImage drawSheet() {
    QImage image = canvas(16);
    QPainter painter(&image);
    paintSheet(painter, beginGrid(painter, 16), 2.5, 0.5, 13.5, 15.5);
    return image;
}

QImage drawOpenFolderWithSheet(int size) {
    QImage image = canvas(size);
    QPainter painter(&image);
    const qreal line = beginGrid(painter, size);
    paintFolderBack(painter, line, 12.5, 12.5);
    // The front flap hangs open towards the viewer: a parallelogram leaning to the right.
    painter.setBrush(frontBrush(6.5, 12.5));
    painter.drawPolygon(QPolygonF{{0.5, 12.5}, {2.5, 6.5}, {14.5, 6.5}, {12.5, 12.5}});
    paintSheet(painter, line, 8.5, 5.5, 15.5, 15.5);
    return image;
}

} // namespace

QImage windowIconImage(int size) {
    return drawOpenFolderWithSheet(size);
}

QIcon windowIcon() {
    static const QImage large = drawOpenFolderWithSheet(32);
    static const QImage small = drawOpenFolderWithSheet(16);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(large));
    icon.addPixmap(QPixmap::fromImage(small));
    return icon;
}

QPixmap folderImage() {
    static const QImage image = drawFolder();
    return QPixmap::fromImage(image);
}

QPixmap sheetImage() {
    static const QImage image = drawSheet();
    return QPixmap::fromImage(image);
}

} // namespace ListIcons
