// Files that cannot be written: a full disk part-way through a download,
// only when a download is closed, or through the manifest copy, a missing
// sub-folder, a manifest copy that cannot be replaced, a transfer cut
// short, leftovers of an earlier crash.
// Each time: the right box, the window stays when the box is an I/O error,
// the previous manifest copy survives, and nothing partial is trusted at
// the next start, which asks again and fetches the file whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/entry.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/posix_files.h"
#include "tests/hostile/support/hostile_support.h"
#include "update/download.h"

namespace kestrune {
namespace {

using fake::FakeResponse;

constexpr char kBase[] = "http://192.0.2.10/serverlist/";
const std::string kAsk =
    "confirm: Kestrune needs to download some updated files to work properly. Allow Download?";
const std::string kFail = "info: Problem with function update. Please contact Tavimo";
const std::string kDiskFull = "error: Disk full.";
const std::string kPathNotFound = "error: Path not found.";
const std::string kAccessDenied = "error: File access denied.";

// What the server publishes, by name below kBase.
using Server = std::map<std::string, FakeResponse>;

FakeResponse Body(std::string body) {
  FakeResponse r;
  r.body = std::move(body);
  return r;
}

std::string Pattern(std::size_t size, char seed) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(seed + static_cast<char>(i % 61));
  return out;
}

struct StartResult {
  std::vector<std::string> dialogs;
  std::vector<std::string> requests;  // names below kBase, manifest excluded
  std::size_t buttons = 0;
  std::string caption;
  bool shown = false;
  std::vector<std::string> failedFileCalls;  // in a real directory only
};

StartResult Collect(const fake::FakePlatform& sys) {
  StartResult out;
  for (const std::string& e : sys.log) {
    if (e.starts_with("confirm:") || e.starts_with("info:") || e.starts_with("error:")) {
      out.dialogs.push_back(e);
    }
  }
  for (const std::string& r : sys.internet.requests) {
    const std::string name = r.substr(std::string(kBase).size());
    if (name != "updater.txt") out.requests.push_back(name);
  }
  out.buttons = sys.window.Buttons().size();
  out.caption = sys.window.caption;
  out.shown = sys.application.shown;
  EXPECT_EQ(sys.internet.liveHandles, 0);
  return out;
}

void Serve(fake::FakePlatform& sys, const Server& server) {
  for (const auto& [name, response] : server) sys.internet.responses[kBase + name] = response;
}

// ------------------------------------------------------ the fake platform

// The fake's disk carried from one start to the next.
struct FakeDisk {
  std::map<std::string, std::string> files;
  std::set<std::string> readOnly;
  std::optional<std::size_t> freeSpace;
};

std::string FakePath(const std::string& name) { return "C:\\Users\\ana\\Kestrune\\" + name; }

std::size_t TemporaryFilesOn(const FakeDisk& disk) {
  return static_cast<std::size_t>(
      std::count_if(disk.files.begin(), disk.files.end(),
                    [](const auto& file) { return file.first.ends_with(kPartialDownloadSuffix); }));
}

StartResult StartOnTheFake(FakeDisk& disk, const Server& server) {
  fake::FakePlatform sys;
  sys.files.files = disk.files;
  sys.files.readOnly = disk.readOnly;
  sys.files.freeSpace = disk.freeSpace;
  Serve(sys, server);
  sys.desktop.confirmAnswers = {true};
  RunKestrune(sys.application, sys.platform, Addresses{kBase, "", ""});
  EXPECT_EQ(sys.files.openOutputFiles, 0);
  disk.files = sys.files.files;
  return Collect(sys);
}

TEST(FakeDiskFull, LaterFileFailsEarlierOnesStayAndTheNextStartFetchesOnlyWhatIsMissing) {
  const std::string manifest = "T\r\na.exe\r\nA\r\nb.exe\r\nB\r\nc.exe\r\nC\r\n";
  const Server server{{"updater.txt", Body(manifest)},
                      {"a.exe", Body(Pattern(3000, 'a'))},
                      {"b.exe", Body(Pattern(9000, 'b'))},
                      {"c.exe", Body("C")}};
  FakeDisk disk;
  // Room for the manifest, a.exe and part of b.exe (the fake gives no
  // space back when a file is removed).
  disk.freeSpace = manifest.size() + 3000 + 4000;
  StartResult first = StartOnTheFake(disk, server);
  EXPECT_EQ(first.dialogs, (std::vector<std::string>{kAsk, kDiskFull}));
  EXPECT_EQ(first.requests, (std::vector<std::string>{"a.exe", "b.exe"}));
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(disk.files.at(FakePath("a.exe")), Pattern(3000, 'a'));
  EXPECT_EQ(disk.files.count(FakePath("b.exe")), 0u);
  EXPECT_EQ(TemporaryFilesOn(disk), 0u);

  disk.freeSpace.reset();
  StartResult second = StartOnTheFake(disk, server);
  EXPECT_EQ(second.dialogs, (std::vector<std::string>{kAsk}));
  EXPECT_EQ(second.requests, (std::vector<std::string>{"b.exe", "c.exe"}));
  EXPECT_EQ(disk.files.at(FakePath("b.exe")), Pattern(9000, 'b'));
  EXPECT_EQ(second.buttons, 3u);
  EXPECT_TRUE(second.shown);
}

TEST(FakeDiskFull, WhileCopyingTheManifestThePreviousCopyIsKept) {
  const std::string old = "Old\r\nold.exe\r\nOld tool\r\n";
  const std::string fresh = "New\r\nold.exe\r\nOld tool\r\nnew.exe\r\nNew tool\r\n";
  const Server server{{"updater.txt", Body(fresh)}, {"new.exe", Body("N")}};
  FakeDisk disk;
  disk.files[FakePath("updater1.txt")] = old;
  disk.files[FakePath("old.exe")] = "O";
  disk.freeSpace = fresh.size() - 1;
  StartResult first = StartOnTheFake(disk, server);
  EXPECT_EQ(first.dialogs, (std::vector<std::string>{kDiskFull}));
  EXPECT_EQ(disk.files.at(FakePath("updater1.txt")), old);
  EXPECT_EQ(TemporaryFilesOn(disk), 0u);
  EXPECT_TRUE(first.requests.empty());
  EXPECT_EQ(first.caption, "Kestrune");  // the old copy is not read instead
  EXPECT_EQ(first.buttons, 0u);
  EXPECT_TRUE(first.shown);

  disk.freeSpace.reset();
  StartResult second = StartOnTheFake(disk, server);
  EXPECT_EQ(disk.files.at(FakePath("updater1.txt")), fresh);
  EXPECT_EQ(second.dialogs, (std::vector<std::string>{kAsk}));
  EXPECT_EQ(second.caption, "New");
  EXPECT_EQ(second.buttons, 2u);
}

TEST(FakeManifestCopy, ThatCannotBeReplacedIsKeptAndTheTemporaryCopyRemoved) {
  const std::string old = "Old\r\na.exe\r\nA\r\n";
  const Server server{{"updater.txt", Body("New\r\na.exe\r\nA\r\n")}};
  FakeDisk disk;
  disk.files[FakePath("updater1.txt")] = old;
  disk.files[FakePath("a.exe")] = "A";
  disk.readOnly = {FakePath("updater1.txt")};
  StartResult first = StartOnTheFake(disk, server);
  EXPECT_EQ(first.dialogs, (std::vector<std::string>{kAccessDenied}));
  EXPECT_EQ(disk.files.at(FakePath("updater1.txt")), old);
  EXPECT_EQ(TemporaryFilesOn(disk), 0u);
  EXPECT_TRUE(first.shown);

  disk.readOnly.clear();
  StartResult second = StartOnTheFake(disk, server);
  EXPECT_TRUE(second.dialogs.empty());
  EXPECT_EQ(second.caption, "New");
}

// --------------------------------------------------- a real directory

// One start of the launcher on the real disk, through the file layer the
// Linux build ships, with the fake desktop, window and server.
StartResult StartIn(const hostile::Sandbox& sandbox, const Server& server,
                    std::uint64_t freeSpaceOverstatedBy = 0) {
  fake::FakePlatform sys;
  Serve(sys, server);
  posix::PosixFileSystem shipped;
  hostile::SandboxedFiles files(shipped, sandbox.workDir());
  files.freeSpaceOverstatedBy = freeSpaceOverstatedBy;
  Platform platform{sys.internet, files, sys.desktop, sys.system};
  sys.desktop.confirmAnswers = {true};
  const std::vector<int> descriptorsBefore = hostile::OpenDescriptors();
  RunKestrune(sys.application, platform, Addresses{kBase, "", ""});
  EXPECT_EQ(hostile::OpenDescriptors(), descriptorsBefore);
  EXPECT_TRUE(files.escapes.empty());
  EXPECT_EQ(files.openOutputFiles, 0);
  for (const std::string& entry : sandbox.Walk()) {
    EXPECT_TRUE(entry.starts_with("work/")) << entry;
  }
  StartResult out = Collect(sys);
  out.failedFileCalls = files.failedCalls;
  return out;
}

using Names = std::vector<std::string>;

TEST(RealDisk, MissingSubFolderIsPathNotFoundAndTheNextStartFetchesIntoTheNewFolder) {
  hostile::Sandbox sandbox;
  const Server server{{"updater.txt", Body("T\na.exe\nA\ntools/b.exe\nB\n")},
                      {"a.exe", Body("A")},
                      {"tools/b.exe", Body("B")}};
  StartResult first = StartIn(sandbox, server);
  EXPECT_EQ(first.dialogs, (Names{kAsk, kPathNotFound}));
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(first.buttons, 0u);
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"a.exe", "updater1.txt"}));

  sandbox.MakeDirectory("tools");
  StartResult second = StartIn(sandbox, server);
  EXPECT_EQ(second.dialogs, (Names{kAsk}));
  EXPECT_EQ(second.requests, (Names{"tools/b.exe"}));
  EXPECT_EQ(sandbox.ReadFile("tools/b.exe"), "B");
  EXPECT_EQ(second.buttons, 2u);
  EXPECT_TRUE(second.shown);
}

