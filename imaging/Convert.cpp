// Pixel-format conversion and the median-cut colour reduction behind conversions to Index8.
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "imaging/Codec.h"
#include "imaging/BlockCompression.h"
#include "imaging/PixelFormats.h"

namespace imaging {

namespace {

using PF = PixelFormat;

// ---- Colour reduction ------------------------------------------------------------------------

constexpr int32_t kMinColors = 2;
constexpr int32_t kMaxColors = 4096;
// Channel k of a colour in the order the reduction tests them: alpha, red, green, blue.
constexpr int kShift[4] = {24, 16, 8, 0};
// Weights of the channels' spreads when choosing the box to split.
constexpr int32_t kSpreadWeight[4] = {1024, 612, 1202, 234};
// Pixels are collected in slices of this many: each slice is sorted, counted and merged into
// the distinct colours found so far.
constexpr int64_t kSlicePixels = int64_t(1) << 20;

inline uint32_t ChannelOf(Color32 c, int k) { return (c >> kShift[k]) & 0xFFu; }

struct ColorCount {
  Color32 Color;   // masked colour
  uint32_t Count;  // occurrences
};

struct ColorBox {
  uint32_t Begin, End;     // its colours: a range of the distinct-colour array
  uint8_t Min[4], Max[4];  // per channel, order alpha, red, green, blue
  uint64_t Total;          // occurrences of all its colours
  int32_t Spread;          // largest weighted channel spread
  Color32 Average;
  int32_t Leaf;            // its leaf in the split tree
  int32_t Depth;           // of that leaf
};

// The splits made so far, as a binary tree over the colour space. The next node is Low when
// the channel at Shift is at most Threshold, else Low + 1 (the two children are neighbours).
// A leaf names the box of its region and leads to itself (Threshold 255), so a walk of fixed
// length ends on it whatever the depth of the leaf.
struct SplitNode {
  uint32_t Shift;
  uint32_t Threshold;
  int32_t Low;
  int32_t Box;  // leaves only, else -1
};

inline SplitNode Leaf(int32_t self, int32_t box) { return SplitNode{0, 255, self, box}; }

// Least-significant-digit radix sort of 32-bit values; returns the buffer that holds the result.
uint32_t* RadixSort(uint32_t* data, uint32_t* scratch, size_t n) {
  size_t counts[4][256] = {};
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = data[i];
    ++counts[0][v & 255];
    ++counts[1][(v >> 8) & 255];
    ++counts[2][(v >> 16) & 255];
    ++counts[3][v >> 24];
  }
  for (int pass = 0; pass < 4; ++pass) {
    size_t* count = counts[pass];
    const int shift = pass * 8;
    if (n == 0 || count[(data[0] >> shift) & 255] == n) continue;  // one digit value only: nothing moves
    size_t sum = 0;
    for (size_t& c : std::span<size_t, 256>(count, 256)) {
      const size_t here = c;
      c = sum;
      sum += here;
    }
    for (size_t i = 0; i < n; ++i) scratch[count[(data[i] >> shift) & 255]++] = data[i];
    std::swap(data, scratch);
  }
  return data;
}

// Median-cut state. The distinct colours are kept as one sorted array of (colour, count)
// pairs: a photo has millions of distinct colours, and sorting slices of pixels touches memory
// in order where a chained hash table would miss the cache on nearly every pixel. A box is a
// range of that array, split in place; the split tree finds a pixel's box without a search.
// None of this changes a result: bounds, counts and averages do not depend on the order of
// the colours.
class ColorReducer {
public:
  void Clear() {
    colors_ = {};
    merged_ = {};
    boxes_ = {};
    tree_ = {};
    sorted_ = true;
  }

