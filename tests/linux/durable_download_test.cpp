// The order in which a download and a replaced copy reach the disk, seen
// from outside: the real program's layers run under strace, and the trace
// must show each temporary file's data synced before it is renamed onto its
// target, and the target's directory synced after the rename.
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/linux/support/child_process.h"
#include "tests/linux/support/loopback_server.h"
#include "tests/linux/support/temp_dir.h"
#include "update/download.h"

namespace kestrune {
namespace {

using testing::ChildProcess;
using testing::LoopbackServer;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
namespace fs = std::filesystem;

struct Call {
  std::string name;
  std::string fdPath;              // the descriptor's file, shown by strace -y
  std::vector<std::string> paths;  // quoted path arguments, in order
  long result = -1;
};

// Reads strace -f -y output. A call that another thread interrupted comes
// as "<unfinished ...>" and "<... name resumed>" lines; they are joined back
// into one per process.
std::vector<Call> ParseTrace(const fs::path& file) {
  static const std::regex kLine(R"(^(\d+)\s+(.*)$)");
  static const std::regex kCall(R"(^(\w+)\((.*)\)\s+=\s+(-?\d+))");
  static const std::regex kFd(R"(^\d+<([^>]*)>)");
  static const std::regex kQuoted(R"re("([^"]*)")re");
  std::map<std::string, std::string> pending;
  std::vector<Call> calls;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, kLine)) continue;
    const std::string pid = m[1];
    std::string text = m[2];
    if (const auto cut = text.find(" <unfinished ...>"); cut != std::string::npos) {
      pending[pid] = text.substr(0, cut);
      continue;
    }
    if (text.starts_with("<... ")) {
      const auto end = text.find("resumed>");
      if (end == std::string::npos) continue;
      text = pending[pid] + text.substr(end + 8);
      pending.erase(pid);
    }
    std::smatch c;
    if (!std::regex_search(text, c, kCall)) continue;
    Call call{c[1], {}, {}, std::stol(c[3])};
    const std::string args = c[2];
    if (std::smatch f; std::regex_search(args, f, kFd)) call.fdPath = f[1];
    for (auto it = std::sregex_iterator(args.begin(), args.end(), kQuoted);
         it != std::sregex_iterator(); ++it) {
      call.paths.push_back((*it)[1]);
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Checks one replacement of target by way of temporary in the trace.
void ExpectDurableReplace(const std::vector<Call>& calls, const std::string& temporary,
                          const std::string& target) {
  SCOPED_TRACE(target);
  std::size_t lastWrite = kNone, sync = kNone, rename = kNone, dirSync = kNone;
  const std::string directory = fs::path(target).parent_path().string();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const Call& call = calls[i];
    if (call.name == "write" && call.fdPath == temporary && call.result > 0) lastWrite = i;
    if ((call.name == "fsync" || call.name == "fdatasync") && call.result == 0) {
      if (call.fdPath == temporary && rename == kNone) sync = i;
      if (call.fdPath == directory && rename != kNone && dirSync == kNone) dirSync = i;
    }
    if (call.name.starts_with("rename") && call.result == 0 && call.paths.size() >= 2 &&
        call.paths[call.paths.size() - 2] == temporary && call.paths.back() == target) {
      rename = i;
    }
  }
  ASSERT_NE(lastWrite, kNone) << "no write to " << temporary;
  ASSERT_NE(rename, kNone) << "no rename of " << temporary << " onto " << target;
  ASSERT_NE(sync, kNone) << "the temporary file was not synced before the rename";
  EXPECT_GT(sync, lastWrite) << "synced before its last write";
  EXPECT_NE(dirSync, kNone) << "no sync of " << directory << " after the rename";
}

TEST(DurableDownload, DataIsSyncedBeforeTheMoveAndTheDirectoryAfterIt) {
  TempDir serverDir;
  // Larger than the layer's write buffer, so the data goes out in several writes.
  std::string served(300000, '\0');
  for (std::size_t i = 0; i < served.size(); ++i) served[i] = static_cast<char>(i * 7 + i / 251);
  WriteFileBytes(serverDir.path() / "serverlist" / "big.bin", served);
  const LoopbackServer server({serverDir.path(), {}, {}, {}, {}});

  TempDir work;
  // strace -y names descriptors by their resolved path.
  const fs::path dir = fs::canonical(work.path());
  const std::string target = (dir / "big.bin").string();
  const std::string copy = (dir / "manifest.copy").string();
  const fs::path trace = dir / "trace.txt";
  ChildProcess tracer = ChildProcess::Start(
      {KESTRUNE_TEST_STRACE, "-f", "-y", "-s", "0", "-o", trace.string(),
       "-e", "trace=openat,write,fsync,fdatasync,rename,renameat,renameat2,close",
       // NOTE: LeakSanitizer cannot run in a process that is already traced;
       // the rest of the sanitizers still can.
       "-E", "ASAN_OPTIONS=detect_leaks=0",
       KESTRUNE_TEST_DOWNLOAD_ONCE, server.origin() + "/serverlist/big.bin", target, copy},
      false);
  ASSERT_EQ(tracer.Wait(), 0);
  ASSERT_EQ(ReadFileBytes(target), served);

  const std::vector<Call> calls = ParseTrace(trace);
  ExpectDurableReplace(calls, PartialDownloadPath(target), target);
  ExpectDurableReplace(calls, PartialDownloadPath(copy), copy);
}

}  // namespace
}  // namespace kestrune
