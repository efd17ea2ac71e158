#include "filelist/filelistmodel.h"

#include "filelist/listicons.h"
#include "platform/fileservices.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>

#include <algorithm>
#include <numeric>

namespace filelist {

namespace {

const char* const Headers[ColumnCount] = {"Typ", "Name", "R", "A", "S", "H", "Datum/Zeit"};

constexpr std::uint32_t LetterBits[4] = {platform::attr::ReadOnly, platform::attr::Archive,
                                         platform::attr::System, platform::attr::Hidden};
const char* const Letters[4] = {"R", "A", "S", "H"};

} // namespace

QString pathText(const PathString& path) {
#ifdef _WIN32
    return QString::fromStdWString(path);
#else
    return QString::fromLocal8Bit(path.data(), qsizetype(path.size()));
#endif
}

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent), folderIcon_(ListIcons::folderImage()),
      sheetIcon_(ListIcons::sheetImage()) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(published_);
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString FileListModel::typeWord(bool isFolder) {
    return isFolder ? QStringLiteral("Ordner") : QStringLiteral("Datei");
}

QString FileListModel::cellText(std::size_t position, int column) const {
    const Row& row = store_.at(position);
    switch (column) {
    case TypeColumn:
        return typeWord(row.isFolder);
    case NameColumn:
        return pathText(row.path);
    case DateColumn:
        if (row.state == RowState::Missing)
            return QStringLiteral("nicht gefunden");
        if (row.state == RowState::Unreadable)
            return QStringLiteral("kein Zugriff");
        if (row.state == RowState::Unread)
            return {};
        return QString::fromStdString(platform::formatLastWrite(row.lastWrite));
    default: {
        const int k = column - RColumn;
        if (row.state == RowState::Present && (row.attributes & LetterBits[k]))
            return QLatin1String(Letters[k]);
        return {};
    }
    }
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

bool FileListModel::insertTop(PathString path, bool isFolder) {
    return store_.insertTop(std::move(path), isFolder);
}

void FileListModel::publish() {
    const std::size_t n = pending();
    if (n == 0)
        return;
    beginInsertRows({}, 0, int(n - 1));
    published_ = store_.size();
    endInsertRows();
}

void FileListModel::clear() {
    beginResetModel();
    store_.clear();
    published_ = 0;
    endResetModel();
}

std::size_t FileListModel::removeMarked() {
    publish();
    beginResetModel();
    const std::size_t removed = store_.removeMarked();
    published_ = store_.size();
    endResetModel();
    return removed;
}

void FileListModel::markAll(bool marked) {
    store_.markAll(marked);
    rowsRefreshed();
}

void FileListModel::invertMarks() {
    store_.invertMarks();
    rowsRefreshed();
}

void FileListModel::setMarked(std::size_t position, bool marked) {
    store_.at(position).marked = marked;
    if (position >= pending()) {
        const int row = int(position - pending());
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {MarkRole});
    }
}

void FileListModel::markRange(std::size_t first, std::size_t last, bool exclusive) {
    if (first > last)
        std::swap(first, last);
    if (exclusive)
        store_.markAll(false);
    for (std::size_t i = first; i <= last && i < store_.size(); ++i)
        store_.at(i).marked = true;
    rowsRefreshed();
}

void FileListModel::rowsRefreshed() {
    if (published_ == 0)
        return;
    // One notification for the whole list; a million single ones would cost more than the
    // re-reading itself.
    emit dataChanged(index(0, 0), index(int(published_) - 1, ColumnCount - 1));
}

void FileListModel::setSorted(bool sorted) {
    sorted_ = sorted;
    if (sorted_)
        sortNow();
}

void FileListModel::sortNow() {
    publish();
    const std::size_t n = store_.size();
    if (n < 2)
        return;

    // Sort keys of the column texts as the user reads them: by the locale's collation,
    // ignoring case. Columns with few distinct texts share one key per text.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setIgnorePunctuation(false);
    collator.setNumericMode(false);

    std::vector<std::uint32_t> keyOf(n);
    std::vector<QCollatorSortKey> keys;
    if (sortKey_ == NameColumn) {
        keys.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            keys.push_back(collator.sortKey(cellText(i, NameColumn)));
            keyOf[i] = std::uint32_t(i);
        }
    } else {
        QHash<QString, std::uint32_t> distinct;
        for (std::size_t i = 0; i < n; ++i) {
            const QString text = cellText(i, sortKey_);
            auto it = distinct.constFind(text);
            if (it == distinct.cend()) {
                it = distinct.insert(text, std::uint32_t(keys.size()));
                keys.push_back(collator.sortKey(text));
            }
            keyOf[i] = *it;
        }
    }

    std::vector<std::uint32_t> permutation(n);
    std::iota(permutation.begin(), permutation.end(), 0u);
    const bool descending = sortOrder_ == 1;
    std::stable_sort(permutation.begin(), permutation.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int c = keys[keyOf[a]].compare(keys[keyOf[b]]);
        return descending ? c > 0 : c < 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    store_.reorder(permutation);
    // The view's current row and anchor follow their rows.
    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty()) {
        std::vector<std::uint32_t> newPosition(n);
        for (std::uint32_t i = 0; i < n; ++i)
            newPosition[permutation[i]] = i;
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& old : before)
            after.push_back(index(int(newPosition[std::size_t(old.row())]), old.column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace filelist
