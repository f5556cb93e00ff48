#include "config/Configuration.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <vector>

#include "base/Paths.h"
#include "forms/ControlNames.h"
#include "forms/ShortcutsForm.h"
#include "forms/NumberText.h"
#include "forms/RenamerForms.h"
#include "base/Text.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"
#include "forms/Texts.h"
#include "forms/FolderFilterForm.h"

namespace config {

namespace ctl = forms::ctl;

namespace {

using forms::Control;
using forms::ControlKind;
using forms::Form;

// The windows in the order of saving and loading, with their section codes.
struct WindowEntry {
  const char* code;
  Form ProgramWindows::*form;
};
constexpr WindowEntry kWindows[] = {
    {"PB", &ProgramWindows::mainForm},    {"PF", &ProgramWindows::folderFilter},
    {"DU", &ProgramWindows::renamer},  {"DF", &ProgramWindows::renamerFilter},
    {"SC", &ProgramWindows::shortcuts}, {"OP", &ProgramWindows::options},
};

// Settings of this program beyond the original's: check boxes of the options dialog kept in a
// section of their own, which the original program's readers skip, with the value a
// configuration without them stands for.
constexpr char kOwnSection[] = "VX";
struct OwnSetting {
  std::string_view key;  // the control's name
  bool absent;           // the value of a configuration that lacks the key
};
constexpr OwnSetting kOwnSettings[] = {
    {ctl::kKeepOrientation, false},
    {ctl::kToSrgb, false},
    {ctl::kStripLocation, false},
    {ctl::kKeepDates, false},
};

bool IsOwnSetting(const WindowEntry& window, const Control& control) {
  if (window.form != &ProgramWindows::options) return false;
  return std::any_of(std::begin(kOwnSettings), std::end(kOwnSettings),
                     [&](const OwnSetting& own) { return own.key == control.name; });
}

// The kind code of a stored control, or null for kinds that hold no setting. Panels are stored
// for the main window only.
const char* KindCode(ControlKind kind, bool mainWindow) {
  switch (kind) {
    case ControlKind::Edit: return "ED";
    case ControlKind::Combo: return "CB";
    case ControlKind::Radio: return "RB";
    case ControlKind::Check: return "CH";
    case ControlKind::ScrollBar: return "SB";
    case ControlKind::Panel: return mainWindow ? "PA" : nullptr;
    default: return nullptr;
  }
}

std::string SectionOf(const WindowEntry& window, const Control& control) {
  if (IsOwnSetting(window, control)) return kOwnSection;
  const char* kind = KindCode(control.kind, window.form == &ProgramWindows::mainForm);
  return kind == nullptr ? std::string() : std::string(window.code) + kind;
}

// The geometry keys of SP and SD, in their written order.
struct GeometryKey {
  const char* key;
  int WindowGeometry::*field;  // null for PF
};
constexpr GeometryKey kGeometryKeys[] = {
    {"PF", nullptr},
    {"PB", &WindowGeometry::clientWidth},
    {"PH", &WindowGeometry::clientHeight},
    {"PT", &WindowGeometry::top},
    {"PL", &WindowGeometry::left},
};

// Sets a stored control from the text a configuration holds for it; false when an integer kind
// gets a text that is not an integer (the control then keeps its value).
bool SetControl(Form& form, const Control& control, const std::string& text) {
  const std::string name = control.name;
  switch (control.kind) {
    case ControlKind::Edit:
    case ControlKind::Combo: form.SetText(name, text); return true;
    default: break;
  }
  const auto number = forms::ParseIntegerText(text);
  if (!number) return false;
  switch (control.kind) {
    case ControlKind::Radio:
    case ControlKind::Check: form.SetChecked(name, *number != 0); break;
    case ControlKind::ScrollBar: form.SetPosition(name, *number); break;
    case ControlKind::Panel: form.SetVisible(name, *number != 0); break;
    default: return false;
  }
  return true;
}

void WriteGeometry(VxcFile& file, const char* section, const WindowGeometry& geometry) {
  file.WriteBool(section, "PF", geometry.maximized || geometry.maximizeOnActivation);
  for (const GeometryKey& key : kGeometryKeys)
    if (key.field != nullptr) file.WriteInteger(section, key.key, geometry.*key.field);
}

// The size and position of a window that is not maximized: a size or position beyond the screen
// is not applied; negative values are.
void ReadUnmaximizedGeometry(const VxcFile& file, const char* section, WindowGeometry& geometry, ScreenSize screen) {
  if (const auto v = file.ReadInteger(section, "PB"); v && *v <= screen.width) geometry.clientWidth = *v;
  if (const auto v = file.ReadInteger(section, "PH"); v && *v <= screen.height) geometry.clientHeight = *v;
  if (const auto v = file.ReadInteger(section, "PT"); v && *v <= screen.height) geometry.top = *v;
  if (const auto v = file.ReadInteger(section, "PL"); v && *v <= screen.width) geometry.left = *v;
}

bool ReadBool(const VxcFile& file, const char* section, const char* key, bool current) {
  const auto v = file.ReadInteger(section, key);
  return v ? *v != 0 : current;
}

bool HasImageExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension == ".bmp" || extension == ".gif" || extension == ".jpg" || extension == ".jpeg";
}


std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return "/";
}

}  // namespace

