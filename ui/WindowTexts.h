// The texts of the desktop program's own windows (the settings' captions are held by the forms,
// the messages by the engine): one table per window and language.
#pragma once

#include <span>
#include <string_view>

#include <QString>

#include "forms/Language.h"

namespace ui {

struct TextEntry {
  const char* name;
  const char* text;
};
using TextTable = std::span<const TextEntry>;

TextTable MainWindowTexts(forms::Language language);
TextTable SplashTexts(forms::Language language);
// The text of the name, or the name itself when the table lacks it.
QString TextOf(TextTable table, std::string_view name);

}  // namespace ui
