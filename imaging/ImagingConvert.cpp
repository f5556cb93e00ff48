// Pixel-format conversion and the median-cut colour reduction behind conversions to Index8.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Imaging.h"
#include "ImagingCompressed.h"
#include "ImagingFormats.h"

namespace imaging {

namespace {

using PF = PixelFormat;

// ---- Colour reduction ------------------------------------------------------------------------

constexpr int32_t kBucketCount = 32768;
constexpr int32_t kMinColors = 2;
constexpr int32_t kMaxColors = 4096;
// Channel k of a colour in the order the reduction tests them: alpha, red, green, blue.
constexpr int kShift[4] = {24, 16, 8, 0};
// Weights of the channels' spreads when choosing the box to split.
constexpr int32_t kSpreadWeight[4] = {1024, 612, 1202, 234};

inline uint32_t ChannelOf(Color32 c, int k) { return (c >> kShift[k]) & 0xFFu; }

inline uint32_t BucketOf(Color32 c) {
  return (Color32Blue(c) * 11u + Color32Alpha(c) + Color32Red(c) * 59u + Color32Green(c) * 119u) &
         (kBucketCount - 1);
}

struct ColorNode {
  Color32 Color;     // masked colour
  uint32_t Count;    // occurrences
  int32_t HashNext;  // next node of the same bucket, -1 at the end
  int32_t BoxNext;   // next node of the same box, -1 at the end
};

struct ColorBox {
  uint8_t Min[4], Max[4];  // per channel, order alpha, red, green, blue
  uint64_t Total;          // occurrences of all its colours
  int32_t First;           // first node of the box's list
  int32_t Spread;          // largest weighted channel spread
  Color32 Average;
};

// State of one reduction. Its nodes come from one growing pool, so collecting allocates only
// when the pool grows, never per pixel.
class ColorReducer {
public:
  void Clear() {
    buckets_.assign(kBucketCount, -1);
    nodes_.clear();
    nodes_.shrink_to_fit();
    boxes_.clear();
    nodeBox_.clear();
    lastColor_ = 0;
    lastNode_ = -1;
  }

  template <typename Reader>
  void Collect(int64_t count, Reader read, uint32_t mask32) {
    if (buckets_.empty()) buckets_.assign(kBucketCount, -1);
    if (nodes_.capacity() == 0) nodes_.reserve(size_t(std::min<int64_t>(count, 1 << 16)));
    for (int64_t i = 0; i < count; ++i) {
      const Color32 c = read(i) & mask32;
      // Neighbouring pixels often repeat a colour; skip the bucket walk for them.
      if (lastNode_ >= 0 && c == lastColor_) {
        ++nodes_[size_t(lastNode_)].Count;
        continue;
      }
      int32_t& head = buckets_[BucketOf(c)];
      int32_t node = head;
      while (node >= 0 && nodes_[size_t(node)].Color != c) node = nodes_[size_t(node)].HashNext;
      if (node >= 0) {
        ++nodes_[size_t(node)].Count;
      } else {
        node = static_cast<int32_t>(nodes_.size());
        nodes_.push_back(ColorNode{c, 1, head, -1});
        head = node;
      }
      lastColor_ = c;
      lastNode_ = node;
    }
  }

  void MakePalette(Color32* palette, uint8_t mask, int32_t colorCount) {
    boxes_.clear();
    if (!nodes_.empty()) {
      ColorBox first{};
      first.First = -1;
      for (size_t n = nodes_.size(); n-- > 0;) {
        nodes_[n].BoxNext = first.First;
        first.First = static_cast<int32_t>(n);
      }
      boxes_.push_back(first);
      UpdateBounds(boxes_[0]);
    }
    SplitBoxes(colorCount);
    for (ColorBox& box : boxes_) {
      box.Average = AverageOf(box);
      // Unmasked colours that mask into the box must fall inside its bounds.
      for (int k = 0; k < 4; ++k) {
        box.Min[k] = static_cast<uint8_t>(box.Min[k] & mask);
        box.Max[k] = static_cast<uint8_t>((box.Max[k] & mask) + (255 - mask));
      }
    }
    std::stable_sort(boxes_.begin(), boxes_.end(),
                     [](const ColorBox& a, const ColorBox& b) { return a.Total > b.Total; });
    nodeBox_.assign(nodes_.size(), 0);
    for (size_t b = 0; b < boxes_.size(); ++b)
      for (int32_t n = boxes_[b].First; n >= 0; n = nodes_[size_t(n)].BoxNext) nodeBox_[size_t(n)] = uint32_t(b);
    for (int32_t i = 0; i < colorCount; ++i)
      palette[i] = size_t(i) < boxes_.size() ? boxes_[size_t(i)].Average : 0xFF000000u;
    mask_ = mask;
  }

