#include "engine/RunSteps.h"

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

bool LoadSourceForRun(const std::string& source, const ConversionJob& job, imaging::Image& image,
                      const imaging::CodecOptions& options, PhotoOutcome& photo, std::string& cause,
                      std::vector<std::string>& notes) {
  imaging::LoadWarnings warnings;
  bool loaded = false;
  try {
    PhotoFacts facts;
    loaded = LoadImageForRun(source, image, options, &facts) && imaging::IsImageValid(image);
    if (!loaded) cause = UnreadableCause(source);
    else photo = PreparePhoto(job, image, facts);
  } catch (const std::exception& e) {
    loaded = false;
    cause = e.what();
  }
  notes = warnings.Texts();
  if (!loaded) image.Reset();
  return loaded;
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

std::optional<Size> TargetSizeForRun(const ConversionJob& job, const imaging::Image& image, const TargetSizeInput& in) {
  if (job.sizeMode == SizeMode::FileSize) {
    const auto kilobytes = forms::ParseDecimalText(job.fileSizeText, in.decimalSeparator);
    if (!kilobytes) throw base::Error("The target file size is not a number");
    // The trials of a run are written beside the output, so its folder is made now.
    if (in.trials == TrialPlace::BesideOutput)
      if (auto error = CreateFolderPath(PathFolder(in.output))) throw base::Error(*error);
    FileSizeSearchInput search;
    search.source = &image;
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

std::string OutputKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

}  // namespace engine
