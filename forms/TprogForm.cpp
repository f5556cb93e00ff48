#include "TprogForm.h"

#include <string_view>

#include "TextTools.h"

namespace forms {

namespace {

// Panel heights and the width box's two places; the radio buttons and panels of the size page
// are stacked from these by LayoutTprogPages.
constexpr int kFirstRadioTop = 27;
constexpr int kRadioToPanel = 18;
constexpr int kBlockGap = 5;
constexpr int kPercentWidthBoxCoupled = 144;
constexpr int kPercentWidthBoxApart = 185;

const char* const kSizeBoxes[] = {"act_sizebenutzer_x", "act_sizebenutzer_y", "act_sizeprozent_x", "act_sizeprozent_y"};

Control Panel(const char* name, bool visible, int height = 0) {
  Control c;
  c.name = name;
  c.kind = ControlKind::Panel;
  c.visible = visible;
  c.height = height;
  return c;
}

Control Edit(const char* name, const char* text) {
  Control c;
  c.name = name;
  c.kind = ControlKind::Edit;
  c.text = text;
  return c;
}

Control Radio(const char* name, const char* group, bool checked, const char* caption = "") {
  Control c;
  c.name = name;
  c.kind = ControlKind::Radio;
  c.group = group;
  c.checked = checked;
  c.caption = caption;
  return c;
}

Control Check(const char* name, bool checked, const char* caption) {
  Control c;
  c.name = name;
  c.kind = ControlKind::Check;
  c.checked = checked;
  c.caption = caption;
  return c;
}

Control Combo(const char* name, std::vector<std::string> items, const char* text, int dropDownCount = 8) {
  Control c;
  c.name = name;
  c.kind = ControlKind::Combo;
  c.items = std::move(items);
  c.text = text;
  for (size_t i = 0; i < c.items.size(); ++i)
    if (c.items[i] == c.text) c.itemIndex = static_cast<int>(i);
  c.selStart = c.text.size();
  c.dropDownCount = dropDownCount;
  return c;
}

Control Label(const char* name, const char* caption) {
  Control c;
  c.name = name;
  c.kind = ControlKind::Label;
  c.caption = caption;
  return c;
}

bool IsDigitKey(char32_t key) { return (key >= U'0' && key <= U'9') || key == kBackspace; }

// Characters the folder and name boxes refuse; only codes 32 to 127 are tested. The folder
// boxes accept "/", the path separator here, and refuse the characters no folder name may hold.
bool RefusedInFolder(char32_t key) {
  return key >= 32 && key <= 127 && std::u32string_view(U"\"*<>?|").find(key) != std::u32string_view::npos;
}
bool RefusedInName(char32_t key) {
  return key >= 32 && key <= 127 && std::u32string_view(U"\"*/:<>?\\|").find(key) != std::u32string_view::npos;
}

const char* NumbersOnlyText(Language language) {
  return language == Language::German ? "In diesem Feld sind nur Zahleneingaben erlaubt."
                                      : "In this box only numerical entries are allowed.";
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

// Applies a text conversion to the whole item list at once, so that a "first occurrence" rule
// means the first in the list.
template <typename Convert>
void ConvertItems(Form& form, const char* name, Convert convert) {
  std::string joined;
  const auto& items = form.Get(name).items;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += items[i];
  }
  form.SetItems(name, SplitAt(convert(joined), '\n'));
}

}  // namespace

bool IsCustomEntry(const std::string& text) {
  return text == "Benutzer.." || text == "Benutzerdefiniert.." || text == "Custom..";
}

bool IsKeepEntry(const std::string& text) { return text == "<beibehalten>" || text == "<keep>"; }

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
  };
  return items;
}

