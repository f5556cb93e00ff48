#include "engine/ConversionRun.h"

#include "base/Error.h"
#include "base/Paths.h"

#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <future>
#include <optional>
#include <thread>
#include <variant>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "engine/ConversionJob.h"
#include "forms/MessageKeys.h"
#include "forms/Texts.h"
#include "engine/FileSizeSearch.h"
#include "engine/HelperPool.h"
#include "engine/MemoryBudget.h"
#include "imaging/Codec.h"
#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/Orientation.h"
#include "engine/ImageFiles.h"
#include "engine/Messages.h"
#include "engine/OutputNaming.h"
#include "engine/RunSteps.h"
#include "base/AtomicFile.h"
#include "engine/TargetSize.h"
#include "base/Text.h"
#include "forms/NumberText.h"
#include "forms/MainForm.h"

namespace engine {

namespace {

namespace msg = forms::msg;

// Whether this process may create and write files in the folder, or else create it: the folder
// itself when it exists, else the nearest folder above it that exists. The cause is the
// system's text ("Permission denied", "Read-only file system", "Not a directory").
bool FolderWritable(std::string folder, std::string& cause) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  for (;;) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) {
        cause = std::strerror(ENOTDIR);
        return false;
      }
      if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return true;
      cause = std::strerror(errno);
      return false;
    }
    if (errno == ENOTDIR) {
      cause = std::strerror(ENOTDIR);
      return false;
    }
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos || folder == "/") return true;  // nothing left to look at
    folder = slash == 0 ? "/" : folder.substr(0, slash);
  }
}

// The folders the outputs of the run's files go to, each looked at once: the sources' own
// folders when they are overwritten, else the folder pattern for each source folder. Files whose
// folder has gone are left to the run, which reports them one by one. Returns false with the
// first folder that cannot be written and the cause.
bool OutputFoldersWritable(const std::vector<std::string>& paths, const ConversionJob& job, std::string& folder,
                           std::string& cause) {
  std::set<std::string> sourceFolders, outputFolders;
  for (const std::string& path : paths) {
    const std::string sourceFolder = PathFolder(path);
    if (!sourceFolders.insert(sourceFolder).second || !base::IsFolder(sourceFolder)) continue;
    NamingInput naming;
    naming.sourcePath = path;
    naming.folderPattern = job.folderPattern;
    const std::string output = job.saveMode == SaveMode::Overwrite ? sourceFolder : OutputFolder(naming);
    if (!outputFolders.insert(output).second) continue;
    if (!FolderWritable(output, cause)) {
      folder = output;
      return false;
    }
  }
  return true;
}

}  // namespace

bool PassesStartChecks(const RunSetup& setup, const ConversionJob& job) {
  const auto report = [&](const char* key, const std::string& detail) {
    ShowMessageAndRecord(setup.questions, setup.flags, key, detail);
    return false;
  };
  const std::string& folder = job.folderPattern;
  if (!forms::IsKeepEntry(folder)) {
    // The folder placeholders as OutputFolder replaces them, the default language's last.
    std::string probe = folder;
    const std::vector<std::string> placeholders = forms::SpecialTexts("folder");
    for (auto placeholder = placeholders.rbegin(); placeholder != placeholders.rend(); ++placeholder)
      probe = base::ReplaceAll(probe, *placeholder, "/Ordner/");
    if (!IsAcceptableFolderPath(probe))
      return probe.empty() ? report(msg::kNoOutputFolder, "") : report(msg::kBadOutputFolder, probe);
  }
  if (job.namePattern.empty()) return report(msg::kNoOutputName, "");
  // A name that leads out of the output folder could replace any file the user may write.
  if (job.saveMode == SaveMode::NewFile && !forms::IsKeepEntry(job.namePattern) &&
      !IsAcceptableNamePattern(job.namePattern))
    return report(msg::kBadOutputName, job.namePattern);
  // A target size that is not a number would stop every file; say so before the first.
  if (job.sizeMode == SizeMode::FileSize && !forms::IsDecimalText(job.fileSizeText, setup.decimalSeparator))
    return report(msg::kBadFileSize, job.fileSizeText);
  // A folder no file can be written to would fail every file of it; say so once, before the first.
  std::string unwritable, cause;
  if (!OutputFoldersWritable(setup.paths, job, unwritable, cause)) {
    ShowMessageAndRecord(setup.questions, setup.flags, msg::kFolderNotWritable, unwritable, cause);
    return false;
  }
  return true;
}

