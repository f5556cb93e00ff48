// Metadata carried from the corpus's camera JPEGs into new JPEGs, checked with exiftool.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/engine/ExifTestHelpers.h"
#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"

using namespace engine::exif;
namespace fs = std::filesystem;

namespace {

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

struct ExifToolReport {
  std::map<std::string, std::string> Tags;  // "Group:Tag" -> value; repeated tags get "#2", "#3"
  std::set<std::string> Warnings;           // what -validate reports
  int Width = 0, Height = 0;                // of the image, from its frame header
};

// exiftool's tags and validation messages of two or more files in one run, without the groups
// that describe the file itself or segments the carry-over does not touch.
std::vector<ExifToolReport> RunExifTool(const std::vector<fs::path>& files) {
  std::string command = "exiftool -args -G1 -a -s -n -validate -all:all -warning";
  for (const fs::path& f : files) command += " " + Quote(f);
  std::string output;
  testsupport::RunCommand(command, &output);
  static const std::set<std::string> kOther = {"ExifTool", "System", "File", "JFIF", "Composite",
                                               "Photoshop", "IPTC", "APP14", "Adobe"};
  std::vector<ExifToolReport> reports;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("========", 0) == 0) {
      reports.emplace_back();
      continue;
    }
    if (reports.empty() || line.size() < 2 || line[0] != '-') continue;
    const size_t colon = line.find(':'), equals = line.find('=');
    if (colon == std::string::npos || equals == std::string::npos || colon > equals) continue;
    const std::string group = line.substr(1, colon - 1), key = line.substr(1, equals - 1);
    const std::string value = line.substr(equals + 1);
    if (key == "ExifTool:Warning" || key == "ExifTool:Error") reports.back().Warnings.insert(value);
    if (key == "File:ImageWidth") reports.back().Width = std::atoi(value.c_str());
    if (key == "File:ImageHeight") reports.back().Height = std::atoi(value.c_str());
    if (kOther.count(group) || group.rfind("ICC", 0) == 0) continue;
    std::string unique = key;
    for (int n = 2; reports.back().Tags.count(unique); ++n) unique = key + "#" + std::to_string(n);
    reports.back().Tags[unique] = value;
  }
  EXPECT_EQ(reports.size(), files.size()) << output;
  reports.resize(files.size());
  return reports;
}

// What a tag that the carry-over changes on purpose must read now: "*" for any value, empty
// text for a tag that must keep its value.
std::string ExpectedValue(const std::string& key, int width, int height) {
  if (key == "IFD0:Software" || key == "XMP-xmp:CreatorTool" || key == "XMP-tiff:Software") return "Corvana Vexilo";
  // exiftool names exif:PixelXDimension and exif:PixelYDimension as it names the Exif tags.
  if (key == "ExifIFD:ExifImageWidth" || key == "XMP-exif:ExifImageWidth") return std::to_string(width);
  if (key == "ExifIFD:ExifImageHeight" || key == "XMP-exif:ExifImageHeight") return std::to_string(height);
  // The thumbnail moves with the new layout; IFD1 now states JPEG compression.
  if (key == "IFD1:ThumbnailOffset" || key == "IFD1:ThumbnailImage") return "*";
  if (key == "IFD1:Compression") return "6";
  return {};
}

struct Sample {
  const char* file;
  bool decodedMakerNote;  // exiftool decodes the source's maker note
  bool hasExif = true;
  // A maker-note value read through an offset that points past the maker note, into bytes
  // the new layout fills differently (exiftool flags the offsets of this file as suspect).
  const char* readsPastMakerNote = "";
};

void PrintTo(const Sample& sample, std::ostream* os) { *os << sample.file; }

// IFD0 tags that exiftool expects in every JPEG Exif block; a block made for a source without
// one holds tag 305 alone.
bool ExpectedForNewBlock(const std::string& warning) {
  for (const char* tag : {"0x011a XResolution", "0x011b YResolution", "0x0128 ResolutionUnit", "0x0213 YCbCrPositioning"})
    if (warning.find(std::string("Missing required JPEG IFD0 tag ") + tag) != std::string::npos) return true;
  return false;
}

}  // namespace

class ExifCorpus : public ::testing::TestWithParam<Sample> {};

