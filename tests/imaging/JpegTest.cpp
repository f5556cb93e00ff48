#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "tests/imaging/CodecTestSupport.h"
#include "imaging/PixelFormats.h"
#include "imaging/formats/Jpeg.h"

using namespace imaging;
using namespace imaging::formats;
using namespace codectest;
namespace fs = std::filesystem;

namespace {

// Decodes with libjpeg-turbo's djpeg into Gray8 or R8G8B8; false when djpeg gives nothing.
bool DecodeWithDjpeg(const fs::path& path, Image& image) {
  std::string pnm;
  testsupport::RunCommand("timeout 20 djpeg -pnm '" + path.string() + "' 2>/dev/null", &pnm);
  return !pnm.empty() && ReadPnm(pnm, image);
}

std::vector<fs::path> CorpusJpegs(const std::string& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(testsupport::CorpusFile(folder))) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".jpg" || ext == ".jpeg") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string WritePpm(const testsupport::TempDir& dir, const Image& image) {
  std::string data = "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n";
  for (int32_t i = 0; i < image.Width() * image.Height(); ++i) {
    const uint8_t* p = image.Bits() + i * 3;
    data += char(p[2]);
    data += char(p[1]);
    data += char(p[0]);
  }
  const fs::path path = dir / "source.ppm";
  testsupport::WriteFileBytes(path, std::vector<uint8_t>(data.begin(), data.end()));
  return path.string();
}

std::string JpegMessage(int code) {
  jpeg_error_mgr err;
  jpeg_std_error(&err);
  return "JPEG Error: " + std::to_string(code) + " (" + err.jpeg_message_table[code] + ")";
}

}  // namespace

// ---- Reading --------------------------------------------------------------------------------

TEST(JpegCodec, CorpusFilesDecodeLikeDjpeg) {
  VEXILO_REQUIRE_CORPUS();
  std::vector<fs::path> files = CorpusJpegs("exif-samples/jpg");
  for (const fs::path& p : CorpusJpegs("image-rs-tests")) files.push_back(p);
  for (const fs::path& p : CorpusJpegs("imagetestsuite/jpg")) files.push_back(p);
  ASSERT_GT(files.size(), 100u);
  int compared = 0;
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.string());
    std::vector<Image> ours;
    std::string error;
    if (!LoadFile("jpg", path, ours, &error)) {
      EXPECT_NE(error.find("Error while loading images from file"), std::string::npos) << error;
      continue;
    }
    // djpeg cannot write CMYK as a portable map; those are checked on their own below.
    if (ours[0].Format() == PixelFormat::A8R8G8B8) continue;
    Image expected;
    if (DecodeWithDjpeg(path, expected)) {
      EXPECT_EQ(ours[0].Format(), expected.Format());
      EXPECT_EQ(ComparePixels64(expected, ours[0]), "");
      ++compared;
    }
  }
  EXPECT_GE(compared, 50);
}

TEST(JpegCodec, GrayProgressiveAndTruncatedFilesDecodeLikeDjpeg) {
  if (!testsupport::HaveTool("cjpeg") || !testsupport::HaveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg missing";
  testsupport::TempDir dir;
  Image picture;
  MakePicture(123, 77, PixelFormat::R8G8B8, picture);
  const std::string ppm = WritePpm(dir, picture);
  picture.Reset();
  const struct {
    const char* name;
    const char* options;
    PixelFormat format;
  } cases[] = {{"baseline", "-quality 85", PixelFormat::R8G8B8},
               {"gray", "-grayscale", PixelFormat::Gray8},
               {"progressive", "-progressive -quality 70", PixelFormat::R8G8B8},
               {"restart-markers", "-restart 1 -sample 1x1", PixelFormat::R8G8B8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path full = dir / (std::string(c.name) + ".jpg");
    ASSERT_EQ(testsupport::RunCommand(std::string("cjpeg ") + c.options + " -outfile '" + full.string() + "' '" + ppm + "'"), 0);
    const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(full);
    const fs::path cut = dir / (std::string(c.name) + "-cut.jpg");
    // Cut in the middle of the scan data: the rest of the image is what libjpeg makes of
    // the end of data, exactly as djpeg shows it.
    testsupport::WriteFileBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() * 6 / 10)));
    for (const fs::path& path : {full, cut}) {
      std::vector<Image> ours;
      std::string error;
      ASSERT_TRUE(LoadFile("jpg", path, ours, &error)) << error;
      EXPECT_EQ(ours[0].Format(), c.format);
      Image expected;
      ASSERT_TRUE(DecodeWithDjpeg(path, expected));
      EXPECT_EQ(ComparePixels64(expected, ours[0]), "") << path.filename();
    }
  }
}

