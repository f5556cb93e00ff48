// PNG, MNG and JNG: the three codecs over the shared chunk layer, reader and writer
// (ImagingNetworkGraphicsChunks, ImagingNetworkGraphicsReader, ImagingNetworkGraphicsWriter).
#include "imaging/formats/PngChunks.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace imaging {

using namespace ng;

// ---- Codecs ---------------------------------------------------------------------------------

namespace {
const std::initializer_list<PixelFormat> kPNGFormats = {
    PixelFormat::Index8, PixelFormat::Gray8, PixelFormat::A8Gray8, PixelFormat::Gray16,
    PixelFormat::A16Gray16, PixelFormat::R8G8B8, PixelFormat::A8R8G8B8, PixelFormat::R16G16B16,
    PixelFormat::A16R16G16B16, PixelFormat::B16G16R16, PixelFormat::A16B16G16R16};
const std::initializer_list<PixelFormat> kLossyFormats = {PixelFormat::Gray8, PixelFormat::A8Gray8, PixelFormat::R8G8B8,
                                                          PixelFormat::A8R8G8B8};
}  // namespace

NetworkGraphicsCodec::NetworkGraphicsCodec(const uint8_t (&signature)[8]) {
  std::memcpy(signature_, signature, 8);
  CanLoad = true;
  CanSave = true;
}

FormatSet NetworkGraphicsCodec::GetSavableFormats() const {
  return LossyCompression ? MakeFormatSet(kLossyFormats) : MakeFormatSet(kPNGFormats);
}

void NetworkGraphicsCodec::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  PixelFormat target;
  if (LossyCompression) {
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

bool NetworkGraphicsCodec::ProbeStream(Stream& stream) const {
  uint8_t signature[8];
  const int64_t count = stream.Read(signature, sizeof(signature));
  if (count > 0) stream.Seek(-count, SeekOrigin::Current);
  return count == 8 && std::memcmp(signature, signature_, 8) == 0;
}

void NetworkGraphicsCodec::ValidateOptions() {
  if (static_cast<uint32_t>(PreFilter) > 6) PreFilter = 5;
  if (static_cast<uint32_t>(CompressLevel) > 9) CompressLevel = 5;
  if (static_cast<uint32_t>(Quality - 1) >= 100u) Quality = 90;
}

void NetworkGraphicsCodec::CopySettings(DatastreamSaver& saver) const {
  saver.PreFilter = PreFilter;
  saver.CompressLevel = CompressLevel;
  saver.LossyAlpha = LossyAlpha;
  saver.Quality = Quality;
  saver.Progressive = Progressive;
}

PngCodec::PngCodec() : NetworkGraphicsCodec(kPNGSignature) {
  Name = "Portable Network Graphics";
  SupportedFormats = MakeFormatSet(kPNGFormats);
  AddMasks("*.png");
  RegisterCodecOption(ImagingPNGPreFilter, &PreFilter);
  RegisterCodecOption(ImagingPNGCompressLevel, &CompressLevel);
}

bool NetworkGraphicsCodec::ReadFirstDatastream(Stream& stream, std::vector<Image>& images,
                                                     bool jng) {
  DatastreamLoader loader;
  if (!loader.LoadFile(stream) || loader.Frames.empty()) return false;
  const Datastream& frame = *loader.Frames.front();
  Image& image = images.emplace_back();
  // A datastream of the other kind leaves the image empty, and the load fails.
  if (frame.IsJpegFrame == jng && !(jng ? DecodeJNGFrame(frame, image) : DecodePNGFrame(frame, image))) return false;
  ApplyFrameSideChunks(frame, image);
  if (!frame.ProfileBytes.empty()) {
    IccProfile = ReadProfileChunk(frame.ProfileBytes);
    if (!IccProfile) AddLoadWarning("The file's colour profile (iCCP) is damaged; it is left out");
  }
  return true;
}

bool NetworkGraphicsCodec::WriteSingleDatastream(Stream& stream, std::span<const Image> images,
                                                       int32_t index, NetworkGraphicsType type) {
  PreparedImage prepared;
  if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
  DatastreamSaver saver;
  saver.FileType = type;
  CopySettings(saver);
  if (type == NetworkGraphicsType::JNG)
    saver.AddJNGFrame(prepared.Get());
  else
    saver.AddPNGFrame(prepared.Get());
  if (const ColorProfile profile = SaveProfileFor(prepared->Format()))
    saver.Frames.back()->ProfileBytes = MakeProfileChunk(*profile, CompressLevel);
  saver.SaveFile(stream);
  return true;
}

bool PngCodec::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  return ReadFirstDatastream(stream, images, false);
}

bool PngCodec::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  return WriteSingleDatastream(stream, images, index, NetworkGraphicsType::PNG);
}

MngCodec::MngCodec() : NetworkGraphicsCodec(kMNGSignature) {
  Name = "Multiple Network Graphics";
  IsMultiImage = true;
  SupportedFormats = MakeFormatSet(kPNGFormats);
  AddMasks("*.mng");
  RegisterCodecOption(ImagingMNGLossyCompression, &LossyCompression);
  RegisterCodecOption(ImagingMNGLossyAlpha, &LossyAlpha);
  RegisterCodecOption(ImagingMNGPreFilter, &PreFilter);
  RegisterCodecOption(ImagingMNGCompressLevel, &CompressLevel);
  RegisterCodecOption(ImagingMNGQuality, &Quality);
  RegisterCodecOption(ImagingMNGProgressive, &Progressive);
}

bool MngCodec::ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) {
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
    const bool decoded = frame->IsJpegFrame ? DecodeJNGFrame(*frame, image) : DecodePNGFrame(*frame, image);
    if (!decoded) return false;
    ApplyFrameSideChunks(*frame, image);
    if (onlyFirst) break;
  }
  return true;
}

bool MngCodec::WriteImage(Stream& stream, std::span<const Image> images, int32_t) {
  DatastreamSaver saver;
  saver.FileType = NetworkGraphicsType::MNG;
  CopySettings(saver);
  uint32_t width = 0;
  uint32_t height = 0;
  for (int32_t i = FirstIndex; i <= LastIndex; ++i) {
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(i)], prepared)) return false;
    if (LossyCompression)
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

JngCodec::JngCodec() : NetworkGraphicsCodec(kJNGSignature) {
  Name = "JPEG Network Graphics";
  LossyCompression = 1;
  SupportedFormats = MakeFormatSet(kLossyFormats);
  AddMasks("*.jng");
  RegisterCodecOption(ImagingJNGLossyAlpha, &LossyAlpha);
  RegisterCodecOption(ImagingJNGPreFilter, &PreFilter);
  RegisterCodecOption(ImagingJNGCompressLevel, &CompressLevel);
  RegisterCodecOption(ImagingJNGQuality, &Quality);
  RegisterCodecOption(ImagingJNGProgressive, &Progressive);
}

bool JngCodec::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  return ReadFirstDatastream(stream, images, true);
}

bool JngCodec::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  return WriteSingleDatastream(stream, images, index, NetworkGraphicsType::JNG);
}

std::unique_ptr<Codec> CreatePngCodec() { return std::make_unique<PngCodec>(); }
std::unique_ptr<Codec> CreateMngCodec() { return std::make_unique<MngCodec>(); }
std::unique_ptr<Codec> CreateJngCodec() { return std::make_unique<JngCodec>(); }

}  // namespace imaging
