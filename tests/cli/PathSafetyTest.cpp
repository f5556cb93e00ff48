// vexilo-cli where a run could replace or hang on something it does not own, or blame the wrong
// cause: device nodes, named pipes, planted links, other users' files, two spellings of one
// path, names that lead out of their folder, a picture named as a configuration, a hand-edited
// rename journal, and failures that must name their real cause. One row per case, each with its
// own reproduction as the fixture, in a folder of its own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ImageFiles.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// A w × h picture with detail in every pixel, saved through the program's own codecs.
void Picture(const fs::path& path, int32_t w = 40, int32_t h = 30) {
  ASSERT_TRUE(testsupport::WriteNoisePicture(path, w, h));
}

void Text(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  testsupport::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

mode_t TypeOf(const fs::path& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// Nothing of the run's own left behind anywhere in the folder.
void NoTemporaryFiles(const fs::path& dir) {
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".vexilo-"), std::string::npos) << entry.path();
  }
}

struct Row {
  const char* name;
  enum Needs { Anyone, Root } needs;
  std::function<void(const fs::path&)> setup;  // the reproduction, in the row's folder
  std::string command;                         // after "vexilo-cli"
  int exit;                                    // the expected exit status
  std::vector<std::string> says;               // in what the command prints
  std::function<void(const fs::path&)> check;  // what must hold afterwards
  std::string prefix = {};                     // before the command (a limit, another user)
  std::vector<std::string> neverSays = {};
  // After the setup: false where this system cannot give the fixture (the row is left out).
  std::function<bool(const fs::path&)> possible = nullptr;
};

// Runs the command in the folder, without a terminal, with a time limit: a hang fails the row.
int RunRow(const fs::path& dir, const Row& row, std::string& output) {
  return testsupport::RunCommand("cd '" + dir.string() + "' && export VEXILO_HOME='" + (dir / "home").string() +
                                     "'; " + row.prefix + "timeout 60 '" + std::string(VEXILO_CLI_PATH) + "' " +
                                     row.command + " </dev/null 2>&1",
                                 &output);
}

// A relative folder of 21 parts of 200 bytes: each part a valid name, the whole beyond PATH_MAX.
std::string LongFolder() {
  std::string folder = std::string(200, 'f');
  for (int i = 1; i < 21; ++i) folder += "/" + std::string(200, 'f');
  return folder;
}

const std::string kLong(250, 'n');  // with ".png", a name of 254 bytes

