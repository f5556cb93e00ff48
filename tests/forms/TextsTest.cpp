// The text tables and the language list: every language holds the keys of the default one, the
// special texts convert between any two languages, and a language added to the list is picked by
// its marker file and its locale like a shipped one.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

#include "forms/Texts.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"
#include "tests/support/PseudoLanguage.h"
#include "tests/support/TestSupport.h"

namespace {

using forms::Language;

std::set<std::string> Keys(forms::TextTable table) {
  std::set<std::string> keys;
  for (const forms::TextEntry& e : table) EXPECT_TRUE(keys.insert(e.key).second) << "key twice: " << e.key;
  return keys;
}

// A language that lacks a table or a key shows the default language's texts there: the typical
// fault of a new language, caught here for every language of the list.
TEST(Texts, EveryLanguageHasExactlyTheKeysOfTheDefault) {
  const forms::LanguageInfo& standard = forms::InfoOf(forms::DefaultLanguage());
  for (const forms::LanguageInfo& language : forms::Languages()) {
    std::set<forms::TextGroup> seen;
    for (const forms::GroupTexts& g : language.texts) EXPECT_TRUE(seen.insert(g.group).second) << language.code;
    for (const forms::TextGroup group : forms::kTextGroups) {
      const auto own = std::find_if(language.texts.begin(), language.texts.end(),
                                    [&](const forms::GroupTexts& g) { return g.group == group; });
      const auto base = std::find_if(standard.texts.begin(), standard.texts.end(),
                                     [&](const forms::GroupTexts& g) { return g.group == group; });
      ASSERT_NE(base, standard.texts.end()) << forms::GroupName(group);
      ASSERT_NE(own, language.texts.end()) << language.code << " has no table " << forms::GroupName(group);
      EXPECT_FALSE(base->table.empty()) << forms::GroupName(group);
      EXPECT_EQ(Keys(own->table), Keys(base->table)) << language.code << ", table " << forms::GroupName(group);
    }
  }
}

// German → pseudo → English: each switch maps the texts of whichever language stands there.
TEST(Texts, SpecialTextsConvertBetweenAnyTwoLanguages) {
  const Language pseudo = testsupport::PseudoLanguage();
  forms::Form form = forms::CreateMainForm();
  form.SelectItem("out_name", 6);
  form.SetText("out_ordner", "%ordner%/neu");
  forms::ApplyMainFormLanguage(form, pseudo);
  EXPECT_EQ(form.Text("out_name"), "%name% (%WIDTH%x%HEIGHT%)");
  EXPECT_EQ(form.Get("out_name").itemIndex, 6);
  EXPECT_EQ(form.Text("out_ordner"), "%FOLDER%/neu");
  EXPECT_EQ(form.Get("out_ordner").items, (std::vector<std::string>{"<KEEP>", "%FOLDER%/NEW", "CUSTOM.."}));
  EXPECT_EQ(form.Text("out_format"), "<KEEP>");
  EXPECT_EQ(form.Get("out_format").items[8], "*.psd - Photoshop IMAGE");
  EXPECT_EQ(form.Get("rb_filesize").caption, "RESIZE TO FILE SIZE");
  EXPECT_TRUE(forms::IsKeepEntry("<KEEP>"));
  EXPECT_TRUE(forms::IsCustomEntry(form.Get("act_sizeprozent_x").items.back()));
  forms::ApplyMainFormLanguage(form, Language::English);
  EXPECT_EQ(form.Text("out_name"), "%name% (%width%x%height%)");
  EXPECT_EQ(form.Text("out_ordner"), "%folder%/neu");
  EXPECT_EQ(form.Get("out_ordner").items[2], "Custom..");
  EXPECT_EQ(form.Get("out_format").items[8], "*.psd - Photoshop Image");
  EXPECT_EQ(form.Get("act_sizeprozent_x").items.back(), "Custom..");

  forms::Form options = forms::CreateOptionsForm();
  options.SelectItem("act_sizemethode", 2);
  forms::ApplyOptionsLanguage(options, pseudo);
  EXPECT_EQ(options.Text("act_sizemethode"), "NEAREST");
  EXPECT_EQ(forms::ResizeMethodOf("NEAREST"), "nearest");
  EXPECT_EQ(options.Caption(), "OPTIONS");
  forms::ApplyOptionsLanguage(options, Language::German);
  EXPECT_EQ(options.Get("act_sizemethode").items, (std::vector<std::string>{"Bikubisch", "Bilinear", "Nächster Nachbar"}));
}

TEST(Texts, MarkerFilesAndLocalesPickFromTheList) {
  const Language pseudo = testsupport::PseudoLanguage();
  testsupport::TempDir dir;
  const std::string folder = dir.Path().string();
  EXPECT_FALSE(forms::LanguageOfMarkerFiles(folder));
  EXPECT_EQ(forms::LanguageFromMarkerFiles(folder), Language::English);
  std::ofstream(dir / "en") << "";
  EXPECT_EQ(forms::LanguageOfMarkerFiles(folder), Language::English);
  std::ofstream(dir / "xx") << "";
  EXPECT_EQ(forms::LanguageOfMarkerFiles(folder), pseudo);
  std::ofstream(dir / "de") << "";  // earlier in the list than the added language
  EXPECT_EQ(forms::LanguageOfMarkerFiles(folder), Language::German);
  EXPECT_EQ(forms::LanguageOfLocale("de_AT.UTF-8"), Language::German);
  EXPECT_EQ(forms::LanguageOfLocale("xx_YY"), pseudo);
  EXPECT_EQ(forms::LanguageOfLocale("fr_FR"), Language::English);
  EXPECT_THROW(forms::RegisterLanguage({"de", "Doppelt", "m_einst_sprache_doppelt", {}}), std::invalid_argument);
}

}  // namespace
