// Entry names near the edge of the rules: the download's temporary name is
// refused; two dots inside a component are an ordinary name.
#include <gtest/gtest.h>

#include "app/entry.h"
#include "platform/fake/fake_platform.h"
#include "update/entry_name.h"

namespace kestrune {
namespace {

constexpr char kBase[] = "http://192.0.2.10/serverlist/";

TEST(ReservedEntryNames, TheDownloadsTemporaryNameIsRefusedInAnyCaseAndFolder) {
  for (const char* name : {"a.exe.kestrune-part", "A.EXE.Kestrune-Part", "tools\\a.exe.kestrune-part",
                           ".kestrune-part", "updater1.txt.kestrune-part"}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
  for (const char* name : {"a.kestrune-part.exe", "kestrune-part", "a.exe.kestrune-parts"}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
  }
}

// Listed before a.exe, "a.exe.kestrune-part" was fetched, then overwritten
// by a.exe's download and moved away under a.exe's name: the entry lost its
// file and no box told.
TEST(ReservedEntryNames, AListedTemporaryNameCannotLoseItsFileToAnotherDownload) {
  fake::FakePlatform sys;
  auto publish = [&](const std::string& name, const std::string& body) {
    fake::FakeResponse r;
    r.body = body;
    sys.internet.responses[kBase + name] = r;
  };
  publish("updater.txt", "T\r\na.exe.kestrune-part\r\nPart\r\na.exe\r\nA\r\n");
  publish("a.exe.kestrune-part", "PART");
  publish("a.exe", "A");
  sys.desktop.confirmAnswers = {true};
  RunKestrune(sys.application, sys.platform, Addresses{kBase, "", ""});
  EXPECT_EQ(sys.internet.requests,
            (std::vector<std::string>{std::string(kBase) + "updater.txt", std::string(kBase) + "a.exe"}));
  EXPECT_EQ(sys.desktop.informations,
            std::vector<std::string>{"Problem with function update. Please contact Tavimo"});
  EXPECT_EQ(sys.files.files.at(sys.InWorkDir("a.exe")), "A");
  EXPECT_EQ(sys.files.files.count(sys.InWorkDir("a.exe.kestrune-part")), 0u);
}

// Two dots inside a name are ordinary ("setup..exe"); only a component
// that is dots and spaces, or ends in one, is not the name it seems.
TEST(DoubleDotEntryNames, OnlyWholeComponentsOfDotsAreRefused) {
  for (const char* name : {"a..b.exe", "setup..exe", "..hidden", "tools\\x..y\\a.exe",
                           "..\xC2\xA0"}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
  }
  for (const char* name : {"..", ".. \\evil.exe", "tools\\..\\a.exe", "x..\\a.exe"}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

}  // namespace
}  // namespace kestrune
