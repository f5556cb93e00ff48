// The desktop-integration dialog `Teinstshortcuts` (modeless, on top): its groups, buttons and
// status labels. desktop::ShortcutsDialog holds what the buttons do and what the labels say;
// the window forwards clicks to the form and colours the status labels.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "desktop/Integration.h"
#include "desktop/ShortcutsDialog.h"
#include "forms/Form.h"
#include "forms/Language.h"

class QLabel;

namespace ui {

class FormBinder;

class ShortcutsWindow : public QDialog {
public:
  // `form` (made by forms::CreateEinstShortcutsForm) must outlive the window. The hooks are
  // written for `programPath` under the folders of `environment`.
  ShortcutsWindow(forms::Form& form, QWidget* parent, std::string programPath = desktop::RunningProgramPath(),
                  desktop::Environment environment = desktop::Environment::FromProcess());
  ~ShortcutsWindow() override;

  void ApplyTexts(forms::Language language);
  // Shows and raises the dialog with fresh statuses.
  void Open();

  FormBinder* Binder() const { return binder_; }
  desktop::Integration& Integration() { return integration_; }

protected:
  void showEvent(QShowEvent* event) override;

private:
  QWidget* BuildGroup(const char* box, const char* description, const char* status, const char* on, const char* off);
  void ClickButton(const std::string& name);
  void ColourStatuses();
  void FitSize();

  forms::Form& form_;
  desktop::Integration integration_;
  std::unique_ptr<desktop::ShortcutsDialog> model_;
  FormBinder* binder_;
  QLabel* link_ = nullptr;
  QLabel* linkIntro_ = nullptr;
  std::vector<QLabel*> statusCaptions_;  // "Status:" before each status label
};

}  // namespace ui
