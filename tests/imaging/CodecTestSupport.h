// Helpers of the JPEG, PNG, MNG/JNG and GIF codec tests: loading and saving through a codec
// in memory, deterministic test pictures and pixel comparison through the 16-bit readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

namespace codectest {

inline const imaging::Codec& CodecFor(const char* extension) {
  const imaging::Codec* codec = imaging::FindFormatByExtension(extension);
  if (!codec) throw std::runtime_error(std::string("no codec for ") + extension);
  return *codec;
}

// Loads bytes through the codec of `extension`; the error text (empty when none) goes to *error.
inline bool LoadBytes(const char* extension, const std::vector<uint8_t>& bytes, std::vector<imaging::Image>& images,
                      std::string* error = nullptr, bool onlyFirst = false,
                      const imaging::CodecOptions& options = imaging::CurrentOptions()) {
  imaging::MemoryStream stream(bytes);
  try {
    return CodecFor(extension).LoadFromStream(stream, images, onlyFirst, options);
  } catch (const imaging::ImagingError& e) {
    if (error) *error = e.what();
    return false;
  }
}

inline bool LoadFile(const char* extension, const std::filesystem::path& path, std::vector<imaging::Image>& images,
                     std::string* error = nullptr, bool onlyFirst = false,
                     const imaging::CodecOptions& options = imaging::CurrentOptions()) {
  try {
    return CodecFor(extension).LoadFromFile(path.string(), images, onlyFirst, options);
  } catch (const imaging::ImagingError& e) {
    if (error) *error = e.what();
    return false;
  }
}

// Saves through the codec of `extension` into memory; the images stay with the caller.
inline std::vector<uint8_t> SaveBytes(const char* extension, std::vector<imaging::Image>& images,
                                      bool onlyFirst = false,
                                      const imaging::CodecOptions& options = imaging::CurrentOptions()) {
  imaging::MemoryStream stream;
  if (!CodecFor(extension).SaveToStream(stream, images, onlyFirst, options)) return {};
  return stream.Data();
}

inline std::vector<uint8_t> SaveImageBytes(const char* extension, const imaging::Image& image,
                                           const imaging::CodecOptions& options = imaging::CurrentOptions()) {
  imaging::MemoryStream stream;
  if (!imaging::SaveImageToStream(extension, stream, image, options)) return {};
  return stream.Data();
}

// A picture with smooth gradients, edges and some noise, in any format with 8- or 16-bit
// samples; the same arguments always give the same bytes.
inline void MakePicture(int32_t width, int32_t height, imaging::PixelFormat format, imaging::Image& image,
                        uint32_t seed = 1) {
  imaging::CreateImage(width, height, format, image);
  uint32_t state = seed * 2654435761u + 1;
  auto noise = [&state]() {
    state = state * 1664525u + 1013904223u;
    return state >> 24;
  };
  if (image.Palette())
    for (int i = 0; i < 256; ++i)
      image.Palette()[i] = imaging::MakeColor32(255, uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3));
  for (int32_t i = 0; i < image.Size(); ++i) {
    const int32_t pixel = i / 4;
    const int32_t x = pixel % width, y = (pixel / width) % height;
    image.Bits()[i] = static_cast<uint8_t>((x * 3 + y * 5 + (i % 7) * 31 + ((x / 8 + y / 8) % 2) * 64 + noise() % 9) & 0xFF);
  }
}

