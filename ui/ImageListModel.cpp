#include "ui/ImageListModel.h"

#include <QColor>

namespace ui {

ImageListModel::ImageListModel(imagelist::ImageList& list, std::function<QIcon(int)> icon, QObject* parent)
    : QAbstractTableModel(parent), list_(list), icon_(std::move(icon)) {
  list_.SetRowObserver(this);
}

ImageListModel::~ImageListModel() { list_.SetRowObserver(nullptr); }

void ImageListModel::SetHeaders(const QStringList& headers) {
  headers_ = headers;
  emit headerDataChanged(Qt::Horizontal, 0, kResultColumn);
}

void ImageListModel::SetResultTexts(const QString& written, const QString& failed, const QString& kept) {
  resultTexts_[0] = written;
  resultTexts_[1] = failed;
  resultTexts_[2] = kept;
  if (!runResults_.empty()) emit dataChanged(index(0, kResultColumn), index(rowCount() - 1, kResultColumn));
}

void ImageListModel::SetRunResult(int row, engine::FileResult result, const QString& cause) {
  if (row < 0 || row >= list_.RowCount()) return;
  runResults_.resize(static_cast<size_t>(list_.RowCount()));
  runResults_[static_cast<size_t>(row)] = {result, cause};
  emit dataChanged(index(row, kResultColumn), index(row, kResultColumn));
}

void ImageListModel::ClearRunResults() {
  if (runResults_.empty()) return;
  runResults_.clear();
  if (rowCount() > 0) emit dataChanged(index(0, kResultColumn), index(rowCount() - 1, kResultColumn));
}

int ImageListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.RowCount(); }

int ImageListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kResultColumn + 1;
}

QVariant ImageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= list_.RowCount()) return {};
  const imagelist::ImageListEntry& row = list_.Rows()[static_cast<size_t>(index.row())];
  const int column = index.column();
  if (column == kResultColumn) return RunResultData(index.row(), role);
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

QVariant ImageListModel::RunResultData(int row, int role) const {
  if (static_cast<size_t>(row) >= runResults_.size()) return {};
  const RunResultOfRow& entry = runResults_[static_cast<size_t>(row)];
  if (!entry.result) return {};
  const engine::FileResult result = *entry.result;
  switch (role) {
    case Qt::DisplayRole:
      if (result == engine::FileResult::Written) return resultTexts_[0];
      if (result == engine::FileResult::Failed) return resultTexts_[1];
      if (result == engine::FileResult::Kept || result == engine::FileResult::Skipped) return resultTexts_[2];
      return {};
    case Qt::ToolTipRole:
      if (result == engine::FileResult::Failed) return entry.cause;
      return {};
    case Qt::ForegroundRole:
      if (result == engine::FileResult::Failed) return QColor(Qt::red);
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
  runResults_.clear();  // the results belong to the rows as the run saw them
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
