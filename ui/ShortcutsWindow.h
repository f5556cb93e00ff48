// The desktop-integration dialog (modeless, on top): its groups, buttons and
// status labels. desktop::ShortcutsDialog holds what the buttons do and what the labels say;
// the window forwards clicks to the form and colours the status labels.
#pragma once

#include <memory>
#include <string>
#include <string_view>
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
  // `form` (made by forms::CreateShortcutsForm) must outlive the window. The hooks are
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
  QWidget* BuildGroup(std::string_view box, std::string_view description, std::string_view status,
                      std::string_view on, std::string_view off);
  void ClickButton(std::string_view name);
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
