#include "app/form1.h"

#include "app/widgets.h"
#include "apply/attributeword.h"
#include "apply/module1.h"
#include "filelist/aai.h"
#include "filelist/filelistmodel.h"
#include "filelist/liste.h"
#include "filelist/listicons.h"
#include "info/aam.h"
#include "info/aap.h"
#include "info/artwork.h"
#include "info/infoform.h"
#include "info/maker.h"
#include "platform/fileservices.h"
#include "platform/toolkit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
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

#include <filesystem>

namespace app {

namespace {

constexpr std::uint32_t CountedBits[4] = {platform::attr::ReadOnly, platform::attr::Archive,
                                          platform::attr::System, platform::attr::Hidden};

// How often a long run may repaint its progress, and a drop show its new rows.
constexpr qint64 RepaintInterval = 40;
constexpr qint64 PublishInterval = 150;

std::string utf8(const QString& text) {
    return text.toStdString();
}

int boxValue(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return apply::Checked;
    case Qt::PartiallyChecked:
        return apply::Grayed;
    default:
        return apply::Unchecked;
    }
}

} // namespace

Form1::Form1(platform::Toolkit& toolkit, QWidget* parent)
    : QWidget(parent), toolkit_(toolkit), model_(std::make_unique<filelist::FileListModel>()) {
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
    setFixedSize(px(9375), px(6105));
    buildControls();
    setTabOrderChain();
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    Form_Load();
}

Form1::~Form1() = default;

int Form1::px(int twips) const {
    return int(twips / 15.0 * scale_ + 0.5);
}

void Form1::place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

void Form1::widenToCaption(QWidget* w, int rightLimitTwips) {
    // Fonts differ from the ones the geometry was drawn for: let a caption that does not fit
    // take the free room up to the next control rather than be cut off.
    const int needed = w->sizeHint().width();
    if (needed > w->width())
        w->resize(std::min(needed, px(rightLimitTwips) - w->x()), w->height());
}

QPushButton* Form1::Btn(int index) const {
    auto it = btn_.find(index);
    return it == btn_.end() ? nullptr : it->second;
}

