// The texts of the windows as Qt strings; the tables are the forms' (forms/Texts.h), so that the
// layers below and the windows share one set per language.
#pragma once

#include <string>
#include <string_view>

#include <QString>

#include "forms/Texts.h"

namespace ui {

// The key's text in the language (the default language's when the language lacks it; the key
// itself when no table has it).
QString TextOf(forms::Language language, forms::TextGroup group, std::string_view key);

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), from Qt's own locale
// data: unlike the C library's, it needs no locale installed on the system, so a German
// desktop shows "31,996 KB" also where only the C locale is installed. The desktop program's
// list, renamer and run all take it, so what they show and what they read agree. (Qt's default
// locale, which is the system's unless a program or test sets another.)
std::string DecimalSeparator();

}  // namespace ui
