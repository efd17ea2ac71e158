// The toolkit services of the real program, with Qt.
#pragma once

#include "app/toolkit.h"

#include <QString>

class QDialog;
class QWidget;

namespace qtkit {

using app::MessageAnswer;
using app::MessageStyle;

class QtToolkit : public app::Toolkit {
public:
    /// The window that owns every box: it is centred on it and in front of it, also while
    /// another program (a file manager in the middle of a drop) is active.
    void setOwner(QWidget* owner) { owner_ = owner; }

    MessageAnswer messageBox(const std::string& text, MessageStyle style,
                             const std::string& title) override;
    void beep() override;
    void yield() override;
    void later(std::function<void()> work) override;
    void after(int milliseconds, std::function<void()> work) override;
    std::unique_ptr<app::SortKeys>
    sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) override;
    app::OpenResult shellOpen(const std::string& target, int showCommand) override;
    std::optional<share::signin::Answer>
    askSignIn(const share::signin::Question& question) override;
    /// Shows \p dialog modally and returns when it is closed.
    virtual void showModal(QDialog& dialog);

private:
    QWidget* owner_ = nullptr;
};

/// Loads Qt's own German texts (context menus of the fields, standard dialogs) where they are
/// installed: the whole interface is German, whatever the desktop's language.
void loadGermanTranslations();

/// The program's texts hold single carriage returns as line breaks; Qt breaks lines at "\n".
QString shownText(const std::string& text);

} // namespace qtkit
