// The commands of vexilo-cli. Each gets the arguments after its name and returns the exit
// status of the program.
#pragma once

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

// The exit status of the batch commands (convert, rename): every file done, some failed (or,
// for convert, were kept unasked), a usage error, cancelled.
inline constexpr int kExitOK = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 3;

int RunInfo(const Args& args);       // vexilo-cli info FILE...
int RunTranscode(const Args& args);  // vexilo-cli transcode IN OUT
int RunConvert(const Args& args);    // vexilo-cli convert [options] PATH...
int RunConfig(const Args& args);     // vexilo-cli config [--load FILE] [--set NAME=VALUE]... --save FILE
int RunRename(const Args& args);     // vexilo-cli rename [options] FILE|FOLDER...

}  // namespace cli
