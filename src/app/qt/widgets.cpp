#include "app/qt/widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <qdrawutil.h>

namespace app {

StatusPanel::StatusPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void StatusPanel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    update();
    emit textChanged(text_);
}

void StatusPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(3, 0, -3, 0);
    const QString shown = fontMetrics().elidedText(text_, Qt::ElideMiddle, area.width());
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

AttribBox::AttribBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    setTristate(true);
}

void WrapCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    option.rect = indicator;
    option.rect.moveTop((height() - indicator.height()) / 2);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
    const QRect textArea = rect().adjusted(indicator.width() + 4, 0, 0, 0);
    style()->drawItemText(&painter, textArea,
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap |
                              Qt::TextShowMnemonic,
                          palette(), isEnabled(), caption, QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = textArea.adjusted(-1, 0, 0, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrapCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void ClickablePicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void CaptionFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    // The etched line of a classic frame; the styles' group box frames start below the caption.
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true);
    const QString text = title();
    if (text.isEmpty())
        return;
    const QRect caption(metrics.height() / 2, 0, metrics.horizontalAdvance(text) + 4,
                        metrics.height());
    painter.fillRect(caption, palette().window());
    style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), text, QPalette::WindowText);
}

} // namespace app
