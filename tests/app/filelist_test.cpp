// Dropping onto the list, the situation check, the selection commands and sorting, on real
// temporary trees.
#include "support/windowfixture.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <cstring>

using filelist::DateColumn;
using filelist::NameColumn;
using filelist::TypeColumn;

namespace {
const QString Finished = QStringLiteral("Eintragung beendet");
std::uint32_t plain(std::uint32_t word) {
    return word & ~platform::attr::Directory;
}
} // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void droppingAFolderListsEverythingBelowIt() {
        WindowFixture f;
        const fs::path x = f.folder("X");
        f.file("X/a");
        f.file("X/P/p1");
        f.file("X/b");
        f.file("X/Q/q1");
        f.file("X/.profile");
        f.file("X/Q/.hidden", platform::attr::Hidden);
        f.drop({x});
        QCOMPARE(f.rows(), std::size_t(7)); // X itself, a, b, p1, q1, P, Q
        QVERIFY(f.rowOf(x) >= 0);
        QCOMPARE(f.rowOf(x / ".profile"), -1);
        QCOMPARE(f.panel(2), Finished);
        QCOMPARE(f.panel(1), QStringLiteral("7 Dateien, davon 7 ausgewählt"));
        QCOMPARE(f.form->Bar()->value(), 0);
        QCOMPARE(f.form->Bar()->maximum(), 1);
        QVERIFY(f.form->model().sorted());
        QCOMPARE(f.cell(std::size_t(f.rowOf(x)), TypeColumn), QStringLiteral("Ordner"));
        QCOMPARE(f.cell(std::size_t(f.rowOf(x / "a")), TypeColumn), QStringLiteral("Datei"));
        // Sorted by the type word: files first.
        QCOMPARE(f.cell(0, TypeColumn), QStringLiteral("Datei"));
        QCOMPARE(f.cell(6, TypeColumn), QStringLiteral("Ordner"));
        QVERIFY(!f.cell(0, DateColumn).isEmpty());
        QVERIFY(f.toolkit.pointers.back() == platform::Pointer::Default);

        // The same folder again adds nothing; a file dropped directly is listed even with a dot.
        f.drop({x, x / ".profile"});
        QCOMPARE(f.rows(), std::size_t(8));
        QVERIFY(f.rowOf(x / ".profile") >= 0);
    }

    void dropsAreTakenAsCopiesNeverAsMoves() {
        // A move accepted here would make the file manager delete the dropped files.
        QMimeData data;
        QDropEvent move(QPointF(5, 5), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::ShiftModifier);
        QCOMPARE(move.proposedAction(), Qt::MoveAction);
        QVERIFY(filelist::takeAsCopy(&move));
        QVERIFY(move.isAccepted());
        QCOMPARE(move.dropAction(), Qt::CopyAction);
        QDropEvent moveOnly(QPointF(5, 5), Qt::MoveAction, &data, Qt::LeftButton, {});
        QVERIFY(!filelist::takeAsCopy(&moveOnly));
        QVERIFY(!moveOnly.isAccepted());
    }

    void dropsWithoutFileNamesAreRefusedAndQuestionMarksListed() {
        WindowFixture f;
        QMimeData text;
        text.setText(QStringLiteral("Hallo"));
        f.form->Liste_OLEDragDrop(text);
        // The box waits until the drop event has returned to the file manager.
        QVERIFY(f.toolkit.messages.empty());
        QTRY_COMPARE(f.toolkit.messages.size(), std::size_t(1));
        QCOMPARE(f.toolkit.messages[0].text,
                 std::string("Bitte nur Datei- und Verzeichnisnamen in die Liste ziehen."));
        QVERIFY(f.toolkit.messages[0].style == platform::MessageStyle::OkInformation);
        QCOMPARE(f.toolkit.messages[0].title, std::string("Dateimark 2.5"));
        QCOMPARE(f.rows(), std::size_t(0));
        QCOMPARE(f.panel(2),
                 QStringLiteral("Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ..."));

        // On Linux "?" is an ordinary character of a name.
        const fs::path odd = f.file("wer?.txt");
        f.drop({f.file("eins"), odd, f.file("drei")});
        QCOMPARE(f.toolkit.messages.size(), std::size_t(1));
        QVERIFY(f.rowOf(odd) >= 0);
        QCOMPARE(f.rows(), std::size_t(3));
        QCOMPARE(f.form->Bar()->maximum(), 3);
        QVERIFY(f.statusTexts.contains(QStringLiteral("Die Liste wird aufgefüllt: ") +
                                       QString::fromStdString(odd.string())));
    }

    void namesArriveAsTheirBytesAndLinksAsTheirTargets() {
        WindowFixture f;
        const fs::path latin1 = f.file("caf\xE9.txt");
        const fs::path target = f.file("ziel.txt");
        const fs::path link = f.root() / "verweis";
        fs::create_symlink(target, link);
        const fs::path brief = f.file("Brief.txt");
        const fs::path lower = f.file("brief.txt");
        f.drop({latin1, link, brief, lower});
        QCOMPARE(f.rows(), std::size_t(4));
        QVERIFY(f.rowOf(latin1) >= 0);
        QVERIFY(f.rowOf(fs::canonical(target)) >= 0);
        QCOMPARE(f.rowOf(link), -1);
        QVERIFY(f.rowOf(lower) >= 0 && f.rowOf(brief) >= 0);
        fs::remove(latin1); // QTemporaryDir cannot name it to remove it
    }

    void unreadableEntriesAreSkippedAndCounted() {
        WindowFixture f;
        const fs::path x = f.folder("X");
        f.file("X/a");
        f.file("X/Q/q1");
        f.file("X/Q/q2");
        // The subfolder vanishes after X was listed, before it is entered.
        bool removed = false;
        f.toolkit.onYield = [&] {
            if (!removed)
                removed = fs::remove_all(x / "Q") > 0;
        };
        f.drop({f.root() / "gibt-es-nicht", x});
        QVERIFY(removed);
        QVERIFY(f.statusTexts.contains(
            QStringLiteral("Übersprungen: %1 (%2)")
                .arg(QString::fromStdString((f.root() / "gibt-es-nicht").string()),
                     QString::fromLocal8Bit(std::strerror(ENOENT)))));
        QCOMPARE(f.panel(2), QStringLiteral("Eintragung beendet (2 Einträge übersprungen)"));
        QVERIFY(f.rowOf(x / "a") >= 0);
        // Q was found before it vanished: its row stays and says so.
        const int q = f.rowOf(x / "Q");
        QVERIFY(q >= 0);
        QCOMPARE(f.cell(std::size_t(q), DateColumn), QStringLiteral("nicht gefunden"));

        f.toolkit.onYield = nullptr;
        f.drop({f.root() / "weg"});
        QCOMPARE(f.panel(2), QStringLiteral("Eintragung beendet (1 Eintrag übersprungen)"));
    }

    void aDropReleasesTheSourceAndNothingButMarkingRunsMeanwhile() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path x = f.folder("X");
        for (int i = 0; i < 200; ++i)
            f.file("X/f" + std::to_string(i));
        const fs::path other = f.file("anders.txt");
        w.Liste_OLEDragDrop(*WindowFixture::uriList({x}));
        // The drop event has returned before a single row was entered.
        QVERIFY(w.dropRunning());
        QCOMPARE(f.rows(), std::size_t(0));
        int yields = 0;
        f.toolkit.onYield = [&] {
            ++yields;
            QVERIFY(!w.Liste()->acceptingDrops());
            w.Liste_OLEDragDrop(*WindowFixture::uriList({other}));
            w.Liste_ColumnClick(2);
            w.Btn(3)->click(); // marking during a drop does no harm
            w.Btn(3)->click();
            w.Liste_Click();
            w.AttribChk(4)->preset(Qt::Checked);
            for (int index : {0, 4, 8}) {
                QVERIFY(!w.Btn(index)->isEnabled());
                w.Btn_Click(index);
            }
        };
        QTRY_VERIFY(!w.dropRunning());
        QVERIFY(yields >= 3);
        QCOMPARE(f.rowOf(other), -1);
        QCOMPARE(w.LastSortColumn(), std::int16_t(0));
        QCOMPARE(f.rows(), std::size_t(201));
        QCOMPARE(plain(f.word(x / "f0")), 0u);
        QVERIFY(w.Liste()->acceptingDrops());
        for (int index : {0, 4, 8})
            QVERIFY(w.Btn(index)->isEnabled());
        QCOMPARE(f.panel(1), QStringLiteral("201 Dateien, davon 201 ausgewählt"));
        QCOMPARE(w.AddCounter(), std::int16_t(201 % 64));
    }

    void endingStopsTheExpansionAtOnce() {
        WindowFixture f;
        fs::path deep = f.root() / "tief";
        for (int i = 0; i < 60; ++i)
            deep /= "d" + std::to_string(i);
        fs::create_directories(deep);
        int yields = 0, after = 0;
        f.toolkit.onYield = [&] {
            if (++yields == 3)
                f.form->Btn_Click(9);
            else if (yields > 3)
                ++after;
        };
        f.drop({f.root() / "tief"});
        QVERIFY(!f.form->isVisible());
        QCOMPARE(after, 0);
        QVERIFY(f.rows() < 10);
    }

    void situationCheckPresetsTheBoxesFromTheMarkedFiles() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path ra = f.file("ra.txt", platform::attr::ReadOnly | platform::attr::Archive);
        const fs::path h = f.file("h.txt", platform::attr::Hidden);
        f.drop({ra, h});
        f.markOnly({f.rowOf(ra)});
        w.Liste_Click();
        const std::size_t r = std::size_t(f.rowOf(ra));
        QCOMPARE(f.cell(r, filelist::RColumn), QStringLiteral("R"));
        QCOMPARE(f.cell(r, filelist::AColumn), QStringLiteral("A"));
        QCOMPARE(f.cell(r, filelist::SColumn), QString());
        QCOMPARE(f.cell(std::size_t(f.rowOf(h)), filelist::HColumn), QStringLiteral("H"));
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::Checked);
        QCOMPARE(w.AttribChk(2)->checkState(), Qt::Checked);
        QCOMPARE(w.AttribChk(3)->checkState(), Qt::Unchecked);
        QCOMPARE(w.AttribChk(4)->checkState(), Qt::Unchecked);
        QCOMPARE(f.panel(1), QStringLiteral("2 Dateien, davon 1 ausgewählt"));

        w.Btn(1)->click();
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::PartiallyChecked);
        QCOMPARE(w.AttribChk(4)->checkState(), Qt::PartiallyChecked);

        // A box changed by the user is derived afresh by the next check.
        w.AttribChk(1)->setCheckState(Qt::Unchecked);
        w.TouchChk()->click();
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::PartiallyChecked);
        QVERIFY(w.DateTime(0)->isEnabled());

        // No mark: the switch stays ticked but is disabled, and so are the fields.
        w.Btn(2)->click();
        QVERIFY(w.TouchChk()->isChecked());
        QVERIFY(!w.TouchChk()->isEnabled());
        QVERIFY(!w.DateTime(0)->isEnabled());
        QVERIFY(!w.Btn(8)->isEnabled());
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::Unchecked);
        QCOMPARE(f.panel(1), QStringLiteral("2 Dateien, davon 0 ausgewählt"));
        QVERIFY(!f.cell(r, DateColumn).isEmpty());

        w.Btn(4)->click();
        QCOMPARE(f.rows(), std::size_t(2)); // nothing marked, nothing removed
        f.markOnly({0});
        w.Liste_Click();
        w.Btn(4)->click();
        QCOMPARE(f.panel(1), QStringLiteral("1 Datei, davon 0 ausgewählt"));
    }

    void aVanishedOrUnreadableEntryKeepsItsRowAndSaysWhich() {
        WindowFixture f;
        const fs::path a = f.file("a.txt", platform::attr::Hidden);
        const fs::path b = f.file("b.txt", platform::attr::Hidden);
        f.drop({a, b});
        fs::remove(a);
        // b is still there by name, but cannot be read: a link to itself.
        fs::remove(b);
        fs::create_symlink(b.filename(), b);
        f.form->Liste_Click();
        QCOMPARE(f.cell(std::size_t(f.rowOf(a)), DateColumn), QStringLiteral("nicht gefunden"));
        QCOMPARE(f.cell(std::size_t(f.rowOf(b)), DateColumn), QStringLiteral("kein Zugriff"));
        QCOMPARE(f.cell(0, filelist::HColumn), QString());
        QCOMPARE(f.panel(1), QStringLiteral("2 Dateien, davon 2 ausgewählt"));
        QVERIFY(f.form->Btn(8)->isEnabled());
        QCOMPARE(f.form->AttribChk(4)->checkState(), Qt::Unchecked);
    }

    void selectionCommandsAndGestures() {
        WindowFixture f;
        app::Form1& w = *f.form;
        w.Btn(3)->click(); // nothing to invert
        QCOMPARE(f.rows(), std::size_t(0));
        f.drop({f.file("1"), f.file("2"), f.file("3"), f.file("4")});
        f.markOnly({0, 2});
        w.Btn(3)->click();
        QVERIFY(!w.model().isMarked(0) && w.model().isMarked(1));
        QVERIFY(!w.model().isMarked(2) && w.model().isMarked(3));
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 2 ausgewählt"));
        w.ListeSelect(3);
        QVERIFY(w.model().isMarked(1) && !w.model().isMarked(0));

        f.markOnly({1, 2});
        const QString first = f.name(0), last = f.name(3);
        w.ClearAllSelectedItems();
        QCOMPARE(f.rows(), std::size_t(2));
        QCOMPARE(f.name(0), first);
        QCOMPARE(f.name(1), last);
        QVERIFY(!w.model().isMarked(0) && !w.model().isMarked(1));

        // Mouse: a click marks the row alone, Ctrl adds, Shift marks the range.
        f.drop({f.file("5"), f.file("6")});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto rowPoint = [&](int row) {
            return w.Liste()->visualRect(w.model().index(row, NameColumn)).center();
        };
        QWidget* viewport = w.Liste()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowPoint(1));
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 1 ausgewählt"));
        QVERIFY(w.model().isMarked(1));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowPoint(3));
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 2 ausgewählt"));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, rowPoint(0));
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 4 ausgewählt"));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowPoint(2));
        QVERIFY(!w.model().isMarked(2));
        // The keyboard moves the mark without a situation check.
        w.Liste()->setFocus();
        QTest::keyClick(w.Liste(), Qt::Key_Down);
        QCOMPARE(w.model().rows().markedCount(), std::size_t(1));
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 3 ausgewählt"));
        QTest::keyClick(w.Liste(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.model().rows().markedCount(), std::size_t(4));
    }

    void headerClicksChooseTheColumnAndFlipTheDirection() {
        WindowFixture f;
        app::Form1& w = *f.form;
        f.folder("dir");
        f.drop({f.file("b"), f.file("C"), f.file("a"), f.root() / "dir"});
        auto names = [&] {
            QStringList list;
            for (std::size_t i = 0; i < f.rows(); ++i)
                list << QString::fromStdString(fs::path(f.name(i).toStdString()).filename());
            return list;
        };
        w.Liste_ColumnClick(2);
        QCOMPARE(names(), (QStringList{"a", "b", "C", "dir"}));
        w.Liste_ColumnClick(2);
        QCOMPARE(names(), (QStringList{"dir", "C", "b", "a"}));
        w.Liste_ColumnClick(2);
        QCOMPARE(names(), (QStringList{"a", "b", "C", "dir"}));
        w.Liste_ColumnClick(2);
        // A new column keeps the direction last used.
        w.Liste_ColumnClick(1);
        QCOMPARE(f.cell(0, TypeColumn), QStringLiteral("Ordner"));
        QCOMPARE(w.LastSortColumn(), std::int16_t(1));
        w.Liste_ColumnClick(2);
        QCOMPARE(names(), (QStringList{"dir", "C", "b", "a"}));
        QCOMPARE(f.panel(1), QStringLiteral("4 Dateien, davon 4 ausgewählt"));
    }
};

QTEST_MAIN(FileListTest)
#include "filelist_test.moc"
