// DirectDraw Surface codec: uncompressed, float and block-compressed textures with mipmaps,
// cube faces and volume slices, one image per surface.
#include "imaging/Headers.h"
#include "imaging/formats/Dds.h"

#include "imaging/BlockCompression.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace imaging::formats {

namespace {

using namespace dds;

// Levels a mipmap chain can have at most: one per halving of a 32-bit size.
constexpr uint32_t kMaxMipMapLevels = 32;

uint32_t GetU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void PutU32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

DdsFileHeader ParseHeader(const uint8_t* raw) {
  uint32_t words[kHeaderSize / 4];
  for (int i = 0; i < kHeaderSize / 4; ++i) words[i] = GetU32LE(raw + 4 * i);
  DdsFileHeader h{};
  static_assert(sizeof(DdsFileHeader) == kHeaderSize);
  std::memcpy(&h, words, sizeof(h));
  return h;
}

void SerializeHeader(const DdsFileHeader& h, uint8_t* raw) {
  uint32_t words[kHeaderSize / 4];
  std::memcpy(words, &h, sizeof(h));
  for (int i = 0; i < kHeaderSize / 4; ++i) PutU32LE(raw + 4 * i, words[i]);
}

struct FormatChoice {
  PixelFormat Format = PixelFormat::Unknown;
  bool SwapRedBlue = false;  // the file stores red in the lowest byte
};

bool MasksMatch(PixelFormat format, const DdsPixelFormat& pf, bool withAlpha) {
  const BitFieldLayout* l = FindFormatInfo(format)->BitFields;
  return l->RMask == pf.RedMask && l->GMask == pf.GreenMask && l->BMask == pf.BlueMask &&
         (!withAlpha || l->AMask == pf.AlphaMask);
}

FormatChoice ChooseFormat(const DdsPixelFormat& pf) {
  using PF = PixelFormat;
  FormatChoice c;
  const bool alpha = (pf.Flags & DDPF_ALPHAPIXELS) != 0;
  if (pf.Flags & DDPF_FOURCC) {
    switch (pf.FourCC) {
      case D3DFMT_A16B16G16R16: c.Format = PF::A16B16G16R16; break;
      case D3DFMT_R16F: c.Format = PF::R16F; break;
      case D3DFMT_A16B16G16R16F: c.Format = PF::A16B16G16R16F; break;
      case D3DFMT_R32F: c.Format = PF::R32F; break;
      case D3DFMT_A32B32G32R32F: c.Format = PF::A32B32G32R32F; break;
      case FOURCC_DXT1: c.Format = PF::DXT1; break;
      case FOURCC_DXT3: c.Format = PF::DXT3; break;
      case FOURCC_DXT5: c.Format = PF::DXT5; break;
      case FOURCC_ATI1: c.Format = PF::ATI1N; break;
      case FOURCC_ATI2: c.Format = PF::ATI2N; break;
      default: break;
    }
  } else if (pf.Flags & DDPF_RGB) {
    if (alpha) {
      if (pf.BitCount == 16) {
        for (PF f : {PF::A4R4G4B4, PF::A1R5G5B5})
          if (MasksMatch(f, pf, true)) c.Format = f;
      } else if (pf.BitCount == 32) {
        c.Format = PF::A8R8G8B8;
        c.SwapRedBlue = pf.BlueMask == 0x00FF0000;
      }
    } else {
      if (pf.BitCount == 8) {
        if (MasksMatch(PF::R3G3B2, pf, false)) c.Format = PF::R3G3B2;
      } else if (pf.BitCount == 16) {
        for (PF f : {PF::X4R4G4B4, PF::X1R5G5B5, PF::R5G6B5})
          if (c.Format == PF::Unknown && MasksMatch(f, pf, false)) c.Format = f;
      } else if (pf.BitCount == 24) {
        c.Format = PF::R8G8B8;
      } else if (pf.BitCount == 32) {
        c.Format = PF::X8R8G8B8;
        c.SwapRedBlue = pf.BlueMask == 0x00FF0000;
      }
    }
  } else if (pf.Flags & DDPF_LUMINANCE) {
    if (alpha) {
      if (pf.BitCount == 16) c.Format = PF::A8Gray8;
    } else if (pf.BitCount == 8) {
      c.Format = PF::Gray8;
    } else if (pf.BitCount == 16) {
      c.Format = PF::Gray16;
    }
  } else if (pf.Flags & DDPF_BUMPLUMINANCE) {
    if (pf.BitCount == 32 && pf.BlueMask == 0x00FF0000) {
      c.Format = PF::X8R8G8B8;
      c.SwapRedBlue = true;
    }
  } else if (pf.Flags & DDPF_BUMPDUDV) {
    if (pf.BitCount == 16) {
      c.Format = PF::A8Gray8;
    } else if (pf.BitCount == 32 && pf.AlphaMask == 0xFF000000) {
      c.Format = PF::A8R8G8B8;
      c.SwapRedBlue = true;
    } else if (pf.BitCount == 64) {
      c.Format = PF::A16B16G16R16;
    }
  }
  return c;
}

uint32_t LevelSize(uint32_t size, uint32_t level) { return level >= 32 ? 1 : std::max<uint32_t>(1, size >> level); }

// Slices of a volume over all levels: the full depth, then max(1, depth >> level) per level.
int64_t VolumeSliceCount(uint32_t depth, uint32_t levels) {
  int64_t count = depth;
  for (uint32_t l = 1; l < levels; ++l) count += LevelSize(depth, l);
  return count;
}

// Levels from the given size down to 1 × 1.
uint32_t FullChainLength(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  while (width > 1 || height > 1) {
    width = std::max<uint32_t>(1, width / 2);
    height = std::max<uint32_t>(1, height / 2);
    ++levels;
  }
  return levels;
}

struct Surface {
  uint32_t Width, Height;
};

// The surfaces of a texture in file order: cube maps face by face with their levels, volumes
// level by level with their slices.
std::vector<Surface> ListSurfaces(uint32_t width, uint32_t height, uint32_t levels, uint32_t faces, bool volume,
                                   uint32_t depth) {
  std::vector<Surface> surfaces;
  if (volume) {
    for (uint32_t l = 0; l < levels; ++l) {
      const uint32_t slices = l == 0 ? depth : LevelSize(depth, l);
      surfaces.insert(surfaces.end(), slices, Surface{LevelSize(width, l), LevelSize(height, l)});
    }
  } else {
    for (uint32_t f = 0; f < faces; ++f)
      for (uint32_t l = 0; l < levels; ++l) surfaces.push_back({LevelSize(width, l), LevelSize(height, l)});
  }
  return surfaces;
}

// Replaces a block-compressed surface by its decoded pixels at the surface's stated size.
void CutBlockPadding(Image& image, const Surface& surface) {
  Image decoded;
  DecodeCompressedImage(image, int32_t(surface.Width), int32_t(surface.Height), decoded);
  image = std::move(decoded);
}

// Exchanges the bytes 0 and 2 of every four-byte pixel.
void SwapRedBlue32(Image& image) {
  uint8_t* p = image.Bits();
  for (int64_t i = 0; i < int64_t(image.Size()) / 4; ++i, p += 4) std::swap(p[0], p[2]);
}

// The mipmap levels, cube faces or volume slices a header declares.
struct DdsTexture {
  uint32_t Levels = 1;
  uint32_t Faces = 1;
  bool Volume = false;
};

// Reads the texture's shape from the header and reports it in the load's facts.
DdsTexture ReadTextureShape(const DdsFileHeader& header, LoadFacts::DdsShape& found) {
  DdsTexture texture;
  if (header.MipMapCount > 1) {
    if (header.MipMapCount > kMaxMipMapLevels)
      RaiseImaging("DDS: a mipmap count of %u is not possible.", header.MipMapCount);
    texture.Levels = header.MipMapCount;
    found.mipMapCount = int32_t(texture.Levels);
  }
  texture.Volume = (header.Caps2 & DDSCAPS2_VOLUME) && (header.Flags & DDSD_DEPTH);
  if (texture.Volume) {
    found.volume = true;
    found.depth = int32_t(std::min<uint32_t>(header.Depth, INT32_MAX));
    if (header.Depth == 0) RaiseImaging("DDS: the volume texture has a depth of 0.");
  } else if (header.Caps2 & DDSCAPS2_CUBEMAP) {
    found.cubeMap = true;
    texture.Faces = uint32_t(std::popcount(header.Caps2 & DDSCAPS2_CUBEMAP_ALLFACES));
    found.depth = int32_t(texture.Faces);
    if (texture.Faces == 0) RaiseImaging("DDS: the cube map has no faces.");
  }
  return texture;
}

// The header, checked as far as it tells: the magic, the pixel format (choice.Format Unknown
// for one this codec does not read, which ends the parse), the size and the texture's shape;
// and the format of the first picture a load gives.
struct DdsPicture {
  DdsFileHeader header;
  FormatChoice choice;
  DdsTexture texture;
  LoadFacts::DdsShape shape{false, false, 1, 1};
  PixelFormat firstFormat = PixelFormat::Unknown;
};

DdsPicture ParsePicture(Stream& stream) {
  uint8_t raw[kHeaderSize];
  stream.ReadExact(raw, kHeaderSize, "DDS header");
  DdsPicture picture;
  picture.header = ParseHeader(raw);
  const DdsFileHeader& header = picture.header;
  if (header.Magic != kMagic) RaiseImaging("DDS: the file does not start with \"DDS \".");
  picture.choice = ChooseFormat(header.PixelFormat);
  if (picture.choice.Format == PixelFormat::Unknown) return picture;
  CheckImageDimensions(header.Width, header.Height, "DDS file");
  picture.texture = ReadTextureShape(header, picture.shape);
  // Block textures whose sides are no multiples of 4 are decoded at their stated size.
  const PixelFormatInfo& info = *FindFormatInfo(picture.choice.Format);
  const bool cutBlocks = info.IsCompressed && (header.Width % 4 != 0 || header.Height % 4 != 0);
  picture.firstFormat = cutBlocks ? info.DecodedFormat : picture.choice.Format;
  return picture;
}

// How the rows of the surfaces are stored: packed, or the first surface with the header's pitch.
struct DdsRows {
  bool Linear;
  int64_t FirstPitch;  // bytes from one row of the first surface to the next
};

// Every surface's data must be in the file before anything is allocated; the byte count of a
// volume level is computed per level so a huge depth cannot make this loop long.
DdsRows CheckTextureData(Stream& stream, const DdsFileHeader& header, const DdsTexture& texture,
                          PixelFormat format, const PixelFormatInfo& info) {
  const int64_t available = stream.Remaining();
  const bool linear = (header.Flags & DDSD_LINEARSIZE) || !(header.Flags & DDSD_PITCH) || info.IsCompressed;
  const int64_t firstRowBytes = int64_t(header.Width) * info.BytesPerPixel;
  int64_t firstPitch = firstRowBytes;
  if (!linear && header.PitchOrLinearSize != 0) {
    firstPitch = header.PitchOrLinearSize;
    if (firstPitch < firstRowBytes)
      RaiseImaging("DDS: the pitch of %lld bytes is shorter than a row of %lld bytes.",
                   static_cast<long long>(firstPitch), static_cast<long long>(firstRowBytes));
  }
  int64_t required = 0;
  for (uint32_t l = 0; l < texture.Levels; ++l) {
    const int32_t w = int32_t(LevelSize(header.Width, l)), h = int32_t(LevelSize(header.Height, l));
    int64_t perSurface = GetPixelsSize(format, w, h);
    int64_t count =
        texture.Volume ? (l == 0 ? int64_t(header.Depth) : int64_t(LevelSize(header.Depth, l))) : texture.Faces;
    if (l == 0 && !linear) {
      required += firstPitch * h;
      --count;
    }
    if (count > 0 && perSurface > (available - required) / count)
      RaiseImaging("DDS: the texture data is truncated (%lld bytes present).", static_cast<long long>(available));
    required += perSurface * count;
    if (required > available)
      RaiseImaging("DDS: the texture data is truncated (%lld bytes present).", static_cast<long long>(available));
  }
  return {linear, firstPitch};
}

// Reads one surface into its image, dropping the row padding a pitch adds.
void ReadSurface(Stream& stream, const Surface& surface, int64_t pitch, bool linear,
                 int64_t bytesPerPixel, std::vector<uint8_t>& row, Image& image) {
  const int64_t rowBytes = int64_t(surface.Width) * bytesPerPixel;
  if (linear || pitch * surface.Height == image.Size()) {
    stream.ReadExact(image.Bits(), image.Size(), "DDS surface");
    return;
  }
  row.resize(size_t(pitch));
  for (uint32_t y = 0; y < surface.Height; ++y) {
    stream.ReadExact(row.data(), pitch, "DDS surface row");
    std::memcpy(image.Bits() + int64_t(y) * rowBytes, row.data(), size_t(rowBytes));
  }
}

// How a save lays out its surfaces: a cube map or a volume only when the images to save fill
// one, else a mipmap chain as long as the images and the size allow.
struct DdsSaveShape {
  bool Cube;
  bool Volume;
  uint32_t Depth;   // faces of a cube map, slices of a volume
  uint32_t Levels;
};

DdsSaveShape ChooseSaveShape(const DdsOptions& options, int64_t inRange, uint32_t width, uint32_t height) {
  bool cube = options.saveCubeMap, volume = options.saveVolume;
  // A cube map has six faces at most: the face bits of the header end there.
  const uint32_t depth = uint32_t(cube ? std::min(options.saveDepth, 6) : options.saveDepth);
  const uint32_t mipLevels = uint32_t(std::min<int32_t>(options.saveMipMapCount, kMaxMipMapLevels));
  if (cube && inRange < int64_t(depth) * mipLevels) cube = false;
  if (volume && inRange < VolumeSliceCount(depth, mipLevels)) volume = false;
  uint32_t levels;
  if (cube || volume)
    levels = mipLevels;
  else
    levels = uint32_t(std::min<int64_t>(inRange, FullChainLength(width, height)));
  return {cube, volume, depth, levels};
}

// The pixel format block: a FourCC code for block, float and 16-bit-channel formats, else
// luminance or RGB masks.
DdsPixelFormat DescribePixelFormat(PixelFormat format, const PixelFormatInfo& info) {
  DdsPixelFormat pf{};
  pf.Size = 32;
  if (info.IsCompressed || info.IsFloatingPoint || info.BytesPerPixel > 4) {
    pf.Flags = DDPF_FOURCC;
    switch (format) {
      case PixelFormat::A16B16G16R16: pf.FourCC = D3DFMT_A16B16G16R16; break;
      case PixelFormat::R32F: pf.FourCC = D3DFMT_R32F; break;
      case PixelFormat::A32B32G32R32F: pf.FourCC = D3DFMT_A32B32G32R32F; break;
      case PixelFormat::R16F: pf.FourCC = D3DFMT_R16F; break;
      case PixelFormat::A16B16G16R16F: pf.FourCC = D3DFMT_A16B16G16R16F; break;
      case PixelFormat::DXT1: pf.FourCC = FOURCC_DXT1; break;
      case PixelFormat::DXT3: pf.FourCC = FOURCC_DXT3; break;
      case PixelFormat::DXT5: pf.FourCC = FOURCC_DXT5; break;
      case PixelFormat::ATI1N: pf.FourCC = FOURCC_ATI1; break;
      case PixelFormat::ATI2N: pf.FourCC = FOURCC_ATI2; break;
      default: break;
    }
  } else if (info.HasGrayChannel) {
    pf.Flags = DDPF_LUMINANCE;
    pf.BitCount = uint32_t(info.BytesPerPixel) * 8;
    if (format == PixelFormat::Gray16) {
      pf.RedMask = 0xFFFF;
    } else {
      pf.RedMask = 0xFF;
      if (info.HasAlphaChannel) {
        pf.Flags |= DDPF_ALPHAPIXELS;
        pf.AlphaMask = 0xFF00;
      }
    }
  } else {
    pf.Flags = DDPF_RGB;
    pf.BitCount = uint32_t(info.BytesPerPixel) * 8;
    if (info.HasAlphaChannel) {
      pf.Flags |= DDPF_ALPHAPIXELS;
      pf.AlphaMask = 0xFF000000;
    }
    if (info.BytesPerPixel <= 2 && info.BitFields) {
      pf.RedMask = info.BitFields->RMask;
      pf.GreenMask = info.BitFields->GMask;
      pf.BlueMask = info.BitFields->BMask;
      pf.AlphaMask = info.BitFields->AMask;
    } else {
      pf.RedMask = 0xFF0000;
      pf.GreenMask = 0xFF00;
      pf.BlueMask = 0xFF;
    }
  }
  return pf;
}

// The header of a saved texture; the linear size is that of the main surface.
DdsFileHeader BuildHeader(const Image& first, const PixelFormatInfo& info, const DdsSaveShape& shape) {
  DdsFileHeader h{};
  h.Magic = kMagic;
  h.Size = 124;
  h.Flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_LINEARSIZE;
  h.Height = uint32_t(first.Height());
  h.Width = uint32_t(first.Width());
  h.PitchOrLinearSize = uint32_t(first.Size());
  h.Caps1 = DDSCAPS_TEXTURE;
  if (shape.Levels > 1) {
    h.Flags |= DDSD_MIPMAPCOUNT;
    h.Caps1 |= DDSCAPS_COMPLEX | DDSCAPS_MIPMAP;
    h.MipMapCount = shape.Levels;
  }
  if (shape.Cube) {
    h.Caps1 |= DDSCAPS_COMPLEX;
    h.Caps2 = DDSCAPS2_CUBEMAP;
    for (uint32_t f = 0; f < shape.Depth; ++f) h.Caps2 |= DDSCAPS2_CUBEMAP_POSITIVEX << f;
  } else if (shape.Volume) {
    h.Flags |= DDSD_DEPTH;
    h.Caps1 |= DDSCAPS_COMPLEX;
    h.Caps2 = DDSCAPS2_VOLUME;
    h.Depth = shape.Depth;
  }
  h.PixelFormat = DescribePixelFormat(first.Format(), info);
  return h;
}

// Writes a further surface in the main surface's format and at the size its place in the
// texture gives; other images are converted and resized first.
void WriteSurface(Stream& stream, const Image& source, size_t index, const Surface& surface,
                  const Image& first, const PixelFormatInfo& info) {
  int32_t expectedWidth = int32_t(surface.Width), expectedHeight = int32_t(surface.Height);
  int32_t storedWidth = expectedWidth, storedHeight = expectedHeight;
  info.CheckDimensions(first.Format(), storedWidth, storedHeight);
  if (source.Format() == first.Format() && source.Width() == storedWidth && source.Height() == storedHeight) {
    stream.WriteExact(source.Bits(), source.Size(), "DDS surface");
    return;
  }
  Image copy;
  if (!CopyImage(source, copy) || !ConvertImageFormat(copy, first.Format()))
    RaiseImaging("DDS: surface %u cannot be converted to %s.", unsigned(index), info.Name);
  if (copy.Width() != storedWidth || copy.Height() != storedHeight)
    ResizeImage(copy, expectedWidth, expectedHeight, ResizeFilter::Bilinear);
  if (copy.Format() != first.Format() || copy.Size() != GetPixelsSize(first.Format(), expectedWidth, expectedHeight))
    RaiseImaging("DDS: surface %u cannot be brought to %dx%d.", unsigned(index), expectedWidth, expectedHeight);
  stream.WriteExact(copy.Bits(), copy.Size(), "DDS surface");
}

}  // namespace