namespace {

// The access and modification times of a file; none when it cannot be looked at.
std::optional<std::array<timespec, 2>> FileTimes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return std::array<timespec, 2>{info.st_atim, info.st_mtim};
}

// What the preparation of a file ended with: one of these, each with the one cause it has.
// Finish reports the failures and writes what is ready.
struct SourceMissing {};  // the source is no file (any more): nothing was done
struct PreparationFailed {  // an error ended it: the job, the output folder, the size computation
  std::string cause;
};
struct SourceUnreadable {  // no picture could be read from the source (or it is no regular file)
  std::string cause;
};
struct ScalingFailed {  // the scaling step failed, so nothing is to be written
  std::string cause;
};
struct EncodingFailed {  // the picture could not be encoded for its output type
  std::string cause;
};
struct OutputExists {};  // skipExisting, and the output is there: nothing more is done
// Encoded, and ready to be written with what goes with it.
struct ReadyToWrite {
  std::vector<uint8_t> bytes;                 // the output file's content
  int32_t width = 0;                          // the picture's size as encoded
  int32_t height = 0;
  std::unique_ptr<CarriedMetadata> metadata;  // null: nothing to carry, or the read failed
  std::string metadataLostCause;              // why the metadata read failed; empty when it did not
  std::optional<std::array<timespec, 2>> sourceTimes;  // access and modification, with keep_dates
};
using Preparation = std::variant<SourceMissing, PreparationFailed, SourceUnreadable, ScalingFailed, EncodingFailed,
                                 OutputExists, ReadyToWrite>;

// A file in flight: begun on the run's thread, prepared on a helper, finished on the run's
// thread.
struct FileInFlight {
  int index = 0;                   // its turn in this run
  int position = 0;                // its place in the whole list, which the numbering sees
  ConversionJob job;               // the job as it was read for this file
  std::vector<std::string> notes;  // the load's warnings
  std::string output;              // the output path; empty until it is known
  Preparation outcome;             // set by Begin or by the helper (a file a stop drops is never finished)
  bool toPrepare = false;          // false when Begin ended it
  std::future<void> prepared;      // the helper's work on it; not valid when Begin ended the file
  std::optional<std::array<timespec, 2>> sourceTimes;  // the source's, with keep_dates
  uint64_t heldBytes = 0;          // what its preparation is estimated to hold (engine/MemoryBudget.h)
  std::string budgetNote;          // shown before its other notes: it needs more than the whole budget
  std::chrono::steady_clock::duration prepareTime{};  // the helper's time on it
};

// Picks the handler of a variant's alternative from a set of lambdas.
template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

class Run {
public:
  explicit Run(const RunSetup& setup)
      : setup_(setup),
        listSize_(static_cast<int>(setup.paths.size())),
        positions_(ShardPositions(listSize_, setup.shard)),
        total_(static_cast<int>(positions_.size())),
        jobs_(EffectiveJobs(setup.jobs, total_)),
        budget_(setup.memoryBudget != 0 ? setup.memoryBudget : DefaultMemoryBudget()) {}

