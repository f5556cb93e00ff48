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
#include "forms/TprogForm.h"

namespace vexilo {

namespace {



// The start checks; reports the first failing one and returns false.
bool StartChecks(RunEnvironment& env) {
  const std::string folder = env.tprog.Text("out_ordner");
  if (!forms::IsKeepEntry(folder)) {
    const std::string probe =
        base::ReplaceAll(base::ReplaceAll(folder, "%ordner%", "/Ordner/"), "%folder%", "/Ordner/");
    if (!IsAcceptableFolderPath(probe)) {
      if (probe.empty()) env.dialogs.meldungzeigen("keinordner", "");
      else env.dialogs.meldungzeigen("ordnerfalsch", probe);
      return false;
    }
  }
  if (env.tprog.Text("out_name").empty()) {
    env.dialogs.meldungzeigen("keinname", "");
    return false;
  }
  // A target size that is not a number would stop every file; say so before the first.
  if (env.tprog.Checked("rb_filesize")) {
    const std::string& size = env.tprog.Text("ed_filesize");
    if (!forms::IsDecimalText(size, env.decimalSeparator)) {
      env.dialogs.meldungzeigen(kBadFileSizeKey, size);
      return false;
    }
  }
  return true;
}

// A source that cannot be read goes on as an empty image, whether the codec says so or raises
// an error; `cause` then tells why. Warnings of a load that gave a picture become notes.
bool Load(const std::string& source, imaging::Image& image, const imaging::CodecOptions& options, std::string& cause,
          UserDialogs& dialogs) {
  imaging::LoadWarnings warnings;
  bool loaded = false;
  try {
    loaded = LoadImageFile(source, image, options) && image.valid();
    if (!loaded) cause = base::FileBytes(source) == 0 ? "The file is empty" : "No image format recognises the file's content";
  } catch (const std::exception& e) {
    cause = e.what();
  }
  for (const std::string& text : warnings.Texts()) dialogs.ShowNote(source, text);
  if (!loaded) image.reset();
  return loaded;
}

// The key under which an output path is remembered: two spellings of one file give one key.
std::string OutputKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

enum class FileOutcome { Written, Kept, Failed, Cancelled };

class Run {
public:
  explicit Run(RunEnvironment& env) : env_(env), dialogs_(env.dialogs) {}

  RunResult Execute() {
    RunResult result;
    const int total = env_.rows.RowCount();
    if (total <= 0) return result;
    if (!StartChecks(env_)) return result;
    result.started = true;

    // Whatever way the run ends, the window comes back and the flags are cleared.
    struct Restore {
      UserDialogs& dialogs;
      ~Restore() {
        dialogs.HideProgress();
        dialogs.SetMainWindowEnabled(true);
        dialogs.Flags().ClearAll();
      }
    } restore{dialogs_};

    dialogs_.SetMainWindowEnabled(false);
    const forms::Language language = env_.tprog.CurrentLanguage();
    dialogs_.ShowProgress({Text(TextId::ProgressTitle, language), Text(TextId::ProgressCurrentImage, language), ""},
                          total);
    dialogs_.ProcessEvents();
    padding_ = PaddingWidth(total);
    const ConversionJob startJob = ReadConversionJob(env_.tprog, env_.toptionen);
    KonvertierWerteSetzen(startJob, env_.memory.filter);
    options_ = OutputOptions(startJob, imaging::CurrentOptions());

    for (int i = 0; i < total; ++i) {
      switch (ProcessFile(i)) {
        case FileOutcome::Written: ++result.written; break;
        case FileOutcome::Kept: ++result.kept; break;
        case FileOutcome::Failed: ++result.failed; break;
        case FileOutcome::Cancelled: result.cancelled = true; break;
      }
      if (result.cancelled) break;
      dialogs_.SetProgressPosition(i + 1);
      // A cancel asked for while this file was processed stops the run before the next one.
      dialogs_.ProcessEvents();
      if (dialogs_.Flags().cancelProgress) {
        result.cancelled = true;
        break;
      }
    }
    if (result.cancelled) dialogs_.FocusMainWindow();
    return result;
  }

private:
  void Report(const char* key, const std::string& detail, const std::string& cause) {
    dialogs_.ReportUnlessSilenced(key, detail, cause);
  }

