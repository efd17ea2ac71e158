// The item model of the file list `Liste`: seven columns over the compact rows of RowStore,
// texts made on demand. Marks live in the rows, not in a selection model: Qt's selection model
// keeps ranges and becomes quadratic on the alternating marks that inverting makes.
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

    /// All rows, including those not yet shown (see insertTop).
    const RowStore& rows() const { return store_; }
    RowStore& rows() { return store_; }
    std::size_t size() const { return store_.size(); }

    /// Tells the view of the rows added at the top of the store since the last call. Rows are
    /// announced in batches, so that adding a row costs no repaint.
    void publish();

    void clear();
    std::size_t removeMarked();
    void markAll(bool marked);
    void setMarked(std::size_t position, bool marked);
    bool isMarked(std::size_t position) const { return store_.at(position).marked; }
    /// Marks the rows first..last (inclusive, any order) and, with \p exclusive, unmarks all
    /// others.
    void markRange(std::size_t first, std::size_t last, bool exclusive);

    /// Tells the view that every row's letters and date may have changed.
    void rowsRefreshed();

    /// Sorts by the column \p sortKey, ascending (0) or descending (1), by the locale's
    /// collation ignoring case; stable.
    void sortNow(int sortKey, int sortOrder);

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
