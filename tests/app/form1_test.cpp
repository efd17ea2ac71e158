// The window's logic through a double of its controls and of the toolkit, on real temporary
// trees: start-up, drops, the situation check, selection, sorting, the fields, the apply run and
// the hints. The same cases run on Linux and, built with mingw-w64, under Wine.
#include "app/form1.h"
#include "apply/module1.h"
#include "platform/fileservices.h"
#include "platform/scratch.h"
#include "support/formfixture.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using app::Ctl;
using filelist::DateColumn;
using filelist::NameColumn;
using filelist::TypeColumn;
namespace attr = platform::attr;
constexpr std::uint32_t R = attr::ReadOnly, H = attr::Hidden, S = attr::System, A = attr::Archive;

// The bits the tests compare; Wine reports A for every file.
std::uint32_t shown(std::uint32_t word) {
    return word & (R | H | S | A) & ~(scratch::underWine() ? A : 0u);
}

using Form1Test = FormFixture;

const std::string EmptyListHint = "Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ...";

TEST_F(Form1Test, StartsEmptyWithEverythingThatNeedsAMarkDisabled) {
    EXPECT_EQ(ui.caption, "Dateimark 2.5");
    EXPECT_EQ(panel(2), EmptyListHint);
    EXPECT_EQ(panel(1), "0 Dateien, davon 0 ausgewählt");
    for (int index : {4, 8})
        EXPECT_FALSE(ui.isEnabled(Ctl::Btn, index)) << index;
    EXPECT_TRUE(ui.isEnabled(Ctl::Btn, 0));
    for (int k = 1; k <= 4; ++k) {
        EXPECT_FALSE(ui.isEnabled(Ctl::AttribChk, k));
        EXPECT_EQ(ui.value(Ctl::AttribChk, k), 0);
    }
    EXPECT_FALSE(ui.isEnabled(Ctl::TouchChk));
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(ui.isEnabled(Ctl::DateTime, i));
        EXPECT_FALSE(ui.inUse(Ctl::DateTime, i));
        EXPECT_EQ(ui.text(Ctl::DateTime, i), std::to_string(Module1::TouchTime[std::size_t(i)]));
    }
    EXPECT_EQ(ui.hint(Ctl::ToolTipCheck, 0), "Schaltet die automatischen Hinweise ein oder aus");
    EXPECT_TRUE(ui.hint(Ctl::Btn, 8).empty());
    EXPECT_EQ(ui.pointers.back(), platform::Pointer::Default);
}

TEST_F(Form1Test, DroppingAFolderListsEverythingBelowIt) {
    const fs::path x = dir.folder("X");
    for (const char* name : {"X/a", "X/P/p1", "X/b", "X/Q/q1", "X/.profile"})
        file(name);
    drop({x});
    // a, b, p1, q1, P, Q, and X itself but where a drive letter names it
    const std::size_t own = scratch::OnWindows ? 0 : 1;
    EXPECT_EQ(rows(), 6 + own);
    EXPECT_EQ(rowOf(x) >= 0, own == 1);
    EXPECT_EQ(rowOf(x / ".profile"), -1);
    EXPECT_EQ(panel(2), "Eintragung beendet");
    EXPECT_TRUE(statusSaid("Die Liste wird aufgefüllt: " + display(x / "a")));
    EXPECT_EQ(panel(1), std::to_string(6 + own) + " Dateien, davon " + std::to_string(6 + own) +
                            " ausgewählt");
    EXPECT_EQ(ui.barValue, 0);
    EXPECT_EQ(ui.barMax, 1);
    EXPECT_TRUE(form.sorted());
    // Sorted by the type word: files first.
    EXPECT_EQ(cell(0, TypeColumn), "Datei");
    EXPECT_EQ(cell(5 + own, TypeColumn), "Ordner");
    EXPECT_FALSE(cell(0, DateColumn).empty());
    EXPECT_TRUE(ui.isEnabled(Ctl::Btn, 8));

    // The same folder again adds nothing; a file dropped directly is listed even with a dot.
    drop({x, x / ".profile"});
    EXPECT_EQ(rows(), 7 + own);
    EXPECT_GE(rowOf(x / ".profile"), 0);
}

