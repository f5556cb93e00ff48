#include "forms/MainForm.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/Text.h"
#include "forms/Texts.h"

namespace forms {

namespace {

// Panel heights and the width box's two places; the radio buttons and panels of the size page
// are stacked from these by LayoutMainFormPages.
constexpr int kFirstRadioTop = 27;
constexpr int kRadioToPanel = 18;
constexpr int kBlockGap = 5;
constexpr int kPercentWidthBoxCoupled = 144;
constexpr int kPercentWidthBoxApart = 185;

// In creation order.
constexpr std::string_view kSizeBoxes[] = {ctl::kPercentWidth, ctl::kPercentHeight, ctl::kCustomWidth,
                                           ctl::kCustomHeight};

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
  const bool coupled = form.Checked(ctl::kKeepPercentProportions);
  if (coupled) form.SetText(ctl::kPercentHeight, form.Text(ctl::kPercentWidth));
  form.SetVisible(ctl::kPercentHeight, !coupled);
  form.SetVisible(ctl::kPercentWidthLabel, !coupled);
  form.SetVisible(ctl::kPercentHeightLabel, !coupled);
  form.SetLeft(ctl::kPercentWidth, coupled ? kPercentWidthBoxCoupled : kPercentWidthBoxApart);
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
      "*.jng - JPEG Network Graphics",
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
      "*.jxl - JPEG XL",
  };
  return items;
}

