#include "engine/UserDialogs.h"

#include "base/Text.h"

namespace vexilo {

void UserDialogs::meldungzeigen(const std::string& key, const std::string& detail, const std::string& cause) {
  if (ShowMessage(key, detail, cause) == MessageButton::OKForAll) flags_.showNoMore = true;
}

bool UserDialogs::ReportUnlessSilenced(const std::string& key, const std::string& detail, const std::string& cause) {
  if (flags_.showNoMore) return false;
  meldungzeigen(key, detail, cause);
  return true;
}

void UserDialogs::AskOverwrite(const std::string& path) {
  flags_.no = false;
  switch (ShowOverwrite(path)) {
    case OverwriteButton::Yes: break;
    case OverwriteButton::No: flags_.no = true; break;
    case OverwriteButton::YesForAll: flags_.askNoMore = true; break;
    case OverwriteButton::NoForAll:
      flags_.askNoMore = true;
      flags_.no = true;
      break;
    case OverwriteButton::Break: flags_.cancelOverwrite = true; break;
  }
}

std::string ShortenPath(const std::string& path, int width, const std::function<int(const std::string&)>& measure,
                        const std::string& suffix) {
  // A POSIX path has no drive; the folder part keeps its leading "/" while folders are cut.
  const size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = (slash == std::string::npos ? path : path.substr(slash + 1)) + suffix;
  while (!folder.empty() && measure(folder + name) > width) {
    if (folder == "/.../") {
      folder = ".../";
      continue;
    }
    std::string lead;
    if (base::StartsWith(folder, "/")) {
      lead = "/";
      folder.erase(0, 1);
    }
    if (base::StartsWith(folder, ".../")) folder.erase(0, 4);
    const size_t next = folder.find('/');
    folder = next == std::string::npos ? std::string() : ".../" + folder.substr(next + 1);
    if (!folder.empty()) folder = lead + folder;
  }
  return folder + name;
}

}  // namespace vexilo
