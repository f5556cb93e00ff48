// The main window: the three wizard pages, the footer with the forward button, the menu,
// drag and drop, the image list and the configuration menu. Settings live in the forms of
// config::ProgramWindows; the list in imagelist::ImageList; the window only shows them.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include "config/Menu.h"
#include "config/Configuration.h"
#include "forms/WizardPages.h"
#include "imagelist/List.h"
#include "imagelist/ListServices.h"
#include "ui/LanguageSwitch.h"

class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeView;
class QAction;

namespace ui {

class FilterDialog;
class FormBinder;
class HelpWindow;
class ImageListModel;
class OptionsDialog;
class QtUserDialogs;
class RenamerWindow;
class RunController;
class RunSummaryWindow;
class ShortcutsWindow;

class MainWindow : public QMainWindow {
public:
  MainWindow(config::ProgramWindows& windows, imagelist::DesktopServices* desktop = nullptr);
  ~MainWindow() override;

  // The language switch: every registered window in its order (the language menu, the end of
  // every configuration load).
  void ApplyTexts(forms::Language language);
  LanguageSwitch& Languages() { return languages_; }

  // ---- Start-up and hand-over ----
  // The arguments of this start; added when the window is first shown, then the start
  // configuration is loaded unless one of them was a configuration.
  void SetStartArguments(std::vector<std::string> paths) { startArguments_ = std::move(paths); }
  // Paths handed over by a second start: added once no run and no other add is going on.
  void Receive(std::vector<std::string> paths);
  // Adds each path: a ".vxc" is loaded as a configuration and gets its menu entry, a folder is
  // searched, anything else is added as a file; then the count label. True when a
  // configuration was among them.
  bool AddArguments(const std::vector<std::string>& paths);

  // ---- Commands (menu, buttons, keys) ----
  void Forward(bool fromMenu);      // the forward button, File > Convert and Save
  void ShowPage(int page);          // a tab click
  void OpenImages();                // File > Open Images, double click into the list
  void OpenFolder();                // the "Open Folder.." button and menu item
  void AddDropped(const std::vector<std::string>& paths);
  void RemoveSelected();            // the "Remove Selected" button and menu items, Delete
  void RemoveAll();                 // the "Remove All" button and menu item
  // While a search, a drop or a run goes on, the window can be read (pages turned, the list
  // scrolled) but nothing that changes the list or the settings takes input.
  bool ReadOnly() const { return readOnly_; }
  void LoadConfiguration(const std::string& path, config::LoadCaller caller);
  void SaveConfiguration(const std::string& path);
  void AddConfigurationEntry(const std::string& path);

  // ---- For tests and the screenshot option ----
  imagelist::ImageList& List() { return list_; }
  QtUserDialogs& Dialogs() { return *dialogs_; }
  RunController& Run() { return *run_; }
  QTabWidget* Pages() const { return pages_; }
  QPushButton* ForwardButton() const { return forward_; }
  QLabel* CountLabel() const { return count_; }
  QLabel* PreviewLabel() const { return preview_; }
  QTreeView* ListView() const { return listView_; }
  QMenu* ListMenu() const { return popup_; }
  QMenu* ConfigMenu() const { return configMenu_; }
  OptionsDialog* Options() const { return options_; }
  FilterDialog* Filter() const { return filter_; }
  HelpWindow* Help() const { return help_; }
  // The file renamer (File > Only rename Files) and the desktop-integration dialog (Settings >
  // Shortcuts), made when first needed.
  RenamerWindow& Renamer();
  ShortcutsWindow& Shortcuts();
  // The summary shown after every run, made at the first.
  RunSummaryWindow& Summary();
  FormBinder* Binder() const { return binder_; }
  bool MaximizeMark() const { return maximizeMark_; }
  // The folder chooser, replaceable by tests (start folder in, chosen folder or "" out).
  std::function<std::string(const std::string&)> chooseFolder;
  // The open-files dialog, replaceable by tests.
  std::function<std::vector<std::string>()> chooseFiles;

protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  QWidget* BuildImagesPage();
  QWidget* BuildSizePage();
  QWidget* BuildSavePage();
  void BuildMenus();
  void RebuildConfigMenu();
  void RowsChanged();
  void SetReadOnly(bool readOnly);
  // The widget that takes the focus when the page is shown.
  QWidget* FirstFieldOf(int page) const;
  void UpdatePreview();
  void SchedulePreview();
  void RotateTip();
  void ApplyOwnTexts(forms::Language language);
  void ProcessCommandLine();
  void AddReceived();
  void StartRun();
  void StoreGeometry();
  void ApplyGeometry();
  int IconFor(const std::string& path);
  std::string ChooseFolder(const std::string& start);
  // The question before Configuration > Reset all Settings: true to reset.
  bool AskBeforeReset();

  config::ProgramWindows& windows_;
  forms::Language language_;
  LanguageSwitch languages_;
  imagelist::ImageList list_;
  std::unique_ptr<imagelist::DesktopServices> ownDesktop_;
  imagelist::DesktopServices* desktop_;
  std::unique_ptr<QtUserDialogs> dialogs_;
  std::unique_ptr<RunController> run_;
  config::ConfigurationMenu configMenuModel_;
  forms::WizardFlow flow_;
  FormBinder* binder_ = nullptr;
  OptionsDialog* options_ = nullptr;
  FilterDialog* filter_ = nullptr;
  HelpWindow* help_ = nullptr;
  std::unique_ptr<RenamerWindow> renamer_;  // a window of its own, with its own taskbar button
  ShortcutsWindow* shortcuts_ = nullptr;
  RunSummaryWindow* summary_ = nullptr;
  QTabWidget* pages_ = nullptr;
  QTreeView* listView_ = nullptr;
  ImageListModel* model_ = nullptr;
  QTimer* headerTimer_ = nullptr;
  QTimer* placeTimer_ = nullptr;
  std::atomic<bool> headerWakeUp_{false};  // a collection of header results is on its way
  QLabel* count_ = nullptr;
  QLabel* preview_ = nullptr;
  QLabel* footer_ = nullptr;
  QPushButton* forward_ = nullptr;
  QPointer<QWidget> focusBeforeBusy_;  // given back when the window takes input again
  QMenu* popup_ = nullptr;
  QMenu* configMenu_ = nullptr;
  std::vector<std::pair<std::string, QWidget*>> captioned_;  // fixed-caption widgets by name
  std::vector<std::pair<std::string, QAction*>> actions_;    // menu items by name
  std::vector<QIcon> icons_;
  std::vector<std::pair<forms::Language, QAction*>> languageItems_;  // Settings > Language, in list order
  std::vector<std::string> startArguments_;
  std::vector<std::string> received_;
  bool adding_ = false;    // the arguments of a start or a hand-over are being added
  bool readOnly_ = false;
  bool maximizeMark_ = true;  // false: maximize at the next activation
  bool shownOnce_ = false;
  bool previewPending_ = false;
  int tipTicks_ = 0;
};

}  // namespace ui
