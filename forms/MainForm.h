// The main window's form: the controls of the size page and the save page, the folder box of the
// first page and the panels of the window, in creation order, with their items, initial values
// and behaviour.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/ControlNames.h"
#include "forms/Form.h"

namespace forms {

// The item texts of the output type box (ctl::kOutputFormat) in the German interface: "<beibehalten>" followed by the 28
// output types ("*.jpg - JPEG-Bild", ...). The extension of an item is the text before its
// first " - " with every "*" removed.
const std::vector<std::string>& OutputFormatItems();

// The five size modes in page order, with their radio buttons and panels.
struct SizeModeControls {
  std::string_view radio;
  std::string_view panel;
};
inline constexpr SizeModeControls kSizeModes[] = {
    {ctl::kPresetSizeMode, ctl::kPresetPanel},   {ctl::kCustomSizeMode, ctl::kCustomPanel},
    {ctl::kPercentSizeMode, ctl::kPercentPanel}, {ctl::kFactorSizeMode, ctl::kFactorPanel},
    {ctl::kFileSizeMode, ctl::kFileSizePanel},
};

// Texts that empty a box so that the user types a value: "Benutzer.." (size boxes) and
// "Benutzerdefiniert.." (folder and name boxes), or "Custom.." in English.
bool IsCustomEntry(const std::string& text);
// "<beibehalten>" or "<keep>".
bool IsKeepEntry(const std::string& text);

// The form at its initial values, German texts (the window then applies the interface
// language), coupled percent fields and page layout already applied.
Form CreateMainForm();

// Writes the texts of the language: captions, the special entries of the combo boxes (text and
// items, "<beibehalten>"/"<keep>", "%ordner%"/"%folder%", "%breite%"/"%width%",
// "%höhe%"/"%height%", "Bild"/"Image", "Benutzer"/"Custom").
void ApplyMainFormLanguage(Form& mainForm, Language language);

// The coupled-percent behaviour (copy, hide or show the height box and its labels, move the
// width box, as ctl::kKeepPercentProportions says) and the page layout: what a configuration
// load runs after it has set the controls.
void RefreshMainForm(Form& mainForm);

// The "Choose Folder.." button of the save page: `choose` shows the folder chooser opened at the
// current output folder text and returns the chosen folder, or an empty text when the user
// cancelled; the choice becomes the text, and an empty text afterwards gives the previous text
// back.
void ChooseOutputFolder(Form& mainForm, const std::function<std::string(const std::string& start)>& choose);

// Stacks the size modes' radio buttons and panels (only the checked mode's panel shows) and
// shows the new file's settings only while saving as a new file.
void LayoutMainFormPages(Form& mainForm);

}  // namespace forms
