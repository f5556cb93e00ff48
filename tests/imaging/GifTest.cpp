#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/imaging/CodecTestSupport.h"
#include "imaging/PixelFormats.h"
#include "engine/ImageFiles.h"
#include "tests/support/TestSupport.h"
#include "imaging/formats/Gif.h"

using namespace imaging;
using namespace imaging::formats;
using namespace codectest;
namespace fs = std::filesystem;

namespace {

// The [section] key = value pairs of a gif-test-suite .conf file.
std::map<std::string, std::map<std::string, std::string>> ReadConf(const fs::path& path) {
  std::map<std::string, std::map<std::string, std::string>> conf;
  std::ifstream in(path);
  std::string line, section;
  auto trim = [](std::string s) {
    const size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq != std::string::npos) conf[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return conf;
}

// An RGBA file of the suite as an A8R8G8B8 image.
bool ReadRgba(const fs::path& path, int32_t width, int32_t height, Image& image) {
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  if (bytes.size() != size_t(width) * size_t(height) * 4) return false;
  CreateImage(width, height, PixelFormat::A8R8G8B8, image);
  for (size_t i = 0; i < bytes.size(); i += 4) {
    image.Bits()[i] = bytes[i + 2];
    image.Bits()[i + 1] = bytes[i + 1];
    image.Bits()[i + 2] = bytes[i];
    image.Bits()[i + 3] = bytes[i + 3];
  }
  return true;
}

}  // namespace

// Where the suite and we part ways, and why: we fill the screen with the opaque background
// colour unless the frame has a transparent colour, let frames outside the logical screen
// enlarge the images, and drop frames whose LZW data give no pixel or use a minimum code size
// outside 2 to 9.
// gif87a-animation holds four screen-sized images without control extensions and without a
// loop extension; the suite forces them to play as four frames, while we show the one picture
// they draw.
// animation-multi-image-explicit-zero-delay gives every image with a graphic control
// extension as a frame, also those with a delay of 0, as browsers play them; the suite merges
// those into the next frame, so its frames are our second, fourth, ....
enum class Departure { None, NotLoaded, Loaded, FramesDiffer, CanvasGrows, OnePicture, EveryImageWithControl };

TEST(GifCodec, GifTestSuiteFrames) {
  VEXILO_REQUIRE_CORPUS();
  const std::map<std::string, Departure> departures = {
      {"no-data", Departure::NotLoaded},           {"image-zero-width", Departure::NotLoaded},
      {"image-zero-height", Departure::NotLoaded}, {"image-zero-size", Departure::NotLoaded},
      {"max-codes", Departure::NotLoaded},         {"invalid-colors", Departure::Loaded},
      {"plain-text", Departure::Loaded},           {"image-inside-bg", Departure::FramesDiffer},
      {"missing-pixels", Departure::FramesDiffer}, {"dispose-restore-background", Departure::FramesDiffer},
      {"image-overlap-bg", Departure::CanvasGrows}, {"image-outside-bg", Departure::CanvasGrows},
      {"gif87a-animation", Departure::OnePicture},
      {"animation-multi-image-explicit-zero-delay", Departure::EveryImageWithControl},
  };
  const fs::path suite = testsupport::CorpusFile("gif-test-suite");
  std::ifstream list(suite / "TESTS");
  std::string name;
  int checked = 0;
  while (list >> name) {
    SCOPED_TRACE(name);
    auto conf = ReadConf(suite / (name + ".conf"));
    const int32_t width = std::stoi(conf["config"]["width"]), height = std::stoi(conf["config"]["height"]);
    std::vector<std::string> frames;
    for (size_t pos = 0; !conf["config"]["frames"].empty() && pos != std::string::npos;) {
      const std::string& all = conf["config"]["frames"];
      const size_t comma = all.find(',', pos);
      frames.push_back(all.substr(pos, comma == std::string::npos ? comma : comma - pos));
      pos = comma == std::string::npos ? comma : comma + 1;
    }
    std::vector<Image> images;
    std::string error;
    const bool loaded = LoadFile("gif", suite / conf["config"]["input"], images, &error);
    const auto found = departures.find(name);
    const Departure departure = found == departures.end() ? Departure::None : found->second;
    switch (departure) {
      case Departure::NotLoaded:
        EXPECT_FALSE(loaded);
        continue;
      case Departure::Loaded:
      case Departure::FramesDiffer:
        EXPECT_TRUE(loaded) << error;
        continue;
      case Departure::CanvasGrows:
        ASSERT_TRUE(loaded) << error;
        EXPECT_GT(images[0].Width(), width);
        EXPECT_GT(images[0].Height(), height);
        continue;
      case Departure::OnePicture:
        ASSERT_TRUE(loaded) << error;
        ASSERT_EQ(images.size(), 1u);
        frames.erase(frames.begin(), frames.end() - 1);
        break;
      case Departure::EveryImageWithControl: {
        ASSERT_TRUE(loaded) << error;
        ASSERT_EQ(images.size(), frames.size() * 2 - 1);
        std::vector<Image> delayed;
        for (size_t i = 0; i < images.size(); i += 2) delayed.push_back(std::move(images[i]));
        images = std::move(delayed);
        break;
      }
      case Departure::None:
        break;
    }
    ASSERT_EQ(loaded, !frames.empty()) << error;
    ASSERT_EQ(images.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      Image expected;
      ASSERT_TRUE(ReadRgba(suite / conf[frames[i]]["pixels"], width, height, expected));
      EXPECT_EQ(ComparePixels64(expected, images[i]), "") << "frame " << i;
    }
    ++checked;
  }
  EXPECT_GT(checked, 60);
}

// ImageMagick's coalesced frames, one for every image, and which of them a viewer shows first
// when images without control extensions make one picture: the first image with a delay, or
// the last image; the first image when a looping file has no delays.
bool PicturesWithImageMagick(const fs::path& path, std::vector<Image>& frames, size_t& firstPicture) {
  std::string delays;
  if (testsupport::RunCommand("identify -format '%T\\n' '" + path.string() + "' 2>/dev/null", &delays) != 0) return false;
  std::istringstream in(delays);
  std::vector<int> delay;
  for (int d; in >> d;) delay.push_back(d);
  if (delay.empty()) return false;
  size_t index = 0;
  while (index + 1 < delay.size() && delay[index] == 0) ++index;
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  const bool looping = text.find("NETSCAPE2.0") != std::string::npos || text.find("ANIMEXTS1.0") != std::string::npos;
  if (looping && delay[index] == 0) index = 0;
  firstPicture = index;
  testsupport::TempDir dir;
  if (testsupport::RunCommand("convert '" + path.string() + "' -coalesce '" + (dir / "frame-%d.pam").string() +
                              "' 2>/dev/null") != 0)
    return false;
  frames.resize(delay.size());
  for (size_t i = 0; i < delay.size(); ++i)
    if (!testsupport::DecodeWithImageMagick(dir / ("frame-" + std::to_string(i) + ".pam"), frames[i])) return false;
  return true;
}

// Pixels ImageMagick shows opaque that differ in ours (ImageMagick shows the uncovered screen
// as transparent, we in the background colour).
int DifferingOpaquePixels(const Image& expected, const Image& ours) {
  int differing = 0;
  for (int32_t i = 0; i < expected.Width() * expected.Height(); ++i) {
    const uint8_t* e = expected.Bits() + i * 4;
    const uint8_t* a = ours.Bits() + i * 4;
    if (e[3] == 255 && (a[3] != 255 || std::memcmp(e, a, 3) != 0)) ++differing;
  }
  return differing;
}

// The largest difference of one channel between two A8R8G8B8 pictures of one size.
int LargestChannelDifference(const Image& a, const Image& b) {
  int largest = 0;
  for (int32_t i = 0; i < a.Width() * a.Height() * 4; ++i)
    largest = std::max(largest, std::abs(int(a.Bits()[i]) - int(b.Bits()[i])));
  return largest;
}

// Where every image is a frame of ours (each has a control extension), every frame is
// ImageMagick's coalesced frame; elsewhere our first picture is the one a viewer shows first.
TEST(GifCodec, OtherCorpusGifsAgreeWithImageMagick) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  std::vector<fs::path> files;
  for (const char* folder : {"pillow-tests", "imagetestsuite/gif", "image-rs-tests/regression/gif"})
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::CorpusFile(folder)))
      if (entry.path().extension() == ".gif") files.push_back(entry.path());
  int compared = 0, animations = 0;
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.string());
    std::vector<Image> first, all;
    std::string error;
    if (!LoadFile("gif", path, first, &error, true)) {
      // A file whose frames were all dropped simply has no image.
      if (!error.empty()) {
        EXPECT_NE(error.find("Error while loading images from file"), std::string::npos) << error;
      }
      continue;
    }
    std::vector<Image> expected;
    size_t firstPicture = 0;
    // ImageMagick leaves out what later frames add to the logical screen; we do not.
    if (!PicturesWithImageMagick(path, expected, firstPicture) || expected[0].Width() != first[0].Width() ||
        expected[0].Height() != first[0].Height())
      continue;
    ASSERT_TRUE(LoadFile("gif", path, all, &error)) << error;
    if (all.size() == expected.size() && all.size() > 1) {
      for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(DifferingOpaquePixels(expected[i], all[i]), 0) << "frame " << i;
      ++animations;
    } else {
      EXPECT_EQ(DifferingOpaquePixels(expected[firstPicture], first[0]), 0);
    }
    ++compared;
  }
  EXPECT_GE(compared, 40);
  EXPECT_GE(animations, 5);
}

