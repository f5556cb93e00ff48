// Replacing files through a temporary file beside the target: what is left behind after a
// commit, a failure or an abandoned write, how the temporary file is created and named, and the
// list of pending files a signal handler clears.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/AtomicFile.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

bool Write(base::AtomicFile& file, const std::vector<uint8_t>& bytes) { return file.Write(bytes.data(), bytes.size()); }

}  // namespace

TEST(AtomicFile, TemporaryFilesAndCommits) {
  testsupport::TempDir dir;
  const std::string target = (dir / "data.bin").string();
  std::string error;
  {
    base::AtomicFile file(target);
    ASSERT_TRUE(file.IsOpen()) << file.Error();
    const std::string temp = file.TemporaryPath();
    EXPECT_EQ(fs::path(temp).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(temp).filename().string().rfind(".data.bin.vexilo-", 0), 0u);
    EXPECT_TRUE(fs::exists(temp));
    ASSERT_TRUE(Write(file, {1, 2, 3})) << file.Error();
    ASSERT_TRUE(file.Commit()) << file.Error();
    EXPECT_EQ(testsupport::ReadFileBytes(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(fs::exists(temp));
  }

  // A new file gets the permissions any new file gets.
  const mode_t mask = umask(022);
  umask(mask);
  EXPECT_EQ(testsupport::PermissionsOf(target), 0666u & ~mask);

  ASSERT_TRUE(base::WriteFileAtomically(target, std::vector<uint8_t>{4, 5}, &error)) << error;
  EXPECT_EQ(testsupport::ReadFileBytes(target), (std::vector<uint8_t>{4, 5}));

  // A folder in the way, a folder that does not exist: false with a reason, nothing left.
  fs::create_directory(dir / "folder");
  EXPECT_FALSE(base::WriteFileAtomically((dir / "folder").string(), std::vector<uint8_t>{1}, &error));
  EXPECT_NE(error.find("folder"), std::string::npos);
  EXPECT_FALSE(base::WriteFileAtomically((dir / "missing" / "x").string(), std::vector<uint8_t>{1}, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), (std::vector<std::string>{"data.bin", "folder"}));
}

// However a write ends without its commit, the target is as it was and the temporary file is gone.
TEST(AtomicFile, AWriteThatEndsWithoutCommitLeavesTheTargetAlone) {
  testsupport::TempDir dir;
  const std::string target = (dir / "keep.bin").string();
  const std::vector<uint8_t> old = {9, 9, 9};
  testsupport::WriteFileBytes(target, old);
  { base::AtomicFile dropped(target); Write(dropped, {1}); }
  {
    base::AtomicFile abandoned(target);
    Write(abandoned, {1});
    abandoned.Abandon();
    EXPECT_FALSE(abandoned.Commit());
  }
  {
    base::AtomicFile first(target);
    Write(first, {1});
    base::AtomicFile second = std::move(first);  // the moved-to object owns it now
    EXPECT_FALSE(first.IsOpen());
    second = base::AtomicFile(target);  // replacing an open file abandons it
    EXPECT_TRUE(second.IsOpen());
  }
  if (geteuid() != 0) {
    // A file the user may not write is not replaced, although its folder would let it be.
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    base::AtomicFile refused(target);
    Write(refused, {1});
    EXPECT_FALSE(refused.Commit());
    EXPECT_EQ(refused.Cause(), "Permission denied");
    EXPECT_NE(refused.Error().find("keep.bin"), std::string::npos) << refused.Error();
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(target), old);
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), (std::vector<std::string>{"keep.bin"}));
}

TEST(AtomicFile, PermissionBitsAreKeptOrGiven) {
  testsupport::TempDir dir;
  const std::string target = (dir / "mode.bin").string();
  struct Case {
    bool exists;
    std::optional<mode_t> given;
    mode_t expected;
  };
  for (const Case& c : {Case{true, std::nullopt, 0640}, Case{true, 0600, 0600}, Case{false, 0755, 0755}}) {
    fs::remove(target);
    if (c.exists) {
      testsupport::WriteFileBytes(target, {0});
      ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    }
    std::string error;
    ASSERT_TRUE(base::WriteFileAtomically(target, std::string_view("new"), &error, {.permissions = c.given, .durable = false})) << error;
    EXPECT_EQ(testsupport::PermissionsOf(target), c.expected) << c.exists;
  }
}

