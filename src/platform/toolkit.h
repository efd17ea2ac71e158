// The toolkit services the program's logic needs beyond the controls themselves: message box,
// modal dialog, warning beep, yield, mouse pointer, hint text and the shell's "open". One seam,
// handed to the window as an object, so that tests can answer questions and record the rest.
// Qt types appear only as forward declarations; the Qt implementation is QtToolkit.
#pragma once

#include <string>

class QDialog;
class QWidget;

namespace platform {

/// The three button/icon sets of the program's message boxes.
enum class MessageStyle {
    OkInformation, ///< OK button, information icon
    OkPlain,       ///< OK button, no icon
    YesNoStop,     ///< Yes and No, stop icon, Yes is the default
};

enum class MessageAnswer { Ok, Yes, No };

enum class Pointer { Default, Hourglass };

/// The show commands the program passes to the shell.
inline constexpr int ShowNormal = 1;
inline constexpr int ShowDefault = 10;

class Toolkit {
public:
    virtual ~Toolkit() = default;

    /// A modal message box. \p text and \p title are UTF-8; lines are separated by single
    /// carriage returns, shown as line breaks.
    virtual MessageAnswer messageBox(const std::string& text, MessageStyle style,
                                     const std::string& title) = 0;
    /// Shows \p dialog modally and returns when it is closed.
    virtual void showModal(QDialog& dialog) = 0;
    /// A short warning sound.
    virtual void beep() = 0;
    /// Processes the pending window events, then returns.
    virtual void yield() = 0;
    /// The mouse pointer over \p window.
    virtual void setPointer(QWidget& window, Pointer pointer) = 0;
    /// The hint (tool tip) of a control; the empty text shows none.
    virtual void setHint(QWidget& control, const std::string& text) = 0;
    /// Hands \p target (a file path, a web address, a "mailto:" address; UTF-8) to the desktop's
    /// opener. The result is not reported.
    virtual void shellOpen(QWidget* owner, const std::string& target, int showCommand) = 0;
};

} // namespace platform
