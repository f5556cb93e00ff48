#include "imaging/Imaging.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>

namespace imaging {

namespace {

// ---- Option table ------------------------------------------------------------------------------

constexpr size_t kInitialOptionSlots = 256;
constexpr int kOptionStackDepth = 8;

// Option values bound to the library itself.
int32_t gColorReductionMask = 255;
int32_t gLoadOverrideFormat = 0;
int32_t gSaveOverrideFormat = 0;

struct OptionTable {
  std::mutex lock;
  std::vector<int32_t*> slots;  // indexed by option id; null for an unbound id
  std::vector<int32_t> stack[kOptionStackDepth];
  int position = -1;  // the highest saved level, -1 for none
};

OptionTable& Options() {
  static OptionTable table;
  return table;
}

// Set on the thread that builds the registry, whose codec constructors register their options;
// everywhere else the registry is built first so that its codecs get their ids before anyone.
thread_local bool tBuildingRegistry = false;

void EnsureRegistry() {
  if (!tBuildingRegistry) FileFormatRegistry();
}

using TRegistry = std::vector<std::unique_ptr<TImageFileFormat>>;

TRegistry BuildRegistry() {
  using Factory = std::unique_ptr<TImageFileFormat> (*)();
  // Registry order is search order.
  static constexpr Factory kFactories[] = {
      CreateBitmapFileFormat, CreateJpegFileFormat,    CreatePNGFileFormat,  CreateMNGFileFormat,
      CreateJNGFileFormat,    CreateGIFFileFormat,     CreateDDSFileFormat,  CreateTargaFileFormat,
      CreatePBMFileFormat,    CreatePGMFileFormat,     CreatePPMFileFormat,  CreatePAMFileFormat,
      CreatePFMFileFormat,    CreateJpeg2000FileFormat, CreateTiffFileFormat, CreatePSDFileFormat,
      CreatePCXFileFormat,    CreateXPMFileFormat,
  };
  tBuildingRegistry = true;
  TRegistry registry;
  try {
    for (Factory factory : kFactories)
      if (std::unique_ptr<TImageFileFormat> codec = factory()) registry.push_back(std::move(codec));
    RegisterOption(ImagingColorReductionMask, &gColorReductionMask);
    RegisterOption(ImagingLoadOverrideFormat, &gLoadOverrideFormat);
    RegisterOption(ImagingSaveOverrideFormat, &gSaveOverrideFormat);
  } catch (...) {
    // The codecs built so far are gone with `registry`; their option bindings must go too.
    tBuildingRegistry = false;
    OptionTable& options = Options();
    std::lock_guard<std::mutex> guard(options.lock);
    options.slots.clear();
    throw;
  }
  tBuildingRegistry = false;
  return registry;
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string NamePart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name of the i-th file when a one-image codec saves several images: "out.png" gives
// "out000.png", "out001.png" and so on.
std::string IndexedFileName(const std::string& fileName, size_t index) {
  const size_t slash = fileName.rfind('/');
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = fileName.size();
  char number[24];
  std::snprintf(number, sizeof number, "%03zu", index);
  return fileName.substr(0, dot) + number + fileName.substr(dot);
}

// Keeps a caller's image in a one-image array for a save without handing over its buffers.
class BorrowedImage {
public:
  explicit BorrowedImage(const ImageData& image) { images_.AddEmpty() = image; }
  ~BorrowedImage() {
    while (!images_.empty()) images_.Detach(images_.size() - 1);
  }
  BorrowedImage(const BorrowedImage&) = delete;
  BorrowedImage& operator=(const BorrowedImage&) = delete;
  TDynImageDataArray& Images() { return images_; }

private:
  TDynImageDataArray images_;
};

}  // namespace

TFormatSet MakeFormatSet(std::initializer_list<PixelFormat> formats) {
  TFormatSet set;
  for (PixelFormat format : formats) {
    const int32_t value = static_cast<int32_t>(format);
    if (value >= 0 && value < kFormatSetSize) set.set(static_cast<size_t>(value));
  }
  return set;
}

// ---- TImageFileFormat: base behaviour ----------------------------------------------------------

TImageFileFormat::TImageFileFormat() : Name("Unknown and unsupported format") {}

TFormatSet TImageFileFormat::GetSavableFormats() const { return SupportedFormats; }

bool TImageFileFormat::ReadImages(const TImagingHandle&, TDynImageDataArray&, bool) {
  RaiseImaging("Image Format \"%s\" does not support loading images.", Name.c_str());
}

bool TImageFileFormat::WriteImage(const TImagingHandle&, TDynImageDataArray&, int32_t) {
  RaiseImaging("Image Format \"%s\" does not support saving images.", Name.c_str());
}

void TImageFileFormat::ConvertForSave(ImageData&, const PixelFormatInfo&) {}

bool TImageFileFormat::CanSaveFormat(const ImageData& image) const {
  const int32_t value = static_cast<int32_t>(image.Format);
  if (value < 0 || value >= kFormatSetSize) return false;
  return GetSavableFormats().test(static_cast<size_t>(value));
}

bool TImageFileFormat::ProbeStream(const TImagingHandle&) { return false; }

void TImageFileFormat::ValidateOptions() {}

void TImageFileFormat::RegisterCodecOption(int32_t id, int32_t* variable) { RegisterOption(id, variable); }

void TImageFileFormat::AddMasks(const std::string& masks) {
  Extensions.clear();
  Masks.clear();
  size_t start = 0;
  while (start <= masks.size()) {
    size_t comma = masks.find(',', start);
    if (comma == std::string::npos) comma = masks.size();
    const std::string mask = Trim(masks.substr(start, comma - start));
    Masks.push_back(mask);
    const size_t dot = mask.rfind('.');
    if (dot != std::string::npos) {
      const std::string extension = mask.substr(dot + 1);
      if (!extension.empty() && extension != "*") Extensions.push_back(extension);
    }
    start = comma + 1;
  }
}

bool TImageFileFormat::MatchesFileName(const std::string& fileName) const {
  for (const std::string& mask : Masks)
    if (MatchesMask(fileName, mask)) return true;
  return false;
}

std::string TImageFileFormat::DefaultExtension() const { return Extensions.empty() ? std::string() : Extensions[0]; }

// ---- Loading -----------------------------------------------------------------------------------

namespace {

// Steps after a codec read its images: a failed read leaves nothing behind; a good one is
// converted to the override format when one is set.
bool FinishLoad(bool ok, TDynImageDataArray& images) {
  if (!ok) {
    images.Clear();
    return false;
  }
  if (images.empty() || !AreImagesValid(images)) return false;
  if (gLoadOverrideFormat != 0)
    for (ImageData& image : images) ConvertImageFormat(image, static_cast<PixelFormat>(gLoadOverrideFormat));
  return true;
}

}  // namespace

bool TImageFileFormat::LoadFromFile(const std::string& fileName, TDynImageDataArray& images, bool onlyFirst) {
  if (!CanLoad) return false;
  try {
    SetCurrentImageIO(FileIO);
    TScopedHandle file(FileIO, fileName.c_str(), false);
    if (!ProbeStream(file.Handle()))
      RaiseImaging("File \"%s\" is not valid image in \"%s\" format.", fileName.c_str(), Name.c_str());
    images.Clear();
    if (!file.IsOpen()) return false;
    const bool ok = ReadImages(file.Handle(), images, onlyFirst);
    file.Close();
    return FinishLoad(ok, images);
  } catch (...) {
    try {
      images.Clear();
    } catch (...) {
    }
    RaiseImaging("Error while loading images from file \"%s\" (file format: %s).", fileName.c_str(),
                 DefaultExtension().c_str());
  }
}

bool TImageFileFormat::LoadFromStream(TStream& stream, TDynImageDataArray& images, bool onlyFirst) {
  if (!CanLoad) return false;
  int64_t start = 0;
  try {
    start = stream.Position();
    SetCurrentImageIO(StreamIO);
    TScopedHandle handle(StreamIO, &stream, false);
    if (!ProbeStream(handle.Handle()))
      RaiseImaging("Stream %p does not contain valid image in \"%s\" format.", static_cast<void*>(&stream),
                   Name.c_str());
    images.Clear();
    if (!handle.IsOpen()) return false;
    const bool ok = ReadImages(handle.Handle(), images, onlyFirst);
    handle.Close();
    return FinishLoad(ok, images);
  } catch (...) {
    try {
      images.Clear();
      stream.Seek(start, smFromBeginning);
    } catch (...) {
    }
    RaiseImaging("Error while loading images from stream %p (file format: %s).", static_cast<void*>(&stream),
                 DefaultExtension().c_str());
  }
}


// ---- Saving ------------------------------------------------------------------------------------

bool TImageFileFormat::SaveToFile(const std::string& fileName, TDynImageDataArray& images, bool onlyFirst) {
  if (!CanSave || images.empty() || !AreImagesValid(images)) return false;
  try {
    SetCurrentImageIO(FileIO);
    if (IsMultiImage || onlyFirst || images.size() == 1) {
      TScopedHandle file(FileIO, fileName.c_str(), true);
      int32_t index = onlyFirst ? 0 : -1;
      const bool result = PrepareSave(file.Handle(), images, index) && WriteImage(file.Handle(), images, index);
      // A save that reports failure keeps whatever file was there before.
      if (result) file.Close();
      else file.Abandon();
      return result;
    }
    for (size_t i = 0; i < images.size(); ++i) {
      const std::string name = IndexedFileName(fileName, i);
      TScopedHandle file(FileIO, name.c_str(), true);
      int32_t index = static_cast<int32_t>(i);
      if (!(PrepareSave(file.Handle(), images, index) && WriteImage(file.Handle(), images, index))) {
        file.Abandon();
        return false;
      }
      file.Close();
    }
    return true;
  } catch (...) {
    RaiseImaging("Error while saving images to file \"%s\" (file format: %s).", fileName.c_str(),
                 DefaultExtension().c_str());
  }
}

bool TImageFileFormat::SaveToStream(TStream& stream, TDynImageDataArray& images, bool onlyFirst) {
  if (!CanSave || images.empty() || !AreImagesValid(images)) return false;
  try {
    SetCurrentImageIO(StreamIO);
    TScopedHandle handle(StreamIO, &stream, true);
    if (IsMultiImage || onlyFirst || images.size() == 1) {
      int32_t index = onlyFirst ? 0 : -1;
      return PrepareSave(handle.Handle(), images, index) && WriteImage(handle.Handle(), images, index);
    }
    for (size_t i = 0; i < images.size(); ++i) {
      int32_t index = static_cast<int32_t>(i);
      if (!(PrepareSave(handle.Handle(), images, index) && WriteImage(handle.Handle(), images, index)))
        return false;
    }
    return true;
  } catch (...) {
    RaiseImaging("Error while saving images to stream %p (file format: %s).", static_cast<void*>(&stream),
                 DefaultExtension().c_str());
  }
}

bool TImageFileFormat::PrepareSave(const TImagingHandle&, TDynImageDataArray& images, int32_t& index) {
  ValidateOptions();
  if (!CanSave) return false;
  if (images.empty()) RaiseImaging("Assertion failed: PrepareSave needs at least one image");
  const int32_t count = static_cast<int32_t>(images.size());
  if (IsMultiImage) {
    if (index >= count) index = 0;
    if (index < 0) {
      FirstIndex = 0;
      LastIndex = count - 1;
      index = 0;
    } else {
      FirstIndex = LastIndex = index;
    }
    for (int32_t i = FirstIndex; i <= LastIndex; ++i)
      if (!IsImageValid(images[static_cast<size_t>(i)])) return false;
    return true;
  }
  if (index < 0 || index >= count) index = 0;
  return IsImageValid(images[static_cast<size_t>(index)]);
}

bool TImageFileFormat::PrepareForSave(const ImageData& image, ImageData& compatible, bool& mustFree) {
  ResetImage(compatible);
  mustFree = false;
  bool result;
  try {
    if (gSaveOverrideFormat != 0) {
      CopyImage(image, compatible);
      ConvertImageFormat(compatible, static_cast<PixelFormat>(gSaveOverrideFormat));
      result = CanSaveFormat(compatible);
      if (!result) {
        ConvertForSave(compatible, *FindFormatInfo(compatible.Format));
        result = CanSaveFormat(compatible);
      }
    } else if (CanSaveFormat(image)) {
      compatible = image;
      result = true;
    } else {
      CopyImage(image, compatible);
      ConvertForSave(compatible, *FindFormatInfo(compatible.Format));
      result = CanSaveFormat(compatible);
    }
  } catch (...) {
    if (compatible.Bits != image.Bits) ReleaseImage(compatible);
    ResetImage(compatible);
    throw;
  }
  mustFree = image.Bits != compatible.Bits;
  return result;
}

// ---- Registry ----------------------------------------------------------------------------------

const std::vector<std::unique_ptr<TImageFileFormat>>& FileFormatRegistry() {
  static const TRegistry registry = BuildRegistry();
  return registry;
}

int32_t FileFormatCount() { return static_cast<int32_t>(FileFormatRegistry().size()); }

TImageFileFormat* FileFormatAt(int32_t index) {
  const auto& registry = FileFormatRegistry();
  if (index < 0 || static_cast<size_t>(index) >= registry.size()) return nullptr;
  return registry[static_cast<size_t>(index)].get();
}

TImageFileFormat* FindFormatByExtension(const std::string& extension) {
  for (const auto& codec : FileFormatRegistry())
    for (const std::string& candidate : codec->Extensions)
      if (EqualsIgnoringCase(candidate, extension)) return codec.get();
  return nullptr;
}

TImageFileFormat* FindFormatByFileName(const std::string& fileName) {
  for (const auto& codec : FileFormatRegistry())
    if (codec->MatchesFileName(fileName)) return codec.get();
  return nullptr;
}

bool MatchesMask(const std::string& fileName, const std::string& mask) {
  if (mask.empty()) return true;
  const std::string name = NamePart(fileName);
  // Iterative wildcard match: on a mismatch, let the last "*" take one more character.
  size_t n = 0, m = 0;
  size_t starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// ---- Detection and one-image convenience functions ----------------------------------------------

namespace {

// Asks the codecs in registry order; with a file name, first only those whose masks match it.
std::string Detect(const TImagingHandle& handle, const std::string* fileName) {
  const int64_t start = handle.Tell();
  const auto& registry = FileFormatRegistry();
  if (fileName) {
    for (const auto& codec : registry) {
      if (!codec->MatchesFileName(*fileName)) continue;
      handle.Seek(start, smFromBeginning);
      if (codec->ProbeStream(handle)) return codec->DefaultExtension();
    }
  }
  for (const auto& codec : registry) {
    handle.Seek(start, smFromBeginning);
    if (codec->ProbeStream(handle)) return codec->DefaultExtension();
  }
  return std::string();
}

}  // namespace

std::string DetectFileFormat(const std::string& fileName) {
  if (fileName.empty()) return std::string();
  try {
    SetCurrentImageIO(FileIO);
    TScopedHandle file(FileIO, fileName.c_str(), false);
    return Detect(file.Handle(), &fileName);
  } catch (...) {
    return std::string();
  }
}

std::string DetectStreamFormat(TStream& stream) {
  int64_t start = 0;
  try {
    start = stream.Position();
    SetCurrentImageIO(StreamIO);
    TScopedHandle handle(StreamIO, &stream, false);
    const std::string result = Detect(handle.Handle(), nullptr);
    stream.Seek(start, smFromBeginning);
    return result;
  } catch (...) {
    try {
      stream.Seek(start, smFromBeginning);
    } catch (...) {
    }
    return std::string();
  }
}

namespace {

// Keeps the first image of a successful load and releases the others.
bool TakeFirstImage(bool loaded, TDynImageDataArray& images, ImageData& image) {
  if (!loaded || images.empty()) return false;
  image = images[0];
  images.Detach(0);
  return true;
}

}  // namespace

bool LoadImageFromFile(const std::string& fileName, ImageData& image) {
  TImageFileFormat* codec = FindFormatByExtension(DetectFileFormat(fileName));
  if (!codec) return false;
  ReleaseImage(image);
  TDynImageDataArray images;
  return TakeFirstImage(codec->LoadFromFile(fileName, images, true), images, image);
}

bool LoadImageFromStream(TStream& stream, ImageData& image) {
  if (stream.Position() >= stream.Size()) RaiseImaging("Input stream has no data. Check Position property.");
  TImageFileFormat* codec = FindFormatByExtension(DetectStreamFormat(stream));
  if (!codec) return false;
  ReleaseImage(image);
  TDynImageDataArray images;
  return TakeFirstImage(codec->LoadFromStream(stream, images, true), images, image);
}

bool SaveImageToStream(const std::string& extension, TStream& stream, const ImageData& image) {
  TImageFileFormat* codec = FindFormatByExtension(extension);
  if (!codec) return false;
  BorrowedImage borrowed(image);
  return codec->SaveToStream(stream, borrowed.Images(), true);
}

// ---- Options -----------------------------------------------------------------------------------

bool RegisterOption(int32_t id, int32_t* variable) {
  EnsureRegistry();
  if (id < 0 || variable == nullptr) return false;
  OptionTable& options = Options();
  std::lock_guard<std::mutex> guard(options.lock);
  if (options.slots.empty()) options.slots.resize(kInitialOptionSlots, nullptr);
  if (static_cast<size_t>(id) >= options.slots.size()) options.slots.resize(static_cast<size_t>(id) + 256, nullptr);
  if (options.slots[static_cast<size_t>(id)] != nullptr) return false;
  options.slots[static_cast<size_t>(id)] = variable;
  return true;
}

bool SetOption(int32_t id, int32_t value) {
  EnsureRegistry();
  OptionTable& options = Options();
  std::lock_guard<std::mutex> guard(options.lock);
  if (id < 0 || static_cast<size_t>(id) >= options.slots.size() || !options.slots[static_cast<size_t>(id)])
    return false;
  switch (id) {
    case ImagingColorReductionMask:
      value = std::clamp<int32_t>(value, 0, 255);
      break;
    case ImagingLoadOverrideFormat:
    case ImagingSaveOverrideFormat:
      if (!IsFormatValid(static_cast<PixelFormat>(value))) value = 0;
      break;
    default:
      break;
  }
  *options.slots[static_cast<size_t>(id)] = value;
  return true;
}

int32_t GetOption(int32_t id) {
  EnsureRegistry();
  OptionTable& options = Options();
  std::lock_guard<std::mutex> guard(options.lock);
  if (id < 0 || static_cast<size_t>(id) >= options.slots.size() || !options.slots[static_cast<size_t>(id)])
    return kInvalidOption;
  return *options.slots[static_cast<size_t>(id)];
}

bool PushOptions() {
  EnsureRegistry();
  OptionTable& options = Options();
  std::lock_guard<std::mutex> guard(options.lock);
  if (options.position >= kOptionStackDepth - 1) return false;
  ++options.position;
  std::vector<int32_t>& level = options.stack[options.position];
  level.assign(options.slots.size(), 0);
  for (size_t id = 0; id < options.slots.size(); ++id)
    if (options.slots[id]) level[id] = *options.slots[id];
  return true;
}

bool PopOptions() {
  EnsureRegistry();
  OptionTable& options = Options();
  std::lock_guard<std::mutex> guard(options.lock);
  if (options.position < 0) return false;
  const std::vector<int32_t>& level = options.stack[options.position];
  // Options registered after the push have no saved value and keep theirs.
  for (size_t id = 0; id < options.slots.size() && id < level.size(); ++id)
    if (options.slots[id]) *options.slots[id] = level[id];
  --options.position;
  return true;
}

}  // namespace imaging
