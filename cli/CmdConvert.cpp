// vexilo-cli convert: the conversion run of the desktop program on the command line. The forms
// start at their initial values; a configuration file, --set values and the friendly options
// change them in this order; then the same engine runs over the listed files.
#include <malloc.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "ConversionRun.h"
#include "ConvertInput.h"
#include "Imaging.h"
#include "Messages.h"
#include "NumberText.h"
#include "TextTools.h"
#include "ToptionenForm.h"
#include "TerminalDialogs.h"
#include "TprogForm.h"

namespace cli {

namespace {

const char* const kConvertUsage =
    "Usage: vexilo-cli convert [options] PATH...\n"
    "\n"
    "Converts and resizes the listed image files exactly as the desktop program's conversion\n"
    "run does. A folder is searched with the folder-search filter of the configuration (all\n"
    "supported types, subfolders included, unless --config says otherwise); the files are\n"
    "converted in name order, as the program's image list holds them. The settings start at the\n"
    "program's initial values: fit into 640 x 480 keeping proportions, save as a new file\n"
    "\"%name%-1\" of the same type beside the source, bicubic, quality 95, progressive.\n"
    "\n"
    "Size (one of):\n"
    "  --size WxH            fit into a custom box, keeping proportions (\"800x\" limits the width only)\n"
    "  --percent N | WxH     scale by percent (\"--percent 100\" keeps the size)\n"
    "  --factor TEXT         a factor or ratio: \"2\", \"1/3\" (a third), \"3:1\" (old to new)\n"
    "  --filesize KB         aim at an approximate output size in kilobytes (by trial saves)\n"
    "\n"
    "Output:\n"
    "  --folder PATTERN      output folder; \"%folder%\" is the source's folder (\"%folder%/small\");\n"
    "                        \"keep\" the source's folder; a relative folder starts at the current one\n"
    "  --name PATTERN        output name without extension; placeholders %name% %num% %0num% %abs%\n"
    "                        %width% %height% (size before scaling); \"keep\" the source's name\n"
    "  --format EXT          output type: jpg png gif bmp dib ico cur psd pdd tif tiff jpeg jfif jpe\n"
    "                        jif mng jng pgm ppm pam pfm jp2 j2k j2c jpx jpc dds tga, or keep\n"
    "  --overwrite           write over the source files instead\n"
    "\n"
    "Options:\n"
    "  --filter bicubic|bilinear|nearest   resampling method\n"
    "  --quality N           JPEG, JNG and MNG quality, 1 to 100\n"
    "  --progressive, --no-progressive     progressive JPEG, JNG and MNG output\n"
    "\n"
    "Existing output files:\n"
    "  on a terminal the program asks: y yes, n no, a yes to all, N no to all, b break;\n"
    "  --yes-to-all          overwrite them without asking\n"
    "  --no-to-all           keep them without asking\n"
    "  without a terminal and without either option they are kept and reported.\n"
    "\n"
    "Settings:\n"
    "  --config FILE.vxc     load a configuration file first\n"
    "  --set NAME=VALUE      set a control of the main window or the options dialog by its\n"
    "                        configuration key (e.g. --set act_sizekleiner=0 --set out_quality=80);\n"
    "                        applied after --config and before the options above\n"
    "\n"
    "Messages are in English, or in German when a file named \"de\" is in the current folder.\n"
    "Ctrl+C stops after the current file.\n"
    "\n"
    "Exit status: 0 every file written, 1 some failed or were kept unasked, 2 usage error,\n"
    "3 cancelled.\n";

constexpr int kExitOK = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 3;

int UsageError(const std::string& text) {
  std::fprintf(stderr, "vexilo-cli convert: %s\nTry \"vexilo-cli convert --help\".\n", text.c_str());
  return kExitUsage;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) ==
                                                                                std::tolower(static_cast<unsigned char>(y)); });
}

