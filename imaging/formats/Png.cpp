// PNG, MNG and JNG: the three codecs over the shared chunk layer, reader and writer
// (PngChunks, PngReader, PngWriter).
#include "imaging/formats/PngChunks.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace imaging::formats {

using namespace ng;

// ---- Codecs ---------------------------------------------------------------------------------

namespace {
const std::initializer_list<PixelFormat> kPNGFormats = {
    PixelFormat::Index8, PixelFormat::Gray8, PixelFormat::A8Gray8, PixelFormat::Gray16,
    PixelFormat::A16Gray16, PixelFormat::R8G8B8, PixelFormat::A8R8G8B8, PixelFormat::R16G16B16,
    PixelFormat::A16R16G16B16, PixelFormat::B16G16R16, PixelFormat::A16B16G16R16};
const std::initializer_list<PixelFormat> kLossyFormats = {PixelFormat::Gray8, PixelFormat::A8Gray8, PixelFormat::R8G8B8,
                                                          PixelFormat::A8R8G8B8};

// How an encoder of the type writes, from the options of its save, with out-of-range values
// replaced: PNG filter 0..6 (else 5), zlib level 0..9 (else 5), JPEG quality 1..100 (else 90).
MngOptions WriteSettings(NetworkGraphicsType type, const CodecOptions& options) {
  MngOptions settings;
  switch (type) {
    case NetworkGraphicsType::PNG:
      settings.preFilter = options.png.preFilter;
      settings.compressLevel = options.png.compressLevel;
      break;
    case NetworkGraphicsType::MNG:
      settings = options.mng;
      break;
    case NetworkGraphicsType::JNG: {
      const JngOptions& jng = options.jng;
      settings = {true, jng.lossyAlpha, jng.preFilter, jng.compressLevel, jng.quality, jng.progressive};
      break;
    }
  }
  if (static_cast<uint32_t>(settings.preFilter) > 6) settings.preFilter = 5;
  if (static_cast<uint32_t>(settings.compressLevel) > 9) settings.compressLevel = 5;
  if (static_cast<uint32_t>(settings.quality - 1) >= 100u) settings.quality = 90;
  return settings;
}

}  // namespace

// ---- Descriptions -------------------------------------------------------------------------------

NetworkGraphicsCodec::NetworkGraphicsCodec(const uint8_t (&signature)[8], NetworkGraphicsType type) : type_(type) {
  std::memcpy(signature_, signature, 8);
  CanLoad = true;
  CanSave = true;
  CanReadHeader = true;
}

bool NetworkGraphicsCodec::ProbeStream(Stream& stream) const {
  uint8_t signature[8];
  const int64_t count = stream.Read(signature, sizeof(signature));
  if (count > 0) stream.Seek(-count, SeekOrigin::Current);
  return count == 8 && std::memcmp(signature, signature_, 8) == 0;
}

std::unique_ptr<Decoder> NetworkGraphicsCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<NetworkGraphicsDecoder>(options, type_);
}

std::unique_ptr<Encoder> NetworkGraphicsCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<NetworkGraphicsEncoder>(*this, options, type_);
}

PngCodec::PngCodec() : NetworkGraphicsCodec(kPNGSignature, NetworkGraphicsType::PNG) {
  Name = "Portable Network Graphics";
  SupportedFormats = MakeFormatSet(kPNGFormats);
  AddMasks("*.png");
}

MngCodec::MngCodec() : NetworkGraphicsCodec(kMNGSignature, NetworkGraphicsType::MNG) {
  Name = "Multiple Network Graphics";
  IsMultiImage = true;
  SupportedFormats = MakeFormatSet(kPNGFormats);
  AddMasks("*.mng");
}

JngCodec::JngCodec() : NetworkGraphicsCodec(kJNGSignature, NetworkGraphicsType::JNG) {
  Name = "JPEG Network Graphics";
  SupportedFormats = MakeFormatSet(kLossyFormats);
  AddMasks("*.jng");
}

// ---- Decoder ------------------------------------------------------------------------------------

NetworkGraphicsDecoder::NetworkGraphicsDecoder(const CodecOptions& options, NetworkGraphicsType type)
    : Decoder(options), type_(type) {}

bool NetworkGraphicsDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) {
  if (type_ == NetworkGraphicsType::MNG) return ReadAnimation(stream, images, onlyFirst);
  const bool jng = type_ == NetworkGraphicsType::JNG;
  DatastreamLoader loader;
  if (!loader.LoadFile(stream) || loader.Frames.empty()) return false;
  const Datastream& frame = *loader.Frames.front();
  Image& image = images.emplace_back();
  // A datastream of the other kind leaves the image empty, and the load fails.
  if (frame.IsJpegFrame == jng && !(jng ? DecodeJNGFrame(frame, Options, image) : DecodePNGFrame(frame, image)))
    return false;
  ApplyFrameSideChunks(frame, image);
  if (!frame.ProfileBytes.empty()) {
    Facts.profile = ReadProfileChunk(frame.ProfileBytes);
    if (!Facts.profile) AddLoadWarning("The file's colour profile (iCCP) is damaged; it is left out");
  }
  return true;
}

