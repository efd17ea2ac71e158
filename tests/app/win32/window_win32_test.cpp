// The Windows window under Wine, through the Win32 API itself: real drops, keys and screens.
#include "app/win32/form1window.h"
#include "app/win32/startup.h"
#include "platform/scratch.h"

#include <commctrl.h>
#include <shlobj.h>

#include <functional>

namespace {

namespace fs = std::filesystem;
using win32kit::Widen;

// The shell's own data object for \p paths of one folder, as a file manager's drag gives it.
IDataObject* shellFileList(const std::vector<fs::path>& paths) {
    std::vector<PIDLIST_ABSOLUTE> items;
    std::vector<PCUITEMID_CHILD> children;
    for (const fs::path& p : paths) {
        items.push_back(ILCreateFromPathW(p.c_str()));
        children.push_back(ILFindLastID(items.back()));
    }
    IShellFolder* folder = nullptr;
    IDataObject* data = nullptr;
    if (SUCCEEDED(SHBindToParent(items.front(), IID_IShellFolder, reinterpret_cast<void**>(&folder),
                                 nullptr))) {
        folder->GetUIObjectOf(nullptr, UINT(children.size()), children.data(), IID_IDataObject,
                              nullptr, reinterpret_cast<void**>(&data));
        folder->Release();
    }
    for (PIDLIST_ABSOLUTE item : items)
        ILFree(item);
    return data;
}

// The toolkit, with a moment inside the logic's blocking work: the closing sort of a drop.
struct Toolkit : win32kit::Win32Toolkit {
    std::function<void()> duringSort;
    std::unique_ptr<app::SortKeys>
    sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) override {
        if (duringSort)
            duringSort();
        return Win32Toolkit::sortKeys(count, textOf);
    }
};

std::wstring textOf(HWND w) {
    std::wstring text(std::size_t(GetWindowTextLengthW(w)), L'\0');
    GetWindowTextW(w, text.data(), int(text.size() + 1));
    return text;
}

std::wstring panel(HWND status, int part) {
    wchar_t text[512] = {};
    SendMessageW(status, SB_GETTEXTW, WPARAM(part), LPARAM(text));
    return text;
}

// Pixels darker than mid-grey inside \p r as \p w paints itself: text, not background.
int inkIn(HWND w, RECT r) {
    RECT client;
    GetClientRect(w, &client);
    const HDC screen = GetDC(w);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP picture = CreateCompatibleBitmap(screen, client.right, client.bottom);
    const HGDIOBJ old = SelectObject(dc, picture);
    SendMessageW(w, WM_PRINTCLIENT, WPARAM(dc), PRF_CLIENT | PRF_ERASEBKGND);
    int ink = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            ink += GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 100;
        }
    SelectObject(dc, old);
    DeleteObject(picture);
    DeleteDC(dc);
    ReleaseDC(w, screen);
    return ink;
}

// The message boxes of the window as the user sees them: text, buttons, frame, and the status
// bar's message meanwhile; each answered with the next of `answers` (a button's id).
struct SeenBox {
    std::wstring text, yes, no, status;
    RECT frame{};
};
std::vector<SeenBox> seen;
std::vector<int> answers;
HWND statusBar = nullptr;

void answerBoxes(std::vector<int> buttons) {
    seen.clear();
    answers = std::move(buttons);
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        const HWND box = FindWindowW(L"#32770", L"Dateimark 2.5");
        if (!box || !IsWindowVisible(box))
            return;
        seen.push_back({textOf(GetDlgItem(box, 0xFFFF)), textOf(GetDlgItem(box, IDYES)),
                        textOf(GetDlgItem(box, IDNO)), panel(statusBar, 1)});
        GetWindowRect(box, &seen.back().frame);
        PostMessageW(box, WM_COMMAND, answers.front(), 0);
        answers.erase(answers.begin());
        if (answers.empty())
            KillTimer(nullptr, id);
    });
}

struct Win32WindowTest : ::testing::Test {
    scratch::Folder dir;
    Toolkit toolkit;
    win32kit::Form1Window window{toolkit};

    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        statusBar = window.status();
        ShowWindow(window.hwnd(), SW_SHOW);
        SetForegroundWindow(window.hwnd());
    }
    // Runs the event loop until \p done, as the user's program would; false after 5 s.
    bool pumpUntil(const std::function<bool()>& done) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > 5000)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            toolkit.yield();
        }
        return true;
    }
    void drop(const std::vector<fs::path>& paths) {
        IDataObject* data = shellFileList(paths);
        ASSERT_TRUE(data);
        IDropTarget* target = window.dropTarget();
        for (const bool enter : {true, false}) {
            DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
            ASSERT_EQ(enter ? target->DragEnter(data, MK_LBUTTON, {10, 10}, &effect)
                            : target->Drop(data, MK_LBUTTON, {10, 10}, &effect),
                      S_OK);
            ASSERT_EQ(effect, DWORD(DROPEFFECT_COPY)); // never a move
        }
        data->Release();
        entered();
    }
    // The rows are entered once the drop has returned to the shell.
    void entered() {
        toolkit.yield();
        ASSERT_TRUE(pumpUntil([&] { return !window.logic().dropRunning(); }));
    }
    LRESULT rowCount() { return SendMessageW(window.list(), LVM_GETITEMCOUNT, 0, 0); }
    // The status panel shows \p text once the event loop has run: never a stale one.
    void expectStatus(const std::wstring& text) {
        EXPECT_TRUE(pumpUntil([&] { return panel(window.status(), 1) == text; }))
            << win32kit::Narrow(panel(window.status(), 1));
    }
};

