#include "imaging/Types.h"

#include <cstdarg>
#include <cstdio>
#include <exception>


namespace imaging {

std::string FormatText(const char* templ, ...) {
  va_list args;
  va_start(args, templ);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, templ, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    result.resize(static_cast<size_t>(length));
    std::vsnprintf(result.data(), result.size() + 1, templ, args);
  }
  va_end(args);
  return result;
}

namespace {
thread_local LoadWarnings* gLoadWarnings = nullptr;
}  // namespace

LoadWarnings::LoadWarnings() : outer_(gLoadWarnings) { gLoadWarnings = this; }
LoadWarnings::~LoadWarnings() { gLoadWarnings = outer_; }

void AddLoadWarning(const std::string& text) {
  if (gLoadWarnings != nullptr) gLoadWarnings->texts_.push_back(text);
}

void RaiseImaging(const std::string& message) {
  if (std::exception_ptr inner = std::current_exception()) {
    try {
      std::rethrow_exception(inner);
    } catch (const std::exception& e) {
      throw ImagingError(message + " Exception Message: " + e.what());
    } catch (...) {
      throw ImagingError(message);
    }
  }
  throw ImagingError(message);
}

void CheckImageDimensions(int64_t width, int64_t height, const char* what) {
  if (width <= 0 || height <= 0)
    RaiseImaging("Invalid image dimensions %lldx%lld in %s.", static_cast<long long>(width),
                 static_cast<long long>(height), what);
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels)
    RaiseImaging("Image dimensions %lldx%lld in %s exceed the supported maximum (65535 pixels per side, "
                 "268435456 pixels in all).",
                 static_cast<long long>(width), static_cast<long long>(height), what);
}

}  // namespace imaging
