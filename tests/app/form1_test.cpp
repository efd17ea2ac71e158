// The window's logic on doubles of its controls and toolkit, on real trees; also under Wine.
#include "support/formfixture.h"

namespace {

namespace fs = std::filesystem;
using app::Ctl;
using Key = RecordingControls::Key;
using namespace filelist; // the columns
constexpr std::uint32_t R = platform::attr::ReadOnly, H = platform::attr::Hidden,
                        S = platform::attr::System;

using Form1Test = FormFixture;

const std::string EmptyListHint = "Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ...";

TEST_F(Form1Test, StartsEmptyWithEverythingThatNeedsAMarkDisabledAndHintsFollowTheSwitch) {
    EXPECT_EQ(panel(2), EmptyListHint);
    const Key needMark[] = {{Ctl::Btn, 4},       {Ctl::Btn, 8},       {Ctl::TouchChk, 0},
                            {Ctl::AttribChk, 1}, {Ctl::AttribChk, 4}, {Ctl::DateTime, 0}};
    for (const auto& [c, i] : needMark)
        EXPECT_FALSE(ui.isEnabled(c, i)) << int(c) << i;
    EXPECT_TRUE(ui.isEnabled(Ctl::Btn, 0) && !ui.inUse(Ctl::DateTime, 0));
    EXPECT_EQ(boxes(), "0000");

    // The switch's own hint is always there; the others start off and follow the switch.
    const Key hinted[] = {{Ctl::Btn, 8},   {Ctl::AttribChk, 4}, {Ctl::DateTime, 5},
                          {Ctl::Liste, 0}, {Ctl::Panel, 1},     {Ctl::Bar, 0}};
    bool on = false;
    for (const bool next : {true, false, true, true, false}) {
        for (const auto& [c, i] : hinted)
            EXPECT_EQ(ui.hint(c, i).empty(), !on) << int(c) << i;
        EXPECT_FALSE(ui.hint(Ctl::ToolTipCheck).empty());
        form.ToolTipCheck_Click(on = next);
    }
}

TEST_F(Form1Test, DroppingAFolderListsEverythingBelowIt) {
    const fs::path x = dir.folder("X");
    for (const char* name : {"X/a", "X/P/p1", "X/b", "X/Q/q1", "X/.profile"})
        file(name);
    drop({x});
    // a, b, p1, q1, P, Q, and X itself: a folder gets its own row on both systems.
    EXPECT_EQ(rows(), 7u);
    EXPECT_GE(rowOf(x), 0);
    EXPECT_EQ(rowOf(x / ".profile"), -1);
    EXPECT_EQ(panel(2), "Eintragung beendet");
    EXPECT_TRUE(statusSaid("Die Liste wird aufgefüllt: " + display(x / "a")));
    EXPECT_EQ(panel(1), "7 Dateien, davon 7 ausgewählt");
    EXPECT_EQ(std::pair(ui.barValue, ui.barMax), std::pair(0, 1));
    // Sorted by the type word, files first, and checked.
    EXPECT_EQ(cell(0, TypeColumn) + cell(6, TypeColumn), "DateiOrdner");
    EXPECT_FALSE(cell(0, DateColumn).empty());
    EXPECT_TRUE(ui.isEnabled(Ctl::Btn, 8));

    // The same folder again adds nothing; a file dropped directly is listed even with a dot.
    drop({x, x / ".profile"});
    EXPECT_EQ(rows(), 8u);
    EXPECT_GE(rowOf(x / ".profile"), 0);
}

TEST_F(Form1Test, DropsWithoutNamesAreRefusedAndNamesAreTakenAsTheSystemTakesThem) {
    form.Liste_OLEDragDrop({});
    // The box waits until the drop event has returned to the file manager.
    EXPECT_TRUE(toolkit.messages.empty());
    toolkit.runLater();
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(panel(2), EmptyListHint);

    // On Windows a "?" stands for a character the shell could not give; on Linux it is a
    // character like any other.
    const fs::path odd = scratch::OnWindows ? dir.path() / "wer?.txt" : file("wer?.txt");
    drop({file("eins"), odd, file("drei")});
    EXPECT_EQ(ui.barMax, 3);
    EXPECT_EQ(rows(), scratch::OnWindows ? 2u : 3u);
    EXPECT_EQ(rowOf(odd) >= 0, !scratch::OnWindows);
    ASSERT_EQ(toolkit.messages.size(), scratch::OnWindows ? 2u : 1u);
    EXPECT_NE(toolkit.messages.back().text.find(display(odd)) == std::string::npos,
              scratch::OnWindows);

    // Links arrive as their targets (case is the row store's own matter).
    const fs::path target = file("ziel.txt");
    if (scratch::makeLink(dir.path() / "verweis", target)) {
        drop({dir.path() / "verweis"});
        EXPECT_GE(rowOf(fs::canonical(target)), 0);
        EXPECT_EQ(rowOf(dir.path() / "verweis"), -1);
    }
}

// Addresses of a share that name no file: one box says which, the drop's other names are
// entered all the same; alone they get this box, not the general one.
TEST_F(Form1Test, DroppedSharesThatNameNoFileAreReportedInOneBox) {
    const std::string Hint = "\r\rZiehen Sie Dateien oder Ordner aus der Freigabe in die Liste.";
    const fs::path a = file("a.txt");
    const struct {
        std::vector<filelist::PathString> names;
        std::vector<std::string> refused;
        std::string text;
    } cases[] = {
        {{a.native()},
         {"smb://nas/"},
         "Dies ist keine Datei und kein Ordner auf einer Freigabe:\rsmb://nas/" + Hint},
        {{},
         std::vector<std::string>(6, "smb://x"),
         "Dies sind keine Dateien und keine Ordner auf einer Freigabe:"
         "\rsmb://x\rsmb://x\rsmb://x\rsmb://x\rsmb://x\r…" +
             Hint},
    };
    for (const auto& c : cases) {
        toolkit.messages.clear();
        form.Liste_OLEDragDrop(c.names, c.refused);
        toolkit.runLater();
        ASSERT_EQ(toolkit.messages.size(), 1u) << c.text;
        EXPECT_EQ(toolkit.messages[0].text, c.text);
        EXPECT_EQ(toolkit.messages[0].style, app::MessageStyle::OkInformation);
        EXPECT_EQ(toolkit.messages[0].title, app::ProgramTitle);
    }
    EXPECT_GE(rowOf(a), 0);
    EXPECT_EQ(panel(2), "Eintragung beendet");
}

TEST_F(Form1Test, UnreadableEntriesAreSkippedAndCountedVanishedRowsSayWhich) {
    const fs::path x = dir.folder("X");
    for (const char* name : {"X/a", "X/Q/q1", "X/Q/q2"})
        file(name);
    // The subfolder vanishes after X was listed, before it is entered.
    toolkit.onYield = [&] { fs::remove_all(x / "Q"); };
    const fs::path missing = dir.path() / "gibt-es-nicht";
    drop({missing, x});
    EXPECT_EQ(panel(2), "Eintragung beendet (2 Einträge übersprungen)");
    EXPECT_TRUE(statusSaid("Übersprungen: " + display(missing) + " ("));
    EXPECT_GE(rowOf(x / "a"), 0);
    // Q was found before it vanished: its row stays and says so.
    const int q = rowOf(x / "Q");
    ASSERT_GE(q, 0);
    EXPECT_EQ(cell(std::size_t(q), DateColumn), "nicht gefunden");

    toolkit.onYield = nullptr;
    drop({dir.path() / "weg"});
    EXPECT_EQ(panel(2), "Eintragung beendet (1 Eintrag übersprungen)");

    // Listed, then gone or unreadable (a link to itself): the check keeps the row, says which.
    const fs::path a = file("a.txt", H), b = file("b.txt", H);
    form.Btn_Click(0);
    drop({a, b});
    fs::remove(a);
    fs::remove(b);
    const bool loop = scratch::makeLink(b, b.filename());
    form.Liste_Click();
    EXPECT_EQ(cell(std::size_t(rowOf(a)), DateColumn) + cell(std::size_t(rowOf(a)), HColumn),
              "nicht gefunden");
    EXPECT_EQ(cell(std::size_t(rowOf(b)), DateColumn), loop ? "kein Zugriff" : "nicht gefunden");
    EXPECT_EQ(panel(1), "2 Dateien, davon 2 ausgewählt");
    EXPECT_TRUE(ui.isEnabled(Ctl::Btn, 8));
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 0);
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
        form.AttribChk_Click(4);
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
    EXPECT_EQ(rows(), 201u);
    EXPECT_EQ(bits(x / "f0"), 0u);
    EXPECT_TRUE(ui.acceptingDrops);
    for (int index : {0, 4, 8})
        EXPECT_TRUE(ui.isEnabled(Ctl::Btn, index)) << index;
    EXPECT_EQ(panel(1), "201 Dateien, davon 201 ausgewählt");
}

