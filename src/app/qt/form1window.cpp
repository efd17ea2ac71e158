#include "app/qt/form1window.h"

#include "app/controls.h"
#include "app/qt/artwork.h"
#include "app/qt/filelistmodel.h"
#include "app/qt/infoform.h"
#include "app/qt/listicons.h"
#include "app/qt/listview.h"
#include "app/qt/qttoolkit.h"
#include "app/qt/widgets.h"
#include "platform/fileservices.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace app {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The name a control carries in Qt: array members get their index ("Btn8", "Frame3_0").
QString qtName(const ControlSpec& design) {
    QString name = fromUtf8(design.name);
    if (design.index < 0)
        return name;
    return name +
           (name.back().isDigit() ? QStringLiteral("_%1") : QStringLiteral("%1")).arg(design.index);
}

} // namespace

Form1Window::Form1Window(qtkit::QtToolkit& toolkit, QWidget* parent)
    : QWidget(parent), toolkit_(toolkit), logic_(std::make_unique<Form1>(*this, toolkit)),
      model_(std::make_unique<filelist::FileListModel>(logic_->rows())) {
    setObjectName(QStringLiteral("Form1"));
    if (QScreen* s = screen())
        scale_ = std::max(1.0, s->logicalDotsPerInch() / 96.0);
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    setFont(font);
    setWindowTitle(QStringLiteral("---"));
    setWindowIcon(ListIcons::windowIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(px(WindowWidth), px(WindowHeight));
    buildControls();
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    logic_->Form_Load();
}

Form1Window::~Form1Window() = default;

int Form1Window::px(int twips) const {
    return int(twips / 15.0 * scale_ + 0.5);
}

QWidget* Form1Window::named(std::string_view name, int index) const {
    auto it = controls_.find({std::string(name), index});
    return it == controls_.end() ? nullptr : it->second;
}

QWidget* Form1Window::control(Ctl c, int index) const {
    if (c == Ctl::Panel)
        return Panel(index);
    return named(app::ControlName(c), app::IsControlArray(c) ? index : -1);
}

QPushButton* Form1Window::Btn(int index) const {
    return static_cast<QPushButton*>(named("Btn", index));
}
QCheckBox* Form1Window::AttribChk(int index) const {
    return static_cast<QCheckBox*>(named("AttribChk", index));
}
QLineEdit* Form1Window::DateTime(int index) const {
    return static_cast<QLineEdit*>(named("DateTime", index));
}
QCheckBox* Form1Window::TouchChk() const {
    return static_cast<QCheckBox*>(named("TouchChk"));
}
QCheckBox* Form1Window::ToolTipCheck() const {
    return static_cast<QCheckBox*>(named("ToolTipCheck"));
}
QProgressBar* Form1Window::Bar() const {
    return static_cast<QProgressBar*>(named("Bar"));
}
QGroupBox* Form1Window::Frame1() const {
    return static_cast<QGroupBox*>(named("Frame1"));
}

void Form1Window::buildControls() {
    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (const ControlSpec& design : Controls()) {
        QWidget* parent = design.container.empty() ? this : named(design.container);
        const QString caption = fromUtf8(design.caption);
        QWidget* w = nullptr;
        switch (design.kind) {
        case Kind::Frame:
            w = new CaptionFrame(caption, parent);
            break;
        case Kind::Divider: {
            auto* line = new QFrame(parent);
            line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
            w = line;
            break;
        }
        case Kind::List:
            w = liste_ = new filelist::Liste(*model_, parent);
            connect(liste_, &filelist::Liste::listClicked, this, [this] { logic_->Liste_Click(); });
            connect(liste_, &filelist::Liste::rowPressed, this,
                    [this](std::size_t position, bool ctrl, bool shift) {
                        logic_->Liste_MouseDown(position, ctrl, shift);
                    });
            connect(liste_, &filelist::Liste::keyPressed, this,
                    [this](filelist::ListKey key, bool ctrl, bool shift, std::size_t page) {
                        logic_->Liste_KeyDown(key, ctrl, shift, page);
                    });
            connect(liste_, &filelist::Liste::headerClicked, this,
                    [this](int column) { logic_->Liste_ColumnClick(column); });
            connect(liste_, &filelist::Liste::dataDropped, this,
                    [this](const QMimeData& data) { Liste_OLEDragDrop(data); });
            break;
        case Kind::Button: {
            auto* button = new QPushButton(caption, parent);
            // Enter presses the focused button, as on Windows; no button is a default button.
            button->setAutoDefault(true);
            if (design.bold) {
                QFont bold = button->font();
                bold.setBold(true);
                button->setFont(bold);
            }
            const int index = design.index;
            connect(button, &QPushButton::clicked, this,
                    [this, index] { logic_->Btn_Click(index); });
            w = button;
            break;
        }
        case Kind::TriStateBox: {
            auto* box = new AttribBox(caption, parent);
            const int index = design.index;
            connect(box, &AttribBox::clickedForNextState, this,
                    [this, index] { logic_->AttribChk_Click(index); });
            w = box;
            break;
        }
        case Kind::CheckBox: {
            // A box two lines high wraps its caption.
            QCheckBox* box = design.height >= 2 * 195 ? new WrapCheckBox(caption, parent)
                                                      : new QCheckBox(caption, parent);
            const bool touch = design.name == "TouchChk";
            connect(box, &QCheckBox::clicked, this, [this, touch](bool checked) {
                touch ? logic_->TouchChk_Click(checked) : logic_->ToolTipCheck_Click(checked);
            });
            w = box;
            break;
        }
        case Kind::TextBox: {
            auto* field = new QLineEdit(parent);
            field->setAlignment(Qt::AlignCenter);
            field->setMaxLength(design.maxLength);
            field->installEventFilter(this);
            w = field;
            break;
        }
        case Kind::Label: {
            // Both labels end at the same right edge, just left of the fields.
            auto* label = new QLabel(caption, parent);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            w = label;
            break;
        }
        case Kind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setTextVisible(false);
            bar->setRange(0, 100);
            bar->setValue(0);
            w = bar;
            break;
        }
        case Kind::Picture: {
            auto* logo = new ClickablePicture(parent);
            logo->setPixmap(Artwork::logoPicture());
            logo->setScaledContents(true);
            logo->setCursor(Artwork::logoCursor());
            // The logo's hint belongs to the design; the hint switch does not touch it.
            logo->setToolTip(QStringLiteral(
                "Klicken Sie hier, um zur aktuellen Internetausgabe der Quarn zu gelangen ..."));
            connect(logo, &ClickablePicture::clicked, this, [this] { logic_->LogoImage_Click(); });
            w = logo;
            break;
        }
        case Kind::StatusBar: {
            auto* status = new QStatusBar(parent);
            status->setSizeGripEnabled(false);
            panel1_ = new StatusPanel(status);
            panel1_->setObjectName(QStringLiteral("Panel1"));
            panel1_->setAccessibleName(QStringLiteral("Statistik"));
            panel2_ = new StatusPanel(status);
            panel2_->setObjectName(QStringLiteral("Panel2"));
            panel2_->setAccessibleName(QStringLiteral("Programmstatus"));
            panel1_->setFixedWidth(px(StatisticsPanelWidth));
            status->addWidget(panel1_);
            status->addWidget(panel2_, 1);
            panel1_->setText(QStringLiteral("0 Dateien"));
            w = status;
            break;
        }
        }
        w->setObjectName(qtName(design));
        w->setAccessibleName(design.accessibleName.empty() ? fromUtf8(PlainCaption(design.caption))
                                                           : fromUtf8(design.accessibleName));
        w->setGeometry(px(design.left), px(design.top), px(design.width), px(design.height));
        // Fonts differ from the ones the geometry was drawn for: a caption that does not fit
        // takes the free room up to the next control rather than be cut off.
        if (design.roomTo > 0 && w->sizeHint().width() > w->width())
            w->resize(std::min(w->sizeHint().width(), px(design.roomTo) - w->x()), w->height());
        // A box lower than the style draws it would cut off its own edge: it grows about its
        // middle, which stays where the design put it.
        if (qobject_cast<QCheckBox*>(w) && w->sizeHint().height() > w->height()) {
            const int grow = w->sizeHint().height() - w->height();
            w->setGeometry(w->x(), w->y() - grow / 2, w->width(), w->sizeHint().height());
        }
        if (design.tab >= 0 && design.kind != Kind::Frame && design.kind != Kind::Label)
            tabOrder.emplace_back(design.tab, w);
        else if (design.kind == Kind::ProgressBar || design.kind == Kind::StatusBar)
            w->setFocusPolicy(Qt::NoFocus);
        controls_[{std::string(design.name), design.index}] = w;
    }

    std::sort(tabOrder.begin(), tabOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i].second, tabOrder[i + 1].second);

    const auto columns = Columns();
    liste_->header()->setMinimumSectionSize(px(200));
    for (std::size_t c = 0; c < columns.size(); ++c)
        liste_->header()->resizeSection(int(c), px(columns[c].width));
    // The date column takes what its widest text needs in the list's font, never less than
    // its design width: the list has room to its right.
    const QString widestDate =
        QString::fromStdString(platform::formatLastWrite(1230494338)); // 28.12.2008, 20:58:58
    const int dateWidth = liste_->fontMetrics().horizontalAdvance(widestDate) +
                          liste_->style()->pixelMetric(QStyle::PM_HeaderMargin) * 2 + px(120);
    liste_->header()->resizeSection(filelist::DateColumn,
                                    std::max(px(columns[filelist::DateColumn].width), dateWidth));
    // The type column's design width shows neither its caption nor a whole icon: it takes the
    // wider of the two, with the margins the date column has.
    liste_->setIconSize(QSize(16, 16));
    const int typeWidth = std::max(liste_->header()->fontMetrics().horizontalAdvance(
                                       QString::fromUtf8(columns[filelist::TypeColumn].header)),
                                   liste_->iconSize().width()) +
                          liste_->style()->pixelMetric(QStyle::PM_HeaderMargin) * 2 + px(120);
    liste_->header()->resizeSection(filelist::TypeColumn,
                                    std::max(px(columns[filelist::TypeColumn].width), typeWidth));
}

