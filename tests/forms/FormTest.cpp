// The control store of the main window and the options dialog: creation order, initial values
// and the behaviour a toolkit would trigger (custom entries, restore values, key filters,
// coupled fields, page layout, language).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Form.h"
#include "forms/NumberText.h"
#include "base/Text.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"

namespace {

using forms::ControlKind;
using forms::Form;
using forms::Language;

// The stored controls of a form in creation order, as "name=value" for comparison.
std::vector<std::string> StoredValues(const Form& form) {
  std::vector<std::string> out;
  for (const forms::Control& c : form.Controls()) {
    switch (c.kind) {
      case ControlKind::Edit:
      case ControlKind::Combo: out.push_back(c.name + "=" + c.text); break;
      case ControlKind::Radio:
      case ControlKind::Check: out.push_back(c.name + "=" + (c.checked ? "1" : "0")); break;
      case ControlKind::ScrollBar: out.push_back(c.name + "=" + std::to_string(c.position)); break;
      case ControlKind::Panel: out.push_back(c.name + "=" + (c.visible ? "1" : "0")); break;
      default: break;
    }
  }
  return out;
}

TEST(MainForm, StoredControlsInCreationOrderWithInitialValues) {
  const Form form = forms::CreateMainForm();
  const std::vector<std::string> expected = {
      "Panel1=1", "Panel2=1", "Panel5=1", "pa_pixel=1", "pa_prozent=0", "pa_filesize=0", "pa_benutzer=0",
      "pa_faktor=0", "pa_speichern=1", "Panel12=1", "inp_ordner=", "ed_filesize=100", "ed_faktor=2", "rb_pixel=1",
      "rb_prozent=0", "rb_filesize=0", "act_size240x320=0", "act_size640x480=1", "act_size800x600=0",
      "act_size1024x768=0", "rb_benutzer=0", "rb_faktor=0", "out_overwrite=0", "out_newimage=1", "act_sizeprop=1",
      "act_propprozent=1", "act_propbenutzer_prop=1", "act_sizeprozent_x=75", "act_sizeprozent_y=75",
      "act_sizebenutzer_x=640", "act_sizebenutzer_y=480", "out_ordner=<beibehalten>", "out_name=%name%-1",
      "out_format=<beibehalten>"};
  EXPECT_EQ(StoredValues(form), expected);
  EXPECT_EQ(form.Get("out_format").items.size(), 33u);
  EXPECT_EQ(form.Get("out_format").items[29], "*.webp - WebP");
  EXPECT_EQ(form.Get("out_format").items[30], "*.avif - AV1 Image File Format");
  EXPECT_EQ(form.Get("out_format").items[31], "*.heic - High Efficiency Image File Format");
  EXPECT_EQ(form.Get("out_format").items[32], "*.jxl - JPEG XL");
  EXPECT_EQ(form.Get("out_format").items[17], "*.jng - JPEG Network Graphics");
  EXPECT_EQ(form.Get("act_sizebenutzer_x").items.size(), 20u);
  EXPECT_EQ(form.Get("act_sizebenutzer_x").dropDownCount, 15);
  EXPECT_FALSE(form.Get("out_format").editable);
}

TEST(OptionsForm, StoredControlsInCreationOrderWithInitialValues) {
  const Form form = forms::CreateOptionsForm();
  const std::vector<std::string> expected = {
      "act_sizehochquerformat=1", "act_sizebigger=1", "act_sizekleiner=1", "progressivaktiv=1", "psdlayers=1",
      "act_sizemethode=Bikubisch", "out_quality=95",  "ScrollBar1=95",
      // Vexilo's own switches came later, after every original control.
      "keep_orientation=0", "to_srgb=0", "strip_location=0", "keep_dates=0"};
  EXPECT_EQ(StoredValues(form), expected);
  EXPECT_EQ(form.Get("ScrollBar1").minimum, 1);
  EXPECT_EQ(form.Get("ScrollBar1").maximum, 100);
}

TEST(MainForm, CustomEntryEmptiesAndFocusesAndLeavingEmptyRestores) {
  Form form = forms::CreateMainForm();
  std::string focused;
  form.Events().focusRequested = [&](const forms::Control& c) { focused = c.name; };
  form.SelectItem("act_sizebenutzer_x", 19);  // "Benutzer.."
  EXPECT_EQ(form.Text("act_sizebenutzer_x"), "");
  EXPECT_EQ(form.Get("act_sizebenutzer_x").itemIndex, -1);
  EXPECT_EQ(focused, "act_sizebenutzer_x");
  form.LeaveFocus();
  EXPECT_EQ(form.Text("act_sizebenutzer_x"), "640");

  form.SelectItem("out_name", 7);  // "Benutzerdefiniert.."
  EXPECT_EQ(form.Text("out_name"), "");
  form.LeaveFocus();
  EXPECT_EQ(form.Text("out_name"), "%name%-1");
  form.SetText("out_ordner", "Custom..");
  EXPECT_EQ(form.Text("out_ordner"), "");
  form.LeaveFocus();
  EXPECT_EQ(form.Text("out_ordner"), "<beibehalten>");
}

TEST(MainForm, KeyFilters) {
  Form form = forms::CreateMainForm();
  std::vector<std::string> infos;
  form.Events().information = [&](const std::string& text) { infos.push_back(text); };

  // A colon is a fine folder character but not part of a name; "/" separates folders here.
  form.Type("out_ordner", "/a:b");
  EXPECT_EQ(form.Text("out_ordner"), "/a:b");  // the placeholder was emptied by the first key
  form.SetText("out_name", "<keep>");
  EXPECT_EQ(form.Type("out_name", "x:y/z*?\"<>|\\1"), 4);
  EXPECT_EQ(form.Text("out_name"), "xyz1");
  form.SetText("out_ordner", "/p");
  form.Type("out_ordner", "*?|<>\"é");
  EXPECT_EQ(form.Text("out_ordner"), "/pé");  // codes above 127 are not tested

  form.SetText("act_sizebenutzer_x", "");
  EXPECT_EQ(form.Type("act_sizebenutzer_x", "8a0"), 2);
  EXPECT_EQ(form.Text("act_sizebenutzer_x"), "80");
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0], "In diesem Feld sind nur Zahleneingaben erlaubt.");
  EXPECT_TRUE(form.KeyPress("act_sizebenutzer_x", forms::kBackspace));
  EXPECT_EQ(form.Text("act_sizebenutzer_x"), "8");

  EXPECT_FALSE(form.KeyPress("out_format", U'x'));
  EXPECT_EQ(form.Text("out_format"), "<beibehalten>");

  form.SetText("out_ordner", "/pics");
  form.DoubleClick("out_ordner");
  EXPECT_EQ(form.Get("out_ordner").selLength, 5u);
  form.Type("out_ordner", "/q");  // replaces the selection
  EXPECT_EQ(form.Text("out_ordner"), "/q");
}