Form CreateTprogForm() {
  Form form("Tprog", "Vexilo - Corvana");

  form.Add(Panel("Panel1", true));
  form.Add(Panel("Panel2", true));
  form.Add(Panel("Panel5", true));
  form.Add(Panel("pa_pixel", true, 100));
  form.Add(Panel("pa_prozent", false, 76));
  form.Add(Panel("pa_filesize", false, 40));
  form.Add(Panel("pa_benutzer", false, 76));
  form.Add(Panel("pa_faktor", false, 62));
  form.Add(Panel("pa_speichern", true));
  form.Add(Panel("Panel12", true, 30));

  form.Add(Edit("inp_ordner", ""));
  form.Add(Edit("ed_filesize", "100"));
  form.Add(Edit("ed_faktor", "2"));

  form.Add(Radio("rb_pixel", "sizemode", true, "Auf bestimmte Größe in Pixeln skalieren"));
  form.Add(Radio("rb_prozent", "sizemode", false, "Prozentual skalieren"));
  form.Add(Radio("rb_filesize", "sizemode", false, "Auf bestimmte Dateigröße skalieren"));
  form.Add(Radio("act_size240x320", "preset", false, "240 x 320"));
  form.Add(Radio("act_size640x480", "preset", true, "640 x 480"));
  form.Add(Radio("act_size800x600", "preset", false, "800 x 600"));
  form.Add(Radio("act_size1024x768", "preset", false, "1024 x 768"));
  form.Add(Radio("rb_benutzer", "sizemode", false, "Auf benutzerdefinierte Größe in Pixeln skalieren"));
  form.Add(Radio("rb_faktor", "sizemode", false, "Faktor/Verhältnis-Skalierung"));
  form.Add(Radio("out_overwrite", "output", false, "Originalbild überschreiben"));
  form.Add(Radio("out_newimage", "output", true, "Als neues Bild speichern"));

  form.Add(Check("act_sizeprop", true, "Proportionen beibehalten"));
  form.Add(Check("act_propprozent", true, "Proportionen beibehalten"));
  form.Add(Check("act_propbenutzer_prop", true, "Proportionen beibehalten"));

  const std::vector<std::string> percentItems = {"10", "25", "50", "75", "100", "125", "150", "200", "250", "500",
                                                 "Benutzer.."};
  const std::vector<std::string> pixelItems = {"100",  "240",  "320",  "480",  "600",  "640",  "720",
                                               "768",  "800",  "864",  "1024", "1152", "1280", "1366",
                                               "1440", "1600", "1792", "1920", "2048", "Benutzer.."};
  form.Add(Combo("act_sizeprozent_x", percentItems, "75", 15)).restoreText = "75";
  form.Add(Combo("act_sizeprozent_y", percentItems, "75", 15)).restoreText = "75";
  form.Add(Combo("act_sizebenutzer_x", pixelItems, "640", 15)).restoreText = "640";
  form.Add(Combo("act_sizebenutzer_y", pixelItems, "480", 15)).restoreText = "480";
  form.Add(Combo("out_ordner", {"<beibehalten>", "%ordner%/neu", "Benutzerdefiniert.."}, "<beibehalten>"));
  form.Add(Combo("out_name",
                 {"<beibehalten>", "%name%-1", "%name%", "%0num%", "%0num%-%abs%", "%num%", "%name% (%breite%x%höhe%)",
                  "Benutzerdefiniert.."},
                 "%name%-1"));
  Control& format = form.Add(Combo("out_format", OutputFormatItems(), "<beibehalten>"));
  format.editable = false;

  form.Add(Label("Label6", "Breite:"));
  form.Add(Label("Label14", "Höhe:"));
  form.SetLeft("act_sizeprozent_x", kPercentWidthBoxApart);

  // ---- Behaviour ----
  for (const char* box : kSizeBoxes) {
    form.OnChange(box, TakeCustomEntry);
    form.OnExit(box, [](Form& f, Control& c) {
      if (c.text.empty() && c.restoreText) f.SetText(c.name, *c.restoreText);
    });
    form.SetKeyFilter(box, [](Form& f, Control&, char32_t key) {
      if (IsDigitKey(key)) return true;
      f.Inform(NumbersOnlyText(f.CurrentLanguage()));
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

void RefreshTprog(Form& form) {
  ApplyCoupledPercent(form);
  LayoutTprogPages(form);
}

void ApplyTprogLanguage(Form& form, Language language) {
  const bool en = language == Language::English;
  form.SetLanguageCode(language);
  form.SetControlCaption("rb_pixel", en ? "Resize to Pixel Size" : "Auf bestimmte Größe in Pixeln skalieren");
  form.SetControlCaption("rb_benutzer",
                         en ? "Resize to Custom Pixel Size" : "Auf benutzerdefinierte Größe in Pixeln skalieren");
  form.SetControlCaption("rb_prozent", en ? "Percentage Scale" : "Prozentual skalieren");
  form.SetControlCaption("rb_faktor", en ? "Factor/Ratio-Scaling" : "Faktor/Verhältnis-Skalierung");
  form.SetControlCaption("rb_filesize", en ? "Resize to File Size" : "Auf bestimmte Dateigröße skalieren");
  form.SetControlCaption("out_overwrite", en ? "Overwrite Original File" : "Originalbild überschreiben");
  form.SetControlCaption("out_newimage", en ? "Save as new File:" : "Als neues Bild speichern");
  for (const char* box : {"act_sizeprop", "act_propprozent", "act_propbenutzer_prop"})
    form.SetControlCaption(box, en ? "Retain Proportions" : "Proportionen beibehalten");
  form.SetControlCaption("Label6", en ? "Width:" : "Breite:");
  form.SetControlCaption("Label14", en ? "Height:" : "Höhe:");

  // Items first, so that a text equal to an item stays selected.
  if (en) {
    ConvertItems(form, "out_ordner", [](const std::string& t) { return ReplaceAll(t, "Benutzerdefiniert", "Custom"); });
    auto ordner = form.Get("out_ordner").items;
    if (ordner.size() > 1) {
      ordner[0] = "<keep>";
      ordner[1] = "%folder%/new";
      form.SetItems("out_ordner", ordner);
    }
    form.SetText("out_ordner", ReplaceAll(ReplaceFirst(form.Text("out_ordner"), "<beibehalten>", "<keep>"), "%ordner%", "%folder%"));

    auto toEnglishName = [](const std::string& t) {
      return ReplaceFirst(ReplaceAll(ReplaceAll(t, "%breite%", "%width%"), "%höhe%", "%height%"), "<beibehalten>", "<keep>");
    };
    ConvertItems(form, "out_name",
                 [&](const std::string& t) { return ReplaceAll(toEnglishName(t), "Benutzerdefiniert", "Custom"); });
    form.SetText("out_name", toEnglishName(form.Text("out_name")));

    auto toEnglishFormat = [](const std::string& t) {
      return ReplaceAll(ReplaceFirst(t, "<beibehalten>", "<keep>"), "Bild", "Image");
    };
    ConvertItems(form, "out_format", toEnglishFormat);
    form.SetText("out_format", toEnglishFormat(form.Text("out_format")));
    for (const char* box : kSizeBoxes)
      ConvertItems(form, box, [](const std::string& t) { return ReplaceAll(t, "Benutzer", "Custom"); });
  } else {
    ConvertItems(form, "out_ordner", [](const std::string& t) { return ReplaceAll(t, "Custom", "Benutzerdefiniert"); });
    auto ordner = form.Get("out_ordner").items;
    if (ordner.size() > 1) {
      ordner[0] = "<beibehalten>";
      ordner[1] = "%ordner%/neu";
      form.SetItems("out_ordner", ordner);
    }
    form.SetText("out_ordner", ReplaceAll(ReplaceFirst(form.Text("out_ordner"), "<keep>", "<beibehalten>"), "%folder%", "%ordner%"));

    auto toGermanName = [](const std::string& t) {
      return ReplaceFirst(ReplaceAll(ReplaceAll(t, "%width%", "%breite%"), "%height%", "%höhe%"), "<keep>", "<beibehalten>");
    };
    ConvertItems(form, "out_name",
                 [&](const std::string& t) { return ReplaceAll(toGermanName(t), "Custom", "Benutzerdefiniert"); });
    form.SetText("out_name", toGermanName(form.Text("out_name")));

    auto toGermanFormat = [](const std::string& t) {
      return ReplaceAll(ReplaceFirst(t, "<keep>", "<beibehalten>"), "Image", "Bild");
    };
    ConvertItems(form, "out_format", toGermanFormat);
    form.SetText("out_format", toGermanFormat(form.Text("out_format")));
    for (const char* box : kSizeBoxes)
      ConvertItems(form, box, [](const std::string& t) { return ReplaceAll(t, "Custom", "Benutzer"); });
  }
}

}  // namespace forms
