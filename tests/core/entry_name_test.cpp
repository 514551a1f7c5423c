#include "update/entry_name.h"

#include <gtest/gtest.h>

#include "update/entries.h"

namespace kestrune {
namespace {

TEST(EntryName, PlainNamesAndSubFoldersAreAllowed) {
  for (const char* name : {"setup.exe", "Read me.pdf", "tools\\setup.exe", "tools/setup.exe",
                           "a.b.c", ".hidden", "console.exe", "contractor.exe", "com10.exe", "lpt.txt",
                           "R\xC3\xA9sum\xC3\xA9.pdf", "setup..exe", "notes..txt", "a..b\\c",
                           "*.exe", "a|b", "a\\\\b"}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
  }
}

TEST(EntryName, NamesReachingOutOfTheWorkingDirectoryAreRefused) {
  for (const char* name :
       {"..\\..\\Windows\\x.exe", "../x", "a\\..\\..\\x", "a/../x", "..", ".", "a\\.\\b",
        "C:\\x", "C:x", "c:", "\\\\host\\share\\x", "//host/share/x", "\\x", "/etc/x",
        "\\\\?\\C:\\x", "\\\\.\\PhysicalDrive0"}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

TEST(EntryName, AlternateStreamsAreRefused) {
  for (const char* name : {"a.exe:stream", "a.exe::$DATA"}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

TEST(EntryName, DeviceNamesAreRefusedInAnyCaseFolderOrExtension) {
  for (const char* name : {"CON", "con", "nul.txt", "Aux.exe", "PRN", "COM1", "com9.log",
                           "LPT1", "tools\\NUL", "tools/lpt3.exe", "CONIN$", "conout$.x",
                           "COM\xC2\xB9", "nul .txt"}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

// A blank name, or one ending in a separator, names a folder inside the
// working directory: writing it fails there, it reaches nowhere else.
TEST(EntryName, FolderNamesStayInside) {
  for (const char* name : {"", "a\\", "a/"}) EXPECT_TRUE(IsSafeEntryName(name)) << name;
}

TEST(EntryName, NamesWindowsWouldRewriteAreRefused) {
  for (const char* name : {"setup.exe.", "setup.exe ", "dir.\\x", "...", ". .", ".. ", "a\tb"}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
  EXPECT_FALSE(IsSafeEntryName(std::string_view("a\0b", 3)));
}

}  // namespace
// The address both builds send, so a server finds a file under the name
// the maker's disk gives it in UTF-8.
TEST(EntryAddress, NamesAreSentAsAStandardServerStoresThem) {
  const std::string base = "http://h:8080/serverlist/";
  EXPECT_EQ(EntryAddress(base, "Caf\xC3\xA9 menu.txt"), base + "Caf%C3%A9%20menu.txt");
  EXPECT_EQ(EntryAddress(base, "tools\\setup.exe"), base + "tools/setup.exe");
  EXPECT_EQ(EntryAddress(base, "a\"<>{}|^`\x01\x7F.txt"),
            base + "a%22%3C%3E%7B%7D%7C%5E%60%01%7F.txt");
  // Past '?' a backslash is no separator, and a space is no '+'.
  EXPECT_EQ(EntryAddress(base, "a b?c d\\e"), base + "a%20b?c%20d%5Ce");
  for (const char* fit : {"a%20b.txt", "sub/(x)+y,z;!$'*=@:~.txt", "get?q=1&r=a/b"}) {
    EXPECT_EQ(EntryAddress(base, fit), base + fit);
  }
}

}  // namespace kestrune
