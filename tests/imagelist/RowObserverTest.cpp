// A view of the list kept in step by the row notifications alone: a mirror of the paths that
// applies each insertion, removal, move and reset must equal the list after every command, and
// rows added in a bulk update land where adding them one by one would have put them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/ImageFiles.h"
#include "forms/FolderFilterForm.h"
#include "forms/MessageKeys.h"
#include "imagelist/List.h"
#include "imaging/Codec.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

namespace {

using forms::Language;
using imagelist::ImageList;

void WriteImage(const std::filesystem::path& path, int width, int height) {
  imaging::Image image;
  ASSERT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image));
  ASSERT_TRUE(engine::SaveImageFile(path.string(), image)) << path;
}

// Mirrors the list's paths from the notifications, as an item view would, and checks that
// every "AboutTo" call is followed by its partner and that the indices fit.
class MirrorView : public imagelist::RowObserver {
public:
  explicit MirrorView(const ImageList& list) : list_(list) {}
  std::vector<std::string> paths;
  int filled = 0;  // rows reported as filled in place

  void RowsAboutToBeInserted(int first, int last) override {
    Begin("insert");
    ASSERT_LE(first, static_cast<int>(paths.size()));
    ASSERT_LE(first, last);
    first_ = first;
    last_ = last;
  }
  void RowsInserted() override {
    End("insert");
    for (int i = first_; i <= last_; ++i) paths.insert(paths.begin() + i, list_.Rows()[size_t(i)].path);
    Check();
  }
  void RowsAboutToBeRemoved(int first, int last) override {
    Begin("remove");
    ASSERT_LE(last, static_cast<int>(paths.size()) - 1);
    first_ = first;
    last_ = last;
  }
  void RowsRemoved() override {
    End("remove");
    paths.erase(paths.begin() + first_, paths.begin() + last_ + 1);
    Check();
  }
  void RowsAboutToMove() override { Begin("move"); }
  void RowsMoved(const std::vector<int>& newRow) override {
    End("move");
    ASSERT_EQ(newRow.size(), paths.size());
    std::vector<std::string> moved(paths.size());
    for (size_t old = 0; old < paths.size(); ++old) moved[size_t(newRow[old])] = paths[old];
    paths = moved;
    Check();
  }
  void RowsAboutToBeReset() override { Begin("reset"); }
  void RowsReset() override {
    End("reset");
    paths.clear();
    for (const auto& row : list_.Rows()) paths.push_back(row.path);
  }
  void CellsChanged(int first, int last) override {
    ASSERT_TRUE(open_.empty());
    ASSERT_LE(first, last);
    ASSERT_LT(last, list_.RowCount());
    filled += last - first + 1;
  }

private:
  void Begin(const char* what) {
    ASSERT_TRUE(open_.empty()) << what << " inside " << open_;
    open_ = what;
  }
  void End(const char* what) {
    ASSERT_EQ(open_, what);
    open_.clear();
  }
  // The list's rows, once the change is through.
  void Check() {
    std::vector<std::string> actual;
    for (const auto& row : list_.Rows()) actual.push_back(row.path);
    EXPECT_EQ(paths, actual);
  }

  const ImageList& list_;
  std::string open_;
  int first_ = 0, last_ = 0;
};

std::vector<std::string> Paths(const ImageList& list) {
  std::vector<std::string> paths;
  for (const auto& row : list.Rows()) paths.push_back(row.path);
  return paths;
}

// Pictures named alike in several folders (ties by name) and of several sizes.
struct Pictures {
  testsupport::TempDir dir;
  std::vector<std::string> paths;
  Pictures() {
    const char* names[] = {"m.bmp", "b.bmp", "M.bmp", "a.png", "b.bmp", "z.tga", "c.bmp", "a.png"};
    for (int i = 0; i < 8; ++i) {
      const std::filesystem::path folder = dir / ("f" + std::to_string(i % 3));
      std::filesystem::create_directories(folder);
      const std::filesystem::path path = folder / (std::to_string(i / 3) + names[i]);
      WriteImage(path, 5 + (i * 7) % 4, 3 + i);
      paths.push_back(path.string());
    }
  }
};

