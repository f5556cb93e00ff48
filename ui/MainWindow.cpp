#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

#include "engine/JobFromForms.h"
#include "forms/ControlNames.h"
#include "engine/Messages.h"
#include "engine/OutputPreview.h"
#include "forms/MessageKeys.h"
#include "forms/NumberText.h"
#include "forms/MainForm.h"
#include "ui/DesktopServicesQt.h"
#include "ui/ElidedTipDelegate.h"
#include "ui/ImageListModel.h"
#include "ui/Mnemonics.h"
#include "ui/FormBinder.h"
#include "ui/HelpWindow.h"
#include "ui/LocalPaths.h"
#include "ui/WindowTexts.h"
#include "base/Paths.h"
#include "forms/CommandLine.h"
#include "ui/QtDialogs.h"
#include "ui/RenamerWindow.h"
#include "ui/RunController.h"
#include "ui/RunSummary.h"
#include "ui/SettingsDialogs.h"
#include "ui/ShortcutsWindow.h"

namespace ui {

namespace {

namespace ctl = forms::ctl;

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The list: Delete removes, Ctrl+A selects all (the view does that itself), a double click
// opens the open dialog, the pop-up menu only over a selection. While the window is busy the
// list can be scrolled and read, and nothing changes it.
class ImageListView : public QTreeView {
public:
  explicit ImageListView(MainWindow* owner) : QTreeView(owner), owner_(owner) {}

protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
      if (!owner_->ReadOnly()) owner_->RemoveSelected();
      return;
    }
    QTreeView::keyPressEvent(event);
  }
  void mouseDoubleClickEvent(QMouseEvent*) override {
    if (!owner_->ReadOnly()) owner_->OpenImages();
  }

private:
  MainWindow* owner_;
};

// The footer's tip: a link that Tab reaches and Enter or Space opens, as a click does.
class TipLink : public QLabel {
public:
  explicit TipLink(QWidget* parent) : QLabel(parent) {
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::StrongFocus);
  }
  void Show(const QString& topic, const QString& text) {
    topic_ = topic;
    setText(QString("<a href=\"%1\">%2</a>").arg(topic, text.toHtmlEscaped()));
  }

protected:
  void keyPressEvent(QKeyEvent* event) override {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      emit linkActivated(topic_);
      return;
    }
    QLabel::keyPressEvent(event);
  }
  void paintEvent(QPaintEvent* event) override {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }

private:
  QString topic_;
};

// A panel of the size or save page: the button face darkened by 5 in each channel.
QWidget* Panel(QWidget* parent, bool tinted) {
  auto* panel = new QWidget(parent);
  if (tinted) {
    QPalette p = panel->palette();
    const QColor face = p.color(QPalette::Window);
    p.setColor(QPalette::Window, QColor(std::max(face.red() - 5, 0), std::max(face.green() - 5, 0),
                                        std::max(face.blue() - 5, 0)));
    panel->setPalette(p);
    panel->setAutoFillBackground(true);
  }
  return panel;
}

// The preview line fitted to `width`: the file names are shortened in their middles, each to
// half the room when both are long, so the sizes and the output folder always show whole.
QString FitPreviewLine(const engine::PreviewLineParts& parts, const QFontMetrics& metrics, int width) {
  QString source = Q(parts.sourceName), output = Q(parts.outputName);
  const QString sizes = Q(parts.sizes), folder = Q(parts.outputFolder);
  const int room = width - metrics.horizontalAdvance(sizes + folder);
  const int sourceWidth = metrics.horizontalAdvance(source), outputWidth = metrics.horizontalAdvance(output);
  if (sourceWidth + outputWidth <= room) return source + sizes + folder + output;
  // At least the ellipsis stays of a name, however narrow the line.
  const auto shorten = [&](const QString& name, int to) {
    return metrics.elidedText(name, Qt::ElideMiddle, std::max(to, metrics.horizontalAdvance(QChar(0x2026))));
  };
  const int half = room / 2;
  if (sourceWidth <= half) {
    output = shorten(output, room - sourceWidth);
  } else if (outputWidth <= half) {
    source = shorten(source, room - outputWidth);
  } else {
    source = shorten(source, half);
    output = shorten(output, room - metrics.horizontalAdvance(source));
  }
  return source + sizes + folder + output;
}

}  // namespace