TEST_F(Form1Test, EndingStopsTheExpansionAtOnce) {
    fs::path deep = dir.path() / "tief";
    for (int i = 0; i < 20; ++i)
        deep /= "d" + std::to_string(i);
    fs::create_directories(deep);
    int yields = 0;
    toolkit.onYield = [&] {
        if (++yields == 3)
            form.Btn_Click(9);
    };
    drop({dir.path() / "tief"});
    EXPECT_TRUE(ui.ended);
    EXPECT_EQ(yields, 3);
    EXPECT_FALSE(form.dropRunning() || form.sorted()); // nor sorted nor checked
    EXPECT_LT(rows(), 10u);
}

TEST_F(Form1Test, SituationCheckPresetsTheBoxesFromTheMarkedFiles) {
    const fs::path ra = file("ra.txt", R | platform::attr::Archive), h = file("h.txt", H);
    drop({ra, h});
    markOnly({rowOf(ra)});
    form.Liste_Click();
    const auto r = std::size_t(rowOf(ra));
    EXPECT_EQ(cell(r, RColumn) + cell(r, SColumn) + cell(std::size_t(rowOf(h)), HColumn), "RH");
    EXPECT_EQ(boxes(), "1100");
    EXPECT_EQ(panel(1), "2 Dateien, davon 1 ausgewählt");
    form.Btn_Click(1);
    EXPECT_EQ(boxes(), scratch::underWine() ? "2102" : "2202");

    // A box changed by the user is derived afresh by the next check.
    form.AttribChk_Click(1);
    form.TouchChk_Click(true);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 2);
    EXPECT_TRUE(ui.isEnabled(Ctl::DateTime, 0) && ui.inUse(Ctl::DateTime, 0));

    // No mark: the switch stays ticked but is disabled, and so are the fields.
    form.Btn_Click(2);
    EXPECT_FALSE(ui.isEnabled(Ctl::TouchChk) || ui.isEnabled(Ctl::DateTime, 0) ||
                 ui.isEnabled(Ctl::Btn, 8));
    EXPECT_EQ(boxes(), "0000");
    EXPECT_EQ(panel(1), "2 Dateien, davon 0 ausgewählt");
    form.Btn_Click(4);
    EXPECT_EQ(rows(), 2u); // nothing marked, nothing removed
    markOnly({0});
    form.Btn_Click(4);
    EXPECT_EQ(panel(1), "1 Datei, davon 0 ausgewählt");
}

