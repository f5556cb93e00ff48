// The conversion run: every row of the image list is loaded, scaled and saved under the output
// name and type the job asks for, with the start checks, the overwrite questions, the progress
// window and the failure messages of UserDialogs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "forms/Form.h"
#include "imaging/ImagingPixelFormats.h"
#include "forms/NumberText.h"
#include "engine/UserDialogs.h"

namespace vexilo {

// The image list as the run sees it. The row count may grow while the run lets events through
// (a second program start adds files); the run visits only the rows it found at its start.
class ImageRows {
public:
  virtual ~ImageRows() = default;
  virtual int RowCount() const = 0;
  // The full path of a row (the list's path column).
  virtual std::string RowPath(int row) const = 0;
};

// A fixed list of paths.
class PathRows : public ImageRows {
public:
  explicit PathRows(std::vector<std::string> paths) : paths_(std::move(paths)) {}
  int RowCount() const override { return static_cast<int>(paths_.size()); }
  std::string RowPath(int row) const override { return paths_[static_cast<size_t>(row)]; }

private:
  std::vector<std::string> paths_;
};

// Metadata carried from a JPEG source into a JPEG output: held from the metadata read to the
// metadata write of one file, and dropped whenever the file ends.
class CarriedMetadata {
public:
  virtual ~CarriedMetadata() = default;
  // The metadata write: called after SaveImageFile wrote the output, when the output is JPEG.
  // Throws on failure; the run reports "speicherfehler" with the output path. Must leave the
  // output intact when it fails.
  virtual void WriteInto(const std::string& outputPath) = 0;
};

class MetadataCarrier {
public:
  virtual ~MetadataCarrier() = default;
  // The metadata read: called for a source whose content is JPEG, after the output path is
  // built. Null when there is nothing to carry. Throws on failure (reported as "speicherfehler").
  virtual std::unique_ptr<CarriedMetadata> Read(const std::string& sourcePath) = 0;
};

// What survives from one run to the next: the resampling filter (nearest neighbour until a
// method text names another).
struct RunMemory {
  imaging::ResizeFilter filter = imaging::ResizeFilter::Nearest;
};

// The Exif and XMP carry-over (engine/exif/ExifCarrier.cpp); stateless, shared by all runs.
MetadataCarrier* DefaultMetadataCarrier();

struct RunEnvironment {
  forms::Form& tprog;
  forms::Form& toptionen;
  const ImageRows& rows;
  UserDialogs& dialogs;
  RunMemory& memory;
  MetadataCarrier* metadata = DefaultMetadataCarrier();  // null: nothing is carried
  std::string decimalSeparator = forms::UserDecimalSeparator();
};

struct RunResult {
  bool started = false;    // false: empty list, or a start check failed (and was reported)
  bool cancelled = false;  // Break in the overwrite dialog or the progress window
  int written = 0;         // outputs saved
  int kept = 0;            // existing outputs left alone by "No" or "No for all"
  int failed = 0;          // files with a reported (or silenced) failure
};

// The run, from the start checks to the end: "keinordner", "ordnerfalsch", "keinname" and
// "dateigroessefalsch" before the first file; per file "quellefehlt", "konvertierfehler" and
// "speicherfehler"; the overwrite question for existing outputs. All five answer flags are
// clear when it returns.
RunResult RunConversion(RunEnvironment& env);

}  // namespace vexilo