MainWindow::MainWindow(config::ProgramWindows& windows, imagelist::DesktopServices* desktop)
    : windows_(windows),
      language_(windows.language),
      languages_(windows.language),
      list_(windows.language, DecimalSeparator()),
      ownDesktop_(desktop == nullptr ? std::make_unique<DesktopServicesQt>() : nullptr),
      desktop_(desktop == nullptr ? ownDesktop_.get() : desktop),
      dialogs_(std::make_unique<QtUserDialogs>(this)),
      run_(std::make_unique<RunController>(*dialogs_, this)),
      configMenuModel_(config::StartConfigurationPath()) {
  setObjectName("mainWindow");
  setAcceptDrops(true);
  binder_ = new FormBinder(windows_.mainForm, this);
  list_.SetIconProvider([this](const std::string& path) { return IconFor(path); });
  // Header reads finish on the list's pool threads; their results are settled here, on the
  // window's thread, a few times a second in batches: one pass over the rows settles every
  // result that waits.
  headerTimer_ = new QTimer(this);
  headerTimer_->setSingleShot(true);
  headerTimer_->setInterval(80);
  connect(headerTimer_, &QTimer::timeout, this, [this] {
    headerWakeUp_.store(false);
    list_.CollectHeaderResults(*dialogs_);
  });
  list_.SetHeaderReadyCallback([this] {
    if (headerWakeUp_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this, [this] { headerTimer_->start(); }, Qt::QueuedConnection);
  });
  // During a long search the files found so far take their places now and then, so that the
  // rows and the count appear as they arrive.
  placeTimer_ = new QTimer(this);
  placeTimer_->setInterval(250);
  connect(placeTimer_, &QTimer::timeout, this, [this] { list_.PlaceArrived(); });
  dialogs_->mainWindowEnabled = [this](bool enabled) { SetReadOnly(!enabled); };

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  pages_ = new QTabWidget(central);
  pages_->setObjectName("pages");
  pages_->setDocumentMode(true);
  pages_->addTab(BuildImagesPage(), QString());
  pages_->addTab(BuildSizePage(), QString());
  pages_->addTab(BuildSavePage(), QString());
  connect(pages_, &QTabWidget::currentChanged, this, [this](int page) { ShowPage(page); });
  outer->addWidget(pages_, 1);
  preview_ = new QLabel(central);
  preview_->setObjectName("previewLine");
  preview_->setTextFormat(Qt::PlainText);
  preview_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // The line fits itself to the window; its text never widens the window.
  preview_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  preview_->setMinimumWidth(1);
  preview_->hide();
  outer->addWidget(preview_);

  auto* footer = new QWidget(central);
  footer->setObjectName("footerPanel");
  auto* f = new QHBoxLayout(footer);
  f->setContentsMargins(0, 0, 0, 0);
  footer_ = new TipLink(footer);
  footer_->setObjectName("tipLink");
  connect(footer_, &QLabel::linkActivated, this, [this](const QString& topic) {
    help_->ShowTopic(topic.toStdString());
  });
  f->addWidget(footer_, 1);
  forward_ = new QPushButton(footer);
  forward_->setObjectName("forwardButton");
  forward_->setMinimumSize(105, 25);
  forward_->setDefault(true);
  connect(forward_, &QPushButton::clicked, this, [this] { Forward(false); });
  f->addWidget(forward_);
  outer->addWidget(footer);
  setCentralWidget(central);

  options_ = new OptionsDialog(windows_.options, this);
  filter_ = new FilterDialog(windows_.folderFilter, this);
  help_ = new HelpWindow(this);

  // The preview follows every change of the settings.
  for (forms::Form* form : {&windows_.mainForm, &windows_.options}) {
    auto mirror = form->Events().controlChanged;
    form->Events().controlChanged = [this, mirror](const forms::Control& c) {
      mirror(c);
      SchedulePreview();
    };
  }

  // Ctrl+Tab and Ctrl+Shift+Tab turn the pages wherever the focus is (the tab widget itself
  // hears them only from its own widgets, and a list keeps them).
  for (const auto& [keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                   std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), 2},
                                   std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), 2}}) {
    auto* turn = new QShortcut(keys, this);
    connect(turn, &QShortcut::activated, this, [this, step = step] { ShowPage((pages_->currentIndex() + step) % 3); });
  }

  BuildMenus();
  for (const std::string& path : config::ConfigurationFilesIn(config::SettingsFolder())) AddConfigurationEntry(path);

  auto* tips = new QTimer(this);
  connect(tips, &QTimer::timeout, this, [this] { RotateTip(); });
  tips->start(10000);

  forms::RefreshMainForm(windows_.mainForm);
  // Each window's own texts, in the order a switch reaches them.
  languages_.Register(LanguageOrder::MainWindow, this, [this](forms::Language l) { ApplyOwnTexts(l); });
  languages_.Register(LanguageOrder::Overwrite, dialogs_->Overwrite(),
                      [this](forms::Language l) { dialogs_->Overwrite()->ApplyTexts(l); });
  languages_.Register(LanguageOrder::Progress, dialogs_->Progress(),
                      [this](forms::Language l) { dialogs_->Progress()->ApplyTexts(l); });
  languages_.Register(LanguageOrder::SearchFilter, filter_, [this](forms::Language l) { filter_->ApplyTexts(l); });
  languages_.Register(LanguageOrder::Message, dialogs_->Message(),
                      [this](forms::Language l) { dialogs_->Message()->ApplyTexts(l); });
  languages_.Register(LanguageOrder::Options, options_, [this](forms::Language l) { options_->ApplyTexts(l); });
  list_.UpdateCounterLabel();
  RowsChanged();
  resize(510, 472 + menuBar()->sizeHint().height());
  setMinimumSize(500, 350);
}

MainWindow::~MainWindow() {
  run_.reset();
  list_.SetHeaderReadyCallback({});
  // The view goes with the window's widgets, after the list and the icons it shows.
  listView_->setModel(nullptr);
  delete model_;
  renamer_.reset();
  // The forms outlive the window: they must not call into its widgets any more.
  for (forms::Form* form : {&windows_.mainForm, &windows_.options, &windows_.folderFilter}) form->Events() = {};
}

