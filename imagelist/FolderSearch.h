// Collecting the image files of a folder for the image list: subfolders first (recursively),
// then the folder's own files grouped by extension in the order of the extension set.
#pragma once

#include <string>
#include <vector>

namespace imagelist {

// The files of `folder` whose names end in one of the extensions (each with its dot; letter case
// is ignored). With `subfolders`, every subfolder is collected first, recursively, before the
// folder's own files; within a folder, entries are visited in name order. Symbolic links to
// folders are not followed (a link may lead back up the tree); links to files are collected.
// Unreadable folders are skipped. A folder text without a trailing "/" gets one.
std::vector<std::string> CollectImageFiles(const std::string& folder, const std::vector<std::string>& extensions,
                                           bool subfolders);


}  // namespace imagelist
