// The texts of the windows and messages. Each language has one table per window or message
// group, keyed by control name or message key (forms/texts/<Language>.cpp); the code that
// writes texts looks them up by key in the tables of the current language.
//
// Special texts ("<keep>", "%folder%", "Custom", ...) are data as well as captions: they stand in
// combo boxes and configuration files and are converted on every language switch. The
// conversion looks the text up in every language's table for the same key and maps it, so a
// configuration saved in one language loads in any other.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Language.h"

namespace forms {

enum class TextGroup {
  MainWindow,     // captions, menus, list headings, the wizard's forward button, the
                  // configuration menu and the slots the image list fills (progress, counter)
  Splash,         // the splash window
  Options,        // the options dialog
  SearchFilter,   // the folder-search filter
  Shortcuts,      // the desktop-integration dialog, its status lines and the desktop entries' names
  Renamer,        // the file renamer: captions, list, row states, its questions
  RenamerFilter,  // the renamer's file filter
  Dialogs,        // the message, overwrite and progress dialogs and the folder chooser
  Messages,       // the message keys: "<key>.title", "<key>.line1", "<key>.line2", "<key>.line3"
  Help,           // the help window
  Terminal,       // vexilo-cli's lines on the terminal
  Special,        // texts converted on every switch (see above)
};
inline constexpr TextGroup kTextGroups[] = {
    TextGroup::MainWindow,    TextGroup::Splash,  TextGroup::Options,  TextGroup::SearchFilter,
    TextGroup::Shortcuts,     TextGroup::Renamer, TextGroup::RenamerFilter, TextGroup::Dialogs,
    TextGroup::Messages,      TextGroup::Help,    TextGroup::Terminal, TextGroup::Special,
};
// A group's name, for reports.
const char* GroupName(TextGroup group);

struct TextEntry {
  const char* key;
  const char* text;
};
using TextTable = std::span<const TextEntry>;

// A language's table of one group.
struct GroupTexts {
  TextGroup group;
  TextTable table;
};

// The group's table in the language, or the default language's when the language has none.
TextTable TableOf(Language language, TextGroup group);
// The key's text: from the language's table, else from the default language's; null when neither
// has the key.
const char* FindText(Language language, TextGroup group, std::string_view key);
// The same, with the key itself when no table has it.
std::string Text(Language language, TextGroup group, std::string_view key);
// Writes the group's texts into a form: its caption under the form's name, a control's caption
// under the control's name. Controls without an entry keep their captions.
class Form;
void ApplyFormTexts(Form& form, TextGroup group, Language language);

// ---- Special texts ----
// The key's texts in the languages of the list, each once, in list order.
std::vector<std::string> SpecialTexts(std::string_view key);
// Whether the text is the key's text in one of the languages.
bool IsSpecialText(std::string_view text, std::string_view key);
// Turns the key's text of every other language into the language's own: every occurrence, or
// only the first one. Letter case counts; the language's own text is left as it stands.
std::string ConvertSpecial(std::string_view text, std::string_view key, Language to, bool firstOnly = false);

}  // namespace forms
