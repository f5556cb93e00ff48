// The desktop-integration dialog: its one stored setting, the extension list of the last hook
// (ctl::shortcuts::kChosenExtensions), and the captions of its groups and buttons. The status
// labels are written by the integration code when it checks the hooks.
#pragma once

#include "forms/Form.h"

namespace forms {

// The dialog at its initial values, German texts.
Form CreateShortcutsForm();
void ApplyShortcutsLanguage(Form& shortcuts, Language language);

}  // namespace forms