TEST_F(Win32WindowTest, ADropOfTheShellsFileListEntersTheRowsAndStartSetsTheBoxes) {
    const fs::path folder = dir.folder("Ordner");
    const fs::path a = dir.file("Ordner/a.txt");
    const fs::path b = dir.file("b.txt");
    drop({folder, b});
    // A dropped folder gets a row of its own, as on Linux; only a drive root gets none.
    expectStatus(L"Eintragung beendet");
    EXPECT_EQ(panel(window.status(), 0), L"3 Dateien, davon 3 ausgewählt");
    std::vector<std::wstring> names;
    for (int row = 0; row < rowCount(); ++row) {
        wchar_t cell[MAX_PATH] = {};
        ListView_GetItemText(window.list(), int(row), 1, cell, MAX_PATH);
        names.push_back(cell);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{b.native(), a.native(), folder.native()}));

    // Wine hands a file manager's drag over as a file list sent to the window: taken where it
    // lands on the list.
    const fs::path c = dir.file("c.txt");
    for (const auto& [y, rows] : {std::pair{-20L, 3}, {40L, 4}}) { // above the list, then on it
        IDataObject* data = shellFileList({c});
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        ASSERT_EQ(data->GetData(&format, &medium), S_OK);
        data->Release();
        RECT list;
        GetWindowRect(window.list(), &list);
        MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&list), 2);
        auto* files = static_cast<DROPFILES*>(GlobalLock(medium.hGlobal));
        files->pt = {list.left + 40, list.top + y};
        files->fNC = FALSE;
        GlobalUnlock(medium.hGlobal);
        SendMessageW(window.hwnd(), WM_DROPFILES, WPARAM(medium.hGlobal), 0);
        entered();
        EXPECT_EQ(rowCount(), rows) << y;
    }

    // One click ticks the empty box; "&Start" writes it.
    SendMessageW(window.named("AttribChk", 4), BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(window.named("AttribChk", 4), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(window.named("Btn", 8), BM_CLICK, 0, 0);
    expectStatus(L"Fertig");
    for (const fs::path& p : {a, b, c})
        EXPECT_TRUE(GetFileAttributesW(p.c_str()) & FILE_ATTRIBUTE_HIDDEN) << p;

    // The file stays for the reader on the Linux side, when asked for.
    if (const char* keep = std::getenv("DATEIMARK_KEEP_HIDDEN")) {
        const fs::path kept = fs::path(Widen(keep));
        fs::copy_file(a, kept, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(SetFileAttributesW(kept.c_str(), GetFileAttributesW(a.c_str())));
    }
}

TEST_F(Win32WindowTest, InputMadeWhileTheLogicKeptTheLoopOutIsNotCarriedOutLater) {
    // During the drop's closing sort "&Start" is disabled: a click made then reaches it only
    // once it is enabled again, and must be dropped on the way.
    const HWND start = window.named("Btn", 8);
    toolkit.duringSort = [&] {
        RECT r;
        GetClientRect(start, &r);
        const LPARAM middle = MAKELPARAM(r.right / 2, r.bottom / 2);
        PostMessageW(start, WM_LBUTTONDOWN, MK_LBUTTON, middle);
        PostMessageW(start, WM_LBUTTONUP, 0, middle);
    };
    drop({dir.file("a.txt"), dir.file("b.txt")});
    toolkit.yield(); // whatever is still queued
    window.flushStatus();
    EXPECT_TRUE(IsWindowEnabled(start));
    EXPECT_EQ(panel(window.status(), 1), L"Eintragung beendet"); // not "Fertig"
}

TEST_F(Win32WindowTest, AnAccessKeyPressesItsOneControlOrMovesTheFocusAmongThoseSharingIt) {
    drop({dir.file("a.txt")});
    const HWND s = window.named("AttribChk", 3), r = window.named("AttribChk", 1),
               start = window.named("Btn", 8);
    const LRESULT sPreset = SendMessageW(s, BM_GETCHECK, 0, 0),
                  rPreset = SendMessageW(r, BM_GETCHECK, 0, 0);
    // "&S" and "&Start" share a key, so do "H&ilfe" and "&Info"; R has its own.
    const std::pair<WPARAM, HWND> steps[] = {{'s', s},
                                             {'S', start},
                                             {'s', s},
                                             {'i', window.named("Btn", 10)},
                                             {'I', window.named("Btn", 5)},
                                             {'r', r}};
    SetFocus(window.list());
    for (const auto& [key, focus] : steps) {
        PostMessageW(GetFocus(), WM_SYSCHAR, key, 1 << 29);
        toolkit.yield();
        EXPECT_EQ(GetFocus(), focus) << char(key);
    }
    window.flushStatus();
    EXPECT_EQ(panel(window.status(), 1), L"Eintragung beendet"); // "&Start" was not pressed
    EXPECT_EQ(window.infoDialog(), nullptr);                     // nor "&Info"
    EXPECT_EQ(SendMessageW(s, BM_GETCHECK, 0, 0), sPreset);
    EXPECT_NE(SendMessageW(r, BM_GETCHECK, 0, 0), rPreset);

    // Enter presses the focused button; a key alone, on a button, its one control.
    SetFocus(start);
    PostMessageW(start, WM_KEYDOWN, VK_RETURN, 0);
    toolkit.yield();
    window.flushStatus();
    EXPECT_EQ(panel(window.status(), 1), L"Fertig");
    PostMessageW(GetFocus(), WM_CHAR, 'k', 0); // "&Keine Auswahl"
    toolkit.yield();
    window.flushStatus();
    EXPECT_EQ(panel(window.status(), 0), L"1 Datei, davon 0 ausgewählt");

    // No button keeps the default frame once the focus has left it. Tab skips
    // "&Start", disabled with no row marked.
    const HWND end = window.named("Btn", 9);
    SetFocus(window.named("Btn", 5));
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    toolkit.yield();
    ASSERT_EQ(GetFocus(), end);
    SetFocus(window.list());
    EXPECT_EQ(GetWindowLongW(end, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
}

TEST_F(Win32WindowTest, OnEveryScreenTheHeaderLettersCaptionsAndInfoButtonsAreWhole) {
    // A text cut at a control's edge leaves ink in the edge's pixels.
    drop({dir.file("a.txt")});
    win32kit::InfoDialog info(window.hwnd(), toolkit);
    const HWND header = HWND(SendMessageW(window.list(), LVM_GETHEADER, 0, 0));
    for (const int dpi : {96, 144}) {
        RECT suggested;
        GetWindowRect(window.hwnd(), &suggested);
        for (HWND w : {window.hwnd(), info.hwnd()})
            SendMessageW(w, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), LPARAM(&suggested));
        for (int c = filelist::RColumn; c <= filelist::HColumn; ++c) {
            RECT item;
            SendMessageW(header, HDM_GETITEMRECT, WPARAM(c), LPARAM(&item));
            InflateRect(&item, -2, -2); // inside the edges
            EXPECT_GE(inkIn(header, item), 12) << "no letter in column " << c << " at " << dpi;
        }
        RECT type, icon{};
        icon.left = LVIR_ICON;
        SendMessageW(header, HDM_GETITEMRECT, 0, LPARAM(&type));
        SendMessageW(window.list(), LVM_GETITEMRECT, 0, LPARAM(&icon));
        const auto font = HFONT(SendMessageW(header, WM_GETFONT, 0, 0));
        EXPECT_GE(type.right,
                  win32kit::TextExtent(font, L"Typ").cx + 6 * GetSystemMetrics(SM_CXEDGE));
        EXPECT_LE(icon.right, type.right) << "the icon is cut at " << dpi;
        for (const int index : {0, 1}) { // "Datum:" and "Zeit:", right-aligned
            const HWND label = window.named("Label1", index);
            RECT client;
            GetClientRect(label, &client);
            EXPECT_EQ(inkIn(label, {0, 0, 1, client.bottom}), 0) << textOf(label) << dpi;
        }
        RECT dialog;
        GetClientRect(info.hwnd(), &dialog);
        for (HWND b = nullptr; (b = FindWindowExW(info.hwnd(), b, L"Button", nullptr));) {
            RECT client, frame;
            GetClientRect(b, &client);
            GetWindowRect(b, &frame);
            MapWindowPoints(nullptr, info.hwnd(), reinterpret_cast<POINT*>(&frame), 2);
            EXPECT_LE(frame.bottom, dialog.bottom) << textOf(b) << dpi;
            const RECT edge{3, client.bottom - 5, client.right - 3, client.bottom - 2};
            EXPECT_EQ(inkIn(b, edge), 0) << textOf(b) << dpi;
        }
    }
}

TEST_F(Win32WindowTest, TheQuestionBoxSpeaksGermanOverTheMiddleOfTheWindow) {
    answerBoxes({IDNO});
    EXPECT_EQ(toolkit.messageBox("Möchten Sie fortsetzen?", app::MessageStyle::YesNoStop,
                                 "Dateimark 2.5"),
              app::MessageAnswer::No);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].yes + L" " + seen[0].no, L"&Ja &Nein");
    RECT owner;
    GetWindowRect(window.hwnd(), &owner);
    const RECT& box = seen[0].frame;
    EXPECT_NEAR(box.left + box.right, owner.left + owner.right, 2);
    EXPECT_NEAR(box.top + box.bottom, owner.top + owner.bottom, 2);

    // A help page that is not there says so.
    answerBoxes({IDOK});
    SendMessageW(window.named("Btn", 10), BM_CLICK, 0, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].text.find(L"dateimark.htm\r\nließ sich nicht öffnen"), std::wstring::npos)
        << win32kit::Narrow(seen[0].text);
}

