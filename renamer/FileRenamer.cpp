#include "renamer/FileRenamer.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>

#include "base/Paths.h"
#include "base/Text.h"
#include "forms/ControlNames.h"
#include "forms/MessageKeys.h"
#include "forms/Texts.h"
#include "renamer/SafeRename.h"

namespace renamer {

namespace {

using forms::Language;
namespace names = forms::ctl::renamer;
namespace filterNames = forms::ctl::renamerFilter;

// The row states and the status bar's texts; the counts follow a number.
struct RenamerTexts {
  const char* added;
  const char* renamed;
  const char* exists;
  const char* notRenamed;
  const char* error;
  const char* restored;
  const char* loaded;
  const char* filesRenamed;
  const char* notRenamedCount;
  const char* filesRestored;
  const char* notRestored;
};

RenamerTexts Texts(Language language) {
  const auto text = [language](const char* key) {
    const char* found = forms::FindText(language, forms::TextGroup::Renamer, key);
    return found != nullptr ? found : "";
  };
  return {text("added"),          text("renamed"),        text("exists"),
          text("not_renamed"),    text("error"),          text("restored"),
          text("loaded"),         text("files_renamed"),  text("files_not_renamed"),
          text("files_restored"), text("files_not_restored")};
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string TypeOf(const std::string& path) { return UpperAscii(base::ReplaceAll(base::ExtensionOf(path), ".", "")); }

// The folder of a path with its trailing "/"; empty for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Anything at the path, a dangling link included.
bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Why a new file name cannot be given to a file in its folder; empty when it can.
std::string NameProblem(const std::string& name) {
  if (name.empty()) return "The new name is empty";
  if (name.find('\0') != std::string::npos) return "The new name contains a zero byte";
  if (name.find('/') != std::string::npos) return "The new name contains \"/\"";
  if (name == "." || name == "..") return "The new name \"" + name + "\" names a folder";
  return "";
}

bool EndsWithNoCase(const std::string& name, const std::string& suffix) {
  return name.size() >= suffix.size() && base::EqualNoCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

// Whether a file name matches a pattern "*.*" (every name, with or without a dot) or "*.x" (the
// name ends in ".x", letter case ignored). Unlike the image search, a three-letter extension
// does not also find longer ones it begins ("*.tif" does not find "x.tiff"): the renamer changes
// the files it finds, so it takes exactly the extensions asked for.
bool MatchesPattern(const std::string& name, const std::string& pattern) {
  if (pattern == "*.*") return true;
  return EndsWithNoCase(name, pattern.substr(1));
}

// The files of a folder matching the patterns: subfolders first (recursively, in name order,
// links to folders not followed), then the folder's own files pattern by pattern. A file that
// two patterns match is collected once.
void Collect(const std::string& folder, const std::vector<std::string>& patterns, bool subfolders,
             std::vector<std::string>& found) {
  const std::vector<base::FolderEntry> entries = base::ListFolder(folder);
  if (subfolders)
    for (const base::FolderEntry& e : entries)
      if (e.folder) Collect(folder + e.name + "/", patterns, subfolders, found);
  std::vector<bool> taken(entries.size(), false);
  for (const std::string& pattern : patterns) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const base::FolderEntry& e = entries[i];
      if (taken[i] || e.folder || !MatchesPattern(e.name, pattern) || base::IsFolder(folder + e.name)) continue;
      taken[i] = true;
      found.push_back(folder + e.name);
    }
  }
}

// The journal keeps full paths; a row may hold a relative one.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.string();
}

int CompareNumbers(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

std::string StatusText(RowStatus status, const std::string& cause, Language language) {
  const RenamerTexts t = Texts(language);
  switch (status) {
    case RowStatus::Added: return t.added;
    case RowStatus::Renamed: return t.renamed;
    case RowStatus::Exists: return t.exists;
    case RowStatus::NotRenamed: return t.notRenamed;
    case RowStatus::Restored: return t.restored;
    case RowStatus::Error: return cause.empty() ? t.error : std::string(t.error) + ": " + cause;
  }
  return t.error;
}

const std::string& RenamerRow::Cell(int column) const {
  switch (column) {
    case 0: return name;
    case 1: return type;
    case 2: return size;
    case 3: return status;
    default: return path;
  }
}

FileRenamer::FileRenamer(forms::Form& renamerForm, const forms::Form& filterForm, Language language,
                         std::string decimalSeparator, std::string journalPath)
    : form_(renamerForm),
      filter_(filterForm),
      language_(language),
      decimalSeparator_(std::move(decimalSeparator)),
      journal_(std::move(journalPath)),
      self_(std::make_shared<FileRenamer*>(this)) {
  // Every control of the rule recomputes the preview when its value changes, whoever changed it.
  const std::weak_ptr<FileRenamer*> self = self_;
  for (const std::string_view name : {names::kMask, names::kFirstNumber, names::kSearchText, names::kReplacementText,
                                      names::kSearchAndReplace, names::kReplaceInName, names::kReplaceInExtension}) {
    form_.OnChange(name, [self](forms::Form&, forms::Control&) {
      if (const auto model = self.lock()) (*model)->UpdatePreview();
    });
  }
  UpdateCountLabel();
}

FileRenamer::~FileRenamer() = default;

void FileRenamer::Changed() {
  if (rowsChanged) rowsChanged();
}

void FileRenamer::EnableWindow(bool enabled) {
  if (windowEnabled) windowEnabled(enabled);
  if (enabled && focusWindow) focusWindow();
}

void FileRenamer::SetStatusBar(std::string text) {
  statusBar_ = std::move(text);
  if (textsChanged) textsChanged();
}

void FileRenamer::UpdateCountLabel() {
  countLabel_ = std::to_string(RowCount()) + Texts(language_).loaded;
  if (textsChanged) textsChanged();
}

void FileRenamer::SetLanguage(Language language) {
  language_ = language;
  for (RenamerRow& row : rows_) row.status = StatusText(row.state, row.cause, language_);
  UpdateCountLabel();
  Changed();
}

void FileRenamer::SetRowStatus(RenamerRow& row, RowStatus status, std::string cause) {
  row.state = status;
  row.cause = std::move(cause);
  row.status = StatusText(row.state, row.cause, language_);
}

// ---- Rows ----

bool FileRenamer::AddFile(const std::string& path, engine::UserDialogs& dialogs) {
  for (const RenamerRow& row : rows_) {
    if (row.path == path) {
      dialogs.ReportUnlessSilenced(forms::msg::kAlreadyInList, path);
      return false;
    }
  }
  const int before = RowCount();
  RenamerRow row;
  row.name = NameWithoutExtension(base::FileNameOf(path));
  row.type = TypeOf(path);
  row.size = base::KilobyteText(base::FileBytes(path), decimalSeparator_);
  row.path = path;
  SetRowStatus(row, RowStatus::Added);
  Insert(std::move(row));
  dialogs.ProcessEvents();
  SetStatusBar(std::to_string(before) + Texts(language_).loaded);
  return true;
}

void FileRenamer::Insert(RenamerRow row) {
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), row,
                                   [this](const RenamerRow& a, const RenamerRow& b) { return Compare(a, b) < 0; });
  rows_.insert(at, std::move(row));
  Changed();
}

