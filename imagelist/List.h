// The image list of the main window's first page as a model: its rows, adding files with the
// duplicate and format tests, the icon cache, the counter label, sorting, removing rows, the
// clipboard file list and the folder search. The conversion run reads its rows from it. The
// window shows the rows and calls these operations; messages and progress go through
// UserDialogs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/ConversionRun.h"
#include "forms/Form.h"
#include "forms/Language.h"
#include "engine/UserDialogs.h"

namespace imagelist {

class HeaderPool;
struct HeaderResult;

// One row; every cell is text.
struct ImageListEntry {
  std::string name;    // column 0, the row caption: the file name without its extension text
  std::string type;    // column 1: the extension without dots, in upper case
  std::string width;   // column 2: pixels
  std::string height;  // column 3: pixels
  std::string size;    // column 4: kilobytes with three decimals and " KB"
  std::string path;    // column 5: the full path as given; what the run reads
  // The path with links, "." and ".." resolved (the path as given when it cannot be): two rows
  // never name one file, however they spell it. The row's DuplicateKey, kept from its adding.
  std::string realPath;
  int icon = -1;       // index into the window's icon list
  bool selected = false;
  bool pending = false;  // width and height (and an icon's size) wait for the header read
  // The orientation the header states (not a column: width and height are the stored ones); the
  // preview turns the size by it as the run turns the picture.
  int32_t orientation = 1;
  // The frames of an animation or pages of a multi-page file, from the header (not a column);
  // the preview line shows them.
  int32_t frames = 1;
  uint64_t headerRead = 0;  // which read fills a pending row

  const std::string& Cell(int column) const;
};

inline constexpr int kColumnCount = 6;

// Sort state, kept for the program's lifetime.
struct SortState {
  int column = 0;
  bool descending = false;
  int lastClicked = 0;
};

// The size cell of a byte count: kilobytes (1024 bytes) with exactly three decimals and the
// given decimal separator, followed by " KB" ("123.457 KB", "123,457 KB").
std::string SizeText(uint64_t bytes, const std::string& decimalSeparator);

// The counter label: "1 Image", "0 Images", "7 Images" ("1 Bild", "7 Bilder").
std::string CounterText(int count, forms::Language language);

// What the duplicate test compares: two paths name the same row when their keys are equal. The
// key is the path with every link, "." and ".." resolved (the path itself when that fails), so
// two spellings of one file are one row; letter case counts.
std::string DuplicateKey(const std::string& path);

// What a view of the list hears around every change of its rows, so that it keeps its own
// state (selection, current row, scroll position) in step. Each "AboutTo" call comes before the
// rows change and its partner right after, as item views expect.
class RowObserver {
public:
  virtual ~RowObserver() = default;
  // Rows first..last (inclusive, in the new numbering) are inserted.
  virtual void RowsAboutToBeInserted(int first, int last) = 0;
  virtual void RowsInserted() = 0;
  // Rows first..last are removed.
  virtual void RowsAboutToBeRemoved(int first, int last) = 0;
  virtual void RowsRemoved() = 0;
  // The rows change places (and may change cells); `newRow[old]` is each row's new index.
  virtual void RowsAboutToMove() = 0;
  virtual void RowsMoved(const std::vector<int>& newRow) = 0;
  // Anything may change (many scattered rows removed).
  virtual void RowsAboutToBeReset() = 0;
  virtual void RowsReset() = 0;
  // Cells of rows first..last were filled in place.
  virtual void CellsChanged(int first, int last) = 0;
};

// The open dialog's filter entries (description, patterns separated by ";") in the language:
// the German descriptions with "Bilder", "Bild" and "Alle lesbaren Dateien" turned into the
// language's own words (special texts, forms/Texts.h).
struct FilterEntry {
  std::string description;
  std::string patterns;
};
std::vector<FilterEntry> OpenDialogFilter(forms::Language language);

class ImageList : public engine::ImageRows {
public:
  explicit ImageList(forms::Language language, std::string decimalSeparator = forms::UserDecimalSeparator());
  ~ImageList() override;
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;

  // ---- Rows ----
  // The rows in their places. During a bulk update the files added wait aside, unsorted, until
  // PlaceArrived (or the end of the bulk update) puts them in their places at once.
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  std::string RowPath(int row) const override { return rows_[static_cast<size_t>(row)].path; }
  const std::vector<ImageListEntry>& Rows() const { return rows_; }