ProgramWindows::ProgramWindows(forms::Language lang)
    : language(lang),
      mainForm(forms::CreateMainForm()),
      folderFilter(forms::CreateFolderFilterForm()),
      renamer(forms::CreateRenamerForm()),
      renamerFilter(forms::CreateRenamerFilterForm()),
      shortcuts(forms::CreateShortcutsForm()),
      options(forms::CreateOptionsForm()) {
  mainWindow.clientWidth = 510;
  mainWindow.clientHeight = 472;
  renamerWindow.clientWidth = 592;
  renamerWindow.clientHeight = 615;
  ApplyLanguageToForms(*this, language);
}

void WriteConfiguration(const ProgramWindows& windows, VxcFile& file) {
  for (const WindowEntry& window : kWindows) {
    for (const Control& control : (windows.*window.form).Controls()) {
      const std::string section = SectionOf(window, control);
      if (section.empty() || section == kOwnSection) continue;
      switch (control.kind) {
        case ControlKind::Edit:
        case ControlKind::Combo: file.WriteString(section, control.name, control.text); break;
        case ControlKind::Radio:
        case ControlKind::Check: file.WriteBool(section, control.name, control.checked); break;
        case ControlKind::ScrollBar: file.WriteInteger(section, control.name, control.position); break;
        case ControlKind::Panel: file.WriteBool(section, control.name, control.visible); break;
        default: break;
      }
    }
  }
  WriteGeometry(file, "SP", windows.mainWindow);
  WriteGeometry(file, "SD", windows.renamerWindow);
  file.WriteBool("AS", "N", windows.autosaveNever);
  file.WriteBool("AS", "A", windows.autosaveAll);
  // Last, so that the original sections of a new file stand as the original program writes them.
  for (const OwnSetting& own : kOwnSettings) file.WriteBool(kOwnSection, own.key, windows.options.Checked(own.key));
}

void SaveConfiguration(const ProgramWindows& windows, const std::string& path) {
  struct stat info {};
  VxcFile file(HasImageExtension(path) ? TextEncoding::Utf8 : TextEncoding::Utf16LE);
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw ConfigWriteError(path, "it is a folder");
    if (!S_ISREG(info.st_mode)) throw ConfigWriteError(path, base::NotRegularFileCause(path, info.st_mode));
    // What cannot be read cannot be kept, so the file is left alone.
    const auto bytes = ReadWholeFile(path);
    if (!bytes) throw ConfigWriteError(path, "the existing file cannot be read");
    file = VxcFile::Parse(*bytes);
    // Only a configuration is written over (an empty file counts as a new one): any other file,
    // a picture named by mistake, would keep its content with the settings added to it.
    if (!bytes->empty() && !HoldsKnownSection(file))
      throw ConfigWriteError(path, "it is no configuration: it holds none of its sections ([PBRB], [OPCH], ...)");
  }
  WriteConfiguration(windows, file);
  ReplaceFile(path, file.Serialize());
}

