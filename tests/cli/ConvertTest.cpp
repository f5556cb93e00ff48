// vexilo-cli convert as a user runs it: options, exit status, existing outputs without a
// terminal, the language marker. Sources are made by ImageMagick and outputs read back by it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "base/Text.h"
#include "imaging/Types.h"
#include "imaging/PixelFormats.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Cli() { return VEXILO_CLI_PATH; }

class ConvertCli : public ::testing::Test {
protected:
  void SetUp() override {
    if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    fs::create_directories(dir.Path() / "src");
  }

  // Runs the command in the temporary folder with no terminal on standard input; standard
  // error is captured with standard output.
  int Convert(const std::string& arguments, std::string* output = nullptr) {
    std::string text;
    const int status =
        testsupport::RunCommand("cd '" + dir.Path().string() + "' && '" + Cli() + "' convert " + arguments + " </dev/null 2>&1", &text);
    if (output) *output = text;
    return status;
  }

  void MakeSource(const std::string& name, const std::string& size) {
    ASSERT_EQ(testsupport::RunCommand("convert -size " + size + " gradient:red-blue -alpha on 'BMP:" + (dir / name).string() + "'"), 0);
  }

  std::string SizeOf(const std::string& name) {
    imaging::Image image;
    if (!testsupport::DecodeWithImageMagick(dir / name, image)) return "unreadable";
    const std::string size = std::to_string(image.Width()) + "x" + std::to_string(image.Height());
    return size;
  }

  testsupport::TempDir dir;
};

TEST_F(ConvertCli, HelpAndUsageErrors) {
  std::string out;
  EXPECT_EQ(Convert("--help", &out), 0);
  EXPECT_NE(out.find("--filesize KB"), std::string::npos);
  EXPECT_NE(out.find("--yes-to-all"), std::string::npos);
  EXPECT_NE(out.find("--jobs N"), std::string::npos);
  EXPECT_NE(out.find("--memory MB"), std::string::npos);
  EXPECT_NE(out.find("--keep-dates"), std::string::npos);
  MakeSource("src/a.bmp", "8x8");
  const char* errors[] = {
      "",
      "--bogus src/a.bmp",
      "--quality 0 src/a.bmp",
      "--quality 80x src/a.bmp",
      "--set nosuchcontrol=1 src/a.bmp",
      "--set act_sizebigger=yes src/a.bmp",
      "--set Label6=x src/a.bmp",
      "--format xyz src/a.bmp",
      "--filter lanczos src/a.bmp",
      "--size 10 src/a.bmp",
      "--size 10x10 --percent 50 src/a.bmp",
      "--overwrite --folder out src/a.bmp",
      "--yes-to-all --no-to-all src/a.bmp",
      "--config x.vxc --config y.vxc src/a.bmp",
      "--folder 'bad?' src/a.bmp",  // refused by the run's start check
      "--name '' src/a.bmp",
      "--jobs 0 src/a.bmp",
      "--jobs 2x src/a.bmp",
      "--jobs=1000 src/a.bmp",
      "--memory 0 src/a.bmp",
      "--memory 1.5 src/a.bmp",
      "--memory=99999999 src/a.bmp",
      "--avif-speed 11 src/a.bmp",
      "--avif-speed fast src/a.bmp",
      "--jxl-effort 0 src/a.bmp",
      "--jxl-effort 10 src/a.bmp",
      "--dry-run --json src/a.bmp",
      "--dry-run --folder 'bad?' src/a.bmp",
  };
  for (const char* arguments : errors) EXPECT_EQ(Convert(arguments, &out), 2) << arguments << "\n" << out;
  EXPECT_FALSE(fs::exists(dir / "src/a-1.bmp"));
}

