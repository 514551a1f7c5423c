// The start-up update with every real part but the process boundary: the
// form's creation over libcurl, POSIX files and the Qt window, against the
// loopback server, so the buttons' captions (which cannot be read from
// outside the process) can be checked against the manifest.
#include <QPushButton>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/form1.h"
#include "app/picture/form_pictures.h"
#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"
#include "tests/linux/support/loopback_server.h"
#include "tests/linux/support/temp_dir.h"

namespace kestrune {
namespace {

using testing::LoopbackServer;
using testing::TempDir;
using testing::WriteFileBytes;

class StartupWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(work_.path());
  }
  void TearDown() override {
    // The window goes before the form it reports to, as in the program.
    application_.DestroyMainWindow();
    std::filesystem::current_path(previous_);
  }

  // Publishes the manifest and places every listed file locally, so no box
  // comes up; returns the launcher buttons in their layout order.
  std::vector<QPushButton*> StartWith(const std::string& manifest,
                                      const std::vector<std::string>& files) {
    WriteFileBytes(server_.path() / "serverlist/updater.txt", manifest);
    for (const std::string& name : files) WriteFileBytes(work_.path() / name, name);
    LoopbackServer server({server_.path(), {}, {}, {}, {}});
    const Addresses addresses{server.origin() + "/serverlist/", "http://home.test/",
                              "https://support.test/"};
    form_ = std::make_unique<TForm1>(platform_, addresses);
    form_->Create(application_.CreateMainWindow(*form_, DecodeFormPictures()));
    return application_.Window()->LauncherButtons();
  }

  TempDir work_;
  TempDir server_;
  std::filesystem::path previous_;
  posix::CurlInternet internet_;
  posix::PosixFileSystem files_;
  qt::QtApplication application_;
  qt::QtDesktop desktop_{application_};
  posix::PosixSystem system_;
  Platform platform_{internet_, files_, desktop_, system_};
  std::unique_ptr<TForm1> form_;
};

TEST_F(StartupWindow, OneButtonPerEntryWithItsCaptionInManifestOrder) {
  const auto buttons = StartWith(
      "Tavimo Suite\r\nb.txt\r\n  Second listed first \r\na.txt\r\nCaf\xE9 \x80 & more\r\n",
      {"a.txt", "b.txt"});
  EXPECT_EQ(application_.Window()->windowTitle(), QStringLiteral("Tavimo Suite"));
  EXPECT_EQ(application_.Window()->Label1()->text(), QStringLiteral("Tavimo Suite"));
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0]->text(), QStringLiteral("Second listed first"));
  EXPECT_EQ(buttons[1]->text(), QString::fromUtf8("Caf\xC3\xA9 \xE2\x82\xAC & more"));
  EXPECT_EQ(buttons[0]->geometry(), QRect(35, 120, 250, 25));
  EXPECT_EQ(buttons[1]->geometry(), QRect(35, 160, 250, 25));
  EXPECT_FALSE(form_->EndRequested());
}

TEST_F(StartupWindow, SeventhEntryGrowsTheWindowAndMovesExitTwoPitches) {
  std::string manifest = "Many\r\n";
  std::vector<std::string> names;
  for (int i = 0; i < 7; ++i) {
    names.push_back("f" + std::to_string(i));
    manifest += names.back() + "\r\nEntry " + std::to_string(i) + "\r\n";
  }
  const int designedHeight = qt::MakeWindowLook().clientHeight;
  const int designedExitTop = qt::MakeWindowLook().layout.exitBtn.top;
  const auto buttons = StartWith(manifest, names);
  ASSERT_EQ(buttons.size(), 7u);
  EXPECT_EQ(buttons[6]->geometry(), QRect(35, 360, 250, 25));
  EXPECT_EQ(buttons[6]->text(), QStringLiteral("Entry 6"));
  EXPECT_EQ(application_.Window()->height(), designedHeight + 80);
  EXPECT_EQ(application_.Window()->ExitBtn()->y(), designedExitTop + 80);
}

}  // namespace
}  // namespace kestrune