TEST_F(Win32WindowTest, EscapeClosesTheInfoDialog) {
    static bool closedLate;
    closedLate = false;
    const UINT_PTR escape = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    const UINT_PTR late = SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) {
        closedLate = true; // by its close box
        PostMessageW(GetActiveWindow(), WM_CLOSE, 0, 0);
    });
    window.showInfo("Dateimark 2.5", "");
    KillTimer(nullptr, escape);
    KillTimer(nullptr, late);
    EXPECT_FALSE(closedLate);
    EXPECT_FALSE(IsWindowVisible(window.infoDialog()));
}

TEST_F(Win32WindowTest, AGapTimeIsAskedAboutAndTheStatusNamesEachFailingRow) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    const fs::path a = dir.file("a.txt"), b = dir.file("b.txt");
    drop({a, b});
    fs::remove(b);
    const std::int64_t before = scratch::lastWriteOf(a);
    SendMessageW(window.named("TouchChk"), BM_CLICK, 0, 0);
    const char* fields[] = {"2", "30", "0", "29", "3", "2026"}; // 29.3.2026 02:30:00
    for (int i = 0; i < 6; ++i)
        window.logic().DateTime_LostFocus(i, fields[i]);
    for (const int answer : {IDNO, IDYES}) {
        answerBoxes({answer, IDYES});
        SendMessageW(window.named("Btn", 8), BM_CLICK, 0, 0);
        ASSERT_EQ(seen.size(), answer == IDNO ? 1u : 2u);
        EXPECT_NE(seen[0].text.find(L" 03:30:00.\r"), std::wstring::npos)
            << win32kit::Narrow(seen[0].text);
        EXPECT_EQ(scratch::lastWriteOf(a), answer == IDNO ? before : 1774747800); // 01:30 UTC
    }
    EXPECT_EQ(seen[1].status, L"Attribute werden übertragen: " + b.native());
}

