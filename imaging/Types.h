// Basic types of the image library: pixel formats, colours and the library's error type. The
// image itself is imaging/Image.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Error.h"

namespace imaging {

// The numbers are part of the interface: codecs, options and the program pass them as numbers.
enum class PixelFormat : int32_t {
  Unknown = 0,
  Default = 1,
  Index8 = 10,
  Gray8 = 40,
  A8Gray8 = 41,
  Gray16 = 42,
  Gray32 = 43,
  Gray64 = 44,
  A16Gray16 = 45,
  X5R1G1B1 = 80,
  R3G3B2 = 81,
  R5G6B5 = 82,
  A1R5G5B5 = 83,
  A4R4G4B4 = 84,
  X1R5G5B5 = 85,
  X4R4G4B4 = 86,
  R8G8B8 = 87,
  A8R8G8B8 = 88,
  X8R8G8B8 = 89,
  R16G16B16 = 90,
  A16R16G16B16 = 91,
  B16G16R16 = 92,
  A16B16G16R16 = 93,
  R32F = 170,
  A32R32G32B32F = 171,
  A32B32G32R32F = 172,
  R16F = 173,
  A16R16G16B16F = 174,
  A16B16G16R16F = 175,
  DXT1 = 220,
  DXT3 = 221,
  DXT5 = 222,
  BTC = 223,
  ATI1N = 224,
  ATI2N = 225,
};

// Highest value the format table has room for, and the size of the codecs' format sets.
inline constexpr int32_t kMaxPixelFormatValue = 225;
inline constexpr int32_t kFormatSetSize = 232;

// 0xAARRGGBB, stored little-endian: bytes B, G, R, A.
using Color32 = uint32_t;

// Four 16-bit channels in memory order B, G, R, A.
struct Color64 {
  uint16_t B, G, R, A;
};

// Four floats in memory order B, G, R, A; nominal range 0.0 to 1.0.
struct ColorFP {
  float B, G, R, A;
};

inline constexpr uint8_t Color32Alpha(Color32 c) { return static_cast<uint8_t>(c >> 24); }
inline constexpr uint8_t Color32Red(Color32 c) { return static_cast<uint8_t>(c >> 16); }
inline constexpr uint8_t Color32Green(Color32 c) { return static_cast<uint8_t>(c >> 8); }
inline constexpr uint8_t Color32Blue(Color32 c) { return static_cast<uint8_t>(c); }
inline constexpr Color32 MakeColor32(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return (Color32(a) << 24) | (Color32(r) << 16) | (Color32(g) << 8) | Color32(b);
}

// The library's one error type. Its text is already formatted; see RaiseImaging.
class ImagingError : public base::Error {
public:
  explicit ImagingError(const std::string& message) : base::Error(message) {}
};

// printf-style formatting of a message template (%d, %u, %s, %p, %x and friends).
std::string FormatText(const char* templ, ...) __attribute__((format(printf, 1, 2)));

// Raises ImagingError with the formatted template. When called while another error is being
// handled (inside a catch block), " Exception Message: " and that error's text are appended,
// so a re-raised error keeps the reason below it. The inner text is appended after formatting,
// never interpreted as part of the template.
[[noreturn]] void RaiseImaging(const std::string& message);
[[noreturn]] inline void RaiseImaging(const char* message) { RaiseImaging(std::string(message)); }
template <typename Arg, typename... Args>
[[noreturn]] inline void RaiseImaging(const char* templ, Arg arg, Args... args) {
  RaiseImaging(FormatText(templ, arg, args...));
}

// Warnings of a load that still gave a picture ("JPEG data end early; the missing part is
// grey"). A decoder reports them with AddLoadWarning; a caller that wants them collects those of
// its own thread with a LoadWarnings object that lives for the span of the load. Without a
// collector they are dropped.
void AddLoadWarning(const std::string& text);
class LoadWarnings {
public:
  LoadWarnings();
  ~LoadWarnings();
  LoadWarnings(const LoadWarnings&) = delete;
  LoadWarnings& operator=(const LoadWarnings&) = delete;
  const std::vector<std::string>& Texts() const { return texts_; }

private:
  friend void AddLoadWarning(const std::string& text);
  std::vector<std::string> texts_;
  LoadWarnings* outer_;
};

// Limits every decoder applies before it allocates an image from values read from a file.
inline constexpr int64_t kMaxImageSide = 65535;
inline constexpr int64_t kMaxImagePixels = int64_t(1) << 28;
// Raises a clear error when the dimensions are not positive or exceed the limits above;
// `what` names the format or file for the message ("BMP", "PNG file").
void CheckImageDimensions(int64_t width, int64_t height, const char* what);

}  // namespace imaging
