// vexilo-cli config and the configuration side of vexilo-cli convert: files written by the
// command load back into every control, saving over a file keeps what the program does not
// know, and convert searches folders with the filter of its configuration.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "imaging/PixelFormats.h"
#include "tests/support/TestSupport.h"
#include "forms/MainForm.h"
#include "config/VxcFile.h"

namespace fs = std::filesystem;

namespace {

using config::ProgramWindows;
using forms::Language;

class ConfigCli : public ::testing::Test {
protected:
  testsupport::TempDir dir;

  // Runs vexilo-cli in the temporary folder; `output` gets standard output and error.
  int Cli(const std::string& arguments, std::string* output = nullptr) {
    std::string text;
    const int status = testsupport::RunCommand("cd '" + dir.Path().string() + "' && '" + VEXILO_CLI_PATH + "' " +
                                                   arguments + " 2>&1 </dev/null",
                                               &text);
    if (output) *output = text;
    return status;
  }

  void Bitmap(const std::string& name, int width, int height) {
    imaging::Image image;
    ASSERT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) imaging::SetPixel32(image, x, y, imaging::MakeColor32(255, 1, 2, 3));
    fs::create_directories((dir / name).parent_path());
    EXPECT_TRUE(engine::SaveImageFile((dir / name).string(), image));
  }
};

std::vector<std::string> StoredValues(const ProgramWindows& w) {
  std::vector<std::string> out;
  for (const forms::Form* form : {&w.mainForm, &w.folderFilter, &w.renamer, &w.renamerFilter, &w.shortcuts, &w.options}) {
    for (const forms::Control& c : form->Controls()) {
      const std::string key = form->Name() + "." + c.name + "=";
      switch (c.kind) {
        case forms::ControlKind::Edit:
        case forms::ControlKind::Combo: out.push_back(key + c.text); break;
        case forms::ControlKind::Radio:
        case forms::ControlKind::Check: out.push_back(key + (c.checked ? "1" : "0")); break;
        case forms::ControlKind::ScrollBar: out.push_back(key + std::to_string(c.position)); break;
        case forms::ControlKind::Panel: out.push_back(key + (c.visible ? "1" : "0")); break;
        default: break;
      }
    }
  }
  return out;
}

TEST_F(ConfigCli, ASavedConfigurationLoadsBackIntoEveryControl) {
  const std::vector<std::pair<std::string, std::string>> settings = {
      {"rb_prozent", "1"},         {"act_propprozent", "0"},   {"act_sizeprozent_x", "30"},
      {"act_sizeprozent_y", "40"}, {"out_name", "' x'"},       {"out_ordner", "%folder%/small"},
      {"out_format", "*.tga - Truevision Targa Image"},        {"out_quality", "42"},
      {"act_sizemethode", "Bilinear"}, {"PFRB/auswahl", "1"},  {"cb_jpg", "1"},
      {"jpeg", "1"},               {"inp_uv", "0"},            {"maske", "%0num%"},
      {"DFRB/auswahl", "1"},       {"filter", "png"},          {"beldateien", "tif"},
      {"Panel2", "0"},             {"psdlayers", "0"},         {"SP/PB", "700"},
      {"AS/A", "1"},               {"AS/N", "0"},
  };
  std::string arguments = "config";
  ProgramWindows expected(Language::English);
  for (const auto& [name, value] : settings) {
    arguments += " --set \"" + name + "=" + value + "\"";
    ASSERT_EQ(config::ApplySetting(expected, name, value), std::nullopt) << name;
  }
  forms::RefreshMainForm(expected.mainForm);
  config::ApplyLanguageToForms(expected, Language::English);

  std::string output;
  ASSERT_EQ(Cli(arguments + " --save made.vxc", &output), 0) << output;
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(dir / "made.vxc");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);

  ProgramWindows loaded(Language::English);
  config::LoadConfiguration(loaded, (dir / "made.vxc").string(), config::LoadCaller::Menu);
  EXPECT_EQ(StoredValues(loaded), StoredValues(expected));
  EXPECT_EQ(loaded.mainForm.Text("out_name"), " x");
  EXPECT_TRUE(loaded.mainForm.Checked("rb_prozent"));
  EXPECT_FALSE(loaded.folderFilter.Checked("jpg"));  // a member set alone stays alone
  EXPECT_EQ(loaded.mainWindow.clientWidth, 700);
  EXPECT_TRUE(loaded.autosaveAll);

  // Loaded by the command and saved again, nothing changes.
  ASSERT_EQ(Cli("config --load made.vxc --save again.vxc", &output), 0) << output;
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "again.vxc"), bytes);
}

