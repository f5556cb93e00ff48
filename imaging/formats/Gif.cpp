// GIF reading and writing. Frames are decoded into Index8 images with their own palettes and,
// by default, composed on the logical screen into the pictures an animation player shows.
#include "imaging/Headers.h"
#include "imaging/formats/Gif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>

namespace imaging::formats {

namespace {

constexpr int32_t kMaxLZWBits = 12;
constexpr int32_t kMaxLZWCodes = 1 << kMaxLZWBits;
// The pixels one read may hold in raw frames, and separately in composed frames. A GIF frame
// can declare the whole logical screen with a few bytes of data, so without a limit a small
// file with many frames could ask for any amount of memory.
constexpr int64_t kMaxFramePixelsPerFile = kMaxImagePixels;
// Composing after a "restore previous" frame redraws earlier frames; this bounds the pixels
// drawn (and frames visited) in one read, so that a crafted file cannot make it quadratic.
constexpr int64_t kMaxComposeWork = int64_t(4) * kMaxImagePixels;

[[noreturn]] void RaiseLZW() { RaiseImaging("Error when decoding GIF LZW data"); }

inline uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void StoreLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Sequential reader with its own buffer; at the end of the data it answers -1 or short counts,
// which end the file as a trailer would.
class GifReader {
public:
  explicit GifReader(Stream& stream) : stream_(stream) {}

  int ReadByte() {
    if (pos_ == size_ && !Refill()) return -1;
    return buffer_[pos_++];
  }

  // Reads up to `count` bytes; answers how many were read.
  size_t Read(uint8_t* target, size_t count) {
    size_t done = 0;
    while (done < count) {
      if (pos_ == size_ && !Refill()) break;
      const size_t step = std::min(count - done, size_ - pos_);
      std::memcpy(target + done, buffer_ + pos_, step);
      pos_ += step;
      done += step;
    }
    return done;
  }

  // Skips a sequence of sub-blocks up to and including the zero-length block.
  void SkipSubBlocks() {
    for (int size = ReadByte(); size > 0; size = ReadByte()) {
      uint8_t block[255];
      if (Read(block, size_t(size)) != size_t(size)) return;
    }
  }

  // Appends the payload of a sequence of sub-blocks to `target`; false when the data end
  // before the zero-length block.
  bool ReadSubBlocks(std::vector<uint8_t>& target) {
    for (int size = ReadByte();; size = ReadByte()) {
      if (size <= 0) return size == 0;
      const size_t old = target.size();
      target.resize(old + size_t(size));
      const size_t got = Read(target.data() + old, size_t(size));
      if (got != size_t(size)) {
        target.resize(old + got);
        return false;
      }
    }
  }

private:
  bool Refill() {
    const int64_t got = stream_.Read(buffer_, sizeof(buffer_));
    pos_ = 0;
    size_ = got > 0 ? size_t(got) : 0;
    return size_ > 0;
  }

