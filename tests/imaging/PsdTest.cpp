#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/imaging/CodecTestHelpers.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"
#include "imaging/formats/Psd.h"

using namespace imaging;
using namespace imaging::formats;

namespace {

const PsdCodec& Psd() { return *FindFormatByClass<PsdCodec>(); }

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t((b[at] << 8) | b[at + 1]); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

// The options of a save with or without the layer.
CodecOptions SaveAsLayer(bool layer) {
  CodecOptions options = CurrentOptions();
  options.psd.saveAsLayer = layer;
  return options;
}

// A small image with distinct values in every sample.
void MakePattern(int32_t width, int32_t height, PixelFormat format, Image& image) {
  ASSERT_TRUE(CreateImage(width, height, format, image));
  for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = uint8_t(i * 37 + 11);
  if (image.Palette())
    for (int i = 0; i < 256; ++i) image.Palette()[i] = MakeColor32(255, uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
}

// ImageMagick's reading of the merged image. Photoshop blends the colours of transparent pixels
// with white; like the library, ImageMagick takes the white out unless `unblend` is false.
bool DecodeMergedWithImageMagick(const std::filesystem::path& file, int32_t width, int32_t height, Image& image,
                                 bool unblend = true) {
  std::string rgba;
  const std::string command = std::string("convert -define psd:alpha-unblend=") + (unblend ? "on" : "off") + " '" +
                              file.string() + "[0]' -colorspace sRGB -depth 8 rgba:- 2>/dev/null";
  if (testsupport::RunCommand(command, &rgba) != 0 || rgba.size() != size_t(width) * size_t(height) * 4) return false;
  CreateImage(width, height, PixelFormat::A8R8G8B8, image);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    image.Bits()[i] = uint8_t(rgba[i + 2]);
    image.Bits()[i + 1] = uint8_t(rgba[i + 1]);
    image.Bits()[i + 2] = uint8_t(rgba[i]);
    image.Bits()[i + 3] = uint8_t(rgba[i + 3]);
  }
  return true;
}

// The colour of a fully transparent pixel is not part of the picture: readers differ there.
void ClearHiddenColours(Image& argb) {
  for (int32_t i = 0; i < argb.Size(); i += 4)
    if (argb.Bits()[i + 3] == 0) std::memset(argb.Bits() + i, 0, 3);
}

void ExpectSameAsImageMagick(const std::filesystem::path& file, const Image& ours, int tolerance,
                             bool compareAlpha = true) {
  Image reference, argb;
  ASSERT_TRUE(DecodeMergedWithImageMagick(file, ours.Width(), ours.Height(), reference)) << file;
  testsupport::CopyAsArgb(ours, argb);
  if (compareAlpha) {
    ClearHiddenColours(reference);
    ClearHiddenColours(argb);
  }
  EXPECT_EQ(testsupport::CompareImages(reference, argb, tolerance, compareAlpha), "") << file;
}

// A Python interpreter with psd-tools, or an empty text.
std::string PsdToolsPython() {
  for (const char* python : {"python3", "/usr/bin/python3"})
    if (testsupport::RunCommand(std::string(python) + " -c 'import psd_tools' >/dev/null 2>&1") == 0) return python;
  return std::string();
}

// psd-tools' reading of the merged image (which = "merged") or of the first layer ("layer") as
// an A8R8G8B8 image.
bool DecodeWithPsdTools(const std::string& python, const std::filesystem::path& file, const char* which,
                        Image& image) {
  const std::string script =
      "import sys\n"
      "from psd_tools import PSDImage\n"
      "psd = PSDImage.open(sys.argv[1])\n"
      "im = psd.topil() if sys.argv[2] == 'merged' else psd[0].topil()\n"
      "im = im.convert('RGBA')\n"
      "sys.stdout.buffer.write(b'%d %d\\n' % im.size + im.tobytes())\n";
  std::string output;
  if (testsupport::RunCommand(python + " -c \"" + script + "\" '" + file.string() + "' " + which + " 2>/dev/null",
                              &output) != 0)
    return false;
  const size_t newline = output.find('\n');
  int width = 0, height = 0;
  if (newline == std::string::npos || std::sscanf(output.c_str(), "%d %d", &width, &height) != 2 || width <= 0 ||
      height <= 0 || output.size() - newline - 1 != size_t(width) * size_t(height) * 4)
    return false;
  CreateImage(width, height, PixelFormat::A8R8G8B8, image);
  const auto* rgba = reinterpret_cast<const uint8_t*>(output.data()) + newline + 1;
  for (int32_t i = 0; i < image.Size(); i += 4) {
    image.Bits()[i] = rgba[i + 2];
    image.Bits()[i + 1] = rgba[i + 1];
    image.Bits()[i + 2] = rgba[i];
    image.Bits()[i + 3] = rgba[i + 3];
  }
  return true;
}

// The merged image keeps a colour of alpha a (of 255) to within 255 / (2a) after the white matte
// is put in and taken out; fully transparent pixels lose their colour.
void ExpectSameThroughTheMatte(const Image& original, const Image& back) {
  ASSERT_EQ(original.Size(), back.Size());
  ASSERT_EQ(original.Format(), PixelFormat::A8R8G8B8);
  for (int32_t i = 0; i < original.Size(); i += 4) {
    const int alpha = original.Bits()[i + 3];
    ASSERT_EQ(back.Bits()[i + 3], alpha) << "pixel " << i / 4;
    if (alpha == 0) continue;
    for (int c = 0; c < 3; ++c)
      ASSERT_LE(std::abs(int(back.Bits()[i + c]) - int(original.Bits()[i + c])), 128 / alpha + 1)
          << "pixel " << i / 4 << " alpha " << alpha;
  }
}

// ImageMagick reads the merged image of a layered transparent file, which is matted with white:
// it agrees with the layer's colours up to the precision of the matte.
void ExpectSameAsImageMagickThroughTheMatte(const std::filesystem::path& file, const Image& ours) {
  Image reference;
  ASSERT_TRUE(DecodeMergedWithImageMagick(file, ours.Width(), ours.Height(), reference)) << file;
  ExpectSameThroughTheMatte(ours, reference);
}

}  // namespace