bool NetworkGraphicsDecoder::ReadAnimation(Stream& stream, std::vector<Image>& images, bool onlyFirst) {
  DatastreamLoader loader;
  if (!loader.LoadFile(stream)) return false;
  if (loader.Frames.empty()) {
    // Only animation chunks: one empty image of the frame size.
    CheckImageDimensions(loader.MNGHeader.FrameWidth, loader.MNGHeader.FrameHeight, "MNG frame");
    CreateImage(static_cast<int32_t>(loader.MNGHeader.FrameWidth), static_cast<int32_t>(loader.MNGHeader.FrameHeight),
                PixelFormat::Default, images.emplace_back());
    return true;
  }
  for (const auto& frame : loader.Frames) {
    Image& image = images.emplace_back();
    const bool decoded = frame->IsJpegFrame ? DecodeJNGFrame(*frame, Options, image) : DecodePNGFrame(*frame, image);
    if (!decoded) return false;
    ApplyFrameSideChunks(*frame, image);
    if (onlyFirst) break;
  }
  return true;
}

// ---- Encoder ------------------------------------------------------------------------------------

NetworkGraphicsEncoder::NetworkGraphicsEncoder(const Codec& description, const CodecOptions& options,
                                               NetworkGraphicsType type)
    : Encoder(description, options), type_(type), settings_(WriteSettings(type, options)) {}

FormatSet NetworkGraphicsEncoder::GetSavableFormats() const {
  return settings_.lossyCompression ? MakeFormatSet(kLossyFormats) : MakeFormatSet(kPNGFormats);
}

void NetworkGraphicsEncoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  PixelFormat target;
  if (settings_.lossyCompression) {
    if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? PixelFormat::A8Gray8 : PixelFormat::Gray8;
    else
      target = info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
  } else if (info.HasGrayChannel) {
    if (info.HasAlphaChannel)
      target = info.BytesPerPixel > 2 ? PixelFormat::A16Gray16 : PixelFormat::A8Gray8;
    else
      target = PixelFormat::Gray16;
  } else if (info.IsFloatingPoint) {
    target = info.HasAlphaChannel ? PixelFormat::A16B16G16R16 : PixelFormat::B16G16R16;
  } else {
    target = info.HasAlphaChannel || info.IsCompressed ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
  }
  ConvertImageFormat(image, target);
}

bool NetworkGraphicsEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  if (type_ == NetworkGraphicsType::MNG) return WriteAnimation(stream, images);
  PreparedImage prepared;
  if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
  DatastreamSaver saver;
  saver.FileType = type_;
  saver.Settings = settings_;
  saver.Options = Options;
  if (type_ == NetworkGraphicsType::JNG)
    saver.AddJNGFrame(prepared.Get());
  else
    saver.AddPNGFrame(prepared.Get());
  if (const ColorProfile profile = SaveProfileFor(prepared->Format()))
    saver.Frames.back()->ProfileBytes = MakeProfileChunk(*profile, saver.Settings.compressLevel);
  saver.SaveFile(stream);
  return true;
}

bool NetworkGraphicsEncoder::WriteAnimation(Stream& stream, std::span<const Image> images) {
  DatastreamSaver saver;
  saver.FileType = NetworkGraphicsType::MNG;
  saver.Settings = settings_;
  saver.Options = Options;
  uint32_t width = 0;
  uint32_t height = 0;
  for (int32_t i = FirstIndex; i <= LastIndex; ++i) {
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(i)], prepared)) return false;
    if (saver.Settings.lossyCompression)
      saver.AddJNGFrame(prepared.Get());
    else
      saver.AddPNGFrame(prepared.Get());
    width = std::max(width, static_cast<uint32_t>(prepared.Get().Width()));
    height = std::max(height, static_cast<uint32_t>(prepared.Get().Height()));
  }
  saver.MNGHeader.FrameWidth = width;
  saver.MNGHeader.FrameHeight = height;
  saver.MNGHeader.NominalFrameCount = static_cast<uint32_t>(saver.Frames.size());
  saver.MNGHeader.SimplicityProfile = 473;
  saver.SaveFile(stream);
  return true;
}

std::unique_ptr<Codec> CreatePngCodec() { return std::make_unique<PngCodec>(); }
std::unique_ptr<Codec> CreateMngCodec() { return std::make_unique<MngCodec>(); }
std::unique_ptr<Codec> CreateJngCodec() { return std::make_unique<JngCodec>(); }

}  // namespace imaging::formats
