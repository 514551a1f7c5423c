// Release lists made by the real b2sum and signed by the real minisign,
// checked by the launcher's own code: piece by piece, then through the whole
// start-up on the fake platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/entry.h"
#include "platform/fake/fake_platform.h"
#include "update/entries.h"
#include "update/minisign.h"
#include "update/release_list.h"
#include "update/signed_release.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

FileHash HashOf(std::string_view bytes) {
  FileHasher hasher;
  hasher.Update(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
  return hasher.Finish();
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A key pair made for this test run, without a password, and signatures
// made with it by minisign itself.
class Signer {
 public:
  explicit Signer(const std::string& name)
      : dir_(fs::temp_directory_path() /
             ("kestrune-sign-" + name + "-" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Run("-G -W -p '" + (dir_ / "k.pub").string() + "' -s '" + (dir_ / "k.sec").string() + "'");
    std::istringstream pub(ReadText(dir_ / "k.pub"));
    std::getline(pub, publicKey_);
    std::getline(pub, publicKey_);
  }
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;
  ~Signer() { fs::remove_all(dir_); }

  const std::string& PublicKey() const { return publicKey_; }

  // The .minisig of bytes signed as name; legacy signs the whole file.
  std::string Sign(const std::string& bytes, const std::string& name, long timestamp = 1700000000,
                   bool legacy = false) {
    return SignWithComment(
        bytes, "timestamp:" + std::to_string(timestamp) + "\tfile:" + name + "\thashed", legacy);
  }
  std::string SignWithComment(const std::string& bytes, const std::string& comment,
                              bool legacy = false) {
    const fs::path file = dir_ / "payload";
    std::ofstream(file, std::ios::binary) << bytes;
    Run(std::string(legacy ? "-S -l" : "-S") + " -s '" + (dir_ / "k.sec").string() + "' -m '" +
        file.string() + "' -t '" + comment + "' -x '" + (dir_ / "payload.minisig").string() + "'");
    return ReadText(dir_ / "payload.minisig");
  }

 private:
  static void Run(const std::string& arguments) {
    const std::string command =
        std::string(KESTRUNE_MINISIGN_PROGRAM) + " " + arguments + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  fs::path dir_;
  std::string publicKey_;
};

TEST(Minisign, ThePublishedTestVectorChecksOut) {
  const std::optional<MinisignKey> key =
      ParseMinisignKey("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3");
  ASSERT_TRUE(key);
  const std::string signature =
      "untrusted comment: signature from minisign secret key\n"
      "RUQf6LRCGA9i559r3g7V1qNyJDApGip8MfqcadIgT9CuhV3EMhHoN1mGTkUidF/"
      "z7SrlQgXdy8ofjb7bNJJylDOocrCo8KLzZwo=\n"
      "trusted comment: timestamp:1633700835\tfile:test\tprehashed\n"
      "wLMDjy9FLAuxZ3q4NlEvkgtyhrr0gtTu6KC4KBJdITbbOeAi1zBIYo0v4iTgt8jJpIidRJnp94ABQkJAgAooBQ==\n";
  const SignatureCheck check = VerifyMinisign(*key, signature, HashOf("test"), "test");
  EXPECT_EQ(check.problem, SignatureProblem::None);
  EXPECT_EQ(check.timestamp, 1633700835u);
  EXPECT_EQ(VerifyMinisign(*key, signature, HashOf("Test"), "test").problem,
            SignatureProblem::NotMatching);
}

TEST(Minisign, KeysThatAreNotMinisignKeysAreRefused) {
  EXPECT_FALSE(ParseMinisignKey(""));
  EXPECT_FALSE(ParseMinisignKey("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GF"));  // cut
  EXPECT_FALSE(ParseMinisignKey("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3 "));
}

class Signatures : public ::testing::Test {
 protected:
  SignatureProblem Check(const std::string& signature, const std::string& bytes,
                         const std::string& name = "setup.exe") {
    return VerifyMinisign(*ParseMinisignKey(signer.PublicKey()), signature, HashOf(bytes), name)
        .problem;
  }
  Signer signer{"unit"};
};

TEST_F(Signatures, EveryWayASignatureIsRefused) {
  const std::string bytes = "MZ a program";
  const std::string good = signer.Sign(bytes, "setup.exe");
  EXPECT_EQ(Check(good, bytes), SignatureProblem::None);

  std::string windowsLineEnds;
  for (char c : good) windowsLineEnds += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Check(windowsLineEnds, bytes), SignatureProblem::None);

  EXPECT_EQ(Check(good, "MZ a progran"), SignatureProblem::NotMatching);
  EXPECT_EQ(Check(good, bytes, "other.exe"), SignatureProblem::WrongFile);
  EXPECT_EQ(Check(signer.Sign(bytes, "setup.exe", 1700000000, true), bytes),
            SignatureProblem::LegacyAlgorithm);
  Signer other("other");
  EXPECT_EQ(Check(other.Sign(bytes, "setup.exe"), bytes), SignatureProblem::OtherKey);

  std::string renamed = good;
  renamed.replace(renamed.find("file:setup.exe"), 14, "file:other.exe");
  EXPECT_EQ(Check(renamed, bytes, "other.exe"), SignatureProblem::CommentNotSigned);
  EXPECT_EQ(Check(good.substr(0, good.size() / 2), bytes), SignatureProblem::Malformed);
  EXPECT_EQ(Check(good + std::string(kMaxSignatureFileSize, '\n'), bytes),
            SignatureProblem::Malformed);
}

TEST_F(Signatures, OnlyAWholeNumberOfSecondsDatesASignature) {
  const std::string bytes = "list";
  for (const std::string timestamp :
       {"", "timestamp:\t", "timestamp:+1700000000\t", "timestamp:-1\t", "timestamp: 1700000000\t",
        "timestamp:1700000000 \t", "timestamp:0x10\t", "timestamp:18446744073709551615\t",
        "timestamp:99999999999999999999\t"}) {
    EXPECT_EQ(Check(signer.SignWithComment(bytes, timestamp + "file:setup.exe"), bytes),
              SignatureProblem::Undated)
        << timestamp;
  }
  const SignatureCheck largest =
      VerifyMinisign(*ParseMinisignKey(signer.PublicKey()),
                     signer.SignWithComment(bytes, "file:setup.exe\ttimestamp:9999999999999999999"),
                     HashOf(bytes), "setup.exe");
  EXPECT_EQ(largest.problem, SignatureProblem::None);
  EXPECT_EQ(largest.timestamp, 9999999999999999999u);
}

// ---------------------------------------------------- the release list

TEST(ReleaseList, ReadsWhatB2sumPrintsAndWritesItBackByteForByte) {
  const fs::path dir = fs::temp_directory_path() / ("kestrune-b2sum-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "tools");
  const std::vector<std::pair<std::string, std::string>> files = {{"updater.txt", "T\n"},
                                                                  {"tools/setup.exe", "MZ"},
                                                                  {"Caf\xC3\xA9.txt", "8-bit"},
                                                                  {"back\\slash", "escaped"},
                                                                  {"line\nfeed", "escaped too"}};
  std::string arguments;
  for (const auto& [name, bytes] : files) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    arguments += " '" + name + "'";
  }
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && b2sum" + arguments + " > list && b2sum -b" +
                         arguments + " > binary-list")
                            .c_str()),
            0);
  const std::string printed = ReadText(dir / "list");
  const std::string binary = ReadText(dir / "binary-list");
  fs::remove_all(dir);

  std::string written;
  for (const auto& [name, bytes] : files) written += ReleaseListLine(name, HashOf(bytes));
  EXPECT_EQ(written, printed);
  for (const std::string& text : {printed, binary}) {
    const ParsedReleaseList parsed = ParseReleaseList(text);
    ASSERT_TRUE(parsed.list) << parsed.badLine << ": " << parsed.problem;
    ASSERT_EQ(parsed.list->files.size(), files.size());
    for (const auto& [name, bytes] : files) {
      EXPECT_TRUE(ListVouchesFor(*parsed.list, name, HashOf(bytes))) << name;
    }
    // As a manifest writes it: either separator.
    EXPECT_TRUE(ListVouchesFor(*parsed.list, "tools\\setup.exe", HashOf("MZ")));
    EXPECT_FALSE(ListVouchesFor(*parsed.list, "setup.exe", HashOf("MZ")));
    EXPECT_FALSE(ListVouchesFor(*parsed.list, "Tools\\setup.exe", HashOf("MZ")));
  }
}