void Form1::buildControls() {
    auto named = [](QWidget* w, const QString& name, const QString& accessible) {
        w->setObjectName(name);
        w->setAccessibleName(accessible);
    };
    auto accessibleCaption = [](QString caption) { return caption.remove(QLatin1Char('&')); };

    frame1_ = new QGroupBox(QStringLiteral("Bearbeitungsliste"), this);
    named(frame1_, QStringLiteral("Frame1"), QStringLiteral("Bearbeitungsliste"));
    place(frame1_, 60, 0, 9255, 4095);

    liste_ = new filelist::Liste(*model_, frame1_);
    named(liste_, QStringLiteral("Liste"), QStringLiteral("Bearbeitungsliste"));
    place(liste_, 120, 240, 9015, 3255);
    const int widths[filelist::ColumnCount] = {200, 4400, 200, 200, 200, 200, 1440};
    liste_->header()->setMinimumSectionSize(px(200));
    for (int c = 0; c < filelist::ColumnCount; ++c)
        liste_->header()->resizeSection(c, px(widths[c]));
    // The date column takes what its widest text needs in the list's font, never less than
    // its design width: the list has room to its right.
    const QString widestDate =
        QString::fromStdString(platform::formatLastWrite(1230494338)); // 28.12.2008, 20:58:58

    const int dateWidth = liste_->fontMetrics().horizontalAdvance(widestDate) +
                          liste_->style()->pixelMetric(QStyle::PM_HeaderMargin) * 2 + px(120);
    liste_->header()->resizeSection(filelist::DateColumn,
                                    std::max(px(widths[filelist::DateColumn]), dateWidth));
    liste_->setIconSize(QSize(16, 16));
    connect(liste_, &filelist::Liste::listClicked, this, &Form1::Liste_Click);
    connect(liste_, &filelist::Liste::headerClicked, this, &Form1::Liste_ColumnClick);
    connect(liste_, &filelist::Liste::dataDropped, this, &Form1::Liste_OLEDragDrop);

    frame2_ = new QGroupBox(QStringLiteral("Steuerung"), this);
    named(frame2_, QStringLiteral("Frame2"), QStringLiteral("Steuerung"));
    place(frame2_, 1380, 4200, 7935, 1575);

    struct ButtonSpec {
        int index;
        const char* caption;
        bool inFrame1;
        int left, top, width, height;
    };
    const ButtonSpec buttons[] = {
        {1, "Alle aus&wählen", true, 120, 3600, 1395, 312},
        {2, "&Keine Auswahl", true, 1620, 3600, 1395, 312},
        {3, "Ausw. &umkehren", true, 3120, 3600, 1395, 312},
        {4, "Aus&gew. löschen", true, 6180, 3600, 1395, 312},
        {0, "Liste l&öschen", true, 7680, 3600, 1455, 312},
        {10, "H&ilfe", false, 4620, 660, 795, 315},
        {5, "&Info", false, 5520, 660, 795, 315},
        {8, "&Start", false, 6420, 660, 1395, 315},
        {9, "&Ende", false, 6420, 1080, 1395, 315},
    };
    for (const ButtonSpec& def : buttons) {
        const QString caption = QString::fromUtf8(def.caption);
        auto* button = new QPushButton(caption, def.inFrame1 ? frame1_ : frame2_);
        named(button, QStringLiteral("Btn%1").arg(def.index), accessibleCaption(caption));
        button->setAutoDefault(false);
        place(button, def.left, def.top, def.width, def.height);
        btn_[def.index] = button;
        const int index = def.index;
        connect(button, &QPushButton::clicked, this, [this, index] { Btn_Click(index); });
    }
    QFont bold = Btn(8)->font();
    bold.setBold(true);
    Btn(8)->setFont(bold);

    struct BoxSpec {
        const char* caption;
        int top, width;
    };
    const BoxSpec boxes[] = {{"&R - schreibgeschützt", 300, 1875},
                             {"&A - zu archivieren", 600, 1575},
                             {"&S - systembezogen", 900, 1815},
                             {"&H - versteckt", 1200, 1575}};
    for (int k = 1; k <= 4; ++k) {
        const QString caption = QString::fromUtf8(boxes[k - 1].caption);
        auto* box = new AttribBox(caption, frame2_);
        named(box, QStringLiteral("AttribChk%1").arg(k), accessibleCaption(caption));
        place(box, 180, boxes[k - 1].top, boxes[k - 1].width, 195);
        widenToCaption(box, 2100 - 30);
        attribChk_[std::size_t(k - 1)] = box;
    }

    frame3_[0] = new QFrame(frame2_);
    frame3_[1] = new QFrame(frame2_);
    for (int i = 0; i < 2; ++i) {
        frame3_[std::size_t(i)]->setObjectName(QStringLiteral("Frame3_%1").arg(i));
        frame3_[std::size_t(i)]->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    }
    place(frame3_[0], 2100, 120, 25, 1335);
    place(frame3_[1], 4440, 120, 25, 1275);

    touchChk_ = new QCheckBox(QStringLiteral("Datum und Zeit ändern"), frame2_);
    named(touchChk_, QStringLiteral("TouchChk"), QStringLiteral("Datum und Zeit ändern"));
    place(touchChk_, 2280, 240, 1935, 315);
    widenToCaption(touchChk_, 4440 - 30);
    connect(touchChk_, &QCheckBox::clicked, this, &Form1::TouchChk_Click);

    label1_[0] = new QLabel(QStringLiteral("Datum:"), frame2_);
    label1_[1] = new QLabel(QStringLiteral("Zeit:"), frame2_);
    for (int i = 0; i < 2; ++i) {
        label1_[std::size_t(i)]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label1_[std::size_t(i)]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    // Both labels end at the same right edge, just left of the fields.
    place(label1_[0], 2280, 720, 510, 195);
    place(label1_[1], 2475, 1140, 315, 195);

    struct FieldSpec {
        const char* name;
        int left, top, width, maxLength;
    };
    const FieldSpec fields[6] = {{"Stunde", 2880, 1080, 315, 2},  {"Minute", 3180, 1080, 315, 2},
                                 {"Sekunde", 3480, 1080, 315, 2}, {"Tag", 2880, 660, 315, 2},
                                 {"Monat", 3180, 660, 315, 2},    {"Jahr", 3480, 660, 615, 4}};
    for (int i = 0; i < 6; ++i) {
        auto* field = new QLineEdit(frame2_);
        named(field, QStringLiteral("DateTime%1").arg(i), QString::fromUtf8(fields[i].name));
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(fields[i].maxLength);
        place(field, fields[i].left, fields[i].top, fields[i].width, 285);
        field->installEventFilter(this);
        dateTime_[std::size_t(i)] = field;
    }

    bar_ = new QProgressBar(frame2_);
    named(bar_, QStringLiteral("Bar"), QStringLiteral("Verarbeitungsstand"));
    bar_->setTextVisible(false);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    place(bar_, 4620, 240, 3195, 315);

    toolTipCheck_ = new WrapCheckBox(QStringLiteral("Automatische Hinweis&texte"), frame2_);
    named(toolTipCheck_, QStringLiteral("ToolTipCheck"),
          QStringLiteral("Automatische Hinweistexte"));
    place(toolTipCheck_, 4620, 1020, 1515, 435);
    connect(toolTipCheck_, &QCheckBox::clicked, this, &Form1::ToolTipCheck_Click);

    logoImage_ = new ClickablePicture(this);
    named(logoImage_, QStringLiteral("LogoImage"), QStringLiteral("Logo der Quarn"));
    logoImage_->setPixmap(Artwork::logoPicture());
    logoImage_->setScaledContents(true);
    logoImage_->setCursor(Artwork::logoCursor());
    logoImage_->setToolTip(QStringLiteral(
        "Klicken Sie hier, um zur aktuellen Internetausgabe der Quarn zu gelangen ..."));
    place(logoImage_, 60, 4200, 1225, 1590);
    connect(logoImage_, &ClickablePicture::clicked, this, &Form1::LogoImage_Click);

    status_ = new QStatusBar(this);
    named(status_, QStringLiteral("Status"), QStringLiteral("Statusleiste"));
    status_->setSizeGripEnabled(false);
    place(status_, 0, 5850, 9375, 255);
    panel1_ = new StatusPanel(status_);
    named(panel1_, QStringLiteral("Panel1"), QStringLiteral("Statistik"));
    panel2_ = new StatusPanel(status_);
    named(panel2_, QStringLiteral("Panel2"), QStringLiteral("Programmstatus"));
    // Panel 1 holds the longest statistics line of a million rows.
    panel1_->setFixedWidth(px(3900));
    status_->addWidget(panel1_);
    status_->addWidget(panel2_, 1);
    panel1_->setText(QStringLiteral("0 Dateien"));
}

void Form1::setTabOrderChain() {
    QWidget* chain[] = {liste_,      Btn(1),       Btn(2),       Btn(3),       Btn(4),
                        Btn(0),      AttribChk(1), AttribChk(2), AttribChk(3), AttribChk(4),
                        touchChk_,   DateTime(3),  DateTime(4),  DateTime(5),  DateTime(0),
                        DateTime(1), DateTime(2),  Btn(10),      Btn(5),       Btn(8),
                        Btn(9),      toolTipCheck_};
    for (std::size_t i = 0; i + 1 < std::size(chain); ++i)
        setTabOrder(chain[i], chain[i + 1]);
    bar_->setFocusPolicy(Qt::NoFocus);
    status_->setFocusPolicy(Qt::NoFocus);
}

void Form1::Form_Load() {
    setWindowTitle(QString::fromUtf8(ProgramTitle));
    toolkit_.setHint(*toolTipCheck_, "Schaltet die automatischen Hinweise ein oder aus");
    UserInfoLeereListe();
    InitDateTime();
    ChkSituation();
}

// ---------------------------------------------------------------- commands

void Form1::Btn_Click(int index) {
    // Nothing that changes files or the list runs while a drop is being entered.
    if (dropping_ && (index == 0 || index == 4 || index == 8))
        return;
    switch (index) {
    case 0:
        model_->clear();
        liste_->setFocus();
        UserInfoLeereListe();
        ChkSituation();
        break;
    case 1:
        ListeSelect(1);
        liste_->setFocus();
        ChkSituation();
        break;
    case 2:
        ListeSelect(0);
        liste_->setFocus();
        ChkSituation();
        break;
    case 3:
        ListeSelect(2);
        liste_->setFocus();
        ChkSituation();
        break;
    case 4:
        ClearAllSelectedItems();
        liste_->setFocus();
        ChkSituation();
        break;
    case 5:
        if (!infoForm_)
            infoForm_ = std::make_unique<InfoForm>(toolkit_, this);
        infoForm_->main(QString::fromUtf8(ProgramTitle), QString::fromUtf8(ProgramDescription));
        break;
    case 8:
        SetNewAttributes();
        break;
    case 9:
        ending_ = true;
        close();
        QCoreApplication::quit();
        break;
    case 10:
        AAP::ShellOpenDefault(toolkit_, this, AAM::ProgramFolder() + "dateimark.htm");
        break;
    default:
        break;
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    // A drop in its yields stops at the next one.
    ending_ = true;
    event->accept();
}

void Form1::LogoImage_Click() {
    AAP::ShellOpen(toolkit_, this, std::string(maker::MagazineTarget), platform::ShowNormal);
}

// ---------------------------------------------------------------- status messages

void Form1::UserInfo(const QString& text) {
    panel2_->setText(text);
}

void Form1::UserInfoLeereListe() {
    UserInfo(QStringLiteral("Ziehen Sie die zu bearbeitenden Dateien in die obige Liste ..."));
}

// ---------------------------------------------------------------- situation check

void Form1::ChkSituation() {
    toolkit_.setPointer(*this, platform::Pointer::Hourglass);
    model_->publish();

    std::int64_t selected = 0;
    std::int64_t counters[4] = {0, 0, 0, 0};
    model_->rows().forEachRow([&](filelist::Row& row) {
        platform::EntryState entry;
        if (const auto ec = platform::queryEntry(std::filesystem::path(row.path), entry)) {
            // The row stays; the apply run reports why it cannot be processed.
            const bool vanished =
                ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
            row.state = vanished ? filelist::RowState::Missing : filelist::RowState::Unreadable;
            row.attributes = 0;
        } else {
            row.state = filelist::RowState::Present;
            row.attributes = entry.attributes;
            row.lastWrite = entry.lastWrite;
        }
        if (row.marked) {
            ++selected;
            for (int k = 0; k < 4; ++k)
                counters[k] += (row.attributes & CountedBits[k]) ? 1 : 0;
        }
    });
    model_->rowsRefreshed();

    const bool active = selected > 0;
    Btn(0)->setEnabled(!dropping_);
    Btn(4)->setEnabled(active && !dropping_);
    Btn(8)->setEnabled(active && !dropping_);
    for (int k = 1; k <= 4; ++k) {
        AttribChk(k)->setEnabled(active);
        AttribChk(k)->preset(Qt::Unchecked);
    }
    touchChk_->setEnabled(active);
    const bool dateActive = touchChk_->checkState() != Qt::Unchecked && active;
    const QColor fieldColor = dateActive ? QApplication::palette().color(QPalette::Base)
                                         : frame1_->palette().color(QPalette::Window);
    for (QLineEdit* field : dateTime_) {
        field->setEnabled(dateActive);
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, fieldColor);
        field->setPalette(palette);
    }
    if (active) {
        for (int k = 0; k < 4; ++k) {
            const auto c = counters[k];
            AttribChk(k + 1)->preset(c == 0          ? Qt::Unchecked
                                     : c == selected ? Qt::Checked
                                                     : Qt::PartiallyChecked);
        }
    }

    const auto rows = qint64(model_->size());
    panel1_->setText(QStringLiteral("%1 %2, davon %3 ausgewählt")
                         .arg(rows)
                         .arg(rows == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"))
                         .arg(selected));
    toolkit_.setPointer(*this, platform::Pointer::Default);
}

// ---------------------------------------------------------------- list rows

void Form1::AddToList(const filelist::PathString& path) {
    addEntry(path, std::nullopt);
}

void Form1::addEntry(const filelist::PathString& path, std::optional<bool> isFolder) {
    if (model_->rows().contains(path))
        return;
    if (!isFolder) {
        std::uint32_t word = 0;
        if (auto ec = platform::readAttributes(std::filesystem::path(path), word)) {
            noteSkipped(path, ec);
            return;
        }
        isFolder = (word & platform::attr::Directory) != 0;
    }
    UserInfo(QStringLiteral("Die Liste wird aufgefüllt: ") + filelist::pathText(path));
    model_->insertTop(path, *isFolder);
    addCounter_ = std::int16_t((addCounter_ + 1) % 64);
    if (addCounter_ == 0)
        yieldDuringDrop();
}

void Form1::noteSkipped(const filelist::PathString& path, std::error_code ec) {
    ++skipped_;
    UserInfo(QStringLiteral("Übersprungen: %1 (%2)")
                 .arg(filelist::pathText(path), QString::fromStdString(platform::reasonText(ec))));
}

void Form1::yieldDuringDrop() {
    // New rows reach the view a few times a second, not at every yield: a repaint of the
    // list at each of them would cost more than entering the rows.
    if (!sincePublish_.isValid() || sincePublish_.elapsed() >= PublishInterval) {
        model_->publish();
        sincePublish_.restart();
    }
    toolkit_.yield();
}

// ---------------------------------------------------------------- drop handling

void Form1::Liste_OLEDragDrop(const QMimeData& data) {
    if (dropping_)
        return;
    // Only the names are taken now; the drop event returns and the file manager is free
    // while the names are entered.
    dropping_ = true;
    liste_->setAcceptingDrops(false);
    Btn(0)->setEnabled(false);
    Btn(4)->setEnabled(false);
    Btn(8)->setEnabled(false);
    QTimer::singleShot(0, this, [this, names = filelist::droppedPaths(data)]() mutable {
        dropping_ = false;
        DropNames(std::move(names));
    });
}

void Form1::DropNames(std::vector<filelist::PathString> names) {
    if (dropping_ || ending_)
        return;
    if (names.empty()) {
        liste_->setAcceptingDrops(true);
        ChkSituation();
        toolkit_.messageBox("Bitte nur Datei- und Verzeichnisnamen in die Liste ziehen.",
                            platform::MessageStyle::OkInformation, ProgramTitle);
        return;
    }
    dropping_ = true;
    liste_->setAcceptingDrops(false);
    Btn(0)->setEnabled(false);
    Btn(4)->setEnabled(false);
    Btn(8)->setEnabled(false);
    skipped_ = 0;
    model_->setSorted(false);
    bar_->setMinimum(0);
    bar_->setValue(0);
    bar_->setMaximum(int(names.size()));
    toolkit_.setPointer(*this, platform::Pointer::Hourglass);
    sincePublish_.restart();

    for (std::size_t i = 0; i < names.size() && !ending_; ++i) {
        bar_->setValue(int(i + 1));
        enterDroppedName(std::move(names[i]));
    }
    if (ending_) { // the program ends: no sorting, no situation check
        dropping_ = false;
        return;
    }

    bar_->setValue(0);
    model_->setSorted(true);
    if (skipped_ == 0)
        UserInfo(QStringLiteral("Eintragung beendet"));
    else if (skipped_ == 1)
        UserInfo(QStringLiteral("Eintragung beendet (1 Eintrag übersprungen)"));
    else
        UserInfo(QStringLiteral("Eintragung beendet (%1 Einträge übersprungen)").arg(skipped_));
    toolkit_.setPointer(*this, platform::Pointer::Default);
    dropping_ = false;
    liste_->setAcceptingDrops(true);
    ChkSituation();
}

void Form1::enterDroppedName(filelist::PathString name) {
    if (!AAI::NameIsUsable(name)) {
        toolkit_.messageBox("Der Verzeichnisname '" + utf8(filelist::pathText(name)) +
                                "'\renthält ungültige Zeichen und wird daher nicht "
                                "berücksichtigt.",
                            platform::MessageStyle::OkPlain, ProgramTitle);
        return;
    }
    // A link dropped directly stands for the entry it points to, and is listed as that entry:
    // writes never go through a link.
    if (platform::isLink(std::filesystem::path(name))) {
        std::error_code ec;
        const auto target = std::filesystem::canonical(std::filesystem::path(name), ec);
        if (ec) {
            noteSkipped(name, ec);
            return;
        }
        name = target.native();
    }
    std::uint32_t word = 0;
    if (auto ec = platform::readAttributes(std::filesystem::path(name), word)) {
        noteSkipped(name, ec);
        return;
    }
    if (!(word & platform::attr::Directory)) {
        addEntry(name, false);
        return;
    }
    if (AAI::DroppedFolderGetsOwnRow(name))
        addEntry(name, true);

    AAI::CollectHooks hooks;
    hooks.yield = [this] { toolkit_.yield(); };
    hooks.stop = [this] { return ending_; };
    hooks.skipped = [this](const filelist::PathString& path, std::error_code ec) {
        noteSkipped(path, ec);
    };
    AAI::CollectFolder(name, true, hooks);
    // No second drop can start meanwhile, so the found lists stay as they are; their upper
    // bounds are read once, as they were when the loops started.
    const std::size_t files = AAI::FoundFiles.size();
    for (std::size_t j = 1; j < files && !ending_; ++j)
        addEntry(AAI::FoundFiles[j], false);
    const std::size_t folders = AAI::FoundFolders.size();
    for (std::size_t j = 1; j < folders && !ending_; ++j)
        addEntry(AAI::FoundFolders[j], true);
    // Nothing reads the found lists afterwards; a million paths need not be held twice.
    AAI::FoundFiles.assign(1, {});
    AAI::FoundFiles.shrink_to_fit();
    AAI::FoundFolders.assign(1, {});
    AAI::FoundFolders.shrink_to_fit();
}

// ---------------------------------------------------------------- selection and sorting

void Form1::ListeSelect(std::int16_t mode) {
    switch (mode) {
    case 0:
        model_->markAll(false);
        break;
    case 1:
        model_->markAll(true);
        break;
    case 2:
        model_->invertMarks();
        break;
    default:
        return;
    }
    liste_->viewport()->update();
}

void Form1::ClearAllSelectedItems() {
    model_->removeMarked();
}

void Form1::Liste_Click() {
    ChkSituation();
}

void Form1::Liste_ColumnClick(int column) {
    // Sorting during a drop would move the row the drop is about to address.
    if (dropping_)
        return;
    if (column == lastSortColumn_) {
        model_->setSortOrder((model_->sortOrder() + 1) % 2);
        if (model_->sorted())
            model_->sortNow();
    } else {
        lastSortColumn_ = std::int16_t(column);
        model_->setSortKey(column - 1);
        model_->setSorted(true);
    }
    liste_->header()->setSortIndicatorShown(true);
    liste_->header()->setSortIndicator(
        model_->sortKey(), model_->sortOrder() == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    ChkSituation();
}

// ---------------------------------------------------------------- date and time fields

void Form1::InitDateTime() {
    const platform::LocalTime now = platform::presentLocalTime();
    const int values[6] = {now.hour, now.minute, now.second, now.day, now.month, now.year};
    for (int i = 0; i < 6; ++i)
        DateTime(i)->setText(QString::number(values[i]));
    for (int i = 0; i < 6; ++i)
        Module1::TouchTime[std::size_t(i)] = std::int16_t(values[i]);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < 6; ++i) {
        if (watched != dateTime_[std::size_t(i)])
            continue;
        if (event->type() == QEvent::FocusIn) {
            DateTime_GotFocus(i);
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving the window or opening a menu is no leaving of the field.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                DateTime_LostFocus(i);
        }
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::DateTime_GotFocus(int index) {
    QLineEdit* field = DateTime(index);
    field->selectAll();
    // A mouse click that gave the focus would place the cursor afterwards.
    QTimer::singleShot(0, field, [field] {
        if (field->hasFocus())
            field->selectAll();
    });
}

void Form1::DateTime_LostFocus(int index) {
    QLineEdit* field = DateTime(index);
    const Module1::FieldCheck check =
        Module1::CheckField(index, utf8(field->text()), Module1::TouchTime);
    field->setText(QString::number(check.value));
    Module1::TouchTime[std::size_t(index)] = check.value;
    if (!check.valid) {
        refocus(index);
        toolkit_.beep();
        return;
    }
    if (index == Module1::Month || index == Module1::Year)
        DateTime_LostFocus(Module1::Day);
}

void Form1::refocus(int index) {
    // Qt does not take a new focus inside a focus-out; give it back once that is done.
    QLineEdit* field = DateTime(index);
    QTimer::singleShot(0, field, [field] {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    });
}

void Form1::TouchChk_Click() {
    ChkSituation();
}

// ---------------------------------------------------------------- apply run

void Form1::showProgress(bool force) {
    // The run keeps the event loop out; repaint what shows progress a few dozen times a second.
    if (force || !sinceRepaint_.isValid() || sinceRepaint_.elapsed() >= RepaintInterval) {
        bar_->repaint();
        panel2_->repaint();
        sinceRepaint_.restart();
    }
}

void Form1::SetNewAttributes() {
    model_->publish();
    const std::size_t n = model_->size();
    bar_->setMinimum(0);
    bar_->setValue(0);
    bar_->setMaximum(int(n));
    toolkit_.setPointer(*this, platform::Pointer::Hourglass);
    const bool touching = touchChk_->checkState() != Qt::Unchecked;
    sinceRepaint_.invalidate();

    bool aborted = false;
    for (std::size_t i = n; i >= 1; --i) {
        bar_->setValue(bar_->maximum() - int(i));
        showProgress(false);
        const filelist::Row& row = model_->rows().at(i - 1);
        if (!row.marked)
            continue;
        const std::filesystem::path path(row.path);
        const apply::BoxValues boxes = {boxValue(AttribChk(1)), boxValue(AttribChk(2)),
                                        boxValue(AttribChk(3)), boxValue(AttribChk(4))};
        apply::RowFailure failure;
        const bool done = apply::ApplyRow(
            path, boxes, touching,
            [&] {
                UserInfo(QStringLiteral("Attribute werden übertragen: ") +
                         filelist::pathText(row.path));
            },
            failure);
        if (done)
            continue;
        showProgress(true);
        const std::string text = "Folgendes Objekt ließ sich nicht bearbeiten:\r" +
                                 platform::displayText(path) + "\r\rGrund:\r" +
                                 apply::ReasonLine(failure) + "\r\rMöchten Sie fortsetzen?";
        if (toolkit_.messageBox(text, platform::MessageStyle::YesNoStop, ProgramTitle) ==
            platform::MessageAnswer::No) {
            UserInfo(QStringLiteral("Abgebrochen"));
            aborted = true;
            break;
        }
    }
    if (!aborted)
        UserInfo(QStringLiteral("Fertig"));
    bar_->setValue(0);
    toolkit_.setPointer(*this, platform::Pointer::Default);
    ChkSituation();
}

// ---------------------------------------------------------------- hints

void Form1::LoadToolTips(std::int16_t on) {
    auto hint = [this](QWidget* control, const char* text) { toolkit_.setHint(*control, text); };
    if (on != 0) {
        const char* attrib = "Setzen bzw. entfernen Sie ein Häkchen, um das betreffende Attribut "
                             "bei den ausgewählten Dateien zu setzen bzw. zu löschen";
        for (int k = 1; k <= 4; ++k)
            hint(AttribChk(k), attrib);
        hint(liste_, "Ziehen Sie die Namen der zu bearbeitenden Dateien in diese Liste");
        hint(Btn(0), "Löscht alle Dateinamen aus der obenstehenden Liste");
        hint(Btn(1), "Markiert alle Dateien in der Liste als ausgewählt");
        hint(Btn(2), "Löscht alle Dateimarkierungen");
        hint(Btn(3), "Kehrt die aktuelle Dateiauswahl um");
        hint(Btn(4), "Löscht alle markierten Dateinamen aus der obenstehenden Liste");
        hint(Btn(5), "Gibt Zusatzinfos über das Programm");
        hint(Btn(8), "Startet die Bearbeitung aller markierten Dateien in der Liste");
        hint(Btn(9), "Beendet das Programm");
        hint(Btn(10), "Startet die Onlinehilfe");
        hint(bar_, "Zeigt den aktuellen Verarbeitungsstand an");
        hint(panel1_, "Kleine Statistik über die Dateien in der Liste");
        hint(panel2_, "Programmstatus und Hinweise für den Anwender");
        hint(DateTime(0), "Feld für die Stunde des letzten Zugriffs");
        hint(DateTime(1), "Feld für die Minute des letzten Zugriffs");
        hint(DateTime(2), "Feld für die Sekunde des letzten Zugriffs");
        hint(DateTime(3), "Feld für den Tag des letzten Zugriffs");
        hint(DateTime(4), "Feld für den Monat des letzten Zugriffs");
        hint(DateTime(5), "Feld für das Jahr des letzten Zugriffs");
        hint(touchChk_, "Markieren Sie diesen Punkt, wenn Sie den Zeitpunkt des letzten "
                        "Zugriffs ändern wollen");
    } else {
        hint(liste_, "");
        for (int k = 1; k <= 4; ++k)
            hint(AttribChk(k), "");
        for (int i = 0; i < 6; ++i)
            hint(DateTime(i), "");
        for (int index : {0, 1, 2, 3, 4, 5, 8, 9, 10})
            hint(Btn(index), "");
        hint(bar_, "");
        hint(panel1_, "");
        hint(panel2_, "");
        hint(touchChk_, "");
    }
}

void Form1::ToolTipCheck_Click() {
    LoadToolTips(toolTipCheck_->checkState() != Qt::Unchecked ? 1 : 0);
}

} // namespace app
