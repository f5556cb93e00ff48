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

#include "cli/Commands.h"
#include "engine/ConversionRun.h"
#include "cli/ConvertInput.h"
#include "imaging/Imaging.h"
#include "engine/Messages.h"
#include "forms/NumberText.h"
#include "base/Text.h"
#include "forms/ToptionenForm.h"
#include "cli/TerminalDialogs.h"
#include "forms/TprogForm.h"
#include "config/VxcFile.h"

namespace cli {

namespace {

const char* const kConvertUsage =
    "Usage: vexilo-cli convert [options] PATH...\n"
    "\n"
    "Converts and resizes the listed image files exactly as the desktop program's conversion\n"
    "run does. The files are converted in the order given; a folder's files come at its place,\n"
    "found with the folder-search filter of the configuration (all supported types, subfolders\n"
    "included, unless --config or --set say otherwise): its subfolders first, then its own files\n"
    "by type and name. A file named twice is converted once. The settings start at the program's\n"
    "initial values: fit into 640 x 480 keeping proportions, save as a new file \"%name%-1\" of\n"
    "the same type beside the source, bicubic, quality 95, progressive.\n"
    "\n"
    "Size (one of):\n"
    "  --size WxH            fit into a box of W x H pixels, keeping proportions; \"800x\" limits\n"
    "                        the width only, \"x600\" the height only (the box is then never turned)\n"
    "  --percent N | WxH     scale by percent (\"--percent 100\" keeps the size)\n"
    "  --factor TEXT         a whole factor or a ratio: \"2\" (twice the size), \"1/3\" (a third),\n"
    "                        \"3:1\" (old to new, also a third); write 0.5 as \"1/2\"\n"
    "  --filesize KB         aim at an approximate output size in kilobytes (by trial saves)\n"
    "\n"
    "When a picture is resized (not for --filesize; their settings' keys in parentheses):\n"
    "  --no-shrink           keep a picture that is larger than the box in both directions\n"
    "                        (act_sizebigger=0)\n"
    "  --no-enlarge          keep a picture that is smaller than the box in both directions\n"
    "                        (act_sizekleiner=0); with both, nothing is resized\n"
    "  --shrink, --enlarge   resize such pictures (the initial setting)\n"
    "  --no-rotate-box       use the box as given (act_sizehochquerformat=0). Initially a box is\n"
    "                        turned for a picture of the other orientation (landscape: wider than\n"
    "                        high), so a 640x480 box takes a portrait photo up to 480x640; the two\n"
    "                        tests above then look at the box either way round, and without\n"
    "                        proportions the picture gets the turned box's size\n"
    "  --rotate-box          turn the box (the initial setting)\n"
    "\n"
    "Output:\n"
    "  --folder PATTERN      output folder; \"%folder%\" is the source's folder (\"%folder%/small\");\n"
    "                        \"keep\" the source's folder; a relative folder starts at the current one\n"
    "  --name PATTERN        output name without extension, \"keep\" the source's name; placeholders:\n"
    "                          %name%    the source's file name without its extension (every\n"
    "                                    occurrence: a.jpg.jpg gives a)\n"
    "                          %num%     the file's number in this run: 1, 2, 3 ...\n"
    "                          %0num%    the same with leading zeros to as many digits as the\n"
    "                                    number of files has (001 ... 100 for 100 files)\n"
    "                          %abs%     the number of files in this run (the same for each)\n"
    "                          %width%, %height%  the source's size before resizing\n"
    "                                    (also %breite%, %höhe%)\n"
    "                        letter case counts; the extension follows from --format\n"
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
    "  --config FILE.vxc     load a configuration file first (a file that holds none of a\n"
    "                        configuration's sections is refused)\n"
    "  --set NAME=VALUE      set one setting by its configuration key, checked as the program\n"
    "                        reads it, the same as vexilo-cli config --set takes (see there):\n"
    "                        --set act_sizekleiner=0 --set out_quality=80 --set PFRB/auswahl=1;\n"
    "                        applied after --config and before the options above\n"
    "  -h, --help            show this text\n"
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
  std::optional<bool> progressive, enlarge, shrink, rotateBox;
  bool overwrite = false;
};

// A friendly option that stands for a setting: the setting's own checks, named by the option.
std::optional<std::string> Setting(config::ProgramWindows& windows, const char* key, const std::string& value,
                                   const std::string& option) {
  if (auto error = config::ApplySetting(windows, key, value)) return option + ": " + *error;
  return std::nullopt;
}

std::optional<std::string> ApplyFriendly(const Friendly& f, config::ProgramWindows& windows) {
  forms::Form& tprog = windows.tprog;
  forms::Form& options = windows.optionen;
  int sizeOptions = (f.size ? 1 : 0) + (f.percent ? 1 : 0) + (f.factor ? 1 : 0) + (f.filesize ? 1 : 0);
  if (sizeOptions > 1) return std::string("use only one of --size, --percent, --factor and --filesize");
  if (f.overwrite && (f.folder || f.name || f.format))
    return std::string("--overwrite writes over the sources; it takes no --folder, --name or --format");
  if (f.size) {
    std::string w, h;
    if (!SplitBox(*f.size, w, h)) return "--size needs WIDTHxHEIGHT, got \"" + *f.size + "\"";
    tprog.SetChecked("rb_benutzer", true);
    if (auto error = Setting(windows, "act_sizebenutzer_x", w, "--size")) return error;
    if (auto error = Setting(windows, "act_sizebenutzer_y", h, "--size")) return error;
    // The missing side is the source's own; a box turned for a portrait would limit the other
    // side instead of the one given.
    if (w.empty() || h.empty()) {
      if (f.rotateBox.value_or(false))
        return std::string("--rotate-box turns a box of two sides; \"") + *f.size + "\" limits one side only";
      options.SetChecked("act_sizehochquerformat", false);
    }
  }
  if (f.percent) {
    std::string w, h;
    tprog.SetChecked("rb_prozent", true);
    if (IsDigits(*f.percent)) {
      tprog.SetChecked("act_propprozent", true);
      if (auto error = Setting(windows, "act_sizeprozent_x", *f.percent, "--percent")) return error;
    } else if (SplitBox(*f.percent, w, h) && !w.empty() && !h.empty()) {
      tprog.SetChecked("act_propprozent", false);
      if (auto error = Setting(windows, "act_sizeprozent_x", w, "--percent")) return error;
      if (auto error = Setting(windows, "act_sizeprozent_y", h, "--percent")) return error;
    } else {
      return "--percent needs a number or WIDTHxHEIGHT, got \"" + *f.percent + "\"";
    }
  }
  if (f.factor) {
    if (auto error = config::FactorTextError(*f.factor)) return "--factor " + *error + ", got \"" + *f.factor + "\"";
    tprog.SetChecked("rb_faktor", true);
    tprog.SetText("ed_faktor", base::TrimBlanks(*f.factor));
  }
  if (f.filesize) {
    tprog.SetChecked("rb_filesize", true);
    tprog.SetText("ed_filesize", *f.filesize);
  }
  if (f.overwrite) tprog.SetChecked("out_overwrite", true);
  if (f.folder || f.name || f.format) tprog.SetChecked("out_newimage", true);
  const char* keep = tprog.CurrentLanguage() == forms::Language::German ? "<beibehalten>" : "<keep>";
  if (f.folder) tprog.SetText("out_ordner", base::EqualNoCase(*f.folder, "keep") ? keep : Absolute(*f.folder));
  if (f.name) {
    if (f.name->empty()) return std::string("--name needs a pattern");
    tprog.SetText("out_name", base::EqualNoCase(*f.name, "keep") ? keep : *f.name);
  }
  if (f.format) {
    std::string wanted = *f.format;
    if (base::StartsWith(wanted, "*")) wanted.erase(0, 1);
    if (!base::StartsWith(wanted, ".")) wanted.insert(0, ".");
    const auto& items = tprog.Get("out_format").items;
    int found = -1;
    if (base::EqualNoCase(*f.format, "keep")) found = 0;
    for (size_t i = 1; found < 0 && i < items.size(); ++i) {
      const std::string extension = base::ReplaceAll(items[i].substr(0, items[i].find(" - ")), "*", "");
      if (base::EqualNoCase(extension, wanted)) found = static_cast<int>(i);
    }
    if (found < 0) return "unknown output type \"" + *f.format + "\" (see --help for the list)";
    tprog.SelectItem("out_format", found);
  }
  if (f.filter) {
    const bool german = options.CurrentLanguage() == forms::Language::German;
    if (base::EqualNoCase(*f.filter, "bicubic")) options.SetText("act_sizemethode", german ? "Bikubisch" : "Bicubic");
    else if (base::EqualNoCase(*f.filter, "bilinear")) options.SetText("act_sizemethode", "Bilinear");
    else if (base::EqualNoCase(*f.filter, "nearest")) options.SetText("act_sizemethode", german ? "Nächster Nachbar" : "Nearest");
    else return "--filter takes bicubic, bilinear or nearest, got \"" + *f.filter + "\"";
  }
  if (f.quality) {
    const auto q = forms::ParseIntegerText(*f.quality);
    if (!IsDigits(*f.quality) || !q || *q < 1 || *q > 100) return "--quality takes 1 to 100, got \"" + *f.quality + "\"";
    options.SetText("out_quality", std::to_string(*q));
  }
  if (f.progressive) options.SetChecked("progressivaktiv", *f.progressive);
  if (f.enlarge) options.SetChecked("act_sizekleiner", *f.enlarge);
  if (f.shrink) options.SetChecked("act_sizebigger", *f.shrink);
  if (f.rotateBox) options.SetChecked("act_sizehochquerformat", *f.rotateBox);
  return std::nullopt;
}

// The paths of an image list in the order they were added (the list itself keeps its sort
// order).
class ListOrder {
public:
  explicit ListOrder(imagelist::ImageList& list) : list_(list) {
    list_.rowAdded = [this](const std::string& path) { added_.push_back(path); };
  }
  ~ListOrder() { list_.rowAdded = nullptr; }
  ListOrder(const ListOrder&) = delete;
  ListOrder& operator=(const ListOrder&) = delete;

