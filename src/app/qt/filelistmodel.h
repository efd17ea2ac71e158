// The item model of the file list `Liste`: seven columns over the compact rows of RowStore,
// texts made on demand. It only shows the rows: the window's logic changes them and says what
// changed. Marks live in the rows, not in a selection model: Qt's selection model keeps ranges
// and becomes quadratic on the alternating marks that inverting makes.
#pragma once

#include "filelist/rowstore.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QIcon>

namespace filelist {

/// A path as the user reads it (its bytes decoded as the locale's text; display only).
QString pathText(const PathString& path);

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// The role that tells whether a row is marked (bool).
    static constexpr int MarkRole = Qt::UserRole + 1;

    /// A view of \p store, which the window's logic owns and changes.
    explicit FileListModel(RowStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// All rows, including those not yet shown (see publish).
    const RowStore& rows() const { return store_; }
    std::size_t size() const { return store_.size(); }
    /// The view's row of display position \p position; -1 while it is not shown yet.
    int rowOf(std::size_t position) const {
        return position >= pending() && position < store_.size() ? int(position - pending()) : -1;
    }
    /// The display position of the view's row \p row.
    std::size_t positionOf(int row) const { return std::size_t(row) + pending(); }

    /// Tells the view of the rows added at the top of the store since the last call. Rows are
    /// announced in batches, so that adding a row costs no repaint.
    void publish();

    /// Tells the view that the rows were cleared, removed or put in another order.
    void reset();

    /// Tells the view that every row's letters, date and mark may have changed.
    void rowsRefreshed();

    /// The text a cell shows.
    QString cellText(std::size_t position, int column) const;

private:
    const Row& shownRow(int row) const { return store_.at(std::size_t(row) + pending()); }
    std::size_t pending() const { return store_.size() - published_; }

    RowStore& store_;
    std::size_t published_ = 0;
    QIcon folderIcon_;
    QIcon sheetIcon_;
};

} // namespace filelist
