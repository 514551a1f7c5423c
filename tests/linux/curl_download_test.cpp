// DownloadToFile over the real libcurl internet and POSIX files, against
// the loopback test server: what reaches the disk for every way a server
// can answer or fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "tests/linux/support/loopback_server.h"
#include "tests/linux/support/temp_dir.h"
#include "update/download.h"
#include "update/entries.h"

namespace kestrune {
namespace {

using testing::LoopbackServer;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
namespace fs = std::filesystem;

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = seed;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

constexpr char kEarlier[] = "the copy from last time";

class CurlDownload : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    serverDir_ = new TempDir;
    const fs::path list = serverDir_->path() / "serverlist";
    WriteFileBytes(list / "big.bin", Pattern(1 << 20, 1));
    WriteFileBytes(list / "chunked.bin", Pattern(100000, 2));
    WriteFileBytes(list / "target.bin", Pattern(30000, 3));
    WriteFileBytes(list / "cut.bin", Pattern(200000, 4));
    WriteFileBytes(list / "short.bin", Pattern(5000, 5));
    WriteFileBytes(list / "stall.bin", Pattern(5000, 6));
    WriteFileBytes(list / "silent.bin", Pattern(5000, 6));
    WriteFileBytes(list / "server error.bin", Pattern(100, 7));
    WriteFileBytes(list / "resumed.bin", Pattern(300000, 8));
    WriteFileBytes(list / "ignored.bin", Pattern(300000, 9));
    WriteFileBytes(list / "keep-alive.bin", Pattern(1000, 10));
    WriteFileBytes(list / "my file \xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt", "named with care\n");
    WriteFileBytes(serverDir_->path() / "rules.json", R"({
      "/serverlist/chunked.bin": {"chunked": true},
      "/serverlist/moved.bin": {"redirect": "/serverlist/target.bin", "code": 302},
      "/serverlist/moved-twice.bin": {"redirect": "/serverlist/moved.bin", "code": 301},
      "/serverlist/loop.bin": {"redirect": "/serverlist/loop.bin", "code": 302},
      "/serverlist/cut.bin": {"reset_after": 70000},
      "/serverlist/short.bin": {"short_by": 10},
      "/serverlist/stall.bin": {"stall_after": 100, "stall_seconds": 30},
      "/serverlist/silent.bin": {"delay_seconds": 30},
      "/serverlist/server%20error.bin": {"status": 500},
      "/serverlist/resumed.bin": {"etag": "\"r1\"", "ranges": true, "drop_once_after": 100000},
      "/serverlist/ignored.bin": {"etag": "\"i1\"", "drop_once_after": 100000},
      "/serverlist/trickle.bin": {"header_trickle_seconds": 0.2}
    })");
    server_ = new LoopbackServer({serverDir_->path(), serverDir_->path() / "rules.json",
                                  serverDir_->path() / "requests.log", {}, {}});
  }
  static void TearDownTestSuite() {
    delete server_;
    delete serverDir_;
  }

  static std::string Url(const std::string& name) {
    return EntryAddress(server_->origin() + "/serverlist/", name);
  }
  std::string Local(const std::string& name) const { return work_.Path(name); }

  bool Download(const std::string& name, posix::CurlInternet& internet) {
    return DownloadToFile(internet, files_, agent_, Url(name), Local(name));
  }
  bool Download(const std::string& name) { return Download(name, internet_); }

  std::string ServedBytes(const std::string& name) const {
    return ReadFileBytes(serverDir_->path() / "serverlist" / name);
  }

  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(work_.path())) {
      if (entry.path().string().ends_with(kPartialDownloadSuffix)) found.push_back(entry.path());
    }
    return found;
  }

  // A failed download leaves the earlier file as it was and nothing else.
  void ExpectEarlierFileKept(const std::string& name) const {
    EXPECT_EQ(ReadFileBytes(Local(name)), kEarlier);
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
  }

  static TempDir* serverDir_;
  static LoopbackServer* server_;
  TempDir work_;
  posix::CurlInternet internet_;
  posix::PosixFileSystem files_;
  // As the program names itself: after its own file.
  const std::string agent_ = AgentName(posix::PosixSystem().OwnExecutablePath());
};

TempDir* CurlDownload::serverDir_ = nullptr;
LoopbackServer* CurlDownload::server_ = nullptr;

TEST_F(CurlDownload, OneMebibyteArrivesByteIdenticalUnderTheProgramsName) {
  ASSERT_TRUE(Download("big.bin"));
  EXPECT_EQ(ReadFileBytes(Local("big.bin")), ServedBytes("big.bin"));
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});

  bool seen = false;
  for (const auto& request : server_->Requests()) {
    if (request.path == "/serverlist/big.bin") {
      seen = true;
      EXPECT_EQ(request.agent, "linux_service_tests");
    }
  }
  EXPECT_TRUE(seen);
}

