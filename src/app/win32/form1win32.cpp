#include "app/win32/form1win32.h"

#include "app/controls.h"
#include "app/win32/resources.h"
#include "app/shellopen.h"
#include "info/infotext.h"
#include "platform/fileservices.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace win32kit {

using app::Ctl;

namespace {

constexpr wchar_t WindowClass[] = L"DateimarkForm1";
constexpr wchar_t InfoClass[] = L"DateimarkInfoForm";
constexpr UINT FirstControlId = 1000;
constexpr UINT RefocusField = WM_APP + 2;
constexpr UINT_PTR StatusTimer = 1;
constexpr UINT DpiChanged = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later
constexpr DWORD StatusInterval = 40; // ms

int windowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (auto f = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32"), "GetDpiForWindow"))))
        if (const UINT dpi = f(hwnd))
            return int(dpi);
    const HDC dc = GetDC(hwnd);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hwnd, dc);
    return dpi > 0 ? dpi : 96;
}

HFONT makeFont(int dpi, const wchar_t* face, int hundredthsOfPoint, bool bold) {
    return CreateFontW(-MulDiv(hundredthsOfPoint, dpi, 7200), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

// A picture stretched into its control with smooth scaling; with \p fillHeight it keeps its
// proportions, fills the height and is cut at the sides.
void drawPicture(const DRAWITEMSTRUCT& item, HBITMAP picture, bool fillHeight) {
    BITMAP info{};
    GetObjectW(picture, sizeof info, &info);
    RECT r = item.rcItem;
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (fillHeight)
        DrawEdge(item.hDC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    const HDC source = CreateCompatibleDC(item.hDC);
    const HGDIOBJ old = SelectObject(source, picture);
    SetStretchBltMode(item.hDC, HALFTONE);
    SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    const int height = r.bottom - r.top;
    int width = r.right - r.left, left = r.left;
    if (fillHeight) {
        width = MulDiv(info.bmWidth, height, info.bmHeight);
        left = r.left + ((r.right - r.left) - width) / 2;
    }
    const HRGN clip = CreateRectRgnIndirect(&r);
    SelectClipRgn(item.hDC, clip);
    StretchBlt(item.hDC, left, r.top, width, height, source, 0, 0, info.bmWidth, info.bmHeight,
               SRCCOPY);
    SelectClipRgn(item.hDC, nullptr);
    DeleteObject(clip);
    SelectObject(source, old);
    DeleteDC(source);
}

// The names of the shell's file list, in their order.
std::vector<filelist::PathString> namesIn(HDROP drop) {
    std::vector<filelist::PathString> names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, name.data(), UINT(name.size() + 1));
        names.push_back(std::move(name));
    }
    return names;
}

} // namespace

// ---------------------------------------------------------------- drops

// The list's drop target: the shell's file list (CF_HDROP) gives the ordered names; a drop is
// taken as a copy (or a link), never as a move, and refused while a drop is being entered.
class DropTarget : public IDropTarget {
public:
    explicit DropTarget(Win32Window& window) : window_(window) {}
    virtual ~DropTarget() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0)
            delete this;
        return ULONG(n);
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = takenAs(*effect);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = takenAs(*effect);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        *effect = takenAs(*effect);
        if (*effect != DROPEFFECT_NONE)
            window_.logic().Liste_OLEDragDrop(namesOf(data));
        return S_OK;
    }

    static std::vector<filelist::PathString> namesOf(IDataObject* data) {
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        if (!data || FAILED(data->GetData(&format, &medium)))
            return {};
        auto names = namesIn(static_cast<HDROP>(medium.hGlobal));
        ReleaseStgMedium(&medium);
        return names;
    }

private:
    DWORD takenAs(DWORD allowed) const {
        if (!window_.acceptingDrops())
            return DROPEFFECT_NONE;
        if (allowed & DROPEFFECT_COPY)
            return DROPEFFECT_COPY;
        return allowed & DROPEFFECT_LINK ? DROPEFFECT_LINK : DROPEFFECT_NONE;
    }

    Win32Window& window_;
    LONG refs_ = 1;
};

// ---------------------------------------------------------------- the window

