// One image in memory, and what a codec writes. An `Image` owns its pixels and, for the indexed
// formats, its palette; nothing else ever holds or frees them. A multi-image file is a
// `std::vector<Image>`.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/Types.h"

namespace imaging {

class Image;
enum class ResizeFilter : int32_t;

// How the frames of an animation play, beside the frames themselves (a std::vector<Image> of
// whole pictures, each as the viewer shows it, so that no disposal or offset is needed to
// draw them). A decoder of an animation fills it; an encoder of animations writes it.
struct Animation {
  // How often the whole animation plays; 0 for without end.
  int32_t loopCount = 0;
  // How long each frame is shown, in milliseconds, one entry per frame; empty when the file
  // is no animation (pages of a TIFF file, or a still picture).
  std::vector<int32_t> delaysMs;

  bool Animated() const { return !delaysMs.empty(); }
  // The delay of frame `index`, or `fallback` when none is known.
  int32_t DelayOf(size_t index, int32_t fallback) const {
    return index < delaysMs.size() ? delaysMs[index] : fallback;
  }
};

// The most frames or pages a load gives: a file may declare many tiny frames with a few bytes
// each, and every frame is held while the file is converted.
inline constexpr int64_t kMaxFrames = 10000;

// Fills `image` (emptied first) with a zero-filled width × height image of the format; false for
// a zero side. Raises "Error while creating image data with params: ..." when it fails.
bool CreateImage(int32_t width, int32_t height, PixelFormat format, Image& image);
// Makes `target` an independent copy of `source`: its own pixels and palette. False, and the
// target left alone, when the source is not valid. Raises "Error while cloning image. ..." when
// it fails.
bool CopyImage(const Image& source, Image& target);

// One image: Width × Height pixels of one pixel format, stored row after row from the top row
// down with no padding (the block-compressed formats as rows of 4 × 4 blocks), and a palette of
// 256 entries for the indexed formats. Move-only: moving hands the buffers over and leaves the
// source empty; a copy is always explicit (CopyImage or Clone). The destructor releases both
// buffers and never throws. The dimensions change only together with the buffer, by the
// library's operations, which build a new image and move it in.
class Image {
public:
  Image() noexcept = default;
  Image(Image&& other) noexcept;
  Image& operator=(Image&& other) noexcept;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image() = default;

  int32_t Width() const noexcept { return width_; }
  int32_t Height() const noexcept { return height_; }
  PixelFormat Format() const noexcept { return format_; }
  // Bytes in Bits().
  int32_t Size() const noexcept { return size_; }
  uint8_t* Bits() noexcept { return bits_.get(); }
  const uint8_t* Bits() const noexcept { return bits_.get(); }
  // 256 entries for Index8, else null.
  Color32* Palette() noexcept { return palette_.get(); }
  const Color32* Palette() const noexcept { return palette_.get(); }

  // Releases the buffers now; the image is empty (and not valid) afterwards.
  void Reset() noexcept;
  // An independent copy (CopyImage); an empty image when this one is not valid.
  Image Clone() const;
  // Declares the pixels to be of another format whose pixels have the same byte size, for a
  // decoder that learns only after decoding how its bytes are to be read (16-bit pixels that
  // turn out to have no alpha are X1R5G5B5, not A1R5G5B5). Raises when the image is not valid,
  // or when the format is unknown, needs another byte size or another palette.
  void RelabelFormat(PixelFormat format);

private:
  friend bool CreateImage(int32_t width, int32_t height, PixelFormat format, Image& image);
  friend bool CopyImage(const Image& source, Image& target);
  // A resized indexed image keeps the palette buffer of the image it replaces.
  friend bool ResizeImage(Image& image, int32_t newWidth, int32_t newHeight, ResizeFilter filter);

  struct FreeBuffer {
    void operator()(void* buffer) const noexcept { std::free(buffer); }
  };

  int32_t width_ = 0;
  int32_t height_ = 0;
  PixelFormat format_ = PixelFormat::Unknown;
  int32_t size_ = 0;
  std::unique_ptr<uint8_t[], FreeBuffer> bits_;
  std::unique_ptr<Color32[], FreeBuffer> palette_;
};

// The image a codec writes: the caller's own image when the codec writes its format, else a
// converted copy held here. Neither copied nor moved, since it may point into itself.
class PreparedImage {
public:
  PreparedImage() noexcept = default;
  PreparedImage(const PreparedImage&) = delete;
  PreparedImage& operator=(const PreparedImage&) = delete;

  // Writes the caller's image, which must outlive this object.
  void Borrow(const Image& image) noexcept {
    copy_.Reset();
    image_ = &image;
  }
  // Writes a converted copy.
  void Own(Image&& copy) noexcept {
    copy_ = std::move(copy);
    image_ = &copy_;
  }
  const Image& Get() const noexcept { return image_ ? *image_ : copy_; }
  operator const Image&() const noexcept { return Get(); }
  const Image* operator->() const noexcept { return &Get(); }

private:
  const Image* image_ = nullptr;
  Image copy_;
};

}  // namespace imaging
