// Library entry points: the codec base class, the format registry, file-type detection and the
// load and save procedures.
#pragma once

#include <bitset>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/Image.h"
#include "imaging/Options.h"
#include "imaging/PixelFormats.h"
#include "imaging/Stream.h"
#include "imaging/Types.h"

namespace imaging {

using FormatSet = std::bitset<kFormatSetSize>;

// Builds a format set from a list of formats.
FormatSet MakeFormatSet(std::initializer_list<PixelFormat> formats);

// What a load found beside the pixels. A load starts from these values; each reader fills what
// its file type holds.
struct LoadFacts {
  // The Exif orientation of the first image, 1 (as stored) to 8; see imaging/Orientation.h.
  // Readers that know no orientation report 1.
  int32_t orientation = 1;
  // The ICC colour profile the file embeds, as found; null for none.
  ColorProfile profile;
  // The shape of a DirectDraw surface: a cube map, a volume texture, its mipmap levels and its
  // depth (slices of a volume, faces of a cube map).
  struct DdsShape {
    bool cubeMap = false;
    bool volume = false;
    int32_t mipMapCount = 0;
    int32_t depth = 0;
  } dds;
  // Tag 274 of a HEIF file's Exif block, 1 to 8; 0 when there is none. It describes the stored
  // pixels, which libheif has already turned, so it is for information only.
  int32_t heifExifOrientation = 0;
  // Of an animation loaded whole: how its frames play (imaging/Image.h). Empty for a still
  // picture, for pages, and for a load of the first frame only.
  Animation animation;
};

class Codec;

// The state of one load: the options it was given and what it found. A codec's description
// creates one for every load (Codec::CreateDecoder); it lives only as long as that load.
class Decoder {
public:
  explicit Decoder(const CodecOptions& options) : Options(options) {}
  virtual ~Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Appends the decoded images to the (emptied) vector; with onlyFirst stops after the first
  // (first frame, first page, main image without mipmaps). False or an error on bad data.
  virtual bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) = 0;
  // What the load found; the values of an empty LoadFacts until the reader fills them.
  const LoadFacts& Found() const { return Facts; }

protected:
  const CodecOptions& Options;
  LoadFacts Facts;
};

// The state of one save: its options (clamped by ValidateOptions) and the range of images it
// writes. A codec's description creates one for every save (Codec::CreateEncoder).
class Encoder {
public:
  Encoder(const Codec& description, const CodecOptions& options) : Description(description), Options(options) {}
  virtual ~Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Writes FirstIndex..LastIndex (codecs of several images) or the image at `index`.
  virtual bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) = 0;
  // The formats WriteImage takes without conversion; the description's SupportedFormats.
  virtual FormatSet GetSavableFormats() const;
  // Turns the image into a format the codec can write.
  virtual void ConvertForSave(Image& image, const PixelFormatInfo& info);
  bool CanSaveFormat(const Image& image) const;
  // Runs before every WriteImage: clamps the options and chooses the range of images to write
  // (FirstIndex, LastIndex); false when an image of the range is not valid.
  bool PrepareSave(std::span<const Image> images, int32_t& index);

  int32_t FirstIndex = 0;
  int32_t LastIndex = 0;

protected:
  // Clamps or replaces out-of-range values of the codec's options.
  virtual void ValidateOptions() {}
  // Gives the image the codec writes: the caller's image itself, or a converted copy that
  // `prepared` holds (the save override format first, when one is set). False when even the
  // converted copy is in a format the codec cannot write.
  bool PrepareForSave(const Image& image, PreparedImage& prepared);
  // The profile of the options to embed with pixels of `format`, or null.
  ColorProfile SaveProfileFor(PixelFormat format) const;

  const Codec& Description;
  CodecOptions Options;
};

// The description of a codec: what the registry holds for a file type. Codecs set the public
// fields in their constructor; a description never changes afterwards and is shared by all
// threads. Each load and save creates a decoder or encoder of its own for the call, which holds
// everything the call is given, finds or decides; the load and save procedures around them
// live here.
class Codec {
public:
  Codec();
  virtual ~Codec() = default;
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  std::vector<std::string> Extensions;  // without dot; the first is the default extension
  std::vector<std::string> Masks;       // such as "*.bmp"
  std::string Name;
  bool CanLoad = false;
  bool CanSave = false;
  bool IsMultiImage = false;
  FormatSet SupportedFormats;
  // ReadHeader answers without decoding pixels; false for codecs whose files must be decoded
  // to know their size (XPM).
  bool CanReadHeader = false;

  // Recognises the signature; leaves the stream where it started.
  virtual bool ProbeStream(Stream& stream) const;
  // The size, format and orientation of the image a load would give first, from the file's
  // header at the stream's position; raises ImagingError for a header the codec cannot use.
  // The base raises "does not support reading headers".
  virtual ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const;
  // The decoder of one load. The base raises "does not support loading images".
  virtual std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const;
  // The encoder of one save. The base raises "does not support saving images".
  virtual std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const;