TEST_F(Win32WindowTest, ASecondStartHandsItsNamesToThisWindowAndEnds) {
    const fs::path b = dir.file("b c.txt"), missing = dir.path() / "fehlt";
    std::wstring uri = L"file:///" + (dir.path() / "d e.txt").generic_wstring();
    uri.replace(uri.find(L' '), 1, L"%20");
    dir.file("d e.txt");
    using Action = app::CommandLine::Action;
    const std::tuple<std::wstring, Action, std::vector<fs::path>> cases[] = {
        // file:///nirgends names no drive: counted as skipped, as a missing name is
        {L"\"" + b.native() + L"\" " + uri + L" \"" + missing.native() + L"\" file:///nirgends/x",
         Action::Open,
         {b, dir.path() / "d e.txt", missing, fs::current_path() / L"file:\\nirgends\\x"}},
        {L"--version", Action::Version, {}},
        {L"-x " + b.native(), Action::Refuse, {}},
    };
    for (const auto& [args, action, names] : cases) {
        const auto line = app::ReadCommandLine(
            win32kit::ProgramArguments((L"\"C:\\Programme\\dateimark.exe\" " + args).c_str()));
        EXPECT_EQ(line.action, action) << win32kit::Narrow(args);
        EXPECT_EQ(std::vector<fs::path>(line.names.begin(), line.names.end()), names);
    }
    // The program itself: a second start while this window is open.
    std::wstring command =
        L"\"" + fs::path(DATEIMARK_EXE).make_preferred().native() + L"\" " + std::get<0>(cases[0]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    EXPECT_TRUE(
        pumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }));
    DWORD status = 99;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(status, 0u);
    expectStatus(L"Eintragung beendet (2 Einträge übersprungen)");
    EXPECT_EQ(rowCount(), 2);
}

} // namespace
