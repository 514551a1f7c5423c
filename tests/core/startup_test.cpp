// The start-up outcomes, run through the whole entry sequence on the fake
// platform: boxes in order, files written, buttons, and whether the window
// is ever shown for use.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/entry.h"
#include "app/form1.h"
#include "common/texts.h"
#include "platform/fake/fake_platform.h"
#include "update/download.h"
#include "update/download_progress.h"
#include "update/entries.h"
#include "update/manifest.h"

namespace kestrune {
namespace {

using fake::FakeResponse;
using fake::FakePlatform;

constexpr char kBase[] = "http://192.0.2.10/serverlist/";
constexpr char kQuestion[] =
    "confirm: Kestrune needs to download some updated files to work properly. Allow Download?";
constexpr char kRefused[] = "info: Unable to run Kestrune without the updated files";
constexpr char kUpdateFailed[] = "info: Problem with function update. Please contact Tavimo";
constexpr char kManifestFailed[] = "info: Problem with updater.txt. Please contact Tavimo";

class Startup : public ::testing::Test {
 protected:
  void Publish(const std::string& name, const std::string& body) {
    FakeResponse r;
    r.body = body;
    sys.internet.responses[EntryAddress(kBase, name)] = r;
  }
  void PublishManifest(const std::string& text) { Publish("updater.txt", text); }
  // Four blocks of fill, each a redraw pause of the progress window apart.
  const FakeResponse& PublishPaced(const std::string& name, char fill) {
    FakeResponse& r = sys.internet.responses[EntryAddress(kBase, name)];
    r.body = std::string(4096, fill);
    r.chunk = 1024;
    r.millisecondsPerRead = kProgressRedrawMilliseconds;
    return r;
  }
  void Present(const std::string& name, const std::string& content = "old") {
    sys.files.files[sys.InWorkDir(name)] = content;
  }
  bool Has(const std::string& name) const { return sys.files.files.count(sys.InWorkDir(name)) != 0; }
  const std::string& Content(const std::string& name) const {
    return sys.files.files.at(sys.InWorkDir(name));
  }
  bool HasTemporaryFiles() const {
    return std::any_of(sys.files.files.begin(), sys.files.files.end(),
                       [](const auto& file) { return file.first.ends_with(kPartialDownloadSuffix); });
  }

  // The boxes and the progress window (of a build with the option), in the
  // order they happened.
  std::vector<std::string> Dialogs() const {
    std::vector<std::string> out;
    for (const std::string& e : sys.log) {
      if (e.rfind("confirm:", 0) == 0 || e.rfind("info:", 0) == 0 || e.rfind("error:", 0) == 0 ||
          e.rfind("progress:", 0) == 0) {
        out.push_back(e);
      }
    }
    return out;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (const ButtonDesign& b : sys.window.Buttons()) out.push_back(b.caption);
    return out;
  }
  std::vector<std::string> FileRequests() const {
    std::vector<std::string> out;
    for (const std::string& r : sys.internet.requests) {
      if (r != std::string(kBase) + "updater.txt") out.push_back(r.substr(std::string(kBase).size()));
    }
    return out;
  }
  void Start() {
    RunKestrune(sys.application, sys.platform,
                Addresses{kBase, "http://home/", "https://s/tickets/", "", false, 0, showProgress});
  }