  template <typename Reader>
  void Collect(int64_t count, Reader read, uint32_t mask32) {
    if (!sorted_) {
      std::sort(colors_.begin(), colors_.end(),
                [](const ColorCount& a, const ColorCount& b) { return a.Color < b.Color; });
      sorted_ = true;
    }
    const size_t sliceSize = size_t(std::min(count, kSlicePixels));
    std::vector<uint32_t> slice(sliceSize), scratch(sliceSize);
    for (int64_t start = 0; start < count; start += kSlicePixels) {
      const size_t n = size_t(std::min(kSlicePixels, count - start));
      for (size_t i = 0; i < n; ++i) slice[i] = read(start + int64_t(i)) & mask32;
      MergeSorted(RadixSort(slice.data(), scratch.data(), n), n);
    }
  }

  void MakePalette(Color32* palette, uint8_t mask, int32_t colorCount) {
    boxes_.clear();
    tree_.clear();
    depth_ = 0;
    if (!colors_.empty()) {
      tree_.push_back(Leaf(0, 0));
      ColorBox first{};
      first.Begin = 0;
      first.End = static_cast<uint32_t>(colors_.size());
      first.Leaf = 0;
      UpdateBounds(first);
      boxes_.push_back(first);
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
    std::vector<uint32_t> order(boxes_.size());
    for (size_t b = 0; b < order.size(); ++b) order[b] = uint32_t(b);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return boxes_[a].Total > boxes_[b].Total; });
    std::vector<ColorBox> sortedBoxes(boxes_.size());
    std::vector<int32_t> rank(boxes_.size());
    for (size_t i = 0; i < order.size(); ++i) {
      sortedBoxes[i] = boxes_[order[i]];
      rank[order[i]] = int32_t(i);
    }
    boxes_.swap(sortedBoxes);
    for (SplitNode& node : tree_)
      if (node.Box >= 0) node.Box = rank[size_t(node.Box)];
    for (int32_t i = 0; i < colorCount; ++i)
      palette[i] = size_t(i) < boxes_.size() ? boxes_[size_t(i)].Average : 0xFF000000u;
    mask_ = mask;
    // With a mask of high bits only (255 among them), boxes lie in disjoint regions of the
    // split tree, so the box of a pixel's region is the only one that can hold it.
    const uint8_t low = static_cast<uint8_t>(~mask);
    disjoint_ = (low & (low + 1)) == 0;
  }

  template <typename Reader>
  void Map(int64_t count, Reader read, uint8_t* target, int32_t targetBpp) {
    if (disjoint_ && !boxes_.empty()) {
      MapByTree(count, read, target, targetBpp);
      return;
    }
    Color32 last = 0;
    uint8_t lastIndex = 0;
    bool haveLast = false;
    for (int64_t i = 0; i < count; ++i, target += targetBpp) {
      const Color32 c = read(i);
      if (!haveLast || c != last) {
        last = c;
        lastIndex = static_cast<uint8_t>(IndexOf(c));
        haveLast = true;
      }
      *target = lastIndex;
    }
  }

private:
  // Walks the split tree for four pixels at a time: the four walks are independent, so their
  // memory reads overlap instead of waiting for each other.
  template <typename Reader>
  void MapByTree(int64_t count, Reader read, uint8_t* target, int32_t targetBpp) {
    constexpr int kLanes = 4;
    const uint32_t mask32 = mask_ * 0x01010101u;
    const SplitNode* tree = tree_.data();
    for (int64_t i = 0; i < count; i += kLanes) {
      const int lanes = static_cast<int>(std::min<int64_t>(kLanes, count - i));
      Color32 colors[kLanes] = {};
      int32_t nodes[kLanes] = {};
      for (int j = 0; j < lanes; ++j) colors[j] = read(i + j);
      for (int32_t depth = 0; depth < depth_; ++depth) {
        for (int j = 0; j < kLanes; ++j) {
          const SplitNode& split = tree[nodes[j]];
          nodes[j] = split.Low + int32_t(((colors[j] & mask32) >> split.Shift & 255u) > split.Threshold);
        }
      }
      for (int j = 0; j < lanes; ++j) {
        const int32_t box = tree[nodes[j]].Box;
        target[(i + j) * targetBpp] = Contains(boxes_[size_t(box)], colors[j]) ? static_cast<uint8_t>(box) : 0;
      }
    }
  }

