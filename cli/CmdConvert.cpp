// vexilo-cli convert: the conversion run of the desktop program on the command line. The forms
// start at their initial values; a configuration file, --set values and the friendly options
// change them in this order; then the same engine runs over the listed files.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/Text.h"
#include "cli/Commands.h"
#include "cli/ConvertInput.h"
#include "cli/DryRun.h"
#include "cli/FileList.h"
#include "cli/JsonReport.h"
#include "cli/TerminalDialogs.h"
#include "config/VxcFile.h"
#include "engine/ConversionRun.h"
#include "engine/JobFromForms.h"
#include "forms/ControlNames.h"
#include "forms/NumberText.h"
#include "forms/MainForm.h"
#include "imaging/Codec.h"

namespace cli {

namespace {

const char* const kConvertUsage =
    "Usage: vexilo-cli convert [options] PATH...\n"
    "\n"
    "Converts and resizes the listed image files exactly as the desktop program's conversion\n"
    "run does. The files are converted in the order given; a folder's files come at its place,\n"
    "found with the folder-search filter of the configuration (all supported types, subfolders\n"
    "included, unless --config or --set say otherwise): its subfolders first, then its own files\n"
    "by type and name. A file named twice (under any spelling of its path) is converted once;\n"
    "a folder, device, named pipe or socket is refused as a file. The settings start at the\n"
    "program's initial values: fit into 640 x 480 keeping proportions, save as a new file\n"
    "\"%name%-1\" of the same type beside the source, bicubic, quality 95, progressive.\n"
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
    "                        letter case counts; the extension follows from --format;\n"
    "                        \"/\" makes subfolders of the output folder (\"small/%name%\"), but a\n"
    "                        name beginning with \"/\" or with a \"..\" part is refused\n"
    "  --format EXT          output type: jpg png gif bmp dib ico cur psd pdd tif tiff jpeg jfif jpe\n"
    "                        jif mng jng pgm ppm pam pfm jp2 j2k j2c jpx jpc dds tga webp avif heic\n"
    "                        jxl,\n"
    "                        or keep.\n"
    "                        A picture keeps its kind where the type holds it: gray stays gray,\n"
    "                        an opaque one gets no alpha channel, 16 bits per sample stay 16 in\n"
    "                        png, mng, tif, pam, pgm, ppm, psd and jp2; dds, ico and cur are\n"
    "                        written with 32 bits per pixel\n"
    "  --overwrite           write over the source files instead\n"
    "\n"
    "Options:\n"
    "  --filter bicubic|bilinear|nearest   resampling method\n"
    "  --quality N           JPEG, JNG, MNG, WebP, AVIF, HEIC and JPEG XL quality, 1 to 100 (JPEG\n"
    "                        XL: the butteraugli distance cjxl -q gives, 1.9 at 80)\n"
    "  --avif-speed N        AVIF encoder speed, 0 (slowest, smallest files) to 10 (fastest);\n"
    "                        initially 6\n"
    "  --jxl-effort N        JPEG XL encoder effort, 1 (fastest) to 9 (slowest, smallest files);\n"
    "                        initially 7\n"
    "  --lossless            WebP, AVIF and JPEG XL outputs keep every pixel exactly (--quality\n"
    "                        then has no effect on them)\n"
    "  --progressive, --no-progressive     progressive JPEG, JNG and MNG output\n"
    "  --keep-dates          give every output its source's modification and access time, also\n"
    "                        over the original (keep_dates); --no-keep-dates: the time of writing\n"
    "  --keep-orientation    leave a photo's pixels as stored (keep_orientation=1); a JPEG output\n"
    "                        keeps the Exif orientation. Initially a JPEG whose Exif orientation\n"
    "                        is not 1 is turned upright, so every output type shows it as the\n"
    "                        camera meant, and the size rules see the upright picture\n"
    "  --to-srgb             convert the colours from the embedded colour profile to sRGB and embed\n"
    "                        no profile (to_srgb=1). Initially the profile of a JPEG, PNG, JNG,\n"
    "                        TIFF, WebP, AVIF, HEIF, Photoshop or JPEG 2000 source goes into\n"
    "                        every output type that holds one (JPEG, PNG, JNG, TIFF, WebP, AVIF,\n"
    "                        HEIC, Photoshop, JP2)\n"
    "  --strip-location      leave the GPS data, the owner's name, the serial numbers and the user\n"
    "                        comment out of the Exif and XMP metadata carried into JPEG outputs\n"
    "                        (strip_location=1)\n"
    "  --jobs N              files in flight at once (initially as many as the machine has cores);\n"
    "                        1 converts one file after the other. Messages, questions, progress\n"
    "                        and outputs are the same either way\n"
    "  --memory MB           the memory the files in flight may hold together, in megabytes of\n"
    "                        1048576 bytes (initially half of the machine's memory). A file is\n"
    "                        counted by its picture as decoded plus as scaled, from its header;\n"
    "                        one that would not fit beside those in flight waits for them, so\n"
    "                        fewer files are in flight while large pictures are. A picture larger\n"
    "                        than the whole budget is converted alone, with one note per run\n"
    "\n"
    "Many runs over one list (on one machine or many; docs/scale.md has recipes):\n"
    "  --files-from FILE     also convert the paths listed in FILE, one a line (\"-\": standard\n"
    "                        input), after the PATHs; each is taken as a PATH is (a folder is\n"
    "                        searched). Existing outputs are then not asked about when the list\n"
    "                        comes from standard input\n"
    "  -0, --null            the listed paths end with a zero byte instead (find -print0), so a\n"
    "                        name may hold a newline\n"
    "  --shard K/N           convert the K-th of N parts of the list (1 <= K <= N): the files at\n"
    "                        the places K, K+N, K+2N ... of the whole list, after the folder\n"
    "                        search. %num%, %0num% and %abs% count the whole list, so N runs, one\n"
    "                        for each K, write the files, names and bytes of one run. Give every\n"
    "                        run the same list, made before (--files-from); a file refused by\n"
    "                        the list is reported by one run. Nothing is read from the\n"
    "                        environment: --shard $((SLURM_ARRAY_TASK_ID + 1))/$N\n"
    "  --skip-existing       leave every output that exists alone, unasked, and count it as\n"
    "                        skipped (exit status 0): a run started again after a stop does what\n"
    "                        is left. The source is not read when the name has no %width% or\n"
    "                        %height%\n"
    "  --json                write one JSON object a line to standard output: a start record\n"
    "                        (files, settings), one for each file (source, output, status\n"
    "                        written, failed, kept or skipped, cause, width, height, bytes, ms)\n"
    "                        and an end record with the counts; messages stay on standard error\n"
    "  --dry-run             write nothing and create no folder: make the start checks, then\n"
    "                        print for every file, in list order, its size, the output's size\n"
    "                        and the output path (\"a.jpg 4000\u00D7" "3000 \u2192 1024\u00D7" "768 \u2192\n"
    "                        /out/a-1.webp\"), or why the run would not write it; each file is\n"
    "                        loaded, scaled and encoded in memory as the run does. The exit\n"
    "                        status is the run's\n"
    "\n"
    "Existing output files:\n"
    "  on a terminal the program asks: y yes, n no, a yes to all, N no to all, b break;\n"
    "  --yes-to-all          overwrite them without asking\n"
    "  --no-to-all           keep them without asking\n"
    "  without a terminal and without either option they are kept and reported.\n"
    "  Only regular files are replaced: an output path that is (or links to) a folder, a device,\n"
    "  a named pipe or a socket fails its file whatever the answers.\n"
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
    "Exit status: 0 every file written (or skipped), 1 some failed or were kept unasked, 2 usage\n"
    "error, 3 cancelled.\n";

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

namespace ctl = forms::ctl;

struct Friendly {
  std::optional<std::string> size, percent, factor, filesize, folder, name, format, filter, quality;
  std::optional<bool> progressive, enlarge, shrink, rotateBox, keepDates;
  bool keepOrientation = false, toSrgb = false, stripLocation = false;
  bool overwrite = false;
};

// A friendly option stands for settings: each goes through the setting parser of --set, with
// its checks, and an error is named by the option.
class FriendlySettings {
public:
  explicit FriendlySettings(config::ProgramWindows& windows) : windows_(windows) {}

