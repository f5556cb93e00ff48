#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <sstream>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"
#include "imaging/formats/Jpeg2000.h"

using namespace imaging;
using namespace imaging::formats;

namespace {

const Codec& Jp2() { return *FindFormatByExtension("jp2"); }

// The options of a save as code stream or JP2 file.
CodecOptions Jpeg2000Save(bool codeStream, bool lossless = false) {
  CodecOptions options = CurrentOptions();
  options.jpeg2000.codeStreamOnly = codeStream;
  options.jpeg2000.lossless = lossless;
  return options;
}

// One component as the conformance suite and OpenJPEG's tools store it.
struct Pgx {
  int Depth = 0;
  bool Signed = false;
  int Width = 0, Height = 0;
  std::vector<int32_t> Samples;
};

bool ReadPgx(const std::filesystem::path& file, Pgx& pgx) {
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(file);
  const auto newline = std::find(bytes.begin(), bytes.end(), uint8_t('\n'));
  if (newline == bytes.end()) return false;
  std::istringstream header(std::string(bytes.begin(), newline));
  std::string magic, order, depth;
  header >> magic >> order >> depth;
  if (depth == "+" || depth == "-") {
    pgx.Signed = depth == "-";
    header >> depth;
  } else if (depth[0] == '+' || depth[0] == '-') {
    pgx.Signed = depth[0] == '-';
    depth = depth.substr(1);
  }
  pgx.Depth = std::stoi(depth);
  header >> pgx.Width >> pgx.Height;
  const size_t bytesPerSample = pgx.Depth <= 8 ? 1 : 2;
  const uint8_t* p = &*newline + 1;
  if (size_t(bytes.end() - newline - 1) < size_t(pgx.Width) * size_t(pgx.Height) * bytesPerSample) return false;
  for (int i = 0; i < pgx.Width * pgx.Height; ++i, p += bytesPerSample) {
    uint32_t v = bytesPerSample == 1 ? p[0] : (order == "ML" ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
    int32_t s = int32_t(v);
    if (pgx.Signed && (v & (1u << (bytesPerSample * 8 - 1)))) s = int32_t(v) - (1 << (bytesPerSample * 8));
    pgx.Samples.push_back(s);
  }
  return true;
}

// A PGM/PPM (P5, P6) file with 8-bit samples; comment lines are skipped.
bool ReadPnm(const std::filesystem::path& file, int& width, int& height, int& channels, std::vector<uint8_t>& data) {
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(file);
  size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < bytes.size()) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (std::isspace(bytes[at])) {
        if (!t.empty()) break;
        ++at;
      } else {
        t += char(bytes[at++]);
      }
    }
    return t;
  };
  const std::string magic = token();
  width = std::stoi(token());
  height = std::stoi(token());
  const int maxValue = std::stoi(token());
  if ((magic != "P5" && magic != "P6") || maxValue != 255) return false;
  channels = magic == "P5" ? 1 : 3;
  data.assign(bytes.begin() + long(at) + 1, bytes.end());
  return data.size() == size_t(width) * size_t(height) * size_t(channels);
}

// The library value of a raw sample: shifted to unsigned and stretched to the channel's range.
uint64_t Expected(int32_t raw, int depth, bool isSigned, int bits) {
  const int64_t max = (int64_t(1) << depth) - 1;
  const int64_t v = std::clamp<int64_t>(int64_t(raw) + (isSigned ? int64_t(1) << (depth - 1) : 0), 0, max);
  const int64_t full = bits == 32 ? int64_t(0xFFFFFFFF) : (int64_t(1) << bits) - 1;
  return uint64_t((v * full + max / 2) / max);
}

uint64_t SampleAt(const Image& image, int x, int y, int position) {
  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  const int bytes = info.BytesPerPixel / info.ChannelCount;
  const uint8_t* p = image.Bits() + (int64_t(y) * image.Width() + x) * info.BytesPerPixel + position * bytes;
  uint64_t v = 0;
  std::memcpy(&v, p, size_t(bytes));
  return v;
}

// Channel position of component c: red first in the file, blue first in the library, alpha last.
int PositionOf(int component, const Image& image) {
  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  const int n = info.ChannelCount;
  if (info.HasAlphaChannel) return component == n - 1 ? n - 1 : n - component - 2;
  return n - component - 1;
}