TEST_F(ConfigCli, SavingOverAFileKeepsItsEncodingAndWhatTheProgramDoesNotKnow) {
  const std::string old = "[Mine]\r\nnote=keep me\r\n[OPCB]\r\nout_quality=70\r\n";
  testsupport::WriteFileBytes(dir / "user.vxc", std::vector<uint8_t>(old.begin(), old.end()));
  std::string output;
  ASSERT_EQ(Cli("config --load user.vxc --set out_quality=60 --save user.vxc", &output), 0) << output;
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(dir / "user.vxc");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("[Mine]\r\nnote=keep me\r\n[OPCB]\r\nout_quality=60\r\nact_sizemethode=Bicubic\r\n", 0), 0u)
      << text;
  EXPECT_NE(text.find("[OPSB]\r\nScrollBar1=60\r\n"), std::string::npos);

  // German special texts when the marker file says so.
  testsupport::WriteFileBytes(dir / "de", {});
  ASSERT_EQ(Cli("config --load user.vxc --save user.vxc", &output), 0) << output;
  const config::VxcFile german = config::VxcFile::Parse(testsupport::ReadFileBytes(dir / "user.vxc"));
  EXPECT_EQ(german.ReadString("OPCB", "act_sizemethode"), "Bikubisch");
  EXPECT_EQ(german.ReadString("PBCB", "out_format"), "<beibehalten>");
}

TEST_F(ConfigCli, ErrorsAndAFailedWrite) {
  std::string output;
  EXPECT_EQ(Cli("config", &output), 2);
  EXPECT_NE(output.find("--save FILE is required"), std::string::npos);
  EXPECT_EQ(Cli("config --set alle=1 --save x.vxc", &output), 2);
  EXPECT_NE(output.find("PFRB/alle, DFRB/alle"), std::string::npos) << output;
  EXPECT_EQ(Cli("config --set rb_pixel=on --save x.vxc", &output), 2);
  EXPECT_EQ(Cli("config --set nothing=1 --save x.vxc", &output), 2);
  EXPECT_EQ(Cli("config --load missing.vxc --save x.vxc", &output), 2);
  EXPECT_EQ(Cli("config --bogus --save x.vxc", &output), 2);
  EXPECT_FALSE(fs::exists(dir / "x.vxc"));
  EXPECT_EQ(Cli("config --help", &output), 0);

  fs::create_directory(dir / "folder.vxc");
  EXPECT_EQ(Cli("config --save folder.vxc", &output), 1);
  EXPECT_NE(output.find("Unable to write to folder.vxc"), std::string::npos) << output;
  EXPECT_EQ(Cli("config --save no/such/folder/x.vxc", &output), 1);
}

TEST_F(ConfigCli, ConvertSearchesFoldersWithTheFilterOfItsConfiguration) {
  Bitmap("pics/a.bmp", 8, 8);
  Bitmap("pics/b.tga", 8, 8);
  Bitmap("pics/sub/c.bmp", 8, 8);
  std::string output;
  // All supported types and subfolders by default.
  ASSERT_EQ(Cli("convert --yes-to-all --percent 50 --folder out --name '%name%' --format bmp pics", &output), 0)
      << output;
  for (const char* name : {"out/a.bmp", "out/b.bmp", "out/c.bmp"}) EXPECT_TRUE(fs::exists(dir / name)) << name;
  fs::remove_all(dir / "out");

  ASSERT_EQ(Cli("config --set PFRB/auswahl=1 --set bmp=1 --set inp_uv=0 --save bmp-only.vxc", &output), 0) << output;
  ASSERT_EQ(Cli("convert --config bmp-only.vxc --yes-to-all --percent 50 --folder out --name '%name%' --format bmp pics",
                &output),
            0)
      << output;
  EXPECT_TRUE(fs::exists(dir / "out/a.bmp"));
  EXPECT_FALSE(fs::exists(dir / "out/b.bmp"));
  EXPECT_FALSE(fs::exists(dir / "out/c.bmp"));

  // The configuration's own settings apply too; a missing configuration is an error.
  ASSERT_EQ(Cli("config --set rb_prozent=1 --set act_sizeprozent_x=25 --set out_ordner=%folder%/q --save quarter.vxc",
                &output),
            0);
  ASSERT_EQ(Cli("convert --config quarter.vxc --yes-to-all pics/a.bmp", &output), 0) << output;
  imaging::Image image;
  ASSERT_TRUE(engine::LoadImageFile((dir / "pics/q/a-1.bmp").string(), image));
  EXPECT_EQ(image.Width(), 2);
  image.Reset();
  EXPECT_EQ(Cli("convert --config missing.vxc pics/a.bmp", &output), 2);
  EXPECT_NE(output.find("cannot read the configuration"), std::string::npos) << output;
}

}  // namespace
