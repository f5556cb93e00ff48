// Configurations of the six windows: the bytes of a new file, loading key by key with the coupled
// behaviour, geometry, the standard and start configurations, languages, the menu, and saving
// that never damages the file it replaces.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/Menu.h"
#include "config/Configuration.h"
#include "tests/support/TestSupport.h"
#include "config/VxcFile.h"
#include "forms/FolderFilterForm.h"

namespace {

using config::LoadCaller;
using config::ProgramWindows;
using forms::ControlKind;
using forms::Form;
using forms::Language;

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The text of a UTF-16LE file without its byte-order mark; only ASCII is expected.
std::string AsciiOfUtf16(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], 0) << "non-ASCII character at " << i;
    text += static_cast<char>(bytes[i]);
  }
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", from)) {
    lines.push_back(text.substr(from, at - from));
    from = at + 2;
  }
  EXPECT_EQ(from, text.size()) << "every line ends in CR LF";
  return lines;
}

// Every stored control of every window as "form.name=value", in creation order.
std::vector<std::string> StoredValues(const ProgramWindows& w) {
  std::vector<std::string> out;
  for (const Form* form : {&w.mainForm, &w.folderFilter, &w.renamer, &w.renamerFilter, &w.shortcuts, &w.options}) {
    for (const forms::Control& c : form->Controls()) {
      const std::string key = form->Name() + "." + c.name + "=";
      switch (c.kind) {
        case ControlKind::Edit:
        case ControlKind::Combo: out.push_back(key + c.text); break;
        case ControlKind::Radio:
        case ControlKind::Check: out.push_back(key + (c.checked ? "1" : "0")); break;
        case ControlKind::ScrollBar: out.push_back(key + std::to_string(c.position)); break;
        case ControlKind::Panel: out.push_back(key + (c.visible ? "1" : "0")); break;
        default: break;
      }
    }
  }
  return out;
}

void Load(ProgramWindows& windows, std::string_view text, LoadCaller caller = LoadCaller::Menu,
          config::ScreenSize screen = {}) {
  config::ApplyLoadedConfiguration(windows, config::VxcFile::Parse(Bytes(text)), caller, screen);
}

TEST(Configuration, ANewFileHoldsEveryControlInKeyAndSectionOrder) {
  testsupport::TempDir dir;
  const std::string path = (dir / "new.vxc").string();
  ProgramWindows windows(Language::English);
  config::SaveConfiguration(windows, path);
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  const std::vector<std::string> lines = Lines(AsciiOfUtf16(bytes));

  std::vector<std::string> sections;
  for (const std::string& line : lines)
    if (line.front() == '[') sections.push_back(line);
  EXPECT_EQ(sections, (std::vector<std::string>{"[PBPA]", "[PBED]", "[PBRB]", "[PBCH]", "[PBCB]", "[PFCH]", "[PFRB]",
                                                "[DUED]", "[DUCH]", "[DUCB]", "[DFRB]", "[DFED]", "[SCED]", "[OPCH]",
                                                "[OPCB]", "[OPSB]", "[SP]", "[SD]", "[AS]", "[VX]"}));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "[PBPA]");
  EXPECT_EQ(lines[1], "Panel1=1");
  // The original sections end with AS; Vexilo's own switches follow in a section of their own.
  EXPECT_EQ(std::vector<std::string>(lines.end() - 8, lines.end()),
            (std::vector<std::string>{"[AS]", "N=1", "A=0", "[VX]", "keep_orientation=0", "to_srgb=0",
                                      "strip_location=0", "keep_dates=0"}));

  // Spot checks of the key order inside sections.
  const std::string text = AsciiOfUtf16(bytes);
  EXPECT_NE(text.find("[PBRB]\r\nrb_pixel=1\r\nrb_prozent=0\r\nrb_filesize=0\r\nact_size240x320=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("[PBCB]\r\nact_sizeprozent_x=75\r\nact_sizeprozent_y=75\r\nact_sizebenutzer_x=640\r\n"
                      "act_sizebenutzer_y=480\r\nout_ordner=<keep>\r\nout_name=%name%-1\r\nout_format=<keep>\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[PFCH]\r\njpg=0\r\nbmp=0\r\ncb_bitmap=0\r\ndib=0\r\ncb_jpg=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("xpm=0\r\ninp_uv=1\r\nwebp=0\r\navif=0\r\nheic=0\r\njxl=0\r\n[PFRB]\r\nalle=1\r\nauswahl=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("[DUED]\r\nquordner=\r\nsuchenalt=\r\nsuchenneu=\r\n[DUCH]\r\nuv=1\r\nsuchenersetzen=0\r\n"
                      "cb_suchendung=0\r\ncb_suchname=1\r\n[DUCB]\r\nmaske=%name%\r\nnumstart=1\r\n[DFRB]\r\nalle=1\r\n"
                      "auswahl=0\r\n[DFED]\r\nfilter=jpg,bmp,txt\r\n[SCED]\r\nbeldateien=jpg,bmp,png\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[OPCB]\r\nact_sizemethode=Bicubic\r\nout_quality=95\r\n[OPSB]\r\nScrollBar1=95\r\n"
                      "[SP]\r\nPF=0\r\nPB=510\r\nPH=472\r\nPT=0\r\nPL=0\r\n[SD]\r\nPF=0\r\nPB=592\r\nPH=615\r\n"),
            std::string::npos);
}

