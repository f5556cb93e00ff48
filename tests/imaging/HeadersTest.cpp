// Header reads: for every file of the third-party corpus that loads, the header gives the size
// LoadImageFile gives; damaged headers are refused without reading pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "tests/support/TestSupport.h"

namespace {

std::string FormatOf(const std::filesystem::path& path) {
  return engine::IsIconPath(path.string()) ? "ico" : imaging::DetectFileFormat(path.string());
}

TEST(ImageHeaders, AgreeWithTheLoaderOnTheCorpus) {
  VEXILO_REQUIRE_CORPUS();
  const imaging::CodecOptions options = imaging::CurrentOptions();
  int compared = 0, noReader = 0;
  std::vector<std::string> mismatches;
  for (const auto& item : std::filesystem::recursive_directory_iterator(testsupport::CorpusDir())) {
    if (!item.is_regular_file()) continue;
    const std::filesystem::path& path = item.path();
    const std::string format = FormatOf(path);
    if (format.empty()) continue;
    imaging::Image image;
    engine::PhotoFacts facts;
    bool loaded = false;
    try {
      loaded = engine::LoadImageFile(path.string(), image, imaging::CurrentOptions(), &facts);
    } catch (const std::exception&) {
    }
    if (!loaded) continue;
    const int32_t width = image.Width(), height = image.Height();
    image.Reset();
    imaging::ImageHeader header;
    std::string problem;
    try {
      if (!imaging::ReadImageHeader(path.string(), format, options, header)) {
        ++noReader;
        continue;
      }
      if (header.Width != width || header.Height != height)
        problem = "header " + std::to_string(header.Width) + "x" + std::to_string(header.Height) + ", loader " +
                  std::to_string(width) + "x" + std::to_string(height);
      else if (header.Orientation != facts.orientation)
        problem = "header orientation " + std::to_string(header.Orientation) + ", loader " +
                  std::to_string(facts.orientation);
    } catch (const std::exception& e) {
      problem = std::string("header refused: ") + e.what();
    }
    ++compared;
    if (!problem.empty()) mismatches.push_back(path.lexically_relative(testsupport::CorpusDir()).string() + ": " + problem);
  }
  std::string table;
  for (const std::string& m : mismatches) table += "  " + m + "\n";
  EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " of " << compared << " files disagree:\n" << table;
  EXPECT_GT(compared, 800);
  RecordProperty("compared", compared);
  RecordProperty("decoded_without_header_reader", noReader);
}

// The decoder may find only in the pixels that a 16- or 32-bit picture has no alpha, and then
// relabels it (A1R5G5B5 to X1R5G5B5, A8R8G8B8 to X8R8G8B8); a header read, which reads no
// pixels, cannot tell. The two are compared by their layout.
imaging::PixelFormat WithAlphaLayout(imaging::PixelFormat format) {
  if (format == imaging::PixelFormat::X1R5G5B5) return imaging::PixelFormat::A1R5G5B5;
  if (format == imaging::PixelFormat::X8R8G8B8) return imaging::PixelFormat::A8R8G8B8;
  return format;
}

// The header's answer is what the codec's decoder gives first: size, pixel format and
// orientation, for every corpus file of these codecs that decodes (icons are drawn, so they
// are compared by size above). PNG is not among them yet: its header read does not weigh a tRNS
// chunk as the decoder does.
TEST(ImageHeaders, EqualTheDecodersFirstImageOnTheCorpus) {
  VEXILO_REQUIRE_CORPUS();
  const char* const kFormats[] = {"bmp", "jpg", "mng", "jng", "gif", "dds", "tga", "pbm",  "pgm",
                                  "ppm", "pam", "pfm", "jp2", "tif", "psd", "pcx", "webp", "avif", "heic", "jxl"};
  const imaging::CodecOptions options = imaging::CurrentOptions();
  std::map<std::string, int> compared;
  std::vector<std::string> mismatches;
  for (const auto& item : std::filesystem::recursive_directory_iterator(testsupport::CorpusDir())) {
    if (!item.is_regular_file() || engine::IsIconPath(item.path().string())) continue;
    const std::string path = item.path().string();
    const std::string format = imaging::DetectFileFormat(path);
    if (std::find(std::begin(kFormats), std::end(kFormats), format) == std::end(kFormats)) continue;
    std::vector<imaging::Image> images;
    imaging::LoadFacts facts;
    try {
      if (!imaging::FindFormatByExtension(format)->LoadFromFile(path, images, true, options, &facts) ||
          images.empty())
        continue;
    } catch (const std::exception&) {
      continue;
    }
    const imaging::Image& first = images[0];
    const auto describe = [](int32_t w, int32_t h, imaging::PixelFormat f, int32_t o) {
      return std::to_string(w) + "x" + std::to_string(h) + " " + imaging::GetFormatName(f) + " orientation " +
             std::to_string(o);
    };
    std::string problem;
    try {
      imaging::ImageHeader header;
      imaging::ReadImageHeader(path, format, options, header);
      const std::string fromHeader =
          describe(header.Width, header.Height, WithAlphaLayout(header.Format), header.Orientation);
      const std::string fromDecoder =
          describe(first.Width(), first.Height(), WithAlphaLayout(first.Format()), facts.orientation);
      if (fromHeader != fromDecoder) problem = "header " + fromHeader + ", decoder " + fromDecoder;
    } catch (const std::exception& e) {
      problem = std::string("header refused: ") + e.what();
    }
    ++compared[format];
    if (!problem.empty())
      mismatches.push_back(item.path().lexically_relative(testsupport::CorpusDir()).string() + ": " + problem);
  }
  std::string table;
  for (const std::string& m : mismatches) table += "  " + m + "\n";
  EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " files disagree:\n" << table;
  // The families with files in the corpus took part.
  for (const char* format : {"bmp", "jpg", "mng", "jng", "gif", "tga", "pgm", "ppm", "pbm", "jp2", "tif", "psd", "pcx"})
    EXPECT_GT(compared[format], 0) << format;
}

// The native formats the codecs give, as `vexilo-cli info` prints them.
TEST(ImageHeaders, FormatMatchesTheCodecForOwnFiles) {
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    imaging::PixelFormat source;
  };
  const Case cases[] = {{"a.bmp", imaging::PixelFormat::R8G8B8}, {"a.png", imaging::PixelFormat::A8R8G8B8},
                        {"a.jpg", imaging::PixelFormat::Gray8},  {"a.tif", imaging::PixelFormat::Gray16},
                        {"a.tga", imaging::PixelFormat::A8R8G8B8}, {"a.psd", imaging::PixelFormat::R8G8B8},
                        {"a.pgm", imaging::PixelFormat::Gray8},  {"a.jp2", imaging::PixelFormat::R8G8B8},
                        {"a.dds", imaging::PixelFormat::A8R8G8B8}, {"a.gif", imaging::PixelFormat::Index8},
                        {"a.jng", imaging::PixelFormat::R8G8B8},  {"a.mng", imaging::PixelFormat::R8G8B8}};
  for (const Case& c : cases) {
    imaging::Image image;
    ASSERT_TRUE(imaging::CreateImage(37, 21, c.source, image));
    const std::string path = (dir / c.name).string();
    const bool saved = engine::SaveImageFile(path, image);
    image.Reset();
    ASSERT_TRUE(saved) << c.name;
    const std::string format = imaging::DetectFileFormat(path);
    std::vector<imaging::Image> images;
    ASSERT_TRUE(imaging::FindFormatByExtension(format)->LoadFromFile(path, images, true)) << c.name;
    imaging::ImageHeader header;
    ASSERT_TRUE(imaging::ReadImageHeader(path, format, imaging::CurrentOptions(), header)) << c.name;
    EXPECT_EQ(header.Width, 37) << c.name;
    EXPECT_EQ(header.Height, 21) << c.name;
    EXPECT_EQ(imaging::GetFormatName(header.Format), imaging::GetFormatName(images[0].Format())) << c.name;
  }
}