// Compares every component of the image with its PGX file, sample by sample at each sample's
// place on the reference grid (a subsampled sample covers dx x dy pixels of the image).
void ExpectComponentsMatch(const Image& image, const std::vector<std::filesystem::path>& components, int x0,
                           int y0, const std::string& what) {
  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  ASSERT_EQ(int(components.size()), info.ChannelCount) << what;
  const int bits = info.BytesPerPixel / info.ChannelCount * 8;
  for (size_t comp = 0; comp < components.size(); ++comp) {
    if (components[comp].empty()) continue;
    Pgx pgx;
    ASSERT_TRUE(ReadPgx(components[comp], pgx)) << components[comp];
    const int dx = (image.Width() + pgx.Width / 2) / pgx.Width, dy = (image.Height() + pgx.Height / 2) / pgx.Height;
    const int cx0 = (x0 + dx - 1) / dx, cy0 = (y0 + dy - 1) / dy;
    int mismatches = 0, checked = 0;
    for (int j = 0; j < pgx.Height; ++j)
      for (int i = 0; i < pgx.Width; ++i) {
        const int x = (cx0 + i) * dx - x0, y = (cy0 + j) * dy - y0;
        if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) continue;
        ++checked;
        const uint64_t expected = Expected(pgx.Samples[size_t(j * pgx.Width + i)], pgx.Depth, pgx.Signed, bits);
        if (SampleAt(image, x, y, PositionOf(int(comp), image)) != expected && ++mismatches < 4)
          ADD_FAILURE() << what << " component " << comp << " sample " << i << "," << j;
      }
    EXPECT_EQ(mismatches, 0) << what << " component " << comp;
    EXPECT_GT(checked, 0) << what << " component " << comp;
  }
}

// The components OpenJPEG's own decoder gives for a file, as PGX files in `dir`.
std::vector<std::filesystem::path> DecodeWithOpenJpeg(const std::filesystem::path& file,
                                                      const std::filesystem::path& dir, int components) {
  const auto pgx = dir / "component.pgx";
  if (testsupport::RunCommand("opj_decompress -quiet -i '" + file.string() + "' -o '" + pgx.string() +
                              "' >/dev/null 2>&1") != 0)
    return {};
  std::vector<std::filesystem::path> files;
  for (int c = 0; c < components; ++c) files.push_back(dir / ("component_" + std::to_string(c) + ".pgx"));
  return files;
}

void MakePattern(int32_t width, int32_t height, PixelFormat format, Image& image) {
  ASSERT_TRUE(CreateImage(width, height, format, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      SetPixel32(image, x, y,
                 MakeColor32(uint8_t(128 + x - y), uint8_t(x * 4), uint8_t(y * 6), uint8_t((x * y) & 0xFF)));
}

}  // namespace

TEST(Jpeg2000Codec, ConformanceStreamsMatchTheirReferenceComponents) {
  VEXILO_REQUIRE_CORPUS();
  struct Case {
    const char* name;
    int components;
    int x0, y0;         // image origin on the reference grid
    bool openJpegOnly;  // lossy streams where OpenJPEG stays within the suite's error bounds only
  };
  const Case cases[] = {
      {"p0_01", 1, 0, 0, false}, {"p0_02", 1, 0, 0, false},   {"p0_03", 1, 0, 0, false},
      {"p0_06", 4, 0, 0, true},  {"p0_09", 1, 0, 0, false},   {"p0_10", 3, 0, 0, false},
      {"p0_11", 1, 0, 0, false}, {"p0_12", 1, 0, 0, false},   {"p0_14", 3, 0, 0, false},
      {"p0_15", 1, 0, 0, false}, {"p0_16", 1, 0, 0, false},   {"p1_01", 1, 5, 128, false},
      {"p1_06", 3, 0, 0, true},  {"p1_07", 2, 4, 0, false},
  };
  const auto suite = testsupport::CorpusFile("jpeg2000-conformance");
  const bool haveOpenJpeg = testsupport::HaveTool("opj_decompress");
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    const auto file = suite / (std::string(c.name) + ".j2k");
    std::vector<Image> images;
    ASSERT_TRUE(Jp2().LoadFromFile(file, images)) << c.name;
    std::vector<std::filesystem::path> references;
    if (c.openJpegOnly) {
      if (!haveOpenJpeg) continue;
      references = DecodeWithOpenJpeg(file, dir.Path(), c.components);
      ASSERT_FALSE(references.empty()) << c.name;
    } else {
      for (int comp = 0; comp < c.components; ++comp) {
        const auto pgx = suite / "reference" / ("c1" + std::string(c.name) + "_" + std::to_string(comp) + ".pgx");
        // The suite's copy lacks a few large references.
        references.push_back(std::filesystem::exists(pgx) ? pgx : std::filesystem::path());
      }
    }
    ExpectComponentsMatch(images[0], references, c.x0, c.y0, c.name);
  }
  // 257 components are more than any library format holds.
  std::vector<Image> images;
  EXPECT_FALSE(Jp2().LoadFromFile(suite / "p0_13.j2k", images));
}

