#include "ui/QtDialogs.h"

#include <optional>
#include <utility>

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "engine/Messages.h"
#include "ui/Mnemonics.h"

namespace ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const char* s) { return QString::fromUtf8(s); }

}  // namespace

ReportWindow::ReportWindow(QWidget* parent, int lines)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(Q(engine::Text(engine::TextId::DialogCaption, forms::DefaultLanguage())));
  auto* outer = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  auto* picture = new QLabel(this);
  picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  picture->setMinimumWidth(64);
  body->addWidget(picture);
  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::VLine);
  rule->setFrameShadow(QFrame::Sunken);
  body->addWidget(rule);
  auto* text = new QVBoxLayout;
  for (int i = 0; i < lines; ++i) {
    auto* line = new QLabel(this);
    line->setObjectName(QStringLiteral("line%1").arg(i + 1));
    line->setTextFormat(Qt::PlainText);
    // Texts and causes wrap at the window's width; the path line is shortened to it instead.
    line->setWordWrap(i != 2);
    if (i == 0) {
      QFont font = line->font();
      font.setPixelSize(15);
      font.setBold(true);
      line->setFont(font);
    }
    lines_.push_back(line);
    text->addWidget(line);
  }
  text->addStretch();
  body->addLayout(text, 1);
  outer->addLayout(body, 1);
  buttons_ = new QWidget(this);
  auto* row = new QHBoxLayout(buttons_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch();
  outer->addWidget(buttons_);
  setMinimumSize(481, 220);
  resize(481, 220);
}

QPushButton* ReportWindow::AddButton(const char* name) {
  auto* button = new QPushButton(buttons_);
  button->setObjectName(Q(name));
  buttons_->layout()->addWidget(button);
  return button;
}

int ReportWindow::LineWidth() const { return std::max(200, width() - 120 - 24); }

std::string ReportWindow::Shorten(const std::string& path, const std::string& suffix) const {
  const QFontMetrics metrics(lines_.size() > 2 ? lines_[2]->font() : font());
  return engine::ShortenPath(path, LineWidth(), [&](const std::string& t) { return metrics.horizontalAdvance(Q(t)); },
                             suffix);
}

void ReportWindow::showEvent(QShowEvent* event) {
  // Centred over the main window whenever it is shown.
  if (QWidget* main = parentWidget()) {
    const QRect m = main->geometry();
    move(m.left() + (m.width() - width()) / 2, m.top() + (m.height() - height()) / 2);
  }
  QDialog::showEvent(event);
}

// ---- The message dialog ----

MessageWindow::MessageWindow(QWidget* parent) : ReportWindow(parent, 4) {
  setObjectName("messageWindow");
  okAll_ = AddButton("okForAllButton");
  ok_ = AddButton("okButton");
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] {
    answer_ = engine::MessageButton::OK;
    accept();
  });
  connect(okAll_, &QPushButton::clicked, this, [this] {
    answer_ = engine::MessageButton::OKForAll;
    accept();
  });
}

void MessageWindow::ApplyTexts(forms::Language language) {
  language_ = language;
  setWindowTitle(Q(engine::Text(engine::TextId::DialogCaption, language)));
  ok_->setText(Q(engine::Text(engine::TextId::ButtonOK, language)));
  okAll_->setText(Q(engine::Text(engine::TextId::ButtonOKForAll, language)));
  AssignMnemonics(this);
}

engine::MessageButton MessageWindow::Ask(const std::string& key, const std::string& detail, const std::string& cause) {
  okAll_->hide();
  if (const std::optional<engine::MessageText> m = engine::FindMessage(key, language_)) {
    Line(0)->setText(Q(m->title));
    Line(1)->setText(Q(m->line1));
    Line(2)->setText(m->detailLine ? "\"" + Q(Shorten(detail)) + "\"" : Q(m->line2));
    Line(3)->setText(Q(m->line3) + (cause.empty() ? QString() : "\n(" + Q(cause) + ")"));
    okAll_->setVisible(m->okForAll);
  }
  answer_ = engine::MessageButton::OK;
  adjustSize();  // a long cause makes the window taller, never wider
  exec();
  return answer_;
}

// ---- The overwrite question ----

OverwriteWindow::OverwriteWindow(QWidget* parent) : ReportWindow(parent, 5) {
  setObjectName("overwriteWindow");
  using B = engine::OverwriteButton;
  const std::pair<const char*, B> buttons[] = {{"yesButton", B::Yes},
                                               {"noButton", B::No},
                                               {"yesForAllButton", B::YesForAll},
                                               {"noForAllButton", B::NoForAll},
                                               {"breakButton", B::Break}};
  for (const auto& [name, answer] : buttons) {
    QPushButton* button = AddButton(name);
    connect(button, &QPushButton::clicked, this, [this, answer = answer] {
      answer_ = answer;
      accept();
    });
    buttons_.push_back(button);
  }
}

