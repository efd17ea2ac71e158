// The Windows window under Wine, checked through the Win32 API itself: the control tree built
// from the table, the start-up state, a drop through the list's drop target with a real file
// list (CF_HDROP), a click on a box and "&Start", and the German question box.
#include "app/controls.h"
#include "app/win32/form1win32.h"
#include "platform/scratch.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using win32kit::Widen;

// The shell's file list as a drag source hands it over.
class FileList : public IDataObject {
public:
    explicit FileList(const std::vector<fs::path>& paths) {
        std::wstring names;
        for (const fs::path& p : paths)
            names += p.native() + L'\0';
        names += L'\0';
        global_ = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(global_));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
        GlobalUnlock(global_);
    }
    virtual ~FileList() { GlobalFree(global_); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_IDataObject ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        const SIZE_T size = GlobalSize(global_);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = GlobalAlloc(GHND, size);
        std::memcpy(GlobalLock(medium->hGlobal), GlobalLock(global_), size);
        GlobalUnlock(medium->hGlobal);
        GlobalUnlock(global_);
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
        return f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    HGLOBAL global_ = nullptr;
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

struct Win32WindowTest : ::testing::Test {
    scratch::Folder dir;
    win32kit::Win32Toolkit toolkit;
    win32kit::Win32Window window{toolkit};

    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_WIN95_CLASSES;
        InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        ShowWindow(window.hwnd(), SW_SHOW);
        window.flushStatus();
    }
    void drop(const std::vector<fs::path>& paths) {
        FileList data(paths);
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        IDropTarget* target = window.dropTarget();
        ASSERT_EQ(target->DragEnter(&data, MK_LBUTTON, {10, 10}, &effect), S_OK);
        ASSERT_EQ(effect, DWORD(DROPEFFECT_COPY)); // never a move
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(target->Drop(&data, MK_LBUTTON, {10, 10}, &effect), S_OK);
        // The rows are entered once the drop has returned to the shell.
        toolkit.yield();
        while (window.logic().dropRunning())
            toolkit.yield();
        window.flushStatus();
    }
};

TEST_F(Win32WindowTest, IsBuiltFromTheTable) {
    EXPECT_EQ(textOf(window.hwnd()), L"Dateimark 2.5");
    RECT client;
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(client.right, window.px(app::WindowWidth));
    EXPECT_EQ(client.bottom, window.px(app::WindowHeight));
    EXPECT_FALSE(GetWindowLongW(window.hwnd(), GWL_STYLE) & (WS_MAXIMIZEBOX | WS_THICKFRAME));

    for (const app::ControlSpec& design : app::Controls()) {
        const std::string name = std::string(design.name) + " " + std::to_string(design.index);
        const HWND w = window.named(std::string(design.name), design.index);
        ASSERT_TRUE(w) << name;
        if (design.kind == app::Kind::StatusBar)
            continue; // docked at the bottom by the control itself
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        int left = design.left, top = design.top;
        if (!design.container.empty()) {
            left += app::Control(design.container).left;
            top += app::Control(design.container).top;
        }
        EXPECT_EQ(r.left, window.px(left)) << name;
        EXPECT_EQ(r.top, window.px(top)) << name;
        if (design.kind == app::Kind::Divider)
            continue; // an etched line takes the width (and length) the system draws it with
        EXPECT_EQ(r.right - r.left, window.px(design.width)) << name;
        EXPECT_EQ(r.bottom - r.top, window.px(design.height)) << name;
        if (design.kind == app::Kind::Button || design.kind == app::Kind::CheckBox ||
            design.kind == app::Kind::TriStateBox || design.kind == app::Kind::Frame) {
            EXPECT_EQ(textOf(w), Widen(design.caption)) << name;
        }
        LOGFONTW font{};
        GetObjectW(HFONT(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfWeight >= FW_BOLD, design.bold) << name;
    }

    // Tab runs through the focusable controls in the table's order.
    std::vector<std::pair<int, HWND>> tabs;
    for (const app::ControlSpec& design : app::Controls())
        if (design.tab >= 0 && design.kind != app::Kind::Frame && design.kind != app::Kind::Label)
            tabs.emplace_back(design.tab, window.named(std::string(design.name), design.index));
    std::sort(tabs.begin(), tabs.end());
    HWND at = tabs.front().second;
    for (std::size_t i = 1; i < tabs.size(); ++i) {
        at = GetNextDlgTabItem(window.hwnd(), at, FALSE);
        // Disabled controls are passed over.
        while (tabs[i].second != at && !IsWindowEnabled(tabs[i].second) && ++i < tabs.size()) {
        }
        if (i < tabs.size()) {
            EXPECT_EQ(at, tabs[i].second) << "tab position " << tabs[i].first;
        }
    }

    // Start-up: nothing to work on.
    EXPECT_FALSE(IsWindowEnabled(window.named("Btn", 8)));
    EXPECT_FALSE(IsWindowEnabled(window.named("AttribChk", 4)));
    EXPECT_EQ(panel(window.status(), 0), L"0 Dateien, davon 0 ausgewählt");
    EXPECT_EQ(panel(window.status(), 1),
              L"Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ...");
}

TEST_F(Win32WindowTest, MovedToADenserScreenEveryTwipGetsItsNewSize) {
    RECT suggested;
    GetWindowRect(window.hwnd(), &suggested);
    SendMessageW(window.hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144),
                 LPARAM(&suggested));
    const app::ControlSpec& start = app::Control("Btn", 8);
    RECT r;
    GetWindowRect(window.named("Btn", 8), &r);
    EXPECT_EQ(r.right - r.left, MulDiv(start.width, 144, 1440));
    EXPECT_EQ(r.bottom - r.top, MulDiv(start.height, 144, 1440));
}

