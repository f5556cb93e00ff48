#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>

#include "tests/imaging/CodecTestHelpers.h"
#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"
#include "imaging/formats/Icon.h"

using namespace imaging;
using namespace imaging::formats;
namespace fs = std::filesystem;

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  Put16(v, at, x & 0xFFFF);
  Put16(v, at + 2, x >> 16);
}

// The image data of one entry: bitmap header, palette, colour bitmap and AND mask. `color`
// gives the palette index (1 to 8 bits) or the 0xAARRGGBB colour of a pixel; `masked` its mask bit.
std::vector<uint8_t> BitmapData(int32_t w, int32_t h, int bits, const std::function<uint32_t(int, int)>& color,
                                const std::function<bool(int, int)>& masked) {
  const size_t colors = bits <= 8 ? size_t(1) << bits : 0;
  const size_t xorStride = (size_t(w) * bits + 31) / 32 * 4;
  const size_t andStride = (size_t(w) + 31) / 32 * 4;
  std::vector<uint8_t> d(40 + colors * 4 + (xorStride + andStride) * size_t(h), 0);
  Put32(d, 0, 40);
  Put32(d, 4, uint32_t(w));
  Put32(d, 8, uint32_t(h * 2));
  Put16(d, 12, 1);
  Put16(d, 14, uint32_t(bits));
  for (size_t i = 0; i < colors; ++i) {  // palette entry i: B = i, G = 255 - i, R = 7
    d[40 + i * 4] = uint8_t(i);
    d[41 + i * 4] = uint8_t(255 - i);
    d[42 + i * 4] = 7;
  }
  uint8_t* xorBits = d.data() + 40 + colors * 4;
  uint8_t* andBits = xorBits + xorStride * size_t(h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = xorBits + size_t(h - 1 - y) * xorStride;
    for (int x = 0; x < w; ++x) {
      const uint32_t c = color(x, y);
      if (bits <= 8) {
        const size_t bit = size_t(x) * bits;
        row[bit / 8] |= uint8_t(c << (8 - bits - bit % 8));
      } else {
        for (int k = 0; k < bits / 8; ++k) row[size_t(x) * (bits / 8) + k] = uint8_t(c >> (8 * k));
      }
      if (masked(x, y)) andBits[size_t(h - 1 - y) * andStride + size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    }
  }
  return d;
}

struct Entry {
  uint8_t width, height;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> IconFile(const std::vector<Entry>& entries, uint16_t kind = 1) {
  std::vector<uint8_t> f(6 + 16 * entries.size(), 0);
  Put16(f, 2, kind);
  Put16(f, 4, uint32_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    f[6 + i * 16] = entries[i].width;
    f[7 + i * 16] = entries[i].height;
    Put32(f, 14 + i * 16, uint32_t(entries[i].data.size()));
    Put32(f, 18 + i * 16, uint32_t(f.size()));
    f.insert(f.end(), entries[i].data.begin(), entries[i].data.end());
  }
  return f;
}

Entry Plain(int32_t size, int bits) {
  return {uint8_t(size), uint8_t(size),
          BitmapData(size, size, bits, [bits](int x, int) { return bits <= 8 ? uint32_t(x % 2) : 0xFF102030u; },
                     [](int, int) { return false; })};
}

// What the program loads from an icon file in memory: the richest image, drawn. The program
// decodes that one entry alone; the list of every image, sorted and drawn, gives the same
// picture, and the header read its size.
void LoadIcon(const std::vector<uint8_t>& bytes, Image& image) {
  IconCursorList list;
  list.LoadFromBytes(bytes);
  list.Sort(IconCursorList::kSortSizeFirst, IconCursorList::kSortDescending);
  list.Sort(IconCursorList::kSortColorTypeFirst, IconCursorList::kSortDescending);
  ASSERT_TRUE(CreateImage(list[0].DrawWidth(), list[0].DrawHeight(), PixelFormat::A8R8G8B8, image));
  list[0].Draw(image, 0, 0);

  Image chosen;
  MemoryStream stream = MemoryStream::ViewOf(bytes);
  LoadIconPicture(stream, chosen);
  ASSERT_EQ(chosen.Width(), image.Width());
  ASSERT_EQ(chosen.Height(), image.Height());
  EXPECT_EQ(std::memcmp(chosen.Bits(), image.Bits(), size_t(image.Size())), 0);
  MemoryStream again = MemoryStream::ViewOf(bytes);
  const ImageHeader header = ReadIconHeader(again);
  EXPECT_EQ(header.Width, image.Width());
  EXPECT_EQ(header.Height, image.Height());
}

// What the program's load of an icon file in memory raises, or "(no error)".
std::string ProgramLoadError(const std::vector<uint8_t>& bytes) {
  return codectest::ErrorOf([&] {
    MemoryStream stream = MemoryStream::ViewOf(bytes);
    Image image;
    LoadIconPicture(stream, image);
  });
}

std::string IconError(const std::vector<uint8_t>& bytes) {
  return codectest::ErrorOf([&] {
    IconCursorList list;
    list.LoadFromBytes(bytes);
  });
}

// Loads a corpus icon with the program's function and a one-entry copy of the chosen entry
// with ImageMagick (which would otherwise read the file's first entry).
void CompareWithImageMagick(const fs::path& file, const testsupport::TempDir& dir) {
  SCOPED_TRACE(file.string());
  IconCursorList list;
  list.LoadFromFile(file.string());
  list.Sort(IconCursorList::kSortSizeFirst, IconCursorList::kSortDescending);
  list.Sort(IconCursorList::kSortColorTypeFirst, IconCursorList::kSortDescending);
  const IconDirEntry& chosen = list[0].Entry();
  const fs::path single = codectest::WriteTemp(dir, "single.ico", IconFile({{chosen.Width, chosen.Height, list[0].Data()}}));
  Image actual, expected;
  ASSERT_TRUE(engine::LoadImageFile(file.string(), actual));
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(single, expected));
  EXPECT_EQ(codectest::CompareVisible(expected, actual), "");
}

// Decodes PNG bytes with libpng's simplified reader into A8R8G8B8 (its BGRA byte order).
bool DecodeWithLibpng(const std::vector<uint8_t>& bytes, Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return false;
  png.format = PNG_FORMAT_BGRA;
  if (!CreateImage(int32_t(png.width), int32_t(png.height), PixelFormat::A8R8G8B8, image)) {
    png_image_free(&png);
    return false;
  }
  const bool ok = png_image_finish_read(&png, nullptr, image.Bits(), 0, nullptr) != 0;
  png_image_free(&png);
  return ok;
}

// The stored data of one directory entry of an icon file.
std::vector<uint8_t> EntryData(const std::vector<uint8_t>& file, size_t index) {
  const uint8_t* e = file.data() + 6 + index * 16;
  const size_t size = e[8] | e[9] << 8 | e[10] << 16 | size_t(e[11]) << 24;
  const size_t offset = e[12] | e[13] << 8 | e[14] << 16 | size_t(e[15]) << 24;
  return std::vector<uint8_t>(file.begin() + long(offset), file.begin() + long(offset + size));
}

// A PNG file of a picture in the given format, written by our PNG codec.
std::vector<uint8_t> PngData(int32_t size, PixelFormat format) {
  Image picture;
  EXPECT_TRUE(CreateImage(size, size, PixelFormat::A8R8G8B8, picture));
  for (int32_t y = 0; y < size; ++y)
    for (int32_t x = 0; x < size; ++x) SetPixel32(picture, x, y, MakeColor32(uint8_t(255 - x), uint8_t(x * 9), 40, uint8_t(y * 7)));
  EXPECT_TRUE(ConvertImageFormat(picture, format));
  return codectest::SaveBytes("png", picture);
}

}  // namespace