// A configuration value as the configuration reader takes it: blanks around it are not part of
// it, and one pair of enclosing quotation marks is removed.
std::string ConfigValueText(const std::string& raw) {
  std::string value = forms::TrimBlanks(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

// Sets a stored control of either form by its key; the error text when the name or value is
// not one a configuration file could hold.
std::optional<std::string> SetControl(forms::Form& tprog, forms::Form& options, const std::string& assignment) {
  const size_t eq = assignment.find('=');
  if (eq == std::string::npos) return "--set needs NAME=VALUE, got \"" + assignment + "\"";
  const std::string name = forms::TrimBlanks(assignment.substr(0, eq));
  const std::string value = ConfigValueText(assignment.substr(eq + 1));
  for (forms::Form* form : {&tprog, &options}) {
    for (const forms::Control& c : form->Controls()) {
      if (!EqualNoCase(c.name, name)) continue;
      const std::string key = c.name;
      switch (c.kind) {
        case forms::ControlKind::Edit:
        case forms::ControlKind::Combo: form->SetText(key, value); return std::nullopt;
        case forms::ControlKind::Radio:
        case forms::ControlKind::Check:
        case forms::ControlKind::ScrollBar:
        case forms::ControlKind::Panel: {
          const auto number = forms::ParseIntegerText(value);
          if (!number) return "--set " + key + " needs an integer value (0 or 1 for a switch), got \"" + value + "\"";
          if (c.kind == forms::ControlKind::ScrollBar) form->SetPosition(key, *number);
          else if (c.kind == forms::ControlKind::Panel) form->SetVisible(key, *number != 0);
          else form->SetChecked(key, *number != 0);
          return std::nullopt;
        }
        default: return "\"" + key + "\" is not a setting (it holds no value)";
      }
    }
  }
  return "no setting named \"" + name + "\" in the main window or the options dialog";
}

// "640x480", "800x", "x600": texts of digits (possibly empty) on either side of an "x".
bool SplitBox(const std::string& text, std::string& w, std::string& h) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  w = text.substr(0, x);
  h = text.substr(x + 1);
  const auto digits = [](const std::string& s) { return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }); };
  return digits(w) && digits(h) && !(w.empty() && h.empty());
}

bool IsDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Absolute(const std::string& folder) {
  if (folder.empty() || folder.front() == '/' || folder.front() == '%' || forms::IsKeepEntry(folder)) return folder;
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  return ec ? folder : cwd + "/" + folder;
}

struct Friendly {
  std::optional<std::string> size, percent, factor, filesize, folder, name, format, filter, quality;
  std::optional<bool> progressive;
  bool overwrite = false;
};