// The temporary file is made only where nothing is: a file or a symbolic link planted under its
// name is neither opened nor followed.
TEST(AtomicFile, TheTemporaryFileIsCreatedExclusively) {
  testsupport::TempDir dir;
  const fs::path victim = dir / "victim";
  testsupport::WriteFileBytes(victim, {7});
  const fs::path planted = dir / "planted", dangling = dir / "dangling", existing = dir / "existing";
  fs::create_symlink(victim, planted);
  fs::create_symlink(dir / "created-through-link", dangling);
  testsupport::WriteFileBytes(existing, {8});
  for (const fs::path& path : {planted, dangling, existing}) {
    errno = 0;
    EXPECT_EQ(base::CreateNewFile(path.string()), -1) << path;
    EXPECT_EQ(errno, EEXIST) << path;
  }
  EXPECT_EQ(testsupport::ReadFileBytes(victim), std::vector<uint8_t>{7});
  EXPECT_EQ(testsupport::ReadFileBytes(existing), std::vector<uint8_t>{8});
  EXPECT_FALSE(fs::exists(dir / "created-through-link"));

  const int fd = base::CreateNewFile((dir / "fresh").string());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, "ab", 2), 2);
  char back[2] = {};
  EXPECT_EQ(pread(fd, back, 2, 0), 2);  // open for reading too
  EXPECT_EQ(std::string(back, 2), "ab");
  close(fd);
}

// Writers in several threads and another process, all with files open for the same target at
// once, each get a name of their own; the commits then replace the target one after the other.
TEST(AtomicFile, WritersInOneFolderNeverShareATemporaryName) {
  testsupport::TempDir dir;
  const std::string target = (dir / "shared.bin").string();
  constexpr int kEach = 20;
  int names[2], release[2];
  ASSERT_EQ(pipe(names), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::vector<base::AtomicFile> files;
    std::string text;
    for (int i = 0; i < kEach; ++i) text += files.emplace_back(target).TemporaryPath() + "\n";
    const bool sent = write(names[1], text.data(), text.size()) == ssize_t(text.size());
    close(names[1]);
    char byte;
    const bool released = read(release[0], &byte, 1) == 1;
    for (auto& file : files) file.Abandon();
    _exit(sent && released ? 0 : 1);
  }
  close(names[1]);
  close(release[0]);

  std::vector<base::AtomicFile> files[2];
  std::thread writers[2];
  for (int t = 0; t < 2; ++t)
    writers[t] = std::thread([&, t] {
      for (int i = 0; i < kEach; ++i) files[t].emplace_back(target);
    });
  for (auto& writer : writers) writer.join();

  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(names[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  close(names[0]);
  std::set<std::string> seen;
  for (size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    seen.insert(text.substr(from, end - from));
  EXPECT_EQ(seen.size(), size_t(kEach));
  for (auto& list : files)
    for (auto& file : list) {
      ASSERT_TRUE(file.IsOpen()) << file.Error();
      EXPECT_TRUE(seen.insert(file.TemporaryPath()).second) << file.TemporaryPath();
    }
  EXPECT_EQ(seen.size(), size_t(3 * kEach));

  ASSERT_EQ(write(release[1], "x", 1), 1);
  close(release[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  uint8_t n = 0;
  for (auto& list : files)
    for (auto& file : list) {
      ++n;
      ASSERT_TRUE(file.Write(&n, 1) && file.Commit()) << file.Error();
    }
  EXPECT_EQ(testsupport::ReadFileBytes(target), std::vector<uint8_t>{n});
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), (std::vector<std::string>{"shared.bin"}));
}

// What a signal handler removes: the temporary files being written and the listed scratch
// files, however many files were written and dropped before.
TEST(AtomicFile, RemovePendingFilesClearsWhatIsBeingWritten) {
  testsupport::TempDir dir;
  // More files than the list has places: an abandoned or a committed file gives its place back.
  for (int i = 0; i < 100; ++i) {
    base::AtomicFile file((dir / "earlier.bin").string());
    if (i % 10 == 0) file.Commit();
  }
  base::AtomicFile open((dir / "open.bin").string());
  ASSERT_TRUE(open.IsOpen());
  testsupport::WriteFileBytes(dir / "trial.bin", {1});
  testsupport::WriteFileBytes(dir / "unlisted.bin", {1});
  {
    base::PendingFile trial((dir / "trial.bin").string());
    base::RemovePendingFiles();
  }
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), (std::vector<std::string>{"earlier.bin", "unlisted.bin"}));
}

// A file name may have 255 bytes, and a long one must leave room for the marker and the random
// part: it is cut, between two characters.
TEST(AtomicFile, ALongNameStillLeavesRoomForTheTemporaryName) {
  testsupport::TempDir dir;
  const std::string name = std::string(233, 'n') + "\xC3\xA4\xC3\xA4.bin";
  base::AtomicFile file((dir / name).string());
  ASSERT_TRUE(file.IsOpen()) << file.Error();
  const std::string temporary = fs::path(file.TemporaryPath()).filename().string();
  EXPECT_LE(temporary.size(), 255u);
  EXPECT_EQ(temporary.rfind("." + std::string(233, 'n') + ".vexilo-", 0), 0u) << temporary;
  ASSERT_TRUE(Write(file, {1}) && file.Commit()) << file.Error();
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), std::vector<std::string>{name});
}

