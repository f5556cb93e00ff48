// Colour profiles: carried byte for byte through every codec that holds one, damaged ones left
// out with a warning, the header test, and the conversion to sRGB against Little CMS itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/ColorProfile.h"
#include "imaging/PixelFormats.h"
#include "imaging/formats/Heif.h"
#include "tests/imaging/CodecTestHelpers.h"
#include "tests/imaging/CodecTestSupport.h"

using namespace imaging;
using namespace imaging::formats;
namespace fs = std::filesystem;

namespace {

// The codecs that embed a profile; HEIC only where libheif can write it.
std::vector<std::string> ProfileCodecs(std::vector<std::string> extensions) {
  if (HeifCanWrite()) extensions.push_back("heic");
  return extensions;
}

ColorProfile Profile(std::vector<uint8_t> bytes) {
  ColorProfile profile = MakeColorProfile(std::move(bytes));
  EXPECT_TRUE(profile) << "the test profile is not usable";
  return profile;
}

std::vector<uint8_t> SaveWithProfile(const std::string& extension, const Image& image, const ColorProfile& profile) {
  CodecOptions options = CurrentOptions();
  options.profile = profile;
  MemoryStream stream;
  EXPECT_TRUE(SaveImageToStream(extension, stream, image, options)) << extension;
  return stream.Data();
}

// What a load of the bytes reports: the profile (null for none) and the warnings.
struct Loaded {
  bool ok = false;
  ColorProfile profile;
  std::vector<std::string> warnings;
};
Loaded LoadWithFacts(const std::string& extension, const std::vector<uint8_t>& bytes) {
  Loaded result;
  LoadWarnings warnings;
  MemoryStream stream(bytes);
  std::vector<Image> images;
  LoadFacts facts;
  try {
    result.ok = codectest::CodecFor(extension.c_str()).LoadFromStream(stream, images, true, CurrentOptions(), &facts);
  } catch (const ImagingError& e) {
    ADD_FAILURE() << extension << ": " << e.what();
  }
  result.profile = facts.profile;
  result.warnings = warnings.Texts();
  return result;
}

// The bytes with every "acsp" (the profile signature) made unreadable.
std::vector<uint8_t> WithoutSignature(std::vector<uint8_t> bytes) {
  for (size_t i = 0; i + 4 <= bytes.size(); ++i)
    if (std::memcmp(&bytes[i], "acsp", 4) == 0) bytes[i] = 'x';
  return bytes;
}

// An APP2 ICC chunk: number, count and data.
std::vector<uint8_t> IccSegment(uint8_t number, uint8_t count, const std::vector<uint8_t>& data) {
  const uint8_t head[] = {0xFF, 0xE2, 0, 0, 'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, number, count};
  // Sized once and filled: growing a vector of the head's size by the data makes GCC 12 at -O3
  // see a copy beyond the old buffer (a false -Warray-bounds).
  std::vector<uint8_t> s(sizeof head + data.size());
  std::copy(std::begin(head), std::end(head), s.begin());
  std::copy(data.begin(), data.end(), s.begin() + sizeof head);
  const size_t length = s.size() - 2;
  s[2] = static_cast<uint8_t>(length >> 8);
  s[3] = static_cast<uint8_t>(length);
  return s;
}

std::vector<uint8_t> WithSegmentsAfterSoi(const std::vector<uint8_t>& jpeg, const std::vector<std::vector<uint8_t>>& segments) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  for (const auto& s : segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// A PNG file with the data of its iCCP chunk replaced (and the chunk added after IHDR when
// there is none).
std::vector<uint8_t> WithProfileChunk(const std::vector<uint8_t>& png, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(png.begin(), png.begin() + 8);
  for (const codectest::Chunk& chunk : codectest::ListChunks(png)) {
    if (chunk.type == "iCCP") continue;
    codectest::AppendChunk(out, chunk.type.c_str(), chunk.data);
    if (chunk.type == "IHDR") codectest::AppendChunk(out, "iCCP", data);
  }
  return out;
}

std::vector<uint8_t> ProfileChunkData(const std::string& name, uint8_t method, const std::vector<uint8_t>& deflated) {
  std::vector<uint8_t> data(name.begin(), name.end());
  data.push_back(0);
  data.push_back(method);
  data.insert(data.end(), deflated.begin(), deflated.end());
  return data;
}

void MakeGradient(PixelFormat format, Image& image) {
  ASSERT_TRUE(CreateImage(32, 8, format, image));
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 32; ++x)
      SetPixel32(image, x, y, MakeColor32(static_cast<uint8_t>(255 - y * 20), static_cast<uint8_t>(x * 8),
                                          static_cast<uint8_t>(255 - x * 8), static_cast<uint8_t>(y * 32 + x)));
}

}  // namespace

TEST(ColorProfile, EveryCodecThatHoldsOneCarriesItByteForByte) {
  // Large enough for three JPEG segments.
  const ColorProfile profile = Profile(testsupport::DisplayP3Profile(150000));
  ASSERT_GT(profile->size(), 2u * 65519u);
  Image colour, gray;
  MakeGradient(PixelFormat::A8R8G8B8, colour);
  MakeGradient(PixelFormat::Gray8, gray);
  testsupport::TempDir dir;
  for (const std::string& extension : ProfileCodecs({"jpg", "png", "tif", "webp", "jng", "avif", "psd", "jp2"})) {
    const std::vector<uint8_t> bytes = SaveWithProfile(extension, colour, profile);
    const Loaded loaded = LoadWithFacts(extension, bytes);
    ASSERT_TRUE(loaded.ok) << extension;
    ASSERT_TRUE(loaded.profile) << extension;
    EXPECT_EQ(*loaded.profile, *profile) << extension;
    EXPECT_TRUE(loaded.warnings.empty()) << extension;
    if (testsupport::HaveTool("exiftool") && extension != "jng") {
      const fs::path file = codectest::WriteTemp(dir, "p3." + extension, bytes);
      std::string extracted;
      testsupport::RunCommand("exiftool -b -ICC_Profile '" + file.string() + "'", &extracted);
      EXPECT_TRUE(extracted == std::string(profile->begin(), profile->end())) << extension << ": exiftool reads "
                                                                               << extracted.size() << " bytes";
    }
    // An RGB profile does not describe gray pixels: a gray output gets none (WebP, AVIF and
    // HEIC store gray pictures as colour ones).
    if (extension != "webp" && extension != "avif" && extension != "heic") {
      EXPECT_FALSE(LoadWithFacts(extension, SaveWithProfile(extension, gray, profile)).profile) << extension;
    }
  }
  // A gray profile goes with gray pixels only; PSD writes one-channel floats as a gray document.
  const ColorProfile grayProfile = Profile(testsupport::GrayProfile(2.2));
  Image floats;
  MakeGradient(PixelFormat::R32F, floats);
  for (const std::string extension : {"jpg", "png", "tif", "psd", "jp2"}) {
    const Loaded loaded = LoadWithFacts(extension, SaveWithProfile(extension, gray, grayProfile));
    ASSERT_TRUE(loaded.profile) << extension;
    EXPECT_EQ(*loaded.profile, *grayProfile) << extension;
    EXPECT_FALSE(LoadWithFacts(extension, SaveWithProfile(extension, colour, grayProfile)).profile) << extension;
  }
  const Loaded grayFloats = LoadWithFacts("psd", SaveWithProfile("psd", floats, grayProfile));
  ASSERT_TRUE(grayFloats.profile);
  EXPECT_EQ(*grayFloats.profile, *grayProfile);
  EXPECT_FALSE(LoadWithFacts("psd", SaveWithProfile("psd", floats, profile)).profile);
  // A file without a profile reports none.
  EXPECT_FALSE(LoadWithFacts("png", codectest::SaveImageBytes("png", colour)).profile);
}

TEST(ColorProfile, DamagedProfilesAreLeftOutWithAWarningAndThePictureLoads) {
  const ColorProfile profile = Profile(testsupport::DisplayP3Profile(70000));
  Image colour;
  MakeGradient(PixelFormat::R8G8B8, colour);
  // A profile whose signature is gone, in every codec.
  for (const std::string& extension : ProfileCodecs({"jpg", "tif", "webp", "avif", "psd", "jp2"})) {
    const Loaded loaded = LoadWithFacts(extension, WithoutSignature(SaveWithProfile(extension, colour, profile)));
    EXPECT_TRUE(loaded.ok) << extension;
    EXPECT_FALSE(loaded.profile) << extension;
    ASSERT_EQ(loaded.warnings.size(), 1u) << extension;
    EXPECT_NE(loaded.warnings[0].find("colour profile is damaged"), std::string::npos) << loaded.warnings[0];
  }

  // JPEG: the chunks must make one whole profile.
  const std::vector<uint8_t> plain = codectest::SaveImageBytes("jpg", colour);
  const std::vector<uint8_t> first(profile->begin(), profile->begin() + 65519);
  const std::vector<uint8_t> second(profile->begin() + 65519, profile->end());
  struct JpegCase {
    const char* what;
    std::vector<std::vector<uint8_t>> segments;
  };
  const JpegCase jpegCases[] = {
      {"a chunk missing", {IccSegment(1, 2, first)}},
      {"a chunk twice", {IccSegment(1, 2, first), IccSegment(1, 2, second)}},
      {"count 0", {IccSegment(1, 0, first)}},
      {"number beyond the count", {IccSegment(1, 2, first), IccSegment(3, 2, second)}},
      {"counts differ", {IccSegment(1, 2, first), IccSegment(2, 3, second)}},
      {"number 0", {IccSegment(0, 2, first), IccSegment(2, 2, second)}},
      {"an empty chunk", {IccSegment(1, 2, first), IccSegment(2, 2, {})}},
  };
  for (const JpegCase& c : jpegCases) {
    const Loaded loaded = LoadWithFacts("jpg", WithSegmentsAfterSoi(plain, c.segments));
    EXPECT_TRUE(loaded.ok) << c.what;
    EXPECT_FALSE(loaded.profile) << c.what;
    EXPECT_EQ(loaded.warnings.size(), 1u) << c.what;
  }
  // In any order they are one profile.
  const Loaded reordered =
      LoadWithFacts("jpg", WithSegmentsAfterSoi(plain, {IccSegment(2, 2, second), IccSegment(1, 2, first)}));
  ASSERT_TRUE(reordered.profile);
  EXPECT_EQ(*reordered.profile, *profile);

  // PNG: the name, the method and the deflated data are checked, and nothing is inflated
  // beyond the size the profile's header states or beyond the limit.
  const std::vector<uint8_t> png = codectest::SaveImageBytes("png", colour);
  std::vector<uint8_t> huge(*profile);
  huge[0] = 0x7F;  // declares almost 2 GB
  std::vector<uint8_t> big(*profile);
  big[0] = 0x00, big[1] = 0x50, big[2] = 0x00, big[3] = 0x01;  // 5 MB and a byte
  std::vector<uint8_t> deflated = codectest::Deflate(*profile);
  std::vector<uint8_t> cut(deflated.begin(), deflated.begin() + static_cast<long>(deflated.size() / 2));
  std::vector<uint8_t> garbage = deflated;
  garbage[10] ^= 0x55, garbage[11] ^= 0xAA;
  struct PngCase {
    const char* what;
    std::vector<uint8_t> data;
  };
  const PngCase pngCases[] = {
      {"no name", ProfileChunkData("", 0, deflated)},
      {"a name without its end", std::vector<uint8_t>(90, 'a')},
      {"method 1", ProfileChunkData("ICC", 1, deflated)},
      {"no data", ProfileChunkData("ICC", 0, {})},
      {"data cut short", ProfileChunkData("ICC", 0, cut)},
      {"damaged data", ProfileChunkData("ICC", 0, garbage)},
      {"a size of 2 GB", ProfileChunkData("ICC", 0, codectest::Deflate(huge))},
      {"above the limit", ProfileChunkData("ICC", 0, codectest::Deflate(big))},
      {"not a profile", ProfileChunkData("ICC", 0, codectest::Deflate(WithoutSignature(*profile)))},
  };
  for (const PngCase& c : pngCases) {
    const Loaded loaded = LoadWithFacts("png", WithProfileChunk(png, c.data));
    EXPECT_TRUE(loaded.ok) << c.what;
    EXPECT_FALSE(loaded.profile) << c.what;
    EXPECT_EQ(loaded.warnings.size(), 1u) << c.what;
  }
  const Loaded good = LoadWithFacts("png", WithProfileChunk(png, ProfileChunkData("Display P3", 0, deflated)));
  ASSERT_TRUE(good.profile);
  EXPECT_EQ(*good.profile, *profile);
}

TEST(ColorProfile, ThirdPartyFilesGiveTheProfileExiftoolReads) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("exiftool")) GTEST_SKIP() << "exiftool not installed";
  // Each folder with the codec and the bytes that mark a file holding a profile (PSD: the
  // signature and ID of its image resource).
  struct Folder {
    const char* path;
    const char* extension;
    std::string marker;
  };
  const Folder folders[] = {{"imagetestsuite/png", "png", "iCCP"},
                            {"imagetestsuite/jpg", "jpg", "ICC_PROFILE"},
                            {"psd-tools", "psd", std::string("8BIM\x04\x0F", 6)},
                            {"psd-tools/colormodes", "psd", std::string("8BIM\x04\x0F", 6)},
                            {"psd-tools/colorprofiles", "psd", std::string("8BIM\x04\x0F", 6)}};
  int compared = 0, psdCompared = 0;
  for (const Folder& folder : folders) {
    for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile(folder.path))) {
      if (!entry.is_regular_file()) continue;
      const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(entry.path());
      const std::string text(bytes.begin(), bytes.end());
      if (text.find(folder.marker) == std::string::npos) continue;
      const char* extension = folder.extension;
      LoadWarnings warnings;
      MemoryStream stream(bytes);
      std::vector<Image> images;
      LoadFacts facts;
      try {
        if (!codectest::CodecFor(extension).LoadFromStream(stream, images, true, CurrentOptions(), &facts)) continue;
      } catch (const ImagingError&) {
        continue;  // a fuzzed file whose picture is refused
      }
      std::string extracted;
      testsupport::RunCommand("exiftool -q -q -b -ICC_Profile '" + entry.path().string() + "'", &extracted);
      const std::string ours = facts.profile ? std::string(facts.profile->begin(), facts.profile->end()) : "";
      // exiftool hands out what it finds; we keep only profiles whose header is sound.
      if (!ours.empty() || ColorSpaceOfProfile(reinterpret_cast<const uint8_t*>(extracted.data()), extracted.size()) !=
                               ProfileColorSpace::Unusable) {
        EXPECT_EQ(ours.size(), extracted.size()) << entry.path();
        EXPECT_TRUE(ours == extracted) << entry.path();
        ++compared;
        if (folder.extension == std::string("psd")) ++psdCompared;
      }
    }
  }
  EXPECT_GE(compared, 10);
  EXPECT_GE(psdCompared, 10);
}

