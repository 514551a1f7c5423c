// The POSIX file services on real files: what each failure is reported as,
// and how a finished download becomes visible.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
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
    return error.kind();
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
  EXPECT_EQ(KindOf([&] { files_.ReplaceFile(dir_.Path("absent"), dir_.Path("plain")); }),
            IoErrorKind::FileNotFound);
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

TEST_F(PosixFiles, ReplacingPutsTheNewContentInPlace) {
  WriteFileBytes(dir_.path() / "target.txt", "old and longer");
  WriteFileBytes(dir_.path() / "target.txt.part", "new");
  files_.ReplaceFile(dir_.Path("target.txt.part"), dir_.Path("target.txt"));
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
    const std::string part = dir_.Path(std::string(c.name) + ".part");
    WriteFileBytes(part, c.content);
    files_.ReplaceFile(part, dir_.Path(c.name));
    EXPECT_EQ(OwnerMayExecute(dir_.Path(c.name)), c.program);
    EXPECT_EQ(ReadFileBytes(dir_.path() / c.name), c.content);
  }
}

TEST_F(PosixFiles, RemoveFileIsQuietAboutMissingFiles) {
  WriteFileBytes(dir_.path() / "gone", "g");
  files_.RemoveFile(dir_.Path("gone"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "gone"));
  files_.RemoveFile(dir_.Path("gone"));
  files_.RemoveFile(dir_.Path("no-dir/gone"));
}

}  // namespace
}  // namespace kestrune
