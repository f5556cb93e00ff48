#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "base/Paths.h"

namespace base {

namespace {

std::string Sentence(const char* what, const std::string& path, const std::string& cause) {
  return std::string(what) + " \"" + path + "\": " + cause;
}

// The path a write to `target` finally lands on: a symbolic link is followed, so the link
// stays and the file it points to is replaced. As the kernel's protected_symlinks rule does for
// opening, a link in a shared folder (sticky and writable by all, such as /tmp) is not followed
// when another user placed it there, unless that user owns the folder: such a link would make
// the write replace a file of the writer's choosing. False with the cause then.
bool ResolveTarget(const std::string& target, std::string& resolved, std::string& cause) {
  resolved = target;
  struct stat link {};
  if (lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
  if (link.st_uid != geteuid()) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    struct stat shared {};
    if (stat(folder.c_str(), &shared) == 0 && (shared.st_mode & S_ISVTX) != 0 && (shared.st_mode & S_IWOTH) != 0 &&
        shared.st_uid != link.st_uid) {
      cause = "it is a symbolic link that another user placed in a shared folder";
      return false;
    }
  }
  char real[PATH_MAX];
  if (realpath(target.c_str(), real)) {
    resolved = real;
    return true;
  }
  // A dangling link: write where it points, relative to the link's folder.
  char linked[PATH_MAX];
  const ssize_t n = readlink(target.c_str(), linked, sizeof linked - 1);
  if (n <= 0) return true;
  linked[n] = '\0';
  if (linked[0] == '/') resolved = linked;
  else {
    const size_t slash = target.rfind('/');
    resolved = slash == std::string::npos ? std::string(linked) : target.substr(0, slash + 1) + linked;
  }
  return true;
}

// Whether what is at `real` (a resolved target) may be replaced by a regular file: nothing, or
// a regular file. `existing` holds what is there; `replacing` whether anything is.
bool IsReplaceable(const std::string& real, struct stat& existing, bool& replacing, std::string& cause) {
  replacing = ::stat(real.c_str(), &existing) == 0;
  if (!replacing || S_ISREG(existing.st_mode)) return true;
  cause = NotRegularFileCause(real, existing.st_mode);
  return false;
}

// The replacing file gets the owner and group of the file it replaces. Only root can give a
// file away; an ordinary user keeps at least the group where the user belongs to it.
void KeepOwner(int descriptor, const struct stat& existing) {
  struct stat own {};
  if (::fstat(descriptor, &own) != 0) return;
  if (own.st_uid == existing.st_uid && own.st_gid == existing.st_gid) return;
  if (::fchown(descriptor, existing.st_uid, existing.st_gid) == 0) return;
  if (own.st_gid != existing.st_gid) (void)::fchown(descriptor, static_cast<uid_t>(-1), existing.st_gid);
}

// The extended attributes of the replaced file (access control lists, a security label, a
// user's own tags) go to the file replacing it, as far as this process may set them; one that
// cannot be read or set is left out.
void CopyExtendedAttributes(const std::string& from, int descriptor) {
  const ssize_t listSize = ::listxattr(from.c_str(), nullptr, 0);
  if (listSize <= 0) return;
  std::vector<char> names(static_cast<size_t>(listSize));
  const ssize_t listed = ::listxattr(from.c_str(), names.data(), names.size());
  if (listed <= 0) return;
  std::vector<char> value;
  for (size_t at = 0; at < static_cast<size_t>(listed);) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<size_t>(size));
    const ssize_t got = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (got >= 0) (void)::fsetxattr(descriptor, name, value.data(), static_cast<size_t>(got), 0);
  }
}

// May the file at `real` (a resolved target) be replaced? The cause when not.
bool MayReplaceResolved(const std::string& real, std::string& cause) {
  if (faccessat(AT_FDCWD, real.c_str(), F_OK, AT_EACCESS) != 0) return true;
  if (faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) == 0) return true;
  cause = std::strerror(errno);
  return false;
}

// ---- The list of pending files ----------------------------------------------------------------

// Fixed slots, so that a signal handler can walk the list without locks or allocation. A slot
// is free (0), being filled (1) or holds a path (2); only the thread that filled a slot frees it.
constexpr int kPendingSlots = 64;
struct PendingSlot {
  std::atomic<int> state{0};
  char path[PATH_MAX];
};
PendingSlot gPending[kPendingSlots];

