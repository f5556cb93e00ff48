#include "forms/WizardPages.h"

#include "forms/Texts.h"

namespace forms {

bool WizardFlow::Forward(bool fromMenu, int rowCount) {
  if (fromMenu || page_ == WizardPage::Save) return rowCount > 0;
  page_ = static_cast<WizardPage>(static_cast<int>(page_) + 1);
  return false;
}

std::string WizardFlow::ForwardCaption(Language language) const {
  return Text(language, TextGroup::MainWindow, page_ == WizardPage::Save ? "durchfuehren_save" : "durchfuehren");
}

}  // namespace forms
