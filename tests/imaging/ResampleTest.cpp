// ResizeImage and StretchImageRect: the cases that pin the arithmetic down, clipping, and a
// check of the fast filtered path against a plain scalar rendering of the same arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/PixelFormats.h"
#include "imaging/ResampleKernels.h"

using namespace imaging;
using PF = PixelFormat;

namespace {

// An image made for a test, with its bytes at hand.
struct TestImage {
  Image image;
  TestImage() = default;
  TestImage(int32_t width, int32_t height, PF format) { EXPECT_TRUE(CreateImage(width, height, format, image)); }
  Image* operator->() { return &image; }
  std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(image.Bits(), image.Bits() + image.Size()); }
};

void FillRandom(Image& image, uint32_t seed) {
  std::mt19937 random(seed);
  for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = static_cast<uint8_t>(random());
}

// Random pixels written through the float writer, so float formats hold sane values.
void FillRandomFP(Image& image, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(-0.1f, 1.1f);
  for (int32_t y = 0; y < image.Height(); ++y)
    for (int32_t x = 0; x < image.Width(); ++x)
      SetPixelFP(image, x, y, ColorFP{value(random), value(random), value(random), value(random)});
}

// ---- Reference: the filtered stretch as plainly as it can be written ----------------------------

struct Contributor {
  int32_t pixel;
  float weight;
};

std::vector<std::vector<Contributor>> ReferenceContributors(int32_t start, int32_t length, int32_t targetLength,
                                                            const FilterEntry& filter) {
  std::vector<std::vector<Contributor>> lists(static_cast<size_t>(targetLength));
  const float scale = static_cast<float>(targetLength) / static_cast<float>(length);
  for (int32_t i = 0; i < targetLength; ++i) {
    std::vector<Contributor>& list = lists[size_t(i)];
    if (length == 1) {
      list.push_back({start, 1.0f});
      continue;
    }
    float center, reach;
    if (scale >= 1.0f) {
      center = (float(i) + 0.5f) / scale + (float(start) - 0.5f);
      reach = filter.Radius;
    } else {
      center = float(start) - 0.5f + (float(i) + 0.5f) / scale;
      reach = filter.Radius / scale;
    }
    for (int32_t k = int32_t(std::floor(center - reach)); k <= int32_t(std::ceil(center + reach)); ++k) {
      const float w = scale >= 1.0f ? filter.Function(center - float(k)) : scale * filter.Function(scale * (center - float(k)));
      if (w == 0.0f) continue;
      list.push_back({std::min(std::max(k, start), start + length - 1), w});
    }
    float sum = 0.0f;
    for (const Contributor& c : list) sum += c.weight;
    if (!list.empty() && sum != 1.0f) list[(list.size() - 1) / 2].weight += 1.0f - sum;
    if (list.empty()) list.push_back({int32_t(std::floor(center)), 1.0f});
  }
  return lists;
}

// Writes the stretched rectangle into `target` by the text-book loops: per channel, single
// precision, contributor order, vertical pass into a line, then horizontal pass.
void ReferenceStretch(const Image& source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, Image& target,
                      int32_t tx, int32_t ty, int32_t tw, int32_t th, const FilterEntry& filter) {
  const PixelFormatInfo* info = FindFormatInfo(source.Format());
  const int32_t bpp = info->BytesPerPixel;
  const bool raw = bpp / info->ChannelCount == 1 && !info->IsFloatingPoint;
  const int32_t channels = raw ? info->ChannelCount : 4;
  const auto xs = ReferenceContributors(sx, sw, tw, filter);
  const auto ys = ReferenceContributors(sy, sh, th, filter);
  auto channel = [&](int32_t x, int32_t y, int32_t c) -> float {
    if (raw) return float(source.Bits()[(size_t(y) * size_t(source.Width()) + size_t(x)) * size_t(bpp) + size_t(c)]);
    const ColorFP p = GetPixelFP(source, x, y);
    return (&p.B)[c];
  };
  std::vector<float> line(size_t(source.Width()) * size_t(channels));
  for (int32_t j = 0; j < th; ++j) {
    for (int32_t x = 0; x < source.Width(); ++x)
      for (int32_t c = 0; c < channels; ++c) {
        float sum = 0.0f;
        for (const Contributor& y : ys[size_t(j)]) sum += y.weight * channel(x, y.pixel, c);
        line[size_t(x) * size_t(channels) + size_t(c)] = sum;
      }
    for (int32_t i = 0; i < tw; ++i) {
      float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      for (int32_t c = 0; c < channels; ++c)
        for (const Contributor& x : xs[size_t(i)]) sums[c] += x.weight * line[size_t(x.pixel) * size_t(channels) + size_t(c)];
      if (raw) {
        uint8_t* p = target.Bits() + (size_t(ty + j) * size_t(target.Width()) + size_t(tx + i)) * size_t(bpp);
        for (int32_t c = 0; c < channels; ++c) p[c] = uint8_t(std::min(std::max(std::nearbyint(sums[c]), 0.0f), 255.0f));
      } else {
        SetPixelFP(target, tx + i, ty + j, ColorFP{sums[0], sums[1], sums[2], sums[3]});
      }
    }
  }
}

