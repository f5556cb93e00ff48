// Configurations: every setting of the six windows that hold settings, the position and size of
// the main window and of the renamer window, and the autosave choice, saved to and loaded from
// ".vxc" files. The controls are the only store of settings: saving walks the controls of each
// window in creation order and writes one key per control, loading walks the same controls and
// sets each from its key, so every coupled behaviour runs as if the program had set the value.
//
// Sections are named by a window code (PB main window, PF folder-search filter, DU renamer,
// DF renamer filter, SC desktop integration, OP options) and a control-kind code (ED edit box,
// CB combo box, RB radio button, CH check box, SB scroll bar, PA panel of the main window);
// SP and SD hold the window geometry, AS the autosave marks. VX, written last, holds the check
// boxes of the options dialog that the original program does not have (keep_orientation,
// to_srgb, strip_location, keep_dates); a configuration without them loads them as unchecked.
#pragma once

#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include "forms/Form.h"
#include "config/VxcFile.h"

namespace config {

// Where a window stands, as the configuration files store it; the windows apply it.
struct WindowGeometry {
  bool maximized = false;
  // The main window's mark: maximize it when it is next activated.
  bool maximizeOnActivation = false;
  int clientWidth = 0;
  int clientHeight = 0;
  int top = 0;
  int left = 0;
};

// The screen against which loaded window sizes and positions are checked; without a screen
// every value is applied.
struct ScreenSize {
  int width = INT_MAX;
  int height = INT_MAX;
};

// Who loads: the start-up path (start configuration, files named on the command line or handed
// over by a second start) or anything else (menu commands). It matters only for a maximized main
// window.
enum class LoadCaller { StartUp, Menu };

// The windows a configuration covers, at their initial values in the given language.
struct ProgramWindows {
  explicit ProgramWindows(forms::Language language);

  forms::Language language;
  forms::Form mainForm;        // PB, main window
  forms::Form folderFilter;    // PF, folder-search filter
  forms::Form renamer;         // DU, file renamer
  forms::Form renamerFilter;   // DF, renamer's file filter
  forms::Form shortcuts;       // SC, desktop integration
  forms::Form options;         // OP, options
  WindowGeometry mainWindow;     // SP
  WindowGeometry renamerWindow;  // SD
  bool autosaveNever = true;     // AS/N, Configuration > Auto Save > Never
  bool autosaveAll = false;      // AS/A, Configuration > Auto Save > Save all
};

// Writes every stored control, the geometry and the autosave marks to the file. An existing
// configuration is updated (its encoding, unknown sections and keys and the order of present
// keys stay); an existing file that is no configuration (not empty and without any of its
// sections, HoldsKnownSection) or no regular file is refused, so a picture named by mistake is
// never written over. A new one is UTF-16 with the byte-order mark, except that a path ending
// in ".bmp", ".gif", ".jpg" or ".jpeg" (any case) gets 8-bit text. The new content is
// complete in memory before it replaces the file, so a failure (ConfigWriteError, "Unable to
// write to <path>") leaves the file as it was.
void SaveConfiguration(const ProgramWindows& windows, const std::string& path);
// The same into a document in memory.
void WriteConfiguration(const ProgramWindows& windows, VxcFile& file);

// Sets the controls from the file (a missing or unreadable file reads as
// empty, so every control keeps its value), then the geometry and the autosave marks, then the
// refresh and language steps (ApplyLoadedConfiguration). Returns whether the file held any
// section of a configuration (HoldsKnownSection); the load happens either way.
bool LoadConfiguration(ProgramWindows& windows, const std::string& path, LoadCaller caller, ScreenSize screen = {});
void ApplyLoadedConfiguration(ProgramWindows& windows, const VxcFile& file, LoadCaller caller, ScreenSize screen = {});

// Whether the file holds at least one section a configuration is made of: a window code (PB,
// PF, DU, DF, SC, OP) with a control-kind code (ED, CB, RB, CH, SB, PA), or SP, SD, AS, VX; letter
// case does not count. A file without one is no configuration (an image, a text of another
// program), though loading it changes nothing.
bool HoldsKnownSection(const VxcFile& file);

// Configuration > Reset all Settings: the fixed standard values (German special texts in either
// language); no refresh or language step follows.
void LoadStandardConfiguration(ProgramWindows& windows);

// The language operation of every window that holds settings: captions, and the special texts
// of the main window's combo boxes and the options dialog's method box in the language.
void ApplyLanguageToForms(ProgramWindows& windows, forms::Language language);

// The two autosave menu items: a click unchecks both and checks the clicked one.
void ClickAutosave(ProgramWindows& windows, bool saveAll);

// The folder of the start configuration and of the configuration files listed in the menu:
// $VEXILO_HOME when set, else $XDG_CONFIG_HOME/vexilo/, else ~/.config/vexilo/; always with a
// trailing "/".
std::string SettingsFolder();
// The start configuration, SettingsFolder() + "Auto.vxc".
std::string StartConfigurationPath();
// Saving the start configuration (from the menu and the autosave at closing time): creates the settings folder if needed
// and saves there. Throws ConfigWriteError.
void SaveStartConfiguration(const ProgramWindows& windows);
// Loading the start configuration (from the menu and at start-up): false (nothing loaded) when
// there is no start configuration; the menu command then shows "keinestartkonfig".
bool LoadStartConfiguration(ProgramWindows& windows, LoadCaller caller, ScreenSize screen = {});
// The closing check of the main window: saves the start configuration when the autosave of all
// settings is chosen; returns whether it saved. Throws ConfigWriteError, and
// the window then stays open.
bool AutosaveOnClose(const ProgramWindows& windows);

// Sets one setting from a text as a configuration file would hold it (blanks around it and one
// pair of enclosing quotes are not part of it). `name` is a key ("out_quality") or a section and
// a key ("PFRB/alle", "SP/PB", "AS/A"); a key alone must be unique among the six windows.
// Unlike a file's load, which takes any text, the value must be one the setting's readers
// understand:
//   - switches (check boxes, radio buttons, panels, SP/PF, SD/PF, AS/N, AS/A): 1 or 0;
//   - out_quality and ScrollBar1: an integer from 1 to 100;
//   - act_sizebenutzer_x/_y: empty (the source's own side) or a pixel count from 1 to 65535;
//     act_sizeprozent_x/_y: empty or a percent of at least 1;
//   - ed_faktor: what FactorTextError accepts; ed_filesize: a decimal number of kilobytes above 0
//     (with the locale's decimal separator); numstart: a whole number of at least 0;
//   - out_format: "<keep>", "<beibehalten>" or a text naming the same extension as one of its
//     items ("*.tga - ..."), since the run takes only the extension from it;
//     act_sizemethode: a text beginning as one of its items does, as the run reads it;
//   - window geometry: integers; every other text setting: any text.
// Returns an error text when the name is unknown or ambiguous or the value is refused (the
// setting then keeps its value). No refresh or language step follows.
std::optional<std::string> ApplySetting(ProgramWindows& windows, std::string_view name, std::string_view value);

// The factor mode's text test: nothing when the text (blanks around it ignored) is a whole
// number n of at least 1, a ratio a/b or a ratio a:b (old to new) of whole numbers of at least
// 1; else what it takes, which for a decimal like 0.5 or 2,5 names the ratio to write (1/2,
// 5/2).
std::optional<std::string> FactorTextError(std::string_view text);

}  // namespace config