TEST(Configuration, ImageExtensionsGiveAnEightBitFileAndExistingFilesKeepTheirs) {
  testsupport::TempDir dir;
  ProgramWindows windows(Language::German);
  for (const char* name : {"a.JPG", "b.jpeg", "c.bmp", "d.Gif"}) {
    const std::string path = (dir / name).string();
    config::SaveConfiguration(windows, path);
    const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "[PBPA]\r\n") << name;
    EXPECT_EQ(config::VxcFile::Parse(bytes).ReadString("PBCB", "out_format"), "<beibehalten>");
  }
  const std::string eightBit = (dir / "old.vxc").string();
  testsupport::WriteFileBytes(eightBit, Bytes("[PBED]\r\ned_faktor=3\r\n"));
  config::SaveConfiguration(windows, eightBit);
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(eightBit);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 21), "[PBED]\r\ned_faktor=2\r\n");
  EXPECT_EQ(config::VxcFile::Parse(bytes).Encoding(), config::TextEncoding::Utf8);
}

TEST(Configuration, SavingOverAFileKeepsWhatTheProgramDoesNotKnow) {
  testsupport::TempDir dir;
  const std::string path = (dir / "user.vxc").string();
  testsupport::WriteFileBytes(path, Bytes("[Notes]\r\nwho=me\r\n[PBED]\r\ned_faktor=7\r\nmine=1\r\n"));
  ProgramWindows windows(Language::English);
  config::SaveConfiguration(windows, path);
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("[Notes]\r\nwho=me\r\n[PBED]\r\ned_faktor=2\r\nmine=1\r\ninp_ordner=\r\ned_filesize=100\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\n[PBPA]\r\nPanel1=1\r\n"), std::string::npos);
}

TEST(Configuration, RadioButtonsAreSetOneByOneInKeyOrder) {
  struct Case {
    const char* file;
    std::vector<std::string> checked;  // size-mode buttons checked afterwards
    std::vector<std::string> visiblePanels;
  };
  const std::vector<Case> cases = {
      {"[PBRB]\r\nrb_prozent=1\r\n", {"rb_prozent"}, {"pa_prozent"}},
      {"[PBRB]\r\nrb_pixel=1\r\nrb_prozent=1\r\n", {"rb_prozent"}, {"pa_prozent"}},
      {"[PBRB]\r\nrb_prozent=1\r\nrb_pixel=1\r\n", {"rb_prozent"}, {"pa_prozent"}},  // the file's order does not count
      {"[pbrb]\r\nRB_FAKTOR=0x1\r\n", {"rb_faktor"}, {"pa_faktor"}},
      {"[PBRB]\r\nrb_pixel=0\r\nrb_prozent=0\r\nrb_filesize=0\r\nrb_benutzer=0\r\nrb_faktor=0\r\n", {}, {}},
      {"[PBRB]\r\nrb_pixel=yes\r\nrb_filesize=1\r\n", {"rb_filesize"}, {"pa_filesize"}},
      {"[PBRB]\r\nrb_pixel=\r\n", {"rb_pixel"}, {"pa_pixel"}},
  };
  const char* const modes[] = {"rb_pixel", "rb_benutzer", "rb_prozent", "rb_faktor", "rb_filesize"};
  const char* const panels[] = {"pa_pixel", "pa_benutzer", "pa_prozent", "pa_faktor", "pa_filesize"};
  for (const Case& c : cases) {
    ProgramWindows windows(Language::English);
    std::vector<std::string> before = StoredValues(windows);
    Load(windows, c.file);
    std::vector<std::string> checked, visible;
    for (const char* mode : modes)
      if (windows.mainForm.Checked(mode)) checked.emplace_back(mode);
    for (const char* panel : panels)
      if (windows.mainForm.Visible(panel)) visible.emplace_back(panel);
    EXPECT_EQ(checked, c.checked) << c.file;
    EXPECT_EQ(visible, c.visiblePanels) << c.file;
    // Nothing else changed.
    std::vector<std::string> after = StoredValues(windows);
    size_t differences = 0;
    for (size_t i = 0; i < after.size(); ++i)
      if (after[i] != before[i] && after[i].find("rb_") == std::string::npos && after[i].find("pa_") == std::string::npos)
        ++differences;
    EXPECT_EQ(differences, 0u) << c.file;
  }
  // The panel tops follow the page layout: with percent alone visible, the file-size button
  // stands 5 below the bottom of the factor block.
  ProgramWindows windows(Language::English);
  Load(windows, "[PBRB]\r\nrb_prozent=1\r\n");
  EXPECT_GT(windows.mainForm.Get("rb_faktor").top, windows.mainForm.Get("pa_prozent").top + 70);
}