std::string PixelDump(const Image& image) {
  std::string text;
  for (int32_t i = 0; i < image.Size(); ++i) text += std::to_string(image.Bits()[i]) + (i + 1 < image.Size() ? "," : "");
  return text;
}

constexpr ResizeFilter kMethods[] = {ResizeFilter::Nearest, ResizeFilter::Bilinear, ResizeFilter::Bicubic};

}  // namespace

TEST(ResamplingFilters, TableHoldsTheTenFiltersWithTheirRadii) {
  const float radii[kFilterCount] = {1.0f, 1.0f, 1.0f, 1.0f, 1.5f, 1.25f, 2.0f, 3.0f, 2.0f, 2.0f};
  for (int i = 0; i < kFilterCount; ++i) {
    EXPECT_EQ(ResamplingFilters[i].Radius, radii[i]) << i;
    if (i != 5) {
      EXPECT_EQ(ResamplingFilters[i].Function(radii[i]), 0.0f) << "filter " << i << " at its radius";
    }
  }
  // Box: half-open on the left.
  EXPECT_EQ(ResamplingFilters[0].Function(-0.5f), 0.0f);
  EXPECT_EQ(ResamplingFilters[0].Function(0.5f), 1.0f);
  EXPECT_EQ(ResamplingFilters[1].Function(0.25f), 0.75f);
  EXPECT_FLOAT_EQ(ResamplingFilters[2].Function(0.5f), 0.5f);
  EXPECT_EQ(ResamplingFilters[3].Function(0.5f), 0.5f);
  EXPECT_EQ(ResamplingFilters[4].Function(1.0f), 0.125f);
  EXPECT_FLOAT_EQ(ResamplingFilters[5].Function(0.0f), std::sqrt(2.0f / 3.14159265f));
  EXPECT_FLOAT_EQ(ResamplingFilters[6].Function(0.0f), 2.0f / 3.0f);
  EXPECT_EQ(ResamplingFilters[7].Function(0.0f), 1.0f);
  EXPECT_NEAR(ResamplingFilters[7].Function(1.0f), 0.0f, 1e-6f);
  EXPECT_FLOAT_EQ(ResamplingFilters[8].Function(0.0f), 16.0f / 18.0f);
  EXPECT_EQ(ResamplingFilters[9].Function(0.0f), 1.0f);
  EXPECT_EQ(ResamplingFilters[9].Function(1.0f), 0.0f);
  EXPECT_EQ(ResamplingFilters[9].Function(-1.5f), -0.0625f);
}

