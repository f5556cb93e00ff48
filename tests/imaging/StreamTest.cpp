#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

#include "imaging/Codec.h"
#include "imaging/Stream.h"
#include "imaging/Types.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

using testsupport::ErrorOf;

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed;
  for (uint8_t& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::vector<uint8_t> EncodedPicture(const char* extension, int32_t width, int32_t height) {
  Image image;
  CreateImage(width, height, PixelFormat::A8R8G8B8, image);
  MemoryStream stream;
  if (!SaveImageToStream(extension, stream, image)) return {};
  return stream.Data();
}

}  // namespace

// Writes in pieces of awkward sizes, returns to earlier blocks to patch them (which forces the
// changed buffer out), and checks the bytes on disk.
TEST(FileStream, WritesAcrossBlocksAndWritesBackOnSeek) {
  testsupport::TempDir dir;
  const std::string path = (dir / "out.bin").string();
  std::vector<uint8_t> expected = Pattern(50000, 1);
  {
    FileStream h(path, FileStream::Access::Write);
    size_t pos = 0;
    const size_t pieces[] = {1, 7, 16384, 100, 20000, 3};
    for (size_t i = 0; pos < expected.size(); ++i) {
      const size_t n = std::min(pieces[i % std::size(pieces)], expected.size() - pos);
      ASSERT_EQ(h.Write(expected.data() + pos, static_cast<int64_t>(n)), static_cast<int64_t>(n));
      pos += n;
    }
    // Patch the first block, then a byte in the third, then a span across a block boundary.
    const uint8_t patch[] = {0xAA, 0xBB, 0xCC, 0xDD};
    for (int64_t at : {int64_t(5), int64_t(40000), int64_t(16382)}) {
      EXPECT_EQ(h.Seek(at, SeekOrigin::Begin), at);
      EXPECT_EQ(h.Write(patch, 4), 4);
      std::memcpy(expected.data() + at, patch, 4);
    }
    // Read back what is still only in the buffer and what went straight to the file.
    uint8_t check[4];
    h.Seek(16382, SeekOrigin::Begin);
    EXPECT_EQ(h.Read(check, 4), 4);
    EXPECT_EQ(std::memcmp(check, patch, 4), 0);
    EXPECT_EQ(h.Seek(0, SeekOrigin::End), 50000);
    EXPECT_TRUE(h.AtEnd());
    // Writing past the end leaves zeros in the gap.
    EXPECT_EQ(h.Seek(10, SeekOrigin::Current), 50010);
    EXPECT_EQ(h.Write(patch, 1), 1);
    expected.resize(50010, 0);
    expected.push_back(0xAA);
    h.Commit();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), expected);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "no temporary file may stay behind";
}

TEST(FileStream, ReadsAnyMixOfSeeksAndSizes) {
  testsupport::TempDir dir;
  const std::string path = (dir / "in.bin").string();
  const std::vector<uint8_t> data = Pattern(70000, 2);
  testsupport::WriteFileBytes(path, data);
  FileStream h(path, FileStream::Access::Read);
  // (seek to, read count): inside one block, across a boundary, large from an unbuffered
  // position, large starting inside the buffer, past the end.
  const std::pair<int64_t, int64_t> steps[] = {{0, 10},        {16380, 10},   {20000, 40000}, {100, 16384},
                                               {16383, 1},     {65000, 9000}, {69999, 5},     {3, 0},
                                               {32768, 16384}, {49151, 2}};
  std::vector<uint8_t> buffer(50000);
  for (const auto& [at, count] : steps) {
    ASSERT_EQ(h.Seek(at, SeekOrigin::Begin), at);
    const int64_t expected = std::max<int64_t>(0, std::min<int64_t>(count, 70000 - at));
    ASSERT_EQ(h.Read(buffer.data(), count), expected) << "at " << at;
    EXPECT_EQ(std::memcmp(buffer.data(), data.data() + at, static_cast<size_t>(expected)), 0) << "at " << at;
    EXPECT_EQ(h.Position(), at + expected);
  }
  EXPECT_TRUE(h.AtEnd() == (h.Position() == 70000));
  EXPECT_EQ(h.Seek(-4, SeekOrigin::End), 69996);
  EXPECT_EQ(h.Remaining(), 4);
  EXPECT_EQ(h.Read(buffer.data(), 100), 4);
  EXPECT_TRUE(h.AtEnd());
  EXPECT_EQ(h.Read(buffer.data(), 100), 0);
}