QWidget* MainWindow::BuildImagesPage() {
  auto* page = new QWidget;
  page->setObjectName("imagesPage");
  auto* v = new QVBoxLayout(page);
  auto* group = new QGroupBox(page);
  group->setObjectName("inputGroup");
  captioned_.emplace_back(ctl::kInputGroup, group);
  auto* g = new QVBoxLayout(group);
  auto* row = new QHBoxLayout;
  auto* folder = new QLineEdit(group);
  binder_->Bind(ctl::kSourceFolder, folder);
  connect(folder, &QLineEdit::returnPressed, this, [this] {
    list_.AddTypedFolder(windows_.mainForm.Text(ctl::kSourceFolder), windows_.folderFilter, *dialogs_);
  });
  auto* open = new QPushButton(group);
  open->setObjectName("openFolderButton");
  captioned_.emplace_back(ctl::kOpenFolderButton, open);
  connect(open, &QPushButton::clicked, this, [this] { OpenFolder(); });
  auto* filter = new QPushButton(group);
  filter->setObjectName("filterButton");
  captioned_.emplace_back(ctl::kFilterButton, filter);
  connect(filter, &QPushButton::clicked, this, [this] { filter_->exec(); });
  row->addWidget(folder, 1);
  row->addWidget(open);
  row->addWidget(filter);
  g->addLayout(row);

  listView_ = new ImageListView(this);
  listView_->setParent(group);
  listView_->setObjectName("imageList");
  model_ = new ImageListModel(
      list_,
      [this](int index) { return index >= 0 && static_cast<size_t>(index) < icons_.size() ? icons_[static_cast<size_t>(index)] : QIcon(); },
      listView_);
  model_->rowsChanged = [this] { RowsChanged(); };
  listView_->setModel(model_);
  listView_->setItemDelegate(new ElidedTipDelegate(listView_));
  listView_->setRootIsDecorated(false);
  listView_->setItemsExpandable(false);
  listView_->setUniformRowHeights(true);  // rows are measured once, not one by one
  listView_->setAllColumnsShowFocus(true);
  listView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView_->setIconSize(QSize(16, 16));
  listView_->setSortingEnabled(false);  // the list keeps its own order
  listView_->header()->setSectionsClickable(true);
  listView_->header()->setSortIndicatorShown(true);
  listView_->header()->setSortIndicator(0, Qt::AscendingOrder);
  listView_->header()->setStretchLastSection(true);
  // The size column holds a size of some hundred megabytes with its decimals.
  const int sizeWidth = listView_->fontMetrics().horizontalAdvance(
                            QString::fromStdString(imagelist::SizeText(999999999999ull, list_.DecimalSeparator()))) +
                        24;
  const int widths[] = {110, 55, 60, 60, std::max(75, sizeWidth), 110};
  for (int i = 0; i < imagelist::kColumnCount; ++i) listView_->setColumnWidth(i, widths[i]);
  listView_->setColumnWidth(ImageListModel::kResultColumn, 90);
  listView_->header()->setMinimumSectionSize(25);
  connect(listView_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    list_.SortByColumn(column);
    listView_->header()->setSortIndicator(column, list_.Sort().descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  });
  // The list model keeps which rows are selected, for the commands and the preview.
  connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            for (const QItemSelectionRange& range : deselected)
              for (int row = range.top(); row <= range.bottom(); ++row) list_.SetSelected(row, false);
            for (const QItemSelectionRange& range : selected)
              for (int row = range.top(); row <= range.bottom(); ++row) list_.SetSelected(row, true);
            SchedulePreview();
          });
  listView_->setContextMenuPolicy(Qt::CustomContextMenu);
  popup_ = new QMenu(this);
  popup_->setObjectName("listMenu");
  // The items by the names their captions have in the texts; a line before removing.
  struct ListMenuItem {
    const char* name;
    bool lineBefore;
    std::function<void()> command;
  };
  const ListMenuItem items[] = {
      {"pop1", false, [this] { imagelist::OpenContainingFolder(list_, *desktop_); }},
      {"pop2", false, [this] { imagelist::ShowFileInformation(list_, *desktop_); }},
      {"pop3", false, [this] { imagelist::CopySelectedToClipboard(list_, config::SettingsFolder(), *desktop_); }},
      {"pop4", true, [this] { RemoveSelected(); }},
  };
  for (const auto& [name, lineBefore, command] : items) {
    if (lineBefore) popup_->addSeparator();
    QAction* action = popup_->addAction(QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, command);
    actions_.emplace_back(name, action);
  }
  connect(listView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (list_.SelectedCount() > 0) popup_->popup(listView_->viewport()->mapToGlobal(at));
  });
  g->addWidget(listView_, 1);

  auto* bottom = new QHBoxLayout;
  count_ = new QLabel(group);
  count_->setObjectName("countLabel");
  bottom->addWidget(count_, 1);
  auto* removeSelected = new QPushButton(group);
  removeSelected->setObjectName("removeSelectedButton");
  captioned_.emplace_back(ctl::kRemoveSelectedButton, removeSelected);
  connect(removeSelected, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  auto* removeAll = new QPushButton(group);
  removeAll->setObjectName("removeAllButton");
  captioned_.emplace_back(ctl::kRemoveAllButton, removeAll);
  connect(removeAll, &QPushButton::clicked, this, [this] { RemoveAll(); });
  bottom->addWidget(removeSelected);
  bottom->addWidget(removeAll);
  g->addLayout(bottom);
  v->addWidget(group);
  return page;
}

