#include "app/form1.h"

#include "app/shellopen.h"
#include "apply/attributeword.h"
#include "apply/rowbatch.h"
#include "filelist/folderexpansion.h"
#include "info/maker.h"
#include "info/programfolder.h"
#include "platform/fileservices.h"
#include "share/address.h"
#include "share/signin.h"

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <type_traits>
#include <utility>

namespace app {

namespace {

constexpr std::uint32_t CountedBits[4] = {platform::attr::ReadOnly, platform::attr::Archive,
                                          platform::attr::System, platform::attr::Hidden};

// How often a long run may repaint its progress, and a drop show its new rows.
constexpr auto RepaintInterval = std::chrono::milliseconds(40);
constexpr auto PublishInterval = std::chrono::milliseconds(150);

std::string shown(const filelist::PathString& path) {
    return platform::displayText(std::filesystem::path(path));
}

} // namespace

Form1::Form1(FormControls& controls, Toolkit& toolkit) : ui_(controls), toolkit_(toolkit) {
    // A share that wants a password is asked for by a box of this window.
    share::signin::setAsker(
        [this](const share::signin::Question& q) { return toolkit_.askSignIn(q); });
}

Form1::~Form1() {
    share::signin::setAsker(nullptr);
}

void Form1::Form_Load() {
    ui_.setCaption(ProgramTitle);
    ui_.setHint(Ctl::ToolTipCheck, 0, "Schaltet die automatischen Hinweise ein oder aus");
    UserInfoLeereListe();
    InitDateTime();
    ChkSituation();
}

// ---------------------------------------------------------------- commands

void Form1::Btn_Click(int index) {
    // Nothing that changes files or the list runs while a drop is being entered; during a run
    // only "&Ende" and the help are taken.
    if (dropping_ && (index == ClearList || index == RemoveMarked || index == Start))
        return;
    if (running_ && index != End && index != Help)
        return;
    switch (index) {
    case ClearList:
        rows_.clear();
        marking_.reset();
        ui_.listReset();
        ui_.focus(Ctl::Liste, 0);
        UserInfoLeereListe();
        ChkSituation();
        break;
    case SelectAll:
    case SelectNone:
    case InvertMarks:
        ListeSelect(index == SelectAll ? 1 : index == SelectNone ? 0 : 2);
        ui_.focus(Ctl::Liste, 0);
        ChkSituation();
        break;
    case RemoveMarked:
        ClearAllSelectedItems();
        ui_.focus(Ctl::Liste, 0);
        ChkSituation();
        break;
    case Info:
        ui_.showInfo(ProgramTitle, ProgramDescription);
        break;
    case Start:
        SetNewAttributes();
        break;
    case End:
        ending_ = true;
        ui_.endProgram();
        break;
    case Help:
        shell::ShellOpenDefault(toolkit_, info::ProgramFolder() + "dateimark.htm");
        break;
    default:
        break;
    }
}

void Form1::AttribChk_Click(int index) {
    if (running_)
        return;
    // Empty and ticked alternate; grayed ("leave as each entry has it") comes back only to a
    // box the situation check preset grayed, so that a click can be undone.
    const auto k = std::size_t(index - 1);
    Tri& box = boxes_[k];
    box = box == Tri::Checked     ? Tri::Unchecked
          : box == Tri::Unchecked ? (mixedPreset_[k] ? Tri::Grayed : Tri::Checked)
                                  : Tri::Checked;
    ui_.setValue(Ctl::AttribChk, index, box);
}

void Form1::LogoImage_Click() {
    shell::ShellOpen(toolkit_, std::string(maker::MagazineTarget), app::ShowNormal);
}

// ---------------------------------------------------------------- status messages

void Form1::UserInfo(const std::string& text) {
    ui_.setText(Ctl::Panel, 2, text);
}

void Form1::UserInfoLeereListe() {
    UserInfo("Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ...");
}

// ---------------------------------------------------------------- situation check

void Form1::ChkSituation() {
    if (running_) // the run checks when it is done
        return;
    checkPending_ = false;
    ui_.setPointer(Pointer::Hourglass);
    ui_.listRowsInserted();

    std::int64_t selected = 0;
    std::int64_t counters[4] = {0, 0, 0, 0};
    // All rows in one call: the file layer reads a share's rows by folder listings. Rows a run
    // has just read back are not asked again.
    std::vector<std::size_t> asked;
    std::vector<bool> known(rows_.size(), false);
    for (const auto& [i, entry] : readBack_)
        known[i] = true;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (!known[i])
            asked.push_back(i);
    const auto take = [&](std::size_t i, std::error_code ec, const platform::EntryState& entry) {
        filelist::Row& row = rows_.at(i);
        if (ec) {
            // The row stays; the apply run reports why it cannot be processed.
            const bool vanished =
                ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
            row.state = vanished ? filelist::RowState::Missing : filelist::RowState::Unreadable;
            row.attributes = 0;
        } else {
            row.state = filelist::RowState::Present;
            row.attributes = entry.attributes;
            row.lastWrite = entry.lastWrite;
        }
        if (row.marked) {
            ++selected;
            for (int k = 0; k < 4; ++k)
                counters[k] += (row.attributes & CountedBits[k]) ? 1 : 0;
        }
    };
    for (const auto& [i, entry] : std::exchange(readBack_, {}))
        take(i, {}, entry);
    platform::queryEntries(
        asked.size(), [&](std::size_t k) { return rows_.at(asked[k]).path; },
        [&](std::size_t k, std::error_code ec, const platform::EntryState& entry) {
            take(asked[k], ec, entry);
        });
    ui_.listRowsChanged();

    const bool active = selected > 0;
    ui_.enable(Ctl::Btn, ClearList, !dropping_);
    ui_.enable(Ctl::Btn, RemoveMarked, active && !dropping_);
    ui_.enable(Ctl::Btn, Start, active && !dropping_);
    for (int k = 1; k <= 4; ++k) {
        const auto c = counters[k - 1];
        const Tri preset = !active || c == 0 ? Tri::Unchecked
                           : c == selected   ? Tri::Checked
                                             : Tri::Grayed;
        ui_.enable(Ctl::AttribChk, k, active);
        ui_.setValue(Ctl::AttribChk, k, preset);
        boxes_[std::size_t(k - 1)] = preset;
        mixedPreset_[std::size_t(k - 1)] = preset == Tri::Grayed;
    }
    ui_.enable(Ctl::TouchChk, 0, active);
    const bool dateActive = touching_ && active;
    for (int i = 0; i < 6; ++i) {
        ui_.enable(Ctl::DateTime, i, dateActive);
        ui_.setFieldColour(Ctl::DateTime, i, dateActive);
    }

    const auto n = rows_.size();
    ui_.setText(Ctl::Panel, 1,
                std::to_string(n) + (n == 1 ? " Datei" : " Dateien") + ", davon " +
                    std::to_string(selected) + " ausgewählt");
    ui_.setPointer(Pointer::Default);
}

// ---------------------------------------------------------------- list rows

void Form1::AddToList(const filelist::PathString& path) {
    addEntry(path, -1);
}

void Form1::addEntry(filelist::PathString path, int isFolder) {
    if (rows_.contains(path))
        return;
    if (isFolder < 0) {
        std::uint32_t word = 0;
        if (auto ec = platform::readAttributes(std::filesystem::path(path), word)) {
            noteSkipped(path, ec);
            return;
        }
        isFolder = (word & platform::attr::Directory) != 0;
    }
    UserInfo("Die Liste wird aufgefüllt: " + shown(path));
    rows_.insertTop(std::move(path), isFolder != 0);
    marking_.rowsInserted(1);
    addCounter_ = std::int16_t((addCounter_ + 1) % 64);
    if (addCounter_ == 0)
        yieldDuringDrop();
}

void Form1::noteSkipped(const filelist::PathString& path, std::error_code ec) {
    ++skipped_;
    UserInfo("Übersprungen: " + shown(path) + " (" + platform::reasonText(ec) + ")");
}

void Form1::yieldDuringDrop() {
    // New rows reach the view a few times a second, not at every yield: a repaint of the
    // list at each of them would cost more than entering the rows.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPublish_ >= PublishInterval) {
        ui_.listRowsInserted();
        lastPublish_ = now;
    }
    toolkit_.yield();
}

