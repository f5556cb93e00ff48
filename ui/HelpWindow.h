// The local help page (the three steps, the size modes, the name placeholders, the
// configuration files) and the About box.
#pragma once

#include <string>

#include <QDialog>

#include "forms/Language.h"

class QTextBrowser;

namespace ui {

class HelpWindow : public QDialog {
public:
  explicit HelpWindow(QWidget* parent);
  void ApplyTexts(forms::Language language);
  // Shows the page at a topic: "steps", "sizes", "names", "configs".
  void ShowTopic(const std::string& topic);
  QTextBrowser* Browser() const { return browser_; }

private:
  QTextBrowser* browser_;
};

// Version, licence and the libraries with their versions.
QString AboutText(forms::Language language);
void ShowAbout(QWidget* parent, forms::Language language);

}  // namespace ui
