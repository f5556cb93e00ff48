// The two interface languages and the start-up rule that picks one.
#pragma once

#include <string>

namespace forms {

enum class Language { English, German };

// The start-up rule: a file named "de" in the folder gives German, else a file named "en"
// gives English, else English. German wins when both exist.
Language LanguageFromMarkerFiles(const std::string& folder);

// "en" or "de".
const char* LanguageCode(Language language);

}  // namespace forms
