#include "forms/Language.h"

#include <sys/stat.h>

namespace forms {

namespace {

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

Language LanguageFromMarkerFiles(const std::string& folder) {
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  if (FileExists(prefix + "de")) return Language::German;
  return Language::English;
}

const char* LanguageCode(Language language) { return language == Language::German ? "de" : "en"; }

}  // namespace forms