  FakePlatform sys;
  bool showProgress = false;
};

TEST_F(Startup, EntrySequenceAndFormCreateRunInTheirOrder) {
  PublishManifest("Title\n");
  Start();
  const std::vector<std::string> expected = {
      "initialize", "taskbar: main window", "title: Kestrune", "create main window",
      "hint pause: 20000", "hint: \r   Click here to open a Support Ticket with Tavimo   \r",
      "own path", "open url: " + std::string(kBase) + "updater.txt", "sleep: 600",
      "lay out buttons: 0", "run", "destroy main window"};
  std::vector<std::string> seen;
  for (const std::string& e : sys.log) {
    if (std::find(expected.begin(), expected.end(), e) != expected.end()) seen.push_back(e);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(sys.application.logoGiven);
  EXPECT_TRUE(sys.application.helpIconGiven);
}

TEST_F(Startup, AfterAProblemTheWindowIsDestroyedWithoutEverRunning) {
  Start();  // nothing published
  EXPECT_EQ(std::count(sys.log.begin(), sys.log.end(), "run"), 0);
  EXPECT_EQ(sys.log.back(), "destroy main window");
}

TEST_F(Startup, AllFilesPresent) {
  PublishManifest("Tavimo Tools\na.exe\nStart A\nb.pdf\nRead B\n");
  Present("a.exe");
  Present("b.pdf");
  Start();
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Start A", "Read B"}));
  EXPECT_EQ(sys.window.caption, "Tavimo Tools");
  EXPECT_EQ(sys.window.labelText, "Tavimo Tools");
  EXPECT_EQ(Content("a.exe"), "old");  // never replaced
  EXPECT_TRUE(FileRequests().empty());
  EXPECT_EQ(Content("updater1.txt"), "Tavimo Tools\na.exe\nStart A\nb.pdf\nRead B\n");
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(Startup, MissingFilesYesDownloadsThemAllInOrderAfterOneQuestion) {
  PublishManifest("T\na.exe\nA\nhere.txt\nH\nb.dll\nB\nc.pdf\nC\n");
  Present("here.txt");
  Publish("a.exe", "AAAA");
  Publish("b.dll", std::string(5000, 'b'));
  Publish("c.pdf", "");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion}));
  EXPECT_EQ(FileRequests(), (std::vector<std::string>{"a.exe", "b.dll", "c.pdf"}));
  EXPECT_EQ(Content("a.exe"), "AAAA");
  EXPECT_EQ(Content("b.dll"), std::string(5000, 'b'));
  EXPECT_EQ(Content("c.pdf"), "");
  EXPECT_EQ(sys.window.Buttons().size(), 4u);
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(Startup, MissingFilesNoStopsAtOnce) {
  PublishManifest("T\na.exe\nA\nb.exe\nB\nc.exe\nC\n");
  Publish("a.exe", "A");
  Publish("b.exe", "B");
  sys.desktop.confirmAnswers = {false, true};
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion, kRefused}));
  EXPECT_TRUE(FileRequests().empty());
  EXPECT_FALSE(Has("a.exe"));
  EXPECT_TRUE(Has("updater1.txt"));
  EXPECT_EQ(sys.window.Buttons().size(), 3u);  // built, never used
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(Startup, ManifestUnreachableKeepsThePreviousCopyAndEnds) {
  Present("updater1.txt", "Old title\na.exe\nA\n");
  FakeResponse down;
  down.failAtOpen = true;
  sys.internet.responses[std::string(kBase) + "updater.txt"] = down;
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kManifestFailed}));
  EXPECT_EQ(Content("updater1.txt"), "Old title\na.exe\nA\n");
  EXPECT_TRUE(sys.window.Buttons().empty());
  EXPECT_EQ(sys.window.caption, "Kestrune");
  EXPECT_EQ(std::count(sys.log.begin(), sys.log.end(), "sleep: 600"), 0);
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(Startup, AManifestPastItsLimitIsRefusedAndThePreviousCopyKept) {
  Present("updater1.txt", "Old title\na.exe\nA\n");
  Present("a.exe");
  PublishManifest("Huge\n" + std::string(kMaxManifestBytes, 'x'));
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kManifestFailed}));
  EXPECT_EQ(Content("updater1.txt"), "Old title\na.exe\nA\n");
  EXPECT_FALSE(HasTemporaryFiles());
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(Startup, ErrorPageInsteadOfTheManifestIsAFailureNotATitle) {
  // Nothing published: the fake server answers 404 with an HTML page.
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kManifestFailed}));
  EXPECT_FALSE(Has("updater1.txt"));
  EXPECT_EQ(sys.window.labelText, "Tavimo Kestrune");
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(Startup, OneFailedDownloadDoesNotStopTheOthers) {
  PublishManifest("T\na.exe\nA\nb.exe\nB\nc.exe\nC\n");
  Publish("a.exe", "A");
  FakeResponse broken;
  broken.body = std::string(3000, 'x');
  broken.failAfterBytes = 1500;
  sys.internet.responses[std::string(kBase) + "b.exe"] = broken;
  Publish("c.exe", "C");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion, kUpdateFailed}));
  EXPECT_EQ(Content("a.exe"), "A");
  EXPECT_FALSE(Has("b.exe"));
  EXPECT_FALSE(HasTemporaryFiles());
  EXPECT_EQ(Content("c.exe"), "C");
  EXPECT_EQ(sys.window.Buttons().size(), 3u);
  EXPECT_FALSE(sys.application.shown);
}