// ---- Hand-made files ------------------------------------------------------------------------

namespace {

struct TestFrame {
  TestFrame(uint16_t l, uint16_t t, uint16_t w, uint16_t h, std::vector<uint8_t> pixels)
      : left(l), top(t), width(w), height(h), indices(std::move(pixels)) {}
  uint16_t left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> indices;  // rows top to bottom
  bool interlaced = false;
  int transparent = -1;  // transparent index, -1 for none; any value adds a control extension
  int disposal = -1;     // -1: no control extension
  int delay = 0;         // hundredths of a second; above 0 adds a control extension
  std::vector<Color32> localTable;
  size_t cutData = 0;  // bytes of LZW data to drop from the end
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutTable(std::vector<uint8_t>& out, const std::vector<Color32>& table) {
  for (Color32 c : table) {
    out.push_back(Color32Red(c));
    out.push_back(Color32Green(c));
    out.push_back(Color32Blue(c));
  }
}

// Table sizes must be powers of two from 2 to 256.
uint8_t TableBits(size_t entries) {
  uint8_t bits = 0;
  while ((size_t(2) << bits) < entries) ++bits;
  return bits;
}

std::vector<uint8_t> MakeGif(uint16_t width, uint16_t height, const std::vector<Color32>& globalTable,
                             uint8_t background, const std::vector<TestFrame>& frames, bool looping = false) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  // Without a global table the header still declares 256 entries: the size of the fixed palette.
  out.push_back(globalTable.empty() ? 7 : uint8_t(0x80 | TableBits(globalTable.size())));
  out.push_back(background);
  out.push_back(0);
  PutTable(out, globalTable);
  if (looping) {
    const char* id = "NETSCAPE2.0";
    out.insert(out.end(), {0x21, 0xFF, 11});
    out.insert(out.end(), id, id + 11);
    out.insert(out.end(), {3, 1, 0, 0, 0});
  }
  for (const TestFrame& f : frames) {
    if (f.disposal >= 0 || f.transparent >= 0 || f.delay > 0) {
      const uint8_t packed = uint8_t((std::max(f.disposal, 0) << 2) | (f.transparent >= 0 ? 1 : 0));
      out.insert(out.end(), {0x21, 0xF9, 4, packed, uint8_t(f.delay), uint8_t(f.delay >> 8),
                             uint8_t(std::max(f.transparent, 0)), 0});
    }
    out.push_back(0x2C);
    Put16(out, f.left);
    Put16(out, f.top);
    Put16(out, f.width);
    Put16(out, f.height);
    out.push_back(uint8_t((f.localTable.empty() ? 0 : 0x80 | TableBits(f.localTable.size())) |
                          (f.interlaced ? 0x40 : 0)));
    PutTable(out, f.localTable);
    std::vector<uint8_t> ordered;
    if (f.interlaced) {
      for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < f.height; y += step)
          ordered.insert(ordered.end(), f.indices.begin() + y * f.width, f.indices.begin() + (y + 1) * f.width);
    } else {
      ordered = f.indices;
    }
    std::vector<uint8_t> lzw = EncodeGIFLZW(ordered.data(), ordered.size());
    lzw.resize(lzw.size() - f.cutData);
    out.push_back(8);
    for (size_t pos = 0; pos < lzw.size(); pos += 255) {
      const size_t n = std::min<size_t>(255, lzw.size() - pos);
      out.push_back(uint8_t(n));
      out.insert(out.end(), lzw.begin() + long(pos), lzw.begin() + long(pos + n));
    }
    out.push_back(0);
  }
  out.push_back(0x3B);
  return out;
}

