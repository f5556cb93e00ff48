// Colour profiles: the header test of ICC.1:2022 section 7.2 and the conversion to sRGB through
// Little CMS. Every call works in a Little CMS context of its own, whose error handler keeps
// the first message instead of printing it, so several threads may convert at once.
#include "imaging/ColorProfile.h"

#include <lcms2.h>

#include <cstring>
#include <memory>
#include <type_traits>

#include "imaging/PixelFormats.h"

namespace imaging {

namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

constexpr uint32_t Signature(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
         uint32_t(uint8_t(s[3]));
}

// Header fields (ICC.1:2022 table 18).
constexpr size_t kSizeField = 0;
constexpr size_t kClassField = 12;
constexpr size_t kColorSpaceField = 16;
constexpr size_t kSignatureField = 36;

// ---- Little CMS objects ----------------------------------------------------------------------

void KeepFirstError(cmsContext context, cmsUInt32Number, const char* text) {
  auto* errors = static_cast<std::string*>(cmsGetContextUserData(context));
  if (errors != nullptr && errors->empty() && text != nullptr) *errors = text;
}

struct ContextDeleter {
  void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct ProfileDeleter {
  void operator()(void* profile) const { cmsCloseProfile(static_cast<cmsHPROFILE>(profile)); }
};
struct TransformDeleter {
  void operator()(void* transform) const { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform)); }
};
struct CurveDeleter {
  void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using ContextPtr = std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter>;
using ProfilePtr = std::unique_ptr<void, ProfileDeleter>;
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

// One conversion: the context with its error text, the source profile and the sRGB target.
class Conversion {
public:
  bool Open(const std::vector<uint8_t>& profile, std::string& error) {
    context_.reset(cmsCreateContext(nullptr, &errors_));
    if (!context_) return Fail(error, "Little CMS could not start");
    cmsSetLogErrorHandlerTHR(context_.get(), KeepFirstError);
    source_.reset(cmsOpenProfileFromMemTHR(context_.get(), profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source_) return Fail(error, "the colour profile cannot be read");
    gray_ = cmsGetColorSpace(source_.get()) == cmsSigGrayData;
    if (gray_) {
      // sRGB's tone curve (IEC 61966-2-1) as parametric curve 4.
      const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
      std::unique_ptr<cmsToneCurve, CurveDeleter> curve(cmsBuildParametricToneCurve(context_.get(), 4, parameters));
      if (curve) target_.reset(cmsCreateGrayProfileTHR(context_.get(), cmsD50_xyY(), curve.get()));
    } else {
      target_.reset(cmsCreate_sRGBProfileTHR(context_.get()));
    }
    if (!target_) return Fail(error, "the sRGB profile could not be made");
    return true;
  }

  bool Gray() const { return gray_; }

  // A transform between two layouts of the source's colour space and sRGB (or sRGB gray).
  TransformPtr Make(cmsUInt32Number inputType, cmsUInt32Number outputType, std::string& error) {
    const cmsUInt32Number flags = T_EXTRA(inputType) != 0 ? cmsFLAGS_COPY_ALPHA : 0;
    TransformPtr transform(cmsCreateTransformTHR(context_.get(), source_.get(), inputType, target_.get(), outputType,
                                                 INTENT_PERCEPTUAL, flags));
    if (!transform) Fail(error, "the colour profile cannot be used for this picture");
    return transform;
  }

private:
  bool Fail(std::string& error, const char* what) {
    error = what;
    if (!errors_.empty()) error += " (" + errors_ + ")";
    return false;
  }

  std::string errors_;  // before the context, which points at it
  ContextPtr context_;
  ProfilePtr source_;
  ProfilePtr target_;
  bool gray_ = false;
};

// The Little CMS layout of a pixel format, 0 for formats it does not read as they are.
cmsUInt32Number LayoutOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::A8R8G8B8:
    case PixelFormat::X8R8G8B8: return TYPE_BGRA_8;
    case PixelFormat::R8G8B8: return TYPE_BGR_8;
    case PixelFormat::A16R16G16B16: return TYPE_BGRA_16;
    case PixelFormat::R16G16B16: return TYPE_BGR_16;
    case PixelFormat::A16B16G16R16: return TYPE_RGBA_16;
    case PixelFormat::B16G16R16: return TYPE_RGB_16;
    case PixelFormat::A32R32G32B32F: return TYPE_BGRA_FLT;
    case PixelFormat::A32B32G32R32F: return TYPE_RGBA_FLT;
    case PixelFormat::Gray8: return TYPE_GRAY_8;
    case PixelFormat::A8Gray8: return TYPE_GRAYA_8;
    case PixelFormat::Gray16: return TYPE_GRAY_16;
    case PixelFormat::A16Gray16: return TYPE_GRAYA_16;
    default: return 0;
  }
}

