// The list `Liste`: an owner-data list view over the logic's rows, with its header and drops.
// It asks for each visible cell as it paints, paints the marks from the rows, draws the
// header's letter columns itself, and turns the mouse, the keys and drops into the logic's
// calls; the marks never live in the control.
#pragma once

#include "app/form1.h"
#include "app/win32/droptarget.h"

#include <commctrl.h>
#include <windows.h>

#include <cstddef>
#include <string>

namespace win32kit {

class ListView {
public:
    ListView() = default;
    ~ListView();
    ListView(const ListView&) = delete;
    ListView& operator=(const ListView&) = delete;

    /// Takes over the list view \p list that the window made: columns, icons, drops, gestures.
    void attach(HWND list, app::Form1& logic, HFONT font, int dpi);
    /// Lets go of the list before it is destroyed: no more drops, no more gestures.
    void detach();
    HWND hwnd() const { return list_; }
    /// The drop target, as the shell calls it.
    IDropTarget* dropTarget() const { return dropTarget_; }

    /// The window moved to a screen of \p dpi dots per inch and has a new \p font.
    void rescale(HFONT font, int dpi);

    // What the logic tells the list.
    void rowsInserted();
    void rowsChanged();
    void reset();
    void setCurrent(std::size_t position);
    void showSortIndicator(int key, int order);
    void acceptDrops(bool accept) { accepting_ = accept; }

    /// A file list that Wine sent to \p receiver for a file manager's drag: taken where it
    /// lands on the list.
    void filesDropped(HWND receiver, HDROP drop);
    /// The list's notifications, from the window's WM_NOTIFY.
    LRESULT onNotify(NMHDR* header);

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self);
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void drawHeaderItem(const DRAWITEMSTRUCT& item) const;
    void setIcons();
    int columnWidth(int column) const;
    // Rows inserted at the top that the view does not show yet.
    std::size_t pending() const { return logic_->rows().size() - published_; }

    HWND list_ = nullptr;
    app::Form1* logic_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    std::size_t published_ = 0;
    bool accepting_ = true;
    DropTarget* dropTarget_ = nullptr;
    std::wstring cell_;
};

} // namespace win32kit