TEST_F(Form1Test, DropsWithoutNamesAreRefusedAndQuestionMarksOnlyOnWindows) {
    form.Liste_OLEDragDrop({});
    // The box waits until the drop event has returned to the file manager.
    EXPECT_TRUE(toolkit.messages.empty());
    toolkit.runLater();
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text,
              "Bitte nur Datei- und Verzeichnisnamen in die Liste ziehen.");
    EXPECT_EQ(toolkit.messages[0].style, platform::MessageStyle::OkInformation);
    EXPECT_EQ(toolkit.messages[0].title, "Dateimark 2.5");
    EXPECT_EQ(panel(2), EmptyListHint);

    // On Windows a "?" stands for a character the shell could not give; on Linux it is a
    // character like any other.
    const fs::path odd = scratch::OnWindows ? dir.path() / "wer?.txt" : file("wer?.txt");
    drop({file("eins"), odd, file("drei")});
    EXPECT_EQ(ui.barMax, 3);
    if (scratch::OnWindows) {
        ASSERT_EQ(toolkit.messages.size(), 2u);
        EXPECT_EQ(toolkit.messages[1].text, "Der Verzeichnisname '" + display(odd) +
                                                "'\renthält ungültige Zeichen und wird daher "
                                                "nicht berücksichtigt.");
        EXPECT_EQ(toolkit.messages[1].style, platform::MessageStyle::OkPlain);
        EXPECT_EQ(rows(), 2u);
    } else {
        EXPECT_EQ(toolkit.messages.size(), 1u);
        EXPECT_GE(rowOf(odd), 0);
        EXPECT_EQ(rows(), 3u);
    }
}

TEST_F(Form1Test, LinksArriveAsTheirTargetsAndCaseCountsWhereTheSystemSaysSo) {
    const fs::path brief = file("Brief.txt");
    const fs::path lower = scratch::OnWindows ? dir.path() / "brief.txt" : file("brief.txt");
    drop({brief, lower});
    // One file on Windows, two on Linux.
    EXPECT_EQ(rows(), scratch::OnWindows ? 1u : 2u);

    const fs::path target = file("ziel.txt");
    if (!scratch::makeLink(dir.path() / "verweis", target))
        GTEST_SKIP() << "no symbolic links here";
    drop({dir.path() / "verweis"});
    EXPECT_GE(rowOf(fs::canonical(target)), 0);
    EXPECT_EQ(rowOf(dir.path() / "verweis"), -1);
}

TEST_F(Form1Test, UnreadableEntriesAreSkippedAndCounted) {
    const fs::path x = dir.folder("X");
    file("X/a");
    file("X/Q/q1");
    file("X/Q/q2");
    // The subfolder vanishes after X was listed, before it is entered.
    bool removed = false;
    toolkit.onYield = [&] {
        if (!removed)
            removed = fs::remove_all(x / "Q") > 0;
    };
    const fs::path missing = dir.path() / "gibt-es-nicht";
    drop({missing, x});
    EXPECT_TRUE(removed);
    EXPECT_EQ(panel(2), "Eintragung beendet (2 Einträge übersprungen)");
    EXPECT_TRUE(std::any_of(ui.statusTexts.begin(), ui.statusTexts.end(), [&](auto& text) {
        return text.starts_with("Übersprungen: " + display(missing) + " (");
    }));
    EXPECT_GE(rowOf(x / "a"), 0);
    // Q was found before it vanished: its row stays and says so.
    const int q = rowOf(x / "Q");
    ASSERT_GE(q, 0);
    EXPECT_EQ(cell(std::size_t(q), DateColumn), "nicht gefunden");

    toolkit.onYield = nullptr;
    drop({dir.path() / "weg"});
    EXPECT_EQ(panel(2), "Eintragung beendet (1 Eintrag übersprungen)");
}