std::vector<uint8_t> Le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
std::vector<uint8_t> Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
std::vector<uint8_t> Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
std::vector<uint8_t> Text(const std::string& t) { return {t.begin(), t.end()}; }
std::vector<uint8_t> Zeros(size_t n) { return std::vector<uint8_t>(n, 0); }

// A 24-bit bitmap; its pixel bytes are there only for a small picture.
std::vector<uint8_t> Bmp(int32_t width, int32_t height) {
  const int64_t pixels = int64_t(width) * (height < 0 ? -height : height);
  const size_t data = pixels <= 64 ? size_t((width * 3 + 3) / 4 * 4 * (height < 0 ? -height : height)) : 4;
  return Cat({Text("BM"), Le32(uint32_t(54 + data)), Le32(0), Le32(54), Le32(40), Le32(uint32_t(width)),
              Le32(uint32_t(height)), Le16(1), Le16(24), Zeros(24), Zeros(data)});
}
std::vector<uint8_t> Png(uint32_t width, uint32_t height) {
  return Cat({{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, Be32(13), Text("IHDR"), Be32(width), Be32(height),
              {8, 2, 0, 0, 0}, Be32(0), Be32(0), Text("IEND"), Be32(0)});
}
std::vector<uint8_t> Jpeg(uint16_t width, uint16_t height, uint8_t components) {
  std::vector<uint8_t> sof = {0xFF, 0xC0, 0, uint8_t(8 + 3 * components), 8, uint8_t(height >> 8), uint8_t(height),
                              uint8_t(width >> 8), uint8_t(width), components};
  for (int i = 0; i < components; ++i) sof.insert(sof.end(), {uint8_t(i + 1), 0x11, 0});
  return Cat({{0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0}, sof, {0xFF, 0xD9}});
}
std::vector<uint8_t> Gif(uint16_t width, uint16_t height) {
  return Cat({Text("GIF89a"), Le16(width), Le16(height), {0, 0, 0}, {0x2C}, Le16(0), Le16(0), Le16(width),
              Le16(height), {0, 2, 2, 0x4C, 0x01, 0, 0x3B}});
}
std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(std::min(bytes.size(), size));
  return bytes;
}

