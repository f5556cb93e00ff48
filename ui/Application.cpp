#include "ui/Application.h"

#include <exception>

#include <QMessageBox>

namespace ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("vexilo");
  setApplicationVersion(VEXILO_VERSION);
}

QString Application::title_ = "Vexilo - Corvana";

bool Application::notify(QObject* receiver, QEvent* event) {
  QString text;
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    text = QString::fromUtf8(e.what());
  } catch (...) {
    text = "Unknown error";
  }
  QMessageBox::critical(activeWindow(), title_, text);
  return false;
}

}  // namespace ui
