// The terminal front end of a run: messages as lines on standard error, overwrite questions by
// policy or at the terminal, a progress bar when standard error is a terminal. Ctrl+C asks the
// run to stop after the current file.
#pragma once

#include <csignal>
#include <stop_token>
#include <string>
#include <thread>

#include "forms/Language.h"
#include "engine/ConversionRun.h"
#include "engine/UserDialogs.h"

namespace cli {

enum class ExistingPolicy { Ask, YesToAll, NoToAll, KeepAndReport };

// Set by the first Ctrl+C of a run (InterruptGuard); a folder search reads it as Break.
extern volatile sig_atomic_t gInterrupted;

// Signal handling for the span of a run: the first Ctrl+C asks the run to stop after the
// current file; a second one, SIGTERM or SIGHUP remove the files being written and end the
// process by that signal. The previous handlers come back with the guard.
//
// request_stop is not async-signal-safe (it may take a lock and run callbacks), so the handler
// only sets gInterrupted and writes a byte into a pipe; a watcher thread, which has the three
// signals blocked so that they always reach the run's thread (and interrupt a question at the
// terminal there), reads the pipe and requests the stop. The run then sees it between files
// and between the trial saves of a file-size search.
class InterruptGuard {
public:
  // Without a stop source only gInterrupted tells of a Ctrl+C (for actions that poll it).
  explicit InterruptGuard(std::stop_source stop = {});
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
  void Watch(std::stop_source stop);

  struct sigaction previous_[3] {};
  int pipe_[2] = {-1, -1};
  std::thread watcher_;
};

// A line part of vexilo-cli in the language (the terminal's text table, forms/Texts.h).
std::string TerminalText(forms::Language language, const char* key);

// The questions at the terminal, the progress bar of adding files and of the run (as its
// observer).
class TerminalDialogs : public engine::UserDialogs, public engine::RunObserver {
public:
  TerminalDialogs(forms::Language language, ExistingPolicy policy);

  int keptUnasked = 0;
  // Messages are not shown while set: a file refused by the list that the run of another part
  // of the list reports (--shard).
  bool quiet = false;

  engine::MessageButton ShowMessage(const std::string& key, const std::string& detail,
                                    const std::string& cause) override;
  engine::OverwriteButton ShowOverwrite(const std::string& path) override;
  void ShowNote(const std::string& path, const std::string& text) override;
  void ShowProgress(const engine::ProgressText&, int maximum) override;
  void SetProgressFileLine(const std::string& path, const std::string& suffix) override;
  void SetProgressPosition(int position) override;
  void HideProgress() override { ClearBar(); }
  void ProcessEvents() override;
  void SetMainWindowEnabled(bool) override {}
  void FocusMainWindow() override {}

  void RunStarted(int total) override;
  void FileStarted(const engine::FileStart& file) override;
  void FileFinished(const engine::FileEnd& file) override;
  void RunFinished(const engine::RunResult&) override { ClearBar(); }

private:
  std::string Say(const char* key) const { return TerminalText(language_, key); }
  engine::OverwriteButton Done(engine::OverwriteButton button);
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
