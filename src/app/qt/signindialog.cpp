#include "app/qt/signindialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qtkit {

namespace {
QString text(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
} // namespace

SignInDialog::SignInDialog(const share::signin::Question& q, QWidget* owner)
    : QDialog(owner), user_(new QLineEdit(text(q.user))), domain_(new QLineEdit(text(q.domain))),
      password_(new QLineEdit), remember_(new QCheckBox(QStringLiteral("Kennwort &merken"))) {
    setWindowTitle(QStringLiteral("Anmelden"));
    const QString where = QStringLiteral("smb://") + text(q.server) +
                          (q.port ? QStringLiteral(":%1").arg(q.port) : QString()) +
                          QLatin1Char('/') + text(q.share);
    auto* intro = new QLabel(
        (q.again ? QStringLiteral("Die Anmeldung wurde abgelehnt. ") : QString()) +
        QStringLiteral("Für die Freigabe %1 werden ein Benutzername und ein Kennwort benötigt.")
            .arg(where));
    intro->setWordWrap(true);
    intro->setTextFormat(Qt::PlainText);
    password_->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Benutzer:"), user_);
    form->addRow(QStringLiteral("&Domäne:"), domain_);
    form->addRow(QStringLiteral("&Kennwort:"), password_);
    form->addRow(QString(), remember_);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    (q.user.empty() ? user_ : password_)->setFocus();
    setMinimumWidth(360);
}

share::signin::Answer SignInDialog::answer() const {
    return {user_->text().toStdString(), domain_->text().toStdString(),
            password_->text().toStdString(), remember_->isChecked()};
}

} // namespace qtkit