TEST(RealDisk, ManifestCopyThatIsADirectoryIsAccessDeniedAndLeftAlone) {
  hostile::Sandbox sandbox;
  sandbox.MakeDirectory("updater1.txt");
  sandbox.WriteFile("updater1.txt/inside", "kept");
  const Server server{{"updater.txt", Body("T\na.exe\nA\n")}, {"a.exe", Body("A")}};
  StartResult first = StartIn(sandbox, server);
  EXPECT_EQ(first.dialogs, (Names{kAccessDenied}));
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(first.caption, "Kestrune");
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"updater1.txt/inside"}));

  std::filesystem::remove_all(sandbox.InWorkDir("updater1.txt"));
  StartResult second = StartIn(sandbox, server);
  EXPECT_EQ(second.dialogs, (Names{kAsk}));
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"a.exe", "updater1.txt"}));
}

TEST(RealDisk, TransferCutShortLeavesNothingAndTheNextStartAsksAgain) {
  hostile::Sandbox sandbox;
  FakeResponse broken = Body(Pattern(20000, 'x'));
  broken.failAfterBytes = 12345;
  FakeResponse shortBody = Body(Pattern(5000, 'y'));
  shortBody.contentLength = 6000;  // the connection closed before the end
  Server server{{"updater.txt", Body("T\nx.bin\nX\ny.bin\nY\n")}, {"x.bin", broken}, {"y.bin", shortBody}};
  StartResult first = StartIn(sandbox, server);
  EXPECT_EQ(first.dialogs, (Names{kAsk, kFail, kFail}));
  EXPECT_FALSE(first.shown);
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"updater1.txt"}));

  server["x.bin"] = Body(Pattern(20000, 'x'));
  server["y.bin"] = Body(Pattern(5000, 'y'));
  StartResult second = StartIn(sandbox, server);
  EXPECT_EQ(second.dialogs, (Names{kAsk}));
  EXPECT_EQ(sandbox.ReadFile("x.bin"), Pattern(20000, 'x'));
  EXPECT_EQ(sandbox.ReadFile("y.bin"), Pattern(5000, 'y'));
  EXPECT_TRUE(second.shown);
}