TEST(ImageHeaders, DamagedHeadersAreRefused) {
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    const char* format;
    std::vector<uint8_t> bytes;
    int32_t width;  // 0: refused
    int32_t height;
  };
  const std::vector<Case> cases = {
      {"bmp good", "bmp", Bmp(3, -2), 3, 2},
      {"bmp truncated header", "bmp", Cut(Bmp(3, 2), 20), 0, 0},
      {"bmp zero width", "bmp", Bmp(0, 2), 0, 0},
      {"bmp huge", "bmp", Bmp(100000, 100000), 0, 0},
      {"bmp pixels missing", "bmp", Bmp(1000, 1000), 0, 0},
      {"png good", "png", Png(5, 7), 5, 7},
      {"png zero height", "png", Png(5, 0), 0, 0},
      {"png huge", "png", Png(0x7FFFFFFF, 0x7FFFFFFF), 0, 0},
      {"png 65536 wide", "png", Png(65536, 1), 0, 0},
      {"png truncated IHDR", "png", Cut(Png(5, 7), 20), 0, 0},
      {"jpeg good", "jpg", Jpeg(640, 480, 3), 640, 480},
      {"jpeg gray", "jpg", Jpeg(9, 4, 1), 9, 4},
      {"jpeg two components", "jpg", Jpeg(9, 4, 2), 0, 0},
      {"jpeg zero height", "jpg", Jpeg(9, 0, 3), 0, 0},
      {"jpeg truncated", "jpg", Cut(Jpeg(9, 4, 3), 12), 0, 0},
      {"jpeg segment past end", "jpg", {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 1, 2}, 0, 0},
      {"gif good", "gif", Gif(11, 3), 11, 3},
      {"gif zero screen", "gif", Gif(0, 0), 0, 0},
      {"gif no image", "gif", Cut(Gif(11, 3), 13), 0, 0},
      {"psd truncated", "psd", Cat({Text("8BPS"), Le16(1)}), 0, 0},
      {"tga truncated", "tga", Zeros(10), 0, 0},
      {"pcx truncated", "pcx", {10, 5, 1, 8}, 0, 0},
      {"dds truncated", "dds", Text("DDS "), 0, 0},
      {"pgm good", "pgm", Text("P5 12 13 255\n"), 12, 13},
      {"pgm huge", "pgm", Text("P5 70000 70000 255\n"), 0, 0},
      {"pgm no size", "pgm", Text("P5\n"), 0, 0},
      {"jp2 truncated", "jp2", {0xFF, 0x4F, 0xFF, 0x51, 0, 41}, 0, 0},
      {"tiff truncated", "tif", {'I', 'I', 42, 0, 8, 0, 0, 0}, 0, 0},
      {"icon no entries", "ico", Cat({Le16(0), Le16(1), Le16(0)}), 0, 0},
      {"icon entry past end", "ico", Cat({Le16(0), Le16(1), Le16(1), {16, 16, 0, 0}, Le16(1), Le16(32),
                                          Le32(1000), Le32(22)}), 0, 0},
      {"empty file", "png", {}, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string path = (dir / "file").string();
    testsupport::WriteFileBytes(path, c.bytes);
    imaging::ImageHeader header;
    bool read = false;
    std::string error;
    try {
      read = imaging::ReadImageHeader(path, c.format, imaging::CurrentOptions(), header);
    } catch (const imaging::ImagingError& e) {
      error = e.what();
    }
    if (c.width == 0) {
      EXPECT_FALSE(error.empty()) << c.name << " read as " << header.Width << "x" << header.Height;
    } else {
      EXPECT_TRUE(read && error.empty()) << c.name << ": " << error;
      EXPECT_EQ(header.Width, c.width) << c.name;
      EXPECT_EQ(header.Height, c.height) << c.name;
    }
  }
  imaging::ImageHeader header;
  EXPECT_THROW(imaging::ReadImageHeader((dir / "missing.png").string(), "png", {}, header), imaging::ImagingError);
  EXPECT_FALSE(imaging::ReadImageHeader((dir / "file").string(), "xpm", {}, header));  // decoded instead
}