TEST_F(Form1Test, ADropReleasesTheSourceAndOnlyMarkingRunsMeanwhile) {
    const fs::path x = dir.folder("X");
    for (int i = 0; i < 200; ++i)
        file("X/f" + std::to_string(i));
    const fs::path other = file("anders.txt");
    form.Liste_OLEDragDrop({x.native()});
    // The drop event has returned before a single row was entered.
    EXPECT_TRUE(form.dropRunning());
    EXPECT_EQ(rows(), 0u);
    int yields = 0;
    toolkit.onYield = [&] {
        ++yields;
        EXPECT_FALSE(ui.acceptingDrops);
        form.Liste_OLEDragDrop({other.native()});
        form.Liste_ColumnClick(2);
        form.Btn_Click(3); // marking during a drop does no harm
        form.Btn_Click(3);
        form.Liste_Click();
        ui.values[{Ctl::AttribChk, 4}] = 1;
        for (int index : {0, 4, 8}) {
            EXPECT_FALSE(ui.isEnabled(Ctl::Btn, index)) << index;
            form.Btn_Click(index);
        }
    };
    toolkit.runLater();
    EXPECT_GE(yields, 3);
    toolkit.runLater(); // the refused drop left nothing behind
    EXPECT_EQ(rowOf(other), -1);
    EXPECT_EQ(form.LastSortColumn(), 0);
    const std::size_t own = scratch::OnWindows ? 0 : 1; // X's own row
    EXPECT_EQ(rows(), 200 + own);
    EXPECT_EQ(shown(scratch::wordOf(x / "f0")), 0u);
    EXPECT_TRUE(ui.acceptingDrops);
    for (int index : {0, 4, 8})
        EXPECT_TRUE(ui.isEnabled(Ctl::Btn, index)) << index;
    EXPECT_EQ(panel(1), std::to_string(200 + own) + " Dateien, davon " + std::to_string(200 + own) +
                            " ausgewählt");
    EXPECT_EQ(form.AddCounter(), int(200 + own) % 64);
}

TEST_F(Form1Test, EndingStopsTheExpansionAtOnce) {
    fs::path deep = dir.path() / "tief";
    for (int i = 0; i < 20; ++i)
        deep /= "d" + std::to_string(i);
    fs::create_directories(deep);
    int yields = 0, after = 0;
    toolkit.onYield = [&] {
        if (++yields == 3)
            form.Btn_Click(9);
        else if (yields > 3)
            ++after;
    };
    drop({dir.path() / "tief"});
    EXPECT_TRUE(ui.ended);
    EXPECT_EQ(after, 0);
    EXPECT_FALSE(form.dropRunning());
    EXPECT_LT(rows(), 10u);
}

TEST_F(Form1Test, SituationCheckPresetsTheBoxesFromTheMarkedFiles) {
    const fs::path ra = file("ra.txt", R | A);
    const fs::path h = file("h.txt", H);
    drop({ra, h});
    markOnly({rowOf(ra)});
    form.Liste_Click();
    const auto r = std::size_t(rowOf(ra));
    EXPECT_EQ(cell(r, filelist::RColumn), "R");
    EXPECT_EQ(cell(r, filelist::SColumn), "");
    EXPECT_EQ(cell(std::size_t(rowOf(h)), filelist::HColumn), "H");
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 1);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 3), 0);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 0);
    EXPECT_EQ(panel(1), "2 Dateien, davon 1 ausgewählt");

    form.Btn_Click(1);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 2);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 2);

    // A box changed by the user is derived afresh by the next check.
    ui.values[{Ctl::AttribChk, 1}] = 0;
    ui.values[{Ctl::TouchChk, 0}] = 1;
    form.TouchChk_Click();
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 2);
    EXPECT_TRUE(ui.isEnabled(Ctl::DateTime, 0));
    EXPECT_TRUE(ui.inUse(Ctl::DateTime, 0));

    // No mark: the switch stays ticked but is disabled, and so are the fields.
    form.Btn_Click(2);
    EXPECT_EQ(ui.value(Ctl::TouchChk), 1);
    EXPECT_FALSE(ui.isEnabled(Ctl::TouchChk));
    EXPECT_FALSE(ui.isEnabled(Ctl::DateTime, 0));
    EXPECT_FALSE(ui.isEnabled(Ctl::Btn, 8));
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 0);
    EXPECT_EQ(panel(1), "2 Dateien, davon 0 ausgewählt");

    form.Btn_Click(4);
    EXPECT_EQ(rows(), 2u); // nothing marked, nothing removed
    markOnly({0});
    form.Btn_Click(4);
    EXPECT_EQ(panel(1), "1 Datei, davon 0 ausgewählt");
}

TEST_F(Form1Test, AVanishedOrUnreadableEntryKeepsItsRowAndSaysWhich) {
    const fs::path a = file("a.txt", H);
    const fs::path b = file("b.txt", H);
    drop({a, b});
    fs::remove(a);
    fs::remove(b);
    // b is still there by name, but cannot be read: a link to itself.
    const bool loop = scratch::makeLink(b, b.filename());
    form.Liste_Click();
    EXPECT_EQ(cell(std::size_t(rowOf(a)), DateColumn), "nicht gefunden");
    EXPECT_EQ(cell(std::size_t(rowOf(a)), filelist::HColumn), "");
    if (loop) {
        EXPECT_EQ(cell(std::size_t(rowOf(b)), DateColumn), "kein Zugriff");
    }
    EXPECT_EQ(panel(1), "2 Dateien, davon 2 ausgewählt");
    EXPECT_TRUE(ui.isEnabled(Ctl::Btn, 8));
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 0);
}