TEST(Configuration, LoadingRunsTheCoupledBehaviourAndValidatesIntegers) {
  ProgramWindows windows(Language::English);
  Load(windows,
       "[OPCB]\r\nout_quality=50\r\n[OPSB]\r\nScrollBar1=500\r\n"
       "[PBCH]\r\nact_propprozent=1\r\n[PBCB]\r\nact_sizeprozent_x=30\r\nact_sizeprozent_y=40\r\n"
       "out_format=anything at all\r\n[PFCH]\r\ninp_uv=maybe\r\n[PBPA]\r\nPanel2=0\r\n");
  EXPECT_EQ(windows.options.Position("ScrollBar1"), 100);  // clamped, then written into the box
  EXPECT_EQ(windows.options.Text("out_quality"), "100");
  EXPECT_EQ(windows.mainForm.Text("act_sizeprozent_x"), "40");  // coupled: the later key wins both
  EXPECT_EQ(windows.mainForm.Text("act_sizeprozent_y"), "40");
  EXPECT_EQ(windows.mainForm.Text("out_format"), "anything at all");
  EXPECT_TRUE(windows.folderFilter.Checked("inp_uv"));
  EXPECT_FALSE(windows.mainForm.Visible("Panel2"));
}

TEST(Configuration, AGermanFileLoadsInEnglishAndBack) {
  testsupport::TempDir dir;
  const std::string germanPath = (dir / "de.vxc").string();
  const std::string englishPath = (dir / "en.vxc").string();
  ProgramWindows german(Language::German);
  german.mainForm.SetText("out_name", "%name% (%breite%x%höhe%)");
  german.mainForm.SetText("out_ordner", "%ordner%/neu");
  german.mainForm.SelectItem("out_format", 8);  // *.psd - Photoshop Bild
  german.options.SetText("act_sizemethode", "Nächster Nachbar");
  config::SaveConfiguration(german, germanPath);

  ProgramWindows english(Language::English);
  config::LoadConfiguration(english, germanPath, LoadCaller::Menu);
  EXPECT_EQ(english.mainForm.Text("out_name"), "%name% (%width%x%height%)");
  EXPECT_EQ(english.mainForm.Text("out_ordner"), "%folder%/neu");
  EXPECT_EQ(english.mainForm.Text("out_format"), "*.psd - Photoshop Image");
  EXPECT_EQ(english.mainForm.Get("out_format").itemIndex, 8);
  EXPECT_EQ(english.mainForm.Get("out_name").itemIndex, 6);
  EXPECT_EQ(english.options.Text("act_sizemethode"), "Nearest");
  config::SaveConfiguration(english, englishPath);

  ProgramWindows back(Language::German);
  config::LoadConfiguration(back, englishPath, LoadCaller::Menu);
  EXPECT_EQ(StoredValues(back), StoredValues(german));

  // The keep entries.
  ProgramWindows keep(Language::English);
  Load(keep, "[PBCB]\r\nout_ordner=<beibehalten>\r\nout_format=<beibehalten>\r\nout_name=<beibehalten>\r\n");
  EXPECT_EQ(keep.mainForm.Text("out_ordner"), "<keep>");
  EXPECT_EQ(keep.mainForm.Text("out_format"), "<keep>");
  EXPECT_EQ(keep.mainForm.Text("out_name"), "<keep>");
}

// The WebP, AVIF, HEIF and JPEG XL entries came after the original formats: a file written before
// them chooses what it chose then, and one that chooses them reads back.
TEST(Configuration, LaterFormatEntriesLeaveOlderFilesTheirMeaning) {
  ProgramWindows old(Language::German);
  Load(old, "[PBCB]\r\nout_format=*.tga - Truevision Targa Bild\r\n[PFCH]\r\nxpm=1\r\ninp_uv=1\r\n"
            "[PFRB]\r\nalle=0\r\nauswahl=1\r\n");
  EXPECT_EQ(old.mainForm.Get("out_format").itemIndex, 28);
  EXPECT_EQ(forms::SearchExtensions(old.folderFilter), (std::vector<std::string>{".xpm"}));

  const struct {
    const char* item;
    const char* box;
    int index;
    std::vector<std::string> extensions;
  } later[] = {
      {"*.webp - WebP", "webp", 29, {".webp"}},
      {"*.avif - AV1 Image File Format", "avif", 30, {".avif"}},
      {"*.heic - High Efficiency Image File Format", "heic", 31, {".heic", ".heif"}},
      {"*.jxl - JPEG XL", "jxl", 32, {".jxl"}},
  };
  for (const auto& entry : later) {
    SCOPED_TRACE(entry.box);
    ProgramWindows windows(Language::German);
    Load(windows, std::string("[PBCB]\r\nout_format=") + entry.item + "\r\n[PFCH]\r\n" + entry.box +
                      "=1\r\n[PFRB]\r\nalle=0\r\nauswahl=1\r\n");
    EXPECT_EQ(windows.mainForm.Get("out_format").itemIndex, entry.index);
    EXPECT_EQ(forms::SearchExtensions(windows.folderFilter), entry.extensions);
  }

  // Every output type stored before JPEG XL came (0 to 31) loads to the same choice.
  const std::vector<std::string> items = ProgramWindows(Language::German).mainForm.Get("out_format").items;
  for (int index = 0; index < 32; ++index) {
    SCOPED_TRACE(items[size_t(index)]);
    ProgramWindows windows(Language::German);
    Load(windows, "[PBCB]\r\nout_format=" + items[size_t(index)] + "\r\n");
    EXPECT_EQ(windows.mainForm.Get("out_format").itemIndex, index);
  }
}

