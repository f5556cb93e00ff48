// Photos in the conversion run: turned upright by their Exif orientation before the size is
// computed, colour profiles carried into every output type that holds one or converted to sRGB,
// and the personal metadata left out of a JPEG output when asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "engine/exif/Data.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"
#include "imaging/Codec.h"
#include "tests/engine/ExifTestHelpers.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

using namespace engine::exif;
namespace fs = std::filesystem;

namespace {

using exiftest::Entry;
using exiftest::TiffBlock;

// The four quadrants of the test photo, top-left, top-right, bottom-left, bottom-right.
constexpr imaging::Color32 kQuadrants[4] = {0xFFE01010, 0xFF10C020, 0xFF2030E0, 0xFFF0F0F0};

// Where the quadrants 1 to 4 ("12/34" as stored) stand in the upright picture.
constexpr const char* kUpright[9] = {nullptr, "12/34", "21/43", "43/21", "34/12", "13/24", "31/42", "42/31", "24/13"};

// A w x h picture of the four quadrants, as a camera would store it.
void MakeQuadrants(int32_t w, int32_t h, imaging::Image& image) {
  ASSERT_TRUE(imaging::CreateImage(w, h, imaging::PixelFormat::A8R8G8B8, image));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) imaging::SetPixel32(image, x, y, kQuadrants[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)]);
}

std::vector<uint8_t> EncodeJpeg(const imaging::Image& image, const imaging::ColorProfile& profile = nullptr) {
  imaging::CodecOptions options = imaging::CurrentOptions();
  options.jpeg.quality = 98;
  options.profile = profile;
  imaging::MemoryStream stream;
  EXPECT_TRUE(imaging::SaveImageToStream("jpg", stream, image, options));
  return stream.Data();
}

// Which quadrant each quarter of the picture shows, "?" where none is near.
std::string QuadrantLayout(const imaging::Image& image) {
  std::string text;
  for (int row = 0; row < 2; ++row) {
    if (row > 0) text += '/';
    for (int column = 0; column < 2; ++column) {
      const imaging::Color32 c = imaging::GetPixel32(image, image.Width() / 4 + column * image.Width() / 2,
                                                     image.Height() / 4 + row * image.Height() / 2);
      char found = '?';
      for (int q = 0; q < 4; ++q) {
        const auto near = [](uint8_t a, uint8_t b) { return std::abs(int(a) - int(b)) <= 24; };
        if (near(imaging::Color32Red(c), imaging::Color32Red(kQuadrants[q])) &&
            near(imaging::Color32Green(c), imaging::Color32Green(kQuadrants[q])) &&
            near(imaging::Color32Blue(c), imaging::Color32Blue(kQuadrants[q])))
          found = static_cast<char>('1' + q);
      }
      text += found;
    }
  }
  return text;
}

class PhotoRun : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(dir / "src");
    mainForm.SetChecked("out_newimage", true);
    mainForm.SetText("out_ordner", (dir / "out").string());
    mainForm.SetText("out_name", "%name%");
    NoResize();
  }

  void NoResize() {
    options.SetChecked("act_sizebigger", false);
    options.SetChecked("act_sizekleiner", false);
  }

  void Format(const char* item) { mainForm.SetText("out_format", item); }

  // A JPEG of the quadrants (48 x 32 as stored) whose Exif block holds the orientation, with a
  // 32 x 16 thumbnail of the same picture.
  std::string OrientedJpeg(const std::string& name, int orientation) {
    imaging::Image picture, thumbnail;
    MakeQuadrants(48, 32, picture);
    MakeQuadrants(32, 16, thumbnail);
    const std::vector<uint8_t> thumb = EncodeJpeg(thumbnail);
    // IFD0 (orientation, Exif pointer) at 8, IFD1 at 40, the Exif IFD (pixel size) at 90.
    TiffBlock block(Endianness::BigEndian, 128 + static_cast<uint32_t>(thumb.size()));
    block.Ifd(8, {{274, 3, 1, static_cast<uint32_t>(orientation)}, {34665, 4, 1, 90}}, 40);
    block.Ifd(40, {{259, 3, 1, 6}, {513, 4, 1, 128}, {514, 4, 1, static_cast<uint32_t>(thumb.size())}});
    block.Ifd(90, {{40962, 3, 1, 48}, {40963, 3, 1, 32}});
    block.PutBytes(128, thumb);
    return Write(name, exiftest::WithSegments(EncodeJpeg(picture), {exiftest::ExifSegment(block.Bytes())}));
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path to = dir / "src" / name;
    testsupport::WriteFileBytes(to, bytes);
    paths.push_back(to.string());
    return to.string();
  }

  engine::RunResult Run() {
    dialogs = engine::ScriptedDialogs();
    return dialogs.Run(paths, engine::JobSourceFromForms(mainForm, options), memory);
  }

  fs::path Out(const std::string& name) const { return dir / "out" / name; }

  testsupport::TempDir dir;
  forms::Form mainForm = forms::CreateMainForm();
  forms::Form options = forms::CreateOptionsForm();
  engine::ScriptedDialogs dialogs;
  engine::RunMemory memory;
  std::vector<std::string> paths;
};