Win32Window::Win32Window(Win32Toolkit& toolkit)
    : toolkit_(toolkit), logic_(std::make_unique<app::Form1>(*this, toolkit)) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_DATEIMARK));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_DATEIMARK), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = WindowClass;
    RegisterClassExW(&wc);

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, WindowClass, L"---", style, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
    dpi_ = windowDpi(hwnd_);
    // The client area has the design's size; the window opens centred on its screen.
    RECT frame{0, 0, px(app::WindowWidth), px(app::WindowHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, work.left + ((work.right - work.left) - w) / 2,
                 work.top + ((work.bottom - work.top) - h) / 2, w, h, SWP_NOZORDER);
    toolkit_.setOwner(hwnd_);
    buildControls();
    dropTarget_ = new DropTarget(*this);
    RegisterDragDrop(list_, dropTarget_);
    logic_->Form_Load();
}

Win32Window::~Win32Window() {
    if (IsWindow(list_))
        RevokeDragDrop(list_);
    if (dropTarget_)
        dropTarget_->Release();
    if (IsWindow(infoDialog_))
        DestroyWindow(infoDialog_);
    // Gone with its owner, the window ends no event loop.
    quitOnDestroy_ = false;
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    for (HGDIOBJ o : {HGDIOBJ(font_), HGDIOBJ(bold_), HGDIOBJ(fieldBrush_), HGDIOBJ(frameBrush_)})
        if (o)
            DeleteObject(o);
}

IDropTarget* Win32Window::dropTarget() const {
    return dropTarget_;
}

HWND Win32Window::named(const std::string& name, int index) const {
    auto it = controls_.find({name, index});
    return it == controls_.end() ? nullptr : it->second;
}

HWND Win32Window::control(Ctl c, int index) const {
    if (c == Ctl::Panel)
        return status_;
    return named(app::ControlName(c), app::IsControlArray(c) ? index : -1);
}

void Win32Window::buildControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    font_ = makeFont(dpi_, L"Microsoft Sans Serif", 825, false);
    bold_ = makeFont(dpi_, L"Microsoft Sans Serif", 825, true);
    fieldBrush_ = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    frameBrush_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    logoCursor_ = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_LOGO));
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                            nullptr, instance, nullptr);
    SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, px(6000));

    // Controls that take no focus first, then the others in their tab order: the dialog
    // manager tabs in the order the controls were made. Frames are drawn around what follows.
    std::vector<const app::ControlSpec*> order;
    for (const app::ControlSpec& design : app::Controls())
        order.push_back(&design);
    auto focusable = [](const app::ControlSpec* s) {
        return s->tab >= 0 && s->kind != app::Kind::Frame && s->kind != app::Kind::Label;
    };
    std::stable_sort(order.begin(), order.end(), [&](auto* a, auto* b) {
        if (focusable(a) != focusable(b))
            return !focusable(a);
        return focusable(a) && a->tab < b->tab;
    });

    UINT id = FirstControlId;
    for (const app::ControlSpec* design : order) {
        const RECT at = placeOf(*design);
        const std::wstring caption = Widen(design->caption);
        const wchar_t* cls = L"BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE, exStyle = 0;
        switch (design->kind) {
        case app::Kind::Frame:
            style |= BS_GROUPBOX;
            break;
        case app::Kind::Divider:
            cls = L"STATIC";
            style |= SS_ETCHEDVERT;
            break;
        case app::Kind::List:
            cls = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case app::Kind::Button:
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case app::Kind::TriStateBox:
            style |= BS_3STATE | WS_TABSTOP; // the logic decides the next state
            break;
        case app::Kind::CheckBox:
            style |= BS_AUTOCHECKBOX | WS_TABSTOP | (design->height >= 2 * 195 ? BS_MULTILINE : 0);
            break;
        case app::Kind::TextBox:
            cls = L"EDIT";
            style |= ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case app::Kind::Label:
            cls = L"STATIC";
            style |= SS_RIGHT;
            break;
        case app::Kind::ProgressBar:
            cls = PROGRESS_CLASSW;
            break;
        case app::Kind::Picture:
            cls = L"STATIC";
            style |= SS_OWNERDRAW | SS_NOTIFY;
            break;
        case app::Kind::StatusBar:
            cls = STATUSCLASSNAMEW;
            style |= SBARS_TOOLTIPS;
            break;
        }
        const HWND w = CreateWindowExW(exStyle, cls, caption.c_str(), style, at.left, at.top,
                                       at.right - at.left, at.bottom - at.top, hwnd_,
                                       reinterpret_cast<HMENU>(UINT_PTR(id)), instance, nullptr);
        SendMessageW(w, WM_SETFONT, WPARAM(design->bold ? bold_ : font_), FALSE);
        if (design->maxLength > 0)
            SendMessageW(w, EM_LIMITTEXT, WPARAM(design->maxLength), 0);
        controls_[{std::string(design->name), design->index}] = w;
        byId_[id++] = {std::string(design->name), design->index};
    }

    list_ = named("Liste");
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    const HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
    for (int icon : {IDI_FOLDER, IDI_SHEET})
        ImageList_AddIcon(images, static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(icon),
                                                                IMAGE_ICON, 16, 16, 0)));
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(images));
    const auto columns = app::Columns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::wstring header = Widen(columns[c].header);
        const int width = columnWidth(int(c));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = columns[c].centred ? LVCFMT_CENTER : LVCFMT_LEFT;
        column.cx = width;
        column.pszText = header.data();
        column.iSubItem = int(c);
        SendMessageW(list_, LVM_INSERTCOLUMNW, c, LPARAM(&column));
    }
    SetWindowSubclass(list_, listProc, 0, DWORD_PTR(this));
    DragAcceptFiles(list_, TRUE);
    DragAcceptFiles(hwnd_, TRUE);

    status_ = named("Status");
    setStatusParts();
    SendMessageW(status_, SB_SETTEXTW, 0, LPARAM(L"0 Dateien"));

    SendMessageW(named("Bar"), PBM_SETRANGE32, 0, 100);
    // The logo's hint belongs to the design; the hint switch does not touch it.
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = UINT_PTR(named("LogoImage"));
    std::wstring logoHint =
        L"Klicken Sie hier, um zur aktuellen Internetausgabe der Quarn zu gelangen ...";
    tool.lpszText = logoHint.data();
    SendMessageW(tips_, TTM_ADDTOOLW, 0, LPARAM(&tool));
}

