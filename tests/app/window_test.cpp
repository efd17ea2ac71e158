// The Qt window: the table it is built from, real drops, gestures, boxes, names, access keys.
#include "app/controls.h"
#include "support/windowfixture.h"

#include <tuple>

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void controlsAreBuiltFromTheTable() {
        WindowFixture f;
        app::Form1Window& w = f.window;
        // A window of one size: nothing in it would follow a larger one.
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));

        // Every control is there; captions fit (fonts differ from the design's); the keyboard
        // visits the controls in the table's order.
        std::multimap<int, QString> tabs;
        for (const app::ControlSpec& design : app::Controls()) {
            QString name = QString::fromUtf8(design.name.data(), qsizetype(design.name.size()));
            if (design.index >= 0)
                name += (name.back().isDigit() ? "_" : "") + QString::number(design.index);
            QWidget* control = w.findChild<QWidget*>(name);
            QVERIFY2(control, qPrintable(name));
            if (auto* box = qobject_cast<QCheckBox*>(control))
                QVERIFY2(box->sizeHint().height() <= box->height() &&
                             (qobject_cast<app::WrapCheckBox*>(box) ||
                              box->sizeHint().width() <= box->width() + 2),
                         qPrintable(name));
            // Nothing sticks into its frame's lines (the H box once lost its bottom edge).
            if (auto* frame = qobject_cast<QGroupBox*>(control->parentWidget()))
                QVERIFY2(frame->rect().adjusted(2, 2, -2, -2).contains(control->geometry()),
                         qPrintable(name));
            if (design.tab >= 0 && design.kind != app::Kind::Frame &&
                design.kind != app::Kind::Label)
                tabs.emplace(design.tab, name);
        }
        QStringList expected, order;
        for (const auto& tab : tabs)
            expected << tab.second;
        QWidget* widget = w.Liste();
        do {
            if (expected.contains(widget->objectName()) && !order.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != w.Liste());
        QCOMPARE(order, expected);
        QCOMPARE(w.Bar()->focusPolicy(), Qt::NoFocus);
    }

    void aRealDropIsTakenAsACopyAndTheListSortsAndMarksAsUsersExpect() {
        // A move accepted here would make the file manager delete the dropped files.
        QMimeData empty;
        for (const Qt::DropActions actions : {Qt::MoveAction | Qt::CopyAction, {Qt::MoveAction}}) {
            QDropEvent drop(QPointF(5, 5), actions, &empty, Qt::LeftButton, Qt::ShiftModifier);
            const bool taken = filelist::takeAsCopy(&drop);
            QCOMPARE(taken, actions.testFlag(Qt::CopyAction));
            QVERIFY(!taken || drop.dropAction() == Qt::CopyAction);
        }

        WindowFixture f;
        app::Form1Window& w = f.window;
        // Names arrive as their bytes, also those that are not UTF-8.
        const fs::path latin1 = f.file("caf\xE9.txt");
        fs::create_directory(f.root() / "dir");
        f.drop({f.file("b"), f.file("C"), latin1, f.file("a"), f.root() / "dir"});
        QCOMPARE(f.rows(), std::size_t(5));
        QCOMPARE(f.panel(2), QStringLiteral("Eintragung beendet"));
        // The date column shows its whole text.
        const QString date = f.cell(0, filelist::DateColumn);
        const int room = w.Liste()->header()->sectionSize(filelist::DateColumn) - 8;
        QCOMPARE(w.Liste()->fontMetrics().elidedText(date, Qt::ElideRight, room), date);
        // The type column shows its caption and a whole icon.
        const int typeRoom = w.Liste()->header()->sectionSize(filelist::TypeColumn) - 8;
        QVERIFY(w.Liste()->header()->fontMetrics().horizontalAdvance("Typ") <= typeRoom);
        QVERIFY(w.Liste()->visualRect(w.Liste()->model()->index(0, filelist::TypeColumn)).width() >=
                w.Liste()->iconSize().width() + 8);
        for (std::size_t i = 0; i < f.rows(); ++i)
            w.logic().rows().at(i).marked = w.logic().rows().at(i).path == latin1.native();
        w.Btn(4)->click();
        fs::remove(latin1); // QTemporaryDir cannot name it to remove it
        w.Btn(1)->click();

        // By name, as the locale collates, ignoring case.
        QHeaderView* header = w.Liste()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QStringList names;
        for (std::size_t i = 0; i < f.rows(); ++i)
            names << QString::fromStdString(fs::path(f.cell(i, 1).toStdString()).filename());
        QCOMPARE(names, (QStringList{"a", "b", "C", "dir"}));
        QCOMPARE(header->sortIndicatorSection(), 1);

        // The mouse and the keys reach the logic's marking (which the core tests test).
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const auto& [row, keys, marked] :
             {std::tuple{1, Qt::KeyboardModifiers{}, 1}, {0, Qt::ShiftModifier, 2}}) {
            const QModelIndex index = w.model().index(row, filelist::NameColumn);
            QTest::mouseClick(w.Liste()->viewport(), Qt::LeftButton, keys,
                              w.Liste()->visualRect(index).center());
            QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon %1 ausgewählt").arg(marked));
        }
        w.Liste()->setFocus();
        QTest::keyClick(w.Liste(), Qt::Key_Down);
        QCOMPARE(w.logic().rows().markedCount(), std::size_t(1));
        QTest::keyClick(w.Liste(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.logic().rows().markedCount(), std::size_t(4));
        // The check follows once the keys rest.
        f.toolkit.runTimers();
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 4 ausgewählt"));
    }

    void clicksAndFocusReachTheLogic() {
        WindowFixture f;
        app::Form1Window& w = f.window;
        f.drop({f.file("a.txt")});
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // One click ticks an empty attribute box, Space empties it again.
        QTest::mouseClick(w.AttribChk(4), Qt::LeftButton);
        QCOMPARE(w.AttribChk(4)->checkState(), Qt::Checked);
        w.AttribChk(4)->setFocus();
        QTest::keyClick(w.AttribChk(4), Qt::Key_Space);
        QCOMPARE(w.AttribChk(4)->checkState(), Qt::Unchecked);

        // The date switch makes the fields usable, in the field colour.
        w.TouchChk()->click();
        QVERIFY(w.DateTime(0)->isEnabled());
        QCOMPARE(w.DateTime(0)->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::Base));
        // A value out of range is corrected when the field is left; the focus comes back.
        w.DateTime(1)->setFocus();
        QTRY_VERIFY(w.DateTime(1)->hasFocus());
        w.DateTime(1)->setText(QStringLiteral("60"));
        w.Btn(5)->setFocus();
        QCOMPARE(w.DateTime(1)->text(), QStringLiteral("59"));
        QCOMPARE(f.toolkit.beeps, 1);
        QTRY_VERIFY(w.DateTime(1)->hasFocus());
        QCOMPARE(w.DateTime(1)->selectedText(), QStringLiteral("59"));
        w.ToolTipCheck()->click();
        QVERIFY(!w.Btn(8)->toolTip().isEmpty() && !w.Panel(2)->toolTip().isEmpty());

        // Enter presses the focused button, as Space does.
        w.Btn(2)->setFocus();
        QTest::keyClick(w.Btn(2), Qt::Key_Return);
        QCOMPARE(f.panel(1), QStringLiteral("1 Datei, davon 0 ausgewählt"));
    }

    void boxesAreGermanAndOwnedByTheWindow() {
        qtkit::loadGermanTranslations(); // Qt's own texts too, as in the fields' context menus
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Copy"), QStringLiteral("&Kopieren"));
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        qtkit::QtToolkit toolkit;
        toolkit.setOwner(&owner);
        using app::MessageAnswer, app::MessageStyle;
        // Answers with Alt+key, or with a click on the first button where there is no key.
        auto ask = [&](MessageStyle style, int key, MessageAnswer answer, QStringList buttons) {
            QStringList captions;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                QCOMPARE(box->parentWidget(), &owner);
                for (QAbstractButton* button : box->buttons())
                    captions << button->text();
                if (key)
                    QTest::keyClick(box->windowHandle(), Qt::Key(key), Qt::AltModifier);
                else
                    box->buttons().at(0)->click();
            });
            QVERIFY(toolkit.messageBox("Möchten Sie fortsetzen?", style, "Dateimark 2.5") ==
                    answer);
            captions.sort();
            QCOMPARE(captions, buttons);
        };
        ask(MessageStyle::YesNoStop, Qt::Key_N, MessageAnswer::No, {"&Ja", "&Nein"});
        ask(MessageStyle::YesNoStop, Qt::Key_J, MessageAnswer::Yes, {"&Ja", "&Nein"});
        ask(MessageStyle::OkPlain, 0, MessageAnswer::Ok, {"OK"});

        // A share's sign-in: proposed user, what is typed, "Kennwort merken"; "Abbrechen" is none.
        for (const bool cancel : {false, true}) {
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(box && box->parentWidget() == &owner);
                QVERIFY(box->findChild<QLabel*>()->text().contains("smb://nas:4450/daten"));
                const auto fields = box->findChildren<QLineEdit*>();
                QCOMPARE(fields.at(0)->text(), QStringLiteral("anna"));
                fields.at(2)->setText(QStringLiteral("geheim"));
                box->findChild<QCheckBox*>()->setChecked(true);
                for (QPushButton* button : box->findChildren<QPushButton*>())
                    if (button->text() == (cancel ? "Abbrechen" : "OK"))
                        button->click();
            });
            const auto answer = toolkit.askSignIn({"nas", "daten", 4450, "anna", "", false});
            QCOMPARE(answer.has_value(), !cancel);
            QVERIFY(cancel ||
                    (answer->user == "anna" && answer->password == "geheim" && answer->remember));
        }
    }

    void screenReadersHearNamesAndStates() {
        WindowFixture f;
        app::Form1Window& w = f.window;
        const fs::path r = f.file("r.txt");
        QVERIFY(!platform::writeAttributes(r, platform::attr::ReadOnly));
        f.drop({r, f.file("n.txt")});
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::PartiallyChecked);
        QVERIFY(QAccessible::queryAccessibleInterface(w.AttribChk(1))->state().checkStateMixed);
        // Every control the keys reach has a name: the fields have no caption of their own.
        for (QWidget* control : w.findChildren<QWidget*>()) {
            if (control->focusPolicy() & Qt::TabFocus && control->isVisibleTo(&w) &&
                !control->objectName().isEmpty())
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }
    }

    void accessKeysReachTheirControls() {
        WindowFixture f;
        app::Form1Window& w = f.window;
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
