// The image list as a Qt table model: the view asks for the cells of the rows it paints, so a
// list of ten thousand rows costs no more to show than a screenful. The rows stay in
// imagelist::ImageList; the model only translates its row notifications into Qt's signals.
// After the list's own columns comes one of the window's: what the last run did with each file
// (written, failed with the cause as tooltip, kept), cleared whenever the rows change.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include "engine/ConversionRun.h"
#include "imagelist/List.h"

namespace ui {

class ImageListModel : public QAbstractTableModel, public imagelist::RowObserver {
public:
  // `icon` gives the icon of an icon-list index. The list must outlive the model.
  ImageListModel(imagelist::ImageList& list, std::function<QIcon(int)> icon, QObject* parent);
  ~ImageListModel() override;

  // The list's column headings, then the result column's.
  void SetHeaders(const QStringList& headers);
  // The result column's texts for written, failed and kept.
  void SetResultTexts(const QString& written, const QString& failed, const QString& kept);
  // What a run did with the row at `row`; the causes of failures become tooltips.
  void SetRunResult(int row, engine::FileResult result, const QString& cause);
  void ClearRunResults();
  static constexpr int kResultColumn = imagelist::kColumnCount;
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
  QVariant RunResultData(int row, int role) const;
  struct RunResultOfRow {
    std::optional<engine::FileResult> result;
    QString cause;
  };

  imagelist::ImageList& list_;
  std::function<QIcon(int)> icon_;
  QStringList headers_;
  std::vector<RunResultOfRow> runResults_;  // by row; empty when no run's results are shown
  QString resultTexts_[3];                  // written, failed, kept
};

}  // namespace ui