TEST(ReleaseList, OneLineThatB2sumDoesNotWriteRefusesTheWholeList) {
  const std::string good = ReleaseListLine("a.exe", HashOf("a"));
  const std::string hex = good.substr(0, 128);
  EXPECT_TRUE(ParseReleaseList(good + good).list);
  EXPECT_TRUE(ParseReleaseList(hex + "  a.exe\r\n").list);
  const std::vector<std::pair<std::string, int>> bad = {
      {good + hex.substr(1) + "  b.exe\n", 2},
      {good + "g" + hex.substr(1) + "  b.exe\n", 2},
      {good + hex + " b.exe\n", 2},
      {good + hex + "  \n", 2},
      {good + "\n" + good, 2},
      {"\\" + hex + "  tab\\t.exe\n", 1},
      {"\\" + hex + "  end\\\n", 1},
      {good + ReleaseListLine("./a.exe", HashOf("b")), 2},
  };
  for (const auto& [text, line] : bad) {
    const ParsedReleaseList parsed = ParseReleaseList(text);
    EXPECT_FALSE(parsed.list) << text;
    EXPECT_EQ(parsed.badLine, line) << text;
    EXPECT_FALSE(parsed.problem.empty()) << text;
  }
}

// ------------------------------------------------- through the start-up

constexpr char kBase[] = "http://192.0.2.10/serverlist/";
constexpr char kManifestProblem[] = "Problem with updater.txt. Please contact Tavimo";
constexpr char kUpdateProblem[] = "Problem with function update. Please contact Tavimo";