  const std::vector<std::string>& Paths() const { return added_; }

private:
  imagelist::ImageList& list_;
  std::vector<std::string> added_;
};

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
    if (arg == "-h") {
      std::fputs(kConvertUsage, stdout);
      return kExitOK;
    }
    if (!base::StartsWith(arg, "--")) {
      if (base::StartsWith(arg, "-") && arg != "-") return UsageError("unknown option \"" + arg + "\"");
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
    struct SwitchOption {
      const char* on;
      const char* off;
      std::optional<bool>* target;
    };
    const SwitchOption switchOptions[] = {
        {"--progressive", "--no-progressive", &friendly.progressive},
        {"--enlarge", "--no-enlarge", &friendly.enlarge},
        {"--shrink", "--no-shrink", &friendly.shrink},
        {"--rotate-box", "--no-rotate-box", &friendly.rotateBox},
    };
    for (const SwitchOption& option : switchOptions) {
      if (inlineValue || (arg != option.on && arg != option.off)) continue;
      *option.target = arg == option.on;
      handled = true;
    }
    if (handled) continue;
    if (arg == "--set") {
      std::string v;
      if (!value(v)) return UsageError("--set needs NAME=VALUE");
      sets.push_back(v);
    } else if (arg == "--overwrite" && !inlineValue) {
      friendly.overwrite = true;
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
    // Anything else named by mistake (an image, a list of files) would load as empty.
    if (const auto bytes = config::ReadWholeFile(*configFile); bytes && !config::HoldsKnownSection(config::VxcFile::Parse(*bytes)))
      return UsageError("--config: \"" + *configFile + "\" is no configuration: it holds none of its sections ([PBRB], [OPCH], ...)");
    if (auto error = LoadConfigurationForConvert(*configFile, windows)) return UsageError(*error);
  }
  for (const std::string& assignment : sets) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos) return UsageError("--set needs NAME=VALUE, got \"" + assignment + "\"");
    const std::string name = base::TrimBlanks(assignment.substr(0, eq));
    if (auto error = config::ApplySetting(windows, name, assignment.substr(eq + 1))) return UsageError("--set " + *error);
  }
  // What a configuration load does after setting the controls.
  forms::RefreshTprog(tprog);
  config::ApplyLanguageToForms(windows, language);
  if (auto error = ApplyFriendly(friendly, windows)) return UsageError(*error);

  // Every file brings pixel buffers of tens of megabytes. Left to mmap, each would be mapped
  // afresh, faulted in and cleared page by page by the kernel, and unmapped at the file's end;
  // kept in the heap, the next file reuses them. This takes most of the system time out of a
  // run of large photos and leaves the peak memory as it was.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);

  TerminalDialogs dialogs(language, policy);
  // The image list tests every file as the program does and keeps its rows sorted by name; the run
  // takes them in the order they were added instead: the command line's, a folder's files in
  // the order of its search.
  imagelist::ImageList list(language);
  ListOrder order(list);
  const int refused = AddConvertInputs(inputs, windows, dialogs, list);
  if (list.RowCount() == 0) return refused > 0 ? kExitSomeFailed : UsageError("no image files found");
  vexilo::PathRows rows(order.Paths());
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
