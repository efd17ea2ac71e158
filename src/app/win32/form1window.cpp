#include "app/win32/form1window.h"

#include "app/win32/resources.h"
#include "app/win32/startup.h"

#include <commctrl.h>

namespace win32kit {

using app::Ctl;

namespace {

constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD ExStyle = WS_EX_CONTROLPARENT;
constexpr UINT FirstControlId = 1000;
constexpr UINT RefocusField = WM_APP + 2;
constexpr UINT_PTR StatusTimer = 1;
constexpr UINT DpiChanged = 0x02E0; // WM_DPICHANGED, Windows 8.1 and later

} // namespace

Form1Window::Form1Window(Win32Toolkit& toolkit)
    : toolkit_(toolkit), logic_(std::make_unique<app::Form1>(*this, toolkit)) {
    RegisterWindowClass(MainWindowClass, windowProc, IDI_DATEIMARK);
    hwnd_ = CreateWindowExW(ExStyle, MainWindowClass, L"---", Style, CW_USEDEFAULT, CW_USEDEFAULT,
                            100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    dpi_ = WindowDpi(hwnd_);
    // The client area has the design's size; the window opens centred on its screen.
    RECT frame{0, 0, px(app::WindowWidth), px(app::WindowHeight)};
    AdjustWindowRectEx(&frame, Style, FALSE, ExStyle);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, work.left + ((work.right - work.left) - w) / 2,
                 work.top + ((work.bottom - work.top) - h) / 2, w, h, SWP_NOZORDER);
    toolkit_.setOwner(hwnd_);

    fieldBrush_ = Brush(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
    frameBrush_ = Brush(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    logoCursor_ = LoadCursorResource(IDC_LOGO);
    logo_ = LoadBitmapResource(IDB_LOGO);
    makeFonts();
    hints_.create(hwnd_, dpi_);
    controls_ = MakeControls(hwnd_, FirstControlId);
    for (const MadeControl& made : controls_)
        byName_[{std::string(made.design->name), made.design->index}] = made.hwnd;
    placeControls();

    list_.attach(named("Liste"), *logic_, font_.get(), dpi_);
    DragAcceptFiles(hwnd_, TRUE);
    status_.attach(named("Status"), hwnd_, StatusTimer);
    status_.setParts(dpi_);
    SendMessageW(named("Bar"), PBM_SETRANGE32, 0, 100);
    // The logo's hint belongs to the design; the hint switch does not touch it.
    hints_.set(named("LogoImage"),
               "Klicken Sie hier, um zur aktuellen Internetausgabe der Quarn zu gelangen ...");
    logic_->Form_Load();
}

Form1Window::~Form1Window() {
    info_.reset();
    list_.detach(); // the shell lets go of the drop target while the list is there
    // Gone with its owner, the window ends no event loop.
    quitOnDestroy_ = false;
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
}

HWND Form1Window::named(const std::string& name, int index) const {
    auto it = byName_.find({name, index});
    return it == byName_.end() ? nullptr : it->second;
}

HWND Form1Window::control(Ctl c, int index) const {
    if (c == Ctl::Panel)
        return status_.hwnd();
    return named(app::ControlName(c), app::IsControlArray(c) ? index : -1);
}

void Form1Window::makeFonts() {
    font_ = MakeFont(dpi_, L"Microsoft Sans Serif", 825, false);
    bold_ = MakeFont(dpi_, L"Microsoft Sans Serif", 825, true);
}

void Form1Window::placeControls() {
    for (const MadeControl& made : controls_)
        PlaceControl(made, dpi_, font_.get(), bold_.get());
}

void Form1Window::rescale(int dpi, const RECT& suggested) {
    // Moved to a screen of other dots per inch: every twip gets its new size. The old fonts
    // go once every control has the new ones.
    dpi_ = dpi;
    Font oldFont = std::move(font_), oldBold = std::move(bold_);
    makeFonts();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    placeControls();
    list_.rescale(font_.get(), dpi_);
    status_.setParts(dpi_);
}

// ---------------------------------------------------------------- messages

LRESULT CALLBACK Form1Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(self));
        self->hwnd_ = hwnd;
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

void Form1Window::onCommand(UINT id, UINT code) {
    if (id < FirstControlId || id - FirstControlId >= controls_.size())
        return; // IDOK and IDCANCEL of Enter and Escape: nothing to do
    const MadeControl& made = controls_[id - FirstControlId];
    const std::string_view name = made.design->name;
    const int index = made.design->index;
    const bool ticked =
        code == BN_CLICKED && SendMessageW(made.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (name == "Btn" && (code == BN_SETFOCUS || code == BN_KILLFOCUS)) {
        // No button is the default: the frame shows what Enter presses, the focused button.
        SendMessageW(made.hwnd, BM_SETSTYLE, code == BN_SETFOCUS ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                     TRUE);
        return;
    }
    // A button that notifies reports the second click of a double click on its own.
    if ((code == BN_CLICKED || code == BN_DOUBLECLICKED) && name == "Btn")
        logic_->Btn_Click(index);
    else if (code == BN_CLICKED && name == "AttribChk")
        logic_->AttribChk_Click(index);
    else if (code == BN_CLICKED && name == "TouchChk")
        logic_->TouchChk_Click(ticked);
    else if (code == BN_CLICKED && name == "ToolTipCheck")
        logic_->ToolTipCheck_Click(ticked);
    else if (code == STN_CLICKED && name == "LogoImage")
        logic_->LogoImage_Click();
    else if (code == EN_SETFOCUS && name == "DateTime")
        logic_->DateTime_GotFocus(index);
    else if (code == EN_KILLFOCUS && name == "DateTime") {
        // Leaving the window is no leaving of the field.
        const HWND next = GetFocus();
        if (next && (next == hwnd_ || IsChild(hwnd_, next))) {
            std::wstring text(std::size_t(GetWindowTextLengthW(made.hwnd)), L'\0');
            GetWindowTextW(made.hwnd, text.data(), int(text.size() + 1));
            logic_->DateTime_LostFocus(index, Narrow(text));
        }
    }
}

LRESULT Form1Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        return header->hwndFrom == list_.hwnd() ? list_.onNotify(header) : 0;
    }
    case WM_COPYDATA: { // names a second start hands over
        std::vector<std::wstring> names;
        std::vector<std::string> refused;
        if (!ReadHandOver(*reinterpret_cast<const COPYDATASTRUCT*>(lParam), names, refused) ||
            ((!names.empty() || !refused.empty()) &&
             !logic_->HandOver(std::move(names), std::move(refused))))
            return FALSE;
        if (IsIconic(hwnd_))
            ShowWindow(hwnd_, SW_RESTORE);
        SetForegroundWindow(GetLastActivePopup(hwnd_)); // a box or dialog open stays in front
        return TRUE;
    }
    case WM_DROPFILES:
        list_.filesDropped(hwnd_, reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_DRAWITEM: // the logo
        if (logo_.get())
            DrawPicture(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam), logo_.get(), false);
        return TRUE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        auto it = fieldInUse_.find(reinterpret_cast<HWND>(lParam));
        if (it == fieldInUse_.end())
            break;
        SetBkColor(reinterpret_cast<HDC>(wParam),
                   GetSysColor(it->second ? COLOR_WINDOW : COLOR_BTNFACE));
        return LRESULT(it->second ? fieldBrush_.get() : frameBrush_.get());
    }
    case WM_SETCURSOR:
        if (hourglass_) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (reinterpret_cast<HWND>(wParam) == named("LogoImage") && logoCursor_.get()) {
            SetCursor(logoCursor_.get());
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == StatusTimer)
            status_.flush();
        else
            toolkit_.runTimer(wParam);
        return 0;
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

// ---------------------------------------------------------------- control operations

void Form1Window::setCaption(const std::string& text) {
    SetWindowTextW(hwnd_, Widen(text).c_str());
}

void Form1Window::setPointer(app::Pointer pointer) {
    const bool hourglass = pointer == app::Pointer::Hourglass;
    if (hourglass && !hourglass_)
        busySince_ = GetTickCount();
    else if (!hourglass && hourglass_)
        // The logic kept the event loop out: a click or key made meanwhile, say on "&Start"
        // that was disabled then, must not be carried out now that it is enabled.
        DiscardInputSince(busySince_);
    hourglass_ = hourglass;
    POINT at;
    GetCursorPos(&at);
    const HWND under = WindowFromPoint(at);
    if (under == hwnd_ || IsChild(hwnd_, under))
        SetCursor(LoadCursorW(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW));
}

void Form1Window::endProgram() {
    DestroyWindow(hwnd_);
}

void Form1Window::showInfo(const std::string& name, const std::string& description) {
    if (!info_)
        info_ = std::make_unique<InfoDialog>(hwnd_, toolkit_);
    info_->show(name, description);
}

void Form1Window::enable(Ctl c, int index, bool enabled) {
    if (c != Ctl::Panel)
        EnableWindow(control(c, index), enabled);
}

void Form1Window::setValue(Ctl c, int index, app::Tri value) {
    const WPARAM state = value == app::Tri::Checked  ? BST_CHECKED
                         : value == app::Tri::Grayed ? BST_INDETERMINATE
                                                     : BST_UNCHECKED;
    SendMessageW(control(c, index), BM_SETCHECK, state, 0);
}

void Form1Window::setText(Ctl c, int index, const std::string& text) {
    if (c == Ctl::Panel)
        status_.setText(index, text);
    else
        SetWindowTextW(control(c, index), Widen(text).c_str());
}

void Form1Window::selectAll(Ctl c, int index) {
    SendMessageW(control(c, index), EM_SETSEL, 0, -1);
}

void Form1Window::focus(Ctl c, int index) {
    if (c == Ctl::DateTime) // inside a change of focus: once that is done
        PostMessageW(hwnd_, RefocusField, WPARAM(control(c, index)), 0);
    else
        SetFocus(control(c, index));
}

void Form1Window::setFieldColour(Ctl c, int index, bool inUse) {
    const HWND field = control(c, index);
    fieldInUse_[field] = inUse;
    InvalidateRect(field, nullptr, TRUE);
}

void Form1Window::setHint(Ctl c, int index, const std::string& text) {
    if (c == Ctl::Panel)
        status_.setHint(index, text);
    else
        hints_.set(control(c, index), text);
}

void Form1Window::setBarMax(int max) {
    SendMessageW(named("Bar"), PBM_SETRANGE32, 0, max);
}

void Form1Window::setBarValue(int value) {
    SendMessageW(named("Bar"), PBM_SETPOS, WPARAM(value), 0);
}

void Form1Window::repaintProgress() {
    status_.flush();
    UpdateWindow(named("Bar"));
    UpdateWindow(status_.hwnd());
}

void Form1Window::listRowsInserted() {
    list_.rowsInserted();
}

void Form1Window::listRowsChanged() {
    list_.rowsChanged();
}

void Form1Window::listReset() {
    list_.reset();
}

void Form1Window::listSetCurrent(std::size_t position) {
    list_.setCurrent(position);
}

void Form1Window::listShowSortIndicator(int key, int order) {
    list_.showSortIndicator(key, order);
}

void Form1Window::listAcceptDrops(bool accept) {
    list_.acceptDrops(accept);
}

} // namespace win32kit
