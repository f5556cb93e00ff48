// The box of each size mode, the larger/smaller and orientation rules, the proportional fit
// and the rounding, and the job read from the forms.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/ConversionJob.h"
#include "engine/JobFromForms.h"
#include "engine/TargetSize.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"

namespace {

using engine::Size;
using engine::SizeMode;

struct Options {
  bool larger = true, smaller = true, orientation = true;
};

// The size the run gives a W × H image under the job; the source size when it is not scaled.
Size Result(const engine::ConversionJob& job, int32_t w, int32_t h, Options o = {}) {
  const auto box = engine::ComputeBox(job, w, h);
  if (!box) return {w, h};
  const auto size = engine::ScaledSize(w, h, *box, o.larger, o.smaller, o.orientation);
  return size ? *size : Size{w, h};
}

engine::ConversionJob PresetJob(int32_t tw, int32_t th, bool keep) {
  engine::ConversionJob job;
  job.sizeMode = SizeMode::Preset;
  job.presetWidth = tw;
  job.presetHeight = th;
  job.keepPreset = keep;
  return job;
}

TEST(TargetSize, RoundsHalvesToEven) {
  EXPECT_EQ(engine::RoundHalfEven(2.5L), 2);
  EXPECT_EQ(engine::RoundHalfEven(3.5L), 4);
  EXPECT_EQ(engine::RoundHalfEven(0.5L), 0);
  EXPECT_EQ(engine::RoundHalfEven(426.67L), 427);
  EXPECT_EQ(engine::RoundHalfEven(-2.5L), -2);
  EXPECT_EQ(engine::RoundHalfEven(1e30L), INT32_MAX);
}

TEST(TargetSize, PresetBoxWithRules) {
  struct Case {
    int32_t w, h;
    bool keep;
    Options options;
    Size expected;
  };
  const Case cases[] = {
      {3000, 2000, true, {}, {640, 427}},                     // r = 0.2133..., 426.67 rounds up
      {2000, 3000, true, {}, {427, 640}},                     // the box turns with the photo
      {2000, 3000, true, {true, true, false}, {320, 480}},    // without the orientation rule
      {300, 200, true, {true, false, true}, {300, 200}},      // smaller than the box: left alone
      {300, 900, true, {true, false, true}, {213, 640}},      // taller than the box either way round
      {300, 200, true, {false, false, true}, {300, 200}},     // neither rule: never scaled
      {300, 200, true, {}, {640, 427}},                       // enlarged when allowed
      {1000, 2000, false, {}, {480, 640}},                    // no keep: the box turned, aspect lost
      {1000, 2000, false, {true, true, false}, {640, 480}},
      {700, 100, true, {false, true, false}, {640, 91}},      // only smaller: one side within the box suffices
      {700, 500, true, {false, true, false}, {700, 500}},
      {700, 500, true, {true, false, false}, {640, 457}},
      {600, 400, true, {true, false, false}, {600, 400}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Result(PresetJob(640, 480, c.keep), c.w, c.h, c.options), c.expected)
        << c.w << "x" << c.h << " keep " << c.keep << " L" << c.options.larger << " S" << c.options.smaller << " O"
        << c.options.orientation;
  }
  EXPECT_EQ(Result(PresetJob(800, 600, false), 1000, 2000), (Size{600, 800}));
  engine::ConversionJob none = PresetJob(0, 0, true);
  EXPECT_FALSE(engine::ComputeBox(none, 10, 10).has_value());
  none.sizeMode = SizeMode::None;
  EXPECT_FALSE(engine::ComputeBox(none, 10, 10).has_value());
}

TEST(TargetSize, PercentCustomAndFactorModes) {
  struct PercentCase {
    std::string width, height;
    bool keep;
    int32_t w, h;
    Options options;
    Size expected;
  };
  const PercentCase percents[] = {
      {"50", "50", false, 5, 7, {}, {2, 4}},                  // 2.5 to 2, 3.5 to 4
      {"50", "50", true, 5, 7, {}, {2, 3}},                   // the 2 × 4 box filled proportionally
      {"50", "x", false, 100, 80, {true, true, false}, {50, 80}},  // not an integer: the source height
  };
  for (const PercentCase& c : percents) {
    engine::ConversionJob percent;
    percent.sizeMode = SizeMode::Percent;
    percent.percentWidthText = c.width;
    percent.percentHeightText = c.height;
    percent.keepPercent = c.keep;
    EXPECT_EQ(Result(percent, c.w, c.h, c.options), c.expected) << c.width << " x " << c.height;
  }

  engine::ConversionJob custom;
  custom.sizeMode = SizeMode::Custom;
  custom.customWidthText = "640";
  custom.customHeightText = "";  // emptied by a configuration: only the width limits
  custom.keepCustom = true;
  EXPECT_EQ(Result(custom, 3000, 2000, {true, true, false}), (Size{640, 427}));

  struct FactorCase {
    const char* text;
    int32_t w, h;
    Size expected;
  };
  const FactorCase factors[] = {
      {"2", 100, 50, {200, 100}},   {"1/3", 300, 200, {100, 67}}, {"3:1", 300, 200, {100, 67}},
      {" 2/3\t", 300, 200, {200, 133}}, {"2.5", 100, 50, {100, 50}}, {"/3", 100, 50, {100, 50}},
      {"1/3/", 300, 200, {300, 200}}, {"1//3", 300, 200, {300, 200}}, {"$2", 10, 20, {20, 40}},
      {"1/2:1", 300, 200, {300, 200}},  // a "/" ratio that is not two integers leaves the ":" test
  };
  engine::ConversionJob factor;
  factor.sizeMode = SizeMode::Factor;
  for (const FactorCase& c : factors) {
    factor.factorText = c.text;
    const auto box = engine::ComputeBox(factor, c.w, c.h);
    ASSERT_TRUE(box.has_value()) << c.text;
    EXPECT_FALSE(box->keep) << c.text;
    EXPECT_EQ((Size{box->width, box->height}), c.expected) << c.text;
  }
  for (const char* zero : {"2/0", "0:2"}) {
    factor.factorText = zero;
    EXPECT_THROW(engine::ComputeBox(factor, 100, 50), engine::SizeError) << zero;
  }
}

TEST(ConversionJob, ReadFromFormsAndRunSettings) {
  forms::Form mainForm = forms::CreateMainForm();
  forms::Form options = forms::CreateOptionsForm();
  engine::ConversionJob job = engine::JobFromForms(mainForm, options);
  EXPECT_EQ(job.sizeMode, SizeMode::Preset);
  EXPECT_EQ(job.presetWidth, 640);
  EXPECT_EQ(job.presetHeight, 480);
  EXPECT_FALSE(job.saveMode == engine::SaveMode::Overwrite);
  EXPECT_EQ(job.namePattern, "%name%-1");
  EXPECT_EQ(job.quality, 95);

  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetChecked("act_size640x480", false);
  job = engine::JobFromForms(mainForm, options);
  EXPECT_EQ(job.sizeMode, SizeMode::FileSize);
  EXPECT_EQ(job.presetWidth, 0);

  struct MethodCase {
    const char* text;
    imaging::ResizeFilter before, after;
  };
  const MethodCase methods[] = {
      {"Bikubisch", imaging::ResizeFilter::Nearest, imaging::ResizeFilter::Bicubic},
      {"Bicubic", imaging::ResizeFilter::Nearest, imaging::ResizeFilter::Bicubic},
      {"Bilinear", imaging::ResizeFilter::Nearest, imaging::ResizeFilter::Bilinear},
      {"Nächster Nachbar", imaging::ResizeFilter::Bicubic, imaging::ResizeFilter::Nearest},
      {"Nearest", imaging::ResizeFilter::Bicubic, imaging::ResizeFilter::Nearest},
      {"Lanczos", imaging::ResizeFilter::Bilinear, imaging::ResizeFilter::Bilinear},  // keeps the last run's
      {"", imaging::ResizeFilter::Nearest, imaging::ResizeFilter::Nearest},
  };
  for (const MethodCase& m : methods) {
    job.filter = engine::FilterOfMethodText(m.text);
    imaging::ResizeFilter filter = m.before;
    engine::ChooseResizeFilter(job, filter);
    EXPECT_EQ(filter, m.after) << m.text;
  }

  struct QualityCase {
    const char* text;
    int32_t position, quality;
  };
  const QualityCase qualities[] = {{"80", 95, 80}, {"951", 95, 100}, {"0", 95, 1}, {"", 42, 42}, {"abc", 7, 7}, {"-5", 95, 1}};
  for (const QualityCase& q : qualities) {
    EXPECT_EQ(engine::QualityOfText(q.text, q.position), q.quality) << q.text;
  }
}

}  // namespace