  RunResult Execute() {
    RunResult result;
    if (listSize_ <= 0) return result;
    const ConversionJob startJob = setup_.job();
    if (!PassesStartChecks(setup_, startJob)) return result;
    result.started = true;

    setup_.observer.RunStarted(total_);
    ChooseResizeFilter(startJob, setup_.memory.filter);
    options_ = OutputOptions(startJob, setup_.codecOptions);

    // The files handed to the helpers and not yet finished, in list order; at most jobs_ of
    // them, and no more than the memory budget admits.
    std::deque<std::unique_ptr<FileInFlight>> window;
    // The file begun after them that the budget has not admitted yet.
    std::unique_ptr<FileInFlight> waiting;
    // The helpers' file-size searches end early on a stop request, and when the run ends.
    std::stop_callback forwardStop(setup_.stop, [this] { helpersStop_.request_stop(); });
    std::optional<HelperPool> helpers(std::in_place, jobs_);
    int begun = 0;

    for (int i = 0; i < total_; ++i) {
      turn_ = i;  // before the stop is looked at: see Begin
      // A stop asked for while the previous file was processed takes effect here.
      if (setup_.stop.stop_requested()) {
        result.cancelled = true;
        result.notProcessed = total_ - i;
        break;
      }
      setup_.observer.FileStarted({i, total_, Source(i)});
      // Files are begun after the FileStarted of the file whose turn it is, up to jobs_ - 1
      // files ahead of it; after a stop, only that file. So with one job the source is looked
      // at and the job read right after the file's own FileStarted, as in a run that does one
      // file after the other, and a source that has gone by its turn is reported as missing.
      // They go to the helpers in list order as long as the budget admits them; the one it
      // does not waits for the files before it to end (the window is empty by its turn).
      const int reach = setup_.stop.stop_requested() ? i + 1 : std::min(total_, i + jobs_);
      for (;;) {
        if (!waiting) {
          if (begun >= reach) break;
          waiting = Begin(begun++);
        }
        if (waiting->index >= reach || (!window.empty() && !budget_.Admits(waiting->heldBytes))) break;
        Admit(*waiting, *helpers);
        window.push_back(std::move(waiting));
      }
      std::unique_ptr<FileInFlight> file = std::move(window.front());
      window.pop_front();
      if (file->prepared.valid()) file->prepared.get();
      const FileEnd end = Finish(*file);
      budget_.Release(file->heldBytes);
      file.reset();  // its bytes and metadata go before the next file is begun
      switch (end.result) {
        case FileResult::Written: ++result.written; break;
        case FileResult::Kept: ++result.kept; break;
        case FileResult::Failed: ++result.failed; break;
        case FileResult::Skipped: ++result.skipped; break;
        case FileResult::Cancelled:
          result.cancelled = true;
          result.notProcessed = total_ - i - 1;
          break;
      }
      setup_.observer.FileFinished(end);
      if (result.cancelled) break;
    }
    // The files begun ahead are dropped: their helpers finish first, and nothing of them was
    // written.
    helpersStop_.request_stop();
    helpers.reset();
    window.clear();
    waiting.reset();
    setup_.flags.ClearAll();
    setup_.observer.RunFinished(result);
    return result;
  }

private:
  // A file's start on the run's thread: a missing source needs nothing more; any other reads
  // the job, since the options dialog stays usable during a run and applies from the next file,
  // and has its header read for what it will hold.
  std::unique_ptr<FileInFlight> Begin(int i) {
    auto file = std::make_unique<FileInFlight>();
    file->index = i;
    file->position = positions_[static_cast<size_t>(i)];
    try {
      // Only a regular file is read: a named pipe or a device would block the run or never end.
      const std::string& source = Source(i);
      const base::FileKind kind = base::KindOf(source);
      if (kind.error == ENOENT || kind.error == ENOTDIR) {
        file->outcome = SourceMissing{};
        return file;
      }
      if (!kind.Regular()) {
        file->outcome = SourceUnreadable{kind.Problem(source)};
        return file;
      }
      file->job = setup_.job();
    } catch (const std::exception& e) {
      file->outcome = PreparationFailed{e.what()};
      return file;
    }
    const std::string& source = Source(i);
    // Before the header read, which like the load may move the access time.
    if (file->job.keepDates) file->sourceTimes = FileTimes(source);
    file->heldBytes = EstimateHeldBytes(source, file->job, setup_.codecOptions, setup_.decimalSeparator);
    file->toPrepare = true;
    return file;
  }

  // Hands a begun file to the helpers and holds its estimate in the budget; a file Begin ended
  // holds nothing. The first picture of the run that needs more than the whole budget (it is
  // admitted alone) gets the note.
  void Admit(FileInFlight& file, HelperPool& helpers) {
    if (file.heldBytes > budget_.Limit() && !budgetNoted_) {
      file.budgetNote = BudgetBelowPictureNote(file.heldBytes, budget_.Limit());
      budgetNoted_ = true;
    }
    budget_.Hold(file.heldBytes);
    if (!file.toPrepare) return;
    file.prepared = helpers.Hand([this, handed = &file] {
      // After a stop no file beyond the one whose turn it is begins: the run ends before their
      // turn comes. (The run's thread sets the turn before it looks at the stop, so a file seen
      // here as beyond the turn is never taken.)
      if (helpersStop_.stop_requested() && handed->index > turn_) return;
      const auto start = std::chrono::steady_clock::now();
      handed->outcome = Prepare(*handed);
      handed->prepareTime = std::chrono::steady_clock::now() - start;
    });
  }