RECT Win32Window::placeOf(const app::ControlSpec& design) const {
    int left = design.left, top = design.top;
    if (!design.container.empty()) { // group boxes hold no children on Win32: offset
        const app::ControlSpec& frame = app::Control(design.container);
        left += frame.left;
        top += frame.top;
    }
    return {px(left), px(top), px(left + design.width), px(top + design.height)};
}

int Win32Window::columnWidth(int column) const {
    const int width = px(app::Columns()[std::size_t(column)].width);
    if (column != filelist::DateColumn)
        return width;
    // The date column takes what its widest text needs, never less than its design.
    const std::wstring widest = Widen(platform::formatLastWrite(1230494338));
    const HDC dc = GetDC(list_);
    const HGDIOBJ old = SelectObject(dc, font_);
    SIZE extent{};
    GetTextExtentPoint32W(dc, widest.c_str(), int(widest.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(list_, dc);
    return std::max(width, int(extent.cx) + px(240));
}

void Win32Window::setStatusParts() {
    const int parts[2] = {px(app::StatisticsPanelWidth), -1};
    SendMessageW(status_, SB_SETPARTS, 2, LPARAM(parts));
}

void Win32Window::rescale(int dpi, const RECT& suggested) {
    // Moved to a screen of other dots per inch: every twip gets its new size.
    dpi_ = dpi;
    const HFONT oldFont = font_, oldBold = bold_;
    font_ = makeFont(dpi_, L"Microsoft Sans Serif", 825, false);
    bold_ = makeFont(dpi_, L"Microsoft Sans Serif", 825, true);
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const app::ControlSpec& design : app::Controls()) {
        const HWND w = named(std::string(design.name), design.index);
        const RECT at = placeOf(design);
        SendMessageW(w, WM_SETFONT, WPARAM(design.bold ? bold_ : font_), TRUE);
        if (design.kind == app::Kind::StatusBar)
            SendMessageW(w, WM_SIZE, 0, 0); // docks itself
        else
            SetWindowPos(w, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (int c = 0; c < int(app::Columns().size()); ++c)
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, WPARAM(c), columnWidth(c));
    setStatusParts();
    DeleteObject(oldFont);
    DeleteObject(oldBold);
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(self));
        self->hwnd_ = hwnd;
    }
    if (!self || !self->logic_)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

LRESULT Win32Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        auto it = byId_.find(LOWORD(wParam));
        if (it == byId_.end())
            break;
        const auto& [name, index] = it->second;
        const UINT code = HIWORD(wParam);
        if (code == BN_CLICKED && name == "Btn")
            logic_->Btn_Click(index);
        else if (code == BN_CLICKED && name == "AttribChk")
            logic_->AttribChk_Click(index);
        else if (code == BN_CLICKED && name == "TouchChk")
            logic_->TouchChk_Click();
        else if (code == BN_CLICKED && name == "ToolTipCheck")
            logic_->ToolTipCheck_Click();
        else if (code == STN_CLICKED && name == "LogoImage")
            logic_->LogoImage_Click();
        else if (code == EN_SETFOCUS && name == "DateTime")
            logic_->DateTime_GotFocus(index);
        else if (code == EN_KILLFOCUS && name == "DateTime") {
            // Leaving the window is no leaving of the field.
            const HWND next = GetFocus();
            if (next && (next == hwnd_ || IsChild(hwnd_, next)))
                logic_->DateTime_LostFocus(index);
        }
        return 0;
    }
    case WM_NOTIFY:
        return onNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_DROPFILES:
        dropFiles(hwnd_, reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        const bool logo = item.hwndItem == named("LogoImage");
        static HBITMAP pictures[2] = {};
        HBITMAP& picture = pictures[logo ? 0 : 1];
        if (!picture)
            picture = static_cast<HBITMAP>(LoadImageW(
                GetModuleHandleW(nullptr), MAKEINTRESOURCEW(logo ? IDB_LOGO : IDB_CIRCUIT),
                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (picture)
            drawPicture(item, picture, !logo);
        return TRUE;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        auto it = fieldInUse_.find(reinterpret_cast<HWND>(lParam));
        if (it == fieldInUse_.end())
            break;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(it->second ? COLOR_WINDOW : COLOR_BTNFACE));
        return LRESULT(it->second ? fieldBrush_ : frameBrush_);
    }
    case WM_SETCURSOR:
        if (hourglass_) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (reinterpret_cast<HWND>(wParam) == named("LogoImage") && logoCursor_) {
            SetCursor(logoCursor_);
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == StatusTimer)
            flushStatus();
        break;
    case RefocusField:
        SetFocus(reinterpret_cast<HWND>(wParam));
        SendMessageW(reinterpret_cast<HWND>(wParam), EM_SETSEL, 0, -1);
        return 0;
    case Win32Toolkit::PostedWork:
        toolkit_.runPosted();
        return 0;
    case DpiChanged:
        rescale(HIWORD(wParam), *reinterpret_cast<RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        logic_->Form_Unload();
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        if (quitOnDestroy_)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

std::size_t Win32Window::pending() const {
    return logic_->rows().size() - published_;
}

LRESULT Win32Window::onNotify(NMHDR* header) {
    if (header->hwndFrom != list_)
        return 0;
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        const std::size_t position = std::size_t(item.iItem) + pending();
        if (position >= logic_->rows().size())
            return 0;
        const filelist::Row& row = logic_->rows().at(position);
        if (item.mask & LVIF_TEXT) {
            cellBuffer_ = item.iSubItem == filelist::NameColumn
                              ? row.path
                              : Widen(filelist::CellText(row, item.iSubItem));
            lstrcpynW(item.pszText, cellBuffer_.c_str(), item.cchTextMax);
        }
        if (item.mask & LVIF_IMAGE)
            item.iImage = row.isFolder ? 0 : 1;
        return 0;
    }
    case NM_CUSTOMDRAW: {
        auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(header);
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            // The marks live in the rows: painted as the selection.
            const std::size_t position = std::size_t(draw.nmcd.dwItemSpec) + pending();
            if (position < logic_->rows().size() && logic_->rows().at(position).marked) {
                draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
                draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
            }
            draw.nmcd.uItemState &= ~UINT(CDIS_SELECTED | CDIS_FOCUS);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    case LVN_COLUMNCLICK:
        logic_->Liste_ColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem + 1);
        return 0;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------- the list's gestures

LRESULT CALLBACK Win32Window::listProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR self) {
    if (reinterpret_cast<Win32Window*>(self)->onListInput(message, wParam, lParam))
        return 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void Win32Window::markByMouse(int item, bool ctrl, bool shift) {
    filelist::RowStore& rows = logic_->rows();
    const std::size_t offset = pending();
    if (item < 0) {
        if (!ctrl && !shift)
            rows.markAll(false);
    } else if (shift) {
        if (anchor_ < 0)
            anchor_ = item;
        if (!ctrl)
            rows.markAll(false);
        for (int i = std::min(anchor_, item); i <= std::max(anchor_, item); ++i)
            rows.at(std::size_t(i) + offset).marked = true;
    } else {
        filelist::Row& row = rows.at(std::size_t(item) + offset);
        const bool mark = ctrl ? !row.marked : true;
        if (!ctrl)
            rows.markAll(false);
        row.marked = mark;
        anchor_ = item;
    }
    if (item >= 0) {
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        SendMessageW(list_, LVM_SETITEMSTATE, WPARAM(item), LPARAM(&state));
        SendMessageW(list_, LVM_ENSUREVISIBLE, WPARAM(item), FALSE);
    }
    InvalidateRect(list_, nullptr, FALSE);
}

void Win32Window::moveFocusItem(int item, bool ctrl, bool shift) {
    const int count = int(published_);
    if (count == 0)
        return;
    item = std::clamp(item, 0, count - 1);
    if (ctrl) { // only the focus moves
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        SendMessageW(list_, LVM_SETITEMSTATE, WPARAM(item), LPARAM(&state));
        SendMessageW(list_, LVM_ENSUREVISIBLE, WPARAM(item), FALSE);
        InvalidateRect(list_, nullptr, FALSE);
        return;
    }
    markByMouse(item, false, shift);
    if (shift)
        return;
    anchor_ = item;
}

bool Win32Window::onListInput(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        LVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const int item = int(SendMessageW(list_, LVM_HITTEST, 0, LPARAM(&hit)));
        SetFocus(list_);
        markByMouse(hit.flags & LVHT_ONITEM ? item : -1, wParam & MK_CONTROL, wParam & MK_SHIFT);
        return true;
    }
    case WM_LBUTTONUP:
        logic_->Liste_Click();
        return true;
    case WM_KEYDOWN: {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
        const int focus = int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
        const int page = std::max(1, int(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0)));
        switch (wParam) {
        case VK_UP:
            moveFocusItem(focus - 1, ctrl, shift);
            return true;
        case VK_DOWN:
            moveFocusItem(focus + 1, ctrl, shift);
            return true;
        case VK_PRIOR:
            moveFocusItem(focus - page, ctrl, shift);
            return true;
        case VK_NEXT:
            moveFocusItem(focus + page, ctrl, shift);
            return true;
        case VK_HOME:
            moveFocusItem(0, ctrl, shift);
            return true;
        case VK_END:
            moveFocusItem(int(published_) - 1, ctrl, shift);
            return true;
        case 'A':
            if (!ctrl)
                return false;
            logic_->rows().markAll(true);
            InvalidateRect(list_, nullptr, FALSE);
            return true;
        case VK_SPACE:
            if (focus >= 0)
                markByMouse(focus, ctrl, shift);
            return true;
        default:
            return false;
        }
    }
    case WM_DROPFILES: // a drop that did not come through the drop target
        dropFiles(list_, reinterpret_cast<HDROP>(wParam));
        return true;
    default:
        return false;
    }
}

