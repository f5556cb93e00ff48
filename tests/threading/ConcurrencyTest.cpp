// Two threads that load, scale and save different files with different codec options write the
// same bytes as one thread doing the same work in turn, while a third thread changes the
// process values of the options; a conversion run with several files in flight.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"
#include "imaging/Codec.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

using namespace imaging;

namespace {

// A picture with edges, gradients and some transparency, so that every codec has work to do.
Image MakePicture(int32_t width, int32_t height, uint8_t seed) {
  Image image;
  EXPECT_TRUE(CreateImage(width, height, PixelFormat::A8R8G8B8, image));
  auto* pixels = reinterpret_cast<Color32*>(image.Bits());
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      pixels[y * width + x] = MakeColor32(uint8_t(x < width / 2 ? 255 : 128 + y), uint8_t(x * 5 + seed),
                                          uint8_t(y * 7 + seed), uint8_t((x ^ y) * 3));
  return image;
}

struct Job {
  std::string source;  // a file written by the fixture
  std::string extension;
  void (*options)(CodecOptions& options);  // sets this job's option values
  int32_t width, height;                   // the scaled size
};

// Load, scale and save as the run does, with the job's own option values.
std::vector<uint8_t> Convert(const Job& job, const std::string& output) {
  CodecOptions options = CurrentOptions();
  job.options(options);
  Image image;
  if (!engine::LoadImageFile(job.source, image, options)) return {};
  ResizeImage(image, job.width, job.height, ResizeFilter::Bicubic);
  if (!engine::SaveImageFile(output, image, options)) return {};
  return testsupport::ReadFileBytes(output);
}

}  // namespace

TEST(Threading, ParallelConversionsWriteTheSameBytesAsSequentialOnes) {
  testsupport::TempDir dir;
  const std::string png = (dir / "a.png").string(), bmp = (dir / "b.bmp").string(), tif = (dir / "c.tif").string();
  ASSERT_TRUE(engine::SaveImageFile(png, MakePicture(61, 47, 10)));
  ASSERT_TRUE(engine::SaveImageFile(bmp, MakePicture(40, 52, 90)));
  ASSERT_TRUE(engine::SaveImageFile(tif, MakePicture(33, 30, 170)));

  const std::vector<Job> jobs = {
      {png, "jpg", [](CodecOptions& o) { o.jpeg = {35, true}; }, 50, 40},
      {bmp, "jpg", [](CodecOptions& o) { o.jpeg = {97, false}; }, 31, 40},
      {tif, "png", [](CodecOptions& o) { o.png = {0, 9}; }, 60, 55},
      {png, "png", [](CodecOptions& o) { o.png = {6, 1}; }, 20, 16},
      {bmp, "tif", [](CodecOptions& o) { o.tiff.compressionScheme = 2; }, 41, 53},
      {tif, "tif", [](CodecOptions& o) { o.tiff.compressionScheme = 0; }, 30, 30},
      {png, "mng", [](CodecOptions& o) { o.mng.quality = 40, o.mng.lossyCompression = true; }, 32, 24},
      {bmp, "psd", [](CodecOptions& o) { o.psd.saveAsLayer = false; }, 20, 26},
      {tif, "bmp", [](CodecOptions& o) { o.bitmap.useRle = true, o.library.saveOverrideFormat = PixelFormat::Index8; },
       25, 25},
      {png, "tga", [](CodecOptions& o) { o.targa.useRle = true; }, 45, 35},
      {bmp, "gif", [](CodecOptions& o) { o.library.colorReductionMask = 0xE0; }, 40, 30},
      {tif, "jp2", [](CodecOptions& o) { o.jpeg2000.quality = 30; }, 24, 24},
  };

  std::vector<std::vector<uint8_t>> expected;
  for (size_t i = 0; i < jobs.size(); ++i) {
    expected.push_back(Convert(jobs[i], (dir / ("seq" + std::to_string(i) + "." + jobs[i].extension)).string()));
    ASSERT_FALSE(expected.back().empty()) << jobs[i].extension;
  }
  // Different options give different bytes, so a mix-up would show.
  ASSERT_NE(expected[0],
            Convert({png, "jpg", [](CodecOptions& o) { o.jpeg.quality = 97; }, 50, 40}, (dir / "q.jpg").string()));

  std::atomic<bool> done{false};
  std::thread changer([&] {
    // The process values change all the time; the conversions use their own.
    for (int32_t quality = 1; !done; quality = quality % 100 + 1) {
      SetOption(option::kJpegQuality, quality);
      SetOption(option::kPngCompressLevel, quality % 10);
      std::this_thread::yield();
    }
  });
  constexpr int kRounds = 2;
  std::vector<std::vector<std::vector<uint8_t>>> results(2);
  std::vector<std::thread> workers;
  for (size_t t = 0; t < 2; ++t) {
    workers.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round)
        for (size_t i = t; i < jobs.size(); i += 2)
          results[t].push_back(Convert(jobs[i], (dir / ("par" + std::to_string(i) + "." + jobs[i].extension)).string()));
    });
  }
  for (std::thread& worker : workers) worker.join();
  done = true;
  changer.join();
  SetOption(option::kJpegQuality, 90);
  SetOption(option::kPngCompressLevel, 5);

  for (size_t t = 0; t < 2; ++t) {
    size_t k = 0;
    for (int round = 0; round < kRounds; ++round)
      for (size_t i = t; i < jobs.size(); i += 2, ++k)
        EXPECT_TRUE(results[t][k] == expected[i]) << jobs[i].extension << " job " << i << " round " << round;
  }
}