TEST(FileStream, ReportsItsFaults) {
  testsupport::TempDir dir;
  const std::string path = (dir / "f.bin").string();
  testsupport::WriteFileBytes(path, Pattern(10, 3));
  FileStream h(path, FileStream::Access::Read);
  uint8_t byte;
  EXPECT_EQ(ErrorOf([&] { h.Seek(0, static_cast<SeekOrigin>(3)); }), "TBufferedStream.Seek: invalid origin");
  h.Seek(-1, SeekOrigin::Begin);
  EXPECT_EQ(ErrorOf([&] { h.Read(&byte, 1); }), "TBufferedStream.ReadBuffer: seek failed");
  EXPECT_EQ(ErrorOf([&] { h.Write(&byte, 1); }), "TBufferedStream.WriteBuffer: seek failed");
  EXPECT_NE(ErrorOf([&] { FileStream missing((dir / "none").string(), FileStream::Access::Read); })
                .find("Cannot open file"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { FileStream folder(dir.Path().string(), FileStream::Access::Read); }).find("folder"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { FileStream nowhere((dir / "no/such/f").string(), FileStream::Access::Write); })
                .find("Cannot create file"),
            std::string::npos);
}

// A file-size limit makes the operating system refuse the write-back.
TEST(FileStream, WriteFailureIsReportedAndKeepsTheOldFile) {
  testsupport::TempDir dir;
  const std::string path = (dir / "old.bin").string();
  const std::vector<uint8_t> old = Pattern(100, 4);
  testsupport::WriteFileBytes(path, old);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = 20000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::vector<uint8_t> data = Pattern(40000, 5);
  const std::string error = ErrorOf([&] {
    FileStream file(path, FileStream::Access::Write);
    file.Write(data.data(), static_cast<int64_t>(data.size()));
    file.Commit();
  });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(error, "TBufferedStream.WriteBuffer: write failed");
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(FileStream, ReplacesAFileOnlyWhenCommitted) {
  testsupport::TempDir dir;
  const std::string path = (dir / "keep.bin").string();
  const std::vector<uint8_t> old = Pattern(30, 6);
  testsupport::WriteFileBytes(path, old);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const uint8_t bytes[3] = {1, 2, 3};
  {  // destroyed without a commit
    FileStream file(path, FileStream::Access::Write);
    file.Write(bytes, 3);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  // an error leaving the scope abandons too
  EXPECT_EQ(ErrorOf([&] {
              FileStream file(path, FileStream::Access::Write);
              file.Write(bytes, 3);
              RaiseImaging("stop");
            }),
            "stop");
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  {  // committed
    FileStream file(path, FileStream::Access::Write);
    file.Write(bytes, 3);
    file.Commit();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), std::vector<uint8_t>(bytes, bytes + 3));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(MemoryStreamWindow, NeverGrowsOrLeavesItsBuffer) {
  uint8_t storage[8] = {};
  MemoryStream h = MemoryStream::WindowOver(storage);
  const uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(h.Write(ten, 10), 8);
  EXPECT_TRUE(h.AtEnd());
  EXPECT_EQ(h.Write(ten, 1), 0);
  EXPECT_EQ(h.Seek(3, static_cast<SeekOrigin>(7)), 8) << "an unknown origin leaves the position";
  EXPECT_EQ(h.Seek(-100, SeekOrigin::Current), 0);
  EXPECT_EQ(h.Seek(100, SeekOrigin::Begin), 8);
  EXPECT_EQ(h.Seek(-3, SeekOrigin::End), 5);
  uint8_t out[10] = {};
  EXPECT_EQ(h.Read(out, 10), 3);
  EXPECT_EQ(out[0], 6);
  EXPECT_EQ(ErrorOf([&] { h.Seek(0, SeekOrigin::Begin), h.ReadExact(out, 9, "test data"); }),
            "Unexpected end of data in test data");
  h.Seek(7, SeekOrigin::Begin);
  EXPECT_EQ(ErrorOf([&] { h.WriteExact(ten, 2, "test data"); }), "Error while writing test data");
}

TEST(MemoryStream, GrowsAndFillsGapsWithZeros) {
  MemoryStream stream;
  Stream& h = stream;
  const uint8_t bytes[4] = {9, 8, 7, 6};
  EXPECT_EQ(h.Write(bytes, 4), 4);
  EXPECT_TRUE(h.AtEnd());
  EXPECT_EQ(h.Seek(6, SeekOrigin::Begin), 6);
  EXPECT_EQ(h.Write(bytes, 1), 1);
  EXPECT_EQ(stream.Data(), (std::vector<uint8_t>{9, 8, 7, 6, 0, 0, 9}));
  EXPECT_EQ(stream.Size(), 7);
  EXPECT_EQ(h.Seek(-2, SeekOrigin::End), 5);
  EXPECT_EQ(h.Remaining(), 2);
  EXPECT_EQ(h.Position(), 5);
  EXPECT_EQ(ErrorOf([&] { h.Seek(0, static_cast<SeekOrigin>(-1)); }), "TMemoryStream.Seek: invalid origin");
  EXPECT_EQ(stream.Position(), 5) << "a refused seek leaves the position";
}

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
  EXPECT_EQ(ErrorOf([&] { view.WriteExact(&nine, 1, "a view"); }), "Error while writing a view");
  EXPECT_EQ(view.Seek(99, SeekOrigin::Current), 5);
  EXPECT_EQ(view.Size(), 5);
  EXPECT_EQ(view.Remaining(), 0);
}

TEST(FileStream, ReadsOnlyRegularFilesAndWritesNothingIntoThem) {
  testsupport::TempDir dir;
  const std::string path = (dir / "in.bin").string();
  const std::vector<uint8_t> data = {7, 8, 9};
  testsupport::WriteFileBytes(path, data);
  // A FIFO without a writer would hold a blocking open forever.
  const std::string fifo = (dir / "pipe.png").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> refused[] = {
      {dir.Path().string(), "it is a folder"},
      {"/dev/null", "it is not a regular file"},
      {fifo, "it is not a regular file"},
      {(dir / "missing").string(), "No such file or directory"},
  };
  for (const auto& [refusedPath, cause] : refused) {
    const std::string& named = refusedPath;
    EXPECT_EQ(ErrorOf([&] { FileStream file(named, FileStream::Access::Read); }),
              "Cannot open file \"" + named + "\": " + cause + ".");
  }
  EXPECT_EQ(imaging::DetectFileFormat(fifo), "");
  {
    FileStream file(path, FileStream::Access::Read);
    EXPECT_EQ(ErrorOf([&] { file.Write(data.data(), 3); }), "TBufferedStream.WriteBuffer: write failed");
    file.Commit();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), data);
}

// A codec reads only the stream it is given: a thread that detects and loads files and one that
// loads from memory at the same time each get their own pictures.
TEST(Streams, TwoThreadsReadTwoStreams) {
  testsupport::TempDir dir;
  const std::string path = (dir / "picture.png").string();
  testsupport::WriteFileBytes(path, EncodedPicture("png", 5, 3));
  const std::vector<uint8_t> bitmap = EncodedPicture("bmp", 7, 2);
  ASSERT_FALSE(bitmap.empty());
  int fromFiles = 0, fromMemory = 0;
  std::thread files([&] {
    for (int i = 0; i < 50; ++i) {
      Image image;
      if (LoadImageFromFile(path, image) && image.Width() == 5 && image.Height() == 3) ++fromFiles;
    }
  });
  for (int i = 0; i < 50; ++i) {
    MemoryStream stream(bitmap);
    Image image;
    if (LoadImageFromStream(stream, image) && image.Width() == 7 && image.Height() == 2) ++fromMemory;
  }
  files.join();
  EXPECT_EQ(fromFiles, 50);
  EXPECT_EQ(fromMemory, 50);
}
