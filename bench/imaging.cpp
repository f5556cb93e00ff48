// Speed of the image library's pixel work on a 12-megapixel photo-like picture: resizing to
// 1024 × 768 with the three methods, the two common conversions, turning a photo stored on its
// side upright and converting Display P3 colours to sRGB, next to libjpeg-turbo
// decoding the same picture (quality 92), which is the floor a batch resize has to pay per
// file anyway. The summary line gives the bicubic reduction as a multiple of that decode.
#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <lcms2.h>

#include "imaging/ColorProfile.h"
#include "imaging/Orientation.h"
#include "imaging/PixelFormats.h"

using namespace imaging;

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int32_t kTargetWidth = 1024;
constexpr int32_t kTargetHeight = 768;
constexpr int kJpegQuality = 92;

// A deterministic stand-in for a photograph: smooth gradients and waves of several sizes, a few
// hard edges, and sensor-like noise, so that neither the resampler nor the JPEG coder sees an
// unrealistically easy picture.
class Picture {
public:
  Picture() {
    CreateImage(kWidth, kHeight, PixelFormat::A8R8G8B8, argb_);
    CreateImage(kWidth, kHeight, PixelFormat::R8G8B8, rgb_);
    std::vector<float> wx1(kWidth), wx2(kWidth), wy1(kHeight), wy2(kHeight);
    for (int32_t x = 0; x < kWidth; ++x) {
      wx1[size_t(x)] = std::sin(float(x) * 0.0021f);
      wx2[size_t(x)] = std::sin(float(x) * 0.019f + 1.0f);
    }
    for (int32_t y = 0; y < kHeight; ++y) {
      wy1[size_t(y)] = std::cos(float(y) * 0.0017f);
      wy2[size_t(y)] = std::sin(float(y) * 0.023f);
    }
    uint32_t noise = 0x9E3779B9u;
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        const float large = wx1[size_t(x)] * wy1[size_t(y)];
        const float fine = wx2[size_t(x)] * wy2[size_t(y)];
        const bool inBlock = ((x / 700) + (y / 500)) % 3 == 0;
        float channel[3] = {110.0f + 80.0f * large + 25.0f * fine + float(y) * 0.01f,
                            120.0f + 70.0f * wy1[size_t(y)] - 30.0f * fine + (inBlock ? 35.0f : 0.0f),
                            100.0f + 90.0f * wx1[size_t(x)] * 0.8f + 20.0f * large + float(x) * 0.008f};
        uint8_t* argb = argb_.Bits() + (size_t(y) * kWidth + size_t(x)) * 4;
        uint8_t* rgb = rgb_.Bits() + (size_t(y) * kWidth + size_t(x)) * 3;
        for (int c = 0; c < 3; ++c) {
          noise ^= noise << 13;
          noise ^= noise >> 17;
          noise ^= noise << 5;
          const float v = channel[c] + float(int32_t(noise % 25u) - 12);
          const uint8_t b = static_cast<uint8_t>(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v));
          argb[c] = b;
          rgb[c] = b;
        }
        argb[3] = 255;
      }
    }
    EncodeJpeg();
  }
  const Image& Argb() const { return argb_; }
  const Image& Rgb() const { return rgb_; }
  const std::vector<uint8_t>& Jpeg() const { return jpeg_; }

private:
  void EncodeJpeg() {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kJpegQuality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = rgb_.Bits() + size_t(cinfo.next_scanline) * kWidth * 3;
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    jpeg_.assign(buffer, buffer + size);
    std::free(buffer);
  }

  Image argb_, rgb_;
  std::vector<uint8_t> jpeg_;
};

const Picture& ThePicture() {
  static const Picture picture;
  return picture;
}

