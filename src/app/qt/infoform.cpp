#include "app/qt/infoform.h"

#include "app/qt/artwork.h"
#include "app/qt/qttoolkit.h"
#include "app/shellopen.h"
#include "app/toolkit.h"
#include "info/infolayout.h"
#include "info/infotext.h"
#include "info/maker.h"

#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <string>
#include <string_view>

namespace {

// Push buttons paint their caption on one line; the link captions are longer than the buttons
// are wide and wrap instead. Where the system's font is wider than the one the buttons were
// laid out for, the caption gets smaller until it fits rather than being cut off.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);

        int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
            flags |= Qt::TextHideMnemonic;
        const QRect area = rect().adjusted(3, 2, -3, -2);
        QFont captionFont = font();
        for (qreal size = captionFont.pointSizeF(); size > MinimumPointSize; size -= 0.25) {
            captionFont.setPointSizeF(size);
            const QRect needed = QFontMetrics(captionFont).boundingRect(area, flags, caption);
            if (needed.width() <= area.width() && needed.height() <= area.height())
                break;
        }
        painter.setFont(captionFont);
        painter.drawItemText(area, flags, option.palette, isEnabled(), caption,
                             QPalette::ButtonText);
    }

private:
    static constexpr qreal MinimumPointSize = 6.0;
};

} // namespace

InfoForm::InfoForm(qtkit::QtToolkit& toolkit, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      toolkit_(toolkit) {
    // Twips are 1/1440 inch: 15 to the pixel at 96 dpi, more on a denser screen.
    const double xScale = logicalDpiX() / 1440.0;
    const double yScale = logicalDpiY() / 1440.0;
    const auto place = [&](QWidget& widget, const InfoLayout::Box& box) {
        widget.setGeometry(qRound(box.left * xScale), qRound(box.top * yScale),
                           qRound(box.width * xScale), qRound(box.height * yScale));
    };

    setFixedSize(qRound(InfoLayout::Width * xScale), qRound(InfoLayout::Height * yScale));
    setWindowIcon(Artwork::infoDialogIcon());

    label0_ = new QLabel(this);
    label0_->setObjectName(QStringLiteral("Label0"));
    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setStyleHint(QFont::SansSerif);
    labelFont.setPointSizeF(9.75);
    labelFont.setBold(true);
    label0_->setFont(labelFont);
    label0_->setTextFormat(Qt::PlainText);
    label0_->setWordWrap(true);
    label0_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(*label0_, InfoLayout::Text());

    auto* picture1 = picture1_ = new QLabel(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picture1->setAlignment(Qt::AlignCenter);
    place(*picture1, InfoLayout::Picture());
    // The picture takes the first focus, as in the window's design, so that Enter in the
    // freshly opened dialog starts nothing.
    picture1->setFocusPolicy(Qt::StrongFocus);
    // The picture keeps its proportions and fills the box's height; the box cuts its sides.
    picture1->setPixmap(Artwork::circuitPicture().scaled(
        picture1->contentsRect().size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));

    auto* line1 = new QFrame(this);
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);
    place(*line1, InfoLayout::Line());

    const auto hints = InfoText::ButtonHints();
    for (int i = 0; i < 4; ++i) {
        const InfoLayout::ButtonDesign& design = InfoLayout::Buttons()[std::size_t(i)];
        auto* button = new WrappingButton(QString::fromUtf8(design.caption), this);
        button->setObjectName(QStringLiteral("Btn%1").arg(i));
        place(*button, design.box);
        button->setToolTip(QString::fromStdString(hints[i]));
        // No button is the dialog's default: Enter activates only the focused one.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { Btn_Click(i); });
        btn_[size_t(i)] = button;
    }
    setTabOrder(picture1, btn_[0]);
    for (size_t i = 1; i < btn_.size(); ++i)
        setTabOrder(btn_[i - 1], btn_[i]);
}

QString InfoForm::infoText(const QString& name, const QString& description) {
    return QString::fromStdString(InfoText::Text(name.toStdString(), description.toStdString()));
}

void InfoForm::main(const QString& name, const QString& description) {
    setWindowTitle(QString::fromStdString(InfoText::Caption(name.toStdString())));
    text_ = infoText(name, description);
    label0_->setText(qtkit::shownText(text_.toStdString()));

    const QRect around =
        parentWidget() ? parentWidget()->frameGeometry() : screen()->availableGeometry();
    move(around.center() - rect().center());
    picture1_->setFocus();
    toolkit_.showModal(*this);
}

void InfoForm::keyPressEvent(QKeyEvent* event) {
    // Escape leaves the dialog open: only "Dieses Fenster schliessen" and the close box close it.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void InfoForm::Btn_Click(int index) {
    if (index >= 0 && index < 3)
        shell::ShellOpen(toolkit_, InfoText::LinkTargets()[std::size_t(index)], app::ShowNormal);
    else if (index == 3)
        close();
}