// Both the names of this build and the single name of older ones.
TEST(RealDisk, LeftoversOfAnEarlierCrashAreNeverTakenForTheFilesAndAreRemoved) {
  hostile::Sandbox sandbox;
  sandbox.WriteFile("a.exe.kestrune-part", "half of a");
  sandbox.WriteFile("a.exe.4711-0.kestrune-part", "half of a");
  sandbox.WriteFile("updater1.txt.4711-1.kestrune-part", "Half\na.ex");
  const Server server{{"updater.txt", Body("T\na.exe\nA\n")}, {"a.exe", Body(Pattern(4000, 'a'))}};
  StartResult start = StartIn(sandbox, server);
  EXPECT_EQ(start.dialogs, (Names{kAsk}));
  EXPECT_EQ(start.caption, "T");
  EXPECT_EQ(sandbox.ReadFile("a.exe"), Pattern(4000, 'a'));
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"a.exe", "updater1.txt"}));
}

// A disk that really fills up: a 64 KiB tmpfs mounted on the working
// directory, in a mount namespace of this test process.
class SmallDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = std::make_unique<hostile::SmallTmpfs>(sandbox.workDir(), 64 * 1024);
    if (!disk_->mounted()) GTEST_SKIP() << "no size-limited file system here: " << disk_->why();
  }
  void TearDown() override { disk_.reset(); }
  hostile::SmallTmpfs& disk() { return *disk_; }
  // The disk fills although it said it had room to spare (another program
  // wrote to it meanwhile), so the margin kept free does not stop the
  // downloads first.
  StartResult Start(const Server& server) {
    return StartIn(sandbox, server, kFreeSpaceMarginBytes + (std::uint64_t{1} << 30));
  }

  hostile::Sandbox sandbox;

 private:
  std::unique_ptr<hostile::SmallTmpfs> disk_;
};