void ApplyLoadedConfiguration(ProgramWindows& windows, const VxcFile& file, LoadCaller caller, ScreenSize screen) {
  for (const WindowEntry& window : kWindows) {
    Form& form = windows.*window.form;
    // By index: a change handler may touch other controls, never the list itself.
    for (size_t i = 0; i < form.Controls().size(); ++i) {
      const Control& control = form.Controls()[i];
      const std::string section = SectionOf(window, control);
      if (section.empty() || section == kOwnSection) continue;
      if (const auto text = file.ReadString(section, control.name)) SetControl(form, control, *text);
    }
  }
  // A configuration without these keys (the original program's, or one written before they
  // existed) sets them to their "absent" values; a file that is no configuration changes nothing.
  const bool configuration = HoldsKnownSection(file);
  for (const OwnSetting& own : kOwnSettings) {
    if (const auto text = file.ReadString(kOwnSection, own.key))
      SetControl(windows.options, windows.options.Get(own.key), *text);
    else if (configuration)
      windows.options.SetChecked(own.key, own.absent);
  }

  WindowGeometry& main = windows.mainWindow;
  if (ReadBool(file, "SP", "PF", main.maximized)) {
    if (caller == LoadCaller::StartUp) {
      main.maximizeOnActivation = true;
      main.top = 0;
    } else {
      main.left = 0;
      main.top = 0;
    }
  } else {
    ReadUnmaximizedGeometry(file, "SP", main, screen);
  }
  WindowGeometry& renamer = windows.renamerWindow;
  if (ReadBool(file, "SD", "PF", renamer.maximized)) renamer.maximized = true;
  else ReadUnmaximizedGeometry(file, "SD", renamer, screen);

  windows.autosaveNever = ReadBool(file, "AS", "N", windows.autosaveNever);
  windows.autosaveAll = ReadBool(file, "AS", "A", windows.autosaveAll);

  forms::RefreshMainForm(windows.mainForm);
  ApplyLanguageToForms(windows, windows.language);
}

bool HoldsKnownSection(const VxcFile& file) {
  static const char* const kKinds[] = {"ED", "CB", "RB", "CH", "SB", "PA"};
  for (const std::string& section : file.SectionNames()) {
    if (base::EqualNoCase(section, "SP") || base::EqualNoCase(section, "SD") || base::EqualNoCase(section, "AS") ||
        base::EqualNoCase(section, kOwnSection))
      return true;
    for (const WindowEntry& window : kWindows)
      for (const char* kind : kKinds)
        if (base::EqualNoCase(section, std::string(window.code) + kind)) return true;
  }
  return false;
}

bool LoadConfiguration(ProgramWindows& windows, const std::string& path, LoadCaller caller, ScreenSize screen) {
  const auto bytes = ReadWholeFile(path);
  const VxcFile file = bytes ? VxcFile::Parse(*bytes) : VxcFile();
  ApplyLoadedConfiguration(windows, file, caller, screen);
  return HoldsKnownSection(file);
}

