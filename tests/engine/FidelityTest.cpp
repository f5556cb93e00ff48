// What a run writes keeps what the source had and adds nothing: gray stays gray, an opaque
// picture gets no alpha channel, 16-bit samples stay 16-bit where the output type holds them,
// and with keep_dates every output carries its source's file times.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"
#include "imaging/Codec.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using imaging::PixelFormat;
using PF = PixelFormat;

// The picture as the file stores it: the codec's own format, nothing converted.
imaging::Image LoadAsStored(const std::string& path) {
  imaging::Image image;
  const imaging::Codec* codec = imaging::FindFormatByExtension(imaging::DetectFileFormat(path));
  if (codec == nullptr) return image;
  imaging::CodecOptions options = imaging::CurrentOptions();
  options.library.loadOverrideFormat = imaging::PixelFormat::Unknown;
  std::vector<imaging::Image> images;
  if (!codec->LoadFromFile(path, images, true, options) || images.empty()) return image;
  return std::move(images[0]);
}

// Every pixel as 16-bit B, G, R, A words, for comparing pictures of different formats.
std::vector<uint8_t> Wide(const imaging::Image& image) {
  imaging::Image copy;
  imaging::CopyImage(image, copy);
  imaging::ConvertImageFormat(copy, PF::A16R16G16B16);
  return std::vector<uint8_t>(copy.Bits(), copy.Bits() + copy.Size());
}

// What ImageMagick's identify says of a stored format ("%[channels] %z"); empty where its
// wording depends on more than the format (palette pictures).
std::string IdentifyText(PF format) {
  switch (format) {
    case PF::Gray8: return "gray 8";
    case PF::Gray16: return "gray 16";
    case PF::R8G8B8: return "srgb 8";
    case PF::A8R8G8B8: return "srgba 8";
    case PF::R16G16B16: return "srgb 16";
    default: return "";
  }
}

class Fidelity : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  forms::Form mainForm = forms::CreateMainForm();
  forms::Form options = forms::CreateOptionsForm();
  engine::ScriptedDialogs dialogs;
  engine::RunMemory memory;

  std::string Path(const std::string& name) const { return (dir.Path() / name).string(); }

  // A w × h picture of the format with varied samples (16-bit ones not multiples of 257),
  // written by the codec of the name's extension as the format stands.
  std::string Source(const std::string& name, PF format, bool transparent = false, int32_t w = 23, int32_t h = 17) {
    imaging::Image image;
    EXPECT_TRUE(imaging::CreateImage(w, h, format, image));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const auto v = [&](uint32_t k) { return uint16_t((uint32_t(x) * 2741u + uint32_t(y) * 977u + k * 12345u) & 0xFFFF); };
        imaging::Color64 c{v(1), v(2), v(3), uint16_t(transparent ? (x % 3 == 0 ? 0 : v(4)) : 0xFFFF)};
        imaging::SetPixel64Generic(image.Bits() + (size_t(y) * size_t(w) + size_t(x)) * size_t(imaging::FindFormatInfo(format)->BytesPerPixel),
                                   imaging::FindFormatInfo(format), image.Palette(), c);
      }
    const std::string path = Path("src/" + name);
    fs::create_directories(dir.Path() / "src");
    EXPECT_TRUE(imaging::FindFormatByFileName(path)->SaveToFile(path, std::span(&image, 1), true, imaging::CurrentOptions()));
    EXPECT_EQ(LoadAsStored(path).Format(), format) << name;
    return path;
  }

  void Percent(const char* percent) {
    mainForm.SetChecked("rb_prozent", true);
    mainForm.SetChecked("act_propprozent", true);
    mainForm.SetText("act_sizeprozent_x", percent);
  }

  engine::RunResult Run(const std::vector<std::string>& paths, const std::string& folder, const std::string& type) {
    mainForm.SetChecked("out_newimage", true);
    mainForm.SetText("out_ordner", Path(folder));
    mainForm.SetText("out_name", "%name%");
    mainForm.SetText("out_format", "*." + type + " - output");
    return dialogs.Run(paths, engine::JobSourceFromForms(mainForm, options), memory, engine::DefaultMetadataCarrier());
  }
};

}  // namespace

