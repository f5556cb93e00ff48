// The interface languages. One list names every language the program offers: its code, its item
// in the Settings > Language menu and its text tables (forms/Texts.h). Nothing else in the program
// knows which languages exist; a further language is one more entry here and one more set of
// tables (forms/texts/).
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace forms {

struct GroupTexts;

// An interface language, named by its code ("en", "de"). A plain value: copied and compared freely,
// also across threads.
class Language {
public:
  static constexpr size_t kMaxCodeLength = 7;
  // The two languages the program ships with, for the callers that need a particular one.
  static const Language English;
  static const Language German;

  // A longer code is cut to kMaxCodeLength characters (RegisterLanguage refuses it).
  constexpr explicit Language(std::string_view code) {
    for (size_t i = 0; i < code.size() && i < kMaxCodeLength; ++i) code_[i] = code[i];
  }
  std::string_view Code() const { return std::string_view(code_.data()); }
  friend bool operator==(const Language&, const Language&) = default;

private:
  std::array<char, kMaxCodeLength + 1> code_{};
};
inline constexpr Language Language::English{"en"};
inline constexpr Language Language::German{"de"};

// One entry of the language list.
struct LanguageInfo {
  // The code. It is also the name of the marker file that picks the language at start-up and the
  // beginning of the locale names that pick it ("de" for "de_DE.UTF-8").
  std::string code;
  std::string name;      // the menu item's text, the same in every language ("Deutsch")
  std::string menuItem;  // the menu item's control name ("m_einst_sprache_deutsch")
  std::span<const GroupTexts> texts;  // one table per window and message group
};

// Every language in menu order; the first is the default, which also lends its texts to a
// language whose tables lack one. The list only grows, so its entries stay where they are.
const std::deque<LanguageInfo>& Languages();
Language DefaultLanguage();
std::optional<Language> FindLanguage(std::string_view code);
// The list entry of a language; the default's for a language that is not in the list.
const LanguageInfo& InfoOf(Language language);

// Adds a language at the end of the list. Done before any window or run exists (the list is
// read without a lock); the tables must live as long as the program. Throws
// std::invalid_argument for an empty, too long or already listed code.
Language RegisterLanguage(LanguageInfo info);

// The start-up rule: the first language of the list, after the default, whose marker file (a file
// named by its code) is in the folder; else the default when its marker file is there; else none.
// With the two shipped languages: "de" gives German, else "en" gives English.
std::optional<Language> LanguageOfMarkerFiles(const std::string& folder);
// The same with the default language when there is no marker file.
Language LanguageFromMarkerFiles(const std::string& folder);
// The language whose code begins the locale name ("de_AT.UTF-8" gives German); else the default.
Language LanguageOfLocale(std::string_view localeName);

}  // namespace forms
