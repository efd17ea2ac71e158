#include "app/qt/artwork.h"

#include <QBitmap>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdint>

namespace Artwork {

namespace {

// A fixed sequence of pseudo-random numbers: the board looks the same on every run and every
// system, which std::rand() does not promise.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : state_(seed) {}
    int below(int bound) {
        state_ = state_ * 1664525u + 1013904223u;
        return int((state_ >> 8) % std::uint32_t(bound));
    }

private:
    std::uint32_t state_;
};

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Text as an outline scaled to \p width and centred on \p centre, so that the drawing keeps
// its proportions whatever sans-serif face the system puts in place of the one asked for.
QPainterPath fittedText(const QString& text, int weight, qreal width, QPointF centre) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(100);
    font.setWeight(QFont::Weight(weight));
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    const qreal scale = width / box.width();
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.scale(scale, scale);
    transform.translate(-box.center().x(), -box.center().y());
    return transform.map(path);
}

// --- circuit board ---------------------------------------------------------------------------

constexpr int BoardWidth = 157;
constexpr int BoardHeight = 552;
constexpr int Pitch = 6; // traces run on a grid of this many pixels

const QColor boardDark(0x6e, 0x2b, 0x05);
const QColor boardMid(0xb4, 0x50, 0x0e);
const QColor traceShadow(0x52, 0x1e, 0x03);
const QColor traceCopper(0xff, 0x9c, 0x30);
const QColor padGold(0xff, 0xd2, 0x8a);
const QColor chipBody(0x33, 0x18, 0x08);
const QColor chipPin(0xe8, 0xc4, 0x8c);

void paintPad(QPainter& painter, QPointF centre, qreal radius) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(padGold);
    painter.drawEllipse(centre, radius, radius);
    painter.setBrush(traceShadow);
    painter.drawEllipse(centre, radius * 0.4, radius * 0.4);
}