void Form1::setSorted(bool sorted) {
    sorted_ = sorted;
    if (sorted_)
        sortRows();
}

void Form1::sortRows() {
    ui_.listRowsInserted();
    const std::size_t n = rows_.size();
    if (n < 2)
        return;
    const auto keys = toolkit_.sortKeys(
        n, [&](std::size_t i) { return filelist::CellText(rows_.at(i), sortKey_); });
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return sortOrder_ == 1 ? keys->less(b, a) : keys->less(a, b);
    });
    rows_.reorder(order);
    marking_.reset();
    ui_.listReset();
}

// ---------------------------------------------------------------- drop handling

void Form1::setCommandsDuringDrop() {
    ui_.listAcceptDrops(!dropping_);
    for (int index : {0, 4, 8})
        ui_.enable(Ctl::Btn, index, false);
}

void Form1::Liste_OLEDragDrop(std::vector<filelist::PathString> names,
                              std::vector<std::string> refusedShares) {
    if (dropping_ || running_)
        return;
    // Only the names are taken now; the drop event returns and the file manager is free
    // while the names are entered.
    dropping_ = true;
    setCommandsDuringDrop();
    toolkit_.later([this, names = std::move(names), refused = std::move(refusedShares)]() mutable {
        dropping_ = false;
        DropNames(std::move(names), std::move(refused));
    });
}