  template <typename Reader>
  void Map(int64_t count, Reader read, uint8_t* target, int32_t targetBpp) {
    Color32 last = 0;
    uint32_t lastIndex = 0;
    bool haveLast = false;
    for (int64_t i = 0; i < count; ++i, target += targetBpp) {
      const Color32 c = read(i);
      if (!haveLast || c != last) {
        last = c;
        lastIndex = IndexOf(c);
        haveLast = true;
      }
      *target = static_cast<uint8_t>(lastIndex);
    }
  }

private:
  void UpdateBounds(ColorBox& box) const {
    for (int k = 0; k < 4; ++k) {
      box.Min[k] = 255;
      box.Max[k] = 0;
    }
    box.Total = 0;
    for (int32_t n = box.First; n >= 0; n = nodes_[size_t(n)].BoxNext) {
      const ColorNode& node = nodes_[size_t(n)];
      for (int k = 0; k < 4; ++k) {
        const uint8_t v = static_cast<uint8_t>(ChannelOf(node.Color, k));
        box.Min[k] = std::min(box.Min[k], v);
        box.Max[k] = std::max(box.Max[k], v);
      }
      box.Total += node.Count;
    }
    box.Spread = 0;
    for (int k = 0; k < 4; ++k) box.Spread = std::max(box.Spread, (box.Max[k] - box.Min[k]) * kSpreadWeight[k]);
  }

  void SplitBoxes(int32_t colorCount) {
    while (!boxes_.empty() && boxes_.size() < size_t(colorCount)) {
      size_t widest = 0;
      for (size_t b = 1; b < boxes_.size(); ++b)
        if (boxes_[b].Spread > boxes_[widest].Spread) widest = b;
      const int32_t spread = boxes_[widest].Spread;
      if (spread == 0) break;
      ColorBox& box = boxes_[widest];
      int channel = 0;
      while ((box.Max[channel] - box.Min[channel]) * kSpreadWeight[channel] != spread) ++channel;
      const uint32_t threshold = (uint32_t(box.Min[channel]) + box.Max[channel]) / 2;
      ColorBox upper{};
      int32_t stay = -1;
      upper.First = -1;
      for (int32_t n = box.First; n >= 0;) {
        const int32_t next = nodes_[size_t(n)].BoxNext;
        int32_t& list = ChannelOf(nodes_[size_t(n)].Color, channel) <= threshold ? stay : upper.First;
        nodes_[size_t(n)].BoxNext = list;
        list = n;
        n = next;
      }
      box.First = stay;
      UpdateBounds(box);
      UpdateBounds(upper);
      boxes_.push_back(upper);
    }
  }

  Color32 AverageOf(const ColorBox& box) const {
    uint64_t sums[4] = {0, 0, 0, 0};
    for (int32_t n = box.First; n >= 0; n = nodes_[size_t(n)].BoxNext) {
      const ColorNode& node = nodes_[size_t(n)];
      for (int k = 0; k < 4; ++k) sums[k] += uint64_t(ChannelOf(node.Color, k)) * node.Count;
    }
    if (box.Total == 0) return 0;
    return MakeColor32(static_cast<uint8_t>(sums[0] / box.Total), static_cast<uint8_t>(sums[1] / box.Total),
                       static_cast<uint8_t>(sums[2] / box.Total), static_cast<uint8_t>(sums[3] / box.Total));
  }

  bool Contains(const ColorBox& box, Color32 c) const {
    for (int k = 0; k < 4; ++k) {
      const uint32_t v = ChannelOf(c, k);
      if (v < box.Min[k] || v > box.Max[k]) return false;
    }
    return true;
  }