void Win32Window::dropFiles(HWND receiver, HDROP drop) {
    // Wine hands a file manager's drag to the window as a file list; only the list takes it.
    POINT at{};
    DragQueryPoint(drop, &at);
    MapWindowPoints(receiver, list_, &at, 1);
    RECT area;
    GetClientRect(list_, &area);
    std::vector<filelist::PathString> names = namesIn(drop);
    DragFinish(drop);
    if (acceptingDrops_ && PtInRect(&area, at))
        logic_->Liste_OLEDragDrop(std::move(names));
}

// ---------------------------------------------------------------- control operations

void Win32Window::setCaption(const std::string& text) {
    SetWindowTextW(hwnd_, Widen(text).c_str());
}

void Win32Window::setPointer(app::Pointer pointer) {
    hourglass_ = pointer == app::Pointer::Hourglass;
    POINT at;
    GetCursorPos(&at);
    if (WindowFromPoint(at) == hwnd_ || IsChild(hwnd_, WindowFromPoint(at)))
        SetCursor(LoadCursorW(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW));
}

void Win32Window::endProgram() {
    DestroyWindow(hwnd_);
}

void Win32Window::enable(Ctl c, int index, bool enabled) {
    if (c == Ctl::Panel)
        return;
    EnableWindow(control(c, index), enabled);
}

