#include "engine/TargetSize.h"

#include <cmath>
#include <limits>

#include "forms/NumberText.h"
#include "base/Text.h"

namespace engine {

int32_t RoundHalfEven(long double value) {
  // nearbyintl rounds in the default mode, to nearest with ties to even.
  const long double rounded = std::nearbyintl(value);
  if (std::isnan(rounded)) return 0;
  if (rounded >= static_cast<long double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (rounded <= static_cast<long double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}

namespace {

// Products of the factor mode are 32-bit integers, wrapping like the arithmetic they model.
int32_t Multiply32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

int32_t RatioSide(int32_t numerator, int32_t side, int32_t divisor) {
  if (divisor == 0) throw SizeError("Division by zero in the size ratio");
  return RoundHalfEven(static_cast<long double>(Multiply32(numerator, side)) / divisor);
}

}  // namespace

std::optional<Box> ComputeBox(const ConversionJob& job, int32_t width, int32_t height) {
  Box box;
  switch (job.sizeMode) {
    case SizeMode::None:
    case SizeMode::FileSize:  // the file-size search sets the box
      return std::nullopt;
    case SizeMode::Preset:
      if (job.presetWidth == 0) return std::nullopt;
      box = {job.presetWidth, job.presetHeight, job.keepPreset};
      break;
    case SizeMode::Custom: {
      const auto x = forms::ParseIntegerText(job.customWidthText);
      const auto y = forms::ParseIntegerText(job.customHeightText);
      box = {x ? *x : width, y ? *y : height, job.keepCustom};
      break;
    }
    case SizeMode::Percent: {
      const auto x = forms::ParseIntegerText(job.percentWidthText);
      const auto y = forms::ParseIntegerText(job.percentHeightText);
      box.width = x ? RoundHalfEven(static_cast<long double>(*x) / 100 * width) : width;
      box.height = y ? RoundHalfEven(static_cast<long double>(*y) / 100 * height) : height;
      box.keep = job.keepPercent;
      break;
    }
    case SizeMode::Factor: {
      const std::string t = base::TrimBlanks(job.factorText);
      box = {width, height, false};
      if (const auto n = forms::ParseIntegerText(t)) {
        box.width = Multiply32(*n, width);
        box.height = Multiply32(*n, height);
        break;
      }
      if (const auto r = forms::ParseRatioText(t, '/')) {
        box.width = RatioSide(r->first, width, r->second);
        box.height = RatioSide(r->first, height, r->second);
      }
      // "3:1" reads old to new; it wins over a "/" ratio in the same text.
      if (const auto r = forms::ParseRatioText(t, ':')) {
        box.width = RatioSide(r->second, width, r->first);
        box.height = RatioSide(r->second, height, r->first);
      }
      break;
    }
  }
  return box;
}

std::optional<Size> ScaledSize(int32_t w, int32_t h, const Box& box, bool larger, bool smaller, bool orientation) {
  const int32_t tw = box.width, th = box.height;
  bool scale;
  if (larger && smaller) {
    scale = true;
  } else if (!larger && !smaller) {
    scale = false;
  } else if (larger) {
    scale = orientation ? !((w < tw && h < th) || (w < th && h < tw)) : (w >= tw || h >= th);
  } else {
    scale = orientation ? !((w > tw && h > th) || (w > th && h > tw)) : (w <= tw || h <= th);
  }
  if (!scale) return std::nullopt;

  const bool sourceLandscape = w > h;
  const bool boxLandscape = tw > th;
  const bool swap = orientation && sourceLandscape != boxLandscape;
  if (!box.keep) return swap ? Size{th, tw} : Size{tw, th};

  const int32_t fitW = swap ? th : tw;
  const int32_t fitH = swap ? tw : th;
  if (w == 0 || h == 0) throw SizeError("Division by zero: the image has no pixels");
  const long double rx = static_cast<long double>(fitW) / w;
  const long double ry = static_cast<long double>(fitH) / h;
  const long double r = ry <= rx ? ry : rx;
  Size size{RoundHalfEven(w * r), RoundHalfEven(h * r)};
  if (size.width > fitW) size.width = fitW;
  if (size.height > fitH) size.height = fitH;
  return size;
}

}  // namespace engine
