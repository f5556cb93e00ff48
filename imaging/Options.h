// The codec options: one value with a typed struct per codec and the library's own options,
// and the numbered interface (SetOption, GetOption, PushOptions, PopOptions, RegisterOption)
// that keeps the process values of the original library's option ids.
#pragma once

#include <cstdint>

#include "imaging/ColorProfile.h"
#include "imaging/Image.h"
#include "imaging/Types.h"

namespace imaging {

// The option ids of the numbered interface. Only the option table (imaging/Options.cpp) maps
// them onto the fields of CodecOptions; code that loads or saves sets the fields.
namespace option {
inline constexpr int32_t kJpegQuality = 10;
inline constexpr int32_t kJpegProgressive = 11;
inline constexpr int32_t kBitmapRle = 12;
inline constexpr int32_t kTargaRle = 13;
// What the original library's DDS reader found; a load reports it in LoadFacts, and these ids
// keep their start values.
inline constexpr int32_t kDdsLoadedCubeMap = 14;
inline constexpr int32_t kDdsLoadedVolume = 15;
inline constexpr int32_t kDdsLoadedMipMapCount = 16;
inline constexpr int32_t kDdsLoadedDepth = 17;
inline constexpr int32_t kDdsSaveCubeMap = 18;
inline constexpr int32_t kDdsSaveVolume = 19;
inline constexpr int32_t kDdsSaveMipMapCount = 20;
inline constexpr int32_t kDdsSaveDepth = 21;
inline constexpr int32_t kPngPreFilter = 25;
inline constexpr int32_t kPngCompressLevel = 26;
inline constexpr int32_t kMngLossyCompression = 28;
inline constexpr int32_t kMngLossyAlpha = 29;
inline constexpr int32_t kMngPreFilter = 30;
inline constexpr int32_t kMngCompressLevel = 31;
inline constexpr int32_t kMngQuality = 32;
inline constexpr int32_t kMngProgressive = 33;
inline constexpr int32_t kJngLossyAlpha = 40;
inline constexpr int32_t kJngPreFilter = 41;
inline constexpr int32_t kJngCompressLevel = 42;
inline constexpr int32_t kJngQuality = 43;
inline constexpr int32_t kJngProgressive = 44;
inline constexpr int32_t kPgmSaveBinary = 50;
inline constexpr int32_t kPpmSaveBinary = 51;
inline constexpr int32_t kJpeg2000Quality = 55;
// The GIF codec's. The JPEG 2000 codec's code-stream-only switch has no id of its own: it is
// set through Jpeg2000Options::codeStreamOnly.
inline constexpr int32_t kGifLoadAnimated = 56;
inline constexpr int32_t kJpeg2000Lossless = 57;
inline constexpr int32_t kTiffCompression = 65;
inline constexpr int32_t kPsdSaveAsLayer = 70;
inline constexpr int32_t kWebPQuality = 80;
inline constexpr int32_t kWebPLossless = 81;
inline constexpr int32_t kAvifQuality = 85;
inline constexpr int32_t kAvifSpeed = 86;
inline constexpr int32_t kAvifLossless = 87;
inline constexpr int32_t kHeifQuality = 90;
// What a HEIF load found (LoadFacts::heifExifOrientation); the id keeps its start value.
inline constexpr int32_t kHeifLoadedExifOrientation = 91;
inline constexpr int32_t kJxlQuality = 95;
inline constexpr int32_t kJxlEffort = 96;
inline constexpr int32_t kJxlLossless = 97;
inline constexpr int32_t kColorReductionMask = 128;
inline constexpr int32_t kLoadOverrideFormat = 129;
inline constexpr int32_t kSaveOverrideFormat = 130;
}  // namespace option

// What GetOption answers for an id that is not bound.
inline constexpr int32_t kInvalidOption = static_cast<int32_t>(0x80000001u);

// Each codec clamps or replaces an out-of-range value where it uses it; the fields keep any
// value they are given.
struct JpegOptions {
  int32_t quality = 90;  // 1..100
  bool progressive = false;
  // Loads decode at 1/2, 1/4 or 1/8 of each side (libjpeg's DCT scaling, sides rounded up) when
  // this is 2, 4 or 8: a picture for a thumbnail or a preview at a fraction of a full decode's
  // time and memory. Any other value decodes the full size.
  int32_t reduceBy = 1;
};

struct BitmapOptions {
  bool useRle = true;  // Index8 images are written RLE8-compressed
};

struct TargaOptions {
  bool useRle = false;  // pictures are written run-length encoded
};

// How a DDS save lays out the images it is given.
struct DdsOptions {
  bool saveCubeMap = false;
  bool saveVolume = false;
  int32_t saveMipMapCount = 1;  // levels, the main surface included
  int32_t saveDepth = 1;        // slices of a volume, faces of a cube map
};

struct PngOptions {
  int32_t preFilter = 5;      // 0..4 that filter, 5 Paeth for truecolour rows, 6 adaptive
  int32_t compressLevel = 5;  // zlib level 0..9
};

struct MngOptions {
  bool lossyCompression = false;  // JNG datastreams in place of PNG ones
  bool lossyAlpha = false;        // JPEG-compressed alpha in JNG datastreams
  int32_t preFilter = 5;
  int32_t compressLevel = 5;
  int32_t quality = 90;  // JPEG quality 1..100
  bool progressive = false;
};

struct JngOptions {
  bool lossyAlpha = false;
  int32_t preFilter = 5;
  int32_t compressLevel = 5;
  int32_t quality = 90;
  bool progressive = false;
};

// Binary (P5, P6) or plain text (P2, P3) gray and pixel maps.
struct PortableMapOptions {
  bool grayMapBinary = true;
  bool pixelMapBinary = true;
};

struct Jpeg2000Options {
  int32_t quality = 80;         // 1..100
  bool codeStreamOnly = false;  // a bare code stream, without the JP2 boxes
  bool lossless = false;
};

struct GifOptions {
  // Compose the frames as a player shows them: one image per picture a viewer stops at. Off:
  // every image of the file raw, at its own size with its own palette.
  bool loadAnimated = true;
};

struct TiffOptions {
  int32_t compressionScheme = 1;  // index into the compression table: none, LZW, PackBits, Deflate, JPEG
};

struct PsdOptions {
  bool saveAsLayer = true;  // the picture as one layer besides the merged image
};

struct WebPOptions {
  int32_t quality = 90;  // 1..100
  bool lossless = false;
};

struct AvifOptions {
  int32_t quality = 60;  // 1..100
  int32_t speed = 6;     // libavif's 0 (slowest) to 10 (fastest)
  bool lossless = false;
};

struct HeifOptions {
  int32_t quality = 50;  // 1..100
};

struct JxlOptions {
  int32_t quality = 90;  // 1..100, mapped to a butteraugli distance as cjxl -q maps it
  int32_t effort = 7;    // libjxl's 1 (fastest) to 9 (slowest, smallest files)
  bool lossless = false;
};

// The library's own options.
struct LibraryOptions {
  // The bits of each channel a reduction to a palette looks at.
  uint8_t colorReductionMask = 255;
  // Every loaded image is converted to this format; Unknown for none.
  PixelFormat loadOverrideFormat = PixelFormat::Unknown;
  // Every saved image is converted to this format first; Unknown for none.
  PixelFormat saveOverrideFormat = PixelFormat::Unknown;
};

// Everything a load or save is steered by. A load or save works on the value it is given, so
// two threads may load and save with different values at once.
struct CodecOptions {
  JpegOptions jpeg;
  BitmapOptions bitmap;
  TargaOptions targa;
  DdsOptions dds;
  PngOptions png;
  MngOptions mng;
  JngOptions jng;
  PortableMapOptions portableMap;
  Jpeg2000Options jpeg2000;
  GifOptions gif;
  TiffOptions tiff;
  PsdOptions psd;
  WebPOptions webp;
  AvifOptions avif;
  HeifOptions heif;
  JxlOptions jxl;
  LibraryOptions library;
  // The ICC profile a save embeds where its file type holds one and the written pixels' colour
  // space matches (ProfileFitsFormat); null for none.
  ColorProfile profile;
  // How the frames a save of several images writes play (GIF and WebP animations); empty for
  // none, and ignored by a save of one image.
  Animation animation;
};

// ---- The numbered interface: the process values ------------------------------------------------

// A copy of the process values; what a run takes at its start.
CodecOptions CurrentOptions();

// Binds a caller's variable to an id that is not yet bound (the variable's value is its start
// value); it then follows SetOption and PopOptions. False for a negative id or a bound one.
bool RegisterOption(int32_t id, int32_t* variable);
// Stores a value after the library's filtering (the colour-reduction mask is clamped to 0..255,
// an override format that is no valid format becomes 0); false for an id that is not bound.
bool SetOption(int32_t id, int32_t value);
// The value of a bound id, or kInvalidOption.
int32_t GetOption(int32_t id);
// Saves the values of every bound id, up to eight levels deep; false when eight are saved.
bool PushOptions();
// Restores the last saved level; false when none is saved.
bool PopOptions();

}  // namespace imaging
