#include "cli/ConvertInput.h"

#include "base/Paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "imagelist/FolderSearch.h"
#include "forms/MessageKeys.h"

namespace cli {

namespace {

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code error;
  const std::string cwd = std::filesystem::current_path(error).string();
  return error ? path : cwd + "/" + path;
}

}  // namespace

std::optional<std::string> LoadConfigurationForConvert(const std::string& path, config::ProgramWindows& windows) {
  if (base::IsFolder(path) || !config::ReadWholeFile(path))
    return "--config: cannot read the configuration \"" + path + "\"";
  config::LoadConfiguration(windows, path, config::LoadCaller::StartUp);
  return std::nullopt;
}

int AddConvertInputs(const std::vector<std::string>& inputs, const config::ProgramWindows& windows,
                     engine::UserDialogs& dialogs, imagelist::ImageList& list) {
  list.SetReadImages(false);
  int refused = 0;
  // A folder search adds its files silently; every file it refuses is still reported here, so
  // that no file of the input goes unmentioned.
  list.fileRefused = [&](const std::string& path, const std::string& cause, bool reported) {
    if (reported) return;
    dialogs.Report(forms::msg::kFormatNotSupported, path, cause);
    ++refused;
  };
  for (const std::string& input : inputs) {
    const std::string path = AbsolutePath(input);
    const base::FileKind kind = base::KindOf(path);
    if (kind.Exists() && S_ISDIR(kind.mode)) {
      list.AddFolder(path, windows.folderFilter, dialogs);
    } else if (kind.error == ENOENT) {
      dialogs.ReportUnlessSilenced(forms::msg::kSourceMissing, path);
      ++refused;
    } else {
      // The list refuses, with its cause, what is no regular file or cannot be looked at (a
      // named pipe, a path too long); a file listed already under any spelling is no failure.
      const bool listed = list.Holds(path);
      if (!list.AddFile(path, dialogs) && !listed) ++refused;
    }
  }
  list.fileRefused = nullptr;
  list.UpdateCounterLabel();
  return refused;
}

}  // namespace cli
