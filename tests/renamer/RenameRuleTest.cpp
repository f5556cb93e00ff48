// The renaming rule: mask, numbering and search and replace, one table.
#include <gtest/gtest.h>

#include "forms/RenamerForms.h"
#include "renamer/RenameRule.h"

namespace {

struct Case {
  const char* mask;
  const char* start;
  bool searchReplace;
  const char* search;
  const char* replacement;
  bool inName, inExtension;
  const char* file;
  int row, rowCount;
  const char* expected;
};

TEST(RenameRule, NewNames) {
  const Case cases[] = {
      // the mask's placeholders and the numbering
      {"%0num%-%abs%", "1", false, "", "", true, false, "x.jpg", 3, 12, "04-12.jpg"},
      {"%0num%", "1", false, "", "", true, false, "x.jpg", 8, 9, "9.jpg"},
      {"%0num%", "1", false, "", "", true, false, "x.jpg", 0, 10, "01.jpg"},
      {"%0num%", "1", false, "", "", true, false, "x.jpg", 9, 10, "10.jpg"},
      {"%num%", "0", false, "", "", true, false, "x.jpg", 0, 3, "0.jpg"},
      {"%num%", "abc", false, "", "", true, false, "x.jpg", 0, 3, "1.jpg"},  // not a number: 1
      {"%num%", "", false, "", "", true, false, "x.jpg", 1, 3, "2.jpg"},
      {"%num%", "$10", false, "", "", true, false, "x.jpg", 0, 3, "16.jpg"},  // the integer test reads hex
      {"%0num%|%num%", "-5", false, "", "", true, false, "x.jpg", 0, 12, "-05|-5.jpg"},
      {"%num%", "2147483647", false, "", "", true, false, "x.jpg", 2, 3, "2147483649.jpg"},  // no overflow
      {"%name%1", "1", false, "", "", true, false, "a.txt", 0, 1, "a1.txt"},
      {"%name%1", "1", false, "", "", true, false, "README", 0, 1, "README1"},
      {"%name%1", "1", false, "", "", true, false, ".bashrc", 0, 1, "1.bashrc"},
      // every occurrence of the extension leaves the name
      {"%name%", "1", false, "", "", true, false, "a.jpg.jpg", 0, 1, "a.jpg"},
      {"%name%-2", "1", false, "", "", true, false, "a.jpg.b.jpg", 0, 1, "a.b-2.jpg"},
      // %name% first, so a placeholder in the old name is replaced too; "%" alone stays
      {"%name%", "1", false, "", "", true, false, "x%num%.jpg", 2, 5, "x3.jpg"},
      {"100%", "1", false, "", "", true, false, "x.jpg", 2, 5, "100%.jpg"},
      {"%name%", "1", false, "", "", true, false, "", 0, 1, ""},
      // search and replace
      {"%name%", "1", true, "jpg", "jpeg", false, true, "a.jpg", 0, 1, "a.jpeg"},
      {"%name%", "1", true, "jpg", "jpeg", true, false, "a.jpg", 0, 1, "a.jpg"},
      {"%name%", "1", true, "jpg", "png", true, false, "x_jpg.jpg", 0, 1, "x_png.jpg"},
      {"%name%", "1", true, "jpg", "png", true, true, "x_jpg.jpg", 0, 1, "x_png.png"},
      {"%name%", "1", true, "b.c", "B-C", true, true, "ab.cd", 0, 1, "aB-Cd"},  // over name and extension
      {"%name%", "1", true, "b.c", "B-C", true, false, "ab.cd", 0, 1, "ab.cd"},
      {"%num%", "1", true, "1", "one", false, false, "x.jpg", 0, 1, "1.jpg"},  // both targets off
      {"%num%", "1", false, "1", "one", true, false, "x.jpg", 0, 1, "1.jpg"},  // switched off
      {"%name%", "1", true, "", "zz", true, true, "ab.jpg", 0, 1, "ab.jpg"},   // empty search text
      {"%name%", "1", true, "aa", "a", true, false, "aaaaa.txt", 0, 1, "aaa.txt"},  // left to right, no overlap
      {"%name%", "1", true, "b", "B", true, false, "abcb.txt", 0, 1, "aBcB.txt"},
      {"%name%", "1", true, "A", "x", true, false, "abc.txt", 0, 1, "abc.txt"},  // letter case counts
  };
  for (const Case& c : cases) {
    renamer::RenameRule rule;
    rule.mask = c.mask;
    rule.numStart = c.start;
    rule.searchReplace = c.searchReplace;
    rule.search = c.search;
    rule.replacement = c.replacement;
    rule.inName = c.inName;
    rule.inExtension = c.inExtension;
    EXPECT_EQ(renamer::RenameName(c.file, c.row, c.rowCount, rule), c.expected)
        << "mask " << c.mask << ", start " << c.start << ", file " << c.file << ", row " << c.row;
  }
}

TEST(RenameRule, ReadsTheRenamerControls) {
  forms::Form form = forms::CreateRenamerForm();
  EXPECT_EQ(renamer::RenameName("photo.jpg", 0, 1, renamer::RenameRule::FromForm(form)), "photo.jpg");
  form.SetText("maske", "%num%_%name%");
  form.SetText("numstart", "7");
  form.SetChecked("suchenersetzen", true);
  form.SetText("suchenalt", "o");
  form.SetText("suchenneu", "0");
  EXPECT_EQ(renamer::RenameName("photo.jpg", 1, 2, renamer::RenameRule::FromForm(form)), "8_ph0t0.jpg");
}

}  // namespace