  Stream& stream_;
  uint8_t buffer_[16384];
  size_t pos_ = 0;
  size_t size_ = 0;
};

// One decoded frame as the file describes it.
struct GifFrame {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t Disposal = 0;
  bool HasTransparency = false;
  uint8_t TransparentIndex = 0;
  bool HasLocalTable = false;
  uint8_t Background = 0;  // the screen's background index
  // A viewer shows the screen after this image as one picture of the animation: the image
  // carries a graphic control extension (even with a delay of 0, which browsers play as a
  // short delay).
  bool EndsPicture = false;
  int32_t DelayCs = 0;  // how long the picture is shown, in hundredths of a second
  bool Interlaced = false;
  // Pixels the data gave, in the order they are stored; the rest of the frame is missing and
  // is not drawn.
  int64_t Decoded = 0;
};

// The Graphic Control Extension that applies to the next image.
struct PendingControl {
  bool Present = false;
  bool Transparent = false;
  uint8_t Disposal = 0;
  uint8_t TransparentIndex = 0;
  int32_t DelayCs = 0;
};

// Application extensions that make a file loop, identified by their first sub-block.
bool IsLoopExtension(const uint8_t* block, size_t size) {
  return size == 11 && (std::memcmp(block, "NETSCAPE2.0", 11) == 0 || std::memcmp(block, "ANIMEXTS1.0", 11) == 0);
}

// Reads the sub-blocks of a loop extension up to its end; answers the repeat count of its
// loop sub-block (1, count low, count high), or -1 when it has none.
int32_t ReadLoopRepeats(GifReader& reader) {
  int32_t repeats = -1;
  for (int size = reader.ReadByte(); size > 0; size = reader.ReadByte()) {
    uint8_t block[255];
    if (reader.Read(block, size_t(size)) != size_t(size)) break;
    if (size >= 3 && block[0] == 1) repeats = LoadLE16(block + 1);
  }
  return repeats;
}

// How often an animation plays (imaging::Animation::loopCount) for a file's repeat count: no
// loop extension plays once, 0 repeats without end, n repeats n more times.
int32_t PlaysOf(int32_t repeats) {
  if (repeats < 0) return 1;
  if (repeats == 0) return 0;
  return repeats + 1;
}

// Reads `count` red-green-blue triples into opaque palette entries; missing bytes stay zero.
// False when the data end inside the table.
bool ReadColorTable(GifReader& reader, Color32* palette, int32_t count) {
  uint8_t rgb[256 * 3] = {};
  const size_t got = reader.Read(rgb, size_t(count) * 3);
  for (int32_t i = 0; i < count; ++i) palette[i] = MakeColor32(255, rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
  return got == size_t(count) * 3;
}

// Fills the rows of a frame in file order, or in the four interlace passes. Only the first
// `storedRows` rows of the frame have room in `pixels`; the data of a frame that was given fewer
// cannot reach the others.
class RowSink {
public:
  RowSink(uint8_t* pixels, int32_t width, int32_t height, int32_t storedRows, bool interlaced)
      : pixels_(pixels), width_(size_t(width)), height_(size_t(height)), storedRows_(size_t(storedRows)),
        interlaced_(interlaced) {
    line_ = pixels_;
  }
  bool Full() const { return rowsDone_ == height_; }
  size_t Produced() const { return rowsDone_ * width_ + x_; }

  void Put(uint8_t value) {
    if (y_ < storedRows_) line_[x_] = value;
    if (++x_ < width_) return;
    x_ = 0;
    if (++rowsDone_ == height_) return;
    static constexpr size_t kStart[4] = {0, 4, 2, 1};
    static constexpr size_t kStep[4] = {8, 8, 4, 2};
    if (!interlaced_) {
      ++y_;
    } else {
      y_ += kStep[pass_];
      while (y_ >= height_ && pass_ < 3) y_ = kStart[++pass_];
      if (y_ >= height_) y_ = height_ - 1;
    }
    if (y_ < storedRows_) line_ = pixels_ + y_ * width_;
  }

private:
  uint8_t* pixels_;
  uint8_t* line_;
  size_t width_, height_, storedRows_;
  bool interlaced_;
  size_t x_ = 0, y_ = 0, rowsDone_ = 0;
  int pass_ = 0;
};

}  // namespace

// ---- LZW --------------------------------------------------------------------------------------

int64_t MaxLZWPixels(size_t size, int32_t minCodeSize) {
  if (minCodeSize < 2 || minCodeSize > 9) return 0;
  // A code of w bits is below 2^w, and a table entry's string is at most one pixel longer than
  // the entry before it, the first after a clear code being two pixels long: so a code gives at
  // most 2^w - 1 - clear pixels, and 12-bit codes give the most per bit.
  const int64_t clear = int64_t(1) << minCodeSize;
  return (int64_t(size) * 8 * (kMaxLZWCodes - 1 - clear) + kMaxLZWBits - 1) / kMaxLZWBits;
}

size_t DecodeGIFLZW(const uint8_t* data, size_t size, int32_t minCodeSize, uint8_t* pixels, int32_t width,
                    int32_t height, bool interlaced, int32_t storedRows) {
  if (minCodeSize < 2 || minCodeSize > 9) RaiseLZW();
  const int32_t clear = 1 << minCodeSize;
  const int32_t end = clear + 1;
  uint16_t prefix[kMaxLZWCodes] = {};
  uint8_t suffix[kMaxLZWCodes] = {};
  uint8_t stack[kMaxLZWCodes + 1];

  int32_t codeWidth = minCodeSize + 1;
  int32_t nextFree = clear + 2;
  bool full = false;
  int32_t previous = -1;  // none: the next code is output directly
  uint8_t previousFirst = 0;

  size_t pos = 0;
  uint32_t bits = 0;
  int32_t bitCount = 0;
  RowSink sink(pixels, width, height, std::min(storedRows, height), interlaced);

  while (!sink.Full()) {
    while (bitCount < codeWidth) {
      // Data that end without an end code give the pixels decoded so far; data that give none
      // are no image data.
      if (pos == size) {
        if (sink.Produced() == 0) RaiseLZW();
        return sink.Produced();
      }
      bits |= uint32_t(data[pos++]) << bitCount;
      bitCount += 8;
    }
    const int32_t code = static_cast<int32_t>(bits & ((1u << codeWidth) - 1));
    bits >>= codeWidth;
    bitCount -= codeWidth;

    if (code == clear) {
      codeWidth = minCodeSize + 1;
      nextFree = clear + 2;
      full = false;
      previous = -1;
      continue;
    }
    if (code == end) return sink.Produced();
    if (previous < 0) {
      if (code >= clear || code > 255) RaiseLZW();
      sink.Put(static_cast<uint8_t>(code));
      previous = code;
      previousFirst = static_cast<uint8_t>(code);
      continue;
    }

    // Unwind the string onto the stack, last character first.
    size_t depth = 0;
    int32_t c = code;
    if (code >= nextFree) {
      stack[depth++] = previousFirst;
      c = previous;
    }
    while (c >= clear) {
      if (depth >= kMaxLZWCodes) RaiseLZW();
      stack[depth++] = suffix[c];
      c = prefix[c];
    }
    if (c > 255) RaiseLZW();
    stack[depth++] = static_cast<uint8_t>(c);
    const uint8_t first = static_cast<uint8_t>(c);
    while (depth > 0 && !sink.Full()) sink.Put(stack[--depth]);

    if (!full) {
      prefix[nextFree] = static_cast<uint16_t>(previous);
      suffix[nextFree] = first;
      ++nextFree;
      if (nextFree == (1 << codeWidth)) {
        if (codeWidth == kMaxLZWBits)
          full = true;
        else
          ++codeWidth;
      }
    }
    previous = code;
    previousFirst = first;
  }
  return sink.Produced();
}

namespace {

// Packs codes least significant bit first.
class CodeWriter {
public:
  explicit CodeWriter(std::vector<uint8_t>& target) : target_(target) {}
  void Put(uint32_t code, int32_t width) {
    bits_ |= code << bitCount_;
    bitCount_ += width;
    while (bitCount_ >= 8) {
      target_.push_back(static_cast<uint8_t>(bits_));
      bits_ >>= 8;
      bitCount_ -= 8;
    }
  }
  void Flush() {
    if (bitCount_ > 0) target_.push_back(static_cast<uint8_t>(bits_));
    bits_ = 0;
    bitCount_ = 0;
  }

private:
  std::vector<uint8_t>& target_;
  uint32_t bits_ = 0;
  int32_t bitCount_ = 0;
};

// Open-addressing table from (string code, next pixel) to the code of the longer string. The
// hash only decides where an entry lives, never which code it gets.
class LzwTable {
public:
  static constexpr size_t kSlots = 17777;
  void Clear() { std::memset(keys_, 0xFF, sizeof(keys_)); }
  // Answers the code, or -1 with `slot` set to where the pair would go.
  int32_t Find(uint32_t key, size_t& slot) const {
    slot = (key * 2654435761u >> 8) % kSlots;
    while (keys_[slot] != kEmpty) {
      if (keys_[slot] == key) return codes_[slot];
      if (++slot == kSlots) slot = 0;
    }
    return -1;
  }
  void Add(size_t slot, uint32_t key, int32_t code) {
    keys_[slot] = key;
    codes_[slot] = static_cast<uint16_t>(code);
  }

private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  uint32_t keys_[kSlots];
  uint16_t codes_[kSlots];
};

}  // namespace

std::vector<uint8_t> EncodeGIFLZW(const uint8_t* pixels, size_t count) {
  constexpr int32_t kClear = 256;
  constexpr int32_t kEnd = 257;
  constexpr int32_t kFirstCode = 258;
  std::vector<uint8_t> out;
  out.reserve(count / 2 + 16);
  CodeWriter writer(out);
  auto table = std::make_unique<LzwTable>();
  table->Clear();
  int32_t codeWidth = 9;
  int32_t nextCode = kFirstCode;
  writer.Put(kClear, codeWidth);

  int32_t current = -1;  // code of the string being extended, -1 when none
  for (size_t i = 0; i < count; ++i) {
    const uint8_t pixel = pixels[i];
    if (current < 0) {
      current = pixel;
      continue;
    }
    const uint32_t key = (uint32_t(current) << 8) | pixel;
    size_t slot = 0;
    const int32_t found = table->Find(key, slot);
    if (found >= 0) {
      current = found;
      continue;
    }
    writer.Put(uint32_t(current), codeWidth);
    const int32_t added = nextCode++;
    table->Add(slot, key, added);
    current = pixel;
    if (added == (1 << codeWidth)) {
      ++codeWidth;
    } else if (added >= kMaxLZWCodes - 2) {
      // Start over before a code would need more than 12 bits.
      writer.Put(uint32_t(current), codeWidth);
      writer.Put(kClear, codeWidth);
      table->Clear();
      nextCode = kFirstCode;
      codeWidth = 9;
      current = -1;
    }
  }
  if (current >= 0) writer.Put(uint32_t(current), codeWidth);
  writer.Put(kEnd, codeWidth);
  writer.Flush();
  return out;
}

// ---- Composing --------------------------------------------------------------------------------

namespace {

// The place of row y in the order a frame's rows are stored: top to bottom, or in the four
// interlace passes (rows 0, 8, 16, ...; then 4, 12, ...; then 2, 6, ...; then 1, 3, 5, ...).
int64_t StoredRowIndex(int32_t y, int32_t height, bool interlaced) {
  if (!interlaced) return y;
  const int64_t firstPass = (int64_t(height) + 7) / 8, secondPass = (int64_t(height) + 3) / 8;
  const int64_t thirdPass = (int64_t(height) + 1) / 4;
  if (y % 8 == 0) return y / 8;
  if (y % 8 == 4) return firstPass + y / 8;
  if (y % 4 == 2) return firstPass + secondPass + y / 4;
  return firstPass + secondPass + thirdPass + y / 2;
}

// How many rows from the top the first `pixels` pixels of a frame reach.
int32_t RowsReached(int64_t pixels, int32_t width, int32_t height, bool interlaced) {
  const int64_t rows = std::min<int64_t>(height, (pixels + width - 1) / width);
  if (!interlaced) return int32_t(rows);
  int32_t reached = 0;
  for (int32_t y = 0; y < height; ++y)
    if (StoredRowIndex(y, height, true) < rows) reached = y + 1;
  return reached;
}

// Draws the pixels the frame's data gave; the missing part, like a transparent pixel, leaves the
// screen as it was.
void DrawFrame(Image& canvas, const Image& frame, const GifFrame& info) {
  for (int32_t y = 0; y < frame.Height(); ++y) {
    const int64_t first = StoredRowIndex(y, info.Height, info.Interlaced) * info.Width;
    if (first >= info.Decoded) continue;
    const int32_t count = int32_t(std::min<int64_t>(info.Width, info.Decoded - first));
    const uint8_t* source = frame.Bits() + size_t(y) * size_t(frame.Width());
    uint8_t* target = canvas.Bits() + (size_t(info.Top + y) * size_t(canvas.Width()) + size_t(info.Left)) * 4;
    for (int32_t x = 0; x < count; ++x, target += 4) {
      const Color32 colour = frame.Palette()[source[x]];
      if (Color32Alpha(colour) != 0) std::memcpy(target, &colour, 4);
    }
  }
}

void FillFrameRect(Image& canvas, const GifFrame& info, Color32 colour) {
  FillImageRect(canvas, info.Left, info.Top, info.Width, info.Height, &colour);
}

// Composes the raw frames on a screen-sized A8R8G8B8 canvas as a player shows them, and gives
// one image for every frame that ends a picture (at most `pictures` of them).
void ComposeFrames(const std::vector<Image>& raw, const std::vector<GifFrame>& frames, int32_t width, int32_t height,
                   size_t pictures, std::vector<Image>& composed) {
  int64_t work = 0;
  auto spend = [&work](int64_t amount) {
    work += amount;
    if (work > kMaxComposeWork) RaiseImaging("GIF animation needs too much work to compose.");
  };
  // The screen after the previous frame.
  Image canvas;
  CreateImage(width, height, PixelFormat::A8R8G8B8, canvas);

  for (size_t i = 0; i < frames.size() && composed.size() < pictures; ++i) {
    const GifFrame& frame = frames[i];
    const Image& source = raw[i];
    const Color32 background = source.Palette()[frame.Background];

    if (i > 0 && frames[i - 1].Disposal != 3) {
      const GifFrame& before = frames[i - 1];
      if (before.Disposal == 2)
        FillFrameRect(canvas, before,
                      before.HasTransparency ? raw[i - 1].Palette()[before.TransparentIndex] : background);
    } else {
      const Color32 fill = frame.HasTransparency ? source.Palette()[frame.TransparentIndex] : background;
      spend(int64_t(width) * height);
      FillImageRect(canvas, 0, 0, width, height, &fill);
      size_t start = 0;
      for (size_t k = i; k-- > 1;) {
        spend(1);
        const GifFrame& f = frames[k];
        if (f.Disposal == 2 && f.Left == 0 && f.Top == 0 && f.Width >= width && f.Height >= height) {
          start = k;
          break;
        }
      }
      for (size_t k = start; k < i; ++k) {
        const GifFrame& f = frames[k];
        spend(1);
        if (f.Disposal == 0 || f.Disposal == 1) {
          spend(int64_t(f.Width) * f.Height);
          DrawFrame(canvas, raw[k], f);
        } else if (f.Disposal == 2 && k > start) {
          spend(int64_t(f.Width) * f.Height);
          FillFrameRect(canvas, f, background);
        }
      }
    }
    spend(int64_t(frame.Width) * frame.Height);
    DrawFrame(canvas, source, frame);
    if (frame.EndsPicture || i + 1 == frames.size()) {
      // The last picture wanted takes the screen itself; the others are copies of it.
      if (composed.size() + 1 == pictures) {
        composed.push_back(std::move(canvas));
        break;
      }
      spend(int64_t(width) * height);
      Image& picture = composed.emplace_back();
      CreateImage(width, height, PixelFormat::A8R8G8B8, picture);
      std::memcpy(picture.Bits(), canvas.Bits(), size_t(canvas.Size()));
    }
  }
}

}  // namespace

// ---- GifCodec -----------------------------------------------------------------------

GifCodec::GifCodec() {
  Name = "Graphics Interchange Format";
  CanLoad = true;
  CanSave = true;
  IsMultiImage = true;
  SupportedFormats = MakeFormatSet({PixelFormat::Index8});
  AddMasks("*.gif");
  CanReadHeader = true;
}

bool GifCodec::ProbeStream(Stream& stream) const {
  uint8_t header[kGIFHeaderSize];
  const int64_t count = stream.Read(header, sizeof(header));
  if (count > 0) stream.Seek(-count, SeekOrigin::Current);
  return count == int64_t(sizeof(header)) && std::memcmp(header, "GIF", 3) == 0 &&
         (std::memcmp(header + 3, "87a", 3) == 0 || std::memcmp(header + 3, "89a", 3) == 0);
}

namespace {

class GifDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
};

class GifEncoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
};

}  // namespace

