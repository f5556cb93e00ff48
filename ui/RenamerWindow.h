// The file renamer window and its filter dialog. The rows, the rule, the preview and the run
// live in renamer::FileRenamer; the controls of the rule in the renamer's form. The window shows
// them, forwards the user's actions and asks what to do with an interrupted run when it is first
// shown.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QDialog>
#include <QLabel>
#include <QMainWindow>

#include "config/Configuration.h"
#include "forms/Language.h"
#include "imagelist/ListServices.h"
#include "renamer/FileRenamer.h"

class QMenu;
class QPushButton;
class QTreeWidget;

namespace ui {

class FormBinder;
class QtUserDialogs;

// A label that shows a text shortened in its middle to its width, and refits it when resized.
class ElidedLabel : public QLabel {
public:
  explicit ElidedLabel(QWidget* parent);
  void SetFullText(const QString& text);
  const QString& FullText() const { return full_; }

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  void Refit();
  QString full_;
};

class RenamerFilterDialog : public QDialog {
public:
  RenamerFilterDialog(forms::Form& form, QWidget* renamer);
  void ApplyTexts(forms::Language language);

protected:
  // Centred over the renamer each time it is shown.
  void showEvent(QShowEvent* event) override;

private:
  FormBinder* binder_;
  QWidget* renamer_;
};

class RenamerWindow : public QMainWindow {
public:
  // `windows` (the forms and the SD geometry), `dialogs` and `desktop` must outlive the window.
  // The rename journal lies at `journalPath`.
  RenamerWindow(config::ProgramWindows& windows, QtUserDialogs& dialogs, imagelist::DesktopServices& desktop,
                std::string journalPath = renamer::RenameJournal::DefaultPath());
  ~RenamerWindow() override;

  void ApplyTexts(forms::Language language);
  // Shows and raises the window (the main window's menu item).
  void Open();

  // ---- Commands ----
  void AddDropped(const std::vector<std::string>& paths);
  void OpenFolder();     // "Open Folder.."
  void ShowFilter();     // "Filter.."
  void RemoveSelected(); // "Delete Selected", the list menu, the Delete key
  void RemoveAll();      // "Delete All"
  void Rename();         // "Rename"
  void Undo();           // "Undo last rename"
  // The check of an interrupted run, done at the first show.
  void CheckPendingJournal();

  // ---- For tests and the screenshot option ----
  renamer::FileRenamer& Model() { return *model_; }
  FormBinder* Binder() const { return binder_; }
  QTreeWidget* ListView() const { return list_; }
  QMenu* ListMenu() const { return popup_; }
  ElidedLabel* OldNameLabel() const { return oldNameLabel_; }
  ElidedLabel* NewNameLabel() const { return newNameLabel_; }
  // A placeholder label by its control's name (forms::ctl::renamer::kNamePlaceholder, ...).
  QLabel* Placeholder(std::string_view name) const;
  QPushButton* RenameButton() const { return rename_; }
  QPushButton* UndoButton() const { return undo_; }
  RenamerFilterDialog* Filter() const { return filter_; }
  QString StatusText() const;
  // The folder chooser, replaceable by tests (start folder in, chosen folder or "" out).
  std::function<std::string(const std::string&)> chooseFolder;
  // The question about an interrupted run, replaceable by tests: 0 roll back, 1 finish, 2 later.
  std::function<int(const QString& text)> askPending;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  QWidget* BuildInputGroup(QWidget* parent);
  QWidget* BuildMaskGroup(QWidget* parent);
  QWidget* BuildSearchGroup(QWidget* parent);
  QWidget* BuildPreviewGroup(QWidget* parent);
  void RowsChanged();
  void RefreshList();
  void RefreshTexts();
  void RefreshPreview();
  void RefreshUndo();
  void SetBusy(bool busy);
  void ClickPlaceholder(std::string_view name);
  void ReportJournalError(const std::string& error);
  void ReportUndo(const renamer::UndoResult& result);
  void ReportSkipped(const std::vector<std::pair<std::string, std::string>>& skipped);
  void StoreGeometry();
  void ApplyGeometry();
  QLabel* Captioned(QWidget* parent, const char* name);

  config::ProgramWindows& windows_;
  QtUserDialogs& dialogs_;
  imagelist::DesktopServices& desktop_;
  forms::Language language_;
  std::unique_ptr<renamer::FileRenamer> model_;
  FormBinder* binder_ = nullptr;
  RenamerFilterDialog* filter_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QMenu* popup_ = nullptr;
  QLabel* count_ = nullptr;
  ElidedLabel* oldNameLabel_ = nullptr;
  ElidedLabel* newNameLabel_ = nullptr;
  QPushButton* rename_ = nullptr;
  QPushButton* undo_ = nullptr;
  QLabel* status_ = nullptr;
  std::vector<std::pair<std::string, QObject*>> captioned_;  // the window's own captions by name
  std::vector<std::pair<std::string_view, QLabel*>> placeholders_;  // by control name
  bool shownOnce_ = false;
  bool busy_ = false;
  bool geometryApplied_ = false;
  qint64 lastBusyRefresh_ = 0;
};

}  // namespace ui
