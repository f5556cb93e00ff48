// The interface language of all windows. Each window registers its own language operation under
// its place in the order; a switch (the language menu, the end of every configuration load)
// applies the language to every registered window in that order. The forms, the image list and
// the run follow the main window's operation, so they stay in one language.
#pragma once

#include <functional>
#include <vector>

#include <QPointer>

#include "forms/Language.h"

class QObject;

namespace ui {

// The order in which a switch reaches the windows.
enum class LanguageOrder {
  MainWindow,
  Splash,
  Overwrite,
  Progress,
  SearchFilter,
  Message,
  Integration,
  Options,
  Renamer,
  RenamerFilter,
};

class LanguageSwitch {
public:
  explicit LanguageSwitch(forms::Language language) : language_(language) {}
  forms::Language Current() const { return language_; }
  // Registers a window's operation; it is dropped when `owner` is destroyed. The operation is
  // applied once at once, so a window created after a switch starts in the current language.
  void Register(LanguageOrder order, QObject* owner, std::function<void(forms::Language)> apply);
  // Sets the language and applies it to every window in order (also when it did not change:
  // a loaded configuration brings texts of either language).
  void Apply(forms::Language language);

private:
  struct Entry {
    LanguageOrder order;
    QPointer<QObject> owner;
    std::function<void(forms::Language)> apply;
  };
  forms::Language language_;
  std::vector<Entry> entries_;
};

}  // namespace ui
