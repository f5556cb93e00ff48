// The folder-search filter, the renamer, the renamer's filter and the desktop-integration dialog:
// stored controls in creation order with their initial values, enabling rules, key filters and
// the extension sets of a folder search.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "forms/ShortcutsForm.h"
#include "forms/Form.h"
#include "forms/RenamerForms.h"
#include "forms/FolderFilterForm.h"

namespace {

using forms::ControlKind;
using forms::Form;
using forms::Language;

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

std::vector<std::string> Enabled(const Form& form, ControlKind kind) {
  std::vector<std::string> out;
  for (const forms::Control& c : form.Controls())
    if (c.kind == kind && c.enabled) out.push_back(c.name);
  return out;
}

TEST(SettingsForms, StoredControlsInCreationOrderWithInitialValues) {
  std::vector<std::string> filter;
  for (const char* name : {"jpg", "bmp", "cb_bitmap", "dib", "cb_jpg", "jpeg", "jfif", "jpe", "jif", "png",
                           "mng", "jng", "gif", "cb_photoshop", "ico", "tif", "cb_tiff", "tiff", "psd", "pdd",
                           "cur", "jp2", "cb_jpg2000", "j2k", "j2c", "jpx", "jpc", "cb_portable", "pbm", "pgm",
                           "ppm", "pam", "pfm", "dds", "tga", "pcx", "xpm"})
    filter.push_back(std::string(name) + "=0");
  // The WebP, AVIF, HEIF and JPEG XL boxes came later; their keys follow the original ones.
  for (const char* value : {"inp_uv=1", "webp=0", "avif=0", "heic=0", "jxl=0", "alle=1", "auswahl=0"}) filter.emplace_back(value);
  const Form folderFilter = forms::CreateFolderFilterForm();
  EXPECT_EQ(StoredValues(folderFilter), filter);
  EXPECT_EQ(folderFilter.Name(), "Tsm_filter");
  EXPECT_EQ(Enabled(folderFilter, ControlKind::Check), std::vector<std::string>{"inp_uv"});
  EXPECT_EQ(folderFilter.Get("jpeg").caption, "*.jpeg");
  EXPECT_EQ(folderFilter.Get("cb_jpg").caption, "JPEG (Joint Photographic Experts Group)");

  const Form renamer = forms::CreateRenamerForm();
  EXPECT_EQ(StoredValues(renamer),
            (std::vector<std::string>{"quordner=", "suchenalt=", "suchenneu=", "uv=1", "suchenersetzen=0",
                                      "cb_suchendung=0", "cb_suchname=1", "maske=%name%", "numstart=1"}));
  EXPECT_EQ(renamer.Get("maske").items,
            (std::vector<std::string>{"%name%", "%name%1", "%name%%num%", "%0num%", "%0num% %name%", "%0num%-%abs%"}));
  EXPECT_EQ(renamer.Get("maske").itemIndex, 0);
  EXPECT_EQ(renamer.Get("numstart").items, (std::vector<std::string>{"0", "1"}));

  const Form renamerFilter = forms::CreateRenamerFilterForm();
  EXPECT_EQ(StoredValues(renamerFilter), (std::vector<std::string>{"alle=1", "auswahl=0", "filter=jpg,bmp,txt"}));
  EXPECT_FALSE(renamerFilter.Get("filter").enabled);

  const Form shortcuts = forms::CreateShortcutsForm();
  EXPECT_EQ(StoredValues(shortcuts), std::vector<std::string>{"beldateien=jpg,bmp,png"});
}

TEST(FolderFilterForm, ClicksCoupleGroupsAndMembersWhileProgramChangesOnlyEnable) {
  Form f = forms::CreateFolderFilterForm();
  f.Click("auswahl");
  EXPECT_FALSE(f.Checked("alle"));
  EXPECT_TRUE(f.Get("cb_jpg").enabled);
  EXPECT_TRUE(f.Get("png").enabled);
  EXPECT_FALSE(f.Get("jpg").enabled);  // its group is unchecked

  f.Click("cb_jpg");
  for (const char* member : {"jpg", "jpeg", "jfif", "jpe", "jif"}) {
    EXPECT_TRUE(f.Checked(member)) << member;
    EXPECT_TRUE(f.Get(member).enabled) << member;
  }
  f.Click("jpeg");
  EXPECT_FALSE(f.Checked("jpeg"));
  EXPECT_TRUE(f.Checked("cb_jpg"));

  // Choosing again makes the members take the group's state.
  f.Click("auswahl");
  EXPECT_TRUE(f.Checked("jpeg"));
  f.Click("jpeg");

  // Choosing all formats disables the group and single boxes; members follow their group.
  f.Click("alle");
  EXPECT_FALSE(f.Get("cb_jpg").enabled);
  EXPECT_FALSE(f.Get("png").enabled);
  EXPECT_TRUE(f.Checked("jpeg"));
  EXPECT_TRUE(f.Get("jpeg").enabled);
  EXPECT_FALSE(f.Get("bmp").enabled);

  // A change by the program (a configuration load) keeps the other boxes as they are.
  Form g = forms::CreateFolderFilterForm();
  g.SetChecked("cb_tiff", true);
  g.SetChecked("auswahl", true);
  EXPECT_FALSE(g.Checked("tif"));
  EXPECT_TRUE(g.Get("tif").enabled);
  EXPECT_TRUE(g.Get("cb_tiff").enabled);
  g.SetChecked("cb_tiff", false);
  EXPECT_FALSE(g.Get("tif").enabled);
}

TEST(FolderFilterForm, SearchExtensionsFollowTheChoiceInTheirOrder) {
  Form f = forms::CreateFolderFilterForm();
  const std::vector<std::string> all = forms::SearchExtensions(f);
  ASSERT_EQ(all.size(), 36u);
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 5),
            (std::vector<std::string>{".bmp", ".dib", ".jpg", ".cur", ".jfif"}));
  EXPECT_EQ(std::vector<std::string>(all.end() - 5, all.end()),
            (std::vector<std::string>{".webp", ".avif", ".heic", ".heif", ".jxl"}));
  EXPECT_EQ(std::count(all.begin(), all.end(), ".jpeg"), 0);
  EXPECT_EQ(std::count(all.begin(), all.end(), ".pnm"), 1);

  f.Click("auswahl");
  EXPECT_TRUE(forms::SearchExtensions(f).empty());
  f.Click("cb_jpg");
  EXPECT_EQ(forms::SearchExtensions(f), (std::vector<std::string>{".jpg", ".jpeg", ".jfif", ".jpe", ".jif"}));
  f.Click("xpm");
  f.Click("webp");
  f.Click("heic");
  f.Click("jxl");
  f.Click("cb_bitmap");
  f.Click("ico");
  f.Click("cb_tiff");
  f.Click("tif");
  const std::vector<std::string> expected = {".bmp", ".jpg", ".dib", ".jpeg", ".jfif", ".jpe",
                                             ".jif", ".ico", ".tiff", ".xpm", ".webp", ".heic", ".heif", ".jxl"};
  EXPECT_EQ(forms::SearchExtensions(f), expected);
}

