// Speed of the JPEG and PNG codecs on a 12-megapixel photo-like picture, next to libjpeg-turbo
// and libpng doing the same work directly in the same run. The summary lines give our times as
// multiples of the libraries' own.
#include <benchmark/benchmark.h>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imaging/Codec.h"

using namespace imaging;

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int kJpegQuality = 80;

// A deterministic stand-in for a photograph: smooth waves of several sizes, hard-edged blocks
// and sensor-like noise.
class Picture {
public:
  Picture() {
    CreateImage(kWidth, kHeight, PixelFormat::R8G8B8, rgb_);
    uint32_t noise = 0x9E3779B9u;
    for (int32_t y = 0; y < kHeight; ++y) {
      const float wy1 = std::cos(float(y) * 0.0017f), wy2 = std::sin(float(y) * 0.023f);
      for (int32_t x = 0; x < kWidth; ++x) {
        const float wx1 = std::sin(float(x) * 0.0021f), wx2 = std::sin(float(x) * 0.019f + 1.0f);
        const float large = wx1 * wy1, fine = wx2 * wy2;
        const bool block = ((x / 700) + (y / 500)) % 3 == 0;
        const float channel[3] = {100.0f + 72.0f * wx1 + 20.0f * large + float(x) * 0.008f,
                                  120.0f + 70.0f * wy1 - 30.0f * fine + (block ? 35.0f : 0.0f),
                                  110.0f + 80.0f * large + 25.0f * fine + float(y) * 0.01f};
        uint8_t* p = rgb_.Bits() + (size_t(y) * kWidth + size_t(x)) * 3;
        for (int c = 0; c < 3; ++c) {
          noise ^= noise << 13;
          noise ^= noise >> 17;
          noise ^= noise << 5;
          const float v = channel[c] + float(int32_t(noise % 9u) - 4);
          p[c] = static_cast<uint8_t>(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v));
        }
      }
    }
    std::vector<Image> images;
    images.push_back(rgb_.Clone());
    CodecOptions options = CurrentOptions();
    options.jpeg.quality = kJpegQuality;
    MemoryStream jpeg, png;
    FindFormatByExtension("jpg")->SaveToStream(jpeg, images, false, options);
    FindFormatByExtension("png")->SaveToStream(png, images, false, options);
    jpeg_ = jpeg.Data();
    png_ = png.Data();
  }
  const Image& Rgb() const { return rgb_; }
  const std::vector<uint8_t>& Jpeg() const { return jpeg_; }
  const std::vector<uint8_t>& Png() const { return png_; }

private:
  Image rgb_;
  std::vector<uint8_t> jpeg_, png_;
};

const Picture& ThePicture() {
  static const Picture picture;
  return picture;
}

