// The conversion run: every file of a list is loaded, scaled and saved under the output name and
// type the job asks for, with the start checks, the overwrite questions and the failure
// messages.
//
// A front end drives a run like this:
//
//   engine::RunSetup setup{
//       .paths = engine::PathsOf(list),             // the list as it stands at the start
//       .job = engine::JobSourceFromForms(mainForm, optionsForm),
//       .observer = progressWindow,                 // RunObserver
//       .questions = dialogs,                       // Questions (message, overwrite, note)
//       .flags = dialogs.Flags(),                   // the program's answer flags
//       .memory = runMemory,                        // kept from run to run
//       .stop = stopSource.get_token()};            // the progress window's Break
//   const engine::RunResult result = engine::RunConversion(setup);
//
// RunConversion returns when the run has ended; it may run on a worker thread. Every call of
// the observer, the questions and the job source happens on that thread, in the order of a run
// of one file at a time. A question blocks the run until it is answered.
//
// A loaded photo is turned upright by its Exif orientation and, with the job's to_srgb, its
// colours are converted to sRGB (imaging/ColorProfile.h) before the size is computed, so
// the size rules and the name placeholders see the upright picture. Otherwise its colour
// profile goes into the outputs that can hold one.
//
// Up to RunSetup::jobs files are in flight at once, fewer while large pictures would hold more
// than RunSetup::memoryBudget together; one job is a pool of one helper thread, not a second
// way of running. Helper threads do what a file needs from no other file: the load, the
// output path, the metadata read, the target size with the file-size search (which makes the
// output folder for its trial files), the scaling and the encoding of the output. The run's thread begins each
// file (it looks at the source and reads the job) and then takes the files strictly in list
// order, doing the rest as a run of one file at a time does: the check against this run's earlier
// outputs, the check that the output is no device, pipe, socket or folder, the overwrite
// question, the permission check, making the output folder, writing the output and its
// metadata, the messages, notes and observer events. So a file that fails before its save
// leaves no output folder behind (in file-size mode the trials need it first). So the user sees the run of one file at a time, and
// the outputs are the same bytes. A file is begun right after the FileStarted of the file
// `jobs` - 1 places before it; with one job that is its own FileStarted, so the source is looked
// at and the job read then, as one file after the other always did. The trial files of the
// file-size search are temporary files under names nobody can guess, so files searched at once
// never meet; a cancel or Break drops the files begun ahead (they wrote nothing but may have
// created their output folder for their trials).
//
// What is fixed when the run starts and what may change while it goes on:
//   - fixed at the start: the list of paths (N files, so also the "%0num%" padding, "%abs%" and
//     the progress counter), the resampling filter and the codec options (quality, progressive,
//     Photoshop layer), the decimal separator; the start checks look at the first job;
//   - with a shard, the list is still the whole list: the numbering sees every file of it;
//   - read again for every file, from a fresh job: the size mode and all size settings, the
//     larger/smaller and landscape/portrait check boxes, overwrite or new file, the folder, name
//     and type settings, the target file size, and the photo check boxes.
#pragma once

#include <cstdint>
#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/UserDialogs.h"
#include "forms/NumberText.h"
#include "imaging/Options.h"
#include "imaging/PixelFormats.h"

