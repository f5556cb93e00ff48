// Owned images. `ImageData` is a plain record whose copies share their buffers; the types here
// say who releases them: an `Image` owns its buffers and releases them when it goes, a
// `PreparedImage` is what a codec writes (the caller's image itself or a converted copy it
// owns), and a `BorrowedImage` lends a caller's image to a one-image array for a save.
#pragma once

#include <utility>

#include "imaging/PixelFormats.h"

namespace imaging {

// One image that owns its buffers. Moving hands them over; the destructor releases them and
// never throws. The library's functions take `ImageData&`, which an Image lends implicitly.
class Image {
public:
  Image() noexcept = default;
  // Takes over the buffers of `adopted`, whose record is reset.
  explicit Image(ImageData&& adopted) noexcept : data_(adopted) { ResetImage(adopted); }
  Image(Image&& other) noexcept : data_(other.data_) { ResetImage(other.data_); }
  Image& operator=(Image&& other) noexcept {
    if (this != &other) {
      reset();
      data_ = other.data_;
      ResetImage(other.data_);
    }
    return *this;
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image() { reset(); }

  ImageData& data() noexcept { return data_; }
  const ImageData& data() const noexcept { return data_; }
  operator ImageData&() noexcept { return data_; }
  operator const ImageData&() const noexcept { return data_; }
  ImageData* operator->() noexcept { return &data_; }
  const ImageData* operator->() const noexcept { return &data_; }

  bool valid() const { return IsImageValid(data_); }
  // Releases the buffers now; the image is empty afterwards.
  void reset() noexcept {
    try {
      ReleaseImage(data_);
    } catch (...) {
      ResetImage(data_);
    }
  }
  // Hands the buffers to the caller, who releases them; the image is empty afterwards.
  [[nodiscard]] ImageData release() noexcept {
    const ImageData result = data_;
    ResetImage(data_);
    return result;
  }

private:
  ImageData data_;
};

// The image a codec writes: either the caller's image itself (its format is one the codec
// writes) or a converted copy that this object owns and releases.
class PreparedImage {
public:
  PreparedImage() noexcept = default;
  PreparedImage(PreparedImage&&) noexcept = default;
  PreparedImage& operator=(PreparedImage&&) noexcept = default;

  // Shares the caller's buffers; the caller keeps them.
  void Borrow(const ImageData& image) noexcept {
    copy_.reset();
    owned_ = false;
    view_ = image;
  }
  // Takes over a converted copy.
  void Own(Image&& copy) noexcept {
    copy_ = std::move(copy);
    owned_ = true;
    ResetImage(view_);
  }
  const ImageData& data() const noexcept { return owned_ ? copy_.data() : view_; }
  operator const ImageData&() const noexcept { return data(); }
  const ImageData* operator->() const noexcept { return &data(); }
  // True when the pixels are a copy the codec may change in place (Copy()).
  bool IsCopy() const noexcept { return owned_; }
  ImageData& Copy() noexcept { return copy_.data(); }

private:
  ImageData view_;
  Image copy_;
  bool owned_ = false;
};

// A caller's image lent to a one-image array for a save. The array never releases it: the
// record is taken back out on every way out.
class BorrowedImage {
public:
  explicit BorrowedImage(const ImageData& image) { images_.AddEmpty() = image; }
  ~BorrowedImage() {
    while (!images_.empty()) images_.Detach(images_.size() - 1);
  }
  BorrowedImage(const BorrowedImage&) = delete;
  BorrowedImage& operator=(const BorrowedImage&) = delete;
  ImageArray& Images() noexcept { return images_; }

private:
  ImageArray images_;
};

}  // namespace imaging
