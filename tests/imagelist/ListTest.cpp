// The image list model: rows and their cells, the duplicate and format tests with and without
// "OK for all", sorting, removing rows, the clipboard list, the folder search and its order,
// drops, and the run reading its rows from the list.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "forms/MessageKeys.h"
#include "config/Configuration.h"
#include "engine/ConversionRun.h"
#include "imagelist/FolderSearch.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "imagelist/List.h"
#include "imaging/Codec.h"
#include "imaging/PixelFormats.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"
#include "forms/FolderFilterForm.h"

namespace msg = forms::msg;

namespace {

using forms::Language;
using imagelist::ImageList;
using imagelist::ImageListEntry;
using engine::MessageButton;
using engine::ScriptedDialogs;

// Writes an image of the size through the codec of the path's extension (icons included).
void WriteImage(const std::filesystem::path& path, int width, int height) {
  imaging::Image image;
  ASSERT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) imaging::SetPixel32(image, x, y, imaging::MakeColor32(255, 10, 20, 30));
  ASSERT_TRUE(engine::SaveImageFile(path.string(), image)) << path;
}

// A bitmap's content under any name.
void WriteBitmapAs(const std::filesystem::path& path, int width, int height) {
  const std::filesystem::path temp = path.string() + ".tmp.bmp";
  WriteImage(temp, width, height);
  std::filesystem::rename(temp, path);
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  testsupport::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> Column(const ImageList& list, int column) {
  std::vector<std::string> cells;
  for (const ImageListEntry& row : list.Rows()) cells.push_back(row.Cell(column));
  return cells;
}

std::string Relative(const testsupport::TempDir& dir, const std::string& path) {
  return path.substr(dir.Path().string().size() + 1);
}

TEST(ImageList, RowsHoldNameTypeSizeAndPath) {
  testsupport::TempDir dir;
  WriteImage(dir / "image.bmp.bmp", 64, 48);
  WriteBitmapAs(dir / "really a bitmap.png", 10, 20);
  WriteImage(dir / "icon.ico", 32, 32);
  WriteBitmapAs(dir / "README", 3, 2);  // no extension: a bitmap by content
  ImageList list(Language::English, ",");
  list.SetReadInBackground(false);
  int provided = 0;
  list.SetIconProvider([&](const std::string&) { return provided++ * 2; });  // gaps in the icon list
  ScriptedDialogs dialogs;
  for (const char* name : {"image.bmp.bmp", "really a bitmap.png", "icon.ico", "README"})
    EXPECT_TRUE(list.AddFile((dir / name).string(), dialogs)) << name;
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(list.CounterLabel(), "0 Images");  // AddFile leaves the label to its callers

  ASSERT_EQ(list.RowCount(), 4);
  // Sorted by name, ascending, without regard to case.
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"icon", "image", "README", "really a bitmap"}));
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"ICO", "BMP", "", "PNG"}));
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"32", "64", "3", "10"}));
  EXPECT_EQ(Column(list, 3), (std::vector<std::string>{"32", "48", "2", "20"}));
  EXPECT_EQ(list.Rows()[0].size, "4,000 KB");  // the decoded icon: 32 x 32 x 4 bytes
  const auto onDisk = std::filesystem::file_size(dir / "image.bmp.bmp");
  EXPECT_EQ(list.Rows()[1].size, imagelist::SizeText(onDisk, ","));
  EXPECT_EQ(list.Rows()[1].path, (dir / "image.bmp.bmp").string());
  EXPECT_EQ(list.RowPath(3), (dir / "really a bitmap.png").string());
  using Key = std::optional<std::string>;
  EXPECT_EQ(list.IconKeys(), (std::vector<Key>{"BMP", std::nullopt, "PNG", std::nullopt, "ICO", std::nullopt, ""}));
  EXPECT_EQ(list.Rows()[2].icon, 6);
  EXPECT_EQ(list.Rows()[1].icon, 0);
  EXPECT_EQ(list.Rows()[0].icon, 4);

  EXPECT_EQ(imagelist::SizeText(126421, "."), "123.458 KB");
  EXPECT_EQ(imagelist::SizeText(0, "."), "0.000 KB");
  EXPECT_EQ(imagelist::SizeText(1024, ","), "1,000 KB");
  EXPECT_EQ(imagelist::CounterText(1, Language::English), "1 Image");
  EXPECT_EQ(imagelist::CounterText(1, Language::German), "1 Bild");
  EXPECT_EQ(imagelist::CounterText(0, Language::German), "0 Bilder");
}

