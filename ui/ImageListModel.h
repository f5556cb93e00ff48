// The image list as a Qt table model: the view asks for the cells of the rows it paints, so a
// list of ten thousand rows costs no more to show than a screenful. The rows stay in
// imagelist::ImageList; the model only translates its row notifications into Qt's signals.
#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include "imagelist/List.h"

namespace ui {

class ImageListModel : public QAbstractTableModel, public imagelist::RowObserver {
public:
  // `icon` gives the icon of an icon-list index. The list must outlive the model.
  ImageListModel(imagelist::ImageList& list, std::function<QIcon(int)> icon, QObject* parent);
  ~ImageListModel() override;

  void SetHeaders(const QStringList& headers);
  // Called after every change of the rows, once they are through (the count label).
  std::function<void()> rowsChanged;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  void RowsAboutToBeInserted(int first, int last) override;
  void RowsInserted() override;
  void RowsAboutToBeRemoved(int first, int last) override;
  void RowsRemoved() override;
  void RowsAboutToMove() override;
  void RowsMoved(const std::vector<int>& newRow) override;
  void RowsAboutToBeReset() override;
  void RowsReset() override;
  void CellsChanged(int first, int last) override;

private:
  void Changed();

  imagelist::ImageList& list_;
  std::function<QIcon(int)> icon_;
  QStringList headers_;
};

}  // namespace ui
