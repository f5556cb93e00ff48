// The preview line of the size and save pages: the run's size and naming rules, no folders made.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/Configuration.h"
#include "engine/JobFromForms.h"
#include "engine/OutputPreview.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(Preview, FollowsTheSettingsAndCreatesNothing) {
  testsupport::TempDir dir;
  const std::string source = dir.Path().string() + "/IMG_0001.jpg";
  config::ProgramWindows w(forms::Language::English);
  w.mainForm.SetChecked("act_size1024x768", true);
  w.mainForm.SetText("out_ordner", "%folder%/small");
  w.mainForm.SetText("out_name", "%name%");
  struct Case {
    const char* mode;
    const char* expected;
  };
  const Case cases[] = {
      {"rb_pixel", "IMG_0001.jpg 4000 \u00D7 3000 \u2192 1024 \u00D7 768 \u2192 "},
      {"rb_prozent", "IMG_0001.jpg 4000 \u00D7 3000 \u2192 3000 \u00D7 2250 \u2192 "},
      {"rb_filesize", "IMG_0001.jpg 4000 \u00D7 3000 \u2192 \u2264 100 KB \u2192 "},
  };
  for (const Case& c : cases) {
    w.mainForm.SetChecked(c.mode, true);
    const auto job = engine::JobFromForms(w.mainForm, w.options);
    const auto p = engine::PreviewOutput(job, source, 4000, 3000, 0, 1);
    EXPECT_EQ(engine::PreviewLine(p, job.fileSizeText), c.expected + dir.Path().string() + "/small/IMG_0001.jpg")
        << c.mode;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "small"));

  // Overwriting names the source itself; a ratio with a zero divisor is named, not thrown.
  w.mainForm.SetChecked("out_overwrite", true);
  w.mainForm.SetChecked("rb_faktor", true);
  w.mainForm.SetText("ed_faktor", "2/0");
  const auto job = engine::JobFromForms(w.mainForm, w.options);
  const auto p = engine::PreviewOutput(job, source, 4000, 3000, 0, 1);
  EXPECT_EQ(p.outputPath, source);
  EXPECT_FALSE(p.problem.empty());
}

TEST(Preview, APhotoStoredOnItsSideShowsTheSizeTheRunGivesIt) {
  config::ProgramWindows w(forms::Language::English);
  w.mainForm.SetChecked("act_size1024x768", true);
  w.mainForm.SetText("out_name", "%name%_%width%x%height%");
  w.mainForm.SetText("out_format", "*.png - Portable Network Graphics");
  const std::string source = "/photos/IMG_0002.jpg";
  // Stored 4000 x 3000, to be turned clockwise: the run sees a portrait of 3000 x 4000.
  auto job = engine::JobFromForms(w.mainForm, w.options);
  EXPECT_EQ(engine::PreviewLine(engine::PreviewOutput(job, source, 4000, 3000, 0, 1, 6), job.fileSizeText),
            "IMG_0002.jpg 3000 \u00D7 4000 \u2192 768 \u00D7 1024 \u2192 /photos/IMG_0002_3000x4000.png");
  w.options.SetChecked("keep_orientation", true);
  job = engine::JobFromForms(w.mainForm, w.options);
  EXPECT_EQ(engine::PreviewLine(engine::PreviewOutput(job, source, 4000, 3000, 0, 1, 6), job.fileSizeText),
            "IMG_0002.jpg 4000 \u00D7 3000 \u2192 1024 \u00D7 768 \u2192 /photos/IMG_0002_4000x3000.png");
}

TEST(Preview, AnAnimationOrAMultiPageFileSaysHowManyFramesOrPages) {
  config::ProgramWindows w(forms::Language::English);
  w.mainForm.SetChecked("out_overwrite", true);
  w.mainForm.SetChecked("rb_prozent", true);
  w.mainForm.SetText("act_sizeprozent_x", "50");
  w.mainForm.SetText("act_sizeprozent_y", "50");
  const auto job = engine::JobFromForms(w.mainForm, w.options);
  auto p = engine::PreviewOutput(job, "/gifs/anim.gif", 320, 240, 0, 1);
  p.frames = 12;
  EXPECT_EQ(engine::PreviewLine(p, job.fileSizeText), "anim.gif 320 \u00D7 240, 12 frames \u2192 160 \u00D7 120 \u2192 /gifs/anim.gif");
  p.pages = true;
  p.frames = 3;
  EXPECT_NE(engine::PreviewLine(p, job.fileSizeText).find(", 3 pages \u2192"), std::string::npos);
}

}  // namespace
