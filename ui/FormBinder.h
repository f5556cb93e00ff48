// Keeps the widgets of a window and the controls of its Form in step, in both directions: a
// user's click, choice or key goes to the Form (Click, SelectItem, KeyPress, Focus), and every
// change of a control, by the user or the program, is mirrored into its widget. One binding
// per control kind; a window only says which widget shows which control.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include <QObject>

#include "forms/Form.h"

class QWidget;
class QLineEdit;

namespace ui {

class FormBinder : public QObject {
public:
  FormBinder(forms::Form& form, QWidget* window);

  // Binds a widget to the control of that name: QLineEdit (edit), QComboBox (combo), QCheckBox
  // (check), QRadioButton (radio), QAbstractSlider (scroll bar), any widget (panel), QLabel,
  // QAbstractButton, QGroupBox (caption). Mirrors the control at once. The widget keeps its own
  // object name; Widget finds it by the control's name.
  void Bind(std::string_view name, QWidget* widget);
  QWidget* Widget(std::string_view name) const;
  // Mirrors every control into its widget (after a configuration load or a language switch).
  void SyncAll();
  forms::Form& GetForm() { return form_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Sync(const forms::Control& control);
  void SyncText(QLineEdit* edit, const forms::Control& control);
  void FromWidgetSelection(QLineEdit* edit, const std::string& name);

  forms::Form& form_;
  QWidget* window_;
  std::map<std::string, QWidget*, std::less<>> widgets_;
  std::map<QObject*, std::string> names_;  // widgets and their line edits
  int syncing_ = 0;
};

}  // namespace ui
