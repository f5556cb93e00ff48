#include "forms/RenamerForms.h"

#include <string_view>
#include <vector>

namespace forms {

namespace {

Control RenamerControl(ControlKind kind, const char* name, const char* caption = "") {
  Control c;
  c.kind = kind;
  c.name = name;
  c.caption = caption;
  return c;
}

Control RenamerEdit(const char* name, const char* text) {
  Control c = RenamerControl(ControlKind::Edit, name);
  c.text = text;
  c.selStart = c.text.size();
  return c;
}

Control RenamerCheck(const char* name, bool checked, const char* caption) {
  Control c = RenamerControl(ControlKind::Check, name, caption);
  c.checked = checked;
  return c;
}

Control RenamerCombo(const char* name, std::vector<std::string> items, const char* text) {
  Control c = RenamerControl(ControlKind::Combo, name);
  c.items = std::move(items);
  c.text = text;
  for (size_t i = 0; i < c.items.size(); ++i)
    if (c.items[i] == c.text) c.itemIndex = static_cast<int>(i);
  c.selStart = c.text.size();
  return c;
}

Control RenamerRadio(const char* name, bool checked, const char* caption) {
  Control c = RenamerControl(ControlKind::Radio, name, caption);
  c.group = "filter";
  c.checked = checked;
  return c;
}

// Characters refused by a key filter; only codes 32 to 127 are tested. The folder boxes accept
// "/", the path separator here.
bool Refused(char32_t key, std::u32string_view refused) {
  return key >= 32 && key <= 127 && refused.find(key) != std::u32string_view::npos;
}
constexpr std::u32string_view kRefusedInName = U"\"*/:<>?\\|";
constexpr std::u32string_view kRefusedInFolder = U"\"*<>?|";
constexpr std::u32string_view kRefusedInFilter = U"\"*/<>?|";

const char* const kSearchControls[] = {"suchenalt", "suchenneu", "cb_suchname", "cb_suchendung", "Label11", "Label16"};

void UpdateSearchEnabling(Form& form) {
  const bool on = form.Checked("suchenersetzen");
  for (const char* name : kSearchControls) form.SetEnabled(name, on);
}

}  // namespace

Form CreateRenamerForm() {
  Form form("Tdateinamenumbenenner", "Datei-Umbenenner - Corvana");
  // Stored controls first, in their key order.
  form.Add(RenamerEdit("quordner", ""));
  form.Add(RenamerEdit("suchenalt", ""));
  form.Add(RenamerEdit("suchenneu", ""));
  form.Add(RenamerCheck("uv", true, "Auch Unterverzeichnisse durchsuchen"));
  form.Add(RenamerCheck("suchenersetzen", false, "Suchen nach:"));
  form.Add(RenamerCheck("cb_suchendung", false, "Dateiendung"));
  form.Add(RenamerCheck("cb_suchname", true, "Dateiname"));
  form.Add(RenamerCombo("maske", {"%name%", "%name%1", "%name%%num%", "%0num%", "%0num% %name%", "%0num%-%abs%"},
                        "%name%"));
  form.Add(RenamerCombo("numstart", {"0", "1"}, "1"));

  form.Add(RenamerControl(ControlKind::GroupBox, "gb_input",
                          "Ziehen Sie die Dateien, die umbenannt werden sollen in diese Liste oder öffnen Sie einen "
                          "Ordner."));
  form.Add(RenamerControl(ControlKind::Button, "OpenOrdner", "Ordner Öffnen.."));
  form.Add(RenamerControl(ControlKind::Button, "BitBtn1", "Filter.."));
  form.Add(RenamerControl(ControlKind::Button, "BitBtn3", "Markierte Löschen"));
  form.Add(RenamerControl(ControlKind::Button, "BitBtn2", "Alle Löschen"));
  form.Add(RenamerControl(ControlKind::Label, "la_anzahl"));
  form.Add(RenamerControl(ControlKind::GroupBox, "gb_maske", "Wählen Sie eine Maske für die betreffenden Dateien"));
  form.Add(RenamerControl(ControlKind::Label, "label3",
                          "Folgende Konstanten sind verfügbar. Klicken Sie auf eine Konstante, um sie in die Maske "
                          "einzufügen."));
  form.Add(RenamerControl(ControlKind::Label, "Label5", "%name%"));
  form.Add(RenamerControl(ControlKind::Label, "Label7", "%num%"));
  form.Add(RenamerControl(ControlKind::Label, "Label12", "%0num%"));
  form.Add(RenamerControl(ControlKind::Label, "Label9", "%abs%"));
  form.Add(RenamerControl(ControlKind::GroupBox, "gb_suchenersetzen",
                          "Ersetzen Sie in dem Dateinamen bestimmte Ausdrücke durch andere."));
  form.Add(RenamerControl(ControlKind::Label, "Label11", "Ersetzen durch:"));
  form.Add(RenamerControl(ControlKind::Label, "Label16", "Suchen und Ersetzen in:"));
  form.Add(RenamerControl(ControlKind::GroupBox, "gb_vorschau", "Vorschau"));
  form.Add(RenamerControl(ControlKind::Label, "vor_orig"));
  form.Add(RenamerControl(ControlKind::Label, "vor_out"));
  form.Add(RenamerControl(ControlKind::Button, "Umbenennen", "Umbenennen"));

  UpdateSearchEnabling(form);
  form.OnChange("suchenersetzen", [](Form& f, Control&) { UpdateSearchEnabling(f); });
  for (const char* name : {"maske", "suchenalt", "suchenneu"})
    form.SetKeyFilter(name, [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInName); });
  form.SetKeyFilter("quordner", [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInFolder); });
  form.SetKeyFilter("numstart",
                    [](Form&, Control&, char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; });
  form.OnDoubleClick("quordner", [](Form& f, Control& c) { f.SetSelection(c.name, 0, c.text.size()); });
  return form;
}