const std::vector<Color32> kFourColours = {0xFF000000u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};

std::vector<uint8_t> Indices(size_t count, uint32_t seed) {
  std::vector<uint8_t> v(count);
  for (size_t i = 0; i < count; ++i) v[i] = uint8_t((i * 7 + seed + i / 5) % 4);
  return v;
}

}  // namespace

TEST(GifCodec, TransparencyBackgroundAndCanvasGrowth) {
  // One frame with a transparent colour: fully transparent screen, the frame drawn where it
  // is not transparent; transparent pixels keep the transparent entry's colour.
  TestFrame frame{1, 1, 2, 2, {0, 1, 2, 3}};
  frame.transparent = 2;
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(LoadBytes("gif", MakeGif(4, 3, kFourColours, 1, {frame}), images, &error)) << error;
  ASSERT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
  EXPECT_EQ(GetPixel32(images[0], 0, 0), 0x0000FF00u);
  EXPECT_EQ(GetPixel32(images[0], 1, 1), 0xFF000000u);
  EXPECT_EQ(GetPixel32(images[0], 2, 1), 0xFFFF0000u);
  EXPECT_EQ(GetPixel32(images[0], 1, 2), 0x0000FF00u);
  EXPECT_EQ(GetPixel32(images[0], 2, 2), 0xFF0000FFu);

  // Without transparency the screen takes the background entry, opaque; a frame reaching
  // beyond the screen enlarges the images.
  TestFrame outside{3, 2, 2, 2, {3, 3, 3, 3}};
  ASSERT_TRUE(LoadBytes("gif", MakeGif(4, 3, kFourColours, 1, {outside}), images, &error)) << error;
  EXPECT_EQ(images[0].Width(), 5);
  EXPECT_EQ(images[0].Height(), 4);
  EXPECT_EQ(GetPixel32(images[0], 0, 0), 0xFFFF0000u);
  EXPECT_EQ(GetPixel32(images[0], 4, 3), 0xFF0000FFu);

  // Without any colour table the palette is 3-3-2 bit fields.
  ASSERT_TRUE(LoadBytes("gif", MakeGif(2, 1, {}, 0, {TestFrame(0, 0, 2, 1, {0xE0, 0x1F})}), images, &error)) << error;
  EXPECT_EQ(GetPixel32(images[0], 0, 0), 0xFFFF0000u);
  EXPECT_EQ(GetPixel32(images[0], 1, 0), 0xFF00FFFFu);
}

