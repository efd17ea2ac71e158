// The toolkit services of the real program, with Qt.
#pragma once

#include "platform/toolkit.h"

#include <QString>

namespace platform {

class QtToolkit final : public Toolkit {
public:
    MessageAnswer messageBox(const std::string& text, MessageStyle style,
                             const std::string& title) override;
    void showModal(QDialog& dialog) override;
    void beep() override;
    void yield() override;
    void setPointer(QWidget& window, Pointer pointer) override;
    void setHint(QWidget& control, const std::string& text) override;
    void shellOpen(QWidget* owner, const std::string& target, int showCommand) override;
};

/// The program's texts hold single carriage returns as line breaks; Qt breaks lines at "\n".
QString shownText(const std::string& text);

} // namespace platform