TEST(MainForm, CoupledPercentFields) {
  Form form = forms::CreateMainForm();
  EXPECT_FALSE(form.Visible("act_sizeprozent_y"));
  EXPECT_FALSE(form.Visible("Label6"));
  EXPECT_EQ(form.Get("act_sizeprozent_x").left, 144);
  form.SelectItem("act_sizeprozent_x", 2);
  EXPECT_EQ(form.Text("act_sizeprozent_y"), "50");

  form.SetChecked("act_propprozent", false);
  EXPECT_TRUE(form.Visible("act_sizeprozent_y"));
  EXPECT_TRUE(form.Visible("Label14"));
  EXPECT_EQ(form.Get("act_sizeprozent_x").left, 185);
  form.SetText("act_sizeprozent_y", "30");
  EXPECT_EQ(form.Text("act_sizeprozent_x"), "50");

  form.SetChecked("act_propprozent", true);  // the width wins
  EXPECT_EQ(form.Text("act_sizeprozent_y"), "50");
}

TEST(OptionsForm, QualityAndScrollBarCoupling) {
  struct Case {
    const char* start;  // text set first (position follows)
    const char* typed;
    const char* text;
    int position;
  };
  const Case cases[] = {
      {"95", "1", "100", 100},  // 951 is clamped; the position moves, the text follows it
      {"95", "5", "100", 100},
      {"", "0", "1", 1},
      {"8", "0", "80", 80},
  };
  for (const Case& c : cases) {
    Form form = forms::CreateOptionsForm();
    form.SetText("out_quality", c.start);
    form.Type("out_quality", c.typed);
    EXPECT_EQ(form.Text("out_quality"), c.text) << c.start << " + " << c.typed;
    EXPECT_EQ(form.Position("ScrollBar1"), c.position) << c.start << " + " << c.typed;
  }

  Form form = forms::CreateOptionsForm();
  form.SetPosition("ScrollBar1", 100);
  form.SetText("out_quality", "150");  // clamps to the current position: the text stays
  EXPECT_EQ(form.Text("out_quality"), "150");
  EXPECT_FALSE(form.KeyPress("out_quality", U'1'));  // out of range: digits are dropped
  EXPECT_TRUE(form.KeyPress("out_quality", forms::kBackspace));
  EXPECT_EQ(form.Text("out_quality"), "15");
  EXPECT_FALSE(form.KeyPress("out_quality", U'x'));
  form.SetPosition("ScrollBar1", 100);
  form.SetText("out_quality", "12345");
  EXPECT_FALSE(form.KeyPress("out_quality", U'1'));
  EXPECT_EQ(form.Text("out_quality"), "100");
  form.SetPosition("ScrollBar1", 250);  // the range clamps
  EXPECT_EQ(form.Position("ScrollBar1"), 100);
  form.SetPosition("ScrollBar1", 40);
  EXPECT_EQ(form.Text("out_quality"), "40");
}

