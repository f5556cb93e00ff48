#include "forms/ShortcutsForm.h"

#include "forms/Texts.h"

namespace forms {

namespace {

Control ShortcutsControl(ControlKind kind, const char* name, const char* caption = "") {
  Control c;
  c.kind = kind;
  c.name = name;
  c.caption = caption;
  return c;
}

// The groups, each with a label that describes it.
struct Group {
  const char* box;
  const char* descriptionLabel;
};
constexpr Group kGroups[] = {{"gb1", "Label1"}, {"gb2", "Label2"}, {"gb3", "Label3"}, {"gb4", "Label4"}};

constexpr const char* kRegisterButtons[] = {"KonfigAn", "SendenAnAn", "OrdnerAn", "AlleDateienAn", "BeliebigeDateienAn"};
constexpr const char* kRemoveButtons[] = {"KonfigAus", "SendenAnAus", "OrdnerAus", "AlleDateienAus",
                                          "BeliebigeDateienAus"};

}  // namespace

Form CreateEinstShortcutsForm() {
  Form form("Teinstshortcuts", "");
  Control extensions = ShortcutsControl(ControlKind::Edit, "beldateien");
  extensions.text = "jpg,bmp,png";
  extensions.selStart = extensions.text.size();
  form.Add(extensions);

  form.Add(ShortcutsControl(ControlKind::Label, "Label6"));
  form.Add(ShortcutsControl(ControlKind::Label, "Label9"));
  form.Add(ShortcutsControl(ControlKind::Label, "Label12"));
  form.Add(ShortcutsControl(ControlKind::Label, "Label70"));
  form.Add(ShortcutsControl(ControlKind::Button, "AlsAdminStarten"));
  for (const Group& group : kGroups) {
    form.Add(ShortcutsControl(ControlKind::GroupBox, group.box));
    form.Add(ShortcutsControl(ControlKind::Label, group.descriptionLabel));
  }
  form.Add(ShortcutsControl(ControlKind::Label, "Label5"));
  for (const char* status : {"ver_konfig", "ver_sendenan", "ver_ordner", "ver_alledateien"})
    form.Add(ShortcutsControl(ControlKind::Label, status));
  for (const char* button : kRegisterButtons) form.Add(ShortcutsControl(ControlKind::Button, button));
  for (const char* button : kRemoveButtons) form.Add(ShortcutsControl(ControlKind::Button, button));
  form.Add(ShortcutsControl(ControlKind::Button, "OK"));
  ApplyEinstShortcutsLanguage(form, Language::German);
  return form;
}

void ApplyEinstShortcutsLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::Shortcuts, language);
}

}  // namespace forms