TEST_F(CurlDownload, ReplacesAnEarlierLongerFileCompletely) {
  WriteFileBytes(Local("target.bin"), std::string(100000, 'x'));
  ASSERT_TRUE(Download("target.bin"));
  EXPECT_EQ(ReadFileBytes(Local("target.bin")), ServedBytes("target.bin"));
}

TEST_F(CurlDownload, ChunkedBodyWithoutALengthArrivesWhole) {
  ASSERT_TRUE(Download("chunked.bin"));
  EXPECT_EQ(ReadFileBytes(Local("chunked.bin")), ServedBytes("chunked.bin"));
}

TEST_F(CurlDownload, RedirectsAreFollowedToTheFinalBody) {
  ASSERT_TRUE(Download("moved.bin"));
  EXPECT_EQ(ReadFileBytes(Local("moved.bin")), ServedBytes("target.bin"));
  ASSERT_TRUE(Download("moved-twice.bin"));
  EXPECT_EQ(ReadFileBytes(Local("moved-twice.bin")), ServedBytes("target.bin"));
}

TEST_F(CurlDownload, NameWithSpacesAndNonAsciiIsRequestedPercentEncoded) {
  const std::string name = "my file \xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt";
  ASSERT_TRUE(Download(name));
  EXPECT_EQ(ReadFileBytes(Local(name)), "named with care\n");
  bool seen = false;
  for (const auto& request : server_->Requests()) {
    seen = seen || request.path == "/serverlist/my%20file%20%C3%A9t%C3%A9%20%E2%82%AC.txt";
  }
  EXPECT_TRUE(seen);
}

TEST_F(CurlDownload, ErrorStatusesNeverReplaceTheEarlierFile) {
  for (const std::string name : {"missing.bin", "server error.bin"}) {
    SCOPED_TRACE(name);
    WriteFileBytes(Local(name), kEarlier);
    EXPECT_FALSE(Download(name));
    ExpectEarlierFileKept(name);
  }
}

TEST_F(CurlDownload, TransfersThatBreakOffAreFailures) {
  // Reset by the server part-way, and a body shorter than its length.
  for (const std::string name : {"cut.bin", "short.bin"}) {
    SCOPED_TRACE(name);
    WriteFileBytes(Local(name), kEarlier);
    EXPECT_FALSE(Download(name));
    ExpectEarlierFileKept(name);
  }
}

TEST_F(CurlDownload, RedirectLoopFailsAfterABoundedNumberOfRequests) {
  WriteFileBytes(Local("loop.bin"), kEarlier);
  EXPECT_FALSE(Download("loop.bin"));
  ExpectEarlierFileKept("loop.bin");
  int requests = 0;
  for (const auto& request : server_->Requests()) requests += request.path == "/serverlist/loop.bin";
  EXPECT_GT(requests, 1);
  EXPECT_LE(requests, 11);
}

TEST_F(CurlDownload, RefusedConnectionIsAFailure) {
  posix::CurlInternet internet;
  WriteFileBytes(Local("x.bin"), kEarlier);
  const std::string url =
      "http://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/serverlist/x.bin";
  EXPECT_FALSE(DownloadToFile(internet, files_, agent_, url, Local("x.bin")));
  ExpectEarlierFileKept("x.bin");
}

TEST_F(CurlDownload, StalledServerIsGivenUpAfterTheNoDataTimeout) {
  posix::CurlOptions options;
  options.noDataTimeout = std::chrono::seconds(2);
  posix::CurlInternet impatient(options);
  // Silent part-way through the body, and silent before any header.
  for (const std::string name : {"stall.bin", "silent.bin"}) {
    SCOPED_TRACE(name);
    WriteFileBytes(Local(name), kEarlier);
    EXPECT_FALSE(Download(name, impatient));
    ExpectEarlierFileKept(name);
  }
}

TEST_F(CurlDownload, HeadersTrickledPastTheirDeadlineFailTheRequest) {
  // Each header line comes well within the no-data limit.
  posix::CurlOptions options;
  options.headerDeadline = std::chrono::seconds(2);
  posix::CurlInternet impatient(options);
  WriteFileBytes(Local("trickle.bin"), kEarlier);
  EXPECT_FALSE(Download("trickle.bin", impatient));
  ExpectEarlierFileKept("trickle.bin");
}

std::vector<testing::LoggedRequest> RequestsFor(const LoopbackServer& server,
                                                const std::string& path) {
  std::vector<testing::LoggedRequest> found;
  for (const auto& request : server.Requests()) {
    if (request.path == path) found.push_back(request);
  }
  return found;
}

