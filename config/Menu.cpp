#include "config/Menu.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "forms/Texts.h"

namespace config {

const std::vector<FixedMenuText>& FixedMenuTexts() {
  static const std::vector<FixedMenuText> texts = {
      {kSaveItem, ""},     {kSaveStartItem, ""},     {kLoadItem, "Ctrl+K"},      {kAutosaveMenu, ""},
      {kAutosaveNeverItem, ""}, {kAutosaveAllItem, ""}, {kStandardItem, "F2"}, {kStartItem, "F3"},
  };
  return texts;
}

ConfigurationMenu::ConfigurationMenu(std::string startConfigurationPath) {
  const auto item = [](std::string_view name) {
    MenuItem m;
    m.name = std::string(name);
    return m;
  };
  MenuItem separator;
  separator.separator = true;
  items_ = {item(kSaveItem),      item(kSaveStartItem), item(kLoadItem),  separator,
            item(kAutosaveMenu), separator,             item(kStandardItem), item(kStartItem)};
  items_.back().hint = std::move(startConfigurationPath);
  ApplyLanguage(forms::DefaultLanguage());
}

void ConfigurationMenu::SetStartHint(std::string path) {
  for (MenuItem& m : items_)
    if (m.name == kStartItem) m.hint = std::move(path);
}

bool ConfigurationMenu::AddFileEntry(const std::string& path,
                                     const std::function<std::string(const std::string&)>& shorten) {
  for (const MenuItem& m : items_)
    if (m.hint == path) return false;
  MenuItem entry;
  entry.name = std::string(kFileEntryPrefix) + std::to_string(items_.size());
  entry.caption = shorten ? shorten(path) : path;
  entry.hint = path;
  entry.fileEntry = true;
  items_.push_back(std::move(entry));
  return true;
}

std::optional<std::string> ConfigurationMenu::FileOfEntry(const std::string& itemName) const {
  for (const MenuItem& m : items_) {
    if (m.name != itemName || !m.fileEntry) continue;
    struct stat info {};
    if (stat(m.hint.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    return m.hint;
  }
  return std::nullopt;
}

void ConfigurationMenu::ApplyLanguage(forms::Language language) {
  for (MenuItem& m : items_) {
    for (const FixedMenuText& t : FixedMenuTexts())
      if (m.name == t.name) m.caption = forms::Text(language, forms::TextGroup::MainWindow, t.name);
  }
}

std::vector<std::string> ConfigurationFilesIn(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return files;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() < 4) continue;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (extension != ".vxc") continue;
    struct stat info {};
    const std::string path = prefix + name;
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
    files.push_back(path);
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace config
