#include "platform/qttoolkit.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
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
    QMessageBox box(owner_ ? owner_ : QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(shownText(text));
    box.setTextFormat(Qt::PlainText);
    // Our own captions: German with their access keys, whatever translation is loaded.
    QPushButton* yes = nullptr;
    switch (style) {
    case MessageStyle::OkInformation:
    case MessageStyle::OkPlain:
        box.setIcon(style == MessageStyle::OkPlain ? QMessageBox::NoIcon
                                                   : QMessageBox::Information);
        box.setDefaultButton(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
        break;
    case MessageStyle::YesNoStop:
        box.setIcon(QMessageBox::Critical);
        yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
        box.setEscapeButton(box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole));
        box.setDefaultButton(yes);
        break;
    }
    box.exec();
    if (!yes)
        return MessageAnswer::Ok;
    return box.clickedButton() == yes ? MessageAnswer::Yes : MessageAnswer::No;
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

void loadGermanTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qt"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace platform
