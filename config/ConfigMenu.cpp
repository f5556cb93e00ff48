#include "config/ConfigMenu.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace config {

const std::vector<FixedMenuText>& FixedMenuTexts() {
  static const std::vector<FixedMenuText> texts = {
      {"m_konfig_save", "Save current Configuration", "Aktuelle Konfiguration speichern", ""},
      {"m_konfig_save_start", "Save current Configuration as Start Configuration (auto.vxc)",
       "Aktuelle Konfiguration als Startkonfiguration speichern (auto.vxc)", ""},
      {"m_konfig_load", "Load Configuration", "Konfiguration laden", "Ctrl+K"},
      {"m_konfig_autosave", "Auto Save Settings on Exit", "Konfiguration beim Beenden speichern", ""},
      {"m_konfig_autosave_nie", "Never", "Nicht speichern", ""},
      {"m_konfig_autosave_alles", "Save all", "Alles speichern", ""},
      {"m_konfig_standard", "Reset all Settings", "Alle Einstellungen zurücksetzen", "F2"},
      {"m_konfig_start", "Load Start Configuration (auto.vxc) if possible",
       "Startkonfiguration (auto.vxc) laden wenn vorhanden", "F3"},
  };
  return texts;
}

ConfigurationMenu::ConfigurationMenu(std::string startConfigurationPath) {
  const auto item = [](const char* name) {
    MenuItem m;
    m.name = name;
    return m;
  };
  MenuItem separator;
  separator.separator = true;
  items_ = {item("m_konfig_save"), item("m_konfig_save_start"), item("m_konfig_load"), separator,
            item("m_konfig_autosave"), separator, item("m_konfig_standard"), item("m_konfig_start")};
  items_.back().hint = std::move(startConfigurationPath);
  ApplyLanguage(forms::Language::English);
}

void ConfigurationMenu::SetStartHint(std::string path) {
  for (MenuItem& m : items_)
    if (m.name == "m_konfig_start") m.hint = std::move(path);
}

bool ConfigurationMenu::KonfigurationAddMenu(const std::string& path,
                                             const std::function<std::string(const std::string&)>& shorten) {
  for (const MenuItem& m : items_)
    if (m.hint == path) return false;
  MenuItem entry;
  entry.name = "m_konfig_" + std::to_string(items_.size());
  entry.caption = shorten ? shorten(path) : path;
  entry.hint = path;
  entry.fileEntry = true;
  items_.push_back(std::move(entry));
  return true;
}

std::optional<std::string> ConfigurationMenu::KonfigurationLadenMenu(const std::string& itemName) const {
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
      if (m.name == t.name) m.caption = language == forms::Language::German ? t.german : t.english;
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
