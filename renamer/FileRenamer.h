// The file renamer as a model: its own file list (rows, adding files and folders, the filter
// dialog's patterns, sorting, removing rows), the preview of the rule for one file, the rename
// run with its status texts, and undo through the rename journal. The window shows the rows and
// the texts and forwards its events; messages go through UserDialogs.
//
// The rule's controls live in the renamer's form (window code DU), the filter dialog's in its
// own (DF); the window's position and size are the configuration's SD geometry
// (config::ProgramWindows::renamerWindow).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UserDialogs.h"
#include "forms/Form.h"
#include "forms/Language.h"
#include "forms/NumberText.h"
#include "renamer/RenameJournal.h"
#include "renamer/RenameRule.h"

namespace renamer {

enum class RowStatus {
  Added,       // "Added"
  Renamed,     // "Renamed"
  Exists,      // "File already exists": another file has the new name
  NotRenamed,  // "Not Renamed": the new name is the old one
  Error,       // "Error": the rename failed; the row keeps the cause
  Restored,    // "Restored": an undo gave the file its old name back
};

// The status cell: the status text, and for an error its cause after a colon.
std::string StatusText(RowStatus status, const std::string& cause, forms::Language language);

// One row; every cell is text.
struct RenamerRow {
  std::string name;    // column 0: the file name without its extension; after a rename the new file name
  std::string type;    // column 1: the extension without dots, in upper case
  std::string size;    // column 2: kilobytes with three decimals and " KB"
  std::string status;  // column 3: StatusText
  std::string path;    // column 4: the full path; the row's identity
  RowStatus state = RowStatus::Added;
  std::string cause;   // why the rename failed (Error)
  bool selected = false;

  const std::string& Cell(int column) const;
};

inline constexpr int kRenamerColumnCount = 5;

struct RenamerSort {
  int column = 0;
  bool descending = false;
};

// What the preview labels show: the old and the new name each show a file name and keep the full
// path as their tooltip.
struct RenamePreview {
  std::string oldPath;  // the previewed file; empty when none was chosen
  std::string oldName;
  std::string newPath;  // empty when no file is previewed
  std::string newName;
};

// One row as a run would treat it now (the dry run's table).
struct PlannedRename {
  int row = 0;
  std::string from;
  std::string to;
  bool vanished = false;  // no file at `from`: the run skips the row
  RowStatus outcome = RowStatus::Renamed;
  std::string cause;
};

struct RenameResult {
  int renamed = 0;
  int failed = 0;
  bool cancelled = false;
  // The journal could not be written: the run renamed nothing more from that point.
  std::string journalError;
  // Finish: journal entries left alone (EntryProblem), with the path and why.
  std::vector<std::pair<std::string, std::string>> skipped;
};

struct UndoResult {
  bool nothingToUndo = false;
  int restored = 0;
  int failed = 0;
  std::vector<std::pair<std::string, std::string>> failures;  // path, cause
  // Journal entries left alone (EntryProblem), with the path and why. They do not keep the
  // journal: nothing could ever undo them.
  std::vector<std::pair<std::string, std::string>> skipped;
  std::string journalError;
};

class FileRenamer {
public:
  // `renamerForm` and `filterForm` must outlive the model. The model recomputes the preview
  // whenever a control of the rule changes.
  FileRenamer(forms::Form& renamerForm, const forms::Form& filterForm, forms::Language language,
              std::string decimalSeparator = forms::UserDecimalSeparator(),
              std::string journalPath = RenameJournal::DefaultPath());
  ~FileRenamer();
  FileRenamer(const FileRenamer&) = delete;
  FileRenamer& operator=(const FileRenamer&) = delete;

  // ---- Rows ----
  int RowCount() const { return static_cast<int>(rows_.size()); }
  const std::vector<RenamerRow>& Rows() const { return rows_; }

  // Adds a file of any type, status "Added", at its place in the sort order. A path already
  // listed is refused with "dateischoninliste" unless "OK for all" is set. The status bar then
  // shows the number of rows before it followed by " files loaded". Returns whether a row was
  // added.
  bool AddFile(const std::string& path, engine::UserDialogs& dialogs);
  // Adds every file of the folder that the filter dialog lets through (subfolders first when
  // they are searched, ctl::renamer::kSubfolders); nothing for an empty text, a path that is no
  // folder, or a folder text containing ".txt". Sets the count label and clears "OK for all" at
  // its end.
  void AddFolder(const std::string& folder, engine::UserDialogs& dialogs);
  // Enter in the folder box: searches the folder, or shows "ordnerfalschopen" with the text.
  void AddTypedFolder(const std::string& text, engine::UserDialogs& dialogs);
  // Files and folders dropped onto the window, in order; "OK for all" holds for the whole drop
  // (folders in it included) and is cleared at its end.
  void AddDropped(const std::vector<std::string>& paths, engine::UserDialogs& dialogs);

  // The filter dialog's patterns: "*.*" for all files; else "*.x" for each part x of the
  // extension list split at ",", blanks removed and empty parts dropped.
  std::vector<std::string> SearchPatterns() const;

