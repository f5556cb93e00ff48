#include "forms/OptionsForm.h"

#include <algorithm>
#include <string>

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

Form CreateToptionenForm() {
  Form form("Toptionen", "");
  form.Add(MakeCheck("act_sizehochquerformat", true));
  form.Add(MakeCheck("act_sizebigger", true));
  form.Add(MakeCheck("act_sizekleiner", true));
  form.Add(MakeCheck("progressivaktiv", true));
  form.Add(MakeCheck("psdlayers", true));
  form.Add(MakeCombo("act_sizemethode", {"Bikubisch", "Bilinear", "Nächster Nachbar"}, "Bikubisch"));
  form.Add(MakeCombo("out_quality", {"100", "90", "85", "80", "75", "70", "60", "40", "20", "1"}, "95"));
  form.Add(MakeScrollBar("ScrollBar1", 1, 100, 95));
  form.Add(MakeControl(ControlKind::GroupBox, "GroupBox1"));
  form.Add(MakeControl(ControlKind::GroupBox, "GroupBox2"));
  form.Add(MakeControl(ControlKind::Label, "Label4"));
  form.Add(MakeControl(ControlKind::Label, "Label10"));
  form.Add(MakeControl(ControlKind::Button, "Button1"));
  // Beyond the original dialog: unchecked, a photo is turned upright, keeps its colour profile
  // and all its metadata, and an output gets the time it was written.
  form.Add(MakeControl(ControlKind::GroupBox, "GroupBox3"));
  form.Add(MakeCheck("keep_orientation", false));
  form.Add(MakeCheck("to_srgb", false));
  form.Add(MakeCheck("strip_location", false));
  form.Add(MakeCheck("keep_dates", false));

  form.OnChange("out_quality", [](Form& f, Control& c) {
    if (const auto value = ParseIntegerText(c.text)) f.SetPosition("ScrollBar1", std::clamp(*value, 1, 100));
  });
  form.OnChange("ScrollBar1", [](Form& f, Control& c) { f.SetText("out_quality", std::to_string(c.position)); });
  form.SetKeyFilter("out_quality", QualityKey);
  ApplyToptionenLanguage(form, Language::German);
  return form;
}

void ApplyToptionenLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::Options, language);
  const auto convert = [language](const std::string& t) {
    std::string text = t;
    for (const char* method : kResizeMethods) text = ConvertSpecial(text, method, language, true);
    return text;
  };
  ConvertItemList(form, "act_sizemethode", convert);
  form.SetText("act_sizemethode", convert(form.Text("act_sizemethode")));
}

std::optional<std::string_view> ResizeMethodOf(const std::string& text) {
  for (const char* method : kResizeMethods)
    for (const std::string& name : SpecialTexts(method))
      if (base::StartsWith(text, FirstLetters(name, 3))) return method;
  return std::nullopt;
}

}  // namespace forms
