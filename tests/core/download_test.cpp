#include "update/download.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>

#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

using fake::FakePlatform;
using fake::FakeResponse;

constexpr char kUrl[] = "http://10.1.2.3/serverlist/tool.exe";
constexpr char kAgent[] = "Kestrune.exe";

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return s;
}

class Download : public ::testing::Test {
 protected:
  std::string Target() const { return sys.InWorkDir("tool.exe"); }
  bool Fetch() { return DownloadToFile(sys.internet, sys.files, kAgent, kUrl, Target()); }
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> found;
    for (const auto& [path, content] : sys.files.files) {
      if (path.ends_with(kPartialDownloadSuffix)) found.push_back(path);
    }
    return found;
  }
  // Nothing but the target may be left in the working directory.
  void ExpectNoTemporaryLeft() {
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
    EXPECT_EQ(sys.internet.liveHandles, 0);
    EXPECT_EQ(sys.files.openOutputFiles, 0);
  }
  FakePlatform sys;
};

TEST_F(Download, BodyIsStoredByteForByteThroughOneSmallBuffer) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{1023}, std::size_t{1024},
                           std::size_t{1025}, std::size_t{300000}}) {
    FakeResponse response;
    response.body = Bytes(size);
    sys.internet.responses[kUrl] = response;
    ASSERT_TRUE(Fetch()) << size;
    EXPECT_EQ(sys.files.files.at(Target()), response.body) << size;
    ExpectNoTemporaryLeft();
  }
  EXPECT_EQ(sys.internet.largestRead, kDownloadBlockSize);
}

TEST_F(Download, ExactlyOneBlockEndsOnTheNextEmptyRead) {
  FakeResponse response;
  response.body = Bytes(1024);
  response.chunk = 1024;
  sys.internet.responses[kUrl] = response;
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()).size(), 1024u);
}

TEST_F(Download, ReplacesALongerExistingFileCompletely) {
  sys.files.files[Target()] = std::string(5000, 'x');
  FakeResponse response;
  response.body = "short";
  sys.internet.responses[kUrl] = response;
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), "short");
}

TEST(AgentName, IsTheProgramsFileName) {
  EXPECT_EQ(AgentName("D:\\Apps\\My Launcher\\Kestrune.exe"), "Kestrune.exe");
  EXPECT_EQ(AgentName("/opt/kestrune/bin/kestrune"), "kestrune");
}

// The URL handle goes first, then the session, also when writing fails.
TEST_F(Download, HandlesAreReleasedUrlFirstThenSessionOnEveryWayOut) {
  FakeResponse big;
  big.body = Bytes(10000);
  sys.internet.responses[kUrl] = big;
  ASSERT_TRUE(Fetch());
  sys.files.freeSpace = 4000;
  EXPECT_THROW(Fetch(), IoError);
  std::vector<std::string> closes;
  for (const std::string& e : sys.log) {
    if (e.rfind("close", 0) == 0) closes.push_back(e);
  }
  EXPECT_EQ(closes,
            (std::vector<std::string>{"close url", "close session", "close url", "close session"}));
}

TEST_F(Download, FailuresNeverTouchAnExistingFileNorLeaveATemporaryOne) {
  struct Case {
    const char* what;
    FakeResponse response;
  };
  FakeResponse broken;
  broken.body = Bytes(5000);
  broken.failAfterBytes = 2500;
  FakeResponse notFound;
  notFound.status = 404;
  notFound.body = "<html>not here</html>";
  FakeResponse serverError;
  serverError.status = 500;
  FakeResponse redirectLeftOver;
  redirectLeftOver.status = 302;
  FakeResponse shortBody;
  shortBody.body = Bytes(100);
  shortBody.contentLength = 150;
  FakeResponse unreachable;
  unreachable.failAtOpen = true;
  for (const Case& c : {Case{"broken", broken}, Case{"404", notFound}, Case{"500", serverError},
                        Case{"302", redirectLeftOver}, Case{"short", shortBody},
                        Case{"unreachable", unreachable}}) {
    sys.files.files[Target()] = "previous";
    sys.internet.responses[kUrl] = c.response;
    EXPECT_FALSE(Fetch()) << c.what;
    EXPECT_EQ(sys.files.files.at(Target()), "previous") << c.what;
    ExpectNoTemporaryLeft();
  }
}

