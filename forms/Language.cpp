#include "forms/Language.h"

#include <sys/stat.h>

#include <stdexcept>

namespace forms {

// The tables of each language, one file each in forms/texts/.
std::span<const GroupTexts> EnglishTexts();
std::span<const GroupTexts> GermanTexts();

namespace {

std::deque<LanguageInfo>& List() {
  // The language list: code (marker file and locale), menu text, menu item, tables.
  static std::deque<LanguageInfo> list = {
      {"en", "English", "m_einst_sprache_english", EnglishTexts()},
      {"de", "Deutsch", "m_einst_sprache_deutsch", GermanTexts()},
  };
  return list;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

const std::deque<LanguageInfo>& Languages() { return List(); }

Language DefaultLanguage() { return Language(List().front().code); }

std::optional<Language> FindLanguage(std::string_view code) {
  for (const LanguageInfo& info : List())
    if (info.code == code) return Language(info.code);
  return std::nullopt;
}

const LanguageInfo& InfoOf(Language language) {
  for (const LanguageInfo& info : List())
    if (info.code == language.Code()) return info;
  return List().front();
}

Language RegisterLanguage(LanguageInfo info) {
  if (info.code.empty() || info.code.size() > Language::kMaxCodeLength)
    throw std::invalid_argument("language code \"" + info.code + "\" is empty or longer than " +
                                std::to_string(Language::kMaxCodeLength) + " characters");
  if (FindLanguage(info.code)) throw std::invalid_argument("language code \"" + info.code + "\" is listed already");
  List().push_back(std::move(info));
  return Language(List().back().code);
}

std::optional<Language> LanguageOfMarkerFiles(const std::string& folder) {
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  const std::deque<LanguageInfo>& list = List();
  for (size_t i = 1; i < list.size(); ++i)
    if (FileExists(prefix + list[i].code)) return Language(list[i].code);
  if (FileExists(prefix + list.front().code)) return DefaultLanguage();
  return std::nullopt;
}

Language LanguageFromMarkerFiles(const std::string& folder) {
  return LanguageOfMarkerFiles(folder).value_or(DefaultLanguage());
}

Language LanguageOfLocale(std::string_view localeName) {
  for (const LanguageInfo& info : List())
    if (localeName.starts_with(info.code)) return Language(info.code);
  return DefaultLanguage();
}

}  // namespace forms