TEST(GifCodec, InterlacedFrameGivesTheSamePixels) {
  const std::vector<uint8_t> indices = Indices(7 * 11, 3);
  TestFrame plain{0, 0, 7, 11, indices};
  TestFrame interlaced = plain;
  interlaced.interlaced = true;
  std::vector<Image> a, b;
  ASSERT_TRUE(LoadBytes("gif", MakeGif(7, 11, kFourColours, 0, {plain}), a));
  ASSERT_TRUE(LoadBytes("gif", MakeGif(7, 11, kFourColours, 0, {interlaced}), b));
  EXPECT_EQ(ComparePixels64(a[0], b[0]), "");
}

TEST(GifCodec, DisposalAndBrokenFrames) {
  TestFrame first{0, 0, 2, 2, {1, 1, 1, 1}};
  first.disposal = 2;
  first.delay = 10;
  TestFrame second{1, 1, 1, 1, {3}};
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(LoadBytes("gif", MakeGif(2, 2, kFourColours, 2, {first, second}), images, &error)) << error;
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(GetPixel32(images[0], 0, 0), 0xFFFF0000u);
  // Disposal 2: the first frame's rectangle shows the background again.
  EXPECT_EQ(GetPixel32(images[1], 0, 0), 0xFF00FF00u);
  EXPECT_EQ(GetPixel32(images[1], 1, 1), 0xFF0000FFu);

  // A frame whose data end early (three of its four pixels, no end code) gives the pixels up to
  // there; the missing one leaves the screen as the frames before drew it, and the load says so.
  TestFrame kept{0, 0, 2, 2, {1, 1, 1, 1}};
  kept.delay = 10;
  TestFrame broken{0, 0, 2, 2, {2, 0, 3, 2}};
  broken.cutData = 2;
  {
    LoadWarnings warnings;
    ASSERT_TRUE(LoadBytes("gif", MakeGif(2, 2, kFourColours, 2, {kept, broken}), images, &error)) << error;
    EXPECT_EQ(warnings.Texts(), std::vector<std::string>{"GIF data end early; the missing part is transparent"});
  }
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(GetPixel32(images[1], 0, 0), 0xFF00FF00u);
  EXPECT_EQ(GetPixel32(images[1], 1, 0), 0xFF000000u);
  EXPECT_EQ(GetPixel32(images[1], 0, 1), 0xFF0000FFu);
  EXPECT_EQ(GetPixel32(images[1], 1, 1), 0xFFFF0000u);  // the first frame's pixel

  // Raw frames when composing is off: each frame at its own size with its own palette.
  CodecOptions rawFrames = CurrentOptions();
  rawFrames.gif.loadAnimated = false;
  TestFrame local{0, 0, 1, 1, {1}};
  local.localTable = {0xFF111111u, 0xFF222222u};
  ASSERT_TRUE(LoadBytes("gif", MakeGif(2, 2, kFourColours, 2, {first, local}), images, &error, false, rawFrames))
      << error;
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[1].Format(), PixelFormat::Index8);
  EXPECT_EQ(images[1].Width(), 1);
  EXPECT_EQ(images[1].Palette()[1], 0xFF222222u);
  EXPECT_EQ(images[1].Palette()[2], 0u);

  // Data that give no pixel at all: no image.
  TestFrame empty = broken;
  empty.cutData = 7;
  EXPECT_FALSE(LoadBytes("gif", MakeGif(2, 2, kFourColours, 0, {empty}), images, &error));
  EXPECT_TRUE(images.empty());
}