  std::optional<std::string> Set(std::string_view key, const std::string& value, const std::string& option) {
    if (auto error = config::ApplySetting(windows_, key, value)) return option + ": " + *error;
    return std::nullopt;
  }
  std::optional<std::string> Switch(std::string_view key, bool on, const std::string& option) {
    return Set(key, on ? "1" : "0", option);
  }

private:
  config::ProgramWindows& windows_;
};

// The keep entry in a form that every language reads.
const char* const kKeep = "<keep>";

std::optional<std::string> ApplySizeOptions(const Friendly& f, FriendlySettings& set) {
  const int sizeOptions = (f.size ? 1 : 0) + (f.percent ? 1 : 0) + (f.factor ? 1 : 0) + (f.filesize ? 1 : 0);
  if (sizeOptions > 1) return std::string("use only one of --size, --percent, --factor and --filesize");
  if (f.size) {
    std::string w, h;
    if (!SplitBox(*f.size, w, h)) return "--size needs WIDTHxHEIGHT, got \"" + *f.size + "\"";
    if (auto error = set.Switch(ctl::kCustomSizeMode, true, "--size")) return error;
    if (auto error = set.Set(ctl::kCustomWidth, w, "--size")) return error;
    if (auto error = set.Set(ctl::kCustomHeight, h, "--size")) return error;
    // The missing side is the source's own; a box turned for a portrait would limit the other
    // side instead of the one given.
    if (w.empty() || h.empty()) {
      if (f.rotateBox.value_or(false))
        return std::string("--rotate-box turns a box of two sides; \"") + *f.size + "\" limits one side only";
      if (auto error = set.Switch(ctl::kRotateBox, false, "--size")) return error;
    }
  }
  if (f.percent) {
    std::string w, h;
    if (auto error = set.Switch(ctl::kPercentSizeMode, true, "--percent")) return error;
    if (IsDigits(*f.percent)) {
      if (auto error = set.Switch(ctl::kKeepPercentProportions, true, "--percent")) return error;
      if (auto error = set.Set(ctl::kPercentWidth, *f.percent, "--percent")) return error;
    } else if (SplitBox(*f.percent, w, h) && !w.empty() && !h.empty()) {
      if (auto error = set.Switch(ctl::kKeepPercentProportions, false, "--percent")) return error;
      if (auto error = set.Set(ctl::kPercentWidth, w, "--percent")) return error;
      if (auto error = set.Set(ctl::kPercentHeight, h, "--percent")) return error;
    } else {
      return "--percent needs a number or WIDTHxHEIGHT, got \"" + *f.percent + "\"";
    }
  }
  if (f.factor) {
    if (auto error = config::FactorTextError(*f.factor)) return "--factor " + *error + ", got \"" + *f.factor + "\"";
    if (auto error = set.Switch(ctl::kFactorSizeMode, true, "--factor")) return error;
    if (auto error = set.Set(ctl::kFactor, base::TrimBlanks(*f.factor), "--factor")) return error;
  }
  if (f.filesize) {
    if (auto error = set.Switch(ctl::kFileSizeMode, true, "--filesize")) return error;
    if (auto error = set.Set(ctl::kFileSize, *f.filesize, "--filesize")) return error;
  }
  return std::nullopt;
}

// The item of out_format whose extension is the one asked for ("jpg", ".jpg", "*.jpg"), or the
// keep entry for "keep".
std::optional<std::string> FormatItemFor(const std::string& asked, const std::vector<std::string>& items) {
  if (base::EqualNoCase(asked, "keep")) return std::string(kKeep);
  std::string wanted = asked;
  if (base::StartsWith(wanted, "*")) wanted.erase(0, 1);
  if (!base::StartsWith(wanted, ".")) wanted.insert(0, ".");
  for (size_t i = 1; i < items.size(); ++i) {
    const std::string extension = base::ReplaceAll(items[i].substr(0, items[i].find(" - ")), "*", "");
    if (base::EqualNoCase(extension, wanted)) return items[i];
  }
  return std::nullopt;
}

std::optional<std::string> ApplyOutputOptions(const Friendly& f, const forms::Form& mainForm, FriendlySettings& set) {
  if (f.overwrite && (f.folder || f.name || f.format))
    return std::string("--overwrite writes over the sources; it takes no --folder, --name or --format");
  if (f.overwrite)
    if (auto error = set.Switch(ctl::kOverwriteSource, true, "--overwrite")) return error;
  if (f.folder || f.name || f.format)
    if (auto error = set.Switch(ctl::kSaveAsNewFile, true, "--folder")) return error;
  if (f.folder) {
    const std::string folder = base::EqualNoCase(*f.folder, "keep") ? kKeep : Absolute(*f.folder);
    if (auto error = set.Set(ctl::kOutputFolder, folder, "--folder")) return error;
  }
  if (f.name) {
    if (f.name->empty()) return std::string("--name needs a pattern");
    const std::string name = base::EqualNoCase(*f.name, "keep") ? kKeep : *f.name;
    if (auto error = set.Set(ctl::kOutputName, name, "--name")) return error;
  }
  if (f.format) {
    const auto item = FormatItemFor(*f.format, mainForm.Get(ctl::kOutputFormat).items);
    if (!item) return "unknown output type \"" + *f.format + "\" (see --help for the list)";
    if (auto error = set.Set(ctl::kOutputFormat, *item, "--format")) return error;
  }
  return std::nullopt;
}

std::optional<std::string> ApplyOptionOptions(const Friendly& f, FriendlySettings& set) {
  if (f.filter) {
    // The method box reads its first letters, the same in both languages for these texts.
    const char* method = nullptr;
    if (base::EqualNoCase(*f.filter, "bicubic")) method = "Bicubic";
    else if (base::EqualNoCase(*f.filter, "bilinear")) method = "Bilinear";
    else if (base::EqualNoCase(*f.filter, "nearest")) method = "Nearest";
    else return "--filter takes bicubic, bilinear or nearest, got \"" + *f.filter + "\"";
    if (auto error = set.Set(ctl::kResizeMethod, method, "--filter")) return error;
  }
  if (f.quality) {
    const auto q = forms::ParseIntegerText(*f.quality);
    if (!IsDigits(*f.quality) || !q || *q < 1 || *q > 100) return "--quality takes 1 to 100, got \"" + *f.quality + "\"";
    if (auto error = set.Set(ctl::kQuality, std::to_string(*q), "--quality")) return error;
  }
  struct SwitchOption {
    const std::optional<bool>& value;
    std::string_view key;
    const char* option;
  };
  const SwitchOption switches[] = {{f.progressive, ctl::kProgressive, "--progressive"},
                                   {f.enlarge, ctl::kEnlargeSmaller, "--enlarge"},
                                   {f.shrink, ctl::kShrinkLarger, "--shrink"},
                                   {f.rotateBox, ctl::kRotateBox, "--rotate-box"},
                                   {f.keepDates, ctl::kKeepDates, "--keep-dates"}};
  for (const SwitchOption& s : switches)
    if (s.value)
      if (auto error = set.Switch(s.key, *s.value, s.option)) return error;
  const std::pair<bool, std::string_view> photo[] = {{f.keepOrientation, ctl::kKeepOrientation},
                                                     {f.toSrgb, ctl::kToSrgb},
                                                     {f.stripLocation, ctl::kStripLocation}};
  for (const auto& [on, key] : photo)
    if (on)
      if (auto error = set.Switch(key, true, "--" + base::ReplaceAll(std::string(key), "_", "-"))) return error;
  return std::nullopt;
}

std::optional<std::string> ApplyFriendly(const Friendly& f, config::ProgramWindows& windows) {
  FriendlySettings set(windows);
  if (auto error = ApplySizeOptions(f, set)) return error;
  if (auto error = ApplyOutputOptions(f, windows.mainForm, set)) return error;
  return ApplyOptionOptions(f, set);
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

// What the command line asks for.
struct ConvertRequest {
  Friendly friendly;
  std::vector<std::string> sets;  // --set NAME=VALUE, in order
  std::optional<std::string> configFile;
  std::vector<std::string> inputs;
  ExistingPolicy policy = ExistingPolicy::Ask;
  int jobs = 0;  // --jobs; 0 as many as the machine has cores
  uint64_t memoryMegabytes = 0;  // --memory; 0 half of the machine's memory
  std::optional<int> avifSpeed;  // --avif-speed; the codec's own when not given
  std::optional<int> jxlEffort;  // --jxl-effort; the codec's own when not given
  bool lossless = false;         // --lossless: WebP, AVIF and JPEG XL written without loss
  std::optional<std::string> filesFrom;  // --files-from FILE; "-" standard input
  bool nullSeparated = false;            // -0, --null: the list's paths end with a zero byte
  engine::ListShard shard;               // --shard K/N as part K - 1 of N
  bool skipExisting = false;             // --skip-existing
  bool json = false;                     // --json
  bool dryRun = false;                   // --dry-run
};

// A whole number from `low` to `high` in decimal digits and nothing else.
std::optional<uint64_t> WholeNumberIn(const std::string& text, uint64_t low, uint64_t high) {
  if (text.empty() || text.size() > 18 || !IsDigits(text)) return std::nullopt;
  const uint64_t value = std::stoull(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The value of --shard: "K/N" with 1 <= K <= N, as the part K - 1 of N.
std::optional<engine::ListShard> ParseShard(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::string k = text.substr(0, slash);
  const std::string n = text.substr(slash + 1);
  if (!IsDigits(k) || !IsDigits(n) || k.size() > 9 || n.size() > 9) return std::nullopt;
  const int part = std::stoi(k);
  const int parts = std::stoi(n);
  if (part < 1 || part > parts) return std::nullopt;
  return engine::ListShard{part - 1, parts};
}

// Reads the options; an exit status when the command ends here (help shown, usage error).
class ArgumentReader {
public:
  ArgumentReader(const Args& args, ConvertRequest& request) : args_(args), request_(request) {}

  std::optional<int> Read() {
    for (i_ = 0; i_ < args_.size(); ++i_) {
      const std::string& arg = args_[i_];
      if (arg == "--") {
        request_.inputs.insert(request_.inputs.end(), args_.begin() + static_cast<std::ptrdiff_t>(i_) + 1, args_.end());
        break;
      }
      if (arg == "-h") {
        std::fputs(kConvertUsage, stdout);
        return kExitOK;
      }
      if (arg == "-0") {
        request_.nullSeparated = true;
        continue;
      }
      if (!base::StartsWith(arg, "--")) {
        if (base::StartsWith(arg, "-") && arg != "-") return UsageError("unknown option \"" + arg + "\"");
        request_.inputs.push_back(arg);
        continue;
      }
      if (auto status = ReadOption(arg)) return status;
    }
    return Finish();
  }

private:
  // One "--name" or "--name=value" option.
  std::optional<int> ReadOption(std::string arg) {
    inlineValue_.reset();
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      inlineValue_ = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    if (arg == "--help") {
      std::fputs(kConvertUsage, stdout);
      return kExitOK;
    }
    if (const auto status = ReadValueOption(arg)) return *status == kHandled ? std::nullopt : status;
    if (!inlineValue_ && ReadSwitch(arg)) return std::nullopt;
    return UsageError("unknown option \"" + args_[i_] + "\"");
  }

  static constexpr int kHandled = -1;

  // The value of a whole-number option from `low` to `high` into `target`: kHandled, or the
  // usage error that says what the option needs (`kind` when the value is missing, `whole`
  // with the range when it is no such number).
  std::optional<int> ReadWholeNumber(const std::string& arg, const char* kind, const char* whole, uint64_t low,
                                     uint64_t high, uint64_t& target) {
    std::string v;
    if (!Value(v)) return UsageError(arg + " needs " + kind);
    const auto value = WholeNumberIn(v, low, high);
    if (!value)
      return UsageError(arg + " needs " + whole + " from " + std::to_string(low) + " to " + std::to_string(high) +
                        ", not \"" + v + "\"");
    target = *value;
    return kHandled;
  }

  // An option with a value; kHandled when it was one.
  std::optional<int> ReadValueOption(const std::string& arg) {
    Friendly& f = request_.friendly;
    struct ValueOption {
      const char* name;
      std::optional<std::string>* target;
    };
    const ValueOption valueOptions[] = {
        {"--size", &f.size},       {"--percent", &f.percent}, {"--factor", &f.factor},
        {"--filesize", &f.filesize}, {"--folder", &f.folder},   {"--name", &f.name},
        {"--format", &f.format},   {"--filter", &f.filter},   {"--quality", &f.quality},
        {"--config", &request_.configFile}, {"--files-from", &request_.filesFrom},
    };
    for (const ValueOption& option : valueOptions) {
      if (arg != option.name) continue;
      std::string v;
      if (!Value(v)) return UsageError(std::string(option.name) + " needs a value");
      if (*option.target && (arg == "--config" || arg == "--files-from"))
        return UsageError(arg + " may be given once");
      *option.target = v;
      return kHandled;
    }
    if (arg == "--jobs") {
      uint64_t jobs = 0;
      if (const auto status = ReadWholeNumber(arg, "a number", "a whole number", 1, 256, jobs)) return status;
      request_.jobs = static_cast<int>(jobs);
      return kHandled;
    }
    // Up to 2^24 megabytes, 16 terabytes.
    if (arg == "--memory")
      return ReadWholeNumber(arg, "a number of megabytes", "a whole number of megabytes", 1, uint64_t{1} << 24,
                             request_.memoryMegabytes);
    if (arg == "--lossless") {
      request_.lossless = true;
      return kHandled;
    }
    if (arg == "--shard") {
      std::string v;
      if (!Value(v)) return UsageError("--shard needs K/N");
      const auto shard = ParseShard(v);
      if (!shard) return UsageError("--shard needs K/N with whole numbers 1 <= K <= N, not \"" + v + "\"");
      request_.shard = *shard;
      return kHandled;
    }
    if (arg == "--avif-speed") {
      std::string v;
      if (!Value(v)) return UsageError("--avif-speed needs a number");
      if (v.empty() || v.size() > 2 || !IsDigits(v) || std::stoi(v) > 10)
        return UsageError("--avif-speed takes 0 to 10, got \"" + v + "\"");
      request_.avifSpeed = std::stoi(v);
      return kHandled;
    }
    if (arg == "--jxl-effort") {
      std::string v;
      if (!Value(v)) return UsageError("--jxl-effort needs a number");
      if (v.size() != 1 || !IsDigits(v) || v == "0") return UsageError("--jxl-effort takes 1 to 9, got \"" + v + "\"");
      request_.jxlEffort = std::stoi(v);
      return kHandled;
    }
    if (arg == "--set") {
      std::string v;
      if (!Value(v)) return UsageError("--set needs NAME=VALUE");
      request_.sets.push_back(v);
      return kHandled;
    }
    return std::nullopt;
  }

  // An option without a value; whether it was one.
  bool ReadSwitch(const std::string& arg) {
    Friendly& f = request_.friendly;
    struct SwitchOption {
      const char* on;
      const char* off;
      std::optional<bool>* target;
    };
    const SwitchOption switchOptions[] = {
        {"--progressive", "--no-progressive", &f.progressive},
        {"--enlarge", "--no-enlarge", &f.enlarge},
        {"--shrink", "--no-shrink", &f.shrink},
        {"--rotate-box", "--no-rotate-box", &f.rotateBox},
        {"--keep-dates", "--no-keep-dates", &f.keepDates},
    };
    for (const SwitchOption& option : switchOptions) {
      if (arg != option.on && arg != option.off) continue;
      *option.target = arg == option.on;
      return true;
    }
    if (arg == "--overwrite") f.overwrite = true;
    else if (arg == "--keep-orientation") f.keepOrientation = true;
    else if (arg == "--to-srgb") f.toSrgb = true;
    else if (arg == "--strip-location") f.stripLocation = true;
    else if (arg == "--yes-to-all") yesToAll_ = true;
    else if (arg == "--no-to-all") noToAll_ = true;
    else if (arg == "--null") request_.nullSeparated = true;
    else if (arg == "--skip-existing") request_.skipExisting = true;
    else if (arg == "--json") request_.json = true;
    else if (arg == "--dry-run") request_.dryRun = true;
    else return false;
    return true;
  }

  // The option's value: after "=", or the next argument.
  bool Value(std::string& out) {
    if (inlineValue_) {
      out = *inlineValue_;
      return true;
    }
    if (i_ + 1 >= args_.size()) return false;
    out = args_[++i_];
    return true;
  }

  std::optional<int> Finish() {
    if (yesToAll_ && noToAll_) return UsageError("--yes-to-all and --no-to-all exclude each other");
    if (request_.skipExisting && (yesToAll_ || noToAll_))
      return UsageError("--skip-existing leaves every existing output alone; it takes neither --yes-to-all nor --no-to-all");
    if (request_.dryRun && request_.json) return UsageError("--dry-run lists on standard output; it takes no --json");
    if (request_.nullSeparated && !request_.filesFrom) return UsageError("-0 (--null) needs a list (--files-from)");
    if (request_.inputs.empty() && !request_.filesFrom) return UsageError("no files given");
    // A list on standard input leaves nothing there to answer a question.
    const bool listOnInput = request_.filesFrom == "-";
    if (yesToAll_) request_.policy = ExistingPolicy::YesToAll;
    else if (noToAll_) request_.policy = ExistingPolicy::NoToAll;
    else if (listOnInput || !(isatty(STDIN_FILENO) && isatty(STDERR_FILENO))) request_.policy = ExistingPolicy::KeepAndReport;
    return std::nullopt;
  }

  const Args& args_;
  ConvertRequest& request_;
  size_t i_ = 0;
  std::optional<std::string> inlineValue_;
  bool yesToAll_ = false;
  bool noToAll_ = false;
};

// The settings in the order the command applies them: the configuration file, the --set
// values, what a configuration load does after setting the controls, the friendly options.
// An error text when one is refused.
std::optional<std::string> ApplyRequestToForms(const ConvertRequest& request, config::ProgramWindows& windows) {
  if (request.configFile) {
    const std::string& file = *request.configFile;
    // Anything else named by mistake (an image, a list of files) would load as empty.
    if (const auto bytes = config::ReadWholeFile(file); bytes && !config::HoldsKnownSection(config::VxcFile::Parse(*bytes)))
      return "--config: \"" + file + "\" is no configuration: it holds none of its sections ([PBRB], [OPCH], ...)";
    if (auto error = LoadConfigurationForConvert(file, windows)) return error;
  }
  for (const std::string& assignment : request.sets) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos) return "--set needs NAME=VALUE, got \"" + assignment + "\"";
    const std::string name = base::TrimBlanks(assignment.substr(0, eq));
    if (auto error = config::ApplySetting(windows, name, assignment.substr(eq + 1))) return "--set " + *error;
  }
  forms::RefreshMainForm(windows.mainForm);
  config::ApplyLanguageToForms(windows, windows.language);
  return ApplyFriendly(request.friendly, windows);
}

// Every file brings pixel buffers of tens of megabytes. Left to mmap, each would be mapped
// afresh, faulted in and cleared page by page by the kernel, and unmapped at the file's end;
// kept in the heap, the next file reuses them. This takes most of the system time out of a
// run of large photos and leaves the peak memory as it was.
void KeepLargeBuffersInTheHeap() {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

// The run over the listed files with the job of the forms; Ctrl+C (or `stop`) stops it after the
// file in progress. The forms do not change while it runs, but the job is still read per file,
// as the desktop program reads it.
engine::RunResult RunOnTerminal(std::vector<std::string> paths, const config::ProgramWindows& windows,
                                TerminalDialogs& terminal, engine::RunObserver& observer, const ConvertRequest& request,
                                const imaging::CodecOptions& codecOptions, std::stop_source stop) {
  engine::RunMemory memory;
  const engine::RunSetup setup{.paths = std::move(paths),
                               .job = engine::JobSourceFromForms(windows.mainForm, windows.options),
                               .observer = observer,
                               .questions = terminal,
                               .flags = terminal.Flags(),
                               .memory = memory,
                               .stop = stop.get_token(),
                               .jobs = request.jobs,
                               .memoryBudget = request.memoryMegabytes << 20,
                               .codecOptions = codecOptions,
                               .shard = request.shard,
                               .skipExisting = request.skipExisting};
  InterruptGuard interrupts(stop);
  return engine::RunConversion(setup);
}

// The closing line and the exit status.
int Summarize(const engine::RunResult& result, int refused, const TerminalDialogs& terminal, forms::Language language) {
  if (!result.started) return kExitUsage;
  std::string line = TerminalText(language, "summary");
  line = base::ReplaceAll(line, "%1", std::to_string(result.written));
  line = base::ReplaceAll(line, "%2", std::to_string(result.failed + refused));
  line = base::ReplaceAll(line, "%3", std::to_string(result.kept));
  if (result.skipped > 0) line += base::ReplaceAll(TerminalText(language, "skipped"), "%1", std::to_string(result.skipped));
  if (result.cancelled) line += TerminalText(language, "cancelled");
  std::fprintf(stderr, "%s\n", line.c_str());
  if (result.cancelled) return kExitCancelled;
  if (result.failed > 0 || refused > 0 || terminal.keptUnasked > 0) return kExitSomeFailed;
  return kExitOK;
}

}  // namespace

int RunConvert(const Args& args) {
  ConvertRequest request;
  if (const auto status = ArgumentReader(args, request).Read()) return *status;

  const forms::Language language = forms::LanguageFromMarkerFiles(".");
  // Every window a configuration covers: the run reads the main window and the options, the
  // folder search the filter dialog.
  config::ProgramWindows windows(language);
  if (auto error = ApplyRequestToForms(request, windows)) return UsageError(*error);
  const engine::ConversionJob startJob = engine::JobFromForms(windows.mainForm, windows.options);
  if (request.skipExisting && startJob.saveMode == engine::SaveMode::Overwrite)
    return UsageError("--skip-existing leaves every existing output alone, and writing over the sources "
                      "(--overwrite, out_overwrite) has every output existing");
  if (request.filesFrom)
    if (auto error = ReadFileList(*request.filesFrom, request.nullSeparated ? '\0' : '\n', request.inputs))
      return UsageError(*error);
  if (request.inputs.empty()) return UsageError("no files given (the list is empty)");
  KeepLargeBuffersInTheHeap();
  imaging::CodecOptions codecOptions = imaging::CurrentOptions();
  if (request.avifSpeed) codecOptions.avif.speed = *request.avifSpeed;
  if (request.lossless) {
    codecOptions.webp.lossless = true;
    codecOptions.avif.lossless = true;
    codecOptions.jxl.lossless = true;
  }
  if (request.jxlEffort) codecOptions.jxl.effort = *request.jxlEffort;

  TerminalDialogs terminal(language, request.policy);
  // The image list tests every file as the program does and keeps its rows sorted by name; the
  // run takes them in the order they were added instead: the command line's, a folder's files
  // in the order of its search.
  imagelist::ImageList list(language);
  ListOrder order(list);
  const ListedInputs listed = AddConvertInputs(request.inputs, windows, terminal, list, request.shard);
  if (list.RowCount() == 0 && listed.refusedInAll == 0) return UsageError("no image files found");
  const int refused = static_cast<int>(listed.refused.size());

  if (request.dryRun)
    return DryRun({.paths = order.Paths(), .shard = request.shard, .codecOptions = codecOptions, .refused = refused},
                  windows, terminal);

  std::stop_source stop;
  std::optional<JsonReport> json;
  if (request.json) {
    // A reader that goes away stops the run after the current file (JsonReport) instead of
    // ending the process in the middle of a file.
    std::signal(SIGPIPE, SIG_IGN);
    json.emplace(stdout, terminal, stop);
    const int files = static_cast<int>(engine::ShardPositions(list.RowCount(), request.shard).size());
    json->Start({.listFiles = list.RowCount(),
                 .files = files,
                 .shard = request.shard,
                 .refused = refused,
                 .jobs = engine::EffectiveJobs(request.jobs, files),
                 .skipExisting = request.skipExisting},
                startJob);
    for (const RefusedInput& input : listed.refused) json->Refused(input.path, input.key, input.cause);
  }
  if (list.RowCount() == 0) {
    // Every input was refused; they were reported as they were met.
    const int status = refused > 0 ? kExitSomeFailed : kExitOK;
    if (json) json->End({}, refused, status);
    return status;
  }
  engine::RunObserver& observer = json ? static_cast<engine::RunObserver&>(*json) : terminal;
  const engine::RunResult result = RunOnTerminal(order.Paths(), windows, terminal, observer, request, codecOptions, stop);
  const int status = Summarize(result, refused, terminal, language);
  if (json) json->End(result, refused, status);
  return status;
}

}  // namespace cli
