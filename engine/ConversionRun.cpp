#include "engine/ConversionRun.h"

#include "base/Error.h"
#include "base/Paths.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "engine/ConversionJob.h"
#include "engine/FileSizeSearch.h"
#include "imaging/Imaging.h"
#include "engine/ImageFiles.h"
#include "engine/Messages.h"
#include "engine/OutputNaming.h"
#include "engine/SafeFile.h"
#include "engine/TargetSize.h"
#include "base/Text.h"
#include "forms/NumberText.h"
#include "forms/TprogForm.h"

namespace vexilo {

namespace {

// The start checks on the job at the start; reports the first failing one and returns false.
bool StartChecks(const RunSetup& setup, const ConversionJob& job) {
  const auto report = [&](const char* key, const std::string& detail) {
    ShowMessageAndRecord(setup.questions, setup.flags, key, detail);
    return false;
  };
  const std::string& folder = job.folderPattern;
  if (!forms::IsKeepEntry(folder)) {
    const std::string probe =
        base::ReplaceAll(base::ReplaceAll(folder, "%ordner%", "/Ordner/"), "%folder%", "/Ordner/");
    if (!IsAcceptableFolderPath(probe)) return probe.empty() ? report("keinordner", "") : report("ordnerfalsch", probe);
  }
  if (job.namePattern.empty()) return report("keinname", "");
  // A target size that is not a number would stop every file; say so before the first.
  if (job.sizeMode == SizeMode::FileSize && !forms::IsDecimalText(job.fileSizeText, setup.decimalSeparator))
    return report(kBadFileSizeKey, job.fileSizeText);
  return true;
}

// A source that cannot be read goes on as an empty image, whether the codec says so or raises
// an error; `cause` then tells why. Warnings of a load that gave a picture become notes.
bool Load(const std::string& source, imaging::Image& image, const imaging::CodecOptions& options, std::string& cause,
          Questions& questions) {
  imaging::LoadWarnings warnings;
  bool loaded = false;
  try {
    loaded = LoadImageFile(source, image, options) && image.valid();
    if (!loaded) cause = base::FileBytes(source) == 0 ? "The file is empty" : "No image format recognises the file's content";
  } catch (const std::exception& e) {
    cause = e.what();
  }
  for (const std::string& text : warnings.Texts()) questions.ShowNote(source, text);
  if (!loaded) image.reset();
  return loaded;
}

// The key under which an output path is remembered: two spellings of one file give one key.
std::string OutputKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

class Run {
public:
  explicit Run(const RunSetup& setup) : setup_(setup), total_(static_cast<int>(setup.paths.size())) {}

  RunResult Execute() {
    RunResult result;
    if (total_ <= 0) return result;
    const ConversionJob startJob = setup_.job();
    if (!StartChecks(setup_, startJob)) return result;
    result.started = true;

    setup_.observer.RunStarted(total_);
    padding_ = PaddingWidth(total_);
    KonvertierWerteSetzen(startJob, setup_.memory.filter);
    options_ = OutputOptions(startJob, imaging::CurrentOptions());

    for (int i = 0; i < total_; ++i) {
      // A stop asked for while the previous file was processed takes effect here.
      if (setup_.stop.stop_requested()) {
        result.cancelled = true;
        result.notProcessed = total_ - i;
        break;
      }
      const FileEnd end = ProcessFile(i);
      switch (end.result) {
        case FileResult::Written: ++result.written; break;
        case FileResult::Kept: ++result.kept; break;
        case FileResult::Failed: ++result.failed; break;
        case FileResult::Cancelled:
          result.cancelled = true;
          result.notProcessed = total_ - i - 1;
          break;
      }
      setup_.observer.FileFinished(end);
      if (result.cancelled) break;
    }
    setup_.flags.ClearAll();
    setup_.observer.RunFinished(result);
    return result;
  }

private:
  // Reports a failure of the file (unless "OK for all" silenced such reports) and notes it in
  // the file's end.
  void Report(FileEnd& end, const char* key, const std::string& detail, const std::string& cause) {
    end.key = key;
    end.cause = cause;
    ReportUnlessSilenced(setup_.questions, setup_.flags, key, detail, cause);
  }

  FileEnd Fail(FileEnd& end, const char* key, const std::string& detail, const std::string& cause) {
    Report(end, key, detail, cause);
    end.result = FileResult::Failed;
    return end;
  }

  std::string OutputPath(const ConversionJob& job, const std::string& source, int index,
                         const imaging::ImageData& image) const {
    if (job.saveMode == SaveMode::Overwrite) return source;
    NamingInput naming;
    naming.sourcePath = source;
    naming.index = index;
    naming.padding = padding_;
    naming.rowCount = total_;
    naming.width = image.Width;
    naming.height = image.Height;
    naming.folderPattern = job.folderPattern;
    naming.namePattern = job.namePattern;
    naming.formatItem = job.formatItem;
    return BuildOutputPath(naming);
  }