std::unique_ptr<Decoder> GifCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<GifDecoder>(options);
}

std::unique_ptr<Encoder> GifCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<GifEncoder>(*this, options);
}

// ---- GifDecoder and GifEncoder ------------------------------------------------------

void GifEncoder::ConvertForSave(Image& image, const PixelFormatInfo&) {
  ConvertImageFormat(image, PixelFormat::Index8, Options.library.colorReductionMask);
}

bool GifDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) {
  GifReader reader(stream);
  uint8_t bytes[kGIFHeaderSize];
  if (reader.Read(bytes, kGIFHeaderSize) != kGIFHeaderSize) return true;
  GifHeader header{};
  std::memcpy(header.Signature, bytes, 3);
  std::memcpy(header.Version, bytes + 3, 3);
  header.ScreenWidth = LoadLE16(bytes + 6);
  header.ScreenHeight = LoadLE16(bytes + 8);
  header.PackedFields = bytes[10];
  header.BackgroundColor = bytes[11];
  header.AspectRatio = bytes[12];

  const int32_t screenWidth = header.ScreenWidth;
  const int32_t screenHeight = header.ScreenHeight;
  const bool hasGlobalTable = (header.PackedFields & 0x80) != 0;
  const int32_t globalCount = 1 << ((header.PackedFields & 7) + 1);
  Color32 globalTable[256] = {};
  if (hasGlobalTable) ReadColorTable(reader, globalTable, globalCount);

  std::vector<Image> raw;
  std::vector<GifFrame> frames;
  int32_t canvasWidth = screenWidth;
  int32_t canvasHeight = screenHeight;
  int64_t rawPixels = 0;
  PendingControl control;
  std::vector<uint8_t> lzw;
  bool looping = false;     // a loop extension was found
  int32_t repeats = -1;     // the first loop extension's repeat count; -1 for none
  bool anyControl = false;  // some image carries a graphic control extension
  bool firstPicture = false;  // the frames read so far complete the first picture
  bool missing = false;       // a frame's data end before its last pixel
  bool cut = false;           // the file ends inside an image

  int block = reader.ReadByte();
  while (block >= 0 && block != kGIFExtensionIntroducer && block != kGIFImageSeparator && block != kGIFTrailer)
    block = reader.ReadByte();

  while (block == kGIFExtensionIntroducer || block == kGIFImageSeparator) {
    if (block == kGIFExtensionIntroducer) {
      control = PendingControl{};
      do {
        const int label = reader.ReadByte();
        block = -1;  // the end of data ends the file
        if (label < 0) break;
        if (label == kGIFGraphicControlLabel) {
          uint8_t gce[kGraphicControlExtensionSize];
          if (reader.Read(gce, sizeof(gce)) != sizeof(gce)) break;
          control.Present = true;
          control.Transparent = (gce[1] & 1) != 0;
          control.Disposal = static_cast<uint8_t>((gce[1] >> 2) & 7);
          control.TransparentIndex = gce[4];
          control.DelayCs = LoadLE16(gce + 2);
        } else if (label == kGIFApplicationLabel) {
          const int size = reader.ReadByte();
          if (size > 0) {
            uint8_t identifier[255];
            const size_t got = reader.Read(identifier, size_t(size));
            if (got == size_t(size) && IsLoopExtension(identifier, got)) {
              looping = true;
              const int32_t found = ReadLoopRepeats(reader);
              if (found >= 0 && repeats < 0) repeats = found;
            } else {
              reader.SkipSubBlocks();
            }
          }
        } else {
          // Comments and plain text carry nothing we keep.
          reader.SkipSubBlocks();
        }
        block = reader.ReadByte();
      } while (block == kGIFExtensionIntroducer);
      continue;
    }

    // With only the first picture wanted, later frames matter for the canvas size alone.
    const bool wanted = !onlyFirst || frames.empty() || (Options.gif.loadAnimated && !firstPicture);
    uint8_t d[kImageDescriptorSize];
    if (reader.Read(d, sizeof(d)) != sizeof(d)) {
      cut = cut || wanted;
      break;
    }
    const ImageDescriptor descriptor{LoadLE16(d), LoadLE16(d + 2), LoadLE16(d + 4), LoadLE16(d + 6), d[8]};
    GifFrame frame;
    frame.Left = descriptor.Left;
    frame.Top = descriptor.Top;
    frame.Width = descriptor.Width == 0 || descriptor.Width > screenWidth ? screenWidth : descriptor.Width;
    frame.Height = descriptor.Height == 0 || descriptor.Height > screenHeight ? screenHeight : descriptor.Height;
    frame.HasLocalTable = (descriptor.PackedFields & 0x80) != 0;
    frame.Background = header.BackgroundColor;
    frame.HasTransparency = control.Present && control.Transparent;
    frame.TransparentIndex = control.TransparentIndex;
    frame.Disposal = control.Present ? control.Disposal : 0;
    frame.EndsPicture = control.Present;
    frame.DelayCs = control.DelayCs;
    frame.Interlaced = (descriptor.PackedFields & 0x40) != 0;
    anyControl = anyControl || frame.EndsPicture;

    Color32 palette[256] = {};
    bool whole = true;  // the frame's table and data are all there
    if (frame.HasLocalTable)
      whole = ReadColorTable(reader, palette, 1 << ((descriptor.PackedFields & 7) + 1));
    else if (hasGlobalTable)
      std::memcpy(palette, globalTable, sizeof(palette));
    else
      FillBitFieldPalette(palette, globalCount, 3, 3, 2, 255);
    if (frame.HasTransparency) palette[frame.TransparentIndex] &= 0x00FFFFFFu;

    const int minCodeSize = reader.ReadByte();
    lzw.clear();
    whole = minCodeSize >= 0 && reader.ReadSubBlocks(lzw) && whole;
    cut = cut || (wanted && !whole);
    control = PendingControl{};

    const bool dropped = frame.Left > screenWidth + 1 || frame.Top > screenHeight + 1;
    if (!dropped) {
      canvasWidth = std::max(canvasWidth, frame.Left + frame.Width);
      canvasHeight = std::max(canvasHeight, frame.Top + frame.Height);
    }
    bool kept = false;
    if (!dropped && wanted) {
      CheckImageDimensions(frame.Width, frame.Height, "GIF frame");
      // Room only for the rows the data can reach: a frame may declare the whole screen with a
      // few bytes of data, which then cannot fill more than a few of its rows.
      const int64_t declared = int64_t(frame.Width) * frame.Height;
      const int64_t reachable = MaxLZWPixels(lzw.size(), minCodeSize);
      const int32_t storedRows =
          reachable >= declared ? frame.Height : RowsReached(reachable, frame.Width, frame.Height, frame.Interlaced);
      rawPixels += int64_t(frame.Width) * storedRows;
      if (rawPixels > kMaxFramePixelsPerFile)
        RaiseImaging("GIF frames hold more than %lld pixels in all.", static_cast<long long>(kMaxFramePixelsPerFile));
      Image image;
      if (storedRows > 0) {
        CreateImage(frame.Width, storedRows, PixelFormat::Index8, image);
        std::memcpy(image.Palette(), palette, sizeof(palette));
        try {
          frame.Decoded = int64_t(DecodeGIFLZW(lzw.data(), lzw.size(), minCodeSize, image.Bits(), frame.Width,
                                               frame.Height, frame.Interlaced, storedRows));
          missing = missing || frame.Decoded < declared;
          raw.push_back(std::move(image));
          frames.push_back(frame);
          kept = true;
        } catch (const ImagingError&) {
          // A frame whose data cannot be decoded is left out; the others still load.
        }
      }
      if (onlyFirst && !Options.gif.loadAnimated && !frames.empty()) break;
    }
    // The pause of an image left out still ends the picture the images before it drew.
    if (!kept && frame.EndsPicture && !frames.empty() && wanted) {
      frames.back().EndsPicture = true;
      frames.back().DelayCs = frame.DelayCs;
    }
    firstPicture = firstPicture || (!frames.empty() && frames.back().EndsPicture);

    block = reader.ReadByte();
  }

  // A frame the data end in gives the pixels up to there; the rest of it is missing.
  if (!frames.empty() && (missing || cut)) AddLoadWarning("GIF data end early; the missing part is transparent");
  if (frames.empty()) return true;
  if (!Options.gif.loadAnimated) {
    images = std::move(raw);
    return true;
  }
  // Images without a graphic control extension are drawn one after the other without a pause,
  // so together they make one picture (a large picture tiled from several images, or one of
  // more than 256 colours). A looping file in which no image has one is the exception:
  // viewers play each image as a frame of its own.
  if (looping && !anyControl)
    for (GifFrame& frame : frames) frame.EndsPicture = true;
  frames.back().EndsPicture = true;
  size_t pictures = 0;
  for (const GifFrame& frame : frames) pictures += frame.EndsPicture ? 1 : 0;
  if (onlyFirst) pictures = 1;
  if (int64_t(pictures) > kMaxFrames)
    RaiseImaging("GIF animation has %zu frames, more than the %lld a file may have.", pictures,
                 static_cast<long long>(kMaxFrames));
  CheckImageDimensions(canvasWidth, canvasHeight, "GIF animation");
  if (int64_t(canvasWidth) * canvasHeight * int64_t(pictures) > kMaxFramePixelsPerFile)
    RaiseImaging("GIF animation frames hold more than %lld pixels in all.",
                 static_cast<long long>(kMaxFramePixelsPerFile));
  ComposeFrames(raw, frames, canvasWidth, canvasHeight, pictures, images);
  if (pictures > 1) {
    Facts.animation.loopCount = PlaysOf(repeats);
    for (const GifFrame& frame : frames)
      if (frame.EndsPicture) Facts.animation.delaysMs.push_back(frame.DelayCs * 10);
  }
  return true;
}

