// A UserDialogs that answers from a script and records what it was shown: the double through
// which tests drive the run, the image list and the renamer.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/UserDialogs.h"

namespace vexilo {

class ScriptedDialogs : public UserDialogs {
public:
  // Answers to the overwrite questions, in order; "Yes" once the script is used up.
  std::deque<OverwriteButton> overwriteAnswers;
  // Answers to messages, in order; "OK" once the script is used up.
  std::deque<MessageButton> messageAnswers;
  // Presses the progress window's Break while the n-th file line (1-based) is shown: the flag
  // is set when events are let through after that line. 0 never.
  int breakAtFileLine = 0;
  // Presses Break while the n-th file (1-based) is being processed, after events were let
  // through for its file line: the press is seen the next time events are let through. 0 never.
  int breakDuringFile = 0;

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
  int progressMaximum = -1;
  bool progressVisible = false;
  bool mainWindowEnabled = true;
  bool mainWindowFocused = false;

  // The keys of the messages shown, in order.
  std::vector<std::string> MessageKeys() const;

  void ShowNote(const std::string& path, const std::string& text) override { notes.push_back({"", path, text}); }
  void ShowProgress(const ProgressText& text, int maximum) override;
  void SetProgressFileLine(const std::string& path, const std::string& suffix) override;
  void SetProgressPosition(int position) override { positions.push_back(position); }
  void HideProgress() override { progressVisible = false; }
  void ProcessEvents() override;
  void SetMainWindowEnabled(bool enabled) override { mainWindowEnabled = enabled; }
  void FocusMainWindow() override { mainWindowFocused = true; }

  ProgressText progressText;

private:
  int breakArmed_ = 0;  // 1: the file line is shown; 2: its events were let through

protected:
  MessageButton ShowMessage(const std::string& key, const std::string& detail, const std::string& cause) override;
  OverwriteButton ShowOverwrite(const std::string& path) override;
};

}  // namespace vexilo
