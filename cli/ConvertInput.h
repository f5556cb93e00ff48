// What `vexilo-cli convert` takes from the configuration and image-list layers: the windows a
// configuration file sets, and the image list that the run reads its rows from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "imagelist/List.h"
#include "engine/UserDialogs.h"

namespace cli {

// --config FILE: loads the configuration as a file named on the program's command line is
// loaded; an error text when the file cannot be read.
std::optional<std::string> LoadConfigurationForConvert(const std::string& path, config::ProgramWindows& windows);

// The image list of the run: every folder is searched with the folder-search filter of the
// configuration (extension set and subfolders), every other path is added as a file, each
// with the list's duplicate, regular-file and format tests. Relative paths are made absolute
// first. The images are not decoded for the list's cells, which the command never shows. A path
// that names nothing is reported as a missing file; a named pipe, a device or a socket is
// refused before anything opens it. Returns the number of paths refused (missing, no regular
// file or unsupported, in a folder too); duplicates ("a.png ./a.png") do not count.
int AddConvertInputs(const std::vector<std::string>& inputs, const config::ProgramWindows& windows,
                      engine::UserDialogs& dialogs, imagelist::ImageList& list);

}  // namespace cli