QWidget* MainWindow::BuildSizePage() {
  auto* page = new QWidget;
  page->setObjectName("sizePage");
  auto* v = new QVBoxLayout(page);
  auto* group = new QGroupBox(page);
  group->setObjectName("sizeGroup");
  captioned_.emplace_back(ctl::kSizeGroup, group);
  auto* g = new QVBoxLayout(group);
  // A "More Options.." button of a size mode.
  const auto more = [this](QWidget* parent, std::string_view key, const char* objectName) {
    auto* button = new QPushButton(parent);
    button->setObjectName(objectName);
    captioned_.emplace_back(key, button);
    connect(button, &QPushButton::clicked, this, [this] {
      options_->show();
      options_->raise();
    });
    return button;
  };
  const auto radio = [&](std::string_view name) {
    auto* r = new QRadioButton(group);
    binder_->Bind(name, r);
    g->addWidget(r);
  };
  const auto combo = [&](QWidget* parent, std::string_view name) {
    auto* c = new QComboBox(parent);
    binder_->Bind(name, c);
    return c;
  };
  const auto label = [&](QWidget* parent, std::string_view key, QWidget* buddy) {
    auto* l = new QLabel(parent);
    captioned_.emplace_back(key, l);
    l->setBuddy(buddy);
    return l;
  };

  radio(ctl::kPresetSizeMode);
  {
    QWidget* p = Panel(group, true);
    auto* grid = new QGridLayout(p);
    int i = 0;
    for (const std::string_view preset :
         {ctl::kPreset240x320, ctl::kPreset640x480, ctl::kPreset800x600, ctl::kPreset1024x768}) {
      auto* r = new QRadioButton(p);
      binder_->Bind(preset, r);
      grid->addWidget(r, i / 2, i % 2);
      ++i;
    }
    auto* keep = new QCheckBox(p);
    binder_->Bind(ctl::kKeepPresetProportions, keep);
    grid->addWidget(keep, 2, 0);
    grid->addWidget(more(p, ctl::kPresetOptionsButton, "presetOptionsButton"), 2, 1, Qt::AlignRight);
    binder_->Bind(ctl::kPresetPanel, p);
    g->addWidget(p);
  }
  radio(ctl::kCustomSizeMode);
  {
    QWidget* p = Panel(group, true);
    auto* grid = new QGridLayout(p);
    QComboBox* x = combo(p, ctl::kCustomWidth);
    QComboBox* y = combo(p, ctl::kCustomHeight);
    grid->addWidget(label(p, ctl::kCustomWidthLabel, x), 0, 0);
    grid->addWidget(x, 0, 1);
    grid->addWidget(label(p, ctl::kCustomHeightLabel, y), 0, 2);
    grid->addWidget(y, 0, 3);
    auto* keep = new QCheckBox(p);
    binder_->Bind(ctl::kKeepCustomProportions, keep);
    grid->addWidget(keep, 1, 0, 1, 3);
    grid->addWidget(more(p, ctl::kCustomOptionsButton, "customOptionsButton"), 1, 3, Qt::AlignRight);
    grid->setColumnStretch(4, 1);
    binder_->Bind(ctl::kCustomPanel, p);
    g->addWidget(p);
  }
  radio(ctl::kPercentSizeMode);
  {
    QWidget* p = Panel(group, true);
    auto* grid = new QGridLayout(p);
    QComboBox* x = combo(p, ctl::kPercentWidth);
    QComboBox* y = combo(p, ctl::kPercentHeight);
    auto* wl = new QLabel(p);
    binder_->Bind(ctl::kPercentWidthLabel, wl);
    wl->setBuddy(x);
    auto* hl = new QLabel(p);
    binder_->Bind(ctl::kPercentHeightLabel, hl);
    hl->setBuddy(y);
    grid->addWidget(wl, 0, 0);
    grid->addWidget(x, 0, 1);
    grid->addWidget(new QLabel("%", p), 0, 2);
    grid->addWidget(hl, 0, 3);
    grid->addWidget(y, 0, 4);
    auto* keep = new QCheckBox(p);
    binder_->Bind(ctl::kKeepPercentProportions, keep);
    grid->addWidget(keep, 1, 0, 1, 4);
    grid->addWidget(more(p, ctl::kPercentOptionsButton, "percentOptionsButton"), 1, 4, Qt::AlignRight);
    grid->setColumnStretch(5, 1);
    binder_->Bind(ctl::kPercentPanel, p);
    g->addWidget(p);
  }
  radio(ctl::kFactorSizeMode);
  {
    QWidget* p = Panel(group, false);
    auto* row = new QHBoxLayout(p);
    auto* e = new QLineEdit(p);
    binder_->Bind(ctl::kFactor, e);
    row->addWidget(label(p, ctl::kFactorLabel, e));
    row->addWidget(e);
    binder_->Bind(ctl::kFactorPanel, p);
    g->addWidget(p);
  }
  radio(ctl::kFileSizeMode);
  {
    QWidget* p = Panel(group, true);
    auto* row = new QHBoxLayout(p);
    auto* e = new QLineEdit(p);
    binder_->Bind(ctl::kFileSize, e);
    row->addWidget(label(p, ctl::kFileSizeLabel, e));
    row->addWidget(e);
    binder_->Bind(ctl::kFileSizePanel, p);
    g->addWidget(p);
  }
  g->addStretch();
  v->addWidget(group);
  return page;
}

QWidget* MainWindow::BuildSavePage() {
  auto* page = new QWidget;
  page->setObjectName("savePage");
  auto* v = new QVBoxLayout(page);
  auto* group = new QGroupBox(page);
  group->setObjectName("saveGroup");
  captioned_.emplace_back(ctl::kSaveGroup, group);
  auto* g = new QVBoxLayout(group);
  for (const std::string_view name : {ctl::kOverwriteSource, ctl::kSaveAsNewFile}) {
    auto* r = new QRadioButton(group);
    binder_->Bind(name, r);
    g->addWidget(r);
  }
  // Neither Tab nor the page's first focus lands on "Overwrite Original File", where a single
  // Space would switch the run to overwriting the originals; a click or its access key chooses it.
  binder_->Widget(ctl::kOverwriteSource)->setFocusPolicy(Qt::NoFocus);
  QWidget* p = Panel(group, true);
  auto* grid = new QGridLayout(p);
  const std::string_view rows[][2] = {{ctl::kOutputFolderLabel, ctl::kOutputFolder},
                                      {ctl::kOutputNameLabel, ctl::kOutputName},
                                      {ctl::kOutputFormatLabel, ctl::kOutputFormat}};
  for (int i = 0; i < 3; ++i) {
    auto* box = new QComboBox(p);
    binder_->Bind(rows[i][1], box);
    auto* l = new QLabel(p);
    l->setBuddy(box);
    captioned_.emplace_back(rows[i][0], l);
    grid->addWidget(l, i, 0);
    grid->addWidget(box, i, 1);
  }
  auto* choose = new QPushButton(p);
  choose->setObjectName("chooseFolderButton");
  captioned_.emplace_back(ctl::kChooseFolderButton, choose);
  connect(choose, &QPushButton::clicked, this, [this] {
    forms::ChooseOutputFolder(windows_.mainForm, [this](const std::string& start) { return ChooseFolder(start); });
  });
  grid->addWidget(choose, 0, 2);
  grid->setColumnStretch(1, 1);
  binder_->Bind(ctl::kNewFilePanel, p);
  g->addWidget(p);
  g->addStretch();
  v->addWidget(group);
  return page;
}

