// Output folder, name and type; padding; folder creation; the folder rule; names that stay in
// their folder.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/OutputNaming.h"
#include "tests/support/PseudoLanguage.h"
#include "tests/support/TestSupport.h"

namespace {

engine::NamingInput Input(const std::string& source, const std::string& folder, const std::string& name,
                          const std::string& format) {
  engine::NamingInput in;
  in.sourcePath = source;
  in.folderPattern = folder;
  in.namePattern = name;
  in.formatItem = format;
  in.rowCount = 1;
  in.padding = 1;
  return in;
}

TEST(Naming, PatternsAndPlaceholders) {
  struct Case {
    const char* source;
    const char* folder;
    const char* name;
    const char* format;
    int32_t w, h;
    const char* expected;
  };
  const Case cases[] = {
      {"/pics/holiday.jpg", "<keep>", "%name%-1", "<keep>", 0, 0, "/pics/holiday-1.jpg"},
      {"/pics/holiday.jpg", "<beibehalten>", "%name% (%breite%x%höhe%)", "*.png - Portable Network Graphics", 3000, 2000,
       "/pics/holiday (3000x2000).png"},
      {"/pics/holiday.jpg", "%folder%/new", "%name% (%width%x%height%)", "<keep>", 3000, 2000,
       "/pics/new/holiday (3000x2000).jpg"},
      {"/pics/a.jpg.jpg", "<keep>", "<keep>", "<keep>", 0, 0, "/pics/a.jpg"},  // every ".jpg" leaves the name
      {"/pics/x%num%.png", "%ordner%", "%name%", "<keep>", 0, 0, "/pics/x1.png"},  // placeholders in the name are replaced too
      {"/pics/a.JPG", "/out////x", "%name%", "*.cur - Windows Cursor", 0, 0, "/out//x/a.cur"},
      {"/pics/a.jpg", "/out", "%name%", "*.jng - JPEG Network Graphics\u00B4", 0, 0, "/out/a.jng"},
      {"/pics/a.jpg", "/out", "%name%", "JPEG", 0, 0, "/out/a"},  // no extension pattern: nothing appended
      {"/pics/noext", "<keep>", "%name%-1", "<keep>", 0, 0, "/pics/noext-1"},
      {"/pics.d/a", "<keep>", "<keep>", "<keep>", 0, 0, "/pics.d/a"},  // a dot in a folder is no extension
  };
  for (const Case& c : cases) {
    engine::NamingInput in = Input(c.source, c.folder, c.name, c.format);
    in.width = c.w;
    in.height = c.h;
    EXPECT_EQ(engine::OutputFolder(in) + engine::OutputName(in) + engine::OutputExtension(c.format, c.source),
              c.expected)
        << c.source << " " << c.folder << " " << c.name;
  }
}

// A language added to the list brings its own placeholders and keep entry along.
TEST(Naming, PlaceholdersOfAnAddedLanguage) {
  testsupport::PseudoLanguage();
  engine::NamingInput in = Input("/pics/holiday.jpg", "%FOLDER%/NEW", "%name% (%WIDTH%x%HEIGHT%)", "<KEEP>");
  in.width = 30;
  in.height = 20;
  EXPECT_EQ(engine::OutputFolder(in) + engine::OutputName(in) + engine::OutputExtension(in.formatItem, in.sourcePath),
            "/pics/NEW/holiday (30x20).jpg");
}

TEST(Naming, NumbersArePaddedToTheRowCount) {
  struct Case {
    int rows, index;
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {
      {9, 0, "%0num%", "1"},      {9, 8, "%0num%", "9"},         {12, 0, "%0num%", "01"},
      {12, 11, "%0num%", "12"},   {100, 0, "%0num%", "001"},     {12, 4, "%0num%-%abs%", "05-12"},
      {12, 4, "%num%", "5"},      {7, 12, "%0num%", "13"},  // more digits than the padding: written in full
  };
  for (const Case& c : cases) {
    engine::NamingInput in = Input("/p/a.jpg", "<keep>", c.pattern, "<keep>");
    in.rowCount = c.rows;
    in.padding = engine::PaddingWidth(c.rows);
    in.index = c.index;
    EXPECT_EQ(engine::OutputName(in), c.expected) << c.rows << " rows, index " << c.index;
  }
  EXPECT_EQ(engine::PaddingWidth(7), 1);
  EXPECT_EQ(engine::PaddingWidth(250), 3);
}

TEST(Naming, FolderRule) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {"/", true},         {"/Bilder", true},      {"/a/b/", true},        {"/Ordner/neu", true},
      {"/a//b", true},  // parts between the first and last are not examined
      {"", false},         {"//", false},          {"Bilder", false},      {"a/b", false},
      {"/a/b:c", false},   {"/a/?", false},        {"/a/x*", false},       {"/a/x\\y", false},
      {"/a/\"q\"", false}, {"/a/b//", false},
  };
  for (const Case& c : cases) EXPECT_EQ(engine::IsAcceptableFolderPath(c.text), c.ok) << c.text;
}