TEST(ResizeImage, OnePixelGrowsToNineCopiesWithEveryMethod) {
  struct Case {
    PF format;
    std::vector<uint8_t> pixel;
  };
  const Case cases[] = {
      {PF::A8R8G8B8, {10, 200, 37, 128}},
      {PF::R8G8B8, {0, 255, 77}},
      {PF::Gray8, {201}},
      {PF::A16R16G16B16, {1, 2, 3, 4, 250, 251, 0, 128}},
      {PF::A32R32G32B32F, {0, 0, 0, 63, 0, 0, 128, 62, 0, 0, 128, 63, 0, 0, 0, 0}},
      {PF::Index8, {7}},
  };
  for (const Case& c : cases)
    for (ResizeFilter method : kMethods) {
      TestImage image(1, 1, c.format);
      std::memcpy(image->Bits(), c.pixel.data(), c.pixel.size());
      ASSERT_TRUE(ResizeImage(image.image, 3, 3, method));
      ASSERT_EQ(image->Width(), 3);
      ASSERT_EQ(image->Height(), 3);
      for (int32_t i = 0; i < 9; ++i)
        EXPECT_EQ(std::memcmp(image->Bits() + size_t(i) * c.pixel.size(), c.pixel.data(), c.pixel.size()), 0)
            << GetFormatName(c.format) << " method " << int(method) << " pixel " << i;
    }
}

TEST(ResizeImage, SameSizeOrInvalidImageReturnsFalseAndChangesNothing) {
  TestImage image(5, 4, PF::A8R8G8B8);
  FillRandom(image.image, 1);
  const uint8_t* bits = image->Bits();
  const std::vector<uint8_t> before = image.Bytes();
  for (ResizeFilter method : kMethods) EXPECT_FALSE(ResizeImage(image.image, 5, 4, method));
  EXPECT_EQ(image->Bits(), bits);
  EXPECT_EQ(image.Bytes(), before);

  Image empty;
  EXPECT_FALSE(ResizeImage(empty, 3, 3, ResizeFilter::Bilinear));
  EXPECT_THROW(ResizeImage(image.image, 0, 3, ResizeFilter::Bilinear), ImagingError);
  EXPECT_THROW(ResizeImage(image.image, 3, -1, ResizeFilter::Bilinear), ImagingError);
}

TEST(ResizeImage, KnownRowsAndColumns) {
  struct Case {
    const char* name;
    ResizeFilter method;
    std::vector<uint8_t> row;
    int32_t width;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      // Centres at -0.25, 0.25, 0.75 and 1.25 source pixels, edges clamped.
      {"bilinear 2 to 4", ResizeFilter::Bilinear, {0, 255}, 4, {0, 64, 191, 255}},
      // xStep = 98304: columns 0 and 1.
      {"nearest 3 to 2", ResizeFilter::Nearest, {10, 20, 30}, 2, {10, 20}},
      {"nearest 2 to 5", ResizeFilter::Nearest, {10, 20}, 5, {10, 10, 10, 20, 20}},
      // Catmull-Rom overshoots at a step; the result is clamped.
      {"bicubic step", ResizeFilter::Bicubic, {0, 0, 255, 255}, 8, {0, 0, 0, 52, 203, 255, 255, 255}},
      {"bicubic ramp", ResizeFilter::Bicubic, {0, 100, 200, 255}, 2, {54, 226}},
  };
  for (const Case& c : cases) {
    for (bool vertical : {false, true}) {
      const int32_t n = int32_t(c.row.size());
      TestImage image(vertical ? 1 : n, vertical ? n : 1, PF::Gray8);
      std::memcpy(image->Bits(), c.row.data(), c.row.size());
      ASSERT_TRUE(ResizeImage(image.image, vertical ? 1 : c.width, vertical ? c.width : 1, c.method));
      EXPECT_EQ(image.Bytes(), c.expected) << c.name << (vertical ? " (column)" : " (row)") << ": "
                                           << PixelDump(image.image);
    }
  }
}

TEST(ResizeImage, BicubicKeepsUniformImagesUniform) {
  const uint8_t pixel[4] = {201, 3, 255, 77};
  for (auto [w, h, nw, nh] : {std::array{37, 23, 10, 7}, std::array{400, 3, 7, 2}, std::array{5, 6, 23, 41},
                              std::array{640, 480, 171, 97}}) {
    TestImage image(w, h, PF::A8R8G8B8);
    for (int32_t i = 0; i < w * h; ++i) std::memcpy(image->Bits() + 4 * i, pixel, 4);
    ASSERT_TRUE(ResizeImage(image.image, nw, nh, ResizeFilter::Bicubic));
    for (int32_t i = 0; i < nw * nh; ++i)
      ASSERT_EQ(std::memcmp(image->Bits() + 4 * i, pixel, 4), 0) << w << "x" << h << " to " << nw << "x" << nh << " pixel " << i;
  }
}

