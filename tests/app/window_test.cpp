// The main window: its controls and start-up state, the command dispatch, hints and the date
// and time fields.
#include "app/widgets.h"
#include "apply/module1.h"
#include "info/aam.h"
#include "platform/qttoolkit.h"
#include "support/windowfixture.h"

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsEmptyWithEverythingThatNeedsAMarkDisabled() {
        WindowFixture f;
        app::Form1& w = *f.form;
        QCOMPARE(w.windowTitle(), QStringLiteral("Dateimark 2.5"));
        QCOMPARE(f.panel(2),
                 QStringLiteral("Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ..."));
        QCOMPARE(f.panel(1), QStringLiteral("0 Dateien, davon 0 ausgewählt"));
        QVERIFY(!w.Btn(8)->isEnabled());
        QVERIFY(!w.Btn(4)->isEnabled());
        for (int index : {0, 1, 2, 3, 5, 9, 10})
            QVERIFY(w.Btn(index)->isEnabled());
        for (int k = 1; k <= 4; ++k) {
            QVERIFY(!w.AttribChk(k)->isEnabled());
            QCOMPARE(w.AttribChk(k)->checkState(), Qt::Unchecked);
        }
        QVERIFY(!w.TouchChk()->isEnabled());
        QVERIFY(w.ToolTipCheck()->isEnabled());
        QVERIFY(!w.ToolTipCheck()->isChecked());
        const QColor frame = w.Frame1()->palette().color(QPalette::Window);
        for (int i = 0; i < 6; ++i) {
            QVERIFY(!w.DateTime(i)->isEnabled());
            QCOMPARE(w.DateTime(i)->palette().color(QPalette::Base), frame);
        }
        QCOMPARE(w.Bar()->value(), 0);
        QCOMPARE(w.ToolTipCheck()->toolTip(),
                 QStringLiteral("Schaltet die automatischen Hinweise ein oder aus"));
        QVERIFY(w.Btn(8)->toolTip().isEmpty());
    }

    void controlsHaveTheirNamesCaptionsAndGeometry() {
        WindowFixture f;
        app::Form1& w = *f.form;
        QCOMPARE(w.size(), QSize(w.px(9375), w.px(6105)));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);

        QVERIFY(w.Btn(8)->font().bold() && !w.Btn(9)->font().bold());
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("Btn6")));
        for (int k = 1; k <= 4; ++k)
            QVERIFY(w.AttribChk(k)->isTristate());
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(w.DateTime(i)->maxLength(), i == 5 ? 4 : 2);
            QCOMPARE(w.DateTime(i)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        }

        QCOMPARE(w.Status()->geometry().bottom(), w.height() - 1);

        // Every caption fits its control, and a date its column.
        for (QAbstractButton* b : w.findChildren<QAbstractButton*>()) {
            if (qobject_cast<QCheckBox*>(b) && !qobject_cast<app::WrapCheckBox*>(b))
                QVERIFY2(b->sizeHint().width() <= b->width() + 2, qPrintable(b->text()));
        }
        f.drop({f.file("a.txt")});
        const QString date = f.cell(0, filelist::DateColumn);
        const int room = w.Liste()->header()->sectionSize(filelist::DateColumn) - 8;
        QCOMPARE(w.Liste()->fontMetrics().elidedText(date, Qt::ElideRight, room), date);
    }

    void boxesAreGermanAndOwnedByTheWindow() {
        platform::loadGermanTranslations();
        // Qt's own texts, as in the fields' context menus.
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Copy"), QStringLiteral("&Kopieren"));
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        platform::QtToolkit toolkit;
        toolkit.setOwner(&owner);
        QStringList captions;
        QWidget* parent = nullptr;
        auto answerWith = [&](int key) {
            QTimer::singleShot(0, [&, key] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                parent = box->parentWidget();
                captions.clear();
                for (QAbstractButton* button : box->buttons())
                    captions << button->text();
                captions.sort();
                QTest::keyClick(box->windowHandle(), Qt::Key(key), Qt::AltModifier);
            });
        };
        answerWith(Qt::Key_N);
        QVERIFY(toolkit.messageBox("Möchten Sie fortsetzen?", platform::MessageStyle::YesNoStop,
                                   "Dateimark 2.5") == platform::MessageAnswer::No);
        QCOMPARE(captions, (QStringList{"&Ja", "&Nein"}));
        QCOMPARE(parent, &owner);
        answerWith(Qt::Key_J);
        QVERIFY(toolkit.messageBox("?", platform::MessageStyle::YesNoStop, "Dateimark 2.5") ==
                platform::MessageAnswer::Yes);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            captions = {box->buttons().at(0)->text()};
            box->buttons().at(0)->click();
        });
        toolkit.messageBox("Fertig", platform::MessageStyle::OkPlain, "Dateimark 2.5");
        QCOMPARE(captions, QStringList{"OK"});
    }

    void tabOrderRunsFromTheListToTheHintSwitch() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const QStringList expected = {
            "Liste",      "Btn1",       "Btn2",       "Btn3",        "Btn4",      "Btn0",
            "AttribChk1", "AttribChk2", "AttribChk3", "AttribChk4",  "TouchChk",  "DateTime3",
            "DateTime4",  "DateTime5",  "DateTime0",  "DateTime1",   "DateTime2", "Btn10",
            "Btn5",       "Btn8",       "Btn9",       "ToolTipCheck"};
        QStringList order;
        QWidget* widget = w.Liste();
        do {
            if (expected.contains(widget->objectName()) && !order.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != w.Liste());
        QCOMPARE(order, expected);
        QCOMPARE(w.Bar()->focusPolicy(), Qt::NoFocus);
    }

    void commandsDispatchByIndex() {
        WindowFixture f;
        app::Form1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        f.file("a.txt");
        f.drop({f.root() / "a.txt"});
        const QString message = f.panel(2);
        for (int index : {6, 7, 11, -1})
            w.Btn_Click(index);
        QCOMPARE(f.panel(2), message);
        QCOMPARE(f.rows(), std::size_t(1));

        // Removing the last rows keeps the last message; only clearing shows the hint again.
        w.Btn(4)->click();
        QCOMPARE(f.rows(), std::size_t(0));
        QCOMPARE(f.panel(2), message);
        QCOMPARE(f.panel(1), QStringLiteral("0 Dateien, davon 0 ausgewählt"));
        QVERIFY(w.Liste()->hasFocus());
        w.Btn(5)->setFocus();
        w.Btn(0)->click();
        QVERIFY(w.Liste()->hasFocus());
        QCOMPARE(f.panel(2),
                 QStringLiteral("Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ..."));

        w.Btn(10)->click();
        QCOMPARE(f.toolkit.opened.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(f.toolkit.opened[0].target).endsWith("/dateimark.htm"));
        QCOMPARE(f.toolkit.opened[0].showCommand, platform::ShowDefault);
        QVERIFY(f.toolkit.messages.empty());

        w.LogoImage_Click();
        QCOMPARE(f.toolkit.opened.back().target,
                 std::string("https://www.quarn.example.net/quarn/"));
        QCOMPARE(f.toolkit.opened.back().showCommand, platform::ShowNormal);

        w.Btn(5)->click();
        QDialog* first = w.findChild<QDialog*>();
        w.Btn(5)->click();
        QCOMPARE(f.toolkit.modalShown, 2);
        QCOMPARE(w.findChildren<QDialog*>().size(), 1);
        QCOMPARE(w.findChild<QDialog*>(), first);
        QCOMPARE(first->windowTitle(), QStringLiteral("Info über Dateimark 2.5"));

        w.Btn(9)->click();
        QVERIFY(!w.isVisible());
    }

    void hintsFollowTheSwitch() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const QString logoHint = w.findChild<QWidget*>(QStringLiteral("LogoImage"))->toolTip();
        QVERIFY(logoHint.startsWith(QStringLiteral("Klicken Sie hier")));
        for (bool on : {true, false, true, true, false}) {
            if (w.ToolTipCheck()->isChecked() != on)
                w.ToolTipCheck()->click();
            QCOMPARE(w.Btn(8)->toolTip().isEmpty(), !on);
            QCOMPARE(w.DateTime(5)->toolTip().isEmpty(), !on);
            QCOMPARE(w.Liste()->toolTip().isEmpty(), !on);
            QCOMPARE(w.Panel(1)->toolTip().isEmpty(), !on);
            QCOMPARE(w.ToolTipCheck()->toolTip(),
                     QStringLiteral("Schaltet die automatischen Hinweise ein oder aus"));
            QCOMPARE(w.findChild<QWidget*>(QStringLiteral("LogoImage"))->toolTip(), logoHint);
        }
        w.ToolTipCheck()->click();
        QCOMPARE(w.AttribChk(1)->toolTip(), w.AttribChk(4)->toolTip());
        QVERIFY(!w.Panel(2)->toolTip().isEmpty());
        QVERIFY(w.Panel(1)->toolTip() != w.Panel(2)->toolTip());
        QCOMPARE(w.DateTime(3)->toolTip(), QStringLiteral("Feld für den Tag des letzten Zugriffs"));
        QVERIFY(w.Frame1()->toolTip().isEmpty());
    }

    void fieldsAreCorrectedWhenLeft() {
        WindowFixture f;
        app::Form1& w = *f.form;
        // Fields are usable with a marked row and the switch ticked.
        f.file("a.txt");
        f.drop({f.root() / "a.txt"});
        w.TouchChk()->click();
        QVERIFY(w.DateTime(0)->isEnabled());
        QCOMPARE(w.DateTime(0)->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::Base));
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        auto enter = [&](int index, const QString& text) {
            w.DateTime(index)->setFocus();
            QTRY_VERIFY(w.DateTime(index)->hasFocus());
            w.DateTime(index)->setText(text);
            w.Btn(5)->setFocus();
            QCoreApplication::processEvents();
        };
        enter(1, QStringLiteral("60"));
        QCOMPARE(w.DateTime(1)->text(), QStringLiteral("59"));
        QCOMPARE(Module1::TouchTime[1], std::int16_t(59));
        QCOMPARE(f.toolkit.beeps, 1);
        QTRY_VERIFY(w.DateTime(1)->hasFocus());
        QCOMPARE(w.DateTime(1)->selectedText(), QStringLiteral("59"));

        enter(0, QStringLiteral("Uhr"));
        QCOMPARE(w.DateTime(0)->text(), QStringLiteral("0"));
        QCOMPARE(f.toolkit.beeps, 1);

        enter(5, QStringLiteral("2024"));
        enter(4, QStringLiteral("1"));
        enter(3, QStringLiteral("31"));
        QCOMPARE(f.toolkit.beeps, 1);
        enter(4, QStringLiteral("04"));
        QCOMPARE(w.DateTime(4)->text(), QStringLiteral("4"));
        QCOMPARE(w.DateTime(3)->text(), QStringLiteral("30"));
        QCOMPARE(f.toolkit.beeps, 2);
        QTRY_VERIFY(w.DateTime(3)->hasFocus());

        // Unticking disables the fields again; their texts stay.
        w.TouchChk()->click();
        QVERIFY(!w.DateTime(3)->isEnabled());
        QCOMPARE(w.DateTime(3)->text(), QStringLiteral("30"));
    }

    void screenReadersHearNamesAndStates() {
        WindowFixture f;
        app::Form1& w = *f.form;
        f.drop({f.file("r.txt", platform::attr::ReadOnly), f.file("n.txt")});
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::PartiallyChecked);
        QAccessibleInterface* box = QAccessible::queryAccessibleInterface(w.AttribChk(1));
        QVERIFY(box);
        QCOMPARE(box->text(QAccessible::Name), QStringLiteral("R - schreibgeschützt"));
        QVERIFY(box->state().checkStateMixed);
        QAccessibleInterface* year = QAccessible::queryAccessibleInterface(w.DateTime(5));
        QCOMPARE(year->text(QAccessible::Name), QStringLiteral("Jahr"));
        QCOMPARE(QAccessible::queryAccessibleInterface(w.Btn(8))->text(QAccessible::Name),
                 QStringLiteral("Start"));
        for (QWidget* control : w.findChildren<QWidget*>()) {
            if (control->focusPolicy() & Qt::TabFocus && control->isVisibleTo(&w) &&
                !control->objectName().isEmpty())
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }
    }

    void accessKeysReachTheirControls() {
        WindowFixture f;
        app::Form1& w = *f.form;
        f.drop({f.file("a.txt"), f.file("b.txt")});
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // An access key presses its button visibly, so the click follows a moment later.
        QTest::keyClick(w.windowHandle(), Qt::Key_K, Qt::AltModifier); // &Keine Auswahl
        QTRY_COMPARE(f.panel(1), QStringLiteral("2 Dateien, davon 0 ausgewählt"));
        QTest::keyClick(w.windowHandle(), Qt::Key_W, Qt::AltModifier); // Alle aus&wählen
        QTRY_COMPARE(f.panel(1), QStringLiteral("2 Dateien, davon 2 ausgewählt"));
        // A key that two captions share moves the focus between them instead of clicking.
        QTest::keyClick(w.windowHandle(), Qt::Key_I, Qt::AltModifier);
        QVERIFY(w.Btn(5)->hasFocus() || w.Btn(10)->hasFocus());
        QVERIFY(f.toolkit.opened.empty());
        QCOMPARE(f.toolkit.modalShown, 0);
        QTest::keyClick(w.windowHandle(), Qt::Key_E, Qt::AltModifier); // &Ende
        QTRY_VERIFY(!w.isVisible());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