int Win32Window::value(Ctl c, int index) {
    // BST_UNCHECKED, BST_CHECKED and BST_INDETERMINATE are 0, 1 and 2, as the logic counts.
    return int(SendMessageW(control(c, index), BM_GETCHECK, 0, 0));
}

void Win32Window::setValue(Ctl c, int index, int value) {
    SendMessageW(control(c, index), BM_SETCHECK, WPARAM(value), 0);
}

std::string Win32Window::text(Ctl c, int index) {
    const HWND w = control(c, index);
    std::wstring text(std::size_t(GetWindowTextLengthW(w)), L'\0');
    GetWindowTextW(w, text.data(), int(text.size() + 1));
    return Narrow(text);
}

void Win32Window::setText(Ctl c, int index, const std::string& text) {
    if (c != Ctl::Panel) {
        SetWindowTextW(control(c, index), Widen(text).c_str());
        return;
    }
    // A drop reports every path: the panel shows the newest a few dozen times a second, and
    // the last one once the event loop runs again.
    panelText_[index == 1 ? 0 : 1] = Widen(text);
    const DWORD now = GetTickCount();
    if (now - lastPanelPaint_ >= StatusInterval)
        flushStatus();
    else if (!panelTimer_)
        panelTimer_ = SetTimer(hwnd_, StatusTimer, StatusInterval, nullptr);
}