TEST(ResizeImage, IndexedImageKeepsItsPaletteAndUsesNearestNeighbour) {
  TestImage image(3, 1, PF::Index8);
  const uint8_t indices[3] = {0, 9, 200};
  std::memcpy(image->Bits(), indices, 3);
  for (int i = 0; i < 256; ++i) image->Palette()[i] = MakeColor32(255, uint8_t(i), 0, uint8_t(255 - i));
  Color32* palette = image->Palette();
  ASSERT_TRUE(ResizeImage(image.image, 6, 1, ResizeFilter::Bicubic));
  EXPECT_EQ(image->Palette(), palette);
  EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{0, 0, 9, 9, 200, 200}));
  EXPECT_EQ(image->Palette()[200], MakeColor32(255, 200, 0, 55));
}

TEST(ResizeImage, UnknownMethodKeepsTheImage) {
  TestImage image(4, 4, PF::A8R8G8B8);
  FillRandom(image.image, 2);
  const std::vector<uint8_t> before = image.Bytes();
  EXPECT_FALSE(ResizeImage(image.image, 2, 2, static_cast<ResizeFilter>(7)));
  EXPECT_EQ(image->Width(), 4);
  EXPECT_EQ(image.Bytes(), before);
}

TEST(ResizeImage, FailureNamesTheImage) {
  TestImage image(2, 2, PF::A8R8G8B8);
  try {
    ResizeImage(image.image, 60000, 60000, ResizeFilter::Nearest);  // more than 2 GiB of pixels
    FAIL() << "no error";
  } catch (const ImagingError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Error while resizing image.  Image @", 0), 0u) << e.what();
  }
  EXPECT_EQ(image->Width(), 2);
}

TEST(StretchImageRect, ClippingKeepsTheScale) {
  struct Case {
    const char* name;
    int32_t sx, sw, tx, tw;
    bool result;
    std::vector<uint8_t> expected;  // target row of 16 pixels; 99 = untouched
  };
  const Case cases[] = {
      {"inside", 1, 2, 3, 4, true, {99, 99, 99, 11, 11, 12, 12, 99, 99, 99, 99, 99, 99, 99, 99, 99}},
      {"source cut on both sides", -2, 8, 0, 16, true, {99, 99, 99, 99, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99, 99, 99}},
      {"target cut on the left", 0, 4, -4, 8, true, {12, 12, 13, 13, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}},
      {"target cut on the right", 0, 4, 12, 8, true, {99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 10, 10, 11, 11}},
      {"reduction cut", -4, 8, 0, 4, true, {99, 99, 10, 12, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}},
      {"equal sizes copy", -1, 3, 5, 3, true, {99, 99, 99, 99, 99, 99, 10, 11, 99, 99, 99, 99, 99, 99, 99, 99}},
      {"nothing left", 4, 2, 0, 4, false, {}},
      {"target outside", 0, 4, 16, 8, false, {}},
      {"empty rectangle", 0, 0, 0, 4, false, {}},
  };
  for (const Case& c : cases) {
    TestImage source(4, 1, PF::Gray8), target(16, 1, PF::Gray8);
    for (int i = 0; i < 4; ++i) source->Bits()[i] = uint8_t(10 + i);
    std::memset(target->Bits(), 99, 16);
    EXPECT_EQ(StretchImageRect(source.image, c.sx, 0, c.sw, 1, target.image, c.tx, 0, c.tw, 1, ResizeFilter::Nearest),
              c.result)
        << c.name;
    const std::vector<uint8_t> expected = c.result ? c.expected : std::vector<uint8_t>(16, 99);
    EXPECT_EQ(target.Bytes(), expected) << c.name << ": " << PixelDump(target.image);
  }
}

TEST(StretchImageRect, FilteredRectangleClampsAtTheRectangleEdges) {
  // A rectangle inside a larger image takes no colour from outside it.
  TestImage source(6, 1, PF::Gray8), target(5, 1, PF::Gray8);
  const uint8_t row[6] = {255, 40, 40, 40, 40, 255};
  std::memcpy(source->Bits(), row, 6);
  std::memset(target->Bits(), 7, 5);
  ASSERT_TRUE(StretchImageRect(source.image, 1, 0, 4, 1, target.image, 1, 0, 3, 1, ResizeFilter::Bicubic));
  EXPECT_EQ(target.Bytes(), (std::vector<uint8_t>{7, 40, 40, 40, 7}));
}

