// The toolkit services the window's logic needs beyond its controls: message box, warning
// beep, yield, work posted for later or after a pause, the collation of texts, and the shell's
// "open". One seam, handed to the window's logic as an object, so that tests can answer
// questions and record the rest. Each window kit (Qt on Linux, Win32 on Windows) implements it.
#pragma once

#include "share/signin.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace app {

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

/// Sort keys of a list of texts, made once for a sort.
class SortKeys {
public:
    virtual ~SortKeys() = default;
    /// Whether text \p a comes before text \p b.
    virtual bool less(std::size_t a, std::size_t b) const = 0;
};

/// What the desktop's opener made of a target.
enum class OpenResult { Opened, NotFound, NoProgram, Failed };

class Toolkit {
public:
    virtual ~Toolkit() = default;

    /// A modal message box owned by the main window. \p text and \p title are UTF-8; lines are
    /// separated by single carriage returns, shown as line breaks.
    virtual MessageAnswer messageBox(const std::string& text, MessageStyle style,
                                     const std::string& title) = 0;
    /// A short warning sound.
    virtual void beep() = 0;
    /// Processes the pending window events, then returns.
    virtual void yield() = 0;
    /// Runs \p work once the event being handled has returned to the event loop.
    virtual void later(std::function<void()> work) = 0;
    /// Runs \p work from the event loop once \p milliseconds have passed.
    virtual void after(int milliseconds, std::function<void()> work) = 0;
    /// Keys of the \p count texts \p textOf gives (UTF-8) as the user reads them: by the
    /// locale's collation, ignoring case.
    virtual std::unique_ptr<SortKeys>
    sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) = 0;
    /// Hands \p target (a URL or a "mailto:" address; UTF-8) to the desktop's opener.
    virtual OpenResult shellOpen(const std::string& target, int showCommand) = 0;
    /// Asks for the user, domain and password of a share, in a box owned by the main window;
    /// nullopt for "Abbrechen". Windows signs in to its shares itself: no box there.
    virtual std::optional<share::signin::Answer> askSignIn(const share::signin::Question&) {
        return std::nullopt;
    }
};

} // namespace app
