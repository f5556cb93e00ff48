#include "forms/MainForm.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/Text.h"
#include "forms/Texts.h"

namespace forms {

namespace {

// Panel heights and the width box's two places; the radio buttons and panels of the size page
// are stacked from these by LayoutTprogPages.
constexpr int kFirstRadioTop = 27;
constexpr int kRadioToPanel = 18;
constexpr int kBlockGap = 5;
constexpr int kPercentWidthBoxCoupled = 144;
constexpr int kPercentWidthBoxApart = 185;

// In creation order.
const char* const kSizeBoxes[] = {"act_sizeprozent_x", "act_sizeprozent_y", "act_sizebenutzer_x", "act_sizebenutzer_y"};

bool IsDigitKey(char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; }

// Characters the folder and name boxes refuse; only codes 32 to 127 are tested. The folder
// boxes accept "/", the path separator here, and refuse the characters no folder name may hold.
bool RefusedInFolder(char32_t key) {
  return key >= 32 && key <= 127 && std::u32string_view(U"\"*<>?|").find(key) != std::u32string_view::npos;
}
bool RefusedInName(char32_t key) {
  return key >= 32 && key <= 127 && std::u32string_view(U"\"*/:<>?\\|").find(key) != std::u32string_view::npos;
}

// A custom entry empties the box and hands it to the user.
void TakeCustomEntry(Form& form, Control& box) {
  if (!IsCustomEntry(box.text)) return;
  const std::string name = box.name;
  form.SelectItem(name, -1);
  form.SetText(name, "");
  form.Focus(name);
}

void ApplyCoupledPercent(Form& form) {
  const bool coupled = form.Checked("act_propprozent");
  if (coupled) form.SetText("act_sizeprozent_y", form.Text("act_sizeprozent_x"));
  form.SetVisible("act_sizeprozent_y", !coupled);
  form.SetVisible("Label6", !coupled);
  form.SetVisible("Label14", !coupled);
  form.SetLeft("act_sizeprozent_x", coupled ? kPercentWidthBoxCoupled : kPercentWidthBoxApart);
}

}  // namespace

bool IsCustomEntry(const std::string& text) {
  if (!base::EndsWith(text, "..")) return false;
  const std::string_view word = std::string_view(text).substr(0, text.size() - 2);
  return IsSpecialText(word, "custom") || IsSpecialText(word, "user");
}

bool IsKeepEntry(const std::string& text) { return IsSpecialText(text, "keep"); }

const std::vector<std::string>& OutputFormatItems() {
  static const std::vector<std::string> items = {
      "<beibehalten>",
      "*.jpg - JPEG-Bild",
      "*.png - Portable Network Graphics",
      "*.gif - Graphics Interchange Format",
      "*.bmp - Windows Bitmap",
      "*.dib - Windows Bitmap",
      "*.ico - Windows Icon",
      "*.cur - Windows Cursor",
      "*.psd - Photoshop Bild",
      "*.pdd - Photoshop Bild",
      "*.tif - Tagged Image File Format",
      "*.tiff - Tagged Image File Format",
      "*.jpeg - JPEG-Bild",
      "*.jfif - JPEG-Bild",
      "*.jpe - JPEG-Bild",
      "*.jif - JPEG-Bild",
      "*.mng - Multiple Network Graphics",
      "*.jng - JPEG Network Graphics\u00B4",
      "*.pgm - Portable Gray Map",
      "*.ppm - Portable Pixel Map",
      "*.pam - Portable Arbitrary Map",
      "*.pfm - Portable Float Map",
      "*.jp2 - JPEG 2000",
      "*.j2k - JPEG 2000",
      "*.j2c - JPEG 2000",
      "*.jpx - JPEG 2000",
      "*.jpc - JPEG 2000",
      "*.dds - DirectDraw Surface",
      "*.tga - Truevision Targa Bild",
      "*.webp - WebP",
      "*.avif - AV1 Image File Format",
      "*.heic - High Efficiency Image File Format",
  };
  return items;
}

Form CreateTprogForm() {
  Form form("Tprog", "");

  form.Add(MakePanel("Panel1", true));
  form.Add(MakePanel("Panel2", true));
  form.Add(MakePanel("Panel5", true));
  form.Add(MakePanel("pa_pixel", true, 100));
  form.Add(MakePanel("pa_prozent", false, 76));
  form.Add(MakePanel("pa_filesize", false, 40));
  form.Add(MakePanel("pa_benutzer", false, 76));
  form.Add(MakePanel("pa_faktor", false, 62));
  form.Add(MakePanel("pa_speichern", true));
  form.Add(MakePanel("Panel12", true, 30));

  form.Add(MakeEdit("inp_ordner", ""));
  form.Add(MakeEdit("ed_filesize", "100"));
  form.Add(MakeEdit("ed_faktor", "2"));

  form.Add(MakeRadio("rb_pixel", "sizemode", true));
  form.Add(MakeRadio("rb_prozent", "sizemode", false));
  form.Add(MakeRadio("rb_filesize", "sizemode", false));
  form.Add(MakeRadio("act_size240x320", "preset", false, "240 x 320"));
  form.Add(MakeRadio("act_size640x480", "preset", true, "640 x 480"));
  form.Add(MakeRadio("act_size800x600", "preset", false, "800 x 600"));
  form.Add(MakeRadio("act_size1024x768", "preset", false, "1024 x 768"));
  form.Add(MakeRadio("rb_benutzer", "sizemode", false));
  form.Add(MakeRadio("rb_faktor", "sizemode", false));
  form.Add(MakeRadio("out_overwrite", "output", false));
  form.Add(MakeRadio("out_newimage", "output", true));

  form.Add(MakeCheck("act_sizeprop", true));
  form.Add(MakeCheck("act_propprozent", true));
  form.Add(MakeCheck("act_propbenutzer_prop", true));

  const std::vector<std::string> percentItems = {"10", "25", "50", "75", "100", "125", "150", "200", "250", "500",
                                                 "Benutzer.."};
  const std::vector<std::string> pixelItems = {"100",  "240",  "320",  "480",  "600",  "640",  "720",
                                               "768",  "800",  "864",  "1024", "1152", "1280", "1366",
                                               "1440", "1600", "1792", "1920", "2048", "Benutzer.."};
  for (const char* box : kSizeBoxes) {
    const bool percent = std::string_view(box).find("prozent") != std::string_view::npos;
    const char* initial = percent ? "75" : std::string_view(box).back() == 'x' ? "640" : "480";
    Control& combo = form.Add(MakeCombo(box, percent ? percentItems : pixelItems, initial));
    combo.dropDownCount = 15;
    combo.restoreText = initial;
  }
  form.Add(MakeCombo("out_ordner", {"<beibehalten>", "%ordner%/neu", "Benutzerdefiniert.."}, "<beibehalten>"));
  form.Add(MakeCombo("out_name",
                     {"<beibehalten>", "%name%-1", "%name%", "%0num%", "%0num%-%abs%", "%num%",
                      "%name% (%breite%x%höhe%)", "Benutzerdefiniert.."},
                     "%name%-1"));
  form.Add(MakeCombo("out_format", OutputFormatItems(), "<beibehalten>", false));

  form.Add(MakeControl(ControlKind::Label, "Label6"));
  form.Add(MakeControl(ControlKind::Label, "Label14"));
  form.SetLeft("act_sizeprozent_x", kPercentWidthBoxApart);

  // ---- Behaviour ----
  for (const char* box : kSizeBoxes) {
    form.OnChange(box, TakeCustomEntry);
    form.OnExit(box, [](Form& f, Control& c) {
      if (c.text.empty() && c.restoreText) f.SetText(c.name, *c.restoreText);
    });
    form.SetKeyFilter(box, [](Form& f, Control&, char32_t key) {
      if (IsDigitKey(key)) return true;
      f.Inform(Text(f.CurrentLanguage(), TextGroup::MainWindow, "numbers_only"));
      return false;
    });
  }
  form.OnChange("act_sizeprozent_x", [](Form& f, Control& c) {
    if (f.Checked("act_propprozent") && !IsCustomEntry(c.text)) f.SetText("act_sizeprozent_y", c.text);
  });
  form.OnChange("act_sizeprozent_y", [](Form& f, Control& c) {
    if (f.Checked("act_propprozent") && !IsCustomEntry(c.text)) f.SetText("act_sizeprozent_x", c.text);
  });
  form.OnChange("act_propprozent", [](Form& f, Control&) { ApplyCoupledPercent(f); });

  form.OnChange("out_ordner", TakeCustomEntry);
  form.OnChange("out_name", TakeCustomEntry);
  form.OnExit("out_ordner", [](Form& f, Control& c) {
    if (c.text.empty()) f.SelectItem(c.name, 0);
  });
  form.OnExit("out_name", [](Form& f, Control& c) {
    if (c.text.empty()) f.SelectItem(c.name, 1);
  });
  form.SetKeyFilter("out_ordner", [](Form& f, Control& c, char32_t key) {
    if (IsKeepEntry(c.text)) f.SetText(c.name, "");
    return !RefusedInFolder(key);
  });
  form.SetKeyFilter("out_name", [](Form& f, Control& c, char32_t key) {
    if (IsKeepEntry(c.text)) f.SetText(c.name, "");
    return !RefusedInName(key);
  });
  form.SetKeyFilter("out_format", [](Form&, Control&, char32_t) { return false; });
  form.SetKeyFilter("inp_ordner", [](Form&, Control&, char32_t key) { return !RefusedInFolder(key); });
  for (const char* box : {"out_ordner", "inp_ordner"})
    form.OnDoubleClick(box, [](Form& f, Control& c) { f.SetSelection(c.name, 0, c.text.size()); });

  for (const SizeModeControls& mode : kSizeModes) form.OnChange(mode.radio, [](Form& f, Control&) { LayoutTprogPages(f); });
  for (const char* radio : {"out_overwrite", "out_newimage"})
    form.OnChange(radio, [](Form& f, Control&) { LayoutTprogPages(f); });

  ApplyTprogLanguage(form, Language::German);
  RefreshTprog(form);
  return form;
}

void LayoutTprogPages(Form& form) {
  int bottom = 0;
  bool first = true;
  for (const SizeModeControls& mode : kSizeModes) {
    const int radioTop = first ? kFirstRadioTop : bottom + kBlockGap;
    const int panelTop = radioTop + kRadioToPanel;
    first = false;
    const bool visible = form.Checked(mode.radio);
    form.SetTop(mode.radio, radioTop);
    form.SetTop(mode.panel, panelTop);
    form.SetVisible(mode.panel, visible);
    bottom = visible ? panelTop + form.Get(mode.panel).height : panelTop;
  }
  form.SetVisible("pa_speichern", form.Checked("out_newimage"));
}

void ChooseOutputFolder(Form& form, const std::function<std::string(const std::string&)>& choose) {
  const std::string previous = form.Text("out_ordner");
  form.SetText("out_ordner", choose(previous));
  if (form.Text("out_ordner").empty()) form.SetText("out_ordner", previous);
}

void RefreshTprog(Form& form) {
  ApplyCoupledPercent(form);
  LayoutTprogPages(form);
}

void ApplyTprogLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::MainWindow, language);
  const auto all = [language](const char* key) {
    return [key, language](const std::string& t) { return ConvertSpecial(t, key, language); };
  };
  const auto keep = [language](const std::string& t) { return ConvertSpecial(t, "keep", language, true); };
  const auto custom = all("custom");
  const auto folder = all("folder");
  const auto name = [&](const std::string& t) { return keep(all("height")(all("width")(t))); };
  const auto format = [&](const std::string& t) { return all("image")(keep(t)); };

  // Items first, so that a text equal to an item stays selected.
  ConvertItemList(form, "out_ordner", custom);
  std::vector<std::string> folderItems = form.Get("out_ordner").items;
  if (folderItems.size() > 1) {
    folderItems[0] = Text(language, TextGroup::Special, "keep");
    folderItems[1] = Text(language, TextGroup::Special, "new_folder");
    form.SetItems("out_ordner", folderItems);
  }
  form.SetText("out_ordner", folder(keep(form.Text("out_ordner"))));
  ConvertItemList(form, "out_name", [&](const std::string& t) { return custom(name(t)); });
  form.SetText("out_name", name(form.Text("out_name")));
  // The output types are rebuilt from their German texts, whose "Bild" is the language's word:
  // converting the shown texts back and forth would also turn the "Image" of "Tagged Image File
  // Format" into "Bild". A text that is no item (from a configuration file) is converted.
  const std::vector<std::string>& oldItems = form.Get("out_format").items;
  const std::string shown = form.Text("out_format");
  const auto selected = std::find(oldItems.begin(), oldItems.end(), shown);
  const ptrdiff_t index = selected == oldItems.end() ? -1 : selected - oldItems.begin();
  std::vector<std::string> formatItems = OutputFormatItems();
  const std::string image = Text(language, TextGroup::Special, "image");
  for (std::string& item : formatItems) item = keep(base::ReplaceAll(item, "Bild", image));
  form.SetItems("out_format", formatItems);
  form.SetText("out_format", index >= 0 && size_t(index) < formatItems.size() ? formatItems[size_t(index)] : format(shown));
  for (const char* box : kSizeBoxes) ConvertItemList(form, box, all("user"));
}

}  // namespace forms
