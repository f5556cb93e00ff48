#include "ui/WindowTexts.h"

#include <QLocale>

namespace ui {

QString TextOf(forms::Language language, forms::TextGroup group, std::string_view key) {
  return QString::fromStdString(forms::Text(language, group, key));
}

std::string DecimalSeparator() { return QLocale().decimalPoint().toStdString(); }

}  // namespace ui