TEST(Icon, PngImagesDecodeLikeLibpng) {
  VEXILO_REQUIRE_CORPUS();
  // Icons of one PNG image, against the reference rendering.
  for (const char* name : {"png-32bpp-alpha.ico", "png_l8.ico", "png_rgb8.ico", "lenient-bpp.ico"}) {
    SCOPED_TRACE(name);
    Image actual, expected;
    ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile(std::string("image-rs-tests/images/ico/images/") + name).string(), actual));
    ASSERT_TRUE(DecodeWithLibpng(
        testsupport::ReadFileBytes(testsupport::CorpusFile(std::string("image-rs-tests/reference/ico/images/") + name + ".png")),
        expected));
    EXPECT_EQ(codectest::CompareVisible(expected, actual), "");
  }
  // The 256-pixel PNG image of pillow.ico is richer than its four bitmaps (48 pixels and
  // less); hopper_draw.ico holds one PNG image. Either way the picture is that PNG file's.
  for (const char* name : {"pillow-tests/pillow.ico", "pillow-tests/hopper_draw.ico"}) {
    SCOPED_TRACE(name);
    Image actual, expected;
    ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile(name).string(), actual));
    ASSERT_TRUE(DecodeWithLibpng(EntryData(testsupport::ReadFileBytes(testsupport::CorpusFile(name)), 0), expected));
    EXPECT_EQ(codectest::CompareVisible(expected, actual), "");
  }
  Image pillow;
  ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile("pillow-tests/pillow.ico").string(), pillow));
  EXPECT_EQ(pillow.Width(), 256);
}

