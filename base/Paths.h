// Path and file-system helpers that several layers need. Paths are POSIX paths in UTF-8; the
// folder of a path ends at its last "/".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace base {

// The extension of the file-name part, from its last dot on ("/a/b.c.jpg" gives ".jpg"), or
// empty text when the name has no dot.
std::string ExtensionOf(const std::string& path);
// The file-name part: everything after the last "/".
std::string FileNameOf(const std::string& path);

// A regular file (following links); false for an empty path.
bool IsRegularFile(const std::string& path);
// Something that exists and is not a folder (a regular file, a device, a pipe).
bool IsFile(const std::string& path);
bool IsFolder(const std::string& path);
// The size of a file in bytes; 0 when it cannot be read.
uint64_t FileBytes(const std::string& path);

// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  bool folder = false;  // a real folder, not a link to one
};
// The entries of a folder (given with its trailing "/") other than "." and "..", in name
// order; empty when it cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

}  // namespace base