TEST_F(Form1Test, SelectionCommandsAndRemovalKeepTheOrder) {
    form.Btn_Click(3); // nothing to invert
    EXPECT_EQ(rows(), 0u);
    drop({file("1"), file("2"), file("3"), file("4")});
    const auto marks = [&] {
        std::string s;
        for (std::size_t i = 0; i < rows(); ++i)
            s += form.rows().at(i).marked ? 'x' : '.';
        return s;
    };
    markOnly({0, 2});
    form.Btn_Click(3);
    EXPECT_EQ(marks(), ".x.x");
    EXPECT_EQ(panel(1), "4 Dateien, davon 2 ausgewählt");
    EXPECT_EQ(ui.focused.back(), (Key{Ctl::Liste, 0}));
    form.ListeSelect(3); // no such mode
    EXPECT_EQ(marks(), ".x.x");

    markOnly({1, 2});
    const std::string kept = names().substr(0, 2) + names().substr(6); // the first and the last
    const std::string message = panel(2);
    form.Btn_Click(4);
    EXPECT_EQ(names(), kept);
    form.Btn_Click(1);
    form.Btn_Click(4);
    // Removing the last rows keeps the last message; only clearing shows the hint again.
    EXPECT_EQ(rows(), 0u);
    EXPECT_EQ(panel(2), message);
    EXPECT_EQ(panel(1), "0 Dateien, davon 0 ausgewählt");
    form.Btn_Click(0);
    EXPECT_EQ(panel(2), EmptyListHint);
}

