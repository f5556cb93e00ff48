#include "imagelist/FolderSearch.h"

#include "base/Paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace imagelist {

namespace {

bool EndsWithNoCase(const std::string& name, const std::string& suffix) {
  if (name.size() < suffix.size()) return false;
  const size_t offset = name.size() - suffix.size();
  for (size_t i = 0; i < suffix.size(); ++i) {
    char a = name[offset + i], b = suffix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// Whether the file name matches the pattern "*" + extension. As on file systems with short
// names, a three-letter extension also matches a longer one it begins (".jpe" finds
// "x.jpeg", ".tif" finds "x.tiff"), so "All supported Formats" finds what users expect.
bool MatchesExtension(const std::string& name, const std::string& extension) {
  if (EndsWithNoCase(name, extension)) return true;
  if (extension.size() != 4 || extension[0] != '.') return false;
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot <= 4) return false;
  return EndsWithNoCase(name.substr(0, dot + 4), extension);
}

void Collect(const std::string& folder, const std::vector<std::string>& extensions, bool subfolders,
             std::vector<std::string>& found) {
  const std::vector<base::FolderEntry> entries = base::ListFolder(folder);
  if (subfolders)
    for (const base::FolderEntry& e : entries)
      if (e.folder) Collect(folder + e.name + "/", extensions, subfolders, found);
  // A file is collected once, in the group of the first extension that matches it.
  std::vector<bool> taken(entries.size(), false);
  for (const std::string& extension : extensions) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const base::FolderEntry& e = entries[i];
      // "*" + extension: any name, even an empty one, before the extension; a link to a folder
      // is a folder here too.
      if (taken[i] || e.folder || !MatchesExtension(e.name, extension) || base::IsFolder(folder + e.name)) continue;
      taken[i] = true;
      found.push_back(folder + e.name);
    }
  }
}

}  // namespace



std::vector<std::string> CollectImageFiles(const std::string& folder, const std::vector<std::string>& extensions,
                                           bool subfolders) {
  std::vector<std::string> found;
  if (extensions.empty()) return found;
  Collect(folder.empty() || folder.back() == '/' ? folder : folder + "/", extensions, subfolders, found);
  return found;
}

}  // namespace imagelist