// The maker's progress option: a window from the Yes on, closed before
// every box and before the main window; never without the option.
TEST_F(Startup, TheProgressWindowShowsEachDownloadAndClosesBeforeEveryBox) {
  PublishManifest("T\na.exe\nA\nb.exe\nB\nd.exe\nD\nc.exe\nC\na.exe\nA again\n");
  const FakeResponse& slow = PublishPaced("a.exe", 'a');
  FakeResponse broken;
  broken.body = std::string(3000, 'x');
  broken.failAfterBytes = 1500;
  sys.internet.responses[std::string(kBase) + "b.exe"] = broken;
  Publish("c.exe", "C");
  Present("d.exe");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_TRUE(sys.progress.views.empty());

  sys.files.files.clear();
  Present("d.exe");
  sys.log.clear();
  showProgress = true;
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(),
            (std::vector<std::string>{kQuestion, "progress: T | A | file 1 of 3",
                                      "progress: T | B | file 2 of 3", "progress: close",
                                      kUpdateFailed, "progress: T | C | file 3 of 3",
                                      "progress: close"}));
  // a.exe's bar moved on as its blocks came, at most once a redraw pause.
  std::vector<int> steps;
  for (const ProgressView& view : sys.progress.views) {
    if (view.caption == "A" && view.steps) steps.push_back(*view.steps);
  }
  steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
  EXPECT_EQ(steps, (std::vector<int>{0, 250, 500, 750, 1000}));
  EXPECT_EQ(Content("a.exe"), slow.body);
  EXPECT_EQ(Content("c.exe"), "C");
}

TEST_F(Startup, CancelInTheProgressWindowIsTheAnswerNo) {
  PublishManifest("T\na.exe\nA\nb.exe\nB\nc.exe\nC\n");
  Publish("a.exe", "A");
  PublishPaced("b.exe", 'b');
  Publish("c.exe", "C");
  showProgress = true;
  sys.progress.cancelAtShow = 4;  // a.exe's start and end, b.exe's, then b.exe's first block
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(),
            (std::vector<std::string>{kQuestion, "progress: T | A | file 1 of 3",
                                      "progress: T | B | file 2 of 3", "progress: close",
                                      kRefused}));
  EXPECT_EQ(Content("a.exe"), "A");
  EXPECT_FALSE(Has("b.exe"));
  EXPECT_FALSE(Has("c.exe"));
  EXPECT_FALSE(HasTemporaryFiles());
  EXPECT_EQ(FileRequests(), (std::vector<std::string>{"a.exe", "b.exe"}));
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(Startup, EachFailureShowsItsOwnMessage) {
  PublishManifest("T\nx.exe\nX\ny.exe\nY\n");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion, kUpdateFailed, kUpdateFailed}));
  EXPECT_FALSE(Has("x.exe"));
  // A failed download leaves nothing, so the next start asks again.
  EXPECT_FALSE(Has("y.exe"));
}

TEST_F(Startup, EmptyManifestKeepsTheDesignedTexts) {
  PublishManifest("");
  Start();
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_EQ(sys.window.caption, "Kestrune");
  EXPECT_EQ(sys.window.labelText, "Tavimo Kestrune");
  EXPECT_TRUE(sys.window.Buttons().empty());
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(Startup, TitleOnlyManifestGivesAnEmptyTitledWindow) {
  PublishManifest("  Spaced title \r\n");
  Start();
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_EQ(sys.window.caption, "  Spaced title ");
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(Startup, FileListedTwiceIsDownloadedOnce) {
  PublishManifest("T\na.exe\nFirst\na.exe\nSecond\n");
  Publish("a.exe", "A");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(FileRequests(), (std::vector<std::string>{"a.exe"}));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"First", "Second"}));
}

TEST_F(Startup, EmptyExistingFileCountsAsPresent) {
  PublishManifest("T\na.exe\nA\n");
  Present("a.exe", "");
  Start();
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_TRUE(FileRequests().empty());
}

TEST_F(Startup, ManifestIsFetchedEveryTimeAndReplacesTheLocalCopy) {
  Present("updater1.txt", "Old\nold.exe\nOld\n");
  PublishManifest("New\n");
  Start();
  EXPECT_EQ(Content("updater1.txt"), "New\n");
  EXPECT_EQ(sys.window.caption, "New");
}

TEST_F(Startup, UnsafeNamesAreNeitherCheckedNorWrittenAndCountAsFailures) {
  PublishManifest("T\n..\\..\\Windows\\evil.exe\nEvil\nC:\\evil.exe\nDrive\nok.exe\nOK\n");
  Publish("..\\..\\Windows\\evil.exe", "EVIL");
  Publish("ok.exe", "OK");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kUpdateFailed, kUpdateFailed, kQuestion}));
  EXPECT_EQ(FileRequests(), (std::vector<std::string>{"ok.exe"}));
  for (const auto& [path, content] : sys.files.files) {
    EXPECT_EQ(path.rfind(sys.files.currentDirectory + "\\", 0), 0u) << path;
    EXPECT_NE(content, "EVIL");
  }
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(Startup, SubFolderNamesAreUsedAsTheyStandWithoutCreatingFolders) {
  PublishManifest("T\ntools\\a.exe\nA\n");
  Publish("tools\\a.exe", "A");
  sys.desktop.confirmAnswers = {true};
  Start();
  // The folder does not exist: the file cannot be created, which is an
  // I/O error, reported in the error box; the window still opens.
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion, "error: Path not found."}));
  EXPECT_TRUE(sys.window.Buttons().empty());
  EXPECT_TRUE(sys.application.shown);

  FakePlatform again;
  again.files.directories.insert(again.InWorkDir("tools"));
  again.internet.responses = sys.internet.responses;
  again.desktop.confirmAnswers = {true};
  RunKestrune(again.application, again.platform, Addresses{kBase, "", ""});
  EXPECT_EQ(again.files.files.at(again.InWorkDir("tools\\a.exe")), "A");
  EXPECT_TRUE(again.application.shown);
}

TEST_F(Startup, BlankFileNameAsksThenFailsOnTheFolderItselfAndTheWindowStays) {
  PublishManifest("T\n\nBlank\nb.exe\nB\n");
  Publish("b.exe", "B");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion, "error: File access denied."}));
  EXPECT_EQ(sys.files.files.size(), 1u);  // the manifest copy only
  EXPECT_TRUE(FileRequests().empty());
  EXPECT_TRUE(sys.window.Buttons().empty());
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(Startup, IoErrorOnTheManifestCopyShowsTheErrorBoxAndTheWindowStays) {
  sys.files.directories.insert(sys.InWorkDir("updater1.txt"));  // a folder of that name
  PublishManifest("T\na.exe\nA\n");
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{"error: File access denied."}));
  EXPECT_TRUE(sys.application.shown);  // the final check is skipped too
  EXPECT_EQ(sys.window.caption, "Kestrune");
}

