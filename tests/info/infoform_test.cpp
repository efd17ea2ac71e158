// The info dialog: its texts, which controls close it and what the links open.
#include "app/qt/artwork.h"
#include "app/qt/infoform.h"
#include "info/maker.h"
#include "support/qtrecordingtoolkit.h"

#include <QtTest>
#include <QtWidgets>

class InfoFormTest : public QObject {
    Q_OBJECT

    const QString Description = QStringLiteral("Ein Tool zum Setzen von Dateiattributen.");

private slots:
    void showsTheTitleAndTextOfTheNameItIsGiven() {
        QtRecordingToolkit toolkit;
        InfoForm form(toolkit);
        QStringList shown;
        toolkit.onModal = [&](QDialog& dialog) {
            shown << dialog.windowTitle() << dialog.findChild<QLabel*>("Label0")->text();
        };
        for (const QString name : {"Dateimark 2.5", "Dateimark 2.5", "Probe 9.9"})
            form.main(name, Description);
        // Lines end in a lone carriage return, which the label shows as a line break; the name
        // given replaces the old one everywhere.
        const QString text = form.text();
        QVERIFY(!text.contains('\n') && !text.contains("Dateimark"));
        QVERIFY(text.startsWith("Probe 9.9 – " + Description + "\r\r"));
        QCOMPARE(text.count("Probe 9.9"), 4);
        QCOMPARE(shown.mid(4),
                 (QStringList{"Info über Probe 9.9", QString(text).replace('\r', '\n')}));
        QCOMPARE(shown.mid(0, 2), shown.mid(2, 2));
    }

    void onlyTheCloseButtonAndTheCloseBoxCloseIt() {
        // A key goes to the focused button (4: the dialog's first focus), no key is a click, -1
        // the close box.
        const struct {
            int button;
            Qt::Key key;
            bool closes;
        } cases[] = {// clang-format off
            {4, Qt::Key_Return, false}, {0, {}, false}, {1, {}, false}, {2, {}, false},
            {2, Qt::Key_Escape, false}, {1, Qt::Key_Return, false}, {3, {}, true},
            {3, Qt::Key_Return, true}, {-1, {}, true}}; // clang-format on
        QtRecordingToolkit toolkit;
        InfoForm form(toolkit);
        for (const auto& c : cases) {
            bool closed = false;
            toolkit.onModal = [&](QDialog& dialog) {
                auto* button =
                    dialog.findChild<QPushButton*>(QStringLiteral("Btn%1").arg(c.button));
                if (c.button < 0) {
                    dialog.close();
                } else if (c.button == 4) {
                    QCOMPARE(dialog.focusWidget()->objectName(), QStringLiteral("Picture1"));
                    QTest::keyClick(dialog.focusWidget(), c.key);
                } else if (c.key) {
                    button->setFocus();
                    QTest::keyClick(button, c.key);
                } else {
                    QTest::mouseClick(button, Qt::LeftButton);
                }
                closed = !dialog.isVisible();
            };
            form.main("Dateimark 2.5", Description);
            QVERIFY2(closed == c.closes,
                     qPrintable(QStringLiteral("Btn%1 %2").arg(c.button).arg(c.key)));
        }

        // The mail link, then the web links, each through the maker's own addresses.
        const std::string web = "https://" + std::string(maker::WebAddress);
        const std::string targets[] = {"mailto:" + std::string(maker::EMail), web + "/new.htm",
                                       web + "/register", web + "/new.htm"};
        QCOMPARE(toolkit.opened.size(), std::size(targets));
        for (std::size_t i = 0; i < std::size(targets); ++i)
            QVERIFY(toolkit.opened[i].target == targets[i] &&
                    toolkit.opened[i].showCommand == app::ShowNormal);
    }

    void theLogoCursorsHotSpotLiesOnTheDrawnMouse() {
        // Where the user sees the pointer's tip.
        const QCursor cursor = Artwork::logoCursor();
        QVERIFY(qGray(cursor.mask().toImage().pixel(cursor.hotSpot())) < 128);
    }
};

QTEST_MAIN(InfoFormTest)
#include "infoform_test.moc"
