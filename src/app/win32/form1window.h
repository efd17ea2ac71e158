// The main window on Win32: builds the controls from the control table, carries out the control
// operations of the window's logic, follows the screen's dots per inch, and routes the window's
// messages to the logic, the list, the status bar and the toolkit.
#pragma once

#include "app/form1.h"
#include "app/formcontrols.h"
#include "app/win32/controlfactory.h"
#include "app/win32/gdi.h"
#include "app/win32/hints.h"
#include "app/win32/infodialog.h"
#include "app/win32/listview.h"
#include "app/win32/statusbar.h"
#include "app/win32/win32toolkit.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace win32kit {

/// The main window's class: a second start finds the running window by it.
inline constexpr wchar_t MainWindowClass[] = L"DateimarkForm1";

class Form1Window : public app::FormControls {
public:
    /// Creates the window, hidden, and runs its start-up.
    explicit Form1Window(Win32Toolkit& toolkit);
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    app::Form1& logic() { return *logic_; }
    /// The control \p name (with \p index in a control array), as in the table.
    HWND named(const std::string& name, int index = -1) const;
    HWND list() const { return list_.hwnd(); }
    HWND status() const { return status_.hwnd(); }
    /// The info dialog, once it has been shown.
    HWND infoDialog() const { return info_ ? info_->hwnd() : nullptr; }
    /// The drop target of the list, as the shell calls it.
    IDropTarget* dropTarget() const { return list_.dropTarget(); }
    /// Pixels for a length in twips at the window's dots per inch.
    int px(int twips) const { return Px(twips, dpi_); }
    /// Shows the newest texts of the status panels now.
    void flushStatus() { status_.flush(); }

    // The control operations.
    void setCaption(const std::string& text) override;
    void setPointer(app::Pointer pointer) override;
    void endProgram() override;
    void showInfo(const std::string& name, const std::string& description) override;
    void enable(app::Ctl control, int index, bool enabled) override;
    void setValue(app::Ctl control, int index, app::Tri value) override;
    void setText(app::Ctl control, int index, const std::string& text) override;
    void selectAll(app::Ctl control, int index) override;
    void focus(app::Ctl control, int index) override;
    void setFieldColour(app::Ctl control, int index, bool inUse) override;
    void setHint(app::Ctl control, int index, const std::string& text) override;
    void setBarMax(int max) override;
    void setBarValue(int value) override;
    void repaintProgress() override;
    void listRowsInserted() override;
    void listRowsChanged() override;
    void listReset() override;
    void listSetCurrent(std::size_t position) override;
    void listShowSortIndicator(int key, int order) override;
    void listAcceptDrops(bool accept) override;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(UINT id, UINT code);
    void makeFonts();
    void placeControls();
    void rescale(int dpi, const RECT& suggested);
    HWND control(app::Ctl control, int index) const;

    Win32Toolkit& toolkit_;
    std::unique_ptr<app::Form1> logic_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    Font font_, bold_;
    Brush fieldBrush_, frameBrush_;
    Cursor logoCursor_;
    Bitmap logo_;
    std::vector<MadeControl> controls_;
    std::map<std::pair<std::string, int>, HWND> byName_;
    std::map<HWND, bool> fieldInUse_;
    ListView list_;
    StatusBar status_;
    Hints hints_;
    std::unique_ptr<InfoDialog> info_;
    bool hourglass_ = false;
    DWORD busySince_ = 0;
    bool quitOnDestroy_ = true;
};

} // namespace win32kit