  // Adds one file. Refused at once with a message (unless show-no-more is set): a file already
  // listed under this or another spelling of its path ("dateischoninliste", also while it
  // waits to be placed), anything that is not a regular file (a folder, a device, a named pipe,
  // a socket: never opened, so a pipe cannot block the list) or content no codec accepts
  // ("formatfehler", with the cause).
  // Icons and cursors are not tested by content. Width and height come from the file's header,
  // not from its pixels; with background reads (the default) the row is added at once with
  // these cells empty and `pending` set, and a file whose header cannot be read leaves the list
  // with "formatfehler" when CollectHeaderResults meets it. The row takes its place in the
  // current sort order (inside a bulk update once it is placed). The counter label is left to
  // the caller. Returns whether a row was added.
  bool AddFile(const std::string& path, engine::UserDialogs& dialogs);

  // When false, AddFile reads no headers: width and height read "0" and icons and cursors
  // show their size on disk. For front ends that never show the cells.
  void SetReadImages(bool read) { readImages_ = read; }
  // When false, AddFile reads the header on the calling thread before it returns, and refuses
  // a file whose header cannot be read at once.
  void SetReadInBackground(bool background) { background_ = background; }

  // Whether a row, placed or waiting, names the file at `path` (compared by DuplicateKey).
  bool Holds(const std::string& path) const;

  // ---- Header reads on the pool ----
  // On the list's thread: fills the rows whose headers have arrived (each announced through
  // rowFilled; a row whose sort cell changed moves to its place in the sort order, behind the
  // rows equal to it), removes and reports the files whose headers cannot be read
  // ("formatfehler", silent when they were added while messages were silenced), and decodes on
  // this thread the few formats that have no header reader. All results waiting are settled
  // in one pass over the rows; the messages come after the rows have changed, one at a time
  // even when a message lets events through. Updates the counter label when rows left. Returns
  // the number of rows settled.
  int CollectHeaderResults(engine::UserDialogs& dialogs);
  // Waits for every header read in flight, then collects.
  int WaitForHeaders(engine::UserDialogs& dialogs);
  // Header reads not yet collected.
  int PendingHeaders() const;
  // Called on a pool thread whenever a result waits; the owner then arranges for
  // CollectHeaderResults to run on its own thread. Set before adding files.
  void SetHeaderReadyCallback(std::function<void()> ready);

  // Files chosen in the open dialog: each added in order, then the counter label updated. The
  // show-no-more flag is neither set nor cleared.
  void AddFiles(const std::vector<std::string>& paths, engine::UserDialogs& dialogs);

  // Searches the folder with the folder-search filter's settings (extension set and subfolders)
  // and adds every file found that still exists, with the progress window, cancel after the
  // current file, and all messages silenced for the search. Nothing happens for an empty text
  // or a path that is not a folder, and nothing is searched when the folder text contains
  // ".txt".
  void AddFolder(const std::string& folder, const forms::Form& folderFilter, engine::UserDialogs& dialogs);

  // "Open Folder.." (button and menu item): `choose` shows the folder chooser at a start folder
  // (empty: the home folder) and returns the chosen folder, empty when cancelled. A text of the
  // folder box (ctl::kSourceFolder) that is no acceptable folder path opens the chooser at home
  // and is replaced by the choice; an acceptable one opens it there and is replaced only by a
  // choice. Then a non-empty text is searched; an empty one gets the previous text back.
  void OpenFolder(forms::Form& mainForm, const forms::Form& folderFilter,
                  const std::function<std::string(const std::string& start)>& choose, engine::UserDialogs& dialogs);

  // Enter in the folder box: searches the folder, or shows "ordnerfalschopen" with the text.
  void AddTypedFolder(const std::string& text, const forms::Form& folderFilter, engine::UserDialogs& dialogs);

  // Files and folders dropped onto the main window, in drop order, under the progress window;
  // the counter label is updated once and show-no-more cleared at the end.
  void AddDropped(const std::vector<std::string>& paths, const forms::Form& folderFilter, engine::UserDialogs& dialogs);

  // ---- Icons ----
  // The icon index of the path's extension (the extension without dots in upper case is the
  // key). A new key asks the icon provider to append the icon of this file
  // to the icon list and stores the key at the index it returns; without a provider the index
  // is the number of keys. The cache lives as long as the list.
  int IconIndex(const std::string& path);
  void SetIconProvider(std::function<int(const std::string& path)> provider) { iconProvider_ = std::move(provider); }
  // The key of each icon-list entry; entries the list did not ask for have none.
  const std::vector<std::optional<std::string>>& IconKeys() const { return iconKeys_; }

  const std::string& DecimalSeparator() const { return decimalSeparator_; }

  // ---- The counter label under the list ----
  void UpdateCounterLabel();
  const std::string& CounterLabel() const { return counterLabel_; }
  // The language switch: later texts and the counter label in the language.
  void SetLanguage(forms::Language language);

