// The renamer's list, preview, run and journal against a temporary folder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "forms/MessageKeys.h"
#include "tests/support/ScriptedDialogs.h"
#include "forms/RenamerForms.h"
#include "renamer/FileRenamer.h"
#include "renamer/SafeRename.h"
#include "tests/support/TestSupport.h"

namespace msg = forms::msg;

namespace fs = std::filesystem;

namespace {

using renamer::RowStatus;

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in a folder (not recursive), sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Renamer : public ::testing::Test {
protected:
  Renamer()
      : form(forms::CreateRenamerForm()),
        filter(forms::CreateRenamerFilterForm()),
        files(dir / "files"),
        journal((dir / "settings" / "rename-journal").string()) {
    fs::create_directories(files);
    forms::ApplyRenamerLanguage(form, forms::Language::English);
  }

  renamer::FileRenamer Model() { return renamer::FileRenamer(form, filter, forms::Language::English, ".", journal); }

  // Files with their own name as content, added to the model.
  void AddFiles(renamer::FileRenamer& model, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      WriteText(files / name, name);
      model.AddFile((files / name).string(), dialogs);
    }
  }

  std::vector<std::string> Statuses(const renamer::FileRenamer& model) {
    std::vector<std::string> statuses;
    for (const auto& row : model.Rows()) statuses.push_back(row.status);
    return statuses;
  }

  testsupport::TempDir dir;
  forms::Form form;
  forms::Form filter;
  fs::path files;
  std::string journal;
  engine::ScriptedDialogs dialogs;
};

