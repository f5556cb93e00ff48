// Replacing files without ever leaving a damaged one behind: a new file is written under a
// hidden temporary name in the target's folder and renamed over the target only when it is
// complete. A failed write removes the temporary file and leaves an existing target as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

// Creates a new, empty temporary file beside `target` (in the folder of the file the target
// finally names, following symbolic links), named ".<name>.vexilo-XXXXXX", and returns its
// path. Returns an empty text and sets `error` when it cannot be created.
std::string MakeTempPathBeside(const std::string& target, std::string* error = nullptr);

// Gives the complete temporary file the permission bits of an existing target (or those a
// newly created file gets) and renames it over the target. When an existing file is replaced,
// the new data reach the disk before the rename. On failure the temporary file is removed,
// the target is untouched, and `error` tells why.
bool CommitTempFile(const std::string& temp, const std::string& target, std::string* error = nullptr);

// Removes a temporary file that will not be committed; a missing file is no error.
void DiscardTempFile(const std::string& temp);

// A file that exists and that this process may not write (its own permission bits say no;
// root may write any) is never replaced: the rename would ignore those bits. Returns false
// and the cause ("Permission denied") for such a file; true for a missing file.
bool MayReplace(const std::string& target, std::string* error = nullptr);

// Files that must not outlive the process when it is ended by a signal: the temporary files
// of MakeTempPathBeside are listed from their creation to their commit or removal, and a
// caller lists its own scratch files (trial saves) with a PendingFile. RemovePendingFiles is
// async-signal-safe: a signal handler calls it before the process ends.
class PendingFile {
public:
  explicit PendingFile(const std::string& path);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

private:
  int slot_;
};
void RemovePendingFiles();

// Writes `bytes` to `path` through a temporary file (MakeTempPathBeside, CommitTempFile).
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error = nullptr);

}  // namespace imaging
