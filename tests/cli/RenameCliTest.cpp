// vexilo-cli rename as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

class RenameCli : public ::testing::Test {
protected:
  RenameCli() : files(dir / "files") {
    fs::create_directories(files);
    for (const char* name : {"c.jpg", "a.jpg", "b.jpg", "notes.txt"}) std::ofstream(files / name) << name;
  }

  // Runs vexilo-cli rename with the settings beside the test's files; `output` gets both streams.
  int Rename(const std::string& arguments, std::string* output = nullptr, const std::string& environment = "") {
    std::string text;
    const int status = testsupport::RunCommand("VEXILO_HOME='" + (dir / "settings").string() + "' " + environment +
                                                   " '" + VEXILO_CLI_PATH + "' rename " + arguments + " 2>&1",
                                               &text);
    if (output) *output = text;
    return status;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(files)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Files() const { return "'" + files.string() + "'"; }

  testsupport::TempDir dir;
  fs::path files;
  const std::vector<std::string> original = {"a.jpg", "b.jpg", "c.jpg", "notes.txt"};
};

TEST_F(RenameCli, DryRunShowsTheTableAndChangesNothing) {
  std::string output;
  EXPECT_EQ(Rename("--dry-run --mask '%0num%-%abs%' --filter jpg " + Files(), &output), 0);
  const std::string f = files.string() + "/";
  EXPECT_EQ(output, f + "a.jpg → " + f + "1-3.jpg\n" + f + "b.jpg → " + f + "2-3.jpg\n" + f + "c.jpg → " + f + "3-3.jpg\n");
  EXPECT_EQ(Names(), original);
  EXPECT_FALSE(fs::exists(dir / "settings"));

  EXPECT_EQ(Rename("--dry-run --mask b " + Files() + "/a.jpg", &output), 0);
  EXPECT_NE(output.find("(File already exists)"), std::string::npos);
}

TEST_F(RenameCli, RenamesAndUndoes) {
  std::string output;
  EXPECT_EQ(Rename("--find jpg --replace jpeg --in ext " + Files(), &output), 0) << output;
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.jpeg", "b.jpeg", "c.jpeg", "notes.txt"}));
  EXPECT_NE(output.find("3 files renamed (1 files could not be renamed)"), std::string::npos) << output;

  EXPECT_EQ(Rename("--undo", &output), 0) << output;
  EXPECT_EQ(Names(), original);
  EXPECT_NE(output.find("3 files restored"), std::string::npos);
  EXPECT_EQ(Rename("--undo", &output), 0);
  EXPECT_NE(output.find("nothing to undo"), std::string::npos);

  // A taken name fails the file and the run, and the other file is untouched.
  EXPECT_EQ(Rename("--mask b " + Files() + "/a.jpg", &output), 1);
  EXPECT_NE(output.find("File already exists"), std::string::npos);
  EXPECT_EQ(Names(), original);

  EXPECT_EQ(Rename("--mask x", &output), 2);
  EXPECT_EQ(Rename("--in ext " + Files(), &output), 2);
  EXPECT_EQ(Rename("--undo " + Files(), &output), 2);
  EXPECT_EQ(Rename("--start one " + Files(), &output), 2);
}

TEST_F(RenameCli, KilledRunIsUndoneFromTheJournal) {
  std::string output;
  const int status = Rename("--mask 'n%num%' " + Files(), &output, "VEXILO_TEST_KILL_AFTER_RENAMES=2");
  EXPECT_NE(status, 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"c.jpg", "n1.jpg", "n2.jpg", "notes.txt"}));
  // A new run waits until the interrupted one is settled.
  EXPECT_EQ(Rename("--mask x " + Files(), &output), 2);
  EXPECT_NE(output.find("interrupted"), std::string::npos);

  EXPECT_EQ(Rename("--undo", &output), 0) << output;
  EXPECT_EQ(Names(), original);
  for (const std::string& name : original) {
    std::ifstream in(files / name);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), name);
  }
}

}  // namespace
