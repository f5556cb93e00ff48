#include "forms/ToptionenForm.h"

#include <algorithm>
#include <string>

#include "forms/NumberText.h"
#include "base/Text.h"

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

struct PhotoTexts {
  const char* group;
  const char* keepOrientation;
  const char* toSrgb;
  const char* stripLocation;
};
constexpr PhotoTexts kGerman = {
    "Fotos",
    "Gespeicherte Ausrichtung beibehalten (Fotos nicht nach ihren Exif-Angaben aufrichten)",
    "Farben nach sRGB umrechnen statt das eingebettete Farbprofil zu übernehmen",
    "Aufnahmeort und persönliche Angaben (GPS, Besitzer, Seriennummern) aus JPEG-Metadaten entfernen"};
constexpr PhotoTexts kEnglish = {
    "Photos",
    "Keep the stored orientation (do not turn photos upright by their Exif data)",
    "Convert colours to sRGB instead of keeping the embedded colour profile",
    "Remove the location and personal data (GPS, owner, serial numbers) from JPEG metadata"};

}  // namespace

Form CreateToptionenForm() {
  Form form("Toptionen", "Optionen");
  form.Add(MakeCheck("act_sizehochquerformat", true, "Unterscheidung zwischen Hoch- und Querformat"));
  form.Add(MakeCheck("act_sizebigger", true, "Ändern wenn Ursprungsbild größer als Maximalgröße"));
  form.Add(MakeCheck("act_sizekleiner", true, "Ändern wenn Ursprungsbild kleiner als Maximalgröße"));
  form.Add(MakeCheck("progressivaktiv", true, "Progressiv-Funktion für Formate JPEG, JNG und MNG verwenden"));
  form.Add(MakeCheck("psdlayers", true, "Bild als Ebene einfügen im Photoshop Format PSD"));
  form.Add(MakeCombo("act_sizemethode", {"Bikubisch", "Bilinear", "Nächster Nachbar"}, "Bikubisch"));
  form.Add(MakeCombo("out_quality", {"100", "90", "85", "80", "75", "70", "60", "40", "20", "1"}, "95"));
  form.Add(MakeScrollBar("ScrollBar1", 1, 100, 95));
  form.Add(MakeControl(ControlKind::GroupBox, "GroupBox1", "Allgemeine Einstellungen"));
  form.Add(MakeControl(ControlKind::GroupBox, "GroupBox2", "Erweiterte Einstellungen"));
  form.Add(MakeControl(ControlKind::Label, "Label4", "Methode der Vergrößerung oder Verkleinerung:"));
  form.Add(MakeControl(ControlKind::Label, "Label10", "Ausgabe-Qualität für Formate JPEG, JNG, MNG und JPG2000"));
  form.Add(MakeControl(ControlKind::Button, "Button1", "OK"));
  // Beyond the original dialog: unchecked, a photo is turned upright, keeps its colour profile
  // and keeps all its metadata.
  form.Add(MakeControl(ControlKind::GroupBox, "GroupBox3", "Fotos"));
  form.Add(MakeCheck("keep_orientation", false, kGerman.keepOrientation));
  form.Add(MakeCheck("to_srgb", false, kGerman.toSrgb));
  form.Add(MakeCheck("strip_location", false, kGerman.stripLocation));

  form.OnChange("out_quality", [](Form& f, Control& c) {
    if (const auto value = ParseIntegerText(c.text)) f.SetPosition("ScrollBar1", std::clamp(*value, 1, 100));
  });
  form.OnChange("ScrollBar1", [](Form& f, Control& c) { f.SetText("out_quality", std::to_string(c.position)); });
  form.SetKeyFilter("out_quality", QualityKey);
  return form;
}

void ApplyToptionenLanguage(Form& form, Language language) {
  const bool en = language == Language::English;
  form.SetLanguageCode(language);
  form.SetCaption(en ? "Options" : "Optionen");
  form.SetControlCaption("GroupBox1", en ? "General Settings" : "Allgemeine Einstellungen");
  form.SetControlCaption("act_sizehochquerformat",
                         en ? "Distinction between Landscape and Portrait" : "Unterscheidung zwischen Hoch- und Querformat");
  form.SetControlCaption("act_sizekleiner", en ? "Process if Original is smaller than Maximum Size"
                                               : "Ändern wenn Ursprungsbild kleiner als Maximalgröße");
  form.SetControlCaption("act_sizebigger", en ? "Process if Original is larger than Maximum Size"
                                              : "Ändern wenn Ursprungsbild größer als Maximalgröße");
  form.SetControlCaption("GroupBox2", en ? "Advanced Settings" : "Erweiterte Einstellungen");
  form.SetControlCaption("Label4", en ? "Resize Method:" : "Methode der Vergrößerung oder Verkleinerung:");
  form.SetControlCaption("Label10", en ? "Output-Quality for the formats JPEG, JNG, MNG and JPG2000"
                                       : "Ausgabe-Qualität für Formate JPEG, JNG, MNG und JPG2000");
  form.SetControlCaption("progressivaktiv", en ? "Use Progressive-Function for the formats JPEG, JNG and MNG"
                                               : "Progressiv-Funktion für Formate JPEG, JNG und MNG verwenden");
  form.SetControlCaption("psdlayers",
                         en ? "Insert image as layer in format PSD (Photoshop)" : "Bild als Ebene einfügen im Photoshop Format PSD");
  const PhotoTexts& photo = en ? kEnglish : kGerman;
  form.SetControlCaption("GroupBox3", photo.group);
  form.SetControlCaption("keep_orientation", photo.keepOrientation);
  form.SetControlCaption("to_srgb", photo.toSrgb);
  form.SetControlCaption("strip_location", photo.stripLocation);

  auto convert = [en](const std::string& t) {
    return en ? base::ReplaceFirst(base::ReplaceFirst(t, "Bikubisch", "Bicubic"), "Nächster Nachbar", "Nearest")
              : base::ReplaceFirst(base::ReplaceFirst(t, "Bicubic", "Bikubisch"), "Nearest", "Nächster Nachbar");
  };
  ConvertItemList(form, "act_sizemethode", convert);
  form.SetText("act_sizemethode", convert(form.Text("act_sizemethode")));
}

}  // namespace forms