class SignedStartup : public ::testing::Test {
 protected:
  void Serve(const std::string& name, const std::string& body) {
    fake::FakeResponse response;
    response.body = body;
    sys.internet.responses[EntryAddress(kBase, name)] = response;
  }
  // The list of these files as b2sum prints it, and its signature.
  std::string ListOf(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string list;
    for (const auto& [name, bytes] : files) list += ReleaseListLine(name, HashOf(bytes));
    return list;
  }
  void ServeList(const std::string& list, long time = 1700000000) {
    Serve("updater.b2sums", list);
    Serve("updater.b2sums.minisig", signer.Sign(list, "updater.b2sums", time));
  }
  // The manifest and files on the server, and the list of all of them.
  void Release(const std::string& manifest,
               std::vector<std::pair<std::string, std::string>> files) {
    Serve("updater.txt", manifest);
    for (const auto& [name, bytes] : files) Serve(name, bytes);
    files.insert(files.begin(), {"updater.txt", manifest});
    ServeList(ListOf(files));
  }
  void Start() {
    sys.internet.requests.clear();
    sys.desktop.informations.clear();
    sys.files.reads.clear();
    RunKestrune(sys.application, sys.platform,
                Addresses{kBase, "", "", keys.empty() ? signer.PublicKey() : keys,
                          replaceChangedFiles, minimumReleaseTimestamp});
  }
  // The entry files this start read (the launcher's own files aside).
  std::vector<std::string> EntriesRead() const {
    std::vector<std::string> read;
    for (const std::string& path : sys.files.reads) {
      if (path.find("\\updater1.") == std::string::npos) read.push_back(path);
    }
    return read;
  }
  bool Has(const std::string& name) const {
    return sys.files.files.count(sys.InWorkDir(name)) != 0;
  }
  const std::string& Content(const std::string& name) const {
    return sys.files.files.at(sys.InWorkDir(name));
  }
  const std::string& Served(const std::string& name) {
    return sys.internet.responses[EntryAddress(kBase, name)].body;
  }
  std::vector<std::string> Requested(std::initializer_list<std::string> names) const {
    std::vector<std::string> urls;
    for (const std::string& name : names) urls.push_back(EntryAddress(kBase, name));
    return urls;
  }

  Signer signer{"startup"};
  fake::FakePlatform sys;
  bool replaceChangedFiles = false;
  std::string keys;  // empty: signer's alone
  std::uint64_t minimumReleaseTimestamp = 0;
};