namespace {

// The 256 entries of a palette as red, green, blue triples.
void WriteColorTable(Stream& stream, const Color32* palette) {
  uint8_t table[256 * 3];
  for (int k = 0; k < 256; ++k) {
    table[k * 3] = Color32Red(palette[k]);
    table[k * 3 + 1] = Color32Green(palette[k]);
    table[k * 3 + 2] = Color32Blue(palette[k]);
  }
  stream.WriteExact(table, sizeof(table), "GIF colour table");
}

// The minimum code size and the LZW codes of `count` indices in sub-blocks of 255 bytes.
void WriteImageData(Stream& stream, const uint8_t* pixels, size_t count) {
  const std::vector<uint8_t> data = EncodeGIFLZW(pixels, count);
  std::vector<uint8_t> blocks;
  blocks.reserve(data.size() + data.size() / 255 + 3);
  blocks.push_back(8);
  for (size_t offset = 0; offset < data.size(); offset += 255) {
    const size_t size = std::min<size_t>(255, data.size() - offset);
    blocks.push_back(static_cast<uint8_t>(size));
    blocks.insert(blocks.end(), data.begin() + static_cast<ptrdiff_t>(offset),
                  data.begin() + static_cast<ptrdiff_t>(offset + size));
  }
  blocks.push_back(0);
  stream.WriteExact(blocks.data(), static_cast<int64_t>(blocks.size()), "GIF image data");
}

// The colour a GIF shows for a pixel: alpha is not written.
inline uint32_t ShownColour(const Image& image, size_t pixel) {
  return image.Palette()[image.Bits()[pixel]] & 0x00FFFFFFu;
}

// One palette for all frames when their colours together are no more than 256: `remap` then
// takes each frame's indices to the shared table's. False when they are more.
bool ShareOnePalette(const std::deque<PreparedImage>& frames, Color32* shared,
                     std::vector<std::array<uint8_t, 256>>& remap) {
  int32_t used = 0;
  remap.assign(frames.size(), {});
  for (size_t f = 0; f < frames.size(); ++f) {
    const Image& image = frames[f];
    bool present[256] = {};
    const size_t count = size_t(image.Width()) * size_t(image.Height());
    for (size_t p = 0; p < count; ++p) present[image.Bits()[p]] = true;
    for (int index = 0; index < 256; ++index) {
      if (!present[index]) continue;
      const Color32 colour = image.Palette()[index] | 0xFF000000u;
      int32_t at = 0;
      while (at < used && shared[at] != colour) ++at;
      if (at == used) {
        if (used == 256) return false;
        shared[used++] = colour;
      }
      remap[f][size_t(index)] = static_cast<uint8_t>(at);
    }
  }
  return true;
}

// The rectangle in which a frame differs from the one before it, in (left, top, width,
// height); at least one pixel, so that the frame still shows for its delay. The frames are
// compared as given, before their colours are reduced: two reductions of the same colours may
// choose slightly different ones, which would make every frame look changed everywhere. The
// whole frame where the two differ in size or format.
std::array<int32_t, 4> ChangedRect(const Image& before, const Image& frame) {
  if (before.Width() != frame.Width() || before.Height() != frame.Height() || before.Format() != frame.Format())
    return {0, 0, frame.Width(), frame.Height()};
  const size_t bytesPerPixel = size_t(frame.Size()) / (size_t(frame.Width()) * size_t(frame.Height()));
  const bool indexed = frame.Format() == PixelFormat::Index8;
  int32_t left = frame.Width(), top = frame.Height(), right = -1, bottom = -1;
  for (int32_t y = 0; y < frame.Height(); ++y) {
    const size_t row = size_t(y) * size_t(frame.Width());
    for (int32_t x = 0; x < frame.Width(); ++x) {
      const size_t pixel = row + size_t(x);
      const bool same = indexed ? ShownColour(before, pixel) == ShownColour(frame, pixel)
                                : std::memcmp(before.Bits() + pixel * bytesPerPixel, frame.Bits() + pixel * bytesPerPixel,
                                              bytesPerPixel) == 0;
      if (same) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = y;
    }
  }
  if (right < 0) return {0, 0, 1, 1};
  return {left, top, right - left + 1, bottom - top + 1};
}

}  // namespace