TEST(Configuration, PhotoSwitchesLiveInTheirOwnSectionAndReadAsUncheckedWhereAbsent) {
  ProgramWindows windows(Language::English);
  windows.options.SetChecked("keep_orientation", true);
  windows.options.SetChecked("strip_location", true);
  config::VxcFile file;
  config::WriteConfiguration(windows, file);
  EXPECT_EQ(file.ReadString("VX", "keep_orientation"), "1");
  EXPECT_EQ(file.ReadString("VX", "to_srgb"), "0");
  EXPECT_EQ(file.ReadString("VX", "strip_location"), "1");
  // The original sections hold what the original program writes, nothing more.
  for (const char* section : {"OPCH", "OPCB", "OPSB"})
    for (const char* key : {"keep_orientation", "to_srgb", "strip_location"})
      EXPECT_FALSE(file.ReadString(section, key)) << section << "/" << key;

  ProgramWindows loaded(Language::English);
  config::ApplyLoadedConfiguration(loaded, file, LoadCaller::Menu);
  EXPECT_TRUE(loaded.options.Checked("keep_orientation"));
  EXPECT_FALSE(loaded.options.Checked("to_srgb"));
  EXPECT_TRUE(loaded.options.Checked("strip_location"));

  // A configuration without the section (the original program's, or an older one) turns photos
  // upright, keeps their profiles and their metadata, whatever the switches were before.
  Load(loaded, "[OPCH]\r\nprogressivaktiv=0\r\n[VX]\r\nto_srgb=1\r\n");
  EXPECT_FALSE(loaded.options.Checked("keep_orientation"));
  EXPECT_TRUE(loaded.options.Checked("to_srgb"));
  EXPECT_FALSE(loaded.options.Checked("strip_location"));
  Load(loaded, "[OPCH]\r\nprogressivaktiv=0\r\n");
  EXPECT_FALSE(loaded.options.Checked("to_srgb"));
  // A file that is no configuration changes nothing.
  loaded.options.SetChecked("keep_orientation", true);
  Load(loaded, "[Desktop Entry]\r\nName=x\r\n");
  EXPECT_TRUE(loaded.options.Checked("keep_orientation"));

  // By name, with or without their section, as switches.
  EXPECT_EQ(config::ApplySetting(loaded, "to_srgb", "1"), std::nullopt);
  EXPECT_EQ(config::ApplySetting(loaded, "VX/strip_location", "1"), std::nullopt);
  EXPECT_TRUE(loaded.options.Checked("to_srgb"));
  EXPECT_TRUE(loaded.options.Checked("strip_location"));
  const auto refused = config::ApplySetting(loaded, "keep_orientation", "yes");
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("is a switch"), std::string::npos) << *refused;
  EXPECT_TRUE(config::ApplySetting(loaded, "OPCH/keep_orientation", "1"));
}

// Gives every stored control of every window a value other than its initial one (where the
// control can hold one that a load does not change through a coupling).
void ChangeEverything(ProgramWindows& w) {
  Form& p = w.mainForm;
  for (const char* panel : {"Panel1", "Panel2", "Panel5", "pa_speichern", "Panel12"}) p.SetVisible(panel, false);
  p.SetText("inp_ordner", "/home/u/pics with blanks ");
  p.SetText("ed_filesize", "250,5");
  p.SetText("ed_faktor", "'1/3'");
  p.SetChecked("rb_faktor", true);
  p.SetChecked("act_size1024x768", true);
  p.SetChecked("out_overwrite", true);
  p.SetChecked("act_sizeprop", false);
  p.SetChecked("act_propprozent", false);
  p.SetChecked("act_propbenutzer_prop", false);
  p.SetText("act_sizeprozent_x", "30");
  p.SetText("act_sizeprozent_y", "40");
  p.SetText("act_sizebenutzer_x", "1920");
  p.SetText("act_sizebenutzer_y", "");
  p.SetText("out_ordner", " %folder%/out ");
  p.SetText("out_name", "\"%0num%\"");
  p.SelectItem("out_format", 3);

  Form& f = w.folderFilter;
  f.Click("auswahl");
  f.Click("cb_jpg");
  f.Click("jpeg");  // a partial selection of a group
  f.Click("cb_portable");
  f.Click("png");
  f.Click("xpm");
  f.Click("inp_uv");

  Form& r = w.renamer;
  r.SetText("quordner", "/tmp/x");
  r.SetText("suchenalt", " a");
  r.SetText("suchenneu", "b ");
  r.SetChecked("uv", false);
  r.SetChecked("suchenersetzen", true);
  r.SetChecked("cb_suchendung", true);
  r.SetChecked("cb_suchname", false);
  r.SetText("maske", "%0num%-%abs%");
  r.SetText("numstart", "0");
  w.renamerFilter.Click("auswahl");
  w.renamerFilter.SetText("filter", "png, tif");
  w.shortcuts.SetText("beldateien", "jpg,.png,,tif?");

  Form& o = w.options;
  for (const char* box : {"act_sizehochquerformat", "act_sizebigger", "act_sizekleiner", "progressivaktiv", "psdlayers"})
    o.SetChecked(box, false);
  o.SetText("act_sizemethode", "Bilinear");
  o.SetText("out_quality", "42");
  o.SetChecked("keep_dates", true);
  for (const char* box : {"keep_orientation", "to_srgb", "strip_location"}) o.SetChecked(box, true);

  w.renamerWindow = {false, false, 800, 700, -10, 20};
  w.mainWindow = {false, false, 640, 500, 30, 40};
  w.autosaveNever = false;
  w.autosaveAll = true;
  // The program's own texts are always in its language.
  config::ApplyLanguageToForms(w, w.language);
}