std::vector<std::string> FileRenamer::SearchPatterns() const {
  if (filter_.Checked(filterNames::kAllFiles)) return {"*.*"};
  std::vector<std::string> patterns;
  for (const std::string& part : base::SplitAt(base::ReplaceAll(filter_.Text(filterNames::kExtensions), " ", ""), ','))
    if (!part.empty()) patterns.push_back("*." + part);
  return patterns;
}

void FileRenamer::AddFolder(const std::string& folder, engine::UserDialogs& dialogs) {
  AddFolderFiles(folder, dialogs, true);
}

void FileRenamer::AddFolderFiles(const std::string& folder, engine::UserDialogs& dialogs, bool endOfAction) {
  if (folder.empty() || !base::IsFolder(folder)) return;
  const std::vector<std::string> patterns = SearchPatterns();
  if (endOfAction) EnableWindow(false);
  std::vector<std::string> found;
  if (folder.find(".txt") == std::string::npos && !patterns.empty())
    Collect(folder.back() == '/' ? folder : folder + "/", patterns, form_.Checked(names::kSubfolders), found);
  for (const std::string& path : found)
    if (base::IsFile(path)) AddFile(path, dialogs);
  UpdateCountLabel();
  if (endOfAction) {
    EnableWindow(true);
    dialogs.Flags().showNoMore = false;
  }
}