TEST(PsdCodec, CorpusColourModesMapToTheirFormats) {
  VEXILO_REQUIRE_CORPUS();
  struct Case {
    const char* file;
    PixelFormat format;  // Unknown: the load answers false
  };
  const Case cases[] = {
      {"psd-tools/colormodes/4x4_8bit_grayscale.psd", PixelFormat::Gray8},
      {"psd-tools/colormodes/4x4_16bit_grayscale.psd", PixelFormat::Gray16},
      {"psd-tools/colormodes/4x4_32bit_grayscale.psd", PixelFormat::A32R32G32B32F},
      {"psd-tools/colormodes/4x4_8bit_duotone.psd", PixelFormat::Gray8},
      {"psd-tools/colormodes/4x4_8bit_index_color.psd", PixelFormat::Index8},
      {"psd-tools/colormodes/4x4_8bit_rgb.psd", PixelFormat::R8G8B8},
      {"psd-tools/colormodes/4x4_8bit_rgba.psd", PixelFormat::A8R8G8B8},
      {"psd-tools/colormodes/4x4_16bit_rgb.psd", PixelFormat::R16G16B16},
      {"psd-tools/colormodes/4x4_32bit_rgb.psd", PixelFormat::A32R32G32B32F},
      {"psd-tools/colormodes/4x4_8bit_lab.psd", PixelFormat::R8G8B8},
      {"psd-tools/colormodes/4x4_16bit_lab.psd", PixelFormat::R16G16B16},
      {"psd-tools/colormodes/4x4_16bit_multichannel.psd", PixelFormat::R16G16B16},
      {"psd-tools/colormodes/4x4_1bit_bitmap.psd", PixelFormat::Unknown},
      {"pillow-tests/rgba.psd", PixelFormat::A8R8G8B8},
  };
  for (const Case& c : cases) {
    std::vector<Image> images;
    const bool loaded = Psd().LoadFromFile(testsupport::CorpusFile(c.file), images);
    if (c.format == PixelFormat::Unknown) {
      EXPECT_FALSE(loaded) << c.file;
      EXPECT_TRUE(images.empty()) << c.file;
      continue;
    }
    ASSERT_TRUE(loaded) << c.file;
    ASSERT_EQ(images.size(), 1u) << c.file;
    EXPECT_EQ(images[0].Format(), c.format) << c.file;
  }
}

