// The dialogs of a terminal run: messages as lines on standard error, overwrite questions by
// policy or at the terminal, a progress bar when standard error is a terminal. Ctrl+C asks the
// run to stop after the current file.
#pragma once

#include <csignal>
#include <string>

#include "forms/Language.h"
#include "engine/UserDialogs.h"

namespace cli {

enum class ExistingPolicy { Ask, YesToAll, NoToAll, KeepAndReport };

// Set by the first Ctrl+C of a run (InstallInterruptHandler).
extern volatile sig_atomic_t gInterrupted;

// Signal handling for the span of a run: the first Ctrl+C asks the run to stop after the
// current file; a second one, SIGTERM or SIGHUP remove the files being written and end the
// process by that signal. The previous handlers come back with the guard.
class InterruptGuard {
public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
  struct sigaction previous_[3] {};
};

class TerminalDialogs : public vexilo::UserDialogs {
public:
  TerminalDialogs(forms::Language language, ExistingPolicy policy);

  int keptUnasked = 0;

  void ShowNote(const std::string& path, const std::string& text) override;
  void ShowProgress(const vexilo::ProgressText&, int maximum) override;
  void SetProgressFileLine(const std::string& path, const std::string& suffix) override;
  void SetProgressPosition(int position) override;
  void HideProgress() override { ClearBar(); }
  void ProcessEvents() override;
  void SetMainWindowEnabled(bool) override {}
  void FocusMainWindow() override {}

protected:
  vexilo::MessageButton ShowMessage(const std::string& key, const std::string& detail,
                                    const std::string& cause) override;
  vexilo::OverwriteButton ShowOverwrite(const std::string& path) override;

private:
  vexilo::OverwriteButton Done(vexilo::OverwriteButton button);
  static bool ReadAnswer(std::string& answer);
  int Columns() const;
  void Draw();
  void ClearBar();

  forms::Language language_;
  ExistingPolicy policy_;
  bool bar_;
  bool drawn_ = false;
  int maximum_ = 0;
  int position_ = 0;
  std::string path_;
  std::string suffix_;
};

}  // namespace cli