TEST(ImageList, DuplicatesAndUnsupportedFilesWithAndWithoutOkForAll) {
  testsupport::TempDir dir;
  WriteImage(dir / "x.bmp", 4, 4);
  WriteImage(dir / "X.bmp", 4, 4);
  WriteText(dir / "text.jpg", "not an image at all");
  WriteText(dir / "broken.ico", "no icon either");
  const std::string x = (dir / "x.bmp").string(), bigX = (dir / "X.bmp").string();
  const std::string text = (dir / "text.jpg").string(), icon = (dir / "broken.ico").string();
  const std::string missing = (dir / "missing.bmp").string();

  struct Step {
    std::string path;
    bool added;
  };
  const std::vector<Step> steps = {{x, true},      {x, false},    {bigX, true}, {text, false},
                                   {icon, false},  {missing, false}, {x, false}};
  struct Case {
    const char* name;
    std::deque<MessageButton> answers;
    std::vector<std::string> shown;  // message keys, in order
  };
  const std::vector<Case> cases = {
      {"OK each time",
       {},
       {msg::kAlreadyInList, msg::kFormatNotSupported, msg::kFormatNotSupported, msg::kFormatNotSupported,
        msg::kAlreadyInList}},
      {"OK for all on the first", {MessageButton::OKForAll}, {msg::kAlreadyInList}},
      {"OK for all on the third", {MessageButton::OK, MessageButton::OK, MessageButton::OKForAll},
       {msg::kAlreadyInList, msg::kFormatNotSupported, msg::kFormatNotSupported}},
  };
  for (const Case& c : cases) {
    ImageList list(Language::English, ".");
    list.SetReadInBackground(false);
    ScriptedDialogs dialogs;
    dialogs.messageAnswers = c.answers;
    for (const Step& step : steps) EXPECT_EQ(list.AddFile(step.path, dialogs), step.added) << c.name << " " << step.path;
    EXPECT_EQ(dialogs.MessageKeys(), c.shown) << c.name;
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages[0].detail, x);
    EXPECT_EQ(list.RowCount(), 2) << c.name;  // x.bmp and X.bmp are two files
  }
}

