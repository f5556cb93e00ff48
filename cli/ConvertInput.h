// What `vexilo-cli convert` takes from the configuration and image-list layers: the windows a
// configuration file sets, and the image list that the run reads its rows from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/TerminalDialogs.h"
#include "config/Configuration.h"
#include "engine/ConversionRun.h"
#include "imagelist/List.h"

namespace cli {

// --config FILE: loads the configuration as a file named on the program's command line is
// loaded; an error text when the file cannot be read.
std::optional<std::string> LoadConfigurationForConvert(const std::string& path, config::ProgramWindows& windows);

// An input the image list refused, with the message key it was reported with and the cause.
struct RefusedInput {
  std::string path;
  std::string key;    // kSourceMissing (the cause is then empty) or kFormatNotSupported
  std::string cause;
};

// The image list of the run: every folder is searched with the folder-search filter of the
// configuration (extension set and subfolders), every other path is added as a file, each
// with the list's duplicate, regular-file and format tests. Relative paths are made absolute
// first. The images are not decoded for the list's cells, which the command never shows. A path
// that names nothing is reported as a missing file; a named pipe, a device or a socket is
// refused before anything opens it. Duplicates ("a.png ./a.png") are no refusal.
//
// When the runs of the parts of one list (`shard`) all build the list, each refusal is reported
// by one of them: they meet the refusals in the same order, and the n-th (0-based) belongs to
// the part that would hold the n-th file of a list. The other parts pass it over in silence.
struct ListedInputs {
  std::vector<RefusedInput> refused;  // the paths refused (missing, no regular file or
                                      // unsupported, in a folder too) that this run reports
  int refusedInAll = 0;               // the refusals of every part
};
ListedInputs AddConvertInputs(const std::vector<std::string>& inputs, const config::ProgramWindows& windows,
                              TerminalDialogs& terminal, imagelist::ImageList& list, const engine::ListShard& shard = {});

}  // namespace cli