  // Loads and saves with the process values of the options (CurrentOptions).
  bool LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst = false) const;
  bool LoadFromStream(Stream& stream, std::vector<Image>& images, bool onlyFirst = false) const;
  bool SaveToFile(const std::string& fileName, std::span<const Image> images, bool onlyFirst = false) const;
  bool SaveToStream(Stream& stream, std::span<const Image> images, bool onlyFirst = false) const;
  // The same with the given option values. A load fills `facts`, when given, with what the
  // reader found (the orientation and colour profile of a photo, the DDS texture's shape, ...).
  bool LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst,
                    const CodecOptions& options, LoadFacts* facts = nullptr) const;
  bool LoadFromStream(Stream& stream, std::vector<Image>& images, bool onlyFirst, const CodecOptions& options,
                      LoadFacts* facts = nullptr) const;
  bool SaveToFile(const std::string& fileName, std::span<const Image> images, bool onlyFirst,
                  const CodecOptions& options) const;
  bool SaveToStream(Stream& stream, std::span<const Image> images, bool onlyFirst, const CodecOptions& options) const;

  // Clears Extensions and fills Masks and Extensions from a comma-separated mask text.
  void AddMasks(const std::string& masks);
  bool MatchesFileName(const std::string& fileName) const;
  // The default extension (first of Extensions) or empty text.
  std::string DefaultExtension() const;

private:
  // Loads from `source`; a failed signature test names the file, or the stream when `fileName`
  // is null.
  bool LoadFrom(Stream& source, const std::string* fileName, std::vector<Image>& images, bool onlyFirst,
                const CodecOptions& options, LoadFacts* facts) const;
};

// ---- Registry --------------------------------------------------------------------------------

// The registered codecs in registry order. Built on first use (safe from any thread), never
// changed afterwards.
const std::vector<std::unique_ptr<const Codec>>& FileFormatRegistry();
int32_t FileFormatCount();
const Codec* FileFormatAt(int32_t index);
const Codec* FindFormatByExtension(const std::string& extension);
const Codec* FindFormatByFileName(const std::string& fileName);
template <typename T>
const T* FindFormatByClass() {
  for (const auto& f : FileFormatRegistry())
    if (auto* p = dynamic_cast<const T*>(f.get())) return p;
  return nullptr;
}

// Wildcard match of the file-name part of a path against a mask ("*", "?"), ignoring case.
bool MatchesMask(const std::string& fileName, const std::string& mask);

// ---- Detection and one-image convenience functions ----------------------------------------

// The default extension of the codec that recognises the content, or "" for none. The codecs
// whose masks match `fileName` (when given) are asked first. The stream is left where it was.
std::string DetectFileFormat(const std::string& fileName);
std::string DetectStreamFormat(Stream& stream, const std::string& fileName = std::string());
bool LoadImageFromFile(const std::string& fileName, Image& image);
bool LoadImageFromStream(Stream& stream, Image& image);
bool SaveImageToStream(const std::string& extension, Stream& stream, const Image& image);
bool SaveImageToStream(const std::string& extension, Stream& stream, const Image& image,
                       const CodecOptions& options);

// ---- Codec factories, one per registry entry (defined in imaging/formats/) ------------------

namespace formats {

std::unique_ptr<Codec> CreateBitmapCodec();
std::unique_ptr<Codec> CreateJpegCodec();
std::unique_ptr<Codec> CreatePngCodec();
std::unique_ptr<Codec> CreateMngCodec();
std::unique_ptr<Codec> CreateJngCodec();
std::unique_ptr<Codec> CreateGifCodec();
std::unique_ptr<Codec> CreateDdsCodec();
std::unique_ptr<Codec> CreateTargaCodec();
std::unique_ptr<Codec> CreatePbmCodec();
std::unique_ptr<Codec> CreatePgmCodec();
std::unique_ptr<Codec> CreatePpmCodec();
std::unique_ptr<Codec> CreatePamCodec();
std::unique_ptr<Codec> CreatePfmCodec();
std::unique_ptr<Codec> CreateJpeg2000Codec();
std::unique_ptr<Codec> CreateTiffCodec();
std::unique_ptr<Codec> CreatePsdCodec();
std::unique_ptr<Codec> CreatePcxCodec();
std::unique_ptr<Codec> CreateXpmCodec();
std::unique_ptr<Codec> CreateWebPCodec();
std::unique_ptr<Codec> CreateAvifCodec();
std::unique_ptr<Codec> CreateHeifCodec();
std::unique_ptr<Codec> CreateJxlCodec();

}  // namespace formats

}  // namespace imaging