TEST(StretchImageRect, UnknownMethodOrInvalidImageLeavesTheTarget) {
  TestImage source(4, 4, PF::A8R8G8B8), target(8, 8, PF::A8R8G8B8);
  FillRandom(source.image, 3);
  FillRandom(target.image, 4);
  const std::vector<uint8_t> before = target.Bytes();
  EXPECT_TRUE(StretchImageRect(source.image, 0, 0, 4, 4, target.image, 0, 0, 8, 8, static_cast<ResizeFilter>(3)));
  EXPECT_EQ(target.Bytes(), before);
  Image empty;
  EXPECT_FALSE(StretchImageRect(empty, 0, 0, 4, 4, target.image, 0, 0, 8, 8, ResizeFilter::Bilinear));
  EXPECT_FALSE(StretchImageRect(source.image, 0, 0, 4, 4, empty, 0, 0, 8, 8, ResizeFilter::Bilinear));
  EXPECT_EQ(target.Bytes(), before);
}

TEST(StretchImageRect, NearestNeighbourTakesWideSources) {
  // 40000 × 65536 needs more than 31 bits; the step must not overflow.
  TestImage source(40000, 1, PF::Gray8), target(3, 1, PF::Gray8);
  for (int32_t i = 0; i < 40000; ++i) source->Bits()[i] = uint8_t(i / 157);
  ASSERT_TRUE(StretchImageRect(source.image, 0, 0, 40000, 1, target.image, 0, 0, 3, 1, ResizeFilter::Nearest));
  EXPECT_EQ(target.Bytes(), (std::vector<uint8_t>{0, uint8_t(13333 / 157), uint8_t(26666 / 157)}));
}

// The fast path must give exactly the bytes of the plain loops, for every 8-bit layout, both
// filters, enlarging and reducing, whole images and rectangles.
TEST(StretchImageRect, FilteredResultsMatchThePlainArithmetic) {
  struct Geometry {
    int32_t w, h;                  // source image
    int32_t sx, sy, sw, sh;        // source rectangle
    int32_t tW, tH;                // target image
    int32_t tx, ty, tw, th;        // target rectangle
  };
  const Geometry geometries[] = {
      {37, 29, 0, 0, 37, 29, 101, 7, 0, 0, 101, 7},
      {200, 150, 0, 0, 200, 150, 61, 47, 0, 0, 61, 47},
      {13, 1, 0, 0, 13, 1, 40, 3, 0, 0, 40, 3},
      {1, 17, 0, 0, 1, 17, 5, 4, 0, 0, 5, 4},
      {64, 64, 0, 0, 64, 64, 63, 65, 0, 0, 63, 65},
      {37, 29, 0, 0, 37, 29, 37, 11, 0, 0, 37, 11},
      {300, 20, 0, 0, 300, 20, 7, 3, 0, 0, 7, 3},
      {50, 40, 7, 5, 30, 21, 33, 29, 2, 3, 29, 23},
      {50, 40, 7, 5, 30, 21, 90, 70, 5, 1, 77, 61},
  };
  const PF formats[] = {PF::A8R8G8B8, PF::R8G8B8, PF::X8R8G8B8, PF::Gray8, PF::A8Gray8};
  uint32_t seed = 100;
  for (PF format : formats)
    for (ResizeFilter method : {ResizeFilter::Bilinear, ResizeFilter::Bicubic})
      for (const Geometry& g : geometries) {
        TestImage source(g.w, g.h, format), target(g.tW, g.tH, format), expected(g.tW, g.tH, format);
        FillRandom(source.image, ++seed);
        FillRandom(target.image, ++seed);
        std::memcpy(expected->Bits(), target->Bits(), size_t(target->Size()));
        ASSERT_TRUE(StretchImageRect(source.image, g.sx, g.sy, g.sw, g.sh, target.image, g.tx, g.ty, g.tw, g.th, method));
        ReferenceStretch(source.image, g.sx, g.sy, g.sw, g.sh, expected.image, g.tx, g.ty, g.tw, g.th,
                         ResamplingFilters[method == ResizeFilter::Bilinear ? 1 : 9]);
        ASSERT_EQ(target.Bytes(), expected.Bytes())
            << GetFormatName(format) << " method " << int(method) << " " << g.w << "x" << g.h << " to " << g.tw << "x" << g.th;
      }
}