  // The source of the run's i-th file.
  const std::string& Source(int i) const {
    return setup_.paths[static_cast<size_t>(positions_[static_cast<size_t>(i)])];
  }

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

  // skipExisting, before the load: the output path when it is known without the picture (its
  // name has no size placeholder) and a regular file stands there. An output that is no regular
  // file is left to the check before the write, which fails it.
  std::optional<std::string> ExistingOutputBeforeLoad(const FileInFlight& file, const std::string& source) const {
    const ConversionJob& job = file.job;
    std::string path = source;
    if (job.saveMode == SaveMode::NewFile) {
      const NamingInput naming = NamingFor(job, source, file.position, listSize_, 0, 0);
      if (NameUsesPictureSize(naming)) return std::nullopt;
      path = ComposeOutputPath(naming);
    }
    if (!base::KindOf(path).Regular()) return std::nullopt;
    return path;
  }

  // The frames or pages a full load of the file would give, from its header; 1 when the header
  // cannot tell.
  int32_t FrameCount(const std::string& source, const std::string& sourceFormat) const {
    try {
      imaging::ImageHeader header;
      if (imaging::ReadImageHeader(source, sourceFormat, options_, header)) return header.Frames;
    } catch (const std::exception&) {
    }
    return 1;
  }

  // The run's codec options with the colour profile the file's outputs embed.
  imaging::CodecOptions SaveOptions(const imaging::ColorProfile& profile) const {
    imaging::CodecOptions options = options_;
    options.profile = profile;
    return options;
  }

  // The part of a file that needs no other file: the load, the output path, the metadata read,
  // the target size, the scaling and the encoding. On a helper thread, where it touches nothing
  // but the file and what stays fixed during the run.
  Preparation Prepare(FileInFlight& file) const {
    const int i = file.index;
    const std::string& source = Source(i);
    try {
      if (setup_.skipExisting) {
        if (auto existing = ExistingOutputBeforeLoad(file, source)) {
          file.output = std::move(*existing);
          return OutputExists{};
        }
      }
      if (setup_.beforeLoad) setup_.beforeLoad(i);
      ReadyToWrite ready;
      ready.sourceTimes = file.sourceTimes;
      // The output's type does not depend on the picture: whether it keeps the source's frames
      // or pages is known before the load.
      const std::string sourceFormat = imaging::DetectFileFormat(source);
      const bool allFrames = MayHoldFrames(sourceFormat) && RunKeepsFrames(sourceFormat, OutputTypePathForRun(file.job, source, file.position, listSize_));
      LoadedFrames loaded;
      PhotoOutcome photo;
      std::string loadCause;
      const bool loadedOk = LoadSourceForRun(source, file.job, allFrames, loaded, options_, photo, loadCause, file.notes);
      std::vector<imaging::Image>& frames = loaded.frames;
      imaging::Image& image = frames[0];
      std::optional<std::string> outputProblem;
      file.output = OutputPathForRun(file.job, source, file.position, listSize_, image.Width(), image.Height(),
                                     outputProblem);
      if (!loadedOk) return SourceUnreadable{loadCause};
      if (outputProblem) return PreparationFailed{*outputProblem};
      if (setup_.skipExisting && base::KindOf(file.output).Regular()) return OutputExists{};

      // Metadata that cannot be read do not stop the picture: it is written without them.
      if (setup_.metadata != nullptr && sourceFormat == "jpg") {
        try {
          ready.metadata = setup_.metadata->Read(source, {photo.uprightFrom, file.job.stripLocation});
        } catch (const std::exception& e) {
          ready.metadataLostCause = e.what();
        }
      }

      // An output of one picture from a source of several says so, once.
      if (!allFrames && MayHoldFrames(sourceFormat)) {
        const int32_t count = FrameCount(source, sourceFormat);
        if (count > 1) file.notes.push_back(FirstFrameNote(count, sourceFormat, file.output));
      }

      imaging::CodecOptions options = SaveOptions(photo.profile);
      options.animation = std::move(loaded.animation);
      try {
        const TargetSizeInput target{.source = source,
                                     .output = file.output,
                                     .decimalSeparator = setup_.decimalSeparator,
                                     .filter = setup_.memory.filter,
                                     .options = options,
                                     .stop = helpersStop_.get_token()};
        ScaleFramesForRun(file.job, frames, target);
      } catch (const ScalingError& e) {
        return ScalingFailed{e.what()};
      }
      for (imaging::Image& frame : frames) PrepareForOutput(frame, file.output);
      ready.width = image.Width();
      ready.height = image.Height();
      try {
        std::optional<std::vector<uint8_t>> bytes = EncodeImageFile(file.output, frames, options);
        if (!bytes) return EncodingFailed{"No image format writes files of this type"};
        ready.bytes = std::move(*bytes);
      } catch (const std::exception& e) {
        return EncodingFailed{e.what()};
      }
      return ready;
    } catch (const std::exception& e) {
      return PreparationFailed{e.what()};
    }
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
    if (!cause.empty()) Report(end, msg::kMetadataLost, end.output, cause);
  }

