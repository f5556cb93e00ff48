// The list reading headers on its pool: AddFile returns with the row in place and its size
// cells empty; CollectHeaderResults fills them on the list's thread, announces each row, and
// reports a file whose header cannot be read once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "forms/MessageKeys.h"
#include "engine/ImageFiles.h"
#include "tests/support/ScriptedDialogs.h"
#include "imagelist/List.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

namespace msg = forms::msg;

namespace {

using forms::Language;
using imagelist::ImageList;

void WriteImage(const std::string& path, int width, int height) {
  imaging::Image image;
  ASSERT_TRUE(imaging::CreateImage(width, height, imaging::PixelFormat::A8R8G8B8, image));
  const bool saved = engine::SaveImageFile(path, image);
  image.Reset();
  ASSERT_TRUE(saved) << path;
}

TEST(HeaderList, RowsFillFromThePoolAndABadFileIsReportedOnce) {
  testsupport::TempDir dir;
  std::vector<std::string> good;
  const char* names[] = {"a.png", "b.jpg", "c.bmp", "d.gif", "e.tif", "f.ico", "g.tga", "h.psd"};
  for (int i = 0; i < 8; ++i) {
    good.push_back((dir / names[i]).string());
    WriteImage(good.back(), 10 + i, 20 + i);
  }
  // A PNG whose header is cut short: the content is recognised, the header cannot be read.
  std::vector<uint8_t> bad = testsupport::ReadFileBytes(good[0]);
  bad.resize(20);
  const std::string badPath = (dir / "bad.png").string();
  testsupport::WriteFileBytes(badPath, bad);

  ImageList list(Language::English, ".");
  std::atomic<int> ready{0};
  list.SetHeaderReadyCallback([&] { ++ready; });
  std::vector<std::string> filled, refused;
  list.rowFilled = [&](const std::string& path) { filled.push_back(path); };
  list.fileRefused = [&](const std::string& path, const std::string&, bool reported) {
    EXPECT_TRUE(reported);
    refused.push_back(path);
  };
  engine::ScriptedDialogs dialogs;
  for (const std::string& path : good) EXPECT_TRUE(list.AddFile(path, dialogs));
  EXPECT_TRUE(list.AddFile(badPath, dialogs));  // refused only when its read finishes
  EXPECT_EQ(list.RowCount(), 9);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_FALSE(list.AddFile(good[1], dialogs));  // a pending row is already listed
  EXPECT_EQ(dialogs.MessageKeys(), std::vector<std::string>{"dateischoninliste"});

  list.WaitForHeaders(dialogs);
  EXPECT_EQ(ready.load(), 9);
  EXPECT_EQ(list.PendingHeaders(), 0);
  EXPECT_EQ(filled.size(), 8u);
  EXPECT_EQ(refused, std::vector<std::string>{badPath});
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kAlreadyInList, msg::kFormatNotSupported}));
  ASSERT_EQ(list.RowCount(), 8);
  EXPECT_EQ(list.CounterLabel(), "8 Images");
  for (int i = 0; i < 8; ++i) {
    const auto& row = list.Rows()[size_t(i)];  // sorted by name: a to h
    EXPECT_EQ(row.path, good[size_t(i)]);
    EXPECT_FALSE(row.pending);
    EXPECT_EQ(row.width, std::to_string(10 + i)) << row.path;
    EXPECT_EQ(row.height, std::to_string(20 + i)) << row.path;
  }
  EXPECT_EQ(list.Rows()[5].size, imagelist::SizeText(15 * 25 * 4, "."));  // the icon's drawn size
  EXPECT_EQ(list.CollectHeaderResults(dialogs), 0);  // nothing twice
  EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST(HeaderList, RowsRemovedOrAddedSilentlyWhileReading) {
  testsupport::TempDir dir;
  const std::string a = (dir / "a.png").string(), b = (dir / "b.png").string();
  WriteImage(a, 3, 4);
  testsupport::WriteFileBytes(b, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0});
  ImageList list(Language::English, ".");
  engine::ScriptedDialogs dialogs;
  int silent = 0;
  list.fileRefused = [&](const std::string&, const std::string&, bool reported) { silent += reported ? 0 : 1; };
  dialogs.Flags().showNoMore = true;  // as during a folder search
  list.AddFile(a, dialogs);
  list.AddFile(b, dialogs);
  dialogs.Flags().showNoMore = false;
  list.RemoveAll();   // cleared before the reads finish
  list.AddFile(a, dialogs);  // and added again
  list.WaitForHeaders(dialogs);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(silent, 0);  // b's row was gone: nothing to report
  ASSERT_EQ(list.RowCount(), 1);
  EXPECT_EQ(list.Rows()[0].width, "3");
  // Without a clear, the bad file is refused silently because it was added silenced.
  dialogs.Flags().showNoMore = true;
  list.AddFile(b, dialogs);
  dialogs.Flags().showNoMore = false;
  list.WaitForHeaders(dialogs);
  EXPECT_EQ(silent, 1);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(list.RowCount(), 1);
}

TEST(HeaderList, NoReadsWhenTheCellsAreNotShown) {
  testsupport::TempDir dir;
  const std::string a = (dir / "a.png").string();
  WriteImage(a, 3, 4);
  ImageList list(Language::English, ".");
  list.SetReadImages(false);
  engine::ScriptedDialogs dialogs;
  EXPECT_TRUE(list.AddFile(a, dialogs));
  EXPECT_EQ(list.PendingHeaders(), 0);
  EXPECT_EQ(list.Rows()[0].width, "0");
  EXPECT_FALSE(list.Rows()[0].pending);
}

}  // namespace