void SetRate(benchmark::State& state, size_t bytes) {
  state.counters["MPix/s"] =
      benchmark::Counter(double(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(std::to_string(bytes / 1024) + " KiB");
}

// ---- Through our codecs -------------------------------------------------------------------

void DecodeOurs(benchmark::State& state, const char* extension, const std::vector<uint8_t>& file) {
  const Codec* codec = FindFormatByExtension(extension);
  MemoryStream stream(file);
  for (auto _ : state) {
    stream.Seek(0, SeekOrigin::Begin);
    std::vector<Image> images;
    if (!codec->LoadFromStream(stream, images)) state.SkipWithError("decoding failed");
    benchmark::DoNotOptimize(images[0].Bits());
  }
  SetRate(state, file.size());
}

void EncodeOurs(benchmark::State& state, const char* extension) {
  const Codec* codec = FindFormatByExtension(extension);
  std::vector<Image> images;
  images.push_back(ThePicture().Rgb().Clone());
  CodecOptions options = CurrentOptions();
  options.jpeg.quality = kJpegQuality;
  size_t written = 0;
  for (auto _ : state) {
    MemoryStream stream;
    if (!codec->SaveToStream(stream, images, false, options)) state.SkipWithError("encoding failed");
    written = stream.Data().size();
    benchmark::DoNotOptimize(stream.Data().data());
  }
  SetRate(state, written);
}

void BM_JpegDecodeVexilo(benchmark::State& state) { DecodeOurs(state, "jpg", ThePicture().Jpeg()); }
void BM_JpegEncodeVexilo(benchmark::State& state) { EncodeOurs(state, "jpg"); }
void BM_PngDecodeVexilo(benchmark::State& state) { DecodeOurs(state, "png", ThePicture().Png()); }
void BM_PngEncodeVexilo(benchmark::State& state) { EncodeOurs(state, "png"); }

// ---- libjpeg-turbo directly, as djpeg and cjpeg use it --------------------------------------

// Decodes into blue-green-red rows; into a buffer made for each image when `fresh`, as a
// decoder that returns a new image must, else into one buffer reused for every run.
void JpegDecodeLibjpeg(benchmark::State& state, bool fresh) {
  const std::vector<uint8_t>& jpeg = ThePicture().Jpeg();
  std::vector<uint8_t> reused(fresh ? 0 : size_t(kWidth) * kHeight * 3);
  for (auto _ : state) {
    uint8_t* pixels = fresh ? static_cast<uint8_t*>(std::calloc(size_t(kWidth) * kHeight * 3, 1)) : reused.data();
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 3;
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
      const JDIMENSION count = std::min<JDIMENSION>(16, cinfo.output_height - cinfo.output_scanline);
      for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels + size_t(cinfo.output_scanline + i) * stride;
      jpeg_read_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels);
    if (fresh) std::free(pixels);
  }
  SetRate(state, jpeg.size());
}

void BM_JpegDecodeLibjpeg(benchmark::State& state) { JpegDecodeLibjpeg(state, true); }
void BM_JpegDecodeLibjpegReusedBuffer(benchmark::State& state) { JpegDecodeLibjpeg(state, false); }

void BM_JpegEncodeLibjpeg(benchmark::State& state) {
  const Image& rgb = ThePicture().Rgb();
  unsigned long written = 0;
  for (auto _ : state) {
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
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
      const JDIMENSION count = std::min<JDIMENSION>(16, cinfo.image_height - cinfo.next_scanline);
      for (JDIMENSION i = 0; i < count; ++i) rows[i] = const_cast<JSAMPROW>(rgb.Bits()) + size_t(cinfo.next_scanline + i) * kWidth * 3;
      jpeg_write_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    written = size;
    benchmark::DoNotOptimize(buffer);
    std::free(buffer);
  }
  SetRate(state, written);
}

// ---- libpng directly --------------------------------------------------------------------------

struct PngSource {
  const std::vector<uint8_t>* data;
  size_t position;
};

void ReadFromMemory(png_structp png, png_bytep target, png_size_t count) {
  PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->position + count > source->data->size()) png_error(png, "read past the end");
  std::memcpy(target, source->data->data() + source->position, count);
  source->position += count;
}

// setjmp region without C++ objects; `rows` point into the target buffer.
bool DecodeWithLibpng(PngSource* source, png_bytep* rows) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, source, ReadFromMemory);
  png_read_info(png, info);
  png_set_bgr(png);
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

void BM_PngDecodeLibpng(benchmark::State& state) {
  const std::vector<uint8_t>& file = ThePicture().Png();
  std::vector<png_bytep> rows(kHeight);
  for (auto _ : state) {
    uint8_t* pixels = static_cast<uint8_t*>(std::calloc(size_t(kWidth) * kHeight * 3, 1));
    for (int32_t y = 0; y < kHeight; ++y) rows[size_t(y)] = pixels + size_t(y) * kWidth * 3;
    PngSource source{&file, 0};
    if (!DecodeWithLibpng(&source, rows.data())) state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
  SetRate(state, file.size());
}

BENCHMARK(BM_JpegDecodeVexilo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDecodeLibjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDecodeLibjpegReusedBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncodeVexilo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncodeLibjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecodeVexilo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecodeLibpng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncodeVexilo)->Unit(benchmark::kMillisecond);

// Console output plus the CPU time per iteration of every benchmark (the median with
// repetitions) for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      auto& entry = times_[run.run_name.function_name];
      if (entry.second && !median) continue;
      entry = {run.GetAdjustedCPUTime(), median};
    }
    ConsoleReporter::ReportRuns(reports);
  }

  void PrintSummary() const {
    std::printf("\n");
    Ratio("JPEG q80 decode, ours / libjpeg-turbo", "BM_JpegDecodeVexilo", "BM_JpegDecodeLibjpeg", 1.1);
    Ratio("JPEG q80 decode, ours / libjpeg-turbo into a reused buffer", "BM_JpegDecodeVexilo",
          "BM_JpegDecodeLibjpegReusedBuffer", 1.1);
    Ratio("JPEG q80 encode, ours / libjpeg-turbo", "BM_JpegEncodeVexilo", "BM_JpegEncodeLibjpeg", 1.1);
    Ratio("PNG decode, ours / libpng", "BM_PngDecodeVexilo", "BM_PngDecodeLibpng", 1.3);
  }

private:
  void Ratio(const char* what, const char* ours, const char* theirs, double target) const {
    const auto a = times_.find(ours), b = times_.find(theirs);
    if (a == times_.end() || b == times_.end()) return;
    std::printf("%-62s %.2f (target <= %.1f, CPU time)\n", what, a->second.first / b->second.first, target);
  }

  std::map<std::string, std::pair<double, bool>> times_;
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