TEST(Naming, MissingFoldersAreCreatedOrTheFailureSaysWhy) {
  testsupport::TempDir dir;
  const std::string base = dir.Path().string();
  engine::NamingInput in = Input(base + "/src/a.bmp", "%folder%/new/deeper", "%name%", "<keep>");
  EXPECT_EQ(engine::ComposeOutputPath(in), base + "/src/new/deeper/a.bmp");
  EXPECT_FALSE(std::filesystem::exists(base + "/src")) << "composing a path makes nothing";
  EXPECT_EQ(engine::CreateFolderPath(engine::OutputFolder(in)), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(base + "/src/new/deeper"));
  EXPECT_EQ(engine::CreateFolderPath(engine::OutputFolder(in)), std::nullopt) << "a folder that is there is fine";
  // A folder that cannot be made says why, with the folder that could not be made.
  testsupport::WriteFileBytes(dir / "file", {1});
  const auto inTheWay = engine::CreateFolderPath(base + "/file/sub/");
  ASSERT_TRUE(inTheWay);
  EXPECT_NE(inTheWay->find("Not a directory"), std::string::npos) << *inTheWay;
  EXPECT_FALSE(std::filesystem::exists(base + "/file/sub"));
  if (geteuid() != 0) {
    std::filesystem::create_directory(dir / "locked");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const auto denied = engine::CreateFolderPath(base + "/locked/new/");
    ASSERT_TRUE(denied);
    EXPECT_NE(denied->find("\"" + base + "/locked/new\": Permission denied"), std::string::npos) << *denied;
  }
  const auto tooLong = engine::CreateFolderPath("/" + std::string(5000, 'x') + "/");
  ASSERT_TRUE(tooLong);
  EXPECT_NE(tooLong->find("the system takes paths of at most 4095 bytes"), std::string::npos) << *tooLong;
}

// A name may make subfolders of the output folder, but never lead out of it: by its pattern
// (checked before the run) or by what a placeholder or an output type puts into it (per file).
TEST(Naming, NamesStayInTheOutputFolder) {
  struct Case {
    const char* pattern;
    bool ok;
  };
  const Case patterns[] = {{"%name%", true},     {"small/%name%", true}, {"a..b", true},     {"..%name%", true},
                           {"../../x", false},   {"/etc/x", false},      {"sub/../x", false}, {"..", false}};
  for (const Case& c : patterns) EXPECT_EQ(engine::IsAcceptableNamePattern(c.pattern), c.ok) << c.pattern;

  struct File {
    const char* source;
    const char* pattern;
    const char* format;
    bool stays;
  };
  const File files[] = {
      {"/p/a.png", "sub/%name%", "<keep>", true},
      {"/p/...png", "%name%", "<keep>", true},      // "..": the whole name is "...png"
      {"/p/...png", "%name%/x", "<keep>", false},   // "%name%" makes a ".." part
      {"/p/a.png", "%name%", "*./../x - from a configuration", false},
  };
  for (const File& f : files)
    EXPECT_EQ(engine::StaysInOutputFolder(Input(f.source, "/out", f.pattern, f.format)), f.stays)
        << f.source << " " << f.pattern << " " << f.format;
}

}  // namespace