void MainWindow::BuildMenus() {
  const auto add = [this](QMenu* menu, const char* name, std::function<void()> command,
                          QKeySequence key = QKeySequence()) {
    QAction* action = menu->addAction(QString());
    action->setObjectName(name);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, std::move(command));
    actions_.emplace_back(name, action);
    return action;
  };
  const auto submenu = [this](const char* name) {
    QMenu* menu = menuBar()->addMenu(QString());
    menu->setObjectName(name);
    actions_.emplace_back(name, menu->menuAction());
    return menu;
  };
  QMenu* file = submenu("m_datei");
  add(file, "m_datei_open", [this] { OpenImages(); }, QKeySequence("Ctrl+O"));
  add(file, "m_datei_ordner", [this] { OpenFolder(); });
  file->addSeparator();
  add(file, "m_datei_delmark", [this] { RemoveSelected(); });
  add(file, "m_datei_delall", [this] { RemoveAll(); });
  file->addSeparator();
  add(file, "m_datei_konvert", [this] { Forward(true); }, QKeySequence("Ctrl+S"));
  add(file, "m_datei_dateiumb", [this] { Renamer().Open(); });
  file->addSeparator();
  // Ends the program without the closing check, so without the autosave.
  add(file, "m_datei_beenden", [] { QApplication::exit(0); });

  QMenu* settings = submenu("m_einst");
  add(settings, "m_einst_ausgabe", [this] {
    options_->show();
    options_->raise();
  });
  add(settings, "m_einst_filter", [this] { filter_->exec(); });
  add(settings, "m_einstshortcuts", [this] { Shortcuts().Open(); });
  QMenu* languages = settings->addMenu(QString());
  languages->setObjectName("m_einst_sprache");
  actions_.emplace_back("m_einst_sprache", languages->menuAction());
  // One item per language of the list, named and labelled by it.
  for (const forms::LanguageInfo& info : forms::Languages()) {
    const forms::Language language(info.code);
    QAction* item = languages->addAction(Q(info.name));
    item->setObjectName(Q(info.menuItem));
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, language] { ApplyTexts(language); });
    languageItems_.emplace_back(language, item);
  }

  configMenu_ = submenu("m_konfig");
  RebuildConfigMenu();

  QMenu* info = submenu("m_info");
  add(info, "m_info_help", [this] { help_->ShowTopic("steps"); }, QKeySequence(Qt::Key_F1));
  add(info, "m_info_about", [this] { ShowAbout(this, language_); });
}

void MainWindow::RebuildConfigMenu() {
  configMenu_->clear();
  const auto command = [this](const std::string& name) -> std::function<void()> {
    if (name == config::kSaveItem)
      return [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QString(), TextOf(language_, forms::TextGroup::MainWindow, "config_file"),
            TextOf(language_, forms::TextGroup::MainWindow, "config_filter"),
            nullptr, QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty()) return;
        std::string p = path.toStdString();
        if (p.find('.', p.rfind('/') + 1) == std::string::npos) p += ".vxc";
        SaveConfiguration(p);
        AddConfigurationEntry(p);
      };
    if (name == config::kSaveStartItem)
      return [this] {
        StoreGeometry();
        config::SaveStartConfiguration(windows_);
        configMenuModel_.SetStartHint(config::StartConfigurationPath());
      };
    if (name == config::kLoadItem)
      return [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QString(), QString(), TextOf(language_, forms::TextGroup::MainWindow, "config_filter"));
        if (path.isEmpty()) return;
        LoadConfiguration(path.toStdString(), config::LoadCaller::Menu);
        AddConfigurationEntry(path.toStdString());
      };
    if (name == config::kStandardItem)
      return [this] {
        if (!AskBeforeReset()) return;
        config::LoadStandardConfiguration(windows_);
        // As after a configuration load: the special texts in the interface language, the
        // coupled fields and the page layout.
        forms::RefreshMainForm(windows_.mainForm);
        ApplyTexts(languages_.Current());
      };
    if (name == config::kStartItem)
      return [this] {
        StoreGeometry();
        if (!config::LoadStartConfiguration(windows_, config::LoadCaller::Menu)) {
          dialogs_->Report(forms::msg::kNoStartConfiguration, "");
          return;
        }
        ApplyGeometry();
        ApplyTexts(languages_.Current());
      };
    return {};
  };
  for (const config::MenuItem& item : configMenuModel_.Items()) {
    if (item.separator) {
      configMenu_->addSeparator();
      continue;
    }
    if (item.name == config::kAutosaveMenu) {
      QMenu* sub = configMenu_->addMenu(QString());
      sub->setObjectName(Q(config::kAutosaveMenu));
      for (const auto& [name, all] :
           {std::pair{config::kAutosaveNeverItem, false}, std::pair{config::kAutosaveAllItem, true}}) {
        QAction* a = sub->addAction(QString());
        a->setObjectName(Q(name));
        a->setCheckable(true);
        a->setChecked(all ? windows_.autosaveAll : windows_.autosaveNever);
        connect(a, &QAction::triggered, this, [this, all = all] {
          config::ClickAutosave(windows_, all);
          RebuildConfigMenu();
        });
      }
      continue;
    }
    // A file entry's caption is a path: an "&" in it is a character, not an access key.
    QAction* a = configMenu_->addAction(item.fileEntry ? Q(item.caption).replace("&", "&&") : Q(item.caption));
    a->setObjectName(Q(item.name));
    a->setToolTip(Q(item.hint));
    a->setStatusTip(Q(item.hint));
    if (item.fileEntry) {
      connect(a, &QAction::triggered, this, [this, name = item.name] {
        if (const auto path = configMenuModel_.FileOfEntry(name)) LoadConfiguration(*path, config::LoadCaller::Menu);
      });
    } else {
      connect(a, &QAction::triggered, this, command(item.name));
    }
  }
  for (QAction* a : configMenu_->findChildren<QAction*>()) {
    for (const config::FixedMenuText& t : config::FixedMenuTexts()) {
      if (a->objectName() != Q(t.name)) continue;
      a->setText(TextOf(language_, forms::TextGroup::MainWindow, t.name));
      if (*t.shortcut) a->setShortcut(QKeySequence(t.shortcut));
    }
  }
  for (QMenu* sub : configMenu_->findChildren<QMenu*>())
    for (const config::FixedMenuText& t : config::FixedMenuTexts())
      if (sub->objectName() == Q(t.name)) sub->setTitle(TextOf(language_, forms::TextGroup::MainWindow, t.name));
  ScheduleMnemonics(this);
}

