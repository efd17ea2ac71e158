// The main window on Win32 and its common controls: builds the controls from the control
// table, carries out the control operations of the window's logic, and turns the window's
// messages into calls of it. The list is an owner-data list view over the logic's rows; the
// marks live in the rows and are painted as the selection.
#pragma once

#include "app/controls.h"
#include "app/form1.h"
#include "app/formcontrols.h"
#include "app/win32/win32toolkit.h"

#include <ole2.h>
#include <shellapi.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace win32kit {

class DropTarget;

class Win32Window : public app::FormControls {
public:
    /// Creates the window, hidden, and runs its start-up.
    explicit Win32Window(Win32Toolkit& toolkit);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    app::Form1& logic() { return *logic_; }
    /// The control \p name (with \p index in a control array), as in the table.
    HWND named(const std::string& name, int index = -1) const;
    HWND list() const { return list_; }
    HWND status() const { return status_; }
    /// The drop target of the list, as the shell calls it.
    IDropTarget* dropTarget() const;
    /// Pixels for a length in twips at the window's dots per inch.
    int px(int twips) const { return MulDiv(twips, dpi_, 1440); }

    // The control operations.
    void setCaption(const std::string& text) override;
    void setPointer(app::Pointer pointer) override;
    void endProgram() override;
    void showInfo(const std::string& name, const std::string& description) override;
    void enable(app::Ctl control, int index, bool enabled) override;
    int value(app::Ctl control, int index) override;
    void setValue(app::Ctl control, int index, int value) override;
    std::string text(app::Ctl control, int index) override;
    void setText(app::Ctl control, int index, const std::string& text) override;
    void selectAll(app::Ctl control, int index) override;
    void focus(app::Ctl control, int index) override;
    void setFieldColour(app::Ctl control, int index, bool inUse) override;
    void setHint(app::Ctl control, int index, const std::string& text) override;
    void setBarMax(int max) override;
    void setBarValue(int value) override;
    void repaintProgress() override;
    void listRowsAdded() override;
    void listRowsRefreshed() override;
    void listClear() override;
    void listRemoveMarked() override;
    void listSort(int key, int order) override;
    void listShowSortIndicator(int key, int order) override;
    void listAcceptDrops(bool accept) override;

    bool acceptingDrops() const { return acceptingDrops_; }
    /// Shows the newest texts of the status panels now.
    void flushStatus();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK listProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR self);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onNotify(NMHDR* header);
    bool onListInput(UINT message, WPARAM wParam, LPARAM lParam);
    void buildControls();
    RECT placeOf(const app::ControlSpec& design) const;
    int columnWidth(int column) const;
    void setStatusParts();
    void rescale(int dpi, const RECT& suggested);
    HWND control(app::Ctl control, int index) const;
    std::size_t pending() const;
    void markByMouse(int item, bool ctrl, bool shift);
    void dropFiles(HWND receiver, HDROP drop);
    void moveFocusItem(int item, bool ctrl, bool shift);

    Win32Toolkit& toolkit_;
    std::unique_ptr<app::Form1> logic_;
    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    HWND tips_ = nullptr;
    HWND infoDialog_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT bold_ = nullptr;
    HCURSOR logoCursor_ = nullptr;
    HBRUSH fieldBrush_ = nullptr;
    HBRUSH frameBrush_ = nullptr;
    std::map<std::pair<std::string, int>, HWND> controls_;
    std::map<HWND, bool> fieldInUse_;
    std::map<UINT, std::pair<std::string, int>> byId_;
    std::size_t published_ = 0;
    int anchor_ = -1;
    bool hourglass_ = false;
    bool quitOnDestroy_ = true;
    bool acceptingDrops_ = true;
    std::wstring cellBuffer_;
    std::wstring panelText_[2], panelShown_[2];
    DWORD lastPanelPaint_ = 0;
    UINT_PTR panelTimer_ = 0;
    DropTarget* dropTarget_ = nullptr;
};

} // namespace win32kit