// An APP1 segment holding "Exif" 00 00 and a little-endian TIFF block whose IFD0 holds only
// the Orientation tag.
std::vector<uint8_t> ExifSegment(uint16_t orientation, const char* identifier = "Exif") {
  const std::vector<uint8_t> data = Cat({Text(identifier), {0, 0}, Text("II"), Le16(42), Le32(8), Le16(1), Le16(274),
                                         Le16(3), Le32(1), Le16(orientation), Le16(0), Le32(0)});
  return Cat({{0xFF, 0xE1, uint8_t((data.size() + 2) >> 8), uint8_t(data.size() + 2)}, data});
}

TEST(ImageHeaders, AJpegHeaderTellsTheOrientationOfItsFirstExifSegment) {
  testsupport::TempDir dir;
  const std::vector<uint8_t> jpeg = Jpeg(8, 4, 3);
  const auto with = [&](std::initializer_list<std::vector<uint8_t>> segments) {
    std::vector<uint8_t> bytes(jpeg.begin(), jpeg.begin() + 2);
    for (const auto& s : segments) bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.insert(bytes.end(), jpeg.begin() + 2, jpeg.end());
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t orientation;
  };
  const Case cases[] = {
      {"none", jpeg, 1},
      {"turned clockwise", with({ExifSegment(6)}), 6},
      {"the first of two", with({ExifSegment(3), ExifSegment(6)}), 3},
      {"after another APP1", with({ExifSegment(6, "Exig"), ExifSegment(8)}), 8},
      {"out of range", with({ExifSegment(12)}), 1},
  };
  for (const Case& c : cases) {
    const std::string path = (dir / "file.jpg").string();
    testsupport::WriteFileBytes(path, c.bytes);
    imaging::ImageHeader header;
    ASSERT_TRUE(imaging::ReadImageHeader(path, "jpg", imaging::CurrentOptions(), header)) << c.name;
    EXPECT_EQ(header.Width, 8) << c.name;
    EXPECT_EQ(header.Orientation, c.orientation) << c.name;
  }
}

}  // namespace
