// The application object: one handler around event dispatch shows an unexpected error's text
// and ends only the command that raised it.
#pragma once

#include <QApplication>

namespace ui {

class Application : public QApplication {
public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The application title of the program's own boxes: "Vexilo - Corvana" until the language is
  // known, then "Vexilo Pro - Corvana". (Not Qt's display name, which the desktop would append
  // to every window's caption.)
  static QString Title() { return title_; }
  static void SetTitle(const QString& title) { title_ = title; }

private:
  static QString title_;
};

}  // namespace ui