TEST(Threading, LoadsReportTheirOwnFacts) {
  // Two threads load DDS files of different kinds; each load reports what it found.
  testsupport::TempDir dir;
  const Codec* dds = FindFormatByExtension("dds");
  ASSERT_NE(dds, nullptr);
  const std::string plain = (dir / "plain.dds").string(), mipmapped = (dir / "mip.dds").string();
  {
    std::vector<Image> one;
    one.push_back(MakePicture(16, 16, 1));
    ASSERT_TRUE(dds->SaveToFile(plain, one, true));
    std::vector<Image> levels;
    levels.push_back(MakePicture(16, 16, 2));
    levels.push_back(MakePicture(8, 8, 3));
    levels.push_back(MakePicture(4, 4, 4));
    CodecOptions options = CurrentOptions();
    options.dds.saveMipMapCount = 3;
    ASSERT_TRUE(dds->SaveToFile(mipmapped, levels, false, options));
  }
  std::atomic<int> wrong{0};
  auto load = [&](const std::string& path, int32_t mipMaps) {
    for (int i = 0; i < 20; ++i) {
      std::vector<Image> images;
      LoadFacts facts;
      if (!dds->LoadFromFile(path, images, false, CurrentOptions(), &facts) || facts.dds.mipMapCount != mipMaps)
        ++wrong;
    }
  };
  std::thread a(load, plain, 1), b(load, mipmapped, 3);
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
}

// A run with four files in flight writes what a run of one file at a time writes, in both the
// box mode and the file-size search (whose trial saves then run on several threads at once).
TEST(Threading, AParallelRunWritesWhatASequentialRunWrites) {
  testsupport::TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i) {
    const std::string path = (dir / ("src/p" + std::to_string(i) + (i % 2 ? ".png" : ".jpg"))).string();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(engine::SaveImageFile(path, MakePicture(40 + 5 * i, 30 + 3 * i, uint8_t(20 * i))));
    paths.push_back(path);
  }
  for (const bool fileSize : {false, true}) {
    std::vector<std::vector<std::vector<uint8_t>>> outputs;
    for (const int jobs : {1, 4}) {
      forms::Form mainForm = forms::CreateMainForm();
      forms::Form options = forms::CreateOptionsForm();
      const std::string out = (dir / ("out" + std::to_string(jobs) + (fileSize ? "f" : "b"))).string();
      mainForm.SetChecked("out_newimage", true);
      mainForm.SetText("out_ordner", out);
      mainForm.SetText("out_name", "%name%");
      mainForm.SetText("out_format", "<keep>");
      if (fileSize) {
        mainForm.SetChecked("rb_filesize", true);
        mainForm.SetText("ed_filesize", "1.5");
      }
      engine::ScriptedDialogs dialogs;
      dialogs.jobs = jobs;
      engine::RunMemory memory;
      const engine::RunResult result =
          dialogs.Run(paths, engine::JobSourceFromForms(mainForm, options), memory, nullptr, ".");
      EXPECT_EQ(result.written, 8);
      EXPECT_EQ(dialogs.positions, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
      std::vector<std::vector<uint8_t>> bytes;
      for (const std::string& path : paths)
        bytes.push_back(testsupport::ReadFileBytes(out + "/" + std::filesystem::path(path).filename().string()));
      outputs.push_back(std::move(bytes));
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()), 8);
    }
    EXPECT_EQ(outputs[0], outputs[1]) << (fileSize ? "file size" : "box");
  }
}