bool GifEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t) {
  int32_t screenWidth = 0;
  int32_t screenHeight = 0;
  for (int32_t i = FirstIndex; i <= LastIndex; ++i) {
    screenWidth = std::max(screenWidth, images[size_t(i)].Width());
    screenHeight = std::max(screenHeight, images[size_t(i)].Height());
  }
  if (screenWidth > 65535 || screenHeight > 65535)
    RaiseImaging("GIF cannot store an image of %dx%d pixels (at most 65535 on a side).", screenWidth, screenHeight);

  // Every image of the range as Index8; one that cannot be prepared is left out.
  std::deque<PreparedImage> frames;
  std::vector<const Image*> sources;  // the images as given, of the frames kept
  std::vector<int32_t> delaysMs;
  for (int32_t i = FirstIndex; i <= LastIndex; ++i) {
    if (!PrepareForSave(images[size_t(i)], frames.emplace_back())) {
      frames.pop_back();
      continue;
    }
    sources.push_back(&images[size_t(i)]);
    delaysMs.push_back(Options.animation.DelayOf(size_t(i - FirstIndex), 100));
  }

  // An animation (several frames, and the options say how they play): one colour table for
  // all frames where it fits, the loop extension, each frame's delay, and of each frame after
  // the first only the rectangle that changed (the frames are whole pictures, so every frame
  // stays on the screen under the next one). Without timing, several images are written one
  // after the other, each whole with its own table and the fixed control extension.
  const bool animation = frames.size() > 1 && Options.animation.Animated();
  Color32 shared[256] = {};
  std::vector<std::array<uint8_t, 256>> remap;
  const bool sharedTable = animation && ShareOnePalette(frames, shared, remap);

  uint8_t header[kGIFHeaderSize] = {'G', 'I', 'F', '8', '9', 'a'};
  StoreLE16(header + 6, uint32_t(screenWidth));
  StoreLE16(header + 8, uint32_t(screenHeight));
  // No global colour table (or one of 256 entries), 8 bits of colour resolution.
  header[10] = sharedTable ? 0xF7 : 0x70;
  stream.WriteExact(header, sizeof(header), "GIF header");
  if (sharedTable) WriteColorTable(stream, shared);
  if (animation && Options.animation.loopCount != 1) {
    // Plays once without it; otherwise the repeats after the first play, 0 for without end.
    const int32_t plays = Options.animation.loopCount;
    const uint32_t repeats = plays <= 0 ? 0u : uint32_t(std::min(plays - 1, 65535));
    uint8_t loop[19] = {0x21, kGIFApplicationLabel, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
    StoreLE16(loop + 16, repeats);
    loop[18] = 0;
    stream.WriteExact(loop, sizeof(loop), "GIF loop extension");
  }

  std::vector<uint8_t> pixels;
  for (size_t f = 0; f < frames.size(); ++f) {
    const Image& image = frames[f];
    // Single pictures: no transparency, disposal 0, a delay of 65 hundredths of a second.
    // Animations: the frame's delay, and disposal 1 (the frame stays under the next).
    uint8_t control[8] = {0x21, 0xF9, 0x04, 0x00, 0x41, 0x00, 0x00, 0x00};
    if (animation) {
      control[3] = 1 << 2;
      StoreLE16(control + 4, uint32_t(std::clamp((int64_t(delaysMs[f]) + 5) / 10, int64_t(0), int64_t(65535))));
    }
    stream.WriteExact(control, sizeof(control), "GIF graphic control extension");

    const std::array<int32_t, 4> rect =
        f == 0 ? std::array<int32_t, 4>{0, 0, image.Width(), image.Height()} : ChangedRect(*sources[f - 1], *sources[f]);
    uint8_t descriptor[1 + kImageDescriptorSize] = {kGIFImageSeparator};
    StoreLE16(descriptor + 1, uint32_t(rect[0]));
    StoreLE16(descriptor + 3, uint32_t(rect[1]));
    StoreLE16(descriptor + 5, uint32_t(rect[2]));
    StoreLE16(descriptor + 7, uint32_t(rect[3]));
    descriptor[9] = sharedTable ? 0x00 : 0x87;  // a local colour table of 256 entries, or none; not interlaced
    stream.WriteExact(descriptor, sizeof(descriptor), "GIF image descriptor");
    if (!sharedTable) WriteColorTable(stream, image.Palette());

    const bool whole = rect[0] == 0 && rect[1] == 0 && rect[2] == image.Width() && rect[3] == image.Height();
    if (whole && !sharedTable) {
      WriteImageData(stream, image.Bits(), size_t(image.Width()) * size_t(image.Height()));
      continue;
    }
    pixels.resize(size_t(rect[2]) * size_t(rect[3]));
    for (int32_t y = 0; y < rect[3]; ++y) {
      const uint8_t* source = image.Bits() + size_t(rect[1] + y) * size_t(image.Width()) + size_t(rect[0]);
      uint8_t* target = pixels.data() + size_t(y) * size_t(rect[2]);
      if (sharedTable)
        for (int32_t x = 0; x < rect[2]; ++x) target[x] = remap[f][source[x]];
      else
        std::memcpy(target, source, size_t(rect[2]));
    }
    WriteImageData(stream, pixels.data(), pixels.size());
  }
  const uint8_t trailer = kGIFTrailer;
  stream.WriteExact(&trailer, 1, "GIF trailer");
  return true;
}

std::unique_ptr<Codec> CreateGifCodec() { return std::make_unique<GifCodec>(); }

// Walks the blocks as ReadImages does, skipping the image data: an animated load gives a
// canvas as large as the screen and every frame placed on it, otherwise the first frame.
void ReadGIFHeader(Stream& stream, bool loadAnimated, ImageHeader& header) {
  GifReader reader(stream);
  uint8_t bytes[kGIFHeaderSize];
  if (reader.Read(bytes, kGIFHeaderSize) != kGIFHeaderSize || std::memcmp(bytes, "GIF", 3) != 0)
    RaiseImaging("GIF: the file header is missing.");
  const int32_t screenWidth = LoadLE16(bytes + 6);
  const int32_t screenHeight = LoadLE16(bytes + 8);
  if (bytes[10] & 0x80) {
    uint8_t table[256 * 3];
    reader.Read(table, size_t(3) << ((bytes[10] & 7) + 1));
  }
  int32_t canvasWidth = screenWidth, canvasHeight = screenHeight;
  bool anyFrame = false;
  // The pictures a composed load gives, counted as it counts them (frames whose data cannot
  // be decoded are counted all the same): every image with a graphic control extension ends
  // one, and so does the last image; in a looping file without any such extension every image.
  bool control = false, anyControl = false, looping = false, lastEnds = true;
  int64_t images = 0, pictures = 0;
  int block = reader.ReadByte();
  while (block >= 0 && block != kGIFExtensionIntroducer && block != kGIFImageSeparator && block != kGIFTrailer)
    block = reader.ReadByte();
  while (block == kGIFExtensionIntroducer || block == kGIFImageSeparator) {
    if (block == kGIFExtensionIntroducer) {
      const int label = reader.ReadByte();
      if (label < 0) break;
      if (label == kGIFGraphicControlLabel) {
        uint8_t gce[kGraphicControlExtensionSize];
        if (reader.Read(gce, sizeof(gce)) != sizeof(gce)) break;
        control = true;
      } else if (label == kGIFApplicationLabel) {
        const int size = reader.ReadByte();
        if (size > 0) {
          uint8_t identifier[255];
          const size_t got = reader.Read(identifier, size_t(size));
          looping = looping || (got == size_t(size) && IsLoopExtension(identifier, got));
          reader.SkipSubBlocks();
        }
      } else {
        reader.SkipSubBlocks();
      }
      block = reader.ReadByte();
      continue;
    }
    uint8_t d[kImageDescriptorSize];
    if (reader.Read(d, sizeof(d)) != sizeof(d)) break;
    const int32_t left = LoadLE16(d), top = LoadLE16(d + 2);
    const int32_t width = LoadLE16(d + 4) == 0 || LoadLE16(d + 4) > screenWidth ? screenWidth : LoadLE16(d + 4);
    const int32_t height = LoadLE16(d + 6) == 0 || LoadLE16(d + 6) > screenHeight ? screenHeight : LoadLE16(d + 6);
    if (d[8] & 0x80) {
      uint8_t table[256 * 3];
      reader.Read(table, size_t(3) << ((d[8] & 7) + 1));
    }
    if (reader.ReadByte() >= 0) reader.SkipSubBlocks();
    const bool dropped = left > screenWidth + 1 || top > screenHeight + 1;
    if (!dropped) {
      if (!loadAnimated) {
        CheckImageDimensions(width, height, "GIF frame");
        header = {width, height, PixelFormat::Index8};
        return;
      }
      anyFrame = true;
      canvasWidth = std::max(canvasWidth, left + width);
      canvasHeight = std::max(canvasHeight, top + height);
      ++images;
      if (control) ++pictures;
      anyControl = anyControl || control;
      lastEnds = control;
    }
    control = false;
    block = reader.ReadByte();
    // Enough to know the file is refused: the walk need not go on to its end.
    if (std::max(images, pictures) > kMaxFrames) break;
  }
  if (!anyFrame) RaiseImaging("GIF: the file holds no image.");
  CheckImageDimensions(canvasWidth, canvasHeight, "GIF animation");
  if (looping && !anyControl) pictures = images;
  else if (!lastEnds) ++pictures;
  header = {canvasWidth, canvasHeight, PixelFormat::A8R8G8B8};
  header.Frames = static_cast<int32_t>(std::min<int64_t>(pictures, kMaxFrames + 1));
}

ImageHeader GifCodec::ReadHeader(Stream& stream, const CodecOptions& options) const {
  ImageHeader header;
  ReadGIFHeader(stream, options.gif.loadAnimated, header);
  return header;
}

}  // namespace imaging::formats