  // ---- Texts ----
  const std::string& CountLabel() const { return countLabel_; }  // the label under the list
  const std::string& StatusBar() const { return statusBar_; }    // the status bar's one panel
  void SetLanguage(forms::Language language);

  // ---- Sorting ----
  const RenamerSort& Sort() const { return sort_; }
  // Header click: the column becomes the sort column (a second click flips the direction, another
  // column sorts ascending), the list is sorted and the preview recomputed.
  void ColumnClick(int column);
  // Negative, zero or positive for the current column and direction: texts without regard to
  // case in the user's locale, the size as a number.
  int Compare(const RenamerRow& a, const RenamerRow& b) const;

  // ---- Selection and removal ----
  void SetSelected(int row, bool selected);
  void SelectAll();  // Ctrl+A
  int SelectedCount() const;
  bool PopupAllowed() const { return SelectedCount() > 0; }
  void RemoveSelected();  // "Delete Selected", the list menu, the Delete key
  void RemoveAll();       // "Delete All"
  // The list menu's "Open corresponding Folder" and "Show File Information": the first selected
  // row's path, when a file exists there.
  std::optional<std::string> FirstSelectedExistingFile() const;
  // The list menu's "Copy to Clipboard": one selected row: its path when a file exists there;
  // several: every selected path in list order (a relative one with `programFolder` in front).
  std::vector<std::string> ClipboardFiles(const std::string& programFolder) const;

  // ---- Rule and preview ----
  RenameRule Rule() const { return RenameRule::FromForm(form_); }
  // The new path of a row by the rule, in the current order.
  std::string NewPathOf(int row) const;
  // The first selected row becomes the previewed file (nothing changes when no
  // row is selected); then UpdatePreview.
  void PreviewSelected();
  void SetPreviewedPath(const std::string& path);
  // Recomputes the preview; the row of the previewed path gives the number, row 0 when it is not
  // listed.
  void UpdatePreview();
  const RenamePreview& Preview() const { return preview_; }
  // A click on a placeholder label: the placeholder replaces the selection of the mask (or goes
  // in at the caret), the caret lands right after it, the preview is recomputed.
  void InsertPlaceholder(const std::string& placeholder);
  // The same by the label's control name (ctl::renamer::kNamePlaceholder and the three after
  // it); false for another name.
  bool ClickPlaceholderLabel(std::string_view labelName);

  // ---- The run ----
  // What a run would do now, row by row, without touching a file.
  std::vector<PlannedRename> Plan() const;
  // "Rename": renames every row's file by the rule, top to bottom. Rows whose file is gone are
  // skipped silently; a name taken by another file gives "File already exists", the
  // same name "Not Renamed", a name no file can have or a failed rename "Error" with the cause.
  // An existing file is never replaced. Before the first rename the journal is written; when it
  // cannot be, nothing is renamed. The progress window's cancel flag stops the run after the
  // current row. Afterwards the list is sorted again and the preview follows its file.
  RenameResult RenameFiles(engine::UserDialogs& dialogs);

  // ---- Undo and recovery ----
  // The journal of an interrupted run or undo, with each entry's state as the file system shows
  // it; nothing when there is none (or the last action completed).
  std::optional<JournalContents> PendingJournal(std::string* error = nullptr) const;
  // Whether the journal holds renames that can be undone.
  bool UndoAvailable() const;
  // "Undo last rename": gives every file the journal marks renamed its old name back, last
  // first, never replacing a file. The journal is removed when all came back.
  UndoResult UndoLastRename();
  // An interrupted run or undo: every renamed file back to its old name.
  UndoResult RollBack() { return UndoLastRename(); }
  // An interrupted run: renames what it had not renamed yet; an interrupted undo: completes it.
  RenameResult Finish();

  // ---- Notifications for a window ----
  std::function<void()> rowsChanged;
  std::function<void()> previewChanged;
  std::function<void()> textsChanged;  // count label or status bar
  std::function<void(bool enabled)> windowEnabled;
  std::function<void()> focusWindow;
  // Called after each rename of a run with the number renamed so far.
  std::function<void(int renamed)> afterRename;

private:
  void Insert(RenamerRow row);
  void SortRows();
  void SetStatusBar(std::string text);
  void UpdateCountLabel();
  void SetRowStatus(RenamerRow& row, RowStatus status, std::string cause = "");
  void MoveRow(const std::string& from, const std::string& to, RowStatus status);
  void AddFolderFiles(const std::string& folder, engine::UserDialogs& dialogs, bool endOfAction);
  void EnableWindow(bool enabled);
  std::string RunStatusText(int renamed, int failed) const;
  void Changed();

  forms::Form& form_;
  const forms::Form& filter_;
  forms::Language language_;
  std::string decimalSeparator_;
  RenameJournal journal_;
  std::vector<RenamerRow> rows_;
  RenamerSort sort_;
  std::string previewed_;
  RenamePreview preview_;
  std::string countLabel_;
  std::string statusBar_;
  std::shared_ptr<FileRenamer*> self_;  // the form's change handlers reach the model through it
};

}  // namespace renamer