// Only regular files are listed, and each once whatever the spelling of its path: a named pipe
// or a folder given as a file is refused with its cause before anything opens it (a pipe would
// block the reader), and another spelling of a listed file ("./", a linked folder, a link to
// it) is a duplicate.
TEST(ImageList, OnlyRegularFilesAndOneRowPerFile) {
  testsupport::TempDir dir;
  WriteImage(dir / "x.bmp", 4, 4);
  std::filesystem::create_directory_symlink(dir.Path(), dir / "linked");
  std::filesystem::create_symlink(dir / "x.bmp", dir / "alias.bmp");
  std::filesystem::create_directory(dir / "folder.bmp");
  const std::string pipe = (dir / "pipe.bmp").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Should anything open the pipe, a writer lets it go after a while, and the test fails on time.
  std::atomic<bool> done = false;
  std::thread writer([&] {
    for (int i = 0; i < 200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
  });
  ImageList list(Language::English, ".");
  list.SetReadInBackground(false);
  ScriptedDialogs dialogs;
  const auto started = std::chrono::steady_clock::now();
  struct Step {
    std::string path;
    bool added;
    const char* key;    // the message shown, none when added
    const char* cause;  // a part of its cause
  };
  const Step steps[] = {
      {pipe, false, msg::kFormatNotSupported, "is not a regular file (a named pipe)"},
      {(dir / "folder.bmp").string(), false, msg::kFormatNotSupported, "is not a regular file (a folder)"},
      {(dir / "x.bmp").string(), true, nullptr, ""},
      {(dir / "./x.bmp").string(), false, msg::kAlreadyInList, ""},
      {(dir / "linked/x.bmp").string(), false, msg::kAlreadyInList, ""},
      {(dir / "alias.bmp").string(), false, msg::kAlreadyInList, ""},
  };
  for (const Step& step : steps) {
    dialogs.messages.clear();
    EXPECT_EQ(list.AddFile(step.path, dialogs), step.added) << step.path;
    if (!step.key) {
      EXPECT_TRUE(dialogs.messages.empty()) << step.path;
      continue;
    }
    ASSERT_EQ(dialogs.messages.size(), 1u) << step.path;
    EXPECT_EQ(dialogs.messages[0].key, step.key) << step.path;
    EXPECT_NE(dialogs.messages[0].cause.find(step.cause), std::string::npos) << dialogs.messages[0].cause;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "something waited on the pipe";
  done = true;
  writer.join();
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_TRUE(list.Holds((dir / "linked/./x.bmp").string()));
}

TEST(ImageList, SortingComparesNumbersAsNumbers) {
  ImageList list(Language::English, ",");
  list.SetReadInBackground(false);
  const auto row = [](const char* name, const char* width, const char* size) {
    ImageListEntry e;
    e.name = name;
    e.width = width;
    e.size = size;
    return e;
  };
  struct Case {
    int column;
    ImageListEntry a, b;
    int sign;  // of compare(a, b), ascending
  };
  const std::vector<Case> cases = {
      {2, row("", "640", ""), row("", "1024", ""), -1},
      {2, row("", "abc", ""), row("", "-1", ""), 1},  // not an integer counts as 0
      {2, row("", "$10", ""), row("", "16", ""), 0},
      {4, row("", "", "9,500 KB"), row("", "", "10,000 KB"), -1},
      {4, row("", "", "123,457 KB"), row("", "", "123,456 KB"), 1},
      {0, row("apple", "", ""), row("Banana", "", ""), -1},
      {0, row("B", "", ""), row("a", "", ""), 1},
  };
  for (const Case& c : cases) {
    ImageList sorted(Language::English, ",");
    sorted.SetReadInBackground(false);
    sorted.SortByColumn(c.column);
    if (sorted.Sort().descending) sorted.SortByColumn(c.column);
    const int result = sorted.Compare(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << "column " << c.column << " " << c.a.Cell(c.column);
  }

  // Header clicks on real rows.
  testsupport::TempDir dir;
  WriteImage(dir / "a.bmp", 1024, 2);
  WriteImage(dir / "b.bmp", 640, 4);
  WriteImage(dir / "C.bmp", 80, 1);
  WriteBitmapAs(dir / "d.bmp", 100, 1);
  ScriptedDialogs dialogs;
  for (const char* name : {"a.bmp", "b.bmp", "C.bmp", "d.bmp"}) list.AddFile((dir / name).string(), dialogs);
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"a", "b", "C", "d"}));
  list.SortByColumn(2);
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"80", "100", "640", "1024"}));
  list.SortByColumn(2);
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"1024", "640", "100", "80"}));
  EXPECT_TRUE(list.Sort().descending);
  // A new row takes its place in the current order.
  WriteImage(dir / "e.bmp", 700, 1);
  list.AddFile((dir / "e.bmp").string(), dialogs);
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"1024", "700", "640", "100", "80"}));
  list.SortByColumn(4);
  EXPECT_FALSE(list.Sort().descending);
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"C", "d", "e", "a", "b"}));  // by size on disk
  list.SortByColumn(0);
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"a", "b", "C", "d", "e"}));
  // The first click on the name column at start flips it, since it is the last clicked one.
  ImageList fresh(Language::English, ".");
  fresh.SetReadInBackground(false);
  fresh.SortByColumn(0);
  EXPECT_TRUE(fresh.Sort().descending);
}