TEST(Icon, EntriesThatAreNoSoundBitmapOrPngFail) {
  const std::vector<uint8_t> png = PngData(8, PixelFormat::A8R8G8B8);
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* message;
  };
  std::vector<uint8_t> truncated(png.begin(), png.begin() + 40);
  std::vector<uint8_t> zeroWidth = png;
  std::fill(zeroWidth.begin() + 16, zeroWidth.begin() + 20, 0);
  std::vector<uint8_t> garbled = png;
  for (size_t i = 60; i < garbled.size() - 20; ++i) garbled[i] = uint8_t(i * 37);
  const Case cases[] = {
      {"JPEG data", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0},
       "Image 2 of the icon file is neither a Windows bitmap nor a PNG image."},
      {"a PNG signature alone", std::vector<uint8_t>(png.begin(), png.begin() + 8), "PNG image 2 of the icon file cannot be read: "},
      {"PNG cut after its header", truncated, "PNG image 2 of the icon file cannot be read: "},
      {"PNG of width 0", zeroWidth, "PNG image 2 of the icon file cannot be read: "},
      {"PNG with garbled image data", garbled, "PNG image 2 of the icon file cannot be read: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The other, sound image does not save the file.
    const std::string error = IconError(IconFile({Plain(16, 32), {16, 16, c.data}}));
    EXPECT_EQ(error.rfind("Some icons could not be loaded due to the following errors: \r\n", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(Icon, CorpusFilesDecodeLikeTheReference) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  // Files whose reference rendering shows the image the program chooses.
  for (const char* name : {"bmp-24bpp-mask.ico", "bmp-32bpp-alpha.ico", "multiple_entries_with_different_bit_depth.ico",
                           "smile.ico", "two-entry-order-test.ico"}) {
    SCOPED_TRACE(name);
    Image actual, expected;
    ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile(std::string("image-rs-tests/images/ico/images/") + name).string(), actual));
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(
        testsupport::CorpusFile(std::string("image-rs-tests/reference/ico/images/") + name + ".png"), expected));
    EXPECT_EQ(codectest::CompareVisible(expected, actual), "");
  }
  Image mask, maskReference;
  ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile("pillow-tests/hopper_mask.ico").string(), mask));
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(testsupport::CorpusFile("pillow-tests/hopper_mask.png"), maskReference));
  EXPECT_EQ(codectest::CompareVisible(maskReference, mask), "");

  // A version 5 bitmap header with an embedded profile and no mask (ImageMagick takes the
  // header for 40 bytes long); the picture is bmpsuite's rgb24.
  Image v5, v5Reference;
  ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile("image-rs-tests/images/ico/images/bmp_v5_with_icc.ico").string(), v5));
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(testsupport::CorpusFile("bmpsuite/html/rgb24.png"), v5Reference));
  EXPECT_EQ(codectest::CompareVisible(v5Reference, v5), "");

  testsupport::TempDir dir;
  for (const char* name : {"pillow-tests/black_and_white.ico", "pillow-tests/deerstalker.cur", "pillow-tests/hopper.ico",
                           "pillow-tests/hopper_256x256.ico", "pillow-tests/python.ico",
                           "image-rs-tests/images/ico/images/bmp-32bpp-conflicting-and-mask.ico",
                           "image-rs-tests/images/ico/images/truncated_mask_32bpp.ico",
                           // Bitmaps whose directory entry states fewer bytes than they hold: 1 x 4
                           // cursors that state only header and colours, an icon stating half
                           "pillow-tests/mask_1.cur", "pillow-tests/mask_L.cur",
                           "image-rs-tests/bad/ico/Bad_smile-incorrect-image-length.ico"})
    CompareWithImageMagick(testsupport::CorpusFile(name), dir);
}

