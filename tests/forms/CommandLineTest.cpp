// Splitting a handed-over command line and telling the kinds of arguments apart.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forms/CommandLine.h"

namespace {

using Items = std::vector<std::string>;

TEST(CommandLine, ReceivedPathsTable) {
  const struct {
    const char* text;
    Items items;  // QuotedItems
    Items paths;  // ReceivedPaths
  } cases[] = {
      {"", {}, {}},
      {"\"/usr/bin/vexilo\"", {"/usr/bin/vexilo"}, {}},
      {"\"/usr/bin/vexilo\" \"/a/b.jpg\" \"/c d/e.png\"", {"/usr/bin/vexilo", "/a/b.jpg", "/c d/e.png"},
       {"/a/b.jpg", "/c d/e.png"}},
      // Text outside quotation marks is ignored: unquoted arguments add nothing.
      {"/usr/bin/vexilo /a/b.jpg /c.png", {}, {}},
      {"vexilo \"/a/b.jpg\"", {"/a/b.jpg"}, {}},
      {"x\"p\"y\"/a\"z \"/b\"", {"p", "/a", "/b"}, {"/a", "/b"}},
      // An unclosed last item is dropped.
      {"\"p\" \"/a.jpg\" \"/b.jpg", {"p", "/a.jpg"}, {"/a.jpg"}},
      {"\"p\" \"/b.jpg", {"p"}, {}},
      // Empty items count as items.
      {"\"p\" \"\" \"/a\"", {"p", "", "/a"}, {"", "/a"}},
      {"\"p\"\"/a\"", {"p", "/a"}, {"/a"}},
      {"\"p\" \"/Bilder/ä ö.jpg\"", {"p", "/Bilder/ä ö.jpg"}, {"/Bilder/ä ö.jpg"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(forms::QuotedItems(c.text), c.items) << c.text;
    EXPECT_EQ(forms::ReceivedPaths(c.text), c.paths) << c.text;
  }
}

TEST(CommandLine, HandOverTextRoundTrips) {
  const Items args = {"/a b/c.jpg", "/d/", "/e.vxc"};
  const std::string text = forms::HandOverText("/usr/bin/vexilo", args);
  EXPECT_EQ(text, "\"/usr/bin/vexilo\" \"/a b/c.jpg\" \"/d/\" \"/e.vxc\"");
  EXPECT_EQ(forms::ReceivedPaths(text), args);
  // A quotation mark inside a path cannot be handed over.
  EXPECT_EQ(forms::HandOverText("/usr/bin/vexilo", {"/a\"b.jpg"}), "");
  EXPECT_EQ(forms::HandOverText("/usr/bin/vex\"ilo", {"/a.jpg"}), "");
}

TEST(CommandLine, KindOfArgument) {
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "vexilo-args";
  std::filesystem::create_directories(dir / "folder.vxc");
  std::filesystem::create_directories(dir / "pictures");
  using K = forms::ArgumentKind;
  const struct {
    std::string path;
    K kind;
  } cases[] = {
      {"/nowhere/missing.vxc", K::Configuration},  // loads nothing, still gets a menu entry
      {(dir / "folder.vxc").string(), K::Configuration},
      {"/nowhere/upper.VXC", K::File},
      {"/nowhere/name.vxc.jpg", K::File},
      {(dir / "pictures").string(), K::Folder},
      {"/nowhere/missing", K::File},
  };
  for (const auto& c : cases) EXPECT_EQ(forms::KindOfArgument(c.path), c.kind) << c.path;
  std::filesystem::remove_all(dir);
}

}  // namespace
