#include "engine/OutputPreview.h"

#include <utility>

#include "engine/OutputNaming.h"
#include "imaging/Orientation.h"

namespace engine {

OutputPreview PreviewOutput(const ConversionJob& job, const std::string& sourcePath, int32_t width, int32_t height,
                            int index, int rowCount, int32_t orientation) {
  if (!job.keepOrientation && imaging::OrientationSwapsSides(orientation)) std::swap(width, height);
  OutputPreview p;
  p.sourcePath = sourcePath;
  p.width = width;
  p.height = height;
  if (job.saveMode == SaveMode::Overwrite) {
    p.outputPath = sourcePath;
  } else {
    p.outputPath = ComposeOutputPath(NamingFor(job, sourcePath, index, rowCount, width, height));
  }
  if (job.sizeMode == SizeMode::FileSize) {
    p.fileSizeSearch = true;
    return p;
  }
  try {
    if (const auto box = ComputeBox(job, width, height))
      p.scaled = ScaledSize(width, height, *box, job.changeIfLarger, job.changeIfSmaller, job.orientation);
  } catch (const std::exception& e) {
    p.problem = e.what();
  }
  return p;
}

PreviewLineParts SplitPreviewLine(const OutputPreview& p, const std::string& fileSizeText) {
  const auto size = [](int32_t w, int32_t h) { return std::to_string(w) + " \u00D7 " + std::to_string(h); };
  PreviewLineParts parts;
  const size_t slash = p.sourcePath.rfind('/');
  parts.sourceName = slash == std::string::npos ? p.sourcePath : p.sourcePath.substr(slash + 1);
  parts.sizes = " " + size(p.width, p.height);
  if (p.frames > 1) parts.sizes += ", " + std::to_string(p.frames) + (p.pages ? " pages" : " frames");
  parts.sizes += " \u2192 ";
  if (!p.problem.empty()) {
    parts.sizes += p.problem;
    return parts;
  }
  if (p.fileSizeSearch) parts.sizes += "\u2264 " + fileSizeText + " KB";
  else if (p.scaled) parts.sizes += size(p.scaled->width, p.scaled->height);
  else parts.sizes += size(p.width, p.height);
  parts.sizes += " \u2192 ";
  const size_t outputSlash = p.outputPath.rfind('/');
  parts.outputFolder = outputSlash == std::string::npos ? std::string() : p.outputPath.substr(0, outputSlash + 1);
  parts.outputName = outputSlash == std::string::npos ? p.outputPath : p.outputPath.substr(outputSlash + 1);
  return parts;
}

std::string PreviewLine(const OutputPreview& p, const std::string& fileSizeText) {
  const PreviewLineParts parts = SplitPreviewLine(p, fileSizeText);
  return parts.sourceName + parts.sizes + parts.outputFolder + parts.outputName;
}

}  // namespace engine