void Win32Window::flushStatus() {
    for (int part = 0; part < 2; ++part) {
        if (panelText_[part] == panelShown_[part])
            continue;
        panelShown_[part] = panelText_[part];
        SendMessageW(status_, SB_SETTEXTW, WPARAM(part), LPARAM(panelShown_[part].c_str()));
    }
    lastPanelPaint_ = GetTickCount();
    if (panelTimer_)
        KillTimer(hwnd_, StatusTimer);
    panelTimer_ = 0;
}

void Win32Window::selectAll(Ctl c, int index) {
    SendMessageW(control(c, index), EM_SETSEL, 0, -1);
}

void Win32Window::focus(Ctl c, int index) {
    if (c == Ctl::DateTime) // inside a change of focus: once that is done
        PostMessageW(hwnd_, RefocusField, WPARAM(control(c, index)), 0);
    else
        SetFocus(control(c, index));
}

void Win32Window::setFieldColour(Ctl c, int index, bool inUse) {
    const HWND field = control(c, index);
    fieldInUse_[field] = inUse;
    InvalidateRect(field, nullptr, TRUE);
}

void Win32Window::setHint(Ctl c, int index, const std::string& text) {
    if (c == Ctl::Panel) {
        SendMessageW(status_, SB_SETTIPTEXTW, WPARAM(index - 1), LPARAM(Widen(text).c_str()));
        return;
    }
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = UINT_PTR(control(c, index));
    SendMessageW(tips_, TTM_DELTOOLW, 0, LPARAM(&tool));
    if (text.empty())
        return;
    std::wstring wide = Widen(text);
    tool.lpszText = wide.data();
    SendMessageW(tips_, TTM_ADDTOOLW, 0, LPARAM(&tool));
}

void Win32Window::setBarMax(int max) {
    SendMessageW(named("Bar"), PBM_SETRANGE32, 0, max);
}

void Win32Window::setBarValue(int value) {
    SendMessageW(named("Bar"), PBM_SETPOS, WPARAM(value), 0);
}

