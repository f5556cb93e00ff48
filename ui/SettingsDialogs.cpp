#include "ui/SettingsDialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QShowEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "forms/ControlNames.h"
#include "forms/OptionsForm.h"
#include "forms/FolderFilterForm.h"
#include "ui/FormBinder.h"
#include "ui/Mnemonics.h"
#include "ui/WindowTexts.h"

namespace ui {

namespace ctl = forms::ctl;

OptionsDialog::OptionsDialog(forms::Form& form, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), binder_(new FormBinder(form, this)) {
  setObjectName("optionsDialog");
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(CheckBoxGroup(ctl::kGeneralGroup, {ctl::kRotateBox, ctl::kEnlargeSmaller, ctl::kShrinkLarger}));

  auto* advanced = new QGroupBox(this);
  auto* a = new QGridLayout(advanced);
  auto* methodLabel = new QLabel(advanced);
  auto* method = new QComboBox(advanced);
  methodLabel->setBuddy(method);
  a->addWidget(methodLabel, 0, 0);
  a->addWidget(method, 0, 1);
  auto* qualityLabel = new QLabel(advanced);
  qualityLabel->setWordWrap(true);
  auto* quality = new QComboBox(advanced);
  auto* scroll = new QScrollBar(Qt::Horizontal, advanced);
  qualityLabel->setBuddy(quality);
  a->addWidget(qualityLabel, 1, 0, 1, 2);
  a->addWidget(quality, 2, 0);
  a->addWidget(scroll, 2, 1);
  auto* progressive = new QCheckBox(advanced);
  auto* layers = new QCheckBox(advanced);
  auto* dates = new QCheckBox(advanced);
  a->addWidget(progressive, 3, 0, 1, 2);
  a->addWidget(layers, 4, 0, 1, 2);
  a->addWidget(dates, 5, 0, 1, 2);
  a->setColumnStretch(1, 1);
  binder_->Bind(ctl::kResizeMethodLabel, methodLabel);
  binder_->Bind(ctl::kResizeMethod, method);
  binder_->Bind(ctl::kQualityLabel, qualityLabel);
  binder_->Bind(ctl::kQuality, quality);
  binder_->Bind(ctl::kQualityScrollBar, scroll);
  binder_->Bind(ctl::kProgressive, progressive);
  binder_->Bind(ctl::kPhotoshopLayer, layers);
  binder_->Bind(ctl::kKeepDates, dates);
  binder_->Bind(ctl::kAdvancedGroup, advanced);
  outer->addWidget(advanced);

  outer->addWidget(CheckBoxGroup(ctl::kPhotosGroup, {ctl::kKeepOrientation, ctl::kToSrgb, ctl::kStripLocation}));

  auto* ok = new QPushButton(this);
  binder_->Bind(ctl::kOptionsOkButton, ok);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  cancel_ = new QPushButton(this);
  cancel_->setObjectName("cancelButton");
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel_);
  outer->addLayout(row);
  outer->addStretch();
}

void OptionsDialog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) opened_ = binder_->GetForm().Controls();
  QDialog::showEvent(event);
}

void OptionsDialog::reject() {
  if (!opened_.empty()) forms::RestoreValues(binder_->GetForm(), opened_);
  QDialog::reject();
}

void OptionsDialog::closeEvent(QCloseEvent* event) {
  accept();  // hidden now, so the dialog's own close handling rejects nothing
  QDialog::closeEvent(event);
}

QGroupBox* OptionsDialog::CheckBoxGroup(std::string_view group, std::initializer_list<std::string_view> boxes) {
  auto* frame = new QGroupBox(this);
  auto* layout = new QVBoxLayout(frame);
  for (const std::string_view name : boxes) {
    auto* box = new QCheckBox(frame);
    layout->addWidget(box);
    binder_->Bind(name, box);
  }
  binder_->Bind(group, frame);
  return frame;
}

void OptionsDialog::ApplyTexts(forms::Language language) {
  forms::ApplyOptionsLanguage(binder_->GetForm(), language);
  setWindowTitle(QString::fromStdString(binder_->GetForm().Caption()));
  cancel_->setText(TextOf(language, forms::TextGroup::Dialogs, "cancel"));
  binder_->SyncAll();
  AssignMnemonics(this);
}

FilterDialog::FilterDialog(forms::Form& form, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), binder_(new FormBinder(form, this)) {
  setObjectName("folderFilterDialog");
  auto* outer = new QVBoxLayout(this);
  formats_ = new QGroupBox(this);
  auto* f = new QGridLayout(formats_);
  auto* all = new QRadioButton(formats_);
  auto* chosen = new QRadioButton(formats_);
  f->addWidget(all, 0, 0, 1, 2);
  f->addWidget(chosen, 1, 0, 1, 2);
  binder_->Bind(ctl::folderFilter::kAllFormats, all);
  binder_->Bind(ctl::folderFilter::kChosenFormats, chosen);
  int row = 2;
  int column = 0;
  for (const forms::FilterGroup& group : forms::FolderFilterGroups()) {
    auto* box = new QCheckBox(formats_);
    binder_->Bind(group.box, box);
    auto* members = new QHBoxLayout;
    members->setContentsMargins(20, 0, 0, 0);
    for (const char* member : group.members) {
      auto* m = new QCheckBox(formats_);
      binder_->Bind(member, m);
      members->addWidget(m);
    }
    members->addStretch();
    auto* cell = new QVBoxLayout;
    cell->addWidget(box);
    cell->addLayout(members);
    f->addLayout(cell, row, column);
    if (++column == 2) {
      column = 0;
      ++row;
    }
  }
  if (column != 0) ++row;
  column = 0;
  for (const char* single : forms::FolderFilterSingleFormats()) {
    auto* box = new QCheckBox(formats_);
    binder_->Bind(single, box);
    f->addWidget(box, row, column);
    if (++column == 2) {
      column = 0;
      ++row;
    }
  }
  binder_->Bind(ctl::folderFilter::kFormatsGroup, formats_);
  outer->addWidget(formats_);
  style_ = new QGroupBox(this);
  auto* s = new QVBoxLayout(style_);
  auto* sub = new QCheckBox(style_);
  s->addWidget(sub);
  binder_->Bind(ctl::folderFilter::kSubfolders, sub);
  binder_->Bind(ctl::folderFilter::kSearchStyleGroup, style_);
  outer->addWidget(style_);
  auto* ok = new QPushButton(this);
  binder_->Bind(ctl::folderFilter::kOkButton, ok);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  outer->addLayout(buttons);
}

void FilterDialog::ApplyTexts(forms::Language language) {
  forms::ApplyFolderFilterLanguage(binder_->GetForm(), language);
  setWindowTitle(QString::fromStdString(binder_->GetForm().Caption()));
  binder_->SyncAll();
  AssignMnemonics(this);
}

}  // namespace ui