TEST(Configuration, ASavedConfigurationLoadsBackIntoEveryControl) {
  for (Language language : {Language::English, Language::German}) {
    testsupport::TempDir dir;
    const std::string path = (dir / "all.vxc").string();
    ProgramWindows changed(language);
    ChangeEverything(changed);
    config::SaveConfiguration(changed, path);

    ProgramWindows loaded(language);
    config::LoadConfiguration(loaded, path, LoadCaller::StartUp);
    EXPECT_EQ(StoredValues(loaded), StoredValues(changed));
    for (const char* member : {"jpg", "jif", "jpeg", "pgm"})
      EXPECT_TRUE(loaded.folderFilter.Get(member).enabled) << member;
    EXPECT_TRUE(loaded.renamerFilter.Get("filter").enabled);
    EXPECT_TRUE(loaded.renamer.Get("suchenalt").enabled);
    EXPECT_EQ(loaded.mainWindow.clientWidth, 640);
    EXPECT_EQ(loaded.mainWindow.left, 40);
    EXPECT_EQ(loaded.renamerWindow.top, -10);
    EXPECT_FALSE(loaded.autosaveNever);
    EXPECT_TRUE(loaded.autosaveAll);
  }
}

TEST(Configuration, GeometryFollowsTheScreenAndTheCaller) {
  const config::ScreenSize screen{1024, 768};
  {
    ProgramWindows w(Language::English);
    Load(w, "[SP]\r\nPF=0\r\nPB=2000\r\nPH=600\r\nPT=800\r\nPL=-20\r\n", LoadCaller::Menu, screen);
    EXPECT_EQ(w.mainWindow.clientWidth, 510);  // wider than the screen: not applied
    EXPECT_EQ(w.mainWindow.clientHeight, 600);
    EXPECT_EQ(w.mainWindow.top, 0);
    EXPECT_EQ(w.mainWindow.left, -20);
  }
  {
    ProgramWindows w(Language::English);
    w.mainWindow.left = 100;
    w.mainWindow.top = 100;
    Load(w, "[SP]\r\nPF=1\r\nPB=600\r\n[SD]\r\nPF=1\r\n", LoadCaller::Menu, screen);
    EXPECT_FALSE(w.mainWindow.maximized);
    EXPECT_FALSE(w.mainWindow.maximizeOnActivation);
    EXPECT_EQ(w.mainWindow.left, 0);
    EXPECT_EQ(w.mainWindow.top, 0);
    EXPECT_EQ(w.mainWindow.clientWidth, 510);
    EXPECT_TRUE(w.renamerWindow.maximized);
  }
  {
    ProgramWindows w(Language::English);
    w.mainWindow.left = 100;
    w.mainWindow.top = 100;
    Load(w, "[SP]\r\nPF=1\r\n", LoadCaller::StartUp, screen);
    EXPECT_TRUE(w.mainWindow.maximizeOnActivation);
    EXPECT_EQ(w.mainWindow.top, 0);
    EXPECT_EQ(w.mainWindow.left, 100);
  }
  {
    // A maximized window with no PF key counts as maximized.
    ProgramWindows w(Language::English);
    w.mainWindow.maximized = true;
    w.mainWindow.left = 5;
    Load(w, "[SP]\r\nPL=300\r\n", LoadCaller::Menu, screen);
    EXPECT_EQ(w.mainWindow.left, 0);
  }
}

TEST(Configuration, AMissingFileLoadsAsEmptyAndStillRefreshes) {
  ProgramWindows w(Language::German);
  w.mainForm.SetChecked("rb_prozent", true);
  w.mainForm.SetVisible("pa_pixel", true);  // out of step with the size mode
  w.mainForm.SetText("out_ordner", "<keep>");
  config::LoadConfiguration(w, "/nonexistent/folder/x.vxc", LoadCaller::Menu);
  EXPECT_FALSE(w.mainForm.Visible("pa_pixel"));
  EXPECT_EQ(w.mainForm.Text("out_ordner"), "<beibehalten>");  // the language step ran
}

