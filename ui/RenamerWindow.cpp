#include "ui/RenamerWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "engine/Messages.h"
#include "forms/ControlNames.h"
#include "forms/RenamerForms.h"
#include "ui/ElidedTipDelegate.h"
#include "ui/FormBinder.h"
#include "ui/LocalPaths.h"
#include "ui/Mnemonics.h"
#include "ui/QtDialogs.h"
#include "ui/WindowTexts.h"

namespace ui {

namespace {

namespace names = forms::ctl::renamer;
namespace filterNames = forms::ctl::renamerFilter;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The window's own texts; the rule's captions are in the form, from the same table.
QString Say(forms::Language language, std::string_view key) { return TextOf(language, forms::TextGroup::Renamer, key); }

QStringList Headers(forms::Language language) {
  QStringList headers;
  for (int i = 0; i < renamer::kRenamerColumnCount; ++i) headers << Say(language, "col" + std::to_string(i));
  return headers;
}

// Caret positions: the form counts bytes of UTF-8, the widget UTF-16 units.
size_t ToForm(const QString& text, int units) { return static_cast<size_t>(text.left(units).toUtf8().size()); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("/") : path.substr(0, slash + 1);
}

}  // namespace

// ---- ElidedLabel ----

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setMinimumWidth(1);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetFullText(const QString& text) {
  full_ = text;
  Refit();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Refit();
}

void ElidedLabel::Refit() { setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(contentsRect().width(), 1))); }

// ---- RenamerFilterDialog ----

RenamerFilterDialog::RenamerFilterDialog(forms::Form& form, QWidget* renamer)
    : QDialog(renamer, Qt::Tool | Qt::WindowStaysOnTopHint), binder_(new FormBinder(form, this)), renamer_(renamer) {
  setObjectName("renamerFilterDialog");
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* question = new QLabel(this);
  question->setWordWrap(true);
  binder_->Bind(filterNames::kQuestionLabel, question);
  outer->addWidget(question);
  auto* all = new QRadioButton(this);
  binder_->Bind(filterNames::kAllFiles, all);
  outer->addWidget(all);
  auto* chosen = new QRadioButton(this);
  binder_->Bind(filterNames::kChosenExtensions, chosen);
  outer->addWidget(chosen);
  auto* filter = new QLineEdit(this);
  binder_->Bind(filterNames::kExtensions, filter);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(20, 0, 0, 0);
  row->addWidget(filter, 1);
  auto* ok = new QPushButton(this);
  binder_->Bind(filterNames::kOkButton, ok);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  row->addWidget(ok);
  outer->addLayout(row);
  outer->addStretch();
  resize(341, 146);
}

void RenamerFilterDialog::ApplyTexts(forms::Language language) {
  forms::ApplyRenamerFilterLanguage(binder_->GetForm(), language);
  setWindowTitle(Q(binder_->GetForm().Caption()));
  binder_->SyncAll();
  AssignMnemonics(this);
}

void RenamerFilterDialog::showEvent(QShowEvent* event) {
  const QRect r = renamer_->geometry();
  const QSize own = size();
  move(r.left() + (r.width() - own.width()) / 2, r.top() + (r.height() - own.height()) / 2);
  QDialog::showEvent(event);
}

// ---- RenamerWindow ----