namespace {

// Writes a flat CMYK picture as Adobe does (samples inverted); YCCK when asked.
std::vector<uint8_t> FlatCmykJpeg(const uint8_t (&cmyk)[4], bool ycck) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = 16;
  cinfo.image_height = 8;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, ycck ? JCS_YCCK : JCS_CMYK);
  jpeg_set_quality(&cinfo, 100, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  uint8_t row[16 * 4];
  for (int x = 0; x < 16; ++x) std::memcpy(row + x * 4, cmyk, 4);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> file(buffer, buffer + size);
  std::free(buffer);
  return file;
}

}  // namespace

TEST(JpegCodec, AdobeCmykAndYcckLoadInverted) {
  const struct {
    uint8_t stored[4];
    bool ycck;
    Color32 expected;
    int tolerance;
  } cases[] = {
      {{255, 255, 255, 255}, false, 0xFFFFFFFFu, 0},
      {{200, 100, 50, 230}, false, 0xFFB45A2Du, 0},  // C 55, M 155, Y 205, K 25
      {{0, 0, 0, 0}, false, 0xFF000000u, 0},
      {{200, 100, 50, 230}, true, 0xFFB45A2Du, 2},
  };
  for (const auto& c : cases) {
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(LoadBytes("jpg", FlatCmykJpeg(c.stored, c.ycck), images, &error)) << error;
    ASSERT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
    const Color32 got = GetPixel32(images[0], 5, 3);
    EXPECT_EQ(Color32Alpha(got), 255);
    EXPECT_NEAR(Color32Red(got), Color32Red(c.expected), c.tolerance);
    EXPECT_NEAR(Color32Green(got), Color32Green(c.expected), c.tolerance);
    EXPECT_NEAR(Color32Blue(got), Color32Blue(c.expected), c.tolerance);
  }
}

TEST(JpegCodec, BadStreamsGiveLibjpegMessages) {
  const std::vector<uint8_t> noImage = {0xFF, 0xD8, 0xFF, 0xD9, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<Image> images;
  std::string error;
  EXPECT_FALSE(LoadBytes("jpg", noImage, images, &error));
  EXPECT_NE(error.find(JpegMessage(JERR_NO_IMAGE)), std::string::npos) << error;

  // libjpeg's templates are filled from the error's parameters.
  const std::vector<uint8_t> lossless = {0xFF, 0xD8, 0xFF, 0xC3, 0, 11, 8, 0, 1, 0, 1, 1, 1, 0x11, 0};
  EXPECT_FALSE(LoadBytes("jpg", lossless, images, &error));
  EXPECT_NE(error.find("JPEG Error: "), std::string::npos) << error;
  EXPECT_NE(error.find("SOF type 0xc3"), std::string::npos) << error;
  EXPECT_EQ(error.find('%'), std::string::npos) << error;

  // A frame header asking for 65535 x 65535 pixels is refused before anything is allocated.
  std::vector<Image> small;
  MakePicture(8, 8, PixelFormat::R8G8B8, small.emplace_back());
  std::vector<uint8_t> huge = SaveBytes("jpg", small);
  for (size_t i = 2; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 7] = 0xFD;  // 65000 x 65000: within libjpeg's limit, beyond ours
      huge[i + 6] = huge[i + 8] = 0xE8;
      break;
    }
  EXPECT_FALSE(LoadBytes("jpg", huge, images, &error));
  EXPECT_NE(error.find("exceed the supported maximum"), std::string::npos) << error;
  EXPECT_TRUE(images.empty());

  // FF D8 alone, in a stream shorter than 10 bytes, is not a JPEG.
  MemoryStream shortStream(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9});
  EXPECT_EQ(DetectStreamFormat(shortStream), "");
}

