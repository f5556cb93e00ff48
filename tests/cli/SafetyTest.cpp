// vexilo-cli convert where files could be lost or failures hidden: unreadable files in a folder,
// a picture whose data end early, write-protected targets, signals during a save.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Cli() { return VEXILO_CLI_PATH; }

class CliSafety : public ::testing::Test {
protected:
  int Convert(const std::string& arguments, std::string* output = nullptr, const std::string& prefix = "") {
    return testsupport::RunCommand("cd '" + dir.Path().string() + "' && " + prefix + "'" + Cli() + "' convert " +
                                       arguments + " </dev/null 2>&1",
                                   output);
  }

  // A w × h picture with detail in every pixel, saved through the program's own codecs.
  void Picture(const fs::path& path, int32_t w, int32_t h) { ASSERT_TRUE(testsupport::WriteNoisePicture(path, w, h)); }

  std::vector<std::string> Leftovers(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".vexilo-") != std::string::npos || name.find("_tempfile") != std::string::npos)
        found.push_back(name);
    }
    return found;
  }

  testsupport::TempDir dir;
};

TEST_F(CliSafety, UnreadableFilesInAFolderAreReportedWithTheirCause) {
  Picture(dir.Path() / "in/good.bmp", 8, 8);
  testsupport::WriteFileBytes(dir.Path() / "in/empty.jpg", {});
  const std::string text = "not a picture\n";
  testsupport::WriteFileBytes(dir.Path() / "in/notes.jpg", std::vector<uint8_t>(text.begin(), text.end()));
  std::string out;
  EXPECT_EQ(Convert("--folder out in", &out), 1) << out;
  EXPECT_NE(out.find("empty.jpg"), std::string::npos) << out;
  EXPECT_NE(out.find("The file is empty"), std::string::npos) << out;
  EXPECT_NE(out.find("notes.jpg"), std::string::npos) << out;
  EXPECT_NE(out.find("No image format recognises"), std::string::npos) << out;
  EXPECT_NE(out.find("1 written, 2 failed"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(dir.Path() / "out/good-1.bmp"));
}

TEST_F(CliSafety, AJpegWhoseDataEndEarlyConvertsWithAWarning) {
  Picture(dir.Path() / "whole.jpg", 64, 64);
  std::vector<uint8_t> bytes = testsupport::ReadFileBytes(dir.Path() / "whole.jpg");
  bytes.resize(bytes.size() / 2);
  testsupport::WriteFileBytes(dir.Path() / "cut.jpg", bytes);
  std::string out;
  EXPECT_EQ(Convert("--folder out --format png cut.jpg", &out), 0) << out;
  EXPECT_NE(out.find("cut.jpg"), std::string::npos) << out;
  EXPECT_NE(out.find("data end early"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(dir.Path() / "out/cut-1.png"));
}

TEST_F(CliSafety, PicturesOfOurOwnReadersWhoseDataEndEarlyConvertWithAWarning) {
  const struct {
    const char* name;
    const char* warning;
  } cases[] = {
      {"gif-cut.gif", "GIF data end early; the missing part is transparent"},
      {"tga-cut.tga", "Targa data end early; the missing part is "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path whole = dir.Path() / (std::string("whole") + fs::path(c.name).extension().string());
    Picture(whole, 64, 64);
    std::vector<uint8_t> bytes = testsupport::ReadFileBytes(whole);
    bytes.resize(bytes.size() / 2);
    testsupport::WriteFileBytes(dir.Path() / c.name, bytes);
    std::string out;
    EXPECT_EQ(Convert(std::string("--folder out --format png ") + c.name, &out), 0) << out;
    EXPECT_NE(out.find(std::string(c.name) + "\": " + c.warning), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / (fs::path(c.name).stem().string() + "-1.png")));
  }
}

TEST_F(CliSafety, AWriteProtectedTargetIsNotReplacedByAnOrdinaryUser) {
  if (geteuid() != 0 || !testsupport::HaveTool("setpriv")) GTEST_SKIP() << "needs root to become an ordinary user";
  // A folder the ordinary user may write, with a file the user may not.
  fs::permissions(dir.Path(), fs::perms::all);
  Picture(dir.Path() / "locked.bmp", 16, 16);
  const fs::path locked = dir.Path() / "locked.bmp";
  ASSERT_EQ(chown(locked.c_str(), 65534, 65534), 0);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::vector<uint8_t> before = testsupport::ReadFileBytes(locked);
  std::string out;
  EXPECT_EQ(Convert("--overwrite --yes-to-all --size 8x8 locked.bmp", &out,
                    "setpriv --reuid=65534 --regid=65534 --clear-groups "),
            1)
      << out;
  EXPECT_NE(out.find("Permission denied"), std::string::npos) << out;
  EXPECT_EQ(testsupport::ReadFileBytes(locked), before);
  EXPECT_TRUE(Leftovers(dir.Path()).empty());

  // Root keeps root's rights.
  EXPECT_EQ(Convert("--overwrite --yes-to-all --size 8x8 locked.bmp", &out), 0) << out;
  EXPECT_NE(testsupport::ReadFileBytes(locked), before);
}

TEST_F(CliSafety, SignalsDuringASaveLeaveNoTemporaryFile) {
  // A file-size search over a large picture keeps saving for a while.
  Picture(dir.Path() / "big.png", 1500, 1500);
  for (const int signal : {SIGTERM, SIGHUP}) {
    fs::remove_all(dir.Path() / "out");
    fs::create_directories(dir.Path() / "out");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (chdir(dir.Path().c_str()) != 0) _exit(120);
      freopen("/dev/null", "w", stderr);
      execl(Cli().c_str(), "vexilo-cli", "convert", "--filesize", "900", "--folder", "out", "big.png",
            static_cast<char*>(nullptr));
      _exit(121);
    }
    // Wait until a temporary or trial file exists, then end the process.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Leftovers(dir.Path() / "out").empty() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) {
      EXPECT_EQ(WTERMSIG(status), signal);
    } else {
      ADD_FAILURE() << "the run ended before the signal (status " << status << ")";
    }
    EXPECT_EQ(Leftovers(dir.Path() / "out"), std::vector<std::string>{}) << "signal " << signal;
  }
}

