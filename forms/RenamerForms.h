// The file renamer window and its file filter dialog: the controls that hold the renamer's
// settings, in creation order, with their initial values, key filters and enabling rules.
#pragma once

#include "forms/Form.h"

namespace forms {

// The renamer at its initial values, German texts. The search-and-replace controls (the search
// and replacement texts, where to replace, and their labels) are enabled exactly while
// ctl::renamer::kSearchAndReplace is checked.
Form CreateRenamerForm();
void ApplyRenamerLanguage(Form& renamer, Language language);

// The renamer's filter dialog at its initial values, German texts; the extension list is
// enabled exactly while the chosen extensions are (ctl::renamerFilter).
Form CreateRenamerFilterForm();
void ApplyRenamerFilterLanguage(Form& renamerFilter, Language language);

}  // namespace forms