TEST(PsdCodec, MergedImagesMatchImageMagick) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  struct Case {
    const char* file;
    // 16-bit samples: ImageMagick rounds where the library truncates; both take the white
    // matte out of partly transparent pixels, rounding differently.
    int tolerance;
  };
  const Case cases[] = {
      {"psd-tools/colormodes/4x4_8bit_grayscale.psd", 0},
      {"psd-tools/colormodes/4x4_16bit_grayscale.psd", 1},
      {"psd-tools/colormodes/4x4_32bit_grayscale.psd", 1},
      {"psd-tools/colormodes/4x4_8bit_duotone.psd", 0},
      {"psd-tools/colormodes/4x4_8bit_rgb.psd", 0},
      // Its fourth channel is a saved selection (the layer count is positive): opaque.
      {"psd-tools/colormodes/4x4_8bit_rgba.psd", 0},
      {"psd-tools/colormodes/4x4_16bit_rgb.psd", 1},
      {"psd-tools/colormodes/4x4_32bit_rgb.psd", 1},
      {"psd-tools/16bit5x5.psd", 1},
      {"psd-tools/32bit5x5.psd", 1},
      {"psd-tools/2layers.psd", 0},
      {"psd-tools/vector-mask3.psd", 0},
      {"psd-tools/passthrough_blendmodes3.psd", 1},
      {"psd-tools/transparentbg-gimp.psd", 1},
      {"pillow-tests/hopper.psd", 0},
      {"pillow-tests/rgba.psd", 0},
  };
  for (const Case& c : cases) {
    const auto path = testsupport::CorpusFile(c.file);
    std::vector<Image> images;
    ASSERT_TRUE(Psd().LoadFromFile(path, images)) << c.file;
    ExpectSameAsImageMagick(path, images[0], c.tolerance);
  }
}

TEST(PsdCodec, ThreeChannelFloatImagesAreOpaque) {
  VEXILO_REQUIRE_CORPUS();
  std::vector<Image> rgb;
  ASSERT_TRUE(Psd().LoadFromFile(testsupport::CorpusFile("psd-tools/colormodes/4x4_32bit_rgb.psd"), rgb));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(GetPixelFP(rgb[0], x, y).A, 1.0f);
}

// A raw 32-bit grayscale file of 2 x 1 pixels with the given channel rows (gray, then extras)
// and an empty layer section.
std::vector<uint8_t> GrayFloatPsd(const std::vector<std::vector<float>>& channels) {
  const std::array<uint8_t, 26> header = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, uint8_t(channels.size()),
                                          0, 0, 0, 1, 0, 0, 0, 2, 0, 32, 0, 1};
  size_t samples = 0;
  for (const std::vector<float>& row : channels) samples += row.size();
  // The header, three empty sections and the raw-data mark, then the samples.
  std::vector<uint8_t> b(header.size() + 12 + 2 + 4 * samples, 0);
  auto at = std::copy(header.begin(), header.end(), b.begin()) + 12 + 2;
  for (const std::vector<float>& row : channels)
    for (float v : row) {
      uint32_t bits;
      std::memcpy(&bits, &v, 4);
      for (int shift = 24; shift >= 0; shift -= 8) *at++ = uint8_t(bits >> shift);
    }
  return b;
}

