#include "engine/RunSteps.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/Error.h"
#include "base/Paths.h"
#include "engine/FileSizeSearch.h"
#include "engine/ImageFiles.h"
#include "engine/OutputNaming.h"
#include "forms/NumberText.h"
#include "imaging/Codec.h"
#include "imaging/Orientation.h"

namespace engine {

namespace {

// The job's photo settings on a loaded picture: turned upright unless keep_orientation; with
// to_srgb the colours converted and no profile kept. A profile that cannot be applied is
// reported as a warning of the load and not carried either.
PhotoOutcome PreparePhoto(const ConversionJob& job, imaging::Image& image, const PhotoFacts& facts) {
  PhotoOutcome outcome;
  if (!job.keepOrientation && facts.orientation != imaging::kOrientationTopLeft) {
    imaging::OrientImage(image, facts.orientation);
    outcome.uprightFrom = facts.orientation;
  }
  if (!facts.profile) return outcome;
  if (!job.toSRGB) {
    outcome.profile = facts.profile;
    return outcome;
  }
  std::string error;
  if (!imaging::ConvertToSRGB(image, *facts.profile, error))
    imaging::AddLoadWarning("The colours could not be converted to sRGB (" + error + "); they stay as they are");
  return outcome;
}

// Why a source that a codec read gave no picture: it is empty, no codec knows its content, or
// its codec found no whole picture in it (its data end early, or are damaged).
std::string UnreadableCause(const std::string& source) {
  if (base::FileBytes(source) == 0) return "The file is empty";
  const std::string format = imaging::DetectFileFormat(source);
  if (format.empty()) return "No image format recognises the file's content";
  std::string type = format;
  for (char& c : type) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return "No picture could be read from this " + type + " file: its data end early or are damaged";
}

}  // namespace

bool LoadSourceForRun(const std::string& source, const ConversionJob& job, bool allFrames, LoadedFrames& loaded,
                      const imaging::CodecOptions& options, PhotoOutcome& photo, std::string& cause,
                      std::vector<std::string>& notes) {
  imaging::LoadWarnings warnings;
  std::vector<imaging::Image>& frames = loaded.frames;
  bool ok = false;
  try {
    PhotoFacts facts;
    if (allFrames) {
      ok = LoadFramesForRun(source, frames, loaded.animation, options, &facts);
    } else {
      frames.resize(1);
      ok = LoadImageForRun(source, frames[0], options, &facts);
    }
    ok = ok && !frames.empty() &&
         std::all_of(frames.begin(), frames.end(), [](const imaging::Image& f) { return imaging::IsImageValid(f); });
    if (!ok) cause = UnreadableCause(source);
    else
      for (imaging::Image& frame : frames) photo = PreparePhoto(job, frame, facts);
  } catch (const std::exception& e) {
    ok = false;
    cause = e.what();
  }
  notes = warnings.Texts();
  if (!ok) {
    frames.clear();
    frames.emplace_back();
  }
  return ok;
}

std::string OutputPathForRun(const ConversionJob& job, const std::string& source, int position, int listSize,
                             int32_t width, int32_t height, std::optional<std::string>& problem) {
  if (job.saveMode == SaveMode::Overwrite) return source;
  const NamingInput naming = NamingFor(job, source, position, listSize, width, height);
  const std::string path = ComposeOutputPath(naming);
  if (!StaysInOutputFolder(naming))
    problem = "The name \"" + path.substr(OutputFolder(naming).size()) + "\" leads out of the output folder " +
              OutputFolder(naming);
  else
    problem = base::PathLengthProblem(path);
  return path;
}

std::string OutputTypePathForRun(const ConversionJob& job, const std::string& source, int position, int listSize) {
  if (job.saveMode == SaveMode::Overwrite) return source;
  return ComposeOutputPath(NamingFor(job, source, position, listSize, 0, 0));
}

std::optional<Size> TargetSizeForRun(const ConversionJob& job, std::span<const imaging::Image> frames,
                                     const TargetSizeInput& in) {
  const imaging::Image& image = frames[0];
  if (job.sizeMode == SizeMode::FileSize) {
    const auto kilobytes = forms::ParseDecimalText(job.fileSizeText, in.decimalSeparator);
    if (!kilobytes) throw base::Error("The target file size is not a number");
    // The trials of a run are written beside the output, so its folder is made now.
    if (in.trials == TrialPlace::BesideOutput)
      if (auto error = CreateFolderPath(PathFolder(in.output))) throw base::Error(*error);
    FileSizeSearchInput search;
    search.frames = frames;
    search.sourceBytes = base::FileBytes(in.source);
    search.targetKilobytes = *kilobytes;
    search.outputPath = in.output;
    search.filter = in.filter;
    search.stop = in.stop;
    search.options = in.options;
    search.trialsInMemory = in.trials == TrialPlace::InMemory;
    return SearchFileSize(search);
  }
  if (const auto box = ComputeBox(job, image.Width(), image.Height()))
    return ScaledSize(image.Width(), image.Height(), *box, job.changeIfLarger, job.changeIfSmaller, job.orientation);
  return std::nullopt;
}

namespace {

// The size of a frame after the first when the first is scaled from `firstSize` to
// `firstTarget`: the first's target for a frame of its size; in file-size mode the same
// factor; otherwise the size rules on the frame's own size.
std::optional<Size> FrameTarget(const ConversionJob& job, const imaging::Image& frame, Size firstSize,
                                const std::optional<Size>& firstTarget) {
  const Size frameSize{frame.Width(), frame.Height()};
  if (frameSize.width == firstSize.width && frameSize.height == firstSize.height) return firstTarget;
  if (job.sizeMode == SizeMode::FileSize) {
    if (!firstTarget) return std::nullopt;
    return ProportionalFrameSize(frameSize, firstSize, *firstTarget);
  }
  if (const auto box = ComputeBox(job, frameSize.width, frameSize.height))
    return ScaledSize(frameSize.width, frameSize.height, *box, job.changeIfLarger, job.changeIfSmaller,
                      job.orientation);
  return std::nullopt;
}

}  // namespace

void ScaleFramesForRun(const ConversionJob& job, std::vector<imaging::Image>& frames, const TargetSizeInput& in) {
  imaging::Image& image = frames[0];
  const Size firstSize{image.Width(), image.Height()};
  const std::optional<Size> size = TargetSizeForRun(job, frames, in);
  for (size_t i = 1; i < frames.size(); ++i)
    if (const auto target = FrameTarget(job, frames[i], firstSize, size)) ResizeForRun(frames[i], *target, in.filter);
  if (size) ResizeForRun(image, *size, in.filter);
}

std::string OutputKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

}  // namespace engine