bool Form1::HandOver(std::vector<filelist::PathString> names,
                     std::vector<std::string> refusedShares) {
    if (running_ || applying_ || ending_)
        return false;
    if (dropping_)
        handedOver_.emplace_back(std::move(names), std::move(refusedShares));
    else
        Liste_OLEDragDrop(std::move(names), std::move(refusedShares));
    return true;
}

void Form1::reportRefusedShares(const std::vector<std::string>& refused) {
    // A few lines say which; a long list would push the box off the screen.
    constexpr std::size_t Shown = 5;
    std::string text = refused.size() == 1
                           ? "Dies ist keine Datei und kein Ordner auf einer Freigabe:"
                           : "Dies sind keine Dateien und keine Ordner auf einer Freigabe:";
    for (std::size_t i = 0; i < refused.size() && i < Shown; ++i)
        text += "\r" + refused[i];
    if (refused.size() > Shown)
        text += "\r…";
    toolkit_.messageBox(text + "\r\rZiehen Sie Dateien oder Ordner aus der Freigabe in die Liste.",
                        MessageStyle::OkInformation, ProgramTitle);
}

void Form1::DropNames(std::vector<filelist::PathString> names,
                      std::vector<std::string> refusedShares) {
    if (dropping_ || ending_)
        return;
    if (names.empty()) {
        ui_.listAcceptDrops(true);
        ChkSituation();
        // Addresses of a share that name no file get their own words, not the general ones.
        if (!refusedShares.empty())
            reportRefusedShares(refusedShares);
        else
            toolkit_.messageBox("Bitte nur Datei- und Verzeichnisnamen in die Liste ziehen.",
                                MessageStyle::OkInformation, ProgramTitle);
        dropNextHandedOver();
        return;
    }
    dropping_ = true;
    setCommandsDuringDrop();
    skipped_ = 0;
    share::signin::forgetCancelled();
    setSorted(false);
    barMax_ = int(names.size());
    ui_.setBarValue(0);
    ui_.setBarMax(barMax_);
    ui_.setPointer(Pointer::Hourglass);
    lastPublish_ = std::chrono::steady_clock::now();

    for (std::size_t i = 0; i < names.size() && !ending_; ++i) {
        ui_.setBarValue(int(i + 1));
        enterDroppedName(std::move(names[i]));
    }
    dropping_ = false;
    if (ending_) // the program ends: no sorting, no situation check
        return;

    ui_.setBarValue(0);
    setSorted(true);
    ui_.listAcceptDrops(true);
    ChkSituation();
    // Said once the list can be used: after the closing sort and check.
    if (skipped_ == 0)
        UserInfo("Eintragung beendet");
    else if (skipped_ == 1)
        UserInfo("Eintragung beendet (1 Eintrag übersprungen)");
    else
        UserInfo("Eintragung beendet (" + std::to_string(skipped_) + " Einträge übersprungen)");
    ui_.setPointer(Pointer::Default);
    // Once the good names of the drop are in the list.
    if (!refusedShares.empty())
        reportRefusedShares(refusedShares);
    dropNextHandedOver();
}

