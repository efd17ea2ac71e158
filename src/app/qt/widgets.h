// Small controls of the main window that Qt has not quite in the shape the window needs.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>

namespace app {

/// A status-bar panel: one line of text, replaced as a whole. Setting the text only schedules a
/// repaint, so a drop can report every path without laying out the status bar each time.
class StatusPanel : public QFrame {
    Q_OBJECT
public:
    explicit StatusPanel(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }

signals:
    /// Every new text, also the passing ones a repaint would never show.
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

/// A three-state box whose next state the window's logic decides: a click (mouse, access key,
/// Space) is handed over and changes nothing by itself.
class AttribBox : public QCheckBox {
    Q_OBJECT
public:
    explicit AttribBox(const QString& caption, QWidget* parent = nullptr);

signals:
    void clickedForNextState();

protected:
    void nextCheckState() override { emit clickedForNextState(); }
};

/// A check box whose caption wraps onto further lines inside its fixed width.
class WrapCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

/// A frame whose caption sits in its top line, as the window's design draws it (the styles put
/// it above the line). What it holds is placed by the design, not by a layout.
class CaptionFrame : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// A picture that reports clicks.
class ClickablePicture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace app