void ResizeBenchmark(benchmark::State& state, ResizeFilter method) {
  const Picture& picture = ThePicture();
  for (auto _ : state) {
    state.PauseTiming();
    Image image;
    CopyImage(picture.Argb(), image);
    state.ResumeTiming();
    ResizeImage(image, kTargetWidth, kTargetHeight, method);
    benchmark::DoNotOptimize(image.Bits());
    state.PauseTiming();
    image.Reset();
    state.ResumeTiming();
  }
  state.counters["MPix/s"] =
      benchmark::Counter(double(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ResizeNearest(benchmark::State& state) { ResizeBenchmark(state, ResizeFilter::Nearest); }
void BM_ResizeBilinear(benchmark::State& state) { ResizeBenchmark(state, ResizeFilter::Bilinear); }
void BM_ResizeBicubic(benchmark::State& state) { ResizeBenchmark(state, ResizeFilter::Bicubic); }

void ConvertBenchmark(benchmark::State& state, const Image& source, PixelFormat format) {
  for (auto _ : state) {
    state.PauseTiming();
    Image image;
    CopyImage(source, image);
    state.ResumeTiming();
    try {
      ConvertImageFormat(image, format);
    } catch (const ImagingError& e) {
      state.PauseTiming();
      image.Reset();
      state.SkipWithError(e.what());
      break;
    }
    benchmark::DoNotOptimize(image.Bits());
    state.PauseTiming();
    image.Reset();
    state.ResumeTiming();
  }
}

void BM_ConvertR8G8B8ToA8R8G8B8(benchmark::State& state) {
  ConvertBenchmark(state, ThePicture().Rgb(), PixelFormat::A8R8G8B8);
}
void BM_ConvertA8R8G8B8ToIndex8(benchmark::State& state) {
  ConvertBenchmark(state, ThePicture().Argb(), PixelFormat::Index8);
}

// Turns the picture as a camera's orientation 6 (clockwise) or 3 (half a turn) asks.
void OrientBenchmark(benchmark::State& state, int32_t orientation) {
  for (auto _ : state) {
    state.PauseTiming();
    Image image;
    CopyImage(ThePicture().Argb(), image);
    state.ResumeTiming();
    OrientImage(image, orientation);
    benchmark::DoNotOptimize(image.Bits());
    state.PauseTiming();
    image.Reset();
    state.ResumeTiming();
  }
  state.counters["MPix/s"] =
      benchmark::Counter(double(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OrientClockwise(benchmark::State& state) { OrientBenchmark(state, kOrientationRightTop); }
void BM_OrientHalfTurn(benchmark::State& state) { OrientBenchmark(state, kOrientationBottomRight); }

// A Display P3 profile as cameras and phones embed it (primaries, D65, the sRGB curve).
std::vector<uint8_t> DisplayP3() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

void BM_DisplayP3ToSRGB(benchmark::State& state) {
  const std::vector<uint8_t> profile = DisplayP3();
  std::string error;
  for (auto _ : state) {
    state.PauseTiming();
    Image image;
    CopyImage(ThePicture().Argb(), image);
    state.ResumeTiming();
    if (!ConvertToSRGB(image, profile, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(image.Bits());
    state.PauseTiming();
    image.Reset();
    state.ResumeTiming();
  }
  state.counters["MPix/s"] =
      benchmark::Counter(double(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_JpegDecode(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = ThePicture().Jpeg();
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * size_t(cinfo.output_components);
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
      const JDIMENSION count = std::min<JDIMENSION>(16, cinfo.output_height - cinfo.output_scanline);
      for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels.data() + size_t(cinfo.output_scanline + i) * stride;
      jpeg_read_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["MPix/s"] =
      benchmark::Counter(double(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(std::to_string(jpeg.size() / 1024) + " KiB");
}

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeNearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeBilinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeBicubic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertR8G8B8ToA8R8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertA8R8G8B8ToIndex8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrientClockwise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrientHalfTurn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayP3ToSRGB)->Unit(benchmark::kMillisecond);

// Console output plus the times per iteration that the summary needs; with repetitions the
// median is taken.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      Times& times = times_[run.run_name.function_name];
      if (times.fromMedian && !median) continue;
      times = Times{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), median};
    }
    ConsoleReporter::ReportRuns(reports);
  }

  void PrintSummary() const {
    const auto cubic = times_.find("BM_ResizeBicubic");
    const auto jpeg = times_.find("BM_JpegDecode");
    if (cubic == times_.end() || jpeg == times_.end()) return;
    std::printf("\nbicubic 4000x3000 -> 1024x768 / JPEG q%d decode of the same picture: %.2f (real time), %.2f (CPU time)\n",
                kJpegQuality, cubic->second.real / jpeg->second.real, cubic->second.cpu / jpeg->second.cpu);
  }

private:
  struct Times {
    double real = 0.0, cpu = 0.0;
    bool fromMedian = false;
  };
  std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