void MainWindow::ApplyTexts(forms::Language language) { languages_.Apply(language); }

void MainWindow::ApplyOwnTexts(forms::Language language) {
  language_ = language;
  const auto text = [language](std::string_view name) { return TextOf(language, forms::TextGroup::MainWindow, name); };
  setWindowTitle(text(windows_.mainForm.Name()));
  // The models follow the main window, so forms, list and run share its language.
  config::ApplyLanguageToForms(windows_, language);
  list_.SetLanguage(language);
  const std::string_view tabs[] = {ctl::kImagesPage, ctl::kSizePage, ctl::kSavePage};
  for (int i = 0; i < 3; ++i) pages_->setTabText(i, text(tabs[i]));
  for (const auto& [name, widget] : captioned_) {
    const QString caption = text(name);
    if (auto* box = qobject_cast<QGroupBox*>(widget)) box->setTitle(caption);
    else if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(caption);
  }
  for (const auto& [name, action] : actions_) action->setText(text(name));
  for (const auto& [itemLanguage, item] : languageItems_) item->setChecked(itemLanguage == language);
  QStringList headers;
  for (int i = 0; i < imagelist::kColumnCount; ++i) headers << text("col" + std::to_string(i));
  const auto dialogText = [language](std::string_view key) { return TextOf(language, forms::TextGroup::Dialogs, key); };
  headers << dialogText("status_column");
  model_->SetHeaders(headers);
  model_->SetResultTexts(dialogText("status_written"), dialogText("status_failed"), dialogText("status_kept"));
  forward_->setText(Q(flow_.ForwardCaption(language)));
  help_->ApplyTexts(language);
  if (renamer_) renamer_->ApplyTexts(language);
  if (shortcuts_ != nullptr) shortcuts_->ApplyTexts(language);
  if (summary_ != nullptr) summary_->ApplyTexts(language);
  configMenuModel_.ApplyLanguage(language);
  RebuildConfigMenu();
  binder_->SyncAll();
  count_->setText(Q(list_.CounterLabel()));
  tipTicks_ = 0;
  RotateTip();
  AssignMnemonics(this);
}

bool MainWindow::AskBeforeReset() {
  QMessageBox box(QMessageBox::Question, WithoutMnemonic(TextOf(language_, forms::TextGroup::MainWindow, config::kStandardItem)),
                  TextOf(language_, forms::TextGroup::MainWindow, "reset_question"), QMessageBox::NoButton, this);
  QPushButton* yes = box.addButton(QString::fromUtf8(engine::Text(engine::TextId::ButtonYes, language_)), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8(engine::Text(engine::TextId::ButtonNo, language_)), QMessageBox::NoRole);
  yes->setObjectName("yesButton");
  no->setObjectName("noButton");
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  AssignMnemonics(&box);
  box.exec();
  return box.clickedButton() == yes;
}

RenamerWindow& MainWindow::Renamer() {
  if (!renamer_) renamer_ = std::make_unique<RenamerWindow>(windows_, *dialogs_, *desktop_);
  return *renamer_;
}

ShortcutsWindow& MainWindow::Shortcuts() {
  if (shortcuts_ == nullptr) shortcuts_ = new ShortcutsWindow(windows_.shortcuts, this);
  return *shortcuts_;
}

void MainWindow::RotateTip() {
  static const char* const kTopics[] = {"steps", "sizes", "names", "configs"};
  const int tip = tipTicks_++ % 4;
  static_cast<TipLink*>(footer_)->Show(kTopics[tip], TextOf(language_, forms::TextGroup::MainWindow, "tip" + std::to_string(tip)));
}

void MainWindow::ShowPage(int page) {
  flow_.ShowPage(static_cast<forms::WizardPage>(page));
  if (pages_->currentIndex() != page) pages_->setCurrentIndex(page);
  forward_->setText(Q(flow_.ForwardCaption(language_)));
  AssignMnemonics(this);
  preview_->setVisible(page != 0 && list_.RowCount() > 0);
  UpdatePreview();
  if (QWidget* field = FirstFieldOf(page); field != nullptr && field->isEnabled()) field->setFocus(Qt::TabFocusReason);
}