DdsCodec::DdsCodec() {
  using PF = PixelFormat;
  Name = "DirectDraw Surface";
  CanLoad = true;
  CanSave = true;
  IsMultiImage = true;
  SupportedFormats = MakeFormatSet({PF::Gray8, PF::A8Gray8, PF::Gray16, PF::R3G3B2, PF::R5G6B5, PF::A1R5G5B5,
                                    PF::A4R4G4B4, PF::X1R5G5B5, PF::X4R4G4B4, PF::R8G8B8, PF::A8R8G8B8,
                                    PF::X8R8G8B8, PF::A16B16G16R16, PF::R32F, PF::A32B32G32R32F, PF::R16F,
                                    PF::A16B16G16R16F, PF::DXT1, PF::DXT3, PF::DXT5, PF::ATI1N, PF::ATI2N});
  AddMasks("*.dds");
  CanReadHeader = true;
}

bool DdsCodec::ProbeStream(Stream& stream) const {
  uint8_t raw[kHeaderSize];
  const int64_t got = stream.Read(raw, kHeaderSize);
  stream.Seek(-got, SeekOrigin::Current);
  if (got != kHeaderSize) return false;
  const DdsFileHeader h = ParseHeader(raw);
  return h.Magic == kMagic && (h.Caps1 & DDSCAPS_TEXTURE) != 0;
}

