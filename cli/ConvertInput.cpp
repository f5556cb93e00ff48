#include "cli/ConvertInput.h"

#include "base/Paths.h"

#include <algorithm>
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
    if (base::IsFolder(path)) {
      list.AddFolder(path, windows.folderFilter, dialogs);
    } else if (!base::IsFile(path)) {
      dialogs.ReportUnlessSilenced(forms::msg::kSourceMissing, path);
      ++refused;
    } else {
      const bool listed = std::any_of(list.Rows().begin(), list.Rows().end(),
                                      [&](const imagelist::ImageListEntry& row) { return row.path == path; });
      if (!list.AddFile(path, dialogs) && !listed) ++refused;
    }
  }
  list.fileRefused = nullptr;
  list.UpdateCounterLabel();
  return refused;
}

}  // namespace cli