TEST(GifCodec, OnlyFirstGivesTheFirstComposedFrame) {
  TestFrame first{0, 0, 2, 2, {1, 2, 3, 0}};
  first.delay = 10;
  TestFrame later{3, 3, 2, 2, {3, 3, 3, 3}};  // enlarges the screen to 5 x 5
  later.delay = 10;
  const std::vector<uint8_t> file = MakeGif(4, 4, kFourColours, 0, {first, later, later});
  std::vector<Image> all, one;
  ASSERT_TRUE(LoadBytes("gif", file, all));
  ASSERT_TRUE(LoadBytes("gif", file, one, nullptr, true));
  ASSERT_EQ(all.size(), 3u);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].Width(), 5);
  EXPECT_EQ(ComparePixels64(all[0], one[0]), "");
}

TEST(GifCodec, ImagesUpToADelayMakeOnePicture) {
  // Four tiles of the screen: 0 top left, 1 top right, 2 bottom left, 3 bottom right.
  auto tile = [](int i) { return TestFrame(uint16_t(i % 2), uint16_t(i / 2), 1, 1, {uint8_t(i)}); };
  const std::vector<Color32> screen = {kFourColours[0], kFourColours[1], kFourColours[2], kFourColours[3]};
  struct Case {
    const char* what;
    std::vector<TestFrame> frames;
    bool looping;
    std::vector<std::vector<Color32>> pictures;  // the four screen pixels of each picture
  };
  std::vector<TestFrame> noDelays = {tile(0), tile(1), tile(2), tile(3)};
  std::vector<TestFrame> secondDelayed = noDelays;
  secondDelayed[1].delay = 20;
  std::vector<TestFrame> zeroDelays = noDelays;
  for (TestFrame& f : zeroDelays) f.disposal = 1;  // control extensions with a delay of 0
  std::vector<TestFrame> delayOnBroken = secondDelayed;
  delayOnBroken[1].cutData = 2;  // left out, but the screen still pauses there
  const Color32 bg = kFourColours[2];
  const Case cases[] = {
      {"no delays: one picture", noDelays, false, {screen}},
      {"zero delays: every image",
       zeroDelays,
       false,
       {{screen[0], bg, bg, bg}, {screen[0], screen[1], bg, bg}, {screen[0], screen[1], screen[2], bg}, screen}},
      {"a delay ends a picture", secondDelayed, false, {{screen[0], screen[1], bg, bg}, screen}},
      {"a left-out image's delay", delayOnBroken, false, {{screen[0], bg, bg, bg}, {screen[0], bg, screen[2], screen[3]}}},
      {"looping without delays: every image",
       noDelays,
       true,
       {{screen[0], bg, bg, bg}, {screen[0], screen[1], bg, bg}, {screen[0], screen[1], screen[2], bg}, screen}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> file = MakeGif(2, 2, kFourColours, 2, c.frames, c.looping);
    std::vector<Image> all, first;
    ASSERT_TRUE(LoadBytes("gif", file, all));
    ASSERT_TRUE(LoadBytes("gif", file, first, nullptr, true));
    ASSERT_EQ(all.size(), c.pictures.size());
    for (size_t p = 0; p < all.size(); ++p)
      for (int i = 0; i < 4; ++i) EXPECT_EQ(GetPixel32(all[p], i % 2, i / 2), c.pictures[p][size_t(i)]) << p << " " << i;
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(ComparePixels64(all[0], first[0]), "");
    // The header read counts the pictures without decoding them.
    MemoryStream stream(file);
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(stream, "gif", CurrentOptions(), header));
    EXPECT_EQ(header.Frames, int32_t(c.pictures.size()));
  }
  // Raw frames stay one per image.
  CodecOptions rawFrames = CurrentOptions();
  rawFrames.gif.loadAnimated = false;
  std::vector<Image> raw;
  ASSERT_TRUE(LoadBytes("gif", MakeGif(2, 2, kFourColours, 2, noDelays), raw, nullptr, false, rawFrames));
  EXPECT_EQ(raw.size(), 4u);
}

