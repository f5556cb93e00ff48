#include "renamer/SafeRename.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace renamer {

namespace {

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

int RenameAt2(const char* from, const char* to) {
#ifdef SYS_renameat2
  return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

std::string RenameByLink(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) != 0) return std::strerror(errno);
  if (unlink(from.c_str()) != 0) {
    const int error = errno;
    unlink(to.c_str());  // the new link goes again; the file keeps its old name
    return std::strerror(error);
  }
  return "";
}

std::string RenameNoReplace(const std::string& from, const std::string& to) {
  if (RenameAt2(from.c_str(), to.c_str()) == 0) return "";
  if (errno == EINVAL || errno == ENOSYS) return RenameByLink(from, to);
  return std::strerror(errno);
}

}  // namespace renamer