TEST_P(ExifCorpus, CarriesTheTagsIntoANewJpeg) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("exiftool") || !testsupport::HaveTool("djpeg") || !testsupport::HaveTool("cjpeg"))
    GTEST_SKIP() << "exiftool, djpeg or cjpeg missing";
  const fs::path source = testsupport::CorpusDir() / GetParam().file;
  testsupport::TempDir dir;
  // A new JPEG of the source's pixels, at a quarter of its size, as a codec writes it.
  const fs::path plain = dir / "plain.jpg", output = dir / "out.jpg";
  ASSERT_EQ(testsupport::RunCommand("djpeg -scale 1/2 " + Quote(source) + " | cjpeg -quality 90 > " + Quote(plain)), 0);

  ExifData data;
  data.LoadFromJPEG(source.string());
  data.SetSoftware("Corvana Vexilo");
  testsupport::WriteFileBytes(output, data.InsertIntoJPEG(testsupport::ReadFileBytes(plain)));

  const auto reports = RunExifTool({source, output});
  const auto& before = reports[0].Tags;
  const auto& after = reports[1].Tags;
  const int width = reports[1].Width, height = reports[1].Height;
  ASSERT_GT(width, 0);

  for (const auto& [key, value] : before) {
    auto it = after.find(key);
    const std::string expected = ExpectedValue(key, width, height);
    if (it == after.end())
      ADD_FAILURE() << "lost " << key << "=" << value;
    else if (expected.empty() && it->second != value && key != GetParam().readsPastMakerNote)
      ADD_FAILURE() << key << ": " << value << " became " << it->second;
    else if (!expected.empty() && expected != "*" && it->second != expected)
      ADD_FAILURE() << key << ": " << it->second << ", expected " << expected;
  }
  for (const auto& [key, value] : after) {
    const std::string expected = ExpectedValue(key, width, height);
    if (!before.count(key) && !(expected == "*" || (!expected.empty() && expected == value)))
      ADD_FAILURE() << "gained " << key << "=" << value;
  }
  EXPECT_EQ(after.at("IFD0:Software"), "Corvana Vexilo");

  for (const std::string& w : reports[1].Warnings)
    if (!reports[0].Warnings.count(w) && (GetParam().hasExif || !ExpectedForNewBlock(w)))
      ADD_FAILURE() << "new exiftool message: " << w;

  if (GetParam().decodedMakerNote) {
    // The tags exiftool decodes from inside the maker note come in groups of their own,
    // already compared above; make sure there are some.
    static const std::set<std::string> kExifGroups = {"IFD0", "IFD1", "ExifIFD", "InteropIFD", "GPS"};
    size_t makerTags = 0;
    for (const auto& entry : after) {
      const std::string group = entry.first.substr(0, entry.first.find(':'));
      if (!kExifGroups.count(group) && group.rfind("XMP", 0) != 0) ++makerTags;
    }
    EXPECT_GT(makerTags, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CameraFiles, ExifCorpus,
    ::testing::Values(Sample{"exif-samples/jpg/Canon_40D.jpg", false},
                      Sample{"exif-samples/jpg/Canon_40D_photoshop_import.jpg", false},
                      Sample{"exif-samples/jpg/Canon_DIGITAL_IXUS_400.jpg", true},
                      Sample{"exif-samples/jpg/Canon_PowerShot_S40.jpg", true},
                      Sample{"exif-samples/jpg/Fujifilm_FinePix6900ZOOM.jpg", true},
                      Sample{"exif-samples/jpg/Fujifilm_FinePix_E500.jpg", true},
                      Sample{"exif-samples/jpg/Kodak_CX7530.jpg", false},
                      Sample{"exif-samples/jpg/Konica_Minolta_DiMAGE_Z3.jpg", true, true, "Minolta:FlashExposureComp"},
                      Sample{"exif-samples/jpg/Nikon_COOLPIX_P1.jpg", true},
                      Sample{"exif-samples/jpg/Nikon_D70.jpg", false},
                      Sample{"exif-samples/jpg/Olympus_C8080WZ.jpg", false},
                      Sample{"exif-samples/jpg/PaintTool_sample.jpg", false},
                      Sample{"exif-samples/jpg/Panasonic_DMC-FZ30.jpg", true},
                      Sample{"exif-samples/jpg/Pentax_K10D.jpg", false},
                      Sample{"exif-samples/jpg/Ricoh_Caplio_RR330.jpg", false},
                      Sample{"exif-samples/jpg/Samsung_Digimax_i50_MP3.jpg", false},
                      Sample{"exif-samples/jpg/Sony_HDR-HC3.jpg", false},
                      Sample{"exif-samples/jpg/WWL_(Polaroid)_ION230.jpg", false},
                      Sample{"exif-samples/jpg/long_description.jpg", false},
                      Sample{"exif-samples/jpg/xmp/BlueSquare.jpg", false},
                      Sample{"exif-samples/jpg/invalid/image01137.jpg", false, false},
                      Sample{"exif-samples/jpg/invalid/image01551.jpg", false, false},
                      Sample{"exif-samples/jpg/invalid/image01713.jpg", false, false},
                      Sample{"exif-samples/jpg/invalid/image01980.jpg", false, false},
                      Sample{"exif-samples/jpg/invalid/image02206.jpg", false, false},
                      Sample{"image-rs-tests/images/jpg/exif-xmp-metadata.jpg", false, false}),
    [](const ::testing::TestParamInfo<Sample>& info) {
      std::string name = fs::path(info.param.file).stem().string();
      for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });
