// Runs a conversion on a worker thread while the window stays responsive. The run works on the
// list's paths taken at its start and reads its settings afresh before every file from the
// window's forms (on the GUI thread, so the options dialog stays usable); its questions are
// shown as the modal dialogs on the GUI thread, one at a time and in order, while the worker
// waits for the answer; its progress goes to the progress window, whose Break stops the run
// after the file in progress. The only place that knows how the engine's run is called.
#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "forms/Form.h"

class QObject;
class QThread;

namespace ui {

class QtUserDialogs;

class RunController {
public:
  RunController(QtUserDialogs& dialogs, QObject* context);
  ~RunController();

  // Starts the run; `finished` is called on the GUI thread with its result. False when a run is
  // still going. The forms must outlive the run.
  bool Start(const forms::Form& mainForm, const forms::Form& options, std::vector<std::string> paths,
             std::function<void(const engine::RunResult&)> finished);
  bool Running() const { return thread_ != nullptr; }
  // Asks a running run to stop after the current file (as Break in the progress window).
  void RequestStop() { stop_.request_stop(); }

private:
  class WorkerQuestions;
  class WorkerObserver;
  QtUserDialogs& dialogs_;
  QObject* context_;
  QThread* thread_ = nullptr;
  engine::RunMemory memory_;
  std::stop_source stop_;
};

}  // namespace ui
