#include <gtest/gtest.h>

#include <functional>

#include "imaging/Stream.h"
#include "imaging/Types.h"
#include "tests/support/TestSupport.h"

using namespace imaging;

namespace {

std::string StreamErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ImagingError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

// A view reads the caller's bytes where they are and never writes into them.
TEST(MemoryStreamView, ReadsTheCallersBytesInPlaceAndWritesNothing) {
  std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
  MemoryStream view = MemoryStream::ViewOf(bytes);
  bytes[1] = 20;  // not copied: a change the caller makes is what the view reads
  uint8_t out[8] = {};
  EXPECT_EQ(view.Read(out, 8), 5);
  EXPECT_EQ(out[1], 20);
  EXPECT_TRUE(view.AtEnd());
  EXPECT_TRUE(view.Data().empty());
  view.Seek(0, SeekOrigin::Begin);
  const uint8_t nine = 9;
  EXPECT_EQ(view.Write(&nine, 1), 0);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(StreamErrorOf([&] { view.WriteExact(&nine, 1, "a view"); }), "Error while writing a view");
  EXPECT_EQ(view.Seek(99, SeekOrigin::Current), 5);
  EXPECT_EQ(view.Size(), 5);
  EXPECT_EQ(view.Remaining(), 0);
}

TEST(FileStream, ReadsOnlyRegularFilesAndWritesNothingIntoThem) {
  testsupport::TempDir dir;
  const std::string path = (dir / "in.bin").string();
  const std::vector<uint8_t> data = {7, 8, 9};
  testsupport::WriteFileBytes(path, data);
  const std::pair<std::string, std::string> refused[] = {
      {dir.Path().string(), "it is a folder"},
      {"/dev/null", "it is not a regular file"},
      {(dir / "missing").string(), "No such file or directory"},
  };
  for (const auto& [refusedPath, cause] : refused)
    EXPECT_EQ(StreamErrorOf([&] { FileStream file(refusedPath, FileStream::Access::Read); }),
              "Cannot open file \"" + refusedPath + "\": " + cause + ".");
  {
    FileStream file(path, FileStream::Access::Read);
    EXPECT_EQ(StreamErrorOf([&] { file.Write(data.data(), 3); }), "TBufferedStream.WriteBuffer: write failed");
    file.Commit();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), data);
}
