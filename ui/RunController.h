// Runs a conversion on a worker thread while the window stays responsive. The run works on a
// copy of the settings and of the list's paths taken at its start; its questions are shown as
// the modal dialogs on the GUI thread, one at a time and in order, while the worker waits for
// the answer; progress goes to the progress window, whose Break the run sees after each file.
// The only place that knows how the engine's run is called.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
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
  // still going.
  bool Start(const forms::Form& tprog, const forms::Form& toptionen, std::vector<std::string> paths,
             std::function<void(const vexilo::RunResult&)> finished);
  bool Running() const { return thread_ != nullptr; }
  // Asks a running run to stop after the current file (as Break in the progress window).
  void RequestStop() { breakPressed_ = true; }

private:
  class WorkerDialogs;
  QtUserDialogs& dialogs_;
  QObject* context_;
  QThread* thread_ = nullptr;
  vexilo::RunMemory memory_;
  std::atomic<bool> breakPressed_{false};
};

}  // namespace ui