TEST(Jpeg2000Codec, MonochromeConformanceStreamsMatchTheirReferences) {
  VEXILO_REQUIRE_CORPUS();
  const auto dir = testsupport::CorpusFile("jpeg2000-conformance");
  for (const char* name : {"a1_mono", "a3_mono", "a5_mono", "b1_mono", "b3_mono", "c1_mono", "c2_mono", "f1_mono",
                           "f2_mono"}) {
    std::vector<Image> images;
    ASSERT_TRUE(Jp2().LoadFromFile(dir / (std::string(name) + ".j2c"), images)) << name;
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> reference;
    ASSERT_TRUE(ReadPnm(dir / "reference" / (std::string(name) + ".ppm"), width, height, channels, reference));
    ASSERT_EQ(images[0].Format(), PixelFormat::Gray8) << name;
    ASSERT_EQ(images[0].Width(), width);
    ASSERT_EQ(images[0].Height(), height);
    int mismatches = 0;
    for (int i = 0; i < width * height; ++i) mismatches += images[0].Bits()[i] != reference[size_t(i * channels)];
    EXPECT_EQ(mismatches, 0) << name;
  }
}

TEST(Jpeg2000Codec, Jp2FilesMatchOpenJpegsDecoder) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("opj_decompress")) GTEST_SKIP() << "OpenJPEG tools missing";
  struct Case {
    const char* file;
    PixelFormat format;
    int width = 0;  // checked when given
  };
  const Case cases[] = {
      // One component sampled every 13th column of 76: the picture has the component's 6
      // columns, as OpenJPEG writes it.
      {"00r0_gray_l.jp2", PixelFormat::Gray8, 6},
      // Gray sampled every 129th column beside full-size alpha: spread over the 32-column grid.
      {"00r1_graya_la.jp2", PixelFormat::A8Gray8, 32},
      {"16bit.cropped.jp2", PixelFormat::Gray16},
      {"16bit.cropped.j2k", PixelFormat::Gray16},
      {"9bit.j2k", PixelFormat::Gray16},
      {"rgb_trns_ycbc.jp2", PixelFormat::A8R8G8B8},
      {"rgb_trns_ycbc.j2k", PixelFormat::A8R8G8B8},
      {"test-card-lossless.jp2", PixelFormat::R8G8B8},
      {"test-card-lossy-tiled.jp2", PixelFormat::R8G8B8},
      {"comment.jp2", PixelFormat::Gray8},
      {"zero_dpi.jp2", PixelFormat::R8G8B8},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    const auto file = testsupport::CorpusFile(std::string("pillow-tests/") + c.file);
    std::vector<Image> images;
    ASSERT_TRUE(Jp2().LoadFromFile(file, images)) << c.file;
    ASSERT_EQ(images[0].Format(), c.format) << c.file;
    if (c.width) {
      EXPECT_EQ(images[0].Width(), c.width) << c.file;
    }
    const auto references = DecodeWithOpenJpeg(file, dir.Path(), FindFormatInfo(c.format)->ChannelCount);
    ASSERT_FALSE(references.empty()) << c.file;
    ExpectComponentsMatch(images[0], references, 0, 0, c.file);
  }
}