// ---- Writing --------------------------------------------------------------------------------

TEST(JpegCodec, WritesWhatCjpegWrites) {
  if (!testsupport::HaveTool("cjpeg") || !testsupport::HaveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg missing";
  testsupport::TempDir dir;
  std::vector<Image> images;
  MakePicture(61, 29, PixelFormat::R8G8B8, images.emplace_back());
  const std::string ppm = WritePpm(dir, images[0]);
  const struct {
    int quality;
    bool progressive;
  } cases[] = {{80, false}, {90, true}, {100, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.quality) + (c.progressive ? " progressive" : ""));
    CodecOptions options = CurrentOptions();
    options.jpeg = {c.quality, c.progressive};
    const fs::path reference = dir / "cjpeg.jpg";
    ASSERT_EQ(testsupport::RunCommand("cjpeg -quality " + std::to_string(c.quality) + (c.progressive ? " -progressive" : "") +
                                      " -outfile '" + reference.string() + "' '" + ppm + "'"),
              0);
    EXPECT_TRUE(SaveBytes("jpg", images, false, options) == testsupport::ReadFileBytes(reference));
  }
}

TEST(JpegCodec, QualityOutOfRangeBecomes90) {
  std::vector<Image> images;
  MakePicture(40, 24, PixelFormat::R8G8B8, images.emplace_back());
  SetOption(option::kJpegQuality, 90);
  const std::vector<uint8_t> at90 = SaveBytes("jpg", images);
  for (int quality : {0, 101, -5}) {
    SetOption(option::kJpegQuality, quality);
    EXPECT_TRUE(SaveBytes("jpg", images) == at90) << quality;
    // The save replaces the value for itself; the value set stays.
    EXPECT_EQ(GetOption(option::kJpegQuality), quality);
  }
  SetOption(option::kJpegQuality, 100);
  EXPECT_FALSE(SaveBytes("jpg", images) == at90);
  SetOption(option::kJpegQuality, 90);
}

TEST(JpegCodec, AlphaIsDroppedAndGrayStaysOneComponent) {
  const struct {
    PixelFormat source;
    PixelFormat loaded;
  } cases[] = {{PixelFormat::A8R8G8B8, PixelFormat::R8G8B8},
               {PixelFormat::Gray8, PixelFormat::Gray8},
               {PixelFormat::A8Gray8, PixelFormat::Gray8},
               {PixelFormat::R8G8B8, PixelFormat::R8G8B8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(GetFormatName(c.source));
    std::vector<Image> images;
    MakePicture(33, 17, c.source, images.emplace_back());
    std::vector<Image> back;
    ASSERT_TRUE(LoadBytes("jpg", SaveBytes("jpg", images), back));
    EXPECT_EQ(back[0].Format(), c.loaded);
    EXPECT_EQ(back[0].Width(), 33);
    EXPECT_EQ(back[0].Height(), 17);
  }
}

TEST(JpegCodec, StreamIsLeftRightBehindTheImage) {
  std::vector<Image> images;
  MakePicture(20, 20, PixelFormat::R8G8B8, images.emplace_back());
  std::vector<uint8_t> bytes = SaveBytes("jpg", images);
  const int64_t jpegSize = int64_t(bytes.size());
  bytes.insert(bytes.end(), 40000, 0x55);
  MemoryStream stream(bytes);
  const CodecOptions options = CurrentOptions();
  JpegDecoder jpeg(options);
  std::vector<Image> back;
  ASSERT_TRUE(jpeg.ReadImages(stream, back, true));
  EXPECT_EQ(stream.Position(), jpegSize);
}

TEST(JpegCodec, ImageMagickCmykLoadsLikeImageMagickReadsIt) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  testsupport::TempDir dir;
  const fs::path path = dir / "cmyk.jpg";
  ASSERT_EQ(testsupport::RunCommand("convert -size 64x48 gradient:orange-navy -colorspace CMYK -quality 95 '" +
                                    path.string() + "'"),
            0);
  std::vector<Image> ours;
  ASSERT_TRUE(LoadFile("jpg", path, ours));
  ASSERT_EQ(ours[0].Format(), PixelFormat::A8R8G8B8);
  std::string rgb;
  ASSERT_EQ(testsupport::RunCommand("convert '" + path.string() + "' -colorspace sRGB -depth 8 rgb:-", &rgb), 0);
  ASSERT_EQ(rgb.size(), 64u * 48u * 3u);
  Image expected;
  ASSERT_TRUE(ReadPnm("P6 64 48 255\n" + rgb, expected));
  // The same formula in real numbers; we truncate where ImageMagick rounds.
  EXPECT_EQ(ComparePixels64(expected, ours[0], 2 * 257), "");
}

