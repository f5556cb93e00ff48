#include "engine/ImageFiles.h"

#include "base/Paths.h"
#include "base/Text.h"

#include "imaging/Imaging.h"
#include "imaging/ImagingOrientation.h"
#include "engine/SafeFile.h"
#include "imaging/formats/ImagingIcon.h"

namespace vexilo {

namespace {

using imaging::ImageData;

// Puts a loaded image into the caller's record; what the record held before is released.
void HandOver(imaging::Image& loaded, ImageData& image) {
  const imaging::Image previous(std::move(image));
  image = loaded.release();
}

bool LoadIconFile(const std::string& path, ImageData& image) {
  imaging::TIconCursorList list;
  list.LoadFromFile(path);
  // The richest image first: the greatest colour depth, and of those the largest.
  list.Sort(imaging::TIconCursorList::kSortSizeFirst, imaging::TIconCursorList::kSortDescending);
  list.Sort(imaging::TIconCursorList::kSortColorTypeFirst, imaging::TIconCursorList::kSortDescending);
  const imaging::TIconCursorImage& first = list[0];
  imaging::Image drawn;
  if (!imaging::CreateImage(first.DrawWidth(), first.DrawHeight(), imaging::PixelFormat::A8R8G8B8, drawn)) return false;
  first.Draw(drawn, 0, 0);
  HandOver(drawn, image);
  return true;
}

}  // namespace

bool IsIconPath(const std::string& path) {
  const std::string ext = base::ExtensionOf(path);
  return base::EqualNoCase(ext, ".ico") || base::EqualNoCase(ext, ".cur");
}

bool LoadImageFile(const std::string& path, ImageData& image, const imaging::CodecOptions& options,
                   PhotoFacts* facts) {
  if (facts) *facts = PhotoFacts();
  if (path.empty()) return false;
  if (IsIconPath(path)) return LoadIconFile(path, image);

  const std::string extension = imaging::DetectFileFormat(path);
  if (extension.empty()) return false;
  const imaging::TImageFileFormat* codec = imaging::FindFormatByExtension(extension);
  if (!codec) return false;
  // Codecs that can decode into the run's format do so, and need no second copy of the picture.
  imaging::CodecOptions loadOptions = options;
  loadOptions.Set(imaging::ImagingLoadOverrideFormat, static_cast<int32_t>(imaging::PixelFormat::A8R8G8B8));
  imaging::TDynImageDataArray images;
  imaging::CodecOptions found;
  if (!codec->LoadFromFile(path, images, true, loadOptions, &found) || images.empty()) return false;
  if (facts) {
    facts->orientation = imaging::ValidOrientation(found.Get(imaging::ImagingLoadedOrientation));
    facts->profile = found.Profile();
  }
  imaging::Image loaded(std::move(images[0]));
  images.Detach(0);
  if (!imaging::ConvertImageFormat(loaded, imaging::PixelFormat::A8R8G8B8)) return false;
  HandOver(loaded, image);
  return true;
}

bool SaveImageFile(const std::string& path, const ImageData& image, const imaging::CodecOptions& options) {
  if (path.empty() || !imaging::IsImageValid(image)) return false;
  std::string error;
  if (IsIconPath(path)) {
    // A .cur target gets the same icon file as an .ico target.
    const std::vector<uint8_t> bytes = imaging::EncodeIconFile(image);
    if (!WriteFileAtomically(path, bytes, &error)) imaging::RaiseImaging(error);
    return true;
  }

  const imaging::TImageFileFormat* codec = imaging::FindFormatByFileName(path);
  if (!codec || !codec->CanSave) return false;
  // FileIO writes under a temporary name beside the target and renames only a complete file
  // into place, so a failing codec leaves an existing file as it was.
  imaging::BorrowedImage lent(image);
  // The codec writes this type of file, so a refusal is a failure of this image: its cause goes
  // with it rather than a plain false that the run would report as "no codec".
  if (!codec->SaveToFile(path, lent.Images(), true, options))
    imaging::RaiseImaging("The %s codec could not write a %dx%d %s image to \"%s\".", codec->Name.c_str(),
                          image.Width, image.Height, imaging::GetFormatName(image.Format).c_str(), path.c_str());
  return true;
}

std::optional<std::vector<uint8_t>> EncodeImageFile(const std::string& path, const ImageData& image,
                                                    const imaging::CodecOptions& options) {
  if (path.empty() || !imaging::IsImageValid(image)) return std::nullopt;
  if (IsIconPath(path)) return imaging::EncodeIconFile(image);
  const imaging::TImageFileFormat* codec = imaging::FindFormatByFileName(path);
  if (!codec || !codec->CanSave) return std::nullopt;
  imaging::BorrowedImage lent(image);
  imaging::TMemoryStream stream;
  if (!codec->SaveToStream(stream, lent.Images(), true, options))
    imaging::RaiseImaging("The %s codec could not write a %dx%d %s image to \"%s\".", codec->Name.c_str(),
                          image.Width, image.Height, imaging::GetFormatName(image.Format).c_str(), path.c_str());
  return std::move(stream.Data());
}

}  // namespace vexilo