TEST(Jpeg2000Codec, SubsampledYccBecomesRgbAsOpenJpegDecodesIt) {
  if (!testsupport::HaveTool("opj_decompress")) GTEST_SKIP() << "OpenJPEG tools missing";
  testsupport::TempDir dir;
  for (const char* name : {"ycc420.jp2", "ycc420.j2k"}) {
    const auto file = testsupport::TestDataDir() / "jpeg2000" / name;
    std::vector<Image> images;
    ASSERT_TRUE(Jp2().LoadFromFile(file, images)) << name;
    ASSERT_EQ(images[0].Format(), PixelFormat::R8G8B8);
    const auto ppm = dir / "reference.ppm";
    ASSERT_EQ(testsupport::RunCommand("opj_decompress -quiet -i '" + file.string() + "' -o '" + ppm.string() +
                                      "' >/dev/null 2>&1"),
              0);
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> reference;
    ASSERT_TRUE(ReadPnm(ppm, width, height, channels, reference));
    ASSERT_EQ(width, images[0].Width());
    ASSERT_EQ(height, images[0].Height());
    int worst = 0;
    for (int i = 0; i < width * height; ++i)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(images[0].Bits()[i * 3 + 2 - c]) - int(reference[size_t(i * 3 + c)])));
    // OpenJPEG's tool truncates the converted values; the library rounds them.
    EXPECT_LE(worst, 1) << name;
  }
}

TEST(Jpeg2000Codec, BrokenFilesAreRefusedCleanlyAndSilently) {
  VEXILO_REQUIRE_CORPUS();
  const char* files[] = {
      "crash-4fb027452e6988530aa5dabee76eecacb3b79f8a.j2k", "crash-7d4c83eb92150fb8f1653a697703ae06ae7c4998.j2k",
      "crash-ccca68ff40171fdae983d924e127a721cab2bd50.j2k", "crash-d2c93af851d3ab9a19e34503626368b2ecde9c03.j2k",
      "not_enough_data.jp2", "invalid_header_length.jp2", "unbound_variable.jp2", "zero_height.j2k",
      "unknown_mode.j2k", "issue_6194.j2k", "expected_to_read.jp2", "balloon_eciRGBv2_aware.jp2",
  };
  for (const char* f : files) {
    std::vector<Image> images;
    testing::internal::CaptureStderr();
    try {
      if (Jp2().LoadFromFile(testsupport::CorpusFile(std::string("pillow-tests/") + f), images)) {
        EXPECT_TRUE(AreImagesValid(images)) << f;
      }
    } catch (const ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find("JPEG 2000: "), std::string::npos) << e.what();
      EXPECT_TRUE(images.empty()) << f;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << f;
  }

  // A code stream whose size marker announces more than its few bytes can hold.
  std::vector<uint8_t> stream =
      testsupport::ReadFileBytes(testsupport::CorpusFile("jpeg2000-conformance/p0_01.j2k"));
  struct Case {
    const char* name;
    std::vector<std::pair<size_t, uint32_t>> fields;  // 32-bit SIZ fields by file offset
    const char* message;
  };
  const Case cases[] = {
      {"beyond the side limit", {{8, 70000}, {12, 10}}, "exceed"},
      {"small file, huge image", {{8, 16000}, {12, 16000}, {24, 16000}, {28, 16000}}, "cannot come from a file"},
      // 255 x 255 tiles of one pixel: OpenJPEG would set up every one of them.
      {"small file, many tiles", {{8, 255}, {12, 255}, {24, 1}, {28, 1}}, "tiles cannot come from a file"},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = stream;
    for (const auto& [offset, value] : c.fields)
      for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = uint8_t(value >> (24 - 8 * i));
    testsupport::WriteFileBytes(dir / "siz.j2k", bytes);
    std::vector<Image> images;
    try {
      Jp2().LoadFromFile(dir / "siz.j2k", images);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
    }
  }
  // A code stream cut short in its packets.
  std::vector<uint8_t> cut(stream.begin(), stream.begin() + long(stream.size() / 3));
  testsupport::WriteFileBytes(dir / "cut.j2k", cut);
  std::vector<Image> images;
  try {
    if (Jp2().LoadFromFile(dir / "cut.j2k", images)) {
      EXPECT_TRUE(AreImagesValid(images));
    }
  } catch (const ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("JPEG 2000: "), std::string::npos) << e.what();
  }
}