TEST(Configuration, TheStandardConfigurationSetsItsValuesAndKeepsTheOthers) {
  ProgramWindows w(Language::English);
  ChangeEverything(w);
  w.mainForm.SetText("ed_filesize", "77");
  config::LoadStandardConfiguration(w);
  const Form& p = w.mainForm;
  EXPECT_EQ(p.Text("inp_ordner"), "");
  EXPECT_EQ(p.Text("out_format"), "<beibehalten>");
  EXPECT_EQ(p.Text("out_name"), "%name%-1");
  EXPECT_EQ(p.Text("out_ordner"), "<beibehalten>");
  EXPECT_EQ(p.Text("act_sizebenutzer_x"), "640");
  EXPECT_EQ(p.Text("act_sizebenutzer_y"), "480");
  EXPECT_TRUE(p.Checked("act_sizeprop"));
  EXPECT_TRUE(p.Checked("out_newimage"));
  EXPECT_FALSE(p.Checked("out_overwrite"));
  EXPECT_TRUE(p.Checked("act_size640x480"));
  EXPECT_FALSE(p.Checked("act_size1024x768"));
  // Kept: the size mode, the percent, factor and file-size fields.
  EXPECT_TRUE(p.Checked("rb_faktor"));
  EXPECT_EQ(p.Text("ed_filesize"), "77");
  EXPECT_EQ(p.Text("ed_faktor"), "'1/3'");
  EXPECT_EQ(p.Text("act_sizeprozent_x"), "30");

  const Form& f = w.folderFilter;
  for (const forms::Control& c : f.Controls()) {
    if (c.kind != ControlKind::Check) continue;
    EXPECT_EQ(c.checked, c.name == "inp_uv") << c.name;
    EXPECT_EQ(c.enabled, c.name == "inp_uv") << c.name;
  }
  EXPECT_TRUE(f.Checked("alle"));
  EXPECT_FALSE(f.Checked("auswahl"));

  EXPECT_EQ(w.options.Text("act_sizemethode"), "Bikubisch");
  EXPECT_EQ(w.options.Text("out_quality"), "80");
  EXPECT_EQ(w.options.Position("ScrollBar1"), 80);
  EXPECT_TRUE(w.options.Checked("act_sizekleiner"));
  EXPECT_TRUE(w.options.Checked("progressivaktiv"));
  EXPECT_FALSE(w.options.Checked("psdlayers"));  // kept
  for (const char* box : {"keep_orientation", "to_srgb", "strip_location"}) EXPECT_FALSE(w.options.Checked(box)) << box;

  EXPECT_EQ(w.renamer.Text("quordner"), "");
  EXPECT_EQ(w.renamer.Text("suchenalt"), "");
  EXPECT_TRUE(w.renamer.Checked("uv"));
  EXPECT_FALSE(w.renamer.Checked("suchenersetzen"));
  EXPECT_TRUE(w.renamer.Checked("cb_suchendung"));  // kept
  EXPECT_EQ(w.renamer.Text("maske"), "%name%1");
  EXPECT_EQ(w.renamer.Text("numstart"), "1");
  EXPECT_TRUE(w.renamerFilter.Checked("alle"));
  EXPECT_FALSE(w.renamerFilter.Get("filter").enabled);
  EXPECT_EQ(w.renamerFilter.Text("filter"), "jpg,bmp,txt");
  EXPECT_EQ(w.shortcuts.Text("beldateien"), "jpg,.png,,tif?");  // kept
  EXPECT_TRUE(w.autosaveNever);
  EXPECT_FALSE(w.autosaveAll);
  EXPECT_EQ(w.mainWindow.clientWidth, 640);  // geometry kept
}

// Points the settings folder somewhere else for one test.
class SettingsHome {
public:
  explicit SettingsHome(const std::string& folder) {
    if (const char* old = getenv("VEXILO_HOME")) saved_ = old;
    setenv("VEXILO_HOME", folder.c_str(), 1);
  }
  ~SettingsHome() {
    if (saved_) setenv("VEXILO_HOME", saved_->c_str(), 1);
    else unsetenv("VEXILO_HOME");
  }

private:
  std::optional<std::string> saved_;
};