  // keep_dates: the written output (in its place, its metadata written) gets the source's access
  // and modification times. A failure leaves the output as it is and is reported as lost
  // metadata; the file counts as written.
  void KeepDates(FileEnd& end, const std::array<timespec, 2>& times) {
    if (::utimensat(AT_FDCWD, end.output.c_str(), times.data(), 0) == 0) return;
    const std::string cause = std::string("The file's dates could not be set: ") + std::strerror(errno);
    if (end.key.empty()) Report(end, msg::kMetadataLost, end.output, cause);
  }

  // The file's finish, with the time spent on it: its preparation and its finish.
  FileEnd Finish(FileInFlight& file) {
    const auto start = std::chrono::steady_clock::now();
    FileEnd end = FinishInOrder(file);
    end.workTime = std::chrono::duration_cast<std::chrono::microseconds>(
        file.prepareTime + (std::chrono::steady_clock::now() - start));
    return end;
  }

  // The part of a file that depends on the files before it, on the run's thread in list order:
  // its notes and messages, the check against this run's outputs, the overwrite question, the
  // permission check, the write and the metadata write.
  FileEnd FinishInOrder(FileInFlight& file) {
    FileEnd end;
    end.index = file.index;
    end.total = total_;
    end.position = file.position;
    end.source = Source(file.index);
    end.output = file.output;
    const std::string& source = end.source;
    const std::string& output = end.output;
    try {
      if (!file.budgetNote.empty()) setup_.questions.ShowNote(source, file.budgetNote);
      for (const std::string& text : file.notes) setup_.questions.ShowNote(source, text);
      // An output of this run is never replaced by a later file of the same run, whatever the
      // overwrite answers say: that would lose the earlier picture without a word.
      // A source that could not be read is reported as such, whatever its output would be.
      const bool unreadable = std::holds_alternative<SourceUnreadable>(file.outcome);
      const std::string outputKey = output.empty() ? std::string() : OutputKey(output);
      if (!output.empty() && !unreadable && written_.count(outputKey) != 0)
        return Fail(end, msg::kAlreadyWritten, output, "");
      return std::visit(
          Overloaded{
              [&](const SourceMissing&) { return Fail(end, msg::kSourceMissing, source, ""); },
              [&](const PreparationFailed& failed) { return Fail(end, msg::kSaveError, output, failed.cause); },
              // A source that could not be read writes nothing; the cause is the reader's.
              [&](const SourceUnreadable& failed) { return Fail(end, msg::kLoadError, source, failed.cause); },
              // A failed scaling step writes nothing: an unscaled copy would replace the original
              // in overwrite mode, or stand as an output the user did not ask for.
              [&](const ScalingFailed& failed) { return Fail(end, msg::kConversionError, source, failed.cause); },
              // Reported where the save would have failed: after the overwrite question.
              [&](const EncodingFailed& failed) {
                return MayWrite(end) ? Fail(end, msg::kSaveError, output, failed.cause) : end;
              },
              [&](const OutputExists&) {
                end.result = FileResult::Skipped;
                return end;
              },
              [&](ReadyToWrite& ready) { return MayWrite(end) ? Write(end, outputKey, ready) : end; },
          },
          file.outcome);
    } catch (const std::exception& e) {
      return Fail(end, msg::kSaveError, output, e.what());
    }
  }

