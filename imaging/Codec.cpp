#include "imaging/Codec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <typeinfo>

namespace imaging {

namespace {

// ---- Option table ------------------------------------------------------------------------------

constexpr size_t kInitialOptionSlots = 256;
constexpr int kOptionStackDepth = 8;

// The process values. `variables` holds the variables that RegisterOption bound (codec option
// fields are not among them: the registry's codecs never change).
struct OptionTable {
  std::mutex lock;
  CodecOptions values;
  std::vector<int32_t*> variables;  // indexed by option id; null where none
  CodecOptions stack[kOptionStackDepth];
  int position = -1;  // the highest saved level, -1 for none
};

OptionTable& Options() {
  static OptionTable table;
  return table;
}

// The snapshot of the load or save running on this thread.
thread_local const CodecOptions* tOptionsInEffect = nullptr;

class OptionsInEffect {
public:
  explicit OptionsInEffect(const CodecOptions& options) : outer_(tOptionsInEffect) { tOptionsInEffect = &options; }
  ~OptionsInEffect() { tOptionsInEffect = outer_; }
  OptionsInEffect(const OptionsInEffect&) = delete;
  OptionsInEffect& operator=(const OptionsInEffect&) = delete;

private:
  const CodecOptions* outer_;
};

// Set on the thread that builds the registry, whose codecs register their options;
// everywhere else the registry is built first so that its codecs get their ids before anyone.
thread_local bool tBuildingRegistry = false;

void EnsureRegistry() {
  if (!tBuildingRegistry) FileFormatRegistry();
}

int32_t FilterOptionValue(int32_t id, int32_t value) {
  switch (id) {
    case ImagingColorReductionMask:
      return std::clamp<int32_t>(value, 0, 255);
    case ImagingLoadOverrideFormat:
    case ImagingSaveOverrideFormat:
      return IsFormatValid(static_cast<PixelFormat>(value)) ? value : 0;
    case ImagingLoadedOrientation:
      return value >= 1 && value <= 8 ? value : 1;
    default:
      return value;
  }
}

using Registry = std::vector<std::unique_ptr<const Codec>>;

}  // namespace

// Binds option ids: the library's own, a caller's variable, the fields of the registry's codecs.
class OptionBinding {
public:
  // Binds a free id with its start value; false when the id is negative or already bound.
  static bool Bind(CodecOptions& options, int32_t id, int32_t value) {
    if (id < 0) return false;
    const size_t slot = static_cast<size_t>(id);
    if (options.values_.size() < kInitialOptionSlots) {
      options.values_.resize(kInitialOptionSlots, 0);
      options.bound_.resize(kInitialOptionSlots, 0);
    }
    if (slot >= options.values_.size()) {
      options.values_.resize(slot + 256, 0);
      options.bound_.resize(slot + 256, 0);
    }
    if (options.bound_[slot]) return false;
    options.bound_[slot] = 1;
    options.values_[slot] = value;
    return true;
  }
  static size_t Slots(const CodecOptions& options) { return options.values_.size(); }
  static void Store(CodecOptions& options, int32_t id, int32_t value) {
    if (options.IsBound(id)) options.values_[static_cast<size_t>(id)] = value;
  }
  // Gives the registry's instance its factory and the option ids its fields hold.
  static void Register(Codec& codec, Codec::Factory factory) {
    codec.factory_ = factory;
    OptionTable& table = Options();
    std::lock_guard<std::mutex> guard(table.lock);
    for (Codec::OptionField& field : codec.optionFields_)
      field.owned = Bind(table.values, field.id, *field.field);
  }
};

namespace {

Registry BuildRegistry() {
  using Factory = std::unique_ptr<Codec> (*)();
  // Registry order is search order.
  static constexpr Factory kFactories[] = {
      CreateBitmapCodec, CreateJpegCodec,    CreatePngCodec,  CreateMngCodec,
      CreateJngCodec,    CreateGifCodec,     CreateDdsCodec,  CreateTargaCodec,
      CreatePbmCodec,    CreatePgmCodec,     CreatePpmCodec,  CreatePamCodec,
      CreatePfmCodec,    CreateJpeg2000Codec, CreateTiffCodec, CreatePsdCodec,
      CreatePcxCodec,    CreateXpmCodec,     CreateWebPCodec, CreateAvifCodec,
      CreateHeifCodec,
  };
  tBuildingRegistry = true;
  Registry registry;
  try {
    for (Factory factory : kFactories) {
      std::unique_ptr<Codec> codec = factory();
      if (!codec) continue;
      OptionBinding::Register(*codec, factory);
      registry.push_back(std::move(codec));
    }
    OptionTable& table = Options();
    std::lock_guard<std::mutex> guard(table.lock);
    OptionBinding::Bind(table.values, ImagingColorReductionMask, 255);
    OptionBinding::Bind(table.values, ImagingLoadOverrideFormat, 0);
    OptionBinding::Bind(table.values, ImagingSaveOverrideFormat, 0);
    OptionBinding::Bind(table.values, ImagingLoadedOrientation, 1);
  } catch (...) {
    // The codecs built so far are gone with `registry`; their option bindings must go too.
    tBuildingRegistry = false;
    OptionTable& table = Options();
    std::lock_guard<std::mutex> guard(table.lock);
    table.values = CodecOptions();
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

}  // namespace

FormatSet MakeFormatSet(std::initializer_list<PixelFormat> formats) {
  FormatSet set;
  for (PixelFormat format : formats) {
    const int32_t value = static_cast<int32_t>(format);
    if (value >= 0 && value < kFormatSetSize) set.set(static_cast<size_t>(value));
  }
  return set;
}

// ---- Codec: base behaviour ----------------------------------------------------------

Codec::Codec() : Name("Unknown and unsupported format") {}

FormatSet Codec::GetSavableFormats() const { return SupportedFormats; }

bool Codec::ReadImages(Stream&, std::vector<Image>&, bool) {
  RaiseImaging("Image Format \"%s\" does not support loading images.", Name.c_str());
}

bool Codec::WriteImage(Stream&, std::span<const Image>, int32_t) {
  RaiseImaging("Image Format \"%s\" does not support saving images.", Name.c_str());
}

void Codec::ConvertForSave(Image&, const PixelFormatInfo&) {}

bool Codec::CanSaveFormat(const Image& image) const {
  const int32_t value = static_cast<int32_t>(image.Format());
  if (value < 0 || value >= kFormatSetSize) return false;
  return GetSavableFormats().test(static_cast<size_t>(value));
}

bool Codec::ProbeStream(Stream&) const { return false; }

void Codec::ValidateOptions() {}

void Codec::RegisterCodecOption(int32_t id, int32_t* variable) {
  if (variable != nullptr) optionFields_.push_back({id, variable, false});
}

const Codec& Codec::OptionHolder() const {
  if (factory_) return *this;
  const std::type_info& mine = typeid(*this);
  for (const auto& codec : FileFormatRegistry()) {
    const Codec& registered = *codec;
    if (typeid(registered) == mine) return registered;
  }
  return *this;
}

Codec& Codec::PrepareWorker(const CodecOptions& options,
                                                  std::unique_ptr<Codec>& fresh) const {
  if (factory_) fresh = factory_();
  // A codec built outside the registry works itself; the caller does not share it.
  Codec& worker = fresh ? *fresh : const_cast<Codec&>(*this);
  const Codec& holder = OptionHolder();
  // The same class binds the same fields in the same order.
  if (worker.optionFields_.size() != holder.optionFields_.size())
    RaiseImaging("Codec \"%s\" could not be prepared for this operation.", Name.c_str());
  for (size_t i = 0; i < holder.optionFields_.size(); ++i)
    if (holder.optionFields_[i].owned) *worker.optionFields_[i].field = options.Get(holder.optionFields_[i].id);
  worker.LoadedOrientation = 1;
  worker.IccProfile = options.Profile();
  return worker;
}

void Codec::ReportFacts(const Codec& worker, CodecOptions& facts) const {
  const Codec& holder = OptionHolder();
  for (size_t i = 0; i < holder.optionFields_.size(); ++i)
    if (holder.optionFields_[i].owned)
      OptionBinding::Store(facts, holder.optionFields_[i].id, *worker.optionFields_[i].field);
  OptionBinding::Store(facts, ImagingLoadedOrientation, worker.LoadedOrientation);
  facts.SetProfile(worker.IccProfile);
}

ColorProfile Codec::SaveProfileFor(PixelFormat format) const {
  return ProfileFitsFormat(IccProfile, format) ? IccProfile : nullptr;
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
  const int32_t override = options.Get(ImagingLoadOverrideFormat);
  if (override != 0 && override != kInvalidOption)
    for (Image& image : images) ConvertImageFormat(image, static_cast<PixelFormat>(override));
  return true;
}

}  // namespace

bool Codec::LoadFrom(Stream& source, const std::string* fileName, std::vector<Image>& images, bool onlyFirst,
                     const CodecOptions& options, CodecOptions* facts) const {
  std::unique_ptr<Codec> fresh;
  Codec& worker = PrepareWorker(options, fresh);
  const OptionsInEffect inEffect(options);
  if (!worker.ProbeStream(source)) {
    if (fileName)
      RaiseImaging("File \"%s\" is not valid image in \"%s\" format.", fileName->c_str(), Name.c_str());
    RaiseImaging("Stream %p does not contain valid image in \"%s\" format.", static_cast<void*>(&source),
                 Name.c_str());
  }
  images.clear();
  // A profile in the options is one to embed; what this file holds is found by its reader.
  worker.IccProfile.reset();
  const bool ok = worker.ReadImages(source, images, onlyFirst);
  if (facts) {
    *facts = options;
    ReportFacts(worker, *facts);
  }
  return FinishLoad(ok, images, options);
}

bool Codec::LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst) const {
  return LoadFromFile(fileName, images, onlyFirst, CurrentOptions());
}

bool Codec::LoadFromFile(const std::string& fileName, std::vector<Image>& images, bool onlyFirst,
                                    const CodecOptions& options, CodecOptions* facts) const {
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
                                      const CodecOptions& options, CodecOptions* facts) const {
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
    std::unique_ptr<Codec> fresh;
    Codec& worker = PrepareWorker(options, fresh);
    const OptionsInEffect inEffect(options);
    // A file takes its name only when its save succeeded; one that fails or reports failure
    // leaves whatever file was there before.
    if (IsMultiImage || onlyFirst || images.size() == 1) {
      FileStream file(fileName, FileStream::Access::Write);
      int32_t index = onlyFirst ? 0 : -1;
      const bool result = worker.PrepareSave(file, images, index) && worker.WriteImage(file, images, index);
      if (result) file.Commit();
      return result;
    }
    for (size_t i = 0; i < images.size(); ++i) {
      FileStream file(IndexedFileName(fileName, i), FileStream::Access::Write);
      int32_t index = static_cast<int32_t>(i);
      if (!(worker.PrepareSave(file, images, index) && worker.WriteImage(file, images, index))) return false;
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
    std::unique_ptr<Codec> fresh;
    Codec& worker = PrepareWorker(options, fresh);
    const OptionsInEffect inEffect(options);
    if (IsMultiImage || onlyFirst || images.size() == 1) {
      int32_t index = onlyFirst ? 0 : -1;
      return worker.PrepareSave(stream, images, index) && worker.WriteImage(stream, images, index);
    }
    for (size_t i = 0; i < images.size(); ++i) {
      int32_t index = static_cast<int32_t>(i);
      if (!(worker.PrepareSave(stream, images, index) && worker.WriteImage(stream, images, index))) return false;
    }
    return true;
  } catch (...) {
    RaiseImaging("Error while saving images to stream %p (file format: %s).", static_cast<void*>(&stream),
                 DefaultExtension().c_str());
  }
}

bool Codec::PrepareSave(Stream&, std::span<const Image> images, int32_t& index) {
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

bool Codec::PrepareForSave(const Image& image, PreparedImage& prepared) {
  const int32_t override = OptionInEffect(ImagingSaveOverrideFormat);
  if (override == 0 || override == kInvalidOption) {
    if (CanSaveFormat(image)) {
      prepared.Borrow(image);
      return true;
    }
  }
  Image copy;
  CopyImage(image, copy);
  if (override != 0 && override != kInvalidOption) {
    ConvertImageFormat(copy, static_cast<PixelFormat>(override));
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

// ---- Registry ----------------------------------------------------------------------------------

const std::vector<std::unique_ptr<const Codec>>& FileFormatRegistry() {
  static const Registry registry = BuildRegistry();
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

std::string DetectStreamFormat(Stream& stream) {
  int64_t start = 0;
  try {
    start = stream.Position();
    const std::string result = Detect(stream, nullptr);
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

// ---- Options -----------------------------------------------------------------------------------

int32_t CodecOptions::Get(int32_t id) const {
  return IsBound(id) ? values_[static_cast<size_t>(id)] : kInvalidOption;
}

bool CodecOptions::Set(int32_t id, int32_t value) {
  if (!IsBound(id)) return false;
  values_[static_cast<size_t>(id)] = FilterOptionValue(id, value);
  return true;
}

bool CodecOptions::IsBound(int32_t id) const {
  return id >= 0 && static_cast<size_t>(id) < bound_.size() && bound_[static_cast<size_t>(id)] != 0;
}

namespace {

// Brings the values of caller-bound variables into the table; they may have been changed
// directly. Runs with the table locked.
void ReadVariables(OptionTable& table) {
  for (size_t id = 0; id < table.variables.size(); ++id)
    if (table.variables[id]) OptionBinding::Store(table.values, static_cast<int32_t>(id), *table.variables[id]);
}

void WriteVariables(OptionTable& table) {
  for (size_t id = 0; id < table.variables.size(); ++id)
    if (table.variables[id]) *table.variables[id] = table.values.Get(static_cast<int32_t>(id));
}

}  // namespace

CodecOptions CurrentOptions() {
  EnsureRegistry();
  OptionTable& table = Options();
  std::lock_guard<std::mutex> guard(table.lock);
  ReadVariables(table);
  return table.values;
}

bool RegisterOption(int32_t id, int32_t* variable) {
  EnsureRegistry();
  if (id < 0 || variable == nullptr) return false;
  OptionTable& table = Options();
  std::lock_guard<std::mutex> guard(table.lock);
  if (!OptionBinding::Bind(table.values, id, *variable)) return false;
  if (static_cast<size_t>(id) >= table.variables.size()) table.variables.resize(static_cast<size_t>(id) + 256, nullptr);
  table.variables[static_cast<size_t>(id)] = variable;
  return true;
}

bool SetOption(int32_t id, int32_t value) {
  EnsureRegistry();
  OptionTable& table = Options();
  std::lock_guard<std::mutex> guard(table.lock);
  if (!table.values.Set(id, value)) return false;
  if (static_cast<size_t>(id) < table.variables.size() && table.variables[static_cast<size_t>(id)])
    *table.variables[static_cast<size_t>(id)] = table.values.Get(id);
  return true;
}

int32_t GetOption(int32_t id) {
  EnsureRegistry();
  OptionTable& table = Options();
  std::lock_guard<std::mutex> guard(table.lock);
  if (id >= 0 && static_cast<size_t>(id) < table.variables.size() && table.variables[static_cast<size_t>(id)])
    return *table.variables[static_cast<size_t>(id)];
  return table.values.Get(id);
}

bool PushOptions() {
  EnsureRegistry();
  OptionTable& table = Options();
  std::lock_guard<std::mutex> guard(table.lock);
  if (table.position >= kOptionStackDepth - 1) return false;
  ReadVariables(table);
  table.stack[++table.position] = table.values;
  return true;
}

bool PopOptions() {
  EnsureRegistry();
  OptionTable& table = Options();
  std::lock_guard<std::mutex> guard(table.lock);
  if (table.position < 0) return false;
  const CodecOptions& level = table.stack[table.position];
  // Options bound after the push have no saved value and keep theirs.
  for (size_t id = 0; id < OptionBinding::Slots(level); ++id)
    if (level.IsBound(static_cast<int32_t>(id)))
      OptionBinding::Store(table.values, static_cast<int32_t>(id), level.Get(static_cast<int32_t>(id)));
  WriteVariables(table);
  --table.position;
  return true;
}

int32_t OptionInEffect(int32_t id) {
  if (tOptionsInEffect) return tOptionsInEffect->Get(id);
  return GetOption(id);
}

}  // namespace imaging
