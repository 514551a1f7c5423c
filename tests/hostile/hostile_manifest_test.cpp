// Every manifest of tests/hostile/manifests/ run through the whole start-up
// sequence (RunKestrune) with the user answering Yes, twice: on the fake
// platform, whose paths are Windows paths, and in a real directory on this
// machine. The server has every file, so nothing but the launcher's own
// rules decides what is fetched and written; each file's outcome is spelt
// out in the table below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/entry.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/posix_files.h"
#include "tests/hostile/support/hostile_support.h"

namespace kestrune {
namespace {

using namespace std::string_literals;
using hostile::OpenServer;

constexpr char kBase[] = "http://192.0.2.10/serverlist/";
const std::string kAsk =
    "confirm: Kestrune needs to download some updated files to work properly. Allow Download?";
const std::string kFail = "info: Problem with function update. Please contact Tavimo";
const std::string kPathNotFound = "error: Path not found.";
// A blank name leaves the working directory itself as the file to write.
const std::string kFolderTarget = "error: File access denied.";
constexpr char kDesignedCaption[] = "Kestrune";
// The title is the manifest's first line, decoded: for the random garbage
// that line is worked out from the file instead of written here.
constexpr char kFirstLineOfFile[] = "<first line of the file>";

std::vector<std::string> Times(std::size_t n, const std::string& what) {
  return std::vector<std::string>(n, what);
}

std::vector<std::string> Then(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The fake's code page, Latin-1: byte n is code point n.
constexpr auto Latin1 = fake::Latin1ToUtf8;

struct Outcome {
  std::string file;
  std::optional<std::string> title;    // the window's caption after; none: the designed one
  std::vector<std::string> dialogs;    // boxes, in order
  std::vector<std::string> requests;   // names fetched besides the manifest, in order
  std::vector<std::string> written;    // names downloaded into the working directory
  std::size_t buttons = 0;
  bool shown = false;                  // the window was shown for use
  std::vector<std::string> present = {};  // files there before the start
  std::optional<std::vector<std::string>> captions = std::nullopt;
};

const std::vector<Outcome>& Table() {
  static const std::vector<Outcome> table = {
      {"traversal-backslash.txt", "Tools", Then(Times(3, kFail), {kAsk}), {"ok.exe"}, {"ok.exe"}, 4, false},
      {"traversal-slash.txt", "Tools", Then(Times(4, kFail), {kAsk}), {"ok.exe"}, {"ok.exe"}, 5, false},
      {"traversal-mixed.txt", "Mixed", Times(4, kFail), {}, {}, 4, false},
      {"traversal-deep.txt", "Deep", Times(3, kFail), {}, {}, 3, false},
      {"trailing-dots-spaces.txt", "Trailing", Then(Times(8, kFail), {kAsk}),
       {Latin1("..\xA0"), "spaced.exe", "fine.exe"}, {Latin1("..\xA0"), "spaced.exe", "fine.exe"}, 11, false},
      // "~" is an ordinary folder name, and there is none: the error box
      // ends start-up there, and the window stays.
      {"absolute-posix.txt", "Absolute", Then(Times(4, kFail), {kAsk, kPathNotFound}), {"~/evil"}, {}, 0, true},
      {"absolute-windows.txt", "Absolute", Times(5, kFail), {}, {}, 5, false},
      {"drive-relative.txt", "Drive", Times(4, kFail), {}, {}, 4, false},
      {"unc.txt", "Shares", Times(5, kFail), {}, {}, 5, false},
      {"device-namespace.txt", "Namespaces", Times(7, kFail), {}, {}, 7, false},
      {"alternate-streams.txt", "Streams", Then(Times(5, kFail), {kAsk}), {"a.exe"}, {"a.exe"}, 6, false},
      {"device-names.txt", "Devices", Then(Times(12, kFail), {kAsk}),
       {"console.exe", "nullable.txt", "com10.exe", "lpt.txt", "auxiliary.dll", "prn2.pdf"},
       {"console.exe", "nullable.txt", "com10.exe", "lpt.txt", "auxiliary.dll", "prn2.pdf"}, 18, false},
      {"device-names-ext.txt", "Devices", Times(8, kFail), {}, {}, 8, false},
      {"device-names-subfolder.txt", "Devices", Then(Times(6, kFail), {kAsk}),
       {"tools/connect.exe"}, {"tools\\connect.exe"}, 7, false},
      {"long-line.txt", std::string(65536, 'T'), {kAsk}, {"big.exe", "small.exe"},
       {"big.exe", "small.exe"}, 2, true, {}, std::vector<std::string>{std::string(1 << 20, 'C'), "Small"}},
      {"nul-bytes.txt", "Ti\0tle"s, {kFail, kAsk, kFolderTarget}, {"ok.exe"}, {"ok.exe"}, 0, true},
      {"binary-png.txt", Latin1("\x89PNG"), {}, {}, {}, 0, true},
      {"binary-exe.txt",
       Latin1("MZ\x90\0\x03\0\0\0\x04\0\0\0\xff\xff\0\0\xb8\0\0\0\0\0\0\0@\0\0\0\0\0\0\0"s),
       {kFail}, {}, {}, 1, false, {},
       std::vector<std::string>{"$\0\0\0\0\0\0\0PE\0\0d\xC2\x86"s}},
      {"binary-garbage.txt", kFirstLineOfFile, Times(32, kFail), {}, {}, 32, false},
      {"bom-utf8.txt", Latin1("\xEF\xBB\xBFTavimo Tools"), {kAsk},
       {Latin1("R\xC3\xA9sum\xC3\xA9.pdf"), "ok.exe"}, {Latin1("R\xC3\xA9sum\xC3\xA9.pdf"), "ok.exe"}, 2, true},
      // UTF-16 read as 8-bit text: the name holds NULs and is refused; the
      // lone NUL of the last line trims to a blank name.
      {"bom-utf16le.txt", Latin1("\xFF\xFET\0o\0o\0l\0s\0\0"s), {kFail, kAsk, kFolderTarget}, {}, {}, 0,
       true},
      {"bom-utf16be.txt", Latin1("\xFE\xFF\0T\0o\0o\0l\0s\0\0"s), {kFail}, {}, {}, 1, false, {},
       std::vector<std::string>{"A"}},
      {"ctrlz-title-start.txt", std::nullopt, {}, {}, {}, 0, true},
      {"ctrlz-name-start.txt", "Tools", {kAsk}, {"a.exe"}, {"a.exe"}, 1, true},
      {"ctrlz-caption-start.txt", "Tools", {kAsk}, {"a.exe"}, {"a.exe"}, 1, true, {},
       std::vector<std::string>{""}},
      {"ctrlz-mid-line.txt", "Too", {kAsk}, {"a.e", "b.exe"}, {"a.e", "b.exe"}, 2, true, {},
       std::vector<std::string>{"Cap", "B"}},
      {"ctrlz-after-lone-cr.txt", "Ti", {kAsk}, {"x.exeX"}, {"x.exeX"}, 1, true},
      {"lone-cr.txt", "Old Macmac.exeMac", {}, {}, {}, 0, true},
      {"lone-cr-mixed.txt", "Tools", {kAsk, kFolderTarget}, {"split.exe"}, {"split.exe"}, 0, true},
      {"empty.txt", std::nullopt, {}, {}, {}, 0, true},
      {"title-only.txt", "Just a title", {}, {}, {}, 0, true},
      // Wildcards are ordinary characters to this rule: Windows itself refuses
      // to create such a file, and that is an I/O error like any other.
      {"control-and-wildcards.txt", "Controls", Then(Times(3, kFail), {kAsk}),
       {"*.exe", "a?.exe", "a|b.exe", "a<b>.exe", "a\"b.exe", "a*b.exe"},
       {"*.exe", "a?.exe", "a|b.exe", "a<b>.exe", "a\"b.exe", "a*b.exe"}, 9, false},
      {"empty-names.txt", "T", {kAsk, kFolderTarget}, {}, {}, 0, true},
      // The launcher's own file names: the download's temporary name is
      // refused in any case, the manifest copy is there already.
      {"reserved-names.txt", "T", {kFail, kAsk, kFail}, {"a.exe"}, {"a.exe"}, 4, false},
      {"realistic-one-bad.txt", "Tavimo Tools 2.1", {kFail, kAsk}, {"new.exe"}, {"new.exe"}, 4, false,
       {"help.pdf", "tools\\setup.exe"}},
      {"ansi-names.txt", "Caf\xC3\xA9", {kAsk}, {"Caf\xC3\xA9.exe", "\xC3\x80\xC3\xA0.txt"},
       {"Caf\xC3\xA9.exe", "\xC3\x80\xC3\xA0.txt"}, 2, true},
  };
  return table;
}

std::string ReadCorpusFile(const std::string& name) {
  const std::filesystem::path path = std::string(KESTRUNE_HOSTILE_MANIFESTS) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("no manifest " + name);
  // A sized read: GCC 12 warns of a null dereference inside streambuf
  // iterators.
  std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw std::runtime_error("cannot read manifest " + name);
  return bytes;
}

std::string PresentContent(const std::string& name) { return "present before the start: " + name; }

// What one start did, however the files were kept.
struct Observed {
  std::string caption;
  std::vector<std::string> dialogs;
  std::vector<std::string> requests;
  std::vector<std::string> foreignRequests;
  std::size_t manifestRequests = 0;
  std::map<std::string, std::string> files;  // relative to the working directory
  std::vector<std::string> outside;          // anything written elsewhere
  std::vector<std::string> captions;
  bool shown = false;
  int liveInternetHandles = 0;
  int openOutputFiles = 0;
};

void ObserveWindowAndBoxes(const fake::FakePlatform& sys, const OpenServer& server, Observed& seen) {
  seen.caption = sys.window.caption;
  for (const std::string& e : sys.log) {
    if (e.starts_with("confirm:") || e.starts_with("info:") || e.starts_with("error:")) {
      seen.dialogs.push_back(e);
    }
  }
  for (const ButtonDesign& b : sys.window.Buttons()) seen.captions.push_back(b.caption);
  seen.shown = sys.application.shown;
  seen.requests = server.requests;
  seen.foreignRequests = server.foreignRequests;
  seen.manifestRequests = server.manifestRequests.size();
  seen.liveInternetHandles = server.liveHandles;
}

Addresses TestAddresses() { return Addresses{kBase, "http://home.example/", "https://support.example/"}; }

Observed StartOnTheFake(const std::string& manifest, const std::vector<std::string>& present) {
  fake::FakePlatform sys;
  OpenServer server(kBase, manifest);
  Platform platform{server, sys.files, sys.desktop, sys.system};
  sys.files.directories.insert(sys.InWorkDir("tools"));
  for (const std::string& name : present) sys.files.files[sys.InWorkDir(name)] = PresentContent(name);
  sys.desktop.confirmAnswers = {true};
  RunKestrune(sys.application, platform, TestAddresses());

  Observed seen;
  ObserveWindowAndBoxes(sys, server, seen);
  const std::string prefix = sys.files.currentDirectory + "\\";
  for (const auto& [path, content] : sys.files.files) {
    if (path.starts_with(prefix)) {
      seen.files[path.substr(prefix.size())] = content;
    } else {
      seen.outside.push_back(path);
    }
  }
  // The log names every path created or replaced, kept or not.
  for (const std::string& e : sys.log) {
    for (const char* verb : {"create: ", "replace: "}) {
      if (e.starts_with(verb) && !e.substr(std::strlen(verb)).starts_with(prefix)) {
        seen.outside.push_back(e);
      }
    }
  }
  seen.openOutputFiles = sys.files.openOutputFiles;
  return seen;
}

Observed StartInARealDirectory(const std::string& manifest, const std::vector<std::string>& present) {
  hostile::Sandbox sandbox;
  sandbox.MakeDirectory("tools");
  for (const std::string& name : present) sandbox.WriteFile(name, PresentContent(name));
  posix::PosixFileSystem shipped;
  hostile::SandboxedFiles files(shipped, sandbox.workDir());
  fake::FakePlatform sys;  // the desktop, the window and the application
  OpenServer server(kBase, manifest);
  Platform platform{server, files, sys.desktop, sys.system};
  sys.desktop.confirmAnswers = {true};
  RunKestrune(sys.application, platform, TestAddresses());

  Observed seen;
  ObserveWindowAndBoxes(sys, server, seen);
  for (const std::string& name : sandbox.FilesInWorkDir()) seen.files[name] = *sandbox.ReadFile(name);
  for (const std::string& entry : sandbox.Walk()) {
    if (!entry.starts_with("work/")) seen.outside.push_back(entry);
  }
  seen.outside.insert(seen.outside.end(), files.escapes.begin(), files.escapes.end());
  seen.openOutputFiles = files.openOutputFiles;
  return seen;
}

void ExpectOutcome(const Outcome& want, const std::string& manifest, const Observed& seen) {
  std::string title = want.title.value_or(kDesignedCaption);
  if (title == kFirstLineOfFile) title = Latin1(manifest.substr(0, manifest.find('\n')));
  EXPECT_EQ(seen.caption, title);
  EXPECT_EQ(seen.dialogs, want.dialogs);
  EXPECT_EQ(seen.requests, want.requests);
  EXPECT_EQ(seen.manifestRequests, 1u);
  EXPECT_TRUE(seen.foreignRequests.empty());
  EXPECT_EQ(seen.captions.size(), want.buttons);
  if (want.captions) {
    EXPECT_EQ(seen.captions, *want.captions);
  }
  EXPECT_EQ(seen.shown, want.shown);

  // Exactly these files, each with what it should hold: the fresh manifest
  // copy, the files that were there, the downloads, and nothing partial.
  std::map<std::string, std::string> expected{{"updater1.txt", manifest}};
  for (const std::string& name : want.present) expected[name] = PresentContent(name);
  for (const std::string& name : want.written) expected[name] = OpenServer::BodyFor(name);
  std::vector<std::string> wantNames, seenNames;
  for (const auto& [name, content] : expected) wantNames.push_back(name);
  for (const auto& [name, content] : seen.files) seenNames.push_back(name);
  EXPECT_EQ(seenNames, wantNames);
  for (const auto& [name, content] : expected) {
    const auto it = seen.files.find(name);
    if (it != seen.files.end()) {
      EXPECT_TRUE(it->second == content) << "content of " << name;
    }
  }
  EXPECT_EQ(seen.outside, std::vector<std::string>{});
  EXPECT_EQ(seen.liveInternetHandles, 0);
  EXPECT_EQ(seen.openOutputFiles, 0);
}

class HostileManifest : public ::testing::TestWithParam<Outcome> {};

TEST_P(HostileManifest, OnTheFakePlatform) {
  const Outcome& want = GetParam();
  const std::string manifest = ReadCorpusFile(want.file);
  ExpectOutcome(want, manifest, StartOnTheFake(manifest, want.present));
}

TEST_P(HostileManifest, InARealDirectory) {
  const Outcome& want = GetParam();
  const std::string manifest = ReadCorpusFile(want.file);
  ExpectOutcome(want, manifest, StartInARealDirectory(manifest, want.present));
}

std::string TestName(const ::testing::TestParamInfo<Outcome>& info) {
  std::string name = info.param.file.substr(0, info.param.file.rfind('.'));
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileManifest, ::testing::ValuesIn(Table()), TestName);

TEST(HostileCorpus, EveryCommittedManifestHasItsExpectedOutcomeAndBackAgain) {
  std::set<std::string> onDisk;
  for (const auto& entry : std::filesystem::directory_iterator(KESTRUNE_HOSTILE_MANIFESTS)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".txt")) onDisk.insert(name);
  }
  std::set<std::string> inTable;
  for (const Outcome& o : Table()) EXPECT_TRUE(inTable.insert(o.file).second) << "twice: " << o.file;
  EXPECT_EQ(onDisk, inTable);
  EXPECT_GE(onDisk.size(), 25u);
}

// 100,000 entries over 1,000 distinct names, one in every 10,000 reaching
// out of the working directory: one question, each file fetched once, a box
// for each bad name, a button for every entry.
std::string ManyEntriesManifest() {
  std::string text = "Many\r\n";
  for (int i = 0; i < 100000; ++i) {
    if (i % 10000 == 9999) {
      text += "..\\evil" + std::to_string(i) + ".exe\r\nBad\r\n";
    } else {
      text += "e" + std::to_string(i % 1000) + ".bin\r\nEntry " + std::to_string(i) + "\r\n";
    }
  }
  return text;
}

Outcome ManyEntriesOutcome() {
  Outcome want{"(generated)", "Many", Then({kAsk}, Times(10, kFail)), {}, {}, 100000, false};
  for (int i = 0; i < 1000; ++i) want.requests.push_back("e" + std::to_string(i) + ".bin");
  want.written = want.requests;
  return want;
}

TEST(HostileManyEntries, OnTheFakePlatform) {
  const std::string manifest = ManyEntriesManifest();
  const Observed seen = StartOnTheFake(manifest, {});
  ExpectOutcome(ManyEntriesOutcome(), manifest, seen);
  ASSERT_EQ(seen.captions.size(), 100000u);
  EXPECT_EQ(seen.captions[12345], "Entry 12345");
  EXPECT_EQ(seen.captions.back(), "Bad");
}

TEST(HostileManyEntries, InARealDirectory) {
  const std::string manifest = ManyEntriesManifest();
  ExpectOutcome(ManyEntriesOutcome(), manifest, StartInARealDirectory(manifest, {}));
}

}  // namespace
}  // namespace kestrune