TEST(RenamerForms, EnablingRulesAndKeyFilters) {
  Form r = forms::CreateRenamerForm();
  for (const char* name : {"suchenalt", "suchenneu", "cb_suchname", "cb_suchendung", "Label11", "Label16"})
    EXPECT_FALSE(r.Get(name).enabled) << name;
  r.Click("suchenersetzen");
  for (const char* name : {"suchenalt", "suchenneu", "cb_suchname", "cb_suchendung", "Label11", "Label16"})
    EXPECT_TRUE(r.Get(name).enabled) << name;

  r.SetText("numstart", "");
  EXPECT_EQ(r.Type("numstart", "1a2-"), 2);
  EXPECT_EQ(r.Text("numstart"), "12");
  r.SetText("maske", "");
  r.Type("maske", "a:b/c\\d*e?f\"g<h>i|jä");
  EXPECT_EQ(r.Text("maske"), "abcdefghijä");
  r.Type("quordner", "/x:y*?");
  EXPECT_EQ(r.Text("quordner"), "/x:y");

  Form f = forms::CreateRenamerFilterForm();
  f.Click("auswahl");
  EXPECT_TRUE(f.Get("filter").enabled);
  f.SetText("filter", "");
  f.Type("filter", "jpg, p/n*g");
  EXPECT_EQ(f.Text("filter"), "jpg, png");
  f.Click("alle");
  EXPECT_FALSE(f.Get("filter").enabled);
}

TEST(SettingsForms, LanguageOperationsWriteTheCaptions) {
  Form f = forms::CreateFolderFilterForm();
  forms::ApplyFolderFilterLanguage(f, Language::English);
  EXPECT_EQ(f.Get("alle").caption, "All supported Formats");
  EXPECT_EQ(f.Get("inp_uv").caption, "Search all Subfolders");
  EXPECT_EQ(f.Get("png").caption, "Portable Network Graphics (*.png)");
  Form r = forms::CreateRenamerForm();
  forms::ApplyRenamerLanguage(r, Language::English);
  EXPECT_EQ(r.Caption(), "File-Renamer - Corvana");
  EXPECT_EQ(r.Get("cb_suchendung").caption, "File Extension");
  Form s = forms::CreateShortcutsForm();
  forms::ApplyShortcutsLanguage(s, Language::English);
  EXPECT_EQ(s.Caption(), "Shortcuts");
  EXPECT_EQ(s.Get("KonfigAus").caption, "Remove");
  forms::ApplyShortcutsLanguage(s, Language::German);
  EXPECT_EQ(s.Get("BeliebigeDateienAn").caption, "Verknüpfen");
}

}  // namespace
