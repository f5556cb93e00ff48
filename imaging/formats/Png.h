// PNG, MNG and JNG: the chunk-level reader and writer they share, the header records as they
// are stored, and the three codecs.
#pragma once

#include <memory>
#include <vector>

#include "imaging/Codec.h"

namespace imaging {

// ---- On-disk records (all multi-byte values big-endian in the file) -------------------------

// IHDR, 13 bytes.
struct PngImageHeader {
  uint32_t Width;             // pixels, below 2^31
  uint32_t Height;            // pixels, below 2^31
  uint8_t BitDepth;           // bits per sample (per palette index for colour type 3)
  uint8_t ColorType;          // 0 gray, 2 truecolour, 3 palette, 4 gray + alpha, 6 truecolour + alpha
  uint8_t CompressionMethod;  // 0 = deflate
  uint8_t FilterMethod;       // 0 = adaptive filtering, 64 = MNG intrapixel differencing
  uint8_t InterlaceMethod;    // 0 none, 1 Adam7
};
inline constexpr uint32_t kPNGImageHeaderSize = 13;

// JHDR, 16 bytes.
struct JngHeader {
  uint32_t Width;                  // pixels
  uint32_t Height;                 // pixels
  uint8_t ColorType;               // 8 gray, 10 colour, 12 gray + alpha, 14 colour + alpha
  uint8_t SampleDepth;             // 8, 12 or 20 (8 and 12)
  uint8_t CompressionMethod;       // 8 = JPEG baseline or progressive
  uint8_t InterlaceMethod;         // 0 sequential, 8 progressive
  uint8_t AlphaSampleDepth;        // 0 (no alpha), 1, 2, 4, 8 or 16
  uint8_t AlphaCompressionMethod;  // 0 deflated samples in IDAT chunks, 8 JPEG in JDAA chunks
  uint8_t AlphaFilterMethod;       // filter method of deflated alpha
  uint8_t AlphaInterlaceMethod;    // interlace method of deflated alpha
};
inline constexpr uint32_t kJNGHeaderSize = 16;

// MHDR, 28 bytes.
struct MngHeader {
  uint32_t FrameWidth;         // pixels
  uint32_t FrameHeight;        // pixels
  uint32_t TicksPerSecond;     // 0 = unspecified
  uint32_t NominalLayerCount;  // 0 = unspecified
  uint32_t NominalFrameCount;  // 0 = unspecified
  uint32_t NominalPlayTime;    // ticks, 0 = unspecified
  uint32_t SimplicityProfile;  // feature bits; 0 = unspecified
};
inline constexpr uint32_t kMNGHeaderSize = 28;

// ---- Collected datastreams ------------------------------------------------------------------

// One datastream: a PNG image (from IHDR) or a JNG image (from JHDR) with its side chunks.
struct Datastream {
  bool IsJpegFrame = false;
  PngImageHeader ImageHeader{};
  JngHeader JpegHeader{};
  std::vector<uint8_t> PaletteBytes;       // PLTE data; PaletteCount = size / 3
  std::vector<uint8_t> TransparencyBytes;  // tRNS data
  std::vector<uint8_t> BackgroundBytes;    // bKGD data
  std::vector<uint8_t> ProfileBytes;       // iCCP data: profile name, 00, method, deflated profile
  std::vector<uint8_t> ImageDataStream;    // all IDAT data in file order
  std::vector<uint8_t> JpegDataStream;     // all JDAT data
  std::vector<uint8_t> JpegAlphaStream;    // all JDAA data

  int32_t PaletteCount() const { return static_cast<int32_t>(PaletteBytes.size() / 3); }
};

enum class NetworkGraphicsType : int32_t { PNG = 0, MNG = 1, JNG = 2 };

class DatastreamSet {
public:
  NetworkGraphicsType FileType = NetworkGraphicsType::PNG;
  std::vector<std::unique_ptr<Datastream>> Frames;
  MngHeader MNGHeader{};
  std::vector<uint8_t> GlobalPalette;       // PLTE before the first datastream (MNG)
  std::vector<uint8_t> GlobalTransparency;  // tRNS before the first datastream (MNG)

  void Clear();
  Datastream& AddFrame(bool isJpegFrame);
};

class DatastreamLoader : public DatastreamSet {
public:
  // Reads the signature and every chunk; false when the signature is none of the three.
  bool LoadFile(Stream& stream);
};

class DatastreamSaver : public DatastreamSet {
public:
  int32_t PreFilter = 5;
  int32_t CompressLevel = 5;
  int32_t LossyAlpha = 0;
  int32_t Quality = 90;
  int32_t Progressive = 0;

  // Encodes the image as one more datastream.
  void AddPNGFrame(const Image& image);
  void AddJNGFrame(const Image& image);
  // Writes the signature, MHDR for MNG, every datastream and MEND for MNG.
  void SaveFile(Stream& stream);
};

// Decodes a PNG datastream (colour type and depth from its IHDR) or a JNG datastream into
// `image`; false when the JPEG data use a colour space the JPEG codec cannot give.
bool DecodePNGFrame(const Datastream& frame, Image& image);
bool DecodeJNGFrame(const Datastream& frame, Image& image);
// Applies PLTE, tRNS and bKGD of the datastream to its decoded image.
void ApplyFrameSideChunks(const Datastream& frame, Image& image);

// ---- Codecs ---------------------------------------------------------------------------------

class NetworkGraphicsCodec : public Codec {
public:
  int32_t PreFilter = 5;         // 0..4 that filter, 5 Paeth for truecolour, 6 adaptive
  int32_t CompressLevel = 5;     // zlib level 0..9
  int32_t LossyCompression = 0;  // write JNG datastreams (MNG)
  int32_t LossyAlpha = 0;        // JPEG-compressed alpha in JNG datastreams
  int32_t Quality = 90;          // JPEG quality 1..100
  int32_t Progressive = 0;       // progressive JPEG

  FormatSet GetSavableFormats() const override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
  bool ProbeStream(Stream& stream) const override;
  void ValidateOptions() override;

protected:
  explicit NetworkGraphicsCodec(const uint8_t (&signature)[8]);
  void CopySettings(DatastreamSaver& saver) const;
  // The one image of the first datastream, decoded when it is of the kind the codec reads.
  bool ReadFirstDatastream(Stream& stream, std::vector<Image>& images, bool jng);
  // Writes the image at `index` as a file of the type holding that one datastream.
  bool WriteSingleDatastream(Stream& stream, std::span<const Image> images, int32_t index,
                             NetworkGraphicsType type);

private:
  uint8_t signature_[8];
};

class PngCodec : public NetworkGraphicsCodec {
public:
  PngCodec();
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
};

class MngCodec : public NetworkGraphicsCodec {
public:
  MngCodec();
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
};

class JngCodec : public NetworkGraphicsCodec {
public:
  JngCodec();
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
};

}  // namespace imaging
