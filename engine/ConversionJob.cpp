#include "engine/ConversionJob.h"

#include <algorithm>

#include "imaging/Codec.h"

namespace engine {

void ChooseResizeFilter(const ConversionJob& job, imaging::ResizeFilter& filter) {
  if (job.filter) filter = *job.filter;
}

imaging::CodecOptions OutputOptions(const ConversionJob& job, imaging::CodecOptions options) {
  const int32_t quality = std::clamp(job.quality, 1, 100);
  options.Set(imaging::ImagingJpegQuality, quality);
  options.Set(imaging::ImagingJNGQuality, quality);
  options.Set(imaging::ImagingMNGQuality, quality);
  options.Set(imaging::ImagingWebPQuality, quality);
  options.Set(imaging::ImagingAVIFQuality, quality);
  options.Set(imaging::ImagingHEIFQuality, quality);
  options.Set(imaging::ImagingPSDSaveAsLayer, job.psdLayer ? 1 : 0);
  const int32_t progressive = job.progressive ? 1 : 0;
  options.Set(imaging::ImagingJpegProgressive, progressive);
  options.Set(imaging::ImagingJNGProgressive, progressive);
  options.Set(imaging::ImagingMNGProgressive, progressive);
  return options;
}

}  // namespace engine
