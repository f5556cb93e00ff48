// vexilo-cli convert --files-from: a list of paths in a file or on standard input, as `find`
// writes it (one path a line, or with -print0 each path ended by a zero byte).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Reads the list `name` ("-": standard input) and appends its paths, in order, to `paths`. Each
// path ends at `separator` ('\n' or '\0') or at the end of the list; empty entries (a blank
// line, the separator at the end) are passed over, and every other byte belongs to the path, so
// a name with a newline needs the zero byte as separator. A named pipe is read as a file is (the
// list of `<(find ...)`). Nothing when the whole list was read; else the error text, which
// names the list and the system's cause.
std::optional<std::string> ReadFileList(const std::string& name, char separator, std::vector<std::string>& paths);

}  // namespace cli
