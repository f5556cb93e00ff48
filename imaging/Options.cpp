#include "imaging/Options.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "imaging/PixelFormats.h"

namespace imaging {

namespace {

// ---- Numbers to fields and back -----------------------------------------------------------------

int32_t ToNumber(int32_t value) { return value; }
int32_t ToNumber(bool value) { return value ? 1 : 0; }
int32_t ToNumber(uint8_t value) { return value; }
int32_t ToNumber(PixelFormat value) { return static_cast<int32_t>(value); }

// The library-level filtering of SetOption lies in the field types: a mask keeps 0..255, a
// format only a valid one (else none); a flag is any nonzero number, a level any number.
void FromNumber(int32_t& field, int32_t value) { field = value; }
void FromNumber(bool& field, int32_t value) { field = value != 0; }
void FromNumber(uint8_t& field, int32_t value) { field = static_cast<uint8_t>(std::clamp<int32_t>(value, 0, 255)); }
void FromNumber(PixelFormat& field, int32_t value) {
  const PixelFormat format = static_cast<PixelFormat>(value);
  field = IsFormatValid(format) ? format : PixelFormat::Unknown;
}

// One id of the table: how it reads and writes its field of CodecOptions.
struct OptionField {
  int32_t id;
  int32_t (*get)(const CodecOptions& options);
  void (*set)(CodecOptions& options, int32_t value);
};

template <auto group, auto field>
constexpr OptionField Field(int32_t id) {
  return {id, [](const CodecOptions& options) { return ToNumber((options.*group).*field); },
          [](CodecOptions& options, int32_t value) { FromNumber((options.*group).*field, value); }};
}

// An id under which the original library reported what a load found. Loads report it in
// LoadFacts now; the id stays bound with its start value, which a SetOption does not change.
template <int32_t startValue>
constexpr OptionField Reported(int32_t id) {
  return {id, [](const CodecOptions&) { return startValue; }, [](CodecOptions&, int32_t) {}};
}

using C = CodecOptions;

// The option table: every id of the numbered interface and the field it stands for.
constexpr OptionField kOptionTable[] = {
    Field<&C::jpeg, &JpegOptions::quality>(option::kJpegQuality),
    Field<&C::jpeg, &JpegOptions::progressive>(option::kJpegProgressive),
    Field<&C::bitmap, &BitmapOptions::useRle>(option::kBitmapRle),
    Field<&C::targa, &TargaOptions::useRle>(option::kTargaRle),
    Reported<0>(option::kDdsLoadedCubeMap),
    Reported<0>(option::kDdsLoadedVolume),
    Reported<0>(option::kDdsLoadedMipMapCount),
    Reported<0>(option::kDdsLoadedDepth),
    Field<&C::dds, &DdsOptions::saveCubeMap>(option::kDdsSaveCubeMap),
    Field<&C::dds, &DdsOptions::saveVolume>(option::kDdsSaveVolume),
    Field<&C::dds, &DdsOptions::saveMipMapCount>(option::kDdsSaveMipMapCount),
    Field<&C::dds, &DdsOptions::saveDepth>(option::kDdsSaveDepth),
    Field<&C::png, &PngOptions::preFilter>(option::kPngPreFilter),
    Field<&C::png, &PngOptions::compressLevel>(option::kPngCompressLevel),
    Field<&C::mng, &MngOptions::lossyCompression>(option::kMngLossyCompression),
    Field<&C::mng, &MngOptions::lossyAlpha>(option::kMngLossyAlpha),
    Field<&C::mng, &MngOptions::preFilter>(option::kMngPreFilter),
    Field<&C::mng, &MngOptions::compressLevel>(option::kMngCompressLevel),
    Field<&C::mng, &MngOptions::quality>(option::kMngQuality),
    Field<&C::mng, &MngOptions::progressive>(option::kMngProgressive),
    Field<&C::jng, &JngOptions::lossyAlpha>(option::kJngLossyAlpha),
    Field<&C::jng, &JngOptions::preFilter>(option::kJngPreFilter),
    Field<&C::jng, &JngOptions::compressLevel>(option::kJngCompressLevel),
    Field<&C::jng, &JngOptions::quality>(option::kJngQuality),
    Field<&C::jng, &JngOptions::progressive>(option::kJngProgressive),
    Field<&C::portableMap, &PortableMapOptions::grayMapBinary>(option::kPgmSaveBinary),
    Field<&C::portableMap, &PortableMapOptions::pixelMapBinary>(option::kPpmSaveBinary),
    Field<&C::jpeg2000, &Jpeg2000Options::quality>(option::kJpeg2000Quality),
    Field<&C::gif, &GifOptions::loadAnimated>(option::kGifLoadAnimated),
    Field<&C::jpeg2000, &Jpeg2000Options::lossless>(option::kJpeg2000Lossless),
    Field<&C::tiff, &TiffOptions::compressionScheme>(option::kTiffCompression),
    Field<&C::psd, &PsdOptions::saveAsLayer>(option::kPsdSaveAsLayer),
    Field<&C::webp, &WebPOptions::quality>(option::kWebPQuality),
    Field<&C::webp, &WebPOptions::lossless>(option::kWebPLossless),
    Field<&C::avif, &AvifOptions::quality>(option::kAvifQuality),
    Field<&C::avif, &AvifOptions::speed>(option::kAvifSpeed),
    Field<&C::avif, &AvifOptions::lossless>(option::kAvifLossless),
    Field<&C::heif, &HeifOptions::quality>(option::kHeifQuality),
    Reported<0>(option::kHeifLoadedExifOrientation),
    Field<&C::jxl, &JxlOptions::quality>(option::kJxlQuality),
    Field<&C::jxl, &JxlOptions::effort>(option::kJxlEffort),
    Field<&C::jxl, &JxlOptions::lossless>(option::kJxlLossless),
    Field<&C::library, &LibraryOptions::colorReductionMask>(option::kColorReductionMask),
    Field<&C::library, &LibraryOptions::loadOverrideFormat>(option::kLoadOverrideFormat),
    Field<&C::library, &LibraryOptions::saveOverrideFormat>(option::kSaveOverrideFormat),
};

const OptionField* FindField(int32_t id) {
  for (const OptionField& field : kOptionTable)
    if (field.id == id) return &field;
  return nullptr;
}

// ---- The process values -------------------------------------------------------------------------

constexpr int kOptionStackDepth = 8;

// A caller's variable bound by RegisterOption.
struct BoundVariable {
  int32_t id;
  int32_t* variable;
};

// One saved level: the typed values and the values of the callers' variables bound at the time.
struct SavedLevel {
  CodecOptions values;
  std::vector<std::pair<int32_t, int32_t>> variables;  // id and value
};

struct OptionTable {
  std::mutex lock;
  CodecOptions values;
  std::vector<BoundVariable> variables;
  SavedLevel stack[kOptionStackDepth];
  int position = -1;  // the highest saved level, -1 for none
};

OptionTable& Table() {
  static OptionTable table;
  return table;
}

int32_t** FindVariable(OptionTable& table, int32_t id) {
  for (BoundVariable& bound : table.variables)
    if (bound.id == id) return &bound.variable;
  return nullptr;
}

}  // namespace

CodecOptions CurrentOptions() {
  OptionTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.values;
}

bool RegisterOption(int32_t id, int32_t* variable) {
  if (id < 0 || variable == nullptr || FindField(id)) return false;
  OptionTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (FindVariable(table, id)) return false;
  table.variables.push_back({id, variable});
  return true;
}

bool SetOption(int32_t id, int32_t value) {
  OptionTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (const OptionField* field = FindField(id)) {
    field->set(table.values, value);
    return true;
  }
  if (int32_t** variable = FindVariable(table, id)) {
    **variable = value;
    return true;
  }
  return false;
}

int32_t GetOption(int32_t id) {
  OptionTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (const OptionField* field = FindField(id)) return field->get(table.values);
  if (int32_t** variable = FindVariable(table, id)) return **variable;
  return kInvalidOption;
}

bool PushOptions() {
  OptionTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (table.position >= kOptionStackDepth - 1) return false;
  SavedLevel& level = table.stack[++table.position];
  level.values = table.values;
  level.variables.clear();
  for (const BoundVariable& bound : table.variables) level.variables.emplace_back(bound.id, *bound.variable);
  return true;
}

bool PopOptions() {
  OptionTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (table.position < 0) return false;
  const SavedLevel& level = table.stack[table.position];
  table.values = level.values;
  // Variables bound after the push have no saved value and keep theirs.
  for (const auto& [id, value] : level.variables)
    if (int32_t** variable = FindVariable(table, id)) **variable = value;
  --table.position;
  return true;
}

}  // namespace imaging
