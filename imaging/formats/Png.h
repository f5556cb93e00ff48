// PNG, MNG and JNG: the chunk-level reader and writer they share, the header records as they
// are stored, and the three codecs.
#pragma once

#include <memory>
#include <vector>

#include "imaging/Codec.h"

namespace imaging::formats {

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
  // How the datastreams are encoded: filter, zlib level, lossy alpha, JPEG quality and
  // progression (lossyCompression is the caller's choice between AddPNGFrame and AddJNGFrame).
  MngOptions Settings;
  // The options of the save, which the JPEG data of JNG datastreams are written with.
  CodecOptions Options;

  // Encodes the image as one more datastream.
  void AddPNGFrame(const Image& image);
  void AddJNGFrame(const Image& image);
  // Writes the signature, MHDR for MNG, every datastream and MEND for MNG.
  void SaveFile(Stream& stream);
};

// Decodes a PNG datastream (colour type and depth from its IHDR) or a JNG datastream into
// `image`; false when the JPEG data use a colour space the JPEG codec cannot give. The JPEG data
// are read with the options of the load.
bool DecodePNGFrame(const Datastream& frame, Image& image);
bool DecodeJNGFrame(const Datastream& frame, const CodecOptions& options, Image& image);
// Applies PLTE, tRNS and bKGD of the datastream to its decoded image.
void ApplyFrameSideChunks(const Datastream& frame, Image& image);

// ---- Codecs ---------------------------------------------------------------------------------

// The description shared by the three codecs: the signature and the type of file.
class NetworkGraphicsCodec : public Codec {
public:
  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;

protected:
  NetworkGraphicsCodec(const uint8_t (&signature)[8], NetworkGraphicsType type);

private:
  uint8_t signature_[8];
  NetworkGraphicsType type_;
};

class PngCodec : public NetworkGraphicsCodec {
public:
  PngCodec();
};

class MngCodec : public NetworkGraphicsCodec {
public:
  MngCodec();
};

class JngCodec : public NetworkGraphicsCodec {
public:
  JngCodec();
};

// Reads the one datastream of a PNG or JNG file, or every datastream of an MNG file.
class NetworkGraphicsDecoder : public Decoder {
public:
  NetworkGraphicsDecoder(const CodecOptions& options, NetworkGraphicsType type);
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;

private:
  bool ReadAnimation(Stream& stream, std::vector<Image>& images, bool onlyFirst);
  NetworkGraphicsType type_;
};

// Writes a PNG or JNG file of one datastream, or an MNG file of the images FirstIndex..LastIndex.
class NetworkGraphicsEncoder : public Encoder {
public:
  NetworkGraphicsEncoder(const Codec& description, const CodecOptions& options, NetworkGraphicsType type);
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  FormatSet GetSavableFormats() const override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;

private:
  bool WriteAnimation(Stream& stream, std::span<const Image> images);
  NetworkGraphicsType type_;
  // How the datastreams are encoded, from the codec's options (MNG's shape for all three).
  MngOptions settings_;
};

}  // namespace imaging::formats