RenamerWindow::RenamerWindow(config::ProgramWindows& windows, QtUserDialogs& dialogs,
                             imagelist::DesktopServices& desktop, std::string journalPath)
    : windows_(windows),
      dialogs_(dialogs),
      desktop_(desktop),
      language_(windows.language),
      model_(std::make_unique<renamer::FileRenamer>(windows.renamer, windows.renamerFilter, windows.language,
                                                    DecimalSeparator(), std::move(journalPath))) {
  setObjectName("renamerWindow");
  setAcceptDrops(true);
  binder_ = new FormBinder(windows_.renamer, this);

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->addWidget(BuildInputGroup(central), 1);
  outer->addWidget(BuildMaskGroup(central));
  outer->addWidget(BuildSearchGroup(central));
  outer->addWidget(BuildPreviewGroup(central));
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  undo_ = new QPushButton(central);
  undo_->setObjectName("undoButton");
  captioned_.emplace_back("undo", undo_);
  connect(undo_, &QPushButton::clicked, this, [this] { Undo(); });
  bottom->addWidget(undo_);
  rename_ = new QPushButton(central);
  binder_->Bind(names::kRenameButton, rename_);
  rename_->setMinimumSize(105, 25);
  connect(rename_, &QPushButton::clicked, this, [this] { Rename(); });
  bottom->addWidget(rename_);
  outer->addLayout(bottom);
  setCentralWidget(central);

  status_ = new QLabel(this);
  status_->setObjectName("statusLabel");
  statusBar()->addWidget(status_, 1);

  filter_ = new RenamerFilterDialog(windows_.renamerFilter, this);

  model_->rowsChanged = [this] { RowsChanged(); };
  model_->previewChanged = [this] { RefreshPreview(); };
  model_->textsChanged = [this] { RefreshTexts(); };
  model_->windowEnabled = [this](bool enabled) { SetBusy(!enabled); };
  model_->focusWindow = [this] {
    if (isVisible()) activateWindow();
  };

  ApplyTexts(language_);
  RefreshList();
  RefreshUndo();
  resize(592, 615);
}

RenamerWindow::~RenamerWindow() {
  // The forms outlive the window: they must not call into its widgets any more.
  model_.reset();
  for (forms::Form* form : {&windows_.renamer, &windows_.renamerFilter}) form->Events() = {};
}

QLabel* RenamerWindow::Captioned(QWidget* parent, const char* key) {
  auto* label = new QLabel(parent);
  captioned_.emplace_back(key, label);
  return label;
}

QWidget* RenamerWindow::BuildInputGroup(QWidget* parent) {
  auto* group = new QGroupBox(parent);
  binder_->Bind(names::kInputGroup, group);
  auto* g = new QVBoxLayout(group);
  auto* row = new QHBoxLayout;
  auto* folder = new QLineEdit(group);
  binder_->Bind(names::kSourceFolder, folder);
  connect(folder, &QLineEdit::returnPressed, this,
          [this] { model_->AddTypedFolder(windows_.renamer.Text(names::kSourceFolder), dialogs_); });
  auto* open = new QPushButton(group);
  binder_->Bind(names::kOpenFolderButton, open);
  connect(open, &QPushButton::clicked, this, [this] { OpenFolder(); });
  auto* filter = new QPushButton(group);
  binder_->Bind(names::kFilterButton, filter);
  connect(filter, &QPushButton::clicked, this, [this] { ShowFilter(); });
  row->addWidget(folder, 1);
  row->addWidget(open);
  row->addWidget(filter);
  g->addLayout(row);
  auto* subfolders = new QCheckBox(group);
  binder_->Bind(names::kSubfolders, subfolders);
  g->addWidget(subfolders);

  list_ = new QTreeWidget(group);
  list_->setObjectName("fileList");
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setColumnCount(renamer::kRenamerColumnCount);
  list_->setMinimumHeight(120);
  list_->setItemDelegate(new ElidedTipDelegate(list_));  // a cut name or path shows whole as a tooltip
  const int widths[] = {150, 50, 80, 100, 160};
  for (int i = 0; i < renamer::kRenamerColumnCount; ++i) list_->setColumnWidth(i, widths[i]);
  list_->header()->setSectionsClickable(true);
  list_->header()->setSortIndicatorShown(true);
  list_->header()->setSortIndicator(0, Qt::AscendingOrder);
  connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    model_->ColumnClick(column);
    list_->header()->setSortIndicator(model_->Sort().column,
                                      model_->Sort().descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) model_->SetSelected(i, list_->topLevelItem(i)->isSelected());
    model_->PreviewSelected();
  });
  list_->installEventFilter(this);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  popup_ = new QMenu(this);
  popup_->setObjectName("listMenu");
  const auto callOrOpen = [this](const char* method) {
    const auto file = model_->FirstSelectedExistingFile();
    if (!file) return;
    if (!desktop_.CallFileManager(method, {imagelist::FileUri(*file)}))
      desktop_.OpenUri(imagelist::FileUri(FolderOf(*file)));
  };
  // The items by the names their captions have in the texts; a line before removing.
  struct ListMenuItem {
    const char* name;
    bool lineBefore;
    std::function<void()> command;
  };
  const ListMenuItem items[] = {
      {"pop1", false, [callOrOpen] { callOrOpen("ShowItems"); }},
      {"pop2", false, [callOrOpen] { callOrOpen("ShowItemProperties"); }},
      {"pop3", false,
       [this] {
         const std::vector<std::string> files = model_->ClipboardFiles(config::SettingsFolder());
         if (!files.empty()) desktop_.SetClipboard(imagelist::ClipboardFormats(files));
       }},
      {"pop4", true, [this] { RemoveSelected(); }},
  };
  for (const auto& [name, lineBefore, command] : items) {
    if (lineBefore) popup_->addSeparator();
    QAction* action = popup_->addAction(QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, command);
    captioned_.emplace_back(name, action);
  }
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (model_->PopupAllowed()) popup_->popup(list_->viewport()->mapToGlobal(at));
  });
  g->addWidget(list_, 1);

  auto* bottom = new QHBoxLayout;
  count_ = new QLabel(group);
  count_->setObjectName("countLabel");
  bottom->addWidget(count_, 1);
  auto* removeSelected = new QPushButton(group);
  binder_->Bind(names::kRemoveSelectedButton, removeSelected);
  connect(removeSelected, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  auto* removeAll = new QPushButton(group);
  binder_->Bind(names::kRemoveAllButton, removeAll);
  connect(removeAll, &QPushButton::clicked, this, [this] { RemoveAll(); });
  bottom->addWidget(removeSelected);
  bottom->addWidget(removeAll);
  g->addLayout(bottom);
  return group;
}