// The profile and the pixels of an output.
struct Output {
  imaging::Image image;
  imaging::ColorProfile profile;
};
Output LoadOutput(const fs::path& path) {
  Output out;
  engine::PhotoFacts facts;
  EXPECT_TRUE(engine::LoadImageFile(path.string(), out.image, imaging::CurrentOptions(), &facts)) << path;
  out.profile = facts.profile;
  return out;
}

}  // namespace

TEST_F(PhotoRun, EachOrientationGivesTheUprightPictureAsImageMagickShowsIt) {
  for (int orientation = 1; orientation <= 8; ++orientation)
    OrientedJpeg("o" + std::to_string(orientation) + ".jpg", orientation);
  Format("*.png - Portable Network Graphics");
  ASSERT_EQ(Run().written, 8);
  EXPECT_TRUE(dialogs.MessageKeys().empty());
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string name = "o" + std::to_string(orientation);
    const Output out = LoadOutput(Out(name + ".png"));
    EXPECT_EQ(QuadrantLayout(out.image), kUpright[orientation]) << name;
    imaging::Image reference;
    if (testsupport::DecodeWithImageMagick(dir / "src" / (name + ".jpg"), reference, "-auto-orient")) {
      EXPECT_EQ(testsupport::CompareImages(reference, out.image, 2), "") << name;
    }
  }
}

TEST_F(PhotoRun, APortraitPhotoStandsUprightInEveryOutputTypeAndTheSizeRulesSeeItSo) {
  OrientedJpeg("portrait.jpg", 6);
  // The stored picture is 48 x 32; upright it is 32 x 48 and fits a 24 x 24 box as 16 x 24.
  mainForm.SetChecked("rb_benutzer", true);
  mainForm.SetText("act_sizebenutzer_x", "24");
  mainForm.SetText("act_sizebenutzer_y", "24");
  mainForm.SetChecked("act_propbenutzer_prop", true);
  options.SetChecked("act_sizebigger", true);
  mainForm.SetText("out_name", "%name%_%width%x%height%");
  for (const char* item : {"*.jpg - JPEG-Bild", "*.png - Portable Network Graphics", "*.webp - WebP",
                           "*.tif - Tagged Image File Format"}) {
    Format(item);
    ASSERT_EQ(Run().written, 1) << item;
    EXPECT_TRUE(dialogs.MessageKeys().empty()) << item;
  }
  for (const char* name : {"portrait_32x48.jpg", "portrait_32x48.png", "portrait_32x48.webp", "portrait_32x48.tif"}) {
    const Output out = LoadOutput(Out(name));
    EXPECT_EQ(out.image.Width(), 16) << name;
    EXPECT_EQ(out.image.Height(), 24) << name;
    EXPECT_EQ(QuadrantLayout(out.image), kUpright[6]) << name;
  }

  // The JPEG output says so in its metadata: orientation 1, the pixel size of the upright
  // output and a thumbnail turned alike.
  ExifData exif;
  exif.LoadFromJPEG(Out("portrait_32x48.jpg").string());
  const ExifTag* tag = exif.Section(ExifSectionKind::esGeneral).Find(ttag::Orientation);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(exif.ReadInteger(*tag), 1u);
  const ExifSection& details = exif.Section(ExifSectionKind::esDetails);
  EXPECT_EQ(exif.ReadInteger(*details.Find(ttag::PixelXDimension)), 16u);
  EXPECT_EQ(exif.ReadInteger(*details.Find(ttag::PixelYDimension)), 24u);
  imaging::Image thumbnail;
  imaging::MemoryStream stream(exif.Thumbnail());
  ASSERT_TRUE(imaging::LoadImageFromStream(stream, thumbnail));
  EXPECT_EQ(thumbnail.Width(), 16);
  EXPECT_EQ(thumbnail.Height(), 32);
  EXPECT_EQ(QuadrantLayout(thumbnail), kUpright[6]);
  if (testsupport::HaveTool("exiftool")) {
    std::string said;
    testsupport::RunCommand("exiftool -s3 -n -Orientation -ExifImageWidth -ExifImageHeight '" +
                                Out("portrait_32x48.jpg").string() + "'", &said);
    EXPECT_EQ(said, "1\n16\n24\n");
  }
}