  // ---- Sorting ----
  const SortState& Sort() const { return sort_; }
  // Header click: the column becomes the sort column; a second click on the same column flips
  // the direction, another column sorts ascending; then the whole list is sorted.
  void SortByColumn(int column);
  // Negative, zero or positive, for the current sort column and direction: name, type and path
  // as text without regard to case (the user's locale), width and height as integers (0 when
  // not an integer), size as a decimal number in the list's locale.
  int Compare(const ImageListEntry& a, const ImageListEntry& b) const;

  // ---- Selection and removal ----
  void SetSelected(int row, bool selected);
  void SelectAll();  // Ctrl+A
  int SelectedCount() const;
  // Removes the selected rows (from the last to the first), updates the counter label.
  void RemoveSelected();
  // Removes all rows, updates the counter label; the icon cache stays.
  void RemoveAll();

  // The list menu's "Open corresponding Folder" and "Show File Information": the first selected
  // row's path, when a file exists there.
  std::optional<std::string> FirstSelectedExistingFile() const;
  // The list menu's "Copy to Clipboard": the files for the clipboard. One selected row: its
  // path, when a file exists there. Several: every selected path in list order, without a test;
  // a relative path gets `programFolder` in front.
  std::vector<std::string> ClipboardFiles(const std::string& programFolder) const;

  // Called after every change of the rows (added, removed, sorted), for a window that shows
  // them; inside a bulk update once, at its end. Drops, folder searches and the open dialog
  // are bulk updates.
  std::function<void()> rowsChanged;
  // The view told about every change of the placed rows, row by row; none when null. It must
  // outlive the list or be unset first.
  void SetRowObserver(RowObserver* observer) { observer_ = observer; }
  // Called for every row as it is added, with its path, also inside a bulk update: the order
  // in which files arrived, whatever the list's sort order.
  std::function<void(const std::string& path)> rowAdded;
  // Inside a bulk update added files wait aside and are placed together, in one merge into
  // the sorted rows; the end of the outermost bulk update places them.
  void BeginBulkUpdate() { ++bulkDepth_; }
  void EndBulkUpdate();
  bool InBulkUpdate() const { return bulkDepth_ > 0; }
  // Puts the files added so far in a bulk update into their places, as if each had been
  // inserted on its own in the order they came (behind the rows equal to it). A window calls it
  // now and then during a long search, so that the rows and the count appear as they arrive.
  void PlaceArrived();
  int ArrivedCount() const { return static_cast<int>(arrived_.size()); }
  // Called for every file refused as "formatfehler", with the cause, and whether the message
  // was shown (a folder search silences its messages): a front end that must account for every
  // file (the command line) reports the silent ones itself.
  std::function<void(const std::string& path, const std::string& cause, bool reported)> fileRefused;
  // Called by CollectHeaderResults for every row whose width and height were filled.
  std::function<void(const std::string& path)> rowFilled;

private:
  // A file whose header could not be read, waiting to be reported.
  struct Refusal {
    std::string path;
    std::string cause;
    bool silenced = false;
  };
  void Refuse(const std::string& path, const std::string& cause, engine::UserDialogs& dialogs);
  void ReportRefusals(engine::UserDialogs& dialogs);
  void Insert(ImageListEntry entry);
  // Puts the rows in the order `order` gives (order[k] is the old index of the row that goes
  // to k), telling the observer.
  void Reorder(const std::vector<int>& order);
  // Fills a pending row from its read; returns the cause when it still cannot be filled.
  std::string Settle(ImageListEntry& entry, const HeaderResult& result);
  bool Less(const ImageListEntry& a, const ImageListEntry& b) const { return Compare(a, b) < 0; }
  void Changed();
  void Fill(ImageListEntry& entry, int32_t width, int32_t height, bool icon, int32_t orientation = 1,
            int32_t frames = 1);
  void ReadNow(ImageListEntry& entry, bool icon, const std::string& extension);
  HeaderPool& Pool();

  forms::Language language_;
  std::string decimalSeparator_;
  std::vector<ImageListEntry> rows_;
  std::vector<ImageListEntry> arrived_;      // added in a bulk update, not yet placed
  std::unordered_set<std::string> listed_;   // DuplicateKey of every row, placed or waiting
  RowObserver* observer_ = nullptr;
  std::deque<Refusal> refusals_;
  bool reporting_ = false;
  std::vector<std::optional<std::string>> iconKeys_;
  std::function<int(const std::string&)> iconProvider_;
  std::string counterLabel_;
  SortState sort_;
  bool readImages_ = true;
  int bulkDepth_ = 0;
  bool changedInBulk_ = false;
  bool background_ = true;
  uint64_t nextSerial_ = 0;
  std::function<void()> headerReady_;
  std::unique_ptr<HeaderPool> pool_;  // last: its threads stop before the rest goes
};

}  // namespace imagelist