TEST_F(Download, FailureLeavesNoFileWhereThereWasNone) {
  sys.internet.failSession = true;
  EXPECT_FALSE(Fetch());
  EXPECT_EQ(sys.files.files.count(Target()), 0u);
  ExpectNoTemporaryLeft();
  EXPECT_TRUE(sys.internet.requests.empty());
}

TEST_F(Download, BodyWithoutAnnouncedLengthIsComplete) {
  FakeResponse chunked;
  chunked.body = Bytes(3000);
  chunked.announceLength = false;
  sys.internet.responses[kUrl] = chunked;
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), chunked.body);
}

TEST_F(Download, AServerThatTricklesIsGivenUpAndOneThatKeepsTheSlowestPaceIsNot) {
  // A byte every 59 s: each one restarts the platform's no-data timeout.
  FakeResponse trickle;
  trickle.body = Bytes(10);
  trickle.chunk = 1;
  trickle.millisecondsPerRead = 59000;
  sys.internet.responses[kUrl] = trickle;
  EXPECT_FALSE(Fetch());
  EXPECT_FALSE(sys.files.files.count(Target()));
  ExpectNoTemporaryLeft();

  // Exactly the slowest pace, over several windows, arrives whole.
  FakeResponse slow;
  slow.body = Bytes(kSlowestBytesPerSecond * 200);
  slow.chunk = kSlowestBytesPerSecond;
  slow.millisecondsPerRead = 1000;
  sys.internet.responses[kUrl] = slow;
  EXPECT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), slow.body);
}

TEST_F(Download, ABodyPastItsLimitIsRefusedWithoutReadingOn) {
  const auto fetchLimited = [&] {
    return DownloadToFile(sys.internet, sys.files, kAgent, kUrl, Target(), {}, 5000);
  };
  FakeResponse announced;
  announced.body = Bytes(5001);
  sys.internet.responses[kUrl] = announced;
  EXPECT_FALSE(fetchLimited());
  EXPECT_EQ(sys.internet.largestRead, 0u) << "an announced length past the limit is not read";

  // Without an announced length, the block that crosses the limit ends it.
  FakeResponse unannounced = announced;
  unannounced.announceLength = false;
  sys.internet.responses[kUrl] = unannounced;
  EXPECT_FALSE(fetchLimited());
  EXPECT_FALSE(sys.files.files.count(Target()));
  ExpectNoTemporaryLeft();

  unannounced.body = Bytes(5000);
  sys.internet.responses[kUrl] = unannounced;
  EXPECT_TRUE(fetchLimited());
}

TEST_F(Download, ABodyTheDiskHasNoRoomForBesideTheMarginIsRefusedUnread) {
  FakeResponse announced;
  announced.body = Bytes(5000);
  sys.internet.responses[kUrl] = announced;
  sys.files.reportedFreeSpace = kFreeSpaceMarginBytes + 4999;
  EXPECT_FALSE(Fetch());
  EXPECT_EQ(sys.internet.largestRead, 0u);
  ExpectNoTemporaryLeft();
  sys.files.reportedFreeSpace = kFreeSpaceMarginBytes + 5000;
  EXPECT_TRUE(Fetch());
}

// A drop part-way, answered by the server's next responses in turn.
class Continuation : public Download {
 protected:
  static constexpr std::size_t kSize = 10000;
  static FakeResponse Dropping(std::size_t after, std::string etag = "\"v1\"") {
    FakeResponse r;
    r.body = Bytes(kSize);
    r.failAfterBytes = after;
    if (!etag.empty()) r.headers["ETag"] = etag;
    return r;
  }
  // The rest from first on, as a 206; dropping again after `after` bytes.
  static FakeResponse Rest(std::size_t first, std::optional<std::size_t> after = {}) {
    FakeResponse r;
    r.status = 206;
    r.body = Bytes(kSize).substr(first);
    r.failAfterBytes = after;
    r.headers["Content-Range"] =
        "bytes " + std::to_string(first) + "-" + std::to_string(kSize - 1) + "/" +
        std::to_string(kSize);
    return r;
  }
  void Answer(std::deque<FakeResponse> responses) {
    sys.internet.nextResponses[kUrl] = std::move(responses);
  }
  bool FetchChecked() {
    return DownloadToFile(sys.internet, sys.files, kAgent, kUrl, Target(),
                          [](const FileHash&) { return true; });
  }
};