void LoadStandardConfiguration(ProgramWindows& windows) {
  Form& mainForm = windows.mainForm;
  mainForm.SetText(ctl::kSourceFolder, "");
  mainForm.SetText(ctl::kOutputFormat, "<beibehalten>");
  mainForm.SetText(ctl::kOutputName, "%name%-1");
  mainForm.SetText(ctl::kOutputFolder, "<beibehalten>");
  mainForm.SetText(ctl::kCustomWidth, "640");
  mainForm.SetText(ctl::kCustomHeight, "480");
  mainForm.SetChecked(ctl::kKeepPresetProportions, true);
  mainForm.SetChecked(ctl::kOverwriteSource, false);
  mainForm.SetChecked(ctl::kSaveAsNewFile, true);
  mainForm.SetChecked(ctl::kPreset1024x768, false);
  mainForm.SetChecked(ctl::kPreset800x600, false);
  mainForm.SetChecked(ctl::kPreset640x480, true);
  mainForm.SetChecked(ctl::kPreset240x320, false);

  Form& filter = windows.folderFilter;
  filter.SetChecked(ctl::folderFilter::kSubfolders, true);
  for (const Control& control : filter.Controls())
    if (control.kind == ControlKind::Check && control.name != ctl::folderFilter::kSubfolders)
      filter.SetChecked(control.name, false);
  filter.SetChecked(ctl::folderFilter::kAllFormats, true);
  filter.SetChecked(ctl::folderFilter::kChosenFormats, false);

  Form& options = windows.options;
  options.SetText(ctl::kResizeMethod, "Bikubisch");
  options.SetChecked(ctl::kRotateBox, true);
  options.SetChecked(ctl::kShrinkLarger, true);
  options.SetChecked(ctl::kEnlargeSmaller, true);
  options.SetText(ctl::kQuality, "80");
  options.SetPosition(ctl::kQualityScrollBar, 80);
  options.SetChecked(ctl::kProgressive, true);
  for (const OwnSetting& own : kOwnSettings) options.SetChecked(own.key, own.absent);

  Form& renamer = windows.renamer;
  renamer.SetText(ctl::renamer::kSourceFolder, "");
  renamer.SetText(ctl::renamer::kSearchText, "");
  renamer.SetText(ctl::renamer::kReplacementText, "");
  renamer.SetChecked(ctl::renamer::kSubfolders, true);
  renamer.SetChecked(ctl::renamer::kSearchAndReplace, false);
  renamer.SetText(ctl::renamer::kMask, "%name%1");
  renamer.SetText(ctl::renamer::kFirstNumber, "1");

  Form& renamerFilter = windows.renamerFilter;
  renamerFilter.SetChecked(ctl::renamerFilter::kAllFiles, true);
  renamerFilter.SetChecked(ctl::renamerFilter::kChosenExtensions, false);
  renamerFilter.SetText(ctl::renamerFilter::kExtensions, "jpg,bmp,txt");

  windows.autosaveNever = true;
  windows.autosaveAll = false;
}

void ApplyLanguageToForms(ProgramWindows& windows, forms::Language language) {
  windows.language = language;
  forms::ApplyMainFormLanguage(windows.mainForm, language);
  forms::ApplyFolderFilterLanguage(windows.folderFilter, language);
  forms::ApplyShortcutsLanguage(windows.shortcuts, language);
  forms::ApplyOptionsLanguage(windows.options, language);
  forms::ApplyRenamerLanguage(windows.renamer, language);
  forms::ApplyRenamerFilterLanguage(windows.renamerFilter, language);
}

void ClickAutosave(ProgramWindows& windows, bool saveAll) {
  windows.autosaveNever = !saveAll;
  windows.autosaveAll = saveAll;
}