void Win32Window::repaintProgress() {
    flushStatus();
    UpdateWindow(named("Bar"));
    UpdateWindow(status_);
}

void Win32Window::listRowsAdded() {
    if (pending() == 0)
        return;
    published_ = logic_->rows().size();
    SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(published_), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, FALSE);
}

void Win32Window::listRowsRefreshed() {
    InvalidateRect(list_, nullptr, FALSE);
}

void Win32Window::listClear() {
    logic_->rows().clear();
    published_ = 0;
    anchor_ = -1;
    SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
}

void Win32Window::listRemoveMarked() {
    listRowsAdded();
    logic_->rows().removeMarked();
    published_ = logic_->rows().size();
    anchor_ = -1;
    SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(published_), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, FALSE);
}

void Win32Window::listSort(int key, int order) {
    listRowsAdded();
    filelist::RowStore& rows = logic_->rows();
    const std::size_t n = rows.size();
    if (n < 2)
        return;
    // Sort keys of the column texts as the user reads them, by the user's locale, ignoring
    // case; compared as bytes. One buffer holds them all: a million small strings would cost
    // more than the keys.
    std::string keys;
    std::vector<std::uint32_t> start(n + 1);
    std::wstring text;
    for (std::size_t i = 0; i < n; ++i) {
        text = key == filelist::NameColumn ? rows.at(i).path
                                           : Widen(filelist::CellText(rows.at(i), key));
        const int size =
            LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.c_str(),
                          int(text.size()), nullptr, 0, nullptr, nullptr, 0);
        start[i] = std::uint32_t(keys.size());
        keys.resize(keys.size() + std::size_t(std::max(size, 0)));
        LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.c_str(),
                      int(text.size()), reinterpret_cast<LPWSTR>(keys.data() + start[i]), size,
                      nullptr, nullptr, 0);
    }
    start[n] = std::uint32_t(keys.size());
    auto keyOf = [&](std::uint32_t i) {
        return std::string_view(keys.data() + start[i], start[i + 1] - start[i]);
    };
    std::vector<std::uint32_t> permutation(n);
    std::iota(permutation.begin(), permutation.end(), 0u);
    std::stable_sort(permutation.begin(), permutation.end(), [&](std::uint32_t a, std::uint32_t b) {
        return order == 1 ? keyOf(b) < keyOf(a) : keyOf(a) < keyOf(b);
    });
    rows.reorder(permutation);
    anchor_ = -1;
    InvalidateRect(list_, nullptr, FALSE);
}

void Win32Window::listShowSortIndicator(int key, int order) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < int(app::Columns().size()); ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, WPARAM(c), LPARAM(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == key)
            item.fmt |= order == 0 ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, WPARAM(c), LPARAM(&item));
    }
}

void Win32Window::listAcceptDrops(bool accept) {
    acceptingDrops_ = accept;
}

// ---------------------------------------------------------------- the info dialog

namespace {

struct InfoButton {
    int left, top, width, height;
    const wchar_t* caption;
};
constexpr InfoButton InfoButtons[4] = {
    {1920, 5700, 1455, 555, L"Eine &E-Mail an mich schreiben"},
    {3540, 5700, 1995, 555, L"Die Seite 'Aktuelles' auf meiner Web-Site öffnen"},
    {5700, 5700, 1995, 555, L"Zur Registrierung über meine Web-Site gehen"},
    {7860, 5700, 1455, 555, L"Dieses Fenster &schliessen"},
};
// Out of the range of IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
constexpr UINT InfoLabelId = 100, InfoPictureId = 101, FirstInfoButtonId = 110;

struct InfoState {
    app::Toolkit* toolkit;
    HBITMAP circuit;
};

LRESULT CALLBACK infoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InfoState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam) - FirstInfoButtonId;
        if (id < 3 && state)
            shell::ShellOpen(*state->toolkit, InfoText::LinkTargets()[id], app::ShowNormal);
        else if (id == 3)
            ShowWindow(hwnd, SW_HIDE);
        // Enter with no button focused (IDOK) starts nothing; Escape (IDCANCEL) leaves the
        // dialog open: only the close button and the close box close it.
        return 0;
    }
    case WM_DRAWITEM:
        if (state && state->circuit)
            drawPicture(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam), state->circuit, true);
        return TRUE;
    case WM_CLOSE:
        ShowWindow(hwnd, SW_HIDE);
        return 0;
    case WM_NCDESTROY:
        delete state;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

