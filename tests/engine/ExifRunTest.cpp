// The conversion run carrying metadata from JPEG sources into JPEG outputs.
#include <gtest/gtest.h>

#include <filesystem>

#include "forms/MessageKeys.h"
#include "engine/ConversionRun.h"
#include "tests/engine/ExifTestHelpers.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "imaging/Codec.h"
#include "tests/support/ScriptedDialogs.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"
#include "engine/exif/Data.h"
#include "engine/exif/JpegHeaderParser.h"

namespace msg = forms::msg;

using namespace engine::exif;
namespace fs = std::filesystem;

namespace {

class ExifRun : public ::testing::Test {
protected:
  void SetUp() override {
    if (imaging::FindFormatByExtension("jpg") == nullptr) GTEST_SKIP() << "no JPEG codec";
    fs::create_directories(dir / "src");
    mainForm.SetChecked("rb_benutzer", true);
    mainForm.SetText("act_sizebenutzer_x", "40");
    mainForm.SetText("act_sizebenutzer_y", "30");
    mainForm.SetChecked("act_propbenutzer_prop", false);
    mainForm.SetChecked("out_newimage", true);
    mainForm.SetText("out_ordner", (dir / "out").string());
    mainForm.SetText("out_name", "%name%");
    Format("*.jpg - JPEG-Bild");
  }

  void Format(const char* item) { mainForm.SetText("out_format", item); }

  std::string Copy(const fs::path& from, const std::string& name) {
    const fs::path to = dir / "src" / name;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    paths.push_back(to.string());
    return to.string();
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path to = dir / "src" / name;
    testsupport::WriteFileBytes(to, bytes);
    paths.push_back(to.string());
    return to.string();
  }

  engine::RunResult Run() {
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

size_t CountExifSegments(const std::vector<uint8_t>& jpeg) {
  size_t count = 0;
  for (const FoundJpegSegment& s : FindJPEGSegments(jpeg, MakeMarkerSet({0xE1})))
    if (s.Data.size() >= 6 && std::memcmp(s.Data.data(), "Exif\0\0", 6) == 0) ++count;
  return count;
}

}  // namespace

TEST_F(ExifRun, CameraJpegKeepsItsMetadataWithNewSoftwareAndSize) {
  VEXILO_REQUIRE_CORPUS();
  const std::string source = Copy(testsupport::CorpusFile("exif-samples/jpg/Fujifilm_FinePix6900ZOOM.jpg"), "fuji.jpg");
  const engine::RunResult result = Run();
  EXPECT_EQ(result.written, 1);
  EXPECT_TRUE(dialogs.MessageKeys().empty());

  ExifData before, after;
  before.LoadFromJPEG(source);
  after.LoadFromJPEG(Out("fuji.jpg").string());
  EXPECT_EQ(after.ByteOrder(), Endianness::BigEndian);
  EXPECT_EQ(after.Software(), "Corvana Vexilo");
  const ExifSection& exif = after.Section(ExifSectionKind::esDetails);
  EXPECT_EQ(after.ReadInteger(*exif.Find(40962)), 40u);
  EXPECT_EQ(after.ReadInteger(*exif.Find(40963)), 30u);
  EXPECT_EQ(exif.Find(37500)->Data, before.Section(ExifSectionKind::esDetails).Find(37500)->Data);
  EXPECT_EQ(exif.Find(37500)->OriginalDataOffset, before.Section(ExifSectionKind::esDetails).Find(37500)->OriginalDataOffset);
  EXPECT_EQ(after.Thumbnail(), before.Thumbnail());
  EXPECT_EQ(after.GetString(ExifSectionKind::esGeneral, 271), "FUJIFILM");

  // JFIF first, then the Exif segment.
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(Out("fuji.jpg"));
  const auto segments = FindJPEGSegments(bytes, MakeMarkerSet({0xE0, 0xE1, 0xDB}));
  ASSERT_GE(segments.size(), 3u);
  EXPECT_EQ(segments[0].Marker, 0xE0);
  EXPECT_EQ(segments[1].Marker, 0xE1);
  EXPECT_EQ(CountExifSegments(bytes), 1u);

  if (testsupport::HaveTool("exiftool")) {
    // The maker note still decodes, to the same values.
    std::string was, is;
    testsupport::RunCommand("exiftool -s -MakerNotes:all '" + source + "'", &was);
    testsupport::RunCommand("exiftool -s -MakerNotes:all '" + Out("fuji.jpg").string() + "'", &is);
    EXPECT_NE(was.find("FujiFlashMode"), std::string::npos);
    EXPECT_EQ(is, was);
  }
}

TEST_F(ExifRun, PlainJpegGainsSoftwareOnlyAndOtherSourcesOrOutputsNothing) {
  Write("plain.jpg", exiftest::PlainJpeg());
  imaging::Image image;
  ASSERT_TRUE(imaging::CreateImage(8, 8, imaging::PixelFormat::A8R8G8B8, image));
  ASSERT_TRUE(engine::SaveImageFile((dir / "src" / "bitmap.bmp").string(), image));
  image.Reset();
  paths.push_back((dir / "src" / "bitmap.bmp").string());
  EXPECT_EQ(Run().written, 2);

  ExifData plain;
  plain.LoadFromJPEG(Out("plain.jpg").string());
  EXPECT_EQ(plain.Section(ExifSectionKind::esGeneral).Count(), 1u);
  EXPECT_EQ(plain.Software(), "Corvana Vexilo");
  for (int kind = 2; kind <= 6; ++kind) EXPECT_TRUE(plain.Section(static_cast<ExifSectionKind>(kind)).Empty());

  EXPECT_EQ(CountExifSegments(testsupport::ReadFileBytes(Out("bitmap.jpg"))), 0u) << "a bitmap source carries nothing";

  Format("*.png - Portable Network Graphics");
  fs::remove_all(dir / "out");
  EXPECT_EQ(Run().written, 2);
  std::string exif;
  if (testsupport::HaveTool("exiftool")) {
    testsupport::RunCommand("exiftool -s3 -EXIF:all -XMP:all '" + Out("plain.png").string() + "'", &exif);
    EXPECT_EQ(exif, "") << "a PNG output carries nothing";
  }
}

TEST_F(ExifRun, BrokenMetadataIsReportedOnlyForAJpegOutputWhichStaysAsWritten) {
  // An Exif segment whose TIFF header is malformed.
  const std::vector<uint8_t> broken = exiftest::WithSegments(
      exiftest::PlainJpeg(), {exiftest::ExifSegment({'I', 'X', 42, 0, 8, 0, 0, 0})});
  const std::string source = Write("broken.jpg", broken);
  engine::RunResult result = Run();
  // The picture was written; only its metadata were lost, and the message says why.
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kMetadataLost}));
  EXPECT_FALSE(dialogs.messages[0].cause.empty());
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(result.failed, 0);
  // The output is there as the codec wrote it: a JPEG without any metadata.
  const std::vector<uint8_t> written = testsupport::ReadFileBytes(Out("broken.jpg"));
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(CountExifSegments(written), 0u);
  imaging::Image image;
  EXPECT_TRUE(engine::LoadImageFile(Out("broken.jpg").string(), image));
  EXPECT_EQ(image.Width(), 40);
  image.Reset();

  // The same source into a PNG: no metadata is needed, so nothing fails.
  Format("*.png - Portable Network Graphics");
  dialogs = engine::ScriptedDialogs();
  result = Run();
  EXPECT_EQ(result.written, 1);
  EXPECT_TRUE(dialogs.MessageKeys().empty());
}