TEST_F(ConvertCli, ConvertsAFolderWithEverySizeMode) {
  MakeSource("src/a.bmp", "60x40");
  MakeSource("src/b.bmp", "40x60");
  struct Case {
    const char* options;
    const char* a;
    const char* b;
  };
  const Case cases[] = {
      {"", "640x427", "427x640"},  // the initial preset box
      {"--size 30x30", "30x20", "20x30"},
      {"--set act_propbenutzer_prop=0 --size 30x10", "30x10", "10x30"},
      {"--percent 50", "30x20", "20x30"},
      {"--percent 50x25", "30x10", "15x20"},  // no proportions: the box turns with the portrait
      {"--factor 1/4", "15x10", "10x15"},
      {"--factor 2:1", "30x20", "20x30"},
  };
  const auto dryLine = [&](const char* name, const char* size, const char* outputSize) {
    return (dir / "src" / name).string() + " " + size + " \u2192 " + base::ReplaceAll(outputSize, "x", "\u00D7") +
           " \u2192 " + (dir / "out" / name).string() + "\n";
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "out");
    // The dry run lists what the run then writes, and makes nothing.
    std::string out;
    ASSERT_EQ(Convert(std::string(c.options) + " --dry-run --folder out --name '%name%' --format bmp src", &out), 0)
        << c.options << "\n" << out;
    EXPECT_NE(out.find(dryLine("a.bmp", "60\u00D740", c.a) + dryLine("b.bmp", "40\u00D760", c.b)), std::string::npos)
        << c.options << "\n" << out;
    EXPECT_FALSE(fs::exists(dir / "out")) << c.options;
    ASSERT_EQ(Convert(std::string(c.options) + " --folder out --name '%name%' --format bmp src", &out), 0) << c.options << "\n" << out;
    EXPECT_EQ(SizeOf("out/a.bmp"), c.a) << c.options;
    EXPECT_EQ(SizeOf("out/b.bmp"), c.b) << c.options;
  }
  std::string out;
  ASSERT_EQ(Convert("--filesize 4 --folder out --name '%name%-small' --format bmp src/a.bmp", &out), 0) << out;
  const double kb = static_cast<double>(fs::file_size(dir / "out/a-small.bmp")) / 1024;
  EXPECT_NEAR(kb, 4.0, 0.5);
  // The search reaches the same size in memory; the output written before is named as there.
  ASSERT_EQ(Convert("--dry-run --filesize 4 --folder out --name '%name%-small' --format bmp src/a.bmp", &out), 0);
  EXPECT_NE(out.find(" \u2192 " + SizeOf("out/a-small.bmp").replace(SizeOf("out/a-small.bmp").find('x'), 1, "\u00D7") +
                     " \u2192 " + (dir / "out/a-small.bmp").string() + " (exists)\n"),
            std::string::npos)
      << out;
}