TEST(Jpeg2000Codec, WritesJp2UnlessCodeStreamOnlyIsSet) {
  std::vector<Image> images;
  MakePattern(40, 30, PixelFormat::A8R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  // The container follows the option, never the name.
  ASSERT_TRUE(Jp2().SaveToFile(dir / "out.j2k", images, true));
  std::vector<uint8_t> b = testsupport::ReadFileBytes(dir / "out.j2k");
  ASSERT_GE(b.size(), 8u);
  EXPECT_EQ(std::memcmp(b.data(), jp2::kJP2Signature, 8), 0);
  EXPECT_NE(std::string(b.begin(), b.end()).find("cdef"), std::string::npos) << "alpha needs a channel definition";

  // The registry's codec takes the switch from the options of the save, also for a .jp2 name.
  ASSERT_TRUE(Jp2().SaveToFile(dir / "out.jp2", images, true, Jpeg2000Save(true)));
  b = testsupport::ReadFileBytes(dir / "out.jp2");
  ASSERT_GE(b.size(), 4u);
  EXPECT_EQ(std::memcmp(b.data(), jp2::kCodeStreamSignature, 4), 0);
  EXPECT_EQ(std::string(b.begin(), b.end()).find("jP  "), std::string::npos) << "no signature box";

  for (const char* name : {"out.j2k", "out.jp2"}) {
    std::vector<Image> back;
    ASSERT_TRUE(Jp2().LoadFromFile(dir / name, back)) << name;
    EXPECT_EQ(back[0].Format(), PixelFormat::A8R8G8B8) << name;
  }
}

TEST(Jpeg2000Codec, LosslessFilesDecodeExactlyWithOpenJpeg) {
  const PixelFormat formats[] = {PixelFormat::Gray8,    PixelFormat::A8Gray8,      PixelFormat::Gray16,
                                 PixelFormat::A16Gray16, PixelFormat::R8G8B8,      PixelFormat::A8R8G8B8,
                                 PixelFormat::R16G16B16, PixelFormat::A16R16G16B16};
  testsupport::TempDir dir;
  for (int codeStream : {0, 1}) {
    const CodecOptions options = Jpeg2000Save(codeStream, true);
    for (PixelFormat format : formats) {
      std::vector<Image> images;
      // Seven rows: too few for six resolution levels, so the encoder must take fewer.
      MakePattern(33, 7, format, images.emplace_back());
      const Image& image = images[0];
      const auto file = dir / (codeStream ? "lossless.j2k" : "lossless.jp2");
      ASSERT_TRUE(Jp2().SaveToFile(file, images, true, options)) << GetFormatName(format);
      std::vector<Image> back;
      ASSERT_TRUE(Jp2().LoadFromFile(file, back));
      ASSERT_EQ(back[0].Format(), format);
      EXPECT_EQ(std::memcmp(back[0].Bits(), image.Bits(), size_t(image.Size())), 0) << GetFormatName(format);

      if (!testsupport::HaveTool("opj_decompress")) continue;
      const auto pgx = dir / "component.pgx";
      ASSERT_EQ(testsupport::RunCommand("opj_decompress -quiet -i '" + file.string() + "' -o '" + pgx.string() +
                                        "' >/dev/null 2>&1"),
                0)
          << GetFormatName(format);
      const PixelFormatInfo& info = *FindFormatInfo(format);
      for (int comp = 0; comp < info.ChannelCount; ++comp) {
        Pgx decoded;
        ASSERT_TRUE(ReadPgx(dir / ("component_" + std::to_string(comp) + ".pgx"), decoded));
        ASSERT_EQ(decoded.Width, image.Width());
        int mismatches = 0;
        for (int i = 0; i < image.Width() * image.Height(); ++i)
          mismatches += uint64_t(decoded.Samples[size_t(i)]) !=
                        SampleAt(image, i % image.Width(), i / image.Width(), PositionOf(comp, image));
        EXPECT_EQ(mismatches, 0) << GetFormatName(format) << " component " << comp;
      }
    }
  }
}

TEST(Jpeg2000Codec, QualityDecidesTheRate) {
  // The rule's own example: quality 80, 1000 x 1000 pixels of four bytes.
  const float expected = 4000000.0f / (4000000.0f * 100.0f / 1225.0f + 550.0f + 426.0f);
  EXPECT_FLOAT_EQ(jp2::CompressionRate(1000, 1000, 4, 4, 80), expected);

  std::vector<Image> images;
  MakePattern(96, 64, PixelFormat::R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  std::vector<size_t> sizes;
  std::vector<double> errors;
  CodecOptions options = CurrentOptions();
  for (int quality : {10, 50, 95}) {
    options.jpeg2000.quality = quality;
    ASSERT_TRUE(Jp2().SaveToFile(dir / "q.jp2", images, true, options));
    sizes.push_back(testsupport::ReadFileBytes(dir / "q.jp2").size());
    std::vector<Image> back;
    ASSERT_TRUE(Jp2().LoadFromFile(dir / "q.jp2", back));
    double error = 0;
    for (int32_t i = 0; i < images[0].Size(); ++i) error += std::abs(int(back[0].Bits()[i]) - int(images[0].Bits()[i]));
    errors.push_back(error / images[0].Size());
  }
  EXPECT_LT(sizes[0], sizes[1]);
  EXPECT_LT(sizes[1], sizes[2]);
  EXPECT_GT(errors[0], errors[1]);
  EXPECT_GT(errors[1], errors[2]);
  EXPECT_LT(errors[2], 2.0);

  // Out-of-range qualities become 80 for the save; the value set stays as it was.
  PushOptions();
  SetOption(option::kJpeg2000Quality, 80);
  ASSERT_TRUE(Jp2().SaveToFile(dir / "q.jp2", images, true));
  const std::vector<uint8_t> at80 = testsupport::ReadFileBytes(dir / "q.jp2");
  for (int quality : {0, 101}) {
    SetOption(option::kJpeg2000Quality, quality);
    ASSERT_TRUE(Jp2().SaveToFile(dir / "q.jp2", images, true));
    EXPECT_TRUE(testsupport::ReadFileBytes(dir / "q.jp2") == at80) << quality;
    EXPECT_EQ(GetOption(option::kJpeg2000Quality), quality);
  }
  PopOptions();
}

TEST(Jpeg2000Codec, TheProfileGoesIntoTheColourBoxOfJp2FilesOnly) {
  const std::vector<uint8_t> profile = testsupport::DisplayP3Profile();
  std::vector<Image> images;
  MakePattern(40, 30, PixelFormat::A8R8G8B8, images.emplace_back());
  for (int codeStream : {0, 1}) {
    CodecOptions options = Jpeg2000Save(codeStream, true);
    options.profile = MakeColorProfile(profile);
    MemoryStream stream;
    ASSERT_TRUE(Jp2().SaveToStream(stream, images, true, options));
    const std::vector<uint8_t> bytes = stream.Data();
    const std::string text(bytes.begin(), bytes.end());
    if (!codeStream) {
      // One colour box, method 2 and the profile; the channel definition still marks the alpha.
      const size_t colr = text.find("colr");
      ASSERT_NE(colr, std::string::npos);
      EXPECT_EQ(text.find("colr", colr + 1), std::string::npos);
      EXPECT_EQ(bytes[colr + 4], 2);
      EXPECT_EQ(text.compare(colr + 7, profile.size(), std::string(profile.begin(), profile.end())), 0);
      EXPECT_NE(text.find("cdef"), std::string::npos);
    }
    MemoryStream input(bytes);
    std::vector<Image> back;
    LoadFacts facts;
    ASSERT_TRUE(Jp2().LoadFromStream(input, back, true, CurrentOptions(), &facts)) << codeStream;
    ASSERT_EQ(back[0].Format(), PixelFormat::A8R8G8B8);
    EXPECT_EQ(std::memcmp(back[0].Bits(), images[0].Bits(), size_t(images[0].Size())), 0) << codeStream;
    EXPECT_EQ(facts.profile != nullptr, codeStream == 0);
  }
}
