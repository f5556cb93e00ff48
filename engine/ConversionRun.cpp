#include "engine/ConversionRun.h"

#include "base/Error.h"
#include "base/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "engine/ConversionJob.h"
#include "forms/Texts.h"
#include "engine/FileSizeSearch.h"
#include "imaging/Codec.h"
#include "imaging/ColorProfile.h"
#include "imaging/Orientation.h"
#include "engine/ImageFiles.h"
#include "engine/Messages.h"
#include "engine/OutputNaming.h"
#include "engine/SafeFile.h"
#include "engine/TargetSize.h"
#include "base/Text.h"
#include "forms/NumberText.h"
#include "forms/MainForm.h"

namespace engine {

namespace {

// The start checks on the job at the start; reports the first failing one and returns false.
bool StartChecks(const RunSetup& setup, const ConversionJob& job) {
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
    if (!IsAcceptableFolderPath(probe)) return probe.empty() ? report("keinordner", "") : report("ordnerfalsch", probe);
  }
  if (job.namePattern.empty()) return report("keinname", "");
  // A target size that is not a number would stop every file; say so before the first.
  if (job.sizeMode == SizeMode::FileSize && !forms::IsDecimalText(job.fileSizeText, setup.decimalSeparator))
    return report(kBadFileSizeKey, job.fileSizeText);
  return true;
}

// What a loaded photo brings to its outputs besides the pixels.
struct PhotoOutcome {
  int32_t uprightFrom = 1;        // the Exif orientation the pixels were turned upright from
  imaging::ColorProfile profile;  // the colour profile the outputs embed, null for none
};

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

// A source that cannot be read goes on as an empty image, whether the codec says so or raises
// an error; `cause` then tells why. Warnings of a load that gave a picture are kept in `notes`.
bool Load(const std::string& source, const ConversionJob& job, imaging::Image& image,
          const imaging::CodecOptions& options, PhotoOutcome& photo, std::string& cause,
          std::vector<std::string>& notes) {
  imaging::LoadWarnings warnings;
  bool loaded = false;
  try {
    PhotoFacts facts;
    loaded = LoadImageForRun(source, image, options, &facts) && imaging::IsImageValid(image);
    if (!loaded) cause = base::FileBytes(source) == 0 ? "The file is empty" : "No image format recognises the file's content";
    else photo = PreparePhoto(job, image, facts);
  } catch (const std::exception& e) {
    loaded = false;
    cause = e.what();
  }
  notes = warnings.Texts();
  if (!loaded) image.Reset();
  return loaded;
}

// The access and modification times of a file; none when it cannot be looked at.
std::optional<std::array<timespec, 2>> FileTimes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return std::array<timespec, 2>{info.st_atim, info.st_mtim};
}

// The key under which an output path is remembered: two spellings of one file give one key.
std::string OutputKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

// A file's part that needs no other file: what a helper thread hands to the run's thread.
struct PreparedFile {
  int index = 0;
  ConversionJob job;               // the job as it was read for this file
  bool missing = false;            // the source is no file: nothing else was done
  std::vector<std::string> notes;  // the load's warnings
  imaging::Image image;            // the loaded and scaled picture
  bool loaded = false;
  PhotoOutcome photo;
  std::string loadCause;
  bool outputKnown = false;
  std::string output;
  bool alreadyWritten = false;  // found to be an earlier output of this run: nothing else was done
  std::unique_ptr<CarriedMetadata> metadata;
  std::string metadataCause;
  std::optional<std::array<timespec, 2>> sourceTimes;  // access and modification, with keep_dates
  bool scalingFailed = false;
  std::string scalingCause;
  bool failed = false;  // an error ended the preparation
  std::string failCause;
  // A parallel run encodes the output on the helper too (the image is then released): the
  // bytes, or nothing when no codec writes the type, or the encoder's error.
  bool encoded = false;
  std::optional<std::vector<uint8_t>> bytes;
  std::string encodeCause;
  bool ready = false;   // set by the helper under the pool's lock
};

