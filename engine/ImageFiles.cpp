#include "engine/ImageFiles.h"

#include <algorithm>

#include "base/AtomicFile.h"
#include "base/Paths.h"
#include "base/Text.h"

#include "imaging/Codec.h"
#include "imaging/Orientation.h"
#include "imaging/Stream.h"
#include "imaging/formats/Icon.h"

namespace engine {

namespace {

using imaging::Image;

bool LoadIconFile(const std::string& path, Image& image) {
  // Through a file stream, which opens without waiting and reads nothing but a regular file.
  imaging::FileStream file(path, imaging::FileStream::Access::Read);
  imaging::Image drawn;
  imaging::formats::LoadIconPicture(file, drawn);
  if (!imaging::IsImageValid(drawn)) return false;
  image = std::move(drawn);
  return true;
}

// The options of one save. The PNG and MNG writers' default filter choice (5) filters the rows
// of truecolour pictures only; a gray picture gets the Paeth filter that colour pictures get,
// without which a gray photo's PNG grows by half.
imaging::CodecOptions SaveOptions(const imaging::CodecOptions& options, const Image& image) {
  imaging::CodecOptions adjusted = options;
  if (imaging::FindFormatInfo(image.Format())->HasGrayChannel)
    for (int32_t* preFilter : {&adjusted.png.preFilter, &adjusted.mng.preFilter})
      if (*preFilter == 5) *preFilter = 4;
  return adjusted;
}

}  // namespace

bool IsIconPath(const std::string& path) {
  const std::string ext = base::ExtensionOf(path);
  return base::EqualNoCase(ext, ".ico") || base::EqualNoCase(ext, ".cur");
}

namespace {

// The file types whose several images are frames of an animation, and those whose several
// images are pages.
bool IsAnimationType(const std::string& extension) {
  return extension == "gif" || extension == "webp" || extension == "mng";
}
bool IsPagesType(const std::string& extension) { return extension == "tif"; }

// The first image of the file, or with `all` every image, with the facts the codec found.
// `decodeAs` is the format codecs that can decode into one are asked for (none: the file's
// own); `target` gives the format each picture is handed over in.
bool LoadImages(const std::string& path, std::vector<Image>& images, bool all, const imaging::CodecOptions& options,
                PhotoFacts* facts, imaging::Animation* animation, std::optional<imaging::PixelFormat> decodeAs,
                imaging::PixelFormat (*target)(const Image&)) {
  if (facts) *facts = PhotoFacts();
  if (animation) *animation = imaging::Animation();
  images.clear();
  if (path.empty()) return false;
  if (IsIconPath(path)) return LoadIconFile(path, images.emplace_back());

  const std::string extension = imaging::DetectFileFormat(path);
  if (extension.empty()) return false;
  const imaging::Codec* codec = imaging::FindFormatByExtension(extension);
  if (!codec) return false;
  imaging::CodecOptions loadOptions = options;
  loadOptions.library.loadOverrideFormat = decodeAs.value_or(imaging::PixelFormat::Unknown);
  imaging::LoadFacts found;
  if (!codec->LoadFromFile(path, images, !all, loadOptions, &found) || images.empty()) {
    images.clear();
    return false;
  }
  if (!all) images.resize(1);
  if (facts) {
    facts->orientation = imaging::ValidOrientation(found.orientation);
    facts->profile = found.profile;
  }
  if (animation) {
    *animation = std::move(found.animation);
    // Frames whose timing the reader does not know (MNG) play at 10 frames a second, without end.
    if (images.size() > 1 && !animation->Animated() && IsAnimationType(extension))
      animation->delaysMs.assign(images.size(), 100);
  }
  for (Image& loaded : images)
    if (!imaging::ConvertImageFormat(loaded, target(loaded))) {
      images.clear();
      return false;
    }
  return true;
}

bool LoadFirstImage(const std::string& path, Image& image, const imaging::CodecOptions& options, PhotoFacts* facts,
                    std::optional<imaging::PixelFormat> decodeAs, imaging::PixelFormat (*target)(const Image&)) {
  std::vector<Image> images;
  if (!LoadImages(path, images, false, options, facts, nullptr, decodeAs, target)) return false;
  image = std::move(images.front());
  return true;
}

imaging::PixelFormat Argb32(const Image&) { return imaging::PixelFormat::A8R8G8B8; }

}  // namespace

bool LoadImageFile(const std::string& path, Image& image, const imaging::CodecOptions& options,
                   PhotoFacts* facts) {
  // Codecs that can decode into the list's format do so, and need no second copy of the picture.
  return LoadFirstImage(path, image, options, facts, imaging::PixelFormat::A8R8G8B8, Argb32);
}

imaging::PixelFormat RunFormatOf(const Image& image) {
  using PF = imaging::PixelFormat;
  switch (image.Format()) {
    case PF::Gray8:
    case PF::A8Gray8:
    case PF::Gray16:
    case PF::A16Gray16:
    case PF::R8G8B8:
    case PF::A8R8G8B8:
    case PF::R16G16B16:
    case PF::A16R16G16B16:
    case PF::B16G16R16:
    case PF::A16B16G16R16: return image.Format();
    case PF::Gray32:
    case PF::Gray64: return PF::Gray16;
    case PF::Index8: {
      // Entries no pixel uses are zero, which is gray too; alpha is looked at before the save.
      const bool gray = image.Palette() != nullptr &&
                        std::all_of(image.Palette(), image.Palette() + 256, [](imaging::Color32 c) {
                          return imaging::Color32Red(c) == imaging::Color32Green(c) &&
                                 imaging::Color32Green(c) == imaging::Color32Blue(c);
                        });
      return gray ? PF::A8Gray8 : PF::A8R8G8B8;
    }
    default: break;
  }
  const imaging::PixelFormatInfo* info = imaging::FindFormatInfo(image.Format());
  return info->HasAlphaChannel || info->IsCompressed ? PF::A8R8G8B8 : PF::R8G8B8;
}

bool LoadImageForRun(const std::string& path, Image& image, const imaging::CodecOptions& options,
                     PhotoFacts* facts) {
  // The codec gives the file's own format (a colour JPEG decodes straight into R8G8B8).
  return LoadFirstImage(path, image, options, facts, std::nullopt, RunFormatOf);
}

bool LoadFramesForRun(const std::string& path, std::vector<Image>& frames, imaging::Animation& animation,
                      const imaging::CodecOptions& options, PhotoFacts* facts) {
  return LoadImages(path, frames, true, options, facts, &animation, std::nullopt, RunFormatOf);
}

namespace {

// The default extension of the codec that writes `outputPath`; empty for none (and for icons).
std::string OutputType(const std::string& outputPath) {
  if (IsIconPath(outputPath)) return std::string();
  const imaging::Codec* codec = imaging::FindFormatByFileName(outputPath);
  return codec != nullptr && codec->CanSave ? codec->DefaultExtension() : std::string();
}

// The type's short name as people write it: "JPEG", "PNG", "TIFF".
std::string TypeName(const std::string& extension) {
  if (extension == "jpg") return "JPEG";
  if (extension == "tif") return "TIFF";
  std::string text = extension;
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return text;
}

}  // namespace

bool RunKeepsFrames(const std::string& sourceFormat, const std::string& outputPath) {
  const std::string output = OutputType(outputPath);
  return (IsAnimationType(sourceFormat) && IsAnimationType(output)) || (IsPagesType(sourceFormat) && IsPagesType(output));
}

bool MayHoldFrames(const std::string& sourceFormat) {
  return IsAnimationType(sourceFormat) || IsPagesType(sourceFormat);
}

std::string FirstFrameNote(int32_t frames, const std::string& sourceFormat, const std::string& outputPath) {
  const std::string what = IsPagesType(sourceFormat) ? " pages" : " frames";
  const std::string has = "The file has " + (frames > imaging::kMaxFrames ? "more than " + std::to_string(imaging::kMaxFrames)
                                                                          : std::to_string(frames)) + what;
  std::string output = OutputType(outputPath);
  if (output.empty()) output = base::ExtensionOf(outputPath).empty() ? "the output" : base::ExtensionOf(outputPath).substr(1);
  const imaging::Codec* codec = imaging::FindFormatByFileName(outputPath);
  if (IsIconPath(outputPath) || codec == nullptr || !codec->IsMultiImage)
    return has + "; " + TypeName(output) + " holds one: the first was written";
  return has + "; the first was written (" + TypeName(output) + (IsPagesType(sourceFormat) ? " frames are not made from pages)" : " pages are not made from frames)");
}

void PrepareForOutput(Image& image, const std::string& outputPath) {
  using PF = imaging::PixelFormat;
  if (!imaging::IsImageValid(image) || IsIconPath(outputPath)) return;
  const imaging::Codec* codec = imaging::FindFormatByFileName(outputPath);
  if (codec == nullptr) return;
  if (codec->DefaultExtension() == "dds") {
    imaging::ConvertImageFormat(image, PF::A8R8G8B8);
    return;
  }
  PF opaque;
  switch (image.Format()) {
    case PF::A8R8G8B8: opaque = PF::R8G8B8; break;
    case PF::A8Gray8: opaque = PF::Gray8; break;
    case PF::A16Gray16: opaque = PF::Gray16; break;
    case PF::A16R16G16B16: opaque = PF::R16G16B16; break;
    case PF::A16B16G16R16: opaque = PF::B16G16R16; break;
    default: return;
  }
  if (imaging::IsImageOpaque(image)) imaging::ConvertImageFormat(image, opaque);
}

bool SaveImageFile(const std::string& path, const Image& image, const imaging::CodecOptions& options) {
  if (path.empty() || !imaging::IsImageValid(image)) return false;
  std::string error;
  if (IsIconPath(path)) {
    // A .cur target gets the same icon file as an .ico target.
    const std::vector<uint8_t> bytes = imaging::formats::EncodeIconFile(image);
    if (!base::WriteFileAtomically(path, bytes, &error)) imaging::RaiseImaging(error);
    return true;
  }

  const imaging::Codec* codec = imaging::FindFormatByFileName(path);
  if (!codec || !codec->CanSave) return false;
  // The codec writes into a FileStream, which keeps a temporary name beside the target and
  // renames only a complete file into place, so a failing codec leaves an existing file as it was.
  // The codec writes this type of file, so a refusal is a failure of this image: its cause goes
  // with it rather than a plain false that the run would report as "no codec".
  if (!codec->SaveToFile(path, std::span(&image, 1), true, SaveOptions(options, image)))
    imaging::RaiseImaging("The %s codec could not write a %dx%d %s image to \"%s\".", codec->Name.c_str(),
                          image.Width(), image.Height(), imaging::GetFormatName(image.Format()).c_str(), path.c_str());
  return true;
}

std::optional<std::vector<uint8_t>> EncodeImageFile(const std::string& path, const Image& image,
                                                    const imaging::CodecOptions& options) {
  return EncodeImageFile(path, std::span(&image, 1), options);
}

std::optional<std::vector<uint8_t>> EncodeImageFile(const std::string& path, std::span<const Image> frames,
                                                    const imaging::CodecOptions& options) {
  if (path.empty() || frames.empty() || !imaging::IsImageValid(frames[0])) return std::nullopt;
  const Image& image = frames[0];
  if (IsIconPath(path)) return imaging::formats::EncodeIconFile(image);
  const imaging::Codec* codec = imaging::FindFormatByFileName(path);
  if (!codec || !codec->CanSave) return std::nullopt;
  imaging::MemoryStream stream;
  const bool all = frames.size() > 1 && codec->IsMultiImage;
  if (!codec->SaveToStream(stream, all ? frames : frames.first(1), !all, SaveOptions(options, image)))
    imaging::RaiseImaging("The %s codec could not write a %dx%d %s image to \"%s\".", codec->Name.c_str(),
                          image.Width(), image.Height(), imaging::GetFormatName(image.Format()).c_str(), path.c_str());
  return std::move(stream.Data());
}

}  // namespace engine