TEST_F(SmallDisk, FullPartWayThroughADownloadKeepsTheWindowAndNoPartialFile) {
  const Server server{{"updater.txt", Body("T\nbig.bin\nBig\nsmall.bin\nSmall\n")},
                      {"big.bin", Body(Pattern(200 * 1024, 'b'))},
                      {"small.bin", Body("s")}};
  StartResult first = Start(server);
  EXPECT_EQ(first.dialogs, (Names{kAsk, kDiskFull}));
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(first.caption, "T");
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"updater1.txt"}));
  ASSERT_EQ(first.failedFileCalls.size(), 1u);
  EXPECT_TRUE(first.failedFileCalls[0].starts_with("Write " + sandbox.workDir() + "/"));

  ASSERT_TRUE(disk().Resize(1024 * 1024));
  StartResult second = Start(server);
  EXPECT_EQ(second.dialogs, (Names{kAsk}));
  EXPECT_EQ(second.requests, (Names{"big.bin", "small.bin"}));
  EXPECT_EQ(sandbox.ReadFile("big.bin"), Pattern(200 * 1024, 'b'));
  EXPECT_TRUE(second.shown);
}

// A download smaller than what the file layer gathers before writing:
// every Write is accepted, and the disk turns out full only when the
// finished download hands the bytes to the system.
TEST_F(SmallDisk, FullOnlyWhenTheDownloadIsClosedKeepsNothingOfIt) {
  // Four pages: one for the manifest copy, three for a 40 KiB download.
  ASSERT_TRUE(disk().Resize(16 * 1024));
  const Server server{{"updater.txt", Body("T\nlate.bin\nLate\n")},
                      {"late.bin", Body(Pattern(40 * 1024, 'l'))}};
  StartResult first = Start(server);
  ASSERT_EQ(first.failedFileCalls.size(), 1u);
  EXPECT_TRUE(first.failedFileCalls[0].starts_with("Finish " + sandbox.workDir() + "/"));
  EXPECT_EQ(first.dialogs, (Names{kAsk, kDiskFull}));
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(first.caption, "T");
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"updater1.txt"}));

  ASSERT_TRUE(disk().Resize(1024 * 1024));
  StartResult second = Start(server);
  EXPECT_EQ(second.dialogs, (Names{kAsk}));
  EXPECT_EQ(second.requests, (Names{"late.bin"}));
  EXPECT_TRUE(sandbox.ReadFile("late.bin") == Pattern(40 * 1024, 'l'));
  EXPECT_TRUE(second.shown);
}