QWidget* RenamerWindow::BuildMaskGroup(QWidget* parent) {
  auto* group = new QGroupBox(parent);
  binder_->Bind(names::kMaskGroup, group);
  auto* g = new QVBoxLayout(group);
  auto* mask = new QComboBox(group);
  binder_->Bind(names::kMask, mask);
  g->addWidget(mask);
  auto* hint = new QLabel(group);
  hint->setWordWrap(true);
  binder_->Bind(names::kMaskHint, hint);
  g->addWidget(hint);
  auto* grid = new QGridLayout;
  grid->setContentsMargins(12, 0, 0, 0);
  const std::pair<std::string_view, const char*> rows[] = {{names::kNamePlaceholder, "la_name"},
                                                           {names::kNumberPlaceholder, "la_num"},
                                                           {names::kZeroNumberPlaceholder, "la_0num"},
                                                           {names::kTotalPlaceholder, "la_abs"}};
  int r = 0;
  for (const auto& [name, description] : rows) {
    auto* placeholder = new QLabel(group);
    binder_->Bind(name, placeholder);
    placeholder->setCursor(Qt::PointingHandCursor);
    QFont font = placeholder->font();
    font.setUnderline(true);
    placeholder->setFont(font);
    QPalette palette = placeholder->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    placeholder->setPalette(palette);
    placeholder->installEventFilter(this);
    placeholders_.emplace_back(name, placeholder);
    // Two placeholders a line: placeholder, description and, for %num%, the first number.
    const int row = r / 2, column = (r % 2) * 4;
    grid->addWidget(placeholder, row, column);
    grid->addWidget(Captioned(group, description), row, column + 1);
    if (name == names::kNumberPlaceholder) {
      auto* start = new QComboBox(group);
      binder_->Bind(names::kFirstNumber, start);
      start->setMinimumContentsLength(3);
      grid->addWidget(start, row, column + 2);
    }
    ++r;
  }
  grid->setColumnMinimumWidth(3, 12);
  grid->setColumnStretch(3, 1);
  grid->setColumnStretch(7, 1);
  g->addLayout(grid);
  return group;
}