TEST_F(Form1Test, SelectionCommands) {
    form.Btn_Click(3); // nothing to invert
    EXPECT_EQ(rows(), 0u);
    drop({file("1"), file("2"), file("3"), file("4")});
    markOnly({0, 2});
    form.Btn_Click(3);
    auto marked = [&](std::size_t i) { return form.rows().at(i).marked; };
    EXPECT_TRUE(!marked(0) && marked(1) && !marked(2) && marked(3));
    EXPECT_EQ(panel(1), "4 Dateien, davon 2 ausgewählt");
    EXPECT_EQ(ui.focused.back(), (RecordingControls::Key{Ctl::Liste, 0}));
    form.ListeSelect(3); // no such mode
    EXPECT_TRUE(marked(1) && !marked(0));

    markOnly({1, 2});
    const std::string first = cell(0, NameColumn), last = cell(3, NameColumn);
    form.ClearAllSelectedItems();
    ASSERT_EQ(rows(), 2u);
    EXPECT_EQ(cell(0, NameColumn), first);
    EXPECT_EQ(cell(1, NameColumn), last);
}

TEST_F(Form1Test, AClickTicksAnEmptyBoxAndAPresetGrayedBoxComesBack) {
    const fs::path none = file("none.txt");
    const fs::path readOnly = file("r.txt", R);
    drop({none});
    form.AttribChk_Click(4);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 1);
    form.AttribChk_Click(3);
    form.AttribChk_Click(3);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 3), 0);
    form.Btn_Click(8);
    EXPECT_EQ(shown(scratch::wordOf(none)), H);

    // Mixed: ticked, empty, and back to "leave each as it is".
    drop({readOnly});
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 2);
    for (int next : {1, 0, 2, 1, 0, 2}) {
        form.AttribChk_Click(1);
        EXPECT_EQ(ui.value(Ctl::AttribChk, 1), next);
    }
    form.Btn_Click(8);
    EXPECT_EQ(shown(scratch::wordOf(none)), H);
    EXPECT_EQ(shown(scratch::wordOf(readOnly)), R);
}

TEST_F(Form1Test, HeaderClicksChooseTheColumnAndFlipTheDirection) {
    // "dir" comes from the folder X, which has a row of its own only on Linux.
    dir.folder("X/dir");
    drop({file("b"), file("C"), file("a"), dir.path() / "X"});
    auto names = [&] {
        std::string list;
        for (std::size_t i = 0; i < rows(); ++i)
            if (const auto name = fs::path(form.rows().at(i).path).filename(); name != "X")
                list += name.string() + " ";
        return list;
    };
    form.Liste_ColumnClick(2);
    EXPECT_EQ(names(), "a b C dir ");
    EXPECT_EQ(ui.sortIndicator, std::make_pair(1, 0));
    form.Liste_ColumnClick(2);
    EXPECT_EQ(names(), "dir C b a ");
    form.Liste_ColumnClick(2);
    form.Liste_ColumnClick(2);
    // A new column keeps the direction last used.
    form.Liste_ColumnClick(1);
    EXPECT_EQ(cell(0, TypeColumn), "Ordner");
    EXPECT_EQ(form.LastSortColumn(), 1);
    form.Liste_ColumnClick(2);
    EXPECT_EQ(names(), "dir C b a ");
    EXPECT_EQ(rows(), scratch::OnWindows ? 4u : 5u);
}

TEST_F(Form1Test, CommandsDispatchByIndex) {
    drop({file("a.txt")});
    const std::string message = panel(2);
    for (int index : {6, 7, 11, -1})
        form.Btn_Click(index);
    EXPECT_EQ(panel(2), message);
    EXPECT_EQ(rows(), 1u);

    // Removing the last rows keeps the last message; only clearing shows the hint again.
    form.Btn_Click(4);
    EXPECT_EQ(rows(), 0u);
    EXPECT_EQ(panel(2), message);
    EXPECT_EQ(panel(1), "0 Dateien, davon 0 ausgewählt");
    form.Btn_Click(0);
    EXPECT_EQ(panel(2), EmptyListHint);

    form.Btn_Click(10);
    ASSERT_EQ(toolkit.opened.size(), 1u);
    EXPECT_TRUE(toolkit.opened[0].target.ends_with("dateimark.htm"));
    EXPECT_TRUE(toolkit.opened[0].target.starts_with("file:///"));
    EXPECT_EQ(toolkit.opened[0].showCommand, platform::ShowDefault);
    form.LogoImage_Click();
    EXPECT_EQ(toolkit.opened.back().target, "https://www.quarn.example.net/quarn/");
    EXPECT_EQ(toolkit.opened.back().showCommand, platform::ShowNormal);
    form.Btn_Click(5);
    ASSERT_EQ(ui.infoShown.size(), 1u);
    EXPECT_EQ(ui.infoShown[0].first, "Dateimark 2.5");
    EXPECT_TRUE(toolkit.messages.empty());
    form.Btn_Click(9);
    EXPECT_TRUE(ui.ended);
}