std::optional<std::string> ApplyFriendly(const Friendly& f, forms::Form& tprog, forms::Form& options) {
  int sizeOptions = (f.size ? 1 : 0) + (f.percent ? 1 : 0) + (f.factor ? 1 : 0) + (f.filesize ? 1 : 0);
  if (sizeOptions > 1) return std::string("use only one of --size, --percent, --factor and --filesize");
  if (f.overwrite && (f.folder || f.name || f.format))
    return std::string("--overwrite writes over the sources; it takes no --folder, --name or --format");
  if (f.size) {
    std::string w, h;
    if (!SplitBox(*f.size, w, h)) return "--size needs WIDTHxHEIGHT, got \"" + *f.size + "\"";
    tprog.SetChecked("rb_benutzer", true);
    tprog.SetText("act_sizebenutzer_x", w);
    tprog.SetText("act_sizebenutzer_y", h);
  }
  if (f.percent) {
    std::string w, h;
    tprog.SetChecked("rb_prozent", true);
    if (IsDigits(*f.percent)) {
      tprog.SetChecked("act_propprozent", true);
      tprog.SetText("act_sizeprozent_x", *f.percent);
    } else if (SplitBox(*f.percent, w, h) && !w.empty() && !h.empty()) {
      tprog.SetChecked("act_propprozent", false);
      tprog.SetText("act_sizeprozent_x", w);
      tprog.SetText("act_sizeprozent_y", h);
    } else {
      return "--percent needs a number or WIDTHxHEIGHT, got \"" + *f.percent + "\"";
    }
  }
  if (f.factor) {
    tprog.SetChecked("rb_faktor", true);
    tprog.SetText("ed_faktor", *f.factor);
  }
  if (f.filesize) {
    tprog.SetChecked("rb_filesize", true);
    tprog.SetText("ed_filesize", *f.filesize);
  }
  if (f.overwrite) tprog.SetChecked("out_overwrite", true);
  if (f.folder || f.name || f.format) tprog.SetChecked("out_newimage", true);
  const char* keep = tprog.CurrentLanguage() == forms::Language::German ? "<beibehalten>" : "<keep>";
  if (f.folder) tprog.SetText("out_ordner", EqualNoCase(*f.folder, "keep") ? keep : Absolute(*f.folder));
  if (f.name) {
    if (f.name->empty()) return std::string("--name needs a pattern");
    tprog.SetText("out_name", EqualNoCase(*f.name, "keep") ? keep : *f.name);
  }
  if (f.format) {
    std::string wanted = *f.format;
    if (forms::StartsWith(wanted, "*")) wanted.erase(0, 1);
    if (!forms::StartsWith(wanted, ".")) wanted.insert(0, ".");
    const auto& items = tprog.Get("out_format").items;
    int found = -1;
    if (EqualNoCase(*f.format, "keep")) found = 0;
    for (size_t i = 1; found < 0 && i < items.size(); ++i) {
      const std::string extension = forms::ReplaceAll(items[i].substr(0, items[i].find(" - ")), "*", "");
      if (EqualNoCase(extension, wanted)) found = static_cast<int>(i);
    }
    if (found < 0) return "unknown output type \"" + *f.format + "\" (see --help for the list)";
    tprog.SelectItem("out_format", found);
  }
  if (f.filter) {
    const bool german = options.CurrentLanguage() == forms::Language::German;
    if (EqualNoCase(*f.filter, "bicubic")) options.SetText("act_sizemethode", german ? "Bikubisch" : "Bicubic");
    else if (EqualNoCase(*f.filter, "bilinear")) options.SetText("act_sizemethode", "Bilinear");
    else if (EqualNoCase(*f.filter, "nearest")) options.SetText("act_sizemethode", german ? "Nächster Nachbar" : "Nearest");
    else return "--filter takes bicubic, bilinear or nearest, got \"" + *f.filter + "\"";
  }
  if (f.quality) {
    const auto q = forms::ParseIntegerText(*f.quality);
    if (!IsDigits(*f.quality) || !q || *q < 1 || *q > 100) return "--quality takes 1 to 100, got \"" + *f.quality + "\"";
    options.SetText("out_quality", std::to_string(*q));
  }
  if (f.progressive) options.SetChecked("progressivaktiv", *f.progressive);
  return std::nullopt;
}

}  // namespace