TEST_F(CurlDownload, DropIsContinuedFromTheBytesOnDiskGuardedByTheETag) {
  ASSERT_TRUE(Download("resumed.bin"));
  EXPECT_EQ(ReadFileBytes(Local("resumed.bin")), ServedBytes("resumed.bin"));
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
  const auto requests = RequestsFor(*server_, "/serverlist/resumed.bin");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].range, "");
  // From the first byte that did not arrive, whatever the reset lost.
  EXPECT_TRUE(requests[1].range.starts_with("bytes=")) << requests[1].range;
  EXPECT_TRUE(requests[1].range.ends_with("-")) << requests[1].range;
  EXPECT_NE(requests[1].range, "bytes=0-");
  EXPECT_EQ(requests[1].ifRange, "\"r1\"");
}

TEST_F(CurlDownload, ServerIgnoringRangeSendsTheWholeFileWhichStartsAgain) {
  ASSERT_TRUE(Download("ignored.bin"));
  EXPECT_EQ(ReadFileBytes(Local("ignored.bin")), ServedBytes("ignored.bin"));
  EXPECT_EQ(RequestsFor(*server_, "/serverlist/ignored.bin").size(), 2u);
}

TEST_F(CurlDownload, OneSessionKeepsOneConnectionForItsRequests) {
  OneSessionInternet line(internet_);
  for (const std::string name : {"keep-alive.bin", "target.bin", "keep-alive.bin"}) {
    ASSERT_TRUE(DownloadToFile(line, files_, agent_, Url(name), Local(name)));
  }
  const auto first = RequestsFor(*server_, "/serverlist/keep-alive.bin");
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].connection, first[1].connection);
}

TEST_F(CurlDownload, UnwritableTargetIsAnIoErrorEvenWithTheServerUp) {
  posix::CurlInternet internet;
  EXPECT_THROW(
      DownloadToFile(internet, files_, agent_, Url("target.bin"), Local("no-such-dir/target.bin")),
      IoError);
}

// The response object itself, as the core sees it between the calls.
TEST_F(CurlDownload, StatusAndLengthAreThoseOfTheFinalResponse) {
  auto session = internet_.OpenSession("agent");
  ASSERT_TRUE(session);
  auto moved = session->OpenUrl(Url("moved-twice.bin"));
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->StatusCode(), 200);
  EXPECT_EQ(moved->ContentLength(), std::optional<std::uint64_t>(30000));

  auto missing = session->OpenUrl(Url("missing.bin"));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->StatusCode(), 404);

  auto chunked = session->OpenUrl(Url("chunked.bin"));
  ASSERT_TRUE(chunked);
  EXPECT_EQ(chunked->StatusCode(), 200);
  EXPECT_EQ(chunked->ContentLength(), std::nullopt);

  EXPECT_EQ(session->OpenUrl(Url("loop.bin")), nullptr);
  EXPECT_EQ(session->OpenUrl("http://127.0.0.1:" +
                             std::to_string(testing::UnusedLoopbackPort()) + "/"),
            nullptr);
}

TEST_F(CurlDownload, ReadsDeliverAtMostTheBufferAndEndCleanly) {
  auto session = internet_.OpenSession("agent");
  auto response = session->OpenUrl(Url("big.bin"));
  ASSERT_TRUE(response);
  std::string received;
  std::byte buffer[7];
  for (;;) {
    const ReadResult read = response->Read(buffer);
    ASSERT_TRUE(read.ok);
    ASSERT_LE(read.bytes, sizeof buffer);
    if (read.bytes == 0) break;
    received.append(reinterpret_cast<const char*>(buffer), read.bytes);
  }
  EXPECT_EQ(received, ServedBytes("big.bin"));
  // The end stays the end.
  EXPECT_TRUE(response->Read(buffer).ok);
  EXPECT_EQ(response->Read(buffer).bytes, 0u);
}

TEST_F(CurlDownload, BrokenTransferDeliversWhatArrivedThenFails) {
  auto session = internet_.OpenSession("agent");
  auto response = session->OpenUrl(Url("cut.bin"));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->ContentLength(), std::optional<std::uint64_t>(200000));
  std::string received;
  std::byte buffer[4096];
  ReadResult read;
  while ((read = response->Read(buffer)).ok && read.bytes > 0) {
    received.append(reinterpret_cast<const char*>(buffer), read.bytes);
  }
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(received, ServedBytes("cut.bin").substr(0, received.size()));
  EXPECT_LE(received.size(), 70000u);
}

TEST_F(CurlDownload, ResponseLeftHalfReadReleasesCleanly) {
  auto session = internet_.OpenSession("agent");
  for (int i = 0; i < 3; ++i) {
    auto response = session->OpenUrl(Url("big.bin"));
    ASSERT_TRUE(response);
    std::byte buffer[100];
    ASSERT_TRUE(response->Read(buffer).ok);
  }
  EXPECT_TRUE(Download("target.bin"));
}

}  // namespace
}  // namespace kestrune