TEST(RowObserver, BulkAddsLandWhereSingleAddsWould) {
  Pictures pictures;
  engine::ScriptedDialogs dialogs;
  for (const int column : {0, 2, 4}) {
    SCOPED_TRACE(column);
    ImageList single(Language::English, ".");
    single.SetReadInBackground(false);
    single.SortByColumn(column);
    if (single.Sort().descending) single.SortByColumn(column);
    for (const std::string& path : pictures.paths) single.AddFile(path, dialogs);

    ImageList bulk(Language::English, ".");
    bulk.SetReadInBackground(false);
    MirrorView view(bulk);
    bulk.SetRowObserver(&view);
    bulk.SortByColumn(column);
    if (bulk.Sort().descending) bulk.SortByColumn(column);
    bulk.BeginBulkUpdate();
    for (size_t i = 0; i < pictures.paths.size(); ++i) {
      EXPECT_TRUE(bulk.AddFile(pictures.paths[i], dialogs));
      if (i == 2) {
        EXPECT_EQ(bulk.RowCount(), 0);  // waiting aside
        // Listed already, though not yet placed.
        EXPECT_FALSE(bulk.AddFile(pictures.paths[0], dialogs));
        EXPECT_EQ(dialogs.MessageKeys().back(), forms::msg::kAlreadyInList);
      }
      if (i == 4) bulk.PlaceArrived();  // as the window does now and then
    }
    bulk.EndBulkUpdate();
    EXPECT_EQ(Paths(bulk), Paths(single));
    EXPECT_EQ(view.paths, Paths(bulk));
    bulk.SetRowObserver(nullptr);
  }
}

TEST(RowObserver, EveryCommandKeepsTheViewInStep) {
  Pictures pictures;
  testsupport::WriteFileBytes(pictures.dir / "cut.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0});
  engine::ScriptedDialogs dialogs;
  ImageList list(Language::English, ".");
  MirrorView view(list);
  list.SetRowObserver(&view);

  // Read in the background, sorted by width: the filled rows move to their places, the cut
  // file leaves; sorted by name they are filled where they are.
  list.SortByColumn(2);
  std::vector<std::string> all = pictures.paths;
  all.push_back((pictures.dir / "cut.png").string());
  list.AddFiles(all, dialogs);
  list.WaitForHeaders(dialogs);
  EXPECT_EQ(dialogs.MessageKeys(), std::vector<std::string>{forms::msg::kFormatNotSupported});
  ASSERT_EQ(list.RowCount(), 8);
  for (int i = 1; i < 8; ++i)
    EXPECT_LE(std::stoi(list.Rows()[size_t(i - 1)].width), std::stoi(list.Rows()[size_t(i)].width));
  EXPECT_EQ(list.CounterLabel(), "8 Images");
  list.RemoveAll();
  list.SortByColumn(0);
  for (const std::string& path : pictures.paths) list.AddFile(path, dialogs);  // placed at once
  const std::vector<std::string> byName = Paths(list);
  list.WaitForHeaders(dialogs);
  EXPECT_EQ(Paths(list), byName);
  EXPECT_EQ(view.filled, 8);

  list.SortByColumn(5);
  list.SortByColumn(5);
  EXPECT_TRUE(list.Sort().descending);
  for (int row : {0, 1, 3, 7}) list.SetSelected(row, true);
  const std::string kept = list.Rows()[2].path;
  list.RemoveSelected();
  EXPECT_EQ(list.RowCount(), 4);
  EXPECT_EQ(list.Rows()[0].path, kept);
  // A removed file can be added again.
  EXPECT_TRUE(list.AddFile(pictures.paths[0], dialogs) || list.AddFile(pictures.paths[1], dialogs));
  list.WaitForHeaders(dialogs);
  EXPECT_EQ(view.paths, Paths(list));
  list.SetRowObserver(nullptr);
}

// Many scattered selected rows go in one reset; the list of listed paths follows.
TEST(RowObserver, ManyScatteredRowsRemovedAtOnce) {
  testsupport::TempDir dir;
  WriteImage(dir / "one.bmp", 2, 2);
  std::vector<std::string> paths;
  for (int i = 0; i < 300; ++i) {
    paths.push_back((dir / ("p" + std::to_string(1000 + i) + ".bmp")).string());
    std::filesystem::copy_file(dir / "one.bmp", paths.back());
  }
  engine::ScriptedDialogs dialogs;
  ImageList list(Language::English, ".");
  list.SetReadImages(false);
  MirrorView view(list);
  list.SetRowObserver(&view);
  list.AddFiles(paths, dialogs);
  for (int row = 0; row < 300; row += 2) list.SetSelected(row, true);
  list.RemoveSelected();
  EXPECT_EQ(list.RowCount(), 150);
  EXPECT_EQ(view.paths, Paths(list));
  EXPECT_TRUE(list.AddFile(paths[0], dialogs));
  EXPECT_FALSE(list.AddFile(paths[1], dialogs));
  list.SetRowObserver(nullptr);
}

}  // namespace
