// Small files that claim large pictures, and pictures cut short: each is loaded in a child
// process, whose peak memory shows that the cost follows the picture the data can give, not the
// size the header claims; cut files say so and keep what came before the cut.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/Codec.h"
#include "imaging/formats/Gif.h"
#include "imaging/formats/Icon.h"
#include "tests/imaging/CodecTestSupport.h"

using namespace imaging;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// What a load in the child gave.
struct Outcome {
  bool loaded = false;
  int32_t width = 0;
  int32_t height = 0;
  std::string error;
  std::vector<std::string> warnings;
  std::vector<uint8_t> pixels;  // A8R8G8B8, for pictures of at most 1 MB
  int64_t peakKb = 0;           // the child's peak resident memory
};

void Put(std::string& out, const std::string& text) {
  const uint32_t size = uint32_t(text.size());
  out.append(reinterpret_cast<const char*>(&size), 4);
  out += text;
}

std::string Take(const std::string& in, size_t& at) {
  uint32_t size = 0;
  if (in.size() - at < 4) return {};
  std::memcpy(&size, in.data() + at, 4);
  at += 4;
  std::string text = in.substr(at, size);
  at += text.size();
  return text;
}

// Runs `load` in a child process and reads back what it gave, with the child's peak memory.
Outcome LoadInChild(const std::function<bool(std::vector<Image>&)>& load) {
  int channel[2];
  if (pipe(channel) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    std::string message;
    {
      LoadWarnings warnings;
      std::vector<Image> images;
      std::string error;
      bool loaded = false;
      try {
        loaded = load(images) && !images.empty();
      } catch (const std::exception& e) {
        error = e.what();
      }
      Image first;
      if (loaded) {
        first = std::move(images.front());
        images.clear();
      }
      Put(message, loaded ? "1" : "0");
      Put(message, std::to_string(first.Width()) + " " + std::to_string(first.Height()));
      Put(message, error);
      std::string pixels;
      if (loaded && int64_t(first.Width()) * first.Height() <= 262144 && ConvertImageFormat(first, PixelFormat::A8R8G8B8))
        pixels.assign(reinterpret_cast<const char*>(first.Bits()), size_t(first.Size()));
      Put(message, pixels);
      for (const std::string& text : warnings.Texts()) Put(message, text);
    }
    for (size_t at = 0; at < message.size();) {
      const ssize_t n = write(channel[1], message.data() + at, message.size() - at);
      if (n <= 0) _exit(1);
      at += size_t(n);
    }
    _exit(0);
  }
  close(channel[1]);
  std::string message;
  char buffer[65536];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) message.append(buffer, size_t(n));
  close(channel[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Outcome outcome;
  outcome.peakKb = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    outcome.error = "the child process did not end normally";
    return outcome;
  }
  size_t at = 0;
  outcome.loaded = Take(message, at) == "1";
  std::sscanf(Take(message, at).c_str(), "%d %d", &outcome.width, &outcome.height);
  outcome.error = Take(message, at);
  const std::string pixels = Take(message, at);
  outcome.pixels.assign(pixels.begin(), pixels.end());
  while (at < message.size()) outcome.warnings.push_back(Take(message, at));
  return outcome;
}

void Le16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Le32(std::vector<uint8_t>& out, uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}
void Be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}
void Be16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

// A PNG file of side × side transparent black pixels (8-bit RGBA), deflated as densely as zlib
// does.
std::vector<uint8_t> BlackPng(uint32_t side) {
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Be32(header, side);
  Be32(header, side);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  codectest::AppendChunk(file, "IHDR", header);
  codectest::AppendChunk(file, "IDAT", codectest::Deflate(std::vector<uint8_t>(size_t(side) * (side * 4 + 1), 0)));
  codectest::AppendChunk(file, "IEND", {});
  return file;
}

