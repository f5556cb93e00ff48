// The desktop-integration dialog `Teinstshortcuts`: its one stored setting, the extension list
// `beldateien`, and the captions of its groups and buttons. The status labels are written by
// the integration code when it checks the hooks.
#pragma once

#include "forms/Form.h"

namespace forms {

// The dialog at its initial values, German texts.
Form CreateEinstShortcutsForm();
void ApplyEinstShortcutsLanguage(Form& shortcuts, Language language);

}  // namespace forms