TEST_F(Continuation, EachDropIsContinuedWhileItGetsFurtherUpToFiveTimes) {
  Answer({Dropping(1000), Rest(1000, 1000), Rest(2000, 1000), Rest(3000, 1000), Rest(4000, 1000),
          Rest(5000)});
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), Bytes(kSize));
  EXPECT_EQ(sys.internet.requestHeaders,
            (std::vector<std::string>{"", "Range: bytes=1000-; If-Range: \"v1\"",
                                      "Range: bytes=2000-; If-Range: \"v1\"",
                                      "Range: bytes=3000-; If-Range: \"v1\"",
                                      "Range: bytes=4000-; If-Range: \"v1\"",
                                      "Range: bytes=5000-; If-Range: \"v1\""}));
  ExpectNoTemporaryLeft();

  // A sixth drop is one too many.
  Answer({Dropping(1000), Rest(1000, 1000), Rest(2000, 1000), Rest(3000, 1000), Rest(4000, 1000),
          Rest(5000, 1000), Rest(6000)});
  EXPECT_FALSE(Fetch());
  EXPECT_EQ(sys.internet.requests.size(), 12u);
  ExpectNoTemporaryLeft();
}

TEST_F(Continuation, WhatCannotBeProvenOneFileIsNotSplicedOn) {
  struct Case {
    const char* what;
    std::deque<FakeResponse> answers;
  };
  FakeResponse wrongStart = Rest(1000);
  wrongStart.headers["Content-Range"] = "bytes 0-9999/10000";
  FakeResponse otherLength = Rest(1000);
  otherLength.headers["Content-Range"] = "bytes 1000-11999/12000";
  FakeResponse noRange = Rest(1000);
  noRange.headers.clear();
  FakeResponse silent = Dropping(1000);
  silent.silent = true;
  const Case cases[] = {
      {"no validator", {Dropping(1000, ""), Rest(1000)}},
      {"a weak ETag", {Dropping(1000, "W/\"v1\""), Rest(1000)}},
      {"a range from elsewhere", {Dropping(1000), wrongStart}},
      {"a range of another length", {Dropping(1000), otherLength}},
      {"no Content-Range", {Dropping(1000), noRange}},
      {"a continuation that gets no further", {Dropping(1000), Rest(1000, 0), Rest(1000)}},
      {"a silent server", {silent, Rest(1000)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Answer(c.answers);
    EXPECT_FALSE(Fetch());
    EXPECT_FALSE(sys.files.files.count(Target()));
    ExpectNoTemporaryLeft();
  }
}

TEST_F(Continuation, ACheckedFileIsContinuedWithoutAValidatorAndAWholeAnswerStartsAgain) {
  Answer({Dropping(1000, ""), Rest(1000)});
  ASSERT_TRUE(FetchChecked());
  EXPECT_EQ(sys.files.files.at(Target()), Bytes(kSize));
  EXPECT_EQ(sys.internet.requestHeaders.back(), "Range: bytes=1000-");

  // The file changed (or ranges are not served): a 200 is the whole file.
  FakeResponse whole;
  whole.body = Bytes(kSize);
  Answer({Dropping(4000), whole});
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), Bytes(kSize));
  ExpectNoTemporaryLeft();
}

TEST_F(Download, DiskFullPartWayRaisesAndLeavesNothingBehind) {
  FakeResponse big;
  big.body = Bytes(10000);
  sys.internet.responses[kUrl] = big;
  sys.files.freeSpace = 4000;
  try {
    Fetch();
    FAIL() << "expected an I/O error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.Kind(), IoErrorKind::DiskFull);
  }
  EXPECT_EQ(sys.files.files.count(Target()), 0u);
  ExpectNoTemporaryLeft();
}