// Gray float files hold gray, not red: every colour channel takes the sample, so the image
// stays gray when the program converts it to A8R8G8B8.
TEST(PsdCodec, GrayFloatImagesConvertToGray) {
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    ColorFP first, second;
  };
  const Case cases[] = {
      {"gray", GrayFloatPsd({{0.25f, 1.0f}}), {0.25f, 0.25f, 0.25f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}},
      {"gray and alpha", GrayFloatPsd({{0.25f, 1.0f}, {0.5f, 0.0f}}), {0.25f, 0.25f, 0.25f, 0.5f},
       {1.0f, 1.0f, 1.0f, 0.0f}},
      // Only the first extra channel can be transparency.
      {"gray and two extras", GrayFloatPsd({{0.25f, 1.0f}, {0.5f, 0.0f}, {0.75f, 0.75f}}),
       {0.25f, 0.25f, 0.25f, 0.5f}, {1.0f, 1.0f, 1.0f, 0.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = dir / "gray.psd";
    testsupport::WriteFileBytes(file, c.bytes);
    std::vector<Image> images;
    ASSERT_TRUE(Psd().LoadFromFile(file, images));
    ASSERT_EQ(images[0].Format(), PixelFormat::A32R32G32B32F);
    for (int x = 0; x < 2; ++x) {
      const ColorFP expected = x == 0 ? c.first : c.second;
      const ColorFP actual = GetPixelFP(images[0], x, 0);
      EXPECT_EQ(std::memcmp(&actual, &expected, sizeof(ColorFP)), 0) << x;
    }
  }

  VEXILO_REQUIRE_CORPUS();
  const auto corpus = testsupport::CorpusFile("psd-tools/colormodes/4x4_32bit_grayscale.psd");
  std::vector<Image> images;
  ASSERT_TRUE(Psd().LoadFromFile(corpus, images));
  Image argb;
  codectest::ConvertToArgb(images[0], argb);
  EXPECT_EQ(codectest::FirstColouredPixel(argb), "");
  if (!testsupport::HaveTool("convert")) return;
  Image reference;
  ASSERT_TRUE(DecodeMergedWithImageMagick(corpus, 4, 4, reference));
  EXPECT_EQ(testsupport::CompareImages(reference, argb, 1), "");
}

TEST(PsdCodec, OneChannelFloatImagesAreWrittenAsGray) {
  std::vector<Image> images;
  Image& image = images.emplace_back();
  ASSERT_TRUE(CreateImage(3, 1, PixelFormat::R32F, image));
  for (int32_t x = 0; x < 3; ++x) SetPixelFP(image, x, 0, ColorFP{0, 0, 0.5f * float(x), 1});
  testsupport::TempDir dir;
  ASSERT_TRUE(Psd().SaveToFile(dir / "gray.psd", images, true));
  const std::vector<uint8_t> b = testsupport::ReadFileBytes(dir / "gray.psd");
  EXPECT_EQ(U16(b, 12), 1);  // channels
  EXPECT_EQ(U16(b, 24), 1);  // grayscale
  std::vector<Image> back;
  ASSERT_TRUE(Psd().LoadFromFile(dir / "gray.psd", back));
  for (int32_t x = 0; x < 3; ++x) {
    const ColorFP c = GetPixelFP(back[0], x, 0);
    EXPECT_TRUE(c.R == 0.5f * float(x) && c.G == c.R && c.B == c.R && c.A == 1.0f) << x;
  }
}

TEST(PsdCodec, CmykFileFromAnotherEncoderLoadsAsRgb) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  testsupport::TempDir dir;
  const auto file = dir / "cmyk.psd";
  ASSERT_EQ(testsupport::RunCommand("convert -size 8x6 gradient:'#ff4000-#2080c0' -colorspace CMYK -depth 8 '" +
                                    file.string() + "'"),
            0);
  std::vector<Image> images;
  ASSERT_TRUE(Psd().LoadFromFile(file, images));
  EXPECT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
  ExpectSameAsImageMagick(file, images[0], 2);
}

TEST(PsdCodec, DamagedFilesAreRefusedWithAReason) {
  VEXILO_REQUIRE_CORPUS();
  const std::vector<uint8_t> good = testsupport::ReadFileBytes(testsupport::CorpusFile("pillow-tests/rgba.psd"));
  struct Case {
    const char* name;
    size_t offset;           // bytes patched at this offset, or the length to cut to when `cut`
    std::vector<uint8_t> bytes;
    bool cut;
    const char* message;
  };
  const size_t data = good.size() - 1;  // inside the packed rows
  const Case cases[] = {
      {"truncated rows", data - 200, {}, true, "truncated"},
      {"truncated header", 32, {}, true, "Unexpected end of data"},
      {"huge width", 18, {0x7F, 0xFF, 0xFF, 0xFF}, false, "exceed"},
      {"zero height", 14, {0, 0, 0, 0}, false, "Invalid image dimensions"},
      {"no channels", 12, {0, 0}, false, "no channels"},
      {"resources past the end", 30, {0x7F, 0, 0, 0}, false, "runs past the end"},
      // 16384 x 16384 pixels announced by a 2.4 KB file: the row table is far too short.
      {"small file, huge image", 14, {0, 0, 0x40, 0, 0, 0, 0x40, 0}, false, "truncated"},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    if (c.cut)
      bytes.resize(c.offset);
    else
      std::memcpy(bytes.data() + c.offset, c.bytes.data(), c.bytes.size());
    const auto file = dir / "damaged.psd";
    testsupport::WriteFileBytes(file, bytes);
    std::vector<Image> images;
    try {
      Psd().LoadFromFile(file, images);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
    }
    EXPECT_TRUE(images.empty()) << c.name;
  }
}

