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

ListedInputs AddConvertInputs(const std::vector<std::string>& inputs, const config::ProgramWindows& windows,
                              TerminalDialogs& terminal, imagelist::ImageList& list, const engine::ListShard& shard) {
  list.SetReadImages(false);
  ListedInputs listed;
  // Whether the next refusal is this run's to report.
  const auto ours = [&] { return engine::ShardHolds(shard, listed.refusedInAll); };
  const auto refuse = [&](const std::string& path, const char* key, const std::string& cause) {
    if (ours()) listed.refused.push_back({path, key, cause});
    ++listed.refusedInAll;
  };
  // A folder search adds its files silently; every file it refuses is still reported here, so
  // that no file of the input goes unmentioned.
  list.fileRefused = [&](const std::string& path, const std::string& cause, bool reported) {
    if (!reported && ours()) terminal.Report(forms::msg::kFormatNotSupported, path, cause);
    refuse(path, forms::msg::kFormatNotSupported, cause);
  };
  // One bulk update for the whole input: the list places the rows once, not row by row, which
  // matters for lists of many thousand files.
  list.BeginBulkUpdate();
  for (const std::string& input : inputs) {
    const std::string path = AbsolutePath(input);
    const base::FileKind kind = base::KindOf(path);
    if (kind.Exists() && S_ISDIR(kind.mode)) {
      list.AddFolder(path, windows.folderFilter, terminal);
    } else if (kind.error == ENOENT) {
      if (ours()) terminal.ReportUnlessSilenced(forms::msg::kSourceMissing, path);
      refuse(path, forms::msg::kSourceMissing, "");
    } else if (list.Holds(path)) {
      // A file listed already under any spelling is no failure; the list says so.
      list.AddFile(path, terminal);
    } else {
      // The list refuses, with its cause, what is no regular file or cannot be looked at (a
      // named pipe, a path too long); it reports the refusal itself, so another part's is muted.
      terminal.quiet = !ours();
      list.AddFile(path, terminal);
      terminal.quiet = false;
    }
  }
  list.EndBulkUpdate();
  list.fileRefused = nullptr;
  list.UpdateCounterLabel();
  return listed;
}

}  // namespace cli
