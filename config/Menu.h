// The Configuration menu: its fixed items, followed by one entry per configuration
// file saved, loaded or found while the program runs. The window builds its menu from this model.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Language.h"

namespace config {

// The names of the menu's items: the keys of their captions in the main window's texts.
inline constexpr std::string_view kSaveItem = "m_konfig_save";
inline constexpr std::string_view kSaveStartItem = "m_konfig_save_start";  // save as the start configuration
inline constexpr std::string_view kLoadItem = "m_konfig_load";
inline constexpr std::string_view kAutosaveMenu = "m_konfig_autosave";
inline constexpr std::string_view kAutosaveNeverItem = "m_konfig_autosave_nie";
inline constexpr std::string_view kAutosaveAllItem = "m_konfig_autosave_alles";
inline constexpr std::string_view kStandardItem = "m_konfig_standard";   // the standard settings
inline constexpr std::string_view kStartItem = "m_konfig_start";         // load the start configuration
// A file entry's name: this and the number of items before it.
inline constexpr std::string_view kFileEntryPrefix = "m_konfig_";

struct MenuItem {
  std::string name;     // kSaveItem, ..., or kFileEntryPrefix and a number for a file entry
  std::string caption;  // a file entry: its path shortened to the menu's width
  std::string hint;     // a file entry and kStartItem: the full path
  bool separator = false;
  bool fileEntry = false;
};

// The fixed items with their shortcuts ("Ctrl+K", "F2", "F3" or ""); their captions are the
// main window's texts under their names (forms/Texts.h).
struct FixedMenuText {
  std::string_view name;
  const char* shortcut;
};
const std::vector<FixedMenuText>& FixedMenuTexts();

class ConfigurationMenu {
public:
  // The eight fixed items (three commands, a separator, the autosave submenu, a separator, two
  // commands); kStartItem carries the start configuration's path as its hint.
  explicit ConfigurationMenu(std::string startConfigurationPath);

  const std::vector<MenuItem>& Items() const { return items_; }
  // Saving the start configuration sets the hint again.
  void SetStartHint(std::string path);

  // Unless an item's hint equals the path exactly (letter case counts), appends an entry named
  // kFileEntryPrefix and the number of items before it, with the path as its hint and
  // `shorten` (path) as its caption. Returns whether an entry was added.
  bool AddFileEntry(const std::string& path, const std::function<std::string(const std::string&)>& shorten = nullptr);

  // The file an entry names, when a file exists there.
  std::optional<std::string> FileOfEntry(const std::string& itemName) const;

  // Captions of the fixed items in the language; file entries keep theirs.
  void ApplyLanguage(forms::Language language);

private:
  std::vector<MenuItem> items_;
};

// Every file matching "*.vxc" (any letter case) directly in the folder, in name order: the
// entries added to the menu when the main window is created.
std::vector<std::string> ConfigurationFilesIn(const std::string& folder);

}  // namespace config