// The colour format of the same depth as a gray one, for RGB profiles.
PixelFormat ColourOfGray(PixelFormat format) {
  switch (format) {
    case PixelFormat::Gray8: return PixelFormat::R8G8B8;
    case PixelFormat::A8Gray8: return PixelFormat::A8R8G8B8;
    case PixelFormat::Gray16: return PixelFormat::R16G16B16;
    default: return PixelFormat::A16R16G16B16;
  }
}

// Runs the transform over every pixel, row by row through one row buffer.
void TransformRows(cmsHTRANSFORM transform, Image& image) {
  const size_t rowBytes = size_t(image.Size()) / size_t(image.Height());
  std::vector<uint8_t> row(rowBytes);
  for (int32_t y = 0; y < image.Height(); ++y) {
    uint8_t* pixels = image.Bits() + size_t(y) * rowBytes;
    cmsDoTransform(transform, pixels, row.data(), static_cast<cmsUInt32Number>(image.Width()));
    std::memcpy(pixels, row.data(), rowBytes);
  }
}

// A gray profile over colour samples: each of blue, green and red through the gray curve.
template <typename Sample>
bool MapColourSamples(Conversion& conversion, Image& image, int samplesPerPixel, std::string& error) {
  constexpr size_t kValues = size_t(1) << (8 * sizeof(Sample));
  TransformPtr transform = conversion.Make(sizeof(Sample) == 1 ? TYPE_GRAY_8 : TYPE_GRAY_16,
                                           sizeof(Sample) == 1 ? TYPE_GRAY_8 : TYPE_GRAY_16, error);
  if (!transform) return false;
  std::vector<Sample> table(kValues);
  for (size_t v = 0; v < kValues; ++v) table[v] = static_cast<Sample>(v);
  cmsDoTransform(transform.get(), table.data(), table.data(), static_cast<cmsUInt32Number>(kValues));
  Sample* p = reinterpret_cast<Sample*>(image.Bits());
  const size_t pixels = size_t(image.Width()) * size_t(image.Height());
  for (size_t i = 0; i < pixels; ++i, p += samplesPerPixel)
    for (int c = 0; c < 3; ++c) p[c] = table[p[c]];
  return true;
}