  // Merges a sorted slice of masked colours into the sorted distinct colours.
  void MergeSorted(const uint32_t* sorted, size_t n) {
    merged_.clear();
    merged_.reserve(colors_.size() + n);
    size_t i = 0;
    for (size_t j = 0; j < n;) {
      const Color32 c = sorted[j];
      uint32_t run = 0;
      while (j < n && sorted[j] == c) ++run, ++j;
      while (i < colors_.size() && colors_[i].Color < c) merged_.push_back(colors_[i++]);
      if (i < colors_.size() && colors_[i].Color == c) run += colors_[i++].Count;
      merged_.push_back(ColorCount{c, run});
    }
    merged_.insert(merged_.end(), colors_.begin() + std::ptrdiff_t(i), colors_.end());
    colors_.swap(merged_);
  }

  void UpdateBounds(ColorBox& box) const {
    for (int k = 0; k < 4; ++k) {
      box.Min[k] = 255;
      box.Max[k] = 0;
    }
    box.Total = 0;
    for (uint32_t n = box.Begin; n < box.End; ++n) {
      const ColorCount& cc = colors_[n];
      for (int k = 0; k < 4; ++k) {
        const uint8_t v = static_cast<uint8_t>(ChannelOf(cc.Color, k));
        box.Min[k] = std::min(box.Min[k], v);
        box.Max[k] = std::max(box.Max[k], v);
      }
      box.Total += cc.Count;
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
      ColorBox box = boxes_[widest];
      int channel = 0;
      while ((box.Max[channel] - box.Min[channel]) * kSpreadWeight[channel] != spread) ++channel;
      const uint32_t threshold = (uint32_t(box.Min[channel]) + box.Max[channel]) / 2;
      const auto middle = std::partition(
          colors_.begin() + box.Begin, colors_.begin() + box.End,
          [&](const ColorCount& cc) { return ChannelOf(cc.Color, channel) <= threshold; });
      sorted_ = false;
      ColorBox upper{};
      upper.Begin = static_cast<uint32_t>(middle - colors_.begin());
      upper.End = box.End;
      box.End = upper.Begin;
      const int32_t parent = box.Leaf;
      box.Leaf = static_cast<int32_t>(tree_.size());
      upper.Leaf = box.Leaf + 1;
      tree_[size_t(parent)] = SplitNode{uint32_t(kShift[channel]), threshold, box.Leaf, -1};
      tree_.push_back(Leaf(box.Leaf, static_cast<int32_t>(widest)));
      tree_.push_back(Leaf(upper.Leaf, static_cast<int32_t>(boxes_.size())));
      box.Depth = upper.Depth = box.Depth + 1;
      depth_ = std::max(depth_, box.Depth);
      UpdateBounds(box);
      UpdateBounds(upper);
      boxes_[widest] = box;
      boxes_.push_back(upper);
    }
  }

