#include "engine/ScriptedDialogs.h"

namespace vexilo {

std::vector<std::string> ScriptedDialogs::MessageKeys() const {
  std::vector<std::string> keys;
  for (const Message& m : messages) keys.push_back(m.key);
  return keys;
}

void ScriptedDialogs::ShowProgress(const ProgressText& text, int maximum) {
  progressText = text;
  progressMaximum = maximum;
  positions.push_back(0);
  progressVisible = true;
}

void ScriptedDialogs::SetProgressFileLine(const std::string& path, const std::string& suffix) {
  progressText.fileLine = path + suffix;
  fileLines.push_back(progressText.fileLine);
  if (breakDuringFile > 0 && static_cast<int>(fileLines.size()) == breakDuringFile) breakArmed_ = 1;
}

void ScriptedDialogs::ProcessEvents() {
  if (breakAtFileLine > 0 && static_cast<int>(fileLines.size()) == breakAtFileLine) Flags().cancelProgress = true;
  if (breakArmed_ == 2) {
    Flags().cancelProgress = true;
    breakArmed_ = 0;
  } else if (breakArmed_ == 1) {
    breakArmed_ = 2;
  }
}

MessageButton ScriptedDialogs::ShowMessage(const std::string& key, const std::string& detail,
                                           const std::string& cause) {
  messages.push_back({key, detail, cause});
  if (messageAnswers.empty()) return MessageButton::OK;
  const MessageButton answer = messageAnswers.front();
  messageAnswers.pop_front();
  return answer;
}

OverwriteButton ScriptedDialogs::ShowOverwrite(const std::string& path) {
  overwriteQuestions.push_back(path);
  if (overwriteAnswers.empty()) return OverwriteButton::Yes;
  const OverwriteButton answer = overwriteAnswers.front();
  overwriteAnswers.pop_front();
  return answer;
}

}  // namespace vexilo
