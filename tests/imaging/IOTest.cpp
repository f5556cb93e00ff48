#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

#include "imaging/IO.h"
#include "imaging/Types.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ImagingError& e) {
    return e.what();
  }
  return "(no error)";
}

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

}  // namespace

// Writes in pieces of awkward sizes, returns to earlier blocks to patch them (which forces the
// changed buffer out), and checks the bytes on disk.
TEST(FileIO, WritesAcrossBlocksAndWritesBackOnSeek) {
  testsupport::TempDir dir;
  const std::string path = (dir / "out.bin").string();
  std::vector<uint8_t> expected = Pattern(50000, 1);
  {
    ScopedIOHandle file(FileIO, path.c_str(), true);
    const IOHandle& h = file.Handle();
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
      EXPECT_EQ(h.Seek(at, smFromBeginning), at);
      EXPECT_EQ(h.Write(patch, 4), 4);
      std::memcpy(expected.data() + at, patch, 4);
    }
    // Read back what is still only in the buffer and what went straight to the file.
    uint8_t check[4];
    h.Seek(16382, smFromBeginning);
    EXPECT_EQ(h.Read(check, 4), 4);
    EXPECT_EQ(std::memcmp(check, patch, 4), 0);
    EXPECT_EQ(h.Seek(0, smFromEnd), 50000);
    EXPECT_TRUE(h.Eof());
    // Writing past the end leaves zeros in the gap.
    EXPECT_EQ(h.Seek(10, smFromCurrent), 50010);
    EXPECT_EQ(h.Write(patch, 1), 1);
    expected.resize(50010, 0);
    expected.push_back(0xAA);
    file.Close();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), expected);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "no temporary file may stay behind";
}

TEST(FileIO, ReadsAnyMixOfSeeksAndSizes) {
  testsupport::TempDir dir;
  const std::string path = (dir / "in.bin").string();
  const std::vector<uint8_t> data = Pattern(70000, 2);
  testsupport::WriteFileBytes(path, data);
  ScopedIOHandle file(FileIO, path.c_str(), false);
  const IOHandle& h = file.Handle();
  // (seek to, read count): inside one block, across a boundary, large from an unbuffered
  // position, large starting inside the buffer, past the end.
  const std::pair<int64_t, int64_t> steps[] = {{0, 10},        {16380, 10},   {20000, 40000}, {100, 16384},
                                               {16383, 1},     {65000, 9000}, {69999, 5},     {3, 0},
                                               {32768, 16384}, {49151, 2}};
  std::vector<uint8_t> buffer(50000);
  for (const auto& [at, count] : steps) {
    ASSERT_EQ(h.Seek(at, smFromBeginning), at);
    const int64_t expected = std::max<int64_t>(0, std::min<int64_t>(count, 70000 - at));
    ASSERT_EQ(h.Read(buffer.data(), count), expected) << "at " << at;
    EXPECT_EQ(std::memcmp(buffer.data(), data.data() + at, static_cast<size_t>(expected)), 0) << "at " << at;
    EXPECT_EQ(h.Tell(), at + expected);
  }
  EXPECT_TRUE(h.Eof() == (h.Tell() == 70000));
  EXPECT_EQ(h.Seek(-4, smFromEnd), 69996);
  EXPECT_EQ(h.Remaining(), 4);
  EXPECT_EQ(h.Read(buffer.data(), 100), 4);
  EXPECT_TRUE(h.Eof());
  EXPECT_EQ(h.Read(buffer.data(), 100), 0);
}

TEST(FileIO, ReportsItsFaults) {
  testsupport::TempDir dir;
  const std::string path = (dir / "f.bin").string();
  testsupport::WriteFileBytes(path, Pattern(10, 3));
  ScopedIOHandle file(FileIO, path.c_str(), false);
  const IOHandle& h = file.Handle();
  uint8_t byte;
  EXPECT_EQ(ErrorOf([&] { h.Seek(0, 3); }), "TBufferedStream.Seek: invalid origin");
  h.Seek(-1, smFromBeginning);
  EXPECT_EQ(ErrorOf([&] { h.Read(&byte, 1); }), "TBufferedStream.ReadBuffer: seek failed");
  EXPECT_EQ(ErrorOf([&] { h.Write(&byte, 1); }), "TBufferedStream.WriteBuffer: seek failed");
  EXPECT_NE(ErrorOf([&] { ScopedIOHandle missing(FileIO, (dir / "none").c_str(), false); })
                .find("Cannot open file"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { ScopedIOHandle folder(FileIO, dir.Path().c_str(), false); }).find("folder"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { ScopedIOHandle nowhere(FileIO, (dir / "no/such/f").c_str(), true); })
                .find("Cannot create file"),
            std::string::npos);
}

