#include "ui/RunSummary.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/AtomicFile.h"
#include "engine/Messages.h"
#include "ui/Mnemonics.h"
#include "ui/WindowTexts.h"

namespace ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Say(forms::Language language, std::string_view key) { return TextOf(language, forms::TextGroup::Dialogs, key); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

// "/pics/a.jpg: Saving Error (Permission denied)".
QString FileLine(const RunSummary::FileNote& file, forms::Language language) {
  const QString failure = FailureText(file.key, file.cause, language);
  if (failure.isEmpty()) return Q(file.source);
  return Q(file.source) + (failure.startsWith('(') ? " " : ": ") + failure;
}

}  // namespace

QString FailureText(const std::string& key, const std::string& cause, forms::Language language) {
  QString text;
  if (const auto message = engine::FindMessage(key, language)) text = QString::fromUtf8(message->title);
  if (!cause.empty()) text += (text.isEmpty() ? "(" : " (") + Q(cause) + ")";
  return text;
}

QString DurationText(qint64 milliseconds) {
  const qint64 seconds = std::max<qint64>(0, (milliseconds + 500) / 1000);
  const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h > 0) return QString("%1:%2:%3").arg(h).arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
  return QString("%1:%2").arg(m).arg(s, 2, 10, QChar('0'));
}

void RunSummary::Add(const engine::FileEnd& file) {
  total = file.total;
  outcomes.push_back({file.position, file.result, file.key, file.cause});
  switch (file.result) {
    case engine::FileResult::Written:
      if (outputFolder.empty()) outputFolder = FolderOf(file.output);
      if (!file.key.empty()) writtenWithMessages.push_back({file.source, file.key, file.cause});
      break;
    case engine::FileResult::Failed: failures.push_back({file.source, file.key, file.cause}); break;
    case engine::FileResult::Kept:
    case engine::FileResult::Skipped:  // the desktop program never asks a run to skip
    case engine::FileResult::Cancelled: break;
  }
}

void RunSummary::Finish(const engine::RunResult& result, qint64 elapsed) {
  written = result.written;
  failed = result.failed;
  kept = result.kept;
  skipped = result.notProcessed;
  started = result.started;
  cancelled = result.cancelled;
  milliseconds = elapsed;
}

QString SummaryText(const RunSummary& s, forms::Language language) {
  QStringList lines;
  lines << Say(language, s.cancelled ? "summary_cancelled" : "summary_title");
  lines << Say(language, "summary_written").arg(s.written) << Say(language, "summary_failed").arg(s.failed)
        << Say(language, "summary_kept").arg(s.kept + s.skipped)
        << Say(language, "summary_time").arg(DurationText(s.milliseconds));
  if (!s.failures.empty()) {
    lines << "" << Say(language, "summary_failures");
    for (const RunSummary::FileNote& f : s.failures) lines << FileLine(f, language);
  }
  if (!s.writtenWithMessages.empty() || !s.notes.empty()) {
    lines << "" << Say(language, "summary_notes");
    for (const RunSummary::FileNote& f : s.writtenWithMessages) lines << FileLine(f, language);
    for (const std::string& note : s.notes) lines << Q(note);
  }
  return lines.join('\n');
}

RunSummaryWindow::RunSummaryWindow(imagelist::DesktopServices& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog), desktop_(desktop) {
  setObjectName("runSummary");
  setModal(false);
  auto* outer = new QVBoxLayout(this);
  title_ = new QLabel(this);
  title_->setObjectName("summaryTitle");
  QFont font = title_->font();
  font.setPixelSize(15);
  font.setBold(true);
  title_->setFont(font);
  outer->addWidget(title_);
  counts_ = new QLabel(this);
  counts_->setObjectName("summaryCounts");
  counts_->setTextFormat(Qt::PlainText);
  counts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outer->addWidget(counts_);
  details_ = new QPlainTextEdit(this);
  details_->setObjectName("summaryDetails");
  details_->setReadOnly(true);
  details_->setLineWrapMode(QPlainTextEdit::NoWrap);
  outer->addWidget(details_, 1);
  auto* buttons = new QHBoxLayout;
  openFolder_ = new QPushButton(this);
  openFolder_->setObjectName("openOutputFolderButton");
  saveReport_ = new QPushButton(this);
  saveReport_->setObjectName("saveReportButton");
  close_ = new QPushButton(this);
  close_->setObjectName("closeButton");
  close_->setDefault(true);
  buttons->addWidget(openFolder_);
  buttons->addWidget(saveReport_);
  buttons->addStretch();
  buttons->addWidget(close_);
  outer->addLayout(buttons);
  connect(openFolder_, &QPushButton::clicked, this, [this] {
    if (!summary_.outputFolder.empty()) desktop_.OpenUri(imagelist::FileUri(summary_.outputFolder));
  });
  connect(saveReport_, &QPushButton::clicked, this, [this] { SaveReport(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::close);
  resize(560, 360);
}

void RunSummaryWindow::Show(const RunSummary& summary, forms::Language language) {
  summary_ = summary;
  ApplyTexts(language);
  show();
  raise();
  activateWindow();
  close_->setFocus(Qt::OtherFocusReason);
}

void RunSummaryWindow::ApplyTexts(forms::Language language) {
  language_ = language;
  setWindowTitle(TextOf(language, forms::TextGroup::Dialogs, "caption"));
  openFolder_->setText(Say(language, "open_output"));
  saveReport_->setText(Say(language, "save_report"));
  close_->setText(Say(language, "close"));
  AssignMnemonics(this);
  Refill();
}

void RunSummaryWindow::Refill() {
  const QStringList lines = SummaryText(summary_, language_).split('\n');
  title_->setText(lines.value(0));
  counts_->setText(lines.mid(1, 4).join('\n'));
  const QStringList rest = lines.mid(6);
  details_->setPlainText(rest.join('\n'));
  details_->setVisible(!rest.isEmpty());
  openFolder_->setEnabled(!summary_.outputFolder.empty() && QFileInfo(Q(summary_.outputFolder)).isDir());
}

QString RunSummaryWindow::Text() const { return SummaryText(summary_, language_); }

void RunSummaryWindow::SaveReport() {
  const QString proposed = QDir(summary_.outputFolder.empty() ? QDir::homePath() : Q(summary_.outputFolder))
                               .filePath(Say(language_, "report_file"));
  const QString path = chooseReportFile
                           ? chooseReportFile(proposed)
                           : QFileDialog::getSaveFileName(this, WithoutMnemonic(saveReport_->text()), proposed,
                                                          Say(language_, "report_filter"));
  if (path.isEmpty()) return;
  std::string error;
  if (!base::WriteFileAtomically(path.toStdString(), (Text() + "\n").toStdString(), &error))
    QMessageBox::warning(this, windowTitle(), Say(language_, "report_error") + "\n" + Q(error));
}

}  // namespace ui