namespace {

class DdsDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
};

class DdsEncoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;

protected:
  void ValidateOptions() override;
};

}  // namespace

std::unique_ptr<Decoder> DdsCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<DdsDecoder>(options);
}

std::unique_ptr<Encoder> DdsCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<DdsEncoder>(*this, options);
}

void DdsEncoder::ValidateOptions() {
  DdsOptions& dds = Options.dds;
  if (dds.saveCubeMap) dds.saveVolume = false;
  if (dds.saveVolume) dds.saveCubeMap = false;
  if (dds.saveDepth <= 0) dds.saveDepth = 1;
  if (dds.saveMipMapCount <= 0) dds.saveMipMapCount = 1;
}

bool DdsDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  Facts.dds = {false, false, 1, 1};
  const DdsPicture picture = ParsePicture(stream);
  if (picture.choice.Format == PixelFormat::Unknown) return false;
  Facts.dds = picture.shape;
  const DdsFileHeader& header = picture.header;
  const FormatChoice& choice = picture.choice;
  const DdsTexture& texture = picture.texture;
  const PixelFormatInfo& info = *FindFormatInfo(choice.Format);
  const DdsRows rows = CheckTextureData(stream, header, texture, choice.Format, info);

  const std::vector<Surface> surfaces =
      ListSurfaces(header.Width, header.Height, texture.Levels, texture.Faces, texture.Volume, header.Depth);
  // Block formats store whole 4 x 4 blocks. A texture whose main surface is no whole number of
  // blocks is decoded, and every surface cut to the size the file states, so its pictures carry
  // no columns or rows that are not part of them.
  const bool cutBlocks = picture.firstFormat != choice.Format;
  std::vector<uint8_t> row;
  for (size_t s = 0; s < surfaces.size(); ++s) {
    const Surface& surface = surfaces[s];
    Image& image = images.emplace_back();
    if (!CreateImage(int32_t(surface.Width), int32_t(surface.Height), choice.Format, image))
      RaiseImaging("DDS: cannot create a %ux%u surface.", surface.Width, surface.Height);
    // The first surface may carry the header's row padding; all others are tightly packed, as
    // the DDS documentation's pitch rule gives them.
    const int64_t pitch = s == 0 ? rows.FirstPitch : int64_t(surface.Width) * info.BytesPerPixel;
    ReadSurface(stream, surface, pitch, rows.Linear, info.BytesPerPixel, row, image);
    if (choice.SwapRedBlue) SwapRedBlue32(image);
    if (cutBlocks) CutBlockPadding(image, surface);
  }
  return true;
}

