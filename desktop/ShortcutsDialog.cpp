#include "desktop/ShortcutsDialog.h"

#include "forms/EinstShortcutsForm.h"

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
  const bool en = form_.CurrentLanguage() == Language::English;
  form_.SetControlCaption("Label9", en ? "Vexilo makes these links for your user account only, so no administrator "
                                         "rights are needed."
                                       : "Vexilo legt diese Verknüpfungen nur für Ihr Benutzerkonto an, daher sind "
                                         "keine Administratorrechte nötig.");
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

const char* ShortcutsDialog::StatusText(bool active, Language language) {
  if (language == Language::English) return active ? "Activated" : "Not activated";
  return active ? "Aktiv" : "Nicht aktiv";
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