// A marking changed with the keys is checked once they rest, and "&Start" never applies boxes
// that describe the rows marked before: found by hand, H cleared from every row that had it.
TEST_F(Form1Test, KeysMarkAsTheMouseDoesAndTheBoxesFollowOnceTheKeysRest) {
    drop({file("a", H), file("b", H), file("c")});
    form.Liste_ColumnClick(2);
    form.Liste_MouseDown(2, false, false); // c, without H
    form.Liste_Click();
    EXPECT_EQ(boxes()[3], '0');
    const std::size_t checks = ui.pointers.size();
    for (int i = 0; i < 2; ++i) // held: one check when the keys rest, not one per row
        form.Liste_KeyDown(filelist::ListKey::Up, false, true, 10);
    EXPECT_EQ(ui.current, 0u);
    EXPECT_EQ(toolkit.timed.size(), 2u);
    toolkit.runTimers();
    EXPECT_EQ(ui.pointers.size(), checks + 2) << "one check: the hourglass on and off";
    EXPECT_EQ(boxes()[3], '2');

    form.Liste_MouseDown(2, false, false);
    form.Liste_Click();
    form.Liste_KeyDown(filelist::ListKey::SelectAll, true, false, 10);
    form.Btn_Click(app::Start); // before the keys' quiet time is over
    EXPECT_EQ(bits(dir.path() / "a"), H);
    EXPECT_EQ(bits(dir.path() / "c"), 0u);
    toolkit.runTimers(); // the pending check was done already
    EXPECT_EQ(panel(1), "3 Dateien, davon 3 ausgewählt");
}

TEST_F(Form1Test, AClickTicksAnEmptyBoxAndAPresetGrayedBoxComesBack) {
    const fs::path none = file("none.txt"), readOnly = file("r.txt", R);
    drop({none});
    form.AttribChk_Click(4);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 4), 1);
    form.AttribChk_Click(3);
    form.AttribChk_Click(3);
    EXPECT_EQ(ui.value(Ctl::AttribChk, 3), 0);
    form.Btn_Click(8);
    EXPECT_EQ(bits(none), H);

    // Mixed: ticked, empty, and back to "leave each as it is".
    drop({readOnly});
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 2);
    for (int next : {1, 0, 2, 1, 0, 2}) {
        form.AttribChk_Click(1);
        EXPECT_EQ(ui.value(Ctl::AttribChk, 1), next);
    }
    form.Btn_Click(8);
    EXPECT_EQ(bits(none), H);
    EXPECT_EQ(bits(readOnly), R);
}

