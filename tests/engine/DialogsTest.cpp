// The dialogs' answer flags, the message table and the path-shortening rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/MessageKeys.h"
#include "engine/Messages.h"
#include "tests/support/ScriptedDialogs.h"
#include "engine/UserDialogs.h"

namespace msg = forms::msg;

namespace {

using engine::OverwriteButton;

TEST(Dialogs, OverwriteButtonsSetTheirFlags) {
  struct Case {
    OverwriteButton button;
    bool askNoMore, no, cancel;
  };
  const Case cases[] = {
      {OverwriteButton::Yes, false, false, false},
      {OverwriteButton::No, false, true, false},
      {OverwriteButton::YesForAll, true, false, false},
      {OverwriteButton::NoForAll, true, true, false},
      {OverwriteButton::Break, false, false, true},
  };
  for (const Case& c : cases) {
    engine::ScriptedDialogs dialogs;
    dialogs.Flags().no = true;  // cleared before every question
    dialogs.overwriteAnswers = {c.button};
    dialogs.AskOverwrite("/out/a.jpg");
    EXPECT_EQ(dialogs.Flags().askNoMore, c.askNoMore);
    EXPECT_EQ(dialogs.Flags().no, c.no);
    EXPECT_EQ(dialogs.Flags().cancelOverwrite, c.cancel);
  }
}

TEST(Dialogs, OkForAllSilencesLaterReports) {
  engine::ScriptedDialogs dialogs;
  dialogs.messageAnswers = {engine::MessageButton::OKForAll};
  EXPECT_TRUE(dialogs.ReportUnlessSilenced(msg::kSaveError, "/a"));
  EXPECT_FALSE(dialogs.ReportUnlessSilenced(msg::kConversionError, "/b"));
  dialogs.Report(msg::kNoOutputName, "");  // Report itself does not look at the flag
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].key, msg::kNoOutputName);
  dialogs.Flags().ClearAll();
  EXPECT_TRUE(dialogs.ReportUnlessSilenced(msg::kConversionError, "/b"));
}

TEST(Messages, KeysInBothLanguages) {
  const char* keys[] = {msg::kFolderNotSearchable, msg::kBadOutputFolder,   msg::kNoOutputFolder,
                        msg::kNoOutputName,         msg::kFormatNotSupported, msg::kAlreadyInList,
                        msg::kNoStartConfiguration, msg::kSaveError,          msg::kConversionError,
                        msg::kSourceMissing,        msg::kAlreadyWritten,     msg::kMetadataLost,
                        msg::kBadFileSize,          msg::kBadOutputName,      msg::kLoadError};
  for (const char* key : keys) {
    const auto en = engine::FindMessage(key, forms::Language::English);
    const auto de = engine::FindMessage(key, forms::Language::German);
    ASSERT_TRUE(en) << key;
    ASSERT_TRUE(de) << key;
    EXPECT_NE(std::string(en->title), de->title) << key;
    EXPECT_EQ(en->okForAll, de->okForAll) << key;
    EXPECT_EQ(en->detailLine, de->detailLine) << key;
  }
  const auto saving = engine::FindMessage(msg::kSaveError, forms::Language::English);
  EXPECT_STREQ(saving->line1, "An Error occurred while saving this file:");
  EXPECT_TRUE(saving->okForAll);
  EXPECT_FALSE(engine::FindMessage(msg::kNoOutputName, forms::Language::German)->okForAll);
  EXPECT_FALSE(engine::FindMessage("nosuchkey", forms::Language::English));
  EXPECT_STREQ(engine::Text(engine::TextId::OverwriteQuestion, forms::Language::English),
               "Shall this File be overwritten with the new File? ");
  EXPECT_STREQ(engine::Text(engine::TextId::ProgressTitle, forms::Language::German), "Bilder werden bearbeitet");
}

TEST(Dialogs, ShortenPathDropsLeadingFoldersOneByOne) {
  const auto length = [](const std::string& text) { return static_cast<int>(text.size()); };
  const std::string path = "/home/someone/Pictures/2010/Beach/IMG_0001.JPG";
  const std::vector<std::string> steps = {
      "/home/someone/Pictures/2010/Beach/IMG_0001.JPG",
      "/.../someone/Pictures/2010/Beach/IMG_0001.JPG",
      "/.../Pictures/2010/Beach/IMG_0001.JPG",
      "/.../2010/Beach/IMG_0001.JPG",
      "/.../Beach/IMG_0001.JPG",
      "/.../IMG_0001.JPG",
      ".../IMG_0001.JPG",
      "IMG_0001.JPG",
  };
  for (const std::string& step : steps) EXPECT_EQ(engine::ShortenPath(path, length(step), length), step);
  EXPECT_EQ(engine::ShortenPath(path, 3, length), "IMG_0001.JPG");  // only the name is left
  EXPECT_EQ(engine::ShortenPath("/a.jpg", 2, length), "a.jpg");
  // The counter of the progress line stays with the file name.
  EXPECT_EQ(engine::ShortenPath("/a/b/c.jpg", 14, length, " (3/12)"), "c.jpg (3/12)");
  EXPECT_EQ(engine::ShortenPath("/a/b/c.jpg", 100, length, " (3/12)"), "/a/b/c.jpg (3/12)");
}

}  // namespace
