// The splash window: a borderless picture (drawn here: the program's name and a
// stylised picture icon) shown at start-up. Its timer ticks every 600 ms: from the 4th tick the
// main window is shown, from the 6th the splash is hidden, at the 8th the timer stops. A click
// hands over at once.
#pragma once

#include <functional>

#include <QWidget>

#include "forms/Language.h"

class QTimer;

namespace ui {

class SplashWindow : public QWidget {
public:
  SplashWindow(forms::Language language, std::function<void()> showMain);
  void ApplyTexts(forms::Language language);
  // Shows the splash and starts the timer.
  void Start();
  // The hand-over of a click: main window shown, splash hidden, timer stopped.
  void HandOver();
  int Ticks() const { return ticks_; }
  QTimer* Timer() const { return timer_; }
  // The picture in a language.
  static QPixmap Picture(forms::Language language);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void Tick();
  std::function<void()> showMain_;
  forms::Language language_;
  QTimer* timer_;
  int ticks_ = 0;
  bool mainShown_ = false;
};

}  // namespace ui
