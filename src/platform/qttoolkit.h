// The toolkit services of the real program, with Qt.
#pragma once

#include "platform/toolkit.h"

#include <QString>

namespace platform {

class QtToolkit final : public Toolkit {
public:
    /// The window that owns every box: it is centred on it and in front of it, also while
    /// another program (a file manager in the middle of a drop) is active.
    void setOwner(QWidget* owner) { owner_ = owner; }

    MessageAnswer messageBox(const std::string& text, MessageStyle style,
                             const std::string& title) override;
    void showModal(QDialog& dialog) override;
    void beep() override;
    void yield() override;
    void setPointer(QWidget& window, Pointer pointer) override;
    void setHint(QWidget& control, const std::string& text) override;
    void shellOpen(QWidget* owner, const std::string& target, int showCommand) override;

private:
    QWidget* owner_ = nullptr;
};

/// Loads Qt's own German texts (context menus of the fields, standard dialogs) where they are
/// installed: the whole interface is German, whatever the desktop's language.
void loadGermanTranslations();

/// The program's texts hold single carriage returns as line breaks; Qt breaks lines at "\n".
QString shownText(const std::string& text);

} // namespace platform
