// vexilo-cli with animations and multi-page files: every frame or page is converted where the
// output type holds several, with its delays and loop count; an output of one picture takes
// the first and says so. identify and webpmux read the outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

class FramesCli : public ::testing::Test {
protected:
  void SetUp() override {
    if (!testsupport::HaveTool("identify") || !testsupport::HaveTool("webpmux") || !testsupport::HaveTool("img2webp"))
      GTEST_SKIP() << "ImageMagick or the WebP tools are not installed";
  }

  // Runs a shell command in the temporary folder; standard error goes with standard output.
  std::string Run(const std::string& command, int* status = nullptr) {
    std::string text;
    const int code =
        testsupport::RunCommand("cd '" + dir.Path().string() + "' && (" + command + ") </dev/null 2>&1", &text);
    if (status) *status = code;
    return text;
  }

  std::string Cli(const std::string& arguments, int* status = nullptr) {
    return Run(std::string("'") + VEXILO_CLI_PATH + "' " + arguments, status);
  }

  testsupport::TempDir dir;
};

TEST_F(FramesCli, EveryFrameOrPageReachesAnOutputThatHoldsSeveral) {
  // Sources: three pictures of 40 x 30 of distinct colours (with a changing square), as a GIF
  // played without end with delays of 0.1, 0.4 and 1.2 s, as a WebP played twice with 70,
  // 120 and 300 ms, and as TIFF pages of three sizes.
  Run("for i in 0 1 2; do convert -size 40x30 xc:'#'$((i*4))0$((9-i*3))050 -fill white "
      "-draw \"rectangle $((i*10)),5 $((i*10+9)),14\" f$i.png; done");
  Run("convert -delay 10 f0.png -delay 40 f1.png -delay 120 f2.png -loop 0 anim.gif");
  Run("img2webp -loop 2 -lossless -d 70 f0.png -d 120 f1.png -d 300 f2.png -o anim.webp");
  Run("convert f0.png \\( f1.png -resize 200% \\) \\( f2.png -resize 50% \\) pages.tif");
  Run("cp anim.gif over.gif && convert f0.png still.gif");
  ASSERT_TRUE(fs::exists(dir / "anim.gif") && fs::exists(dir / "anim.webp") && fs::exists(dir / "pages.tif"));

  EXPECT_EQ(Cli("info anim.gif anim.webp pages.tif still.gif"),
            "anim.gif: gif 40x30 A8R8G8B8 3 frames\n"
            "anim.webp: webp 40x30 A8R8G8B8 3 frames\n"
            "pages.tif: tif 40x30 A8R8G8B8 3 pages\n"
            "still.gif: gif 40x30 A8R8G8B8\n");

  const std::string identifyFormat = "identify -format '%w %h %T|' ";
  const std::string webpFrames = "webpmux -info ";
  struct Case {
    const char* what;
    const char* arguments;    // of vexilo-cli convert
    const char* output;
    std::string oracle;       // the command that describes the output
    const char* expected;     // what it prints (a part of it for webpmux)
  };
  const Case cases[] = {
      {"GIF overwritten", "--percent 50 --overwrite --yes-to-all over.gif", "over.gif", identifyFormat + "over.gif",
       "20 15 10|20 15 40|20 15 120|"},
      {"GIF to GIF", "--percent 50 anim.gif", "anim-1.gif", identifyFormat + "anim-1.gif", "20 15 10|20 15 40|20 15 120|"},
      {"GIF to WebP", "--percent 50 --format webp anim.gif", "anim-1.webp", webpFrames + "anim-1.webp",
       "Canvas size: 20 x 15"},
      {"GIF to WebP: loop", "--percent 50 --format webp --name loop anim.gif", "loop.webp", webpFrames + "loop.webp",
       "Loop Count : 0"},
      {"GIF to WebP: frames", "--percent 50 --format webp --name durations anim.gif", "durations.webp",
       webpFrames + "durations.webp | grep -c lossy", "3\n"},
      {"WebP to GIF", "--percent 200 --format gif --name fromwebp anim.webp", "fromwebp.gif",
       identifyFormat + "fromwebp.gif", "80 60 7|80 60 12|80 60 30|"},
      {"WebP to GIF: played twice", "--percent 200 --format gif --name twice anim.webp", "twice.gif",
       "identify -verbose twice.gif | grep -m1 Iterations", "  Iterations: 2\n"},
      {"WebP overwritten", "--percent 50 --overwrite --yes-to-all overwebp.webp", "overwebp.webp",
       webpFrames + "overwebp.webp | grep -E 'Canvas|Loop|Number'",
       "Canvas size: 20 x 15\nBackground color : 0xFFFFFFFF  Loop Count : 2\nNumber of frames: 3\n"},
      {"TIFF pages, each by the size rules", "--size 30x30 --no-enlarge --overwrite --yes-to-all overpages.tif",
       "overpages.tif", "identify -format '%w %h|' overpages.tif", "30 22|30 22|20 15|"},
  };
  Run("cp anim.webp overwebp.webp && cp pages.tif overpages.tif");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int status = 0;
    const std::string said = Cli(std::string("convert ") + c.arguments, &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said.find("note"), std::string::npos) << said;
    ASSERT_TRUE(fs::exists(dir / c.output)) << said;
    const std::string described = Run(c.oracle);
    EXPECT_NE(described.find(c.expected), std::string::npos) << described << " -- " << said;
  }
}

TEST_F(FramesCli, AnOutputOfOnePictureTakesTheFirstAndSaysSo) {
  Run("convert -size 30x20 xc:red -size 30x20 xc:blue -delay 20 -loop 0 two.gif");
  Run("convert -size 30x20 xc:green -size 10x10 xc:blue pages.tif");
  struct Case {
    const char* arguments;
    const char* output;
    const char* note;
  };
  const Case cases[] = {
      {"--format jpg two.gif", "two-1.jpg", "two.gif\": The file has 2 frames; JPEG holds one: the first was written"},
      {"--format png pages.tif", "pages-1.png", "pages.tif\": The file has 2 pages; PNG holds one: the first was written"},
      {"--format tif two.gif", "two-1.tif",
       "two.gif\": The file has 2 frames; the first was written (TIFF pages are not made from frames)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    int status = 0;
    const std::string said = Cli(std::string("convert --percent 100 ") + c.arguments, &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find(c.note), std::string::npos) << said;
    EXPECT_EQ(Run(std::string("identify -format '%w %h|' ") + c.output), "30 20|");
  }
}

}  // namespace
