// Hooks that let files reach the program from the desktop without opening it first. Every
// hook is written for the current user under the XDG base folders, so no administrator rights
// are needed:
//
//   configuration files  a shared-mime-info package for ".vxc" (mime/packages/), a desktop
//                        entry listing its type (applications/) and the user's default for it
//                        (mimeapps.list in the configuration folder)
//   Send To              a desktop entry offered in "Open With" for every image type the
//                        program reads, and a Nautilus script (nautilus/scripts/)
//   folders, all files,  file-manager actions: a Dolphin service menu (kio/servicemenus/), a
//   chosen extensions    Nemo action (nemo/actions/) and an action in Thunar's uca.xml
//
// Each hook starts the program by its path in double quotation marks followed by the file
// manager's placeholder for the selected path. A hook counts as active only when all its files
// exist and start exactly this program's path, so a copy at another path sees it as not
// active. Removing deletes only what this program writes: its own files, its own Thunar
// actions and its own default in mimeapps.list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "forms/Language.h"

namespace desktop {

enum class Hook { ConfigurationFiles, SendTo, Folders, AllFiles, ChosenExtensions };

// The MIME type of configuration files and the names of what the hooks show.
inline constexpr const char* kConfigurationMimeType = "application/x-vexilo-configuration";
// "Corvana Vexilo Configuration" / "Corvana Vexilo Konfiguration".
std::string ConfigurationTypeName(forms::Language language);
// "Open with Corvana Vexilo" / "Öffnen mit Corvana Vexilo".
std::string VerbCaption(forms::Language language);
// The MIME types of the images the program reads, as its desktop entries list them.
const std::vector<std::string>& ImageMimeTypes();

// The user's extension list ("jpg,bmp,png") cleaned: entries split at ",", blanks removed at
// both ends, a "." put in front of an entry without one; empty entries, entries that do not
// begin with "." or are only ".", and entries holding any of < > \ / | : ? " * or a blank after
// their first character are dropped. Entries with control characters or ";" are dropped too:
// they would break the lines and lists of the files written.
std::vector<std::string> CleanExtensionList(std::string_view text);

// The folders the hooks live in.
struct Environment {
  std::string dataHome;                // $XDG_DATA_HOME, else ~/.local/share
  std::string configHome;              // $XDG_CONFIG_HOME, else ~/.config
  std::vector<std::string> dataDirs;   // $XDG_DATA_DIRS, else /usr/local/share and /usr/share
  bool refreshCaches = true;           // run update-mime-database / update-desktop-database

  static Environment FromProcess();
};

// The path of the running program (/proc/self/exe), or empty text when it cannot be read.
std::string RunningProgramPath();

class Integration {
public:
  Integration(std::string programPath, Environment environment);

  // Writes the hook for this program. What a hook shows is written in every language of the
  // list (a desktop entry's "Name" and "Name[de]"), so it reads in the language of whoever
  // reads it; `language` is the one of the Nautilus script's comment. `extensions` is the
  // user's list for the chosen-extensions hook (ignored by the others). Returns whether every
  // file of the hook was written.
  bool Register(Hook hook, forms::Language language, std::string_view extensions = {});
  // Deletes what this program wrote for the hook (for the chosen extensions: those listed).
  // Nothing happens when the hook is not there.
  void Remove(Hook hook, std::string_view extensions = {});
  // Whether every file of the hook is in place and starts this program. The chosen-extensions
  // hook has no status and always reads false.
  bool Active(Hook hook) const;

  const std::string& ProgramPath() const { return programPath_; }
  const Environment& Env() const { return env_; }

  // The files the hooks use (for tests and for the help text).
  std::string MimePackagePath() const;
  std::string ConfigurationEntryPath() const;
  std::string OpenWithEntryPath() const;
  std::string NautilusScriptPath() const;
  std::string MimeAppsListPath() const;
  std::string ThunarActionsPath() const;
  std::string DolphinPath(std::string_view name) const;
  std::string NemoPath(std::string_view name) const;

  // The MIME type the shared-mime-info globs give a file name extension (".jpg"), or empty text.
  std::string MimeTypeOfExtension(const std::string& extension) const;

private:
  bool RegisterConfiguration();
  void RemoveConfiguration();
  bool RegisterSendTo(forms::Language language);
  void RemoveSendTo();
  bool RegisterFileManagers(Hook hook, std::string_view extensions);
  void RemoveFileManagers(Hook hook, std::string_view extensions);
  bool ConfigurationActive() const;
  bool FileManagersActive(Hook hook) const;
  void RefreshCaches() const;

  std::string programPath_;
  Environment env_;
};

}  // namespace desktop
