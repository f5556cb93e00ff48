// Library entry points: the codec base class, the format registry, file-type detection, the
// load and save procedures and the numbered codec options.
#pragma once

#include <bitset>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImagingPixelFormats.h"
#include "imaging/ImagingIO.h"
#include "imaging/ImagingTypes.h"

namespace imaging {

using TFormatSet = std::bitset<kFormatSetSize>;

// Builds a format set from a list of formats.
TFormatSet MakeFormatSet(std::initializer_list<PixelFormat> formats);

// Base class of every codec. Codecs set the public fields in their constructor and fill the
// virtual operations; the load and save procedures around them live here.
class TImageFileFormat {
public:
  TImageFileFormat();
  virtual ~TImageFileFormat() = default;
  TImageFileFormat(const TImageFileFormat&) = delete;
  TImageFileFormat& operator=(const TImageFileFormat&) = delete;

  std::vector<std::string> Extensions;  // without dot; the first is the default extension
  std::vector<std::string> Masks;       // such as "*.bmp"
  std::string Name;
  bool CanLoad = false;
  bool CanSave = false;
  bool IsMultiImage = false;
  TFormatSet SupportedFormats;
  int32_t FirstIndex = 0;
  int32_t LastIndex = 0;

  virtual TFormatSet GetSavableFormats() const;
  // Appends the decoded images to the (emptied) array; with onlyFirst stops after the first.
  virtual bool ReadImages(const TImagingHandle& handle, TDynImageDataArray& images, bool onlyFirst);
  // Writes FirstIndex..LastIndex (multi-image codecs) or the image at `index`.
  virtual bool WriteImage(const TImagingHandle& handle, TDynImageDataArray& images, int32_t index);
  // Turns the image into a format the codec can write.
  virtual void ConvertForSave(ImageData& image, const PixelFormatInfo& info);
  virtual bool CanSaveFormat(const ImageData& image) const;
  // Recognises the signature; leaves the handle where it started.
  virtual bool ProbeStream(const TImagingHandle& handle);
  // Clamps or replaces out-of-range option fields.
  virtual void ValidateOptions();

  bool LoadFromFile(const std::string& fileName, TDynImageDataArray& images, bool onlyFirst = false);
  bool LoadFromStream(TStream& stream, TDynImageDataArray& images, bool onlyFirst = false);
  bool SaveToFile(const std::string& fileName, TDynImageDataArray& images, bool onlyFirst = false);
  bool SaveToStream(TStream& stream, TDynImageDataArray& images, bool onlyFirst = false);

  // Clears Extensions and fills Masks and Extensions from a comma-separated mask text.
  void AddMasks(const std::string& masks);
  bool MatchesFileName(const std::string& fileName) const;
  // The default extension (first of Extensions) or empty text.
  std::string DefaultExtension() const;

protected:
  bool PrepareSave(const TImagingHandle& handle, TDynImageDataArray& images, int32_t& index);
  // Gives an image the codec can write: the image itself (sharing its buffers) or a converted
  // copy, in which case mustFree is set and the caller releases `compatible`.
  bool PrepareForSave(const ImageData& image, ImageData& compatible, bool& mustFree);
  // Binds an option field of the codec to an option id (RegisterOption).
  void RegisterCodecOption(int32_t id, int32_t* variable);

private:
  bool SaveImagesTo(const TIOFunctions& io, const void* name, TDynImageDataArray& images, bool onlyFirst,
                    const std::string& fileName);
};

// ---- Registry --------------------------------------------------------------------------------

// The registered codecs in registry order. Built on first use, never changed afterwards.
const std::vector<std::unique_ptr<TImageFileFormat>>& FileFormatRegistry();
int32_t FileFormatCount();
TImageFileFormat* FileFormatAt(int32_t index);
TImageFileFormat* FindFormatByExtension(const std::string& extension);
TImageFileFormat* FindFormatByFileName(const std::string& fileName);
template <typename T>
T* FindFormatByClass() {
  for (const auto& f : FileFormatRegistry())
    if (auto* p = dynamic_cast<T*>(f.get())) return p;
  return nullptr;
}

// Wildcard match of the file-name part of a path against a mask ("*", "?"), ignoring case.
bool MatchesMask(const std::string& fileName, const std::string& mask);

// ---- Detection and one-image convenience functions ----------------------------------------

std::string DetectFileFormat(const std::string& fileName);
std::string DetectStreamFormat(TStream& stream);
bool LoadImageFromFile(const std::string& fileName, ImageData& image);
bool LoadImageFromStream(TStream& stream, ImageData& image);
bool SaveImageToStream(const std::string& extension, TStream& stream, const ImageData& image);

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
  ImagingColorReductionMask = 128,
  ImagingLoadOverrideFormat = 129,
  ImagingSaveOverrideFormat = 130,
};

bool RegisterOption(int32_t id, int32_t* variable);
bool SetOption(int32_t id, int32_t value);
int32_t GetOption(int32_t id);
bool PushOptions();
bool PopOptions();

// ---- Codec factories, one per registry entry (defined in imaging/formats/) ------------------

std::unique_ptr<TImageFileFormat> CreateBitmapFileFormat();
std::unique_ptr<TImageFileFormat> CreateJpegFileFormat();
std::unique_ptr<TImageFileFormat> CreatePNGFileFormat();
std::unique_ptr<TImageFileFormat> CreateMNGFileFormat();
std::unique_ptr<TImageFileFormat> CreateJNGFileFormat();
std::unique_ptr<TImageFileFormat> CreateGIFFileFormat();
std::unique_ptr<TImageFileFormat> CreateDDSFileFormat();
std::unique_ptr<TImageFileFormat> CreateTargaFileFormat();
std::unique_ptr<TImageFileFormat> CreatePBMFileFormat();
std::unique_ptr<TImageFileFormat> CreatePGMFileFormat();
std::unique_ptr<TImageFileFormat> CreatePPMFileFormat();
std::unique_ptr<TImageFileFormat> CreatePAMFileFormat();
std::unique_ptr<TImageFileFormat> CreatePFMFileFormat();
std::unique_ptr<TImageFileFormat> CreateJpeg2000FileFormat();
std::unique_ptr<TImageFileFormat> CreateTiffFileFormat();
std::unique_ptr<TImageFileFormat> CreatePSDFileFormat();
std::unique_ptr<TImageFileFormat> CreatePCXFileFormat();
std::unique_ptr<TImageFileFormat> CreateXPMFileFormat();

}  // namespace imaging
