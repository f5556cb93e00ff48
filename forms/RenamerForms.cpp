#include "forms/RenamerForms.h"

#include <string_view>
#include <vector>

#include "forms/Texts.h"

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
  Form form("Tdateinamenumbenenner", "");
  // Stored controls first, in their key order.
  form.Add(RenamerEdit("quordner", ""));
  form.Add(RenamerEdit("suchenalt", ""));
  form.Add(RenamerEdit("suchenneu", ""));
  form.Add(RenamerCheck("uv", true, ""));
  form.Add(RenamerCheck("suchenersetzen", false, ""));
  form.Add(RenamerCheck("cb_suchendung", false, ""));
  form.Add(RenamerCheck("cb_suchname", true, ""));
  form.Add(RenamerCombo("maske", {"%name%", "%name%1", "%name%%num%", "%0num%", "%0num% %name%", "%0num%-%abs%"},
                        "%name%"));
  form.Add(RenamerCombo("numstart", {"0", "1"}, "1"));

  form.Add(RenamerControl(ControlKind::GroupBox, "gb_input"));
  form.Add(RenamerControl(ControlKind::Button, "OpenOrdner"));
  form.Add(RenamerControl(ControlKind::Button, "BitBtn1"));
  form.Add(RenamerControl(ControlKind::Button, "BitBtn3"));
  form.Add(RenamerControl(ControlKind::Button, "BitBtn2"));
  form.Add(RenamerControl(ControlKind::Label, "la_anzahl"));
  form.Add(RenamerControl(ControlKind::GroupBox, "gb_maske"));
  form.Add(RenamerControl(ControlKind::Label, "label3"));
  form.Add(RenamerControl(ControlKind::Label, "Label5", "%name%"));
  form.Add(RenamerControl(ControlKind::Label, "Label7", "%num%"));
  form.Add(RenamerControl(ControlKind::Label, "Label12", "%0num%"));
  form.Add(RenamerControl(ControlKind::Label, "Label9", "%abs%"));
  form.Add(RenamerControl(ControlKind::GroupBox, "gb_suchenersetzen"));
  form.Add(RenamerControl(ControlKind::Label, "Label11"));
  form.Add(RenamerControl(ControlKind::Label, "Label16"));
  form.Add(RenamerControl(ControlKind::GroupBox, "gb_vorschau"));
  form.Add(RenamerControl(ControlKind::Label, "vor_orig"));
  form.Add(RenamerControl(ControlKind::Label, "vor_out"));
  form.Add(RenamerControl(ControlKind::Button, "Umbenennen"));

  UpdateSearchEnabling(form);
  form.OnChange("suchenersetzen", [](Form& f, Control&) { UpdateSearchEnabling(f); });
  for (const char* name : {"maske", "suchenalt", "suchenneu"})
    form.SetKeyFilter(name, [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInName); });
  form.SetKeyFilter("quordner", [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInFolder); });
  form.SetKeyFilter("numstart",
                    [](Form&, Control&, char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; });
  form.OnDoubleClick("quordner", [](Form& f, Control& c) { f.SetSelection(c.name, 0, c.text.size()); });
  ApplyRenamerLanguage(form, Language::German);
  return form;
}

void ApplyRenamerLanguage(Form& form, Language language) { ApplyFormTexts(form, TextGroup::Renamer, language); }

Form CreateRenamerFilterForm() {
  Form form("Tdateinamenumbenenner_filter", "");
  form.Add(RenamerRadio("alle", true, ""));
  form.Add(RenamerRadio("auswahl", false, ""));
  form.Add(RenamerEdit("filter", "jpg,bmp,txt")).enabled = false;
  form.Add(RenamerControl(ControlKind::Label, "Label1"));
  form.Add(RenamerControl(ControlKind::Button, "OK"));

  for (const char* radio : {"alle", "auswahl"})
    form.OnChange(radio, [](Form& f, Control&) { f.SetEnabled("filter", f.Checked("auswahl")); });
  form.SetKeyFilter("filter", [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInFilter); });
  ApplyRenamerFilterLanguage(form, Language::German);
  return form;
}

void ApplyRenamerFilterLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::RenamerFilter, language);
}

}  // namespace forms