void Form1::dropNextHandedOver() {
    if (handedOver_.empty() || dropping_ || ending_)
        return;
    auto [names, refused] = std::move(handedOver_.front());
    handedOver_.erase(handedOver_.begin());
    Liste_OLEDragDrop(std::move(names), std::move(refused));
}

void Form1::enterDroppedName(filelist::PathString name) {
    if (!expansion::NameIsUsable(name)) {
        toolkit_.messageBox("Der Verzeichnisname '" + shown(name) +
                                "'\renthält ungültige Zeichen und wird daher nicht "
                                "berücksichtigt.",
                            MessageStyle::OkPlain, ProgramTitle);
        return;
    }
    // A link dropped directly stands for the entry it points to, and is listed as that entry:
    // writes never go through a link.
    if (platform::isLink(std::filesystem::path(name))) {
        std::error_code ec;
        const auto target = std::filesystem::canonical(std::filesystem::path(name), ec);
        if (ec) {
            noteSkipped(name, ec);
            return;
        }
        name = target.native();
    }
    std::uint32_t word = 0;
    if (auto ec = platform::readAttributes(std::filesystem::path(name), word)) {
        noteSkipped(name, ec);
        return;
    }
    if (!(word & platform::attr::Directory)) {
        addEntry(name, 0);
        return;
    }
    if (expansion::DroppedFolderGetsOwnRow(name))
        addEntry(name, 1);

    expansion::CollectHooks hooks;
    hooks.yield = [this] { toolkit_.yield(); };
    hooks.stop = [this] { return ending_; };
    hooks.skipped = [this](const filelist::PathString& path, std::error_code ec) {
        noteSkipped(path, ec);
    };
    expansion::Found found = expansion::CollectFolder(name, hooks);
    // Each path moves into its row: a million paths are not held twice.
    for (std::size_t j = 0; j < found.files.size() && !ending_; ++j)
        addEntry(std::move(found.files[j]), 0);
    for (std::size_t j = 0; j < found.folders.size() && !ending_; ++j)
        addEntry(std::move(found.folders[j]), 1);
}

// ---------------------------------------------------------------- selection and sorting

void Form1::ListeSelect(std::int16_t mode) {
    switch (mode) {
    case 0:
    case 1:
        ui_.listRowsInserted();
        rows_.markAll(mode == 1);
        break;
    case 2:
        ui_.listRowsInserted();
        rows_.invertMarks();
        break;
    default:
        return;
    }
    ui_.listRowsChanged();
}

void Form1::ClearAllSelectedItems() {
    ui_.listRowsInserted();
    rows_.removeMarked();
    marking_.reset();
    ui_.listReset();
}

void Form1::Liste_MouseDown(std::size_t position, bool ctrl, bool shift) {
    ui_.listRowsInserted();
    marking_.click(position, ctrl, shift);
    ui_.listRowsChanged();
}

void Form1::Liste_Click() {
    ChkSituation();
}

void Form1::Liste_KeyDown(filelist::ListKey key, bool ctrl, bool shift, std::size_t pageRows) {
    ui_.listRowsInserted();
    const bool changed = marking_.key(key, ctrl, shift, pageRows);
    if (marking_.current() != filelist::Marking::None)
        ui_.listSetCurrent(marking_.current());
    if (!changed)
        return;
    ui_.listRowsChanged();
    // The boxes must describe the new marking before "&Start" can apply them, but a key held
    // down must not re-read the list for every row it passes.
    checkPending_ = true;
    const unsigned generation = ++keyGeneration_;
    toolkit_.after(QuietMilliseconds, [this, generation] {
        if (generation == keyGeneration_ && checkPending_)
            ChkSituation();
    });
}

