#include "forms/RenamerForms.h"

#include <string_view>
#include <vector>

#include "forms/ControlNames.h"
#include "forms/Texts.h"

namespace forms {

namespace {

namespace names = ctl::renamer;
namespace filterNames = ctl::renamerFilter;

Control RenamerControl(ControlKind kind, std::string_view name, const char* caption = "") {
  Control c;
  c.kind = kind;
  c.name = std::string(name);
  c.caption = caption;
  return c;
}

Control RenamerEdit(std::string_view name, const char* text) {
  Control c = RenamerControl(ControlKind::Edit, name);
  c.text = text;
  c.selStart = c.text.size();
  return c;
}

Control RenamerCheck(std::string_view name, bool checked, const char* caption) {
  Control c = RenamerControl(ControlKind::Check, name, caption);
  c.checked = checked;
  return c;
}

Control RenamerCombo(std::string_view name, std::vector<std::string> items, const char* text) {
  Control c = RenamerControl(ControlKind::Combo, name);
  c.items = std::move(items);
  c.text = text;
  for (size_t i = 0; i < c.items.size(); ++i)
    if (c.items[i] == c.text) c.itemIndex = static_cast<int>(i);
  c.selStart = c.text.size();
  return c;
}

Control RenamerRadio(std::string_view name, bool checked, const char* caption) {
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

constexpr std::string_view kSearchControls[] = {names::kSearchText,     names::kReplacementText,
                                                names::kReplaceInName,  names::kReplaceInExtension,
                                                names::kReplacementLabel, names::kReplaceWhereLabel};

void UpdateSearchEnabling(Form& form) {
  const bool on = form.Checked(names::kSearchAndReplace);
  for (const std::string_view name : kSearchControls) form.SetEnabled(name, on);
}

}  // namespace

Form CreateRenamerForm() {
  Form form("Tdateinamenumbenenner", "");
  // Stored controls first, in their key order.
  form.Add(RenamerEdit(names::kSourceFolder, ""));
  form.Add(RenamerEdit(names::kSearchText, ""));
  form.Add(RenamerEdit(names::kReplacementText, ""));
  form.Add(RenamerCheck(names::kSubfolders, true, ""));
  form.Add(RenamerCheck(names::kSearchAndReplace, false, ""));
  form.Add(RenamerCheck(names::kReplaceInExtension, false, ""));
  form.Add(RenamerCheck(names::kReplaceInName, true, ""));
  form.Add(RenamerCombo(names::kMask, {"%name%", "%name%1", "%name%%num%", "%0num%", "%0num% %name%", "%0num%-%abs%"},
                        "%name%"));
  form.Add(RenamerCombo(names::kFirstNumber, {"0", "1"}, "1"));

  form.Add(RenamerControl(ControlKind::GroupBox, names::kInputGroup));
  form.Add(RenamerControl(ControlKind::Button, names::kOpenFolderButton));
  form.Add(RenamerControl(ControlKind::Button, names::kFilterButton));
  form.Add(RenamerControl(ControlKind::Button, names::kRemoveSelectedButton));
  form.Add(RenamerControl(ControlKind::Button, names::kRemoveAllButton));
  form.Add(RenamerControl(ControlKind::Label, names::kCountLabel));
  form.Add(RenamerControl(ControlKind::GroupBox, names::kMaskGroup));
  form.Add(RenamerControl(ControlKind::Label, names::kMaskHint));
  form.Add(RenamerControl(ControlKind::Label, names::kNamePlaceholder, "%name%"));
  form.Add(RenamerControl(ControlKind::Label, names::kNumberPlaceholder, "%num%"));
  form.Add(RenamerControl(ControlKind::Label, names::kZeroNumberPlaceholder, "%0num%"));
  form.Add(RenamerControl(ControlKind::Label, names::kTotalPlaceholder, "%abs%"));
  form.Add(RenamerControl(ControlKind::GroupBox, names::kSearchGroup));
  form.Add(RenamerControl(ControlKind::Label, names::kReplacementLabel));
  form.Add(RenamerControl(ControlKind::Label, names::kReplaceWhereLabel));
  form.Add(RenamerControl(ControlKind::GroupBox, names::kPreviewGroup));
  form.Add(RenamerControl(ControlKind::Label, names::kOldNameLabel));
  form.Add(RenamerControl(ControlKind::Label, names::kNewNameLabel));
  form.Add(RenamerControl(ControlKind::Button, names::kRenameButton));

  UpdateSearchEnabling(form);
  form.OnChange(names::kSearchAndReplace, [](Form& f, Control&) { UpdateSearchEnabling(f); });
  for (const std::string_view name : {names::kMask, names::kSearchText, names::kReplacementText})
    form.SetKeyFilter(name, [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInName); });
  form.SetKeyFilter(names::kSourceFolder,
                    [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInFolder); });
  form.SetKeyFilter(names::kFirstNumber,
                    [](Form&, Control&, char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; });
  form.OnDoubleClick(names::kSourceFolder, [](Form& f, Control& c) { f.SetSelection(c.name, 0, c.text.size()); });
  ApplyRenamerLanguage(form, Language::German);
  return form;
}

void ApplyRenamerLanguage(Form& form, Language language) { ApplyFormTexts(form, TextGroup::Renamer, language); }

Form CreateRenamerFilterForm() {
  Form form("Tdateinamenumbenenner_filter", "");
  form.Add(RenamerRadio(filterNames::kAllFiles, true, ""));
  form.Add(RenamerRadio(filterNames::kChosenExtensions, false, ""));
  form.Add(RenamerEdit(filterNames::kExtensions, "jpg,bmp,txt")).enabled = false;
  form.Add(RenamerControl(ControlKind::Label, filterNames::kQuestionLabel));
  form.Add(RenamerControl(ControlKind::Button, filterNames::kOkButton));

  for (const std::string_view radio : {filterNames::kAllFiles, filterNames::kChosenExtensions}) {
    form.OnChange(radio, [](Form& f, Control&) {
      f.SetEnabled(filterNames::kExtensions, f.Checked(filterNames::kChosenExtensions));
    });
  }
  form.SetKeyFilter(filterNames::kExtensions,
                    [](Form&, Control&, char32_t key) { return !Refused(key, kRefusedInFilter); });
  ApplyRenamerFilterLanguage(form, Language::German);
  return form;
}

void ApplyRenamerFilterLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::RenamerFilter, language);
}

}  // namespace forms
