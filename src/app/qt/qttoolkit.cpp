#include "app/qt/qttoolkit.h"

#include "app/qt/signindialog.h"

#include <QApplication>
#include <QCollator>
#include <QCollatorSortKey>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <QWidget>

#include <vector>

namespace qtkit {

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

std::optional<share::signin::Answer> QtToolkit::askSignIn(const share::signin::Question& question) {
    SignInDialog box(question, owner_ ? owner_ : QApplication::activeWindow());
    showModal(box);
    if (box.result() != QDialog::Accepted)
        return std::nullopt;
    return box.answer();
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

void QtToolkit::later(std::function<void()> work) {
    QTimer::singleShot(0, qApp, std::move(work));
}

void QtToolkit::after(int milliseconds, std::function<void()> work) {
    QTimer::singleShot(milliseconds, qApp, std::move(work));
}

namespace {

// Keys by the locale's collation, ignoring case. Columns of letters and dates hold few distinct
// texts: each is keyed once.
class CollatorKeys : public app::SortKeys {
public:
    CollatorKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setIgnorePunctuation(false);
        collator.setNumericMode(false);
        QHash<QString, std::uint32_t> known;
        index_.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string text = textOf(i);
            const QString shown = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
            auto it = known.find(shown);
            if (it == known.end()) {
                it = known.insert(shown, std::uint32_t(keys_.size()));
                keys_.push_back(collator.sortKey(shown));
            }
            index_.push_back(*it);
        }
    }
    bool less(std::size_t a, std::size_t b) const override {
        return index_[a] != index_[b] && keys_[index_[a]].compare(keys_[index_[b]]) < 0;
    }

private:
    std::vector<QCollatorSortKey> keys_;
    std::vector<std::uint32_t> index_;
};

} // namespace

std::unique_ptr<app::SortKeys>
QtToolkit::sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) {
    return std::make_unique<CollatorKeys>(count, textOf);
}

app::OpenResult QtToolkit::shellOpen(const std::string& target, int) {
    // The desktop's opener has no notion of a show state; the target is already a URL. The
    // opener starts apart from us and tells nothing of a missing file: asked here.
    const QUrl url(QString::fromStdString(target), QUrl::StrictMode);
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
        return app::OpenResult::NotFound;
    return QDesktopServices::openUrl(url) ? app::OpenResult::Opened : app::OpenResult::NoProgram;
}

void loadGermanTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qt"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace qtkit
