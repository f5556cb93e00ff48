#include "tests/support/ScriptedDialogs.h"

#include "engine/Messages.h"

namespace engine {

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

RunResult ScriptedDialogs::Run(std::vector<std::string> paths, JobSource job, RunMemory& memory,
                               MetadataCarrier* metadata, std::string decimalSeparator) {
  stop_ = std::stop_source();  // a Break of an earlier run does not reach this one
  const RunSetup setup{.paths = std::move(paths),
                       .job = std::move(job),
                       .observer = *this,
                       .questions = *this,
                       .flags = Flags(),
                       .memory = memory,
                       .stop = StopToken(),
                       .metadata = metadata,
                       .decimalSeparator = std::move(decimalSeparator),
                       .jobs = jobs,
                       .memoryBudget = memoryBudget,
                       .beforeLoad = beforeLoad};
  return RunConversion(setup);
}

void ScriptedDialogs::RunStarted(int total) {
  SetMainWindowEnabled(false);
  ShowProgress({Text(TextId::ProgressTitle, language), Text(TextId::ProgressCurrentImage, language), ""}, total);
}

void ScriptedDialogs::FileStarted(const FileStart& file) {
  progressText.fileLine = file.source + " (" + std::to_string(file.index + 1) + "/" + std::to_string(file.total) + ")";
  fileLines.push_back(progressText.fileLine);
  const int line = static_cast<int>(fileLines.size());
  if (line == breakAtFileLine || line == breakDuringFile) stop_.request_stop();
}

void ScriptedDialogs::FileFinished(const FileEnd& file) {
  fileEnds.push_back(file);
  if (file.result != FileResult::Cancelled) SetProgressPosition(file.index + 1);
}

void ScriptedDialogs::RunFinished(const RunResult& result) {
  HideProgress();
  SetMainWindowEnabled(true);
  if (result.cancelled) FocusMainWindow();
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

}  // namespace engine