QWidget* RenamerWindow::BuildSearchGroup(QWidget* parent) {
  auto* group = new QGroupBox(parent);
  binder_->Bind(names::kSearchGroup, group);
  auto* grid = new QGridLayout(group);
  auto* on = new QCheckBox(group);
  binder_->Bind(names::kSearchAndReplace, on);
  auto* search = new QLineEdit(group);
  binder_->Bind(names::kSearchText, search);
  auto* replaceLabel = new QLabel(group);
  binder_->Bind(names::kReplacementLabel, replaceLabel);
  auto* replace = new QLineEdit(group);
  binder_->Bind(names::kReplacementText, replace);
  replaceLabel->setBuddy(replace);
  auto* whereLabel = new QLabel(group);
  binder_->Bind(names::kReplaceWhereLabel, whereLabel);
  auto* inName = new QCheckBox(group);
  binder_->Bind(names::kReplaceInName, inName);
  auto* inExtension = new QCheckBox(group);
  binder_->Bind(names::kReplaceInExtension, inExtension);
  grid->addWidget(on, 0, 0);
  grid->addWidget(search, 0, 1, 1, 3);
  grid->addWidget(replaceLabel, 1, 0);
  grid->addWidget(replace, 1, 1, 1, 3);
  grid->addWidget(whereLabel, 2, 0);
  grid->addWidget(inName, 2, 1);
  grid->addWidget(inExtension, 2, 2);
  grid->setColumnStretch(3, 1);
  return group;
}

QWidget* RenamerWindow::BuildPreviewGroup(QWidget* parent) {
  auto* group = new QGroupBox(parent);
  binder_->Bind(names::kPreviewGroup, group);
  auto* grid = new QGridLayout(group);
  oldNameLabel_ = new ElidedLabel(group);
  oldNameLabel_->setObjectName("oldNameLabel");
  newNameLabel_ = new ElidedLabel(group);
  newNameLabel_->setObjectName("newNameLabel");
  grid->addWidget(Captioned(group, "la_vor_orig"), 0, 0);
  grid->addWidget(oldNameLabel_, 0, 1);
  grid->addWidget(Captioned(group, "la_vor_out"), 1, 0);
  grid->addWidget(newNameLabel_, 1, 1);
  grid->setColumnStretch(1, 1);
  return group;
}

void RenamerWindow::ApplyTexts(forms::Language language) {
  language_ = language;
  forms::ApplyRenamerLanguage(windows_.renamer, language);
  model_->SetLanguage(language);
  setWindowTitle(Q(windows_.renamer.Caption()));
  for (const auto& [name, object] : captioned_) {
    const QString text = Say(language, name);
    if (auto* label = qobject_cast<QLabel*>(object)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(object)) button->setText(text);
    else if (auto* action = qobject_cast<QAction*>(object)) action->setText(text);
  }
  list_->setHeaderLabels(Headers(language));
  binder_->SyncAll();
  filter_->ApplyTexts(language);
  RefreshTexts();
  RefreshPreview();
  AssignMnemonics(this);
}

void RenamerWindow::Open() {
  show();
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

QLabel* RenamerWindow::Placeholder(std::string_view name) const {
  for (const auto& [key, label] : placeholders_)
    if (key == name) return label;
  return nullptr;
}

QString RenamerWindow::StatusText() const { return status_->text(); }

// ---- Model notifications ----

void RenamerWindow::RowsChanged() {
  // A search or a run changes the rows once per file: while it goes on, the list is redrawn a
  // few times a second only, and once more at its end.
  if (busy_) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastBusyRefresh_ < 200) return;
    lastBusyRefresh_ = now;
  }
  RefreshList();
}

void RenamerWindow::RefreshList() {
  const int scroll = list_->verticalScrollBar()->value();
  list_->setUpdatesEnabled(false);
  const QSignalBlocker block(list_);
  list_->clear();
  QList<QTreeWidgetItem*> items;
  for (const renamer::RenamerRow& row : model_->Rows()) {
    auto* item = new QTreeWidgetItem;
    for (int c = 0; c < renamer::kRenamerColumnCount; ++c) item->setText(c, Q(row.Cell(c)));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    if (row.state == renamer::RowStatus::Error) item->setToolTip(3, Q(row.status));
    items << item;
  }
  list_->addTopLevelItems(items);
  for (int i = 0; i < static_cast<int>(items.size()); ++i)
    items[i]->setSelected(model_->Rows()[static_cast<size_t>(i)].selected);
  list_->verticalScrollBar()->setValue(scroll);
  list_->setUpdatesEnabled(true);
}