QWidget* MainWindow::FirstFieldOf(int page) const {
  const forms::Form& form = windows_.mainForm;
  if (page == 0) return binder_->Widget(ctl::kSourceFolder);
  if (page == 1) {
    if (form.Checked(ctl::kPresetSizeMode)) {
      for (const std::string_view preset :
           {ctl::kPreset240x320, ctl::kPreset640x480, ctl::kPreset800x600, ctl::kPreset1024x768})
        if (form.Checked(preset)) return binder_->Widget(preset);
      return binder_->Widget(ctl::kPresetSizeMode);
    }
    const std::pair<std::string_view, std::string_view> modes[] = {{ctl::kCustomSizeMode, ctl::kCustomWidth},
                                                                   {ctl::kPercentSizeMode, ctl::kPercentWidth},
                                                                   {ctl::kFactorSizeMode, ctl::kFactor},
                                                                   {ctl::kFileSizeMode, ctl::kFileSize}};
    for (const auto& [mode, field] : modes)
      if (form.Checked(mode)) return binder_->Widget(field);
    return nullptr;
  }
  // Never "Overwrite Original File": a Space there would turn the run into one that overwrites
  // the originals. With it chosen there is no field, and the button that starts the run waits.
  if (form.Checked(ctl::kSaveAsNewFile)) return binder_->Widget(ctl::kOutputFolder);
  return forward_;
}

void MainWindow::Forward(bool fromMenu) {
  if (flow_.Forward(fromMenu, list_.RowCount())) {
    StartRun();
    return;
  }
  ShowPage(static_cast<int>(flow_.Page()));
}

void MainWindow::StartRun() {
  if (run_->Running()) return;
  std::vector<std::string> paths;
  for (int i = 0; i < list_.RowCount(); ++i) paths.push_back(list_.RowPath(i));
  run_->Start(windows_.mainForm, windows_.options, std::move(paths), [this](const RunSummary& done) {
    // After the run's own messages, a word on the whole run, with the notes of its files.
    RunSummary summary = done;
    summary.notes = dialogs_->TakeNotes();
    // The list held these rows through the run; the result column shows how each file ended.
    for (const RunSummary::FileOutcome& outcome : summary.outcomes)
      model_->SetRunResult(outcome.position, outcome.result, FailureText(outcome.key, outcome.cause, language_));
    if (summary.started || !summary.notes.empty()) Summary().Show(summary, language_);
    // Paths handed over during the run waited for its end.
    AddReceived();
  });
}

RunSummaryWindow& MainWindow::Summary() {
  if (summary_ == nullptr) summary_ = new RunSummaryWindow(*desktop_, this);
  return *summary_;
}

std::string MainWindow::ChooseFolder(const std::string& start) {
  if (chooseFolder) return chooseFolder(start);
  const QString title = QString::fromUtf8(engine::Text(engine::TextId::FolderChooserTitle, language_));
  return QFileDialog::getExistingDirectory(this, title, start.empty() ? QDir::homePath() : Q(start)).toStdString();
}

