#include "engine/OutputNaming.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/Paths.h"
#include "base/Text.h"
#include "forms/Texts.h"
#include "forms/MainForm.h"

namespace engine {

std::string PathFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string PathFileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  if (path.find('/', dot) != std::string::npos) return {};
  return path.substr(dot);
}

int PaddingWidth(int rowCount) { return static_cast<int>(std::to_string(rowCount).size()); }

std::string OutputFolder(const NamingInput& in) {
  std::string folder = forms::IsKeepEntry(in.folderPattern) ? PathFolder(in.sourcePath) : in.folderPattern;
  if (folder.find('%') != std::string::npos) {
    // The folder placeholder of every language, the default language's last.
    const std::vector<std::string> placeholders = forms::SpecialTexts("folder");
    for (auto placeholder = placeholders.rbegin(); placeholder != placeholders.rend(); ++placeholder)
      folder = base::ReplaceAll(folder, *placeholder, PathFolder(in.sourcePath));
  }
  folder = base::ReplaceAll(folder, "//", "/");
  if (!base::EndsWith(folder, "/")) folder += '/';
  return folder;
}

std::string OutputName(const NamingInput& in) {
  const std::string base = base::ReplaceAll(PathFileName(in.sourcePath), PathExtension(in.sourcePath), "");
  if (forms::IsKeepEntry(in.namePattern)) return base;
  std::string name = base::ReplaceAll(in.namePattern, "%name%", base);
  if (name.find('%') == std::string::npos) return name;
  std::string number = std::to_string(in.index + 1);
  std::string padded = number;
  if (static_cast<int>(padded.size()) < in.padding) padded.insert(0, static_cast<size_t>(in.padding) - padded.size(), '0');
  name = base::ReplaceAll(name, "%num%", number);
  name = base::ReplaceAll(name, "%0num%", padded);
  name = base::ReplaceAll(name, "%abs%", std::to_string(in.rowCount));
  // The size placeholders of every language, the default language's last.
  const auto& languages = forms::Languages();
  for (auto language = languages.rbegin(); language != languages.rend(); ++language) {
    const forms::Language l(language->code);
    name = base::ReplaceAll(name, forms::Text(l, forms::TextGroup::Special, "width"), std::to_string(in.width));
    name = base::ReplaceAll(name, forms::Text(l, forms::TextGroup::Special, "height"), std::to_string(in.height));
  }
  return name;
}

std::string OutputExtension(const std::string& formatItem, const std::string& sourcePath) {
  if (forms::IsKeepEntry(formatItem)) return PathExtension(sourcePath);
  // A text without " - " (possible only through a configuration) gives no extension.
  const size_t dash = formatItem.find(" - ");
  if (dash == std::string::npos) return {};
  const std::string extension = base::ReplaceAll(formatItem.substr(0, dash), "*", "");
  return base::StartsWith(extension, ".") ? extension : std::string();
}

std::optional<std::string> CreateFolderPath(const std::string& folder) {
  std::string path = folder;
  if (base::EndsWith(path, "/")) path.pop_back();
  if (path.empty()) return std::nullopt;
  const auto failure = [&path](const std::string& cause) {
    return std::optional<std::string>("Cannot create the folder \"" + path + "\": " + cause);
  };
  const base::FileKind kind = base::KindOf(path);
  if (kind.Exists()) return S_ISDIR(kind.mode) ? std::nullopt : failure("a file of that name is in the way");
  // Only a missing folder is made; a folder that may not be searched, or a path too long, says so.
  if (kind.error != ENOENT) return failure(kind.Problem(path));
  const std::string parent = PathFolder(path);
  if (!parent.empty() && parent != path + "/")
    if (auto error = CreateFolderPath(parent)) return error;
  // Another file of the run (or another program) may have made it meanwhile.
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return failure(std::strerror(errno));
  return std::nullopt;
}

std::string ComposeOutputPath(const NamingInput& in) {
  return OutputFolder(in) + OutputName(in) + OutputExtension(in.formatItem, in.sourcePath);
}

namespace {

bool HasParentStep(const std::string& text) {
  const std::vector<std::string> parts = base::SplitAt(text, '/');
  return std::find(parts.begin(), parts.end(), "..") != parts.end();
}

}  // namespace

bool IsAcceptableNamePattern(const std::string& pattern) {
  return !base::StartsWith(pattern, "/") && !HasParentStep(pattern);
}

bool StaysInOutputFolder(const NamingInput& in) {
  return !HasParentStep(OutputName(in) + OutputExtension(in.formatItem, in.sourcePath));
}

bool IsAcceptableFolderPath(const std::string& text) {
  if (text == "/") return true;
  if (text.empty()) return false;
  std::string path = text;
  if (base::EndsWith(path, "/")) path.pop_back();
  const auto parts = base::SplitAt(path, '/');
  if (parts.size() < 2 || !parts.front().empty()) return false;
  const std::string& last = parts.back();
  return !last.empty() && last.find_first_of(":?/>|\\<*\"") == std::string::npos;
}

}  // namespace engine
