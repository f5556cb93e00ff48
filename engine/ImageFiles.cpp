#include "engine/ImageFiles.h"

#include "base/Paths.h"
#include "base/Text.h"

#include "imaging/Imaging.h"
#include "engine/SafeFile.h"
#include "imaging/formats/ImagingIcon.h"

namespace vexilo {

namespace {

using imaging::ImageData;


void ReleaseQuietly(ImageData& image) {
  try {
    imaging::ReleaseImage(image);
  } catch (...) {
  }
}

// Puts a loaded image into the caller's record, releasing what the record held before.
void HandOver(ImageData& loaded, ImageData& image) {
  ReleaseQuietly(image);
  image = loaded;
  imaging::ResetImage(loaded);
}

bool LoadIconFile(const std::string& path, ImageData& image) {
  imaging::TIconCursorList list;
  list.LoadFromFile(path);
  // The richest image first: the greatest colour depth, and of those the largest.
  list.Sort(imaging::TIconCursorList::kSortSizeFirst, imaging::TIconCursorList::kSortDescending);
  list.Sort(imaging::TIconCursorList::kSortColorTypeFirst, imaging::TIconCursorList::kSortDescending);
  const imaging::TIconCursorImage& first = list[0];
  ImageData drawn;
  if (!imaging::CreateImage(first.DrawWidth(), first.DrawHeight(), imaging::PixelFormat::A8R8G8B8, drawn)) return false;
  first.Draw(drawn, 0, 0);
  HandOver(drawn, image);
  return true;
}

// Lends the caller's image to a one-image array for the codec, and takes it back on every way
// out so that the array never releases the caller's buffers.
class TLentImage {
public:
  explicit TLentImage(const ImageData& image) { images_.AddEmpty() = image; }
  ~TLentImage() { images_.Detach(0); }
  TLentImage(const TLentImage&) = delete;
  TLentImage& operator=(const TLentImage&) = delete;
  imaging::TDynImageDataArray& Images() { return images_; }

private:
  imaging::TDynImageDataArray images_;
};

}  // namespace

bool IsIconPath(const std::string& path) {
  const std::string ext = base::ExtensionOf(path);
  return base::EqualNoCase(ext, ".ico") || base::EqualNoCase(ext, ".cur");
}

bool LoadImageFile(const std::string& path, ImageData& image) {
  if (path.empty()) return false;
  if (IsIconPath(path)) return LoadIconFile(path, image);

  const std::string extension = imaging::DetectFileFormat(path);
  if (extension.empty()) return false;
  imaging::TImageFileFormat* codec = imaging::FindFormatByExtension(extension);
  if (!codec) return false;
  imaging::TDynImageDataArray images;
  if (!codec->LoadFromFile(path, images, true) || images.empty()) return false;
  ImageData loaded = images[0];
  images.Detach(0);
  try {
    if (!imaging::ConvertImageFormat(loaded, imaging::PixelFormat::A8R8G8B8)) {
      ReleaseQuietly(loaded);
      return false;
    }
  } catch (...) {
    ReleaseQuietly(loaded);
    throw;
  }
  HandOver(loaded, image);
  return true;
}

bool SaveImageFile(const std::string& path, const ImageData& image) {
  if (path.empty() || !imaging::IsImageValid(image)) return false;
  std::string error;
  if (IsIconPath(path)) {
    // A .cur target gets the same icon file as an .ico target.
    const std::vector<uint8_t> bytes = imaging::EncodeIconFile(image);
    if (!WriteFileAtomically(path, bytes, &error)) imaging::RaiseImaging(error);
    return true;
  }

  imaging::TImageFileFormat* codec = imaging::FindFormatByFileName(path);
  if (!codec || !codec->CanSave) return false;
  // FileIO writes under a temporary name beside the target and renames only a complete file
  // into place, so a failing codec leaves an existing file as it was.
  TLentImage lent(image);
  return codec->SaveToFile(path, lent.Images(), true);
}

}  // namespace vexilo
