// The renamer's rule: how an old file name becomes a new one. A mask with the placeholders
// %name% (the old name without its extension), %num% and %0num% (the row's number, the latter
// padded with zeros) and %abs% (the number of rows), then an optional search and replace on the
// name, the extension or both.
#pragma once

#include <cstdint>
#include <string>

#include "forms/Form.h"

namespace renamer {

struct RenameRule {
  std::string mask = "%name%";  // `maske`
  std::string numStart = "1";   // `numstart`, as text: anything but an integer counts as 1
  bool searchReplace = false;   // `suchenersetzen`
  std::string search;           // `suchenalt`
  std::string replacement;      // `suchenneu`
  bool inName = true;           // `cb_suchname`
  bool inExtension = false;     // `cb_suchendung`

  // The rule as the renamer's controls hold it.
  static RenameRule FromForm(const forms::Form& renamer);
};

// The file name with every occurrence of its extension removed ("a.jpg.jpg" gives "a"); the
// name itself when it has no dot. This is also the list's name cell.
std::string NameWithoutExtension(const std::string& fileName);

// The first number of the numbering: the integer value of `numStart`, or 1.
int64_t FirstNumber(const RenameRule& rule);

// The new file name (with extension, without folder) of `fileName` in the row `row` (0-based,
// in the list's display order) of a list of `rowCount` rows. Empty for an empty name. The
// result is not checked for characters a file name cannot hold; the rename run refuses those.
std::string RenameName(const std::string& fileName, int row, int rowCount, const RenameRule& rule);

}  // namespace renamer
