#include <gtest/gtest.h>

#include "app/form1.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

using fake::FakePlatform;

class LauncherButtons : public ::testing::Test {
 protected:
  void Layout(int entries) {
    form.Create(sys.window);  // nothing published: start-up ends early
    LauncherState& state = form.State();
    state.localPaths.clear();
    state.remoteUrls.clear();
    state.buttonCaptions.clear();
    for (int i = 0; i < entries; ++i) {
      state.localPaths.push_back("C:\\w\\f" + std::to_string(i));
      state.remoteUrls.push_back("http://h/serverlist/f" + std::to_string(i));
      state.buttonCaptions.push_back("Caption " + std::to_string(i));
    }
    form.DisplayButtons();
  }
  FakePlatform sys;
  TForm1 form{sys.platform, Addresses{"http://h/serverlist/", "", ""}};
};

TEST_F(LauncherButtons, NoEntriesLeaveTheDesignedWindow) {
  Layout(0);
  EXPECT_TRUE(sys.window.Buttons().empty());
  EXPECT_EQ(sys.window.outerHeight, 393);
  EXPECT_EQ(sys.window.exitButtonTop, 320);
}

TEST_F(LauncherButtons, FiveFitWithoutGrowing) {
  Layout(5);
  const auto buttons = sys.window.Buttons();
  ASSERT_EQ(buttons.size(), 5u);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(buttons[i].left, 35);
    EXPECT_EQ(buttons[i].top, 120 + 40 * static_cast<int>(i));
    EXPECT_EQ(buttons[i].width, 250);
    EXPECT_EQ(buttons[i].height, 25);
    EXPECT_EQ(buttons[i].tag, static_cast<int>(i));
    EXPECT_EQ(buttons[i].caption, "Caption " + std::to_string(i));
  }
  EXPECT_EQ(sys.window.outerHeight, 393);
  EXPECT_EQ(sys.window.exitButtonTop, 320);
}

TEST_F(LauncherButtons, SixthTakesExitsPlaceAndEverythingMovesDown) {
  Layout(6);
  const auto buttons = sys.window.Buttons();
  ASSERT_EQ(buttons.size(), 6u);
  EXPECT_EQ(buttons[5].top, 320);
  // The window grows before the sixth button is made, not after.
  EXPECT_EQ(buttons[4].windowOuterHeight, 393);
  EXPECT_EQ(buttons[5].windowOuterHeight, 433);
  EXPECT_EQ(sys.window.outerHeight, 433);
  EXPECT_EQ(sys.window.exitButtonTop, 360);
}

TEST_F(LauncherButtons, TenEntries) {
  Layout(10);
  const auto buttons = sys.window.Buttons();
  ASSERT_EQ(buttons.size(), 10u);
  EXPECT_EQ(buttons.back().top, 480);
  EXPECT_EQ(sys.window.outerHeight, 593);
  EXPECT_EQ(sys.window.exitButtonTop, 520);
}

TEST_F(LauncherButtons, TheWholeColumnReachesTheWindowInOneCall) {
  Layout(12);
  ASSERT_EQ(sys.window.layouts.size(), 1u);
  EXPECT_EQ(sys.window.layouts[0].buttons.size(), 12u);
}

TEST_F(LauncherButtons, EachButtonOpensItsOwnEntryEvenWithAnEmptyCaption) {
  Layout(3);
  form.State().buttonCaptions[1].clear();
  form.DisplayButtons();
  for (const ButtonDesign& b : sys.window.Buttons()) form.AssignProg(b.tag);
  EXPECT_EQ(sys.desktop.documents,
            (std::vector<std::string>{"C:\\w\\f0", "C:\\w\\f1", "C:\\w\\f2"}));
  EXPECT_EQ(sys.window.Buttons()[1].caption, "");
}

// What Windows would run as a program starts with the launcher's rights, as
// the system's PATHEXT says and .msi besides; every other file is a
// document, opened with the signed-in user's.
TEST_F(LauncherButtons, ProgramsAreStartedAndDocumentsOpenedForTheUser) {
  sys.system.programExtensions = " .COM;.EXE; ;.Bat;;.ps1 ";
  Layout(0);
  const std::vector<std::string> programs = {
      "C:\\w\\setup.exe", "C:\\w\\tools\\Run.BAT", "C:\\w\\tools/x.ps1",
      "C:\\w\\suite.MSI", "C:\\w\\a.txt.com"};
  const std::vector<std::string> documents = {
      "C:\\w\\readme.txt", "C:\\w\\welcome.html", "C:\\w\\notes",
      "C:\\w\\v1.exe\\readme", "C:\\w\\setup.exe.txt", "C:\\w\\setup.exex",
      "C:\\w\\tool.cmd"};
  LauncherState& state = form.State();
  for (const auto* list : {&programs, &documents}) {
    for (const std::string& path : *list) {
      state.localPaths.push_back(path);
      state.buttonCaptions.push_back(path);
    }
  }
  form.DisplayButtons();
  for (const ButtonDesign& b : sys.window.Buttons()) form.AssignProg(b.tag);
  EXPECT_EQ(sys.desktop.shellOpens, programs);
  EXPECT_EQ(sys.desktop.documents, documents);

  // Where the system keeps no list (the Linux build), only installers.
  sys.system.programExtensions.clear();
  sys.desktop.shellOpens.clear();
  form.AssignProg(0);
  form.AssignProg(3);
  EXPECT_EQ(sys.desktop.shellOpens, (std::vector<std::string>{"C:\\w\\suite.MSI"}));
}

}  // namespace
}  // namespace kestrune