// Only a regular file is replaced: a folder, a device, a named pipe or a socket at the target,
// or a link to one, stays what it is, and nothing is left beside it.
TEST(AtomicFile, OnlyARegularFileIsReplaced) {
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    mode_t type;
  };
  const Case cases[] = {{"folder", S_IFDIR}, {"pipe", S_IFIFO}, {"socket", S_IFSOCK}, {"device", S_IFCHR}};
  for (const Case& c : cases) {
    const fs::path node = dir / c.name;
    if (c.type == S_IFDIR) {
      fs::create_directory(node);
    } else if (c.type == S_IFSOCK) {
      const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof address.sun_path, "%s", node.c_str());
      ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << node;
      close(fd);
    } else if (c.type == S_IFCHR) {
      if (geteuid() != 0) continue;  // only root makes devices
      ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    } else {
      ASSERT_EQ(mkfifo(node.c_str(), 0666), 0);
    }
    const fs::path link = dir / (std::string(c.name) + "-link");
    fs::create_symlink(node, link);
    for (const fs::path& target : {node, link}) {
      std::string error;
      EXPECT_FALSE(base::WriteFileAtomically(target.string(), std::string_view("png"), &error)) << target;
      EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
      struct stat after {};
      ASSERT_EQ(lstat(node.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode & S_IFMT, c.type) << target;
      EXPECT_TRUE(fs::is_symlink(link));
      EXPECT_FALSE(base::AtomicFile(target.string()).IsOpen()) << "refused before anything is written";
    }
  }
  for (const std::string& name : testsupport::NamesIn(dir.Path()))
    EXPECT_EQ(name.find(".vexilo-"), std::string::npos) << name;
}

// Root replacing another user's file leaves it that user's, with its bits and attributes.
TEST(AtomicFile, AReplacedFileKeepsItsOwnerGroupModeAndAttributes) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  testsupport::TempDir dir;
  const std::string target = (dir / "theirs.bin").string();
  testsupport::WriteFileBytes(target, {1});
  ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  const bool attributes = setxattr(target.c_str(), "user.origin", "camera", 6, 0) == 0;
  std::string error;
  ASSERT_TRUE(base::WriteFileAtomically(target, std::string_view("new"), &error)) << error;
  struct stat after {};
  ASSERT_EQ(stat(target.c_str(), &after), 0);
  EXPECT_EQ(after.st_uid, 65534u);
  EXPECT_EQ(after.st_gid, 65534u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  if (attributes) {
    char value[16] = {};
    EXPECT_EQ(getxattr(target.c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "camera");
  }
}

// A link another user put into a shared folder (such as /tmp) is not followed: it could name
// any file of the writer's. The writer's own link there is followed as before.
TEST(AtomicFile, ALinkAnotherUserPlacedInASharedFolderIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a link owned by another user";
  testsupport::TempDir dir;
  const fs::path shared = dir / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const fs::path victim = dir / "victim.png";
  testsupport::WriteFileBytes(victim, {7});
  const fs::path planted = shared / "out.png", own = shared / "own.png";
  fs::create_symlink(victim, planted);
  ASSERT_EQ(lchown(planted.c_str(), 65534, 65534), 0);
  fs::create_symlink(victim, own);
  std::string error;
  EXPECT_FALSE(base::WriteFileAtomically(planted.string(), std::string_view("x"), &error));
  EXPECT_NE(error.find("another user"), std::string::npos) << error;
  EXPECT_EQ(testsupport::ReadFileBytes(victim), std::vector<uint8_t>{7});
  ASSERT_TRUE(base::WriteFileAtomically(own.string(), std::string_view("x"), &error)) << error;
  EXPECT_EQ(testsupport::ReadFileBytes(victim), std::vector<uint8_t>{'x'});
  EXPECT_TRUE(fs::is_symlink(own));
}