TEST(ColorProfile, TheHeaderDecidesWhatAProfileIsFor) {
  const std::vector<uint8_t> p3 = testsupport::DisplayP3Profile();
  const auto patched = [&](size_t at, const char* four) {
    std::vector<uint8_t> bytes = p3;
    std::memcpy(&bytes[at], four, 4);
    return bytes;
  };
  std::vector<uint8_t> padded = p3;
  padded.resize(p3.size() + 100, 0);
  std::vector<uint8_t> shortened(p3.begin(), p3.end() - 1);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ProfileColorSpace expected;
  };
  const Case cases[] = {
      {"Display P3", p3, ProfileColorSpace::Rgb},
      {"gray", testsupport::GrayProfile(1.8), ProfileColorSpace::Gray},
      {"padded behind its size", padded, ProfileColorSpace::Rgb},
      {"shorter than its size", shortened, ProfileColorSpace::Unusable},
      {"no signature", patched(36, "acsq"), ProfileColorSpace::Unusable},
      {"size below the header", patched(0, "\0\0\0\x10"), ProfileColorSpace::Unusable},
      {"CMYK", patched(16, "CMYK"), ProfileColorSpace::Other},
      {"device link", patched(12, "link"), ProfileColorSpace::Other},
      {"header only", std::vector<uint8_t>(p3.begin(), p3.begin() + 100), ProfileColorSpace::Unusable},
  };
  for (const Case& c : cases) EXPECT_EQ(ColorSpaceOfProfile(c.bytes.data(), c.bytes.size()), c.expected) << c.what;
  EXPECT_FALSE(MakeColorProfile(shortened));
  EXPECT_TRUE(MakeColorProfile(patched(16, "CMYK")));  // kept as found, embedded nowhere
  EXPECT_FALSE(ProfileFitsFormat(MakeColorProfile(patched(16, "CMYK")), PixelFormat::A8R8G8B8));
  std::vector<uint8_t> tooLarge = testsupport::DisplayP3Profile(kMaxColorProfileBytes);
  EXPECT_FALSE(MakeColorProfile(tooLarge));

  const ColorProfile rgb = MakeColorProfile(p3), gray = MakeColorProfile(testsupport::GrayProfile(2.2));
  EXPECT_TRUE(ProfileFitsFormat(rgb, PixelFormat::R8G8B8));
  EXPECT_TRUE(ProfileFitsFormat(rgb, PixelFormat::Index8));
  EXPECT_FALSE(ProfileFitsFormat(rgb, PixelFormat::A8Gray8));
  EXPECT_TRUE(ProfileFitsFormat(gray, PixelFormat::Gray16));
  EXPECT_FALSE(ProfileFitsFormat(gray, PixelFormat::A8R8G8B8));
  EXPECT_FALSE(ProfileFitsFormat(nullptr, PixelFormat::A8R8G8B8));
}

