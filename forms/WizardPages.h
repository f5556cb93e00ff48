// The page flow of the main window: three pages (choose images, choose size, save), the forward
// button that moves on and on the last page starts the conversion, Ctrl+S (File > Convert and
// Save) that starts it from any page, and the button's caption, which follows the active page
// however the page was reached.
#pragma once

#include <string>

#include "forms/Language.h"

namespace forms {

enum class WizardPage { Images = 0, Size = 1, Save = 2 };  // the tabs, in order

class WizardFlow {
public:
  WizardPage Page() const { return page_; }
  // A tab click or any other page change.
  void ShowPage(WizardPage page) { page_ = page; }

  // The forward button (fromMenu false) or File > Convert and Save (true). Returns whether the
  // conversion starts: from the menu or on the last page, when the list has rows; an empty list
  // does nothing. Otherwise moves to the next page.
  bool Forward(bool fromMenu, int rowCount);

  // "Save Images" on the last page, else "Forward >>" ("Bilder Speichern", "Weiter >>").
  std::string ForwardCaption(Language language) const;

private:
  WizardPage page_ = WizardPage::Images;
};

}  // namespace forms
