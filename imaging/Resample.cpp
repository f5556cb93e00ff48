// Resampling: the filter table, nearest-neighbour and filtered stretching of rectangles, and
// ResizeImage on top of them.
//
// The filtered results are fixed bit for bit: every channel is a single-precision sum of
// weight × value products taken in contributor order, first down the source rows (vertical
// pass into one float line), then along that line (horizontal pass). The passes over 8-bit
// channels are in imaging/ResampleKernels.h, with a vector version where the target has one.
#include "imaging/Image.h"
#include "imaging/PixelFormats.h"
#include "imaging/ResampleKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace imaging {
namespace {

constexpr float kPi = 3.14159265358979323846f;

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

float TriangleFilter(float x) {
  const float a = std::fabs(x);
  return a < 1.0f ? 1.0f - a : 0.0f;
}

float CosineFilter(float x) {
  if (std::fabs(x) >= 1.0f) return 0.0f;
  return (std::cos(kPi * x) + 1.0f) / 2.0f;
}

float HermiteFilter(float x) {
  const float a = std::fabs(x);
  if (a >= 1.0f) return 0.0f;
  return 2.0f * a * a * a - 3.0f * a * a + 1.0f;
}

float QuadraticFilter(float x) {
  const float a = std::fabs(x);
  if (a < 0.5f) return 0.75f - a * a;
  if (a < 1.5f) {
    const float t = a - 1.5f;
    return 0.5f * t * t;
  }
  return 0.0f;
}

float GaussianFilter(float x) { return std::exp(-2.0f * x * x) * std::sqrt(2.0f / kPi); }

float SplineFilter(float x) {
  const float a = std::fabs(x);
  if (a < 1.0f) return 0.5f * a * a * a - a * a + 2.0f / 3.0f;
  if (a < 2.0f) {
    const float t = 2.0f - a;
    return t * t * t / 6.0f;
  }
  return 0.0f;
}

float Sinc(float x) {
  if (x == 0.0f) return 1.0f;
  const float px = kPi * x;
  return std::sin(px) / px;
}

float Lanczos3Filter(float x) {
  if (std::fabs(x) >= 3.0f) return 0.0f;
  return Sinc(x) * Sinc(x / 3.0f);
}

float MitchellFilter(float x) {
  const float a = std::fabs(x);
  if (a < 1.0f) return (7.0f * a * a * a - 12.0f * a * a + 16.0f / 3.0f) / 6.0f;
  if (a < 2.0f) return (-7.0f / 3.0f * a * a * a + 12.0f * a * a - 20.0f * a + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

float CatmullRomFilter(float x) {
  const float a = std::fabs(x);
  if (a < 1.0f) return 0.5f * (3.0f * a * a * a - 5.0f * a * a + 2.0f);
  if (a < 2.0f) return 0.5f * (-a * a * a + 5.0f * a * a - 8.0f * a + 4.0f);
  return 0.0f;
}

}  // namespace

const FilterEntry ResamplingFilters[kFilterCount] = {
    {BoxFilter, 1.0f},      {TriangleFilter, 1.0f}, {CosineFilter, 1.0f},   {HermiteFilter, 1.0f},
    {QuadraticFilter, 1.5f}, {GaussianFilter, 1.25f}, {SplineFilter, 2.0f},  {Lanczos3Filter, 3.0f},
    {MitchellFilter, 2.0f}, {CatmullRomFilter, 2.0f},
};

namespace {

using PF = PixelFormat;

[[noreturn]] void AssertionFailed(const char* what) { RaiseImaging("Assertion failed: %s", what); }

// ---- Clipping --------------------------------------------------------------------------------

// Clips one axis of a source span and a target span against their images. What is cut off one
// span is cut off the other in proportion, so the scale between them stays as it was.
bool ClipStretchAxis(int32_t sourceExtent, int32_t& start, int32_t& length, int32_t targetExtent,
                     int32_t& targetStart, int32_t& targetLength) {
  if (length <= 0 || targetLength <= 0) return false;
  const double ratio = double(targetLength) / double(length);  // target pixels per source pixel
  auto cut = [](double v) { return static_cast<int64_t>(std::nearbyint(v)); };
  int64_t s0 = start, s1 = int64_t(start) + length;
  int64_t t0 = targetStart, t1 = int64_t(targetStart) + targetLength;
  if (s0 < 0) {
    t0 += cut(double(-s0) * ratio);
    s0 = 0;
  }
  if (s1 > sourceExtent) {
    t1 -= cut(double(s1 - sourceExtent) * ratio);
    s1 = sourceExtent;
  }
  if (t0 < 0) {
    s0 += cut(double(-t0) / ratio);
    t0 = 0;
  }
  if (t1 > targetExtent) {
    s1 -= cut(double(t1 - targetExtent) / ratio);
    t1 = targetExtent;
  }
  if (s1 <= s0 || t1 <= t0) return false;
  start = static_cast<int32_t>(s0);
  length = static_cast<int32_t>(s1 - s0);
  targetStart = static_cast<int32_t>(t0);
  targetLength = static_cast<int32_t>(t1 - t0);
  return true;
}

// ---- Nearest neighbour -------------------------------------------------------------------------

template <size_t Bytes>
void CopyPixelsNearest(const uint8_t* sourceRow, const size_t* offsets, int32_t count, uint8_t* targetRow) {
  for (int32_t i = 0; i < count; ++i, targetRow += Bytes) std::memcpy(targetRow, sourceRow + offsets[i], Bytes);
}

void StretchNearest(const Image& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, Image& target,
                    int32_t tx, int32_t ty, int32_t tw, int32_t th) {
  const PixelFormatInfo* info = FindFormatInfo(target.Format());
  if (info->IsCompressed) AssertionFailed("StretchImageRect: nearest neighbour on a compressed format");
  const size_t bpp = static_cast<size_t>(info->BytesPerPixel);
  // 16.16 fixed point; the step of a source of 32768 pixels or more needs more than 31 bits.
  const int64_t xStep = (int64_t(sw) << 16) / tw;
  const int64_t yStep = (int64_t(sh) << 16) / th;

  std::vector<size_t> offsets(static_cast<size_t>(tw));
  int64_t xAcc = 0;
  for (int32_t i = 0; i < tw; ++i, xAcc += xStep) offsets[size_t(i)] = size_t(sx + (xAcc >> 16)) * bpp;

  int64_t yAcc = 0;
  for (int32_t j = 0; j < th; ++j, yAcc += yStep) {
    const uint8_t* sourceRow = source.Bits() + size_t(sy + (yAcc >> 16)) * size_t(source.Width()) * bpp;
    uint8_t* targetRow = target.Bits() + (size_t(ty + j) * size_t(target.Width()) + size_t(tx)) * bpp;
    switch (bpp) {
      case 1: CopyPixelsNearest<1>(sourceRow, offsets.data(), tw, targetRow); break;
      case 2: CopyPixelsNearest<2>(sourceRow, offsets.data(), tw, targetRow); break;
      case 3: CopyPixelsNearest<3>(sourceRow, offsets.data(), tw, targetRow); break;
      case 4: CopyPixelsNearest<4>(sourceRow, offsets.data(), tw, targetRow); break;
      case 6: CopyPixelsNearest<6>(sourceRow, offsets.data(), tw, targetRow); break;
      case 8: CopyPixelsNearest<8>(sourceRow, offsets.data(), tw, targetRow); break;
      case 16: CopyPixelsNearest<16>(sourceRow, offsets.data(), tw, targetRow); break;
      default:
        for (int32_t i = 0; i < tw; ++i) std::memcpy(targetRow + size_t(i) * bpp, sourceRow + offsets[size_t(i)], bpp);
        break;
    }
  }
}

// ---- Contributor lists -------------------------------------------------------------------------

// The contributors of every target coordinate of one axis, as flat arrays: those of target
// coordinate i are the entries First[i] to First[i + 1] - 1 of Source and Weight.
struct ContributorTable {
  std::vector<int32_t> First;
  std::vector<int32_t> Source;
  std::vector<float> Weight;
  int32_t MaxCount = 0;
};

void BuildContributors(int32_t sourceStart, int32_t sourceLength, int32_t targetLength, const FilterEntry& filter,
                       ContributorTable& table) {
  table.First.assign(size_t(targetLength) + 1, 0);
  table.Source.clear();
  table.Weight.clear();
  table.MaxCount = 0;
  const int32_t sourceLast = sourceStart + sourceLength - 1;
  const float scale = static_cast<float>(targetLength) / static_cast<float>(sourceLength);
  const float reach = scale < 1.0f ? filter.Radius / scale : filter.Radius;
  // At most 2 × reach + 3 candidates per coordinate; reserving avoids regrowing in the loop.
  const double expected = (2.0 * double(reach) + 4.0) * double(targetLength);
  if (expected > double(1 << 30))
    RaiseImaging("Resampling %d to %d pixels needs too many filter taps.", sourceLength, targetLength);
  table.Source.reserve(static_cast<size_t>(expected));
  table.Weight.reserve(static_cast<size_t>(expected));

  for (int32_t i = 0; i < targetLength; ++i) {
    const size_t first = table.Source.size();
    table.First[size_t(i)] = static_cast<int32_t>(first);
    if (sourceLength == 1) {
      table.Source.push_back(sourceStart);
      table.Weight.push_back(1.0f);
    } else {
      const float center = scale >= 1.0f
                               ? (static_cast<float>(i) + 0.5f) / scale + (static_cast<float>(sourceStart) - 0.5f)
                               : static_cast<float>(sourceStart) - 0.5f + (static_cast<float>(i) + 0.5f) / scale;
      const int32_t left = static_cast<int32_t>(std::floor(center - reach));
      const int32_t right = static_cast<int32_t>(std::ceil(center + reach));
      for (int32_t k = left; k <= right; ++k) {
        const float weight = scale >= 1.0f ? filter.Function(center - static_cast<float>(k))
                                           : scale * filter.Function(scale * (center - static_cast<float>(k)));
        if (weight == 0.0f) continue;
        table.Source.push_back(k < sourceStart ? sourceStart : (k > sourceLast ? sourceLast : k));
        table.Weight.push_back(weight);
      }
      const size_t count = table.Source.size() - first;
      if (count > 0) {
        float sum = 0.0f;
        for (size_t t = first; t < table.Source.size(); ++t) sum += table.Weight[t];
        if (sum != 1.0f) table.Weight[first + (count - 1) / 2] += 1.0f - sum;
      } else {
        // Only when reducing can all candidates fall on zeros of the filter.
        const int32_t k = static_cast<int32_t>(std::floor(center));
        table.Source.push_back(k < sourceStart ? sourceStart : (k > sourceLast ? sourceLast : k));
        table.Weight.push_back(1.0f);
      }
    }
    table.MaxCount = std::max(table.MaxCount, static_cast<int32_t>(table.Source.size() - first));
  }
  table.First[size_t(targetLength)] = static_cast<int32_t>(table.Source.size());
}

// ---- Filtered stretching ---------------------------------------------------------------------

void StretchFiltered(const Image& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, Image& target,
                     int32_t tx, int32_t ty, int32_t tw, int32_t th, const FilterEntry& filter) {
  const PixelFormatInfo* info = FindFormatInfo(target.Format());
  if (source.Format() != target.Format() || info->IsCompressed || info->IsIndexed)
    AssertionFailed("StretchImageRect: filtered stretch needs one uncompressed, non-indexed format");
  const int32_t bpp = info->BytesPerPixel;
  const int32_t channels = info->ChannelCount;
  const bool rawBytes = bpp / channels == 1 && !info->IsFloatingPoint;

  ContributorTable xs, ys;
  BuildContributors(sx, sw, tw, filter, xs);
  BuildContributors(sy, sh, th, filter, ys);

  int32_t minX = xs.Source[0], maxX = xs.Source[0];
  for (int32_t c : xs.Source) {
    minX = std::min(minX, c);
    maxX = std::max(maxX, c);
  }
  const size_t spanWidth = size_t(maxX - minX + 1);
  // Floats per line column: one per byte on the raw path, one ColorFP otherwise.
  const int32_t lineStride = rawBytes ? bpp : 4;

  // Everything the passes need is allocated here, once.
  std::vector<float> line(spanWidth * size_t(lineStride) + 4, 0.0f);
  std::vector<int32_t> xOffsets(xs.Source.size());
  std::vector<WeightVector> xWeights(xs.Weight.size());
  for (size_t t = 0; t < xs.Source.size(); ++t) {
    xOffsets[t] = (xs.Source[t] - minX) * lineStride;
    xWeights[t].Set(xs.Weight[t]);
  }
  const size_t maxTaps = size_t(ys.MaxCount);
  std::vector<const uint8_t*> rows(maxTaps);
  std::vector<WeightVector> yWeights(maxTaps);

  const size_t sourceStride = size_t(source.Width()) * size_t(bpp);
  const size_t targetStride = size_t(target.Width()) * size_t(bpp);
  const uint8_t* sourceSpan = source.Bits() + size_t(minX) * size_t(bpp);

  for (int32_t j = 0; j < th; ++j) {
    const int32_t first = ys.First[size_t(j)];
    const int32_t taps = ys.First[size_t(j) + 1] - first;
    const float* weights = ys.Weight.data() + first;
    for (int32_t t = 0; t < taps; ++t) {
      rows[size_t(t)] = sourceSpan + size_t(ys.Source[size_t(first + t)]) * sourceStride;
      yWeights[size_t(t)].Set(weights[t]);
    }
    uint8_t* targetRow = target.Bits() + size_t(ty + j) * targetStride + size_t(tx) * size_t(bpp);

    if (rawBytes) {
      VerticalPassBytes(rows.data(), yWeights.data(), taps, spanWidth * size_t(bpp), line.data());
      if (!HorizontalPassBytes(channels, bpp, line.data(), xs.First.data(), xOffsets.data(), xWeights.data(), tw,
                               targetRow))
        AssertionFailed("StretchImageRect: unexpected 8-bit pixel layout");
    } else {
      // Wider channels go through the format's float reader and writer, whose calls cost far
      // more than the four sums beside them.
      const GetPixelFPFunc read = info->GetPixelFP;
      const SetPixelFPFunc write = info->SetPixelFP;
      for (size_t c = 0; c < spanWidth; ++c) {
        float* sum = line.data() + c * 4;
        sum[0] = sum[1] = sum[2] = sum[3] = 0.0f;
        for (int32_t t = 0; t < taps; ++t) {
          const ColorFP p = read(rows[size_t(t)] + c * size_t(bpp), info, source.Palette());
          const float w = weights[t];
          sum[0] += w * p.B;
          sum[1] += w * p.G;
          sum[2] += w * p.R;
          sum[3] += w * p.A;
        }
      }
      uint8_t* p = targetRow;
      for (int32_t i = 0; i < tw; ++i, p += bpp) {
        ColorFP color{0.0f, 0.0f, 0.0f, 0.0f};
        for (int32_t t = xs.First[size_t(i)]; t < xs.First[size_t(i) + 1]; ++t) {
          const float* column = line.data() + xOffsets[size_t(t)];
          const float w = xs.Weight[size_t(t)];
          color.B += w * column[0];
          color.G += w * column[1];
          color.R += w * column[2];
          color.A += w * column[3];
        }
        write(p, info, target.Palette(), color);
      }
    }
  }
}

// Nearest neighbour into an indexed target from a source of another format. Indices made for
// another palette mean nothing here, so each sampled colour takes the nearest entry of the
// target's own palette.
void StretchNearestIntoPalette(const Image& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                               Image& target, int32_t tx, int32_t ty, int32_t tw, int32_t th) {
  Image colors, sampled;
  CopyImage(source, colors);
  ConvertImageFormat(colors, PF::A8R8G8B8);
  // Sampling into a true-colour rectangle first keeps the positions those of every other
  // nearest-neighbour stretch.
  CreateImage(tw, th, PF::A8R8G8B8, sampled);
  StretchNearest(colors, sx, sy, sw, sh, sampled, 0, 0, tw, th);
  const int32_t entries = FindFormatInfo(target.Format())->PaletteEntries;
  const Color32* pixel = reinterpret_cast<const Color32*>(sampled.Bits());
  // Neighbouring pixels often share a colour; the last match saves a palette search.
  Color32 lastColor = 0;
  int32_t lastIndex = -1;
  for (int32_t j = 0; j < th; ++j) {
    uint8_t* row = target.Bits() + size_t(ty + j) * size_t(target.Width()) + size_t(tx);
    for (int32_t i = 0; i < tw; ++i, ++pixel) {
      if (lastIndex < 0 || *pixel != lastColor) {
        lastIndex = FindPaletteColor(target.Palette(), entries, *pixel);
        if (lastIndex < 0) RaiseImaging("No palette entry is close to color 0x%.8X.", *pixel);
        lastColor = *pixel;
      }
      row[i] = static_cast<uint8_t>(lastIndex);
    }
  }
}

bool IsMethod(ResizeFilter filter) {
  return filter == ResizeFilter::Nearest || filter == ResizeFilter::Bilinear || filter == ResizeFilter::Bicubic;
}

}  // namespace

bool StretchImageRect(const Image& source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                      int32_t sourceHeight, Image& target, int32_t targetX, int32_t targetY, int32_t targetWidth,
                      int32_t targetHeight, ResizeFilter filter) {
  if (!IsImageValid(source) || !IsImageValid(target)) return false;
  try {
    int32_t sx = sourceX, sy = sourceY, sw = sourceWidth, sh = sourceHeight;
    int32_t tx = targetX, ty = targetY, tw = targetWidth, th = targetHeight;
    if (!ClipStretchAxis(source.Width(), sx, sw, target.Width(), tx, tw) ||
        !ClipStretchAxis(source.Height(), sy, sh, target.Height(), ty, th))
      return false;
    if (sw == tw && sh == th) return CopyImageRect(source, sx, sy, sw, sh, target, tx, ty);

    const PixelFormatInfo* targetInfo = FindFormatInfo(target.Format());
    // An unknown method leaves the target as it is, without even a round trip through Default.
    if (!targetInfo->IsIndexed && !IsMethod(filter)) return true;

    // Reading and writing the same pixels would read rows already overwritten; the source
    // is then read from a copy. (A compressed target that is its own source would otherwise
    // also change format under the reader.)
    Image sourceCopy;
    const Image* from = &source;
    if (&source == &target) {
      CopyImage(source, sourceCopy);
      from = &sourceCopy;
    }

    const PixelFormat original = target.Format();
    if (targetInfo->IsCompressed) ConvertImageFormat(target, PF::Default);
    if (targetInfo->IsIndexed && from->Format() != target.Format()) {
      StretchNearestIntoPalette(*from, sx, sy, sw, sh, target, tx, ty, tw, th);
      return true;
    }
    Image converted;
    const Image* src = from;
    if (from->Format() != target.Format()) {
      CopyImage(*from, converted);
      ConvertImageFormat(converted, target.Format());
      src = &converted;
    }
    if (FindFormatInfo(target.Format())->IsIndexed || filter == ResizeFilter::Nearest)
      StretchNearest(*src, sx, sy, sw, sh, target, tx, ty, tw, th);
    else
      StretchFiltered(*src, sx, sy, sw, sh, target, tx, ty, tw, th,
                      ResamplingFilters[filter == ResizeFilter::Bilinear ? 1 : 9]);
    if (original != target.Format()) ConvertImageFormat(target, original);
    return true;
  } catch (...) {
    RaiseImaging("Error while stretching rect from image %s to image %s.", DescribeImage(source).c_str(),
                 DescribeImage(target).c_str());
  }
}

bool ResizeImage(Image& image, int32_t newWidth, int32_t newHeight, ResizeFilter filter) {
  if (newWidth <= 0 || newHeight <= 0) AssertionFailed("ResizeImage: the new size must be above 0");
  if (!IsImageValid(image)) return false;
  if (image.Width() == newWidth && image.Height() == newHeight) return false;
  // An unknown method would leave a blank image of the new size; keep the old one instead.
  if (!IsMethod(filter)) return false;
  Image resized;
  try {
    CreateImage(newWidth, newHeight, image.Format(), resized);
    StretchImageRect(image, 0, 0, image.Width(), image.Height(), resized, 0, 0, resized.Width(), resized.Height(), filter);
    // An indexed image keeps its indices, so it keeps its palette too.
    if (image.palette_) resized.palette_ = std::move(image.palette_);
    image = std::move(resized);
    return true;
  } catch (...) {
    RaiseImaging("Error while resizing image.  %s", DescribeImage(image).c_str());
  }
}

}  // namespace imaging
