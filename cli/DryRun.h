// vexilo-cli convert --dry-run: the run's start checks, then for every file of the list (or of
// its part) what the run would do, one line each on standard output, computed by the engine's
// preview of a file (engine/FilePreview.h), which takes the run's own steps. Nothing is written
// and no folder is made.
#pragma once

#include <string>
#include <vector>

#include "cli/TerminalDialogs.h"
#include "config/Configuration.h"
#include "engine/ConversionRun.h"
#include "imaging/Options.h"

namespace cli {

struct DryRunSetup {
  std::vector<std::string> paths;  // the whole list, in the run's order
  engine::ListShard shard;
  imaging::CodecOptions codecOptions;
  int refused = 0;  // inputs the list refused, counted as failures
};

// The exit status the run would have: 2 when a start check fails (reported at the terminal), 1
// when a file would fail or an input was refused, 3 after Ctrl+C, else 0.
int DryRun(const DryRunSetup& setup, const config::ProgramWindows& windows, TerminalDialogs& terminal);

}  // namespace cli
