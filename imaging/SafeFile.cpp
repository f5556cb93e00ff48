#include "imaging/SafeFile.h"

#include <atomic>
#include <thread>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

std::string ErrnoText(const std::string& what, const std::string& path, int code) {
  return what + " \"" + path + "\": " + std::strerror(code);
}

// The path a write to `target` finally lands on: a symbolic link is followed, so the link
// stays and the file it points to is replaced.
std::string ResolveTarget(const std::string& target) {
  struct stat st;
  if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
  char resolved[PATH_MAX];
  if (realpath(target.c_str(), resolved)) return resolved;
  // A dangling link: write where it points, relative to the link's folder.
  char link[PATH_MAX];
  const ssize_t n = readlink(target.c_str(), link, sizeof link - 1);
  if (n <= 0) return target;
  link[n] = '\0';
  if (link[0] == '/') return link;
  const size_t slash = target.rfind('/');
  return slash == std::string::npos ? std::string(link) : target.substr(0, slash + 1) + link;
}

// The list of pending files: fixed slots, so that a signal handler can walk it without locks or
// allocation. A slot is free (0), being filled (1), holds a path (2), or holds a path that one
// thread is comparing (3): several threads save at once, and a path is only read by the thread
// that moved its slot from 2 to 3, so no slot is refilled while it is read.
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
  return -1;  // more files in flight than slots: that one is not cleaned up on a signal
}

// Frees the slot once no other thread is comparing its path: freed while UnlistPath reads it,
// the slot could be refilled under that read.
void UnlistPending(int slot) {
  if (slot < 0) return;
  for (;;) {
    int expected = 2;
    if (gPending[slot].state.compare_exchange_strong(expected, 0) || expected != 3) return;
    std::this_thread::yield();
  }
}

// Removes the path from the list, if it is there.
void UnlistPath(const std::string& path) {
  for (;;) {
    bool busy = false;
    for (int i = 0; i < kPendingSlots; ++i) {
      int expected = 2;
      if (!gPending[i].state.compare_exchange_strong(expected, 3)) {
        busy = busy || expected == 3;
        continue;
      }
      if (path == gPending[i].path) {
        gPending[i].state.store(0);
        return;
      }
      gPending[i].state.store(2);
    }
    // A slot another thread was comparing may hold this path; look again.
    if (!busy) return;
    std::this_thread::yield();
  }
}

}  // namespace

PendingFile::PendingFile(const std::string& path) : slot_(ListPending(path)) {}
PendingFile::~PendingFile() { UnlistPending(slot_); }

void RemovePendingFiles() {
  for (PendingSlot& slot : gPending)
    if (slot.state.load() >= 2) unlink(slot.path);
}

bool MayReplace(const std::string& target, std::string* error) {
  const std::string real = ResolveTarget(target);
  if (faccessat(AT_FDCWD, real.c_str(), F_OK, AT_EACCESS) != 0) return true;
  if (faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) == 0) return true;
  SetError(error, ErrnoText("Cannot replace", target, errno));
  return false;
}

std::string MakeTempPathBeside(const std::string& target, std::string* error) {
  const std::string real = ResolveTarget(target);
  const size_t slash = real.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : real.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? real : real.substr(slash + 1);
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kChars[pick(random)];
    const std::string path = folder + "." + name + ".vexilo-" + suffix;
    // Listed before it exists, so that a signal can never find it unlisted. Created with the
    // ordinary mode so that the umask applies as to any new file.
    const int slot = ListPending(path);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      return path;
    }
    const int code = errno;
    UnlistPending(slot);
    errno = code;
    if (errno != EEXIST) {
      SetError(error, ErrnoText("Cannot create a temporary file beside", target, errno));
      return {};
    }
  }
  SetError(error, "Cannot create a temporary file beside \"" + target + "\": too many name collisions");
  return {};
}

bool CommitTempFile(const std::string& temp, const std::string& target, std::string* error) {
  const std::string real = ResolveTarget(target);
  if (!MayReplace(target, error)) {
    DiscardTempFile(temp);
    return false;
  }
  struct stat st;
  if (stat(real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      DiscardTempFile(temp);
      SetError(error, "Cannot replace \"" + target + "\": it is a folder");
      return false;
    }
    // The data reach the disk before the name does, so a crash cannot leave an empty file in
    // place of the one replaced. A new file needs no such care: at worst it is missing.
    const int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
      const int code = errno;
      if (fd >= 0) close(fd);
      DiscardTempFile(temp);
      SetError(error, ErrnoText("Cannot write", target, code));
      return false;
    }
    close(fd);
    if (chmod(temp.c_str(), st.st_mode & 07777) != 0) {
      const int code = errno;
      DiscardTempFile(temp);
      SetError(error, ErrnoText("Cannot set the permissions of the file replacing", target, code));
      return false;
    }
  }
  if (rename(temp.c_str(), real.c_str()) != 0) {
    const int code = errno;
    DiscardTempFile(temp);
    SetError(error, ErrnoText("Cannot replace", target, code));
    return false;
  }
  UnlistPath(temp);
  return true;
}

void DiscardTempFile(const std::string& temp) {
  if (temp.empty()) return;
  unlink(temp.c_str());
  UnlistPath(temp);
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  const std::string temp = MakeTempPathBeside(path, error);
  if (temp.empty()) return false;
  const int fd = open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    DiscardTempFile(temp);
    SetError(error, ErrnoText("Cannot write", path, code));
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int code = n < 0 ? errno : EIO;
      close(fd);
      DiscardTempFile(temp);
      SetError(error, ErrnoText("Cannot write", path, code));
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    const int code = errno;
    DiscardTempFile(temp);
    SetError(error, ErrnoText("Cannot write", path, code));
    return false;
  }
  return CommitTempFile(temp, path, error);
}

}  // namespace imaging