  // Whether the output may be written. An existing file is asked about (unless an answer for
  // all was given); when the answer keeps it or breaks the run, or the user may not replace it,
  // `end` says how the file ended and the answer is false.
  bool MayWrite(FileEnd& end) {
    // Only a regular file is replaced, whatever the answers: a folder, a device, a named pipe
    // or a socket at the output (or a link to one) is reported and stays as it is.
    const base::FileKind kind = base::KindOf(end.output);
    if (kind.Exists() && !kind.Regular()) {
      Fail(end, msg::kSaveError, end.output, base::NotRegularFileCause(end.output, kind.mode));
      return false;
    }
    if (!kind.Exists()) return true;
    // It may have been written since the preparation looked (by another part's run).
    if (setup_.skipExisting) {
      end.result = FileResult::Skipped;
      return false;
    }
    DialogFlags& flags = setup_.flags;
    if (!flags.askNoMore) AskOverwriteAndRecord(setup_.questions, flags, end.output);
    if (flags.cancelOverwrite) {
      end.result = FileResult::Cancelled;
      return false;
    }
    if (flags.no) {
      end.result = FileResult::Kept;
      return false;
    }
    // The rename that replaces a file ignores its own permission bits; a file the user may not
    // write stays as it is.
    std::string cause;
    if (base::MayReplace(end.output, &cause)) return true;
    Fail(end, msg::kSaveError, end.output, cause);
    return false;
  }

  // Writes the output in its place, remembers it as this run's, and carries the metadata and
  // the dates into it.
  FileEnd Write(FileEnd& end, const std::string& outputKey, ReadyToWrite& ready) {
    // The output folder is made only now, so a file that fails before its save leaves none.
    if (auto error = CreateFolderPath(PathFolder(end.output))) return Fail(end, msg::kSaveError, end.output, *error);
    std::string error;
    if (!base::WriteFileAtomically(end.output, ready.bytes, &error)) return Fail(end, msg::kSaveError, end.output, error);
    written_.insert(outputKey);
    end.result = FileResult::Written;
    WriteMetadata(end, ready.metadata.get(), ready.metadataLostCause);
    if (ready.sourceTimes) KeepDates(end, *ready.sourceTimes);
    end.width = ready.width;
    end.height = ready.height;
    end.bytes = base::FileBytes(end.output);
    return end;
  }

  const RunSetup& setup_;
  const int listSize_;            // the files of the whole list
  const std::vector<int> positions_;  // the list positions of the files this run converts
  const int total_;               // their number
  const int jobs_;  // files in flight at once
  imaging::CodecOptions options_;  // the codec options of this run, taken at its start
  std::set<std::string> written_;  // the outputs this run has written
  std::stop_source helpersStop_;   // ends the helpers' file-size searches
  std::atomic<int> turn_ = 0;      // the file the run's thread is at
  MemoryBudget budget_;            // what the files in flight hold together
  bool budgetNoted_ = false;       // the note on a picture larger than the budget was given
};

}  // namespace

std::vector<std::string> PathsOf(const ImageRows& rows) {
  std::vector<std::string> paths;
  const int count = rows.RowCount();
  for (int row = 0; row < count; ++row) paths.push_back(rows.RowPath(row));
  return paths;
}

bool ShardHolds(const ListShard& shard, int position) {
  return shard.count >= 1 && position >= 0 && position % shard.count == shard.index;
}

std::vector<int> ShardPositions(int size, const ListShard& shard) {
  std::vector<int> positions;
  if (shard.count < 1 || shard.index < 0 || shard.index >= shard.count) return positions;
  positions.reserve(static_cast<size_t>(size / shard.count + 1));
  for (int64_t position = shard.index; position < size; position += shard.count)
    positions.push_back(static_cast<int>(position));
  return positions;
}

int EffectiveJobs(int jobs, int files) {
  if (jobs <= 0) jobs = static_cast<int>(std::thread::hardware_concurrency());
  return std::max(1, std::min(jobs, files));
}

RunResult RunConversion(const RunSetup& setup) { return Run(setup).Execute(); }

}  // namespace engine
