#include "ui/ElidedTipDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace ui {

bool ElidedTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
  // A cell with a tooltip of its own (a rename's error) shows that one.
  if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip || index.data(Qt::ToolTipRole).isValid())
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const QStyle* style = view->style();
  const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, view);
  // The style leaves a margin on each side of the text.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  if (item.fontMetrics.horizontalAdvance(item.text) > textRect.width() - 2 * margin) {
    QToolTip::showText(event->globalPos(), item.text, view->viewport(), option.rect);
  } else {
    QToolTip::hideText();
  }
  return true;
}

}  // namespace ui
