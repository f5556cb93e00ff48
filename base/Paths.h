// Path and file-system helpers that several layers need. Paths are POSIX paths in UTF-8; the
// folder of a path ends at its last "/".
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
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

// What is at a path, links followed: the only thing a run reads from or writes over is a
// regular file. Reading a named pipe or a device would block or never end, and replacing one
// would destroy something that is no picture.
struct FileKind {
  int error = 0;    // errno of the look (ENOENT: nothing is there); 0 when something is there
  mode_t mode = 0;  // its type and permission bits

  bool Exists() const { return error == 0; }
  bool Regular() const;
  // Why it is no regular file to read: the system's text when it cannot be looked at ("No such
  // file or directory", "File name too long"), else what it is instead (NotRegularFileCause).
  // Empty for a regular file.
  std::string Problem(const std::string& path) const;
};
FileKind KindOf(const std::string& path);

// Opens a regular file for reading (close-on-exec), never waiting: a named pipe or a device at
// the path is opened without blocking, seen for what it is and closed again. -1 when it cannot
// be opened or is no regular file; `cause` (when given) then says why.
int OpenRegularFile(const std::string& path, std::string* cause = nullptr);

// A path of PATH_MAX (4096) bytes or more, which no file operation takes: the cause that says
// so; nothing for a shorter path.
std::optional<std::string> PathLengthProblem(const std::string& path);

// "\"/dev/null\" is not a regular file (a character device)": the cause given for a folder, a
// device, a named pipe or a socket where a regular file is needed.
std::string NotRegularFileCause(const std::string& path, mode_t mode);
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
