#include "imaging/Codec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace imaging {

namespace {

using Registry = std::vector<std::unique_ptr<const Codec>>;

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

}  // namespace

FormatSet MakeFormatSet(std::initializer_list<PixelFormat> formats) {
  FormatSet set;
  for (PixelFormat format : formats) {
    const int32_t value = static_cast<int32_t>(format);
    if (value >= 0 && value < kFormatSetSize) set.set(static_cast<size_t>(value));
  }
  return set;
}

// ---- Decoder and encoder: base behaviour -------------------------------------------------------

FormatSet Encoder::GetSavableFormats() const { return Description.SupportedFormats; }

void Encoder::ConvertForSave(Image&, const PixelFormatInfo&) {}

bool Encoder::CanSaveFormat(const Image& image) const {
  const int32_t value = static_cast<int32_t>(image.Format());
  if (value < 0 || value >= kFormatSetSize) return false;
  return GetSavableFormats().test(static_cast<size_t>(value));
}

ColorProfile Encoder::SaveProfileFor(PixelFormat format) const {
  return ProfileFitsFormat(Options.profile, format) ? Options.profile : nullptr;
}

bool Encoder::PrepareSave(std::span<const Image> images, int32_t& index) {
  ValidateOptions();
  if (!Description.CanSave) return false;
  if (images.empty()) RaiseImaging("Assertion failed: PrepareSave needs at least one image");
  const int32_t count = static_cast<int32_t>(images.size());
  if (Description.IsMultiImage) {
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

bool Encoder::PrepareForSave(const Image& image, PreparedImage& prepared) {
  const PixelFormat override = Options.library.saveOverrideFormat;
  if (override == PixelFormat::Unknown) {
    if (CanSaveFormat(image)) {
      prepared.Borrow(image);
      return true;
    }
  }
  Image copy;
  CopyImage(image, copy);
  if (override != PixelFormat::Unknown) {
    ConvertImageFormat(copy, override, Options.library.colorReductionMask);
    if (CanSaveFormat(copy)) {
      prepared.Own(std::move(copy));
      return true;
    }
  }
  ConvertForSave(copy, *FindFormatInfo(copy.Format()));
  const bool result = CanSaveFormat(copy);
  prepared.Own(std::move(copy));
  return result;
}

// ---- Codec: base behaviour ----------------------------------------------------------------------

Codec::Codec() : Name("Unknown and unsupported format") {}

bool Codec::ProbeStream(Stream&) const { return false; }

ImageHeader Codec::ReadHeader(Stream&, const CodecOptions&) const {
  RaiseImaging("Image Format \"%s\" does not support reading headers.", Name.c_str());
}

std::unique_ptr<Decoder> Codec::CreateDecoder(const CodecOptions&) const {
  RaiseImaging("Image Format \"%s\" does not support loading images.", Name.c_str());
}

std::unique_ptr<Encoder> Codec::CreateEncoder(const CodecOptions&) const {
  RaiseImaging("Image Format \"%s\" does not support saving images.", Name.c_str());
}

void Codec::AddMasks(const std::string& masks) {
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

bool Codec::MatchesFileName(const std::string& fileName) const {
  for (const std::string& mask : Masks)
    if (MatchesMask(fileName, mask)) return true;
  return false;
}

std::string Codec::DefaultExtension() const { return Extensions.empty() ? std::string() : Extensions[0]; }

// ---- Loading -----------------------------------------------------------------------------------

namespace {

// Steps after a codec read its images: a failed read leaves nothing behind; a good one is
// converted to the override format when one is set.
bool FinishLoad(bool ok, std::vector<Image>& images, const CodecOptions& options) {
  if (!ok) {
    images.clear();
    return false;
  }
  if (images.empty() || !AreImagesValid(images)) return false;
  const PixelFormat override = options.library.loadOverrideFormat;
  if (override != PixelFormat::Unknown)
    for (Image& image : images) ConvertImageFormat(image, override, options.library.colorReductionMask);
  return true;
}

}  // namespace

bool Codec::LoadFrom(Stream& source, const std::string* fileName, std::vector<Image>& images, bool onlyFirst,
                     const CodecOptions& options, LoadFacts* facts) const {
  if (!ProbeStream(source)) {
    if (fileName)
      RaiseImaging("File \"%s\" is not valid image in \"%s\" format.", fileName->c_str(), Name.c_str());
    RaiseImaging("Stream %p does not contain valid image in \"%s\" format.", static_cast<void*>(&source),
                 Name.c_str());
  }
  images.clear();
  const std::unique_ptr<Decoder> decoder = CreateDecoder(options);
  const bool ok = decoder->ReadImages(source, images, onlyFirst);
  if (facts) *facts = decoder->Found();
  return FinishLoad(ok, images, options);
}

bool Codec::LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst) const {
  return LoadFromFile(fileName, images, onlyFirst, CurrentOptions());
}

bool Codec::LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst,
                                    const CodecOptions& options, LoadFacts* facts) const {
  if (!CanLoad) return false;
  try {
    FileStream file(fileName, FileStream::Access::Read);
    return LoadFrom(file, &fileName, images, onlyFirst, options, facts);
  } catch (...) {
    try {
      images.clear();
    } catch (...) {
    }
    RaiseImaging("Error while loading images from file \"%s\" (file format: %s).", fileName.c_str(),
                 DefaultExtension().c_str());
  }
}

bool Codec::LoadFromStream(Stream& stream, std::vector<Image>& images, bool onlyFirst) const {
  return LoadFromStream(stream, images, onlyFirst, CurrentOptions());
}

bool Codec::LoadFromStream(Stream& stream, std::vector<Image>& images, bool onlyFirst,
                                      const CodecOptions& options, LoadFacts* facts) const {
  if (!CanLoad) return false;
  int64_t start = 0;
  try {
    start = stream.Position();
    return LoadFrom(stream, nullptr, images, onlyFirst, options, facts);
  } catch (...) {
    try {
      images.clear();
      stream.Seek(start, SeekOrigin::Begin);
    } catch (...) {
    }
    RaiseImaging("Error while loading images from stream %p (file format: %s).", static_cast<void*>(&stream),
                 DefaultExtension().c_str());
  }
}

// ---- Saving ------------------------------------------------------------------------------------

bool Codec::SaveToFile(const std::string& fileName, std::span<const Image> images, bool onlyFirst) const {
  return SaveToFile(fileName, images, onlyFirst, CurrentOptions());
}

bool Codec::SaveToFile(const std::string& fileName, std::span<const Image> images, bool onlyFirst,
                                  const CodecOptions& options) const {
  if (!CanSave || images.empty() || !AreImagesValid(images)) return false;
  try {
    const std::unique_ptr<Encoder> encoder = CreateEncoder(options);
    // A file takes its name only when its save succeeded; one that fails or reports failure
    // leaves whatever file was there before.
    if (IsMultiImage || onlyFirst || images.size() == 1) {
      FileStream file(fileName, FileStream::Access::Write);
      int32_t index = onlyFirst ? 0 : -1;
      const bool result = encoder->PrepareSave(images, index) && encoder->WriteImage(file, images, index);
      if (result) file.Commit();
      return result;
    }
    for (size_t i = 0; i < images.size(); ++i) {
      FileStream file(IndexedFileName(fileName, i), FileStream::Access::Write);
      int32_t index = static_cast<int32_t>(i);
      if (!(encoder->PrepareSave(images, index) && encoder->WriteImage(file, images, index))) return false;
      file.Commit();
    }
    return true;
  } catch (...) {
    RaiseImaging("Error while saving images to file \"%s\" (file format: %s).", fileName.c_str(),
                 DefaultExtension().c_str());
  }
}

bool Codec::SaveToStream(Stream& stream, std::span<const Image> images, bool onlyFirst) const {
  return SaveToStream(stream, images, onlyFirst, CurrentOptions());
}

bool Codec::SaveToStream(Stream& stream, std::span<const Image> images, bool onlyFirst,
                                    const CodecOptions& options) const {
  if (!CanSave || images.empty() || !AreImagesValid(images)) return false;
  try {
    const std::unique_ptr<Encoder> encoder = CreateEncoder(options);
    if (IsMultiImage || onlyFirst || images.size() == 1) {
      int32_t index = onlyFirst ? 0 : -1;
      return encoder->PrepareSave(images, index) && encoder->WriteImage(stream, images, index);
    }
    for (size_t i = 0; i < images.size(); ++i) {
      int32_t index = static_cast<int32_t>(i);
      if (!(encoder->PrepareSave(images, index) && encoder->WriteImage(stream, images, index))) return false;
    }
    return true;
  } catch (...) {
    RaiseImaging("Error while saving images to stream %p (file format: %s).", static_cast<void*>(&stream),
                 DefaultExtension().c_str());
  }
}

// ---- Registry ----------------------------------------------------------------------------------

const std::vector<std::unique_ptr<const Codec>>& FileFormatRegistry() {
  using Factory = std::unique_ptr<Codec> (*)();
  // Registry order is search order.
  using namespace formats;
  static constexpr Factory kFactories[] = {
      CreateBitmapCodec, CreateJpegCodec,     CreatePngCodec,  CreateMngCodec, CreateJngCodec,  CreateGifCodec,
      CreateDdsCodec,    CreateTargaCodec,    CreatePbmCodec,  CreatePgmCodec, CreatePpmCodec,  CreatePamCodec,
      CreatePfmCodec,    CreateJpeg2000Codec, CreateTiffCodec, CreatePsdCodec, CreatePcxCodec,  CreateXpmCodec,
      CreateWebPCodec,   CreateAvifCodec,     CreateHeifCodec, CreateJxlCodec,
  };
  static const Registry registry = [] {
    Registry codecs;
    for (Factory factory : kFactories)
      if (std::unique_ptr<Codec> codec = factory()) codecs.push_back(std::move(codec));
    return codecs;
  }();
  return registry;
}

int32_t FileFormatCount() { return static_cast<int32_t>(FileFormatRegistry().size()); }

const Codec* FileFormatAt(int32_t index) {
  const auto& registry = FileFormatRegistry();
  if (index < 0 || static_cast<size_t>(index) >= registry.size()) return nullptr;
  return registry[static_cast<size_t>(index)].get();
}

const Codec* FindFormatByExtension(const std::string& extension) {
  for (const auto& codec : FileFormatRegistry())
    for (const std::string& candidate : codec->Extensions)
      if (EqualsIgnoringCase(candidate, extension)) return codec.get();
  return nullptr;
}

const Codec* FindFormatByFileName(const std::string& fileName) {
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
std::string Detect(Stream& stream, const std::string* fileName) {
  const int64_t start = stream.Position();
  const auto& registry = FileFormatRegistry();
  if (fileName) {
    for (const auto& codec : registry) {
      if (!codec->MatchesFileName(*fileName)) continue;
      stream.Seek(start, SeekOrigin::Begin);
      if (codec->ProbeStream(stream)) return codec->DefaultExtension();
    }
  }
  for (const auto& codec : registry) {
    stream.Seek(start, SeekOrigin::Begin);
    if (codec->ProbeStream(stream)) return codec->DefaultExtension();
  }
  return std::string();
}

}  // namespace

std::string DetectFileFormat(const std::string& fileName) {
  if (fileName.empty()) return std::string();
  try {
    FileStream file(fileName, FileStream::Access::Read);
    return Detect(file, &fileName);
  } catch (...) {
    return std::string();
  }
}

std::string DetectStreamFormat(Stream& stream, const std::string& fileName) {
  int64_t start = 0;
  try {
    start = stream.Position();
    const std::string result = Detect(stream, fileName.empty() ? nullptr : &fileName);
    stream.Seek(start, SeekOrigin::Begin);
    return result;
  } catch (...) {
    try {
      stream.Seek(start, SeekOrigin::Begin);
    } catch (...) {
    }
    return std::string();
  }
}

namespace {

// Keeps the first image of a successful load; the others go with the vector.
bool TakeFirstImage(bool loaded, std::vector<Image>& images, Image& image) {
  if (!loaded || images.empty()) return false;
  image = std::move(images.front());
  return true;
}

}  // namespace

bool LoadImageFromFile(const std::string& fileName, Image& image) {
  const Codec* codec = FindFormatByExtension(DetectFileFormat(fileName));
  if (!codec) return false;
  image.Reset();
  std::vector<Image> images;
  return TakeFirstImage(codec->LoadFromFile(fileName, images, true), images, image);
}

bool LoadImageFromStream(Stream& stream, Image& image) {
  if (stream.Position() >= stream.Size()) RaiseImaging("Input stream has no data. Check Position property.");
  const Codec* codec = FindFormatByExtension(DetectStreamFormat(stream));
  if (!codec) return false;
  image.Reset();
  std::vector<Image> images;
  return TakeFirstImage(codec->LoadFromStream(stream, images, true), images, image);
}

bool SaveImageToStream(const std::string& extension, Stream& stream, const Image& image) {
  return SaveImageToStream(extension, stream, image, CurrentOptions());
}

bool SaveImageToStream(const std::string& extension, Stream& stream, const Image& image,
                       const CodecOptions& options) {
  const Codec* codec = FindFormatByExtension(extension);
  if (!codec) return false;
  return codec->SaveToStream(stream, std::span(&image, 1), true, options);
}

}  // namespace imaging