void Form1::checkIfPending() {
    if (checkPending_)
        ChkSituation();
}

void Form1::Liste_ColumnClick(int column) {
    // Sorting during a drop or a run would move the row it is about to address.
    if (dropping_ || running_)
        return;
    if (column == lastSortColumn_) {
        sortOrder_ = (sortOrder_ + 1) % 2;
        if (sorted_)
            sortRows();
    } else {
        lastSortColumn_ = std::int16_t(column);
        sortKey_ = column - 1;
        setSorted(true);
    }
    ui_.listShowSortIndicator(sortKey_, sortOrder_);
    ChkSituation();
}

// ---------------------------------------------------------------- date and time fields

void Form1::InitDateTime() {
    const platform::LocalTime now = platform::presentLocalTime();
    const int values[6] = {now.hour, now.minute, now.second, now.day, now.month, now.year};
    for (int i = 0; i < 6; ++i)
        ui_.setText(Ctl::DateTime, i, std::to_string(values[i]));
    for (int i = 0; i < 6; ++i)
        touchTime_[std::size_t(i)] = std::int16_t(values[i]);
}

void Form1::DateTime_GotFocus(int index) {
    ui_.selectAll(Ctl::DateTime, index);
}

void Form1::DateTime_LostFocus(int index, const std::string& text) {
    const datefields::FieldCheck check = datefields::CheckField(index, text, touchTime_);
    ui_.setText(Ctl::DateTime, index, std::to_string(check.value));
    touchTime_[std::size_t(index)] = check.value;
    if (!check.valid) {
        ui_.focus(Ctl::DateTime, index);
        ui_.selectAll(Ctl::DateTime, index);
        toolkit_.beep();
        return;
    }
    if (index == datefields::Month || index == datefields::Year)
        DateTime_LostFocus(datefields::Day, std::to_string(touchTime_[datefields::Day]));
}

void Form1::TouchChk_Click(bool checked) {
    touching_ = checked;
    ChkSituation();
}

// ---------------------------------------------------------------- apply run

void Form1::showProgress(bool force) {
    // The run keeps the event loop out; repaint what shows progress a few dozen times a second.
    const auto now = std::chrono::steady_clock::now();
    if (force || now - lastRepaint_ >= RepaintInterval) {
        ui_.repaintProgress();
        lastRepaint_ = now;
    }
}

void Form1::setControlsDuringRun(bool enabled) {
    ui_.listAcceptDrops(enabled);
    ui_.enable(Ctl::Liste, 0, enabled);
    for (int index : {ClearList, SelectAll, SelectNone, InvertMarks, RemoveMarked, Info, Start})
        ui_.enable(Ctl::Btn, index, enabled);
    for (int k = 1; k <= 4; ++k)
        ui_.enable(Ctl::AttribChk, k, enabled);
    ui_.enable(Ctl::TouchChk, 0, enabled);
    for (int i = 0; i < 6; ++i)
        ui_.enable(Ctl::DateTime, i, enabled && touching_);
}

