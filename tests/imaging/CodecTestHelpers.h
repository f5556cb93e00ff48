// Helpers of the tests of the hand-written codecs: owned images, loading and saving through
// the registry, and comparisons that treat fully transparent pixels as equal.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

namespace codectest {

using testsupport::ErrorOf;

// A copy of any image as A8R8G8B8, pixel by pixel through the format table.
inline void ToArgb(const imaging::Image& source, imaging::Image& target) {
  ASSERT_TRUE(imaging::CreateImage(source.Width(), source.Height(), imaging::PixelFormat::A8R8G8B8, target));
  for (int32_t y = 0; y < source.Height(); ++y)
    for (int32_t x = 0; x < source.Width(); ++x) imaging::SetPixel32(target, x, y, imaging::GetPixel32(source, x, y));
}

// A copy of any image converted to A8R8G8B8 by the library's conversion, as the program
// converts every image it loads.
inline void ConvertToArgb(const imaging::Image& source, imaging::Image& target) {
  ASSERT_TRUE(imaging::CopyImage(source, target));
  ASSERT_TRUE(imaging::ConvertImageFormat(target, imaging::PixelFormat::A8R8G8B8));
}

// Empty when every pixel of an A8R8G8B8 image has equal red, green and blue; else names the
// first pixel that has not.
inline std::string FirstColouredPixel(const imaging::Image& argb) {
  for (int32_t y = 0; y < argb.Height(); ++y)
    for (int32_t x = 0; x < argb.Width(); ++x) {
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
inline bool LoadFirst(const std::filesystem::path& file, imaging::Image& argb,
                      imaging::PixelFormat* native = nullptr) {
  const std::string extension = imaging::DetectFileFormat(file.string());
  const imaging::Codec* codec = imaging::FindFormatByExtension(extension);
  if (!codec) return false;
  std::vector<imaging::Image> images;
  if (!codec->LoadFromFile(file.string(), images, true) || images.empty()) return false;
  if (native) *native = images[0].Format();
  ToArgb(images[0], argb);
  return true;
}

// Reads an image from bytes with the codec of the extension.
inline bool LoadBytes(const std::string& extension, const std::vector<uint8_t>& bytes, std::vector<imaging::Image>& images) {
  imaging::MemoryStream stream(bytes);
  return imaging::FindFormatByExtension(extension)->LoadFromStream(stream, images, true);
}

// Writes one image with the codec of the extension into bytes.
inline std::vector<uint8_t> SaveBytes(const std::string& extension, const imaging::Image& image,
                                      const imaging::CodecOptions& options = imaging::CurrentOptions()) {
  imaging::MemoryStream stream;
  EXPECT_TRUE(imaging::SaveImageToStream(extension, stream, image, options));
  return stream.Data();
}

// Like testsupport::CompareImages, but pixels that are fully transparent in both images are
// equal whatever their colour (decoders differ in what they leave there).
inline std::string CompareVisible(const imaging::Image& expected, const imaging::Image& actual,
                                  int tolerance = 0) {
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height())
    return testsupport::CompareImages(expected, actual, tolerance);
  imaging::Image e, a;
  imaging::CopyImage(expected, e);
  imaging::CopyImage(actual, a);
  for (int32_t y = 0; y < e.Height(); ++y)
    for (int32_t x = 0; x < e.Width(); ++x)
      if (imaging::Color32Alpha(imaging::GetPixel32(e, x, y)) == 0 &&
          imaging::Color32Alpha(imaging::GetPixel32(a, x, y)) == 0) {
        imaging::SetPixel32(e, x, y, 0);
        imaging::SetPixel32(a, x, y, 0);
      }
  return testsupport::CompareImages(e, a, tolerance);
}

// Smooth gradients with a few hard edges: what a lossy coder is made for. With alpha, a ramp of
// transparency and a fully transparent corner.
inline void MakePhoto(int32_t width, int32_t height, imaging::PixelFormat format, imaging::Image& image) {
  ASSERT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t r = uint8_t(x * 255 / width), g = uint8_t(y * 255 / height);
      // A dark block gives hard edges in brightness; colours stay smooth.
      const bool dark = x > width / 3 && x < width / 2 && y > height / 3;
      const uint8_t b = dark ? 20 : uint8_t((x + y) * 255 / (width + height));
      const uint8_t a = x < 8 && y < 8 ? 0 : uint8_t(128 + (x * 127) / width);
      imaging::SetPixel32(image, x, y, imaging::MakeColor32(a, r, g, b));
    }
  if (format != imaging::PixelFormat::A8R8G8B8) {
    ASSERT_TRUE(imaging::ConvertImageFormat(image, format));
  }
}

// Peak signal-to-noise ratio of the colour channels of two A8R8G8B8 images of one size, over
// the pixels that are not fully transparent in the first.
inline double Psnr(const imaging::Image& a, const imaging::Image& b) {
  double sum = 0;
  int64_t count = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) {
      const imaging::Color32 p = imaging::GetPixel32(a, x, y), q = imaging::GetPixel32(b, x, y);
      if (imaging::Color32Alpha(p) == 0) continue;
      ++count;
      for (int shift : {0, 8, 16}) {
        const double d = double((p >> shift) & 0xFF) - double((q >> shift) & 0xFF);
        sum += d * d;
      }
    }
  const double mse = sum / (3.0 * double(std::max<int64_t>(count, 1)));
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A path in single quotes for a shell command.
inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// Runs a command with its output thrown away; whether it succeeded.
inline bool RunQuietly(const std::string& command) {
  return testsupport::RunCommand(command + " >/dev/null 2>&1") == 0;
}

// Every sample of two images of 8- or 16-bit formats, compared through 16-bit values; empty
// when none differs by more than `tolerance`.
inline std::string CompareSamples16(const imaging::Image& expected, const imaging::Image& actual,
                                    int tolerance = 0) {
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height()) return "sizes differ";
  const imaging::PixelFormatInfo* e = imaging::FindFormatInfo(expected.Format());
  const imaging::PixelFormatInfo* a = imaging::FindFormatInfo(actual.Format());
  for (int32_t y = 0; y < expected.Height(); ++y)
    for (int32_t x = 0; x < expected.Width(); ++x) {
      const size_t i = size_t(y) * size_t(expected.Width()) + size_t(x);
      const imaging::Color64 p =
          imaging::GetPixel64Generic(expected.Bits() + i * size_t(e->BytesPerPixel), e, expected.Palette());
      const imaging::Color64 q = imaging::GetPixel64Generic(actual.Bits() + i * size_t(a->BytesPerPixel), a, actual.Palette());
      if (std::abs(p.R - q.R) > tolerance || std::abs(p.G - q.G) > tolerance || std::abs(p.B - q.B) > tolerance ||
          std::abs(p.A - q.A) > tolerance)
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") differs";
    }
  return {};
}

