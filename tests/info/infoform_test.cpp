// The info dialog: its texts, its modality, which controls close it and what the links open.
#include "info/artwork.h"
#include "info/infoform.h"
#include "info/maker.h"
#include "platform/qttoolkit.h"
#include "support/recordingtoolkit.h"

#include <QApplication>
#include <QBitmap>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString Name = QStringLiteral("Dateimark 2.5");
const QString Description = QStringLiteral("Ein Tool zum Setzen von Dateiattributen.");

QPushButton* button(QWidget& dialog, int index) {
    return dialog.findChild<QPushButton*>(QStringLiteral("Btn%1").arg(index));
}

} // namespace

class InfoFormTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheSameTitleAndTextEachTime();
    void isModalOverTheMainWindow();
    void onlyTheCloseButtonAndTheCloseBoxCloseIt();
    void artworkIsDrawn();
};

void InfoFormTest::showsTheSameTitleAndTextEachTime() {
    RecordingToolkit toolkit;
    InfoForm form(toolkit);
    QStringList shown;
    toolkit.onModal = [&](QDialog& dialog) {
        shown << dialog.windowTitle() << dialog.findChild<QLabel*>("Label0")->text();
    };
    form.main(Name, Description);
    form.main(Name, Description);
    // Lines end in a lone carriage return, which the label shows as a line break.
    const QString text = form.text();
    QVERIFY(!text.contains('\n') && text.count('\r') == 13);
    const QStringList once = {"Info über " + Name, QString(text).replace('\r', '\n')};
    QCOMPARE(shown, once + once);
    QVERIFY(text.startsWith(Name + " – " + Description + "\r\r" + QString::fromUtf8(maker::Notice) +
                            "\r\r" + Name + " ist Freeware"));
    QVERIFY(text.endsWith(" Web-Site unter " + QString::fromUtf8(maker::WebAddress)));
    // The name comes from the argument alone.
    form.main(QStringLiteral("Probe 9.9"), Description);
    QCOMPARE(form.text().count("Probe 9.9"), 4);
    QCOMPARE(shown.last(), QString(form.text()).replace('\r', '\n'));
    QVERIFY(!form.text().contains("Dateimark") && form.windowTitle() == "Info über Probe 9.9");
}

void InfoFormTest::isModalOverTheMainWindow() {
    QWidget mainWindow;
    mainWindow.show();
    platform::QtToolkit toolkit;
    InfoForm form(toolkit, &mainWindow);
    bool modal = false;
    QTimer::singleShot(0, &form, [&] {
        modal = QApplication::activeModalWidget() == &form;
        form.close();
    });
    form.main(Name, Description); // returns once closed
    QVERIFY(modal);
}

void InfoFormTest::onlyTheCloseButtonAndTheCloseBoxCloseIt() {
    // A key goes to the button with the focus, -1 is the close box, 4 the first focus of the
    // freshly opened dialog; no key is a mouse click.
    const struct {
        int button;
        Qt::Key key;
        bool closes;
    } cases[] = {{4, Qt::Key_Return, false},
                 {0, {}, false},
                 {1, {}, false},
                 {2, {}, false},
                 {2, Qt::Key_Escape, false},
                 {1, Qt::Key_Return, false},
                 {3, {}, true},
                 {3, Qt::Key_Return, true},
                 {-1, {}, true}};
    RecordingToolkit toolkit;
    InfoForm form(toolkit);
    for (const auto& c : cases) {
        bool closed = false;
        toolkit.onModal = [&](QDialog& dialog) {
            if (c.button < 0) {
                dialog.close();
            } else if (c.button == 4) {
                QCOMPARE(dialog.focusWidget()->objectName(), QStringLiteral("Picture1"));
                QTest::keyClick(dialog.focusWidget(), c.key);
            } else if (c.key) {
                button(dialog, c.button)->setFocus();
                QTest::keyClick(button(dialog, c.button), c.key);
            } else {
                QTest::mouseClick(button(dialog, c.button), Qt::LeftButton);
            }
            closed = !dialog.isVisible();
        };
        form.main(Name, Description);
        QVERIFY2(closed == c.closes,
                 qPrintable(QStringLiteral("Btn%1 %2").arg(c.button).arg(c.key)));
    }

    const std::string web = "https://" + std::string(maker::WebAddress);
    std::vector<std::string> targets;
    for (const RecordedOpen& open : toolkit.opened) {
        targets.push_back(open.target);
        QCOMPARE(open.showCommand, platform::ShowNormal);
    }
    QCOMPARE(targets,
             std::vector<std::string>({"mailto:" + std::string(maker::EMail), web + "/new.htm",
                                       web + "/register", web + "/new.htm"}));
}

void InfoFormTest::artworkIsDrawn() {
    QCOMPARE(Artwork::circuitPicture().size(), QSize(157, 552));
    // The logo cursor's hot spot lies on the drawn mouse, where the user sees the pointer's tip.
    const QCursor cursor = Artwork::logoCursor();
    QVERIFY(qGray(cursor.mask().toImage().pixel(cursor.hotSpot())) < 128);
}

QTEST_MAIN(InfoFormTest)
#include "infoform_test.moc"
