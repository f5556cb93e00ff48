#include "ui/ImageListModel.h"

namespace ui {

ImageListModel::ImageListModel(imagelist::ImageList& list, std::function<QIcon(int)> icon, QObject* parent)
    : QAbstractTableModel(parent), list_(list), icon_(std::move(icon)) {
  list_.SetRowObserver(this);
}

ImageListModel::~ImageListModel() { list_.SetRowObserver(nullptr); }

void ImageListModel::SetHeaders(const QStringList& headers) {
  headers_ = headers;
  emit headerDataChanged(Qt::Horizontal, 0, imagelist::kColumnCount - 1);
}

int ImageListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.RowCount(); }

int ImageListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : imagelist::kColumnCount;
}

QVariant ImageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= list_.RowCount()) return {};
  const imagelist::ImageListEntry& row = list_.Rows()[static_cast<size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(row.Cell(column));
    case Qt::TextAlignmentRole:
      // Width, height and size are numbers.
      if (column >= 2 && column <= 4) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::DecorationRole:
      if (column == 0 && row.icon >= 0 && icon_) return icon_(row.icon);
      return {};
    default: return {};
  }
}

QVariant ImageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
    return headers_[section];
  if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section >= 2 && section <= 4)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return QAbstractTableModel::headerData(section, orientation, role);
}

void ImageListModel::Changed() {
  if (rowsChanged) rowsChanged();
}

void ImageListModel::RowsAboutToBeInserted(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
void ImageListModel::RowsInserted() {
  endInsertRows();
  Changed();
}

void ImageListModel::RowsAboutToBeRemoved(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
void ImageListModel::RowsRemoved() {
  endRemoveRows();
  Changed();
}

void ImageListModel::RowsAboutToMove() { emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint); }

void ImageListModel::RowsMoved(const std::vector<int>& newRow) {
  // The selection and the current row follow their rows.
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    const size_t row = static_cast<size_t>(index.row());
    after << (row < newRow.size() ? createIndex(newRow[row], index.column()) : QModelIndex());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  Changed();
}

void ImageListModel::RowsAboutToBeReset() { beginResetModel(); }
void ImageListModel::RowsReset() {
  endResetModel();
  Changed();
}

void ImageListModel::CellsChanged(int first, int last) {
  emit dataChanged(index(first, 0), index(last, imagelist::kColumnCount - 1));
}

}  // namespace ui