// What the picture looks like after `turns` quarter turns counter-clockwise and then the
// mirroring of an imir box (0 top and bottom exchanged, 1 left and right, -1 none).
inline void Transformed(const imaging::Image& source, int turns, int mirror, imaging::Image& target) {
  const int32_t w = source.Width(), h = source.Height();
  const bool swap = (turns & 1) != 0;
  ASSERT_TRUE(imaging::CreateImage(swap ? h : w, swap ? w : h, imaging::PixelFormat::A8R8G8B8, target));
  for (int32_t y = 0; y < target.Height(); ++y)
    for (int32_t x = 0; x < target.Width(); ++x) {
      int32_t u = x, v = y;  // position before the mirroring
      if (mirror == 0) v = target.Height() - 1 - y;
      if (mirror == 1) u = target.Width() - 1 - x;
      int32_t sx = u, sy = v;  // position in the source, before the turn
      if (turns == 1) sx = w - 1 - v, sy = u;
      if (turns == 2) sx = w - 1 - u, sy = h - 1 - v;
      if (turns == 3) sx = v, sy = h - 1 - u;
      imaging::SetPixel32(target, x, y, imaging::GetPixel32(source, sx, sy));
    }
}

// A file with these bytes in a fresh folder.
inline std::filesystem::path WriteTemp(const testsupport::TempDir& dir, const std::string& name,
                                       const std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = dir / name;
  testsupport::WriteFileBytes(path, bytes);
  return path;
}

}  // namespace codectest