namespace engine {

// The image list as a run's start sees it.
class ImageRows {
public:
  virtual ~ImageRows() = default;
  virtual int RowCount() const = 0;
  // The full path of a row (the list's path column).
  virtual std::string RowPath(int row) const = 0;
};

// The paths of all rows, in list order: what a run is given at its start. Rows added later
// (by a second program start) are not part of the run, and a row is converted exactly once.
std::vector<std::string> PathsOf(const ImageRows& rows);

// Metadata carried from a JPEG source into a JPEG output: held from the metadata read to the
// metadata write of one file, and dropped whenever the file ends.
class CarriedMetadata {
public:
  virtual ~CarriedMetadata() = default;
  // The metadata write: called on the run's thread after the output was written, when the
  // output is JPEG. Throws on failure; the run reports kMetadataLost with the output path. Must
  // leave the output intact when it fails.
  virtual void WriteInto(const std::string& outputPath) = 0;
};

// How the carried metadata change on their way into the output.
struct CarryChanges {
  // The Exif orientation the pixels were turned upright from (2 to 8): the carried orientation
  // becomes 1, and a thumbnail is turned the same way. 1: the pixels stand as stored.
  int32_t uprightFrom = 1;
  // The job's strip_location: the GPS data and the personal tags are left out.
  bool stripPersonal = false;
};

class MetadataCarrier {
public:
  virtual ~MetadataCarrier() = default;
  // The metadata read: called for a source whose content is JPEG, after the output path is
  // built, on a helper thread of the run (for several files at once when several are in
  // flight). Null when there is nothing to carry. Throws on failure (the picture is written
  // without them and kMetadataLost reported).
  virtual std::unique_ptr<CarriedMetadata> Read(const std::string& sourcePath, const CarryChanges& changes) = 0;
};

// What survives from one run to the next: the resampling filter (nearest neighbour until a
// method text names another).
struct RunMemory {
  imaging::ResizeFilter filter = imaging::ResizeFilter::Nearest;
};

// The Exif and XMP carry-over (engine/exif/Carrier.cpp); stateless, shared by all runs.
MetadataCarrier* DefaultMetadataCarrier();

// How one file ended.
enum class FileResult {
  Written,    // the output was saved (its metadata may still have been lost: see `key`)
  Kept,       // an existing output was left alone ("No", "No for all", or kept unasked)
  Failed,     // nothing was written; `key` and `cause` tell why
  Cancelled,  // "Break" in the overwrite question: nothing was written and the run ends
  Skipped,    // RunSetup::skipExisting: the output existed and was left alone, unasked
};

// The start of file `index` (0-based) of `total`. The progress window's file line is
// source + " (" + (index + 1) + "/" + total + ")".
struct FileStart {
  int index = 0;
  int total = 0;
  std::string source;
};

// The end of a file. The progress bar then stands at index + 1 of total.
struct FileEnd {
  int index = 0;
  int total = 0;
  int position = 0;  // the file's place in the whole list (0-based): index, unless a shard is run
  std::string source;
  std::string output;  // the output path; empty when the file failed before it was known
  FileResult result = FileResult::Failed;
  // The message key reported for the file (forms/MessageKeys.h: kLoadError, kSaveError,
  // kConversionError, kSourceMissing, kAlreadyWritten or kMetadataLost; empty when none),
  // whether or not "OK for all" silenced it, and the library's or system's text for what went
  // wrong.
  std::string key;
  std::string cause;
  // Of a written output: the picture's width and height as written and the file's size with its
  // metadata; 0 for every other result.
  int32_t width = 0;
  int32_t height = 0;
  uint64_t bytes = 0;
  // The time spent on this file: its preparation on a helper thread and its finish.
  std::chrono::microseconds workTime{0};
};

struct RunResult {
  // false: empty list, or a start check failed (and was reported); a shard that holds none of
  // the files of a list that has some starts and ends with no file
  bool started = false;
  bool cancelled = false;  // Break in the overwrite question, or a stop request
  int written = 0;         // outputs saved
  int kept = 0;            // existing outputs left alone by "No" or "No for all"
  int skipped = 0;         // existing outputs left alone by RunSetup::skipExisting
  int failed = 0;          // files with a reported (or silenced) failure
  int notProcessed = 0;    // files a cancel left untouched
};

// What a run tells its front end. Calls come in this order: RunStarted, then for each file
// FileStarted and FileFinished, then RunFinished. A run whose start checks fail (or whose list
// is empty) calls none of them. The progress window shows: title "Processing" and the line
// "Current Image:" from RunStarted, the file line from FileStarted, the bar's position from
// FileFinished; the main window is disabled from RunStarted to RunFinished and gets the focus
// when the result says cancelled.
class RunObserver {
public:
  virtual ~RunObserver() = default;
  virtual void RunStarted(int total) { (void)total; }
  virtual void FileStarted(const FileStart& file) { (void)file; }
  virtual void FileFinished(const FileEnd& file) { (void)file; }
  virtual void RunFinished(const RunResult& result) { (void)result; }
};

// One of `count` parts of a list, for a list that several runs convert at once (processes on
// one machine or on many): part `index` (0-based) holds the files at the positions p with
// p % count == index. A file's part depends on its position alone, the parts differ in length
// by one file at most, and neighbours in the list (a folder's photos, alike in size) go to
// different parts, so the parts take about the same time.
struct ListShard {
  int index = 0;
  int count = 1;
};

// Whether the part holds the file at `position` (0-based) of the list.
bool ShardHolds(const ListShard& shard, int position);
// The positions of the files of a list of `size` files that the part holds, in list order.
std::vector<int> ShardPositions(int size, const ListShard& shard);

struct RunSetup {
  // The files, in order, as the list held them at the start: the whole list, also when the run
  // converts one part of it (`shard`).
  std::vector<std::string> paths;
  JobSource job;                   // the settings; see the top of this file for when it is read
  RunObserver& observer;
  Questions& questions;
  // The answer flags the questions set; all five are clear when the run returns. They are the
  // program's flags: an "OK for all" given before the run keeps its messages silent.
  DialogFlags& flags;
  RunMemory& memory;
  // Stops the run after the file in progress (a file-size search ends its trials early and the
  // file is still saved). Checked before each file and between trial saves; a stop requested
  // before the run begins converts nothing, so each run needs a fresh stop source.
  std::stop_token stop = {};
  MetadataCarrier* metadata = DefaultMetadataCarrier();  // null: nothing is carried
  std::string decimalSeparator = forms::UserDecimalSeparator();
  // How many files may be in flight at once: 0 as many as the machine has cores, 1 one file
  // after the other (prepared on one helper thread while the run's thread waits for it).
  int jobs = 0;
  // The memory the files in flight may hold together, in bytes (engine/MemoryBudget.h): a file
  // whose picture would not fit beside those in flight waits, and one picture larger than the
  // whole budget is converted alone, with a note. 0: DefaultMemoryBudget(), half of the
  // physical memory.
  uint64_t memoryBudget = 0;
  // Called before a file's load with its index, on the helper thread that prepares the file;
  // tests slow a step down with it.
  std::function<void(int)> beforeLoad = {};
  // The codec options the run starts from (the job's quality and progression go over them).
  imaging::CodecOptions codecOptions = imaging::CurrentOptions();
  // The part of `paths` this run converts. The numbering placeholders ("%num%", "%0num%",
  // "%abs%") keep the values of the whole list, so the runs of all parts together write the
  // files, names and bytes of one run over the whole list. The observer counts the part's files.
  ListShard shard = {};
  // An output that exists as a regular file is left as it is, without a question, and its file
  // counts as skipped: a run started again after it was stopped does what is left. The source
  // is not even loaded when the output's name does not depend on the picture's size.
  bool skipExisting = false;
};

// The number of files in flight for RunSetup::jobs and a list of `files` files: at least 1.
int EffectiveJobs(int jobs, int files);

// The run's start checks on `job` (the first job the run reads): the folder and name patterns,
// the target file size and the output folders of `setup.paths`. The first that fails is reported
// through `setup.questions` (kNoOutputFolder, kBadOutputFolder, kNoOutputName, kBadOutputName,
// kBadFileSize, kFolderNotWritable) and the answer is false. A dry run asks them as the run does.
bool PassesStartChecks(const RunSetup& setup, const ConversionJob& job);

// The run, from the start checks to the end: the messages kNoOutputFolder, kBadOutputFolder,
// kNoOutputName, kBadOutputName and kBadFileSize (forms/MessageKeys.h) before the first file;
// per file kSourceMissing, kLoadError, kAlreadyWritten, kConversionError, kSaveError and
// kMetadataLost; the overwrite question for existing outputs; notes for pictures that load
// with warnings. Only regular files are read and replaced; a source that is none is a load
// failure, an output that is none a save failure, whatever the overwrite answers.
RunResult RunConversion(const RunSetup& setup);

}  // namespace engine