  FileOutcome ProcessFile(int i) {
    std::string output;
    std::unique_ptr<CarriedMetadata> metadata;
    std::string metadataCause;
    imaging::Image current;
    try {
      const std::string source = env_.rows.RowPath(i);
      if (!base::IsRegularFile(source)) {
        Report(kMissingSourceKey, source, "");
        return FileOutcome::Failed;
      }
      const int rowCount = env_.rows.RowCount();
      dialogs_.SetProgressFileLine(source, " (" + std::to_string(i + 1) + "/" + std::to_string(rowCount) + ")");
      dialogs_.ProcessEvents();

      // The options dialog stays usable during a run: its settings apply from the next file on.
      const ConversionJob job = ReadConversionJob(env_.tprog, env_.toptionen);
      std::string loadCause;
      const bool loaded = Load(source, current, options_, loadCause, dialogs_);

      if (job.overwrite) {
        output = source;
      } else {
        NamingInput naming;
        naming.sourcePath = source;
        naming.index = i;
        naming.padding = padding_;
        naming.rowCount = env_.rows.RowCount();
        naming.width = current->Width;
        naming.height = current->Height;
        naming.folderPattern = job.folderPattern;
        naming.namePattern = job.namePattern;
        naming.formatItem = job.formatItem;
        output = BuildOutputPath(naming);
      }
      // An output of this run is never replaced by a later file of the same run, whatever the
      // overwrite answers say: that would lose the earlier picture without a word.
      const std::string outputKey = OutputKey(output);
      if (written_.count(outputKey) != 0) {
        Report(kAlreadyWrittenKey, output, "");
        return FileOutcome::Failed;
      }
      // A source that could not be read writes nothing; the cause is the reader's.
      if (!loaded) {
        Report("speicherfehler", output, loadCause);
        return FileOutcome::Failed;
      }
      const std::string trial = base::IsRegularFile(output) ? TrialPath(output) : output;

      // Metadata that cannot be read do not stop the picture: it is written without them.
      if (env_.metadata != nullptr && imaging::DetectFileFormat(source) == "jpg") {
        try {
          metadata = env_.metadata->Read(source);
        } catch (const std::exception& e) {
          metadataCause = e.what();
        }
      }

      // A failed scaling step writes nothing: an unscaled copy would replace the original in
      // overwrite mode, or stand as an output the user did not ask for.
      try {
        std::optional<Size> size;
        if (job.sizeMode == SizeMode::FileSize) {
          const auto kilobytes = forms::ParseDecimalText(job.fileSizeText, env_.decimalSeparator);
          if (!kilobytes) throw base::Error("The target file size is not a number");
          FileSizeSearchInput search;
          search.source = &current.data();
          search.sourceBytes = base::FileBytes(source);
          search.targetKilobytes = *kilobytes;
          search.trialPath = trial;
          search.filter = env_.memory.filter;
          search.options = options_;
          size = SearchFileSize(search);
        } else if (const auto box = ComputeBox(job, current->Width, current->Height)) {
          size = ScaledSize(current->Width, current->Height, *box, job.changeIfLarger, job.changeIfSmaller,
                            job.orientation);
        }
        if (size) ResizeForRun(current, *size, env_.memory.filter);
      } catch (const ScalingError& e) {
        Report("konvertierfehler", source, e.what());
        return FileOutcome::Failed;
      }

      if (base::IsRegularFile(output)) {
        DialogFlags& flags = dialogs_.Flags();
        if (!flags.askNoMore) dialogs_.AskOverwrite(output);
        if (flags.cancelOverwrite) return FileOutcome::Cancelled;
        if (flags.no) return FileOutcome::Kept;
        // The rename that replaces a file ignores its own permission bits; a file the user may
        // not write stays as it is.
        std::string cause;
        if (!imaging::MayReplace(output, &cause)) {
          Report("speicherfehler", output, cause);
          return FileOutcome::Failed;
        }
      }

      if (!SaveImageFile(output, current, options_)) {
        Report("speicherfehler", output, "No image format writes files of this type");
        return FileOutcome::Failed;
      }
      written_.insert(outputKey);
      if (metadata && imaging::DetectFileFormat(output) == "jpg") {
        try {
          metadata->WriteInto(output);
        } catch (const std::exception& e) {
          metadataCause = e.what();
        }
      } else if (metadataCause.empty() || imaging::DetectFileFormat(output) != "jpg") {
        metadataCause.clear();  // nothing was to be carried into this output
      }
      if (!metadataCause.empty()) dialogs_.ReportUnlessSilenced(kMetadataLostKey, output, metadataCause);
      return FileOutcome::Written;
    } catch (const std::exception& e) {
      Report("speicherfehler", output, e.what());
      return FileOutcome::Failed;
    }
  }

  RunEnvironment& env_;
  UserDialogs& dialogs_;
  int padding_ = 1;
  imaging::CodecOptions options_;  // the codec options of this run, taken at its start
  std::set<std::string> written_;  // the outputs this run has written
};

}  // namespace

RunResult RunConversion(RunEnvironment& env) { return Run(env).Execute(); }

}  // namespace vexilo