TEST(PsdCodec, FuzzedCorpusFilesLoadOrFailCleanly) {
  VEXILO_REQUIRE_CORPUS();
  const char* files[] = {"pillow-tests/psd-oob-write.psd",      "pillow-tests/psd-oob-write-x.psd",
                         "pillow-tests/psd-oob-write-y.psd",    "pillow-tests/psd-oob-write-overflow.psd",
                         "pillow-tests/negative_layer_count.psd", "pillow-tests/negative_top_left_layer.psd",
                         "pillow-tests/combined_larger_than_size.psd", "pillow-tests/five_channels.psd"};
  for (const char* f : files) {
    std::vector<Image> images;
    try {
      if (Psd().LoadFromFile(testsupport::CorpusFile(f), images)) {
        EXPECT_TRUE(AreImagesValid(images)) << f;
      }
    } catch (const ImagingError&) {
      EXPECT_TRUE(images.empty()) << f;
    }
  }
}

TEST(PsdCodec, LayerAndMergedImageAreLaidOutAsPhotoshopReadsThem) {
  const CodecOptions layerOptions = SaveAsLayer(true);
  std::vector<Image> images;
  MakePattern(5, 3, PixelFormat::A8R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  const auto file = dir / "layer.psd";
  ASSERT_TRUE(Psd().SaveToFile(file, images, true, layerOptions));
  const std::vector<uint8_t> b = testsupport::ReadFileBytes(file);

  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "8BPS");
  EXPECT_EQ(U16(b, 12), 4);   // channels
  EXPECT_EQ(U32(b, 14), 3u);  // height
  EXPECT_EQ(U32(b, 18), 5u);  // width
  EXPECT_EQ(U16(b, 22), 8);   // bits
  EXPECT_EQ(U16(b, 24), 3);   // RGB
  EXPECT_EQ(U32(b, 26), 0u);  // colour mode data
  EXPECT_EQ(U32(b, 30), 0u);  // image resources
  const size_t section = 34;
  const uint32_t sectionLength = U32(b, section);
  // The layer info (even length) is followed by the empty global layer mask info.
  const uint32_t infoLength = U32(b, section + 4);
  EXPECT_EQ(infoLength % 2, 0u);
  EXPECT_EQ(section + 8 + infoLength + 4, section + 4 + sectionLength);
  EXPECT_EQ(U32(b, section + 8 + infoLength), 0u);
  const size_t record = section + 8;
  EXPECT_EQ(int16_t(U16(b, record)), -1);  // layer count: first alpha channel is transparency
  EXPECT_EQ(U32(b, record + 2 + 8), 3u);   // bottom
  EXPECT_EQ(U32(b, record + 2 + 12), 5u);  // right
  EXPECT_EQ(U16(b, record + 18), 4);
  const int16_t ids[] = {0, 1, 2, -1};
  size_t channelData = 0;
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(int16_t(U16(b, record + 20 + size_t(c) * 6)), ids[c]);
    channelData += U32(b, record + 22 + size_t(c) * 6);
  }
  const size_t blend = record + 20 + 24;
  EXPECT_EQ(std::string(b.begin() + long(blend), b.begin() + long(blend) + 8), "8BIMnorm");
  EXPECT_EQ(b[blend + 8], 255);
  EXPECT_EQ(U32(b, blend + 12), 16u);
  EXPECT_EQ(b[blend + 24], 7);
  EXPECT_EQ(std::string(b.begin() + long(blend) + 25, b.begin() + long(blend) + 32), "Layer 0");
  // The channel data fill the layer info, padded to an even length.
  EXPECT_EQ((blend + 32 + channelData + 1) / 2 * 2, section + 8 + infoLength);
  const size_t composite = section + 4 + sectionLength;
  EXPECT_EQ(U16(b, composite), 1);  // RLE

  std::vector<Image> back;
  ASSERT_TRUE(Psd().LoadFromFile(file, back));
  ASSERT_EQ(back[0].Format(), PixelFormat::A8R8G8B8);
  // The sole layer gives the colours back exactly; the merged image holds them matted.
  EXPECT_EQ(testsupport::CompareImages(images[0], back[0]), "");
  // A layer that is not shown as it is (half opacity, hidden) leaves the merged image to read.
  for (const size_t at : {blend + 8, blend + 10}) {
    std::vector<uint8_t> changed = b;
    changed[at] = at == blend + 8 ? 128 : 0x02;
    const auto other = dir / "other.psd";
    testsupport::WriteFileBytes(other, changed);
    std::vector<Image> merged;
    ASSERT_TRUE(Psd().LoadFromFile(other, merged));
    ExpectSameThroughTheMatte(images[0], merged[0]);
    EXPECT_NE(testsupport::CompareImages(images[0], merged[0]), "");
  }

  if (testsupport::HaveTool("convert")) {
    ExpectSameAsImageMagickThroughTheMatte(file, back[0]);
    // The merged image as stored: every colour blended over white by its alpha.
    Image stored, matted;
    ASSERT_TRUE(DecodeMergedWithImageMagick(file, 5, 3, stored, false));
    ASSERT_TRUE(CopyImage(images[0], matted));
    for (int32_t i = 0; i < matted.Size(); ++i) {
      const int alpha = images[0].Bits()[i | 3];
      if ((i & 3) != 3) matted.Bits()[i] = uint8_t((images[0].Bits()[i] * alpha + 255 * (255 - alpha) + 127) / 255);
    }
    EXPECT_EQ(testsupport::CompareImages(matted, stored), "");
    // ImageMagick lists the merged image first and the layer second.
    std::string layerPam;
    ASSERT_EQ(testsupport::RunCommand("convert '" + file.string() + "[1]' -depth 8 rgba:- 2>/dev/null", &layerPam), 0);
    ASSERT_EQ(layerPam.size(), 5u * 3u * 4u);
    for (int i = 0; i < 15; ++i) {
      const uint8_t* ours = images[0].Bits() + i * 4;
      const auto* theirs = reinterpret_cast<const uint8_t*>(layerPam.data()) + i * 4;
      EXPECT_TRUE(ours[2] == theirs[0] && ours[1] == theirs[1] && ours[0] == theirs[2] && ours[3] == theirs[3])
          << "layer pixel " << i;
    }
  }
}