// The plain and the vector passes over 8-bit channels give the same floats and bytes on the same
// rows: lengths around the vector widths, every layout, contributor runs of different lengths
// side by side, and sums that round to even or fall outside the bytes and the integers.
TEST(StretchImageRect, PlainAndVectorPassesAgree) {
#if !defined(__SSE2__)
  GTEST_SKIP() << "this target has only the plain passes";
#else
  std::mt19937 random(7);
  std::uniform_real_distribution<float> weight(-0.4f, 1.2f);
  for (int32_t taps : {1, 2, 5}) {
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(taps), std::vector<uint8_t>(80));
    std::vector<const uint8_t*> rowPointers;
    std::vector<WeightVector> weights(static_cast<size_t>(taps));
    for (size_t t = 0; t < rows.size(); ++t) {
      for (uint8_t& b : rows[t]) b = uint8_t(random());
      rowPointers.push_back(rows[t].data());
      weights[t].Set(weight(random));
    }
    for (size_t length : {1, 15, 16, 17, 31, 32, 33, 48, 79}) {
      std::vector<float> plain(length), vector(length);
      VerticalPassBytesPlain(rowPointers.data(), weights.data(), taps, length, plain.data());
      VerticalPassBytesSse2(rowPointers.data(), weights.data(), taps, length, vector.data());
      ASSERT_EQ(std::memcmp(plain.data(), vector.data(), length * sizeof(float)), 0) << taps << " taps, " << length;
    }
  }

  const float special[] = {254.5f, 253.5f, 0.5f, -0.5f, -0.0f, 255.49f, 1e10f, -1e10f, 2147483648.0f,
                           -2147483648.0f, INFINITY, -INFINITY, NAN};
  std::vector<float> line(200 * 4 + 1);
  for (size_t i = 0; i < line.size(); ++i)
    line[i] = i % 9 == 0 ? special[(i / 9) % std::size(special)] : std::uniform_real_distribution<float>(-40, 300)(random);
  struct Layout {
    int32_t channels, bytes;
  };
  for (const Layout& layout : {Layout{1, 1}, Layout{2, 2}, Layout{3, 3}, Layout{3, 4}, Layout{4, 4}}) {
    for (int32_t count : {1, 3, 4, 9, 30}) {
      // Target i takes 1 to 6 contributors (often a single special value) from anywhere in the line.
      std::vector<int32_t> bounds{0}, offsets;
      std::vector<WeightVector> weights;
      for (int32_t i = 0; i < count; ++i) {
        const int32_t n = 1 + int32_t(random() % 6);
        for (int32_t t = 0; t < n; ++t) {
          offsets.push_back(int32_t(random() % 200) * layout.channels);
          weights.emplace_back().Set(n == 1 ? 1.0f : weight(random));
        }
        bounds.push_back(bounds.back() + n);
      }
      std::vector<uint8_t> plain(size_t(count * layout.bytes)), vector;
      for (uint8_t& b : plain) b = uint8_t(random());  // an unused fourth byte must stay
      vector = plain;
      ASSERT_TRUE(HorizontalPassBytesPlain(layout.channels, layout.bytes, line.data(), bounds.data(), offsets.data(),
                                           weights.data(), count, plain.data()));
      ASSERT_TRUE(HorizontalPassBytesSse2(layout.channels, layout.bytes, line.data(), bounds.data(), offsets.data(),
                                          weights.data(), count, vector.data()));
      ASSERT_EQ(plain, vector) << layout.channels << " of " << layout.bytes << " bytes, " << count << " pixels";
    }
  }
  uint8_t ignored = 0;
  const int32_t bounds[2] = {0, 0};
  EXPECT_FALSE(HorizontalPassBytesPlain(2, 4, line.data(), bounds, nullptr, nullptr, 1, &ignored));
#endif
}