TEST(ColorProfile, ConversionToSRGBGivesWhatLittleCmsGives) {
  const std::vector<uint8_t> p3 = testsupport::DisplayP3Profile();
  Image source, expected;
  MakeGradient(PixelFormat::A8R8G8B8, source);
  ASSERT_TRUE(CopyImage(source, expected));
  testsupport::ReferenceToSRGB(expected, p3);

  std::string error;
  // Each depth as Little CMS converts it: 8-bit pixels by its 8-bit transform, floats by its float
  // one, the rest by its 16-bit one (a format it does not read through A16R16G16B16 and back).
  struct Case {
    PixelFormat format;
    PixelFormat reference;
    int tolerance;
  };
  for (const Case c : {Case{PixelFormat::A8R8G8B8, PixelFormat::A8R8G8B8, 0},
                       {PixelFormat::R8G8B8, PixelFormat::A8R8G8B8, 0},
                       {PixelFormat::A16R16G16B16, PixelFormat::A16R16G16B16, 0},
                       {PixelFormat::A16B16G16R16, PixelFormat::A16R16G16B16, 0},
                       {PixelFormat::A4R4G4B4, PixelFormat::A16R16G16B16, 0},
                       {PixelFormat::A32R32G32B32F, PixelFormat::A32R32G32B32F, 0}}) {
    Image image, reference;
    ASSERT_TRUE(CopyImage(source, image));
    ASSERT_TRUE(ConvertImageFormat(image, c.format));
    ASSERT_TRUE(CopyImage(image, reference));
    ASSERT_TRUE(ConvertToSRGB(image, p3, error)) << error;
    EXPECT_EQ(image.Format(), c.format);
    ASSERT_TRUE(ConvertImageFormat(reference, c.reference));
    testsupport::ReferenceToSRGB(reference, p3);
    ASSERT_TRUE(ConvertImageFormat(reference, c.format));
    EXPECT_EQ(codectest::ComparePixels64(reference, image, c.tolerance), "") << GetFormatName(c.format);
  }
  ASSERT_NE(testsupport::CompareImages(source, expected), "") << "P3 colours must change";

  // A palette picture has its palette converted.
  Image indexed;
  ASSERT_TRUE(CreateImage(4, 1, PixelFormat::Index8, indexed));
  Image palette;
  ASSERT_TRUE(CreateImage(256, 1, PixelFormat::A8R8G8B8, palette));
  for (int i = 0; i < 256; ++i) indexed.Palette()[i] = MakeColor32(255, uint8_t(i), uint8_t(255 - i), uint8_t(i / 2));
  std::memcpy(palette.Bits(), indexed.Palette(), 1024);
  ASSERT_TRUE(ConvertToSRGB(indexed, p3, error)) << error;
  testsupport::ReferenceToSRGB(palette, p3);
  EXPECT_EQ(std::memcmp(palette.Bits(), indexed.Palette(), 1024), 0);

  // A gray profile maps each channel to the sRGB curve; gray pixels stay gray.
  const std::vector<uint8_t> gamma18 = testsupport::GrayProfile(1.8);
  const auto expectedGray = [](int v) {
    const double linear = std::pow(v / 255.0, 1.8);
    const double encoded = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(encoded * 255));
  };
  for (const PixelFormat format : {PixelFormat::Gray8, PixelFormat::A8R8G8B8, PixelFormat::Gray16}) {
    Image image;
    ASSERT_TRUE(CreateImage(256, 1, format, image));
    for (int v = 0; v < 256; ++v) SetPixel32(image, v, 0, MakeColor32(255, uint8_t(v), uint8_t(v), uint8_t(v)));
    ASSERT_TRUE(ConvertToSRGB(image, gamma18, error)) << error;
    EXPECT_EQ(image.Format(), format);
    for (int v = 0; v < 256; v += 15) {
      const Color32 c = GetPixel32(image, v, 0);
      EXPECT_NEAR(Color32Green(c), expectedGray(v), 1) << GetFormatName(format) << " " << v;
      EXPECT_EQ(Color32Red(c), Color32Green(c));
      EXPECT_EQ(Color32Blue(c), Color32Green(c));
    }
  }
  // Gray pixels with an RGB profile become colour pixels.
  Image gray;
  MakeGradient(PixelFormat::Gray8, gray);
  ASSERT_TRUE(ConvertToSRGB(gray, p3, error)) << error;
  EXPECT_EQ(gray.Format(), PixelFormat::R8G8B8);

  // Profiles that cannot describe these pixels leave them alone and say why.
  std::vector<uint8_t> cmyk = p3, damaged = p3, unreadable = p3;
  std::memcpy(&cmyk[16], "CMYK", 4);
  damaged[36] = 'x';
  unreadable[128] = 0x7F;  // a tag count far beyond the data
  for (const auto& [what, profile, says] :
       {std::tuple{"CMYK", cmyk, "not one of RGB or gray"}, std::tuple{"damaged", damaged, "damaged"},
        std::tuple{"unreadable", unreadable, "cannot be read"}}) {
    Image image;
    ASSERT_TRUE(CopyImage(source, image));
    EXPECT_FALSE(ConvertToSRGB(image, profile, error)) << what;
    EXPECT_NE(error.find(says), std::string::npos) << what << ": " << error;
    EXPECT_EQ(testsupport::CompareImages(source, image), "") << what;
  }
}
