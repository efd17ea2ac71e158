#include "app/qt/filelistmodel.h"

#include "app/qt/listicons.h"
#include "platform/fileservices.h"


namespace filelist {

namespace {

const char* const Headers[ColumnCount] = {"Typ", "Name", "R", "A", "S", "H", "Datum/Zeit"};

} // namespace

QString pathText(const PathString& path) {
#ifdef _WIN32
    return QString::fromStdWString(path);
#else
    return QString::fromLocal8Bit(path.data(), qsizetype(path.size()));
#endif
}

FileListModel::FileListModel(RowStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store), folderIcon_(ListIcons::folderImage()),
      sheetIcon_(ListIcons::sheetImage()) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(published_);
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString FileListModel::cellText(std::size_t position, int column) const {
    const Row& row = store_.at(position);
    if (column == NameColumn)
        return pathText(row.path);
    return QString::fromStdString(CellText(row, column));
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || std::size_t(index.row()) >= published_)
        return {};
    const std::size_t position = std::size_t(index.row()) + pending();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(position, index.column());
    case Qt::DecorationRole:
        if (index.column() == TypeColumn)
            return store_.at(position).isFolder ? folderIcon_ : sheetIcon_;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() >= RColumn && index.column() <= HColumn)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case MarkRole:
        return store_.at(position).marked;
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(Headers[section]);
    if (role == Qt::TextAlignmentRole)
        return int((section >= RColumn && section <= HColumn) ? Qt::AlignCenter
                                                              : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled;
}

void FileListModel::publish() {
    const std::size_t n = pending();
    if (n == 0)
        return;
    beginInsertRows({}, 0, int(n - 1));
    published_ = store_.size();
    endInsertRows();
}

void FileListModel::reset() {
    beginResetModel();
    published_ = store_.size();
    endResetModel();
}

void FileListModel::rowsRefreshed() {
    if (published_ == 0)
        return;
    // One notification for the whole list; a million single ones would cost more than the
    // re-reading itself.
    emit dataChanged(index(0, 0), index(int(published_) - 1, ColumnCount - 1));
}

} // namespace filelist
