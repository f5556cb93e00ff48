#include "ui/SplashWindow.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include "ui/Application.h"
#include "ui/WindowTexts.h"

namespace ui {

namespace {

constexpr int kWidth = 380;
constexpr int kHeight = 235;

// A framed picture with a sun and two hills, the program's mark.
void DrawIcon(QPainter& p, const QRectF& r) {
  p.setPen(QPen(QColor(255, 255, 255), 3));
  p.setBrush(QColor(232, 240, 250));
  p.drawRoundedRect(r, 6, 6);
  const QRectF inner = r.adjusted(7, 7, -7, -7);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(120, 180, 235));
  p.drawRect(inner);
  p.setBrush(QColor(255, 200, 60));
  p.drawEllipse(QPointF(inner.right() - inner.width() * 0.28, inner.top() + inner.height() * 0.3), inner.width() * 0.11,
                inner.width() * 0.11);
  QPainterPath hills;
  hills.moveTo(inner.bottomLeft());
  hills.lineTo(inner.left() + inner.width() * 0.35, inner.top() + inner.height() * 0.45);
  hills.lineTo(inner.left() + inner.width() * 0.6, inner.top() + inner.height() * 0.75);
  hills.lineTo(inner.left() + inner.width() * 0.75, inner.top() + inner.height() * 0.58);
  hills.lineTo(inner.bottomRight());
  hills.closeSubpath();
  p.setBrush(QColor(60, 140, 80));
  p.drawPath(hills);
}

}  // namespace

SplashWindow::SplashWindow(forms::Language language, std::function<void()> showMain)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::SplashScreen),
      showMain_(std::move(showMain)),
      language_(language),
      timer_(new QTimer(this)) {
  setObjectName("splashWindow");
  setFixedSize(kWidth, kHeight);
  timer_->setInterval(600);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  ApplyTexts(language);
}

void SplashWindow::ApplyTexts(forms::Language language) {
  language_ = language;
  Application::SetTitle(TextOf(language, forms::TextGroup::Splash, "title"));
  setWindowTitle(TextOf(language, forms::TextGroup::Splash, "title"));
  update();
}

QPixmap SplashWindow::Picture(forms::Language language) {
  QPixmap pixmap(kWidth, kHeight);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, kWidth, kHeight);
  sky.setColorAt(0, QColor(24, 64, 120));
  sky.setColorAt(1, QColor(52, 120, 190));
  p.fillRect(pixmap.rect(), sky);
  DrawIcon(p, QRectF(28, 58, 110, 90));
  const auto text = [language](std::string_view key) { return TextOf(language, forms::TextGroup::Splash, key); };
  p.setPen(Qt::white);
  QFont font = p.font();
  font.setPixelSize(40);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRectF(156, 52, 210, 50), Qt::AlignLeft | Qt::AlignVCenter, "Vexilo");
  font.setPixelSize(13);
  font.setBold(false);
  p.setFont(font);
  p.drawText(QRectF(158, 100, 210, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text("subtitle"));
  font.setPixelSize(11);
  p.setFont(font);
  p.setPen(QColor(200, 220, 245));
  p.drawText(QRectF(12, kHeight - 28, kWidth - 24, 20), Qt::AlignLeft | Qt::AlignVCenter, "Corvana");
  p.drawText(QRectF(12, kHeight - 28, kWidth - 24, 20), Qt::AlignRight | Qt::AlignVCenter, text("hint"));
  return pixmap;
}

void SplashWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, Picture(language_));
}

void SplashWindow::mousePressEvent(QMouseEvent*) { HandOver(); }

void SplashWindow::Start() {
  ticks_ = 0;
  if (QScreen* s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
  show();
  timer_->start();
}

void SplashWindow::HandOver() {
  timer_->stop();
  if (!mainShown_) {
    mainShown_ = true;
    showMain_();
  }
  hide();
}

void SplashWindow::Tick() {
  ++ticks_;
  if (ticks_ >= 4 && !mainShown_) {
    mainShown_ = true;
    showMain_();
  }
  if (ticks_ >= 6) hide();
  if (ticks_ >= 8) timer_->stop();
}

}  // namespace ui
