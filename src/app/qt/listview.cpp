#include "app/qt/listview.h"

#include "app/qt/filelistmodel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace filelist {

namespace {

// Paints a row as selected exactly when the row is marked.
class MarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(FileListModel::MarkRole).toBool())
            option->state |= QStyle::State_Selected;
        else
            option->state &= ~QStyle::State_Selected;
    }
};

} // namespace

std::vector<PathString> droppedPaths(const QMimeData& data,
                                     std::vector<std::string>* refusedShares) {
    const QByteArray uriList = data.data(QStringLiteral("text/uri-list"));
    if (!uriList.isEmpty())
        return parseUriList(std::string_view(uriList.constData(), std::size_t(uriList.size())),
                            refusedShares);
    // Some sources offer URLs only through another format that Qt converts.
    std::vector<PathString> paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            paths.push_back(std::filesystem::path(url.toLocalFile().toStdU16String()).native());
    }
    return paths;
}

Liste::Liste(FileListModel& model, QWidget* parent) : QTreeView(parent), model_(model) {
    setModel(&model_);
    setItemDelegate(new MarkDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setSortingEnabled(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit headerClicked(section + 1); });
}

void Liste::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeView::mousePressEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        setCurrentIndex(index);
    const auto modifiers = event->modifiers();
    emit rowPressed(index.isValid() ? model_.positionOf(index.row()) : Marking::None,
                    modifiers & Qt::ControlModifier, modifiers & Qt::ShiftModifier);
    viewport()->update();
}

void Liste::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit listClicked();
}

void Liste::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a click like the first.
    mousePressEvent(event);
}

void Liste::mouseMoveEvent(QMouseEvent*) {}

void Liste::keyPressEvent(QKeyEvent* event) {
    const auto modifiers = event->modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier, shift = modifiers & Qt::ShiftModifier;
    ListKey key;
    if (event->matches(QKeySequence::SelectAll)) {
        key = ListKey::SelectAll;
    } else {
        switch (event->key()) {
        case Qt::Key_Up:
            key = ListKey::Up;
            break;
        case Qt::Key_Down:
            key = ListKey::Down;
            break;
        case Qt::Key_PageUp:
            key = ListKey::PageUp;
            break;
        case Qt::Key_PageDown:
            key = ListKey::PageDown;
            break;
        case Qt::Key_Home:
            key = ListKey::Home;
            break;
        case Qt::Key_End:
            key = ListKey::End;
            break;
        case Qt::Key_Space:
            key = ListKey::Space;
            break;
        default:
            QTreeView::keyPressEvent(event); // Tab and the rest leave the list as usual
            return;
        }
    }
    const int rowHeight = std::max(1, sizeHintForRow(0));
    emit keyPressed(key, ctrl, shift, std::size_t(std::max(1, viewport()->height() / rowHeight)));
    viewport()->update();
}

void Liste::showCurrent(std::size_t position) {
    const int row = model_.rowOf(position);
    if (row < 0)
        return;
    const QModelIndex index = model_.index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
}

bool takeAsCopy(QDropEvent* event) {
    for (Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            event->accept();
            return true;
        }
    }
    event->ignore();
    return false;
}

void Liste::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptingDrops_)
        takeAsCopy(event);
    else
        event->ignore();
}

void Liste::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptingDrops_)
        takeAsCopy(event);
    else
        event->ignore();
}

void Liste::dropEvent(QDropEvent* event) {
    if (!acceptingDrops_ || !event->mimeData() || !takeAsCopy(event)) {
        event->ignore();
        return;
    }
    emit dataDropped(*event->mimeData());
}

} // namespace filelist