TEST_F(Renamer, NumbersTheFilesAndSaysWhyOthersStay) {
  renamer::FileRenamer model = Model();
  AddFiles(model, {"c.jpg", "a.jpg", "b.jpg"});
  EXPECT_EQ(model.StatusBar(), "2 files loaded");  // the rows before the last one
  form.SetText("maske", "%num%");
  const renamer::RenameResult first = model.RenameFiles(dialogs);
  EXPECT_EQ(first.renamed, 3);
  EXPECT_EQ(Names(files), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg"}));
  EXPECT_EQ(ReadText(files / "1.jpg"), "a.jpg");  // numbered in the list's order
  EXPECT_EQ(Statuses(model), std::vector<std::string>(3, "Renamed"));
  EXPECT_EQ(model.Rows()[0].name, "1.jpg");
  EXPECT_EQ(model.Rows()[0].type, "JPG");
  EXPECT_EQ(model.StatusBar(), "3 files renamed");

  const renamer::RenameResult second = model.RenameFiles(dialogs);
  EXPECT_EQ(second.failed, 3);
  EXPECT_EQ(Statuses(model), std::vector<std::string>(3, "Not Renamed"));
  EXPECT_EQ(model.StatusBar(), "0 files renamed (3 files could not be renamed)");
}

TEST_F(Renamer, NeverReplacesAFileAndSkipsVanishedOnes) {
  renamer::FileRenamer model = Model();
  AddFiles(model, {"a.txt", "b.txt", "c.txt"});
  WriteText(files / "2.txt", "keep me");  // the name b.txt would get
  fs::remove(files / "c.txt");
  form.SetText("maske", "%num%");
  const renamer::RenameResult result = model.RenameFiles(dialogs);
  EXPECT_EQ(result.renamed, 1);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(ReadText(files / "2.txt"), "keep me");
  EXPECT_EQ(ReadText(files / "b.txt"), "b.txt");
  EXPECT_EQ(Statuses(model), (std::vector<std::string>{"Renamed", "File already exists", "Added"}));
  EXPECT_EQ(model.StatusBar(), "1 files renamed (1 files could not be renamed)");

  // The fallback for file systems without RENAME_NOREPLACE does not replace either.
  EXPECT_EQ(renamer::RenameByLink((files / "b.txt").string(), (files / "2.txt").string()), "File exists");
  EXPECT_EQ(ReadText(files / "2.txt"), "keep me");
  EXPECT_EQ(renamer::RenameByLink((files / "b.txt").string(), (files / "B.txt").string()), "");
  EXPECT_FALSE(fs::exists(files / "b.txt"));
  EXPECT_EQ(ReadText(files / "B.txt"), "b.txt");
  EXPECT_EQ(renamer::RenameNoReplace((files / "B.txt").string(), (files / "2.txt").string()), "File exists");
}

TEST_F(Renamer, NamesNoFileCanHaveFailWithTheirCause) {
  fs::create_directories(files / "sub");
  const struct {
    std::string mask;
    const char* cause;
  } cases[] = {
      {"sub/%name%", "Error: The new name contains \"/\""},            // would move the file into sub
      {std::string("x\0y", 3), "Error: The new name contains a zero byte"},  // would cut the name short
      {"", "Error: The new name is empty"},
      {"..", "Error: The new name \"..\" names a folder"},
  };
  for (const auto& c : cases) {
    renamer::FileRenamer model = Model();
    AddFiles(model, {"README"});
    form.SetText("maske", c.mask);
    const renamer::RenameResult result = model.RenameFiles(dialogs);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(model.Rows()[0].status, c.cause);
    EXPECT_EQ(model.Rows()[0].state, RowStatus::Error);
    EXPECT_EQ(Names(files), (std::vector<std::string>{"README", "sub"}));
    EXPECT_TRUE(fs::is_empty(files / "sub"));
  }
}

TEST_F(Renamer, PreviewFollowsTheRuleTheRowAndTheFile) {
  renamer::FileRenamer model = Model();
  int previews = 0;
  model.previewChanged = [&] { ++previews; };
  AddFiles(model, {"a.jpg", "b.jpg", "c.jpg"});
  EXPECT_EQ(model.Preview().newPath, "");
  model.SetSelected(1, true);
  model.PreviewSelected();
  EXPECT_EQ(model.Preview().oldName, "b.jpg");
  EXPECT_EQ(model.Preview().newPath, (files / "b.jpg").string());

  // Any change of a rule control recomputes it, whoever makes it.
  form.SetText("maske", "");
  form.Type("maske", "%num%");
  EXPECT_EQ(model.Preview().newName, "2.jpg");
  form.Click("suchenersetzen");
  form.SetText("suchenalt", "2");
  form.SetText("suchenneu", "two");
  EXPECT_EQ(model.Preview().newName, "two.jpg");
  form.Click("suchenersetzen");
  form.SetText("numstart", "10");
  EXPECT_EQ(model.Preview().newName, "11.jpg");

  // A placeholder replaces the selection and leaves the caret after it.
  form.SetSelection("maske", 0, 5);
  model.ClickPlaceholderLabel("Label12");
  EXPECT_EQ(form.Text("maske"), "%0num%");
  EXPECT_EQ(form.Get("maske").selStart, 6u);
  model.ClickPlaceholderLabel("Label9");
  EXPECT_EQ(form.Text("maske"), "%0num%%abs%");
  EXPECT_EQ(model.Preview().newName, "113.jpg");

  // Sorting moves the row, and with it the number.
  model.ColumnClick(0);  // the name column again: descending
  EXPECT_TRUE(model.Sort().descending);
  EXPECT_EQ(model.Rows()[0].name, "c");
  EXPECT_EQ(model.Preview().newName, "113.jpg");
  model.ColumnClick(0);
  form.SetText("maske", "%num%");
  model.SetPreviewedPath("/elsewhere/not-listed.png");  // row 0
  EXPECT_EQ(model.Preview().newPath, "/elsewhere/10.png");

  // After a run the preview shows the previewed file under its new name.
  model.SetPreviewedPath((files / "c.jpg").string());
  WriteText(files / "11.jpg", "in the way");  // b cannot become 11.jpg
  model.RenameFiles(dialogs);
  EXPECT_EQ(model.Preview().oldPath, (files / "12.jpg").string());
  EXPECT_GT(previews, 10);
}

TEST_F(Renamer, ListSortsSizesAsNumbersAndRemovesRows) {
  renamer::FileRenamer model = Model();
  AddFiles(model, {"big.dat", "small.dat", "mid.dat"});
  fs::resize_file(files / "big.dat", 900 * 1024);
  fs::resize_file(files / "small.dat", 99 * 1024);
  fs::resize_file(files / "mid.dat", 120 * 1024);
  model.RemoveAll();
  for (const char* name : {"big.dat", "small.dat", "mid.dat"}) model.AddFile((files / name).string(), dialogs);
  model.ColumnClick(2);
  std::vector<std::string> sizes;
  for (const auto& row : model.Rows()) sizes.push_back(row.size);
  EXPECT_EQ(sizes, (std::vector<std::string>{"99.000 KB", "120.000 KB", "900.000 KB"}));
  EXPECT_EQ(model.Rows()[0].type, "DAT");

  EXPECT_FALSE(model.PopupAllowed());
  model.SetSelected(0, true);
  model.SetSelected(2, true);
  EXPECT_TRUE(model.PopupAllowed());
  model.RemoveSelected();
  ASSERT_EQ(model.RowCount(), 1);
  EXPECT_EQ(model.Rows()[0].name, "mid");
  EXPECT_EQ(model.CountLabel(), "1 files loaded");
}

TEST_F(Renamer, FolderSearchTakesTheFilterAsGiven) {
  for (const char* name : {"a.JPG", "b.png", "c.jpgx", "d.tiff", "README", "sub/e.jpg", "notes.txt/f.jpg"}) {
    fs::create_directories((files / name).parent_path());
    WriteText(files / name, name);
  }
  renamer::FileRenamer model = Model();
  const auto paths = [&] {
    std::vector<std::string> list;
    for (const auto& row : model.Rows()) list.push_back(fs::path(row.path).lexically_relative(files).string());
    std::sort(list.begin(), list.end());
    return list;
  };

  EXPECT_EQ(model.SearchPatterns(), std::vector<std::string>{"*.*"});
  model.AddFolder(files.string(), dialogs);  // names without a dot too
  EXPECT_EQ(paths(), (std::vector<std::string>{"README", "a.JPG", "b.png", "c.jpgx", "d.tiff", "notes.txt/f.jpg", "sub/e.jpg"}));
  EXPECT_TRUE(dialogs.messages.empty());

  model.RemoveAll();
  filter.SetChecked("auswahl", true);
  filter.SetText("filter", " jpg, ,png,,tif ");
  EXPECT_EQ(model.SearchPatterns(), (std::vector<std::string>{"*.jpg", "*.png", "*.tif"}));
  form.SetChecked("uv", false);
  model.AddFolder(files.string(), dialogs);  // no short-name matching: .jpgx and .tiff stay out
  EXPECT_EQ(paths(), (std::vector<std::string>{"a.JPG", "b.png"}));

  model.RemoveAll();
  model.AddFolder((files / "notes.txt").string(), dialogs);
  EXPECT_EQ(model.RowCount(), 0);
  model.AddTypedFolder((files / "missing").string(), dialogs);
  EXPECT_EQ(dialogs.MessageKeys(), std::vector<std::string>{"ordnerfalschopen"});
}

TEST_F(Renamer, OkForAllHoldsForOneWholeDrop) {
  renamer::FileRenamer model = Model();
  AddFiles(model, {"a.txt"});
  fs::create_directories(files / "more");
  WriteText(files / "more" / "x.txt", "x");
  const std::string a = (files / "a.txt").string();
  dialogs.messageAnswers = {engine::MessageButton::OKForAll};
  // A folder inside the drop does not end the drop's silence.
  model.AddDropped({a, (files / "more").string(), a, a}, dialogs);
  EXPECT_EQ(dialogs.MessageKeys(), std::vector<std::string>{msg::kAlreadyInList});
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(model.StatusBar(), "4 files loaded");
  EXPECT_FALSE(dialogs.Flags().showNoMore);
  model.AddDropped({a}, dialogs);
  EXPECT_EQ(dialogs.MessageKeys().size(), 2u);
}

// A run killed after two of four renames, as by a power loss: the journal tells, and rolling
// back restores exactly the original names; finishing instead completes the run.
TEST_F(Renamer, InterruptedRunRollsBackOrFinishesFromTheJournal) {
  for (bool rollBack : {true, false}) {
    fs::remove_all(files);
    fs::create_directories(files);
    fs::remove_all(dir / "settings");
    const std::vector<std::string> original = {"a.txt", "b.txt", "c.txt", "d.txt"};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      renamer::FileRenamer model = Model();
      AddFiles(model, original);
      form.SetText("maske", "new%num%");
      model.afterRename = [](int renamed) {
        if (renamed == 2) _exit(9);
      };
      model.RenameFiles(dialogs);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    EXPECT_EQ(Names(files), (std::vector<std::string>{"c.txt", "d.txt", "new1.txt", "new2.txt"}));

    renamer::FileRenamer model = Model();
    const auto pending = model.PendingJournal();
    ASSERT_TRUE(pending.has_value());
    ASSERT_EQ(pending->entries.size(), 4u);
    EXPECT_EQ(pending->entries[1].state, renamer::JournalEntry::State::New);
    EXPECT_EQ(pending->entries[2].state, renamer::JournalEntry::State::Old);
    if (rollBack) {
      const renamer::UndoResult undo = model.RollBack();
      EXPECT_EQ(undo.restored, 2);
      EXPECT_EQ(Names(files), original);
      for (const std::string& name : original) EXPECT_EQ(ReadText(files / name), name);
      EXPECT_FALSE(fs::exists(journal));
    } else {
      const renamer::RenameResult finish = model.Finish();
      EXPECT_EQ(finish.renamed, 2);
      EXPECT_EQ(Names(files), (std::vector<std::string>{"new1.txt", "new2.txt", "new3.txt", "new4.txt"}));
      EXPECT_EQ(ReadText(files / "new4.txt"), "d.txt");
      EXPECT_FALSE(model.PendingJournal().has_value());
      EXPECT_EQ(model.UndoLastRename().restored, 4);
      EXPECT_EQ(Names(files), original);
    }
  }
}

TEST_F(Renamer, UndoGivesBackTheOldNamesWithoutReplacingAnything) {
  renamer::FileRenamer model = Model();
  AddFiles(model, {"a.txt", "b.txt", "c.txt"});
  form.SetText("maske", "%name%%name%");
  EXPECT_FALSE(model.UndoAvailable());
  model.RenameFiles(dialogs);
  EXPECT_TRUE(model.UndoAvailable());
  EXPECT_FALSE(model.PendingJournal().has_value());
  WriteText(files / "b.txt", "a newcomer");  // takes an old name meanwhile

  renamer::UndoResult undo = model.UndoLastRename();
  EXPECT_EQ(undo.restored, 2);
  ASSERT_EQ(undo.failed, 1);
  EXPECT_EQ(undo.failures[0].first, (files / "bb.txt").string());
  EXPECT_EQ(ReadText(files / "b.txt"), "a newcomer");
  EXPECT_EQ(ReadText(files / "a.txt"), "a.txt");
  EXPECT_EQ(model.StatusBar(), "2 files restored (1 files could not be restored)");
  EXPECT_EQ(model.Rows()[0].path, (files / "a.txt").string());
  EXPECT_EQ(model.Rows()[0].status, "Restored");

  // The journal stays until everything is back.
  fs::remove(files / "b.txt");
  undo = model.UndoLastRename();
  EXPECT_EQ(undo.restored, 1);
  EXPECT_EQ(ReadText(files / "b.txt"), "b.txt");
  EXPECT_TRUE(model.UndoLastRename().nothingToUndo);
}

TEST_F(Renamer, JournalDecidesAnUncertainRenameByTheFiles) {
  // Cut off between "try" and "done", and in the middle of a line.
  WriteText(files / "b.txt", "renamed");
  fs::create_directories(dir / "settings");
  const std::string a = (files / "a.txt").string(), b = (files / "b.txt").string();
  WriteText(journal, "vexilo rename journal 1\nplan " + a + "\t" + b + "\ntry 0\ndon");
  renamer::FileRenamer model = Model();
  const auto pending = model.PendingJournal();
  ASSERT_TRUE(pending.has_value());
  EXPECT_EQ(pending->entries[0].state, renamer::JournalEntry::State::New);
  EXPECT_EQ(model.RollBack().restored, 1);
  EXPECT_EQ(ReadText(files / "a.txt"), "renamed");

  // Paths with line breaks and tabs survive the journal.
  const std::string odd = (files / "tab\there\nnew line").string();
  WriteText(odd, "odd");
  AddFiles(model, {});
  model.AddFile(odd, dialogs);
  form.SetText("maske", "plain");
  model.RenameFiles(dialogs);
  EXPECT_TRUE(fs::exists(files / "plain"));
  EXPECT_EQ(model.UndoLastRename().restored, 1);
  EXPECT_EQ(ReadText(odd), "odd");

  WriteText(journal, "not a journal\n");
  std::string error;
  EXPECT_FALSE(model.PendingJournal(&error).has_value());
  EXPECT_NE(error.find("damaged"), std::string::npos);
}

// A hand-edited journal moves nothing a rename could not have moved: undo and finish act only on
// two absolute paths in one folder whose current file is a file or a link; the rest is
// reported and left alone, and does not keep the journal.
TEST_F(Renamer, UndoAndFinishActOnlyOnRenamesWithinOneFolder) {
  fs::create_directories(dir / "settings");
  fs::create_directories(dir / "elsewhere");
  fs::create_directories(files / "folder");
  WriteText(files / "secret", "secret");
  WriteText(files / "mine.new", "mine");
  const std::string f = files.string() + "/";
  struct Case {
    const char* what;
    std::string from, to;
    bool acted;
  };
  const Case cases[] = {
      {"a folder", f + "folder-old", f + "folder", false},
      {"into another folder", (dir / "elsewhere/secret").string(), f + "secret", false},
      {"a relative path", "mine.old", "mine.new", false},
      {"a parent step", f + "..", f + "up", false},
      {"a rename within the folder", f + "mine.old", f + "mine.new", true},
  };
  std::string plan = "vexilo rename journal 1\n";
  for (const Case& c : cases) plan += "plan " + c.from + "\t" + c.to + "\n";
  for (size_t i = 0; i < std::size(cases); ++i) plan += "done " + std::to_string(i) + "\n";
  WriteText(journal, plan + "end\n");
  renamer::FileRenamer model = Model();
  const renamer::UndoResult undo = model.UndoLastRename();
  EXPECT_EQ(undo.restored, 1);
  EXPECT_EQ(undo.skipped.size(), std::size(cases) - 1);
  for (const Case& c : cases) {
    const bool skipped = std::any_of(undo.skipped.begin(), undo.skipped.end(),
                                     [&](const auto& s) { return s.first == c.to; });
    EXPECT_EQ(skipped, !c.acted) << c.what;
  }
  EXPECT_TRUE(fs::is_directory(files / "folder"));
  EXPECT_EQ(ReadText(files / "secret"), "secret");
  EXPECT_EQ(ReadText(files / "mine.old"), "mine");
  EXPECT_FALSE(fs::exists(journal)) << "nothing could ever undo the rest";

  // Finishing an interrupted run: the same test on the file to be renamed now.
  WriteText(journal, "vexilo rename journal 1\nplan " + f + "folder\t" + f + "folder2\nplan " + f + "secret\t" +
                         (dir / "elsewhere/secret").string() + "\nplan " + f + "mine.old\t" + f + "mine2\n");
  const renamer::RenameResult finished = model.Finish();
  EXPECT_EQ(finished.renamed, 1);
  EXPECT_EQ(finished.skipped.size(), 2u);
  EXPECT_TRUE(fs::is_directory(files / "folder"));
  EXPECT_FALSE(fs::exists(dir / "elsewhere/secret"));
  EXPECT_EQ(ReadText(files / "mine2"), "mine");
}

TEST_F(Renamer, NoJournalNoRename) {
  WriteText(dir / "settings", "a file where the settings folder should be");
  renamer::FileRenamer model = Model();
  AddFiles(model, {"a.txt"});
  form.SetText("maske", "b");
  const renamer::RenameResult result = model.RenameFiles(dialogs);
  EXPECT_FALSE(result.journalError.empty());
  EXPECT_EQ(result.renamed, 0);
  EXPECT_TRUE(fs::exists(files / "a.txt"));
  EXPECT_FALSE(fs::exists(files / "b.txt"));
}

}  // namespace