TEST_F(SignedStartup, TheReleaseIsKeptWithItsListAfterOneSignatureCheck) {
  // An 8-bit name: the manifest in Windows-1252, the list in UTF-8 as b2sum
  // prints the maker's file name; the signature saved with CR LF.
  const std::string manifest =
      "T\r\nsetup.exe\r\nSetup\r\ntools\\help.pdf\r\nHelp\r\nCaf\xE9.txt\r\nC\r\n";
  Release(manifest, {{"setup.exe", "MZ"}, {"tools/help.pdf", "%PDF"}, {"Caf\xC3\xA9.txt", "menu"}});
  std::string crlf;
  for (char c : Served("updater.b2sums.minisig"))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Serve("updater.b2sums.minisig", crlf);
  sys.files.directories.insert(sys.InWorkDir("tools"));
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_EQ(Content("setup.exe"), "MZ");
  EXPECT_EQ(Content("tools\\help.pdf"), "%PDF");
  EXPECT_EQ(Content("Caf\xC3\xA9.txt"), "menu");
  EXPECT_EQ(Content("updater1.b2sums"), Served("updater.b2sums"));
  EXPECT_EQ(Content("updater1.b2sums.minisig"), crlf);
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums", "setup.exe",
                       "tools\\help.pdf", "Caf\xC3\xA9.txt"}));
  EXPECT_TRUE(sys.application.shown);
  // Every request of the start, one after another, through one session.
  EXPECT_EQ(sys.internet.sessionsOpened, 1);
  EXPECT_EQ(sys.internet.liveHandles, 0);

  // The same release again, dated as the kept list: nothing to fetch.
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums"}));
}

TEST_F(SignedStartup, AFileTheListDoesNotVouchForIsNeverKeptAndTheOthersGoOn) {
  const std::string manifest =
      "T\nolder.exe\nA\ntools\\setup.exe\nB\nunlisted.exe\nC\ngood.exe\nD\n";
  Release(manifest, {{"older.exe", "MZ 2"},
                     {"setup.exe", "MZ top"},
                     {"tools/setup.exe", "MZ tools"},
                     {"good.exe", "MZ good"}});
  // Another release's valid file, another folder's file, and a file the
  // list does not name.
  Serve("older.exe", "MZ 1");
  Serve("tools\\setup.exe", "MZ top");
  Serve("unlisted.exe", "MZ");
  sys.files.directories.insert(sys.InWorkDir("tools"));
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.informations, std::vector<std::string>(3, kUpdateProblem));
  EXPECT_FALSE(Has("older.exe"));
  EXPECT_FALSE(Has("tools\\setup.exe"));
  EXPECT_FALSE(Has("unlisted.exe"));
  EXPECT_EQ(Content("good.exe"), "MZ good");
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums", "older.exe",
                       "tools\\setup.exe", "good.exe"}));
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(SignedStartup, AManifestTheListDoesNotVouchForKeepsThePreviousCopyAndList) {
  const std::string oldList = ListOf({{"updater.txt", "Old\n"}});
  sys.files.files[sys.InWorkDir("updater1.txt")] = "Old\n";
  sys.files.files[sys.InWorkDir("updater1.b2sums")] = oldList;
  sys.files.files[sys.InWorkDir("updater1.b2sums.minisig")] =
      signer.Sign(oldList, "updater.b2sums", 1700000000);
  const std::string keptSignature = Content("updater1.b2sums.minisig");
  const std::string manifest = "New\n";
  const std::string list = ListOf({{"updater.txt", manifest}});
  Signer other("other-key");
  const std::vector<std::pair<std::string, std::function<void()>>> refusals = {
      {"unsigned",
       [&] { sys.internet.responses.erase(EntryAddress(kBase, "updater.b2sums.minisig")); }},
      {"other key", [&] { Serve("updater.b2sums.minisig", other.Sign(list, "updater.b2sums")); }},
      {"legacy",
       [&] {
         Serve("updater.b2sums.minisig", signer.Sign(list, "updater.b2sums", 1700000000, true));
       }},
      {"undated",
       [&] {
         Serve("updater.b2sums.minisig", signer.SignWithComment(list, "file:updater.b2sums"));
       }},
      {"another file's",
       [&] { Serve("updater.b2sums.minisig", signer.Sign(list, "updater.txt")); }},
      {"older", [&] { ServeList(list, 1699999999); }},
      {"changed after signing", [&] { Serve("updater.b2sums", list + list); }},
      {"manifest not matching",
       [&] {
         ServeList(ListOf({{"updater.txt", "Other\n"}}));
       }},
      {"manifest not listed",
       [&] {
         ServeList(ListOf({{"a.exe", "MZ"}}));
       }},
      {"malformed line", [&] { ServeList(list + "not a line\n"); }},
      {"list past its limit",
       [&] {
         sys.internet.responses[EntryAddress(kBase, "updater.b2sums")].contentLength =
             kMaxReleaseListBytes + 1;
       }},
      {"signature past its limit",
       [&] {
         fake::FakeResponse huge;
         huge.body = std::string(kMaxSignatureFileSize + 1, '\n');
         huge.announceLength = false;
         sys.internet.responses[EntryAddress(kBase, "updater.b2sums.minisig")] = huge;
       }},
  };
  for (const auto& [refusal, serve] : refusals) {
    sys.internet.responses.clear();
    Serve("updater.txt", manifest);
    ServeList(list);
    serve();
    Start();
    EXPECT_EQ(sys.desktop.informations, std::vector<std::string>{kManifestProblem}) << refusal;
    EXPECT_EQ(Content("updater1.txt"), "Old\n") << refusal;
    EXPECT_EQ(Content("updater1.b2sums"), oldList) << refusal;
    EXPECT_EQ(Content("updater1.b2sums.minisig"), keptSignature) << refusal;
  }
}

