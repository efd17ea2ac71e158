// The apply run end to end: drop a tree, set boxes and fields, press "&Start", read back.
#include "apply/module1.h"
#include "support/windowfixture.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>

#include <sys/stat.h>

namespace {

constexpr std::uint32_t R = platform::attr::ReadOnly, H = platform::attr::Hidden,
                        S = platform::attr::System, A = platform::attr::Archive;

std::uint32_t plain(std::uint32_t word) {
    return word & ~platform::attr::Directory;
}

std::string lastWriteText(const fs::path& p) {
    std::string text;
    platform::readLastWriteText(p, text);
    return text;
}

void setBoxes(app::Form1& w, Qt::CheckState r, Qt::CheckState a, Qt::CheckState s,
              Qt::CheckState h) {
    w.AttribChk(1)->setCheckState(r);
    w.AttribChk(2)->setCheckState(a);
    w.AttribChk(3)->setCheckState(s);
    w.AttribChk(4)->setCheckState(h);
}

const QString Done = QStringLiteral("Fertig");

} // namespace

class ApplyTest : public QObject {
    Q_OBJECT

private slots:
    void boxesMakeTheNewWord() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path file = f.file("x.txt", R | A);
        f.drop({file});
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::Checked);
        setBoxes(w, Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked, Qt::Unchecked);
        w.Btn(8)->click();
        QCOMPARE(plain(f.word(file)), A | S); // 33 -> 36
        QCOMPARE(f.panel(2), Done);
        QVERIFY(f.statusTexts.contains(QStringLiteral("Attribute werden übertragen: ") +
                                       QString::fromStdString(file.string())));
        QVERIFY(f.toolkit.messages.empty());
        QCOMPARE(w.Bar()->value(), 0);
        QCOMPARE(w.Bar()->maximum(), 1);
        // The closing check shows the new letters and presets the boxes from them.
        QCOMPARE(f.cell(0, filelist::SColumn), QStringLiteral("S"));
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::Unchecked);
        QCOMPARE(w.AttribChk(3)->checkState(), Qt::Checked);
    }

    void aClickTicksAnEmptyBoxAndAPresetGrayedBoxComesBack() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path none = f.file("none.txt");
        const fs::path readOnly = f.file("r.txt", R);
        f.drop({none});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.AttribChk(4), Qt::LeftButton);
        QCOMPARE(w.AttribChk(4)->checkState(), Qt::Checked);
        w.AttribChk(2)->setFocus();
        QTest::keyClick(w.AttribChk(2), Qt::Key_Space);
        QCOMPARE(w.AttribChk(2)->checkState(), Qt::Checked);
        QTest::keyClick(w.AttribChk(2), Qt::Key_Space);
        QCOMPARE(w.AttribChk(2)->checkState(), Qt::Unchecked);
        w.Btn(8)->click();
        QCOMPARE(plain(f.word(none)), H);

        // Mixed: ticked, empty, and back to "leave each as it is".
        f.drop({readOnly});
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::PartiallyChecked);
        for (Qt::CheckState next : {Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked}) {
            QTest::mouseClick(w.AttribChk(1), Qt::LeftButton);
            QCOMPARE(w.AttribChk(1)->checkState(), next);
        }
        w.Btn(8)->click();
        QCOMPARE(plain(f.word(none)), H);
        QCOMPARE(plain(f.word(readOnly)), R);
    }

    void grayedBoxesKeepEachFilesOwnBit() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path hidden = f.file("h.txt", H | A);
        const fs::path shown = f.file("s.txt", A);
        const fs::path unmarked = f.file("u.txt", H);
        f.drop({hidden, shown, unmarked});
        f.form->model().setMarked(std::size_t(f.rowOf(unmarked)), false);
        w.Liste_Click();
        QCOMPARE(w.AttribChk(4)->checkState(), Qt::PartiallyChecked);
        QCOMPARE(w.AttribChk(2)->checkState(), Qt::Checked);
        w.AttribChk(3)->setCheckState(Qt::Checked);
        w.Btn(8)->click();
        QCOMPARE(plain(f.word(hidden)), H | A | S);
        QCOMPARE(plain(f.word(shown)), A | S);
        QCOMPARE(plain(f.word(unmarked)), H);
    }

    void touchingGivesFilesTheEnteredMomentAndSparesFolders() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path folder = f.folder("ordner");
        const fs::path readOnly = f.file("ro.txt", R);
        const fs::path other = f.file("ro2.txt", R | H);
        const std::string folderTime = lastWriteText(folder);
        Module1::TouchTime = {12, 0, 0, 15, 1, 2024}; // a winter date
        f.drop({folder, readOnly});
        w.TouchChk()->click();
        w.AttribChk(1)->setCheckState(Qt::Unchecked);
        w.AttribChk(4)->setCheckState(Qt::Checked);
        w.Btn(8)->click();
        QVERIFY(f.toolkit.messages.empty());
        QCOMPARE(f.panel(2), Done);
        QCOMPARE(lastWriteText(readOnly), std::string("15.01.2024 12:00:00"));
        QCOMPARE(plain(f.word(readOnly)), H);
        QCOMPARE(lastWriteText(folder), folderTime);
        QCOMPARE(plain(f.word(folder)), H);

        // With R checked the file is read-only again after its time was written; a summer
        // date is stored without a shift of an hour.
        Module1::TouchTime = {12, 0, 0, 15, 7, 2024};
        f.drop({other});
        w.Btn(2)->click();
        f.form->model().setMarked(std::size_t(f.rowOf(other)), true);
        w.Liste_Click();
        QCOMPARE(w.AttribChk(1)->checkState(), Qt::Checked);
        w.Btn(8)->click();
        QCOMPARE(lastWriteText(other), std::string("15.07.2024 12:00:00"));
        QCOMPARE(plain(f.word(other)), R | H);
        struct stat st {};
        QCOMPARE(::stat(other.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0222, 0u);
    }

    void failuresAskAndYesGoesOnNoStops() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path top = f.file("1.txt");
        const fs::path gone = f.file("2.txt");
        const fs::path bottom = f.file("3.txt");
        f.drop({bottom, gone, top}); // top row is the last added
        w.Liste_ColumnClick(2);      // by name: 1, 2, 3 from the top
        fs::remove(gone);
        w.AttribChk(4)->setCheckState(Qt::Checked);

        f.toolkit.answers = {platform::MessageAnswer::Yes};
        w.Btn(8)->click();
        QCOMPARE(f.toolkit.messages.size(), std::size_t(1));
        const RecordedMessage& question = f.toolkit.messages[0];
        QCOMPARE(question.text, "Folgendes Objekt ließ sich nicht bearbeiten:\r" + gone.string() +
                                    "\r\rGrund:\r" + std::strerror(ENOENT) + " (Code " +
                                    std::to_string(ENOENT) + ")\r\rMöchten Sie fortsetzen?");
        QVERIFY(question.style == platform::MessageStyle::YesNoStop);
        QCOMPARE(question.title, std::string("Dateimark 2.5"));
        QCOMPARE(f.panel(2), Done);
        QCOMPARE(plain(f.word(top)), H);
        QCOMPARE(plain(f.word(bottom)), H);
        QCOMPARE(f.cell(1, filelist::DateColumn), QStringLiteral("nicht gefunden"));

        // No: rows above the failing one (visited later) stay as they are.
        w.Btn(1)->click();
        w.AttribChk(4)->setCheckState(Qt::Unchecked);
        f.toolkit.answers = {platform::MessageAnswer::No};
        w.Btn(8)->click();
        QCOMPARE(f.toolkit.messages.size(), std::size_t(2));
        QCOMPARE(f.panel(2), QStringLiteral("Abgebrochen"));
        QCOMPARE(plain(f.word(bottom)), 0u);
        QCOMPARE(plain(f.word(top)), H);
        QCOMPARE(w.Bar()->value(), 0);
        QVERIFY(f.toolkit.pointers.back() == platform::Pointer::Default);
    }

    void rowsAreVisitedFromTheBottomUp() {
        WindowFixture f;
        const fs::path a = f.file("a.txt");
        const fs::path b = f.file("b.txt");
        f.drop({a, b});
        f.form->Liste_ColumnClick(2);
        fs::remove(a);
        fs::remove(b);
        f.form->Btn(8)->click();
        QCOMPARE(f.toolkit.messages.size(), std::size_t(2));
        QVERIFY(f.toolkit.messages[0].text.find(b.string()) != std::string::npos);
        QVERIFY(f.toolkit.messages[1].text.find(a.string()) != std::string::npos);
    }

    void aTimeThatCannotBeSetIsAFailureAndTheFileKeepsItsAttributes() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path file = f.file("h.txt", H | S);
        const std::string before = lastWriteText(file);
        f.drop({file});
        w.TouchChk()->click();
        // No such day: the writer refuses it.
        Module1::TouchTime = {12, 0, 0, 31, 2, 2023};
        w.Btn(8)->click();
        QCOMPARE(f.toolkit.messages.size(), std::size_t(1));
        QVERIFY(f.toolkit.messages[0].text.find("Datum und Zeit nicht gesetzt") !=
                std::string::npos);
        QCOMPARE(plain(f.word(file)), H | S);
        QCOMPARE(lastWriteText(file), before);
        QCOMPARE(f.panel(2), Done);
    }

    void aRowThatFailsAfterItsWordWasClearedGetsItBack() {
        // ramfs keeps no extended attributes: R (the mode bits) can be set there, H cannot.
        WindowFixture f;
        const fs::path mountPoint = f.folder("ramfs");
        if (::geteuid() != 0 ||
            std::system(
                ("mount -t ramfs none '" + mountPoint.string() + "' 2>/dev/null").c_str()) != 0)
            QSKIP("needs root to mount a file system without extended attributes");
        struct Unmount {
            fs::path at;
            ~Unmount() { std::system(("umount '" + at.string() + "'").c_str()); }
        } unmount{mountPoint};
        const fs::path file = mountPoint / "ro.txt";
        std::ofstream(file) << "x";
        QVERIFY(!platform::writeAttributes(file, R));
        f.drop({file});
        f.form->TouchChk()->click();
        f.form->AttribChk(4)->setCheckState(Qt::Checked);
        f.form->Btn(8)->click();
        QCOMPARE(f.toolkit.messages.size(), std::size_t(1));
        QVERIFY(f.toolkit.messages[0].text.find("(Code " + std::to_string(EOPNOTSUPP) + ")") !=
                std::string::npos);
        // Still read-only, not stripped by the clearing for the time stamp.
        QCOMPARE(plain(f.word(file)), R);
    }

    void wordsAndListsBeyondSixteenBits() {
        WindowFixture f;
        app::Form1& w = *f.form;
        const fs::path folder = f.folder("viele");
        for (int i = 0; i < 33000; ++i)
            std::ofstream(folder / std::to_string(i));
        const fs::path big = f.file("gross.txt");
        // An attribute word above 32767 (INTEGRITY_STREAM) passes through.
        QVERIFY(!platform::writeAttributes(big, 0x8000 | A));
        f.drop({folder, big});
        QCOMPARE(f.rows(), std::size_t(33002));
        w.AttribChk(3)->setCheckState(Qt::Checked);
        w.Btn(8)->click();
        QVERIFY(f.toolkit.messages.empty());
        QCOMPARE(f.panel(2), Done);
        QCOMPARE(plain(f.word(big)), 0x8000u | A | S);
        QCOMPARE(plain(f.word(folder / "0")), S);
        QCOMPARE(f.panel(1), QStringLiteral("33002 Dateien, davon 33002 ausgewählt"));
    }
};

QTEST_MAIN(ApplyTest)
#include "apply_test.moc"
