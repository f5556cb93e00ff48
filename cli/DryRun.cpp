#include "cli/DryRun.h"

#include <cstdio>
#include <set>
#include <stop_token>

#include "base/Paths.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "engine/FilePreview.h"
#include "engine/JobFromForms.h"
#include "engine/RunSteps.h"
#include "forms/MessageKeys.h"

namespace cli {

namespace {

std::string SizeText(int32_t width, int32_t height) {
  return std::to_string(width) + "\u00D7" + std::to_string(height);
}

// "a.jpg 4000×3000 → 1024×768 → /out/a-1.webp", or the cause of a file the run would not write.
std::string FileLine(const std::string& source, const engine::FilePreview& preview, bool alreadyWritten,
                     forms::Language language) {
  std::string line = source;
  if (preview.sourceWidth > 0) line += " " + SizeText(preview.sourceWidth, preview.sourceHeight);
  line += " \u2192 ";
  if (!preview.key.empty() || alreadyWritten) {
    const std::string cause = alreadyWritten ? "Output already written: " + preview.outputPath
                              : preview.cause.empty() ? preview.key
                                                      : preview.cause;
    return line + base::ReplaceAll(TerminalText(language, "dry_failed"), "%1", cause);
  }
  line += SizeText(preview.width, preview.height) + " \u2192 " + preview.outputPath;
  if (base::KindOf(preview.outputPath).Exists()) line += TerminalText(language, "dry_exists");
  return line;
}

}  // namespace

int DryRun(const DryRunSetup& setup, const config::ProgramWindows& windows, TerminalDialogs& terminal) {
  std::stop_source stop;
  InterruptGuard interrupts(stop);
  engine::RunObserver silent;
  engine::RunMemory memory;
  const engine::RunSetup run{.paths = setup.paths,
                             .job = engine::JobSourceFromForms(windows.mainForm, windows.options),
                             .observer = silent,
                             .questions = terminal,
                             .flags = terminal.Flags(),
                             .memory = memory,
                             .stop = stop.get_token(),
                             .codecOptions = setup.codecOptions,
                             .shard = setup.shard};
  const engine::ConversionJob startJob = run.job();
  if (!engine::PassesStartChecks(run, startJob)) return kExitUsage;
  engine::ChooseResizeFilter(startJob, memory.filter);

  const int listSize = static_cast<int>(setup.paths.size());
  std::set<std::string> outputs;  // what this run would have written, as the run remembers it
  int written = 0, failed = 0;
  bool cancelled = false;
  for (const int position : engine::ShardPositions(listSize, setup.shard)) {
    if (stop.stop_requested()) {
      cancelled = true;
      break;
    }
    const std::string& source = setup.paths[static_cast<size_t>(position)];
    const engine::FilePreview preview = engine::PreviewFile({.source = source,
                                                             .position = position,
                                                             .listSize = listSize,
                                                             .job = run.job(),
                                                             .codecOptions = setup.codecOptions,
                                                             .filter = memory.filter,
                                                             .decimalSeparator = run.decimalSeparator,
                                                             .stop = stop.get_token()});
    const bool alreadyWritten = preview.key.empty() && !outputs.insert(engine::OutputKey(preview.outputPath)).second;
    if (preview.key.empty() && !alreadyWritten) ++written;
    else ++failed;
    std::printf("%s\n", FileLine(source, preview, alreadyWritten, windows.language).c_str());
    std::fflush(stdout);
  }
  std::string summary = TerminalText(windows.language, "dry_summary");
  summary = base::ReplaceAll(summary, "%1", std::to_string(written));
  summary = base::ReplaceAll(summary, "%2", std::to_string(failed + setup.refused));
  if (cancelled) summary += TerminalText(windows.language, "cancelled");
  std::fprintf(stderr, "%s\n", summary.c_str());
  if (cancelled) return kExitCancelled;
  return failed > 0 || setup.refused > 0 ? kExitSomeFailed : kExitOK;
}

}  // namespace cli
