#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include <lcms2.h>

#include "imaging/Codec.h"
#include "imaging/PixelFormats.h"

namespace fs = std::filesystem;

namespace testsupport {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const imaging::ImagingError& e) {
    return e.what();
  }
  return "(no error)";
}

fs::path CorpusDir() {
  const char* dir = std::getenv("VEXILO_CORPUS_DIR");
  if (dir && fs::is_directory(dir)) return fs::path(dir);
  return {};
}

fs::path CorpusFile(const std::string& relative) {
  return CorpusDir() / relative;
}

fs::path TestDataDir() {
  const char* dir = std::getenv("VEXILO_TEST_DATA");
  return dir ? fs::path(dir) : fs::path("tests/data");
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("vexilo-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

bool WriteNoisePicture(const fs::path& path, int32_t width, int32_t height) {
  imaging::Image image;
  if (!imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image)) return false;
  uint32_t state = 12345;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      imaging::SetPixel32(image, x, y, 0xFF000000u | (state >> 8));
    }
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  const imaging::Codec* codec = imaging::FindFormatByFileName(path.string());
  return codec != nullptr && codec->SaveToFile(path.string(), std::span(&image, 1), true);
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned PermissionsOf(const fs::path& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool HaveTool(const std::string& program) {
  return RunCommand("command -v " + program + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 65536> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    if (output) output->append(buffer.data(), n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool DecodeWithImageMagick(const fs::path& file, imaging::Image& image, const std::string& options) {
  if (!HaveTool("convert")) return false;
  std::string pam;
  const std::string cmd = "convert '" + file.string() + "[0]' " + options + " -depth 8 -alpha set pam:- 2>/dev/null";
  if (RunCommand(cmd, &pam) != 0 || pam.empty()) return false;
  // PAM header: "P7\nWIDTH w\nHEIGHT h\nDEPTH d\nMAXVAL 255\nTUPLTYPE ...\nENDHDR\n"
  const size_t end = pam.find("ENDHDR\n");
  if (pam.rfind("P7", 0) != 0 || end == std::string::npos) return false;
  std::istringstream header(pam.substr(0, end));
  std::string key;
  int width = 0, height = 0, depth = 0;
  while (header >> key) {
    if (key == "WIDTH") header >> width;
    else if (key == "HEIGHT") header >> height;
    else if (key == "DEPTH") header >> depth;
  }
  const size_t offset = end + 7;
  if (width <= 0 || height <= 0 || depth < 1 || depth > 4) return false;
  if (pam.size() - offset < size_t(width) * size_t(height) * size_t(depth)) return false;
  imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image);
  const uint8_t* src = reinterpret_cast<const uint8_t*>(pam.data()) + offset;
  for (int i = 0; i < width * height; ++i, src += depth) {
    uint8_t r, g, b, a = 255;
    if (depth <= 2) {
      r = g = b = src[0];
      if (depth == 2) a = src[1];
    } else {
      r = src[0]; g = src[1]; b = src[2];
      if (depth == 4) a = src[3];
    }
    uint8_t* dst = image.Bits() + size_t(i) * 4;
    dst[0] = b; dst[1] = g; dst[2] = r; dst[3] = a;
  }
  return true;
}

std::string CompareImages(const imaging::Image& expected, const imaging::Image& actual, int tolerance,
                          bool compareAlpha) {
  std::ostringstream out;
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height()) {
    out << "size " << actual.Width() << "x" << actual.Height() << ", expected " << expected.Width() << "x" << expected.Height();
    return out.str();
  }
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x) {
      const imaging::Color32 e = imaging::GetPixel32(expected, x, y);
      const imaging::Color32 a = imaging::GetPixel32(actual, x, y);
      for (int ch = 0; ch < (compareAlpha ? 4 : 3); ++ch) {
        const int de = (e >> (8 * ch)) & 0xFF, da = (a >> (8 * ch)) & 0xFF;
        if (std::abs(de - da) > tolerance) {
          char text[128];
          std::snprintf(text, sizeof text, "pixel (%d,%d): 0x%08X, expected 0x%08X", x, y, a, e);
          return text;
        }
      }
    }
  return {};
}

}  // namespace testsupport

namespace testsupport {

void CopyAsArgb(const imaging::Image& source, imaging::Image& target) {
  using namespace imaging;
  const PixelFormatInfo* info = FindFormatInfo(source.Format());
  if (info && info->IsCompressed) {
    CopyImage(source, target);
    ConvertImageFormat(target, PixelFormat::A8R8G8B8);
    return;
  }
  CreateImage(source.Width(), source.Height(), PixelFormat::A8R8G8B8, target);
  for (int32_t y = 0; y < source.Height(); ++y)
    for (int32_t x = 0; x < source.Width(); ++x) SetPixel32(target, x, y, GetPixel32(source, x, y));
}

namespace {

// The profile's bytes; the profile is closed.
std::vector<uint8_t> SavedProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

}  // namespace

std::vector<uint8_t> DisplayP3Profile(size_t padding) {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  cmsMLU* description = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(description, "en", "US", "Display P3 (test)");
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
  cmsMLUfree(description);
  if (padding > 0) {
    std::vector<uint8_t> filler(padding);
    for (size_t i = 0; i < padding; ++i) filler[i] = static_cast<uint8_t>(i * 7);
    cmsWriteRawTag(profile, static_cast<cmsTagSignature>(0x76786670) /* 'vxfp' */, filler.data(),
                   static_cast<cmsUInt32Number>(padding));
  }
  return SavedProfile(profile);
}

std::vector<uint8_t> GrayProfile(double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return SavedProfile(profile);
}

void ReferenceToSRGB(imaging::Image& image, const std::vector<uint8_t>& profile) {
  cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHPROFILE target = cmsCreate_sRGBProfile();
  const cmsUInt32Number layout = image.Format() == imaging::PixelFormat::A16R16G16B16    ? TYPE_BGRA_16
                                 : image.Format() == imaging::PixelFormat::A32R32G32B32F ? TYPE_BGRA_FLT
                                                                                       : TYPE_BGRA_8;
  cmsHTRANSFORM transform = cmsCreateTransform(source, layout, target, layout, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
  std::vector<uint8_t> converted(static_cast<size_t>(image.Size()));
  cmsDoTransform(transform, image.Bits(), converted.data(), static_cast<cmsUInt32Number>(image.Width() * image.Height()));
  std::copy(converted.begin(), converted.end(), image.Bits());
  cmsDeleteTransform(transform);
  cmsCloseProfile(target);
  cmsCloseProfile(source);
}

}  // namespace testsupport
