// The texts of the windows as Qt strings; the tables are the forms' (forms/Texts.h), so that the
// layers below and the windows share one set per language.
#pragma once

#include <string_view>

#include <QString>

#include "forms/Texts.h"

namespace ui {

// The key's text in the language (the default language's when the language lacks it; the key
// itself when no table has it).
QString TextOf(forms::Language language, forms::TextGroup group, std::string_view key);

}  // namespace ui