// A new folder, a reinstall, a kept signature that is damaged or made with a
// key the build no longer has: the build's minimum date still holds, and a
// list at or after it is taken.
TEST_F(SignedStartup, TheBuildsMinimumDateHoldsWhateverTheFolderKeeps) {
  minimumReleaseTimestamp = 1700000000;
  const std::string manifest = "T\na.exe\nA\n";
  const std::string list = ListOf({{"updater.txt", manifest}, {"a.exe", "MZ"}});
  Serve("updater.txt", manifest);
  Serve("a.exe", "MZ");
  Signer dropped("dropped-key");
  const std::vector<std::pair<std::string, std::optional<std::string>>> kept = {
      {"nothing kept", std::nullopt},
      {"damaged", "untrusted comment: x\nRWQ\n"},
      {"a dropped key's, dated far ahead",
       dropped.Sign(list, "updater.b2sums", 4000000000)},
  };
  for (const auto& [what, signature] : kept) {
    sys.files.files.clear();
    if (signature) sys.files.files[sys.InWorkDir("updater1.b2sums.minisig")] = *signature;
    ServeList(list, 1699999999);  // an old release, replayed
    sys.desktop.confirmAnswers = {true};
    Start();
    EXPECT_EQ(sys.desktop.informations, std::vector<std::string>{kManifestProblem}) << what;
    EXPECT_FALSE(Has("a.exe")) << what;

    ServeList(list, 1700000000);
    sys.desktop.confirmAnswers = {true};
    Start();
    EXPECT_TRUE(sys.desktop.informations.empty()) << what;
    EXPECT_EQ(Content("a.exe"), "MZ") << what;
    EXPECT_EQ(Content("updater1.b2sums.minisig"), Served("updater.b2sums.minisig")) << what;
  }
}

TEST_F(SignedStartup, AListSignedByAnyKeyTheBuildKnowsIsTaken) {
  Signer second("second-key");
  keys = signer.PublicKey() + ";" + second.PublicKey();
  const std::string manifest = "T\n";
  const std::string list = ListOf({{"updater.txt", manifest}});
  Serve("updater.txt", manifest);
  Serve("updater.b2sums", list);
  Serve("updater.b2sums.minisig", second.Sign(list, "updater.b2sums", 1700000000));
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_TRUE(sys.application.shown);
  // A later list by the first key goes on from there; an older one by
  // either does not.
  Serve("updater.b2sums.minisig", signer.Sign(list, "updater.b2sums", 1700000001));
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  Serve("updater.b2sums.minisig", second.Sign(list, "updater.b2sums", 1700000000));
  Start();
  EXPECT_EQ(sys.desktop.informations, std::vector<std::string>{kManifestProblem});
}

// -------------------------------- with the maker's option to replace files

class ReplacingStartup : public SignedStartup {
 protected:
  ReplacingStartup() { replaceChangedFiles = true; }
  void Present(const std::string& name, const std::string& bytes) {
    sys.files.files[sys.InWorkDir(name)] = bytes;
  }
  // A release of a.exe and b.exe, its list signed at time.
  void ReleaseAt(long time, const std::string& a, const std::string& b) {
    Serve("updater.txt", manifest);
    Serve("a.exe", a);
    Serve("b.exe", b);
    ServeList(ListOf({{"updater.txt", manifest}, {"a.exe", a}, {"b.exe", b}}), time);
  }
  const std::string manifest = "T\na.exe\nA\nb.exe\nB\n";
};