TEST(ImageList, RemovingRowsSelectionAndClipboard) {
  testsupport::TempDir dir;
  ImageList list(Language::English, ".");
  list.SetReadInBackground(false);
  ScriptedDialogs dialogs;
  std::vector<std::string> paths;
  for (int i = 0; i < 10; ++i) {
    paths.push_back((dir / ("f" + std::to_string(i) + ".bmp")).string());
    WriteImage(paths.back(), 2, 2);
  }
  list.AddFiles(paths, dialogs);
  EXPECT_EQ(list.CounterLabel(), "10 Images");
  for (int row : {1, 4, 9}) list.SetSelected(row, true);
  EXPECT_EQ(list.ClipboardFiles("/prog/"), (std::vector<std::string>{paths[1], paths[4], paths[9]}));
  list.RemoveSelected();
  EXPECT_EQ(list.RowCount(), 7);
  EXPECT_EQ(list.CounterLabel(), "7 Images");
  EXPECT_EQ(list.SelectedCount(), 0);
  EXPECT_EQ(list.ClipboardFiles("/prog/"), std::vector<std::string>{});

  // One selected row: only when its file still exists. Several: without a test.
  list.SetSelected(0, true);
  EXPECT_EQ(list.FirstSelectedExistingFile(), paths[0]);
  std::filesystem::remove(paths[0]);
  EXPECT_EQ(list.ClipboardFiles("/prog/"), std::vector<std::string>{});
  EXPECT_EQ(list.FirstSelectedExistingFile(), std::nullopt);
  list.SetSelected(1, true);
  EXPECT_EQ(list.ClipboardFiles("/prog/"), (std::vector<std::string>{paths[0], paths[2]}));

  list.SelectAll();
  EXPECT_EQ(list.SelectedCount(), 7);
  list.SetLanguage(Language::German);
  EXPECT_EQ(list.CounterLabel(), "7 Bilder");
  list.RemoveAll();
  EXPECT_EQ(list.CounterLabel(), "0 Bilder");
  EXPECT_EQ(list.IconKeys(), std::vector<std::optional<std::string>>{"BMP"});  // the icon cache stays

  // A relative path among several gets the program folder in front.
  ImageList relative(Language::English, ".");
  relative.SetReadInBackground(false);
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  WriteImage("rel.bmp", 2, 2);
  relative.AddFile("rel.bmp", dialogs);
  relative.AddFile(paths[3], dialogs);
  std::filesystem::current_path(cwd);
  relative.SelectAll();
  EXPECT_EQ(relative.ClipboardFiles("/prog/"), (std::vector<std::string>{paths[3], "/prog/rel.bmp"}));
}

// A folder tree for the searches:
//   photo.JPG  photo2.jpeg  a.bmp  Z.BMP  pic.tga  notes.txt  folder.bmp/  sub/x.png  sub/deeper/y.dib
//   w/v.bmp
void MakeTree(const testsupport::TempDir& dir) {
  std::filesystem::create_directories(dir / "sub/deeper");
  std::filesystem::create_directories(dir / "w");
  std::filesystem::create_directories(dir / "folder.bmp");
  WriteBitmapAs(dir / "photo.JPG", 2, 2);
  WriteBitmapAs(dir / "photo2.jpeg", 2, 2);
  WriteImage(dir / "a.bmp", 2, 2);
  WriteBitmapAs(dir / "Z.BMP", 2, 2);
  WriteImage(dir / "pic.tga", 2, 2);
  WriteText(dir / "notes.txt", "x");
  WriteBitmapAs(dir / "sub/x.png", 2, 2);
  WriteBitmapAs(dir / "sub/deeper/y.dib", 2, 2);
  WriteImage(dir / "w/v.bmp", 2, 2);
}

TEST(FolderSearch, SubfoldersFirstThenExtensionGroupsInSetOrder) {
  testsupport::TempDir dir;
  MakeTree(dir);
  forms::Form filter = forms::CreateFolderFilterForm();
  const auto collect = [&](bool subfolders) {
    std::vector<std::string> relative;
    for (const std::string& p : imagelist::CollectImageFiles(dir.Path().string(), forms::SearchExtensions(filter), subfolders))
      relative.push_back(Relative(dir, p));
    return relative;
  };
  // All formats: .bmp, .dib, .jpg, .cur, .jfif, .jpe, ..., .tga; ".jpeg" is not among them, but
  // ".jpe" finds it as a short extension would.
  EXPECT_EQ(collect(true), (std::vector<std::string>{"sub/deeper/y.dib", "sub/x.png", "w/v.bmp", "Z.BMP", "a.bmp",
                                                     "photo.JPG", "photo2.jpeg", "pic.tga"}));
  EXPECT_EQ(collect(false), (std::vector<std::string>{"Z.BMP", "a.bmp", "photo.JPG", "photo2.jpeg", "pic.tga"}));
  filter.Click("auswahl");
  EXPECT_EQ(collect(true), std::vector<std::string>{});
  filter.Click("cb_jpg");
  EXPECT_EQ(collect(true), (std::vector<std::string>{"photo.JPG", "photo2.jpeg"}));
  filter.Click("png");
  filter.Click("cb_bitmap");
  EXPECT_EQ(collect(true), (std::vector<std::string>{"sub/deeper/y.dib", "sub/x.png", "w/v.bmp", "Z.BMP", "a.bmp",
                                                     "photo.JPG", "photo2.jpeg"}));
  // A link to a folder is not followed, so a loop cannot trap the search.
  std::filesystem::create_directory_symlink(dir.Path(), dir / "sub/loop");
  EXPECT_EQ(collect(true).size(), 7u);
  // Matched by ".jpeg" and by ".jpe", a file is still collected once.
  filter.Click("cb_bitmap");
  filter.Click("png");
  EXPECT_EQ(collect(false), (std::vector<std::string>{"photo.JPG", "photo2.jpeg"}));
}