void Form1::SetNewAttributes() {
    // A marking changed by keys a moment ago: the boxes are preset for it first, so that a run
    // never applies boxes that describe other rows.
    checkIfPending();
    const platform::LocalTime moment = datefields::Moment(touchTime_);
    // A question box runs the event loop: names handed over then would change the rows.
    applying_ = true;
    std::int64_t written = 0;
    if (touching_ && !platform::onLocalClock(moment, written) &&
        toolkit_.messageBox("Diese Zeit gibt es am eingegebenen Tag nicht: die Uhren werden dann "
                            "vorgestellt.\rDie Dateien erhielten stattdessen " +
                                platform::formatLastWrite(written) + ".\r\rMöchten Sie fortsetzen?",
                            MessageStyle::YesNoStop, ProgramTitle) == MessageAnswer::No) {
        applying_ = false;
        UserInfo("Abgebrochen");
        return;
    }
    ui_.listRowsInserted();
    const std::size_t n = rows_.size();
    barMax_ = int(n);
    ui_.setBarValue(0);
    ui_.setBarMax(barMax_);
    ui_.setPointer(Pointer::Hourglass);
    const bool touching = touching_;
    const apply::BoxValues boxes = boxes_;
    lastRepaint_ = {};
    share::signin::forgetCancelled();

    // The marked rows on shares, and those on network mounts, are written many at a time ahead
    // of the loop below, which takes their results in its own order, so a failure asks at its
    // row as for any other.
    const auto onShare = [](const auto& path) { // generic: Windows paths are no share rows
        if constexpr (std::is_same_v<filelist::PathString, std::string>)
            return share::isShare(path);
        return false;
    };
    apply::RowBatch::Rows shareRows, mountRows, otherRows;
    std::vector<std::filesystem::path> folders;
    for (std::size_t i = n; i >= 1; --i) {
        const filelist::Row& row = rows_.at(i - 1);
        if (!row.marked)
            continue;
        const std::filesystem::path path(row.path);
        if (onShare(row.path)) {
            shareRows.emplace_back(i, path);
            continue;
        }
        folders.push_back(path.parent_path());
        otherRows.emplace_back(i, path);
    }
    std::vector<bool> onMount(n + 1, false);
    const std::vector<bool> remote = platform::onNetworkMounts(folders);
    for (std::size_t k = 0; k < otherRows.size(); ++k)
        if (remote[k]) {
            mountRows.push_back(otherRows[k]);
            onMount[otherRows[k].first] = true;
        }
    std::unique_ptr<apply::RowBatch> batch, pool;
    if (shareRows.size() > 1)
        batch = apply::RowBatch::onShares(shareRows, boxes, touching ? &moment : nullptr);
    if (mountRows.size() > 1)
        pool = apply::RowBatch::onNetworkMounts(mountRows, boxes, touching ? &moment : nullptr);
    else
        std::fill(onMount.begin(), onMount.end(), false);
    if (batch || pool) {
        // While they write, the window takes events: it repaints, moves, and "&Ende" ends the
        // run and the program. Nothing else may change the rows meanwhile.
        running_ = true;
        setControlsDuringRun(false);
    }

    bool aborted = false;
    int notSignedIn = 0; // rows of shares whose sign-in was cancelled: skipped without a question
    for (std::size_t i = n; i >= 1; --i) {
        ui_.setBarValue(barMax_ - int(i));
        showProgress(false);
        const filelist::Row& row = rows_.at(i - 1);
        if (!row.marked)
            continue;
        const std::filesystem::path path(row.path);
        apply::RowFailure failure;
        std::optional<platform::EntryState> after;
        const auto announce = [&] { UserInfo("Attribute werden übertragen: " + shown(row.path)); };
        bool done = false;
        apply::RowBatch* from = batch && onShare(row.path) ? batch.get()
                                : pool && onMount[i]       ? pool.get()
                                                           : nullptr;
        if (from) {
            announce();
            auto result = from->take(i, [&] {
                showProgress(false);
                toolkit_.yield();
                return !ending_;
            });
            if (ending_) {
                for (auto* b : {batch.get(), pool.get()})
                    if (b)
                        b->abandon();
                break;
            }
            done = result.done;
            failure = std::move(result.failure);
            after = result.after;
        } else {
            done = apply::ApplyRow(path, boxes, touching ? &moment : nullptr, announce, failure,
                                   nullptr, &after);
        }
        if (done) {
            if (after)
                readBack_.emplace_back(i - 1, *after);
            continue;
        }
        if (failure.ec == platform::Refusal::SignInCancelled) {
            ++notSignedIn;
            continue;
        }
        announce(); // a row that could not be read was not announced yet
        showProgress(true);
        const std::string text = "Folgendes Objekt ließ sich nicht bearbeiten:\r" +
                                 platform::displayText(path) + "\r\rGrund:\r" +
                                 apply::ReasonLine(failure) + "\r\rMöchten Sie fortsetzen?";
        if (toolkit_.messageBox(text, MessageStyle::YesNoStop, ProgramTitle) == MessageAnswer::No) {
            // Rows above that were written ahead already are put back as they were.
            const int left =
                (batch ? batch->stopAndUndoAbove(i) : 0) + (pool ? pool->stopAndUndoAbove(i) : 0);
            UserInfo(left == 0 ? std::string("Abgebrochen")
                               : "Abgebrochen (" + std::to_string(left) +
                                     (left == 1 ? " Eintrag" : " Einträge") +
                                     " ließen sich nicht zurücksetzen)");
            aborted = true;
            break;
        }
    }
    if (running_) {
        running_ = false;
        setControlsDuringRun(true);
    }
    applying_ = false;
    if (ending_) { // "&Ende" during the run: the window is gone
        readBack_.clear();
        return;
    }
    if (!aborted && notSignedIn == 0)
        UserInfo("Fertig");
    else if (!aborted)
        UserInfo("Fertig (" +
                 (notSignedIn == 1 ? std::string("1 Eintrag")
                                   : std::to_string(notSignedIn) + " Einträge") +
                 " ohne Anmeldung übersprungen)");
    ui_.setBarValue(0);
    ui_.setPointer(Pointer::Default);
    ChkSituation();
}