  // The first box, in sorted order, whose bounds hold the colour; 0 when none does.
  uint32_t IndexOf(Color32 c) const {
    if (mask_ == 0xFF && !buckets_.empty()) {
      // Unmasked boxes come from threshold splits, so their bounds are disjoint and a collected
      // colour lies in its own box only.
      int32_t n = buckets_[BucketOf(c)];
      while (n >= 0 && nodes_[size_t(n)].Color != c) n = nodes_[size_t(n)].HashNext;
      if (n >= 0 && size_t(n) < nodeBox_.size()) return nodeBox_[size_t(n)];
    }
    for (size_t b = 0; b < boxes_.size(); ++b)
      if (Contains(boxes_[b], c)) return static_cast<uint32_t>(b);
    return 0;
  }

  std::vector<int32_t> buckets_;
  std::vector<ColorNode> nodes_;
  std::vector<ColorBox> boxes_;
  std::vector<uint32_t> nodeBox_;  // sorted box of each node
  uint8_t mask_ = 0xFF;
  Color32 lastColor_ = 0;
  int32_t lastNode_ = -1;
};

// A reduction may be spread over several calls (collect from several images, then build one
// palette and map each of them), so its state lives on between calls, one per thread.
thread_local std::unique_ptr<ColorReducer> threadReducer;

// ---- Conversion ----------------------------------------------------------------------------

enum class Kind { Indexed, Gray, Float, Channel };

Kind KindOf(const PixelFormatInfo* info) {
  if (info->IsIndexed) return Kind::Indexed;
  if (info->HasGrayChannel) return Kind::Gray;
  if (info->IsFloatingPoint) return Kind::Float;
  return Kind::Channel;
}

inline bool IsRgb8(PF f) { return f == PF::R8G8B8 || f == PF::A8R8G8B8 || f == PF::X8R8G8B8; }

// Releases a temporary image on every way out.
struct ScopedImage {
  ImageData image;
  ScopedImage() = default;
  ScopedImage(const ScopedImage&) = delete;
  ScopedImage& operator=(const ScopedImage&) = delete;
  ~ScopedImage() { ReleaseImage(image); }
  // Hands the image over to the caller.
  ImageData Take() {
    const ImageData result = image;
    ResetImage(image);
    return result;
  }
};

struct PixelRun {
  const uint8_t* Src;
  const PixelFormatInfo* SrcInfo;
  const Color32* SrcPalette;
  uint8_t* Dst;
  const PixelFormatInfo* DstInfo;
  Color32* DstPalette;
  int64_t Count;
};

template <typename Op>
void ForEachPixel(const PixelRun& run, Op op) {
  const uint8_t* s = run.Src;
  uint8_t* d = run.Dst;
  const size_t sb = size_t(run.SrcInfo->BytesPerPixel), db = size_t(run.DstInfo->BytesPerPixel);
  for (int64_t i = 0; i < run.Count; ++i, s += sb, d += db) op(s, d);
}

void Via64(const PixelRun& r) {
  ForEachPixel(r, [&](const uint8_t* s, uint8_t* d) {
    SetPixel64Generic(d, r.DstInfo, r.DstPalette, GetPixel64Generic(s, r.SrcInfo, r.SrcPalette));
  });
}

void ViaFP(const PixelRun& r) {
  ForEachPixel(r, [&](const uint8_t* s, uint8_t* d) {
    r.DstInfo->SetPixelFP(d, r.DstInfo, r.DstPalette, r.SrcInfo->GetPixelFP(s, r.SrcInfo, r.SrcPalette));
  });
}

void Via32(const PixelRun& r) {
  ForEachPixel(r, [&](const uint8_t* s, uint8_t* d) {
    r.DstInfo->SetPixel32(d, r.DstInfo, r.DstPalette, r.SrcInfo->GetPixel32(s, r.SrcInfo, r.SrcPalette));
  });
}

// Copies blue, green and red bytes between the 8-bit formats; a 4-byte target gets alpha from a
// 4-byte source with alpha, else 255 when it has alpha and 0 when the byte is unused.
void CopyRgb8(const PixelRun& r) {
  const bool keepAlpha = r.SrcInfo->Format == PF::A8R8G8B8 && r.DstInfo->Format == PF::A8R8G8B8;
  const uint8_t fill = r.DstInfo->HasAlphaChannel ? 255 : 0;
  const size_t sb = size_t(r.SrcInfo->BytesPerPixel);
  const uint8_t* s = r.Src;
  uint8_t* d = r.Dst;
  if (r.DstInfo->BytesPerPixel == 3) {
    for (int64_t i = 0; i < r.Count; ++i, s += sb, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  } else {
    for (int64_t i = 0; i < r.Count; ++i, s += sb, d += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = keepAlpha ? s[3] : fill;
    }
  }
}

void Gray8ToRgb8(const PixelRun& r) {
  const size_t db = size_t(r.DstInfo->BytesPerPixel);
  const uint8_t fill = r.DstInfo->HasAlphaChannel ? 255 : 0;
  uint8_t* d = r.Dst;
  for (int64_t i = 0; i < r.Count; ++i, d += db) {
    d[0] = d[1] = d[2] = r.Src[i];
    if (db == 4) d[3] = fill;
  }
}

void Index8ToRgb8(const PixelRun& r) {
  const size_t db = size_t(r.DstInfo->BytesPerPixel);
  const bool alpha = r.DstInfo->HasAlphaChannel;
  uint8_t* d = r.Dst;
  for (int64_t i = 0; i < r.Count; ++i, d += db) {
    const Color32 c = r.SrcPalette[r.Src[i]];
    d[0] = Color32Blue(c);
    d[1] = Color32Green(c);
    d[2] = Color32Red(c);
    if (db == 4) d[3] = alpha ? Color32Alpha(c) : 0;
  }
}

void GrayToGray(const PixelRun& r) {
  ForEachPixel(r, [&](const uint8_t* s, uint8_t* d) {
    uint16_t gray, alpha;
    GetGray16Generic(s, r.SrcInfo, gray, alpha);
    SetGray16Generic(d, r.DstInfo, gray, alpha);
  });
}

void GrayToIndexed(const PixelRun& r) {
  FillGrayPalette(r.DstPalette, r.DstInfo->PaletteEntries);
  ForEachPixel(r, [&](const uint8_t* s, uint8_t* d) {
    uint16_t gray, alpha;
    GetGray16Generic(s, r.SrcInfo, gray, alpha);
    *d = static_cast<uint8_t>(gray >> 8);
  });
}

void ConvertPixels(const PixelRun& r) {
  const Kind from = KindOf(r.SrcInfo), to = KindOf(r.DstInfo);
  const PF sf = r.SrcInfo->Format, df = r.DstInfo->Format;
  if (to == Kind::Indexed) {
    if (from == Kind::Gray) {
      GrayToIndexed(r);
    } else {
      const int32_t mask = GetOption(ImagingColorReductionMask);
      ReduceColors(static_cast<int32_t>(r.Count), r.Src, r.Dst, raAll, r.DstPalette,
                   static_cast<uint8_t>(mask == kInvalidOption ? 255 : mask), r.DstInfo->PaletteEntries, r.SrcInfo,
                   r.DstInfo);
    }
    return;
  }
  switch (from) {
    case Kind::Indexed:
      if (IsRgb8(df)) Index8ToRgb8(r);
      else if (to == Kind::Gray) Via32(r);
      else if (to == Kind::Float) ViaFP(r);
      else Via64(r);
      return;
    case Kind::Gray:
      if (to == Kind::Gray) GrayToGray(r);
      else if (to == Kind::Float) ViaFP(r);
      else if (sf == PF::Gray8 && IsRgb8(df)) Gray8ToRgb8(r);
      else Via64(r);
      return;
    case Kind::Float:
      // Float sources reach integer targets through Color64 (clamped, rounded × 65535); gray
      // targets and other float formats through their float writers.
      if (to == Kind::Channel) Via64(r);
      else ViaFP(r);
      return;
    case Kind::Channel:
      if (to == Kind::Float) ViaFP(r);
      else if (IsRgb8(sf) && IsRgb8(df)) CopyRgb8(r);
      else if (IsRgb8(sf) && df == PF::Gray8) Via32(r);
      else Via64(r);
      return;
  }
}

void ConvertUncompressed(const ImageData& image, const PixelFormatInfo* dstInfo, ScopedImage& result) {
  const PixelFormatInfo* srcInfo = FindFormatInfo(image.Format);
  if (!CreateImage(image.Width, image.Height, dstInfo->Format, result.image))
    RaiseImaging("Cannot create the converted image.");
  ConvertPixels(PixelRun{image.Bits, srcInfo, image.Palette, result.image.Bits, dstInfo, result.image.Palette,
                         int64_t(image.Width) * image.Height});
}

void ConvertCompressed(const ImageData& image, const PixelFormatInfo* dstInfo, ScopedImage& result) {
  ScopedImage work;
  if (FindFormatInfo(image.Format)->IsCompressed) {
    DecodeCompressedImage(image, work.image);
  } else {
    CopyImage(image, work.image);
  }
  if (!dstInfo->IsCompressed) {
    ConvertImageFormat(work.image, dstInfo->Format);
    result.image = work.Take();
    return;
  }
  ConvertImageFormat(work.image, dstInfo->DecodedFormat);
  const int32_t width = static_cast<int32_t>((int64_t(work.image.Width) + 3) / 4 * 4);
  const int32_t height = static_cast<int32_t>((int64_t(work.image.Height) + 3) / 4 * 4);
  if (width != work.image.Width || height != work.image.Height)
    ResizeImage(work.image, width, height, ResizeFilter::Nearest);
  EncodeCompressedImage(work.image, dstInfo->Format, result.image);
}

}  // namespace

void ReduceColors(int32_t pixelCount, const uint8_t* source, uint8_t* target, uint32_t steps, Color32* palette,
                  uint8_t channelMask, int32_t colorCount, const PixelFormatInfo* sourceInfo,
                  const PixelFormatInfo* targetInfo) {
  colorCount = std::clamp(colorCount, kMinColors, kMaxColors);
  if (sourceInfo->IsIndexed || sourceInfo->IsCompressed)
    RaiseImaging("Assertion failed: ReduceColors needs a source format with direct colours, not %s.",
                 sourceInfo->Name);
  if (!threadReducer) threadReducer = std::make_unique<ColorReducer>();
  ColorReducer& reducer = *threadReducer;
  const int64_t count = std::max(pixelCount, 0);
  const size_t bpp = size_t(sourceInfo->BytesPerPixel);
  auto readGeneric = [&](int64_t i) { return sourceInfo->GetPixel32(source + size_t(i) * bpp, sourceInfo, nullptr); };
  auto readArgb = [&](int64_t i) {
    Color32 c;
    std::memcpy(&c, source + size_t(i) * 4, 4);
    return c;
  };
  const bool argb = sourceInfo->Format == PF::A8R8G8B8;

  if (steps & raClearHashTable) reducer.Clear();
  if (steps & raMakeColorMap) {
    const uint32_t mask32 = channelMask * 0x01010101u;
    if (argb) reducer.Collect(count, readArgb, mask32);
    else reducer.Collect(count, readGeneric, mask32);
  }
  if (steps & raMakePalette) reducer.MakePalette(palette, channelMask, colorCount);
  if (steps & raMapImage) {
    const int32_t targetBpp = targetInfo ? std::max(targetInfo->BytesPerPixel, 1) : 1;
    if (argb) reducer.Map(count, readArgb, target, targetBpp);
    else reducer.Map(count, readGeneric, target, targetBpp);
  }
  // A reduction that ran from start to end in this call keeps nothing for later ones.
  if ((steps & raClearHashTable) && (steps & raMapImage)) threadReducer.reset();
}

bool ConvertImageFormat(ImageData& image, PixelFormat format) {
  if (!IsFormatValid(format)) RaiseImaging("Assertion failed: ConvertImageFormat: invalid pixel format");
  if (!IsImageValid(image)) return false;
  if (format == PF::Default) format = PF::A8R8G8B8;
  if (image.Format == format) return true;
  try {
    const PixelFormatInfo* srcInfo = FindFormatInfo(image.Format);
    const PixelFormatInfo* dstInfo = FindFormatInfo(format);
    if (srcInfo->SwappedFormat == format) {
      SwapImageChannels(image, 2, 0);
      image.Format = format;
      return true;
    }
    ScopedImage result;
    if (srcInfo->IsCompressed || dstInfo->IsCompressed) ConvertCompressed(image, dstInfo, result);
    else ConvertUncompressed(image, dstInfo, result);
    ReleaseImage(image);
    image = result.Take();
    return true;
  } catch (...) {
    RaiseImaging("Error while converting image to format \"%s\". %s", GetFormatName(format).c_str(),
                 DescribeImage(image).c_str());
  }
}

}  // namespace imaging
