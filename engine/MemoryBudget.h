// How much memory the files a run has in flight may hold together.
//
// A file in flight holds about its decoded picture and its scaled copy (the load's conversion
// and the turn upright hold a second copy of the picture for a moment, the encoded output is
// smaller than either). The run knows both sizes before it decodes anything: the header gives
// the picture's size and pixel format, the job the scaled size. It begins a file only when the
// estimates of the files in flight and this one's together stay within the budget, and always
// when no file is in flight, so a picture larger than the whole budget still converts, alone.
// Admission goes strictly in list order: a large file that has to wait holds back the files
// after it, which keeps the file whose turn it is admissible and the outputs in order.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ConversionJob.h"
#include "imaging/Headers.h"
#include "imaging/PixelFormats.h"

namespace engine {

// The bytes the run's helpers hold for a width × height picture decoded in `format`: at least
// four a pixel, since a picture of a packed, indexed or block-compressed format becomes 8-bit
// RGBA on its way and a gray or RGB one is held beside its copy of the same size when it is
// turned upright; more for 16-bit and floating-point formats.
uint64_t HeldPictureBytes(int32_t width, int32_t height, imaging::PixelFormat format);

// What a file will hold while it is prepared: its picture as decoded and as scaled by the job
// (turned upright first unless the job keeps the orientation; in file-size mode the search's
// first estimate). The size comes from the file's header; a file without a header reader
// (XPM) or with a header that cannot be read counts as a picture of as many pixels as it has
// bytes, kept at its size (every XPM pixel takes at least one character; a damaged header
// fails the load anyway). A file whose frames or pages the output keeps holds all of them at
// once (the header counts them).
uint64_t EstimateHeldBytes(const std::string& source, const ConversionJob& job, const imaging::CodecOptions& options,
                           const std::string& decimalSeparator);

// The admission rule. Not synchronised: the run's own thread admits and releases.
class MemoryBudget {
public:
  explicit MemoryBudget(uint64_t limit) : limit_(limit) {}

  // Whether a file that holds `bytes` may begin now: when no file is in flight, or when the
  // files in flight and it stay within the limit.
  bool Admits(uint64_t bytes) const { return inFlight_ == 0 || (held_ <= limit_ && bytes <= limit_ - held_); }
  // A file admitted, and a file ended, with its estimate.
  void Hold(uint64_t bytes);
  void Release(uint64_t bytes);
  uint64_t Limit() const { return limit_; }

private:
  uint64_t limit_;
  uint64_t held_ = 0;
  int inFlight_ = 0;
};

// The budget of a run that is given none: half of the physical memory. The estimates leave out
// what the codec libraries hold while they decode (OpenJPEG keeps four bytes per sample, the
// AVIF and HEIF decoders their YUV planes) and the rest of the system needs its share, so a
// half leaves room for both while a machine's ordinary photos still go several at a time. No
// limit when the system does not say how much memory it has.
uint64_t DefaultMemoryBudget();

// The note shown once in a run, for the first picture that needs more than the whole budget:
// it is converted with no other file in flight.
std::string BudgetBelowPictureNote(uint64_t pictureBytes, uint64_t budgetBytes);

}  // namespace engine