// The helper threads of a parallel run: they prepare the files handed to them, in the order
// they were handed over.
class Helpers {
public:
  Helpers(int count, std::function<void(PreparedFile&)> prepare) : prepare_(std::move(prepare)) {
    for (int i = 0; i < count; ++i) threads_.emplace_back([this](std::stop_token stop) { Work(stop); });
  }
  // Files not yet begun are dropped; files in progress are finished first.
  ~Helpers() {
    for (std::jthread& thread : threads_) thread.request_stop();
    {
      const std::lock_guard lock(mutex_);
      queue_.clear();
    }
    changed_.notify_all();
    threads_.clear();
  }
  Helpers(const Helpers&) = delete;
  Helpers& operator=(const Helpers&) = delete;

  void Hand(PreparedFile& file) {
    {
      const std::lock_guard lock(mutex_);
      queue_.push_back(&file);
    }
    changed_.notify_all();
  }

  void MarkReady(PreparedFile& file) {
    {
      const std::lock_guard lock(mutex_);
      file.ready = true;
    }
    changed_.notify_all();
  }

  void WaitFor(const PreparedFile& file) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return file.ready; });
  }

private:
  void Work(std::stop_token stop) {
    for (;;) {
      PreparedFile* file = nullptr;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop.stop_requested() || !queue_.empty(); });
        if (stop.stop_requested()) return;
        file = queue_.front();
        queue_.pop_front();
      }
      prepare_(*file);
      MarkReady(*file);
    }
  }

  std::function<void(PreparedFile&)> prepare_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PreparedFile*> queue_;
  std::vector<std::jthread> threads_;  // last: joined before the rest goes
};

class Run {
public:
  explicit Run(const RunSetup& setup)
      : setup_(setup), total_(static_cast<int>(setup.paths.size())), jobs_(EffectiveJobs(setup.jobs, total_)) {}

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

    // The files handed to helpers and not yet finished, in list order; at most jobs_ of them.
    std::deque<std::unique_ptr<PreparedFile>> window;
    std::optional<Helpers> helpers;
    // The helpers' file-size searches end early on a stop request, and when the run ends.
    std::stop_callback forwardStop(setup_.stop, [this] { helpersStop_.request_stop(); });
    if (jobs_ > 1) helpers.emplace(jobs_, [this](PreparedFile& file) { Prepare(file); });
    int handed = 0;

    for (int i = 0; i < total_; ++i) {
      turn_ = i;  // before the stop is looked at: see Prepare
      // A stop asked for while the previous file was processed takes effect here.
      if (setup_.stop.stop_requested()) {
        result.cancelled = true;
        result.notProcessed = total_ - i;
        break;
      }
      std::unique_ptr<PreparedFile> file;
      if (helpers) {
        for (; handed < total_ && handed < i + jobs_; ++handed) {
          window.push_back(Begin(handed));
          if (!window.back()->ready) helpers->Hand(*window.back());
        }
        setup_.observer.FileStarted({i, total_, setup_.paths[static_cast<size_t>(i)]});
        file = std::move(window.front());
        window.pop_front();
        helpers->WaitFor(*file);
      } else {
        setup_.observer.FileStarted({i, total_, setup_.paths[static_cast<size_t>(i)]});
        file = Begin(i);
        if (!file->ready) Prepare(*file);
      }
      const FileEnd end = Finish(*file);
      file.reset();  // its picture goes before the next file is handed out
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
    // The files prepared ahead are dropped: their helpers finish first, and nothing of them
    // was written.
    helpersStop_.request_stop();
    helpers.reset();
    window.clear();
    setup_.flags.ClearAll();
    setup_.observer.RunFinished(result);
    return result;
  }

private:
  bool Parallel() const { return jobs_ > 1; }