TEST(Configuration, StartConfigurationAndAutosaveLiveInTheSettingsFolder) {
  testsupport::TempDir dir;
  const std::string folder = (dir / "settings/vexilo").string();
  SettingsHome home(folder);
  EXPECT_EQ(config::SettingsFolder(), folder + "/");
  EXPECT_EQ(config::StartConfigurationPath(), folder + "/Auto.vxc");

  ProgramWindows w(Language::English);
  EXPECT_FALSE(config::LoadStartConfiguration(w, LoadCaller::Menu));
  EXPECT_FALSE(config::AutosaveOnClose(w));  // "never": nothing written
  EXPECT_FALSE(std::filesystem::exists(folder));

  config::ClickAutosave(w, true);
  EXPECT_TRUE(w.autosaveAll);
  EXPECT_FALSE(w.autosaveNever);
  w.mainForm.SetText("ed_faktor", "5");
  EXPECT_TRUE(config::AutosaveOnClose(w));  // creates the folder
  ProgramWindows next(Language::English);
  EXPECT_TRUE(config::LoadStartConfiguration(next, LoadCaller::StartUp));
  EXPECT_EQ(next.mainForm.Text("ed_faktor"), "5");
  EXPECT_TRUE(next.autosaveAll);

  unsetenv("VEXILO_HOME");
  const char* xdg = getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> savedXdg = xdg ? std::optional<std::string>(xdg) : std::nullopt;
  setenv("XDG_CONFIG_HOME", "/x/y", 1);
  EXPECT_EQ(config::SettingsFolder(), "/x/y/vexilo/");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_NE(config::SettingsFolder(), "relative/vexilo/");
  if (savedXdg) setenv("XDG_CONFIG_HOME", savedXdg->c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }

private:
  rlimit saved_{};
};

TEST(Configuration, AFailingSaveNamesTheFileAndLeavesItAsItWas) {
  testsupport::TempDir dir;
  const std::string path = (dir / "old.vxc").string();
  const std::vector<uint8_t> old = Bytes("[Mine]\r\nkeep=1\r\n[AS]\r\nN=0\r\nA=1\r\n");
  testsupport::WriteFileBytes(path, old);
  ProgramWindows w(Language::English);
  {
    FileSizeLimit limit(200);
    EXPECT_THROW(
        {
          try {
            config::SaveConfiguration(w, path);
          } catch (const config::ConfigWriteError& e) {
            EXPECT_STREQ(e.what(), ("Unable to write to " + path).c_str());
            throw;
          }
        },
        config::ConfigWriteError);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);

  if (geteuid() != 0) {
    // A read-only folder: the file cannot be replaced.
    chmod(dir.Path().c_str(), 0555);
    EXPECT_THROW(config::SaveConfiguration(w, path), config::ConfigWriteError);
    chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  }
  EXPECT_THROW(config::SaveConfiguration(w, (dir / "no/such/folder.vxc").string()), config::ConfigWriteError);
  EXPECT_THROW(config::SaveConfiguration(w, dir.Path().string()), config::ConfigWriteError);
}

// Only a configuration is written over: a picture or any other file named by mistake stays as it
// was (it would have kept its content with the settings added), and a named pipe is not even
// opened. An empty file is taken as a new configuration.
TEST(Configuration, SavingRefusesAFileThatIsNoConfiguration) {
  testsupport::TempDir dir;
  ProgramWindows w(Language::English);
  const std::string photo = (dir / "photo.jpg").string(), notes = (dir / "notes.vxc").string();
  testsupport::WriteFileBytes(photo, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0});
  testsupport::WriteFileBytes(notes, Bytes("[Notes]\r\nwho=me\r\n"));
  for (const std::string& path : {photo, notes}) {
    const std::vector<uint8_t> before = testsupport::ReadFileBytes(path);
    try {
      config::SaveConfiguration(w, path);
      ADD_FAILURE() << path << " was written over";
    } catch (const config::ConfigWriteError& e) {
      EXPECT_NE(e.Reason().find("no configuration"), std::string::npos) << e.Reason();
    }
    EXPECT_EQ(testsupport::ReadFileBytes(path), before) << path;
  }
  const std::string pipe = (dir / "pipe.vxc").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  try {
    config::SaveConfiguration(w, pipe);
    ADD_FAILURE() << "a named pipe was written over";
  } catch (const config::ConfigWriteError& e) {
    EXPECT_NE(e.Reason().find("is not a regular file"), std::string::npos) << e.Reason();
  }
  EXPECT_FALSE(config::ReadWholeFile(pipe)) << "read without waiting for a writer";
  const std::string empty = (dir / "empty.vxc").string();
  testsupport::WriteFileBytes(empty, {});
  config::SaveConfiguration(w, empty);
  EXPECT_TRUE(config::HoldsKnownSection(config::VxcFile::Parse(testsupport::ReadFileBytes(empty))));
}

