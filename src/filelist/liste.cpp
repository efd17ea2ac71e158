#include "filelist/liste.h"

#include "filelist/filelistmodel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>

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

std::vector<PathString> droppedPaths(const QMimeData& data) {
    const QByteArray uriList = data.data(QStringLiteral("text/uri-list"));
    if (!uriList.isEmpty())
        return parseUriList(std::string_view(uriList.constData(), std::size_t(uriList.size())));
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

std::size_t Liste::positionOf(int row) const {
    // Rows not yet shown sit above the shown ones.
    return model_.size() - std::size_t(model_.rowCount()) + std::size_t(row);
}

void Liste::markByMouse(int row, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (row < 0) {
        if (!ctrl && !shift)
            model_.markAll(false);
    } else if (shift && anchor_ >= 0) {
        model_.markRange(positionOf(anchor_), positionOf(row), !ctrl);
    } else if (ctrl) {
        model_.setMarked(positionOf(row), !model_.isMarked(positionOf(row)));
        anchor_ = row;
    } else {
        model_.markRange(positionOf(row), positionOf(row), true);
        anchor_ = row;
    }
    viewport()->update();
}

void Liste::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeView::mousePressEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        setCurrentIndex(index);
    markByMouse(index.isValid() ? index.row() : -1, event->modifiers());
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
    const int rows = model_.rowCount();
    if (event->matches(QKeySequence::SelectAll)) {
        model_.markAll(true);
        viewport()->update();
        return;
    }
    if (rows > 0 && event->key() == Qt::Key_Space) {
        const int row = currentIndex().isValid() ? currentIndex().row() : 0;
        const std::size_t position = positionOf(row);
        if (event->modifiers() & Qt::ControlModifier)
            model_.setMarked(position, !model_.isMarked(position));
        else
            model_.setMarked(position, true);
        viewport()->update();
        return;
    }
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    const QModelIndex after = currentIndex();
    if (!after.isValid() || after == before)
        return;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (event->modifiers() & Qt::ShiftModifier) {
        if (anchor_ < 0)
            anchor_ = before.isValid() ? before.row() : after.row();
        model_.markRange(positionOf(anchor_), positionOf(after.row()), !ctrl);
    } else if (!ctrl) {
        // A plain move marks the row moved to, alone; with Ctrl only the focus moves.
        anchor_ = after.row();
        model_.markRange(positionOf(after.row()), positionOf(after.row()), true);
    }
    viewport()->update();
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