  // A file's start on the run's thread: a missing source needs nothing more; any other reads
  // the job, since the options dialog stays usable during a run and applies from the next file.
  std::unique_ptr<PreparedFile> Begin(int i) {
    auto file = std::make_unique<PreparedFile>();
    file->index = i;
    try {
      if (!base::IsRegularFile(setup_.paths[static_cast<size_t>(i)])) {
        file->missing = true;
        file->ready = true;
      } else {
        file->job = setup_.job();
      }
    } catch (const std::exception& e) {
      file->failed = true;
      file->failCause = e.what();
      file->ready = true;
    }
    return file;
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

  std::string OutputPath(const ConversionJob& job, const std::string& source, int index,
                         const imaging::Image& image) const {
    if (job.saveMode == SaveMode::Overwrite) return source;
    NamingInput naming;
    naming.sourcePath = source;
    naming.index = index;
    naming.padding = padding_;
    naming.rowCount = total_;
    naming.width = image.Width();
    naming.height = image.Height();
    naming.folderPattern = job.folderPattern;
    naming.namePattern = job.namePattern;
    naming.formatItem = job.formatItem;
    return BuildOutputPath(naming);
  }

  // The target size of the size mode, or of the file-size search; none keeps the size.
  std::optional<Size> TargetSize(const ConversionJob& job, const std::string& source, const std::string& trial,
                                 const imaging::Image& image, const imaging::CodecOptions& options) const {
    if (job.sizeMode == SizeMode::FileSize) {
      const auto kilobytes = forms::ParseDecimalText(job.fileSizeText, setup_.decimalSeparator);
      if (!kilobytes) throw base::Error("The target file size is not a number");
      FileSizeSearchInput search;
      search.source = &image;
      search.sourceBytes = base::FileBytes(source);
      search.targetKilobytes = *kilobytes;
      search.trialPath = trial;
      search.filter = setup_.memory.filter;
      search.stop = Parallel() ? helpersStop_.get_token() : setup_.stop;
      search.options = options;
      return SearchFileSize(search);
    }
    if (const auto box = ComputeBox(job, image.Width(), image.Height()))
      return ScaledSize(image.Width(), image.Height(), *box, job.changeIfLarger, job.changeIfSmaller, job.orientation);
    return std::nullopt;
  }

  // The run's codec options with the colour profile the file's outputs embed.
  imaging::CodecOptions SaveOptions(const PreparedFile& file) const {
    imaging::CodecOptions options = options_;
    options.SetProfile(file.photo.profile);
    return options;
  }

  // The part of a file that needs no other file: the load, the output path, the metadata read,
  // the target size and the scaling. On a helper thread in a parallel run, where it touches
  // nothing but the file and what stays fixed during the run.
  void Prepare(PreparedFile& file) {
    const int i = file.index;
    const std::string& source = setup_.paths[static_cast<size_t>(i)];
    // After a stop no file beyond the one whose turn it is begins: the run ends before their
    // turn comes. (The run's thread sets the turn before it looks at the stop, so a file seen
    // here as beyond the turn is never taken.)
    if (Parallel() && helpersStop_.stop_requested() && i > turn_) return;
    try {
      if (setup_.beforeLoad) setup_.beforeLoad(i);
      // Before the load, whose reading may move the access time.
      if (file.job.keepDates) file.sourceTimes = FileTimes(source);
      file.loaded = Load(source, file.job, file.image, options_, file.photo, file.loadCause, file.notes);
      file.output = OutputPath(file.job, source, i, file.image);
      file.outputKnown = true;
      // One file at a time, an output this run wrote is known here and spares the scaling; a
      // parallel run finds it when the file's turn comes.
      if (!Parallel() && written_.count(OutputKey(file.output)) != 0) {
        file.alreadyWritten = true;
        return;
      }
      if (!file.loaded) return;
      // Trials go to the output path while it does not exist yet, but in a parallel run an
      // earlier file may be about to write there, so each file has trial files of its own.
      const std::string trial = Parallel()                        ? TrialPath(file.output, i + 1)
                                : base::IsRegularFile(file.output) ? TrialPath(file.output)
                                                                   : file.output;

      // Metadata that cannot be read do not stop the picture: it is written without them.
      if (setup_.metadata != nullptr && imaging::DetectFileFormat(source) == "jpg") {
        try {
          file.metadata = setup_.metadata->Read(source, {file.photo.uprightFrom, file.job.stripLocation});
        } catch (const std::exception& e) {
          file.metadataCause = e.what();
        }
      }

      try {
        if (const auto size = TargetSize(file.job, source, trial, file.image, SaveOptions(file)))
          ResizeForRun(file.image, *size, setup_.memory.filter);
      } catch (const ScalingError& e) {
        file.scalingFailed = true;
        file.scalingCause = e.what();
        file.image.Reset();
        return;
      }
      PrepareForOutput(file.image, file.output);
      if (Parallel()) {
        try {
          file.bytes = EncodeImageFile(file.output, file.image, SaveOptions(file));
        } catch (const std::exception& e) {
          file.encodeCause = e.what();
        }
        file.encoded = true;
        file.image.Reset();
      }
    } catch (const std::exception& e) {
      file.failed = true;
      file.failCause = e.what();
      file.image.Reset();
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
    if (!cause.empty()) Report(end, kMetadataLostKey, end.output, cause);
  }

  // keep_dates: the written output (in its place, its metadata written) gets the source's access
  // and modification times. A failure leaves the output as it is and is reported as lost
  // metadata; the file counts as written.
  void KeepDates(FileEnd& end, const std::array<timespec, 2>& times) {
    if (::utimensat(AT_FDCWD, end.output.c_str(), times.data(), 0) == 0) return;
    const std::string cause = std::string("The file's dates could not be set: ") + std::strerror(errno);
    if (end.key.empty()) Report(end, kMetadataLostKey, end.output, cause);
  }

  // The part of a file that depends on the files before it, on the run's thread in list order:
  // its notes and messages, the check against this run's outputs, the overwrite question, the
  // permission check, the save and the metadata write.
  FileEnd Finish(PreparedFile& file) {
    FileEnd end;
    end.index = file.index;
    end.total = total_;
    end.source = setup_.paths[static_cast<size_t>(file.index)];
    const std::string& source = end.source;
    std::string& output = end.output;
    output = file.output;
    try {
      for (const std::string& text : file.notes) setup_.questions.ShowNote(source, text);
      if (file.missing) return Fail(end, kMissingSourceKey, source, "");
      // An output of this run is never replaced by a later file of the same run, whatever the
      // overwrite answers say: that would lose the earlier picture without a word.
      const std::string outputKey = file.outputKnown ? OutputKey(output) : std::string();
      if (file.alreadyWritten || (file.outputKnown && written_.count(outputKey) != 0))
        return Fail(end, kAlreadyWrittenKey, output, "");
      if (file.failed) return Fail(end, "speicherfehler", output, file.failCause);
      // A source that could not be read writes nothing; the cause is the reader's.
      if (!file.loaded) return Fail(end, "speicherfehler", output, file.loadCause);
      // A failed scaling step writes nothing: an unscaled copy would replace the original in
      // overwrite mode, or stand as an output the user did not ask for.
      if (file.scalingFailed) return Fail(end, "konvertierfehler", source, file.scalingCause);

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

      if (file.encoded) {
        if (!file.encodeCause.empty()) return Fail(end, "speicherfehler", output, file.encodeCause);
        if (!file.bytes) return Fail(end, "speicherfehler", output, "No image format writes files of this type");
        std::string error;
        if (!WriteFileAtomically(output, *file.bytes, &error)) return Fail(end, "speicherfehler", output, error);
        file.bytes.reset();
      } else if (!SaveImageFile(output, file.image, SaveOptions(file))) {
        return Fail(end, "speicherfehler", output, "No image format writes files of this type");
      }
      written_.insert(outputKey);
      end.result = FileResult::Written;
      WriteMetadata(end, file.metadata.get(), file.metadataCause);
      if (file.sourceTimes) KeepDates(end, *file.sourceTimes);
      return end;
    } catch (const std::exception& e) {
      return Fail(end, "speicherfehler", output, e.what());
    }
  }

  const RunSetup& setup_;
  const int total_;
  const int jobs_;  // files in flight at once
  int padding_ = 1;
  imaging::CodecOptions options_;  // the codec options of this run, taken at its start
  std::set<std::string> written_;  // the outputs this run has written
  std::stop_source helpersStop_;   // ends the helpers' file-size searches
  std::atomic<int> turn_ = 0;      // the file the run's thread is at
};

}  // namespace

std::vector<std::string> PathsOf(const ImageRows& rows) {
  std::vector<std::string> paths;
  const int count = rows.RowCount();
  for (int row = 0; row < count; ++row) paths.push_back(rows.RowPath(row));
  return paths;
}

int EffectiveJobs(int jobs, int files) {
  if (jobs <= 0) jobs = static_cast<int>(std::thread::hardware_concurrency());
  return std::max(1, std::min(jobs, files));
}

RunResult RunConversion(const RunSetup& setup) { return Run(setup).Execute(); }

}  // namespace engine