const Row kRows[] = {
    // 1. Only regular files are replaced, whatever the answers.
    {"a link to a device node at the output", Row::Root,
     [](const fs::path& d) {
       Picture(d / "a.png");
       fs::create_directories(d / "dev");
       fs::create_directories(d / "out");
       ASSERT_EQ(mknod((d / "dev/x").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
       fs::create_symlink("../dev/x", d / "out/a-1.png");
     },
     "convert --percent 50 --folder out --yes-to-all a.png", 1, {"is not a regular file", "0 written, 1 failed"},
     [](const fs::path& d) {
       EXPECT_EQ(TypeOf(d / "dev/x"), static_cast<mode_t>(S_IFCHR));
       EXPECT_TRUE(fs::is_symlink(d / "out/a-1.png"));
     }},
    {"a named pipe at the output", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "a.png");
       fs::create_directories(d / "out");
       ASSERT_EQ(mkfifo((d / "out/a-1.png").c_str(), 0666), 0);
     },
     "convert --percent 50 --folder out --no-to-all a.png", 1, {"is not a regular file (a named pipe)"},
     [](const fs::path& d) { EXPECT_EQ(TypeOf(d / "out/a-1.png"), static_cast<mode_t>(S_IFIFO)); }},
    {"a folder at the output", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "a.png");
       fs::create_directories(d / "out/a-1.png");
     },
     "convert --percent 50 --folder out --yes-to-all a.png", 1, {"is not a regular file (a folder)"},
     [](const fs::path& d) { EXPECT_TRUE(fs::is_directory(d / "out/a-1.png")); }},
    // 2. Inputs that are not regular files never block.
    {"a named pipe given as a file and found in a folder", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "in/b.png");
       ASSERT_EQ(mkfifo((d / "pipe.png").c_str(), 0666), 0);
       ASSERT_EQ(mkfifo((d / "in/pipe.png").c_str(), 0666), 0);
     },
     "convert --percent 50 --folder out pipe.png in", 1, {"pipe.png\" is not a regular file", "1 written, 2 failed"},
     [](const fs::path& d) { EXPECT_TRUE(fs::exists(d / "out/b-1.png")); }},
    // 3. Trial files are created, never found; long names still work.
    {"a link planted under the old trial name", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "a.png", 200, 150);
       Picture(d / "out/a-1.png", 10, 10);
       Text(d / "victim.png", "another user's file");
       fs::create_symlink("../victim.png", d / "out/a-1_tempfile23893298021.png");
     },
     "convert --filesize 20 --folder out --no-to-all --jobs 1 a.png", 0, {"0 written, 0 failed, 1 kept"},
     [](const fs::path& d) {
       EXPECT_EQ(testsupport::ReadFileBytes(d / "victim.png").size(), 19u);
       EXPECT_TRUE(fs::is_symlink(d / "out/a-1_tempfile23893298021.png"));
     }},
    {"a name of 254 bytes in a file-size search", Row::Anyone, [](const fs::path& d) { Picture(d / "a.png", 200, 150); },
     "convert --filesize 20 --folder out --name " + kLong + " a.png", 0, {"1 written"},
     [](const fs::path& d) { EXPECT_TRUE(fs::exists(d / "out" / (kLong + ".png"))); }},
    // 4. A replaced file keeps its owner, group and mode.
    {"root overwrites another user's 0640 file", Row::Root,
     [](const fs::path& d) {
       Picture(d / "theirs.png");
       ASSERT_EQ(chown((d / "theirs.png").c_str(), 65534, 65534), 0);
       ASSERT_EQ(chmod((d / "theirs.png").c_str(), 0640), 0);
     },
     "convert --overwrite --yes-to-all --percent 50 theirs.png", 0, {"1 written"},
     [](const fs::path& d) {
       struct stat info {};
       ASSERT_EQ(stat((d / "theirs.png").c_str(), &info), 0);
       EXPECT_EQ(info.st_uid, 65534u);
       EXPECT_EQ(info.st_gid, 65534u);
       EXPECT_EQ(info.st_mode & 07777, 0640u);
     }},
    // 5. One file is one file.
    {"one file by two spellings", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "a.png");
       fs::create_directory_symlink(".", d / "here");
     },
     "convert --percent 50 --folder out a.png ./a.png here/a.png", 0, {"1 written, 0 failed"}, nullptr},
    // 6. Name patterns stay in their folder; no folder for a file that fails before its save.
    {"a name pattern that climbs out", Row::Anyone, [](const fs::path& d) { Picture(d / "a.png"); },
     "convert --percent 50 --folder out/deep --name ../../x a.png", 2, {"leads out of the Folder"},
     [](const fs::path& d) {
       EXPECT_FALSE(fs::exists(d / "x.png"));
       EXPECT_FALSE(fs::exists(d / "out"));
     }},
    {"an absolute name pattern", Row::Anyone, [](const fs::path& d) { Picture(d / "a.png"); },
     "convert --percent 50 --folder out --name /tmp/x a.png", 2, {"leads out of the Folder"}, nullptr},
    {"a \"..\" that %name% makes", Row::Anyone, [](const fs::path& d) { Picture(d / "...png"); },
     "convert --percent 50 --folder out/deep --name %name%/x ...png", 1, {"leads out of the output folder"},
     [](const fs::path& d) {
       EXPECT_FALSE(fs::exists(d / "out/x.png"));
       EXPECT_FALSE(fs::exists(d / "out/deep"));
     }},
    {"a subfolder made by the pattern", Row::Anyone, [](const fs::path& d) { Picture(d / "a.png"); },
     "convert --percent 50 --folder out --name small/%name% a.png", 0, {"1 written"},
     [](const fs::path& d) { EXPECT_TRUE(fs::exists(d / "out/small/a.png")); }},
    // 7. A configuration is only written over a configuration.
    {"a configuration saved over a picture", Row::Anyone, [](const fs::path& d) { Picture(d / "photo.jpg"); },
     "config --save photo.jpg", 1, {"no configuration"},
     [](const fs::path& d) {
       imaging::Image image;
       EXPECT_TRUE(engine::LoadImageFile((d / "photo.jpg").string(), image));
     }},
    // 8. Undo only undoes what the journal can prove.
    {"a hand-edited journal that moves a folder", Row::Anyone,
     [](const fs::path& d) {
       fs::create_directories(d / "keep/folder");
       fs::create_directories(d / "elsewhere");
       Text(d / "home/rename-journal", "vexilo rename journal 1\nplan " + (d / "elsewhere/folder").string() + "\t" +
                                           (d / "keep/folder").string() + "\ndone 0\nend\n");
     },
     "rename --undo", 1, {"skipped"},
     [](const fs::path& d) {
       EXPECT_TRUE(fs::is_directory(d / "keep/folder"));
       EXPECT_FALSE(fs::exists(d / "elsewhere/folder"));
     }},
    // 9. Every failure names its real cause.
    {"a write that fails in a file-size search with one job", Row::Anyone,
     [](const fs::path& d) { Picture(d / "a.png", 300, 300); },
     "convert --jobs 1 --filesize 200 --format bmp --folder out a.png", 1, {"File too large"},
     [](const fs::path& d) { NoTemporaryFiles(d); }, "trap '' XFSZ; ulimit -f 40; ", {"TBufferedStream"}},
    {"a full disk", Row::Root,
     [](const fs::path& d) {
       Picture(d / "a.png", 300, 300);
       fs::create_directories(d / "full");
       mount("tmpfs", (d / "full").c_str(), "tmpfs", 0, "size=64k");
     },
     "convert --jobs 1 --filesize 200 --format bmp --folder full a.png", 1, {"No space left on device"},
     [](const fs::path& d) {
       NoTemporaryFiles(d / "full");
       umount((d / "full").c_str());
     },
     "", {"TBufferedStream"},
     [](const fs::path& d) {  // a container may not let root mount
       struct stat full {}, here {};
       return stat((d / "full").c_str(), &full) == 0 && stat(d.c_str(), &here) == 0 && full.st_dev != here.st_dev;
     }},
    {"an output folder that may not be made", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "a.png");
       fs::create_directories(d / "locked");
       fs::permissions(d, fs::perms::all);
       fs::permissions(d / "a.png", fs::perms::all);
       fs::permissions(d / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
     },
     // Found by the start checks, before the first file.
     "convert --percent 50 --folder locked/new a.png", 2, {"locked/new/\" cannot be written:", "Permission denied"},
     nullptr,
     geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : ""},
    {"a path longer than the system takes", Row::Anyone, [](const fs::path& d) { Picture(d / "a.png"); },
     "convert --percent 50 --folder " + LongFolder() + " a.png", 1,
     {"the system takes paths of at most 4095 bytes"}, nullptr},
    {"a GIF cut before its image data", Row::Anyone,
     [](const fs::path& d) {
       Picture(d / "whole.gif");
       std::vector<uint8_t> bytes = testsupport::ReadFileBytes(d / "whole.gif");
       // Inside the first image's colour table: no pixel is left (a cut in the image data gives
       // the rows before the cut, with a warning).
       bytes.resize(13 + 8 + 10 + 100);
       testsupport::WriteFileBytes(d / "cut.gif", bytes);
     },
     "convert --percent 50 --folder out cut.gif", 1, {"Loading Error", "GIF file: its data end early"},
     [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "out")) << "no folder for a file that failed before its save"; },
     "", {"Saving Error", "No image format recognises"}},
};

TEST(CliPathSafety, NothingIsReplacedOrWaitedForThatIsNotTheRunsOwn) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    if (row.needs == Row::Root && geteuid() != 0) continue;
    if (!row.prefix.empty() && row.prefix.rfind("setpriv", 0) == 0 && !testsupport::HaveTool("setpriv")) continue;
    testsupport::TempDir dir;
    row.setup(dir.Path());
    if (row.possible && !row.possible(dir.Path())) continue;
    std::string out;
    EXPECT_EQ(RunRow(dir.Path(), row, out), row.exit) << out;
    for (const std::string& text : row.says) EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    for (const std::string& text : row.neverSays) EXPECT_EQ(out.find(text), std::string::npos) << text << "\n" << out;
    if (row.check) row.check(dir.Path());
  }
}

}  // namespace