// A file-size limit makes the operating system refuse the write-back.
TEST(FileIO, WriteFailureIsReportedAndKeepsTheOldFile) {
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
    ScopedIOHandle file(FileIO, path.c_str(), true);
    file.Handle().Write(data.data(), static_cast<int64_t>(data.size()));
    file.Close();
  });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(error, "TBufferedStream.WriteBuffer: write failed");
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(FileIO, ReplacesAFileOnlyWhenClosedNormally) {
  testsupport::TempDir dir;
  const std::string path = (dir / "keep.bin").string();
  const std::vector<uint8_t> old = Pattern(30, 6);
  testsupport::WriteFileBytes(path, old);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const uint8_t bytes[3] = {1, 2, 3};
  {  // abandoned explicitly
    ScopedIOHandle file(FileIO, path.c_str(), true);
    file.Handle().Write(bytes, 3);
    file.Abandon();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  // an error leaving the scope abandons too
  EXPECT_EQ(ErrorOf([&] {
              ScopedIOHandle file(FileIO, path.c_str(), true);
              file.Handle().Write(bytes, 3);
              RaiseImaging("stop");
            }),
            "stop");
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  {  // a normal end of scope closes
    ScopedIOHandle file(FileIO, path.c_str(), true);
    file.Handle().Write(bytes, 3);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), std::vector<uint8_t>(bytes, bytes + 3));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(MemoryIO, NeverGrowsOrLeavesItsBuffer) {
  uint8_t storage[8] = {};
  MemoryIORecord rec{storage, 0, 8};
  ScopedIOHandle handle(MemoryIO, &rec, true);
  const IOHandle& h = handle.Handle();
  const uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(h.Write(ten, 10), 8);
  EXPECT_TRUE(h.Eof());
  EXPECT_EQ(h.Write(ten, 1), 0);
  EXPECT_EQ(h.Seek(3, 7), 8) << "an unknown origin leaves the position";
  EXPECT_EQ(h.Seek(-100, smFromCurrent), 0);
  EXPECT_EQ(h.Seek(100, smFromBeginning), 8);
  EXPECT_EQ(h.Seek(-3, smFromEnd), 5);
  uint8_t out[10] = {};
  EXPECT_EQ(h.Read(out, 10), 3);
  EXPECT_EQ(out[0], 6);
  EXPECT_EQ(ErrorOf([&] { h.Seek(0, smFromBeginning), h.ReadExact(out, 9, "test data"); }),
            "Unexpected end of data in test data");
  h.Seek(7, smFromBeginning);
  EXPECT_EQ(ErrorOf([&] { h.WriteExact(ten, 2, "test data"); }), "Error while writing test data");
}

TEST(StreamIO, ActsOnTheStreamItIsGiven) {
  MemoryStream stream;
  ScopedIOHandle handle(StreamIO, &stream, true);
  const IOHandle& h = handle.Handle();
  EXPECT_EQ(h.Raw, &stream);
  const uint8_t bytes[4] = {9, 8, 7, 6};
  EXPECT_EQ(h.Write(bytes, 4), 4);
  EXPECT_TRUE(h.Eof());
  EXPECT_EQ(h.Seek(6, smFromBeginning), 6);
  EXPECT_EQ(h.Write(bytes, 1), 1);
  EXPECT_EQ(stream.Data(), (std::vector<uint8_t>{9, 8, 7, 6, 0, 0, 9}));
  EXPECT_EQ(stream.Size(), 7);
  EXPECT_EQ(h.Seek(-2, smFromEnd), 5);
  EXPECT_EQ(h.Remaining(), 2);
  EXPECT_EQ(h.Tell(), 5);
  EXPECT_EQ(ErrorOf([&] { h.Seek(0, -1); }), "TMemoryStream.Seek: invalid origin");
  handle.Close();
  EXPECT_EQ(stream.Position(), 5) << "closing a stream handle leaves the stream alone";
}

TEST(ImageIO, CurrentTableIsPerThread) {
  SetCurrentImageIO(MemoryIO);
  const IOFunctions* seenByOther = nullptr;
  std::thread other([&] { seenByOther = &CurrentImageIO(); });
  other.join();
  EXPECT_EQ(seenByOther, &FileIO);
  EXPECT_EQ(&CurrentImageIO(), &MemoryIO);
  SetCurrentImageIO(FileIO);
}
