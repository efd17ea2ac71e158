// The main window's logic: every operation of the window and every event handler, without a
// toolkit. It owns the state of every box, field and switch and the rows with their marks, and
// tells its controls what to show through FormControls; it asks the toolkit (boxes, beep,
// yield, timers, collation) through app::Toolkit.
#pragma once

#include "app/formcontrols.h"
#include "apply/datefields.h"
#include "filelist/marking.h"
#include "filelist/rowstore.h"
#include "platform/fileservices.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace app {

/// The program's title and description.
inline constexpr const char* ProgramTitle = "Dateimark 2.5";
inline constexpr const char* ProgramDescription =
    "Ein Tool zum Setzen und Löschen von Dateiattributen für Windows 9x und NT4.0.";

class Form1 {
public:
    Form1(FormControls& controls, Toolkit& toolkit);
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    /// How long the keys must rest before a marking changed by them is checked.
    static constexpr int QuietMilliseconds = 300;

    /// The start-up: caption, hints, date fields, the first situation check. The toolkit calls
    /// it once the controls exist.
    void Form_Load();
    /// The close box: a drop in its yields stops at the next one.
    void Form_Unload() { ending_ = true; }

    // The window's operations.
    void ChkSituation();
    void InitDateTime();
    void ClearAllSelectedItems();
    void ListeSelect(std::int16_t mode);
    void SetNewAttributes();
    void LoadToolTips(std::int16_t on);
    void UserInfo(const std::string& text);
    void AddToList(const filelist::PathString& path);
    void UserInfoLeereListe();

    // Event handlers.
    void Btn_Click(int index);
    /// A click (or access key, or Space) on an attribute box: the toolkit does not change the
    /// box itself.
    void AttribChk_Click(int index);
    /// The left button pressed on the row at display position \p position (Marking::None:
    /// below the rows), with Ctrl or Shift held.
    void Liste_MouseDown(std::size_t position, bool ctrl, bool shift);
    /// The left button released: the click is complete.
    void Liste_Click();
    /// A key on the list; \p pageRows is how many rows the list shows at once. A marking
    /// changed by keys is checked once the keys have rested for QuietMilliseconds.
    void Liste_KeyDown(filelist::ListKey key, bool ctrl, bool shift, std::size_t pageRows);
    /// A click on column header \p column (1-based).
    void Liste_ColumnClick(int column);
    /// A drop of \p names in their order (empty: the drop held no file names) and of
    /// \p refusedShares, the addresses in it that mean a share but name no file there. They are
    /// entered, and the refused ones reported, once the drop event has returned, so that the file
    /// manager is free at once.
    void Liste_OLEDragDrop(std::vector<filelist::PathString> names,
                           std::vector<std::string> refusedShares = {});
    /// Enters dropped names, in their order, at once; folders are expanded. The refused
    /// addresses are reported in one box.
    void DropNames(std::vector<filelist::PathString> names,
                   std::vector<std::string> refusedShares = {});
    /// Names from the command line or handed over by a second start: a drop of them, after
    /// the drop being entered, if any. false while "&Start" runs: they are not taken.
    bool HandOver(std::vector<filelist::PathString> names,
                  std::vector<std::string> refusedShares = {});
    void DateTime_GotFocus(int index);
    /// A date or time field left with \p text in it.
    void DateTime_LostFocus(int index, const std::string& text);
    /// "Datum und Zeit ändern" or "Automatische Hinweistexte" ticked (true) or not.
    void TouchChk_Click(bool checked);
    void ToolTipCheck_Click(bool checked);
    void LogoImage_Click();

    filelist::RowStore& rows() { return rows_; }
    const filelist::Marking& marking() const { return marking_; }
    /// The moment touched files get, as the fields hold it.
    const datefields::TouchTimeRecord& touchTime() const { return touchTime_; }
    std::int16_t AddCounter() const { return addCounter_; }
    std::int16_t LastSortColumn() const { return lastSortColumn_; }
    bool dropRunning() const { return dropping_; }
    bool sorted() const { return sorted_; }
    int sortKey() const { return sortKey_; }
    int sortOrder() const { return sortOrder_; }

private:
    // The list's automatic sorting: on orders the rows now.
    void setSorted(bool sorted);
    // Orders the rows by sortKey_ and sortOrder_, as the toolkit collates the column's texts.
    void sortRows();
    // Runs a situation check the keys asked for and whose quiet time has not passed yet.
    void checkIfPending();
    // Adds one entry; \p isFolder is known for entries found by the folder expansion.
    void addEntry(filelist::PathString path, int isFolder);
    void noteSkipped(const filelist::PathString& path, std::error_code ec);
    void yieldDuringDrop();
    void enterDroppedName(filelist::PathString name);
    void reportRefusedShares(const std::vector<std::string>& refused);
    void dropNextHandedOver();
    void showProgress(bool force);
    void setCommandsDuringDrop();
    void setControlsDuringRun(bool enabled);

    FormControls& ui_;
    Toolkit& toolkit_;
    filelist::RowStore rows_;
    filelist::Marking marking_{rows_};
    std::array<Tri, 4> boxes_{}; // R, A, S, H
    bool touching_ = false;      // "Datum und Zeit ändern"
    datefields::TouchTimeRecord touchTime_{};
    unsigned keyGeneration_ = 0; // of the last marking change by keys
    bool checkPending_ = false;
    std::array<bool, 4> mixedPreset_{}; // the attribute boxes the check made grayed
    bool sorted_ = false;
    int sortKey_ = 0;
    int sortOrder_ = 0;
    int barMax_ = 0;

    std::int16_t addCounter_ = 0;
    std::int16_t lastSortColumn_ = 0;
    bool dropping_ = false;
    bool ending_ = false;
    bool running_ = false;  // an apply run takes window events (share rows)
    bool applying_ = false; // from "&Start" until the run is done
    // Rows (by index) whose state the run just read back: its closing check need not ask again.
    std::vector<std::pair<std::size_t, platform::EntryState>> readBack_;
    std::size_t skipped_ = 0;
    // Hand-overs that came while a drop was being entered: dropped next, in turn.
    std::vector<std::pair<std::vector<filelist::PathString>, std::vector<std::string>>> handedOver_;
    std::chrono::steady_clock::time_point lastPublish_{};
    std::chrono::steady_clock::time_point lastRepaint_{};
};

} // namespace app
