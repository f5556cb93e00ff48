// The start-up arguments: how a second start hands its command line to the running program,
// how the running program splits what it receives, and what each argument names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace forms {

// The items of a handed-over command line: each item is the text between a pair of double
// quotation marks, in order; text outside quotation marks is ignored. An unclosed last item is
// dropped.
std::vector<std::string> QuotedItems(std::string_view text);

// The paths a running program takes from a handed-over command line: the quoted items after
// the first (the program path); none when there are fewer than two items.
std::vector<std::string> ReceivedPaths(std::string_view text);

// The command line a second start hands over: the program path and every argument, each in
// double quotation marks, separated by blanks. Empty when an argument holds a quotation mark,
// which the receiving side could not tell apart: such a start runs on its own.
std::string HandOverText(const std::string& program, const std::vector<std::string>& arguments);

// What an argument names: a configuration (the extension is exactly ".vxc"), an existing
// folder (searched), or anything else (added to the list as a file).
enum class ArgumentKind { Configuration, Folder, File };
ArgumentKind KindOfArgument(const std::string& path);

}  // namespace forms