TEST(Icon, CorpusIconsGiveTheListsChoiceAndPixels) {
  VEXILO_REQUIRE_CORPUS();
  // Every icon and cursor of the corpus that the list of all images reads: the program's load,
  // which decodes the chosen entry alone, gives the same picture.
  int compared = 0;
  for (const char* folder : {"pillow-tests", "image-rs-tests"})
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::CorpusFile(folder))) {
      if (!entry.is_regular_file() || !engine::IsIconPath(entry.path().string())) continue;
      const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(entry.path());
      if (IconError(bytes) != "(no error)") continue;
      SCOPED_TRACE(entry.path().string());
      Image image;
      LoadIcon(bytes, image);
      ++compared;
    }
  EXPECT_GE(compared, 20);
}

TEST(Icon, BadFilesFail) {
  VEXILO_REQUIRE_CORPUS();
  struct Case {
    const char* file;
    const char* message;
  };
  const char* png = "PNG image 1 of the icon file cannot be read: ";
  const char* corrupt = "Can not load icon from file: The file could be corrupt.";
  const Case cases[] = {
      {"image-rs-tests/regression/ico/crash-981fee302fe0fc543ee48292cc3d6ace7e97e633.ico", corrupt},
      {"image-rs-tests/regression/ico/oom-ff076e7064c13ec1f8e2c5bbbfb7a77a08db2361.ico", corrupt},
      {"image-rs-tests/regression/ico/oom-0d0085eb7f66ea55d9119206235cd29e089b9140.ico", png},
      {"pillow-tests/decompression_bomb.ico", "exceed the supported maximum"},
      {"pillow-tests/no_cursors.cur", "Not a valid icon file header."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Image image;
    const std::string error =
        codectest::ErrorOf([&] { engine::LoadImageFile(testsupport::CorpusFile(c.file).string(), image); });
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    if (std::strcmp(c.message, "Not a valid icon file header.") != 0) {
      EXPECT_EQ(error.rfind("Some icons could not be loaded due to the following errors: \r\n", 0), 0u) << error;
    }
    EXPECT_EQ(image.Bits(), nullptr);
  }
}

TEST(Icon, HeaderChecks) {
  const std::vector<uint8_t> good = IconFile({Plain(16, 32)});
  EXPECT_EQ(IconError(good), "(no error)");
  for (auto change : std::vector<std::function<void(std::vector<uint8_t>&)>>{
           [](auto& f) { f[2] = 3; },                  // type 3
           [](auto& f) { f[0] = 1; },                  // reserved not 0
           [](auto& f) { f[4] = 0; },                  // no images
           [](auto& f) { f[4] = 65; },                 // more than 64
           [](auto& f) { f.resize(5); }}) {            // shorter than a header
    std::vector<uint8_t> bad = good;
    change(bad);
    EXPECT_EQ(IconError(bad), "Not a valid icon file header.");
  }
  // A directory that promises more images than the file holds.
  std::vector<uint8_t> truncated = good;
  truncated[4] = 2;
  EXPECT_NE(IconError(truncated).find("Can not load icon from file"), std::string::npos);
}

TEST(Icon, TheRichestImageIsChosen) {
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    int32_t width;
  };
  const Case cases[] = {
      {"32-bit 32 beats 4-bit 16", {Plain(16, 4), Plain(32, 32)}, 32},
      {"32-bit 16 beats 8-bit 32", {Plain(32, 8), Plain(16, 32)}, 16},
      {"larger of equal depth", {Plain(16, 24), Plain(48, 24), Plain(32, 24)}, 48},
      {"1-bit only", {Plain(16, 1), Plain(24, 1)}, 24},
      // PNG images rank by their kind: alpha as 32 bits, truecolour as 24, palette by depth.
      {"32-bit PNG beats 24-bit bitmap", {Plain(48, 24), {32, 32, PngData(32, PixelFormat::A8R8G8B8)}}, 32},
      {"24-bit PNG loses to 32-bit bitmap", {{48, 48, PngData(48, PixelFormat::R8G8B8)}, Plain(16, 32)}, 16},
      {"8-bit PNG loses to 24-bit bitmap", {{48, 48, PngData(48, PixelFormat::Index8)}, Plain(24, 24)}, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image image;
    LoadIcon(IconFile(c.entries), image);
    EXPECT_EQ(image.Width(), c.width);
  }
  // A 256-pixel image (size bytes 0) counts with its own size.
  Entry big = Plain(0, 32);
  big.data = BitmapData(256, 256, 32, [](int, int) { return 0xFF000000u; }, [](int, int) { return false; });
  Image chosen;
  LoadIcon(IconFile({Plain(48, 32), big, Plain(128, 32)}), chosen);
  EXPECT_EQ(chosen.Width(), 256);
  Image alone;
  LoadIcon(IconFile({big}), alone);
  EXPECT_EQ(alone.Width(), 256);
  EXPECT_EQ(alone.Height(), 256);
}

TEST(Icon, PixelsMaskAndAlpha) {
  auto color = [](int x, int y) { return uint32_t(x + 2 * y) % 4; };
  auto masked = [](int x, int y) { return x == 1 && y == 0; };
  Image indexed;
  LoadIcon(IconFile({{4, 2, BitmapData(4, 2, 4, color, masked)}}), indexed);
  EXPECT_EQ(GetPixel32(indexed, 0, 0), MakeColor32(255, 7, 255, 0));  // palette entry 0
  EXPECT_EQ(GetPixel32(indexed, 1, 0), 0u);                           // masked
  EXPECT_EQ(GetPixel32(indexed, 1, 1), MakeColor32(255, 7, 252, 3));  // palette entry 3

  // A 32-bit bitmap with alpha keeps it and ignores the mask; one without alpha uses the mask.
  Image withAlpha, withoutAlpha;
  LoadIcon(IconFile({{2, 1, BitmapData(2, 1, 32, [](int x, int) { return x ? 0x80102030u : 0x00405060u; },
                                       [](int, int) { return true; })}}),
           withAlpha);
  EXPECT_EQ(GetPixel32(withAlpha, 0, 0), 0x00405060u);
  EXPECT_EQ(GetPixel32(withAlpha, 1, 0), 0x80102030u);
  LoadIcon(IconFile({{2, 1, BitmapData(2, 1, 32, [](int, int) { return 0x00102030u; },
                                       [](int x, int) { return x == 0; })}}),
           withoutAlpha);
  EXPECT_EQ(GetPixel32(withoutAlpha, 0, 0), 0u);
  EXPECT_EQ(GetPixel32(withoutAlpha, 1, 0), 0xFF102030u);

  // An entry whose size differs from its bitmap's is stretched to the entry's size.
  Image stretched;
  LoadIcon(IconFile({{4, 4, BitmapData(2, 2, 24, [](int x, int y) { return x + y == 0 ? 0xFFu : 0xFF00u; },
                                       [](int, int) { return false; })}}),
           stretched);
  EXPECT_EQ(stretched.Width(), 4);
  EXPECT_EQ(GetPixel32(stretched, 1, 1), 0xFF0000FFu);
  EXPECT_EQ(GetPixel32(stretched, 2, 1), 0xFF00FF00u);
}

TEST(Icon, OnlyTheChosenEntryIsDecoded) {
  const std::vector<uint8_t> png = PngData(8, PixelFormat::Index8);
  std::vector<uint8_t> garbled = png;
  for (size_t i = 60; i < garbled.size() - 20; ++i) garbled[i] = uint8_t(i * 37);
  // A damaged 8-bit PNG image beside a 32-bit bitmap is never decoded by the program's load,
  // which takes the bitmap; the list, which decodes every image, refuses the file.
  const std::vector<uint8_t> file = IconFile({{8, 8, garbled}, Plain(16, 32)});
  EXPECT_EQ(ProgramLoadError(file), "(no error)");
  EXPECT_NE(IconError(file), "(no error)");
  // Chosen, the same image fails the file with the list's message.
  const std::string chosen = ProgramLoadError(IconFile({{8, 8, garbled}, Plain(16, 4)}));
  EXPECT_EQ(chosen.rfind("Some icons could not be loaded due to the following errors: \r\n"
                         "PNG image 1 of the icon file cannot be read: ",
                         0),
            0u)
      << chosen;
  // A defect any entry's header shows fails the file, whichever entry is chosen.
  Entry sixteen = Plain(16, 4);
  Put16(sixteen.data, 14, 16);
  EXPECT_EQ(ProgramLoadError(IconFile({Plain(16, 32), sixteen})),
            "Some icons could not be loaded due to the following errors: \r\n"
            "Invalid color depth in bitmap header: (BPP = 16)\r\n");
  // Entries that repeat one image, overlap or point at another entry's data are each judged
  // by their own header.
  std::vector<uint8_t> repeated = IconFile({Plain(16, 24), Plain(32, 32)});
  std::copy(repeated.begin() + 6 + 16 + 8, repeated.begin() + 6 + 32, repeated.begin() + 6 + 8);
  Image image;
  LoadIcon(repeated, image);
  EXPECT_EQ(image.Width(), 32);
}

TEST(Icon, DefectsOfOneEntryAreCollected) {
  Entry sixteen = Plain(16, 32);
  Put16(sixteen.data, 14, 16);
  Entry cut = Plain(16, 8);
  cut.data.resize(100);
  const std::string error = IconError(IconFile({Plain(16, 32), sixteen, cut}));
  EXPECT_EQ(error,
            "Some icons could not be loaded due to the following errors: \r\n"
            "Invalid color depth in bitmap header: (BPP = 16)\r\n"
            "Can not load icon from file: The file could be corrupt.\r\n");
}

TEST(Icon, WrittenIconsReadBack) {
  // A picture whose bottom-left pixel is white: every white pixel becomes transparent.
  Image picture;
  ASSERT_TRUE(CreateImage(5, 3, PixelFormat::A8R8G8B8, picture));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) SetPixel32(picture, x, y, (x + y) % 2 ? 0xFFFFFFFF : MakeColor32(255, uint8_t(x * 50), 9, uint8_t(y * 80)));
  SetPixel32(picture, 0, 2, 0xFFFFFFFF);
  SetPixel32(picture, 3, 0, 0x80FFFFFF);  // white by colour, whatever its alpha
  const std::vector<uint8_t> bytes = EncodeIconFile(picture);
  EXPECT_EQ(bytes[2], 1);  // an icon
  EXPECT_EQ(bytes[4], 1);  // one image
  EXPECT_EQ(bytes[6], 5);
  EXPECT_EQ(bytes[7], 3);
  EXPECT_EQ(bytes[12], 32);  // bits per pixel

  Image expected;
  ASSERT_TRUE(CopyImage(picture, expected));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x)
      if ((GetPixel32(expected, x, y) & 0xFFFFFF) == 0xFFFFFF) SetPixel32(expected, x, y, 0x00FFFFFF);
  Image back;
  LoadIcon(bytes, back);
  EXPECT_EQ(codectest::CompareVisible(expected, back), "");

  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  testsupport::TempDir dir;
  Image decoded;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(codectest::WriteTemp(dir, "out.ico", bytes), decoded));
  EXPECT_EQ(codectest::CompareVisible(expected, decoded), "");
}

