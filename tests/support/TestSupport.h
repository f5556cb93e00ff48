// Helpers shared by the test binaries: corpus and data locations, temporary folders, image
// comparison.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imaging/PixelFormats.h"
#include "imaging/Types.h"

namespace testsupport {

// The third-party corpus folder (VEXILO_CORPUS_DIR) or an empty path when it is absent.
std::filesystem::path CorpusDir();
// Path of a file of the corpus (relative to CorpusDir()).
std::filesystem::path CorpusFile(const std::string& relative);
// In a test body: skips the test when the corpus is not present.
#define VEXILO_REQUIRE_CORPUS()                                                         \
  do {                                                                                  \
    if (::testsupport::CorpusDir().empty()) GTEST_SKIP() << "third-party corpus not found"; \
  } while (0)
// The project's own small fixtures under tests/data.
std::filesystem::path TestDataDir();

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// A w × h A8R8G8B8 picture with detail in every pixel (a fixed pseudo-random sequence), saved by
// the codec of the path's extension; its folder is made. False when it cannot be saved.
bool WriteNoisePicture(const std::filesystem::path& path, int32_t width, int32_t height);

// Every name in the folder, sorted: to see that no temporary file is left behind.
std::vector<std::string> NamesIn(const std::filesystem::path& folder);
// The permission bits of a file (a link followed); 0 when it cannot be read.
unsigned PermissionsOf(const std::filesystem::path& path);

// True when the program can be found on PATH.
bool HaveTool(const std::string& program);
// Runs a shell command; returns its exit status and captures standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Reads any image an independent decoder (ImageMagick) understands into 8-bit BGRA pixels:
// false when the tool is missing or fails. `options` go to convert after the input file
// (for example "-auto-orient").
bool DecodeWithImageMagick(const std::filesystem::path& file, imaging::Image& image,
                           const std::string& options = "");

// The message of the ImagingError the action raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& action);

// Compares two A8R8G8B8 images; returns an empty text when equal, else a description of the
// first difference. `tolerance` is the largest allowed difference per channel.
std::string CompareImages(const imaging::Image& expected, const imaging::Image& actual, int tolerance = 0,
                          bool compareAlpha = true);

}  // namespace testsupport

namespace testsupport {

// An ICC profile of Display P3 (its primaries, D65 white, the sRGB tone curve) made by Little
// CMS, described as "Display P3 (test)". `padding` bytes of a private tag make it larger, so
// that it takes several JPEG segments.
std::vector<uint8_t> DisplayP3Profile(size_t padding = 0);

// A gray ICC profile with a plain gamma curve (D50 white) made by Little CMS.
std::vector<uint8_t> GrayProfile(double gamma);

// Converts A8R8G8B8, A16R16G16B16 or A32R32G32B32F pixels from the profile to sRGB the way Little CMS does it
// on its own (perceptual intent, alpha copied), as the reference for the library's conversion.
void ReferenceToSRGB(imaging::Image& image, const std::vector<uint8_t>& profile);

// Fills `target` with the pixels of `source` as A8R8G8B8, read pixel by pixel through the
// format's own reader (block-compressed formats through the converter).
void CopyAsArgb(const imaging::Image& source, imaging::Image& target);

}  // namespace testsupport