void FileRenamer::AddTypedFolder(const std::string& text, engine::UserDialogs& dialogs) {
  if (base::IsFolder(text)) AddFolder(text, dialogs);
  else dialogs.Report(forms::msg::kFolderNotSearchable, text);
}

void FileRenamer::AddDropped(const std::vector<std::string>& paths, engine::UserDialogs& dialogs) {
  EnableWindow(false);
  int handled = 0;
  for (const std::string& path : paths) {
    if (base::IsFolder(path)) AddFolderFiles(path, dialogs, false);
    else AddFile(path, dialogs);
    dialogs.ProcessEvents();
    SetStatusBar(std::to_string(++handled) + Texts(language_).loaded);
  }
  UpdateCountLabel();
  EnableWindow(true);
  dialogs.Flags().showNoMore = false;
}

// ---- Sorting ----

void FileRenamer::SortRows() {
  std::stable_sort(rows_.begin(), rows_.end(), [this](const RenamerRow& a, const RenamerRow& b) { return Compare(a, b) < 0; });
  Changed();
}

void FileRenamer::ColumnClick(int column) {
  if (column < 0 || column >= kRenamerColumnCount) return;
  sort_.descending = column == sort_.column ? !sort_.descending : false;
  sort_.column = column;
  SortRows();
  UpdatePreview();
}

int FileRenamer::Compare(const RenamerRow& first, const RenamerRow& second) const {
  const RenamerRow& a = sort_.descending ? second : first;
  const RenamerRow& b = sort_.descending ? first : second;
  if (sort_.column == 2) {
    const auto number = [this](const std::string& cell) {
      return forms::ParseDecimalText(base::ReplaceAll(cell, " KB", ""), decimalSeparator_).value_or(0.0);
    };
    return CompareNumbers(number(a.size), number(b.size));
  }
  return base::CompareNoCase(a.Cell(sort_.column), b.Cell(sort_.column));
}

// ---- Selection and removal ----

void FileRenamer::SetSelected(int row, bool selected) {
  if (row >= 0 && row < RowCount()) rows_[static_cast<size_t>(row)].selected = selected;
}

void FileRenamer::SelectAll() {
  for (RenamerRow& row : rows_) row.selected = true;
}

int FileRenamer::SelectedCount() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const RenamerRow& r) { return r.selected; }));
}

void FileRenamer::RemoveSelected() {
  rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [](const RenamerRow& r) { return r.selected; }), rows_.end());
  UpdateCountLabel();
  Changed();
  // The numbers and the row count of the preview depend on the rows.
  UpdatePreview();
}

void FileRenamer::RemoveAll() {
  rows_.clear();
  UpdateCountLabel();
  Changed();
  UpdatePreview();
}

