// Small controls of the main window that Qt has not quite in the shape the window needs.
#pragma once

#include <QCheckBox>
#include <QFrame>
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

/// An attribute box: a click ticks an empty box and empties a ticked one. Grayed ("leave as
/// each entry has it") is only preset by the situation check; a box preset grayed takes it again
/// after ticked and empty, so that a click can be undone.
class AttribBox : public QCheckBox {
    Q_OBJECT
public:
    explicit AttribBox(const QString& caption, QWidget* parent = nullptr);
    /// Sets the state as the situation check presets it.
    void preset(Qt::CheckState state);

protected:
    void nextCheckState() override;

private:
    bool mixedPreset_ = false;
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
