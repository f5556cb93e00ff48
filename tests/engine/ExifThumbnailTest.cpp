#include <gtest/gtest.h>

#include <random>

#include "tests/engine/ExifTestHelpers.h"
#include "imaging/Codec.h"
#include "imaging/PixelFormats.h"
#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"
#include "engine/exif/Thumbnail.h"

using namespace engine::exif;

TEST(ExifThumbnail, ReducedSizeFitsTheBoxWithHalvesToEven) {
  struct Case {
    int32_t width, height, expectedWidth, expectedHeight;
  } cases[] = {
      {400, 300, 160, 120},   {320, 200, 160, 100},  {300, 400, 90, 120},   {500, 500, 120, 120},
      {9, 16, 68, 120},       // 67.5 rounds up to the even 68
      {11, 16, 82, 120},      // 82.5 rounds down to the even 82
      {21, 16, 158, 120},     // landscape too tall at width 160: 157.5 becomes 158
      {17, 16, 128, 120},     // 127.5 becomes 128
      {2000, 10, 160, 1},     {10000, 1, 160, 1},    {10, 2000, 1, 120},
  };
  for (const Case& c : cases) {
    const ThumbnailSize size = ReducedThumbnailSize(c.width, c.height);
    EXPECT_EQ(size.Width, c.expectedWidth) << c.width << "x" << c.height;
    EXPECT_EQ(size.Height, c.expectedHeight) << c.width << "x" << c.height;
  }
}

namespace {

// A noisy JPEG, large for its size, made by the library's codec at quality 100.
std::vector<uint8_t> NoisyJpeg(int32_t width, int32_t height) {
  imaging::Image image;
  EXPECT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::R8G8B8, image));
  std::mt19937 random(7);
  for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = static_cast<uint8_t>(random());
  imaging::CodecOptions options = imaging::CurrentOptions();
  options.jpeg.quality = 100;
  imaging::MemoryStream stream;
  EXPECT_TRUE(imaging::SaveImageToStream("jpg", stream, image, options));
  return stream.Data();
}

}  // namespace

TEST(ExifThumbnail, LargeThumbnailIsShrunkToFitTheBox) {
  if (imaging::FindFormatByExtension("jpg") == nullptr) GTEST_SKIP() << "no JPEG codec";
  struct Case {
    int32_t width, height, expectedWidth, expectedHeight;
  } cases[] = {{400, 300, 160, 120}, {240, 400, 72, 120}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const std::vector<uint8_t> big = NoisyJpeg(c.width, c.height);
    ASSERT_GT(big.size(), 61440u);
    ExifData data;
    data.SetString(ExifSectionKind::esGeneral, 305, "x");
    data.SetWord(ExifSectionKind::esThumbnail, 256, static_cast<uint16_t>(c.width));
    data.SetThumbnail(big);
    ExifData back;
    back.LoadFromJPEG(data.InsertIntoJPEG(exiftest::PlainJpeg()));
    ASSERT_FALSE(back.Thumbnail().empty());
    EXPECT_LE(back.Thumbnail().size(), 61440u);
    const ExifSection& ifd1 = back.Section(ExifSectionKind::esThumbnail);
    EXPECT_EQ(back.ReadInteger(*ifd1.Find(256)), uint32_t(c.expectedWidth));
    EXPECT_EQ(back.ReadInteger(*ifd1.Find(257)), uint32_t(c.expectedHeight));
    EXPECT_EQ(back.ReadInteger(*ifd1.Find(514)), back.Thumbnail().size());
    imaging::Image thumb;
    imaging::MemoryStream stream(back.Thumbnail());
    ASSERT_TRUE(imaging::LoadImageFromStream(stream, thumb));
    EXPECT_EQ(thumb.Width(), c.expectedWidth);
    EXPECT_EQ(thumb.Height(), c.expectedHeight);
  }
}

TEST(ExifThumbnail, LargeDataOfASmallThumbnailCannotBeStored) {
  if (imaging::FindFormatByExtension("jpg") == nullptr) GTEST_SKIP() << "no JPEG codec";
  // A 24 x 16 thumbnail padded with a comment segment to more than 61440 bytes.
  const std::vector<uint8_t> padded =
      exiftest::WithSegments(exiftest::PlainJpeg(), {exiftest::Segment(0xFE, std::vector<uint8_t>(62000, 'c'))});
  ExifData data;
  data.SetString(ExifSectionKind::esGeneral, 305, "x");
  data.SetThumbnail(padded);
  const std::vector<uint8_t> plain = exiftest::PlainJpeg();
  try {
    data.InsertIntoJPEG(plain);
    ADD_FAILURE() << "stored a thumbnail above 61440 bytes";
  } catch (const ExifError& e) {
    EXPECT_NE(std::string(e.what()).find("61440"), std::string::npos) << e.what();
  }
}