bool DdsEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t) {
  const int64_t inRange = int64_t(LastIndex) - FirstIndex + 1;
  PreparedImage prepared;
  if (!PrepareForSave(images[size_t(FirstIndex)], prepared)) return false;
  const Image& first = prepared;
  const PixelFormatInfo& info = *FindFormatInfo(first.Format());
  const uint32_t width = uint32_t(first.Width()), height = uint32_t(first.Height());
  const DdsSaveShape shape = ChooseSaveShape(Options.dds, inRange, width, height);
  const std::vector<Surface> surfaces =
      ListSurfaces(width, height, shape.Levels, shape.Cube ? shape.Depth : 1, shape.Volume, shape.Depth);

  uint8_t raw[kHeaderSize];
  SerializeHeader(BuildHeader(first, info, shape), raw);
  stream.WriteExact(raw, kHeaderSize, "DDS header");
  stream.WriteExact(first.Bits(), first.Size(), "DDS surface");
  for (size_t s = 1; s < surfaces.size(); ++s)
    WriteSurface(stream, images[size_t(FirstIndex) + s], s, surfaces[s], first, info);
  return true;
}

void DdsEncoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  using PF = PixelFormat;
  PF target;
  if (info.IsIndexed || info.IsCompressed)
    target = PF::A8R8G8B8;
  else if (info.Format == PF::A16R16G16B16F)
    target = PF::A16B16G16R16F;
  else if (info.IsFloatingPoint)
    target = PF::A32B32G32R32F;
  else if (info.HasGrayChannel)
    target = info.HasAlphaChannel ? PF::A8Gray8 : (info.BytesPerPixel == 1 ? PF::Gray8 : PF::Gray16);
  else if (info.BytesPerPixel >= 5)
    target = PF::A16B16G16R16;
  else
    target = info.HasAlphaChannel ? PF::A8R8G8B8 : PF::X8R8G8B8;
  ConvertImageFormat(image, target);
}

std::unique_ptr<Codec> CreateDdsCodec() { return std::make_unique<DdsCodec>(); }

// The size of the main surface and the format ReadImages gives it: block formats whose size is
// no whole number of blocks are decoded to their plain format.
ImageHeader DdsCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  const DdsPicture picture = ParsePicture(stream);
  if (picture.choice.Format == PixelFormat::Unknown) RaiseImaging("DDS: the pixel format is not supported.");
  return {int32_t(picture.header.Width), int32_t(picture.header.Height), picture.firstFormat};
}

}  // namespace imaging::formats
