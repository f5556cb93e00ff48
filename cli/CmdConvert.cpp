// Not available yet.
#include <cstdio>

#include "Commands.h"

namespace cli {

int RunConvert(const Args&) {
  std::fputs("vexilo-cli: this command is not available yet\n", stderr);
  return 2;
}

}  // namespace cli
