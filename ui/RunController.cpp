#include "ui/RunController.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "engine/JobFromForms.h"
#include "engine/Messages.h"
#include "ui/QtDialogs.h"
#include "ui/WindowTexts.h"

namespace ui {

namespace {

// Runs `f` on the GUI thread: queued behind everything posted before it, or waiting for it.
template <typename F>
void Post(QObject* context, F f) {
  QMetaObject::invokeMethod(context, std::move(f), Qt::QueuedConnection);
}
template <typename F>
void Wait(QObject* context, F f) {
  QMetaObject::invokeMethod(context, std::move(f), Qt::BlockingQueuedConnection);
}

}  // namespace

// The run's questions on the worker: they wait for the GUI thread's answer; notes are queued.
class RunController::WorkerQuestions : public engine::Questions {
public:
  explicit WorkerQuestions(RunController& owner) : owner_(owner) {}

  engine::MessageButton ShowMessage(const std::string& key, const std::string& detail,
                                    const std::string& cause) override {
    engine::MessageButton answer = engine::MessageButton::OK;
    QtUserDialogs* d = &owner_.dialogs_;
    Wait(owner_.context_, [&] { answer = d->AskMessage(key, detail, cause); });
    return answer;
  }
  engine::OverwriteButton ShowOverwrite(const std::string& path) override {
    engine::OverwriteButton answer = engine::OverwriteButton::Break;
    QtUserDialogs* d = &owner_.dialogs_;
    Wait(owner_.context_, [&] { answer = d->AskOverwriteButton(path); });
    return answer;
  }
  void ShowNote(const std::string& path, const std::string& text) override {
    QtUserDialogs* d = &owner_.dialogs_;
    Post(owner_.context_, [d, path, text] { d->ShowNote(path, text); });
  }

private:
  RunController& owner_;
};

// The run's progress as the progress window and the main window show it.
class RunController::WorkerObserver : public engine::RunObserver {
public:
  WorkerObserver(RunController& owner, forms::Language language) : owner_(owner), language_(language) {}

  void RunStarted(int total) override {
    QtUserDialogs* d = &owner_.dialogs_;
    const engine::ProgressText text{engine::Text(engine::TextId::ProgressTitle, language_),
                                    engine::Text(engine::TextId::ProgressCurrentImage, language_), ""};
    RunController* owner = &owner_;
    Post(owner_.context_, [owner, d, text, total] {
      owner->summary_ = RunSummary();
      owner->summary_.total = total;
      owner->clock_.start();
      d->SetMainWindowEnabled(false);
      d->ShowProgress(text, total);
      owner->ShowFilesDone(0, total);
    });
  }
  void FileStarted(const engine::FileStart& file) override {
    QtUserDialogs* d = &owner_.dialogs_;
    const std::string suffix = " (" + std::to_string(file.index + 1) + "/" + std::to_string(file.total) + ")";
    Post(owner_.context_, [d, source = file.source, suffix] { d->SetProgressFileLine(source, suffix); });
  }
  void FileFinished(const engine::FileEnd& file) override {
    QtUserDialogs* d = &owner_.dialogs_;
    RunController* owner = &owner_;
    Post(owner_.context_, [owner, d, file] {
      owner->summary_.Add(file);
      d->SetProgressPosition(file.index + 1);
      owner->ShowFilesDone(file.index + 1, file.total);
    });
  }
  void RunFinished(const engine::RunResult& result) override {
    QtUserDialogs* d = &owner_.dialogs_;
    Post(owner_.context_, [d, cancelled = result.cancelled] {
      d->HideProgress();
      d->SetMainWindowEnabled(true);
      if (cancelled) d->FocusMainWindow();
    });
  }

private:
  RunController& owner_;
  forms::Language language_;
};

QString ProgressStatusText(forms::Language language, int done, int total, qint64 elapsed) {
  const int percent = total > 0 ? static_cast<int>(100LL * done / total) : 100;
  QString line = TextOf(language, forms::TextGroup::Dialogs, "progress_done").arg(percent).arg(done).arg(total);
  // The time left is told once a file is done and a second has passed, from the pace so far.
  if (done > 0 && done < total && elapsed >= 1000) {
    const qint64 left = elapsed * (total - done) / done;
    line += TextOf(language, forms::TextGroup::Dialogs, "progress_left").arg(DurationText(left));
  }
  return line;
}

void RunController::ShowFilesDone(int done, int total) {
  const qint64 elapsed = clock_.isValid() ? clock_.elapsed() : 0;
  dialogs_.SetProgressStatusLine(ProgressStatusText(language_, done, total, elapsed).toStdString());
}

RunController::RunController(QtUserDialogs& dialogs, QObject* context) : dialogs_(dialogs), context_(context) {
  dialogs_.breakPressed = [this] { RequestStop(); };
}

RunController::~RunController() {
  if (thread_ == nullptr) return;
  stop_.request_stop();
  // The worker may wait for this thread (a question, the settings): keep serving it until it
  // has ended.
  while (!thread_->wait(20)) QCoreApplication::processEvents();
}

bool RunController::Start(const forms::Form& mainForm, const forms::Form& options, std::vector<std::string> paths,
                          std::function<void(const RunSummary&)> finished) {
  if (thread_ != nullptr) return false;
  language_ = mainForm.CurrentLanguage();
  stop_ = std::stop_source();
  auto result = std::make_shared<engine::RunResult>();
  auto memory = std::make_shared<engine::RunMemory>(memory_);
  // The run's answer flags start as the program's (an earlier "OK for all" of adding files
  // stays in force) and are all clear when it ends.
  auto flags = std::make_shared<engine::DialogFlags>(dialogs_.Flags());
  QObject* context = context_;
  const forms::Form* settings[2] = {&mainForm, &options};
  // The settings are read where the forms live: on the GUI thread, waited for by the worker.
  engine::JobSource job = [context, settings] {
    engine::ConversionJob read;
    Wait(context, [&] { read = engine::JobFromForms(*settings[0], *settings[1]); });
    return read;
  };
  const forms::Language language = mainForm.CurrentLanguage();
  thread_ = QThread::create([this, paths = std::move(paths), job, result, memory, flags, language,
                             stop = stop_.get_token()] {
    WorkerQuestions questions(*this);
    WorkerObserver observer(*this, language);
    engine::RunSetup setup{.paths = paths,
                           .job = job,
                           .observer = observer,
                           .questions = questions,
                           .flags = *flags,
                           .memory = *memory,
                           .stop = stop,
                           .decimalSeparator = DecimalSeparator()};
    try {
      *result = engine::RunConversion(setup);
    } catch (const std::exception& e) {
      // The run reports its own failures; anything else ends it here and is shown.
      observer.RunFinished(*result);
      questions.ShowNote("", e.what());
    }
  });
  QObject::connect(thread_, &QThread::finished, context_, [this, result, memory, flags, finished] {
    thread_->deleteLater();
    thread_ = nullptr;
    memory_ = *memory;
    dialogs_.Flags() = *flags;
    summary_.Finish(*result, clock_.isValid() ? clock_.elapsed() : 0);
    clock_.invalidate();
    if (finished) finished(summary_);
  });
  thread_->start();
  return true;
}

}  // namespace ui