void Form1Window::Liste_OLEDragDrop(const QMimeData& data) {
    std::vector<std::string> refusedShares;
    auto names = filelist::droppedPaths(data, &refusedShares);
    logic_->Liste_OLEDragDrop(std::move(names), std::move(refusedShares));
}

void Form1Window::closeEvent(QCloseEvent* event) {
    logic_->Form_Unload();
    event->accept();
}

bool Form1Window::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < 6; ++i) {
        if (watched != DateTime(i))
            continue;
        if (event->type() == QEvent::FocusIn) {
            logic_->DateTime_GotFocus(i);
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving the window or opening a menu is no leaving of the field.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                logic_->DateTime_LostFocus(i, DateTime(i)->text().toStdString());
        }
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- control operations

void Form1Window::setCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void Form1Window::setPointer(Pointer pointer) {
    if (pointer == Pointer::Hourglass)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void Form1Window::endProgram() {
    QWidget::close();
    QCoreApplication::quit();
}

void Form1Window::showInfo(const std::string& name, const std::string& description) {
    if (!infoForm_)
        infoForm_ = std::make_unique<InfoForm>(toolkit_, this);
    infoForm_->main(QString::fromStdString(name), QString::fromStdString(description));
}

void Form1Window::enable(Ctl c, int index, bool enabled) {
    control(c, index)->setEnabled(enabled);
}

void Form1Window::setValue(Ctl c, int index, Tri value) {
    static_cast<QCheckBox*>(control(c, index))
        ->setCheckState(value == Tri::Checked  ? Qt::Checked
                        : value == Tri::Grayed ? Qt::PartiallyChecked
                                               : Qt::Unchecked);
}

void Form1Window::setText(Ctl c, int index, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (c == Ctl::Panel)
        Panel(index)->setText(shown);
    else
        static_cast<QLineEdit*>(control(c, index))->setText(shown);
}

void Form1Window::selectAll(Ctl c, int index) {
    auto* field = static_cast<QLineEdit*>(control(c, index));
    field->selectAll();
    // A mouse click that gave the focus would place the cursor afterwards.
    QTimer::singleShot(0, field, [field] {
        if (field->hasFocus())
            field->selectAll();
    });
}

void Form1Window::focus(Ctl c, int index) {
    QWidget* w = control(c, index);
    if (c != Ctl::DateTime) {
        w->setFocus();
        return;
    }
    // Qt takes no new focus inside a focus-out; give it once that is done.
    QTimer::singleShot(0, w, [w] {
        w->setFocus(Qt::OtherFocusReason);
        static_cast<QLineEdit*>(w)->selectAll();
    });
}

void Form1Window::setFieldColour(Ctl c, int index, bool inUse) {
    QWidget* field = control(c, index);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, inUse ? QApplication::palette().color(QPalette::Base)
                                           : Frame1()->palette().color(QPalette::Window));
    field->setPalette(palette);
}

void Form1Window::setHint(Ctl c, int index, const std::string& text) {
    control(c, index)->setToolTip(QString::fromStdString(text));
}

void Form1Window::setBarMax(int max) {
    Bar()->setMaximum(max);
}

void Form1Window::setBarValue(int value) {
    Bar()->setValue(value);
}

void Form1Window::repaintProgress() {
    Bar()->repaint();
    panel2_->repaint();
}

void Form1Window::listRowsInserted() {
    model_->publish();
}

void Form1Window::listRowsChanged() {
    model_->rowsRefreshed();
    liste_->viewport()->update();
}

void Form1Window::listReset() {
    model_->reset();
}

void Form1Window::listSetCurrent(std::size_t position) {
    liste_->showCurrent(position);
}

void Form1Window::listShowSortIndicator(int key, int order) {
    liste_->header()->setSortIndicatorShown(true);
    liste_->header()->setSortIndicator(key, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void Form1Window::listAcceptDrops(bool accept) {
    liste_->setAcceptingDrops(accept);
}

} // namespace app