int ListPending(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kPendingSlots; ++i) {
    int expected = 0;
    if (!gPending[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(gPending[i].path, path.c_str(), path.size() + 1);
    gPending[i].state.store(2);
    return i;
  }
  return -1;  // more files in flight than slots: that one is not removed on a signal
}

void UnlistPending(int slot) {
  if (slot >= 0) gPending[slot].state.store(0);
}

// ---- Temporary names --------------------------------------------------------------------------

constexpr size_t kRandomCharacters = 12;  // 72 bits
constexpr char kMarker[] = ".vexilo-";
// The longest part of the target's name kept in the temporary name, so that a long name still
// leaves room for the marker and the random part within a file name's 255 bytes.
constexpr size_t kKeptNameBytes = 255 - 1 - (sizeof kMarker - 1) - kRandomCharacters;

// Random characters from the system's random source; false with errno when it gives none.
bool RandomCharacters(char* out, size_t count) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
  static_assert(sizeof kAlphabet - 1 == 64, "six bits a character");
  uint8_t bytes[kRandomCharacters];
  if (count > sizeof bytes) count = sizeof bytes;
  size_t done = 0;
  while (done < count) {
    const ssize_t n = getrandom(bytes + done, count - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  for (size_t i = 0; i < count; ++i) out[i] = kAlphabet[bytes[i] & 63];
  return true;
}

// ".<name>.vexilo-" in the folder of `finalPath`, the random part still to be appended.
std::string TemporaryPrefix(const std::string& finalPath) {
  const size_t slash = finalPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
  if (name.size() > kKeptNameBytes) {
    size_t cut = kKeptNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8 characters
    name.resize(cut);
  }
  return folder + "." + name + kMarker;
}

}  // namespace

// ---- AtomicFile -------------------------------------------------------------------------------

AtomicFile::AtomicFile(const std::string& target, const AtomicFileOptions& options)
    : target_(target), options_(options) {
  // Refused at once, before anything is written: what only Commit would refuse otherwise.
  std::string refused;
  struct stat existing {};
  bool replacing = false;
  if (!ResolveTarget(target_, finalPath_, refused) || !IsReplaceable(finalPath_, existing, replacing, refused)) {
    cause_ = refused;
    error_ = Sentence("Cannot replace", target_, cause_);
    return;
  }
  const std::string prefix = TemporaryPrefix(finalPath_);
  int code = EEXIST;
  // A name that exists already is someone else's; with 72 random bits that takes an attacker
  // who can see our names, so a few tries are plenty.
  for (int attempt = 0; attempt < 8 && code == EEXIST; ++attempt) {
    std::string path = prefix + std::string(kRandomCharacters, ' ');
    if (!RandomCharacters(path.data() + prefix.size(), kRandomCharacters)) {
      code = errno;
      break;
    }
    // Listed before it exists, so that a signal can never find it unlisted.
    const int slot = ListPending(path);
    const int fd = CreateNewFile(path);
    if (fd >= 0) {
      descriptor_ = fd;
      pendingSlot_ = slot;
      temporary_ = std::move(path);
      return;
    }
    code = errno;
    UnlistPending(slot);
  }
  cause_ = std::strerror(code);
  error_ = Sentence("Cannot create a temporary file beside", target_, cause_);
}

AtomicFile::~AtomicFile() { Abandon(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      finalPath_(std::move(other.finalPath_)),
      temporary_(std::exchange(other.temporary_, {})),
      options_(other.options_),
      descriptor_(std::exchange(other.descriptor_, -1)),
      pendingSlot_(std::exchange(other.pendingSlot_, -1)),
      error_(std::move(other.error_)),
      cause_(std::move(other.cause_)) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    Abandon();
    target_ = std::move(other.target_);
    finalPath_ = std::move(other.finalPath_);
    temporary_ = std::exchange(other.temporary_, {});
    options_ = other.options_;
    descriptor_ = std::exchange(other.descriptor_, -1);
    pendingSlot_ = std::exchange(other.pendingSlot_, -1);
    error_ = std::move(other.error_);
    cause_ = std::move(other.cause_);
  }
  return *this;
}

bool AtomicFile::Fail(const char* what, const std::string& cause) {
  cause_ = cause;
  error_ = Sentence(what, target_, cause);
  Abandon();
  return false;
}

bool AtomicFile::Write(const void* data, size_t size) {
  if (!IsOpen()) return error_.empty() ? Fail("Cannot write", std::strerror(EBADF)) : false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(descriptor_, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("Cannot write", std::strerror(n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
  return true;
}

bool AtomicFile::Commit() {
  if (!IsOpen()) return error_.empty() ? Fail("Cannot write", std::strerror(EBADF)) : false;
  // Only a regular file is ever replaced: the rename would put this file in place of a device,
  // a named pipe, a socket or a folder (links followed), whatever the caller was told.
  std::string cause;
  struct stat existing {};
  bool replacing = false;
  if (!IsReplaceable(finalPath_, existing, replacing, cause)) return Fail("Cannot replace", cause);
  if (!MayReplaceResolved(finalPath_, cause)) return Fail("Cannot replace", cause);
  // Owner, group and attributes before the permission bits: a change of owner clears the
  // set-user-ID and set-group-ID bits, and an access list sets the group bits.
  if (replacing) KeepOwner(descriptor_, existing);
  if (replacing && !options_.permissions) CopyExtendedAttributes(finalPath_, descriptor_);
  const std::optional<mode_t> bits = options_.permissions ? options_.permissions
                                     : replacing          ? std::optional<mode_t>(existing.st_mode & 07777)
                                                          : std::nullopt;
  if (bits && ::fchmod(descriptor_, *bits) != 0)
    return Fail("Cannot set the permissions of the file replacing", std::strerror(errno));
  // The data reach the disk before the name does, so a crash cannot leave an empty file in
  // place of the one replaced.
  if ((replacing || options_.durable) && ::fsync(descriptor_) != 0) return Fail("Cannot write", std::strerror(errno));
  // A network file system may report a failed write only when the file is closed.
  const int descriptor = std::exchange(descriptor_, -1);
  if (::close(descriptor) != 0) return Fail("Cannot write", std::strerror(errno));
  if (::rename(temporary_.c_str(), finalPath_.c_str()) != 0) return Fail("Cannot replace", std::strerror(errno));
  UnlistPending(std::exchange(pendingSlot_, -1));
  temporary_.clear();
  if (options_.durable) {
    const size_t slash = finalPath_.rfind('/');
    if (!SyncFolder(slash == std::string::npos ? std::string() : finalPath_.substr(0, slash + 1))) {
      cause_ = std::strerror(errno);
      error_ = Sentence("Cannot sync the folder of", target_, cause_);
      return false;
    }
  }
  return true;
}

void AtomicFile::Abandon() noexcept {
  if (descriptor_ >= 0) ::close(std::exchange(descriptor_, -1));
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  UnlistPending(std::exchange(pendingSlot_, -1));
}

// ---- Free functions ---------------------------------------------------------------------------

namespace {

bool WriteWhole(const std::string& path, const void* data, size_t size, std::string* error,
                const AtomicFileOptions& options) {
  AtomicFile file(path, options);
  if (file.Write(data, size) && file.Commit()) return true;
  if (error) *error = file.Error();
  return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string* error,
                         const AtomicFileOptions& options) {
  return WriteWhole(path, bytes.data(), bytes.size(), error, options);
}

bool WriteFileAtomically(const std::string& path, std::string_view text, std::string* error,
                         const AtomicFileOptions& options) {
  return WriteWhole(path, text.data(), text.size(), error, options);
}

bool MayReplace(const std::string& target, std::string* error) {
  std::string cause, real;
  if (ResolveTarget(target, real, cause) && MayReplaceResolved(real, cause)) return true;
  if (error) *error = Sentence("Cannot replace", target, cause);
  return false;
}

int CreateNewFile(const std::string& path) {
  // O_EXCL alone refuses any existing name, a dangling symbolic link included; O_NOFOLLOW says
  // the same once more for whoever reads this call.
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
  const int code = errno;
  ::close(fd);
  errno = code;
  return ok;
}

PendingFile::PendingFile(const std::string& path) : slot_(ListPending(path)) {}
PendingFile::~PendingFile() { UnlistPending(slot_); }

void RemovePendingFiles() {
  for (PendingSlot& slot : gPending)
    if (slot.state.load() == 2) ::unlink(slot.path);
}

}  // namespace base