TEST_F(Form1Test, HeaderClicksChooseTheColumnAndFlipTheDirection) {
    // "dir" comes from the folder X, which has a row of its own.
    dir.folder("X/dir");
    drop({file("b"), file("C"), file("a"), dir.path() / "X"});
    form.Liste_ColumnClick(2);
    EXPECT_EQ(names(), "a b C X dir "); // by path: X before X/dir
    EXPECT_EQ(ui.sortIndicator, std::make_pair(1, 0));
    form.Liste_ColumnClick(2);
    EXPECT_EQ(names(), "dir X C b a ");
    form.Liste_ColumnClick(2);
    form.Liste_ColumnClick(2);
    // A new column keeps the direction last used.
    form.Liste_ColumnClick(1);
    EXPECT_EQ(cell(0, TypeColumn), "Ordner");
    EXPECT_EQ(form.LastSortColumn(), 1);
    form.Liste_ColumnClick(2);
    EXPECT_EQ(names(), "dir X C b a ");
}

TEST_F(Form1Test, HelpOpensThePageBesideTheProgramAndTheLogoTheSite) {
    form.Btn_Click(10);
    form.LogoImage_Click();
    ASSERT_EQ(toolkit.opened.size(), 2u);
    EXPECT_TRUE(toolkit.opened[0].target.ends_with("/dateimark.htm"));
    EXPECT_EQ(toolkit.opened[0].showCommand, app::ShowDefault);
    EXPECT_TRUE(toolkit.opened[1].target.starts_with("https://"));
    EXPECT_TRUE(toolkit.messages.empty());

    // A page that did not open is named, with the reason the desktop gave.
    const std::pair<app::OpenResult, std::string> failures[] = {
        {app::OpenResult::NotFound, "Die Datei gibt es nicht."},
        {app::OpenResult::NoProgram, "Kein Programm ist eingerichtet, das diese Art Datei öffnet."},
        {app::OpenResult::Failed, ""}};
    for (const auto& [result, reason] : failures) {
        toolkit.openResult = result;
        toolkit.messages.clear();
        form.Btn_Click(10);
        ASSERT_EQ(toolkit.messages.size(), 1u);
        EXPECT_TRUE(toolkit.messages[0].text.ends_with("dateimark.htm\rließ sich nicht öffnen." +
                                                       (reason.empty() ? "" : " " + reason)))
            << toolkit.messages[0].text;
    }
}

// The rules of each field are datefields' own, the beep and the focus through the Qt window are
// window_test's; here: the value kept, the text rewritten, the day checked after the month.
TEST_F(Form1Test, FieldsAreCorrectedWhenLeft) {
    enterField(1, "60");
    EXPECT_EQ(form.touchTime()[1], 59);
    enterField(0, "Uhr");
    EXPECT_EQ(ui.text(Ctl::DateTime, 0), "0");
    enterMoment({0, 59, 0, 31, 1, 2024});
    // A valid month checks the day again.
    enterField(4, "04");
    EXPECT_EQ(ui.text(Ctl::DateTime, 4) + "." + ui.text(Ctl::DateTime, 3), "4.30");
    EXPECT_EQ(toolkit.beeps, 2);
    EXPECT_EQ(ui.focused.back(), (Key{Ctl::DateTime, 3}));
}

TEST_F(Form1Test, BoxesMakeTheNewWordAndGrayedOnesKeepEachFilesBit) {
    const fs::path hidden = file("h.txt", H | R), plain = file("s.txt", R),
                   unmarked = file("u.txt", H);
    drop({hidden, plain, unmarked});
    form.rows().at(std::size_t(rowOf(unmarked))).marked = false;
    form.Liste_Click();
    EXPECT_EQ(boxes(), scratch::underWine() ? "1102" : "1002");
    setBoxes("0012");
    form.Btn_Click(8);
    EXPECT_EQ(bits(hidden), H | S);
    EXPECT_EQ(bits(plain), S);
    EXPECT_EQ(bits(unmarked), H);
    EXPECT_EQ(panel(2), "Fertig");
    EXPECT_TRUE(statusSaid("Attribute werden übertragen: " + display(plain)));
    EXPECT_TRUE(toolkit.messages.empty());
    // The closing check shows the new letters and presets the boxes from them.
    EXPECT_EQ(cell(std::size_t(rowOf(plain)), SColumn), "S");
    EXPECT_EQ(ui.value(Ctl::AttribChk, 3), 1);
}

