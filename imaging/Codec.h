// Library entry points: the codec base class, the format registry, file-type detection, the
// load and save procedures and the numbered codec options.
#pragma once

#include <bitset>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/ColorProfile.h"
#include "imaging/Image.h"
#include "imaging/PixelFormats.h"
#include "imaging/Stream.h"
#include "imaging/Types.h"

namespace imaging {

using FormatSet = std::bitset<kFormatSetSize>;

// Builds a format set from a list of formats.
FormatSet MakeFormatSet(std::initializer_list<PixelFormat> formats);

// A snapshot of the numbered codec options: the value of every bound option id. A load or save
// works on the snapshot it is given, so the process values (SetOption) may change meanwhile and
// two threads may load and save with different values at once.
class CodecOptions {
public:
  // The value of a bound id, or kInvalidOption for an id that is not bound.
  int32_t Get(int32_t id) const;
  // Stores the value after the library's filtering (as SetOption); false for an unbound id.
  bool Set(int32_t id, int32_t value);
  bool IsBound(int32_t id) const;

  // The ICC colour profile beside the numbered values: in a load's facts the profile the file
  // embeds, in a save's options the profile to embed. A codec embeds it where its file type
  // holds one and the written pixels' colour space matches (ProfileFitsFormat). Null for none.
  const ColorProfile& Profile() const { return profile_; }
  void SetProfile(ColorProfile profile) { profile_ = std::move(profile); }

private:
  friend class OptionBinding;
  std::vector<int32_t> values_;  // indexed by option id
  std::vector<uint8_t> bound_;
  ColorProfile profile_;
};

// The process values of the options, copied; what a run takes at its start.
CodecOptions CurrentOptions();

// Base class of every codec. Codecs set the public fields in their constructor and fill the
// virtual operations; the load and save procedures around them live here.
//
// The codecs in the registry are never changed after start-up. Each load and save through one
// of them runs on a fresh instance of the codec class (its worker), whose option fields are
// filled from the snapshot the call is given and which holds everything the call finds or
// decides (the image range to write, the facts a reader leaves in its fields). A codec object
// built by a caller outside the registry is its own worker (its option fields get the snapshot
// too) and serves one call at a time.
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
  int32_t FirstIndex = 0;
  int32_t LastIndex = 0;

  virtual FormatSet GetSavableFormats() const;
  // Appends the decoded images to the (emptied) vector; with onlyFirst stops after the first.
  virtual bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst);
  // Writes FirstIndex..LastIndex (multi-image codecs) or the image at `index` of `images`.
  virtual bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index);
  // Turns the image into a format the codec can write.
  virtual void ConvertForSave(Image& image, const PixelFormatInfo& info);
  virtual bool CanSaveFormat(const Image& image) const;
  // Recognises the signature; leaves the stream where it started. Runs on the registry's own
  // instance during detection, so it changes nothing in the codec.
  virtual bool ProbeStream(Stream& stream) const;
  // Clamps or replaces out-of-range option fields.
  virtual void ValidateOptions();

  // Loads and saves with the process values of the options (CurrentOptions).
  bool LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst = false) const;
  bool LoadFromStream(Stream& stream, std::vector<Image>& images, bool onlyFirst = false) const;
  bool SaveToFile(const std::string& fileName, std::span<const Image> images, bool onlyFirst = false) const;
  bool SaveToStream(Stream& stream, std::span<const Image> images, bool onlyFirst = false) const;
  // The same with the given option values. A load fills `facts`, when given, with those values
  // and what the reader found (the DDS codec's loaded cube map, volume, depth and levels; the
  // orientation and colour profile of a photo, ImagingLoadedOrientation and Profile()).
  bool LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst,
                    const CodecOptions& options, CodecOptions* facts = nullptr) const;
  bool LoadFromStream(Stream& stream, std::vector<Image>& images, bool onlyFirst, const CodecOptions& options,
                      CodecOptions* facts = nullptr) const;
  bool SaveToFile(const std::string& fileName, std::span<const Image> images, bool onlyFirst,
                  const CodecOptions& options) const;
  bool SaveToStream(Stream& stream, std::span<const Image> images, bool onlyFirst, const CodecOptions& options) const;

  // Clears Extensions and fills Masks and Extensions from a comma-separated mask text.
  void AddMasks(const std::string& masks);
  bool MatchesFileName(const std::string& fileName) const;
  // The default extension (first of Extensions) or empty text.
  std::string DefaultExtension() const;

protected:
  bool PrepareSave(Stream& stream, std::span<const Image> images, int32_t& index);
  // Gives the image the codec writes: the caller's image itself, or a converted copy that
  // `prepared` holds. False when even the converted copy is in a format the codec cannot write.
  bool PrepareForSave(const Image& image, PreparedImage& prepared);
  // Facts every reader may report: the Exif orientation of the first image (1 to 8) and its
  // colour profile. A load starts with 1 and none; a save finds in IccProfile the profile of its
  // options, which SaveProfileFor hands out for the pixels it writes.
  int32_t LoadedOrientation = 1;
  ColorProfile IccProfile;
  // The profile to embed with pixels of `format`, or null.
  ColorProfile SaveProfileFor(PixelFormat format) const;
  // Binds an option field of the codec to an option id. The registry's instance gives the id its
  // start value (RegisterOption: the first binding of an id wins); a worker's field receives the
  // value of the call's snapshot.
  void RegisterCodecOption(int32_t id, int32_t* variable);