bool ConvertPixels(Conversion& conversion, Image& image, std::string& error) {
  const PixelFormat format = image.Format();
  const PixelFormatInfo& info = *FindFormatInfo(format);
  const cmsUInt32Number layout = LayoutOf(format);

  if (info.IsIndexed) {
    // The palette's entries are blue, green, red, alpha bytes, as in A8R8G8B8 pixels: they are
    // converted as a row of such pixels.
    const size_t paletteBytes = sizeof(Color32) * size_t(info.PaletteEntries);
    Image palette;
    CreateImage(info.PaletteEntries, 1, PixelFormat::A8R8G8B8, palette);
    std::memcpy(palette.Bits(), image.Palette(), paletteBytes);
    if (!ConvertPixels(conversion, palette, error)) return false;
    std::memcpy(image.Palette(), palette.Bits(), paletteBytes);
    return true;
  }
  if (layout != 0 && info.HasGrayChannel == conversion.Gray()) {
    TransformPtr transform = conversion.Make(layout, layout, error);
    if (!transform) return false;
    TransformRows(transform.get(), image);
    return true;
  }
  if (conversion.Gray() && (format == PixelFormat::A8R8G8B8 || format == PixelFormat::X8R8G8B8 ||
                            format == PixelFormat::R8G8B8))
    return MapColourSamples<uint8_t>(conversion, image, info.BytesPerPixel, error);
  if (conversion.Gray() && (format == PixelFormat::A16R16G16B16 || format == PixelFormat::R16G16B16))
    return MapColourSamples<uint16_t>(conversion, image, info.BytesPerPixel / 2, error);

  // Everything else goes through a format that is handled above, and comes back unless gray
  // pixels became colour ones.
  PixelFormat working;
  if (!conversion.Gray() && layout != 0) working = ColourOfGray(format);  // gray pixels, RGB profile
  else if (info.IsFloatingPoint && !conversion.Gray()) working = PixelFormat::A32R32G32B32F;
  else working = PixelFormat::A16R16G16B16;
  ConvertImageFormat(image, working);
  if (!ConvertPixels(conversion, image, error)) {
    ConvertImageFormat(image, format);
    return false;
  }
  if (!(info.HasGrayChannel && !conversion.Gray())) ConvertImageFormat(image, format);
  return true;
}

}  // namespace

ProfileColorSpace ColorSpaceOfProfile(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kColorProfileHeaderSize) return ProfileColorSpace::Unusable;
  const uint32_t declared = BigEndian32(data + kSizeField);
  if (declared < kColorProfileHeaderSize || declared > size) return ProfileColorSpace::Unusable;
  if (BigEndian32(data + kSignatureField) != Signature("acsp")) return ProfileColorSpace::Unusable;
  switch (BigEndian32(data + kClassField)) {
    case Signature("scnr"):
    case Signature("mntr"):
    case Signature("prtr"):
    case Signature("spac"): break;
    default: return ProfileColorSpace::Other;  // link, abst, nmcl: they describe no picture's colours
  }
  switch (BigEndian32(data + kColorSpaceField)) {
    case Signature("RGB "): return ProfileColorSpace::Rgb;
    case Signature("GRAY"): return ProfileColorSpace::Gray;
    default: return ProfileColorSpace::Other;
  }
}

ColorProfile MakeColorProfile(std::vector<uint8_t> bytes) {
  if (bytes.size() > kMaxColorProfileBytes) return nullptr;
  if (ColorSpaceOfProfile(bytes.data(), bytes.size()) == ProfileColorSpace::Unusable) return nullptr;
  return std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

bool ProfileFitsFormat(const ColorProfile& profile, PixelFormat format) {
  const PixelFormatInfo* info = FindFormatInfo(format);
  if (!profile || info == nullptr) return false;
  switch (ColorSpaceOfProfile(profile->data(), profile->size())) {
    case ProfileColorSpace::Rgb: return !info->HasGrayChannel;
    case ProfileColorSpace::Gray: return info->HasGrayChannel;
    default: return false;
  }
}

bool ConvertToSRGB(Image& image, const std::vector<uint8_t>& profile, std::string& error) {
  error.clear();
  if (!IsImageValid(image)) {
    error = "the picture is empty";
    return false;
  }
  switch (ColorSpaceOfProfile(profile.data(), profile.size())) {
    case ProfileColorSpace::Unusable: error = "the colour profile is damaged"; return false;
    case ProfileColorSpace::Other: error = "the colour profile is not one of RGB or gray pictures"; return false;
    default: break;
  }
  Conversion conversion;
  if (!conversion.Open(profile, error)) return false;
  return ConvertPixels(conversion, image, error);
}

}  // namespace imaging