TEST_F(PhotoRun, KeepOrientationLeavesThePixelsAndTheTagAsStored) {
  OrientedJpeg("portrait.jpg", 6);
  options.SetChecked("keep_orientation", true);
  mainForm.SetText("out_name", "%name%_%width%x%height%");
  for (const char* item : {"*.jpg - JPEG-Bild", "*.png - Portable Network Graphics"}) {
    Format(item);
    ASSERT_EQ(Run().written, 1) << item;
  }
  const Output png = LoadOutput(Out("portrait_48x32.png"));
  EXPECT_EQ(QuadrantLayout(png.image), kUpright[1]);
  ExifData exif;
  exif.LoadFromJPEG(Out("portrait_48x32.jpg").string());
  EXPECT_EQ(exif.ReadInteger(*exif.Section(ExifSectionKind::esGeneral).Find(ttag::Orientation)), 6u);
  imaging::Image thumbnail;
  imaging::MemoryStream stream(exif.Thumbnail());
  ASSERT_TRUE(imaging::LoadImageFromStream(stream, thumbnail));
  EXPECT_EQ(thumbnail.Width(), 32);
}

TEST_F(PhotoRun, AWideGamutPhotoKeepsItsProfileOrIsConvertedToSRGB) {
  const std::vector<uint8_t> p3 = testsupport::DisplayP3Profile();
  imaging::Image picture;
  MakeQuadrants(48, 32, picture);
  Write("p3.jpg", EncodeJpeg(picture, imaging::MakeColorProfile(p3)));
  for (const char* item : {"*.jpg - JPEG-Bild", "*.png - Portable Network Graphics", "*.tif - Tagged Image File Format"}) {
    Format(item);
    ASSERT_EQ(Run().written, 1) << item;
  }
  for (const char* name : {"p3.jpg", "p3.png", "p3.tif"}) {
    const Output out = LoadOutput(Out(name));
    ASSERT_TRUE(out.profile) << name;
    EXPECT_EQ(*out.profile, p3) << name;
    if (testsupport::HaveTool("exiftool")) {
      std::string said;
      testsupport::RunCommand("exiftool -s3 -ProfileDescription '" + Out(name).string() + "'", &said);
      EXPECT_EQ(said, "Display P3 (test)\n") << name;
    }
  }

  // With to_srgb the pixels are what Little CMS makes of the source's, and no profile remains.
  options.SetChecked("to_srgb", true);
  fs::remove_all(dir / "out");
  for (const char* item : {"*.jpg - JPEG-Bild", "*.png - Portable Network Graphics"}) {
    Format(item);
    ASSERT_EQ(Run().written, 1) << item;
    EXPECT_TRUE(dialogs.notes.empty()) << item;
  }
  imaging::Image expected;
  ASSERT_TRUE(engine::LoadImageFile(paths[0], expected));
  testsupport::ReferenceToSRGB(expected, p3);
  const Output png = LoadOutput(Out("p3.png"));
  EXPECT_FALSE(png.profile);
  EXPECT_EQ(testsupport::CompareImages(expected, png.image), "");
  EXPECT_FALSE(LoadOutput(Out("p3.jpg")).profile);
  if (testsupport::HaveTool("exiftool")) {
    std::string said;
    testsupport::RunCommand("exiftool -s3 -ICC_Profile:all '" + Out("p3.jpg").string() + "' '" +
                                Out("p3.png").string() + "'", &said);
    EXPECT_EQ(said.find("Display P3"), std::string::npos) << said;
  }

  // A profile that Little CMS cannot use leaves the colours alone and says so.
  std::vector<uint8_t> unreadable = p3;
  unreadable[128] = 0x7F;
  paths.clear();
  Write("bad.jpg", EncodeJpeg(picture, imaging::MakeColorProfile(unreadable)));
  ASSERT_EQ(Run().written, 1);
  ASSERT_EQ(dialogs.notes.size(), 1u);
  EXPECT_NE(dialogs.notes[0].cause.find("could not be converted to sRGB"), std::string::npos) << dialogs.notes[0].cause;
  EXPECT_FALSE(LoadOutput(Out("bad.png")).profile);
}

