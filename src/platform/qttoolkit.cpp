#include "platform/qttoolkit.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

namespace platform {

QString shownText(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), qsizetype(text.size()));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

MessageAnswer QtToolkit::messageBox(const std::string& text, MessageStyle style,
                                    const std::string& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(shownText(text));
    box.setTextFormat(Qt::PlainText);
    switch (style) {
    case MessageStyle::OkInformation:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::OkPlain:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::YesNoStop:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    const int answer = box.exec();
    if (style != MessageStyle::YesNoStop)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtToolkit::showModal(QDialog& dialog) {
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
}

void QtToolkit::beep() {
    QApplication::beep();
}

void QtToolkit::yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtToolkit::setPointer(QWidget& window, Pointer pointer) {
    if (pointer == Pointer::Hourglass)
        window.setCursor(Qt::WaitCursor);
    else
        window.unsetCursor();
}

void QtToolkit::setHint(QWidget& control, const std::string& text) {
    control.setToolTip(QString::fromStdString(text));
}

void QtToolkit::shellOpen(QWidget*, const std::string& target, int) {
    // The desktop's opener has no notion of a show state; the target is already a URL.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(target), QUrl::StrictMode));
}

} // namespace platform
