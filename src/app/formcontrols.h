// The control operations the window's logic uses, one seam for every toolkit that builds the
// window (Qt on Linux, Win32 on Windows). It runs one way: the logic owns the state of every
// box, field and switch and tells the controls what to show; the kits hand events in with
// their data and never read the logic's state back through here. Controls are addressed by
// their name and index, as in the control table.
#pragma once

#include "app/toolkit.h"
#include "apply/attributeword.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace app {

/// The controls the logic drives. Indexes as in the control table; 0 where there is no array.
enum class Ctl { Liste, Btn, AttribChk, TouchChk, ToolTipCheck, DateTime, Bar, Panel, LogoImage };

/// The control's name in the control table (the panels are parts of "Status"), and whether its
/// index addresses a member of a control array there.
const char* ControlName(Ctl control);
bool IsControlArray(Ctl control);

using apply::Tri;

/// The indexes of the command buttons `Btn`.
enum Button : int {
    ClearList = 0,
    SelectAll = 1,
    SelectNone = 2,
    InvertMarks = 3,
    RemoveMarked = 4,
    Info = 5,
    Start = 8,
    End = 9,
    Help = 10,
};

class FormControls {
public:
    virtual ~FormControls() = default;

    // The window.
    virtual void setCaption(const std::string& text) = 0;
    virtual void setPointer(Pointer pointer) = 0;
    /// Hides the window and ends the program's event loop.
    virtual void endProgram() = 0;
    /// Shows the info dialog modally (made at its first showing, kept until the end).
    virtual void showInfo(const std::string& name, const std::string& description) = 0;

    // Buttons, check boxes, text boxes, panels.
    virtual void enable(Ctl control, int index, bool enabled) = 0;
    virtual void setValue(Ctl control, int index, Tri value) = 0;
    /// A text box's text, or a status panel's (Panel 1 and 2).
    virtual void setText(Ctl control, int index, const std::string& text) = 0;
    virtual void selectAll(Ctl control, int index) = 0;
    /// Gives a control the focus; inside a focus change, once that change is done.
    virtual void focus(Ctl control, int index) = 0;
    /// A text box's background: the colour of a field in use, or the frame's colour.
    virtual void setFieldColour(Ctl control, int index, bool inUse) = 0;
    /// The hint (tool tip); the empty text shows none.
    virtual void setHint(Ctl control, int index, const std::string& text) = 0;

    // The progress bar; its minimum is 0.
    virtual void setBarMax(int max) = 0;
    virtual void setBarValue(int value) = 0;
    /// Paints the bar and the status panels now: the apply run keeps the event loop out.
    virtual void repaintProgress() = 0;

    // The list, a view of the logic's rows, told what changed.
    /// Rows were inserted at the top since the last call.
    virtual void listRowsInserted() = 0;
    /// Letters, dates or marks of rows changed.
    virtual void listRowsChanged() = 0;
    /// The rows were cleared, removed or put in another order.
    virtual void listReset() = 0;
    /// The row the keys act on (display position), to be kept in view.
    virtual void listSetCurrent(std::size_t position) = 0;
    /// The header's mark of the sort column and direction.
    virtual void listShowSortIndicator(int key, int order) = 0;
    /// While a drop is being entered, the list refuses further drops.
    virtual void listAcceptDrops(bool accept) = 0;
};

} // namespace app