TEST_F(Form1Test, HintsFollowTheSwitch) {
    for (int on : {1, 0, 1, 1, 0}) {
        ui.values[{Ctl::ToolTipCheck, 0}] = on;
        form.ToolTipCheck_Click();
        for (RecordingControls::Key key : {RecordingControls::Key{Ctl::Btn, 8},
                                           {Ctl::DateTime, 5},
                                           {Ctl::Liste, 0},
                                           {Ctl::Panel, 1},
                                           {Ctl::Bar, 0}})
            EXPECT_EQ(ui.hints[key].empty(), on == 0);
        EXPECT_EQ(ui.hint(Ctl::ToolTipCheck, 0),
                  "Schaltet die automatischen Hinweise ein oder aus");
    }
    ui.values[{Ctl::ToolTipCheck, 0}] = 1;
    form.ToolTipCheck_Click();
    EXPECT_EQ(ui.hint(Ctl::AttribChk, 1), ui.hint(Ctl::AttribChk, 4));
    EXPECT_NE(ui.hint(Ctl::Panel, 1), ui.hint(Ctl::Panel, 2));
    EXPECT_EQ(ui.hint(Ctl::DateTime, 3), "Feld für den Tag des letzten Zugriffs");
}

TEST_F(Form1Test, FieldsAreCorrectedWhenLeft) {
    auto enter = [&](int index, const std::string& text) {
        ui.texts[{Ctl::DateTime, index}] = text;
        form.DateTime_LostFocus(index);
    };
    enter(1, "60");
    EXPECT_EQ(ui.text(Ctl::DateTime, 1), "59");
    EXPECT_EQ(Module1::TouchTime[1], 59);
    EXPECT_EQ(toolkit.beeps, 1);
    EXPECT_EQ(ui.focused.back(), (RecordingControls::Key{Ctl::DateTime, 1}));

    enter(0, "Uhr");
    EXPECT_EQ(ui.text(Ctl::DateTime, 0), "0");
    EXPECT_EQ(toolkit.beeps, 1);

    enter(5, "2024");
    enter(4, "1");
    enter(3, "31");
    EXPECT_EQ(toolkit.beeps, 1);
    // A valid month checks the day again.
    enter(4, "04");
    EXPECT_EQ(ui.text(Ctl::DateTime, 4), "4");
    EXPECT_EQ(ui.text(Ctl::DateTime, 3), "30");
    EXPECT_EQ(toolkit.beeps, 2);
    EXPECT_EQ(ui.focused.back(), (RecordingControls::Key{Ctl::DateTime, 3}));
}

// ---------------------------------------------------------------- the apply run

TEST_F(Form1Test, BoxesMakeTheNewWordAndGrayedOnesKeepEachFilesBit) {
    const fs::path hidden = file("h.txt", H | R);
    const fs::path plain = file("s.txt", R);
    const fs::path unmarked = file("u.txt", H);
    drop({hidden, plain, unmarked});
    form.rows().at(std::size_t(rowOf(unmarked))).marked = false;
    form.Liste_Click();
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 2);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 1);
    setBoxes(0, 2, 1, 2);
    form.Btn_Click(8);
    EXPECT_EQ(shown(scratch::wordOf(hidden)), H | S);
    EXPECT_EQ(shown(scratch::wordOf(plain)), S);
    EXPECT_EQ(shown(scratch::wordOf(unmarked)), H);
    EXPECT_EQ(panel(2), "Fertig");
    EXPECT_TRUE(statusSaid("Attribute werden übertragen: " + display(plain)));
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_EQ(ui.barValue, 0);
    EXPECT_EQ(ui.barMax, 3);
    // The closing check shows the new letters and presets the boxes from them.
    EXPECT_EQ(cell(std::size_t(rowOf(plain)), filelist::SColumn), "S");
    EXPECT_EQ(ui.value(Ctl::AttribChk, 3), 1);
}