TEST_F(Win32WindowTest, ADropOfTheShellsFileListEntersTheRowsAndStartSetsTheBoxes) {
    const fs::path folder = dir.folder("Ordner");
    const fs::path a = dir.file("Ordner/a.txt");
    const fs::path b = dir.file("b.txt");
    drop({folder, b});
    // A folder given by its drive letter gets no row of its own.
    EXPECT_EQ(SendMessageW(window.list(), LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(panel(window.status(), 1), L"Eintragung beendet");
    EXPECT_EQ(panel(window.status(), 0), L"2 Dateien, davon 2 ausgewählt");
    std::vector<std::wstring> names;
    for (int row = 0; row < 2; ++row) {
        wchar_t cell[MAX_PATH] = {};
        LVITEMW item{};
        item.iSubItem = 1;
        item.pszText = cell;
        item.cchTextMax = MAX_PATH;
        SendMessageW(window.list(), LVM_GETITEMTEXTW, WPARAM(row), LPARAM(&item));
        names.push_back(cell);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{b.native(), a.native()}));

    // Wine hands a file manager's drag over as a file list sent to the window: taken where it
    // lands on the list.
    const fs::path c = dir.file("c.txt");
    for (const auto [y, rows] : {std::pair{-20L, 2}, {40L, 3}}) { // above the list, then on it
        const std::wstring names = c.native() + L'\0' + L'\0';
        const HGLOBAL global = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * 2);
        auto* files = static_cast<DROPFILES*>(GlobalLock(global));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        RECT list;
        GetWindowRect(window.list(), &list);
        MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&list), 2);
        files->pt = {list.left + 40, list.top + y};
        std::memcpy(files + 1, names.data(), names.size() * 2);
        GlobalUnlock(global);
        SendMessageW(window.hwnd(), WM_DROPFILES, WPARAM(global), 0);
        toolkit.yield();
        while (window.logic().dropRunning())
            toolkit.yield();
        EXPECT_EQ(SendMessageW(window.list(), LVM_GETITEMCOUNT, 0, 0), rows) << y;
    }

    // One click ticks the empty box; "&Start" writes it.
    SendMessageW(window.named("AttribChk", 4), BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(window.named("AttribChk", 4), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(window.named("Btn", 8), BM_CLICK, 0, 0);
    window.flushStatus();
    EXPECT_EQ(panel(window.status(), 1), L"Fertig");
    for (const fs::path& p : {a, b, c})
        EXPECT_TRUE(GetFileAttributesW(p.c_str()) & FILE_ATTRIBUTE_HIDDEN) << p;

    // The file stays for the reader on the Linux side, when asked for.
    if (const char* keep = std::getenv("DATEIMARK_KEEP_HIDDEN")) {
        const fs::path kept = fs::path(Widen(keep));
        fs::copy_file(a, kept, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(SetFileAttributesW(kept.c_str(), GetFileAttributesW(a.c_str())));
    }
}

TEST_F(Win32WindowTest, TheQuestionBoxSpeaksGermanWhateverTheWindowsLanguage) {
    static std::wstring yes, no;
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        const HWND box = FindWindowW(L"#32770", L"Dateimark 2.5");
        if (!box)
            return;

        KillTimer(nullptr, id);
        yes = textOf(GetDlgItem(box, IDYES));
        no = textOf(GetDlgItem(box, IDNO));
        PostMessageW(box, WM_COMMAND, IDNO, 0);
    });
    EXPECT_EQ(toolkit.messageBox("Möchten Sie fortsetzen?", app::MessageStyle::YesNoStop,
                                 "Dateimark 2.5"),
              app::MessageAnswer::No);
    EXPECT_EQ(yes, L"&Ja");
    EXPECT_EQ(no, L"&Nein");
}

} // namespace
