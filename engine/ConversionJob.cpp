#include "engine/ConversionJob.h"

#include <algorithm>

#include "imaging/Imaging.h"

namespace vexilo {

void KonvertierWerteSetzen(const ConversionJob& job, imaging::ResizeFilter& filter) {
  if (job.filter) filter = *job.filter;
}

void AusgabeWerteSetzen(const ConversionJob& job) {
  const int32_t quality = std::clamp(job.quality, 1, 100);
  imaging::SetOption(imaging::ImagingJpegQuality, quality);
  imaging::SetOption(imaging::ImagingJNGQuality, quality);
  imaging::SetOption(imaging::ImagingMNGQuality, quality);
  imaging::SetOption(imaging::ImagingPSDSaveAsLayer, job.psdLayer ? 1 : 0);
  const int32_t progressive = job.progressive ? 1 : 0;
  imaging::SetOption(imaging::ImagingJpegProgressive, progressive);
  imaging::SetOption(imaging::ImagingJNGProgressive, progressive);
  imaging::SetOption(imaging::ImagingMNGProgressive, progressive);
}

}  // namespace vexilo
