// What vexilo-cli accepts on its command line and what it refuses with a usage error: the
// factor texts, the settings of --set in both commands, one-sided size boxes, the size rules'
// switches, the order of the files and the configuration files it takes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "tests/engine/ExifTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

class CliArguments : public ::testing::Test {
protected:
  testsupport::TempDir dir;

  // Runs vexilo-cli in the temporary folder without a terminal; `output` gets standard output
  // and error.
  int Cli(const std::string& arguments, std::string* output = nullptr) {
    std::string text;
    const int status = testsupport::RunCommand("cd '" + dir.Path().string() + "' && '" + VEXILO_CLI_PATH + "' " +
                                                   arguments + " 2>&1 </dev/null",
                                               &text);
    if (output) *output = text;
    return status;
  }

  void Picture(const std::string& name, int width, int height) {
    imaging::Image image;
    ASSERT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) imaging::SetPixel32(image, x, y, imaging::MakeColor32(255, 200, uint8_t(x), uint8_t(y)));
    fs::create_directories((dir / name).parent_path());
    EXPECT_TRUE(engine::SaveImageFile((dir / name).string(), image));
  }

  std::string SizeOf(const std::string& name) {
    imaging::Image image;
    if (!engine::LoadImageFile((dir / name).string(), image)) return "unreadable";
    const std::string size = std::to_string(image.Width()) + "x" + std::to_string(image.Height());
    return size;
  }

  void Text(const std::string& name, const std::string& text) {
    testsupport::WriteFileBytes(dir / name, std::vector<uint8_t>(text.begin(), text.end()));
  }
};

TEST_F(CliArguments, AcceptedAndRefused) {
  Picture("a.bmp", 8, 6);
  Text("notes.txt", "shopping list\r\nmilk=2\r\n");
  Text("empty.vxc", "");
  Text("lower.vxc", "[opch]\r\nact_sizebigger=1\r\n");
  struct Case {
    const char* arguments;
    int status;
    const char* says;
  };
  // Conversions write into out/ and overwrite what an earlier case wrote there.
  const Case cases[] = {
      {"convert --factor 2 a.bmp", 0, "1 written"},
      {"convert --factor ' 1/2 ' a.bmp", 0, "1 written"},
      {"convert --factor 3:1 a.bmp", 0, "1 written"},
      {"convert --factor 0.5 a.bmp", 2, "(for 0.5 write 1/2)"},
      {"convert --factor 2.5 a.bmp", 2, "(for 2.5 write 5/2)"},
      {"convert --factor 0 a.bmp", 2, "each part at least 1"},
      {"convert --factor 2/0 a.bmp", 2, "each part at least 1"},
      {"convert --factor /3 a.bmp", 2, "--factor takes"},
      {"convert --factor 1/2/3 a.bmp", 2, "--factor takes"},
      {"convert --size 0x10 a.bmp", 2, "from 1 to 65535"},
      {"convert --size 80x --rotate-box a.bmp", 2, "limits one side only"},
      {"convert --size x80 --no-rotate-box a.bmp", 0, "1 written"},
      {"convert --no-enlarge --no-shrink --rotate-box a.bmp", 0, "1 written"},
      {"convert --enlarge --shrink a.bmp", 0, "1 written"},
      {"convert --no-enlarge=1 a.bmp", 2, "unknown option"},
      {"convert --percent 0 a.bmp", 2, "percent of at least 1"},
      {"convert --config notes.txt a.bmp", 2, "is no configuration"},
      {"convert --config empty.vxc a.bmp", 2, "is no configuration"},
      {"convert --config lower.vxc a.bmp", 0, "1 written"},
      {"config --load notes.txt --save x.vxc", 2, "is no configuration"},
      {"config --load lower.vxc --save x.vxc", 0, ""},
      // -h is --help everywhere.
      {"-h", 0, "Usage: vexilo-cli ["},
      {"convert -h", 0, "--no-rotate-box"},
      {"convert a.bmp -h", 0, "%abs%     the number of files in this run"},
      {"convert --help", 0, "takes a portrait photo up to 480x640"},
      {"config -h", 0, "--save FILE"},
      {"info -h", 0, "Usage: vexilo-cli info"},
      {"transcode -h", 0, "Usage: vexilo-cli transcode"},
  };
  for (const Case& c : cases) {
    std::string arguments = c.arguments;
    if (arguments.rfind("convert ", 0) == 0) arguments += " --yes-to-all --folder out";
    std::string output;
    EXPECT_EQ(Cli(arguments, &output), c.status) << c.arguments << "\n" << output;
    EXPECT_NE(output.find(c.says), std::string::npos) << c.arguments << "\n" << output;
  }
}

