// The size of each output: the box of the size mode, the larger/smaller and landscape/portrait
// rules, the proportional fit, and the scaling step that applies it.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/Error.h"

#include "engine/ConversionJob.h"
#include "imaging/Types.h"

namespace engine {

class UserDialogs;

// Nearest integer, halves to the even neighbour (2.5 gives 2, 3.5 gives 4), from extended
// precision. Values beyond 32 bits saturate; such sizes are refused by the scaling step.
int32_t RoundHalfEven(long double value);

// The box of one image: target width and height and the keep-proportions flag.
struct Box {
  int32_t width = 0;
  int32_t height = 0;
  bool keep = false;
};

struct Size {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Size&) const = default;
};

// A ratio with a zero divisor ("2/0", "0:2"). Raised from the box computation; the run
// reports it as a saving error of the image.
class SizeError : public base::Error {
public:
  using base::Error::Error;
};

// The box of the size mode for a W × H image, for every mode but the file-size search. No box
// (nullopt) when no size mode is checked, or the preset mode has no preset checked: the image
// then keeps its size.
std::optional<Box> ComputeBox(const ConversionJob& job, int32_t width, int32_t height);

// The size the scaling step gives a W × H image in a box, by the larger/smaller rule
// (changeIfLarger, changeIfSmaller), the orientation rule and the proportional fit; nullopt
// when the image is not scaled. With keep on, a zero width or height raises SizeError.
std::optional<Size> ScaledSize(int32_t width, int32_t height, const Box& box, bool changeIfLarger,
                               bool changeIfSmaller, bool orientation);

// A failure of the scaling step itself (the resize), as opposed to the size computation: the
// run reports it as a conversion error of the source.
class ScalingError : public base::Error {
public:
  using base::Error::Error;
};

// Resizes the image with the run's filter. An empty image (one that failed to load) is left
// alone. A size of 0 or less, or beyond the library's limits, raises ScalingError before any
// allocation; so does any failure of the resize.
void ResizeForRun(imaging::Image& image, Size size, imaging::ResizeFilter filter);

}  // namespace engine