TEST_F(SmallDisk, FullWhileCopyingTheManifestKeepsThePreviousCopyByteForByte) {
  const std::string old = "Old\nold.bin\nOld\n";
  sandbox.WriteFile("updater1.txt", old);
  sandbox.WriteFile("old.bin", "o");
  // Fill what is left, whatever the file system's own overhead.
  {
    std::string block(4096, 'f');
    posix::PosixFileSystem files;
    auto filler = files.CreateOutputFile(sandbox.InWorkDir("filler"));
    try {
      for (;;) filler->Write(std::as_bytes(std::span(block)));
    } catch (const IoError& e) {
      ASSERT_EQ(e.Kind(), IoErrorKind::DiskFull);
    }
  }
  std::string fresh = "New title\n";
  for (int i = 0; i < 200; ++i) fresh += "old.bin\nAgain " + std::to_string(i) + "\n";
  const Server server{{"updater.txt", Body(fresh)}};
  StartResult first = Start(server);
  EXPECT_EQ(first.dialogs, (Names{kDiskFull}));
  EXPECT_EQ(sandbox.ReadFile("updater1.txt"), old);
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"filler", "old.bin", "updater1.txt"}));
  EXPECT_EQ(first.caption, "Kestrune");
  EXPECT_TRUE(first.shown);

  std::filesystem::remove(sandbox.InWorkDir("filler"));
  StartResult second = Start(server);
  EXPECT_TRUE(second.dialogs.empty());
  EXPECT_EQ(sandbox.ReadFile("updater1.txt"), fresh);
  EXPECT_EQ(second.buttons, 200u);
}

// A disk with a little more free than the margin a download leaves: a
// body announced longer than the room is refused unread, one without a
// length stops where the room ends, and neither leaves a byte behind.
TEST(MarginDisk, DownloadsLeaveTheMarginFreeAndNothingOfThemBehind) {
  hostile::Sandbox sandbox;
  hostile::SmallTmpfs disk(sandbox.workDir(), kFreeSpaceMarginBytes + 512 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "no size-limited file system here: " << disk.why();
  FakeResponse endless = Body(Pattern(2 << 20, 'e'));
  endless.announceLength = false;
  const Server server{{"updater.txt", Body("T\nbig.bin\nBig\nendless.bin\nE\nsmall.bin\nS\n")},
                      {"big.bin", Body(Pattern(1 << 20, 'b'))},
                      {"endless.bin", endless},
                      {"small.bin", Body("s")}};
  StartResult first = StartIn(sandbox, server);
  EXPECT_EQ(first.dialogs, (Names{kAsk, kFail, kFail}));
  EXPECT_EQ(first.requests, (Names{"big.bin", "endless.bin", "small.bin"}));
  EXPECT_EQ(sandbox.FilesInWorkDir(), (Names{"small.bin", "updater1.txt"}));
  posix::PosixFileSystem files;
  EXPECT_GE(files.FreeSpace(sandbox.workDir()).value_or(0), kFreeSpaceMarginBytes);
}

}  // namespace
}  // namespace kestrune
