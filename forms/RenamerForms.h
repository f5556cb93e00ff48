// The file renamer window `Tdateinamenumbenenner` and its file filter dialog
// `Tdateinamenumbenenner_filter`: the controls that hold the renamer's settings, in creation
// order, with their initial values, key filters and enabling rules.
#pragma once

#include "forms/Form.h"

namespace forms {

// The renamer at its initial values, German texts. The search-and-replace controls
// (`suchenalt`, `suchenneu`, `cb_suchname`, `cb_suchendung` and the labels `Label11`,
// `Label16`) are enabled exactly while `suchenersetzen` is checked.
Form CreateRenamerForm();
void ApplyRenamerLanguage(Form& renamer, Language language);

// The renamer's filter dialog at its initial values, German texts; `filter` is enabled exactly
// while `auswahl` is checked.
Form CreateRenamerFilterForm();
void ApplyRenamerFilterLanguage(Form& renamerFilter, Language language);

}  // namespace forms
