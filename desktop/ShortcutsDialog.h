// The model of the desktop-integration dialog: its buttons register and remove the hooks of
// desktop/Integration.h, and its status labels show which hooks are active. It works on the
// dialog's Form, so a window only mirrors the controls and forwards clicks (Form::Click on the
// button's name).
//
// The hooks are the user's own files, so no administrator rights are needed: the rights label
// says so, and the label that asks for them and the restart button are hidden.
#pragma once

#include <array>
#include <string_view>

#include "desktop/Integration.h"
#include "forms/Form.h"

namespace desktop {

class ShortcutsDialog {
public:
  // Binds the buttons of the form (made by forms::CreateShortcutsForm) to the hooks. Both
  // the form and the integration must outlive this object, and this object the form's clicks.
  ShortcutsDialog(forms::Form& form, Integration& integration);
  ShortcutsDialog(const ShortcutsDialog&) = delete;
  ShortcutsDialog& operator=(const ShortcutsDialog&) = delete;

  // When the dialog is shown: statuses and the rights labels.
  void Show();
  // Writes every text of the dialog in the language, then refreshes as Show does.
  void ApplyLanguage(forms::Language language);
  // Reads every hook's status into its label (done after every button too).
  void RefreshStatuses();

  // The last status read for a hook with a label (ConfigurationFiles, SendTo, Folders,
  // AllFiles): the window colours the label by it (active green, else red).
  bool StatusActive(Hook hook) const;
  // "Activated" / "Not activated", "Aktiv" / "Nicht aktiv".
  static std::string StatusText(bool active, forms::Language language);
  // The status label of a hook (forms::ctl::shortcuts::kFoldersStatus, ...); empty for a hook
  // without one.
  static std::string_view StatusLabel(Hook hook);

private:
  void Bind(std::string_view button, Hook hook, bool registering);

  forms::Form& form_;
  Integration& integration_;
  std::array<bool, 4> active_{};
};

}  // namespace desktop