TEST_F(Form1Test, TouchingGivesFilesTheEnteredMomentAndSparesFolders) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    const fs::path folder = dir.folder("ordner");
    const fs::path readOnly = file("ro.txt", R);
    const fs::path other = file("ro2.txt", R | H);
    const std::int64_t folderTime = scratch::lastWriteOf(folder);
    Module1::TouchTime = {12, 0, 0, 15, 1, 2024}; // a winter date
    drop({folder, readOnly});
    ui.values[{Ctl::TouchChk, 0}] = 1;
    setBoxes(0, 0, 0, 1);
    form.Btn_Click(8);
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_EQ(scratch::lastWriteOf(readOnly), 1705316400); // 11:00 UTC
    EXPECT_EQ(shown(scratch::wordOf(readOnly)), H);
    EXPECT_EQ(scratch::lastWriteOf(folder), folderTime);
    if (!scratch::OnWindows) { // where a drive letter names it, the folder has no row
        EXPECT_EQ(shown(scratch::wordOf(folder)), H);
    }

    // With R ticked the file is read-only again after its time was written; a summer date is
    // stored without a shift of an hour.
    Module1::TouchTime = {12, 0, 0, 15, 7, 2024};
    drop({other});
    markOnly({rowOf(other)});
    form.Liste_Click();
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 1);
    form.Btn_Click(8);
    EXPECT_EQ(scratch::lastWriteOf(other), 1721037600); // 10:00 UTC
    EXPECT_EQ(shown(scratch::wordOf(other)), R | H);
}

TEST_F(Form1Test, FailuresAskFromTheBottomUpAndYesGoesOnNoStops) {
    const fs::path top = file("1.txt");
    const fs::path gone = file("2.txt");
    const fs::path bottom = file("3.txt");
    drop({bottom, gone, top});
    form.Liste_ColumnClick(2); // by name: 1, 2, 3 from the top
    fs::remove(gone);
    setBoxes(0, 0, 0, 1);
    toolkit.answers = {platform::MessageAnswer::Yes};
    form.Btn_Click(8);
    ASSERT_EQ(toolkit.messages.size(), 1u);
    const RecordedMessage& question = toolkit.messages[0];
    EXPECT_TRUE(question.text.starts_with("Folgendes Objekt ließ sich nicht bearbeiten:\r" +
                                          display(gone) + "\r\rGrund:\r"));
    EXPECT_TRUE(question.text.ends_with(")\r\rMöchten Sie fortsetzen?"));
    EXPECT_EQ(question.style, platform::MessageStyle::YesNoStop);
    EXPECT_EQ(question.title, "Dateimark 2.5");
    EXPECT_EQ(panel(2), "Fertig");
    EXPECT_EQ(shown(scratch::wordOf(top)), H);
    EXPECT_EQ(shown(scratch::wordOf(bottom)), H);
    EXPECT_EQ(cell(1, DateColumn), "nicht gefunden");

    // No: rows above the failing one (visited later) stay as they are.
    form.Btn_Click(1);
    setBoxes(0, 0, 0, 0);
    toolkit.answers = {platform::MessageAnswer::No};
    form.Btn_Click(8);
    EXPECT_EQ(toolkit.messages.size(), 2u);
    EXPECT_EQ(panel(2), "Abgebrochen");
    EXPECT_EQ(shown(scratch::wordOf(bottom)), 0u);
    EXPECT_EQ(shown(scratch::wordOf(top)), H);
    EXPECT_EQ(ui.barValue, 0);
    EXPECT_EQ(ui.pointers.back(), platform::Pointer::Default);
}

TEST_F(Form1Test, ATimeThatCannotBeSetIsAFailureAndTheFileKeepsItsAttributes) {
    const fs::path f = file("h.txt", H | S);
    const std::int64_t before = scratch::lastWriteOf(f);
    drop({f});
    ui.values[{Ctl::TouchChk, 0}] = 1;
    Module1::TouchTime = {12, 0, 0, 31, 2, 2023}; // no such day: the writer refuses it
    form.Btn_Click(8);
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_NE(toolkit.messages[0].text.find("Datum und Zeit nicht gesetzt"), std::string::npos);
    EXPECT_EQ(shown(scratch::wordOf(f)), H | S);
    EXPECT_EQ(scratch::lastWriteOf(f), before);
    EXPECT_EQ(panel(2), "Fertig");
}

} // namespace
