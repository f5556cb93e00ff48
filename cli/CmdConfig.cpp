// vexilo-cli config: writes a configuration file as the desktop program saves it, from the
// initial values or a loaded file and the given settings, so that scripts can prepare the same
// settings the program's windows hold.
#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/Paths.h"
#include "cli/Commands.h"
#include "config/Configuration.h"
#include "forms/Language.h"
#include "base/Text.h"
#include "forms/MainForm.h"

namespace cli {

namespace {

const char* const kConfigUsage =
    "Usage: vexilo-cli config [--load FILE.vxc] [--set NAME=VALUE]... --save FILE.vxc\n"
    "\n"
    "Writes a configuration file exactly as the desktop program saves one: every setting of the\n"
    "main window, the options, the folder-search filter, the file renamer and its filter, and\n"
    "the desktop integration, the window positions and the autosave choice.\n"
    "\n"
    "  --load FILE     start from this configuration instead of the program's initial values;\n"
    "                  a file that holds none of a configuration's sections is refused\n"
    "  --set NAME=VALUE  change one setting, by its configuration key (out_quality=80,\n"
    "                  rb_prozent=1, act_sizeprozent_x=50, out_name=%name%_small); a key that\n"
    "                  several windows have needs its section (PFRB/auswahl=1, DFED/filter=png);\n"
    "                  SP/PB, SP/PH, SP/PT, SP/PL, SP/PF (and SD/... for the renamer) set the\n"
    "                  window geometry, AS/N and AS/A the autosave choice; keep_dates,\n"
    "                  keep_orientation, to_srgb and strip_location (VX, a section of\n"
    "                  Vexilo's own) the switches of the options dialog beyond the original's.\n"
    "                  Each value is checked as the program reads it: switches take 1 or 0,\n"
    "                  out_quality and ScrollBar1 1 to 100, act_sizebenutzer_x/_y pixels (or\n"
    "                  nothing for the source's own side), ed_faktor a whole number, a/b or a:b,\n"
    "                  out_format one of its items (\"*.png - Portable Network Graphics\"),\n"
    "                  act_sizemethode Bicubic, Bilinear or Nearest. vexilo-cli convert --set\n"
    "                  takes the same settings.\n"
    "                  The value is read as a configuration file holds it: blanks around it do\n"
    "                  not count, and one pair of enclosing quotes is removed (' x' keeps its\n"
    "                  blank when written as \"' x'\").\n"
    "  --save FILE     the file to write; an existing configuration is updated and keeps its\n"
    "                  encoding, its order and everything the program does not know; an\n"
    "                  existing file that is not a configuration (a picture) is refused\n"
    "  -h, --help      show this text\n"
    "\n"
    "Settings are applied in the order given, each as the program applies a changed value (a\n"
    "radio button checked unchecks the others of its group; out_quality moves ScrollBar1).\n"
    "The texts \"<keep>\", \"%folder%\", \"%width%\" and \"%height%\" are written in English, or in\n"
    "German when a file named \"de\" is in the current folder.\n"
    "\n"
    "Exit status: 0 written, 1 the file could not be written, 2 usage error.\n";

int UsageError(const std::string& text) {
  std::fprintf(stderr, "vexilo-cli config: %s\nTry \"vexilo-cli config --help\".\n", text.c_str());
  return 2;
}

bool IsReadableFile(const std::string& path) {
  return base::IsRegularFile(path) && config::ReadWholeFile(path).has_value();
}

}  // namespace

int RunConfig(const Args& args) {
  std::optional<std::string> load, save;
  std::vector<std::string> sets;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kConfigUsage, stdout);
      return 0;
    }
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); base::StartsWith(arg, "--") && eq != std::string::npos && arg != "--set") {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    std::string value;
    if (arg == "--load" || arg == "--save" || arg == "--set") {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError(arg + " needs a value");
      }
    } else {
      return UsageError("unknown argument \"" + args[i] + "\"");
    }
    if (arg == "--set") {
      sets.push_back(value);
      continue;
    }
    std::optional<std::string>& target = arg == "--load" ? load : save;
    if (target) return UsageError(arg + " may be given once");
    if (value.empty()) return UsageError(arg + " needs a file name");
    target = value;
  }
  if (!save) return UsageError("--save FILE is required");

  const forms::Language language = forms::LanguageFromMarkerFiles(".");
  config::ProgramWindows windows(language);
  if (load) {
    if (!IsReadableFile(*load)) return UsageError("cannot read the configuration \"" + *load + "\"");
    if (!config::LoadConfiguration(windows, *load, config::LoadCaller::StartUp))
      return UsageError("\"" + *load + "\" is no configuration: it holds none of its sections ([PBRB], [OPCH], ...)");
  }
  for (const std::string& assignment : sets) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos) return UsageError("--set needs NAME=VALUE, got \"" + assignment + "\"");
    const std::string name = base::TrimBlanks(assignment.substr(0, eq));
    if (auto error = config::ApplySetting(windows, name, assignment.substr(eq + 1))) return UsageError(*error);
  }
  // What a load does after setting the controls, so that the file holds what the program would
  // show after loading it.
  forms::RefreshMainForm(windows.mainForm);
  config::ApplyLanguageToForms(windows, language);

  try {
    config::SaveConfiguration(windows, *save);
  } catch (const config::ConfigWriteError& e) {
    std::fprintf(stderr, "vexilo-cli config: %s (%s)\n", e.what(), e.Reason().c_str());
    return 1;
  }
  return 0;
}

}  // namespace cli