TEST_F(ConvertCli, ADryRunReportsWhatWouldFailAndExitsAsTheRun) {
  MakeSource("src/a.bmp", "20x10");
  // Refused by the list, as by the run's list: counted as failed.
  testsupport::WriteFileBytes(dir / "src/broken.png", {0x89, 'P', 'N', 'G'});
  std::string out;
  EXPECT_EQ(Convert("--dry-run --folder out --name same --format png src/a.bmp src/broken.png", &out), 1) << out;
  EXPECT_NE(out.find("1 would be written, 1 would fail"), std::string::npos) << out;
  // Two sources under one name: the second would fail as "Output already written".
  MakeSource("src/b.bmp", "20x10");
  EXPECT_EQ(Convert("--dry-run --folder out --name same --format png src/a.bmp src/b.bmp", &out), 1) << out;
  EXPECT_NE(out.find("b.bmp 20\u00D710 \u2192 not written: Output already written"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(ConvertCli, WebPAvifHeicAndJxlOutputFollowTheQuality) {
  MakeSource("src/a.bmp", "120x80");
  std::string out;
  for (const std::string format : {"webp", "avif", "heic", "jxl"})
    for (const std::string quality : {"10", "95"}) {
      const std::string name = "out/q" + quality + "." + format;
      ASSERT_EQ(Convert("--percent 100 --quality " + quality + " --avif-speed 9 --jxl-effort 3 --folder out --name 'q" + quality +
                            "' --format " + format + " src/a.bmp",
                        &out),
                0)
          << out;
      // ImageMagick may not read JPEG XL; libjxl's own decoder does.
      std::string shown = name;
      if (format == "jxl" && testsupport::HaveTool("djxl")) {
        shown = name + ".png";
        ASSERT_EQ(testsupport::RunCommand("djxl '" + (dir / name).string() + "' '" + (dir / shown).string() +
                                          "' >/dev/null 2>&1"),
                  0);
      }
      if (format != "jxl" || shown != name) {
        EXPECT_EQ(SizeOf(shown), "120x80") << name;
      }
      if (quality == "95") {
        EXPECT_LT(fs::file_size(dir / ("out/q10." + format)), fs::file_size(dir / name)) << format;
      }
    }
}

TEST_F(ConvertCli, LosslessWebPAvifAndJxlKeepEveryPixel) {
  ASSERT_EQ(testsupport::RunCommand("convert -size 64x48 plasma:fractal -seed 3 'PNG24:" + (dir / "src/p.png").string() + "'"), 0);
  imaging::Image source;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(dir / "src/p.png", source));
  std::string out;
  for (const std::string format : {"webp", "avif", "jxl"}) {
    ASSERT_EQ(Convert("--percent 100 --lossless --avif-speed 9 --jxl-effort 3 --folder out --format " + format + " src/p.png", &out), 0)
        << out;
    // AVIF through libavif's own decoder: ImageMagick's reading of the identity matrix that
    // lossless files use is not exact.
    fs::path file = dir / ("out/p-1." + format);
    if (format == "avif") {
      if (!testsupport::HaveTool("avifdec")) continue;
      ASSERT_EQ(testsupport::RunCommand("avifdec '" + file.string() + "' '" + (dir / "out/avif.png").string() + "'"), 0);
      file = dir / "out/avif.png";
    }
    // JPEG XL through libjxl's own decoder, which ImageMagick may not have.
    if (format == "jxl") {
      if (!testsupport::HaveTool("djxl")) continue;
      ASSERT_EQ(testsupport::RunCommand("djxl '" + file.string() + "' '" + (dir / "out/jxl.png").string() + "' >/dev/null 2>&1"), 0);
      file = dir / "out/jxl.png";
    }
    imaging::Image written;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(file, written)) << format;
    EXPECT_EQ(testsupport::CompareImages(source, written), "") << format;
  }
}

TEST_F(ConvertCli, SeveralFilesInFlightWriteWhatOneAtATimeWrites) {
  for (int i = 0; i < 5; ++i) MakeSource("src/p" + std::to_string(i) + ".bmp", std::to_string(30 + 9 * i) + "x40");
  fs::create_directories(dir / "out1");
  fs::create_directories(dir / "out3");
  for (const char* folder : {"out1", "out3"}) testsupport::WriteFileBytes(dir / folder / "p2.jpg", {1, 2, 3});
  std::string one, three;
  EXPECT_EQ(Convert("--jobs 1 --size 20x20 --folder out1 --name '%name%' --format jpg src", &one), 1) << one;
  EXPECT_EQ(Convert("--jobs=3 --size 20x20 --folder out3 --name '%name%' --format jpg src", &three), 1) << three;
  EXPECT_EQ(base::ReplaceAll(three, "out3", "out1"), one);
  for (int i = 0; i < 5; ++i) {
    const std::string name = "p" + std::to_string(i) + ".jpg";
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "out3" / name), testsupport::ReadFileBytes(dir / "out1" / name)) << name;
  }
  EXPECT_EQ(fs::file_size(dir / "out3/p2.jpg"), 3u);  // kept unasked, as without --jobs
}

// A budget below one picture: every file is still converted, to the same bytes, and the run
// says so once.
TEST_F(ConvertCli, AMemoryBudgetBelowOnePictureConvertsItAloneWithOneNote) {
  for (int i = 0; i < 3; ++i) MakeSource("src/p" + std::to_string(i) + ".bmp", "700x500");
  std::string plain, budget;
  ASSERT_EQ(Convert("--size 300x300 --folder plain --name '%name%' --format png src", &plain), 0) << plain;
  ASSERT_EQ(Convert("--memory 1 --jobs 3 --size 300x300 --folder small --name '%name%' --format png src", &budget), 0)
      << budget;
  EXPECT_EQ(plain.find("memory budget"), std::string::npos) << plain;
  const std::string note = "more than the memory budget of 1 MB";
  const size_t at = budget.find(note);
  ASSERT_NE(at, std::string::npos) << budget;
  EXPECT_EQ(budget.find(note, at + note.size()), std::string::npos) << budget;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "p" + std::to_string(i) + ".png";
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "small" / name), testsupport::ReadFileBytes(dir / "plain" / name)) << name;
  }
}