TEST(MainForm, RadioGroupsAndPageLayout) {
  Form form = forms::CreateMainForm();
  EXPECT_EQ(form.Get("rb_pixel").top, 27);
  EXPECT_EQ(form.Get("pa_pixel").top, 45);
  const int pixelBottom = 45 + form.Get("pa_pixel").height;
  EXPECT_EQ(form.Get("rb_benutzer").top, pixelBottom + 5);
  EXPECT_EQ(form.Get("pa_benutzer").top, pixelBottom + 23);
  // The hidden custom panel counts by its top only.
  EXPECT_EQ(form.Get("rb_prozent").top, pixelBottom + 23 + 5);

  form.SetChecked("rb_prozent", true);
  EXPECT_FALSE(form.Checked("rb_pixel"));
  EXPECT_FALSE(form.Visible("pa_pixel"));
  EXPECT_TRUE(form.Visible("pa_prozent"));
  EXPECT_TRUE(form.Checked("act_size640x480"));  // another group
  EXPECT_EQ(form.Get("rb_benutzer").top, 45 + 5);

  form.SetChecked("out_overwrite", true);
  EXPECT_FALSE(form.Checked("out_newimage"));
  EXPECT_FALSE(form.Visible("pa_speichern"));

  // Unchecking a radio button touches no other: a configuration can leave a group empty.
  form.SetChecked("rb_prozent", false);
  for (const auto& mode : forms::kSizeModes) EXPECT_FALSE(form.Visible(mode.panel)) << mode.panel;
}

TEST(Forms, LanguageSwitchConvertsSpecialTexts) {
  Form form = forms::CreateMainForm();
  form.SelectItem("out_name", 6);
  form.SetText("out_ordner", "%ordner%/neu");
  forms::ApplyMainFormLanguage(form, Language::English);
  EXPECT_EQ(form.Text("out_name"), "%name% (%width%x%height%)");
  EXPECT_EQ(form.Get("out_name").itemIndex, 6);
  EXPECT_EQ(form.Text("out_ordner"), "%folder%/neu");
  EXPECT_EQ(form.Get("out_ordner").items[1], "%folder%/new");
  EXPECT_EQ(form.Get("out_ordner").items[2], "Custom..");
  EXPECT_EQ(form.Text("out_format"), "<keep>");
  EXPECT_EQ(form.Get("out_format").items[8], "*.psd - Photoshop Image");
  EXPECT_EQ(form.Get("act_sizeprozent_x").items.back(), "Custom..");
  EXPECT_EQ(form.Get("rb_filesize").caption, "Resize to File Size");
  forms::ApplyMainFormLanguage(form, Language::German);
  EXPECT_EQ(form.Text("out_name"), "%name% (%breite%x%höhe%)");
  EXPECT_EQ(form.Text("out_format"), "<beibehalten>");
  EXPECT_EQ(form.Get("out_format").items[8], "*.psd - Photoshop Bild");
  EXPECT_EQ(form.Get("act_sizeprozent_x").items.back(), "Benutzer..");
  // Only the word of the language changes: "Tagged Image File Format" stays in both, and the
  // chosen type stays chosen; a type from a configuration file that is no item is converted.
  form.SelectItem("out_format", 10);
  forms::ApplyMainFormLanguage(form, Language::English);
  EXPECT_EQ(form.Text("out_format"), "*.tif - Tagged Image File Format");
  EXPECT_EQ(form.Get("out_format").items[1], "*.jpg - JPEG-Image");
  forms::ApplyMainFormLanguage(form, Language::German);
  EXPECT_EQ(form.Get("out_format").itemIndex, 10);
  EXPECT_EQ(form.Get("out_format").items[31], "*.heic - High Efficiency Image File Format");
  form.SetText("out_format", "*.jpg - JPEG-Image");
  forms::ApplyMainFormLanguage(form, Language::German);
  EXPECT_EQ(form.Text("out_format"), "*.jpg - JPEG-Bild");
  // The JNG type as older configurations spell it is the JNG item.
  form.SetText("out_format", "*.jng - JPEG Network Graphics\u00B4");
  forms::ApplyMainFormLanguage(form, Language::German);
  EXPECT_EQ(form.Get("out_format").itemIndex, 17);

  Form options = forms::CreateOptionsForm();
  options.SelectItem("act_sizemethode", 2);
  forms::ApplyOptionsLanguage(options, Language::English);
  EXPECT_EQ(options.Text("act_sizemethode"), "Nearest");
  EXPECT_EQ(options.Get("act_sizemethode").items, (std::vector<std::string>{"Bicubic", "Bilinear", "Nearest"}));
  EXPECT_EQ(options.Caption(), "Options");
  std::vector<std::string> infos;
  form.Events().information = [&](const std::string& text) { infos.push_back(text); };
  forms::ApplyMainFormLanguage(form, Language::English);
  form.KeyPress("act_sizebenutzer_y", U'-');
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0], "In this box only numerical entries are allowed.");
}