TEST(FolderSearch, AddFolderWithProgressSilenceAndCancel) {
  testsupport::TempDir dir;
  MakeTree(dir);
  WriteText(dir / "broken.bmp", "not a bitmap");
  forms::Form filter = forms::CreateFolderFilterForm();
  ImageList list(Language::English, ".");
  list.SetReadInBackground(false);
  ScriptedDialogs dialogs;
  list.AddFile((dir / "a.bmp").string(), dialogs);  // found again: a silent duplicate
  list.AddFolder(dir.Path().string(), filter, dialogs);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(list.RowCount(), 8);  // 9 found: one duplicate, one broken (the list also holds a.bmp)
  EXPECT_EQ(list.CounterLabel(), "8 Images");
  EXPECT_EQ(dialogs.progressText.title, "Analyzing Images");
  EXPECT_EQ(dialogs.progressText.line, "9 Images found");
  EXPECT_EQ(dialogs.progressMaximum, 9);
  EXPECT_EQ(dialogs.fileLines.front(), "1 Images analyzed");
  EXPECT_EQ(dialogs.fileLines.back(), "9 Images analyzed");
  EXPECT_FALSE(dialogs.progressVisible);
  EXPECT_TRUE(dialogs.mainWindowEnabled);
  EXPECT_TRUE(dialogs.mainWindowFocused);
  EXPECT_FALSE(dialogs.Flags().showNoMore);

  // Cancel takes effect after the current file; the files added so far stay.
  ImageList cancelled(Language::German, ".");
  cancelled.SetReadInBackground(false);
  ScriptedDialogs breaking;
  breaking.breakAtFileLine = 3;
  cancelled.AddFolder(dir.Path().string(), filter, breaking);
  EXPECT_EQ(cancelled.RowCount(), 3);
  EXPECT_EQ(breaking.fileLines.back(), "3 Bilder analysiert");
  EXPECT_FALSE(breaking.Flags().cancelProgress);
  EXPECT_EQ(cancelled.CounterLabel(), "3 Bilder");

  // Nothing for a missing folder, an empty selection, or a folder text with ".txt".
  std::filesystem::create_directories(dir / "data.txtfiles");
  WriteImage(dir / "data.txtfiles/in.bmp", 2, 2);
  ImageList none(Language::English, ".");
  none.SetReadInBackground(false);
  ScriptedDialogs quiet;
  none.AddFolder((dir / "missing").string(), filter, quiet);
  EXPECT_EQ(quiet.progressMaximum, -1);  // no progress window at all
  none.AddFolder((dir / "data.txtfiles").string(), filter, quiet);
  EXPECT_EQ(quiet.progressMaximum, 0);
  filter.Click("auswahl");
  none.AddFolder(dir.Path().string(), filter, quiet);
  EXPECT_EQ(none.RowCount(), 0);
  EXPECT_TRUE(quiet.fileLines.empty());

  // Enter in inp_ordner with a folder that does not exist.
  none.AddTypedFolder((dir / "missing").string(), filter, quiet);
  EXPECT_EQ(quiet.MessageKeys(), std::vector<std::string>{"ordnerfalschopen"});
  EXPECT_EQ(quiet.messages[0].detail, (dir / "missing").string());
}

TEST(FolderSearch, PortableAnyMapsAreFoundAndAdded) {
  testsupport::TempDir dir;
  // A pixel map under the common name of the three portable maps.
  const std::string pixels = "P6\n2 1\n255\n\x10\x20\x30\x40\x50\x60";
  WriteText(dir / "map.PNM", pixels);
  forms::Form filter = forms::CreateFolderFilterForm();
  const auto collect = [&] { return imagelist::CollectImageFiles(dir.Path().string(), forms::SearchExtensions(filter), false); };
  EXPECT_EQ(collect().size(), 1u);
  // In a selection each of the bitmap, gray map and pixel map boxes finds it.
  filter.Click("auswahl");
  filter.Click("cb_portable");
  for (const char* box : {"pbm", "ppm", "pam", "pfm"}) filter.Click(box);
  EXPECT_EQ(collect().size(), 1u);
  filter.Click("pgm");
  EXPECT_TRUE(collect().empty());

  filter.Click("alle");
  ImageList list(Language::English, ".");
  list.SetReadInBackground(false);
  ScriptedDialogs dialogs;
  list.AddFolder(dir.Path().string(), filter, dialogs);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(list.RowCount(), 1);
}

