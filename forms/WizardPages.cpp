#include "forms/WizardPages.h"

namespace forms {

bool WizardFlow::Forward(bool fromMenu, int rowCount) {
  if (fromMenu || page_ == WizardPage::Save) return rowCount > 0;
  page_ = static_cast<WizardPage>(static_cast<int>(page_) + 1);
  return false;
}

std::string WizardFlow::ForwardCaption(Language language) const {
  const bool en = language == Language::English;
  if (page_ == WizardPage::Save) return en ? "Save Images" : "Bilder Speichern";
  return en ? "Forward >>" : "Weiter >>";
}

}  // namespace forms
