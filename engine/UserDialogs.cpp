#include "engine/UserDialogs.h"

#include "base/Text.h"

namespace engine {

void DialogFlags::Answered(MessageButton button) {
  if (button == MessageButton::OKForAll) showNoMore = true;
}

void DialogFlags::Answered(OverwriteButton button) {
  no = false;
  switch (button) {
    case OverwriteButton::Yes: break;
    case OverwriteButton::No: no = true; break;
    case OverwriteButton::YesForAll: askNoMore = true; break;
    case OverwriteButton::NoForAll:
      askNoMore = true;
      no = true;
      break;
    case OverwriteButton::Break: cancelOverwrite = true; break;
  }
}

void ShowMessageAndRecord(Questions& questions, DialogFlags& flags, const std::string& key, const std::string& detail,
                          const std::string& cause) {
  flags.Answered(questions.ShowMessage(key, detail, cause));
}

bool ReportUnlessSilenced(Questions& questions, DialogFlags& flags, const std::string& key, const std::string& detail,
                          const std::string& cause) {
  if (flags.showNoMore) return false;
  ShowMessageAndRecord(questions, flags, key, detail, cause);
  return true;
}

void AskOverwriteAndRecord(Questions& questions, DialogFlags& flags, const std::string& path) {
  flags.Answered(questions.ShowOverwrite(path));
}

void UserDialogs::Report(const std::string& key, const std::string& detail, const std::string& cause) {
  ShowMessageAndRecord(*this, flags_, key, detail, cause);
}

bool UserDialogs::ReportUnlessSilenced(const std::string& key, const std::string& detail, const std::string& cause) {
  return engine::ReportUnlessSilenced(*this, flags_, key, detail, cause);
}

void UserDialogs::AskOverwrite(const std::string& path) { AskOverwriteAndRecord(*this, flags_, path); }

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

}  // namespace engine