// An icon file of `count` directory entries that all point at the same data.
std::vector<uint8_t> IconOfOneImage(const std::vector<uint8_t>& data, int count) {
  std::vector<uint8_t> file;
  Le16(file, 0);
  Le16(file, 1);
  Le16(file, uint32_t(count));
  for (int i = 0; i < count; ++i) {
    file.insert(file.end(), {0, 0, 0, 0});  // size bytes 0: the image's own size
    Le16(file, 1);
    Le16(file, 32);
    Le32(file, uint32_t(data.size()));
    Le32(file, uint32_t(6 + 16 * count));
  }
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// A GIF of one frame covering the screen, with a four-colour global table (black, red, green,
// blue) and the background colour 2; `lzw` is the frame's LZW data, minimum code size `minimum`.
std::vector<uint8_t> OneFrameGif(uint32_t width, uint32_t height, const std::vector<uint8_t>& lzw, int minimum,
                                 bool table = true) {
  std::vector<uint8_t> file = {'G', 'I', 'F', '8', '9', 'a'};
  Le16(file, width);
  Le16(file, height);
  file.insert(file.end(), {uint8_t(table ? 0x81 : 0), 2, 0});
  if (table) file.insert(file.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
  file.push_back(0x2C);
  Le16(file, 0);
  Le16(file, 0);
  Le16(file, width);
  Le16(file, height);
  file.push_back(0);
  file.push_back(uint8_t(minimum));
  for (size_t at = 0; at < lzw.size(); at += 255) {
    const size_t n = std::min<size_t>(255, lzw.size() - at);
    file.push_back(uint8_t(n));
    file.insert(file.end(), lzw.begin() + long(at), lzw.begin() + long(at + n));
  }
  file.push_back(0);
  file.push_back(0x3B);
  return file;
}

// The 29-byte GIF: a side × side screen and frame, whose LZW data hold a clear code, one pixel
// and the end code.
std::vector<uint8_t> TinyGif(uint32_t side) { return OneFrameGif(side, side, {0x4C, 0x01}, 2, false); }

// Noise of four colours, rows top to bottom.
std::vector<uint8_t> NoiseIndices(size_t count) {
  std::vector<uint8_t> indices(count);
  uint32_t state = 99;
  for (uint8_t& index : indices) {
    state = state * 1103515245u + 12345u;
    index = uint8_t((state >> 16) & 3);
  }
  return indices;
}

// A Targa file of 24-bit pixels stored top row first, raw (type 2) or run-length encoded (10).
std::vector<uint8_t> Targa(uint32_t width, uint32_t height, bool rle, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> file = {0, 0, uint8_t(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Le16(file, width);
  Le16(file, height);
  file.insert(file.end(), {24, 0x20});
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

std::vector<uint8_t> NoiseBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = uint8_t(seed >> 16);
  }
  return bytes;
}

// Run-length packets of a 24-bit picture: runs of two equal pixels, then a raw pixel.
std::vector<uint8_t> TargaPackets(const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> out;
  for (size_t at = 0; at + 3 <= pixels.size();) {
    if (at + 6 <= pixels.size() && (at / 3) % 3 == 0) {
      out.push_back(0x81);  // two pixels of one colour
      out.insert(out.end(), pixels.begin() + long(at), pixels.begin() + long(at + 3));
      at += 6;
    } else {
      out.push_back(0);  // one raw pixel
      out.insert(out.end(), pixels.begin() + long(at), pixels.begin() + long(at + 3));
      at += 3;
    }
  }
  return out;
}

// A TIFF page of CMYK pixels (read through libtiff's RGBA reader) in strips of four rows, its
// directory first.
std::vector<uint8_t> CmykTiff(uint32_t side) {
  const uint32_t strips = side / 4, stripBytes = side * 4 * 4;
  std::vector<uint8_t> file = {'I', 'I', 42, 0};
  Le32(file, 8);
  const uint32_t entries = 10, afterDirectory = 8 + 2 + entries * 12 + 4;
  const uint32_t depths = afterDirectory, offsets = depths + 8, counts = offsets + 4 * strips, data = counts + 4 * strips;
  Le16(file, entries);
  auto entry = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
    Le16(file, tag);
    Le16(file, type);
    Le32(file, count);
    Le32(file, value);
  };
  entry(256, 4, 1, side);
  entry(257, 4, 1, side);
  entry(258, 3, 4, depths);
  entry(259, 3, 1, 1);
  entry(262, 3, 1, 5);
  entry(273, 4, strips, offsets);
  entry(277, 3, 1, 4);
  entry(278, 4, 1, 4);
  entry(279, 4, strips, counts);
  entry(284, 3, 1, 1);
  Le32(file, 0);
  for (int i = 0; i < 4; ++i) Le16(file, 8);
  for (uint32_t i = 0; i < strips; ++i) Le32(file, data + i * stripBytes);
  for (uint32_t i = 0; i < strips; ++i) Le32(file, stripBytes);
  const std::vector<uint8_t> pixels = NoiseBytes(size_t(strips) * stripBytes, 5);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

// What the first picture of `bytes` is, loaded here as the child loads it.
std::vector<uint8_t> Reference(const char* extension, const std::vector<uint8_t>& bytes) {
  std::vector<Image> images;
  if (!codectest::LoadBytes(extension, bytes, images, nullptr, true) || images.empty()) return {};
  if (!ConvertImageFormat(images[0], PixelFormat::A8R8G8B8)) return {};
  return std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + images[0].Size());
}

struct Row {
  const char* name;
  const char* extension;  // "ico": the program's icon load
  std::function<std::vector<uint8_t>()> bytes;
  const char* error;    // a part of the error the load must raise; null: it must give a picture
  const char* warning;  // the warning the load must give; null: none
  int32_t width, height;
  int64_t peakMb;  // how much the child may grow beyond what it started with
  bool rawFrames = false;
  // For a cut file: its whole form, and how many rows from the top its data hold in full at
  // the least.
  std::function<std::vector<uint8_t>()> whole = nullptr;
  int32_t rowsKept = 0;
};

}  // namespace

TEST(HostileFiles, MemoryFollowsThePictureAndCutFilesSaySo) {
  const std::vector<uint8_t> targaPixels = NoiseBytes(64 * 48 * 3, 7);
  const std::vector<uint8_t> gifIndices = NoiseIndices(64 * 48);
  const std::vector<uint8_t> gifData = formats::EncodeGIFLZW(gifIndices.data(), gifIndices.size());
  // A code of the GIF's LZW data takes 9 to 12 bits and gives at least one pixel: a third of
  // them gives at least three rows.
  const std::vector<uint8_t> gifThird(gifData.begin(), gifData.begin() + long(gifData.size() / 3));
  const std::vector<Row> rows = {
      {"icon: 64 entries point at one 4096 x 4096 PNG image", "ico",
       [] { return IconOfOneImage(BlackPng(4096), 64); }, nullptr, nullptr, 4096, 4096, 100},
      {"GIF: 29 bytes declare a 4096 x 4096 screen and frame", "gif", [] { return TinyGif(4096); }, nullptr,
       "GIF data end early; the missing part is transparent", 4096, 4096, 64 + 24},
      {"GIF, raw frames: 29 bytes declare a 16384 x 16384 frame", "gif", [] { return TinyGif(16384); }, nullptr,
       "GIF data end early; the missing part is transparent", 16384, 1, 8, true},
      {"GIF whose image data end after a third", "gif", [&] { return OneFrameGif(64, 48, gifThird, 8); }, nullptr,
       "GIF data end early; the missing part is transparent", 64, 48, 8, false,
       [&] { return OneFrameGif(64, 48, gifData, 8); }, 3},
      {"GIF cut in its image data", "gif",
       [&] {
         const std::vector<uint8_t> whole = OneFrameGif(64, 48, gifData, 8);
         return Cut(whole, whole.size() / 2);
       },
       nullptr, "GIF data end early; the missing part is transparent", 64, 48, 8, false,
       [&] { return OneFrameGif(64, 48, gifData, 8); }, 3},
      {"raw Targa cut after 20 rows and a half", "tga",
       [&] { return Cut(Targa(64, 48, false, targaPixels), 18 + 64 * 3 * 41 / 2); }, nullptr,
       "Targa data end early; the missing part is black", 64, 48, 8, false,
       [&] { return Targa(64, 48, false, targaPixels); }, 20},
      {"run-length Targa cut after 12 rows", "tga",
       [&] {
         const std::vector<uint8_t> packets = TargaPackets(targaPixels);
         return Cut(Targa(64, 48, true, packets), 18 + packets.size() / 4);
       },
       nullptr, "Targa data end early; the missing part is black", 64, 48, 8, false,
       [&] { return Targa(64, 48, true, TargaPackets(targaPixels)); }, 12},
      {"Targa: 60 bytes declare 16384 x 16384 raw pixels", "tga",
       [] { return Targa(16384, 16384, false, std::vector<uint8_t>(42, 1)); }, "Targa image data is truncated",
       nullptr, 0, 0, 8},
      {"BMP cut in its rows", "bmp",
       [] {
         Image picture;
         codectest::MakePicture(64, 48, PixelFormat::R8G8B8, picture);
         const std::vector<uint8_t> whole = codectest::SaveImageBytes("bmp", picture);
         return Cut(whole, whole.size() / 2);
       },
       "BMP pixel data is truncated", nullptr, 0, 0, 8},
      {"PCX: 132 bytes declare 16384 x 16384 run-length pixels", "pcx",
       [] {
         std::vector<uint8_t> file = {10, 5, 1, 8, 0, 0, 0, 0};
         Le16(file, 16383);
         Le16(file, 16383);
         file.resize(65, 0);
         file.push_back(1);  // planes
         Le16(file, 16384);  // bytes per line
         Le16(file, 1);
         file.resize(128 + 4, 0xC1);
         return file;
       },
       "PCX image data is truncated", nullptr, 0, 0, 8},
      {"PPM: 30 bytes declare 16384 x 16384 pixels", "ppm",
       [] {
         const std::string text = "P6 16384 16384 255\n0123456789";
         return std::vector<uint8_t>(text.begin(), text.end());
       },
       "Portable map data is truncated", nullptr, 0, 0, 8},
      {"PSD: 50 bytes declare 16384 x 16384 raw pixels", "psd",
       [] {
         std::vector<uint8_t> file = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3};
         Be32(file, 16384);
         Be32(file, 16384);
         Be16(file, 8);
         Be16(file, 3);  // RGB
         for (int i = 0; i < 3; ++i) Be32(file, 0);  // colour mode data, resources, layers
         Be16(file, 0);  // raw
         file.resize(file.size() + 12, 7);
         return file;
       },
       "PSD: the image data is truncated", nullptr, 0, 0, 8},
      {"PNG: 100 bytes of image data declare 16000 x 16000 pixels", "png",
       [] {
         std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
         std::vector<uint8_t> header;
         Be32(header, 16000);
         Be32(header, 16000);
         header.insert(header.end(), {8, 6, 0, 0, 0});
         codectest::AppendChunk(file, "IHDR", header);
         codectest::AppendChunk(file, "IDAT", std::vector<uint8_t>(100, 0));
         codectest::AppendChunk(file, "IEND", {});
         return file;
       },
       "are too short for a 16000x16000 image", nullptr, 0, 0, 8},
      {"TIFF read through libtiff's RGBA reader, cut in its strips", "tif",
       [] {
         const std::vector<uint8_t> whole = CmykTiff(32);
         return Cut(whole, whole.size() - 32 * 4 * 10);
       },
       "TIFF: the page could not be decoded", nullptr, 0, 0, 8},
      {"AVIF whose size property was edited to 16384 x 16384", "avif",
       [] {
         Image picture;
         codectest::MakePicture(256, 192, PixelFormat::R8G8B8, picture);
         CodecOptions options = CurrentOptions();
         options.avif.speed = 9;
         std::vector<uint8_t> file = codectest::SaveImageBytes("avif", picture, options);
         const uint8_t type[4] = {'i', 's', 'p', 'e'};
         const auto box = std::search(file.begin(), file.end(), type, type + 4);
         if (box == file.end()) return std::vector<uint8_t>();
         for (int offset : {8, 12}) std::memcpy(&box[offset], "\x00\x00\x40\x00", 4);
         return file;
       },
       "AVIF: the size property of a picture (16384 x 16384) disagrees with its coded picture (256 x 192)", nullptr,
       0, 0, 16},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<uint8_t> bytes = row.bytes();
    ASSERT_FALSE(bytes.empty());
    CodecOptions options = CurrentOptions();
    options.gif.loadAnimated = !row.rawFrames;
    const bool icon = std::strcmp(row.extension, "ico") == 0;
    const auto load = [&](std::vector<Image>& images) {
      MemoryStream stream = MemoryStream::ViewOf(bytes);
      if (!icon) return codectest::CodecFor(row.extension).LoadFromStream(stream, images, true, options);
      formats::LoadIconPicture(stream, images.emplace_back());
      return true;
    };
    const Outcome start = LoadInChild([](std::vector<Image>&) { return false; });
    const Outcome outcome = LoadInChild(load);

    if (row.error) {
      EXPECT_FALSE(outcome.loaded);
      EXPECT_NE(outcome.error.find(row.error), std::string::npos) << outcome.error;
    } else {
      ASSERT_TRUE(outcome.loaded) << outcome.error;
      EXPECT_EQ(outcome.width, row.width);
      EXPECT_EQ(outcome.height, row.height);
    }
    EXPECT_EQ(outcome.warnings, row.warning ? std::vector<std::string>{row.warning} : std::vector<std::string>{});
    if (!kAddressSanitizer) {
      EXPECT_LT(outcome.peakKb - start.peakKb, row.peakMb * 1024)
          << "the load took " << (outcome.peakKb - start.peakKb) / 1024 << " MB";
    }

    if (row.whole) {
      // The rows the data hold are those of the whole file; the rest is the missing part.
      const std::vector<uint8_t> whole = Reference(row.extension, row.whole());
      const size_t rowBytes = size_t(row.width) * 4;
      ASSERT_EQ(whole.size(), rowBytes * size_t(row.height));
      ASSERT_EQ(outcome.pixels.size(), whole.size());
      int32_t kept = 0;
      while (kept < row.height && std::memcmp(outcome.pixels.data() + size_t(kept) * rowBytes,
                                              whole.data() + size_t(kept) * rowBytes, rowBytes) == 0)
        ++kept;
      EXPECT_GE(kept, row.rowsKept);
      EXPECT_LT(kept, row.height);
      // The last row: Targa's missing part is black, GIF's shows the background colour (green).
      const uint8_t missing[4] = {0, uint8_t(row.extension[0] == 'g' ? 255 : 0), 0, 255};
      for (size_t x = 0; x < size_t(row.width); ++x)
        EXPECT_EQ(std::memcmp(outcome.pixels.data() + whole.size() - rowBytes + x * 4, missing, 4), 0) << x;
    }
  }
}
