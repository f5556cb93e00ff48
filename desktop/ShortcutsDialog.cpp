#include "desktop/ShortcutsDialog.h"

#include "forms/ControlNames.h"
#include "forms/ShortcutsForm.h"
#include "forms/Texts.h"

namespace desktop {

using forms::Language;
namespace names = forms::ctl::shortcuts;

namespace {

constexpr Hook kStatusHooks[] = {Hook::ConfigurationFiles, Hook::SendTo, Hook::Folders, Hook::AllFiles};

}  // namespace

ShortcutsDialog::ShortcutsDialog(forms::Form& form, Integration& integration) : form_(form), integration_(integration) {
  Bind(names::kConfigurationFilesOn, Hook::ConfigurationFiles, true);
  Bind(names::kConfigurationFilesOff, Hook::ConfigurationFiles, false);
  Bind(names::kSendToOn, Hook::SendTo, true);
  Bind(names::kSendToOff, Hook::SendTo, false);
  Bind(names::kFoldersOn, Hook::Folders, true);
  Bind(names::kFoldersOff, Hook::Folders, false);
  Bind(names::kAllFilesOn, Hook::AllFiles, true);
  Bind(names::kAllFilesOff, Hook::AllFiles, false);
  Bind(names::kChosenExtensionsOn, Hook::ChosenExtensions, true);
  Bind(names::kChosenExtensionsOff, Hook::ChosenExtensions, false);
}

void ShortcutsDialog::Bind(std::string_view button, Hook hook, bool registering) {
  form_.OnClick(button, [this, hook, registering](forms::Form& form, forms::Control&) {
    const std::string extensions = hook == Hook::ChosenExtensions ? form.Text(names::kChosenExtensions) : std::string();
    if (registering) integration_.Register(hook, form.CurrentLanguage(), extensions);
    else integration_.Remove(hook, extensions);
    // A failed write shows as "Not activated"; the dialog raises no message.
    RefreshStatuses();
  });
}

void ShortcutsDialog::Show() {
  RefreshStatuses();
  form_.SetControlCaption(names::kRightsLabel,
                          forms::Text(form_.CurrentLanguage(), forms::TextGroup::Shortcuts, "user_links"));
  form_.SetVisible(names::kAdminNeededLabel, false);
  form_.SetVisible(names::kRestartAsAdminButton, false);
  form_.SetEnabled(names::kRestartAsAdminButton, false);
}

void ShortcutsDialog::ApplyLanguage(Language language) {
  forms::ApplyShortcutsLanguage(form_, language);
  Show();
}

void ShortcutsDialog::RefreshStatuses() {
  for (size_t i = 0; i < active_.size(); ++i) {
    active_[i] = integration_.Active(kStatusHooks[i]);
    form_.SetControlCaption(StatusLabel(kStatusHooks[i]), StatusText(active_[i], form_.CurrentLanguage()));
  }
}

bool ShortcutsDialog::StatusActive(Hook hook) const {
  for (size_t i = 0; i < active_.size(); ++i)
    if (kStatusHooks[i] == hook) return active_[i];
  return false;
}

std::string ShortcutsDialog::StatusText(bool active, Language language) {
  return forms::Text(language, forms::TextGroup::Shortcuts, active ? "active" : "inactive");
}

std::string_view ShortcutsDialog::StatusLabel(Hook hook) {
  switch (hook) {
    case Hook::ConfigurationFiles: return names::kConfigurationFilesStatus;
    case Hook::SendTo: return names::kSendToStatus;
    case Hook::Folders: return names::kFoldersStatus;
    case Hook::AllFiles: return names::kAllFilesStatus;
    case Hook::ChosenExtensions: break;
  }
  return "";
}

}  // namespace desktop
