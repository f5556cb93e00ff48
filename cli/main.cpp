// vexilo-cli: the headless front end of Vexilo.
#include <cstdio>
#include <string>

#include "cli/Commands.h"

namespace {

const char* const kUsage =
    "Usage: vexilo-cli [--help] [--version] <command> [arguments]\n"
    "\n"
    "Vexilo converts and resizes many images in one go.\n"
    "\n"
    "Commands:\n"
    "  info FILE...            show the detected format, size and pixel format of each file\n"
    "  transcode IN OUT        load IN and save it as OUT (the type follows OUT's extension)\n"
    "  convert [options] PATH...  run a batch conversion (see vexilo-cli convert --help)\n"
    "  config [options]        write a configuration file (see vexilo-cli config --help)\n"
    "  rename [options] PATH...  rename files by a mask (see vexilo-cli rename --help)\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this text and exit (also after a command: vexilo-cli convert -h)\n"
    "  --version    show the version and exit\n";

struct Command {
  const char* name;
  int (*run)(const cli::Args&);
};

const Command kCommands[] = {
    {"info", cli::RunInfo},
    {"transcode", cli::RunTranscode},
    {"convert", cli::RunConvert},
    {"config", cli::RunConfig},
    {"rename", cli::RunRename},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (first == "--version") {
    std::printf("vexilo-cli %s\n", VEXILO_VERSION);
    return 0;
  }
  for (const Command& command : kCommands) {
    if (first == command.name) return command.run(cli::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "vexilo-cli: unknown command \"%s\"\n\n%s", first.c_str(), kUsage);
  return 2;
}
