#include "ui/WindowTexts.h"

namespace ui {

QString TextOf(forms::Language language, forms::TextGroup group, std::string_view key) {
  return QString::fromStdString(forms::Text(language, group, key));
}

}  // namespace ui