  // The target size of the size mode, or of the file-size search; none keeps the size.
  std::optional<Size> TargetSize(const ConversionJob& job, const std::string& source, const std::string& trial,
                                 const imaging::ImageData& image) const {
    if (job.sizeMode == SizeMode::FileSize) {
      const auto kilobytes = forms::ParseDecimalText(job.fileSizeText, setup_.decimalSeparator);
      if (!kilobytes) throw base::Error("The target file size is not a number");
      FileSizeSearchInput search;
      search.source = &image;
      search.sourceBytes = base::FileBytes(source);
      search.targetKilobytes = *kilobytes;
      search.trialPath = trial;
      search.filter = setup_.memory.filter;
      search.stop = setup_.stop;
      search.options = options_;
      return SearchFileSize(search);
    }
    if (const auto box = ComputeBox(job, image.Width, image.Height))
      return ScaledSize(image.Width, image.Height, *box, job.changeIfLarger, job.changeIfSmaller, job.orientation);
    return std::nullopt;
  }

  // Carries the metadata into a written output; a loss is reported but the file stays written.
  void WriteMetadata(FileEnd& end, CarriedMetadata* metadata, std::string cause) {
    const bool jpegOutput = imaging::DetectFileFormat(end.output) == "jpg";
    if (metadata != nullptr && jpegOutput) {
      try {
        metadata->WriteInto(end.output);
      } catch (const std::exception& e) {
        cause = e.what();
      }
    } else if (cause.empty() || !jpegOutput) {
      cause.clear();  // nothing was to be carried into this output
    }
    if (!cause.empty()) Report(end, kMetadataLostKey, end.output, cause);
  }

  FileEnd ProcessFile(int i) {
    FileEnd end;
    end.index = i;
    end.total = total_;
    end.source = setup_.paths[static_cast<size_t>(i)];
    const std::string& source = end.source;
    std::string& output = end.output;
    setup_.observer.FileStarted({i, total_, source});
    std::unique_ptr<CarriedMetadata> metadata;
    std::string metadataCause;
    imaging::Image current;
    try {
      if (!base::IsRegularFile(source)) return Fail(end, kMissingSourceKey, source, "");

      // The options dialog stays usable during a run: its settings apply from the next file on.
      const ConversionJob job = setup_.job();
      std::string loadCause;
      const bool loaded = Load(source, current, options_, loadCause, setup_.questions);

      output = OutputPath(job, source, i, current.data());
      // An output of this run is never replaced by a later file of the same run, whatever the
      // overwrite answers say: that would lose the earlier picture without a word.
      const std::string outputKey = OutputKey(output);
      if (written_.count(outputKey) != 0) return Fail(end, kAlreadyWrittenKey, output, "");
      // A source that could not be read writes nothing; the cause is the reader's.
      if (!loaded) return Fail(end, "speicherfehler", output, loadCause);
      const std::string trial = base::IsRegularFile(output) ? TrialPath(output) : output;

      // Metadata that cannot be read do not stop the picture: it is written without them.
      if (setup_.metadata != nullptr && imaging::DetectFileFormat(source) == "jpg") {
        try {
          metadata = setup_.metadata->Read(source);
        } catch (const std::exception& e) {
          metadataCause = e.what();
        }
      }

      // A failed scaling step writes nothing: an unscaled copy would replace the original in
      // overwrite mode, or stand as an output the user did not ask for.
      try {
        if (const auto size = TargetSize(job, source, trial, current.data()))
          ResizeForRun(current, *size, setup_.memory.filter);
      } catch (const ScalingError& e) {
        return Fail(end, "konvertierfehler", source, e.what());
      }

      if (base::IsRegularFile(output)) {
        DialogFlags& flags = setup_.flags;
        if (!flags.askNoMore) AskOverwriteAndRecord(setup_.questions, flags, output);
        if (flags.cancelOverwrite) {
          end.result = FileResult::Cancelled;
          return end;
        }
        if (flags.no) {
          end.result = FileResult::Kept;
          return end;
        }
        // The rename that replaces a file ignores its own permission bits; a file the user may
        // not write stays as it is.
        std::string cause;
        if (!imaging::MayReplace(output, &cause)) return Fail(end, "speicherfehler", output, cause);
      }

      if (!SaveImageFile(output, current, options_))
        return Fail(end, "speicherfehler", output, "No image format writes files of this type");
      written_.insert(outputKey);
      end.result = FileResult::Written;
      WriteMetadata(end, metadata.get(), metadataCause);
      return end;
    } catch (const std::exception& e) {
      return Fail(end, "speicherfehler", output, e.what());
    }
  }

  const RunSetup& setup_;
  const int total_;
  int padding_ = 1;
  imaging::CodecOptions options_;  // the codec options of this run, taken at its start
  std::set<std::string> written_;  // the outputs this run has written
};

}  // namespace

std::vector<std::string> PathsOf(const ImageRows& rows) {
  std::vector<std::string> paths;
  const int count = rows.RowCount();
  for (int row = 0; row < count; ++row) paths.push_back(rows.RowPath(row));
  return paths;
}

RunResult RunConversion(const RunSetup& setup) { return Run(setup).Execute(); }

}  // namespace vexilo
