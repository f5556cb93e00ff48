// The options dialog (modeless, on top) and the folder-search filter (modal): widgets laid out
// and bound to their forms; the forms hold every behaviour.
#pragma once

#include <QDialog>
#include <QGroupBox>

#include <initializer_list>
#include <string_view>

#include "forms/Form.h"
#include "forms/Language.h"

namespace ui {

class FormBinder;

class OptionsDialog : public QDialog {
public:
  OptionsDialog(forms::Form& form, QWidget* parent);
  void ApplyTexts(forms::Language language);
  FormBinder* Binder() const { return binder_; }

private:
  // A group box of check boxes, one below the other, bound to their controls.
  QGroupBox* CheckBoxGroup(std::string_view group, std::initializer_list<std::string_view> boxes);

  FormBinder* binder_;
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