TEST(GifCodec, HighColorPictureAgreesWithGiftopnm) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("giftopnm")) GTEST_SKIP() << "netpbm missing";
  // Four 16 x 16 images of 256 colours each tile one 32 x 32 picture; giftopnm gives each
  // image on its own.
  const fs::path file = testsupport::CorpusFile("gif-test-suite/high-color.gif");
  imaging::Image picture;
  ASSERT_TRUE(engine::LoadImageFile(file.string(), picture));
  ASSERT_EQ(picture.Width(), 32);
  ASSERT_EQ(picture.Height(), 32);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    std::string pnm;
    ASSERT_EQ(testsupport::RunCommand("giftopnm --image=" + std::to_string(i + 1) + " '" + file.string() + "' 2>/dev/null", &pnm), 0);
    imaging::Image expected, actual;
    ASSERT_TRUE(ReadPnm(pnm, expected));
    ASSERT_TRUE(CreateImage(16, 16, PixelFormat::A8R8G8B8, actual));
    ASSERT_TRUE(CopyImageRect(picture, (i % 2) * 16, (i / 2) * 16, 16, 16, actual, 0, 0));
    EXPECT_EQ(ComparePixels64(expected, actual), "");
  }
}

TEST(GifCodec, BadLzwDataRaisesTheDecodingError) {
  uint8_t pixels[4];
  const struct {
    const char* name;
    std::vector<uint8_t> data;
    int32_t minCodeSize;
  } cases[] = {
      {"code size 1", {0x00}, 1},
      {"code size 10", {0x00}, 10},
      {"no data", {}, 2},
      {"table code first", {0x34, 0}, 2},   // clear, then code 6 which is not yet defined
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecodeGIFLZW(c.data.data(), c.data.size(), c.minCodeSize, pixels, 2, 2, false, 2);
      ADD_FAILURE() << "no error";
    } catch (const ImagingError& e) {
      EXPECT_STREQ(e.what(), "Error when decoding GIF LZW data");
    }
  }
  // Data that end without an end code give what they hold: clear, then the code 0 that the
  // byte's last bits make.
  const uint8_t clearThenZero[] = {0x04};
  EXPECT_EQ(DecodeGIFLZW(clearThenZero, 1, 2, pixels, 2, 2, false, 2), 1u);
}

TEST(GifCodec, LzwDataGiveAtMostTheirBound) {
  // The densest data: after a clear, every code the entry just being defined, so each string is
  // one pixel longer than the one before, until the table is full; then the longest code again
  // and again.
  for (int32_t minCodeSize : {2, 8}) {
    SCOPED_TRACE(minCodeSize);
    const int32_t clear = 1 << minCodeSize;
    std::vector<uint8_t> data;
    uint32_t bits = 0;
    int32_t bitCount = 0, width = minCodeSize + 1;
    auto put = [&](uint32_t code) {
      bits |= code << bitCount;
      bitCount += width;
      while (bitCount >= 8) {
        data.push_back(uint8_t(bits));
        bits >>= 8;
        bitCount -= 8;
      }
    };
    put(uint32_t(clear));
    put(0);
    for (int32_t next = clear + 2; next < 4096; ++next) {
      put(uint32_t(next));
      if (next + 1 == (1 << width) && width < 12) ++width;
    }
    for (int k = 0; k < 100; ++k) put(4095);
    const size_t size = data.size();
    const int32_t side = 4096;
    std::vector<uint8_t> pixels(size_t(side) * side);
    const size_t produced = DecodeGIFLZW(data.data(), size, minCodeSize, pixels.data(), side, side, false, side);
    EXPECT_LT(produced, size_t(side) * side);
    EXPECT_LE(int64_t(produced), MaxLZWPixels(size, minCodeSize));
    // The bound is not far above what such data give.
    EXPECT_GT(int64_t(produced) * 3, MaxLZWPixels(size, minCodeSize));
  }
}