TEST_F(Form1Test, TouchingGivesFilesTheEnteredMomentAndSparesFolders) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    const fs::path folder = dir.folder("ordner");
    const fs::path readOnly = file("ro.txt", R), other = file("ro2.txt", R | H);
    const std::int64_t folderTime = scratch::lastWriteOf(folder);
    enterMoment({12, 0, 0, 15, 1, 2024}); // a winter date
    drop({folder, readOnly});
    form.TouchChk_Click(true);
    setBoxes("0001");
    form.Btn_Click(8);
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_EQ(scratch::lastWriteOf(readOnly), 1705316400); // 11:00 UTC
    EXPECT_EQ(bits(readOnly), H);
    EXPECT_EQ(scratch::lastWriteOf(folder), folderTime);
    EXPECT_EQ(bits(folder), H);

    // With R ticked the file is read-only again after its time was written; a summer date is
    // stored without a shift of an hour.
    enterMoment({12, 0, 0, 15, 7, 2024});
    drop({other});
    markOnly({rowOf(other)});
    form.Liste_Click();
    EXPECT_EQ(ui.value(Ctl::AttribChk, 1), 1);
    form.Btn_Click(8);
    EXPECT_EQ(scratch::lastWriteOf(other), 1721037600); // 10:00 UTC
    EXPECT_EQ(bits(other), R | H);

    // A moment the clocks skip is asked about, naming the one the file would get instead.
    enterMoment({2, 30, 0, 31, 3, 2024});
    for (const auto answer : {app::MessageAnswer::No, app::MessageAnswer::Yes}) {
        toolkit.messages.clear();
        toolkit.answers = {answer};
        form.Btn_Click(8);
        ASSERT_EQ(toolkit.messages.size(), 1u);
        EXPECT_NE(toolkit.messages[0].text.find(" 03:30:00."), std::string::npos)
            << toolkit.messages[0].text;
        EXPECT_EQ(scratch::lastWriteOf(other),
                  answer == app::MessageAnswer::No ? 1721037600 : 1711848600);
        EXPECT_EQ(panel(2), answer == app::MessageAnswer::No ? "Abgebrochen" : "Fertig");
    }
}

TEST_F(Form1Test, FailuresAskFromTheBottomUpAndYesGoesOnNoStops) {
    const fs::path top = file("1.txt"), gone = file("2.txt"), bottom = file("3.txt");
    drop({bottom, gone, top});
    form.Liste_ColumnClick(2); // by name: 1, 2, 3 from the top
    fs::remove(gone);
    setBoxes("0001");
    toolkit.answers = {app::MessageAnswer::Yes};
    form.Btn_Click(8);
    ASSERT_EQ(toolkit.messages.size(), 1u);
    const RecordedMessage& question = toolkit.messages[0];
    EXPECT_TRUE(question.text.starts_with("Folgendes Objekt ließ sich nicht bearbeiten:\r" +
                                          display(gone) + "\r\rGrund:\r"));
    EXPECT_EQ(question.style, app::MessageStyle::YesNoStop);
    EXPECT_EQ(panel(2), "Fertig");
    EXPECT_EQ(std::pair(bits(top), bits(bottom)), std::pair(H, H));
    EXPECT_EQ(cell(1, DateColumn), "nicht gefunden");

    // No: rows above the failing one (visited later) stay as they are.
    form.Btn_Click(1);
    setBoxes("0000");
    toolkit.answers = {app::MessageAnswer::No};
    form.Btn_Click(8);
    EXPECT_EQ(toolkit.messages.size(), 2u);
    EXPECT_EQ(panel(2), "Abgebrochen");
    EXPECT_EQ(bits(bottom), 0u);
    EXPECT_EQ(bits(top), H);
    EXPECT_EQ(ui.barValue, 0);
    EXPECT_EQ(ui.pointers.back(), app::Pointer::Default);
}

} // namespace