// --keep-dates in both save modes; the source, a 32-bit BMP of ImageMagick's whose alpha is all
// opaque, also gives a PNG without alpha.
TEST_F(ConvertCli, KeepDatesInBothSaveModes) {
  MakeSource("src/a.bmp", "20x20");
  const std::string source = (dir / "src/a.bmp").string();
  const timespec times[2] = {{1000000000, 5}, {1100000000, 123456789}};
  const auto modified = [](const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return std::pair{info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  };
  const std::pair<time_t, long> kept{times[1].tv_sec, times[1].tv_nsec};
  std::string out;
  ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
  ASSERT_EQ(Convert("--keep-dates --percent 50 --folder out --name '%name%' --format png src/a.bmp", &out), 0) << out;
  EXPECT_EQ(modified(dir / "out/a.png"), kept);
  if (testsupport::HaveTool("identify")) {
    std::string channels;
    testsupport::RunCommand("identify -format '%[channels]' '" + (dir / "out/a.png").string() + "'", &channels);
    EXPECT_EQ(channels, "srgb");
  }
  ASSERT_EQ(Convert("--keep-dates --overwrite --yes-to-all --percent 50 src/a.bmp", &out), 0) << out;
  EXPECT_EQ(SizeOf("src/a.bmp"), "10x10");
  EXPECT_EQ(modified(source), kept);
  ASSERT_EQ(Convert("--overwrite --yes-to-all --percent 50 src/a.bmp", &out), 0) << out;
  EXPECT_NE(modified(source), kept);
}

TEST_F(ConvertCli, ExistingOutputsWithoutATerminal) {
  MakeSource("src/a.bmp", "20x20");
  fs::create_directories(dir / "out");
  testsupport::WriteFileBytes(dir / "out/a.bmp", {1, 2, 3});
  std::string out;
  EXPECT_EQ(Convert("--percent 50 --folder out --name '%name%' src/a.bmp", &out), 1) << out;
  EXPECT_NE(out.find("was kept"), std::string::npos) << out;
  EXPECT_EQ(fs::file_size(dir / "out/a.bmp"), 3u);
  EXPECT_EQ(Convert("--no-to-all --percent 50 --folder out --name '%name%' src/a.bmp", &out), 0) << out;
  EXPECT_EQ(fs::file_size(dir / "out/a.bmp"), 3u);
  EXPECT_EQ(Convert("--yes-to-all --percent 50 --folder out --name '%name%' src/a.bmp", &out), 0) << out;
  EXPECT_EQ(SizeOf("out/a.bmp"), "10x10");
}

TEST_F(ConvertCli, QuestionsAtATerminal) {
  if (!testsupport::HaveTool("script")) GTEST_SKIP() << "script(1) is not installed";
  MakeSource("src/a.bmp", "20x20");
  MakeSource("src/b.bmp", "20x20");
  fs::create_directories(dir / "out");
  testsupport::WriteFileBytes(dir / "out/a.bmp", {1, 2, 3});
  testsupport::WriteFileBytes(dir / "out/b.bmp", {4, 5, 6});
  // script(1) gives the program a terminal; the answers are typed into it.
  const auto atTerminal = [&](const std::string& answers, std::string* out) {
    const std::string command = "cd '" + dir.Path().string() + "' && printf '" + answers + "' | script -qec \"'" + Cli() +
                                "' convert --percent 50 --folder out --name %name% src/a.bmp src/b.bmp\" /dev/null";
    testsupport::RunCommand(command + "; echo \"exit=$?\"", out);
  };
  std::string out;
  atTerminal("x\\nn\\ny\\n", &out);  // an unknown answer asks again
  EXPECT_NE(out.find("exit=0"), std::string::npos) << out;
  EXPECT_EQ(fs::file_size(dir / "out/a.bmp"), 3u);
  EXPECT_EQ(SizeOf("out/b.bmp"), "10x10");
  atTerminal("b\\n", &out);
  EXPECT_NE(out.find("exit=3"), std::string::npos) << out;
  EXPECT_EQ(fs::file_size(dir / "out/a.bmp"), 3u);
}

TEST_F(ConvertCli, FailuresAndTheLanguageMarker) {
  MakeSource("src/a.bmp", "20x20");
  testsupport::WriteFileBytes(dir / "src/broken.bmp", {'B', 'M', 1, 2});
  std::string out;
  EXPECT_EQ(Convert("--folder out src/a.bmp src/broken.bmp src/missing.bmp", &out), 1) << out;
  EXPECT_NE(out.find("Format not supported: Unfortunately, the Format of this File is not supported: \"" +
                     (dir / "src/broken.bmp").string()),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("This file was not found"), std::string::npos) << out;
  EXPECT_NE(out.find("1 written, 2 failed"), std::string::npos) << out;
  EXPECT_EQ(SizeOf("out/a-1.bmp"), "480x480");  // a square fits the turned box

  testsupport::WriteFileBytes(dir / "de", {});
  EXPECT_EQ(Convert("--yes-to-all --folder out src/broken.bmp", &out), 1) << out;
  EXPECT_NE(out.find("Format nicht unterstützt"), std::string::npos) << out;
  EXPECT_EQ(Convert("--set out_ordner=relative src/a.bmp", &out), 2) << out;
  EXPECT_NE(out.find("Falscher Ordner angegeben"), std::string::npos) << out;
}

}  // namespace