TEST(StretchImageRect, WiderFormatsGoThroughFloatPixels) {
  const PF formats[] = {PF::A16R16G16B16, PF::A32R32G32B32F, PF::A16B16G16R16F, PF::Gray16, PF::R5G6B5};
  for (PF format : formats)
    for (ResizeFilter method : {ResizeFilter::Bilinear, ResizeFilter::Bicubic}) {
      TestImage source(23, 17, format), target(9, 31, format), expected(9, 31, format);
      FillRandomFP(source.image, 7);
      ASSERT_TRUE(StretchImageRect(source.image, 0, 0, 23, 17, target.image, 0, 0, 9, 31, method));
      ReferenceStretch(source.image, 0, 0, 23, 17, expected.image, 0, 0, 9, 31,
                       ResamplingFilters[method == ResizeFilter::Bilinear ? 1 : 9]);
      EXPECT_EQ(target.Bytes(), expected.Bytes()) << GetFormatName(format) << " method " << int(method);
    }
}

// The float path loses no 16-bit value: every value of a column that does not change down
// the picture comes out of a filtered resize as it went in.
TEST(ResizeImage, SixteenBitSamplesKeepEveryValue) {
  for (PF format : {PF::Gray16, PF::R16G16B16, PF::A16Gray16})
    for (ResizeFilter method : {ResizeFilter::Bilinear, ResizeFilter::Bicubic}) {
      const int32_t channels = FindFormatInfo(format)->ChannelCount;
      TestImage image(65536, 2, format);
      uint16_t* words = reinterpret_cast<uint16_t*>(image->Bits());
      const auto value = [](int32_t x, int32_t c) { return uint16_t(uint32_t(x) * (c == 0 ? 1u : c == 1 ? 40503u : 7u)); };
      for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 65536; ++x)
          for (int32_t c = 0; c < channels; ++c) words[(size_t(y) * 65536 + size_t(x)) * size_t(channels) + size_t(c)] = value(x, c);
      ASSERT_TRUE(ResizeImage(image.image, 65536, 5, method));
      words = reinterpret_cast<uint16_t*>(image->Bits());
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 65536; ++x)
          for (int32_t c = 0; c < channels; ++c)
            ASSERT_EQ(words[(size_t(y) * 65536 + size_t(x)) * size_t(channels) + size_t(c)], value(x, c))
                << GetFormatName(format) << " method " << int(method) << " row " << y << " column " << x << " channel " << c;
    }
}

TEST(StretchImageRect, SourceOfAnotherFormatIsConvertedFirst) {
  TestImage source(19, 11, PF::R8G8B8), converted, target(7, 5, PF::A8R8G8B8), expected(7, 5, PF::A8R8G8B8);
  FillRandom(source.image, 9);
  ASSERT_TRUE(CopyImage(source.image, converted.image));
  ASSERT_TRUE(ConvertImageFormat(converted.image, PF::A8R8G8B8));
  for (ResizeFilter method : kMethods) {
    ASSERT_TRUE(StretchImageRect(source.image, 0, 0, 19, 11, target.image, 0, 0, 7, 5, method));
    ASSERT_TRUE(StretchImageRect(converted.image, 0, 0, 19, 11, expected.image, 0, 0, 7, 5, method));
    EXPECT_EQ(target.Bytes(), expected.Bytes()) << "method " << int(method);
  }
  EXPECT_EQ(source->Format(), PF::R8G8B8);
}

TEST(ResizeImage, CompressedImageStaysCompressed) {
  TestImage image(8, 8, PF::A8R8G8B8);
  for (int32_t i = 0; i < 64; ++i) reinterpret_cast<Color32*>(image->Bits())[i] = 0xFFFF0000u;
  ASSERT_TRUE(ConvertImageFormat(image.image, PF::DXT1));
  ASSERT_TRUE(ResizeImage(image.image, 4, 4, ResizeFilter::Bicubic));
  EXPECT_EQ(image->Format(), PF::DXT1);
  EXPECT_EQ(image->Width(), 4);
  EXPECT_EQ(image->Size(), 8);
  ASSERT_TRUE(ConvertImageFormat(image.image, PF::A8R8G8B8));
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(reinterpret_cast<Color32*>(image->Bits())[i], 0xFFFF0000u) << i;
}

