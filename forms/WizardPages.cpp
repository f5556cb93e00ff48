#include "forms/WizardPages.h"

#include <string_view>

#include "forms/ControlNames.h"
#include "forms/Texts.h"

namespace forms {

bool WizardFlow::Forward(bool fromMenu, int rowCount) {
  if (fromMenu || page_ == WizardPage::Save) return rowCount > 0;
  page_ = static_cast<WizardPage>(static_cast<int>(page_) + 1);
  return false;
}

std::string WizardFlow::ForwardCaption(Language language) const {
  // The last page's caption is a text of its own, under the button's name with "_save".
  const std::string_view key =
      page_ == WizardPage::Save ? std::string_view("durchfuehren_save") : ctl::kForwardButton;
  return Text(language, TextGroup::MainWindow, key);
}

}  // namespace forms