// Compares two images of any formats pixel by pixel through the 16-bit readers; colours of
// fully transparent pixels are not compared. Empty text when they agree.
inline std::string ComparePixels64(const imaging::Image& expected, const imaging::Image& actual,
                                   int tolerance = 0) {
  using namespace imaging;
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height())
    return "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height()) + " instead of " +
           std::to_string(expected.Width()) + "x" + std::to_string(expected.Height());
  const PixelFormatInfo* ei = FindFormatInfo(expected.Format());
  const PixelFormatInfo* ai = FindFormatInfo(actual.Format());
  for (int32_t y = 0; y < expected.Height(); ++y)
    for (int32_t x = 0; x < expected.Width(); ++x) {
      const size_t index = size_t(y) * size_t(expected.Width()) + size_t(x);
      const Color64 e = GetPixel64Generic(expected.Bits() + index * size_t(ei->BytesPerPixel), ei, expected.Palette());
      const Color64 a = GetPixel64Generic(actual.Bits() + index * size_t(ai->BytesPerPixel), ai, actual.Palette());
      auto off = [tolerance](uint16_t u, uint16_t v) { return std::abs(int(u) - int(v)) > tolerance; };
      const bool bad = off(e.A, a.A) || (e.A != 0 && (off(e.R, a.R) || off(e.G, a.G) || off(e.B, a.B)));
      if (bad) {
        char text[200];
        std::snprintf(text, sizeof(text), "pixel (%d,%d): RGBA %u,%u,%u,%u instead of %u,%u,%u,%u", x, y, a.R, a.G,
                      a.B, a.A, e.R, e.G, e.B, e.A);
        return text;
      }
    }
  return {};
}

// Reads a binary PNM (P5/P6) as written by djpeg into Gray8 or R8G8B8.
inline bool ReadPnm(const std::string& data, imaging::Image& image) {
  size_t pos = 0;
  auto token = [&]() {
    while (pos < data.size() && (std::isspace(static_cast<unsigned char>(data[pos])) || data[pos] == '#')) {
      if (data[pos] == '#')
        while (pos < data.size() && data[pos] != '\n') ++pos;
      else
        ++pos;
    }
    const size_t start = pos;
    while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
  };
  const std::string magic = token();
  if (magic != "P5" && magic != "P6") return false;
  const int width = std::atoi(token().c_str()), height = std::atoi(token().c_str());
  const int maxValue = std::atoi(token().c_str());
  ++pos;
  if (width <= 0 || height <= 0 || maxValue != 255) return false;
  const bool gray = magic == "P5";
  const size_t bytes = size_t(width) * size_t(height) * (gray ? 1 : 3);
  if (data.size() - pos < bytes) return false;
  imaging::CreateImage(width, height, gray ? imaging::PixelFormat::Gray8 : imaging::PixelFormat::R8G8B8, image);
  const uint8_t* source = reinterpret_cast<const uint8_t*>(data.data()) + pos;
  if (gray) {
    std::memcpy(image.Bits(), source, bytes);
  } else {
    for (size_t i = 0; i < bytes; i += 3) {
      image.Bits()[i] = source[i + 2];
      image.Bits()[i + 1] = source[i + 1];
      image.Bits()[i + 2] = source[i];
    }
  }
  return true;
}

// ---- PNG, MNG and JNG chunks --------------------------------------------------------------------

// Appends one chunk with its length, type, data and CRC.
inline void AppendChunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& data) {
  const uint32_t length = static_cast<uint32_t>(data.size());
  const uint8_t header[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
                             uint8_t(type[0]),      uint8_t(type[1]),      uint8_t(type[2]),     uint8_t(type[3])};
  file.insert(file.end(), header, header + 8);
  file.insert(file.end(), data.begin(), data.end());
  uLong crc = crc32(0, header + 4, 4);
  crc = crc32(crc, data.data(), uInt(data.size()));
  const uint8_t trailer[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
  file.insert(file.end(), trailer, trailer + 4);
}

inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<uint8_t> out(size);
  compress(out.data(), &size, raw.data(), uLong(raw.size()));
  out.resize(size);
  return out;
}

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

// The chunks after the 8-byte signature, up to the first that does not fit.
inline std::vector<Chunk> ListChunks(const std::vector<uint8_t>& file) {
  std::vector<Chunk> chunks;
  for (size_t pos = 8; pos + 12 <= file.size();) {
    const uint32_t length = uint32_t(file[pos]) << 24 | uint32_t(file[pos + 1]) << 16 | uint32_t(file[pos + 2]) << 8 |
                            file[pos + 3];
    if (pos + 12 + length > file.size()) break;
    chunks.push_back({std::string(reinterpret_cast<const char*>(&file[pos + 4]), 4),
                      std::vector<uint8_t>(file.begin() + long(pos + 8), file.begin() + long(pos + 8 + length))});
    pos += 12 + length;
  }
  return chunks;
}

}  // namespace codectest
