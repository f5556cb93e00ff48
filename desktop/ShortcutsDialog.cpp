#include "desktop/ShortcutsDialog.h"

#include "forms/ShortcutsForm.h"
#include "forms/Texts.h"

namespace desktop {

using forms::Language;

namespace {

constexpr Hook kStatusHooks[] = {Hook::ConfigurationFiles, Hook::SendTo, Hook::Folders, Hook::AllFiles};

}  // namespace

ShortcutsDialog::ShortcutsDialog(forms::Form& form, Integration& integration) : form_(form), integration_(integration) {
  Bind("KonfigAn", Hook::ConfigurationFiles, true);
  Bind("KonfigAus", Hook::ConfigurationFiles, false);
  Bind("SendenAnAn", Hook::SendTo, true);
  Bind("SendenAnAus", Hook::SendTo, false);
  Bind("OrdnerAn", Hook::Folders, true);
  Bind("OrdnerAus", Hook::Folders, false);
  Bind("AlleDateienAn", Hook::AllFiles, true);
  Bind("AlleDateienAus", Hook::AllFiles, false);
  Bind("BeliebigeDateienAn", Hook::ChosenExtensions, true);
  Bind("BeliebigeDateienAus", Hook::ChosenExtensions, false);
}

void ShortcutsDialog::Bind(const char* button, Hook hook, bool registering) {
  form_.OnClick(button, [this, hook, registering](forms::Form& form, forms::Control&) {
    const std::string extensions = hook == Hook::ChosenExtensions ? form.Text("beldateien") : std::string();
    if (registering) integration_.Register(hook, form.CurrentLanguage(), extensions);
    else integration_.Remove(hook, extensions);
    // A failed write shows as "Not activated"; the dialog raises no message.
    RefreshStatuses();
  });
}

void ShortcutsDialog::Show() {
  RefreshStatuses();
  form_.SetControlCaption("Label9", forms::Text(form_.CurrentLanguage(), forms::TextGroup::Shortcuts, "user_links"));
  form_.SetVisible("Label6", false);
  form_.SetVisible("AlsAdminStarten", false);
  form_.SetEnabled("AlsAdminStarten", false);
}

void ShortcutsDialog::ApplyLanguage(Language language) {
  forms::ApplyEinstShortcutsLanguage(form_, language);
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

const char* ShortcutsDialog::StatusLabel(Hook hook) {
  switch (hook) {
    case Hook::ConfigurationFiles: return "ver_konfig";
    case Hook::SendTo: return "ver_sendenan";
    case Hook::Folders: return "ver_ordner";
    case Hook::AllFiles: return "ver_alledateien";
    case Hook::ChosenExtensions: break;
  }
  return "";
}

}  // namespace desktop
