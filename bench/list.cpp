// Adding a folder of 12-megapixel JPEG photos to the image list: by header on the list's
// reader threads, next to decoding every file as the list once did. The files are written
// once with our own encoder into a folder under the temporary folder and kept for later runs.
// VEXILO_BENCH_LIST_FILES sets their number (default 24); the counters give the time per file
// and the time for 1,000 files scaled from it.
//
// The list at scale: a folder of 10,000 small bitmaps searched and added (rows, header reads
// on the pool, the rows placed in their sorted order), and a header click that sorts the
// 10,000 rows, in CPU time of the whole process (the reader threads included).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ImageFiles.h"
#include "forms/FolderFilterForm.h"
#include "tests/support/ScriptedDialogs.h"
#include "imagelist/List.h"
#include "imaging/Codec.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

int FileCount() {
  const char* text = std::getenv("VEXILO_BENCH_LIST_FILES");
  const int n = text ? std::atoi(text) : 24;
  return n > 0 ? n : 24;
}

// Photo-like pictures: smooth gradients with grain, a different one per file.
const std::vector<std::string>& Photos() {
  static const std::vector<std::string> paths = [] {
    const int count = FileCount();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vexilo-bench-list-" + std::to_string(count));
    std::filesystem::create_directories(folder);
    std::vector<std::string> out;
    imaging::Image image;
    for (int i = 0; i < count; ++i) {
      const std::string path = (folder / ("photo_" + std::to_string(i) + ".jpg")).string();
      out.push_back(path);
      if (std::filesystem::exists(path) && std::filesystem::file_size(path) > 0) continue;
      if (image.Bits() == nullptr) imaging::CreateImage(kWidth, kHeight, imaging::PixelFormat::R8G8B8, image);
      uint32_t noise = 0x9E3779B9u + uint32_t(i);
      for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = image.Bits() + size_t(y) * kWidth * 3;
        for (int32_t x = 0; x < kWidth; ++x) {
          noise = noise * 1664525u + 1013904223u;
          const int grain = int(noise >> 28) - 8;
          row[x * 3] = uint8_t(std::clamp((x + i * 97) / 16 % 256 + grain, 0, 255));
          row[x * 3 + 1] = uint8_t(std::clamp((y + x / 3) / 12 % 256 + grain, 0, 255));
          row[x * 3 + 2] = uint8_t(std::clamp(255 - y / 12 + grain, 0, 255));
        }
      }
      if (!engine::SaveImageFile(path, image)) std::abort();
    }
    return out;
  }();
  return paths;
}

void Report(benchmark::State& state, size_t files) {
  state.counters["per_file"] =
      benchmark::Counter(double(files) * double(state.iterations()), benchmark::Counter::kIsRate |
                                                                          benchmark::Counter::kInvert);
  state.counters["files"] = double(files);
}

// What the list does now: the row at once, the header read on its reader threads.
void BM_AddByHeader(benchmark::State& state) {
  const std::vector<std::string>& paths = Photos();
  for (auto _ : state) {
    imagelist::ImageList list(forms::Language::English, ".");
    engine::ScriptedDialogs dialogs;
    for (const std::string& path : paths) list.AddFile(path, dialogs);
    list.WaitForHeaders(dialogs);
    if (list.RowCount() != int(paths.size()) || list.Rows()[0].width != "4000") state.SkipWithError("rows not filled");
  }
  Report(state, paths.size());
}

// The list before: every file decoded for its width and height.
void BM_AddByDecode(benchmark::State& state) {
  const std::vector<std::string>& paths = Photos();
  for (auto _ : state) {
    for (const std::string& path : paths) {
      if (imaging::DetectFileFormat(path).empty()) state.SkipWithError("not detected");
      imaging::Image image;
      if (!engine::LoadImageFile(path, image) || image.Width() != kWidth) state.SkipWithError("not decoded");
    }
  }
  Report(state, paths.size());
}

// 10,000 small bitmaps of different sizes, written once and kept.
const std::string& SmallFilesFolder() {
  static const std::string folder = [] {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "vexilo-bench-list-10000";
    std::filesystem::create_directories(path);
    imaging::Image image;
    for (int i = 0; i < 10000; ++i) {
      const std::filesystem::path file = path / ("img_" + std::to_string(10000 + i) + ".bmp");
      if (std::filesystem::exists(file)) continue;
      if (!imaging::CreateImage(16 + i % 50, 12 + i % 37, imaging::PixelFormat::R8G8B8, image)) std::abort();
      if (!engine::SaveImageFile(file.string(), image)) std::abort();
    }
    return path.string();
  }();
  return folder;
}

void BM_AddFolderOfTenThousand(benchmark::State& state) {
  const std::string& folder = SmallFilesFolder();
  const forms::Form filter = forms::CreateFolderFilterForm();
  for (auto _ : state) {
    imagelist::ImageList list(forms::Language::English, ".");
    engine::ScriptedDialogs dialogs;
    list.AddFolder(folder, filter, dialogs);
    list.WaitForHeaders(dialogs);
    if (list.RowCount() != 10000) state.SkipWithError("not every file was added");
  }
  Report(state, 10000);
}

void BM_SortTenThousandRows(benchmark::State& state) {
  const forms::Form filter = forms::CreateFolderFilterForm();
  imagelist::ImageList list(forms::Language::English, ".");
  engine::ScriptedDialogs dialogs;
  list.AddFolder(SmallFilesFolder(), filter, dialogs);
  list.WaitForHeaders(dialogs);
  int column = 0;
  for (auto _ : state) {
    column = (column + 1) % imagelist::kColumnCount;  // name, type, width, height, size, path
    list.SortByColumn(column);
  }
}

BENCHMARK(BM_AddFolderOfTenThousand)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_SortTenThousandRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddByHeader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddByDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
