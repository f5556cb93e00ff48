#include "renamer/RenameJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "base/AtomicFile.h"
#include "base/Paths.h"
#include "config/Configuration.h"

namespace renamer {

namespace {

constexpr const char* kHeader = "vexilo rename journal 1";

std::string Escape(const std::string& path) {
  std::string out;
  for (char c : path) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return std::nullopt;
    }
  }
  return out;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// Writes all of `text` and syncs the file.
bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return fsync(fd) == 0;
}

std::string Cause(const std::string& what, const std::string& path, int error) {
  return what + " \"" + path + "\": " + std::strerror(error);
}

}  // namespace

std::optional<std::string> EntryProblem(const JournalEntry& entry, const std::string& current) {
  const auto plainName = [](const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return !name.empty() && name != "." && name != "..";
  };
  if (entry.from.empty() || entry.to.empty() || entry.from[0] != '/' || entry.to[0] != '/')
    return std::string("The journal entry names a relative path; it was skipped");
  if (FolderOf(entry.from) != FolderOf(entry.to) || !plainName(entry.from) || !plainName(entry.to))
    return std::string("The journal entry is no rename within one folder; it was skipped");
  struct stat info {};
  if (lstat(current.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
    return base::NotRegularFileCause(current, info.st_mode) + " nor a symbolic link; the entry was skipped";
  return std::nullopt;
}

JournalEntry::State Resolve(const JournalEntry& entry) {
  using State = JournalEntry::State;
  switch (entry.state) {
    case State::MaybeNew: return Exists(entry.from) || !Exists(entry.to) ? State::Old : State::New;
    case State::MaybeOld: return Exists(entry.to) || !Exists(entry.from) ? State::New : State::Old;
    default: return entry.state;
  }
}

std::string RenameJournal::DefaultPath() { return config::SettingsFolder() + "rename-journal"; }

std::optional<JournalContents> RenameJournal::Read(std::string* error) const {
  auto fail = [&](const std::string& text) -> std::optional<JournalContents> {
    if (error) *error = text;
    return std::nullopt;
  };
  if (error) error->clear();
  std::string cause;
  const int fd = base::OpenRegularFile(path_, &cause);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    return fail("Cannot read the rename journal \"" + path_ + "\": " + cause);
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      close(fd);
      return fail(Cause("Cannot read the rename journal", path_, e));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);

  const std::string broken = "The rename journal \"" + path_ + "\" is damaged";
  // Whole lines only: text after the last line break is a line a crash cut off.
  std::vector<std::string> lines;
  for (size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.push_back(text.substr(from, end - from));
  if (lines.empty() || lines.front() != kHeader) return fail(broken + " (no journal header)");
  JournalContents contents;
  using State = JournalEntry::State;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    if (word == "plan") {
      const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
      const size_t tab = rest.find('\t');
      if (tab == std::string::npos) return fail(broken + " (line " + std::to_string(i + 1) + ")");
      const auto from = Unescape(rest.substr(0, tab)), to = Unescape(rest.substr(tab + 1));
      if (!from || !to || from->empty() || to->empty()) return fail(broken + " (line " + std::to_string(i + 1) + ")");
      contents.entries.push_back({*from, *to, State::Old});
      continue;
    }
    if (word == "end" || word == "undo") {
      contents.ended = word == "end";
      contents.undoing = word == "undo";
      continue;
    }
    size_t index = 0;
    const std::string number = space == std::string::npos ? "" : line.substr(space + 1);
    const auto parsed = std::from_chars(number.data(), number.data() + number.size(), index);
    if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size() ||
        index >= contents.entries.size())
      return fail(broken + " (line " + std::to_string(i + 1) + ")");
    State& state = contents.entries[index].state;
    if (word == "try") state = State::MaybeNew;
    else if (word == "done") state = State::New;
    else if (word == "untry") state = State::MaybeOld;
    else if (word == "undone") state = State::Old;
    else return fail(broken + " (line " + std::to_string(i + 1) + ")");
  }
  return contents;
}

std::string RenameJournal::Start(const std::vector<JournalEntry>& plan) {
  const std::string folder = FolderOf(path_);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return "Cannot create the folder \"" + folder + "\" for the rename journal: " + ec.message();
  std::string text = std::string(kHeader) + "\n";
  // Relative paths would be read against another working folder later.
  const auto absolute = [](const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.string();
  };
  for (const JournalEntry& e : plan) text += "plan " + Escape(absolute(e.from)) + "\t" + Escape(absolute(e.to)) + "\n";
  // Put in its place whole, so that a crash leaves either the earlier journal or this one, and
  // on the disk with its folder entry before the first rename. Only the user may read it: it
  // lists the user's files.
  base::AtomicFile journal(path_, {.permissions = 0600, .durable = true});
  if (!journal.Write(text.data(), text.size()) || !journal.Commit())
    return "Cannot write the rename journal \"" + path_ + "\": " + journal.Cause();
  return "";
}

std::string RenameJournal::Mark(const std::string& word, int index) {
  const int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return Cause("Cannot write the rename journal", path_, errno);
  const bool written = WriteAll(fd, index < 0 ? word + "\n" : word + " " + std::to_string(index) + "\n");
  const int e = errno;
  close(fd);
  return written ? "" : Cause("Cannot write the rename journal", path_, e);
}

std::string RenameJournal::Remove() {
  if (unlink(path_.c_str()) != 0 && errno != ENOENT) return Cause("Cannot remove the rename journal", path_, errno);
  base::SyncFolder(FolderOf(path_));
  return "";
}

}  // namespace renamer
