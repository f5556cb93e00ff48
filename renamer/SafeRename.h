// Renaming a file without ever replacing another.
#pragma once

#include <string>

namespace renamer {

// Renames `from` to `to` in one step that fails when anything exists at `to` (renameat2 with
// RENAME_NOREPLACE). On a file system that does not offer that, the file gets a second link at
// `to` (which fails when `to` exists) and loses the one at `from`. Returns an empty text on
// success, else the system's cause ("File exists", "Invalid cross-device link").
std::string RenameNoReplace(const std::string& from, const std::string& to);

// The second way on its own: link, then unlink.
std::string RenameByLink(const std::string& from, const std::string& to);

}  // namespace renamer
