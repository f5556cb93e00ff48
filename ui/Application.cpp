#include "ui/Application.h"

#include <exception>

#include <QMessageBox>
#include <QWidget>

namespace ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("vexilo");
  setApplicationVersion(VEXILO_VERSION);
}

QString Application::title_ = "Vexilo - Corvana";

bool Application::notify(QObject* receiver, QEvent* event) {
  QString text;
  try {
    // A window of ours that closes while the program has the keyboard hands it to the window it
    // belongs to, as window managers do; on a bare X server the keyboard would go nowhere. (The
    // closing window has already given up the keyboard here; while the program is still the
    // active one, it was ours to hand over.)
    QWidget* handOver = nullptr;
    if (event->type() == QEvent::Hide && receiver->isWidgetType()) {
      auto* closing = static_cast<QWidget*>(receiver);
      if (closing->isWindow() && closing->windowType() != Qt::Popup && closing->windowType() != Qt::ToolTip &&
          activeWindow() == nullptr && applicationState() == Qt::ApplicationActive &&
          closing->parentWidget() != nullptr && closing->parentWidget()->window()->isVisible())
        handOver = closing->parentWidget()->window();
    }
    const bool handled = QApplication::notify(receiver, event);
    if (handOver != nullptr) handOver->activateWindow();
    return handled;
  } catch (const std::exception& e) {
    text = QString::fromUtf8(e.what());
  } catch (...) {
    text = "Unknown error";
  }
  QMessageBox::critical(activeWindow(), title_, text);
  return false;
}

}  // namespace ui