// An indexed target keeps its own palette: a source of another format gives each sampled colour
// the nearest entry of that palette, at the positions of the nearest-neighbour stretch.
TEST(StretchImageRect, IndexedTargetTakesColoursThroughItsOwnPalette) {
  TestImage source(3, 2, PF::A8R8G8B8);
  const Color32 colours[6] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFC00000u};
  std::memcpy(source->Bits(), colours, sizeof colours);
  // A palette whose order is nothing like the one a reduction of the source would make; the
  // last colour of the source is not in it and takes its nearest entry (pure red, index 5).
  const Color32 palette[8] = {0xFF808080u, 0xFF000000u, 0xFFFFFFFFu, 0xFF00FF00u,
                              0xFF0000FFu, 0xFFFF0000u, 0xFFFFFF00u, 0xFF00FFFFu};
  const uint8_t sourceIndex[6] = {4, 3, 5, 2, 1, 5};
  for (ResizeFilter method : kMethods) {
    TestImage target(8, 5, PF::Index8);
    for (int i = 0; i < 256; ++i) target->Palette()[i] = palette[i % 8];
    std::memset(target->Bits(), 6, size_t(target->Size()));
    const std::vector<Color32> before(target->Palette(), target->Palette() + 256);
    ASSERT_TRUE(StretchImageRect(source.image, 0, 0, 3, 2, target.image, 1, 1, 6, 4, method));
    std::vector<uint8_t> expected(40, 6);
    for (int32_t j = 0; j < 4; ++j)
      for (int32_t i = 0; i < 6; ++i) expected[size_t((1 + j) * 8 + 1 + i)] = sourceIndex[(j / 2) * 3 + i / 2];
    EXPECT_EQ(target.Bytes(), expected) << "method " << int(method) << ": " << PixelDump(target.image);
    EXPECT_EQ(std::vector<Color32>(target->Palette(), target->Palette() + 256), before);
  }

  // A compressed source goes the same way.
  TestImage red(4, 4, PF::A8R8G8B8), target(2, 2, PF::Index8);
  for (int32_t i = 0; i < 16; ++i) reinterpret_cast<Color32*>(red->Bits())[i] = 0xFFFF0000u;
  ASSERT_TRUE(ConvertImageFormat(red.image, PF::DXT1));
  for (int i = 0; i < 256; ++i) target->Palette()[i] = palette[i % 8];
  ASSERT_TRUE(StretchImageRect(red.image, 0, 0, 4, 4, target.image, 0, 0, 2, 2, ResizeFilter::Bilinear));
  EXPECT_EQ(target.Bytes(), (std::vector<uint8_t>{5, 5, 5, 5}));
}

// A stretch within one image reads the source as it was before the call, as a separate copy
// would give it.
TEST(StretchImageRect, SourceThatIsTheTargetIsReadAsItWas) {
  struct Case {
    PF format;
    ResizeFilter method;
  };
  const Case cases[] = {
      {PF::Gray8, ResizeFilter::Nearest},      {PF::A8R8G8B8, ResizeFilter::Bilinear},
      {PF::A8R8G8B8, ResizeFilter::Bicubic},   {PF::A16R16G16B16, ResizeFilter::Bilinear},
      {PF::Index8, ResizeFilter::Bicubic},     {PF::DXT1, ResizeFilter::Bilinear},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(GetFormatName(c.format) + " method " + std::to_string(int(c.method)));
    TestImage image(16, 12, PF::A8R8G8B8), copy, expected;
    FillRandom(image.image, 11);
    ASSERT_TRUE(ConvertImageFormat(image.image, c.format));
    ASSERT_TRUE(CopyImage(image.image, copy.image));
    ASSERT_TRUE(CopyImage(image.image, expected.image));
    ASSERT_TRUE(StretchImageRect(copy.image, 2, 1, 7, 5, expected.image, 0, 0, 16, 12, c.method));
    ASSERT_TRUE(StretchImageRect(image.image, 2, 1, 7, 5, image.image, 0, 0, 16, 12, c.method));
    EXPECT_EQ(image->Format(), c.format);
    EXPECT_EQ(image.Bytes(), expected.Bytes());
  }
}
