// The options dialog's form: the larger/smaller and orientation switches, the
// resampling method, the output quality with its scroll bar, progressive and layer output, and
// the switches of this program: the photo switches (orientation, colour profile, personal
// metadata) and whether outputs keep the file dates of their sources.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "forms/Form.h"

namespace forms {

// The form at its initial values with German texts.
Form CreateOptionsForm();

// Captions, and the names of the resampling methods in the method box converted to the
// language ("Bikubisch"/"Bicubic", "Nächster Nachbar"/"Nearest"; first occurrence, text and items).
void ApplyOptionsLanguage(Form& options, Language language);

// The resampling methods by their keys among the special texts (forms/Texts.h).
inline constexpr const char* kResizeMethods[] = {"bicubic", "bilinear", "nearest"};
// The method a text of the method box (ctl::kResizeMethod) names: the first whose name, in any language, begins
// with the same three letters as the text ("Bic" or "Bik" bicubic, "Bil" bilinear, "Näc" or
// "Nea" nearest); none for any other text.
std::optional<std::string_view> ResizeMethodOf(const std::string& text);

}  // namespace forms