void Win32Window::showInfo(const std::string& name, const std::string& description) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto scale = [&](int twips) { return MulDiv(twips, dpi_, 1440); };
    if (!infoDialog_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = infoProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_INFO));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = InfoClass;
        RegisterClassExW(&wc);
        constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
        RECT frame{0, 0, scale(9390), scale(6405)};
        AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
        infoDialog_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, InfoClass, L"",
                                      style, 0, 0, frame.right - frame.left,
                                      frame.bottom - frame.top, hwnd_, nullptr, instance, nullptr);
        auto* state = new InfoState{
            &toolkit_, static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_CIRCUIT),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))};
        SetWindowLongPtrW(infoDialog_, GWLP_USERDATA, LONG_PTR(state));
        const HFONT labelFont = makeFont(dpi_, L"Arial", 975, true);
        const HWND label =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                            scale(1920), scale(120), scale(7335), scale(5415), infoDialog_,
                            reinterpret_cast<HMENU>(UINT_PTR(InfoLabelId)), instance, nullptr);
        SendMessageW(label, WM_SETFONT, WPARAM(labelFont), FALSE);
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, scale(120),
                        scale(120), scale(1635), scale(6135), infoDialog_,
                        reinterpret_cast<HMENU>(UINT_PTR(InfoPictureId)), instance, nullptr);
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, scale(1920),
                        scale(5565), scale(9300 - 1920), scale(30), infoDialog_, nullptr, instance,
                        nullptr);
        const HWND tips =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0,
                            0, 0, infoDialog_, nullptr, instance, nullptr);
        const auto hints = InfoText::ButtonHints();
        // The link captions wrap onto up to three lines: a size smaller than the window's keeps
        // all three inside the buttons' height.
        const HFONT buttonFont = makeFont(dpi_, L"Microsoft Sans Serif", 700, false);
        for (int i = 0; i < 4; ++i) {
            const InfoButton& b = InfoButtons[i];
            // No button is the default: Enter activates only the one that has the focus.
            const HWND button = CreateWindowExW(
                0, L"BUTTON", b.caption,
                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, scale(b.left),
                scale(b.top), scale(b.width), scale(b.height), infoDialog_,
                reinterpret_cast<HMENU>(UINT_PTR(FirstInfoButtonId + UINT(i))), instance, nullptr);
            SendMessageW(button, WM_SETFONT, WPARAM(buttonFont), FALSE);
            TOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = infoDialog_;
            tool.uId = UINT_PTR(button);
            std::wstring hint = Widen(hints[std::size_t(i)]);
            tool.lpszText = hint.data();
            SendMessageW(tips, TTM_ADDTOOLW, 0, LPARAM(&tool));
        }
    }
    SetWindowTextW(infoDialog_, Widen(InfoText::Caption(name)).c_str());
    std::wstring text;
    for (wchar_t c : Widen(InfoText::Text(name, description))) {
        text += c;
        if (c == L'\r')
            text += L'\n';
    }
    SetDlgItemTextW(infoDialog_, InfoLabelId, text.c_str());
    RECT owner, dialog;
    GetWindowRect(hwnd_, &owner);
    GetWindowRect(infoDialog_, &dialog);
    SetWindowPos(infoDialog_, nullptr,
                 owner.left + ((owner.right - owner.left) - (dialog.right - dialog.left)) / 2,
                 owner.top + ((owner.bottom - owner.top) - (dialog.bottom - dialog.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    // Modal: the main window waits until the dialog is closed. The first focus is on the
    // dialog itself, so that Enter in the freshly opened dialog starts nothing.
    EnableWindow(hwnd_, FALSE);
    ShowWindow(infoDialog_, SW_SHOW);
    SetFocus(infoDialog_);
    MSG msg{};
    while (IsWindowVisible(infoDialog_) && GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    if (msg.message == WM_QUIT)
        PostQuitMessage(int(msg.wParam));
    EnableWindow(hwnd_, TRUE);
    SetActiveWindow(hwnd_);
}

} // namespace win32kit
