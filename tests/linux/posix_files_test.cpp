// The POSIX file services on real files: what each failure is reported as,
// and how a finished download becomes visible.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/posix_files.h"
#include "tests/linux/support/temp_dir.h"

namespace kestrune {
namespace {

using namespace std::string_literals;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::span<const std::byte> AsBytes(const std::string& text) {
  return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

template <typename Call>
IoErrorKind KindOf(Call&& call) {
  try {
    call();
  } catch (const IoError& error) {
    return error.Kind();
  }
  ADD_FAILURE() << "no IoError";
  return IoErrorKind::Other;
}

bool OwnerMayExecute(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

class PosixFiles : public ::testing::Test {
 protected:
  TempDir dir_;
  posix::PosixFileSystem files_;
};

TEST_F(PosixFiles, WrittenBytesReadBackExactly) {
  std::string data = "binary\0with\r\nanything"s;
  data += std::string(70000, '\xff');
  auto out = files_.CreateOutputFile(dir_.Path("f.bin"));
  out->Write(AsBytes(data.substr(0, 10)));
  out->Write(AsBytes(data.substr(10)));
  out->Close();
  EXPECT_EQ(files_.ReadWholeFile(dir_.Path("f.bin")), data);

  // Creating again truncates.
  auto again = files_.CreateOutputFile(dir_.Path("f.bin"));
  again->Write(AsBytes("x"));
  again->Close();
  EXPECT_EQ(files_.ReadWholeFile(dir_.Path("f.bin")), "x");
}

TEST_F(PosixFiles, FailuresAreReportedInTheRuntimesWords) {
  WriteFileBytes(dir_.path() / "plain", "p");
  std::filesystem::create_directory(dir_.path() / "folder");

  EXPECT_EQ(KindOf([&] { files_.ReadWholeFile(dir_.Path("absent")); }), IoErrorKind::FileNotFound);
  EXPECT_EQ(KindOf([&] { files_.CreateOutputFile(dir_.Path("no-dir/new")); }),
            IoErrorKind::PathNotFound);
  // A path through a file is a path that does not exist.
  EXPECT_EQ(KindOf([&] { files_.CreateOutputFile(dir_.Path("plain/new")); }),
            IoErrorKind::PathNotFound);
  EXPECT_EQ(KindOf([&] { files_.CreateOutputFile(dir_.Path("folder")); }),
            IoErrorKind::AccessDenied);
  EXPECT_EQ(KindOf([&] { files_.ReadWholeFile(dir_.Path("folder")); }), IoErrorKind::AccessDenied);
  EXPECT_EQ(KindOf([&] { files_.CreateTemporaryFile(dir_.Path("no-dir/new")); }),
            IoErrorKind::PathNotFound);
  // A taken name is no failure: the caller tries another, and the file
  // there is left as it was.
  EXPECT_EQ(files_.CreateTemporaryFile(dir_.Path("plain")), nullptr);
  EXPECT_EQ(files_.CreateTemporaryFile(dir_.Path("folder")), nullptr);
  EXPECT_EQ(ReadFileBytes(dir_.path() / "plain"), "p");
}

TEST_F(PosixFiles, FullDiskIsDiskFull) {
  auto out = files_.CreateOutputFile("/dev/full");
  const IoErrorKind kind = KindOf([&] {
    out->Write(AsBytes(std::string(4096, 'z')));
    out->Close();
  });
  EXPECT_EQ(kind, IoErrorKind::DiskFull);
}

// The process's count of write calls so far, from the kernel's own books.
long WriteCallsSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long value = 0;
  while (io >> key >> value) {
    if (key == "syscw:") return value;
  }
  ADD_FAILURE() << "no syscw in /proc/self/io";
  return -1;
}

// A download arrives in 1024-byte blocks; a write call for each made a
// 512 MiB download spend most of its time in the kernel.
TEST_F(PosixFiles, SmallBlocksAreGatheredIntoFewWriteCalls) {
  std::string expected;
  auto out = files_.CreateOutputFile(dir_.Path("blocks"));
  const long before = WriteCallsSoFar();
  for (int i = 0; i < 1024; ++i) {
    const std::string block(1024, static_cast<char>('a' + i % 26));
    out->Write(AsBytes(block));
    expected += block;
  }
  out->Close();
  const long calls = WriteCallsSoFar() - before;
  EXPECT_LE(calls, 1024 / 32) << "write calls for 1 MiB in 1 KiB blocks";
  EXPECT_EQ(ReadFileBytes(dir_.path() / "blocks"), expected);
}

TEST_F(PosixFiles, HeldBackBytesKeepTheirOrderWhateverTheWriteSizes) {
  std::string expected;
  auto out = files_.CreateOutputFile(dir_.Path("mixed"));
  // Tiny pieces, one larger than any buffer, pieces that straddle its end.
  for (const std::size_t size : {1u, 1023u, 300000u, 5u, 65535u, 2u, 131072u, 7u}) {
    std::string piece(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      piece[i] = static_cast<char>((expected.size() + i) * 7 % 251);
    }
    out->Write(AsBytes(piece));
    expected += piece;
  }
  out->Close();
  EXPECT_EQ(ReadFileBytes(dir_.path() / "mixed"), expected);
}

TEST_F(PosixFiles, DroppingAnUnclosedFileStillStoresWhatWasWritten) {
  {
    auto out = files_.CreateOutputFile(dir_.Path("dropped"));
    out->Write(AsBytes("kept"));
  }
  EXPECT_EQ(ReadFileBytes(dir_.path() / "dropped"), "kept");
}

TEST_F(PosixFiles, FileExistsOnlyForFiles) {
  WriteFileBytes(dir_.path() / "plain", "p");
  std::filesystem::create_directory(dir_.path() / "folder");
  EXPECT_TRUE(files_.FileExists(dir_.Path("plain")));
  EXPECT_FALSE(files_.FileExists(dir_.Path("folder")));
  EXPECT_FALSE(files_.FileExists(dir_.Path("absent")));
}

TEST_F(PosixFiles, CurrentDirectoryHasNoClosingSeparator) {
  const auto previous = std::filesystem::current_path();
  ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  EXPECT_EQ(files_.CurrentDirectory(), std::filesystem::canonical(dir_.path()).string());
  ASSERT_EQ(::chdir("/"), 0);
  EXPECT_EQ(files_.CurrentDirectory(), "/");
  std::filesystem::current_path(previous);
}

TEST_F(PosixFiles, MovingATemporaryFilePutsTheNewContentInPlace) {
  WriteFileBytes(dir_.path() / "target.txt", "old and longer");
  {
    auto part = files_.CreateTemporaryFile(dir_.Path("target.txt.part"));
    ASSERT_NE(part, nullptr);
    part->Write(AsBytes("new"));
    part->Finish();
    part->MoveInto(dir_.Path("target.txt"));
  }
  EXPECT_EQ(ReadFileBytes(dir_.path() / "target.txt"), "new");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "target.txt.part"));
  EXPECT_FALSE(OwnerMayExecute(dir_.Path("target.txt")));
}

TEST_F(PosixFiles, ProgramsBecomeExecutableAsTheyAreMovedInPlace) {
  struct Case {
    const char* name;
    std::string content;
    bool program;
  };
  const Case cases[] = {
      {"script.sh", "#!/bin/sh\necho hi\n", true},
      {"tool", std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(60, '\0'), true},
      {"notes.txt", "# !not a script\n", false},
      {"almost", "#", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto part = files_.CreateTemporaryFile(dir_.Path(std::string(c.name) + ".part"));
    ASSERT_NE(part, nullptr);
    part->Write(AsBytes(c.content));
    part->Finish();
    part->MoveInto(dir_.Path(c.name));
    EXPECT_EQ(OwnerMayExecute(dir_.Path(c.name)), c.program);
    EXPECT_EQ(ReadFileBytes(dir_.path() / c.name), c.content);
  }
}

// A temporary file being written is held: another launcher's clean-up (here
// another descriptor of the same file, which flock treats as a stranger)
// leaves it, and it goes once its writer drops it; a leftover nobody holds
// goes at once.
TEST_F(PosixFiles, OnlyTemporaryFilesNobodyHoldsCanBeRemoved) {
  const std::string held = dir_.Path("a.exe.1-0.kestrune-part");
  {
    auto part = files_.CreateTemporaryFile(held);
    ASSERT_NE(part, nullptr);
    part->Write(AsBytes("half"));
    EXPECT_FALSE(files_.RemoveUnlessHeld(held));
    EXPECT_TRUE(std::filesystem::exists(held));
  }
  EXPECT_FALSE(std::filesystem::exists(held));  // dropped before it was moved

  WriteFileBytes(dir_.path() / "b.exe.2-0.kestrune-part", "left by a killed launcher");
  EXPECT_TRUE(files_.RemoveUnlessHeld(dir_.Path("b.exe.2-0.kestrune-part")));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "b.exe.2-0.kestrune-part"));
  EXPECT_FALSE(files_.RemoveUnlessHeld(dir_.Path("absent")));
}

TEST_F(PosixFiles, FileNamesAreThePlainFilesOfTheFolder) {
  WriteFileBytes(dir_.path() / "a.exe", "a");
  WriteFileBytes(dir_.path() / "b.exe.1-0.kestrune-part", "b");
  std::filesystem::create_directory(dir_.path() / "folder.kestrune-part");
  std::filesystem::create_symlink("/etc/passwd", dir_.path() / "link.kestrune-part");
  std::vector<std::string> names = files_.FileNamesIn(dir_.path().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.exe", "b.exe.1-0.kestrune-part"}));
  EXPECT_TRUE(files_.FileNamesIn(dir_.Path("absent")).empty());
}

}  // namespace
}  // namespace kestrune
