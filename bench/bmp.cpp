// Speed of the BMP codec through the buffered file layer on a 12-megapixel picture, next to the
// floor of reading the same file into memory with plain read() calls.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/Codec.h"

using namespace imaging;

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

struct Files {
  std::string folder;
  std::string rgb;   // 24-bit BI_RGB
  std::string rle;   // Index8, RLE8
  Files() {
    char pattern[] = "/tmp/vexilo-bench-bmp-XXXXXX";
    folder = mkdtemp(pattern);
    rgb = folder + "/rgb.bmp";
    rle = folder + "/rle.bmp";
    std::vector<Image> images;
    Image& image = images.emplace_back();
    CreateImage(kWidth, kHeight, PixelFormat::R8G8B8, image);
    for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = static_cast<uint8_t>((i * 7) ^ (i >> 11));
    FindFormatByExtension("bmp")->SaveToFile(rgb, images);
    images.clear();
    Image& indexed = images.emplace_back();
    CreateImage(kWidth, kHeight, PixelFormat::Index8, indexed);
    // Bands of runs with stretches of noise, as in a drawing with a few photographic areas.
    for (int32_t i = 0; i < indexed.Size(); ++i)
      indexed.Bits()[i] = (i % kWidth) % 500 < 400 ? static_cast<uint8_t>(i / kWidth / 30) : static_cast<uint8_t>(i * 13);
    CodecOptions options = CurrentOptions();
    options.bitmap.useRle = true;
    FindFormatByExtension("bmp")->SaveToFile(rle, images, false, options);
  }
  ~Files() {
    std::remove(rgb.c_str());
    std::remove(rle.c_str());
    std::remove(folder.c_str());
  }
};

const Files& TheFiles() {
  static Files files;
  return files;
}

void BM_ReadWholeFileFloor(benchmark::State& state) {
  std::vector<uint8_t> buffer(size_t(kWidth) * kHeight * 3 + 4096);
  for (auto _ : state) {
    const int fd = open(TheFiles().rgb.c_str(), O_RDONLY);
    size_t total = 0;
    ssize_t n;
    while ((n = read(fd, buffer.data() + total, buffer.size() - total)) > 0) total += size_t(n);
    close(fd);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_ReadWholeFileFloor)->Unit(benchmark::kMillisecond);

void BM_LoadRgb24(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<Image> images;
    FindFormatByExtension("bmp")->LoadFromFile(TheFiles().rgb, images);
    benchmark::DoNotOptimize(images[0].Bits());
  }
}
BENCHMARK(BM_LoadRgb24)->Unit(benchmark::kMillisecond);

void BM_LoadRle8(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<Image> images;
    FindFormatByExtension("bmp")->LoadFromFile(TheFiles().rle, images);
    benchmark::DoNotOptimize(images[0].Bits());
  }
}
BENCHMARK(BM_LoadRle8)->Unit(benchmark::kMillisecond);

void BM_SaveRgb24(benchmark::State& state) {
  std::vector<Image> images;
  FindFormatByExtension("bmp")->LoadFromFile(TheFiles().rgb, images);
  const std::string target = TheFiles().folder + "/out.bmp";
  for (auto _ : state) FindFormatByExtension("bmp")->SaveToFile(target, images);
  std::remove(target.c_str());
}
BENCHMARK(BM_SaveRgb24)->Unit(benchmark::kMillisecond);

void BM_SaveRle8(benchmark::State& state) {
  std::vector<Image> images;
  FindFormatByExtension("bmp")->LoadFromFile(TheFiles().rle, images);
  const std::string target = TheFiles().folder + "/out.bmp";
  for (auto _ : state) FindFormatByExtension("bmp")->SaveToFile(target, images);
  std::remove(target.c_str());
}
BENCHMARK(BM_SaveRle8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