int RunConvert(const Args& args) {
  Friendly friendly;
  std::vector<std::string> sets;
  std::optional<std::string> configFile;
  std::vector<std::string> inputs;
  ExistingPolicy policy = ExistingPolicy::Ask;
  bool yesToAll = false, noToAll = false;

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") {
      inputs.insert(inputs.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (!forms::StartsWith(arg, "--")) {
      if (forms::StartsWith(arg, "-") && arg != "-") return UsageError("unknown option \"" + arg + "\"");
      inputs.push_back(arg);
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); eq != std::string::npos && arg != "--set") {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    auto value = [&](std::string& out) -> bool {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    struct ValueOption {
      const char* name;
      std::optional<std::string>* target;
    };
    const ValueOption valueOptions[] = {
        {"--size", &friendly.size},       {"--percent", &friendly.percent}, {"--factor", &friendly.factor},
        {"--filesize", &friendly.filesize}, {"--folder", &friendly.folder},   {"--name", &friendly.name},
        {"--format", &friendly.format},   {"--filter", &friendly.filter},   {"--quality", &friendly.quality},
        {"--config", &configFile},
    };
    bool handled = false;
    for (const ValueOption& option : valueOptions) {
      if (arg != option.name) continue;
      std::string v;
      if (!value(v)) return UsageError(std::string(option.name) + " needs a value");
      if (*option.target && arg == "--config") return UsageError("--config may be given once");
      *option.target = v;
      handled = true;
    }
    if (handled) continue;
    if (arg == "--help") {
      std::fputs(kConvertUsage, stdout);
      return kExitOK;
    }
    if (arg == "--set") {
      std::string v;
      if (!value(v)) return UsageError("--set needs NAME=VALUE");
      sets.push_back(v);
    } else if (arg == "--overwrite" && !inlineValue) {
      friendly.overwrite = true;
    } else if (arg == "--progressive" && !inlineValue) {
      friendly.progressive = true;
    } else if (arg == "--no-progressive" && !inlineValue) {
      friendly.progressive = false;
    } else if (arg == "--yes-to-all" && !inlineValue) {
      yesToAll = true;
    } else if (arg == "--no-to-all" && !inlineValue) {
      noToAll = true;
    } else {
      return UsageError("unknown option \"" + args[i] + "\"");
    }
  }
  if (yesToAll && noToAll) return UsageError("--yes-to-all and --no-to-all exclude each other");
  if (inputs.empty()) return UsageError("no files given");
  if (yesToAll) policy = ExistingPolicy::YesToAll;
  else if (noToAll) policy = ExistingPolicy::NoToAll;
  else if (!(isatty(STDIN_FILENO) && isatty(STDERR_FILENO))) policy = ExistingPolicy::KeepAndReport;

  const forms::Language language = forms::LanguageFromMarkerFiles(".");
  // Every window a configuration covers: the run reads the main window and the options, the
  // folder search the filter dialog.
  config::ProgramWindows windows(language);
  forms::Form& tprog = windows.tprog;
  forms::Form& options = windows.optionen;
  if (configFile) {
    if (auto error = LoadConfigurationForConvert(*configFile, windows)) return UsageError(*error);
  }
  for (const std::string& assignment : sets) {
    if (auto error = SetControl(tprog, options, assignment)) return UsageError(*error);
  }
  // What a configuration load does after setting the controls.
  forms::RefreshTprog(tprog);
  forms::ApplyTprogLanguage(tprog, language);
  forms::ApplyToptionenLanguage(options, language);
  if (auto error = ApplyFriendly(friendly, tprog, options)) return UsageError(*error);

  // Every file brings pixel buffers of tens of megabytes. Left to mmap, each would be mapped
  // afresh, faulted in and cleared page by page by the kernel, and unmapped at the file's end;
  // kept in the heap, the next file reuses them. This takes most of the system time out of a
  // run of large photos and leaves the peak memory as it was.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);

  TerminalDialogs dialogs(language, policy);
  // The run takes its rows from the image list, as in the program.
  imagelist::ImageList rows(language);
  const int refused = AddConvertInputs(inputs, windows, dialogs, rows);
  if (rows.RowCount() == 0) return refused > 0 ? kExitSomeFailed : UsageError("no image files found");
  vexilo::RunMemory memory;
  vexilo::RunEnvironment env{tprog, options, rows, dialogs, memory};

  vexilo::RunResult result;
  {
    InterruptGuard interrupts;
    result = vexilo::RunConversion(env);
  }

  if (!result.started) return kExitUsage;
  const bool german = language == forms::Language::German;
  std::fprintf(stderr, german ? "%d geschrieben, %d fehlgeschlagen, %d behalten%s\n" : "%d written, %d failed, %d kept%s\n",
               result.written, result.failed + refused, result.kept,
               result.cancelled ? (german ? ", abgebrochen" : ", cancelled") : "");
  if (result.cancelled) return kExitCancelled;
  if (result.failed > 0 || refused > 0 || dialogs.keptUnasked > 0) return kExitSomeFailed;
  return kExitOK;
}

}  // namespace cli
