// A third interface language for tests, registered through the language list as a shipped
// language is: code "xx", menu item m_einst_sprache_pseudo, and for every table of the English
// set the same keys with the texts in upper case ("<KEEP>", "%WIDTH%", "FILE ALREADY ADDED").
// The program's own files know nothing of it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "forms/Texts.h"

namespace testsupport {

inline std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Registers the language on the first call.
inline forms::Language PseudoLanguage() {
  static const forms::Language language = [] {
    // The tables live as long as the program, as the list wants.
    static std::deque<std::string> texts;
    static std::deque<std::vector<forms::TextEntry>> tables;
    static std::vector<forms::GroupTexts> groups;
    for (const forms::GroupTexts& group : forms::InfoOf(forms::Language::English).texts) {
      std::vector<forms::TextEntry>& table = tables.emplace_back();
      for (const forms::TextEntry& entry : group.table) table.push_back({entry.key, texts.emplace_back(UpperCase(entry.text)).c_str()});
      groups.push_back({group.group, table});
    }
    return forms::RegisterLanguage({"xx", "PSEUDO", "m_einst_sprache_pseudo", groups});
  }();
  return language;
}

}  // namespace testsupport