TEST(NumberText, IntegerAndDecimalTexts) {
  struct IntCase {
    const char* text;
    bool ok;
    int32_t value;
  };
  const IntCase ints[] = {
      {"640", true, 640},       {"  -12", true, -12},     {"+7", true, 7},           {"$1F", true, 31},
      {"0x10", true, 16},       {"-$10", true, -16},      {"$FFFFFFFF", true, -1},   {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0}, {"12 ", false, 0}, {"", false, 0},
      {"-", false, 0},          {"$", false, 0},          {"2.5", false, 0},         {"1e3", false, 0},
      {"Benutzer..", false, 0},
  };
  for (const IntCase& c : ints) {
    const auto value = forms::ParseIntegerText(c.text);
    EXPECT_EQ(value.has_value(), c.ok) << c.text;
    if (c.ok && value) {
      EXPECT_EQ(*value, c.value) << c.text;
    }
  }
  struct DecCase {
    const char* text;
    const char* separator;
    bool ok;
    double value;
  };
  const DecCase decs[] = {
      {"100", ".", true, 100},   {"100,5", ",", true, 100.5}, {"100,5", ".", false, 0}, {"100.5", ",", false, 0},
      {" -2.5 ", ".", true, -2.5}, {".5", ".", true, 0.5},    {"1.", ".", true, 1},     {"1e2", ".", true, 100},
      {"1e", ".", false, 0},     {"", ".", false, 0},         {".", ".", false, 0},     {"1.2.3", ".", false, 0},
      {"abc", ".", false, 0},    {"1e999", ".", false, 0},
  };
  for (const DecCase& c : decs) {
    const auto value = forms::ParseDecimalText(c.text, c.separator);
    EXPECT_EQ(value.has_value(), c.ok) << c.text << " with " << c.separator;
    if (c.ok && value) {
      EXPECT_DOUBLE_EQ(*value, c.value) << c.text;
    }
  }
}

TEST(TextTools, ReplaceAndSplit) {
  EXPECT_EQ(base::ReplaceAll("a//b////c", "//", "/"), "a/b//c");
  EXPECT_EQ(base::ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(base::ReplaceFirst("x.jpg.jpg", ".jpg", ""), "x.jpg");
  EXPECT_EQ(base::SplitAt("1/3/", '/').size(), 3u);
  EXPECT_EQ(base::SplitAt("1//3", '/').size(), 3u);
  EXPECT_EQ(base::SplitAt("", '/').size(), 1u);
  EXPECT_EQ(base::TrimBlanks("\t 3:1 \n"), "3:1");
  EXPECT_EQ(base::DecodeUtf8("h\xC3\xB6he\xFF"), std::u32string(U"h\u00F6he\uFFFD"));
}

}  // namespace
