#include "ui/ShortcutsWindow.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "forms/ControlNames.h"
#include "forms/ShortcutsForm.h"
#include "ui/FormBinder.h"
#include "ui/Mnemonics.h"
#include "ui/WindowTexts.h"

namespace ui {

namespace {

namespace names = forms::ctl::shortcuts;

constexpr desktop::Hook kStatusHooks[] = {desktop::Hook::ConfigurationFiles, desktop::Hook::SendTo,
                                          desktop::Hook::Folders, desktop::Hook::AllFiles};

QLabel* BoldLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

ShortcutsWindow::ShortcutsWindow(forms::Form& form, QWidget* parent, std::string programPath,
                                 desktop::Environment environment)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint),
      form_(form),
      integration_(std::move(programPath), std::move(environment)),
      model_(std::make_unique<desktop::ShortcutsDialog>(form, integration_)),
      binder_(new FormBinder(form, this)) {
  setObjectName("shortcutsDialog");
  auto* outer = new QVBoxLayout(this);

  auto* adminNeeded = new QLabel(this);
  adminNeeded->setWordWrap(true);
  binder_->Bind(names::kAdminNeededLabel, adminNeeded);
  outer->addWidget(adminNeeded);
  auto* rights = BoldLabel(this);
  rights->setWordWrap(true);
  binder_->Bind(names::kRightsLabel, rights);
  outer->addWidget(rights);
  auto* helpRow = new QHBoxLayout;
  linkIntro_ = new QLabel(this);
  linkIntro_->setWordWrap(true);
  binder_->Bind(names::kHelpLabel, linkIntro_);
  link_ = new QLabel(this);
  link_->setOpenExternalLinks(true);
  binder_->Bind(names::kHelpLink, link_);
  auto* restart = new QPushButton(this);
  binder_->Bind(names::kRestartAsAdminButton, restart);
  auto* linkColumn = new QVBoxLayout;
  linkColumn->addWidget(linkIntro_);
  linkColumn->addWidget(link_);
  helpRow->addLayout(linkColumn, 1);
  helpRow->addWidget(restart, 0, Qt::AlignBottom);
  outer->addLayout(helpRow);

  outer->addWidget(BuildGroup(names::kConfigurationFilesGroup, names::kConfigurationFilesText,
                              names::kConfigurationFilesStatus, names::kConfigurationFilesOn,
                              names::kConfigurationFilesOff));
  outer->addWidget(BuildGroup(names::kSendToGroup, names::kSendToText, names::kSendToStatus, names::kSendToOn,
                              names::kSendToOff));
  outer->addWidget(BuildGroup(names::kFoldersGroup, names::kFoldersText, names::kFoldersStatus, names::kFoldersOn,
                              names::kFoldersOff));
  QWidget* files = BuildGroup(names::kAllFilesGroup, names::kAllFilesText, names::kAllFilesStatus, names::kAllFilesOn,
                              names::kAllFilesOff);
  auto* f = static_cast<QVBoxLayout*>(files->layout());
  auto* divider = new QFrame(files);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  f->addWidget(divider);
  auto* chosenLabel = new QLabel(files);
  chosenLabel->setWordWrap(true);
  binder_->Bind(names::kChosenExtensionsLabel, chosenLabel);
  f->addWidget(chosenLabel);
  auto* chosenRow = new QHBoxLayout;
  auto* extensions = new QLineEdit(files);
  binder_->Bind(names::kChosenExtensions, extensions);
  chosenLabel->setBuddy(extensions);
  chosenRow->addWidget(extensions, 1);
  for (const std::string_view name : {names::kChosenExtensionsOn, names::kChosenExtensionsOff}) {
    auto* button = new QPushButton(files);
    binder_->Bind(name, button);
    connect(button, &QPushButton::clicked, this, [this, name] { ClickButton(name); });
    chosenRow->addWidget(button);
  }
  f->addLayout(chosenRow);
  outer->addWidget(files);

  outer->addStretch();
  auto* ok = new QPushButton(this);
  binder_->Bind(names::kOkButton, ok);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::close);
  auto* okRow = new QHBoxLayout;
  okRow->addStretch();
  okRow->addWidget(ok);
  outer->addLayout(okRow);

  ScopeMnemonicsByGroup(this);
  ApplyTexts(form_.CurrentLanguage());
}

ShortcutsWindow::~ShortcutsWindow() {
  // The form outlives the window: it must not call into its widgets any more.
  form_.Events() = {};
}

QWidget* ShortcutsWindow::BuildGroup(std::string_view box, std::string_view description, std::string_view status,
                                     std::string_view on, std::string_view off) {
  auto* group = new QGroupBox(this);
  binder_->Bind(box, group);
  auto* g = new QVBoxLayout(group);
  auto* text = new QLabel(group);
  text->setWordWrap(true);
  binder_->Bind(description, text);
  g->addWidget(text);
  auto* row = new QHBoxLayout;
  statusCaptions_.push_back(new QLabel(group));
  row->addWidget(statusCaptions_.back());
  auto* state = BoldLabel(group);
  binder_->Bind(status, state);
  row->addWidget(state);
  row->addStretch();
  for (const std::string_view name : {on, off}) {
    auto* button = new QPushButton(group);
    binder_->Bind(name, button);
    connect(button, &QPushButton::clicked, this, [this, name] { ClickButton(name); });
    row->addWidget(button);
  }
  g->addLayout(row);
  return group;
}

void ShortcutsWindow::ApplyTexts(forms::Language language) {
  model_->ApplyLanguage(language);
  for (QLabel* caption : statusCaptions_) caption->setText(TextOf(language, forms::TextGroup::Shortcuts, "status"));
  // Without a page to point to, the help line and its link stay away.
  const bool link = !form_.Get(names::kHelpLink).caption.empty();
  form_.SetVisible(names::kHelpLabel, link);
  form_.SetVisible(names::kHelpLink, link);
  setWindowTitle(QString::fromStdString(form_.Caption()));
  binder_->SyncAll();
  ColourStatuses();
  AssignMnemonics(this);
  FitSize();
}

void ShortcutsWindow::Open() {
  show();
  raise();
  activateWindow();
}

void ShortcutsWindow::showEvent(QShowEvent* event) {
  model_->Show();
  ColourStatuses();
  QDialog::showEvent(event);
}

void ShortcutsWindow::ClickButton(std::string_view name) {
  form_.Click(name);
  ColourStatuses();
}

void ShortcutsWindow::ColourStatuses() {
  for (const desktop::Hook hook : kStatusHooks) {
    QWidget* label = binder_->Widget(desktop::ShortcutsDialog::StatusLabel(hook));
    if (label == nullptr) continue;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, model_->StatusActive(hook) ? QColor(0, 128, 0) : QColor(192, 0, 0));
    label->setPalette(palette);
  }
}

void ShortcutsWindow::FitSize() {
  // Not resizable: 409 wide, as high as the texts of the language need (at least 526).
  const int width = std::max(409, layout()->totalMinimumSize().width());
  const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : layout()->totalSizeHint().height();
  setFixedSize(width, std::max(height, 526));
}

}  // namespace ui