// A trace wanders mostly up and down the tall board, turning by 45 or 90 degrees.
QPainterPath randomTrace(Dice& dice) {
    static constexpr int steps[8][2] = {{0, 1},  {1, 1},   {1, 0},  {1, -1},
                                        {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
    const int columns = BoardWidth / Pitch;
    const int rows = BoardHeight / Pitch;
    int x = 1 + dice.below(columns - 2);
    int y = 1 + dice.below(rows - 2);
    int direction = dice.below(2) * 4; // straight down or straight up
    QPainterPath path(QPointF(x * Pitch + 0.5, y * Pitch + 0.5));
    const int runs = 3 + dice.below(4);
    for (int run = 0; run < runs; ++run) {
        const bool diagonal = direction % 2 == 1;
        int length = diagonal ? 1 + dice.below(4) : 3 + dice.below(12);
        while (length-- > 0) {
            const int nx = x + steps[direction][0];
            const int ny = y + steps[direction][1];
            if (nx < 1 || nx >= columns || ny < 1 || ny >= rows)
                break;
            x = nx;
            y = ny;
        }
        path.lineTo(x * Pitch + 0.5, y * Pitch + 0.5);
        const int turn = dice.below(3) - 1; // left, straight on after a bend, or right
        direction = (direction + 8 + (diagonal ? turn : (turn == 0 ? 1 : turn))) % 8;
    }
    return path;
}

void paintChip(QPainter& painter, QRectF body, bool pinsOnAllSides) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(chipPin);
    const qreal pin = 2.0;
    for (qreal y = body.top() + 3; y + pin <= body.bottom() - 2; y += 5) {
        painter.drawRect(QRectF(body.left() - 3, y, 3, pin));
        painter.drawRect(QRectF(body.right(), y, 3, pin));
    }
    if (pinsOnAllSides) {
        for (qreal x = body.left() + 3; x + pin <= body.right() - 2; x += 5) {
            painter.drawRect(QRectF(x, body.top() - 3, pin, 3));
            painter.drawRect(QRectF(x, body.bottom(), pin, 3));
        }
    }
    QLinearGradient shade(body.topLeft(), body.bottomRight());
    shade.setColorAt(0, chipBody.lighter(160));
    shade.setColorAt(1, chipBody);
    painter.setBrush(shade);
    painter.drawRoundedRect(body, 1.5, 1.5);
    painter.setBrush(chipBody.lighter(220));
    painter.drawEllipse(body.topLeft() + QPointF(4, 4), 1.5, 1.5);
}

void paintResistor(QPainter& painter, QPointF centre, bool upright) {
    QRectF body(-3, -7, 6, 14);
    if (!upright)
        body = body.transposed();
    body.translate(centre);
    painter.setPen(QPen(traceShadow, 1));
    painter.setBrush(QColor(0xf3, 0xd9, 0xa4));
    painter.drawRoundedRect(body, 2.5, 2.5);
    painter.setPen(Qt::NoPen);
    const QColor bands[] = {QColor(0x8a, 0x1c, 0x08), QColor(0x20, 0x10, 0x08),
                            QColor(0xd9, 0x6a, 0x00)};
    for (int i = 0; i < 3; ++i) {
        const qreal offset = -4 + i * 3;
        painter.setBrush(bands[i]);
        painter.drawRect(upright ? QRectF(centre.x() - 3, centre.y() + offset, 6, 1.5)
                                 : QRectF(centre.x() + offset, centre.y() - 3, 1.5, 6));
    }
}

QImage drawCircuit() {
    QImage image = canvas(BoardWidth, BoardHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient board(0, 0, BoardWidth, BoardHeight);
    board.setColorAt(0.0, boardDark);
    board.setColorAt(0.45, boardMid);
    board.setColorAt(1.0, boardDark);
    painter.fillRect(image.rect(), board);

    Dice dice(1999);
    QPen shadowPen(traceShadow, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPen copperPen(traceCopper, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (int i = 0; i < 46; ++i) {
        const QPainterPath trace = randomTrace(dice);
        const bool wide = i % 9 == 0; // a few supply lines, broader than the signals
        shadowPen.setWidthF(wide ? 5.5 : 3.5);
        copperPen.setWidthF(wide ? 3.5 : 2.0);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(shadowPen);
        painter.drawPath(trace.translated(0.8, 0.8));
        painter.setPen(copperPen);
        painter.drawPath(trace);
        paintPad(painter, trace.pointAtPercent(0), wide ? 4.0 : 3.0);
        paintPad(painter, trace.pointAtPercent(1), wide ? 4.0 : 3.0);
    }
    for (int i = 0; i < 40; ++i) {
        const QPointF via((2 + dice.below(BoardWidth / Pitch - 3)) * Pitch + 0.5,
                          (2 + dice.below(BoardHeight / Pitch - 3)) * Pitch + 0.5);
        paintPad(painter, via, 1.8);
    }

    paintChip(painter, QRectF(28, 46, 40, 92), false);
    paintChip(painter, QRectF(84, 214, 52, 52), true);
    paintChip(painter, QRectF(20, 340, 34, 64), false);
    paintChip(painter, QRectF(92, 444, 38, 74), false);
    paintResistor(painter, QPointF(112, 70), true);
    paintResistor(painter, QPointF(124, 70), true);
    paintResistor(painter, QPointF(40, 250), false);
    paintResistor(painter, QPointF(40, 280), false);
    paintResistor(painter, QPointF(112, 370), true);
    paintResistor(painter, QPointF(40, 480), false);

    // Light from the top left, as on a photographed board.
    QRadialGradient light(QPointF(BoardWidth * 0.2, BoardHeight * 0.15), BoardHeight * 0.9);
    light.setColorAt(0, QColor(255, 230, 180, 60));
    light.setColorAt(1, QColor(0, 0, 0, 70));
    painter.fillRect(image.rect(), light);
    return image;
}

// --- magazine logo ---------------------------------------------------------------------------

constexpr int LogoWidth = 660;
constexpr int LogoHeight = 856;

const QColor navyTop(0x12, 0x33, 0x63);
const QColor navyBottom(0x05, 0x12, 0x2b);
const QColor gold(0xf7, 0xb7, 0x33);
const QColor orangeLight(0xff, 0x9a, 0x2a);
const QColor orangeDark(0xc8, 0x3c, 0x0a);

// A "Q" made of a ring and a slanted tail, independent of any font.
QPainterPath emblemQ(QPointF centre, qreal outer, qreal inner) {
    QPainterPath ring;
    ring.addEllipse(centre, outer, outer);
    QPainterPath hole;
    hole.addEllipse(centre, inner, inner);
    QPainterPath tail;
    const qreal thickness = outer - inner;
    tail.addRoundedRect(QRectF(-thickness / 2, -thickness * 0.15, thickness, outer * 0.95),
                        thickness * 0.2, thickness * 0.2);
    QTransform place;
    place.translate(centre.x() + inner * 0.45, centre.y() + inner * 0.45);
    place.rotate(-45);
    return ring.subtracted(hole).united(place.map(tail));
}

QImage drawLogo() {
    QImage image = canvas(LogoWidth, LogoHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, LogoHeight);
    sky.setColorAt(0, navyTop);
    sky.setColorAt(1, navyBottom);
    painter.fillRect(image.rect(), sky);
    painter.setPen(QPen(gold, 10));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(20, 20, LogoWidth - 40, LogoHeight - 40));

    const QPointF centre(LogoWidth / 2.0, 290);
    QRadialGradient disc(centre - QPointF(60, 70), 260);
    disc.setColorAt(0, orangeLight);
    disc.setColorAt(1, orangeDark);
    painter.setPen(QPen(gold, 8));
    painter.setBrush(disc);
    painter.drawEllipse(centre, 200, 200);

    const QPainterPath q = emblemQ(centre - QPointF(6, 6), 136, 82);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 90));
    painter.drawPath(q.translated(8, 10));
    painter.setBrush(Qt::white);
    painter.drawPath(q);

    const QPainterPath name =
        fittedText(QStringLiteral("Quarn"), QFont::Black, 540, QPointF(LogoWidth / 2.0, 600));
    painter.setBrush(QColor(0, 0, 0, 110));
    painter.drawPath(name.translated(6, 7));
    painter.setBrush(Qt::white);
    painter.drawPath(name);

    painter.setBrush(gold);
    painter.drawRect(QRectF(70, 688, LogoWidth - 140, 14));

    painter.setBrush(QColor(0xa8, 0xc8, 0xf5));
    painter.drawPath(fittedText(QStringLiteral("DAS COMPUTERMAGAZIN"), QFont::Bold, 480,
                                QPointF(LogoWidth / 2.0, 745)));
    painter.setBrush(gold);
    painter.drawPath(fittedText(QStringLiteral("Internetausgabe"), QFont::DemiBold, 300,
                                QPointF(LogoWidth / 2.0, 795)));
    return image;
}

// --- logo cursor -----------------------------------------------------------------------------

constexpr int CursorSize = 32;
constexpr QPoint CursorHotSpot(1, 1);

// The cursor as three colours: black, white and transparent. Drawn without smoothing, so each
// pixel is one of the three.
QImage drawMouseCursor() {
    QImage image = canvas(CursorSize, CursorSize);
    QPainter painter(&image);

    QPainterPath cable(QPointF(1, 1));
    cable.cubicTo(QPointF(3, 12), QPointF(17, 2), QPointF(18, 12));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cable);
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cable);

    const QRectF body(10, 12, 16, 19);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(body, 7, 7);
    // Two buttons above the palm.
    painter.drawLine(QPointF(10, 19), QPointF(26, 19));
    painter.drawLine(QPointF(18, 12), QPointF(18, 19));
    return image;
}

