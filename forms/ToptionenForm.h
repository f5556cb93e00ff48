// The options dialog's form `Toptionen`: the larger/smaller and orientation switches, the
// resampling method, the output quality with its scroll bar, progressive and layer output, and
// the photo switches of this program (orientation, colour profile, personal metadata).
#pragma once

#include "forms/Form.h"

namespace forms {

// The form at its initial values with German texts.
Form CreateToptionenForm();

// Captions, and "Bikubisch"/"Bicubic" and "Nächster Nachbar"/"Nearest" in the method box
// (first occurrence, text and items).
void ApplyToptionenLanguage(Form& toptionen, Language language);

}  // namespace forms