TEST(Icon, PicturesUpTo256Pixels) {
  // 256 pixels are stated by the size byte 0; more cannot be stated and are refused.
  Image picture;
  ASSERT_TRUE(CreateImage(256, 100, PixelFormat::A8R8G8B8, picture));
  for (int32_t y = 0; y < picture.Height(); ++y)
    for (int32_t x = 0; x < picture.Width(); ++x) SetPixel32(picture, x, y, MakeColor32(255, uint8_t(x), uint8_t(y), 7));
  const std::vector<uint8_t> bytes = EncodeIconFile(picture);
  EXPECT_EQ(bytes[6], 0);
  EXPECT_EQ(bytes[7], 100);
  Image expected;
  ASSERT_TRUE(CopyImage(picture, expected));
  SetPixel32(expected, 0, 99, 0x00000000);  // the bottom-left colour is transparent
  Image back;
  LoadIcon(bytes, back);
  EXPECT_EQ(codectest::CompareVisible(expected, back), "");

  Image wide;
  ASSERT_TRUE(CreateImage(257, 1, PixelFormat::A8R8G8B8, wide));
  EXPECT_EQ(codectest::ErrorOf([&] { EncodeIconFile(wide); }),
            "An icon can hold at most 256 x 256 pixels; this picture has 257 x 1.");

  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  testsupport::TempDir dir;
  Image decoded;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(codectest::WriteTemp(dir, "big.ico", bytes), decoded));
  EXPECT_EQ(codectest::CompareVisible(expected, decoded), "");
}