TEST(GifCodec, AnimationKeepsDelaysAndLoopCountAndRefusesTooManyFrames) {
  auto tile = [](int i, int delay) {
    TestFrame frame(uint16_t(i % 2), uint16_t(i / 2), 1, 1, {uint8_t(i)});
    frame.delay = delay;
    frame.disposal = 1;
    return frame;
  };
  std::vector<Image> images;
  LoadFacts facts;
  MemoryStream stream(MakeGif(2, 2, kFourColours, 2, {tile(0, 0), tile(1, 7), tile(2, 250)}, true));
  ASSERT_TRUE(CodecFor("gif").LoadFromStream(stream, images, false, CurrentOptions(), &facts));
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(facts.animation.delaysMs, (std::vector<int32_t>{0, 70, 2500}));
  EXPECT_EQ(facts.animation.loopCount, 0);  // the loop extension's 0 repeats: without end
  // One picture has no timing; a file without a loop extension plays once.
  MemoryStream still(MakeGif(2, 2, kFourColours, 2, {tile(0, 5)}));
  ASSERT_TRUE(CodecFor("gif").LoadFromStream(still, images, false, CurrentOptions(), &facts));
  EXPECT_FALSE(facts.animation.Animated());
  MemoryStream once(MakeGif(2, 2, kFourColours, 2, {tile(0, 5), tile(1, 5)}));
  ASSERT_TRUE(CodecFor("gif").LoadFromStream(once, images, false, CurrentOptions(), &facts));
  EXPECT_EQ(facts.animation.loopCount, 1);

  // Ten thousand and one pictures of one pixel: refused with the cause, before composing.
  const std::vector<TestFrame> many(size_t(kMaxFrames) + 1, tile(0, 1));
  const std::vector<uint8_t> file = MakeGif(2, 2, kFourColours, 2, many);
  std::string error;
  EXPECT_FALSE(LoadBytes("gif", file, images, &error));
  EXPECT_NE(error.find("10001 frames, more than the 10000"), std::string::npos) << error;
  MemoryStream header(file);
  ImageHeader found;
  ASSERT_TRUE(ReadImageHeader(header, "gif", CurrentOptions(), found));
  EXPECT_EQ(found.Frames, kMaxFrames + 1);
}

// ---- Writing --------------------------------------------------------------------------------

TEST(GifCodec, WrittenFramesReadBackWithTheirIndicesAndColours) {
  std::vector<Image> images;
  // Enough noise to fill the code table several times over.
  CreateImage(301, 257, PixelFormat::Index8, images.emplace_back());
  uint32_t state = 7;
  for (int32_t i = 0; i < images[0].Size(); ++i) {
    state = state * 1103515245u + 12345u;
    images[0].Bits()[i] = uint8_t((state >> 16) % (i % 3000 < 1500 ? 256 : 5));
  }
  for (int k = 0; k < 256; ++k) images[0].Palette()[k] = MakeColor32(255, uint8_t(k), uint8_t(k * 3), uint8_t(255 - k));
  MakePicture(20, 300, PixelFormat::Index8, images.emplace_back());
  const std::vector<uint8_t> file = SaveBytes("gif", images);
  ASSERT_GT(file.size(), 13u + 8 + 10 + 768);
  // Header with the largest width and height, no global table; then the fixed control
  // extension and a descriptor with a 256-entry local table.
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 13),
            (std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 45, 1, 44, 1, 0x70, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 13, file.begin() + 31),
            (std::vector<uint8_t>{0x21, 0xF9, 4, 0, 0x41, 0, 0, 0, 0x2C, 0, 0, 0, 0, 45, 1, 1, 1, 0x87}));
  EXPECT_EQ(file.back(), 0x3B);

  CodecOptions rawFrames = CurrentOptions();
  rawFrames.gif.loadAnimated = false;
  std::vector<Image> back;
  std::string error;
  ASSERT_TRUE(LoadBytes("gif", file, back, &error, false, rawFrames)) << error;
  ASSERT_EQ(back.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(back[i].Size(), images[i].Size());
    EXPECT_EQ(std::memcmp(back[i].Bits(), images[i].Bits(), size_t(images[i].Size())), 0) << i;
    EXPECT_EQ(std::memcmp(back[i].Palette(), images[i].Palette(), 1024), 0) << i;
  }

  if (testsupport::HaveTool("convert")) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "out.gif", file);
    Image expected;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(dir / "out.gif", expected));
    EXPECT_EQ(ComparePixels64(expected, images[0]), "");
  }
}