void RenamerWindow::RefreshTexts() {
  count_->setText(Q(model_->CountLabel()));
  status_->setText(Q(model_->StatusBar()));
}

void RenamerWindow::RefreshPreview() {
  const renamer::RenamePreview& p = model_->Preview();
  oldNameLabel_->SetFullText(Q(p.oldName));
  oldNameLabel_->setToolTip(Q(p.oldPath));
  newNameLabel_->SetFullText(Q(p.newName));
  newNameLabel_->setToolTip(Q(p.newPath));
}

void RenamerWindow::RefreshUndo() { undo_->setEnabled(model_->UndoAvailable()); }

void RenamerWindow::SetBusy(bool busy) {
  busy_ = busy;
  setEnabled(!busy);
  if (!busy) {
    RefreshList();
    RefreshTexts();
  }
}

// ---- Commands ----

void RenamerWindow::AddDropped(const std::vector<std::string>& paths) { model_->AddDropped(paths, dialogs_); }

void RenamerWindow::OpenFolder() {
  std::string chosen;
  if (chooseFolder) {
    chosen = chooseFolder("/");
  } else {
    const QString title = QString::fromUtf8(engine::Text(engine::TextId::FolderChooserTitle, language_));
    chosen = QFileDialog::getExistingDirectory(this, title, "/").toStdString();
  }
  if (chosen.empty()) return;  // the box keeps its text
  windows_.renamer.SetText(names::kSourceFolder, chosen);
  model_->AddFolder(chosen, dialogs_);
}

void RenamerWindow::ShowFilter() { filter_->exec(); }

void RenamerWindow::RemoveSelected() { model_->RemoveSelected(); }

void RenamerWindow::RemoveAll() { model_->RemoveAll(); }

void RenamerWindow::Rename() {
  const renamer::RenameResult result = model_->RenameFiles(dialogs_);
  ReportJournalError(result.journalError);
  RefreshUndo();
}

void RenamerWindow::Undo() {
  ReportUndo(model_->UndoLastRename());
  RefreshUndo();
}

void RenamerWindow::ReportJournalError(const std::string& error) {
  if (error.empty()) return;
  QMessageBox::warning(this, windowTitle(),
                       Say(language_, "journal_error") + "\n" + Q(error));
}

void RenamerWindow::ReportUndo(const renamer::UndoResult& result) {
  if (!result.journalError.empty()) ReportJournalError(result.journalError);
  if (result.nothingToUndo) {
    status_->setText(Say(language_, "nothing_to_undo"));
    return;
  }
  ReportSkipped(result.skipped);
  if (result.failures.empty()) return;
  QStringList lines;
  lines << Say(language_, "undo_failures");
  for (const auto& [path, cause] : result.failures) lines << Q(path) + ": " + Q(cause);
  QMessageBox::warning(this, windowTitle(), lines.join("\n"));
}

void RenamerWindow::ReportSkipped(const std::vector<std::pair<std::string, std::string>>& skipped) {
  if (skipped.empty()) return;
  QStringList lines;
  lines << Say(language_, "journal_skipped");
  for (const auto& [path, cause] : skipped) lines << Q(path) + ": " + Q(cause);
  QMessageBox::warning(this, windowTitle(), lines.join("\n"));
}

