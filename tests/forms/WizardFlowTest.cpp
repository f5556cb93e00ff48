// The main window's page flow and the output folder chooser.
#include <gtest/gtest.h>

#include <string>

#include "forms/MainForm.h"
#include "forms/WizardPages.h"

namespace {

using forms::Language;
using forms::WizardFlow;
using forms::WizardPage;

TEST(WizardFlow, ForwardMovesOnAndStartsOnlyWithRows) {
  WizardFlow flow;
  EXPECT_EQ(flow.ForwardCaption(Language::English), "Forward >>");
  EXPECT_FALSE(flow.Forward(false, 3));
  EXPECT_EQ(flow.Page(), WizardPage::Size);
  EXPECT_EQ(flow.ForwardCaption(Language::English), "Forward >>");
  EXPECT_FALSE(flow.Forward(false, 3));
  EXPECT_EQ(flow.Page(), WizardPage::Save);
  EXPECT_EQ(flow.ForwardCaption(Language::English), "Save Images");
  EXPECT_EQ(flow.ForwardCaption(Language::German), "Bilder Speichern");
  // The last page starts the run, and stays; with an empty list nothing happens.
  EXPECT_TRUE(flow.Forward(false, 3));
  EXPECT_FALSE(flow.Forward(false, 0));
  EXPECT_EQ(flow.Page(), WizardPage::Save);
  // A tab click sets the caption by the same rule.
  flow.ShowPage(WizardPage::Images);
  EXPECT_EQ(flow.ForwardCaption(Language::German), "Weiter >>");
  // Ctrl+S starts from any page without moving.
  EXPECT_TRUE(flow.Forward(true, 1));
  EXPECT_FALSE(flow.Forward(true, 0));
  EXPECT_EQ(flow.Page(), WizardPage::Images);
}

TEST(WizardFlow, OutputFolderChooserKeepsThePreviousTextWhenCancelled) {
  forms::Form mainForm = forms::CreateMainForm();
  mainForm.SetText("out_ordner", "/home/me/out");
  std::string start;
  forms::ChooseOutputFolder(mainForm, [&](const std::string& s) { start = s; return std::string(); });
  EXPECT_EQ(start, "/home/me/out");
  EXPECT_EQ(mainForm.Text("out_ordner"), "/home/me/out");
  forms::ChooseOutputFolder(mainForm, [](const std::string&) { return std::string("/tmp/chosen"); });
  EXPECT_EQ(mainForm.Text("out_ordner"), "/tmp/chosen");
}

}  // namespace
