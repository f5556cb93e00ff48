// The record of a rename run that makes it undoable and lets an interrupted run be rolled back
// or finished. Before the first rename the run writes every planned rename (old and new path) to
// a new journal and makes it durable; around each rename it appends a line and syncs it. "Undo"
// renames back, in reverse order, what the journal marks done.
//
// The file is text, one record a line; paths are written with "\\", tab and line breaks
// escaped:
//   vexilo rename journal 1
//   plan <old path> TAB <new path>     (one per planned rename, numbered from 0)
//   try <i>      the rename of entry i is about to happen
//   done <i>     entry i has its new name
//   end          the run is complete
//   undo         renaming back has begun
//   untry <i>    entry i is about to get its old name back
//   undone <i>   entry i has its old name again
// A journal whose last "end" or "undo" is not an "end" belongs to an interrupted action.
// It is removed once everything it records has been renamed back.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace renamer {

struct JournalEntry {
  std::string from;  // the old path
  std::string to;    // the new path
  // Where the file stands by the journal. Between "try" and "done" (or "untry" and "undone")
  // the journal cannot tell; the file system decides (Resolve).
  enum class State { Old, New, MaybeNew, MaybeOld } state = State::Old;
};

struct JournalContents {
  std::vector<JournalEntry> entries;
  bool ended = false;     // the last phase mark is "end"
  bool undoing = false;   // the last phase mark is "undo"
  bool Interrupted() const { return !ended; }
};

// Why undo and finish must leave an entry alone; nothing when they may act on it. They move only
// what a rename run can have moved: a regular file or a symbolic link (`current`, the path to be
// renamed now) to another name in the same folder, both paths absolute. A hand-edited or damaged
// journal could otherwise move a folder, or a file into another folder. A `current` that is
// missing is left to the caller.
std::optional<std::string> EntryProblem(const JournalEntry& entry, const std::string& current);

// Where an uncertain entry stands: the file system shows whether the rename in question
// happened. Entries with a settled state stay as they are.
JournalEntry::State Resolve(const JournalEntry& entry);

class RenameJournal {
public:
  // The journal beside the settings: SettingsFolder() + "rename-journal".
  static std::string DefaultPath();

  explicit RenameJournal(std::string path = DefaultPath()) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // Reads the journal: nothing when there is none; an error text in `error` when it cannot be
  // read or is not a journal. A last line without its line break (cut off by a crash) is ignored.
  std::optional<JournalContents> Read(std::string* error = nullptr) const;

  // Replaces any earlier journal by a new one holding the plan; the new journal is complete and
  // durable (file and folder synced) before this returns. The folder is created when missing.
  // Returns an error text, empty on success.
  std::string Start(const std::vector<JournalEntry>& plan);
  // Appends one record and syncs it. Returns an error text, empty on success.
  std::string Mark(const std::string& word, int index = -1);
  // Removes the journal (and syncs the folder).
  std::string Remove();

private:
  std::string path_;
};

}  // namespace renamer