TEST(PsdCodec, WithoutLayerTheLayerSectionIsEmpty) {
  const CodecOptions layerOptions = SaveAsLayer(false);
  std::vector<Image> images;
  MakePattern(4, 4, PixelFormat::R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  ASSERT_TRUE(Psd().SaveToFile(dir / "flat.psd", images, true, layerOptions));
  const std::vector<uint8_t> b = testsupport::ReadFileBytes(dir / "flat.psd");
  EXPECT_EQ(U32(b, 34), 0u);
  EXPECT_EQ(U16(b, 38), 1);
}

TEST(PsdCodec, FloatImagesAreWrittenRawAndWithoutLayer) {
  const CodecOptions layerOptions = SaveAsLayer(true);
  std::vector<Image> images;
  Image& image = images.emplace_back();
  ASSERT_TRUE(CreateImage(3, 2, PixelFormat::A32R32G32B32F, image));
  for (int32_t i = 0; i < 6; ++i)
    SetPixelFP(image, i % 3, i / 3, ColorFP{0.125f * float(i), 0.5f, 1.0f - 0.1f * float(i), 0.25f});
  testsupport::TempDir dir;
  ASSERT_TRUE(Psd().SaveToFile(dir / "float.psd", images, true, layerOptions));
  const std::vector<uint8_t> b = testsupport::ReadFileBytes(dir / "float.psd");
  EXPECT_EQ(U16(b, 22), 32);
  EXPECT_EQ(U32(b, 34), 0u);
  EXPECT_EQ(U16(b, 38), 0);
  EXPECT_EQ(b.size(), 40u + 4u * 6u * 4u);
  std::vector<Image> back;
  ASSERT_TRUE(Psd().LoadFromFile(dir / "float.psd", back));
  EXPECT_EQ(std::memcmp(back[0].Bits(), image.Bits(), size_t(image.Size())), 0);
}

TEST(PsdCodec, EverySavableFormatRoundTripsAndImageMagickAgrees) {
  struct Case {
    PixelFormat format;
    int tolerance;
  };
  const Case cases[] = {
      {PixelFormat::Index8, 0},    {PixelFormat::Gray8, 0},     {PixelFormat::A8Gray8, 0},
      {PixelFormat::Gray16, 1},    {PixelFormat::A16Gray16, 1}, {PixelFormat::R8G8B8, 0},
      {PixelFormat::A8R8G8B8, 0},  {PixelFormat::R16G16B16, 1}, {PixelFormat::A16R16G16B16, 1},
  };
  testsupport::TempDir dir;
  for (bool layer : {true, false}) {
    const CodecOptions layerOptions = SaveAsLayer(layer);
    for (const Case& c : cases) {
      SCOPED_TRACE(GetFormatName(c.format) + (layer ? " with layer" : ""));
      std::vector<Image> images;
      // 200 columns make rows long enough for literal blocks and runs of every length.
      Image& image = images.emplace_back();
      MakePattern(200, 3, c.format, image);
      std::memset(image.Bits() + 40, 0x5A, 300);
      const auto file = dir / "round.psd";
      ASSERT_TRUE(Psd().SaveToFile(file, images, true, layerOptions)) << GetFormatName(c.format);
      std::vector<Image> back;
      ASSERT_TRUE(Psd().LoadFromFile(file, back)) << GetFormatName(c.format);
      ASSERT_EQ(back[0].Format(), c.format);
      // The merged image of a layered file with transparency is matted with white, which is
      // exact only where a pixel is opaque; the library reads the sole layer instead.
      const bool matted = layer && (c.format == PixelFormat::A8R8G8B8 || c.format == PixelFormat::A16R16G16B16);
      EXPECT_EQ(std::memcmp(back[0].Bits(), image.Bits(), size_t(image.Size())), 0) << GetFormatName(c.format);
      if (image.Palette()) {
        EXPECT_EQ(std::memcmp(back[0].Palette(), image.Palette(), 1024), 0);
      }
      // ImageMagick does not read indexed Photoshop files, and without the negative layer count
      // it takes an extra channel for a selection, not for transparency.
      if (testsupport::HaveTool("convert") && c.format != PixelFormat::Index8) {
        if (matted && c.format == PixelFormat::A8R8G8B8)
          ExpectSameAsImageMagickThroughTheMatte(file, back[0]);
        else
          ExpectSameAsImageMagick(file, back[0], c.tolerance + (matted ? 1 : 0), layer);
      }
    }
  }
}

// A transparent picture written with its layer reads back exactly here (from the layer) and in
// psd-tools' layer; psd-tools' and ImageMagick's merged image agree up to the white matte.
TEST(PsdCodec, TransparentImagesReadTheSameInOtherReaders) {
  const CodecOptions layerOptions = SaveAsLayer(true);
  std::vector<Image> images;
  Image& image = images.emplace_back();
  ASSERT_TRUE(CreateImage(97, 61, PixelFormat::A8R8G8B8, image));
  for (int32_t y = 0; y < 61; ++y)
    for (int32_t x = 0; x < 97; ++x) {
      uint8_t* p = image.Bits() + (y * 97 + x) * 4;
      p[0] = uint8_t(x * 2), p[1] = uint8_t(y * 4), p[2] = uint8_t(255 - x), p[3] = uint8_t(y < 10 ? 0 : x * 255 / 96);
    }
  testsupport::TempDir dir;
  const auto file = dir / "transparent.psd";
  ASSERT_TRUE(Psd().SaveToFile(file, images, true, layerOptions));
  std::vector<Image> back;
  ASSERT_TRUE(Psd().LoadFromFile(file, back));
  EXPECT_EQ(testsupport::CompareImages(image, back[0]), "");
  if (testsupport::HaveTool("convert")) ExpectSameAsImageMagickThroughTheMatte(file, back[0]);

  const std::string python = PsdToolsPython();
  if (python.empty()) GTEST_SKIP() << "psd-tools missing";
  Image merged, layerImage;
  ASSERT_TRUE(DecodeWithPsdTools(python, file, "layer", layerImage));
  EXPECT_EQ(testsupport::CompareImages(image, layerImage), "");
  ASSERT_TRUE(DecodeWithPsdTools(python, file, "merged", merged));
  ExpectSameThroughTheMatte(back[0], merged);
}

TEST(PsdCodec, ImagesBeyondThePhotoshopLimitAreRefused) {
  std::vector<Image> images;
  ASSERT_TRUE(CreateImage(30001, 1, PixelFormat::Gray8, images.emplace_back()));
  testsupport::TempDir dir;
  EXPECT_THROW(Psd().SaveToFile(dir / "wide.psd", images, true), ImagingError);
}

TEST(PsdCodec, TheProfileResourceIsFoundAmongOthersAndDamageLosesOnlyIt) {
  std::vector<Image> images;
  MakePattern(6, 4, PixelFormat::R8G8B8, images.emplace_back());
  const std::vector<uint8_t> plain = codectest::SaveBytes("psd", images[0]);
  // An RGB file has no colour mode data, so the resources section starts at offset 30.
  ASSERT_EQ(U32(plain, 26), 0u);
  ASSERT_EQ(U32(plain, 30), 0u);
  // An odd size, so that the data is padded (a profile may have bytes behind its stated size).
  std::vector<uint8_t> profile = testsupport::DisplayP3Profile();
  if (profile.size() % 2 == 0) profile.push_back(0);
  // A resource as Photoshop lays it out; `extra` is added to the data size it declares.
  const auto resource = [](const char* signature, uint16_t id, const std::string& name,
                           const std::vector<uint8_t>& data, uint32_t extra = 0) {
    std::vector<uint8_t> r(signature, signature + 4);
    r.push_back(uint8_t(id >> 8));
    r.push_back(uint8_t(id));
    r.push_back(uint8_t(name.size()));
    r.insert(r.end(), name.begin(), name.end());
    if (r.size() % 2 != 0) r.push_back(0);
    const uint32_t size = uint32_t(data.size()) + extra;
    for (int shift = 24; shift >= 0; shift -= 8) r.push_back(uint8_t(size >> shift));
    r.insert(r.end(), data.begin(), data.end());
    if (r.size() % 2 != 0) r.push_back(0);
    return r;
  };
  const auto withResources = [&](const std::vector<std::vector<uint8_t>>& resources) {
    std::vector<uint8_t> section;
    for (const auto& r : resources) section.insert(section.end(), r.begin(), r.end());
    std::vector<uint8_t> bytes(plain.begin(), plain.begin() + 30);
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(uint8_t(section.size() >> shift));
    bytes.insert(bytes.end(), section.begin(), section.end());
    bytes.insert(bytes.end(), plain.begin() + 34, plain.end());
    return bytes;
  };
  const std::vector<uint8_t> other = resource("8BIM", 1005, "ab", {1, 2, 3, 4, 5});
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> resources;
    bool profile;
    bool warning;
  };
  const Case cases[] = {
      {"after resources with odd names and sizes and another signature",
       {other, resource("MeSa", 1039, "", {1, 2, 3}), resource("8BIM", 1039, "", profile)}, true, false},
      {"a profile past the section", {other, resource("8BIM", 1039, "", profile, 1000)}, false, true},
      {"an empty profile", {resource("8BIM", 1039, "x", {})}, false, true},
      {"not a profile", {resource("8BIM", 1039, "", std::vector<uint8_t>(profile.begin() + 1, profile.end()))},
       false, true},
      {"an earlier resource past the section",
       {resource("8BIM", 1005, "", {1, 2}, 100000), resource("8BIM", 1039, "", profile)}, false, false},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = withResources(c.resources);
    LoadWarnings warnings;
    MemoryStream stream(bytes);
    std::vector<Image> loaded;
    LoadFacts facts;
    ASSERT_TRUE(Psd().LoadFromStream(stream, loaded, true, CurrentOptions(), &facts)) << c.what;
    EXPECT_EQ(testsupport::CompareImages(images[0], loaded[0]), "") << c.what;
    EXPECT_EQ(facts.profile != nullptr, c.profile) << c.what;
    if (c.profile && facts.profile) {
      EXPECT_TRUE(*facts.profile == profile) << c.what;
    }
    EXPECT_EQ(warnings.Texts().size(), c.warning ? 1u : 0u) << c.what;
  }

  // What is written is one resource, padded to an even size, that psd-tools finds.
  const std::string python = PsdToolsPython();
  if (python.empty()) GTEST_SKIP() << "psd-tools missing";
  CodecOptions options = CurrentOptions();
  options.profile = MakeColorProfile(profile);
  MemoryStream out;
  ASSERT_TRUE(SaveImageToStream("psd", out, images[0], options));
  testsupport::TempDir dir;
  const auto file = codectest::WriteTemp(dir, "p3.psd", out.Data());
  std::string extracted;
  ASSERT_EQ(testsupport::RunCommand(python +
                                        " -c 'import sys; from psd_tools import PSDImage; "
                                        "sys.stdout.buffer.write(PSDImage.open(sys.argv[1]).image_resources.get_data(1039))' '" +
                                        file.string() + "'",
                                    &extracted),
            0);
  EXPECT_TRUE(extracted == std::string(profile.begin(), profile.end())) << extracted.size() << " bytes";
}