TEST_F(CliArguments, SetChecksTheValueAlikeInConvertAndConfig) {
  Picture("a.bmp", 8, 6);
  struct Case {
    const char* setting;
    const char* refusal;  // null: accepted
  };
  const Case cases[] = {
      {"act_sizebigger=0", nullptr},
      {"act_sizebigger=yes", "is a switch: 1 (on) or 0 (off)"},
      {"act_sizebigger=2", "is a switch"},
      {"Panel2=0", nullptr},
      {"out_quality=100", nullptr},
      {"out_quality=0", "from 1 to 100"},
      {"out_quality=101", "from 1 to 100"},
      {"out_quality=high", "from 1 to 100"},
      {"ScrollBar1=0", "from 1 to 100"},
      {"act_sizebenutzer_y=", nullptr},
      {"act_sizebenutzer_x=wide", "in pixels from 1 to 65535"},
      {"act_sizeprozent_x=-5", "percent of at least 1"},
      {"ed_faktor=1/2", nullptr},
      {"ed_faktor=0.5", "(for 0.5 write 1/2)"},
      {"ed_filesize=none", "in kilobytes above 0"},
      {"numstart=first", "at least 0"},
      {"out_format=*.png - Portable Network Graphics", nullptr},
      {"out_format=*.PNG - any description", nullptr},  // the run takes only the extension
      {"out_format=<beibehalten>", nullptr},
      {"out_format=png", "\"*.webp - WebP\", \"*.avif - AV1 Image File Format\", "
                         "\"*.heic - High Efficiency Image File Format\", \"*.jxl - JPEG XL\" (or <keep>"},
      {"act_sizemethode=Nearest", nullptr},
      {"act_sizemethode=N\u00E4chster Nachbar", nullptr},
      {"act_sizemethode=Lanczos", "\"Bicubic\", \"Bilinear\", \"Nearest\""},
      {"out_name=%name%_small", nullptr},
      {"PFRB/auswahl=1", nullptr},
      {"PFCH/png=1", nullptr},
      {"DFRB/auswahl=1", nullptr},
      {"DFED/filter=png,jpg", nullptr},
      {"alle=1", "PFRB/alle, DFRB/alle"},
      {"Label6=x", "no setting named"},
      {"nosuch=1", "no setting named"},
      {"SP/PB=700", nullptr},
      {"SP/PF=2", "is a switch"},
      {"SD/PH=tall", "needs an integer"},
      {"AS/A=1", nullptr},
      {"AS/N=yes", "is a switch"},
  };
  for (const Case& c : cases) {
    const std::string set = "--set '" + std::string(c.setting) + "'";
    for (const std::string& command : {"convert " + set + " --yes-to-all --folder out a.bmp", "config " + set + " --save x.vxc"}) {
      std::string output;
      const int status = Cli(command, &output);
      if (c.refusal == nullptr) {
        EXPECT_EQ(status, 0) << command << "\n" << output;
      } else {
        EXPECT_EQ(status, 2) << command << "\n" << output;
        EXPECT_NE(output.find(c.refusal), std::string::npos) << command << "\n" << output;
      }
    }
  }

  // The folder-search filter's keys steer convert's folder search.
  Picture("pics/b.bmp", 4, 4);
  Picture("pics/c.tga", 4, 4);
  fs::remove_all(dir / "out");
  std::string output;
  ASSERT_EQ(Cli("convert --set PFRB/auswahl=1 --set PFCH/tga=1 --folder out --name %name% --format bmp pics", &output), 0)
      << output;
  EXPECT_TRUE(fs::exists(dir / "out/c.bmp"));
  EXPECT_FALSE(fs::exists(dir / "out/b.bmp"));
}