TEST(ConfigurationMenu, EntriesAreNamedByCountAndAddedOncePerPath) {
  testsupport::TempDir dir;
  const std::string start = (dir / "Auto.vxc").string();
  config::ConfigurationMenu menu(start);
  ASSERT_EQ(menu.Items().size(), 8u);
  EXPECT_EQ(menu.Items()[2].caption, "Load Configuration");
  menu.ApplyLanguage(Language::German);
  EXPECT_EQ(menu.Items()[7].caption, "Startkonfiguration (Auto.vxc) laden wenn vorhanden");
  EXPECT_EQ(menu.Items()[7].hint, start);

  const std::string a = (dir / "a.vxc").string();
  EXPECT_FALSE(menu.AddFileEntry(start));  // the start configuration has m_konfig_start
  EXPECT_TRUE(menu.AddFileEntry(a, [](const std::string& p) { return "..." + p.substr(p.rfind('/')); }));
  EXPECT_FALSE(menu.AddFileEntry(a));
  EXPECT_TRUE(menu.AddFileEntry((dir / "A.vxc").string()));  // other letter case, other entry
  ASSERT_EQ(menu.Items().size(), 10u);
  EXPECT_EQ(menu.Items()[8].name, "m_konfig_8");
  EXPECT_EQ(menu.Items()[8].caption, ".../a.vxc");
  EXPECT_EQ(menu.Items()[8].hint, a);
  EXPECT_EQ(menu.Items()[9].name, "m_konfig_9");
  menu.ApplyLanguage(Language::English);
  EXPECT_EQ(menu.Items()[8].caption, ".../a.vxc");

  EXPECT_EQ(menu.FileOfEntry("m_konfig_8"), std::nullopt);  // the file has gone
  testsupport::WriteFileBytes(a, Bytes("[AS]\r\n"));
  EXPECT_EQ(menu.FileOfEntry("m_konfig_8"), a);
  EXPECT_EQ(menu.FileOfEntry("m_konfig_start"), std::nullopt);

  testsupport::WriteFileBytes(dir / "b.VXC", Bytes(""));
  testsupport::WriteFileBytes(dir / "c.vxc.bak", Bytes(""));
  std::filesystem::create_directory(dir / "d.vxc");
  std::filesystem::create_directory(dir / "sub");
  testsupport::WriteFileBytes(dir / "sub/e.vxc", Bytes(""));
  EXPECT_EQ(config::ConfigurationFilesIn(dir.Path().string()),
            (std::vector<std::string>{a, (dir / "b.VXC").string()}));
}

TEST(Configuration, SettingsByNameAsAConfigurationHoldsThem) {
  ProgramWindows w(Language::English);
  EXPECT_EQ(config::ApplySetting(w, "out_quality", " 80 "), std::nullopt);
  EXPECT_EQ(w.options.Position("ScrollBar1"), 80);
  EXPECT_EQ(config::ApplySetting(w, "OUT_NAME", "\" x\""), std::nullopt);
  EXPECT_EQ(w.mainForm.Text("out_name"), " x");
  EXPECT_EQ(config::ApplySetting(w, "pfrb/auswahl", "1"), std::nullopt);
  EXPECT_TRUE(w.folderFilter.Checked("auswahl"));
  EXPECT_FALSE(w.renamerFilter.Checked("auswahl"));
  EXPECT_EQ(config::ApplySetting(w, "SP/PB", "$400"), std::nullopt);
  EXPECT_EQ(w.mainWindow.clientWidth, 1024);
  EXPECT_EQ(config::ApplySetting(w, "AS/A", "1"), std::nullopt);
  EXPECT_TRUE(w.autosaveAll);

  const auto ambiguous = config::ApplySetting(w, "alle", "1");
  ASSERT_TRUE(ambiguous.has_value());
  EXPECT_NE(ambiguous->find("PFRB/alle, DFRB/alle"), std::string::npos);
  EXPECT_TRUE(config::ApplySetting(w, "rb_pixel", "on").has_value());
  EXPECT_TRUE(config::ApplySetting(w, "Label6", "x").has_value());
  EXPECT_TRUE(config::ApplySetting(w, "nothing", "1").has_value());
  EXPECT_TRUE(config::ApplySetting(w, "PBED/rb_pixel", "1").has_value());
  EXPECT_TRUE(config::ApplySetting(w, "SP/XX", "1").has_value());
}

// Vexilo's own settings are read from and set in the section VX only; a configuration without
// it leaves them at their initial values, which are the original behaviour.
TEST(Configuration, OwnSettingsLiveInTheirOwnSection) {
  ProgramWindows w(Language::German);
  Load(w, "[OPCH]\r\nkeep_dates=1\r\npsdlayers=0\r\n");
  EXPECT_FALSE(w.options.Checked("keep_dates"));
  Load(w, "[vx]\r\nKEEP_DATES=1\r\n");
  EXPECT_TRUE(w.options.Checked("keep_dates"));
  EXPECT_TRUE(config::HoldsKnownSection(config::VxcFile::Parse(Bytes("[VX]\r\nkeep_dates=0\r\n"))));

  ProgramWindows set(Language::English);
  EXPECT_TRUE(config::ApplySetting(set, "OPCH/keep_dates", "1").has_value());
  EXPECT_TRUE(config::ApplySetting(set, "keep_dates", "yes").has_value());
  EXPECT_FALSE(set.options.Checked("keep_dates"));
  EXPECT_EQ(config::ApplySetting(set, "keep_dates", "1"), std::nullopt);
  EXPECT_TRUE(set.options.Checked("keep_dates"));
  EXPECT_EQ(config::ApplySetting(set, "VX/keep_dates", "0"), std::nullopt);
  EXPECT_FALSE(set.options.Checked("keep_dates"));
}

}  // namespace
