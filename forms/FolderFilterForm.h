// The folder-search format filter `Tsm_filter` (dialog sm_filter): all supported formats or a
// chosen selection of extensions, and whether subfolders are searched.
#pragma once

#include <string>
#include <vector>

#include "forms/Form.h"

namespace forms {

// A group check box and its member check boxes (each member is an extension without its dot).
struct FilterGroup {
  const char* box;
  std::vector<const char*> members;
};
const std::vector<FilterGroup>& TsmFilterGroups();
// The check boxes of one format each.
const std::vector<const char*>& TsmFilterSingleFormats();

// The form at its initial values: `alle` and `inp_uv` checked, every format box unchecked and
// disabled, German texts.
//
// Choosing `alle` or `auswahl`, or clicking a group box, makes a group's members take the
// group's checked state; those couplings run on user clicks (Form::Click) only, so that a
// configuration load reproduces every box as stored. The enabled states follow the checked
// states on every change: group and single-format boxes are enabled while `auswahl` is checked,
// members while their group is checked.
Form CreateTsmFilterForm();

// Recomputes the enabled states from the checked states (see above).
void UpdateTsmFilterEnabling(Form& smFilter);

// Captions of the language; the format check boxes keep theirs in both languages.
void ApplyTsmFilterLanguage(Form& smFilter, Language language);

// The extensions a folder search looks for, each with its dot, in search order: with `alle`
// checked the fixed set of all supported types, otherwise the checked member and single-format
// boxes.
std::vector<std::string> SearchExtensions(const Form& smFilter);

}  // namespace forms
