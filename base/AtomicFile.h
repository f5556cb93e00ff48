// Replacing files without ever leaving a damaged one behind. A new file is written under a
// hidden temporary name in the target's folder and renamed over the target only when it is
// complete; a failed or abandoned write removes the temporary file and leaves the target as it
// was. The temporary name ends in random characters from the system's random source, and the
// file is created exclusively: an existing file or a symbolic link planted under that name is
// never opened, so nobody can have the data written into a file of their choosing.
//
// Only a regular file is ever replaced: a target that is (or links to) a folder, a device, a
// named pipe or a socket is refused. A replaced file keeps its owner and group (as far as the
// process may give them), its permission bits and its extended attributes. A symbolic link is
// followed, except one that another user placed in a shared folder (sticky and writable by
// all, such as /tmp), which is refused as the kernel refuses to open through it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace base {

struct AtomicFileOptions {
  // The permission bits of the written file. Without them a replaced file keeps its bits and
  // extended attributes, and a new file gets the bits every new file gets (0666 less the umask).
  std::optional<mode_t> permissions;
  // The data and the folder entry reach the disk before Commit returns, also for a new file
  // (a journal that must survive a crash). Without it only a file that replaces another is
  // synced before the rename: after a crash a new file may be missing, but an old one is never
  // replaced by an empty one.
  bool durable = false;
};

// One file being written. It owns the open descriptor of its temporary file (readable and
// writable, so a stream can read back what it wrote), and abandons the file when it is
// destroyed without a successful Commit.
class AtomicFile {
public:
  AtomicFile() = default;  // nothing open
  // Creates the temporary file for `target`. A symbolic link at `target` is followed: the link
  // stays and the file it names is replaced. On failure IsOpen() is false and Error() says why;
  // a target that may not be replaced (not a regular file, a link planted in a shared folder)
  // fails here already.
  explicit AtomicFile(const std::string& target, const AtomicFileOptions& options = {});
  ~AtomicFile();
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return descriptor_ >= 0; }
  // The temporary file's descriptor, for a stream that positions its own reads and writes;
  // -1 when nothing is open. It stays owned by this object.
  int Descriptor() const { return descriptor_; }
  const std::string& TemporaryPath() const { return temporary_; }

  // Writes all `size` bytes at the descriptor's position. A failed write abandons the file.
  bool Write(const void* data, size_t size);
  // Gives the file the owner, group, extended attributes and permission bits of the file it
  // replaces (or the bits of the options), syncs it as the options say and renames it over the
  // target. Refused, like any failing step, with the temporary file removed and the target as
  // it was: a target that is not a regular file or that this process may not write (see
  // MayReplace).
  // With `durable`, a folder that cannot be synced after the rename is reported although the
  // file is in place.
  bool Commit();
  // Closes and removes the temporary file; the target stays as it was.
  void Abandon() noexcept;

  // The last failure as a sentence that names the target ("Cannot replace \"/a/b.png\":
  // Permission denied"), and its cause alone ("Permission denied", "it is a folder").
  const std::string& Error() const { return error_; }
  const std::string& Cause() const { return cause_; }

private:
  bool Fail(const char* what, const std::string& cause);  // records the failure and abandons

  std::string target_;     // as the caller named it, for messages
  std::string finalPath_;  // what the rename replaces: the target, a symbolic link followed
  std::string temporary_;
  AtomicFileOptions options_;
  int descriptor_ = -1;
  int pendingSlot_ = -1;
  std::string error_;
  std::string cause_;
};

// Writes `bytes` to `path` through an AtomicFile. Returns false and the sentence of the failure.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string* error = nullptr,
                         const AtomicFileOptions& options = {});
bool WriteFileAtomically(const std::string& path, std::string_view text, std::string* error = nullptr,
                         const AtomicFileOptions& options = {});

// A file that exists and that this process may not write (its own permission bits say no;
// root may write any) is never replaced: the rename would ignore those bits. Returns false
// and the cause ("Permission denied") for such a file; true for a missing file.
bool MayReplace(const std::string& target, std::string* error = nullptr);

// Creates `path` as a new, empty file, open for reading and writing, with 0666 less the umask.
// Fails (-1, errno EEXIST) when anything is there, a symbolic link included, even a dangling
// one: the file is never made or opened through an existing name.
int CreateNewFile(const std::string& path);

// Makes the entries of a folder (a new, renamed or removed file) durable; false on failure.
bool SyncFolder(const std::string& folder);

// Files that must not outlive the process when it is ended by a signal: an AtomicFile's
// temporary file is listed from before its creation to its commit or removal, and a caller
// lists its own scratch files (trial saves) with a PendingFile. RemovePendingFiles is
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

}  // namespace base