TEST_F(CliSafety, CtrlCDuringAFileSizeSearchStopsAfterThatFile) {
  Picture(dir.Path() / "big.png", 1500, 1500);
  Picture(dir.Path() / "small.png", 20, 20);
  fs::create_directories(dir.Path() / "out");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(dir.Path().c_str()) != 0) _exit(120);
    freopen("/dev/null", "w", stderr);
    execl(Cli().c_str(), "vexilo-cli", "convert", "--filesize", "900", "--folder", "out", "--name", "%name%",
          "big.png", "small.png", static_cast<char*>(nullptr));
    _exit(121);
  }
  // Ctrl+C while a trial of the first file is being written.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Leftovers(dir.Path() / "out").empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 3);  // cancelled
  // The first file is finished from the trials made so far; the second is not begun.
  EXPECT_TRUE(fs::exists(dir.Path() / "out" / "big.png"));
  EXPECT_FALSE(fs::exists(dir.Path() / "out" / "small.png"));
  EXPECT_EQ(Leftovers(dir.Path() / "out"), std::vector<std::string>{});
}

TEST_F(CliSafety, ThirdPartyFilesReportWhatHappenedOnce) {
  const fs::path suite = testsupport::CorpusFile("imagetestsuite/jpg");
  if (!fs::is_directory(suite)) GTEST_SKIP() << "third-party suite not found";
  // Exif that cannot be carried: the picture is written and counted, its metadata reported.
  fs::copy_file(suite / "8e5e74dbf9b68a322fbb9512db837329.jpg", dir.Path() / "exif.jpg");
  std::string out;
  EXPECT_EQ(Convert("--folder out exif.jpg", &out), 0) << out;
  EXPECT_NE(out.find("written without the metadata"), std::string::npos) << out;
  EXPECT_NE(out.find("1 written, 0 failed"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(dir.Path() / "out/exif-1.jpg"));

  // Tall, thin pictures in a file-size search: at most one report each, and the count and exit
  // status agree with the files written.
  for (const char* name : {"194531363df5b73f59c4c0517422f917.jpg", "eecb78b937a7c5f04aae2f5b0f5b5acc.jpg"}) {
    fs::remove_all(dir.Path() / "tall");
    fs::create_directories(dir.Path() / "tall");
    fs::copy_file(suite / name, dir.Path() / "tall" / name);
    const int status = Convert("--filesize 30 --format jpg --folder tall/out tall", &out);
    size_t reports = 0;
    for (size_t at = out.find("Converting Error"); at != std::string::npos; at = out.find("Converting Error", at + 1))
      ++reports;
    EXPECT_LE(reports, 1u) << out;
    const bool written = fs::exists(dir.Path() / "tall/out" / (fs::path(name).stem().string() + "-1.jpg"));
    EXPECT_EQ(status, written ? 0 : 1) << out;
    EXPECT_NE(out.find(written ? "1 written, 0 failed" : "0 written, 1 failed"), std::string::npos) << out;
  }
}

}  // namespace
