#include "engine/ConversionJob.h"

#include <algorithm>

#include "imaging/Codec.h"

namespace engine {

void ChooseResizeFilter(const ConversionJob& job, imaging::ResizeFilter& filter) {
  if (job.filter) filter = *job.filter;
}

imaging::CodecOptions OutputOptions(const ConversionJob& job, imaging::CodecOptions options) {
  const int32_t quality = std::clamp(job.quality, 1, 100);
  options.jpeg.quality = quality;
  options.jng.quality = quality;
  options.mng.quality = quality;
  options.webp.quality = quality;
  options.avif.quality = quality;
  options.heif.quality = quality;
  options.jxl.quality = quality;
  options.psd.saveAsLayer = job.psdLayer;
  options.jpeg.progressive = job.progressive;
  options.jng.progressive = job.progressive;
  options.mng.progressive = job.progressive;
  return options;
}

}  // namespace engine
