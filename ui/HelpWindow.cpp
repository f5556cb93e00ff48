#include "ui/HelpWindow.h"

#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/WindowTexts.h"

namespace ui {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent, Qt::Window) {
  setObjectName("helpWindow");
  auto* layout = new QVBoxLayout(this);
  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(false);
  layout->addWidget(browser_);
  resize(560, 520);
}

void HelpWindow::ApplyTexts(forms::Language language) {
  setWindowTitle(TextOf(language, forms::TextGroup::Help, "title"));
  browser_->setHtml(TextOf(language, forms::TextGroup::Help, "page"));
}

void HelpWindow::ShowTopic(const std::string& topic) {
  show();
  raise();
  browser_->scrollToAnchor(QString::fromStdString(topic));
}

QString AboutText(forms::Language language) {
  return TextOf(language, forms::TextGroup::Help, "about")
      .arg(VEXILO_VERSION, qVersion(), VEXILO_ZLIB_VERSION, VEXILO_JPEG_VERSION, VEXILO_TIFF_VERSION,
           VEXILO_OPENJPEG_VERSION, VEXILO_LIBXML2_VERSION);
}

void ShowAbout(QWidget* parent, forms::Language language) {
  QMessageBox::about(parent, TextOf(language, forms::TextGroup::Help, "about_title"), AboutText(language));
}

}  // namespace ui