TEST(JpegCodec, EndlessScansAreRefused) {
  // A progressive file whose last scan repeats 600 times: libjpeg only warns about such a
  // progression, and each repetition would walk the whole image again.
  std::vector<Image> images;
  MakePicture(16, 16, PixelFormat::R8G8B8, images.emplace_back());
  CodecOptions options = CurrentOptions();
  options.jpeg.progressive = true;
  std::vector<uint8_t> file = SaveBytes("jpg", images, false, options);
  size_t lastScan = 0;
  for (size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xDA) lastScan = i;
  ASSERT_GT(lastScan, 0u);
  const std::vector<uint8_t> scan(file.begin() + long(lastScan), file.end() - 2);
  std::vector<uint8_t> endless(file.begin(), file.end() - 2);
  for (int i = 0; i < 600; ++i) endless.insert(endless.end(), scan.begin(), scan.end());
  endless.insert(endless.end(), {0xFF, 0xD9});
  std::vector<Image> back;
  std::string error;
  EXPECT_FALSE(LoadBytes("jpg", endless, back, &error));
  EXPECT_NE(error.find("JPEG Error: the file has more than 500 scans"), std::string::npos) << error;
  // The original loads.
  EXPECT_TRUE(LoadBytes("jpg", file, back));
}

namespace {

// The reduced decode gives libjpeg's DCT-scaled picture, as djpeg -scale 1/n writes it, with the
// sides rounded up; other values decode the full size.
TEST(JpegCodec, ReducedDecodeIsDjpegsScaledPicture) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("djpeg")) GTEST_SKIP() << "djpeg missing";
  const std::vector<fs::path> files = CorpusJpegs("exif-samples/jpg");
  ASSERT_FALSE(files.empty());
  const fs::path& path = files.front();
  std::vector<Image> full;
  ASSERT_TRUE(LoadFile("jpg", path, full));
  for (const int32_t n : {2, 3, 4, 8}) {
    SCOPED_TRACE(n);
    imaging::CodecOptions options = imaging::CurrentOptions();
    options.jpeg.reduceBy = n;
    std::vector<Image> reduced;
    ASSERT_TRUE(LoadFile("jpg", path, reduced, nullptr, true, options));
    const int32_t m = n == 3 ? 1 : n;
    EXPECT_EQ(reduced[0].Width(), (full[0].Width() + m - 1) / m);
    EXPECT_EQ(reduced[0].Height(), (full[0].Height() + m - 1) / m);
    std::string pnm;
    testsupport::RunCommand("djpeg -scale 1/" + std::to_string(m) + " -pnm '" + path.string() + "' 2>/dev/null", &pnm);
    Image expected;
    ASSERT_TRUE(ReadPnm(pnm, expected));
    EXPECT_EQ(ComparePixels64(expected, reduced[0]), "");
  }
}

}  // namespace
