#include "forms/CommandLine.h"

#include "base/Paths.h"

namespace forms {

std::vector<std::string> QuotedItems(std::string_view text) {
  std::vector<std::string> items;
  size_t at = 0;
  while (true) {
    const size_t open = text.find('"', at);
    if (open == std::string_view::npos) break;
    const size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos) break;  // unclosed: not an item
    items.emplace_back(text.substr(open + 1, close - open - 1));
    at = close + 1;
  }
  return items;
}

std::vector<std::string> ReceivedPaths(std::string_view text) {
  std::vector<std::string> items = QuotedItems(text);
  if (items.size() < 2) return {};
  items.erase(items.begin());
  return items;
}

std::string HandOverText(const std::string& program, const std::vector<std::string>& arguments) {
  std::string text = "\"" + program + "\"";
  for (const std::string& argument : arguments) {
    if (argument.find('"') != std::string::npos) return {};
    text += " \"" + argument + "\"";
  }
  return program.find('"') == std::string::npos ? text : std::string();
}

ArgumentKind KindOfArgument(const std::string& path) {
  if (base::ExtensionOf(path) == ".vxc") return ArgumentKind::Configuration;
  if (base::IsFolder(path)) return ArgumentKind::Folder;
  return ArgumentKind::File;
}

}  // namespace forms