// Each kind of source into each output type at its own size: the format stored in the output
// (read back by the output's codec, and by ImageMagick where installed), and for the lossless
// types the very pixels of the source in that format.
TEST_F(Fidelity, OutputsKeepGrayOpacityAndSixteenBits) {
  struct Kind {
    const char* name;
    PF format;
    bool transparent;
  };
  const Kind kinds[] = {
      {"rgb.jpg", PF::R8G8B8, false},       {"grayj.jpg", PF::Gray8, false},        {"gray.png", PF::Gray8, false},
      {"alpha.png", PF::A8R8G8B8, true},    {"opaque.png", PF::A8R8G8B8, false},   {"gray16.png", PF::Gray16, false},
      {"rgb16.png", PF::R16G16B16, false},  {"rgb16t.tif", PF::R16G16B16, false},
  };
  struct Output {
    const char* type;
    bool lossless;
    PF expected[8];  // in the order of kinds
  };
  const Output outputs[] = {
      {"png", true, {PF::R8G8B8, PF::Gray8, PF::Gray8, PF::A8R8G8B8, PF::R8G8B8, PF::Gray16, PF::R16G16B16, PF::R16G16B16}},
      {"tif", true, {PF::R8G8B8, PF::Gray8, PF::Gray8, PF::A8R8G8B8, PF::R8G8B8, PF::Gray16, PF::R16G16B16, PF::R16G16B16}},
      {"pam", true, {PF::R8G8B8, PF::Gray8, PF::Gray8, PF::A8R8G8B8, PF::R8G8B8, PF::Gray16, PF::R16G16B16, PF::R16G16B16}},
      // 8 bits per sample at most; gray as an 8-bit palette of grays in a BMP.
      {"bmp", true, {PF::R8G8B8, PF::Index8, PF::Index8, PF::A8R8G8B8, PF::R8G8B8, PF::Index8, PF::R8G8B8, PF::R8G8B8}},
      {"tga", true, {PF::R8G8B8, PF::Gray8, PF::Gray8, PF::A8R8G8B8, PF::R8G8B8, PF::Gray8, PF::R8G8B8, PF::R8G8B8}},
      // No alpha in JPEG, as before.
      {"jpg", false, {PF::R8G8B8, PF::Gray8, PF::Gray8, PF::R8G8B8, PF::R8G8B8, PF::Gray8, PF::R8G8B8, PF::R8G8B8}},
  };
  std::vector<std::string> paths;
  for (const Kind& kind : kinds) paths.push_back(Source(kind.name, kind.format, kind.transparent));
  Percent("100");
  const bool identify = testsupport::HaveTool("identify");
  for (const Output& output : outputs) {
    const std::string folder = std::string("out-") + output.type;
    const engine::RunResult result = Run(paths, folder, output.type);
    ASSERT_EQ(result.written, 8) << output.type;
    for (size_t k = 0; k < std::size(kinds); ++k) {
      const std::string name = fs::path(kinds[k].name).stem().string() + "." + output.type;
      const std::string written = Path(folder + "/" + name);
      const imaging::Image stored = LoadAsStored(written);
      ASSERT_TRUE(imaging::IsImageValid(stored)) << name;
      EXPECT_EQ(imaging::GetFormatName(stored.Format()), imaging::GetFormatName(output.expected[k])) << name;
      if (identify && !IdentifyText(output.expected[k]).empty()) {
        std::string said;
        testsupport::RunCommand("identify -format '%[channels] %z' '" + written + "[0]'", &said);
        EXPECT_EQ(said, IdentifyText(output.expected[k])) << name;
      }
      if (!output.lossless) continue;
      // The source's pixels in the output's format (16-bit samples cut to 8 bits where the
      // type holds no more, a gray picture's palette the gray ramp).
      imaging::Image expected = LoadAsStored(paths[k]);
      imaging::ConvertImageFormat(expected, stored.Format());
      EXPECT_EQ(Wide(stored), Wide(expected)) << name;
    }
  }
}

// A scaled 16-bit picture is resampled at 16 bits: the output holds exactly what the library's
// resampling gives on the 16-bit source.
TEST_F(Fidelity, SixteenBitPicturesAreScaledAtSixteenBits) {
  const std::string gray = Source("g.png", PF::Gray16, false, 40, 30);
  const std::string colour = Source("c.tif", PF::R16G16B16, false, 40, 30);
  Percent("50");
  ASSERT_EQ(Run({gray, colour}, "out", "png").written, 2);
  for (const auto& [source, output] : {std::pair{gray, "out/g.png"}, std::pair{colour, "out/c.png"}}) {
    imaging::Image expected = LoadAsStored(source);
    ASSERT_TRUE(imaging::ResizeImage(expected, 20, 15, imaging::ResizeFilter::Bicubic));
    const imaging::Image stored = LoadAsStored(Path(output));
    ASSERT_TRUE(imaging::IsImageValid(stored)) << output;
    EXPECT_EQ(stored.Format(), expected.Format()) << output;
    EXPECT_EQ(Wide(stored), Wide(expected)) << output;
  }
}

// keep_dates: the output, new or written over its source, gets the source's modification and
// access times, to the nanosecond; without it an output has the time of its writing.
TEST_F(Fidelity, KeepDatesGivesOutputsTheSourceTimes) {
  const timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};  // access, modification
  const std::string a = Source("a.png", PF::R8G8B8);
  const std::string b = Source("b.jpg", PF::Gray8);
  // Reading a file whose access time is older than its modification time moves the access time.
  const auto setTimes = [&] {
    for (const std::string& path : {a, b}) ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  const auto timesOf = [](const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return std::pair{info.st_atim, info.st_mtim};
  };
  const auto same = [](timespec x, timespec y) { return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec; };

  Percent("50");
  setTimes();
  ASSERT_EQ(Run({a, b}, "plain", "png").written, 2);
  EXPECT_FALSE(same(timesOf(Path("plain/a.png")).second, times[1]));

  options.SetChecked("keep_dates", true);
  setTimes();
  ASSERT_EQ(Run({a, b}, "kept", "jpg").written, 2);  // JPEG outputs: after the metadata write
  for (const char* output : {"kept/a.jpg", "kept/b.jpg"}) {
    const auto [access, modification] = timesOf(Path(output));
    EXPECT_TRUE(same(modification, times[1])) << output;
    EXPECT_TRUE(same(access, times[0])) << output;
  }

  mainForm.SetChecked("out_overwrite", true);
  setTimes();
  ASSERT_EQ(dialogs.Run({a, b}, engine::JobSourceFromForms(mainForm, options), memory).written, 2);
  for (const std::string& path : {a, b}) {
    const auto [access, modification] = timesOf(path);
    EXPECT_TRUE(same(modification, times[1])) << path;
    EXPECT_TRUE(same(access, times[0])) << path;
    EXPECT_LT(LoadAsStored(path).Width(), 23) << path;  // it was written over
  }
  EXPECT_TRUE(dialogs.messages.empty());
}