std::optional<std::string> FileRenamer::FirstSelectedExistingFile() const {
  for (const RenamerRow& row : rows_) {
    if (!row.selected) continue;
    if (base::IsFile(row.path)) return row.path;
    return std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::string> FileRenamer::ClipboardFiles(const std::string& programFolder) const {
  std::vector<std::string> files;
  if (SelectedCount() == 1) {
    if (auto path = FirstSelectedExistingFile()) files.push_back(*path);
    return files;
  }
  for (const RenamerRow& row : rows_)
    if (row.selected) files.push_back(!row.path.empty() && row.path.front() == '/' ? row.path : programFolder + row.path);
  return files;
}

// ---- Rule and preview ----

std::string FileRenamer::NewPathOf(int row) const {
  const std::string& path = rows_.at(static_cast<size_t>(row)).path;
  return FolderOf(path) + RenameName(base::FileNameOf(path), row, RowCount(), Rule());
}

void FileRenamer::PreviewSelected() {
  for (const RenamerRow& row : rows_) {
    if (!row.selected) continue;
    previewed_ = row.path;
    break;
  }
  UpdatePreview();
}

void FileRenamer::SetPreviewedPath(const std::string& path) {
  previewed_ = path;
  UpdatePreview();
}

void FileRenamer::UpdatePreview() {
  RenamePreview preview;
  preview.oldPath = previewed_;
  preview.oldName = base::FileNameOf(previewed_);
  if (!previewed_.empty()) {
    int row = 0;
    for (int r = 0; r < RowCount(); ++r) {
      if (rows_[static_cast<size_t>(r)].path == previewed_) {
        row = r;
        break;
      }
    }
    preview.newPath = FolderOf(previewed_) + RenameName(preview.oldName, row, RowCount(), Rule());
    preview.newName = base::FileNameOf(preview.newPath);
  }
  preview_ = std::move(preview);
  if (previewChanged) previewChanged();
}

void FileRenamer::InsertPlaceholder(const std::string& placeholder) {
  const forms::Control& mask = form_.Get(names::kMask);
  const size_t start = std::min(mask.selStart, mask.text.size());
  const size_t length = std::min(mask.selLength, mask.text.size() - start);
  std::string text = mask.text;
  text.replace(start, length, placeholder);
  form_.SetText(names::kMask, text);
  form_.SetSelection(names::kMask, start + placeholder.size(), 0);
  UpdatePreview();
}

bool FileRenamer::ClickPlaceholderLabel(std::string_view labelName) {
  static constexpr std::pair<std::string_view, const char*> kLabels[] = {{names::kNamePlaceholder, "%name%"},
                                                                        {names::kNumberPlaceholder, "%num%"},
                                                                        {names::kZeroNumberPlaceholder, "%0num%"},
                                                                        {names::kTotalPlaceholder, "%abs%"}};
  for (const auto& [label, placeholder] : kLabels) {
    if (labelName != label) continue;
    InsertPlaceholder(placeholder);
    return true;
  }
  return false;
}

// ---- The run ----

std::vector<PlannedRename> FileRenamer::Plan() const {
  std::vector<PlannedRename> plan;
  const RenameRule rule = Rule();
  for (int r = 0; r < RowCount(); ++r) {
    PlannedRename p;
    p.row = r;
    p.from = rows_[static_cast<size_t>(r)].path;
    const std::string name = RenameName(base::FileNameOf(p.from), r, RowCount(), rule);
    p.to = FolderOf(p.from) + name;
    p.cause = NameProblem(name);
    if (!base::IsFile(p.from)) p.vanished = true;
    else if (!p.cause.empty()) p.outcome = RowStatus::Error;
    else if (Exists(p.to)) p.outcome = p.to == p.from ? RowStatus::NotRenamed : RowStatus::Exists;
    plan.push_back(std::move(p));
  }
  return plan;
}

std::string FileRenamer::RunStatusText(int renamed, int failed) const {
  const RenamerTexts t = Texts(language_);
  std::string text = std::to_string(renamed) + t.filesRenamed;
  if (failed > 0) text += " (" + std::to_string(failed) + t.notRenamedCount + ")";
  return text;
}

RenameResult FileRenamer::RenameFiles(engine::UserDialogs& dialogs) {
  RenameResult result;
  if (rows_.empty()) return result;
  EnableWindow(false);

  // The journal lists every rename the run may do, numbered; rows without one get -1.
  const std::vector<PlannedRename> plan = Plan();
  std::vector<JournalEntry> entries;
  std::vector<int> entryOfRow(rows_.size(), -1);
  for (const PlannedRename& p : plan) {
    if (p.vanished || p.outcome == RowStatus::Error || p.outcome == RowStatus::NotRenamed) continue;
    entryOfRow[static_cast<size_t>(p.row)] = static_cast<int>(entries.size());
    entries.push_back({p.from, p.to, JournalEntry::State::Old});
  }
  bool journalStarted = false;
  const int previewedRow = [this] {
    for (int r = 0; r < RowCount(); ++r)
      if (rows_[static_cast<size_t>(r)].path == previewed_) return r;
    return -1;
  }();

  const RenameRule rule = Rule();
  const int count = RowCount();
  for (int r = 0; r < count; ++r) {
    RenamerRow& row = rows_[static_cast<size_t>(r)];
    const std::string from = row.path;
    if (!base::IsFile(from)) continue;
    const std::string name = RenameName(base::FileNameOf(from), r, count, rule);
    const std::string to = FolderOf(from) + name;
    if (std::string problem = NameProblem(name); !problem.empty()) {
      ++result.failed;
      SetRowStatus(row, RowStatus::Error, std::move(problem));
    } else if (Exists(to)) {
      ++result.failed;
      SetRowStatus(row, to != from ? RowStatus::Exists : RowStatus::NotRenamed);
    } else {
      const int entry = entryOfRow[static_cast<size_t>(r)];
      std::string error;
      if (entry < 0 || entries[static_cast<size_t>(entry)].to != to) {
        error = "the new name was not planned";  // the rows cannot change during the run
      } else if (!journalStarted) {
        result.journalError = journal_.Start(entries);
        journalStarted = result.journalError.empty();
      }
      if (!result.journalError.empty()) break;
      if (error.empty()) result.journalError = journal_.Mark("try", entry);
      if (!result.journalError.empty()) break;
      if (error.empty()) error = RenameNoReplace(from, to);
      if (!error.empty()) {
        ++result.failed;
        SetRowStatus(row, RowStatus::Error, std::move(error));
      } else {
        ++result.renamed;
        row.name = base::FileNameOf(to);
        row.type = TypeOf(to);
        row.path = to;
        SetRowStatus(row, RowStatus::Renamed);
        result.journalError = journal_.Mark("done", entry);
        if (afterRename) afterRename(result.renamed);
      }
    }
    SetStatusBar(RunStatusText(result.renamed, result.failed));
    Changed();
    if (!result.journalError.empty()) break;
    dialogs.ProcessEvents();
    if (dialogs.Flags().cancelProgress) {
      dialogs.Flags().cancelProgress = false;
      result.cancelled = true;
      break;
    }
  }
  if (journalStarted && result.journalError.empty()) result.journalError = journal_.Mark("end");

  const std::string followed = previewedRow >= 0 ? rows_[static_cast<size_t>(previewedRow)].path : previewed_;
  SortRows();
  previewed_ = followed;
  UpdatePreview();
  EnableWindow(true);
  return result;
}

// ---- Undo and recovery ----

std::optional<JournalContents> FileRenamer::PendingJournal(std::string* error) const {
  std::optional<JournalContents> contents = journal_.Read(error);
  if (!contents || !contents->Interrupted()) return std::nullopt;
  for (JournalEntry& e : contents->entries) e.state = Resolve(e);
  return contents;
}

bool FileRenamer::UndoAvailable() const {
  const std::optional<JournalContents> contents = journal_.Read();
  if (!contents) return false;
  return std::any_of(contents->entries.begin(), contents->entries.end(),
                     [](const JournalEntry& e) { return Resolve(e) == JournalEntry::State::New; });
}

void FileRenamer::MoveRow(const std::string& from, const std::string& to, RowStatus status) {
  for (RenamerRow& row : rows_) {
    if (row.path != from && Absolute(row.path) != from) continue;
    row.path = to;
    row.name = status == RowStatus::Restored ? NameWithoutExtension(base::FileNameOf(to)) : base::FileNameOf(to);
    row.type = TypeOf(to);
    SetRowStatus(row, status);
  }
  if (previewed_ == from || (!previewed_.empty() && Absolute(previewed_) == from)) previewed_ = to;
}

UndoResult FileRenamer::UndoLastRename() {
  UndoResult result;
  std::string readError;
  std::optional<JournalContents> contents = journal_.Read(&readError);
  if (!contents) {
    result.nothingToUndo = readError.empty();
    result.journalError = readError;
    return result;
  }
  using State = JournalEntry::State;
  auto& entries = contents->entries;
  for (JournalEntry& e : entries) e.state = Resolve(e);
  if (std::none_of(entries.begin(), entries.end(), [](const JournalEntry& e) { return e.state == State::New; })) {
    result.nothingToUndo = true;
    result.journalError = journal_.Remove();
    return result;
  }
  EnableWindow(false);
  result.journalError = journal_.Mark("undo");
  for (size_t i = entries.size(); i-- > 0 && result.journalError.empty();) {
    const JournalEntry& e = entries[i];
    if (e.state != State::New) continue;
    if (auto problem = EntryProblem(e, e.to)) {
      result.skipped.emplace_back(e.to, *problem);
      continue;
    }
    std::string error;
    if (!Exists(e.to)) error = "The renamed file is gone";
    else if (Exists(e.from)) error = "Another file has the old name now";
    if (error.empty()) {
      result.journalError = journal_.Mark("untry", static_cast<int>(i));
      if (!result.journalError.empty()) break;
      error = RenameNoReplace(e.to, e.from);
    }
    if (!error.empty()) {
      ++result.failed;
      result.failures.emplace_back(e.to, error);
      continue;
    }
    ++result.restored;
    MoveRow(e.to, e.from, RowStatus::Restored);
    result.journalError = journal_.Mark("undone", static_cast<int>(i));
  }
  // A journal with files still to bring back stays, so that the undo can be tried again.
  if (result.failed == 0 && result.journalError.empty()) result.journalError = journal_.Remove();
  const RenamerTexts t = Texts(language_);
  std::string text = std::to_string(result.restored) + t.filesRestored;
  const size_t notRestored = static_cast<size_t>(result.failed) + result.skipped.size();
  if (notRestored > 0) text += " (" + std::to_string(notRestored) + t.notRestored + ")";
  SetStatusBar(text);
  SortRows();
  UpdatePreview();
  EnableWindow(true);
  return result;
}

RenameResult FileRenamer::Finish() {
  RenameResult result;
  std::optional<JournalContents> contents = journal_.Read(&result.journalError);
  if (!contents || !contents->Interrupted()) return result;
  if (contents->undoing) {
    const UndoResult undo = UndoLastRename();
    result.failed = undo.failed;
    result.skipped = undo.skipped;
    result.journalError = undo.journalError;
    return result;
  }
  using State = JournalEntry::State;
  EnableWindow(false);
  for (size_t i = 0; i < contents->entries.size() && result.journalError.empty(); ++i) {
    const JournalEntry& e = contents->entries[i];
    if (Resolve(e) != State::Old || !Exists(e.from)) continue;
    if (auto problem = EntryProblem(e, e.from)) {
      result.skipped.emplace_back(e.from, *problem);
      continue;
    }
    std::string error;
    if (Exists(e.to)) error = "File already exists";
    if (error.empty()) {
      result.journalError = journal_.Mark("try", static_cast<int>(i));
      if (!result.journalError.empty()) break;
      error = RenameNoReplace(e.from, e.to);
    }
    if (!error.empty()) {
      ++result.failed;
      for (RenamerRow& row : rows_)
        if (row.path == e.from || Absolute(row.path) == e.from) SetRowStatus(row, RowStatus::Error, error);
      continue;
    }
    ++result.renamed;
    MoveRow(e.from, e.to, RowStatus::Renamed);
    result.journalError = journal_.Mark("done", static_cast<int>(i));
  }
  if (result.journalError.empty()) result.journalError = journal_.Mark("end");
  SetStatusBar(RunStatusText(result.renamed, result.failed + static_cast<int>(result.skipped.size())));
  SortRows();
  UpdatePreview();
  EnableWindow(true);
  return result;
}

}  // namespace renamer
