#include "cli/FileList.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cli {

namespace {

// The list is read in blocks and cut into paths as it comes, so only the paths are held; a
// "path" longer than any path can be (a device such as /dev/zero named as the list) ends the
// read instead of growing without end.
constexpr size_t kBlockSize = 1 << 16;

class ListReader {
public:
  ListReader(char separator, std::vector<std::string>& paths) : separator_(separator), paths_(paths) {}

  void Take(const char* bytes, size_t count) {
    for (size_t i = 0; i < count;) {
      const void* found = std::memchr(bytes + i, separator_, count - i);
      const size_t end = found == nullptr ? count : static_cast<size_t>(static_cast<const char*>(found) - bytes);
      if (pending_.size() + (end - i) >= PATH_MAX) {
        tooLong_ = true;
        return;
      }
      pending_.append(bytes + i, end - i);
      if (found == nullptr) break;
      EndPath();
      i = end + 1;
    }
  }

  void EndPath() {
    if (!pending_.empty()) paths_.push_back(std::move(pending_));
    pending_.clear();
  }

  bool TooLong() const { return tooLong_; }

private:
  char separator_;
  std::vector<std::string>& paths_;
  std::string pending_;
  bool tooLong_ = false;
};

}  // namespace

std::optional<std::string> ReadFileList(const std::string& name, char separator, std::vector<std::string>& paths) {
  const bool standardInput = name == "-";
  const std::string shown = standardInput ? std::string("standard input") : "\"" + name + "\"";
  const int fd = standardInput ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "--files-from: cannot open " + shown + ": " + std::strerror(errno);
  ListReader reader(separator, paths);
  std::string block(kBlockSize, '\0');
  std::optional<std::string> error;
  for (;;) {
    const ssize_t count = ::read(fd, block.data(), block.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = "--files-from: cannot read " + shown + ": " + std::strerror(errno);
      break;
    }
    if (count == 0) break;
    reader.Take(block.data(), static_cast<size_t>(count));
    if (reader.TooLong()) {
      error = "--files-from: " + shown + " lists a path of " + std::to_string(PATH_MAX) + " bytes or more";
      break;
    }
  }
  if (!error) reader.EndPath();
  if (!standardInput) ::close(fd);
  return error;
}

}  // namespace cli
