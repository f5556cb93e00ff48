// The message dialog, the overwrite question and the progress window, and the UserDialogs that
// shows them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QDialog>
#include <QElapsedTimer>

#include "engine/UserDialogs.h"
#include "forms/Language.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace ui {

// The frame the three windows share: a picture on the left, a rule, a title line and further
// text lines on the right, buttons at the bottom right.
class ReportWindow : public QDialog {
public:
  ReportWindow(QWidget* parent, int lines);
  QLabel* Line(int index) const { return lines_[static_cast<size_t>(index)]; }
  QPushButton* AddButton(const char* name);
  // The width a file line may take, for ShortenPath.
  int LineWidth() const;
  std::string Shorten(const std::string& path, const std::string& suffix = "") const;

protected:
  void showEvent(QShowEvent* event) override;

private:
  std::vector<QLabel*> lines_;
  QWidget* buttons_;
};

class MessageWindow : public ReportWindow {
public:
  explicit MessageWindow(QWidget* parent);
  void ApplyTexts(forms::Language language);
  engine::MessageButton Ask(const std::string& key, const std::string& detail, const std::string& cause);

private:
  forms::Language language_ = forms::DefaultLanguage();
  QPushButton* ok_;
  QPushButton* okAll_;
  engine::MessageButton answer_ = engine::MessageButton::OK;
};

class OverwriteWindow : public ReportWindow {
public:
  explicit OverwriteWindow(QWidget* parent);
  void ApplyTexts(forms::Language language);
  engine::OverwriteButton Ask(const std::string& path);

protected:
  // Escape must not answer: a closed question would mean "Yes".
  void reject() override {}

private:
  engine::OverwriteButton answer_ = engine::OverwriteButton::No;
  std::vector<QPushButton*> buttons_;
};

class ProgressWindow : public ReportWindow {
public:
  explicit ProgressWindow(QWidget* parent);
  void ApplyTexts(forms::Language language);
  QProgressBar* Bar() const { return bar_; }
  QPushButton* BreakButton() const { return break_; }
  // The line under the bar (a run's percentage, files done and time left); hidden when empty.
  QLabel* StatusLine() const { return status_; }

protected:
  // Escape is Break, as the button.
  void reject() override;

private:
  QProgressBar* bar_;
  QLabel* status_;
  QPushButton* break_;
};

class QtUserDialogs : public engine::UserDialogs {
public:
  explicit QtUserDialogs(QWidget* mainWindow);
  void ApplyTexts(forms::Language language);

  // The modal dialogs, also for a run on a worker thread (called on the GUI thread).
  engine::MessageButton AskMessage(const std::string& key, const std::string& detail, const std::string& cause) {
    return ShowMessage(key, detail, cause);
  }
  engine::OverwriteButton AskOverwriteButton(const std::string& path) { return ShowOverwrite(path); }

  void ShowNote(const std::string& path, const std::string& text) override;
  void ShowProgress(const engine::ProgressText& text, int maximum) override;
  void SetProgressFileLine(const std::string& path, const std::string& suffix) override;
  void SetProgressPosition(int position) override;
  // The line under the bar; ShowProgress empties it.
  void SetProgressStatusLine(const std::string& text);
  void HideProgress() override;
  void ProcessEvents() override;
  void SetMainWindowEnabled(bool enabled) override;
  void FocusMainWindow() override;

  // Notes collected since the last call.
  std::vector<std::string> TakeNotes();
  // Called when Break in the progress window is pressed (besides setting cancelProgress).
  std::function<void()> breakPressed;
  // The main window's own way of being disabled and enabled for a long action; without it
  // every widget of the window is disabled.
  std::function<void(bool enabled)> mainWindowEnabled;

  MessageWindow* Message() const { return message_; }
  OverwriteWindow* Overwrite() const { return overwrite_; }
  ProgressWindow* Progress() const { return progress_; }

protected:
  engine::MessageButton ShowMessage(const std::string& key, const std::string& detail, const std::string& cause) override;
  engine::OverwriteButton ShowOverwrite(const std::string& path) override;

private:
  QWidget* main_;
  MessageWindow* message_;
  OverwriteWindow* overwrite_;
  ProgressWindow* progress_;
  std::vector<std::string> notes_;
  QElapsedTimer sinceEvents_;  // since events were last let through
};

}  // namespace ui