TEST_F(ReplacingStartup, AChangedFileIsReplacedAfterTheOneQuestionAndAnUnchangedOneIsNotAskedFor) {
  ReleaseAt(1700000000, "A1", "B1");
  sys.desktop.confirmAnswers = {true};
  Start();
  ReleaseAt(1700000001, "A2", "B1");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.confirmations, 2);
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_EQ(Content("a.exe"), "A2");
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums", "a.exe"}));
  EXPECT_TRUE(EntriesRead().empty());
  EXPECT_TRUE(sys.application.shown);

  // Nothing changed since: what this launcher put there says so.
  Start();
  EXPECT_EQ(sys.desktop.confirmations, 2);
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums"}));
  EXPECT_TRUE(EntriesRead().empty());
}

// A signed launcher without the option kept the list and never read the
// files; the first start of a build with it reads each present file once.
TEST_F(ReplacingStartup, AnUpgradeFromABuildThatDidNotReplaceReadsEachFileOnceAndMendsIt) {
  Present("a.exe", "damaged");
  Present("b.exe", "B1");
  ReleaseAt(1700000000, "A1", "B1");
  replaceChangedFiles = false;
  Start();
  EXPECT_EQ(Content("a.exe"), "damaged");
  EXPECT_EQ(Content("updater1.b2sums"), Served("updater.b2sums"));

  replaceChangedFiles = true;
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Content("a.exe"), "A1");
  EXPECT_EQ(EntriesRead(), (std::vector<std::string>{sys.InWorkDir("a.exe"),
                                                      sys.InWorkDir("b.exe")}));
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums", "a.exe"}));
  Start();
  EXPECT_TRUE(EntriesRead().empty());
  EXPECT_EQ(sys.desktop.confirmations, 1);
}

// r2 replaced a.exe, but b.exe failed: the start kept r2's list and date at
// once. Replaying r1 is refused, and r3, which brings r1's a.exe back,
// finds the a.exe that is there, not r1's.
TEST_F(ReplacingStartup, AfterAStartCutShortNoOlderListIsTakenAndARevertedFileIsMended) {
  ReleaseAt(1700000001, "A1", "B1");
  sys.desktop.confirmAnswers = {true};
  Start();
  ReleaseAt(1700000002, "A2", "B2");
  Serve("b.exe", "B2 cut short");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.informations, std::vector<std::string>{kUpdateProblem});
  EXPECT_EQ(Content("a.exe"), "A2");

  ReleaseAt(1700000001, "A1", "B1");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.informations, std::vector<std::string>{kManifestProblem});
  EXPECT_EQ(Content("a.exe"), "A2");

  ReleaseAt(1700000003, "A1", "B2");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_EQ(Content("a.exe"), "A1");
  EXPECT_EQ(Content("b.exe"), "B2");
}

TEST_F(ReplacingStartup, AFirstStartMendsAPresentFileThatDiffersFromTheList) {
  Present("a.exe", "damaged");
  Present("b.exe", "B1");
  ReleaseAt(1700000000, "A1", "B1");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(Content("a.exe"), "A1");
  EXPECT_EQ(sys.internet.requests,
            Requested({"updater.txt", "updater.b2sums.minisig", "updater.b2sums", "a.exe"}));
  EXPECT_EQ(Content("updater1.b2sums"), Served("updater.b2sums"));
}

TEST_F(ReplacingStartup, TheOldFileStaysUntilANewOneIsKeptAndTheNextStartAsksAgain) {
  Present("a.exe", "A1");
  Present("b.exe", "B1");
  ReleaseAt(1700000000, "A2", "B1");
  Start();  // answered No
  EXPECT_EQ(sys.desktop.informations,
            std::vector<std::string>{"Unable to run Kestrune without the updated files"});
  EXPECT_EQ(Content("a.exe"), "A1");

  Serve("a.exe", "A2 cut short");  // refused: not what the list names
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.informations, std::vector<std::string>{kUpdateProblem});
  EXPECT_EQ(Content("a.exe"), "A1");

  // Held by a running program: kept as it is, with no box, until a start
  // where it is free.
  Serve("a.exe", "A2");
  sys.files.readOnly.insert(sys.InWorkDir("a.exe"));
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_TRUE(sys.desktop.errors.empty());
  EXPECT_EQ(Content("a.exe"), "A1");

  sys.files.readOnly.clear();
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.confirmations, 4);  // each start asked again
  EXPECT_EQ(Content("a.exe"), "A2");
}

}  // namespace
}  // namespace kestrune