TEST_F(Startup, DiskFullDuringADownloadIsAnErrorBoxAndNoPartialFileIsTrusted) {
  PublishManifest("T\na.exe\nA\nb.exe\nB\n");
  Publish("a.exe", std::string(100000, 'a'));
  Publish("b.exe", "B");
  sys.desktop.confirmAnswers = {true};
  sys.files.freeSpace = 50000;
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kQuestion, "error: Disk full."}));
  EXPECT_FALSE(Has("a.exe"));
  EXPECT_FALSE(HasTemporaryFiles());
  EXPECT_FALSE(Has("b.exe"));  // start-up ended at the error
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(Startup, TheWindowsClicksOpenThePagesAndTheEntries) {
  PublishManifest("T\na.exe\nA\nb.pdf\nB\n");
  Present("a.exe");
  Present("b.pdf");
  bool closedBeforeExit = true;
  sys.application.whileShown = [&](FormEvents& events) {
    events.Image1Click();
    events.Image2Click();
    events.AssignProg(1);
    events.AssignProg(0);
    events.AssignProg(2);  // no such entry: nothing happens
    events.AssignProg(-1);
    closedBeforeExit = sys.window.closed;
    events.ExitBtnClick();
  };
  RunKestrune(sys.application, sys.platform,
              Addresses{kBase, "http://www.example.com/", "https://support.example.com/tickets/"});
  // The pages go to the browser as web pages, the entries to the shell: the
  // program with the launcher's rights, the document with the user's.
  EXPECT_EQ(sys.desktop.webPages,
            (std::vector<std::string>{"http://www.example.com/",
                                      "https://support.example.com/tickets/"}));
  EXPECT_EQ(sys.desktop.documents, (std::vector<std::string>{sys.InWorkDir("b.pdf")}));
  EXPECT_EQ(sys.desktop.shellOpens, (std::vector<std::string>{sys.InWorkDir("a.exe")}));
  EXPECT_FALSE(closedBeforeExit);
  EXPECT_TRUE(sys.window.closed);
}

// A failing click reads as a failing start-up does, whatever the platform.
TEST_F(Startup, AFailingClickIsReportedInTheErrorBoxAndTheWindowStays) {
  PublishManifest("T\n");
  sys.application.whileShown = [&](FormEvents& events) {
    sys.desktop.shellFailure = IoError(IoErrorKind::DiskFull, 112);
    events.Image1Click();
    events.Image2Click();
  };
  Start();
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{"error: Disk full."}));
  EXPECT_EQ(sys.desktop.webPages, (std::vector<std::string>{"https://s/tickets/"}));
}

// What a killed launcher left goes at the next start, in the working
// directory and beside entries in its folders; what a launcher still
// running holds stays, even when the manifest cannot be had.
TEST_F(Startup, LeftoversOfAKilledLauncherGoButARunningOnesStay) {
  sys.files.directories.insert(sys.InWorkDir("tools"));
  const std::string killed = sys.InWorkDir("a.exe.310-0.kestrune-part");
  const std::string killedInFolder = sys.InWorkDir("tools\\b.exe.310-1.kestrune-part");
  const std::string running = sys.InWorkDir("a.exe.311-0.kestrune-part");
  for (const std::string& path : {killed, killedInFolder, running}) sys.files.files[path] = "part";
  sys.files.heldFiles.insert(running);
  Start();  // no manifest published: only the working directory is cleaned
  EXPECT_EQ(Dialogs(), (std::vector<std::string>{kManifestFailed}));
  EXPECT_FALSE(Has("a.exe.310-0.kestrune-part"));
  EXPECT_TRUE(Has("tools\\b.exe.310-1.kestrune-part"));
  EXPECT_TRUE(Has("a.exe.311-0.kestrune-part"));

  PublishManifest("T\na.exe\nA\ntools\\b.exe\nB\n");
  Present("a.exe");
  Present("tools\\b.exe");
  Start();
  EXPECT_FALSE(Has("tools\\b.exe.310-1.kestrune-part"));
  EXPECT_TRUE(Has("a.exe.311-0.kestrune-part"));
}

}  // namespace
}  // namespace kestrune
