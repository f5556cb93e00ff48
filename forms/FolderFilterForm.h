// The folder-search filter dialog: all supported formats or a chosen selection of extensions,
// and whether subfolders are searched.
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
const std::vector<FilterGroup>& FolderFilterGroups();
// The check boxes of one format each.
const std::vector<const char*>& FolderFilterSingleFormats();

// The form at its initial values: all formats and subfolders checked (ctl::folderFilter), every
// format box unchecked and disabled, German texts.
//
// Choosing all formats or the chosen ones, or clicking a group box, makes a group's members take
// the group's checked state; those couplings run on user clicks (Form::Click) only, so that a
// configuration load reproduces every box as stored. The enabled states follow the checked
// states on every change: group and single-format boxes are enabled while the chosen formats
// are, members while their group is checked.
Form CreateFolderFilterForm();

// Recomputes the enabled states from the checked states (see above).
void UpdateFolderFilterEnabling(Form& folderFilter);

// Captions of the language; the format check boxes keep theirs in both languages.
void ApplyFolderFilterLanguage(Form& folderFilter, Language language);

// The extensions a folder search looks for, each with its dot, in search order: with all formats
// checked the fixed set of all supported types, otherwise the checked member and single-format
// boxes.
std::vector<std::string> SearchExtensions(const Form& folderFilter);

}  // namespace forms