void RenamerWindow::CheckPendingJournal() {
  std::string error;
  const std::optional<renamer::JournalContents> pending = model_->PendingJournal(&error);
  ReportJournalError(error);
  if (!pending) return;
  int renamed = 0;
  for (const renamer::JournalEntry& e : pending->entries)
    if (e.state == renamer::JournalEntry::State::New) ++renamed;
  const int total = static_cast<int>(pending->entries.size());
  const QString text = Say(language_, pending->undoing ? "pending_undo" : "pending_rename").arg(renamed).arg(total);
  int answer = 2;
  if (askPending) {
    answer = askPending(text);
  } else {
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::NoButton, this);
    QPushButton* rollBack = box.addButton(Say(language_, "roll_back"), QMessageBox::DestructiveRole);
    QPushButton* finish = box.addButton(Say(language_, "finish"), QMessageBox::AcceptRole);
    QPushButton* later = box.addButton(Say(language_, "later"), QMessageBox::RejectRole);
    box.setDefaultButton(later);
    box.setEscapeButton(later);
    box.exec();
    answer = box.clickedButton() == rollBack ? 0 : box.clickedButton() == finish ? 1 : 2;
  }
  if (answer == 0) {
    ReportUndo(model_->RollBack());
  } else if (answer == 1) {
    const renamer::RenameResult result = model_->Finish();
    ReportJournalError(result.journalError);
    ReportSkipped(result.skipped);
  }
  RefreshUndo();
}

void RenamerWindow::ClickPlaceholder(std::string_view name) {
  auto* mask = qobject_cast<QComboBox*>(binder_->Widget(names::kMask));
  QLineEdit* edit = mask->lineEdit();
  // The caret or selection the user left in the mask is where the placeholder goes.
  const QString text = edit->text();
  if (edit->hasSelectedText()) {
    const int start = edit->selectionStart();
    const size_t from = ToForm(text, start);
    const size_t to = ToForm(text, start + static_cast<int>(edit->selectedText().size()));
    windows_.renamer.SetSelection(names::kMask, from, to - from);
  } else {
    windows_.renamer.SetSelection(names::kMask, ToForm(text, edit->cursorPosition()), 0);
  }
  model_->ClickPlaceholderLabel(name);
  edit->setFocus(Qt::OtherFocusReason);
}

// ---- Events ----

bool RenamerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
      RemoveSelected();
      return true;
    }
    if (event->type() == QEvent::KeyRelease) model_->PreviewSelected();
    return false;
  }
  if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    for (const auto& [key, label] : placeholders_) {
      if (label != watched) continue;
      if (label->isEnabled()) ClickPlaceholder(key);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void RenamerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !busy_) event->acceptProposedAction();
}

void RenamerWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(LocalPathOf(url));
  event->acceptProposedAction();
  // Outside the drop handler, so the dragging program is released at once.
  QTimer::singleShot(0, this, [this, paths] { AddDropped(paths); });
}

void RenamerWindow::showEvent(QShowEvent* event) {
  if (!event->spontaneous() && !geometryApplied_) ApplyGeometry();
  QMainWindow::showEvent(event);
  RefreshUndo();
  if (shownOnce_) return;
  shownOnce_ = true;
  // After the window is on the screen, so the question has it as its parent.
  QTimer::singleShot(0, this, [this] { CheckPendingJournal(); });
}

void RenamerWindow::closeEvent(QCloseEvent* event) {
  StoreGeometry();
  geometryApplied_ = false;
  QMainWindow::closeEvent(event);
}

void RenamerWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  StoreGeometry();
}

void RenamerWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  StoreGeometry();
}

void RenamerWindow::StoreGeometry() {
  if (!geometryApplied_ || !isVisible()) return;
  config::WindowGeometry& g = windows_.renamerWindow;
  g.maximized = isMaximized();
  const QRect r = isMaximized() ? normalGeometry() : geometry();
  g.clientWidth = r.width();
  g.clientHeight = r.height();
  g.top = r.top();
  g.left = r.left();
}

void RenamerWindow::ApplyGeometry() {
  const config::WindowGeometry& g = windows_.renamerWindow;
  const QSize size(std::max(g.clientWidth, 300), std::max(g.clientHeight, 300));
  if (g.left == 0 && g.top == 0) {
    // Never placed: centred on the screen.
    QRect r(QPoint(0, 0), size);
    if (QScreen* s = QGuiApplication::primaryScreen()) r.moveCenter(s->availableGeometry().center());
    setGeometry(r);
  } else {
    setGeometry(g.left, g.top, size.width(), size.height());
  }
  if (g.maximized) setWindowState(windowState() | Qt::WindowMaximized);
  geometryApplied_ = true;
}

}  // namespace ui
