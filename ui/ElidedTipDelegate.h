// Item views elide a cell's text that does not fit its column; this delegate shows the whole
// text as a tooltip over such a cell, and none over a cell that shows all of it.
#pragma once

#include <QStyledItemDelegate>

namespace ui {

class ElidedTipDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
};

}  // namespace ui