// ---------------------------------------------------------------- hints

void Form1::LoadToolTips(std::int16_t on) {
    struct Hint {
        Ctl control;
        int index;
        const char* text;
    };
    static const char* const attrib =
        "Setzen bzw. entfernen Sie ein Häkchen, um das betreffende Attribut bei den "
        "ausgewählten Dateien zu setzen bzw. zu löschen";
    static const Hint hints[] = {
        {Ctl::AttribChk, 1, attrib},
        {Ctl::AttribChk, 2, attrib},
        {Ctl::AttribChk, 3, attrib},
        {Ctl::AttribChk, 4, attrib},
        {Ctl::Liste, 0, "Ziehen Sie die Namen der zu bearbeitenden Dateien in diese Liste"},
        {Ctl::Btn, 0, "Löscht alle Dateinamen aus der obenstehenden Liste"},
        {Ctl::Btn, 1, "Markiert alle Dateien in der Liste als ausgewählt"},
        {Ctl::Btn, 2, "Löscht alle Dateimarkierungen"},
        {Ctl::Btn, 3, "Kehrt die aktuelle Dateiauswahl um"},
        {Ctl::Btn, 4, "Löscht alle markierten Dateinamen aus der obenstehenden Liste"},
        {Ctl::Btn, 5, "Gibt Zusatzinfos über das Programm"},
        {Ctl::Btn, 8, "Startet die Bearbeitung aller markierten Dateien in der Liste"},
        {Ctl::Btn, 9, "Beendet das Programm"},
        {Ctl::Btn, 10, "Startet die Onlinehilfe"},
        {Ctl::Bar, 0, "Zeigt den aktuellen Verarbeitungsstand an"},
        {Ctl::Panel, 1, "Kleine Statistik über die Dateien in der Liste"},
        {Ctl::Panel, 2, "Programmstatus und Hinweise für den Anwender"},
        {Ctl::DateTime, 0, "Feld für die Stunde des letzten Zugriffs"},
        {Ctl::DateTime, 1, "Feld für die Minute des letzten Zugriffs"},
        {Ctl::DateTime, 2, "Feld für die Sekunde des letzten Zugriffs"},
        {Ctl::DateTime, 3, "Feld für den Tag des letzten Zugriffs"},
        {Ctl::DateTime, 4, "Feld für den Monat des letzten Zugriffs"},
        {Ctl::DateTime, 5, "Feld für das Jahr des letzten Zugriffs"},
        {Ctl::TouchChk, 0,
         "Markieren Sie diesen Punkt, wenn Sie den Zeitpunkt des letzten Zugriffs ändern wollen"},
    };
    for (const Hint& hint : hints)
        ui_.setHint(hint.control, hint.index, on != 0 ? hint.text : "");
}

void Form1::ToolTipCheck_Click(bool checked) {
    LoadToolTips(checked ? 1 : 0);
}

} // namespace app
