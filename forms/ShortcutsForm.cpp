#include "forms/ShortcutsForm.h"

#include <string_view>

#include "forms/ControlNames.h"
#include "forms/Texts.h"

namespace forms {

namespace {

namespace names = ctl::shortcuts;

Control ShortcutsControl(ControlKind kind, std::string_view name, const char* caption = "") {
  Control c;
  c.kind = kind;
  c.name = std::string(name);
  c.caption = caption;
  return c;
}

// The groups, each with a label that describes it.
struct Group {
  std::string_view box;
  std::string_view descriptionLabel;
};
constexpr Group kGroups[] = {{names::kConfigurationFilesGroup, names::kConfigurationFilesText},
                             {names::kSendToGroup, names::kSendToText},
                             {names::kFoldersGroup, names::kFoldersText},
                             {names::kAllFilesGroup, names::kAllFilesText}};

constexpr std::string_view kRegisterButtons[] = {names::kConfigurationFilesOn, names::kSendToOn, names::kFoldersOn,
                                                 names::kAllFilesOn, names::kChosenExtensionsOn};
constexpr std::string_view kRemoveButtons[] = {names::kConfigurationFilesOff, names::kSendToOff, names::kFoldersOff,
                                               names::kAllFilesOff, names::kChosenExtensionsOff};
constexpr std::string_view kStatusLabels[] = {names::kConfigurationFilesStatus, names::kSendToStatus,
                                              names::kFoldersStatus, names::kAllFilesStatus};

}  // namespace

Form CreateShortcutsForm() {
  Form form("Teinstshortcuts", "");
  Control extensions = ShortcutsControl(ControlKind::Edit, names::kChosenExtensions);
  extensions.text = "jpg,bmp,png";
  extensions.selStart = extensions.text.size();
  form.Add(extensions);

  form.Add(ShortcutsControl(ControlKind::Label, names::kAdminNeededLabel));
  form.Add(ShortcutsControl(ControlKind::Label, names::kRightsLabel));
  form.Add(ShortcutsControl(ControlKind::Label, names::kHelpLabel));
  form.Add(ShortcutsControl(ControlKind::Label, names::kHelpLink));
  form.Add(ShortcutsControl(ControlKind::Button, names::kRestartAsAdminButton));
  for (const Group& group : kGroups) {
    form.Add(ShortcutsControl(ControlKind::GroupBox, group.box));
    form.Add(ShortcutsControl(ControlKind::Label, group.descriptionLabel));
  }
  form.Add(ShortcutsControl(ControlKind::Label, names::kChosenExtensionsLabel));
  for (const std::string_view status : kStatusLabels) form.Add(ShortcutsControl(ControlKind::Label, status));
  for (const std::string_view button : kRegisterButtons) form.Add(ShortcutsControl(ControlKind::Button, button));
  for (const std::string_view button : kRemoveButtons) form.Add(ShortcutsControl(ControlKind::Button, button));
  form.Add(ShortcutsControl(ControlKind::Button, names::kOkButton));
  ApplyShortcutsLanguage(form, Language::German);
  return form;
}

void ApplyShortcutsLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::Shortcuts, language);
}

}  // namespace forms
