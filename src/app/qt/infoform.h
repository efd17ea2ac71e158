// The info dialog: what the program is, who made it and on what terms it may be used, with
// three link buttons (e-mail, "Aktuelles", registration) and a close button.
#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QLabel;
class QPushButton;

namespace qtkit {
class QtToolkit;
}

class InfoForm : public QDialog {
    Q_OBJECT

public:
    /// Modal showing and the link buttons go through \p toolkit. With the main window as
    /// \p owner the dialog stays on top of it and out of the task bar.
    explicit InfoForm(qtkit::QtToolkit& toolkit, QWidget* owner = nullptr);

    /// Sets the caption "Info über " + \p name and the info text, shows the dialog modally and
    /// returns when it has been closed. Each call starts afresh: nothing of an earlier showing
    /// carries over.
    void main(const QString& name, const QString& description);

    /// The info text as held: lines end in a single carriage return ("\r").
    const QString& text() const { return text_; }

    /// The info text for \p name and \p description, lines separated by single carriage
    /// returns.
    static QString infoText(const QString& name, const QString& description);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Btn_Click(int index);

    qtkit::QtToolkit& toolkit_;
    QLabel* label0_ = nullptr;
    QLabel* picture1_ = nullptr;
    std::array<QPushButton*, 4> btn_{};
    QString text_;
};