TEST_F(PhotoRun, StripLocationLeavesOutGpsAndPersonalTagsOfAJpegOutput) {
  // IFD0: Make, XPComment, the Exif and GPS pointers; Exif: UserComment, CameraOwnerName,
  // BodySerialNumber, LensSerialNumber and DateTimeOriginal; GPS: latitude reference and value.
  TiffBlock block(Endianness::LittleEndian, 512);
  block.Ifd(8, {{271, 2, 6, 200}, {34665, 4, 1, 80}, {34853, 4, 1, 160}, {40092, 1, 8, 220}});
  block.Ifd(80, {{36867, 2, 20, 240}, {37510, 7, 16, 260}, {42032, 2, 6, 280}, {42033, 2, 6, 290},
                 {42037, 2, 6, 300}});
  block.Ifd(160, {{1, 2, 2, 'N'}, {2, 5, 3, 320}});
  block.PutText(200, "Canon");
  block.PutBytes(220, {'h', 0, 'i', 0, 0, 0, 0, 0});
  block.PutText(240, "2024:05:01 10:00:00");
  block.PutBytes(260, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'o', 'm', 'e', '!', '!', '!', '!'});
  block.PutText(280, "Alice");
  block.PutText(290, "12345");
  block.PutText(300, "67890");
  for (uint32_t i = 0; i < 3; ++i) {
    block.Put32(320 + 8 * i, 52 + i);
    block.Put32(324 + 8 * i, 1);
  }
  const std::string xmp =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description xmlns:exif='http://ns.adobe.com/exif/1.0/' xmlns:aux='http://ns.adobe.com/exif/1.0/aux/'"
      " xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' xmlns:dc='http://purl.org/dc/elements/1.1/'"
      " exif:GPSLatitude='52,0.0N' aux:SerialNumber='12345' photoshop:City='Berlin'>"
      "<exif:GPSLongitude>13,24.0E</exif:GPSLongitude><dc:title>Holiday</dc:title>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>";
  imaging::Image picture;
  MakeQuadrants(48, 32, picture);
  Write("gps.jpg", exiftest::WithSegments(EncodeJpeg(picture),
                                          {exiftest::ExifSegment(block.Bytes()), exiftest::XmpSegment(xmp)}));
  Format("*.jpg - JPEG-Bild");

  ASSERT_EQ(Run().written, 1);
  ExifData kept;
  kept.LoadFromJPEG(Out("gps.jpg").string());
  EXPECT_FALSE(kept.Section(ExifSectionKind::esGPS).Empty()) << "without the switch everything is carried";

  options.SetChecked("strip_location", true);
  ASSERT_EQ(Run().written, 1);
  EXPECT_TRUE(dialogs.MessageKeys().empty());
  ExifData stripped;
  stripped.LoadFromJPEG(Out("gps.jpg").string());
  EXPECT_TRUE(stripped.Section(ExifSectionKind::esGPS).Empty());
  EXPECT_EQ(stripped.Section(ExifSectionKind::esGeneral).Find(ttag::GPSIFD), nullptr);
  EXPECT_EQ(stripped.Section(ExifSectionKind::esGeneral).Find(ttag::XPComment), nullptr);
  for (uint16_t id : {ttag::UserComment, ttag::CameraOwnerName, ttag::BodySerialNumber, ttag::LensSerialNumber})
    EXPECT_EQ(stripped.Section(ExifSectionKind::esDetails).Find(id), nullptr) << id;
  EXPECT_EQ(stripped.GetString(ExifSectionKind::esGeneral, 271), "Canon");
  EXPECT_EQ(stripped.GetString(ExifSectionKind::esDetails, 36867), "2024:05:01 10:00:00");
  ContainedXmpPacket& packet = stripped.XMPPacket();
  EXPECT_EQ(packet.GetProperty(xmpns::Exif, "GPSLatitude"), "");
  EXPECT_EQ(packet.GetProperty(xmpns::Exif, "GPSLongitude"), "");
  EXPECT_EQ(packet.GetProperty(xmpns::Aux, "SerialNumber"), "");
  EXPECT_EQ(packet.GetProperty(xmpns::Photoshop, "City"), "");
  EXPECT_EQ(packet.GetProperty("http://purl.org/dc/elements/1.1/", "title"), "Holiday");

  if (testsupport::HaveTool("exiftool")) {
    std::string before, after;
    testsupport::RunCommand("exiftool -s -a -G1 '" + paths[0] + "'", &before);
    testsupport::RunCommand("exiftool -s -a -G1 -GPS:all -XMP-exif:all -XMP-aux:all -XMP-photoshop:all "
                            "-UserComment -OwnerName -SerialNumber -LensSerialNumber -XPComment '" +
                                Out("gps.jpg").string() + "'", &after);
    EXPECT_NE(before.find("GPSLatitude"), std::string::npos) << before;
    EXPECT_EQ(after, "") << after;
  }
}
