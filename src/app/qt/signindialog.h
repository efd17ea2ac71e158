// The box that asks for a share's user, domain and password, owned by the main window.
#pragma once

#include "share/signin.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace qtkit {

class SignInDialog : public QDialog {
public:
    SignInDialog(const share::signin::Question& question, QWidget* owner);
    share::signin::Answer answer() const;

private:
    QLineEdit* user_;
    QLineEdit* domain_;
    QLineEdit* password_;
    QCheckBox* remember_;
};

} // namespace qtkit