void ApplyRenamerLanguage(Form& form, Language language) {
  const bool en = language == Language::English;
  form.SetLanguageCode(language);
  form.SetCaption(en ? "File-Renamer - Corvana" : "Datei-Umbenenner - Corvana");
  form.SetControlCaption("gb_input", en ? "Drag the Files to be renamed to this List or open a Folder."
                                        : "Ziehen Sie die Dateien, die umbenannt werden sollen in diese Liste oder "
                                          "öffnen Sie einen Ordner.");
  form.SetControlCaption("OpenOrdner", en ? "Open Folder.." : "Ordner Öffnen..");
  form.SetControlCaption("uv", en ? "Search all Subfolders" : "Auch Unterverzeichnisse durchsuchen");
  form.SetControlCaption("BitBtn3", en ? "Delete Selected" : "Markierte Löschen");
  form.SetControlCaption("BitBtn2", en ? "Delete All" : "Alle Löschen");
  form.SetControlCaption("gb_maske",
                         en ? "Choose a Mask for the Files." : "Wählen Sie eine Maske für die betreffenden Dateien");
  form.SetControlCaption("label3", en ? "The following Constants are available. Click on a Constant, to copy it to "
                                       "the Mask."
                                     : "Folgende Konstanten sind verfügbar. Klicken Sie auf eine Konstante, um sie in "
                                       "die Maske einzufügen.");
  form.SetControlCaption("gb_suchenersetzen", en ? "Find and Replace Expressions in the Filename."
                                                 : "Ersetzen Sie in dem Dateinamen bestimmte Ausdrücke durch andere.");
  form.SetControlCaption("suchenersetzen", en ? "Search for:" : "Suchen nach:");
  form.SetControlCaption("Label11", en ? "Replace with:" : "Ersetzen durch:");
  form.SetControlCaption("Label16", en ? "Search and Replace in:" : "Suchen und Ersetzen in:");
  form.SetControlCaption("cb_suchname", en ? "File Name" : "Dateiname");
  form.SetControlCaption("cb_suchendung", en ? "File Extension" : "Dateiendung");
  form.SetControlCaption("gb_vorschau", en ? "Preview" : "Vorschau");
  form.SetControlCaption("Umbenennen", en ? "Rename" : "Umbenennen");
}

Form CreateRenamerFilterForm() {
  Form form("Tdateinamenumbenenner_filter", "Filter");
  form.Add(RenamerRadio("alle", true, "Alle Dateien suchen (Keinen Filter verwenden)"));
  form.Add(RenamerRadio("auswahl", false, "Nur nach folgenden Dateien suchen:"));
  form.Add(RenamerEdit("filter", "jpg,bmp,txt")).enabled = false;
  form.Add(RenamerControl(ControlKind::Label, "Label1", "Nach welchen Dateien soll gesucht werden?"));
  form.Add(RenamerControl(ControlKind::Button, "OK", "OK"));

  for (const char* radio : {"alle", "auswahl"})
    form.OnChange(radio, [](Form& f, Control&) { f.SetEnabled("filter", f.Checked("auswahl")); });
  form.SetKeyFilter("filter", [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInFilter); });
  return form;
}

void ApplyRenamerFilterLanguage(Form& form, Language language) {
  const bool en = language == Language::English;
  form.SetLanguageCode(language);
  form.SetControlCaption("Label1", en ? "Which files shall be looked for?" : "Nach welchen Dateien soll gesucht werden?");
  form.SetControlCaption("alle", en ? "Search for all files (Use no filter)" : "Alle Dateien suchen (Keinen Filter verwenden)");
  form.SetControlCaption("auswahl", en ? "Only search for following files:" : "Nur nach folgenden Dateien suchen:");
}

}  // namespace forms