void MainWindow::OpenImages() {
  std::vector<std::string> files;
  if (chooseFiles) {
    files = chooseFiles();
  } else {
    QStringList filters;
    for (const imagelist::FilterEntry& e : imagelist::OpenDialogFilter(language_))
      filters << Q(e.description) + " (" + Q(e.patterns).replace(';', ' ') + ")";
    QFileDialog dialog(this, TextOf(language_, forms::TextGroup::MainWindow, "open_title"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted) return;
    for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
  }
  list_.AddFiles(files, *dialogs_);
  count_->setText(Q(list_.CounterLabel()));
}

void MainWindow::OpenFolder() {
  list_.OpenFolder(windows_.mainForm, windows_.folderFilter, [this](const std::string& s) { return ChooseFolder(s); },
                        *dialogs_);
  count_->setText(Q(list_.CounterLabel()));
}

void MainWindow::AddDropped(const std::vector<std::string>& paths) {
  list_.AddDropped(paths, windows_.folderFilter, *dialogs_);
  count_->setText(Q(list_.CounterLabel()));
}

bool MainWindow::AddArguments(const std::vector<std::string>& paths) {
  bool configuration = false;
  for (const std::string& path : paths) {
    switch (forms::KindOfArgument(path)) {
      case forms::ArgumentKind::Configuration:
        LoadConfiguration(path, config::LoadCaller::StartUp);
        AddConfigurationEntry(path);  // also when the file does not exist
        configuration = true;
        break;
      case forms::ArgumentKind::Folder:
        list_.AddFolder(path, windows_.folderFilter, *dialogs_);
        break;
      case forms::ArgumentKind::File:
        list_.AddFiles({path}, *dialogs_);
        break;
    }
  }
  count_->setText(Q(list_.CounterLabel()));
  return configuration;
}

void MainWindow::ProcessCommandLine() {
  adding_ = true;
  const bool configuration = AddArguments(std::exchange(startArguments_, {}));
  if (!configuration && base::IsRegularFile(config::StartConfigurationPath()))
    LoadConfiguration(config::StartConfigurationPath(), config::LoadCaller::StartUp);
  adding_ = false;
  AddReceived();
}

void MainWindow::Receive(std::vector<std::string> paths) {
  received_.insert(received_.end(), paths.begin(), paths.end());
  // Added outside the socket's handler, so the sender has its answer at once.
  QTimer::singleShot(0, this, [this] { AddReceived(); });
  if (!isVisible()) return;  // the splash hands over soon
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  // Where a program may not take the focus, it asks for attention instead.
  if (QGuiApplication::platformName() == "wayland") QApplication::alert(this);
}

void MainWindow::AddReceived() {
  // A run works on its own list of paths, and an add in progress finishes first.
  if (adding_ || run_->Running() || !startArguments_.empty() || received_.empty()) return;
  adding_ = true;
  const std::vector<std::string> paths = std::exchange(received_, {});
  AddArguments(paths);
  adding_ = false;
  if (!received_.empty()) QTimer::singleShot(0, this, [this] { AddReceived(); });
}

void MainWindow::RemoveSelected() {
  list_.RemoveSelected();
  count_->setText(Q(list_.CounterLabel()));
}

void MainWindow::RemoveAll() {
  list_.RemoveAll();
  count_->setText(Q(list_.CounterLabel()));
}

int MainWindow::IconFor(const std::string& path) {
  static const QMimeDatabase mimes;
  const QMimeType type = mimes.mimeTypeForFile(Q(path));
  QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
  icons_.push_back(icon);
  return static_cast<int>(icons_.size()) - 1;
}

void MainWindow::RowsChanged() {
  // The count follows the rows as they arrive, not only at the end of a batch.
  list_.UpdateCounterLabel();
  count_->setText(Q(list_.CounterLabel()));
  SchedulePreview();
}

void MainWindow::SetReadOnly(bool busy) {
  if (readOnly_ == busy) return;
  readOnly_ = busy;
  // A disabled widget loses the focus; it gets it back when the window takes input again.
  if (busy) focusBeforeBusy_ = focusWidget();
  // Busy, the window can still be read: the pages can be turned and the list scrolled, but
  // nothing that changes the list or the settings takes input.
  menuBar()->setEnabled(!busy);
  forward_->setEnabled(!busy);
  for (QWidget* page : {pages_->widget(0), pages_->widget(1), pages_->widget(2)})
    for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->setEnabled(!busy);
  // The list's group holds the list: its other widgets are disabled one by one.
  if (QWidget* group = listView_->parentWidget()) {
    group->setEnabled(true);
    for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (child != listView_ && !child->isWindow()) child->setEnabled(!busy);
  }
  listView_->setContextMenuPolicy(busy ? Qt::NoContextMenu : Qt::CustomContextMenu);
  if (busy) placeTimer_->start();
  else placeTimer_->stop();
  if (!busy && focusBeforeBusy_ && focusBeforeBusy_->isEnabled() && focusBeforeBusy_->isVisible())
    focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::SchedulePreview() {
  if (previewPending_) return;
  previewPending_ = true;
  QTimer::singleShot(0, this, [this] {
    previewPending_ = false;
    UpdatePreview();
  });
}

void MainWindow::UpdatePreview() {
  const int rows = list_.RowCount();
  const bool show = pages_->currentIndex() != 0 && rows > 0;
  preview_->setVisible(show);
  if (!show) return;
  int index = 0;
  for (int i = 0; i < rows; ++i)
    if (list_.Rows()[static_cast<size_t>(i)].selected) {
      index = i;
      break;
    }
  const imagelist::ImageListEntry& row = list_.Rows()[static_cast<size_t>(index)];
  const engine::ConversionJob job = engine::JobFromForms(windows_.mainForm, windows_.options);
  auto p = engine::PreviewOutput(job, row.path, forms::ParseIntegerText(row.width).value_or(0),
                                 forms::ParseIntegerText(row.height).value_or(0), index, rows, row.orientation);
  p.frames = row.frames;
  p.pages = row.type == "TIF" || row.type == "TIFF";
  preview_->setToolTip(Q(engine::PreviewLine(p, job.fileSizeText)));
  preview_->setText(FitPreviewLine(engine::SplitPreviewLine(p, job.fileSizeText), preview_->fontMetrics(),
                                   std::max(100, preview_->contentsRect().width())));
}

void MainWindow::StoreGeometry() {
  config::WindowGeometry& g = windows_.mainWindow;
  g.maximized = isMaximized();
  g.maximizeOnActivation = !maximizeMark_;
  const QRect r = isMaximized() ? normalGeometry() : geometry();
  g.clientWidth = r.width();
  g.clientHeight = r.height();
  g.top = r.top();
  g.left = r.left();
}

void MainWindow::ApplyGeometry() {
  const config::WindowGeometry& g = windows_.mainWindow;
  if (g.maximizeOnActivation) maximizeMark_ = false;
  if (!isMaximized()) setGeometry(g.left, g.top, std::max(g.clientWidth, 500), std::max(g.clientHeight, 300));
  else move(g.left, g.top);
}

void MainWindow::LoadConfiguration(const std::string& path, config::LoadCaller caller) {
  StoreGeometry();
  QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->virtualGeometry() : QRect();
  config::ScreenSize size;
  if (screen.isValid()) size = {screen.width(), screen.height()};
  config::LoadConfiguration(windows_, path, caller, size);
  ApplyGeometry();
  ApplyTexts(languages_.Current());
}

void MainWindow::SaveConfiguration(const std::string& path) {
  StoreGeometry();
  config::SaveConfiguration(windows_, path);
}

void MainWindow::AddConfigurationEntry(const std::string& path) {
  const QFontMetrics metrics(footer_->font());
  const int width = 2 * std::max(footer_->width(), 150) + 30;
  configMenuModel_.AddFileEntry(path, [&](const std::string& p) {
    return engine::ShortenPath(p, width, [&](const std::string& t) { return metrics.horizontalAdvance(Q(t)); });
  });
  RebuildConfigMenu();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !run_->Running()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(LocalPathOf(url));
  event->acceptProposedAction();
  // Outside the drop handler, so the dragging program is released at once.
  QTimer::singleShot(0, this, [this, paths] { AddDropped(paths); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (run_->Running()) {
    run_->RequestStop();
    event->ignore();
    return;
  }
  StoreGeometry();
  // A failed save reaches the error handler, and the window stays open.
  event->ignore();
  config::AutosaveOnClose(windows_);
  event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  // A folder typed at once and Enter is searched.
  if (QWidget* field = FirstFieldOf(pages_->currentIndex())) field->setFocus(Qt::OtherFocusReason);
  QTimer::singleShot(0, this, [this] { ProcessCommandLine(); });
  if (QScreen* s = screen()) {
    const QRect desktop = s->virtualGeometry();
    const QSize client = centralWidget()->size();
    if (desktop.height() < client.height() + 50 || desktop.width() < client.width() + 50) maximizeMark_ = false;
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  SchedulePreview();  // the preview line fits the new width
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !maximizeMark_) {
    maximizeMark_ = true;
    showMaximized();
  }
}

}  // namespace ui