Form CreateMainForm() {
  Form form("Tprog", "");

  // The window's frame panels (page areas and the footer) are stored by these names as the
  // configuration files have always held them; nothing else refers to them.
  form.Add(MakePanel("Panel1", true));
  form.Add(MakePanel("Panel2", true));
  form.Add(MakePanel("Panel5", true));
  form.Add(MakePanel(ctl::kPresetPanel, true, 100));
  form.Add(MakePanel(ctl::kPercentPanel, false, 76));
  form.Add(MakePanel(ctl::kFileSizePanel, false, 40));
  form.Add(MakePanel(ctl::kCustomPanel, false, 76));
  form.Add(MakePanel(ctl::kFactorPanel, false, 62));
  form.Add(MakePanel(ctl::kNewFilePanel, true));
  form.Add(MakePanel("Panel12", true, 30));

  form.Add(MakeEdit(ctl::kSourceFolder, ""));
  form.Add(MakeEdit(ctl::kFileSize, "100"));
  form.Add(MakeEdit(ctl::kFactor, "2"));

  form.Add(MakeRadio(ctl::kPresetSizeMode, "sizemode", true));
  form.Add(MakeRadio(ctl::kPercentSizeMode, "sizemode", false));
  form.Add(MakeRadio(ctl::kFileSizeMode, "sizemode", false));
  form.Add(MakeRadio(ctl::kPreset240x320, "preset", false, "240 x 320"));
  form.Add(MakeRadio(ctl::kPreset640x480, "preset", true, "640 x 480"));
  form.Add(MakeRadio(ctl::kPreset800x600, "preset", false, "800 x 600"));
  form.Add(MakeRadio(ctl::kPreset1024x768, "preset", false, "1024 x 768"));
  form.Add(MakeRadio(ctl::kCustomSizeMode, "sizemode", false));
  form.Add(MakeRadio(ctl::kFactorSizeMode, "sizemode", false));
  form.Add(MakeRadio(ctl::kOverwriteSource, "output", false));
  form.Add(MakeRadio(ctl::kSaveAsNewFile, "output", true));

  form.Add(MakeCheck(ctl::kKeepPresetProportions, true));
  form.Add(MakeCheck(ctl::kKeepPercentProportions, true));
  form.Add(MakeCheck(ctl::kKeepCustomProportions, true));

  const std::vector<std::string> percentItems = {"10", "25", "50", "75", "100", "125", "150", "200", "250", "500",
                                                 "Benutzer.."};
  const std::vector<std::string> pixelItems = {"100",  "240",  "320",  "480",  "600",  "640",  "720",
                                               "768",  "800",  "864",  "1024", "1152", "1280", "1366",
                                               "1440", "1600", "1792", "1920", "2048", "Benutzer.."};
  for (const std::string_view box : kSizeBoxes) {
    const bool percent = box == ctl::kPercentWidth || box == ctl::kPercentHeight;
    const char* initial = percent ? "75" : box == ctl::kCustomWidth ? "640" : "480";
    Control& combo = form.Add(MakeCombo(box, percent ? percentItems : pixelItems, initial));
    combo.dropDownCount = 15;
    combo.restoreText = initial;
  }
  form.Add(MakeCombo(ctl::kOutputFolder, {"<beibehalten>", "%ordner%/neu", "Benutzerdefiniert.."}, "<beibehalten>"));
  form.Add(MakeCombo(ctl::kOutputName,
                     {"<beibehalten>", "%name%-1", "%name%", "%0num%", "%0num%-%abs%", "%num%",
                      "%name% (%breite%x%höhe%)", "Benutzerdefiniert.."},
                     "%name%-1"));
  form.Add(MakeCombo(ctl::kOutputFormat, OutputFormatItems(), "<beibehalten>", false));

  form.Add(MakeControl(ControlKind::Label, ctl::kPercentWidthLabel));
  form.Add(MakeControl(ControlKind::Label, ctl::kPercentHeightLabel));
  form.SetLeft(ctl::kPercentWidth, kPercentWidthBoxApart);

  // ---- Behaviour ----
  for (const std::string_view box : kSizeBoxes) {
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
  form.OnChange(ctl::kPercentWidth, [](Form& f, Control& c) {
    if (f.Checked(ctl::kKeepPercentProportions) && !IsCustomEntry(c.text)) f.SetText(ctl::kPercentHeight, c.text);
  });
  form.OnChange(ctl::kPercentHeight, [](Form& f, Control& c) {
    if (f.Checked(ctl::kKeepPercentProportions) && !IsCustomEntry(c.text)) f.SetText(ctl::kPercentWidth, c.text);
  });
  form.OnChange(ctl::kKeepPercentProportions, [](Form& f, Control&) { ApplyCoupledPercent(f); });

  form.OnChange(ctl::kOutputFolder, TakeCustomEntry);
  form.OnChange(ctl::kOutputName, TakeCustomEntry);
  form.OnExit(ctl::kOutputFolder, [](Form& f, Control& c) {
    if (c.text.empty()) f.SelectItem(c.name, 0);
  });
  form.OnExit(ctl::kOutputName, [](Form& f, Control& c) {
    if (c.text.empty()) f.SelectItem(c.name, 1);
  });
  form.SetKeyFilter(ctl::kOutputFolder, [](Form& f, Control& c, char32_t key) {
    if (IsKeepEntry(c.text)) f.SetText(c.name, "");
    return !RefusedInFolder(key);
  });
  form.SetKeyFilter(ctl::kOutputName, [](Form& f, Control& c, char32_t key) {
    if (IsKeepEntry(c.text)) f.SetText(c.name, "");
    return !RefusedInName(key);
  });
  form.SetKeyFilter(ctl::kOutputFormat, [](Form&, Control&, char32_t) { return false; });
  form.SetKeyFilter(ctl::kSourceFolder, [](Form&, Control&, char32_t key) { return !RefusedInFolder(key); });
  for (const std::string_view box : {ctl::kOutputFolder, ctl::kSourceFolder})
    form.OnDoubleClick(box, [](Form& f, Control& c) { f.SetSelection(c.name, 0, c.text.size()); });

  for (const SizeModeControls& mode : kSizeModes) form.OnChange(mode.radio, [](Form& f, Control&) { LayoutMainFormPages(f); });
  for (const std::string_view radio : {ctl::kOverwriteSource, ctl::kSaveAsNewFile})
    form.OnChange(radio, [](Form& f, Control&) { LayoutMainFormPages(f); });

  ApplyMainFormLanguage(form, Language::German);
  RefreshMainForm(form);
  return form;
}

void LayoutMainFormPages(Form& form) {
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
  form.SetVisible(ctl::kNewFilePanel, form.Checked(ctl::kSaveAsNewFile));
}

void ChooseOutputFolder(Form& form, const std::function<std::string(const std::string&)>& choose) {
  const std::string previous = form.Text(ctl::kOutputFolder);
  form.SetText(ctl::kOutputFolder, choose(previous));
  if (form.Text(ctl::kOutputFolder).empty()) form.SetText(ctl::kOutputFolder, previous);
}

void RefreshMainForm(Form& form) {
  ApplyCoupledPercent(form);
  LayoutMainFormPages(form);
}

void ApplyMainFormLanguage(Form& form, Language language) {
  ApplyFormTexts(form, TextGroup::MainWindow, language);
  const auto all = [language](const char* key) {
    return [key, language](const std::string& t) { return ConvertSpecial(t, key, language); };
  };
  const auto keep = [language](const std::string& t) { return ConvertSpecial(t, "keep", language, true); };
  const auto custom = all("custom");
  const auto folder = all("folder");
  const auto name = [&](const std::string& t) { return keep(all("height")(all("width")(t))); };
  // Older configurations hold the JNG type as the list once spelt it, with a stray accent.
  const auto format = [&](const std::string& t) {
    return all("image")(keep(base::ReplaceAll(t, "JPEG Network Graphics\u00B4", "JPEG Network Graphics")));
  };

  // Items first, so that a text equal to an item stays selected.
  ConvertItemList(form, ctl::kOutputFolder, custom);
  std::vector<std::string> folderItems = form.Get(ctl::kOutputFolder).items;
  if (folderItems.size() > 1) {
    folderItems[0] = Text(language, TextGroup::Special, "keep");
    folderItems[1] = Text(language, TextGroup::Special, "new_folder");
    form.SetItems(ctl::kOutputFolder, folderItems);
  }
  form.SetText(ctl::kOutputFolder, folder(keep(form.Text(ctl::kOutputFolder))));
  ConvertItemList(form, ctl::kOutputName, [&](const std::string& t) { return custom(name(t)); });
  form.SetText(ctl::kOutputName, name(form.Text(ctl::kOutputName)));
  // The output types are rebuilt from their German texts, whose "Bild" is the language's word:
  // converting the shown texts back and forth would also turn the "Image" of "Tagged Image File
  // Format" into "Bild". A text that is no item (from a configuration file) is converted.
  const std::vector<std::string>& oldItems = form.Get(ctl::kOutputFormat).items;
  const std::string shown = form.Text(ctl::kOutputFormat);
  const auto selected = std::find(oldItems.begin(), oldItems.end(), shown);
  const ptrdiff_t index = selected == oldItems.end() ? -1 : selected - oldItems.begin();
  std::vector<std::string> formatItems = OutputFormatItems();
  const std::string image = Text(language, TextGroup::Special, "image");
  for (std::string& item : formatItems) item = keep(base::ReplaceAll(item, "Bild", image));
  form.SetItems(ctl::kOutputFormat, formatItems);
  form.SetText(ctl::kOutputFormat, index >= 0 && size_t(index) < formatItems.size() ? formatItems[size_t(index)] : format(shown));
  for (const std::string_view box : kSizeBoxes) ConvertItemList(form, box, all("user"));
}

}  // namespace forms
