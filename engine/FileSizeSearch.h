// The file-size mode: the pixel size that brings the saved output close to a size in
// kilobytes, found by saving trial files and measuring them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>

#include "imaging/Codec.h"
#include "imaging/PixelFormats.h"
#include "engine/TargetSize.h"

namespace engine {

struct FileSizeSearchInput {
  // S, the loaded image, and the frames or pages after it that the output keeps; they are not
  // changed. A trial scales every frame (those of another size than the first by the same
  // factor) and measures the whole file: the search is on the file's bytes, not one frame's.
  std::span<const imaging::Image> frames;
  uint64_t sourceBytes = 0;                    // B, the source file's size
  double targetKilobytes = 0;                  // K; a kilobyte is 1024 bytes
  // The output path; the trials are written beside it (its folder must exist), never at it.
  std::string outputPath;
  imaging::ResizeFilter filter = imaging::ResizeFilter::Nearest;
  std::stop_token stop;  // a stop request ends the search before its next trial
  imaging::CodecOptions options = imaging::CurrentOptions();  // the run's codec options (and animation)
  // The trials are encoded and measured in memory, nothing is written (a preview): the sizes
  // are the same, as a trial file holds exactly the encoded bytes.
  bool trialsInMemory = false;
};

// The first estimate: f = sqrt(K / (B / 1024)) applied to W × H.
Size FileSizeFirstEstimate(int32_t width, int32_t height, uint64_t sourceBytes, double targetKilobytes);

// A trial never holds more than four times the source's pixels (twice its sides), nor more
// than the library's limits: a tiny, well-compressed file must not make the search build
// pictures of hundreds of megapixels. A larger size is scaled down, keeping its proportions.
Size BoundTrialSize(Size size, int32_t sourceWidth, int32_t sourceHeight);

// The size of a frame of `frameSize` when the first frame, of `firstSize`, is scaled to
// `firstTarget`: the same factor on each side (at least one pixel), or `firstTarget` itself
// for a frame of the first frame's size.
Size ProportionalFrameSize(Size frameSize, Size firstSize, Size firstTarget);

// Starting from the first estimate, a trial save of a scaled copy, measured and deleted,
// corrects the size by sqrt(K / t) (t the trial's kilobytes); the correction is repeated until
// 0.99 < K / t < 1.01 or ten repetitions are made, and the last correction is returned
// unchecked. A stop request ends the search before its next trial save, with the size the last
// correction gave (the first estimate when no trial was made). Every trial size is bounded by
// BoundTrialSize. A trial that writes nothing counts as a hit. A trial whose scaling fails ends
// the search with that error (the run reports it once, as a conversion error, and writes
// nothing); a negative target, an empty source file or a trial of 0 bytes raise an error too.
// A trial file is an AtomicFile's temporary file in the output's folder, created exclusively
// under a name nobody can guess and removed without ever being renamed, so a search never
// opens or replaces a file that is there, whatever its name, and one search never meets the
// trials of another. No trial file survives the search, whichever way it ends; one that cannot
// be written (a full disk) ends it with the system's cause.
Size SearchFileSize(const FileSizeSearchInput& in);

}  // namespace engine
