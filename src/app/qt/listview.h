// The list view `Liste`: a report view over FileListModel. It paints the rows' own marks and
// hands the mouse's and the keys' gestures, drops and clicks to its owner, whose logic marks.
#pragma once

#include <QTreeView>

#include "filelist/marking.h"
#include "filelist/urilist.h"

#include <vector>

class QDropEvent;
class QMimeData;

namespace filelist {

/// Accepts a drag or drop as a copy (or a link), never as a move: a drop only hands over names,
/// and a move accepted here would tell the file manager to delete the originals.
/// @return false, with the event ignored, when the source offers neither.
bool takeAsCopy(QDropEvent* event);

/// The local paths a drop holds, from its URI list; empty when it holds no file names. Addresses
/// of a share that name no file there go to \p refusedShares (see parseUriList()).
std::vector<PathString> droppedPaths(const QMimeData& data,
                                     std::vector<std::string>* refusedShares = nullptr);

class FileListModel;

class Liste : public QTreeView {
    Q_OBJECT
public:
    explicit Liste(FileListModel& model, QWidget* parent = nullptr);

    FileListModel& listModel() { return model_; }

    /// Makes the row at display position \p position the current one and scrolls it into view.
    void showCurrent(std::size_t position);

    /// While a drop is being entered, further drops are refused.
    void setAcceptingDrops(bool accepting) { acceptingDrops_ = accepting; }
    bool acceptingDrops() const { return acceptingDrops_; }

signals:
    /// The left mouse button pressed on the row at display position \p position
    /// (Marking::None: below the rows).
    void rowPressed(std::size_t position, bool ctrl, bool shift);
    /// A key that moves the current row or marks; \p pageRows rows fit the view.
    void keyPressed(filelist::ListKey key, bool ctrl, bool shift, std::size_t pageRows);
    /// A click of the left mouse button in the list (after the marks changed).
    void listClicked();
    /// A click on a column header, with its 1-based index.
    void headerClicked(int column);
    /// Something was dropped on the list.
    void dataDropped(const QMimeData& data);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    FileListModel& model_;
    bool acceptingDrops_ = true;
};

} // namespace filelist
