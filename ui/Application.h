// The application object: one handler around event dispatch shows an unexpected error's text
// and ends only the command that raised it.
#pragma once

#include <QApplication>

namespace ui {

class Application : public QApplication {
public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace ui