// Frames with timing are written as an animation that ImageMagick reads back with the same
// pixels, delays and loop count: one shared colour table where the colours fit, else a table
// per frame, and of every later frame only the rectangle that changed.
TEST(GifCodec, AnimationsReadBackWithTheirFramesDelaysAndLoop) {
  struct Case {
    const char* what;
    PixelFormat format;  // A8R8G8B8 pictures of many colours, or Index8 of few
    int32_t loopCount;
    const char* iterations;  // the plays ImageMagick reports from the loop extension; none: no extension
    bool sharedTable;
  };
  const Case cases[] = {
      {"few colours, without end", PixelFormat::Index8, 0, "0", true},
      {"many colours, played three times", PixelFormat::R8G8B8, 3, "3", false},
      {"played once", PixelFormat::Index8, 1, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Image> frames(3);
    for (size_t i = 0; i < frames.size(); ++i) {
      MakePicture(40, 30, c.format == PixelFormat::Index8 ? PixelFormat::R8G8B8 : c.format, frames[i], 1);
      if (c.format == PixelFormat::Index8) {
        // The same eight colours in every frame, so that the frames share one table.
        for (int32_t p = 0; p < frames[i].Width() * frames[i].Height(); ++p)
          for (int k = 0; k < 3; ++k) frames[i].Bits()[p * 3 + k] = (frames[i].Bits()[p * 3 + k] & 0x80) ? 255 : 0;
      }
      // Each later frame changes a 5 x 4 block.
      for (int32_t y = 10; y < 14 && i > 0; ++y)
        for (int32_t x = int32_t(i) * 6; x < int32_t(i) * 6 + 5; ++x)
          std::memset(frames[i].Bits() + (size_t(y) * 40 + size_t(x)) * 3, i == 1 ? 255 : 0, 3);
    }
    CodecOptions options = CurrentOptions();
    options.animation.loopCount = c.loopCount;
    options.animation.delaysMs = {100, 40, 1230};
    const std::vector<uint8_t> file = SaveBytes("gif", frames, false, options);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file[10], c.sharedTable ? 0xF7 : 0x70);
    if (!testsupport::HaveTool("identify")) continue;
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "out.gif", file);
    std::string described;
    ASSERT_EQ(testsupport::RunCommand("identify -format '%T %w %h %X %Y|' '" + (dir / "out.gif").string() + "'",
                                      &described), 0);
    // The third frame changes its own block and takes back the second's.
    EXPECT_EQ(described, "10 40 30 +0 +0|4 5 4 +6 +10|123 11 4 +6 +10|");
    std::string verbose;
    testsupport::RunCommand("identify -verbose '" + (dir / "out.gif").string() + "' | grep Iterations | head -1", &verbose);
    EXPECT_EQ(verbose.find(std::string("Iterations: ") + c.iterations) != std::string::npos, *c.iterations != 0)
        << verbose << c.iterations;
    // Each frame as ImageMagick composes it is the frame given.
    ASSERT_EQ(testsupport::RunCommand("convert '" + (dir / "out.gif").string() + "' -coalesce '" +
                                      (dir / "frame-%d.pam").string() + "'"), 0);
    for (size_t i = 0; i < frames.size(); ++i) {
      Image expected, written;
      ASSERT_TRUE(testsupport::DecodeWithImageMagick(dir / ("frame-" + std::to_string(i) + ".pam"), expected));
      CopyImage(frames[i], written);
      ConvertImageFormat(written, PixelFormat::A8R8G8B8);
      if (c.format == PixelFormat::Index8) EXPECT_EQ(ComparePixels64(expected, written), "") << "frame " << i;
      else EXPECT_LE(LargestChannelDifference(expected, written), 64) << "frame " << i;
    }
  }
}

TEST(GifCodec, TruecolourImagesAreReducedToOneFrame) {
  std::vector<Image> images;
  MakePicture(24, 16, PixelFormat::A8R8G8B8, images.emplace_back());
  std::vector<Image> back;
  ASSERT_TRUE(LoadBytes("gif", SaveBytes("gif", images), back));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].Width(), 24);
  EXPECT_EQ(back[0].Height(), 16);
}
