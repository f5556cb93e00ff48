// The options dialog (modeless, on top) and the folder-search filter (modal): widgets laid out
// and bound to their forms; the forms hold every behaviour.
#pragma once

#include <QDialog>
#include <QGroupBox>

#include <initializer_list>
#include <string_view>
#include <vector>

#include "forms/Form.h"
#include "forms/Language.h"

class QPushButton;

namespace ui {

class FormBinder;

class OptionsDialog : public QDialog {
public:
  OptionsDialog(forms::Form& form, QWidget* parent);
  void ApplyTexts(forms::Language language);
  FormBinder* Binder() const { return binder_; }
  QPushButton* CancelButton() const { return cancel_; }

  // Cancel and Escape: the values the dialog had when it was opened come back.
  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;
  // The close box keeps the values, as OK does.
  void closeEvent(QCloseEvent* event) override;

private:
  // A group box of check boxes, one below the other, bound to their controls.
  QGroupBox* CheckBoxGroup(std::string_view group, std::initializer_list<std::string_view> boxes);

  FormBinder* binder_;
  QPushButton* cancel_;
  std::vector<forms::Control> opened_;  // the values when the dialog was opened
};

class FilterDialog : public QDialog {
public:
  FilterDialog(forms::Form& form, QWidget* parent);
  void ApplyTexts(forms::Language language);
  FormBinder* Binder() const { return binder_; }

private:
  FormBinder* binder_;
  QGroupBox* formats_;
  QGroupBox* style_;
};

}  // namespace ui
