// Not available yet.
#include <cstdio>

#include "Commands.h"

namespace cli {

int RunInfo(const Args&) {
  std::fputs("vexilo-cli: this command is not available yet\n", stderr);
  return 2;
}

int RunTranscode(const Args&) {
  std::fputs("vexilo-cli: this command is not available yet\n", stderr);
  return 2;
}

}  // namespace cli
