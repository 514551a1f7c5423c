// The order in which a download and a replaced copy reach the disk, seen
// from outside: the real program's layers run under strace, and the trace
// must show each temporary file created exclusively and locked, its data
// synced before it is renamed onto its target while still held, and the
// target's directory synced after the rename.
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
  std::string args;
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
    Call call{c[1], {}, {}, std::stol(c[3]), c[2]};
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

// Checks one replacement of target in the trace: its temporary file was
// created exclusively and locked before anything was written to it, synced
// after its last write, and held (never closed) until it was renamed onto
// target, whose directory was synced after the rename.
void ExpectDurableReplace(const std::vector<Call>& calls, const std::string& target) {
  SCOPED_TRACE(target);
  std::string temporary;
  std::size_t rename = kNone;
  for (std::size_t i = 0; i < calls.size() && rename == kNone; ++i) {
    const Call& call = calls[i];
    if (call.name.starts_with("rename") && call.result == 0 && call.paths.size() >= 2 &&
        call.paths.back() == target) {
      rename = i;
      temporary = call.paths[call.paths.size() - 2];
    }
  }
  ASSERT_NE(rename, kNone) << "nothing was renamed onto " << target;
  EXPECT_TRUE(temporary.ends_with(kPartialDownloadSuffix)) << temporary;

  std::size_t create = kNone, lock = kNone, firstWrite = kNone, lastWrite = kNone, sync = kNone,
              dirSync = kNone, closedEarly = kNone;
  const std::string directory = fs::path(target).parent_path().string();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const Call& call = calls[i];
    const bool onTemporary = call.fdPath == temporary;
    if (call.name == "openat" && !call.paths.empty() && call.paths.back() == temporary &&
        call.result >= 0 && call.args.find("O_EXCL") != std::string::npos) {
      create = i;
    }
    if (call.name == "flock" && onTemporary && call.result == 0 && lock == kNone) lock = i;
    if (call.name == "write" && onTemporary && call.result > 0) {
      if (firstWrite == kNone) firstWrite = i;
      lastWrite = i;
    }
    if ((call.name == "fsync" || call.name == "fdatasync") && call.result == 0) {
      if (onTemporary && i < rename) sync = i;
      if (call.fdPath == directory && i > rename && dirSync == kNone) dirSync = i;
    }
    if (call.name == "close" && onTemporary && i < rename) closedEarly = i;
  }
  ASSERT_NE(create, kNone) << temporary << " was not created exclusively";
  ASSERT_NE(lock, kNone) << temporary << " was never locked";
  ASSERT_NE(lastWrite, kNone) << "no write to " << temporary;
  EXPECT_LT(lock, firstWrite) << "written before it was locked";
  ASSERT_NE(sync, kNone) << "the temporary file was not synced before the rename";
  EXPECT_GT(sync, lastWrite) << "synced before its last write";
  EXPECT_EQ(closedEarly, kNone) << "let go of (and unlocked) before it was in place";
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
       "-e", "trace=openat,flock,write,fsync,fdatasync,rename,renameat,renameat2,close",
       // NOTE: LeakSanitizer cannot run in a process that is already traced;
       // the rest of the sanitizers still can.
       "-E", "ASAN_OPTIONS=detect_leaks=0",
       KESTRUNE_TEST_DOWNLOAD_ONCE, server.origin() + "/serverlist/big.bin", target, copy},
      false);
  ASSERT_EQ(tracer.Wait(), 0);
  ASSERT_EQ(ReadFileBytes(target), served);

  const std::vector<Call> calls = ParseTrace(trace);
  ExpectDurableReplace(calls, target);
  ExpectDurableReplace(calls, copy);
}

}  // namespace
}  // namespace kestrune