void OverwriteWindow::ApplyTexts(forms::Language l) {
  using engine::TextId;
  setWindowTitle(Q(engine::Text(TextId::DialogCaption, l)));
  Line(0)->setText(Q(engine::Text(TextId::OverwriteTitle, l)));
  Line(1)->setText(Q(engine::Text(TextId::OverwriteLine1, l)));
  Line(3)->setText(Q(engine::Text(TextId::OverwriteQuestion, l)));
  Line(4)->setText(Q(engine::Text(TextId::OverwriteWarning, l)));
  const TextId ids[] = {TextId::ButtonYes, TextId::ButtonNo, TextId::ButtonYesForAll, TextId::ButtonNoForAll,
                        TextId::ButtonBreak};
  for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setText(Q(engine::Text(ids[i], l)));
  AssignMnemonics(this);
}

engine::OverwriteButton OverwriteWindow::Ask(const std::string& path) {
  Line(2)->setText(Q(Shorten(path)));
  answer_ = engine::OverwriteButton::No;
  buttons_[1]->setFocus();
  exec();
  return answer_;
}

// ---- The progress window ----

ProgressWindow::ProgressWindow(QWidget* parent) : ReportWindow(parent, 3) {
  setObjectName("progressWindow");
  setModal(false);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("progressBar");
  bar_->setTextVisible(false);
  qobject_cast<QBoxLayout*>(layout())->insertWidget(1, bar_);
  status_ = new QLabel(this);
  status_->setObjectName("statusLine");
  status_->setTextFormat(Qt::PlainText);
  status_->hide();
  qobject_cast<QBoxLayout*>(layout())->insertWidget(2, status_);
  break_ = AddButton("breakButton");
}

void ProgressWindow::reject() { break_->click(); }

void ProgressWindow::ApplyTexts(forms::Language l) {
  setWindowTitle(Q(engine::Text(engine::TextId::DialogCaption, l)));
  break_->setText(Q(engine::Text(engine::TextId::ButtonBreak, l)));
  AssignMnemonics(this);
}

// ---- QtUserDialogs ----

QtUserDialogs::QtUserDialogs(QWidget* mainWindow)
    : main_(mainWindow),
      message_(new MessageWindow(mainWindow)),
      overwrite_(new OverwriteWindow(mainWindow)),
      progress_(new ProgressWindow(mainWindow)) {
  QObject::connect(progress_->BreakButton(), &QPushButton::clicked, progress_, [this] {
    Flags().cancelProgress = true;
    if (breakPressed) breakPressed();
  });
}

void QtUserDialogs::ApplyTexts(forms::Language language) {
  message_->ApplyTexts(language);
  overwrite_->ApplyTexts(language);
  progress_->ApplyTexts(language);
}

engine::MessageButton QtUserDialogs::ShowMessage(const std::string& key, const std::string& detail,
                                                 const std::string& cause) {
  return message_->Ask(key, detail, cause);
}

engine::OverwriteButton QtUserDialogs::ShowOverwrite(const std::string& path) { return overwrite_->Ask(path); }

void QtUserDialogs::ShowNote(const std::string& path, const std::string& text) { notes_.push_back(path + ": " + text); }

std::vector<std::string> QtUserDialogs::TakeNotes() { return std::exchange(notes_, {}); }

void QtUserDialogs::ShowProgress(const engine::ProgressText& text, int maximum) {
  progress_->Line(0)->setText(Q(text.title));
  progress_->Line(1)->setText(Q(text.line));
  progress_->Line(2)->setText(Q(text.fileLine));
  progress_->Bar()->setRange(0, std::max(maximum, 1));
  progress_->Bar()->setValue(0);
  SetProgressStatusLine("");
  progress_->show();
  progress_->raise();
}

void QtUserDialogs::SetProgressFileLine(const std::string& path, const std::string& suffix) {
  progress_->Line(2)->setText(Q(path.empty() ? suffix : progress_->Shorten(path, suffix)));
}

void QtUserDialogs::SetProgressPosition(int position) { progress_->Bar()->setValue(position); }

void QtUserDialogs::SetProgressStatusLine(const std::string& text) {
  progress_->StatusLine()->setText(Q(text));
  progress_->StatusLine()->setVisible(!text.empty());
}
void QtUserDialogs::HideProgress() { progress_->hide(); }
void QtUserDialogs::ProcessEvents() {
  // Called once per file: with thousands of small files, handling events (and painting the
  // progress window) every time would cost more than the files. A few dozen times a second
  // keeps Break and the window as quick to answer.
  if (sinceEvents_.isValid() && sinceEvents_.elapsed() < 30) return;
  QApplication::processEvents();
  sinceEvents_.start();
}

void QtUserDialogs::SetMainWindowEnabled(bool enabled) {
  if (mainWindowEnabled) {
    mainWindowEnabled(enabled);
    return;
  }
  // Only the main window's own content: the progress window, a child, stays usable.
  for (QWidget* child : main_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->isWindow()) child->setEnabled(enabled);
}

void QtUserDialogs::FocusMainWindow() {
  main_->activateWindow();
  // The window keeps the field the user was in; only a window without one takes the focus itself.
  if (main_->focusWidget() == nullptr) main_->setFocus();
}

}  // namespace ui
