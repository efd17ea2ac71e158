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

enum Column : int { TypeColumn, NameColumn, RColumn, AColumn, SColumn, HColumn, DateColumn };
inline constexpr int ColumnCount = 7;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// The role that tells whether a row is marked (bool).
    static constexpr int MarkRole = Qt::UserRole + 1;

    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// All rows, including those not yet shown (see insertTop).
    const RowStore& rows() const { return store_; }
    RowStore& rows() { return store_; }
    std::size_t size() const { return store_.size(); }

    /// Adds a marked row at the top unless the path is listed. The view learns of new rows in
    /// batches (publish()), so that adding a row costs no repaint.
    bool insertTop(PathString path, bool isFolder);
    /// Tells the view of the rows added since the last call.
    void publish();

    void clear();
    std::size_t removeMarked();
    void markAll(bool marked);
    void invertMarks();
    void setMarked(std::size_t position, bool marked);
    bool isMarked(std::size_t position) const { return store_.at(position).marked; }
    /// Marks the rows first..last (inclusive, any order) and, with \p exclusive, unmarks all
    /// others.
    void markRange(std::size_t first, std::size_t last, bool exclusive);

    /// Tells the view that every row's letters and date may have changed.
    void rowsRefreshed();

    /// The automatic sorting: on orders the rows by the sort column and direction now and
    /// whenever it is switched on again.
    void setSorted(bool sorted);
    bool sorted() const { return sorted_; }
    void setSortKey(int column) { sortKey_ = column; }
    int sortKey() const { return sortKey_; }
    void setSortOrder(int order) { sortOrder_ = order; }
    int sortOrder() const { return sortOrder_; }
    /// Sorts by the current key and direction (stable).
    void sortNow();

    /// The text a cell shows.
    QString cellText(std::size_t position, int column) const;

    static QString typeWord(bool isFolder);

private:
    const Row& shownRow(int row) const { return store_.at(std::size_t(row) + pending()); }
    std::size_t pending() const { return store_.size() - published_; }

    RowStore store_;
    std::size_t published_ = 0;
    bool sorted_ = false;
    int sortKey_ = 0;
    int sortOrder_ = 0;
    QIcon folderIcon_;
    QIcon sheetIcon_;
};

} // namespace filelist
