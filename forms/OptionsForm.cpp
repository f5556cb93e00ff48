#include "forms/OptionsForm.h"

#include <algorithm>
#include <string>

#include "forms/ControlNames.h"
#include "forms/NumberText.h"
#include "base/Text.h"
#include "forms/Texts.h"

namespace forms {

namespace {

// Keys of the quality box: digits and backspace only. A text longer than three characters
// becomes "100". While the text holds a value outside 1..100 further digits are dropped, but
// backspace still works, so the box can always be corrected.
bool QualityKey(Form& form, Control& box, char32_t key) {
  const bool digit = key >= U'0' && key <= U'9';
  if (!digit && key != kBackspace) return false;
  if (box.text.size() > 3) {
    form.SetText(box.name, "100");
    return false;
  }
  if (key == kBackspace) return true;
  const auto value = ParseIntegerText(box.text);
  return !(value && (*value <= 0 || *value > 100));
}

// The first letters of a text (UTF-8 characters, not bytes).
std::string_view FirstLetters(std::string_view text, int count) {
  size_t end = 0;
  for (int letters = 0; end < text.size() && letters < count; ++letters) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return text.substr(0, end);
}

}  // namespace

Form CreateOptionsForm() {
  Form form("Toptionen", "");
  form.Add(MakeCheck(ctl::kRotateBox, true));
  form.Add(MakeCheck(ctl::kShrinkLarger, true));
  form.Add(MakeCheck(ctl::kEnlargeSmaller, true));
  form.Add(MakeCheck(ctl::kProgressive, true));
  form.Add(MakeCheck(ctl::kPhotoshopLayer, true));
  form.Add(MakeCombo(ctl::kResizeMethod, {"Bikubisch", "Bilinear", "Nächster Nachbar"}, "Bikubisch"));
  form.Add(MakeCombo(ctl::kQuality, {"100", "90", "85", "80", "75", "70", "60", "40", "20", "1"}, "95"));
  form.Add(MakeScrollBar(ctl::kQualityScrollBar, 1, 100, 95));
  form.Add(MakeControl(ControlKind::GroupBox, ctl::kGeneralGroup));
  form.Add(MakeControl(ControlKind::GroupBox, ctl::kAdvancedGroup));
  form.Add(MakeControl(ControlKind::Label, ctl::kResizeMethodLabel));
  form.Add(MakeControl(ControlKind::Label, ctl::kQualityLabel));
  form.Add(MakeControl(ControlKind::Button, ctl::kOptionsOkButton));
  // Beyond the original dialog: unchecked, a photo is turned upright, keeps its colour profile
  // and all its metadata, and an output gets the time it was written.
  form.Add(MakeControl(ControlKind::GroupBox, ctl::kPhotosGroup));
  form.Add(MakeCheck(ctl::kKeepOrientation, false));
  form.Add(MakeCheck(ctl::kToSrgb, false));
  form.Add(MakeCheck(ctl::kStripLocation, false));
  form.Add(MakeCheck(ctl::kKeepDates, false));

  form.OnChange(ctl::kQuality, [](Form& f, Control& c) {
    if (const auto value = ParseIntegerText(c.text)) f.SetPosition(ctl::kQualityScrollBar, std::clamp(*value, 1, 100));
  });
  form.OnChange(ctl::kQualityScrollBar,
                [](Form& f, Control& c) { f.SetText(ctl::kQuality, std::to_string(c.position)); });
  form.SetKeyFilter(ctl::kQuality, QualityKey);
  ApplyOptionsLanguage(form, Language::German);
  return form;
}

void ApplyOptionsLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::Options, language);
  const auto convert = [language](const std::string& t) {
    std::string text = t;
    for (const char* method : kResizeMethods) text = ConvertSpecial(text, method, language, true);
    return text;
  };
  ConvertItemList(form, ctl::kResizeMethod, convert);
  form.SetText(ctl::kResizeMethod, convert(form.Text(ctl::kResizeMethod)));
}

std::optional<std::string_view> ResizeMethodOf(const std::string& text) {
  for (const char* method : kResizeMethods)
    for (const std::string& name : SpecialTexts(method))
      if (base::StartsWith(text, FirstLetters(name, 3))) return method;
  return std::nullopt;
}

}  // namespace forms
