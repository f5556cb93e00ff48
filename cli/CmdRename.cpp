// vexilo-cli rename: the file renamer on the command line. The listed files and folders go into
// the renamer's list as a drop would put them (sorted by name), and the same rule and run rename
// them; --undo renames back what the last run renamed.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Paths.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "cli/TerminalDialogs.h"
#include "forms/ControlNames.h"
#include "forms/NumberText.h"
#include "forms/RenamerForms.h"
#include "renamer/FileRenamer.h"

namespace cli {

namespace {

const char* const kRenameUsage =
    "Usage: vexilo-cli rename [options] FILE|FOLDER...\n"
    "       vexilo-cli rename --undo\n"
    "\n"
    "Renames files of any type exactly as the desktop program's file renamer does. The files\n"
    "are listed sorted by name (a folder's files with it: its subfolders' files too unless\n"
    "--no-subfolders); the numbering follows that order.\n"
    "\n"
    "  --mask M          the new name without extension (initially \"%name%\"); placeholders:\n"
    "                      %name%   the old name without its extension (every occurrence:\n"
    "                               a.jpg.jpg gives a)\n"
    "                      %num%    the file's number: the start number, then one more per file\n"
    "                      %0num%   the same with leading zeros to as many digits as the\n"
    "                               number of files has (01 ... 12 for 12 files)\n"
    "                      %abs%    the number of files\n"
    "                    the extension is kept\n"
    "  --start N         the first number (initially 1)\n"
    "  --find A --replace B   replace every A by B (letter case counts) ...\n"
    "  --in name|ext|both     ... in the new name (the initial choice), in the extension, or in\n"
    "                    both together\n"
    "  --filter F        in folders, only files with these extensions (\"jpg,png\"); initially all\n"
    "  --no-subfolders   in folders, only their own files\n"
    "  --dry-run         print the table old -> new and change nothing\n"
    "  --undo            give the files of the last rename their old names back (last first);\n"
    "                    also rolls back a rename that was interrupted (crash, power loss)\n"
    "  --finish          complete a rename (or an undo) that was interrupted\n"
    "                    (both move only a file or link to another name in its own folder;\n"
    "                    any other journal entry is reported and left alone)\n"
    "  -h, --help        show this text\n"
    "\n"
    "A file is never renamed over another: a name that is taken gives \"File already exists\".\n"
    "Before renaming, the renames are written to a journal beside the settings\n"
    "($VEXILO_HOME, else $XDG_CONFIG_HOME/vexilo, else ~/.config/vexilo), which --undo reads.\n"
    "Messages are in English, or in German when a file named \"de\" is in the current folder.\n"
    "Ctrl+C stops after the current file.\n"
    "\n"
    "Exit status: 0 every file renamed (or already named so), 1 some could not be renamed,\n"
    "2 usage error, 3 cancelled.\n";

int UsageError(const std::string& text) {
  std::fprintf(stderr, "vexilo-cli rename: %s\nTry \"vexilo-cli rename --help\".\n", text.c_str());
  return kExitUsage;
}

void Report(const std::string& path, const std::string& text) {
  std::fprintf(stderr, "vexilo-cli rename: \"%s\": %s\n", path.c_str(), text.c_str());
}

int ReportUndo(const renamer::UndoResult& result, const renamer::FileRenamer& model) {
  if (result.nothingToUndo && result.journalError.empty()) {
    std::fprintf(stderr, "vexilo-cli rename: nothing to undo\n");
    return kExitOK;
  }
  for (const auto& [path, cause] : result.failures) Report(path, cause);
  for (const auto& [path, cause] : result.skipped) Report(path, cause);
  if (!result.journalError.empty()) std::fprintf(stderr, "vexilo-cli rename: %s\n", result.journalError.c_str());
  if (!model.StatusBar().empty()) std::fprintf(stderr, "%s\n", model.StatusBar().c_str());
  return result.failed > 0 || !result.skipped.empty() || !result.journalError.empty() ? kExitSomeFailed : kExitOK;
}

}  // namespace

int RunRename(const Args& args) {
  std::optional<std::string> mask, start, find, replace, in, filter;
  bool dryRun = false, undo = false, finish = false, subfolders = true;
  std::vector<std::string> inputs;

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") {
      inputs.insert(inputs.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg == "-h" || arg == "--help") {
      std::fputs(kRenameUsage, stdout);
      return kExitOK;
    }
    if (!base::StartsWith(arg, "-") || arg == "-") {
      inputs.push_back(arg);
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    const std::pair<const char*, std::optional<std::string>*> valueOptions[] = {
        {"--mask", &mask}, {"--start", &start}, {"--find", &find},
        {"--replace", &replace}, {"--in", &in}, {"--filter", &filter},
    };
    bool handled = false;
    for (const auto& [name, target] : valueOptions) {
      if (arg != name) continue;
      if (inlineValue) *target = *inlineValue;
      else if (i + 1 < args.size()) *target = args[++i];
      else return UsageError(std::string(name) + " needs a value");
      handled = true;
    }
    if (handled) continue;
    if (inlineValue) return UsageError("unknown option \"" + args[i] + "\"");
    if (arg == "--dry-run") dryRun = true;
    else if (arg == "--undo") undo = true;
    else if (arg == "--finish") finish = true;
    else if (arg == "--no-subfolders") subfolders = false;
    else return UsageError("unknown option \"" + arg + "\"");
  }

  if (undo && finish) return UsageError("--undo and --finish exclude each other");
  if ((undo || finish) && (!inputs.empty() || mask || start || find || replace || in || filter || dryRun))
    return UsageError(std::string(undo ? "--undo" : "--finish") + " works on the journal alone; it takes no files or other options");
  if (!undo && !finish && inputs.empty()) return UsageError("no files given");
  if (start && !forms::IsIntegerText(*start)) return UsageError("--start needs a whole number, got \"" + *start + "\"");
  if (replace && !find) return UsageError("--replace needs --find");
  if (in && !find) return UsageError("--in needs --find");
  if (in && *in != "name" && *in != "ext" && *in != "both") return UsageError("--in takes name, ext or both, got \"" + *in + "\"");

  const forms::Language language = forms::LanguageFromMarkerFiles(".");
  forms::Form form = forms::CreateRenamerForm();
  forms::Form filterForm = forms::CreateRenamerFilterForm();
  forms::ApplyRenamerLanguage(form, language);
  forms::ApplyRenamerFilterLanguage(filterForm, language);
  namespace names = forms::ctl::renamer;
  namespace filterNames = forms::ctl::renamerFilter;
  if (mask) form.SetText(names::kMask, *mask);
  if (start) form.SetText(names::kFirstNumber, *start);
  if (find) {
    form.SetChecked(names::kSearchAndReplace, true);
    form.SetText(names::kSearchText, *find);
    form.SetText(names::kReplacementText, replace.value_or(""));
    const std::string where = in.value_or("name");
    form.SetChecked(names::kReplaceInName, where != "ext");
    form.SetChecked(names::kReplaceInExtension, where != "name");
  }
  if (filter) {
    filterForm.SetChecked(filterNames::kChosenExtensions, true);
    filterForm.SetText(filterNames::kExtensions, *filter);
  }
  form.SetChecked(names::kSubfolders, subfolders);

  TerminalDialogs dialogs(language, ExistingPolicy::KeepAndReport);
  renamer::FileRenamer model(form, filterForm, language);

  if (undo) {
    InterruptGuard interrupts;
    return ReportUndo(model.UndoLastRename(), model);
  }
  std::string journalError;
  const auto pending = model.PendingJournal(&journalError);
  if (!journalError.empty()) {
    std::fprintf(stderr, "vexilo-cli rename: %s\n", journalError.c_str());
    return kExitSomeFailed;
  }
  if (finish) {
    if (!pending) {
      std::fprintf(stderr, "vexilo-cli rename: no interrupted rename to finish\n");
      return kExitOK;
    }
    InterruptGuard interrupts;
    const renamer::RenameResult result = model.Finish();
    for (const auto& [path, cause] : result.skipped) Report(path, cause);
    if (!result.journalError.empty()) std::fprintf(stderr, "vexilo-cli rename: %s\n", result.journalError.c_str());
    if (!model.StatusBar().empty()) std::fprintf(stderr, "%s\n", model.StatusBar().c_str());
    return result.failed > 0 || !result.skipped.empty() || !result.journalError.empty() ? kExitSomeFailed : kExitOK;
  }
  if (pending && !dryRun)
    return UsageError("an earlier rename was interrupted; roll it back with --undo or complete it with --finish first");

  int missing = 0;
  std::vector<std::string> found;
  for (const std::string& input : inputs) {
    if (base::IsFolder(input) || base::IsFile(input)) {
      std::error_code error;
      const std::filesystem::path full = std::filesystem::absolute(input, error);
      found.push_back(error ? input : full.lexically_normal().string());
    } else {
      Report(input, TerminalText(language, "not_found"));
      ++missing;
    }
  }
  model.AddDropped(found, dialogs);
  if (model.RowCount() == 0) return missing > 0 ? kExitSomeFailed : UsageError("no files found");

  if (dryRun) {
    for (const renamer::PlannedRename& p : model.Plan()) {
      if (p.vanished) continue;
      std::string line = p.from + " → " + p.to;
      if (p.outcome != renamer::RowStatus::Renamed) line += "  (" + renamer::StatusText(p.outcome, p.cause, language) + ")";
      std::printf("%s\n", line.c_str());
    }
    return missing > 0 ? kExitSomeFailed : kExitOK;
  }

  if (const char* stop = std::getenv("VEXILO_TEST_KILL_AFTER_RENAMES")) {
    // For the recovery tests: the process dies as in a power loss after that many renames.
    const int after = std::atoi(stop);
    model.afterRename = [after](int renamed) {
      if (renamed >= after) kill(getpid(), SIGKILL);
    };
  }
  renamer::RenameResult result;
  {
    InterruptGuard interrupts;
    result = model.RenameFiles(dialogs);
  }
  int failed = missing;
  for (const renamer::RenamerRow& row : model.Rows()) {
    if (row.state == renamer::RowStatus::Exists || row.state == renamer::RowStatus::Error) {
      Report(row.path, row.status);
      ++failed;
    }
  }
  if (!result.journalError.empty()) std::fprintf(stderr, "vexilo-cli rename: %s\n", result.journalError.c_str());
  std::fprintf(stderr, "%s\n", model.StatusBar().c_str());
  if (result.cancelled) return kExitCancelled;
  return failed > 0 || !result.journalError.empty() ? kExitSomeFailed : kExitOK;
}

}  // namespace cli
