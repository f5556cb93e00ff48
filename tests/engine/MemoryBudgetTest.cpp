// The run's memory budget: the admission rule and what a file is estimated to hold.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/ImageFiles.h"
#include "engine/MemoryBudget.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr uint64_t kMost = std::numeric_limits<uint64_t>::max();

TEST(MemoryBudget, AdmitsWhatFitsBesideTheFilesInFlightAndAlwaysOneAlone) {
  struct Step {
    char action;  // 'h' hold, 'r' release, '?' ask
    uint64_t bytes;
    bool admits = false;  // for '?'
  };
  struct Case {
    const char* what;
    uint64_t limit;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"alone, whatever its size", 100, {{'?', 1000, true}, {'?', kMost, true}}},
      {"beside others up to the limit", 100,
       {{'h', 60}, {'?', 40, true}, {'?', 41, false}, {'h', 40}, {'?', 0, true}, {'?', 1, false}}},
      {"nothing joins a picture larger than the budget", 100,
       {{'h', 150}, {'?', 0, false}, {'?', 1, false}, {'r', 150}, {'?', 150, true}}},
      {"an ended file makes room", 100, {{'h', 60}, {'h', 30}, {'?', 20, false}, {'r', 60}, {'?', 70, true}}},
      {"sums that would overflow", kMost,
       {{'h', kMost - 1}, {'?', 1, true}, {'?', 2, false}, {'h', kMost}, {'?', 1, false}, {'r', kMost}, {'r', kMost - 1},
        {'?', kMost, true}}},
  };
  for (const Case& c : cases) {
    engine::MemoryBudget budget(c.limit);
    int n = 0;
    for (const Step& step : c.steps) {
      ++n;
      if (step.action == 'h') budget.Hold(step.bytes);
      else if (step.action == 'r') budget.Release(step.bytes);
      else EXPECT_EQ(budget.Admits(step.bytes), step.admits) << c.what << ", step " << n;
    }
  }
}

TEST(MemoryBudget, DefaultIsHalfThePhysicalMemory) {
  const uint64_t physical = static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  EXPECT_EQ(engine::DefaultMemoryBudget(), physical / 2);
}

// The estimate of a file from its header and the job: the picture as decoded plus as scaled,
// at least four bytes a pixel, more for wider formats; a file whose size the header does not
// give counts by its bytes.
TEST(MemoryBudget, EstimatesThePictureAndItsScaledCopyFromTheHeader) {
  testsupport::TempDir dir;
  const auto write = [&](const std::string& name, imaging::PixelFormat format) {
    imaging::Image image;
    EXPECT_TRUE(imaging::CreateImage(200, 100, format, image));
    const std::string path = (dir.Path() / name).string();
    EXPECT_TRUE(engine::SaveImageFile(path, image));
    return path;
  };
  const std::string png8 = (dir.Path() / "eight.png").string();
  ASSERT_TRUE(testsupport::WriteNoisePicture(png8, 200, 100));
  const std::string png16 = write("sixteen.png", imaging::PixelFormat::A16R16G16B16);
  const std::string gray = write("gray.pgm", imaging::PixelFormat::Gray8);
  const std::string junk = (dir.Path() / "junk.png").string();
  testsupport::WriteFileBytes(junk, std::vector<uint8_t>(1000, 'x'));

  engine::ConversionJob keep;
  engine::ConversionJob box = keep;
  box.sizeMode = engine::SizeMode::Custom;
  box.customWidthText = "50";
  box.customHeightText = "50";
  engine::ConversionJob twice = keep;
  twice.sizeMode = engine::SizeMode::Percent;
  twice.percentWidthText = "200";
  twice.percentHeightText = "200";
  engine::ConversionJob fileSize = keep;
  fileSize.sizeMode = engine::SizeMode::FileSize;
  fileSize.fileSizeText = "0.5";

  struct Case {
    const char* what;
    const std::string& path;
    const engine::ConversionJob& job;
    uint64_t bytes;
  };
  const uint64_t picture = 200 * 100 * 4;
  const Case cases[] = {
      {"kept at its size", png8, keep, 2 * picture},
      {"scaled into a box", png8, box, picture + 50 * 25 * 4},
      {"enlarged", png8, twice, 5 * picture},
      {"16 bits a sample", png16, box, 2 * (picture + 50 * 25 * 4)},
      {"gray counts four bytes a pixel", gray, keep, 2 * picture},
      {"no header", junk, keep, 8000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(engine::EstimateHeldBytes(c.path, c.job, imaging::CurrentOptions(), "."), c.bytes) << c.what;
  // The file-size search starts from a smaller picture when the target is below the file.
  const uint64_t searched = engine::EstimateHeldBytes(png8, fileSize, imaging::CurrentOptions(), ".");
  EXPECT_GT(searched, picture);
  EXPECT_LT(searched, 2 * picture);
  // Sizes beyond the 64-bit product saturate instead of wrapping to a small estimate.
  EXPECT_EQ(engine::HeldPictureBytes(INT32_MAX, INT32_MAX, imaging::PixelFormat::A32R32G32B32F), kMost);
  EXPECT_EQ(engine::HeldPictureBytes(-5, 10, imaging::PixelFormat::A8R8G8B8), 0u);
}

}  // namespace
