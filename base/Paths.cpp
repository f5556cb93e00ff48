#include "base/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace base {

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileKind::Regular() const { return error == 0 && S_ISREG(mode); }

std::string FileKind::Problem(const std::string& path) const {
  if (error == ENAMETOOLONG)
    if (auto tooLong = PathLengthProblem(path)) return *tooLong;
  if (error != 0) return std::strerror(error);
  return S_ISREG(mode) ? std::string() : NotRegularFileCause(path, mode);
}

FileKind KindOf(const std::string& path) {
  FileKind kind;
  struct stat info {};
  if (path.empty()) kind.error = ENOENT;
  else if (stat(path.c_str(), &info) != 0) kind.error = errno;
  else kind.mode = info.st_mode;
  return kind;
}

int OpenRegularFile(const std::string& path, std::string* cause) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    // Reads of a regular file never block anyway; the flag goes so that none ever reads short.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
  }
  const int error = errno;
  if (cause) *cause = fd < 0 ? FileKind{error, 0}.Problem(path) : NotRegularFileCause(path, info.st_mode);
  if (fd >= 0) ::close(fd);
  errno = fd < 0 ? error : EINVAL;
  return -1;
}

std::optional<std::string> PathLengthProblem(const std::string& path) {
  if (path.size() < PATH_MAX) return std::nullopt;
  return "The path is " + std::to_string(path.size()) + " bytes long; the system takes paths of at most " +
         std::to_string(PATH_MAX - 1) + " bytes";
}

std::string NotRegularFileCause(const std::string& path, mode_t mode) {
  const char* what = S_ISDIR(mode)    ? "a folder"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISFIFO(mode) ? "a named pipe"
                     : S_ISSOCK(mode) ? "a socket"
                     : S_ISLNK(mode)  ? "a symbolic link"
                                      : "of an unknown type";
  return "\"" + path + "\" is not a regular file (" + what + ")";
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

uint64_t FileBytes(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (lstat((folder + name).c_str(), &info) != 0) continue;
    entries.push_back({name, S_ISDIR(info.st_mode)});
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

}  // namespace base