private:
  friend class OptionBinding;
  using Factory = std::unique_ptr<Codec> (*)();
  struct OptionField {
    int32_t id;
    int32_t* field;
    bool owned;  // this codec class holds the id (set on the registry's instance)
  };
  // The instance that knows which option ids this class holds: the registry's instance of the
  // same class, or this codec when the class is not registered.
  const Codec& OptionHolder() const;
  // The instance a call works on, with the snapshot in its option fields: a fresh one (kept in
  // `fresh`) for a registry codec, the codec itself for one built outside the registry.
  Codec& PrepareWorker(const CodecOptions& options, std::unique_ptr<Codec>& fresh) const;
  void ReportFacts(const Codec& worker, CodecOptions& facts) const;
  // Loads from `source`; a failed signature test names the file, or the stream when `fileName`
  // is null.
  bool LoadFrom(Stream& source, const std::string* fileName, std::vector<Image>& images, bool onlyFirst,
                const CodecOptions& options, CodecOptions* facts) const;

  Factory factory_ = nullptr;  // set on the registry's instances
  std::vector<OptionField> optionFields_;
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

std::string DetectFileFormat(const std::string& fileName);
std::string DetectStreamFormat(Stream& stream);
bool LoadImageFromFile(const std::string& fileName, Image& image);
bool LoadImageFromStream(Stream& stream, Image& image);
bool SaveImageToStream(const std::string& extension, Stream& stream, const Image& image);
bool SaveImageToStream(const std::string& extension, Stream& stream, const Image& image,
                       const CodecOptions& options);

// ---- Options ---------------------------------------------------------------------------------

inline constexpr int32_t kInvalidOption = static_cast<int32_t>(0x80000001u);

enum : int32_t {
  ImagingJpegQuality = 10,
  ImagingJpegProgressive = 11,
  ImagingBitmapRLE = 12,
  ImagingTargaRLE = 13,
  ImagingDDSLoadedCubeMap = 14,
  ImagingDDSLoadedVolume = 15,
  ImagingDDSLoadedMipMapCount = 16,
  ImagingDDSLoadedDepth = 17,
  ImagingDDSSaveCubeMap = 18,
  ImagingDDSSaveVolume = 19,
  ImagingDDSSaveMipMapCount = 20,
  ImagingDDSSaveDepth = 21,
  ImagingPNGPreFilter = 25,
  ImagingPNGCompressLevel = 26,
  ImagingMNGLossyCompression = 28,
  ImagingMNGLossyAlpha = 29,
  ImagingMNGPreFilter = 30,
  ImagingMNGCompressLevel = 31,
  ImagingMNGQuality = 32,
  ImagingMNGProgressive = 33,
  ImagingJNGLossyAlpha = 40,
  ImagingJNGPreFilter = 41,
  ImagingJNGCompressLevel = 42,
  ImagingJNGQuality = 43,
  ImagingJNGProgressive = 44,
  ImagingPGMSaveBinary = 50,
  ImagingPPMSaveBinary = 51,
  ImagingJpeg2000Quality = 55,
  ImagingGIFLoadAnimated = 56,
  ImagingJpeg2000CodeStreamOnly = 56,  // refused at registration: the GIF codec holds 56
  ImagingJpeg2000LosslessCompression = 57,
  ImagingTiffCompression = 65,
  ImagingPSDSaveAsLayer = 70,
  ImagingWebPQuality = 80,
  ImagingWebPLossless = 81,
  ImagingAVIFQuality = 85,
  ImagingAVIFSpeed = 86,
  ImagingAVIFLossless = 87,
  ImagingHEIFQuality = 90,
  ImagingHEIFLoadedExifOrientation = 91,
  ImagingColorReductionMask = 128,
  ImagingLoadOverrideFormat = 129,
  ImagingSaveOverrideFormat = 130,
  // A load's fact: the Exif orientation of the first image, 1 (as stored) to 8; see
  // imaging/Orientation.h. Readers that know no orientation report 1.
  ImagingLoadedOrientation = 131,
};

// The process values of the options. A variable bound by RegisterOption follows SetOption and
// PopOptions; codec option fields are bound by the codecs themselves (RegisterCodecOption).
bool RegisterOption(int32_t id, int32_t* variable);
bool SetOption(int32_t id, int32_t value);
int32_t GetOption(int32_t id);
bool PushOptions();
bool PopOptions();

// The value in effect on this thread: that of the snapshot of the load or save running on it
// (for the library's own options that conversions read during a save), else the process value.
int32_t OptionInEffect(int32_t id);

// ---- Codec factories, one per registry entry (defined in imaging/formats/) ------------------

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

}  // namespace imaging