std::string SettingsFolder() {
  std::string folder;
  if (const char* home = std::getenv("VEXILO_HOME"); home != nullptr && *home != '\0') {
    folder = home;
  } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    folder = std::string(xdg) + "/vexilo";
  } else {
    folder = HomeFolder() + "/.config/vexilo";
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string StartConfigurationPath() { return SettingsFolder() + "Auto.vxc"; }

void SaveStartConfiguration(const ProgramWindows& windows) {
  const std::string path = StartConfigurationPath();
  std::error_code error;
  std::filesystem::create_directories(SettingsFolder(), error);
  if (error) throw ConfigWriteError(path, error.message());
  SaveConfiguration(windows, path);
}

bool LoadStartConfiguration(ProgramWindows& windows, LoadCaller caller, ScreenSize screen) {
  const std::string path = StartConfigurationPath();
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  LoadConfiguration(windows, path, caller, screen);
  return true;
}

bool AutosaveOnClose(const ProgramWindows& windows) {
  if (!windows.autosaveAll) return false;
  SaveStartConfiguration(windows);
  return true;
}

namespace {

// The ratio a decimal text such as "0.5" or "2,5" stands for ("1/2", "5/2"); nothing for other
// texts.
std::optional<std::string> RatioOfDecimal(const std::string& text) {
  const size_t point = text.find_first_of(".,");
  if (point == std::string::npos) return std::nullopt;
  const std::string whole = text.substr(0, point);
  const std::string fraction = text.substr(point + 1);
  const auto digits = [](const std::string& s) {
    return s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(whole) || !digits(fraction) || fraction.empty()) return std::nullopt;
  int64_t denominator = 1;
  for (size_t i = 0; i < fraction.size(); ++i) denominator *= 10;
  const int64_t numerator = (whole.empty() ? 0 : std::stoll(whole)) * denominator + std::stoll(fraction);
  if (numerator == 0) return std::nullopt;
  const int64_t divisor = std::gcd(numerator, denominator);
  if (numerator / divisor > INT32_MAX || denominator / divisor > INT32_MAX) return std::nullopt;
  if (denominator == divisor) return std::to_string(numerator / divisor);
  return std::to_string(numerator / divisor) + "/" + std::to_string(denominator / divisor);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string ItemList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) list += (list.empty() ? "" : ", ") + Quoted(item);
  return list;
}

// The extension the run takes from an output type text: the part before " - " without "*",
// when it begins with ".".
std::string FormatItemExtension(const std::string& item) {
  const size_t dash = item.find(" - ");
  if (dash == std::string::npos) return {};
  const std::string extension = base::ReplaceAll(item.substr(0, dash), "*", "");
  return base::StartsWith(extension, ".") ? extension : std::string();
}

bool IsWholeNumberAtLeast(const std::string& value, int32_t minimum, int32_t maximum = INT32_MAX) {
  const auto number = forms::ParseIntegerText(value);
  return number && *number >= minimum && *number <= maximum;
}

// Why a value does not suit a control ("is a switch: 1 (on) or 0 (off)"), or nothing.
std::optional<std::string> RefusedValue(const Control& control, const std::string& value) {
  switch (control.kind) {
    case ControlKind::Radio:
    case ControlKind::Check:
    case ControlKind::Panel:
      if (value == "0" || value == "1") return std::nullopt;
      return std::string("is a switch: 1 (on) or 0 (off)");
    case ControlKind::ScrollBar:
      if (IsWholeNumberAtLeast(value, control.minimum, control.maximum)) return std::nullopt;
      return "takes a whole number from " + std::to_string(control.minimum) + " to " + std::to_string(control.maximum);
    case ControlKind::Edit:
    case ControlKind::Combo: break;
    default: return std::string("holds no value");
  }
  const std::string& name = control.name;
  if (name == ctl::kQuality) {
    if (IsWholeNumberAtLeast(value, 1, 100)) return std::nullopt;
    return std::string("takes a whole number from 1 to 100");
  }
  if (name == ctl::kCustomWidth || name == ctl::kCustomHeight) {
    if (value.empty() || IsWholeNumberAtLeast(value, 1, 65535)) return std::nullopt;
    return std::string("takes a width or height in pixels from 1 to 65535, or nothing for the source's own");
  }
  if (name == ctl::kPercentWidth || name == ctl::kPercentHeight) {
    if (value.empty() || IsWholeNumberAtLeast(value, 1)) return std::nullopt;
    return std::string("takes a whole percent of at least 1, or nothing for the source's own size");
  }
  if (name == ctl::kFactor) return FactorTextError(value);
  if (name == ctl::kFileSize) {
    const std::string& separator = forms::UserDecimalSeparator();
    const auto kilobytes = forms::ParseDecimalText(value, separator);
    if (kilobytes && *kilobytes > 0) return std::nullopt;
    return "takes a size in kilobytes above 0 (decimals with \"" + separator + "\")";
  }
  if (name == ctl::renamer::kFirstNumber) {
    if (IsWholeNumberAtLeast(value, 0)) return std::nullopt;
    return std::string("takes a whole number of at least 0");
  }
  if (name == ctl::kOutputFormat) {
    if (forms::IsKeepEntry(value)) return std::nullopt;
    const std::string extension = FormatItemExtension(value);
    for (const std::string& item : control.items)
      if (!extension.empty() && base::EqualNoCase(FormatItemExtension(item), extension)) return std::nullopt;
    std::string keep;
    for (const std::string& text : forms::SpecialTexts("keep")) keep += (keep.empty() ? "" : ", ") + text;
    return "takes one of its items: " + ItemList(control.items) + " (or " + keep + ")";
  }
  if (name == ctl::kResizeMethod) {
    if (forms::ResizeMethodOf(value)) return std::nullopt;
    return "takes one of its items: " + ItemList(control.items) + " (its first three letters count)";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FactorTextError(std::string_view text) {
  const std::string t = base::TrimBlanks(text);
  bool understood = false;
  if (const auto n = forms::ParseIntegerText(t)) {
    understood = *n >= 1;
  } else {
    // As in the factor mode, a ":" ratio wins over a "/" ratio in the same text.
    auto ratio = forms::ParseRatioText(t, ':');
    if (!ratio) ratio = forms::ParseRatioText(t, '/');
    understood = ratio && ratio->first >= 1 && ratio->second >= 1;
  }
  if (understood) return std::nullopt;
  std::string error = "takes a whole number n (n times the size), a ratio a/b (a/b of the size) or a:b (old to new), "
                      "each part at least 1";
  if (const auto ratio = RatioOfDecimal(t)) error += " (for " + t + " write " + *ratio + ")";
  return error;
}

std::optional<std::string> ApplySetting(ProgramWindows& windows, std::string_view name, std::string_view rawValue) {
  const std::string value = UnquoteValue(base::TrimBlanks(rawValue));
  std::string section;
  std::string key(name);
  if (const size_t slash = name.find('/'); slash != std::string_view::npos) {
    section = std::string(name.substr(0, slash));
    key = std::string(name.substr(slash + 1));
  }

  // Geometry and autosave marks.
  const auto integer = [&]() -> std::optional<int32_t> { return forms::ParseIntegerText(value); };
  const auto notInteger = [&]() { return Quoted(name) + " needs an integer, got " + Quoted(value); };
  const auto notSwitch = [&]() { return Quoted(name) + " is a switch: 1 (on) or 0 (off), got " + Quoted(value); };
  for (const char* geometrySection : {"SP", "SD"}) {
    if (!base::EqualNoCase(section, geometrySection)) continue;
    WindowGeometry& geometry = base::EqualNoCase(section, "SP") ? windows.mainWindow : windows.renamerWindow;
    for (const GeometryKey& g : kGeometryKeys) {
      if (!base::EqualNoCase(key, g.key)) continue;
      if (g.field == nullptr && value != "0" && value != "1") return notSwitch();
      const auto v = integer();
      if (!v) return notInteger();
      if (g.field == nullptr) geometry.maximized = *v != 0;
      else geometry.*g.field = *v;
      return std::nullopt;
    }
    return "no setting named \"" + std::string(name) + "\"";
  }
  if (base::EqualNoCase(section, "AS")) {
    if (!base::EqualNoCase(key, "N") && !base::EqualNoCase(key, "A")) return "no setting named \"" + std::string(name) + "\"";
    if (value != "0" && value != "1") return notSwitch();
    (base::EqualNoCase(key, "N") ? windows.autosaveNever : windows.autosaveAll) = value == "1";
    return std::nullopt;
  }

  struct Match {
    Form* form;
    size_t index;
    std::string section;
  };
  std::vector<Match> matches;
  for (const WindowEntry& window : kWindows) {
    Form& form = windows.*window.form;
    for (size_t i = 0; i < form.Controls().size(); ++i) {
      const Control& control = form.Controls()[i];
      const std::string controlSection = SectionOf(window, control);
      if (controlSection.empty() || !base::EqualNoCase(control.name, key)) continue;
      if (!section.empty() && !base::EqualNoCase(section, controlSection)) continue;
      matches.push_back({&form, i, controlSection});
    }
  }
  if (matches.empty()) return "no setting named \"" + std::string(name) + "\"";
  if (matches.size() > 1) {
    std::string choices;
    for (const Match& m : matches)
      choices += (choices.empty() ? "" : ", ") + m.section + "/" + m.form->Controls()[m.index].name;
    return "\"" + std::string(name) + "\" names several settings (" + choices + "); give the section too";
  }
  const Match& match = matches.front();
  const Control& control = match.form->Controls()[match.index];
  if (const auto refused = RefusedValue(control, value)) return Quoted(name) + " " + *refused + ", got " + Quoted(value);
  SetControl(*match.form, control, value);
  return std::nullopt;
}

}  // namespace config
