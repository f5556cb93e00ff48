#include "ui/RunController.h"

#include <QMetaObject>
#include <QThread>

#include "ui/QtDialogs.h"

namespace ui {

// The run's dialogs on the worker: questions wait for the GUI thread's answer, everything else
// is queued behind them, so the user sees the run's reports in the run's order.
class RunController::WorkerDialogs : public vexilo::UserDialogs {
public:
  WorkerDialogs(RunController& owner) : owner_(owner) {}

  void ShowNote(const std::string& path, const std::string& text) override {
    Post([=](QtUserDialogs& d) { d.ShowNote(path, text); });
  }
  void ShowProgress(const vexilo::ProgressText& text, int maximum) override {
    Post([=](QtUserDialogs& d) { d.ShowProgress(text, maximum); });
  }
  void SetProgressFileLine(const std::string& path, const std::string& suffix) override {
    Post([=](QtUserDialogs& d) { d.SetProgressFileLine(path, suffix); });
  }
  void SetProgressPosition(int position) override {
    Post([=](QtUserDialogs& d) { d.SetProgressPosition(position); });
  }
  void HideProgress() override {
    Post([](QtUserDialogs& d) { d.HideProgress(); });
  }
  void ProcessEvents() override {
    if (owner_.breakPressed_.exchange(false)) Flags().cancelProgress = true;
  }
  void SetMainWindowEnabled(bool enabled) override {
    Post([=](QtUserDialogs& d) { d.SetMainWindowEnabled(enabled); });
  }
  void FocusMainWindow() override {
    Post([](QtUserDialogs& d) { d.FocusMainWindow(); });
  }

protected:
  vexilo::MessageButton ShowMessage(const std::string& key, const std::string& detail,
                                    const std::string& cause) override {
    vexilo::MessageButton answer = vexilo::MessageButton::OK;
    Wait([&](QtUserDialogs& d) { answer = d.AskMessage(key, detail, cause); });
    return answer;
  }
  vexilo::OverwriteButton ShowOverwrite(const std::string& path) override {
    vexilo::OverwriteButton answer = vexilo::OverwriteButton::Break;
    Wait([&](QtUserDialogs& d) { answer = d.AskOverwriteButton(path); });
    return answer;
  }

private:
  template <typename F>
  void Post(F f) {
    QtUserDialogs* dialogs = &owner_.dialogs_;
    QMetaObject::invokeMethod(owner_.context_, [dialogs, f] { f(*dialogs); }, Qt::QueuedConnection);
  }
  template <typename F>
  void Wait(F f) {
    QtUserDialogs* dialogs = &owner_.dialogs_;
    QMetaObject::invokeMethod(owner_.context_, [dialogs, &f] { f(*dialogs); }, Qt::BlockingQueuedConnection);
  }
  RunController& owner_;
};

RunController::RunController(QtUserDialogs& dialogs, QObject* context) : dialogs_(dialogs), context_(context) {
  dialogs_.breakPressed = [this] { breakPressed_ = true; };
}

RunController::~RunController() {
  if (thread_ != nullptr) {
    breakPressed_ = true;
    thread_->wait();
  }
}

bool RunController::Start(const forms::Form& tprog, const forms::Form& toptionen, std::vector<std::string> paths,
                          std::function<void(const vexilo::RunResult&)> finished) {
  if (thread_ != nullptr) return false;
  // Copies without the window's bindings: the worker never reaches a widget through them.
  auto settings = std::make_shared<std::pair<forms::Form, forms::Form>>(tprog, toptionen);
  settings->first.Events() = {};
  settings->second.Events() = {};
  auto rows = std::make_shared<vexilo::PathRows>(std::move(paths));
  auto result = std::make_shared<vexilo::RunResult>();
  auto memory = std::make_shared<vexilo::RunMemory>(memory_);
  breakPressed_ = false;
  dialogs_.Flags().cancelProgress = false;
  thread_ = QThread::create([this, settings, rows, result, memory] {
    WorkerDialogs dialogs(*this);
    vexilo::RunEnvironment env{settings->first, settings->second, *rows, dialogs, *memory};
    try {
      *result = vexilo::RunConversion(env);
    } catch (const std::exception& e) {
      // The run reports its own failures; anything else ends it here and is shown.
      dialogs.HideProgress();
      dialogs.SetMainWindowEnabled(true);
      std::string text = e.what();
      dialogs.ShowNote("", text);
    }
  });
  QObject::connect(thread_, &QThread::finished, context_, [this, result, memory, finished] {
    thread_->deleteLater();
    thread_ = nullptr;
    memory_ = *memory;
    dialogs_.Flags().cancelProgress = false;
    if (finished) finished(*result);
  });
  thread_->start();
  return true;
}

}  // namespace ui