struct CursorBitmaps {
    QImage bits; ///< black where the cursor is black
    QImage mask; ///< black where the cursor is drawn at all
};

CursorBitmaps cursorBitmaps() {
    const QImage drawn = drawMouseCursor();
    CursorBitmaps result{QImage(CursorSize, CursorSize, QImage::Format_RGB32),
                         QImage(CursorSize, CursorSize, QImage::Format_RGB32)};
    for (int y = 0; y < CursorSize; ++y) {
        for (int x = 0; x < CursorSize; ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            const bool shown = qAlpha(pixel) >= 128;
            const bool black = shown && qGray(pixel) < 128;
            result.bits.setPixel(x, y, black ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            result.mask.setPixel(x, y, shown ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    return result;
}

// --- info icon -------------------------------------------------------------------------------

QImage drawInfoBadge(int size) {
    QImage image = canvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    QRadialGradient disc(QPointF(12, 10), 22);
    disc.setColorAt(0, QColor(0x6f, 0xa8, 0xf0));
    disc.setColorAt(1, QColor(0x12, 0x4a, 0xa8));
    painter.setPen(QPen(QColor(0x0a, 0x2c, 0x6a), 1.2));
    painter.setBrush(disc);
    painter.drawEllipse(QPointF(16, 16), 14.8, 14.8);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(16, 8.5), 2.6, 2.6);
    QPainterPath stem;
    stem.moveTo(12.5, 13);
    stem.lineTo(18.5, 13);
    stem.lineTo(18.5, 23);
    stem.lineTo(20.5, 23);
    stem.lineTo(20.5, 26);
    stem.lineTo(11.5, 26);
    stem.lineTo(11.5, 23);
    stem.lineTo(13.5, 23);
    stem.lineTo(13.5, 16);
    stem.lineTo(12.5, 16);
    stem.closeSubpath();
    painter.drawPath(stem);
    return image;
}

} // namespace

QPixmap logoPicture() {
    static const QImage image = drawLogo();
    return QPixmap::fromImage(image);
}

QCursor logoCursor() {
    static const CursorBitmaps bitmaps = cursorBitmaps();
    return QCursor(QBitmap::fromImage(bitmaps.bits, Qt::ThresholdDither | Qt::MonoOnly),
                   QBitmap::fromImage(bitmaps.mask, Qt::ThresholdDither | Qt::MonoOnly),
                   CursorHotSpot.x(), CursorHotSpot.y());
}

QPixmap circuitPicture() {
    static const QImage image = drawCircuit();
    return QPixmap::fromImage(image);
}

QIcon infoDialogIcon() {
    static const QImage images[] = {drawInfoBadge(16), drawInfoBadge(32), drawInfoBadge(48)};
    QIcon icon;
    for (const QImage& image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

} // namespace Artwork
