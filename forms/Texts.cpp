#include "forms/Texts.h"

#include <algorithm>

#include "forms/Form.h"

namespace forms {

namespace {

TextTable OwnTable(Language language, TextGroup group) {
  for (const GroupTexts& g : InfoOf(language).texts)
    if (g.group == group) return g.table;
  return {};
}

const char* FindIn(TextTable table, std::string_view key) {
  for (const TextEntry& entry : table)
    if (key == entry.key) return entry.text;
  return nullptr;
}

}  // namespace

const char* GroupName(TextGroup group) {
  switch (group) {
    case TextGroup::MainWindow: return "main window";
    case TextGroup::Splash: return "splash";
    case TextGroup::Options: return "options";
    case TextGroup::SearchFilter: return "folder-search filter";
    case TextGroup::Shortcuts: return "desktop integration";
    case TextGroup::Renamer: return "renamer";
    case TextGroup::RenamerFilter: return "renamer filter";
    case TextGroup::Dialogs: return "dialogs";
    case TextGroup::Messages: return "messages";
    case TextGroup::Help: return "help";
    case TextGroup::Terminal: return "terminal";
    case TextGroup::Special: return "special";
  }
  return "";
}

TextTable TableOf(Language language, TextGroup group) {
  const TextTable own = OwnTable(language, group);
  return own.empty() ? OwnTable(DefaultLanguage(), group) : own;
}

const char* FindText(Language language, TextGroup group, std::string_view key) {
  if (const char* text = FindIn(OwnTable(language, group), key)) return text;
  return FindIn(OwnTable(DefaultLanguage(), group), key);
}

std::string Text(Language language, TextGroup group, std::string_view key) {
  const char* text = FindText(language, group, key);
  return text != nullptr ? std::string(text) : std::string(key);
}

void ApplyFormTexts(Form& form, TextGroup group, Language language) {
  form.SetLanguageCode(language);
  if (const char* caption = FindText(language, group, form.Name())) form.SetCaption(caption);
  for (const Control& control : form.Controls())
    if (const char* caption = FindText(language, group, control.name)) form.SetControlCaption(control.name, caption);
}

std::vector<std::string> SpecialTexts(std::string_view key) {
  std::vector<std::string> texts;
  for (const LanguageInfo& info : Languages()) {
    const char* text = FindText(Language(info.code), TextGroup::Special, key);
    if (text != nullptr && std::find(texts.begin(), texts.end(), text) == texts.end()) texts.emplace_back(text);
  }
  return texts;
}

bool IsSpecialText(std::string_view text, std::string_view key) {
  const std::vector<std::string> texts = SpecialTexts(key);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string ConvertSpecial(std::string_view text, std::string_view key, Language to, bool firstOnly) {
  const std::string own = Text(to, TextGroup::Special, key);
  std::vector<std::string> others = SpecialTexts(key);
  std::erase_if(others, [&](const std::string& t) { return t.empty() || t == own; });
  if (others.empty()) return std::string(text);
  // The longer of two texts that begin alike wins.
  std::sort(others.begin(), others.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  std::string result;
  result.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const std::string_view rest = text.substr(at);
    if (!own.empty() && rest.starts_with(own)) {
      result += own;
      at += own.size();
      continue;
    }
    const auto other = std::find_if(others.begin(), others.end(), [&](const std::string& t) { return rest.starts_with(t); });
    if (other == others.end()) {
      result += text[at++];
      continue;
    }
    result += own;
    at += other->size();
    if (firstOnly) {
      result += text.substr(at);
      break;
    }
  }
  return result;
}

}  // namespace forms
