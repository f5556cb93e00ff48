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

#include <QElapsedTimer>

#include "engine/ConversionRun.h"
#include "forms/Form.h"
#include "ui/RunSummary.h"

class QObject;
class QThread;

namespace ui {

class QtUserDialogs;

// The line under a run's progress bar after `done` of `total` files, `elapsed` milliseconds into
// the run: "25 % – 3 of 12 files – about 0:42 left".
QString ProgressStatusText(forms::Language language, int done, int total, qint64 elapsed);

class RunController {
public:
  RunController(QtUserDialogs& dialogs, QObject* context);
  ~RunController();

  // Starts the run; `finished` is called on the GUI thread with what it did. False when a run
  // is still going. The forms must outlive the run.
  bool Start(const forms::Form& mainForm, const forms::Form& options, std::vector<std::string> paths,
             std::function<void(const RunSummary&)> finished);
  bool Running() const { return thread_ != nullptr; }
  // Asks a running run to stop after the current file (as Break in the progress window).
  void RequestStop() { stop_.request_stop(); }

private:
  class WorkerQuestions;
  class WorkerObserver;
  // On the GUI thread: the progress window's line under the bar after `done` of `total` files.
  void ShowFilesDone(int done, int total);
  QtUserDialogs& dialogs_;
  QObject* context_;
  QThread* thread_ = nullptr;
  engine::RunMemory memory_;
  std::stop_source stop_;
  forms::Language language_ = forms::DefaultLanguage();
  RunSummary summary_;    // of the run going on, filled on the GUI thread
  QElapsedTimer clock_;   // since the run started
};

}  // namespace ui