TEST(Icon, ListOperations) {
  IconCursorList list;
  int changes = 0;
  list.OnChange = [&] { ++changes; };
  list.LoadFromBytes(IconFile({Plain(16, 4), Plain(32, 32)}, 2));
  EXPECT_EQ(list.FileKind, IconCursorList::kKindCursor);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0].GetInfo().BitCount, 4);
  EXPECT_GT(changes, 0);
  EXPECT_EQ(codectest::ErrorOf([&] { list.Delete(2); }), "Icon list index out of bounds: (2)");
  EXPECT_EQ(codectest::ErrorOf([&] { list.Insert(0, nullptr); }), "Can not add Nil entries to icon list.");

  IconCursorList copy;
  copy.Assign(list);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy[1].Owner(), &copy);
  const IconCursorImage* second = &copy[1];
  EXPECT_EQ(copy.Remove(second), 1);
  EXPECT_EQ(copy.IndexOf(second), -1);

  // The list writes what it read: a cursor stays a cursor.
  IconCursorList again;
  again.LoadFromBytes(list.SaveToBytes());
  EXPECT_EQ(again.FileKind, IconCursorList::kKindCursor);
  EXPECT_EQ(again.Count(), 2);
  EXPECT_EQ(again[1].Data(), list[1].Data());
  list.Clear();
  EXPECT_EQ(codectest::ErrorOf([&] { list.SaveToBytes(); }),
            "In order to save an icon file, there must at least be one icon in the list.");
}
