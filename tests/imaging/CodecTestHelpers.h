// Helpers of the tests of the hand-written codecs: owned images, loading and saving through
// the registry, and comparisons that treat fully transparent pixels as equal.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imaging/Imaging.h"
#include "tests/support/TestSupport.h"

namespace codectest {

// An image released when it goes out of scope.
struct TestImage {
  imaging::ImageData image;
  TestImage() = default;
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;
  ~TestImage() { imaging::ReleaseImage(image); }
  imaging::ImageData* operator->() { return &image; }
  operator imaging::ImageData&() { return image; }
};

// The message of the EImagingError the action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const imaging::EImagingError& e) {
    return e.what();
  }
  return "(no error)";
}

// A copy of any image as A8R8G8B8, pixel by pixel through the format table.
inline void ToArgb(const imaging::ImageData& source, imaging::ImageData& target) {
  ASSERT_TRUE(imaging::CreateImage(source.Width, source.Height, imaging::PixelFormat::A8R8G8B8, target));
  for (int32_t y = 0; y < source.Height; ++y)
    for (int32_t x = 0; x < source.Width; ++x) imaging::SetPixel32(target, x, y, imaging::GetPixel32(source, x, y));
}

// A copy of any image converted to A8R8G8B8 by the library's conversion, as the program
// converts every image it loads.
inline void ConvertToArgb(const imaging::ImageData& source, imaging::ImageData& target) {
  ASSERT_TRUE(imaging::CopyImage(source, target));
  ASSERT_TRUE(imaging::ConvertImageFormat(target, imaging::PixelFormat::A8R8G8B8));
}

// Empty when every pixel of an A8R8G8B8 image has equal red, green and blue; else names the
// first pixel that has not.
inline std::string FirstColouredPixel(const imaging::ImageData& argb) {
  for (int32_t y = 0; y < argb.Height; ++y)
    for (int32_t x = 0; x < argb.Width; ++x) {
      const imaging::Color32 c = imaging::GetPixel32(argb, x, y);
      if (imaging::Color32Red(c) != imaging::Color32Green(c) || imaging::Color32Red(c) != imaging::Color32Blue(c)) {
        char text[80];
        std::snprintf(text, sizeof(text), "pixel (%d,%d) is 0x%08X", x, y, c);
        return text;
      }
    }
  return {};
}

// Loads the first image the way the program does (detection, codec, only the first image)
// and gives its native format and an A8R8G8B8 copy. False when no codec takes the file.
inline bool LoadFirst(const std::filesystem::path& file, imaging::ImageData& argb,
                      imaging::PixelFormat* native = nullptr) {
  const std::string extension = imaging::DetectFileFormat(file.string());
  const imaging::TImageFileFormat* codec = imaging::FindFormatByExtension(extension);
  if (!codec) return false;
  imaging::TDynImageDataArray images;
  if (!codec->LoadFromFile(file.string(), images, true) || images.empty()) return false;
  if (native) *native = images[0].Format;
  ToArgb(images[0], argb);
  return true;
}

// Reads an image from bytes with the codec of the extension.
inline bool LoadBytes(const std::string& extension, const std::vector<uint8_t>& bytes, imaging::TDynImageDataArray& images) {
  imaging::TMemoryStream stream(bytes);
  return imaging::FindFormatByExtension(extension)->LoadFromStream(stream, images, true);
}

// Writes one image with the codec of the extension into bytes.
inline std::vector<uint8_t> SaveBytes(const std::string& extension, const imaging::ImageData& image) {
  imaging::TMemoryStream stream;
  EXPECT_TRUE(imaging::SaveImageToStream(extension, stream, image));
  return stream.Data();
}

// Like testsupport::CompareImages, but pixels that are fully transparent in both images are
// equal whatever their colour (decoders differ in what they leave there).
inline std::string CompareVisible(const imaging::ImageData& expected, const imaging::ImageData& actual,
                                  int tolerance = 0) {
  if (expected.Width != actual.Width || expected.Height != actual.Height)
    return testsupport::CompareImages(expected, actual, tolerance);
  TestImage e, a;
  imaging::CopyImage(expected, e);
  imaging::CopyImage(actual, a);
  for (int32_t y = 0; y < e->Height; ++y)
    for (int32_t x = 0; x < e->Width; ++x)
      if (imaging::Color32Alpha(imaging::GetPixel32(e, x, y)) == 0 &&
          imaging::Color32Alpha(imaging::GetPixel32(a, x, y)) == 0) {
        imaging::SetPixel32(e, x, y, 0);
        imaging::SetPixel32(a, x, y, 0);
      }
  return testsupport::CompareImages(e, a, tolerance);
}

// A file with these bytes in a fresh folder.
inline std::filesystem::path WriteTemp(const testsupport::TempDir& dir, const std::string& name,
                                       const std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = dir / name;
  testsupport::WriteFileBytes(path, bytes);
  return path;
}

}  // namespace codectest
