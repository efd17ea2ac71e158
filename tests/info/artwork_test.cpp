// The pictures drawn in code: the sizes the windows lay out for, transparency where the list
// and the icons show what lies behind them, and a cursor that is really two-coloured.
#include "filelist/listicons.h"
#include "info/artwork.h"

#include <QBitmap>
#include <QImage>
#include <QTest>

class ArtworkTest : public QObject {
    Q_OBJECT

private slots:
    void sizesAndTransparency();
    void logoCursorIsABlackAndWhiteMouse();
};

void ArtworkTest::sizesAndTransparency() {
    const auto alpha = [](const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); };
    QCOMPARE(Artwork::logoPicture().size(), QSize(660, 856));
    QCOMPARE(Artwork::circuitPicture().size(), QSize(157, 552));
    for (const QImage& image :
         {ListIcons::folderImage().toImage(), ListIcons::sheetImage().toImage(),
          ListIcons::windowIconImage(48)}) {
        QVERIFY(alpha(image, 0, 0) == 0 || alpha(image, image.width() - 1, 0) == 0);
        QCOMPARE(alpha(image, image.width() / 2, image.height() / 2), 255);
    }
    QCOMPARE(ListIcons::folderImage().size(), QSize(16, 16));
    QVERIFY(ListIcons::windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(ListIcons::windowIcon().availableSizes().contains(QSize(32, 32)));
}

void ArtworkTest::logoCursorIsABlackAndWhiteMouse() {
    const QCursor cursor = Artwork::logoCursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    const QImage bits = cursor.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(bits.size(), QSize(32, 32));

    int black = 0, white = 0, clear = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool shown = qGray(mask.pixel(x, y)) < 128;
            ++(shown ? (qGray(bits.pixel(x, y)) < 128 ? black : white) : clear);
        }
    }
    QVERIFY(black > 30 && white > 30 && clear > 300);
    // The hot spot lies on the drawing, where the user sees the pointer's tip.
    QVERIFY(qGray(mask.pixel(cursor.hotSpot())) < 128);
}

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