TEST(ImageList, DroppingAFolderAndFiles) {
  testsupport::TempDir dir;
  MakeTree(dir);
  forms::Form filter = forms::CreateFolderFilterForm();
  ImageList list(Language::English, ".");
  list.SetReadInBackground(false);
  ScriptedDialogs dialogs;
  list.AddFile((dir / "a.bmp").string(), dialogs);
  dialogs.messageAnswers = {MessageButton::OKForAll};
  list.AddDropped({(dir / "w").string(), (dir / "a.bmp").string(), (dir / "notes.txt").string(),
                   (dir / "pic.tga").string()},
                  filter, dialogs);
  EXPECT_EQ(dialogs.MessageKeys(), std::vector<std::string>{msg::kAlreadyInList});  // then OK for all
  EXPECT_EQ(list.RowCount(), 3);
  EXPECT_EQ(list.CounterLabel(), "3 Images");
  const std::vector<std::string> dropLines = {"1 Images analyzed", "1 Images analyzed", "2 Images analyzed",
                                              "3 Images analyzed", "4 Images analyzed"};
  EXPECT_EQ(dialogs.fileLines, dropLines);  // the folder's own line first, then the drop's
  EXPECT_FALSE(dialogs.Flags().showNoMore);
  EXPECT_FALSE(dialogs.progressVisible);
  EXPECT_TRUE(dialogs.mainWindowEnabled);
}

TEST(ImageList, OpenDialogFilterInBothLanguages) {
  const auto german = imagelist::OpenDialogFilter(Language::German);
  const auto english = imagelist::OpenDialogFilter(Language::English);
  ASSERT_EQ(german.size(), 26u);
  EXPECT_EQ(german[2].description, "JPEG-Bilder (*.jpg,*.jpeg,*.jfif,*.jpe,*.jif)");
  EXPECT_EQ(english[2].description, "JPEG-Images (*.jpg,*.jpeg,*.jfif,*.jpe,*.jif)");
  EXPECT_EQ(english[0].description.rfind("Any readable Files(*.bmp, *.dib,", 0), 0u);
  EXPECT_EQ(english[14].patterns, "*.pnm");
  EXPECT_EQ(english[19].description, "Truevision Targa Images (*.tga)");
  EXPECT_EQ(english[0].patterns.substr(0, 11), "*.bmp;*.dib");
  EXPECT_EQ(english[22].description, "WebP Images (*.webp)");
  EXPECT_NE(english[0].patterns.find(";*.webp;*.avif;*.heic;*.heif"), std::string::npos);
  EXPECT_EQ(english[23].patterns, "*.avif");
  EXPECT_EQ(english[24].description, "High Efficiency Image File Format (*.heic,*.heif)");
  EXPECT_NE(english[0].patterns.find(";*.heif;*.jxl"), std::string::npos);
  EXPECT_EQ(english[25].patterns, "*.jxl");
}

TEST(ImageList, TheRunConvertsTheRowsInListOrder) {
  testsupport::TempDir dir;
  WriteImage(dir / "b.bmp", 20, 10);
  WriteImage(dir / "A.bmp", 10, 10);
  config::ProgramWindows windows(Language::English);
  windows.mainForm.SetChecked("rb_prozent", true);
  windows.mainForm.SetText("act_sizeprozent_x", "100");
  windows.mainForm.SetText("out_ordner", (dir / "out").string());
  windows.mainForm.SetText("out_name", "%num%");
  ImageList list(Language::English, ".");
  list.SetReadInBackground(false);
  ScriptedDialogs dialogs;
  list.AddFile((dir / "b.bmp").string(), dialogs);
  list.AddFile((dir / "A.bmp").string(), dialogs);
  engine::RunMemory memory;
  const engine::RunResult result =
      dialogs.Run(engine::PathsOf(list), engine::JobSourceFromForms(windows.mainForm, windows.options), memory);
  EXPECT_EQ(result.written, 2);
  imaging::Image first;
  ASSERT_TRUE(engine::LoadImageFile((dir / "out/1.bmp").string(), first));
  EXPECT_EQ(first.Width(), 10);  // A.bmp comes first by name
}

}  // namespace
