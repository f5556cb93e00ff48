// What the window's commands ask of the list: one refresh per drop or search, the folder
// chooser flow of "Open Folder..", and the desktop calls of the pop-up menu.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ImageFiles.h"
#include "tests/support/ScriptedDialogs.h"
#include "forms/MainForm.h"
#include "forms/FolderFilterForm.h"
#include "imagelist/List.h"
#include "imagelist/ListServices.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

namespace {

using imagelist::ImageList;

void WriteBitmap(const std::filesystem::path& path) {
  imaging::Image image;
  ASSERT_TRUE(imaging::CreateImage(2, 2, imaging::PixelFormat::A8R8G8B8, image));
  ASSERT_TRUE(engine::SaveImageFile(path.string(), image));
}

TEST(ListCommands, OneRefreshPerDropOrSearch) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir / "f1");
  std::filesystem::create_directories(dir / "f2");
  for (const char* name : {"f1/a.bmp", "f1/b.bmp", "f2/c.bmp", "d.bmp"}) WriteBitmap(dir / name);
  const forms::Form filter = forms::CreateFolderFilterForm();
  ImageList list(forms::Language::English, ".");
  engine::ScriptedDialogs dialogs;
  int refreshes = 0;
  list.rowsChanged = [&] { ++refreshes; };
  list.AddDropped({(dir / "f1").string(), (dir / "f2").string(), (dir / "d.bmp").string()}, filter, dialogs);
  EXPECT_EQ(list.RowCount(), 4);
  EXPECT_EQ(refreshes, 1);
  list.RemoveAll();
  list.AddFolder((dir / "f1").string(), filter, dialogs);
  EXPECT_EQ(refreshes, 3);
  list.AddFiles({(dir / "d.bmp").string(), (dir / "f2/c.bmp").string()}, dialogs);
  EXPECT_EQ(refreshes, 4);
  // A drop that adds nothing refreshes nothing.
  list.AddDropped({(dir / "d.bmp").string()}, filter, dialogs);
  EXPECT_EQ(refreshes, 4);
}

TEST(ListCommands, BreakDuringTheFirstFolderOfADropEndsOnlyThatSearch) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir / "f1");
  std::filesystem::create_directories(dir / "f2");
  for (const char* name : {"f1/a.bmp", "f1/b.bmp", "f1/c.bmp", "f2/d.bmp", "e.bmp"}) WriteBitmap(dir / name);
  const forms::Form filter = forms::CreateFolderFilterForm();
  ImageList list(forms::Language::English, ".");
  list.SetReadInBackground(false);
  engine::ScriptedDialogs dialogs;
  dialogs.breakDuringFile = 1;  // one press of Break while the first folder is searched
  list.AddDropped({(dir / "f1").string(), (dir / "f2").string(), (dir / "e.bmp").string()}, filter, dialogs);
  // The search of f1 stops after the file in progress and clears the request; the drop goes on
  // with the second folder and the file, and the window is usable again.
  std::vector<std::string> names;
  for (const auto& row : list.Rows()) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "d", "e"}));
  EXPECT_FALSE(dialogs.Flags().cancelProgress);
  EXPECT_TRUE(dialogs.mainWindowEnabled);
  EXPECT_FALSE(dialogs.progressVisible);
}

TEST(ListCommands, OpenFolderSearchesTheTypedFolderWhenTheChooserIsCancelled) {
  testsupport::TempDir dir;
  WriteBitmap(dir / "a.bmp");
  const forms::Form filter = forms::CreateFolderFilterForm();
  forms::Form mainForm = forms::CreateMainForm();
  engine::ScriptedDialogs dialogs;
  ImageList list(forms::Language::English, ".");
  std::vector<std::string> starts;
  const auto cancel = [&](const std::string& start) {
    starts.push_back(start);
    return std::string();
  };

  mainForm.SetText("inp_ordner", dir.Path().string());
  list.OpenFolder(mainForm, filter, cancel, dialogs);
  EXPECT_EQ(starts.back(), dir.Path().string());
  EXPECT_EQ(mainForm.Text("inp_ordner"), dir.Path().string());
  EXPECT_EQ(list.RowCount(), 1);

  // Not a folder path: the chooser opens at home, cancelling gives the text back, no search.
  mainForm.SetText("inp_ordner", "relative");
  list.OpenFolder(mainForm, filter, cancel, dialogs);
  EXPECT_EQ(starts.back(), "");
  EXPECT_EQ(mainForm.Text("inp_ordner"), "relative");

  list.RemoveAll();
  list.OpenFolder(mainForm, filter, [&](const std::string&) { return dir.Path().string(); }, dialogs);
  EXPECT_EQ(mainForm.Text("inp_ordner"), dir.Path().string());
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_TRUE(dialogs.messages.empty());
}

struct RecordingDesktop : imagelist::DesktopServices {
  bool fileManager = true;
  std::vector<std::pair<std::string, std::vector<std::string>>> calls;
  std::vector<std::string> opened;
  std::vector<std::pair<std::string, std::string>> clipboard;
  bool CallFileManager(const std::string& method, const std::vector<std::string>& uris) override {
    calls.emplace_back(method, uris);
    return fileManager;
  }
  void OpenUri(const std::string& uri) override { opened.push_back(uri); }
  void SetClipboard(const std::vector<std::pair<std::string, std::string>>& formats) override { clipboard = formats; }
};

TEST(ListCommands, PopUpMenuCallsTheDesktop) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir / "my pics");
  WriteBitmap(dir / "my pics/a b.bmp");
  WriteBitmap(dir / "c.bmp");
  engine::ScriptedDialogs dialogs;
  ImageList list(forms::Language::English, ".");
  const std::string ab = (dir / "my pics/a b.bmp").string(), c = (dir / "c.bmp").string();
  list.AddFiles({ab, c}, dialogs);
  const std::string abUri = "file://" + dir.Path().string() + "/my%20pics/a%20b.bmp";
  EXPECT_EQ(imagelist::FileUri(ab), abUri);

  RecordingDesktop desktop;
  imagelist::OpenContainingFolder(list, desktop);  // nothing selected
  EXPECT_TRUE(desktop.calls.empty());
  list.SetSelected(0, true);
  imagelist::OpenContainingFolder(list, desktop);
  imagelist::ShowFileInformation(list, desktop);
  ASSERT_EQ(desktop.calls.size(), 2u);
  EXPECT_EQ(desktop.calls[0], (std::pair<std::string, std::vector<std::string>>{"ShowItems", {abUri}}));
  EXPECT_EQ(desktop.calls[1].first, "ShowItemProperties");
  desktop.fileManager = false;
  imagelist::OpenContainingFolder(list, desktop);
  EXPECT_EQ(desktop.opened, std::vector<std::string>{"file://" + dir.Path().string() + "/my%20pics/"});

  list.SetSelected(1, true);
  imagelist::CopySelectedToClipboard(list, "/prog/", desktop);
  const std::string cUri = imagelist::FileUri(c);
  ASSERT_EQ(desktop.clipboard.size(), 3u);
  EXPECT_EQ(desktop.clipboard[0], (std::pair<std::string, std::string>{"text/uri-list", abUri + "\r\n" + cUri + "\r\n"}));
  EXPECT_EQ(desktop.clipboard[1],
            (std::pair<std::string, std::string>{"x-special/gnome-copied-files", "copy\n" + abUri + "\n" + cUri}));
}

}  // namespace
