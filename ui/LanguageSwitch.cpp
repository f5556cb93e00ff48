#include "ui/LanguageSwitch.h"

#include <algorithm>

#include <QObject>

namespace ui {

void LanguageSwitch::Register(LanguageOrder order, QObject* owner, std::function<void(forms::Language)> apply) {
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), order,
                                   [](LanguageOrder o, const Entry& e) { return o < e.order; });
  apply(language_);
  entries_.insert(at, Entry{order, owner, std::move(apply)});
}

void LanguageSwitch::Apply(forms::Language language) {
  language_ = language;
  std::erase_if(entries_, [](const Entry& e) { return e.owner.isNull(); });
  const std::vector<Entry> entries = entries_;  // an operation may register further windows
  for (const Entry& e : entries)
    if (!e.owner.isNull()) e.apply(language);
}

}  // namespace ui