TEST_F(CliArguments, AOneSidedBoxLimitsThatSideAndTheSizeRulesHaveSwitches) {
  Picture("p.bmp", 30, 50);   // portrait
  Picture("l.bmp", 100, 90);  // landscape
  Picture("q.bmp", 90, 100);  // portrait
  struct Case {
    const char* options;
    const char* p;
    const char* l;
    const char* q;
  };
  const Case cases[] = {
      // A missing side is the source's own; the box is not turned for the picture.
      {"--size 80x", "30x50", "80x72", "80x89"},
      {"--size x80", "30x50", "89x80", "72x80"},
      // A box of two sides is turned for a picture of the other orientation.
      {"--size 80x60", "48x80", "67x60", "60x67"},
      {"--size 80x60 --no-rotate-box", "36x60", "67x60", "54x60"},
      {"--size 80x60 --no-enlarge", "30x50", "67x60", "60x67"},
      {"--size 80x60 --no-shrink", "48x80", "100x90", "90x100"},
      {"--size 80x60 --no-shrink --no-enlarge", "30x50", "100x90", "90x100"},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "out");
    std::string output;
    ASSERT_EQ(Cli(std::string("convert ") + c.options + " --folder out --name %name% p.bmp l.bmp q.bmp", &output), 0)
        << c.options << "\n" << output;
    EXPECT_EQ(SizeOf("out/p.bmp"), c.p) << c.options;
    EXPECT_EQ(SizeOf("out/l.bmp"), c.l) << c.options;
    EXPECT_EQ(SizeOf("out/q.bmp"), c.q) << c.options;
  }
}

TEST_F(CliArguments, FilesRunInTheOrderOfTheCommandLine) {
  Picture("z.bmp", 4, 4);
  Picture("m.bmp", 4, 4);
  Picture("d/b.bmp", 4, 4);
  Picture("d/a.bmp", 4, 4);
  Picture("d/e.tga", 4, 4);
  Picture("d/sub/c.bmp", 4, 4);
  std::string output;
  // A folder's files at its place: its subfolders first, then its own files by type and name;
  // a file named again stays at its first place.
  ASSERT_EQ(Cli("convert --folder out --name '%num%_%name%_of_%abs%' --format bmp z.bmp d m.bmp z.bmp", &output), 0)
      << output;
  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator(dir / "out")) written.insert(entry.path().filename().string());
  EXPECT_EQ(written, (std::set<std::string>{"1_z_of_6.bmp", "2_c_of_6.bmp", "3_a_of_6.bmp", "4_b_of_6.bmp",
                                             "5_e_of_6.bmp", "6_m_of_6.bmp"}))
      << output;
}

TEST_F(CliArguments, PhotoSwitchesReachTheRun) {
  // A JPEG stored 40 x 20 whose Exif orientation turns it clockwise, with a Display P3 profile.
  Picture("wide.jpg", 40, 20);
  imaging::Image picture;
  ASSERT_TRUE(engine::LoadImageFile((dir / "wide.jpg").string(), picture));
  imaging::CodecOptions options = imaging::CurrentOptions();
  options.profile = imaging::MakeColorProfile(testsupport::DisplayP3Profile());
  imaging::MemoryStream jpeg;
  ASSERT_TRUE(imaging::SaveImageToStream("jpg", jpeg, picture, options));
  picture.Reset();
  exiftest::TiffBlock block(engine::exif::Endianness::LittleEndian, 64);
  block.Ifd(8, {{274, 3, 1, 6}});
  testsupport::WriteFileBytes(dir / "photo.jpg",
                              exiftest::WithSegments(jpeg.Data(), {exiftest::ExifSegment(block.Bytes())}));
  const auto profileOf = [&](const std::string& name) {
    imaging::Image image;
    engine::PhotoFacts facts;
    EXPECT_TRUE(engine::LoadImageFile((dir / name).string(), image, imaging::CurrentOptions(), &facts));
    return facts.profile != nullptr;
  };

  struct Case {
    const char* options;
    const char* size;
    bool profile;
  };
  Text("keep.vxc", "[VX]\r\nkeep_orientation=1\r\n[AS]\r\nN=1\r\n");
  const Case cases[] = {
      {"", "20x40", true},
      {"--keep-orientation", "40x20", true},
      {"--set keep_orientation=1", "40x20", true},
      {"--config keep.vxc", "40x20", true},
      {"--config keep.vxc --set VX/keep_orientation=0", "20x40", true},
      {"--to-srgb", "20x40", false},
      {"--strip-location --to-srgb --keep-orientation", "40x20", false},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "out");
    std::string output;
    ASSERT_EQ(Cli(std::string("convert ") + c.options + " --no-enlarge --folder out --name %name% --format png photo.jpg",
                  &output),
              0)
        << c.options << "\n" << output;
    EXPECT_EQ(SizeOf("out/photo.png"), c.size) << c.options;
    EXPECT_EQ(profileOf("out/photo.png"), c.profile) << c.options;
  }
  std::string help;
  Cli("convert --help", &help);
  for (const char* option : {"--keep-orientation", "--to-srgb", "--strip-location"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
