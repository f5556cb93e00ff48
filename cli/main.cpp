// vexilo-cli: the headless front end of Vexilo.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "Usage: vexilo-cli [--help] [--version] <command> [arguments]\n"
    "\n"
    "Vexilo converts and resizes many images in one go.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n";

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
  std::fprintf(stderr, "vexilo-cli: unknown command \"%s\"\n\n%s", first.c_str(), kUsage);
  return 2;
}