  Color32 AverageOf(const ColorBox& box) const {
    uint64_t sums[4] = {0, 0, 0, 0};
    for (uint32_t n = box.Begin; n < box.End; ++n) {
      const ColorCount& cc = colors_[n];
      for (int k = 0; k < 4; ++k) sums[k] += uint64_t(ChannelOf(cc.Color, k)) * cc.Count;
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
    if (boxes_.empty()) return 0;
    if (disjoint_) {
      const Color32 masked = c & (mask_ * 0x01010101u);
      int32_t node = 0;
      while (tree_[size_t(node)].Box < 0) {
        const SplitNode& split = tree_[size_t(node)];
        node = split.Low + int32_t((masked >> split.Shift & 255u) > split.Threshold);
      }
      const int32_t box = tree_[size_t(node)].Box;
      return Contains(boxes_[size_t(box)], c) ? uint32_t(box) : 0;
    }
    for (size_t b = 0; b < boxes_.size(); ++b)
      if (Contains(boxes_[b], c)) return static_cast<uint32_t>(b);
    return 0;
  }

  std::vector<ColorCount> colors_;  // distinct masked colours; sorted by colour unless split
  std::vector<ColorCount> merged_;
  std::vector<ColorBox> boxes_;
  std::vector<SplitNode> tree_;
  int32_t depth_ = 0;  // of the deepest leaf
  bool sorted_ = true;
  bool disjoint_ = true;
  uint8_t mask_ = 0xFF;
};

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

struct PixelRun {
  const uint8_t* Src;
  const PixelFormatInfo* SrcInfo;
  const Color32* SrcPalette;
  uint8_t* Dst;
  const PixelFormatInfo* DstInfo;
  Color32* DstPalette;
  int64_t Count;
  uint8_t ColorReductionMask;  // the channels a reduction to a palette tells apart
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
      ReduceColors(static_cast<int32_t>(r.Count), r.Src, r.Dst, raAll, r.DstPalette, r.ColorReductionMask,
                   r.DstInfo->PaletteEntries, r.SrcInfo, r.DstInfo);
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

void ConvertUncompressed(const Image& image, const PixelFormatInfo* dstInfo, uint8_t colorReductionMask,
                         Image& result) {
  const PixelFormatInfo* srcInfo = FindFormatInfo(image.Format());
  if (!CreateImage(image.Width(), image.Height(), dstInfo->Format, result))
    RaiseImaging("Cannot create the converted image.");
  ConvertPixels(PixelRun{image.Bits(), srcInfo, image.Palette(), result.Bits(), dstInfo, result.Palette(),
                         int64_t(image.Width()) * image.Height(), colorReductionMask});
}

void ConvertCompressed(const Image& image, const PixelFormatInfo* dstInfo, uint8_t colorReductionMask,
                       Image& result) {
  Image work;
  if (FindFormatInfo(image.Format())->IsCompressed) {
    DecodeCompressedImage(image, work);
  } else {
    CopyImage(image, work);
  }
  if (!dstInfo->IsCompressed) {
    ConvertImageFormat(work, dstInfo->Format, colorReductionMask);
    result = std::move(work);
    return;
  }
  ConvertImageFormat(work, dstInfo->DecodedFormat);
  const int32_t width = static_cast<int32_t>((int64_t(work.Width()) + 3) / 4 * 4);
  const int32_t height = static_cast<int32_t>((int64_t(work.Height()) + 3) / 4 * 4);
  if (width != work.Width() || height != work.Height())
    ResizeImage(work, width, height, ResizeFilter::Nearest);
  EncodeCompressedImage(work, dstInfo->Format, result);
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

bool ConvertImageFormat(Image& image, PixelFormat format, uint8_t colorReductionMask) {
  if (!IsFormatValid(format)) RaiseImaging("Assertion failed: ConvertImageFormat: invalid pixel format");
  if (!IsImageValid(image)) return false;
  if (format == PF::Default) format = PF::A8R8G8B8;
  if (image.Format() == format) return true;
  try {
    const PixelFormatInfo* srcInfo = FindFormatInfo(image.Format());
    const PixelFormatInfo* dstInfo = FindFormatInfo(format);
    if (srcInfo->SwappedFormat == format) {
      SwapImageChannels(image, 2, 0);
      image.RelabelFormat(format);
      return true;
    }
    Image result;
    if (srcInfo->IsCompressed || dstInfo->IsCompressed) ConvertCompressed(image, dstInfo, colorReductionMask, result);
    else ConvertUncompressed(image, dstInfo, colorReductionMask, result);
    image = std::move(result);
    return true;
  } catch (...) {
    RaiseImaging("Error while converting image to format \"%s\". %s", GetFormatName(format).c_str(),
                 DescribeImage(image).c_str());
  }
}

}  // namespace imaging
