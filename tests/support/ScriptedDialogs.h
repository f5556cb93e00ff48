// A front end that answers from a script and records what it was shown: the double through
// which tests drive the run (as its observer and questions), the image list and the renamer.
// The progress window and main window it records for a run are derived from the run's events
// the way the desktop program derives them.
#pragma once

#include <deque>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/UserDialogs.h"
#include "forms/Language.h"

namespace engine {

class ScriptedDialogs : public UserDialogs, public RunObserver {
public:
  // Answers to the overwrite questions, in order; "Yes" once the script is used up.
  std::deque<OverwriteButton> overwriteAnswers;
  // Answers to messages, in order; "OK" once the script is used up.
  std::deque<MessageButton> messageAnswers;
  // Presses the progress window's Break while the n-th file line (1-based) is shown. For
  // adding files the flag is set when events are let through after that line; for a run the
  // stop is requested while that file is processed. 0 never.
  int breakAtFileLine = 0;
  // Presses Break while the n-th file (1-based) is being processed, after events were let
  // through for its file line: the press is seen the next time events are let through (for a
  // run: the stop is requested during that file). 0 never.
  int breakDuringFile = 0;
  // Files in flight at once in Run (RunSetup::jobs), and the hook called before each load.
  // Several by default, as the front ends run; tests of one file at a time set 1.
  int jobs = 4;
  std::function<void(int)> beforeLoad;
  uint64_t memoryBudget = 0;  // RunSetup::memoryBudget: 0 the default share of the memory
  // The interface language of the progress texts.
  forms::Language language = forms::Language::German;

  struct Message {
    std::string key;
    std::string detail;
    std::string cause;
  };
  std::vector<Message> messages;              // every message shown, in order
  std::vector<Message> notes;                 // every note (path as detail, text as cause)
  std::vector<std::string> overwriteQuestions;  // the path of every overwrite question
  std::vector<std::string> fileLines;          // every progress file line, path and suffix
  std::vector<int> positions;                  // every progress position
  std::vector<FileEnd> fileEnds;               // every file a run finished
  int progressMaximum = -1;
  bool progressVisible = false;
  bool mainWindowEnabled = true;
  bool mainWindowFocused = false;
  ProgressText progressText;

  // The keys of the messages shown, in order.
  std::vector<std::string> MessageKeys() const;
  // The token a run is given, so that the scripted Break reaches it.
  std::stop_token StopToken() const { return stop_.get_token(); }
  // A run over the paths with this double as observer, questions, flags and Break.
  RunResult Run(std::vector<std::string> paths, JobSource job, RunMemory& memory,
                MetadataCarrier* metadata = DefaultMetadataCarrier(),
                std::string decimalSeparator = forms::UserDecimalSeparator());

  // Questions.
  MessageButton ShowMessage(const std::string& key, const std::string& detail, const std::string& cause) override;
  OverwriteButton ShowOverwrite(const std::string& path) override;
  void ShowNote(const std::string& path, const std::string& text) override { notes.push_back({"", path, text}); }

  // The progress and main window of adding files.
  void ShowProgress(const ProgressText& text, int maximum) override;
  void SetProgressFileLine(const std::string& path, const std::string& suffix) override;
  void SetProgressPosition(int position) override { positions.push_back(position); }
  void HideProgress() override { progressVisible = false; }
  void ProcessEvents() override;
  void SetMainWindowEnabled(bool enabled) override { mainWindowEnabled = enabled; }
  void FocusMainWindow() override { mainWindowFocused = true; }

  // A run's events.
  void RunStarted(int total) override;
  void FileStarted(const FileStart& file) override;
  void FileFinished(const FileEnd& file) override;
  void RunFinished(const RunResult& result) override;

private:
  int breakArmed_ = 0;  // 1: the file line is shown; 2: its events were let through
  std::stop_source stop_;
};

}  // namespace engine
