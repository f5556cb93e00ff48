// The preview of one file (engine/FilePreview.h) against the run: for a table of jobs, the
// sizes, paths, failures and bytes it gives are the run's, and it creates nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/FilePreview.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "forms/MainForm.h"
#include "forms/MessageKeys.h"
#include "forms/OptionsForm.h"
#include "imaging/Codec.h"
#include "tests/engine/ExifTestHelpers.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

imaging::Image Gradient(int32_t w, int32_t h) {
  imaging::Image image;
  EXPECT_TRUE(imaging::CreateImage(w, h, imaging::PixelFormat::A8R8G8B8, image));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      imaging::SetPixel32(image, x, y,
                          imaging::MakeColor32(255, static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 3),
                                               static_cast<uint8_t>((x ^ y) * 7)));
  return image;
}

// The sources of one case: a bitmap, a JPEG stored 60 × 40 that its Exif orientation (6) turns
// to 40 × 60, a file no codec reads and one that has gone since it was listed.
std::vector<std::string> WriteSources(const fs::path& folder) {
  fs::create_directories(folder);
  std::vector<std::string> paths;
  const std::string bitmap = (folder / "plain.bmp").string();
  EXPECT_TRUE(engine::SaveImageFile(bitmap, Gradient(48, 36)));
  paths.push_back(bitmap);
  const auto jpeg = engine::EncodeImageFile("x.jpg", Gradient(60, 40), imaging::CurrentOptions());
  exiftest::TiffBlock block(exiftest::Endianness::BigEndian, 64);
  block.Ifd(8, {{274, 3, 1, 6}});
  const fs::path turned = folder / "turned.jpg";
  testsupport::WriteFileBytes(turned, exiftest::WithSegments(*jpeg, {exiftest::ExifSegment(block.Bytes())}));
  paths.push_back(turned.string());
  testsupport::WriteFileBytes(folder / "broken.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
  paths.push_back((folder / "broken.png").string());
  paths.push_back((folder / "gone.bmp").string());
  return paths;
}

struct Case {
  const char* name;
  int written;  // the two readable sources, unless the size fails
  std::function<void(forms::Form& main, forms::Form& options)> set;
};

TEST(FilePreview, GivesTheRunsSizesPathsFailuresAndBytes) {
  const auto custom = [](forms::Form& m, const char* w, const char* h, bool keep) {
    m.SetChecked("rb_benutzer", true);
    m.SetText("act_sizebenutzer_x", w);
    m.SetText("act_sizebenutzer_y", h);
    m.SetChecked("act_propbenutzer_prop", keep);
  };
  const Case cases[] = {
      {"no size, png", 2, [](forms::Form& m, forms::Form&) { m.SetText("out_format", "*.png - Portable Network Graphics"); }},
      {"custom, kept proportions, sizes in the name", 2,
       [&](forms::Form& m, forms::Form&) {
         custom(m, "20", "20", true);
         m.SetText("out_name", "%0num%-%name%-%width%x%height%");
         m.SetText("out_format", "*.bmp - Windows Bitmap");
       }},
      {"percent, jpg", 2, [](forms::Form& m, forms::Form&) {
         m.SetChecked("rb_prozent", true);
         m.SetText("act_sizeprozent_x", "50");
         m.SetText("act_sizeprozent_y", "50");
         m.SetText("out_format", "*.jpg - JPEG Image");
       }},
      {"factor 2/3, keep orientation, webp", 2, [](forms::Form& m, forms::Form& o) {
         m.SetChecked("rb_faktor", true);
         m.SetText("ed_faktor", "2/3");
         o.SetChecked("keep_orientation", true);
         m.SetText("out_format", "*.webp - WebP Image");
       }},
      {"a ratio with a zero divisor", 0, [](forms::Form& m, forms::Form&) {
         m.SetChecked("rb_faktor", true);
         m.SetText("ed_faktor", "2/0");
       }},
      {"enlarging off", 2, [&](forms::Form& m, forms::Form& o) {
         custom(m, "100", "100", false);
         o.SetChecked("act_sizebigger", false);
         m.SetText("out_format", "*.tga - Truevision Targa");
       }},
      {"file size, png", 2, [](forms::Form& m, forms::Form&) {
         m.SetChecked("rb_filesize", true);
         m.SetText("ed_filesize", "2");
         m.SetText("out_format", "*.png - Portable Network Graphics");
       }},
      {"overwrite", 2, [&](forms::Form& m, forms::Form&) {
         custom(m, "10", "10", false);
         m.SetChecked("out_overwrite", true);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    forms::Form mainForm = forms::CreateMainForm();
    forms::Form options = forms::CreateOptionsForm();
    mainForm.SetChecked("out_newimage", true);
    mainForm.SetText("out_ordner", "%folder%/out");
    mainForm.SetText("out_name", "%name%");
    c.set(mainForm, options);
    const std::vector<std::string> paths = WriteSources(dir.Path() / "src");
    const engine::ConversionJob job = engine::JobFromForms(mainForm, options);

    std::vector<engine::FilePreview> previews;
    imaging::ResizeFilter filter = imaging::ResizeFilter::Nearest;
    engine::ChooseResizeFilter(job, filter);
    const std::vector<std::string> before = testsupport::NamesIn(dir.Path() / "src");
    for (size_t i = 0; i < paths.size(); ++i)
      previews.push_back(engine::PreviewFile({.source = paths[i],
                                              .position = static_cast<int>(i),
                                              .listSize = static_cast<int>(paths.size()),
                                              .job = job,
                                              .filter = filter,
                                              .decimalSeparator = ".",
                                              .keepBytes = true}));
    EXPECT_EQ(testsupport::NamesIn(dir.Path() / "src"), before) << "the preview created nothing";

    engine::ScriptedDialogs dialogs;
    engine::RunMemory memory;
    dialogs.Run(paths, [job] { return job; }, memory, nullptr, ".");
    ASSERT_EQ(dialogs.fileEnds.size(), paths.size());
    int written = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
      const engine::FileEnd& end = dialogs.fileEnds[i];
      const engine::FilePreview& preview = previews[i];
      SCOPED_TRACE(paths[i]);
      EXPECT_EQ(preview.key, end.key);
      EXPECT_EQ(preview.outputPath, end.output);
      if (end.result != engine::FileResult::Written) {
        EXPECT_FALSE(preview.key.empty());
        continue;
      }
      ++written;
      EXPECT_EQ(preview.width, end.width);
      EXPECT_EQ(preview.height, end.height);
      EXPECT_EQ(preview.outputBytes, end.bytes);
      EXPECT_EQ(preview.bytes, testsupport::ReadFileBytes(end.output));
    }
    EXPECT_EQ(written, c.written);
  }
}

TEST(FilePreview, ShowsTheUprightSourceAndDecodesItsBytesBack) {
  testsupport::TempDir dir;
  const std::vector<std::string> paths = WriteSources(dir.Path());
  forms::Form mainForm = forms::CreateMainForm();
  forms::Form options = forms::CreateOptionsForm();
  mainForm.SetChecked("out_newimage", true);
  mainForm.SetText("out_ordner", "%folder%");
  mainForm.SetText("out_name", "%name%-small");
  mainForm.SetText("out_format", "*.png - Portable Network Graphics");
  mainForm.SetChecked("rb_prozent", true);
  mainForm.SetText("act_sizeprozent_x", "50");
  mainForm.SetText("act_sizeprozent_y", "50");
  const engine::FilePreview preview =
      engine::PreviewFile({.source = paths[1], .job = engine::JobFromForms(mainForm, options), .keepBytes = true});
  EXPECT_EQ(preview.key, "");
  EXPECT_EQ(preview.sourceWidth, 40);
  EXPECT_EQ(preview.sourceHeight, 60);
  EXPECT_EQ(preview.width, 20);
  EXPECT_EQ(preview.height, 30);
  imaging::Image back;
  ASSERT_TRUE(engine::DecodePreviewBytes(preview.bytes, back));
  EXPECT_EQ(back.Width(), 20);
  EXPECT_EQ(back.Format(), imaging::PixelFormat::A8R8G8B8);
  EXPECT_FALSE(engine::DecodePreviewBytes({1, 2, 3}, back));
}

}  // namespace