TEST_F(Download, MissingFolderRaisesEvenWhenTheServerIsDown) {
  sys.internet.failSession = true;
  try {
    DownloadToFile(sys.internet, sys.files, kAgent, kUrl, sys.InWorkDir("sub\\tool.exe"));
    FAIL() << "expected an I/O error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.Kind(), IoErrorKind::PathNotFound);
  }
  EXPECT_EQ(sys.internet.liveHandles, 0);
}

TEST_F(Download, TargetThatCannotBeReplacedRaisesAndKeepsThePreviousFile) {
  sys.files.files[Target()] = "previous";
  sys.files.readOnly.insert(Target());
  FakeResponse fresh;
  fresh.body = "new";
  sys.internet.responses[kUrl] = fresh;
  EXPECT_THROW(Fetch(), IoError);
  EXPECT_EQ(sys.files.files.at(Target()), "previous");
  ExpectNoTemporaryLeft();
}

// Two launchers started at once bring in the same missing file; the one
// that moves it into place second finds it there and still held.
TEST_F(Download, AFileAnotherLauncherJustBroughtInIsKeptWhenItChecksOut) {
  FakeResponse fresh;
  fresh.body = "new";
  sys.internet.responses[kUrl] = fresh;
  sys.files.broughtInByAnother[Target()] = "new";
  EXPECT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), "new");
  ExpectNoTemporaryLeft();

  // Checked as this download's own bytes would be.
  FileHasher hasher;
  hasher.Update(std::as_bytes(std::span<const char>("new", 3)));
  const FileHash want = hasher.Finish();
  const DownloadCheck check = [&want](const FileHash& hash) { return hash == want; };
  sys.files.files.erase(Target());
  sys.files.broughtInByAnother[Target()] = "other";
  EXPECT_FALSE(DownloadToFile(sys.internet, sys.files, kAgent, kUrl, Target(), check));
  ExpectNoTemporaryLeft();
}

// A name left by an earlier process that had the same id (ids are reused
// after a crash) is neither written into nor moved away: the download takes
// the next name.
TEST_F(Download, TakenTemporaryNameIsLeftAloneAndTheNextOneUsed) {
  const std::string leftover = PartialDownloadPath(Target(), sys.files.processId, 0);
  sys.files.files[leftover] = "someone else's";
  FakeResponse fresh;
  fresh.body = Bytes(2000);
  sys.internet.responses[kUrl] = fresh;
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(sys.files.files.at(Target()), fresh.body);
  EXPECT_EQ(sys.files.files.at(leftover), "someone else's");
}

// Only the download's own temporary files go, and only those no running
// launcher holds.
TEST(AbandonedDownloads, OnlyUnheldTemporaryFilesAreRemoved) {
  FakePlatform sys;
  const std::string abandoned = sys.InWorkDir("a.exe.77-0.kestrune-part");
  const std::string olderStyle = sys.InWorkDir("b.exe.kestrune-part");
  const std::string running = sys.InWorkDir("c.exe.99-3.kestrune-part");
  const std::string listed = sys.InWorkDir("a.exe");
  const std::string lookalike = sys.InWorkDir("notes.kestrune-part.txt");
  for (const std::string& path : {abandoned, olderStyle, running, listed, lookalike}) {
    sys.files.files[path] = "x";
  }
  sys.files.heldFiles.insert(running);
  RemoveAbandonedDownloads(sys.files, sys.files.currentDirectory);
  EXPECT_EQ(sys.files.files.count(abandoned), 0u);
  EXPECT_EQ(sys.files.files.count(olderStyle), 0u);
  EXPECT_EQ(sys.files.files.count(running), 1u);
  EXPECT_EQ(sys.files.files.count(listed), 1u);
  EXPECT_EQ(sys.files.files.count(lookalike), 1u);
}

}  // namespace
}  // namespace kestrune
