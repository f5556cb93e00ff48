// What a conversion run did, collected from its file events, and the window that tells it after
// the run: written, failed, kept or skipped, each failed file with its cause, the notes, the
// time taken; buttons open the output folder and save the summary as a text file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QDialog>

#include "engine/ConversionRun.h"
#include "forms/Language.h"
#include "imagelist/ListServices.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ui {

// "0:42", "12:05", "1:02:05".
QString DurationText(qint64 milliseconds);

struct RunSummary {
  struct FileNote {
    std::string source;
    std::string key;  // the message reported for the file (forms/MessageKeys.h)
    std::string cause;
  };
  int total = 0;
  int written = 0;
  int failed = 0;
  int kept = 0;       // existing outputs left alone
  int skipped = 0;    // files a cancel left untouched
  bool started = false;  // false: the list was empty or a start check failed
  bool cancelled = false;
  qint64 milliseconds = 0;
  std::vector<FileNote> failures;  // in list order
  std::vector<FileNote> writtenWithMessages;  // written, but with a message (metadata lost)
  std::vector<std::string> notes;  // warnings of loads, "path: text"
  std::string outputFolder;        // the folder of the first output written
  // How each file ended, for the list's result column: its place in the list, its result and,
  // when it failed, the cause.
  struct FileOutcome {
    int position = 0;
    engine::FileResult result = engine::FileResult::Failed;
    std::string key;
    std::string cause;
  };
  std::vector<FileOutcome> outcomes;

  // One file's end, as the run reports it.
  void Add(const engine::FileEnd& file);
  // The run's end: the counts it gives and the files it left untouched.
  void Finish(const engine::RunResult& result, qint64 milliseconds);
};

// A failure as the summary names it: the message's title with the cause in parentheses
// ("File not found", "Loading Error (its data end early)").
QString FailureText(const std::string& key, const std::string& cause, forms::Language language);

// The summary as lines of text in the language, for the window and the report file.
QString SummaryText(const RunSummary& summary, forms::Language language);

class RunSummaryWindow : public QDialog {
public:
  RunSummaryWindow(imagelist::DesktopServices& desktop, QWidget* parent);
  // Fills the window with the summary and shows it without blocking.
  void Show(const RunSummary& summary, forms::Language language);
  void ApplyTexts(forms::Language language);
  QPushButton* OpenFolderButton() const { return openFolder_; }
  QPushButton* SaveReportButton() const { return saveReport_; }
  QString Text() const;
  // The file chooser of "Save report..", replaceable by tests (the chosen path, or "" when
  // cancelled).
  std::function<QString(const QString& proposed)> chooseReportFile;


private:
  void SaveReport();
  void Refill();

  imagelist::DesktopServices& desktop_;
  forms::Language language_ = forms::DefaultLanguage();
  RunSummary summary_;
  QLabel* title_;
  QLabel* counts_;
  QPlainTextEdit* details_;
  QPushButton* openFolder_;
  QPushButton* saveReport_;
  QPushButton* close_;
};

}  // namespace ui
